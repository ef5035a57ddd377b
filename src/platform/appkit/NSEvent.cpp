#include "NSEvent.h"

#include <desktop/Desktop.h>

NSPoint NSEvent::mouseLocation()
{
    auto& desktop = Desktop::current();
    auto screens = desktop.screens();
    double height = screens.empty() ? 0 : screens.front().frame.size.height;
    CGPoint p = desktop.mouseLocation();
    return { p.x, height - p.y };
}

uint32_t NSEvent::pressedMouseButtons() { return Desktop::current().pressedMouseButtons(); }

Ref<NSEvent> NSEvent::eventWithCGEvent(const CGEventRef& event)
{
    if (!event)
        return nullptr;
    return makeRef<NSEvent>(CGEventCreateCopy(event));
}

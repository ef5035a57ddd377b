#include "CGEvent.h"

#include <desktop/Desktop.h>
#include <foundation/Clock.h>

namespace {
DesktopInputEvent fresh(CGEventType type)
{
    DesktopInputEvent e;
    e.type = type;
    e.location = Desktop::current().mouseLocation();
    e.timestamp = Clock::current().now();
    e.sourcePid = Desktop::current().ownProcessIdentifier();
    return e;
}
}

CGEventRef CGEventCreate(const CGEventSourceRef&) { return makeRef<CGEvent>(fresh(kCGEventNull)); }

CGEventRef CGEventCreateKeyboardEvent(const CGEventSourceRef&, CGKeyCode keyCode, bool keyDown)
{
    auto e = fresh(keyDown ? kCGEventKeyDown : kCGEventKeyUp);
    e.keyCode = keyCode;
    return makeRef<CGEvent>(e);
}

CGEventRef CGEventCreateMouseEvent(const CGEventSourceRef&, CGEventType type, CGPoint location, CGMouseButton button)
{
    auto e = fresh(type);
    e.location = location;
    e.mouseButton = button;
    if (type == kCGEventLeftMouseDown || type == kCGEventLeftMouseUp || type == kCGEventRightMouseDown
        || type == kCGEventRightMouseUp || type == kCGEventOtherMouseDown || type == kCGEventOtherMouseUp)
        e.clickState = 1;
    return makeRef<CGEvent>(e);
}

CGEventRef CGEventCreateScrollWheelEvent(const CGEventSourceRef&, int32_t deltaY, int32_t deltaX, bool continuous)
{
    auto e = fresh(kCGEventScrollWheel);
    e.scrollDeltaY = deltaY;
    e.scrollDeltaX = deltaX;
    e.scrollContinuous = continuous;
    return makeRef<CGEvent>(e);
}

CGEventRef CGEventCreateCopy(const CGEventRef& event) { return event ? makeRef<CGEvent>(event->record()) : nullptr; }

CGEventType CGEventGetType(const CGEventRef& event) { return event ? event->record().type : kCGEventNull; }

void CGEventSetType(const CGEventRef& event, CGEventType type)
{
    if (event)
        event->record().type = type;
}

CGPoint CGEventGetLocation(const CGEventRef& event) { return event ? event->record().location : CGPointZero; }

void CGEventSetLocation(const CGEventRef& event, CGPoint location)
{
    if (event)
        event->record().location = location;
}

CGEventFlags CGEventGetFlags(const CGEventRef& event) { return event ? event->record().flags : 0; }

void CGEventSetFlags(const CGEventRef& event, CGEventFlags flags)
{
    if (event)
        event->record().flags = flags;
}

int64_t CGEventGetIntegerValueField(const CGEventRef& event, CGEventField field)
{
    if (!event)
        return 0;
    const auto& r = event->record();
    switch (field) {
    case kCGKeyboardEventKeycode:
        return r.keyCode;
    case kCGKeyboardEventAutorepeat:
        return r.autorepeat ? 1 : 0;
    case kCGMouseEventClickState:
        return r.clickState;
    case kCGMouseEventButtonNumber:
        return r.mouseButton;
    case kCGScrollWheelEventDeltaAxis1:
        return static_cast<int64_t>(r.scrollDeltaY);
    case kCGScrollWheelEventDeltaAxis2:
        return static_cast<int64_t>(r.scrollDeltaX);
    case kCGScrollWheelEventIsContinuous:
        return r.scrollContinuous ? 1 : 0;
    default:
        return 0;
    }
}

void CGEventSetIntegerValueField(const CGEventRef& event, CGEventField field, int64_t value)
{
    if (!event)
        return;
    auto& r = event->record();
    switch (field) {
    case kCGKeyboardEventKeycode:
        r.keyCode = static_cast<uint16_t>(value);
        break;
    case kCGKeyboardEventAutorepeat:
        r.autorepeat = value != 0;
        break;
    case kCGMouseEventClickState:
        r.clickState = value;
        break;
    case kCGMouseEventButtonNumber:
        r.mouseButton = value;
        break;
    case kCGScrollWheelEventDeltaAxis1:
        r.scrollDeltaY = static_cast<double>(value);
        break;
    case kCGScrollWheelEventDeltaAxis2:
        r.scrollDeltaX = static_cast<double>(value);
        break;
    case kCGScrollWheelEventIsContinuous:
        r.scrollContinuous = value != 0;
        break;
    default:
        break;
    }
}

double CGEventGetTimestamp(const CGEventRef& event) { return event ? event->record().timestamp : 0; }

void CGEventPost(CGEventTapLocation tap, const CGEventRef& event)
{
    if (!event)
        return;
    DesktopInputEvent record = event->record();
    record.tapLocation = tap;
    Desktop::current().postEvent(record);
}

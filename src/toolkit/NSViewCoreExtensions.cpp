#include "NSViewCoreExtensions.h"

#include "TKDrawingGuard.h"

#include <appkit/NSException.h>
#include <appkit/NSWindow.h>
#include <foundation/Log.h>
#include <graphics/NSGraphicsContext.h>

bool NSViewCoreExtensions::respondsToSelector(NSObject* object, const std::string& selector)
{
    if (!object)
        return false;
    if (selector == kDrawBackgroundInSubviewSelector)
        return dynamic_cast<TKBackgroundDrawing*>(object) != nullptr;
    auto target = NSActionTargetOf(object);
    return target && target->respondsToAction(selector);
}

Ref<NSObject> NSViewCoreExtensions::parentWhichRespondsToSelector(const NSView& view, const std::string& selector)
{
    for (NSView* ancestor = view.superview(); ancestor; ancestor = ancestor->superview())
        if (respondsToSelector(ancestor, selector))
            return ancestor->selfRef<NSObject>();
    if (NSWindow* window = view.window()) {
        auto delegate = window->delegate();
        if (respondsToSelector(delegate.get(), selector))
            return delegate;
    }
    return nullptr;
}

void NSViewCoreExtensions::askParentToDrawBackground(NSView& view)
{
    auto parent = parentWhichRespondsToSelector(view, kDrawBackgroundInSubviewSelector);
    auto* painter = dynamic_cast<TKBackgroundDrawing*>(parent.get());
    if (!painter)
        return;
    CGRect rect = view.bounds();
    if (auto* ancestor = dynamic_cast<NSView*>(parent.get()))
        rect = ancestor->convertRectToView(ancestor->bounds(), &view);
    TKDrawGuarded([&] { painter->drawBackgroundInSubview(view, rect); });
}

#include "SwitcherLayoutSupport.h"

#include "SwitchViewControllerProtocol.h"

#include <appkit/NSKeyValueBinding.h>
#include <appkit/NSValueTransformer.h>
#include <appkit/NSScrollView.h>
#include <appkit/NSView.h>
#include <appkit/NSWindow.h>
#include <model/EBEventful.h>
#include <toolkit/FBFlatButton.h>

#include <algorithm>

namespace {

// YES when a window has no number to show.
class NoBadgeTransformer : public NSValueTransformer {
public:
    std::string transformedValueClass() const override { return "NSNumber"; }
    Value transformedValue(const Value& value) const override
    {
        return Value(value.isNil() || value.stringValue().empty());
    }
};

}

bool isLayoutOnScreen(NSViewController& controller)
{
    NSWindow* window = controller.isViewLoaded() ? controller.view()->window() : nullptr;
    return window && window->isVisible();
}

void receiveControlArrowKeys(const Ref<NSViewController>& controller)
{
    if (!dynamic_cast<SwitchViewControllerProtocol*>(controller.get())) return;
    auto& bus = EBEventful::sharedInstance();
    // A second subscription would act twice per key.
    bus.stopReceivingEventId(ControlArrowKeyEvent, controller.get());
    Weak<NSViewController> weak = controller;
    bus.receiveEvent(ControlArrowKeyEvent, controller, [weak](const EBEvent& event) {
        auto controller = weak.lock();
        if (!controller || !isLayoutOnScreen(*controller)) return;
        if (auto layout = dynamic_cast<SwitchViewControllerProtocol*>(controller.get()))
            layout->processControlKeys(static_cast<uint16_t>(event.data()["KeyCode"].integerValue() & 0xFFFF));
    });
}

void bindNumberBadge(FBFlatButton& badge, const Ref<NSObject>& owner, const std::string& keyPath)
{
    badge.bind(NSTitleBinding, owner, keyPath);
    badge.bind(NSHiddenBinding, owner, keyPath,
        Value(Value::Dictionary { { NSValueTransformerBindingOption, Value(makeRef<NoBadgeTransformer>()) } }));
}

void keepScrollViewClearOfBottom(NSScrollView& scroll, CGFloat designedMargin, CGFloat clearance)
{
    CGRect frame = scroll.frame();
    CGFloat top = CGRectGetMaxY(frame);
    CGFloat bottom = std::max(designedMargin, clearance);
    if (bottom == frame.origin.y) return;
    scroll.setFrame(CGRectMake(frame.origin.x, bottom, frame.size.width, std::max<CGFloat>(0, top - bottom)));
}

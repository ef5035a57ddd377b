#include "SwitcherLayoutSupport.h"

#include "SwitchViewControllerProtocol.h"

#include <appkit/NSScrollView.h>
#include <appkit/NSView.h>
#include <appkit/NSWindow.h>
#include <model/EBEventful.h>

#include <algorithm>

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

void keepScrollViewClearOfBottom(NSScrollView& scroll, CGFloat designedMargin, CGFloat clearance)
{
    CGRect frame = scroll.frame();
    CGFloat top = CGRectGetMaxY(frame);
    CGFloat bottom = std::max(designedMargin, clearance);
    if (bottom == frame.origin.y) return;
    scroll.setFrame(CGRectMake(frame.origin.x, bottom, frame.size.width, std::max<CGFloat>(0, top - bottom)));
}

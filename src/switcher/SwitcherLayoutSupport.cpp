#include "SwitcherLayoutSupport.h"

#include "BoolTransformer.h"
#include "SwitchViewControllerProtocol.h"

#include <appkit/NSKeyPathObserver.h>
#include <appkit/NSKeyValueBinding.h>
#include <appkit/NSUserDefaultsController.h>
#include <appkit/NSValueTransformer.h>
#include <appkit/NSScrollView.h>
#include <appkit/NSView.h>
#include <appkit/NSWindow.h>
#include <model/DefaultsKeys.h>
#include <model/EBEventful.h>
#include <toolkit/FBFlatButton.h>

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

namespace {

// A transformer's answer is kept until the bound text changes, and the
// panel keeps its cells (and their badges) from one opening to the next:
// the badges bound to the keyboard-shortcut switch read their binding again
// when the switch changes.
void followKeyboardShortcutsSwitch(FBFlatButton& badge)
{
    // Kept for the life of the process, in one object that stays reachable:
    // an observation's token held only by a pointer nothing reads was
    // dropped by the optimiser and counted as a leak.
    struct Followers {
        std::vector<Weak<FBFlatButton>> badges;
        Token observation;
    };
    static auto* followers = [] {
        auto* made = new Followers;
        made->observation = NSObserveKeyPath(*NSUserDefaultsController::sharedUserDefaultsController(),
            std::string("values.") + DefaultsKey::KeyboardShotcuts, 0, [made](const KVOChange&) {
                std::erase_if(made->badges, [](const Weak<FBFlatButton>& weak) { return weak.expired(); });
                for (const auto& weak : made->badges) {
                    auto live = weak.lock();
                    Value info = live ? live->infoForBinding(NSHiddenBinding) : Value();
                    if (auto observed = info[NSObservedObjectKey].objectAs<NSObject>())
                        live->bind(NSHiddenBinding, observed, info[NSObservedKeyPathKey].stringValue(), info[NSOptionsKey]);
                }
            });
        return made;
    }();
    auto& badges = followers->badges;
    if (badges.size() >= 64 && (badges.size() & (badges.size() - 1)) == 0)
        std::erase_if(badges, [](const Weak<FBFlatButton>& weak) { return weak.expired(); });
    badges.push_back(badge.selfRef<FBFlatButton>());
}

}

void bindNumberBadge(FBFlatButton& badge, const Ref<NSObject>& owner, const std::string& keyPath)
{
    badge.bind(NSTitleBinding, owner, keyPath);
    // The badge is the digit that picks the window: hidden while the
    // panel's keyboard shortcuts are off, and for a window without one.
    if (!NSValueTransformer::valueTransformerForName(BoolTransformer::kName))
        BoolTransformer::registerTransformer();
    badge.bind(NSHiddenBinding, owner, keyPath,
        Value(Value::Dictionary { { NSValueTransformerNameBindingOption, Value(BoolTransformer::kName) } }));
    followKeyboardShortcutsSwitch(badge);
}

void keepScrollViewClearOfBottom(NSScrollView& scroll, CGFloat designedMargin, CGFloat clearance)
{
    CGRect frame = scroll.frame();
    CGFloat top = CGRectGetMaxY(frame);
    CGFloat bottom = std::max(designedMargin, clearance);
    if (bottom == frame.origin.y) return;
    scroll.setFrame(CGRectMake(frame.origin.x, bottom, frame.size.width, std::max<CGFloat>(0, top - bottom)));
}

#include "AppKitTestSupport.h"

#include <support/SimWorld.h>

#include <appkit/NSButton.h>
#include <appkit/NSRunningApplication.h>
#include <appkit/NSTextField.h>
#include <appkit/NSWorkspace.h>
#include <foundation/NSNotificationCenter.h>
#include <foundation/NSTimer.h>

namespace {

// A delegate that may refuse to close and records what it hears.
class ClosingDelegate : public NSObject, public NSWindowDelegate {
public:
    bool windowShouldClose(NSWindow&) override
    {
        events.push_back("should");
        return allow;
    }
    void windowWillClose(NSWindow& window) override { events.push_back("will " + window.title()); }
    bool allow { true };
    std::vector<std::string> events;
};

// Runs the block after the delay, during a modal run too.
Ref<NSTimer> during(double delay, std::function<void()> block)
{
    auto timer = NSTimer::timerWithTimeInterval(delay, false, [block](NSTimer&) { block(); });
    timer->scheduleIn(RunLoop::main(), NSModalPanelRunLoopMode);
    return timer;
}

} // namespace

TEST(TitleBar, TitledWindowsHaveButtonsEnabledByTheirStyle)
{
    SimWorld world;
    auto borderless = makeWindow(CGRectMake(0, 0, 100, 100), NSWindowStyleMaskBorderless);
    EXPECT_EQ(borderless->standardWindowButton(NSWindowCloseButton), nullptr);
    auto window = makeWindow(CGRectMake(0, 0, 100, 100), NSWindowStyleMaskTitled | NSWindowStyleMaskResizable);
    auto close = window->standardWindowButton(NSWindowCloseButton);
    auto zoom = window->standardWindowButton(NSWindowZoomButton);
    ASSERT_TRUE(close && zoom);
    EXPECT_EQ(window->standardWindowButton(NSWindowCloseButton), close) << "the same button each time";
    EXPECT_FALSE(close->isEnabled());
    EXPECT_TRUE(zoom->isEnabled());
    EXPECT_FALSE(window->standardWindowButton(NSWindowMiniaturizeButton)->isEnabled());
    EXPECT_EQ(window->standardWindowButton(7), nullptr);
    window->setStyleMask(NSWindowStyleMaskTitled | NSWindowStyleMaskClosable);
    EXPECT_TRUE(close->isEnabled());
    EXPECT_FALSE(zoom->isEnabled());
}

TEST(TitleBar, TheCloseButtonAsksTheDelegateThenClosesWithNotice)
{
    SimWorld world;
    auto window = makeWindow(CGRectMake(0, 0, 100, 100), NSWindowStyleMaskTitled | NSWindowStyleMaskClosable);
    window->setTitle("W");
    auto delegate = makeRef<ClosingDelegate>();
    window->setDelegate(delegate);
    window->makeKeyAndOrderFront(nullptr);
    int notices = 0;
    auto observation = NSNotificationCenter::defaultCenter().addObserverForName(
        NSWindowWillCloseNotification, window.get(), nullptr, [&](const NSNotification&) { notices++; });

    delegate->allow = false;
    window->standardWindowButton(NSWindowCloseButton)->performClick(nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(notices, 0);
    delegate->allow = true;
    window->standardWindowButton(NSWindowCloseButton)->performClick(nullptr);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(notices, 1);
    EXPECT_EQ(delegate->events, (std::vector<std::string> { "should", "should", "will W" }));
}

TEST(ModalRuns, StopAndAbortEndTheInnermostRunWithTheirAnswers)
{
    SimWorld world;
    auto outer = makeWindow(CGRectMake(0, 0, 100, 100));
    auto inner = makeWindow(CGRectMake(200, 0, 100, 100));
    NSModalResponse innerResponse = 0;
    std::vector<Ref<NSTimer>> timers;
    timers.push_back(during(1, [&] {
        timers.push_back(during(1, [&] { NSApp().abortModal(); }));
        innerResponse = NSApp().runModalForWindow(inner);
        EXPECT_EQ(NSApp().modalWindow(), outer);
    }));
    timers.push_back(during(5, [&] { NSApp().stopModal(); }));
    EXPECT_EQ(NSApp().runModalForWindow(outer), NSModalResponseStop);
    EXPECT_EQ(innerResponse, NSModalResponseAbort);
    EXPECT_EQ(NSApp().modalWindow(), nullptr);
    // Stopping with no run going on changes nothing later.
    NSApp().stopModal();
    timers.push_back(during(1, [&] { NSApp().stopModalWithCode(3); }));
    EXPECT_EQ(NSApp().runModalForWindow(outer), 3);
}

TEST(ModalRuns, ClosingTheModalWindowDoesNotEndItsRun)
{
    // As on the platform: the window's owner has to stop the run.
    SimWorld world;
    auto window = makeWindow(CGRectMake(0, 0, 100, 100), NSWindowStyleMaskTitled | NSWindowStyleMaskClosable);
    std::vector<Ref<NSTimer>> timers;
    timers.push_back(during(1, [&] { window->standardWindowButton(NSWindowCloseButton)->performClick(nullptr); }));
    timers.push_back(during(10, [&] { NSApp().abortModal(); }));
    EXPECT_EQ(NSApp().runModalForWindow(window), NSModalResponseAbort);
    EXPECT_FALSE(window->isVisible());
}

TEST(ApplicationShell, TheActivationPolicyIsTheDesktopsRecordOfTheProcess)
{
    SimWorld world;
    ASSERT_EQ(NSApp().activationPolicy(), NSApplicationActivationPolicyRegular);
    EXPECT_TRUE(NSApp().setActivationPolicy(NSApplicationActivationPolicyAccessory));
    EXPECT_EQ(NSApp().activationPolicy(), NSApplicationActivationPolicyAccessory);
    auto own = world.desktop().application(SimDesktop::kOwnPid);
    ASSERT_TRUE(own);
    EXPECT_EQ(own->policy, ActivationPolicy::Accessory);
    EXPECT_FALSE(NSApp().setActivationPolicy(7));
    EXPECT_EQ(NSApp().activationPolicy(), NSApplicationActivationPolicyAccessory);
    EXPECT_EQ(world.desktop().countCalls("setActivationPolicy"), 1u);
    NSApp().setActivationPolicy(NSApplicationActivationPolicyRegular);
    EXPECT_EQ(world.desktop().callLog().back(), "setActivationPolicy 0");

    // A new desktop starts with the process regular again.
    SimWorld next;
    EXPECT_EQ(NSApp().activationPolicy(), NSApplicationActivationPolicyRegular);
}

TEST(ApplicationShell, TheAboutPanelRequestsAreCountedAlsoAsAnAction)
{
    SimWorld world;
    int before = NSApp().aboutPanelRequestCount();
    NSApp().orderFrontStandardAboutPanel(nullptr);
    EXPECT_TRUE(NSApp().sendAction("orderFrontStandardAboutPanel:", nullptr, nullptr));
    EXPECT_EQ(NSApp().aboutPanelRequestCount(), before + 2);
}

TEST(KeyViewLoop, TheViewAfterAGivenOneTakesTheKeyboardWrappingRound)
{
    SimWorld world;
    auto window = makeWindow(CGRectMake(0, 0, 300, 200));
    auto content = window->contentView();
    auto label = NSTextField::labelWithString("label");
    auto first = NSTextField::textFieldWithString("first");
    auto group = makeRef<NSView>(CGRectMake(0, 0, 300, 100));
    auto second = NSTextField::textFieldWithString("second");
    auto hidden = NSTextField::textFieldWithString("hidden");
    hidden->setHidden(true);
    content->addSubview(label);
    content->addSubview(first);
    content->addSubview(group);
    group->addSubview(hidden);
    group->addSubview(second);
    window->recalculateKeyViewLoop();

    window->selectKeyViewFollowingView(content);
    EXPECT_EQ(window->firstResponder(), first) << "labels and hidden views are passed over";
    window->selectKeyViewFollowingView(first);
    EXPECT_EQ(window->firstResponder(), second);
    window->selectKeyViewFollowingView(second);
    EXPECT_EQ(window->firstResponder(), first);
    auto stranger = NSTextField::textFieldWithString("elsewhere");
    window->selectKeyViewFollowingView(stranger);
    EXPECT_EQ(window->firstResponder(), first) << "a view outside the window changes nothing";
}

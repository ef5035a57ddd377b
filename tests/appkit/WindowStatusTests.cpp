#include "AppKitTestSupport.h"

#include <support/SimWorld.h>

#include <appkit/NSAnimationContext.h>
#include <appkit/NSPanel.h>
#include <appkit/NSScreen.h>
#include <foundation/NSNotificationCenter.h>

namespace {

// Records the key and main notifications of all windows.
struct NotificationLog {
    std::vector<std::string> entries;
    std::vector<Token> tokens;
    NotificationLog()
    {
        for (const auto& name : { NSWindowDidBecomeKeyNotification, NSWindowDidResignKeyNotification,
                 NSWindowDidBecomeMainNotification, NSWindowDidResignMainNotification }) {
            tokens.push_back(NSNotificationCenter::defaultCenter().addObserverForName(
                name, nullptr, nullptr, [this](const NSNotification& n) {
                    auto window = std::dynamic_pointer_cast<NSWindow>(n.object);
                    entries.push_back(n.name.substr(8) + " " + (window ? window->title() : "?"));
                }));
        }
    }
};

Ref<NSWindow> titled(const std::string& title)
{
    auto w = makeWindow(CGRectMake(100, 100, 300, 200));
    w->setTitle(title);
    return w;
}

}

TEST(WindowStatus, KeyAndMainMoveWithNotificationsInOrder)
{
    SimWorld world;
    NSApp().activateIgnoringOtherApps(true);
    world.settle();
    NotificationLog log;
    auto a = titled("A");
    auto b = titled("B");
    a->makeKeyAndOrderFront(nullptr);
    EXPECT_TRUE(a->isKeyWindow());
    EXPECT_TRUE(a->isMainWindow());
    b->makeKeyAndOrderFront(nullptr);
    EXPECT_FALSE(a->isKeyWindow());
    EXPECT_TRUE(b->isKeyWindow());
    EXPECT_EQ(NSApp().keyWindow(), b);
    EXPECT_EQ(log.entries,
        (std::vector<std::string> { "DidBecomeKeyNotification A", "DidBecomeMainNotification A",
            "DidResignKeyNotification A", "DidBecomeKeyNotification B", "DidResignMainNotification A",
            "DidBecomeMainNotification B" }));

    // Ordering the key window out hands the key status to the next window.
    log.entries.clear();
    b->orderOut(nullptr);
    EXPECT_TRUE(a->isKeyWindow());
    EXPECT_EQ(log.entries.front(), "DidResignKeyNotification B");
}

TEST(WindowStatus, PanelsAndBorderlessWindows)
{
    SimWorld world;
    auto panel = makeRef<NSPanel>(CGRectMake(0, 0, 100, 100), NSWindowStyleMaskTitled);
    panel->makeKeyAndOrderFront(nullptr);
    EXPECT_TRUE(panel->isKeyWindow());
    EXPECT_FALSE(panel->isMainWindow());

    auto borderless = makeWindow(CGRectMake(0, 0, 100, 100), NSWindowStyleMaskBorderless);
    borderless->makeKeyAndOrderFront(nullptr);
    EXPECT_FALSE(borderless->isKeyWindow());
    EXPECT_TRUE(borderless->isVisible());
    EXPECT_TRUE(panel->isKeyWindow());
}

TEST(WindowStatus, AnotherApplicationTakingTheFrontResignsKeyAndMain)
{
    SimWorld world;
    NSApp().activateIgnoringOtherApps(true);
    world.settle();
    auto a = titled("A");
    a->makeKeyAndOrderFront(nullptr);
    NotificationLog log;
    world.desktop().activateApplication(101, false);
    world.settle();
    EXPECT_FALSE(a->isKeyWindow());
    EXPECT_FALSE(a->isMainWindow());
    EXPECT_EQ(log.entries,
        (std::vector<std::string> { "DidResignKeyNotification A", "DidResignMainNotification A" }));
    // Coming back restores the key window.
    NSApp().activateIgnoringOtherApps(true);
    world.settle();
    EXPECT_TRUE(a->isKeyWindow());
}

TEST(WindowStatus, FirstResponderMustAcceptAndResign)
{
    class Field : public NSView {
    public:
        using NSView::NSView;
        bool accepts { true };
        bool resigns { true };
        bool acceptsFirstResponder() const override { return accepts; }
        bool resignFirstResponder() override { return resigns; }
    };
    auto window = titled("W");
    auto one = makeRef<Field>(CGRectMake(0, 0, 10, 10));
    auto two = makeRef<Field>(CGRectMake(20, 0, 10, 10));
    window->contentView()->addSubview(one);
    window->contentView()->addSubview(two);
    EXPECT_EQ(window->firstResponder(), window);
    EXPECT_TRUE(window->makeFirstResponder(one));
    EXPECT_EQ(window->firstResponder(), one);
    one->resigns = false;
    EXPECT_FALSE(window->makeFirstResponder(two));
    EXPECT_EQ(window->firstResponder(), one);
    one->resigns = true;
    two->accepts = false;
    EXPECT_FALSE(window->makeFirstResponder(two));
    EXPECT_EQ(window->firstResponder(), one);
    // A first responder that leaves the window hands the status back.
    one->removeFromSuperview();
    EXPECT_EQ(window->firstResponder(), window);
}

TEST(WindowGeometry, CenterUsesTheVisibleFrameOfTheWindowsScreen)
{
    SimWorld world;
    // Demo desktop: primary screen 1440 × 900 with visible frame
    // (0, 70, 1440, 805) in screen coordinates.
    auto w = makeWindow(CGRectMake(0, 0, 400, 300));
    w->center();
    EXPECT_EQ(w->frame(), CGRectMake(520, 322, 400, 300));
}

TEST(WindowGeometry, ASubclassCanChooseTheScreenThroughTheConstraint)
{
    class SecondScreenWindow : public NSWindow {
    public:
        using NSWindow::NSWindow;
        CGRect constrainFrameRect(CGRect frame, const Ref<NSScreen>&) const override
        {
            return NSWindow::constrainFrameRect(frame, NSScreen::screens().at(1));
        }
    };
    SimWorld world;
    auto w = makeRef<SecondScreenWindow>(CGRectMake(0, 0, 400, 300), NSWindowStyleMaskBorderless);
    w->center();
    auto screen = w->screen();
    ASSERT_TRUE(screen);
    EXPECT_EQ(screen, NSScreen::screens().at(1));
    CGRect visible = screen->visibleFrame();
    EXPECT_DOUBLE_EQ(CGRectGetMidX(w->frame()), CGRectGetMidX(visible));
}

TEST(WindowGeometry, TitledWindowsKeepTheirTopBelowTheMenuBar)
{
    SimWorld world;
    auto w = makeWindow(CGRectMake(100, 800, 300, 200));
    CGRect constrained = w->constrainFrameRect(w->frame(), NSScreen::screens().at(0));
    EXPECT_EQ(CGRectGetMaxY(constrained), 875);
    auto borderless = makeWindow(CGRectMake(0, 0, 1440, 900), NSWindowStyleMaskBorderless);
    EXPECT_EQ(borderless->constrainFrameRect(borderless->frame(), NSScreen::screens().at(0)), CGRectMake(0, 0, 1440, 900));
}

TEST(WindowAlpha, AGroupOfDurationZeroAppliesAtOnce)
{
    SimWorld world;
    auto w = titled("W");
    w->orderFront(nullptr);
    bool completed = false;
    NSAnimationContext::runAnimationGroup(
        [&](NSAnimationContext& context) {
            context.setDuration(0);
            w->animator().setAlphaValue(0.0);
        },
        [&] { completed = true; });
    EXPECT_EQ(w->alphaValue(), 0.0);
    EXPECT_EQ(world.desktop().window(static_cast<CGWindowID>(w->windowNumber()))->alpha, 0.0);
    EXPECT_FALSE(completed);
    world.settle();
    EXPECT_TRUE(completed);
}

TEST(WindowAlpha, AnimationsFollowTheClockAndALaterChangeWins)
{
    SimWorld world;
    auto w = titled("W");
    // Outside a group the default duration applies.
    w->animator().setAlphaValue(0.0);
    EXPECT_EQ(w->alphaValue(), 1.0);
    world.advance(0.1);
    EXPECT_GT(w->alphaValue(), 0.0);
    EXPECT_LT(w->alphaValue(), 1.0);
    // A new change replaces the running animation.
    NSAnimationContext::runAnimationGroup([&](NSAnimationContext& context) {
        context.setDuration(0);
        w->animator().setAlphaValue(1.0);
    });
    EXPECT_EQ(w->alphaValue(), 1.0);
    world.advance(1.0);
    EXPECT_EQ(w->alphaValue(), 1.0);

    NSAnimationContext::runAnimationGroup([&](NSAnimationContext& context) {
        context.setDuration(0.5);
        w->animator().setAlphaValue(0.2);
    });
    world.advance(0.25);
    EXPECT_NEAR(w->alphaValue(), 0.6, 0.05);
    world.advance(0.5);
    EXPECT_DOUBLE_EQ(w->alphaValue(), 0.2);
}

TEST(ModalRuns, RunInTheModalModeUntilStopped)
{
    SimWorld world;
    auto w = titled("Grant");
    int defaultModeRuns = 0;
    int polls = 0;
    RunLoop::main().performAfterDelay(nullptr, "default", 1.0, [&] { defaultModeRuns++; }, { kCFRunLoopDefaultMode });
    // A poll in the modal mode, as the permission window's timer is.
    std::function<void()> poll = [&] {
        polls++;
        if (polls == 3)
            NSApp().stopModalWithCode(7);
        else
            RunLoop::main().performAfterDelay(nullptr, "poll", 3.0, poll, { kCFRunLoopDefaultMode, NSModalPanelRunLoopMode });
    };
    RunLoop::main().performAfterDelay(nullptr, "poll", 3.0, poll, { kCFRunLoopDefaultMode, NSModalPanelRunLoopMode });
    double start = Clock::current().now();
    EXPECT_EQ(NSApp().runModalForWindow(w), 7);
    EXPECT_EQ(polls, 3);
    EXPECT_DOUBLE_EQ(Clock::current().now() - start, 9.0);
    EXPECT_TRUE(w->isVisible());
    // Default-mode work waited.
    EXPECT_EQ(defaultModeRuns, 0);
    EXPECT_EQ(NSApp().modalWindow(), nullptr);
    world.settle();
    EXPECT_EQ(defaultModeRuns, 1);
    // Nothing can end a run with nothing pending: it ends as aborted.
    EXPECT_EQ(NSApp().runModalForWindow(w), NSModalResponseAbort);
}

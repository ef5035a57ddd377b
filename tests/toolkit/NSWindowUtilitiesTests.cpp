#include <support/SimWorld.h>

#include <appkit/NSApplication.h>
#include <appkit/NSPanel.h>
#include <appkit/NSView.h>
#include <foundation/NSNotificationCenter.h>
#include <toolkit/NSWindowUtilities.h>

namespace {

class CountingView : public NSView {
public:
    using NSView::NSView;
    int draws { 0 };
    void drawRect(CGRect) override { draws++; }
};

class DelegateA : public NSObject { };
class DelegateB : public NSObject { };
class SpecialDelegateA : public DelegateA { };

Ref<NSWindow> window(CGRect frame, NSWindowStyleMask style = NSWindowStyleMaskTitled)
{
    return makeRef<NSWindow>(frame, style);
}

}

TEST(NSWindowAddition, SetHeightKeepsTheBottomEdgeAndSkipsTheSameHeight)
{
    SimWorld world;
    auto w = window(CGRectMake(100, 200, 300, 150));
    auto view = makeRef<CountingView>(CGRectMake(0, 0, 10, 10));
    w->contentView()->addSubview(view);
    w->orderFront(nullptr);
    world.settle();
    int draws = view->draws;
    int resizes = 0;
    Token token = NSNotificationCenter::defaultCenter().addObserverForName(
        NSWindowDidResizeNotification, w.get(), nullptr, [&](const NSNotification&) { resizes++; });

    view->setNeedsDisplay(true);
    NSWindowAddition::setHeight(*w, 150);
    // Nothing happened: no resize, and the pending damage is still pending.
    EXPECT_EQ(resizes, 0);
    EXPECT_EQ(view->draws, draws);
    EXPECT_TRUE(w->viewsNeedDisplay());

    NSWindowAddition::setHeight(*w, 190);
    EXPECT_EQ(w->frame(), CGRectMake(100, 200, 300, 190));
    EXPECT_EQ(resizes, 1);
    // Displayed at once.
    EXPECT_EQ(view->draws, draws + 1);
    EXPECT_FALSE(w->viewsNeedDisplay());
    EXPECT_EQ(NSWindowAddition::height(*w), 190);
}

TEST(NSWindowAddition, SetWidthSetsTheFrameEvenForTheSameWidth)
{
    SimWorld world;
    auto w = window(CGRectMake(100, 200, 300, 150));
    auto view = makeRef<CountingView>(CGRectMake(0, 0, 10, 10));
    w->contentView()->addSubview(view);
    w->orderFront(nullptr);
    world.settle();
    int draws = view->draws;
    view->setNeedsDisplay(true);
    NSWindowAddition::setWidth(*w, 300);
    EXPECT_EQ(view->draws, draws + 1);
    NSWindowAddition::setWidth(*w, 250);
    EXPECT_EQ(w->frame(), CGRectMake(100, 200, 250, 150));
}

TEST(NSWindowUtilities, VisibleWindowsNeedKeyAbilityAndVisibilityUnlessHidden)
{
    SimWorld world;
    auto a = window(CGRectMake(0, 0, 100, 100));
    auto b = window(CGRectMake(0, 0, 100, 100));
    auto borderless = window(CGRectMake(0, 0, 100, 100), NSWindowStyleMaskBorderless);
    a->orderFront(nullptr);
    borderless->orderFront(nullptr);
    EXPECT_EQ(NSWindowUtilities::visibleWindows(false), (std::vector<Ref<NSWindow>> { a }));
    b->orderFront(nullptr);
    EXPECT_EQ(NSWindowUtilities::visibleWindows(true), (std::vector<Ref<NSWindow>> { b, a }));
    b->orderOut(nullptr);

    ASSERT_TRUE(world.desktop().hideApplication(SimDesktop::kOwnPid));
    EXPECT_TRUE(NSApp().isHidden());
    EXPECT_FALSE(a->isVisible());
    // Hidden: every window that can become key counts, shown or not.
    EXPECT_EQ(NSWindowUtilities::visibleWindows(false), (std::vector<Ref<NSWindow>> { a, b }));
    world.desktop().unhideApplication(SimDesktop::kOwnPid);
    EXPECT_TRUE(NSWindowUtilities::miniaturizedWindows().empty());
}

TEST(NSWindowUtilities, DelegateClassesMatchSubclasses)
{
    SimWorld world;
    auto a = window(CGRectMake(0, 0, 100, 100));
    auto delegate = makeRef<SpecialDelegateA>();
    a->setDelegate(delegate);
    a->orderFront(nullptr);
    EXPECT_TRUE(NSWindowUtilities::isAnyWindowVisibleWithDelegateClass(NSWindowUtilities::isKindOf<DelegateA>()));
    EXPECT_FALSE(NSWindowUtilities::isAnyWindowVisibleWithDelegateClass(NSWindowUtilities::isKindOf<DelegateB>()));
    EXPECT_EQ(NSWindowUtilities::topWindowWithDelegateClass(*a, NSWindowUtilities::isKindOf<DelegateA>()), a);
    EXPECT_EQ(NSWindowUtilities::topWindowWithDelegateClass(*a, NSWindowUtilities::isKindOf<DelegateB>()), nullptr);
    EXPECT_TRUE(NSWindowUtilities::isAnyWindowVisible());
}

TEST(NSWindowUtilities, CascadeNeedsTheSameWindowAndDelegateClasses)
{
    SimWorld world;
    auto first = window(CGRectMake(100, 300, 400, 200));
    first->orderFront(nullptr);
    auto panel = makeRef<NSPanel>(CGRectMake(10, 10, 50, 50), NSWindowStyleMaskTitled);
    NSWindowUtilities::cascadeWindow(panel);
    EXPECT_EQ(panel->frame(), CGRectMake(10, 10, 50, 50));

    auto second = window(CGRectMake(10, 10, 50, 50));
    auto delegate = makeRef<DelegateA>();
    second->setDelegate(delegate);
    NSWindowUtilities::cascadeWindow(second);
    EXPECT_EQ(second->frame(), CGRectMake(10, 10, 50, 50));
    second->setDelegate(nullptr);
    NSWindowUtilities::cascadeWindow(second);
    // The other window's size, one step right and down from its top-left
    // corner (100, 500).
    EXPECT_EQ(second->frame(), CGRectMake(120, 280, 400, 200));
}

TEST(NSWindowUtilities, ScreensWithAnEmptyVisibleFrameDoNotCount)
{
    SimWorld world(R"({ "screens": [ { "frame": [0, 0, 800, 600], "visibleFrame": [0, 0, 0, 0] },
                                     { "frame": [800, 0, 800, 600], "visibleFrame": [800, 25, 800, 575] } ] })");
    EXPECT_FALSE(NSWindowUtilities::windowRectIsOnScreen(CGRectMake(10, 10, 100, 100)));
    EXPECT_TRUE(NSWindowUtilities::windowRectIsOnScreen(CGRectMake(700, 10, 200, 100)));
    EXPECT_FALSE(NSWindowUtilities::windowRectIsOnScreen(CGRectMake(5000, 10, 200, 100)));
}

TEST(NSWindowUtilities, FloatingWindowsNeverDimAndOthersFollowMainAndKey)
{
    SimWorld world;
    NSApp().activateIgnoringOtherApps(true);
    world.settle();
    auto main = window(CGRectMake(0, 0, 100, 100));
    auto other = window(CGRectMake(0, 0, 100, 100));
    main->makeKeyAndOrderFront(nullptr);
    other->orderFront(nullptr);
    EXPECT_FALSE(NSWindowUtilities::dimControls(*main));
    EXPECT_TRUE(NSWindowUtilities::dimControls(*other));
    EXPECT_TRUE(NSWindowUtilities::dimControlsKey(*other));
    NSWindowUtilities::setFloating(*other, true);
    EXPECT_TRUE(NSWindowUtilities::isFloating(*other));
    EXPECT_EQ(other->level(), NSFloatingWindowLevel);
    EXPECT_FALSE(NSWindowUtilities::dimControls(*other));
    EXPECT_FALSE(NSWindowUtilities::dimControlsKey(*other));
    NSWindowUtilities::setFloating(*other, false);
    EXPECT_EQ(other->level(), NSNormalWindowLevel);
    EXPECT_FALSE(NSWindowUtilities::keyWindowIsMenu());
    EXPECT_EQ(&NSWindowUtilities::parentWindowIfDrawerWindow(*other), other.get());
    EXPECT_FALSE(NSWindowNSDrawerWindow::isDrawerWindow(*other));
    EXPECT_EQ(NSWindowNSDrawerWindow::drawersParentWindow(*other), nullptr);
    EXPECT_EQ(NSWindowUtilities::copyWithZone(other), other);
}

TEST(NSWindowUtilities, StyleTests)
{
    auto w = window(CGRectMake(0, 0, 10, 10), NSWindowStyleMaskBorderless);
    EXPECT_TRUE(NSWindowUtilities::isBorderless(*w));
    EXPECT_FALSE(NSWindowUtilities::isMetallic(*w));
    w->setStyleMask(NSWindowStyleMaskTitled | NSWindowStyleMaskTexturedBackground);
    EXPECT_FALSE(NSWindowUtilities::isBorderless(*w));
    EXPECT_TRUE(NSWindowUtilities::isMetallic(*w));
}

TEST(NSWindowUtilities, ResizingToAContentSizeKeepsTheTopEdge)
{
    SimWorld world;
    auto w = window(CGRectMake(100, 200, 300, 150));
    EXPECT_EQ(NSWindowUtilities::windowFrameForContentSize(*w, { 200, 100 }), CGRectMake(100, 250, 200, 100));
    EXPECT_EQ(NSWindowUtilities::resizeWindowToContentSize(*w, { 200, 100 }, false), CGRectMake(100, 250, 200, 100));
    EXPECT_EQ(w->frame(), CGRectMake(100, 250, 200, 100));
    auto content = makeRef<NSView>(CGRectMake(0, 0, 320, 240));
    CGRect f = NSWindowUtilities::setContentViewAndResizeWindow(*w, content, false);
    EXPECT_EQ(f, CGRectMake(100, 110, 320, 240));
    EXPECT_EQ(w->frame(), f);
    EXPECT_EQ(w->contentView(), content);
    EXPECT_EQ(content->frame(), CGRectMake(0, 0, 320, 240));
}

TEST(NSWindowUtilities, FlushingCyclesTheFirstResponder)
{
    class Field : public NSView {
    public:
        using NSView::NSView;
        int resigns { 0 }, becomes { 0 };
        bool acceptsFirstResponder() const override { return true; }
        bool becomeFirstResponder() override { return ++becomes > 0; }
        bool resignFirstResponder() override { return ++resigns > 0; }
    };
    auto w = window(CGRectMake(0, 0, 100, 100));
    auto field = makeRef<Field>(CGRectMake(0, 0, 10, 10));
    w->contentView()->addSubview(field);
    w->makeFirstResponder(field);
    NSWindowUtilities::flushActiveTextFields(*w);
    EXPECT_EQ(field->resigns, 1);
    EXPECT_EQ(field->becomes, 2);
    EXPECT_EQ(w->firstResponder(), field);
}

TEST(NSWindowUtilities, DefaultFirstResponderIsAnnounced)
{
    auto w = window(CGRectMake(0, 0, 100, 100));
    int posts = 0;
    Token token = NSNotificationCenter::defaultCenter().addObserverForName(
        "TKSetDefaultFirstResponderNotification", w.get(), nullptr, [&](const NSNotification&) { posts++; });
    NSWindowUtilities::setDefaultFirstResponder(*w);
    EXPECT_EQ(posts, 1);
}

#include "AppKitTestSupport.h"

#include <support/SimWorld.h>

#include <appkit/NSViewController.h>

namespace {

class FlippedView : public NSView {
public:
    using NSView::NSView;
    bool isFlipped() const override { return true; }
};

// root (unflipped, 400 × 300) > flipped container at (50, 40, 200, 100) >
// unflipped leaf at (10, 20, 30, 30) in the container's top-down space.
struct NestedTree {
    Ref<NSView> root = makeRef<NSView>(CGRectMake(0, 0, 400, 300));
    Ref<FlippedView> container = makeRef<FlippedView>(CGRectMake(50, 40, 200, 100));
    Ref<NSView> leaf = makeRef<NSView>(CGRectMake(10, 20, 30, 30));
    NestedTree()
    {
        root->addSubview(container);
        container->addSubview(leaf);
    }
};

}

TEST(ViewGeometry, ConversionThroughFlippedAndUnflippedAncestors)
{
    NestedTree t;
    // The container's top edge is at y = 140 in the root; its (0, 0) is its
    // top-left corner.
    EXPECT_EQ(t.container->convertPointToView({ 0, 0 }, t.root.get()), CGPointMake(50, 140));
    EXPECT_EQ(t.container->convertPointToView({ 0, 100 }, t.root.get()), CGPointMake(50, 40));
    // The leaf's frame spans y 20..50 from the container's top, so its
    // bottom-left corner (its unflipped origin) is 50 below that top.
    EXPECT_EQ(t.leaf->convertPointToView({ 0, 0 }, t.root.get()), CGPointMake(60, 90));
    EXPECT_EQ(t.leaf->convertPointToView({ 0, 30 }, t.root.get()), CGPointMake(60, 120));
    EXPECT_EQ(t.leaf->convertPointFromView({ 60, 90 }, t.root.get()), CGPointMake(0, 0));
    EXPECT_EQ(t.leaf->convertRectToView(t.leaf->bounds(), t.root.get()), CGRectMake(60, 90, 30, 30));
    EXPECT_EQ(t.root->convertRectToView(CGRectMake(60, 90, 30, 30), t.leaf.get()), CGRectMake(0, 0, 30, 30));
    // Between siblings' descendants the route goes through the common root.
    EXPECT_EQ(t.leaf->convertPointToView({ 0, 0 }, t.container.get()), CGPointMake(10, 50));
}

TEST(ViewGeometry, BoundsOriginShiftsWhatTheViewShows)
{
    NestedTree t;
    t.container->setBoundsOrigin({ 0, 15 });
    EXPECT_EQ(t.leaf->convertPointToView({ 0, 0 }, t.root.get()), CGPointMake(60, 105));
    EXPECT_EQ(t.container->convertPointToView({ 0, 15 }, t.root.get()), CGPointMake(50, 140));
}

TEST(ViewHitTesting, FindsTheDeepestVisibleViewThroughFlippedContainers)
{
    NestedTree t;
    // Root coordinates: the leaf covers x 60..90 and y 90..120.
    EXPECT_EQ(t.root->hitTest({ 70, 100 }), t.leaf);
    EXPECT_EQ(t.root->hitTest({ 70, 125 }), t.container);
    EXPECT_EQ(t.root->hitTest({ 20, 20 }), t.root);
    EXPECT_EQ(t.root->hitTest({ 500, 20 }), nullptr);
    // Edges: in a flipped superview the top edge is inside, the bottom edge
    // outside; the leaf's frame in the container is y 20..50.
    EXPECT_EQ(t.leaf->hitTest({ 15, 50 }), nullptr);
    EXPECT_EQ(t.leaf->hitTest({ 15, 20 }), t.leaf);
}

TEST(ViewHitTesting, HiddenViewsAndTheirSubviewsAreNeverHit)
{
    NestedTree t;
    t.container->setHidden(true);
    EXPECT_EQ(t.root->hitTest({ 70, 100 }), t.root);
    EXPECT_TRUE(t.leaf->isHiddenOrHasHiddenAncestor());
    t.container->setHidden(false);
    EXPECT_EQ(t.root->hitTest({ 70, 100 }), t.leaf);
}

TEST(ViewHitTesting, LaterSubviewsAreHitFirst)
{
    auto root = makeRef<NSView>(CGRectMake(0, 0, 100, 100));
    auto below = makeRef<NSView>(CGRectMake(0, 0, 60, 60));
    auto above = makeRef<NSView>(CGRectMake(30, 30, 60, 60));
    root->addSubview(below);
    root->addSubview(above);
    EXPECT_EQ(root->hitTest({ 40, 40 }), above);
    root->addSubview(below, NSWindowOrderingMode::Above, above);
    EXPECT_EQ(root->hitTest({ 40, 40 }), below);
}

TEST(ViewTree, RemovalClearsTheBackPointersAndMovingReparents)
{
    NestedTree t;
    auto window = makeWindow(CGRectMake(0, 0, 400, 300));
    window->setContentView(t.root);
    EXPECT_EQ(t.leaf->window(), window.get());
    t.container->removeFromSuperview();
    EXPECT_EQ(t.container->superview(), nullptr);
    EXPECT_EQ(t.container->window(), nullptr);
    EXPECT_EQ(t.leaf->window(), nullptr);
    EXPECT_EQ(t.leaf->superview(), t.container.get());
    EXPECT_TRUE(t.root->subviews().empty());

    // Adding a view that has a superview moves it.
    auto other = makeRef<NSView>(CGRectMake(0, 0, 10, 10));
    t.root->addSubview(t.container);
    other->addSubview(t.leaf);
    EXPECT_TRUE(t.container->subviews().empty());
    EXPECT_EQ(t.leaf->superview(), other.get());
    // A view cannot become a subview of its own descendant.
    t.leaf->addSubview(other);
    EXPECT_EQ(other->superview(), nullptr);
}

TEST(ViewTree, DestroyingASuperviewLeavesNoDanglingPointer)
{
    auto leaf = makeRef<NSView>(CGRectMake(0, 0, 10, 10));
    {
        auto parent = makeRef<NSView>(CGRectMake(0, 0, 100, 100));
        parent->addSubview(leaf);
    }
    EXPECT_EQ(leaf->superview(), nullptr);
}

TEST(ViewLayout, AutoresizingSpreadsTheChangeOverFlexibleParts)
{
    auto root = makeRef<NSView>(CGRectMake(0, 0, 200, 100));
    auto stretchy = makeRef<NSView>(CGRectMake(10, 10, 180, 80));
    stretchy->setAutoresizingMask(NSViewWidthSizable | NSViewHeightSizable);
    auto pinnedRight = makeRef<NSView>(CGRectMake(150, 10, 40, 20));
    pinnedRight->setAutoresizingMask(NSViewMinXMargin);
    root->addSubview(stretchy);
    root->addSubview(pinnedRight);
    root->setFrameSize({ 300, 150 });
    EXPECT_EQ(stretchy->frame(), CGRectMake(10, 10, 280, 130));
    EXPECT_EQ(pinnedRight->frame(), CGRectMake(250, 10, 40, 20));
}

TEST(ViewLayout, AnchorsPlaceAViewInTopDownSpace)
{
    SimWorld world;
    auto window = makeWindow(CGRectMake(100, 100, 300, 200));
    auto content = window->contentView();
    auto child = makeRef<NSView>();
    child->setTranslatesAutoresizingMaskIntoConstraints(false);
    content->addSubview(child);
    NSLayoutConstraint::activateConstraints({
        child->leadingAnchor().constraintEqualToAnchor(content->leadingAnchor()),
        child->trailingAnchor().constraintEqualToAnchor(content->trailingAnchor()),
        child->topAnchor().constraintEqualToAnchor(content->topAnchor(), 20),
        child->bottomAnchor().constraintEqualToAnchor(content->bottomAnchor(), 20),
    });
    window->layoutIfNeeded();
    // Positive constants move both edges 20 points down: in the unflipped
    // content view the child sits 20 lower and keeps the full height.
    EXPECT_EQ(child->frame(), CGRectMake(0, -20, 300, 200));

    // The constraints follow the superview's size.
    window->setFrame(CGRectMake(100, 100, 400, 250), false);
    window->layoutIfNeeded();
    EXPECT_EQ(child->frame(), CGRectMake(0, -20, 400, 250));
    // Exactly, after any number of resizes (as the switcher panel's at
    // every opening): the content view's bounds follow its frame without a
    // rounding error, so a child sized to hold three 280-point columns is
    // never a hair too narrow for them (600 to 880 once gave 879.99...).
    for (CGFloat width : { 600.0, 880.0, 40.0, 1160.0, 600.0, 880.0, 320.0, 1160.0 }) {
        window->setFrame(CGRectMake(0, 0, width, 248), false);
        window->layoutIfNeeded();
        EXPECT_EQ(content->bounds().size.width, width);
        EXPECT_EQ(child->frame().size.width, width);
    }

    // Removing the view drops its constraints.
    child->removeFromSuperview();
    EXPECT_TRUE(content->constraints().empty());
}

TEST(ViewLayout, WidthAndCentreAnchorsInAFlippedSuperview)
{
    auto root = makeRef<FlippedView>(CGRectMake(0, 0, 200, 100));
    auto child = makeRef<NSView>();
    child->setTranslatesAutoresizingMaskIntoConstraints(false);
    root->addSubview(child);
    NSLayoutConstraint::activateConstraints({
        child->widthAnchor().constraintEqualToConstant(50),
        child->heightAnchor().constraintEqualToConstant(10),
        child->centerXAnchor().constraintEqualToAnchor(root->centerXAnchor()),
        child->topAnchor().constraintEqualToAnchor(root->topAnchor(), 5),
    });
    root->layoutSubtreeIfNeeded();
    EXPECT_EQ(child->frame(), CGRectMake(75, 5, 50, 10));
}

TEST(ViewLayout, ANaturalSizeFillsWhatTheConstraintsLeaveOpen)
{
    class Natural : public NSView {
    public:
        using NSView::NSView;
        CGSize size { 60, 20 };
        CGSize intrinsicContentSize() const override { return size; }
    };
    auto root = makeRef<FlippedView>(CGRectMake(0, 0, 200, 100));
    auto child = makeRef<Natural>();
    child->setTranslatesAutoresizingMaskIntoConstraints(false);
    root->addSubview(child);
    NSLayoutConstraint::activateConstraints({
        child->leadingAnchor().constraintEqualToAnchor(root->leadingAnchor(), 10),
        child->topAnchor().constraintEqualToAnchor(root->topAnchor(), 5),
    });
    root->layoutSubtreeIfNeeded();
    EXPECT_EQ(child->frame(), CGRectMake(10, 5, 60, 20));
    child->size = { 80, 20 };
    child->invalidateIntrinsicContentSize();
    root->layoutSubtreeIfNeeded();
    EXPECT_EQ(child->frame(), CGRectMake(10, 5, 80, 20));
    // Both edges pinned: the constraints win.
    NSLayoutConstraint::activateConstraints({ child->trailingAnchor().constraintEqualToAnchor(root->trailingAnchor()) });
    root->layoutSubtreeIfNeeded();
    EXPECT_EQ(child->frame(), CGRectMake(10, 5, 190, 20));
}

namespace {
class RecordingController : public NSViewController {
public:
    using NSViewController::NSViewController;
    std::vector<std::string> calls;
    void viewDidLoad() override { calls.push_back("viewDidLoad"); }
    void viewWillAppear() override { calls.push_back("viewWillAppear"); }
    void viewDidAppear() override { calls.push_back("viewDidAppear"); }
    void viewWillDisappear() override { calls.push_back("viewWillDisappear"); }
    void viewDidDisappear() override { calls.push_back("viewDidDisappear"); }
};
}

TEST(ViewControllerLifecycle, AppearanceFollowsTheVisibleWindow)
{
    SimWorld world;
    auto controller = makeRef<RecordingController>("NoSuchInterfaceFile");
    auto window = makeWindow(CGRectMake(0, 0, 200, 200));
    // A missing interface file still gives a view.
    ASSERT_TRUE(controller->view());
    EXPECT_EQ(controller->calls, (std::vector<std::string> { "viewDidLoad" }));
    window->contentView()->addSubview(controller->view());
    EXPECT_EQ(controller->calls.size(), 1u);
    window->orderFront(nullptr);
    window->orderOut(nullptr);
    window->orderFront(nullptr);
    controller->view()->removeFromSuperview();
    EXPECT_EQ(controller->calls,
        (std::vector<std::string> { "viewDidLoad", "viewWillAppear", "viewDidAppear", "viewWillDisappear",
            "viewDidDisappear", "viewWillAppear", "viewDidAppear", "viewWillDisappear", "viewDidDisappear" }));
}

TEST(ViewTree, SettingTheSubviewsReordersThoseThatStayWithoutTakingThemOut)
{
    SimWorld world;
    auto window = makeWindow(CGRectMake(0, 0, 200, 200));
    window->orderFront(nullptr);
    auto root = window->contentView();
    std::vector<Ref<RecordingController>> controllers;
    std::vector<Ref<NSView>> views;
    for (int i = 0; i < 4; ++i) {
        controllers.push_back(makeRef<RecordingController>("NoSuchInterfaceFile"));
        views.push_back(controllers.back()->view());
        root->addSubview(views.back());
        controllers.back()->calls.clear();
    }
    auto fresh = makeRef<RecordingController>("NoSuchInterfaceFile");
    ASSERT_TRUE(fresh->view());
    fresh->calls.clear();
    // 0 goes, 3 and 1 swap places around a new view, 2 stays; duplicates and
    // nulls are ignored.
    root->setSubviews({ views[3], fresh->view(), views[2], nullptr, views[1], views[3] });
    EXPECT_EQ(root->subviews(), (std::vector<Ref<NSView>> { views[3], fresh->view(), views[2], views[1] }));
    EXPECT_EQ(views[0]->superview(), nullptr);
    EXPECT_EQ(controllers[0]->calls, (std::vector<std::string> { "viewWillDisappear", "viewDidDisappear" }));
    for (int i = 1; i < 4; ++i) {
        EXPECT_TRUE(controllers[i]->calls.empty()) << "view " << i << " left the window for a moment";
        EXPECT_EQ(views[i]->window(), window.get());
    }
    EXPECT_EQ(fresh->calls, (std::vector<std::string> { "viewWillAppear", "viewDidAppear" }));
    // A view of another superview moves here; an ancestor cannot be added.
    auto elsewhere = makeRef<NSView>(CGRectMake(0, 0, 10, 10));
    auto other = makeRef<NSView>(CGRectMake(0, 0, 50, 50));
    other->addSubview(elsewhere);
    views[1]->setSubviews({ elsewhere, root });
    EXPECT_EQ(views[1]->subviews(), (std::vector<Ref<NSView>> { elsewhere }));
    EXPECT_EQ(elsewhere->superview(), views[1].get());
    EXPECT_TRUE(other->subviews().empty());
}

TEST(ViewControllerLifecycle, TheControllerSitsInTheResponderChain)
{
    auto controller = makeRef<RecordingController>("NoSuchInterfaceFile");
    auto parent = makeRef<NSView>(CGRectMake(0, 0, 100, 100));
    parent->addSubview(controller->view());
    EXPECT_EQ(controller->view()->nextResponder(), controller);
    EXPECT_EQ(controller->nextResponder(), parent);
}

namespace {

class LayoutCountingView : public NSView {
public:
    using NSView::NSView;
    void layout() override
    {
        ++layouts;
        NSView::layout();
        if (onLayout)
            onLayout();
    }
    int layouts { 0 };
    std::function<void()> onLayout;
};

}

TEST(ViewLayout, APassLaysOutEveryViewThatAsksWhereverItWasAsked)
{
    SimWorld world(SimWorld::emptyScenario());
    auto window = makeWindow(CGRectMake(0, 0, 300, 200));
    auto branch = makeRef<LayoutCountingView>(CGRectMake(0, 0, 100, 100));
    auto middle = makeRef<LayoutCountingView>(CGRectMake(0, 0, 50, 50));
    auto deep = makeRef<LayoutCountingView>(CGRectMake(0, 0, 10, 10));
    auto other = makeRef<LayoutCountingView>(CGRectMake(0, 0, 10, 10));
    window->contentView()->addSubview(other);
    window->orderFront(nullptr);
    world.settle();
    other->layouts = 0;

    // Asked while its branch is in no window: laid out once the branch is
    // put in one, and the views around it are not.
    branch->addSubview(middle);
    middle->addSubview(deep);
    deep->setNeedsLayout(true);
    window->contentView()->addSubview(branch);
    window->displayIfNeeded();
    EXPECT_EQ(deep->layouts, 1);
    EXPECT_EQ(middle->layouts, 0);
    EXPECT_EQ(other->layouts, 0);

    // Asked, then moved out and into another branch before any pass.
    deep->setNeedsLayout(true);
    deep->removeFromSuperview();
    other->addSubview(deep);
    window->displayIfNeeded();
    EXPECT_EQ(deep->layouts, 2);

    // A layout that asks for the layout of a view elsewhere in the tree,
    // one the pass has already left behind, is followed in the same pass.
    middle->onLayout = [&] { deep->setNeedsLayout(true); };
    middle->setNeedsLayout(true);
    window->displayIfNeeded();
    EXPECT_EQ(middle->layouts, 1);
    EXPECT_EQ(deep->layouts, 3);
    EXPECT_FALSE(deep->needsLayout());

    // Nothing asked, nothing laid out.
    window->displayIfNeeded();
    EXPECT_EQ(deep->layouts, 3);
    EXPECT_EQ(middle->layouts, 1);
}

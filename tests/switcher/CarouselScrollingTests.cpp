#include "CarouselTestSupport.h"

#include <desktop/InputCodes.h>

TEST(CarouselScrolling, ClampingAndTheShortWayOnAWrappedRow)
{
    CarouselHarness h(10, CarouselTypeRotary);
    auto& c = *h.carousel;
    EXPECT_EQ(c.clampedIndex(-1), 9);
    EXPECT_EQ(c.clampedIndex(23), 3);
    EXPECT_DOUBLE_EQ(c.clampedOffset(-0.5), 9.5);
    EXPECT_EQ(c.minScrollDistanceFromIndex(9, 0), 1);
    EXPECT_EQ(c.minScrollDistanceFromIndex(0, 5), 5); // a tie goes the direct way

    c.setScrollOffset(9);
    c.scrollToItemAtIndex(0, true);
    EXPECT_DOUBLE_EQ(c.endOffset() - c.startOffset(), 1);
    h.run(0.5);
    EXPECT_DOUBLE_EQ(c.scrollOffset(), 0);
    EXPECT_EQ(c.currentItemIndex(), 0);

    c.setType(CarouselTypeLinear);
    c.setScrollOffset(9);
    c.scrollToItemAtIndex(0, true);
    EXPECT_DOUBLE_EQ(c.endOffset() - c.startOffset(), -9);
    // Past the ends of an unwrapped row, animated or not, the scroll stops
    // at the end.
    c.scrollToItemAtIndex(-1, true);
    EXPECT_DOUBLE_EQ(c.endOffset(), 0);
    c.scrollToItemAtIndex(12, false);
    EXPECT_DOUBLE_EQ(c.scrollOffset(), 9);
    c.scrollToItemAtIndex(-1, false);
    EXPECT_DOUBLE_EQ(c.scrollOffset(), 0);

    // An empty row pins everything at -1.
    h.source->count = 0;
    c.reloadData();
    EXPECT_EQ(c.currentItemIndex(), -1);
    EXPECT_DOUBLE_EQ(c.clampedOffset(4), -1);
}

TEST(CarouselScrolling, AnimatedScrollEasesFrameByFrameAndTheTimerStops)
{
    CarouselHarness h(10);
    auto& c = *h.carousel;
    EXPECT_DOUBLE_EQ(CarouselView::easeInOut(0), 0);
    EXPECT_DOUBLE_EQ(CarouselView::easeInOut(0.5), 0.5);
    EXPECT_DOUBLE_EQ(CarouselView::easeInOut(1), 1);

    c.scrollToItemAtIndex(4, true);
    EXPECT_TRUE(c.isScrolling());
    ASSERT_TRUE(c.timer());
    h.run(0.2);
    EXPECT_NEAR(c.scrollOffset(), 2, 0.15);
    double before = c.scrollOffset();
    h.run(CarouselView::kFrameInterval);
    EXPECT_GT(c.scrollOffset(), before);
    h.run(0.3);
    EXPECT_DOUBLE_EQ(c.scrollOffset(), 4);
    EXPECT_FALSE(c.isScrolling());
    EXPECT_EQ(h.log->count("willBeginScrolling"), 1u);
    EXPECT_EQ(h.log->count("didEndScrolling"), 1u);
    EXPECT_GE(h.log->count("indexDidChange"), 4u);
    // Once the flip has settled nothing moves and the timer goes.
    h.run(1);
    EXPECT_FALSE(c.timer());
    size_t scrolls = h.log->count("didScroll");
    h.run(1);
    EXPECT_EQ(h.log->count("didScroll"), scrolls);

    // A scroll of no duration is immediate and announces no animation.
    h.log->notices.clear();
    c.scrollByOffset(-2, 0);
    EXPECT_DOUBLE_EQ(c.scrollOffset(), 2);
    EXPECT_EQ(h.log->count("willBeginScrolling"), 0u);
    EXPECT_EQ(h.log->count("didScroll"), 1u);
}

TEST(CarouselScrolling, AutoscrollStartsWithoutAJump)
{
    CarouselHarness h(10, CarouselTypeRotary);
    auto& c = *h.carousel;
    h.run(5); // idle for a while: the timer is stopped
    ASSERT_FALSE(c.timer());
    c.setScrollOffset(5);
    c.setAutoscroll(2);
    h.run(CarouselView::kFrameInterval);
    EXPECT_NEAR(c.scrollOffset(), 5 - 2 * CarouselView::kFrameInterval, 1e-6);
    h.run(0.5);
    EXPECT_NEAR(c.scrollOffset(), 5 - 2 * (0.5 + CarouselView::kFrameInterval), 0.05);
    c.setAutoscroll(0);
    h.run(1);
    EXPECT_FALSE(c.timer());
}

// A drag of the simulated mouse moves the row by the distance over the item
// width; released fast it coasts to an item boundary.
TEST(CarouselScrolling, DragThenCoastToAnItemBoundary)
{
    CarouselHarness h(20);
    auto& c = *h.carousel;
    h.press(h.centre());
    h.dragBy(-100, 5); // half an item to the left in 5 frames
    EXPECT_TRUE(c.isDragging());
    EXPECT_NEAR(c.scrollOffset(), 0.5, 1e-9);
    // 20 points a frame: 6 items a second.
    EXPECT_NEAR(c.startVelocity(), 6, 1e-4);
    h.release();
    EXPECT_TRUE(c.isDecelerating());
    EXPECT_EQ(h.log->notices.front(), "willBeginDragging");
    EXPECT_EQ(h.log->count("didEndDragging decelerate"), 1u);
    EXPECT_EQ(h.log->count("willBeginDecelerating"), 1u);
    // 6 items/s coasts 2 items, to 2.5, then on to the next whole offset.
    EXPECT_DOUBLE_EQ(c.endOffset(), 3);
    h.run(2);
    EXPECT_DOUBLE_EQ(c.scrollOffset(), 3);
    EXPECT_FALSE(c.isDecelerating());
    EXPECT_EQ(h.log->count("didEndDecelerating"), 1u);
}

TEST(CarouselScrolling, SlowReleaseSnapsAndAOneItemStep)
{
    CarouselHarness h(20);
    auto& c = *h.carousel;
    // 1.5 items/s: no coasting, an animated snap to the current item.
    h.press(h.centre());
    h.dragBy(-25, 5);
    ASSERT_NEAR(c.startVelocity(), 1.5, 1e-4);
    h.release();
    EXPECT_FALSE(c.isDecelerating());
    EXPECT_TRUE(c.isScrolling());
    EXPECT_DOUBLE_EQ(c.endOffset(), 0);
    h.run(1);
    EXPECT_DOUBLE_EQ(c.scrollOffset(), 0);

    // With paging, a fast release stops at the next boundary from where the
    // drag ended.
    c.setPagingEnabled(true);
    h.press(h.centre());
    h.dragBy(-100, 5);
    h.release();
    EXPECT_TRUE(c.isDecelerating());
    EXPECT_DOUBLE_EQ(c.endOffset(), 1);
    h.run(2);
    EXPECT_DOUBLE_EQ(c.scrollOffset(), 1);
}

TEST(CarouselScrolling, BounceResistsPastTheEndAndSnapsBack)
{
    CarouselHarness h(10);
    auto& c = *h.carousel;
    // Half an item past the start...
    h.press(h.centre());
    h.dragBy(100, 1);
    EXPECT_NEAR(c.scrollOffset(), -0.5, 1e-9);
    // ...further drags move half as far.
    h.dragBy(20, 1);
    EXPECT_NEAR(c.scrollOffset(), -0.55, 1e-9);
    // The pull never passes the bounce distance.
    for (int i = 0; i < 50; ++i)
        h.dragBy(200, 1);
    EXPECT_GE(c.scrollOffset(), -1.0);
    h.run(0.5); // the pointer rests before the release: no speed
    h.dragBy(0, 1);
    h.release();
    h.run(1);
    EXPECT_DOUBLE_EQ(c.scrollOffset(), 0);

    // Without bounce the row stops at its end.
    c.setBounces(false);
    h.press(h.centre());
    h.dragBy(100, 2);
    EXPECT_DOUBLE_EQ(c.scrollOffset(), 0);
    h.release();
    h.run(1);

    // Two drag events at one instant leave the speed finite.
    c.setBounces(true);
    h.press(h.centre());
    h.dragBy(-40, 1);
    h.deliver(NSEvent::mouseEventWithType(NSEventTypeLeftMouseDragged, { h.centre().x - 60, h.centre().y }));
    EXPECT_TRUE(std::isfinite(c.startVelocity()));
    h.release();
    h.run(2);
    EXPECT_TRUE(std::isfinite(c.scrollOffset()));
    EXPECT_DOUBLE_EQ(c.scrollOffset(), std::round(c.scrollOffset()));
}

TEST(CarouselScrolling, ClickSelectsTheItemUnderThePointer)
{
    CarouselHarness h(10);
    auto& c = *h.carousel;
    // Item 1 lies one card width to the right of the centre.
    h.click(h.screenPoint({ 700, 300 }));
    EXPECT_EQ(h.log->selected, std::vector<int64_t>({ 1 }));
    EXPECT_TRUE(c.isScrolling());
    h.run(1);
    EXPECT_EQ(c.currentItemIndex(), 1);

    // The delegate may refuse; outside every item nothing happens.
    h.log->shouldSelect = [](int64_t index) { return index != 1; };
    h.click(h.screenPoint({ 500, 300 }));
    h.click(h.screenPoint({ 500, 50 }));
    EXPECT_EQ(h.log->selected, std::vector<int64_t>({ 1 }));
    // A drag is not a click.
    h.press(h.screenPoint({ 700, 300 }));
    h.dragBy(-2, 1);
    h.release();
    EXPECT_EQ(h.log->selected, std::vector<int64_t>({ 1 }));
}

TEST(CarouselScrolling, ClickOnAPlaceholderSelectsNothing)
{
    CarouselHarness h(3);
    h.source->placeholders = 2;
    h.carousel->reloadData();
    h.carousel->layOutItemViews();
    h.run(1);
    ASSERT_TRUE(h.carousel->itemViewAtIndex(-1));
    // Placeholder -1 sits one card to the left of item 0.
    h.click(h.screenPoint({ 300, 300 }));
    EXPECT_TRUE(h.log->selected.empty());
    EXPECT_FALSE(h.carousel->isScrolling());
}

namespace {

// Catches the keys the carousel passes on.
class KeyCatcher : public NSView {
public:
    using NSView::NSView;
    std::vector<uint16_t> keys;
    void keyDown(const Ref<NSEvent>& event) override { keys.push_back(event->keyCode()); }
};

}

TEST(CarouselScrolling, ArrowKeysStepAndOtherKeysGoOn)
{
    CarouselHarness h(10);
    auto& c = *h.carousel;
    auto catcher = makeRef<KeyCatcher>(CGRectMake(0, 0, 1000, 600));
    h.window->contentView()->addSubview(catcher);
    catcher->addSubview(c.selfRef<NSView>());
    h.window->makeFirstResponder(h.carousel);

    h.key(kVK_RightArrow);
    EXPECT_DOUBLE_EQ(c.endOffset(), 1);
    // Keys are ignored while an animated scroll runs.
    h.key(kVK_RightArrow);
    EXPECT_DOUBLE_EQ(c.endOffset(), 1);
    h.run(1);
    h.key(kVK_LeftArrow);
    h.run(1);
    EXPECT_EQ(c.currentItemIndex(), 0);
    // Keys the row does not use reach the next responder.
    h.key(kVK_ANSI_A);
    h.key(kVK_DownArrow);
    EXPECT_EQ(catcher->keys, std::vector<uint16_t>({ kVK_ANSI_A, kVK_DownArrow }));
    c.setVertical(true);
    h.run(1);
    h.key(kVK_DownArrow);
    h.run(1);
    EXPECT_EQ(c.currentItemIndex(), 1);
    EXPECT_EQ(catcher->keys.size(), 2u);
}

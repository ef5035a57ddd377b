#include "CarouselTestSupport.h"

#include <algorithm>

namespace {

std::vector<int64_t> loadedSlots(CarouselView& c) { return c.indexesForVisibleItems(); }

}

TEST(CarouselItemViews, OnlyTheSlotsNearTheFrontAreLoadedAndViewsAreRecycled)
{
    CarouselHarness h(100);
    auto& c = *h.carousel;
    // Seven slots around item 0, clamped to the start of the row.
    EXPECT_EQ(loadedSlots(c), std::vector<int64_t>({ 0, 1, 2, 3, 4, 5, 6 }));
    EXPECT_EQ(c.contentView()->subviews().size(), 7u);
    for (int64_t index : loadedSlots(c)) {
        auto view = c.itemViewAtIndex(index);
        EXPECT_EQ(view->superview()->superview(), c.contentView().get());
        EXPECT_EQ(c.indexOfItemView(view.get()), index);
    }
    // Scrolling far recycles the views that leave instead of making new ones.
    c.scrollToItemAtIndex(50, true);
    h.run(1);
    EXPECT_EQ(loadedSlots(c), std::vector<int64_t>({ 47, 48, 49, 50, 51, 52, 53 }));
    EXPECT_EQ(c.contentView()->subviews().size(), 7u);
    EXPECT_GT(h.source->reusedViews, 0);
    EXPECT_EQ(c.indexOfItemView(c.contentView().get()), NSNotFound);
    EXPECT_EQ(c.indexOfItemViewOrSubview(c.itemViewAtIndex(49).get()), 49);

    // Three items, current item 2: slots 0, 1 and 2.
    h.source->count = 3;
    c.reloadData();
    c.setScrollOffset(2);
    EXPECT_EQ(loadedSlots(c), std::vector<int64_t>({ 0, 1, 2 }));

    // Time Machine never loads a slot that is fully faded.
    h.source->count = 10;
    c.reloadData();
    c.setType(CarouselTypeTimeMachine);
    c.setScrollOffset(4);
    EXPECT_EQ(loadedSlots(c), std::vector<int64_t>({ 0, 1, 2, 3, 4 }));
}

TEST(CarouselItemViews, ReloadStartsAfreshAndScrollsIntoTheRow)
{
    CarouselHarness h(10);
    auto& c = *h.carousel;
    auto old = c.itemViewAtIndex(0);
    c.setScrollOffset(-0.3);
    h.source->itemsAsked.clear();
    c.reloadData();
    EXPECT_DOUBLE_EQ(c.scrollOffset(), 0); // at once: no placeholders
    EXPECT_FALSE(c.isScrolling());
    EXPECT_EQ(old->superview() ? old->superview()->superview() : nullptr, nullptr);
    EXPECT_TRUE(c.itemViewPool().empty());
    EXPECT_FALSE(h.source->itemsAsked.empty());

    // Without a source only the containers go.
    c.setDataSource(nullptr);
    c.reloadData();
    EXPECT_TRUE(c.contentView()->subviews().empty());
}

TEST(CarouselItemViews, PlaceholdersAreNumberedOnceEach)
{
    CarouselHarness h(4);
    auto& c = *h.carousel;
    h.source->placeholders = 3;
    c.reloadData();
    c.layOutItemViews();
    h.run(1);
    // Slots -2 and -1 before the row, 4 after it.
    EXPECT_EQ(loadedSlots(c), std::vector<int64_t>({ -2, -1, 0, 1, 2, 3, 4 }));
    auto asked = h.source->placeholdersAsked;
    std::sort(asked.begin(), asked.end());
    asked.erase(std::unique(asked.begin(), asked.end()), asked.end());
    EXPECT_EQ(asked, std::vector<int64_t>({ 0, 1, 2 }));
    // visibleItemViews follows the slots, placeholders first.
    auto views = c.visibleItemViews();
    ASSERT_EQ(views.size(), 7u);
    EXPECT_EQ(views.front(), c.itemViewAtIndex(-2));
    // A wrapped row shows no placeholders.
    c.setType(CarouselTypeRotary);
    EXPECT_EQ(c.numberOfPlaceholdersToShow(), 0);
    EXPECT_EQ(loadedSlots(c).front(), 0);
}

TEST(CarouselItemViews, ReloadOneItemInItsContainer)
{
    CarouselHarness h(10);
    auto& c = *h.carousel;
    auto old = c.itemViewAtIndex(0);
    NSView* container = old->superview();
    c.reloadItemAtIndex(0, true);
    auto fresh = c.itemViewAtIndex(0);
    EXPECT_NE(fresh, old);
    EXPECT_EQ(fresh->superview(), container);
    EXPECT_EQ(container->subviews().size(), 1u);
    EXPECT_TRUE(container->layer()->animationForKey(kCATransition));
    EXPECT_EQ(c.itemViewPool().count(old), 1u);
    // A source that hands back the view it shows keeps it out of the pool.
    h.source->fixedView = fresh;
    c.reloadItemAtIndex(0, false);
    EXPECT_EQ(c.itemViewAtIndex(0), fresh);
    EXPECT_EQ(c.itemViewPool().count(fresh), 0u);
    EXPECT_EQ(fresh->superview(), container);
    // A slot that is not loaded is left alone.
    h.source->fixedView = nullptr;
    h.source->itemsAsked.clear();
    c.reloadItemAtIndex(9, true);
    EXPECT_TRUE(h.source->itemsAsked.empty());
}

TEST(CarouselItemViews, InsertAndRemoveRenumberTheSlots)
{
    CarouselHarness h(10);
    auto& c = *h.carousel;
    auto second = c.itemViewAtIndex(1);
    c.insertItemAtIndex(1, false);
    EXPECT_EQ(c.numberOfItems(), 11);
    EXPECT_EQ(c.itemViewAtIndex(2), second);
    EXPECT_NE(c.itemViewAtIndex(1), nullptr);
    c.removeItemAtIndex(1, false);
    EXPECT_EQ(c.numberOfItems(), 10);
    EXPECT_EQ(c.itemViewAtIndex(1), second);

    // Removing from an empty row leaves it empty.
    h.source->count = 0;
    c.reloadData();
    c.removeItemAtIndex(0, false);
    c.removeItemAtIndex(0, true);
    EXPECT_EQ(c.numberOfItems(), 0);
    c.insertItemAtIndex(0, false);
    EXPECT_EQ(c.numberOfItems(), 1);
    EXPECT_EQ(c.currentItemIndex(), 0);
}

TEST(CarouselItemViews, InsertAndRemoveDuringAnAnimation)
{
    CarouselHarness h(10);
    auto& c = *h.carousel;
    c.scrollToItemAtIndex(5, true);
    h.run(0.1);
    auto moving = c.itemViewAtIndex(6);
    c.insertItemAtIndex(2, true);
    EXPECT_EQ(c.itemViewAtIndex(7), moving);
    h.run(0.1);
    auto removed = c.itemViewAtIndex(3);
    // Held, so the checks below can look at it after the carousel lets it go.
    auto fading = std::static_pointer_cast<NSView>(removed->superview()->shared_from_this());
    c.removeItemAtIndex(3, true);
    EXPECT_EQ(c.numberOfItems(), 10);
    // The removed item fades out in its container before it goes.
    EXPECT_EQ(fading->superview(), c.contentView().get());
    EXPECT_EQ(c.indexOfItemView(removed.get()), NSNotFound);
    h.run(1);
    EXPECT_EQ(fading->superview(), nullptr);
    EXPECT_EQ(c.itemViewPool().count(removed), 1u);
    EXPECT_FALSE(c.isScrolling());
    EXPECT_TRUE(std::isfinite(c.scrollOffset()));
    // Every loaded slot holds an item of the row, each in its own container.
    for (int64_t index : loadedSlots(c)) {
        EXPECT_GE(index, 0);
        EXPECT_LT(index, 10);
        EXPECT_EQ(c.itemViewAtIndex(index)->superview()->superview(), c.contentView().get());
    }
}

TEST(CarouselItemViews, AReloadDuringAnAnimatedRemovalKeepsTheNewViews)
{
    CarouselHarness h(10);
    auto& c = *h.carousel;
    auto removed = c.itemViewAtIndex(0);
    c.removeItemAtIndex(0, true);
    // The source now shows the removed view again, for item 0.
    h.source->fixedView = removed;
    h.source->count = 1;
    c.reloadData();
    c.layOutItemViews();
    ASSERT_EQ(c.itemViewAtIndex(0), removed);
    NSView* shownIn = removed->superview();
    h.run(1);
    EXPECT_EQ(removed->superview(), shownIn);
    EXPECT_EQ(shownIn->superview(), c.contentView().get());
    EXPECT_TRUE(c.itemViewPool().empty());
}

TEST(CarouselItemViews, CountChangesWhileScrolling)
{
    CarouselHarness h(40);
    auto& c = *h.carousel;
    c.scrollToItemAtIndex(30, true);
    h.run(0.2);
    h.source->count = 5;
    c.reloadData();
    h.run(1);
    EXPECT_EQ(c.numberOfItems(), 5);
    EXPECT_DOUBLE_EQ(c.scrollOffset(), 4);
    for (int64_t index : loadedSlots(c))
        EXPECT_LT(index, 5);
    h.source->count = 0;
    c.reloadData();
    c.scrollToItemAtIndex(3, true);
    h.run(1);
    EXPECT_DOUBLE_EQ(c.scrollOffset(), -1);
    EXPECT_TRUE(loadedSlots(c).empty());
}

TEST(CarouselItemViews, HitTestingPrefersTheNearestItem)
{
    CarouselHarness h(10);
    auto& c = *h.carousel;
    // Every item on one spot: the one with the greatest z wins; between
    // equal z, the one nearer the current item.
    h.log->flip = [](double o, CATransform3D base) {
        if (o == 2)
            return CATransform3DTranslate(base, 0, 0, 50);
        return CATransform3DTranslate(base, std::fabs(o) < 0.5 ? 0 : 1e-3 * o, 0, 0);
    };
    c.setType(CarouselTypeFlip3D);
    c.setScrollOffset(1);
    EXPECT_EQ(c.indexOfItemView(c.itemViewAtPoint({ 500, 300 }).get()), 3);
    h.log->flip = [](double o, CATransform3D base) { return CATransform3DTranslate(base, 1e-3 * o, 0, 0); };
    c.transformItemViews();
    EXPECT_EQ(c.indexOfItemView(c.itemViewAtPoint({ 500, 300 }).get()), 1);

    // Transforms that are not numbers sort behind the rest and never break
    // the order.
    h.log->flip = [](double o, CATransform3D base) {
        if (static_cast<int>(o) % 2 == 0)
            base.m33 = NAN;
        return base;
    };
    c.transformItemViews();
    auto order = c.viewsSortedByDepth();
    ASSERT_EQ(order.size(), c.itemViews().size());
    EXPECT_TRUE(std::isnan(order.front()->superview()->layer()->transform().m33));
    EXPECT_FALSE(std::isnan(order.back()->superview()->layer()->transform().m33));
}

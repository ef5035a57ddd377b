// What the carousel looks like once painted: the containers' 3D transforms
// go through the layer renderer, so the picture, the view hit testing and
// the carousel's own clicks must all agree with the arrangement.
#include "CarouselTestSupport.h"

#include "support/Pixels.h"

#include <desktop/DesktopTypes.h>
#include <graphics/NSColor.h>

#include <gtest/gtest.h>

#include <optional>

namespace {

// Cards carry their index in the red channel (20, 40, ...) over a fixed
// green and blue, so a pixel tells which card shows there.
constexpr int kGreen = 90;
constexpr int kBlue = 200;

void colourCards(CarouselView& carousel)
{
    for (const auto& [index, view] : carousel.itemViews())
        if (view && view->layer())
            view->layer()->setBackgroundColor(
                NSColor::colorWithDeviceRed((20.0 * (index + 1)) / 255, kGreen / 255.0, kBlue / 255.0, 1)->CGColor());
}

struct Picture {
    DesktopImage image;
    NSView* carousel;

    // The pixel painted at a point of the carousel (-1 in every channel
    // outside).
    RGBA pixel(CGPoint local) const
    {
        CGPoint p = carousel->convertPointToView(local, nullptr);
        return pixelAt(image, static_cast<long>(std::floor(p.x)), image.height - 1 - static_cast<long>(std::floor(p.y)));
    }
    // The card index painted there, if a card shows unblended.
    std::optional<int64_t> cardAt(CGPoint local) const
    {
        RGBA px = pixel(local);
        if (px.g != kGreen || px.b != kBlue || px.a != 255 || px.r % 20 != 0 || px.r <= 0)
            return std::nullopt;
        return px.r / 20 - 1;
    }
};

Picture paint(CarouselHarness& h)
{
    colourCards(*h.carousel);
    return { h.window->renderedImage(), h.carousel.get() };
}

// The item whose view (or a view inside it) the window's hit testing finds
// at a point of the carousel.
std::optional<int64_t> itemHitAt(CarouselHarness& h, CGPoint local)
{
    auto content = h.window->contentView();
    CGPoint point = h.carousel->convertPointToView(local, content->superview());
    auto hit = content->hitTest(point);
    for (const auto& [index, view] : h.carousel->itemViews())
        if (hit && view && (hit == view || hit->isDescendantOf(view.get())))
            return index;
    return std::nullopt;
}

struct Run {
    int64_t index;
    int from, to;
    int width() const { return to - from + 1; }
};

// The cards seen along the carousel's middle row, left to right, each as a
// run of at least three pixels.
std::vector<Run> middleRow(const Picture& picture)
{
    std::vector<Run> runs;
    for (int x = 0; x < 1000; ++x) {
        auto index = picture.cardAt({ x + 0.5, 300.5 });
        if (!index)
            continue;
        if (!runs.empty() && runs.back().index == *index && runs.back().to >= x - 2)
            runs.back().to = x;
        else
            runs.push_back({ *index, x, x });
    }
    std::erase_if(runs, [](const Run& r) { return r.width() < 3; });
    return runs;
}

}

TEST(CarouselDrawing, EveryArrangementShowsTheCurrentItemInFrontAtTheCentre)
{
    for (int64_t type = 0; type < kCarouselTypeCount; ++type) {
        SCOPED_TRACE(CarouselTypeName(type));
        CarouselHarness h(10, type);
        // Flip 3D: the cards stack backwards on both sides, turned.
        h.log->flip = [](double offset, CATransform3D base) {
            return CATransform3DRotate(
                CATransform3DTranslate(base, offset * 60, 0, -std::fabs(offset) * 140), -0.45, 0, 1, 0);
        };
        h.carousel->scrollToItemAtIndex(5, false);
        h.carousel->layOutItemViews();
        h.run(1);
        auto picture = paint(h);
        EXPECT_EQ(picture.cardAt({ 500.5, 300.5 }), 5);
        EXPECT_EQ(itemHitAt(h, { 500.5, 300.5 }), 5);
    }
}

TEST(CarouselDrawing, CardsPastTheEyeAreNeitherDrawnNorHit)
{
    // Time Machine without its fade: the cards after the current one come
    // forward one card width each, so the third one lies behind the eye
    // (500 points away). Drawn without the cut it would show mirrored and
    // five times enlarged over the lower left corner.
    CarouselHarness h(10, CarouselTypeTimeMachine);
    h.log->options[CarouselOptionFadeMax] = INFINITY;
    h.carousel->scrollToItemAtIndex(5, false);
    h.carousel->layOutItemViews();
    h.run(1);
    auto picture = paint(h);
    // The next card, nearer and larger, covers the centre; the one after
    // it is five times enlarged and lies right of it.
    EXPECT_EQ(picture.cardAt({ 500.5, 300.5 }), 6);
    EXPECT_EQ(itemHitAt(h, { 500.5, 300.5 }), 6);
    EXPECT_EQ(picture.cardAt({ 700.5, 300.5 }), 7);
    EXPECT_EQ(picture.cardAt({ 2.5, 2.5 }), std::nullopt);
    EXPECT_EQ(itemHitAt(h, { 2.5, 2.5 }), std::nullopt);
}

TEST(CarouselDrawing, CoverFlowShowsEveryCardInOrderAndClicksHitWhatIsShown)
{
    CarouselHarness h(10, CarouselTypeCoverFlow);
    h.carousel->scrollToItemAtIndex(5, false);
    h.carousel->layOutItemViews();
    h.run(1);
    auto runs = middleRow(paint(h));
    std::vector<int64_t> seen;
    for (const auto& run : runs)
        seen.push_back(run.index);
    EXPECT_EQ(seen, std::vector<int64_t>({ 0, 1, 2, 3, 4, 5, 6, 7, 8, 9 }));
    ASSERT_EQ(runs.size(), 10u);
    // The front card is flat, whole and centred; the nearer wing cards cover
    // the inner parts of the farther ones, so every wing card shows a strip
    // of about the same width.
    EXPECT_NEAR(runs[5].width(), 200, 3);
    EXPECT_NEAR((runs[5].from + runs[5].to) / 2.0, 500, 2);
    for (size_t i : { 0u, 2u, 3u, 7u, 8u, 9u })
        EXPECT_NEAR(runs[i].width(), runs[1].width(), 3) << "card " << i;
    EXPECT_LT(runs[1].width(), 100);

    // The window's hit testing and the carousel's clicks follow the picture.
    for (const auto& run : runs)
        EXPECT_EQ(itemHitAt(h, { (run.from + run.to) / 2.0 + 0.5, 300.5 }), run.index);
    h.click(h.screenPoint({ (runs[2].from + runs[2].to) / 2.0, 300 }));
    EXPECT_EQ(h.log->selected, std::vector<int64_t>({ 2 }));
    h.run(1);
    EXPECT_EQ(h.carousel->currentItemIndex(), 2);
    runs = middleRow(paint(h));
    ASSERT_EQ(runs.size(), 10u);
    EXPECT_NEAR(runs[2].width(), 200, 3);
}

TEST(CarouselDrawing, MovingCardsKeepTheirPictureAndAChangedCardShowsAtOnce)
{
    CarouselHarness h(10, CarouselTypeCylinder);
    h.carousel->scrollToItemAtIndex(3, false);
    h.carousel->layOutItemViews();
    h.run(1);
    EXPECT_EQ(paint(h).cardAt({ 500.5, 300.5 }), 3);
    // Half an item on, the two cards share the centre.
    h.carousel->setScrollOffset(3.5);
    auto between = paint(h);
    EXPECT_EQ(between.cardAt({ 440.5, 300.5 }), 3);
    EXPECT_EQ(between.cardAt({ 560.5, 300.5 }), 4);
    // A change of the card's own layer shows at the next paint.
    h.carousel->itemViewAtIndex(4)->layer()->setBackgroundColor(NSColor::blackColor()->CGColor());
    Picture after { h.window->renderedImage(), h.carousel.get() };
    EXPECT_EQ(after.pixel({ 560.5, 300.5 }), (RGBA { 0, 0, 0, 255 }));
    EXPECT_EQ(after.cardAt({ 440.5, 300.5 }), 3);
}

TEST(CarouselDrawing, ACardWiderThanItsSlotKeepsItsSizeAndIsHitWhereDrawn)
{
    // 200-point cards in 100-point slots, 250 points apart: each card shows
    // whole at its own size, its top right marker included, with a gap
    // between neighbours that no click on a card reaches.
    CarouselHarness h(10, CarouselTypeLinear);
    h.log->width = 100;
    h.log->options[CarouselOptionSpacing] = 2.5;
    h.carousel->reloadData();
    h.carousel->scrollToItemAtIndex(5, false);
    h.carousel->layOutItemViews();
    h.run(1);
    for (const auto& [index, view] : h.carousel->itemViews()) {
        auto marker = makeRef<NSView>(CGRectMake(170, 120, 30, 30));
        marker->setWantsLayer(true);
        marker->layer()->setBackgroundColor(NSColor::whiteColor()->CGColor());
        view->addSubview(marker);
    }
    auto picture = paint(h);
    auto runs = middleRow(picture);
    ASSERT_EQ(runs.size(), 5u);
    EXPECT_EQ(runs[2].index, 5);
    EXPECT_NEAR(runs[2].width(), 200, 2);
    EXPECT_NEAR((runs[2].from + runs[2].to) / 2.0, 500, 2);
    EXPECT_NEAR(runs[3].from - runs[2].to, 50, 2);
    EXPECT_EQ(picture.pixel({ 585.5, 360.5 }), (RGBA { 255, 255, 255, 255 }));
    EXPECT_EQ(picture.cardAt({ 585.5, 300.5 }), 5);

    EXPECT_EQ(itemHitAt(h, { 405.5, 300.5 }), 5);
    EXPECT_EQ(itemHitAt(h, { 594.5, 300.5 }), 5);
    EXPECT_EQ(itemHitAt(h, { 625.5, 300.5 }), std::nullopt);
    EXPECT_EQ(itemHitAt(h, { 655.5, 300.5 }), 6);
    h.click(h.screenPoint({ 655, 300 }));
    EXPECT_EQ(h.log->selected, std::vector<int64_t>({ 6 }));
    h.click(h.screenPoint({ 625, 300 }));
    EXPECT_EQ(h.log->selected, std::vector<int64_t>({ 6 })) << "a click between the cards selects nothing";
}

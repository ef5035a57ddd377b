#include "CarouselTestSupport.h"

#include <numbers>

namespace {

constexpr double pi = std::numbers::pi;
const double offsets[] = { -2, -1.5, -1, -0.5, -0.25, 0, 0.25, 0.5, 1, 1.5, 2 };

// Where a transform puts the middle of an item (homogeneous x, y, z; the
// perspective term changes w only).
CAPoint4 centreOf(const CATransform3D& t) { return CATransform3DApply(t, 0, 0, 0); }

void expectPoint(const CAPoint4& p, double x, double y, double z, const std::string& where)
{
    EXPECT_NEAR(p.x, x, 1e-6) << where;
    EXPECT_NEAR(p.y, y, 1e-6) << where;
    EXPECT_NEAR(p.z, z, 1e-6) << where;
}

std::string at(int64_t type, double o) { return std::string(CarouselTypeName(type)) + " at " + std::to_string(o); }

}

// Cards are 200 points wide in a 1000 x 600 carousel of 10 items, so the
// circular arrangements use 10 slots around the circle.
TEST(CarouselGeometry, EachArrangementPlacesItemsByItsFormula)
{
    CarouselHarness h(10);
    auto& c = *h.carousel;
    ASSERT_EQ(c.itemWidth(), 200);
    const double w = 200;

    for (int64_t type = CarouselTypeLinear; type <= CarouselTypeInvertedTimeMachine; ++type) {
        c.setType(type);
        for (double o : offsets) {
            CATransform3D t = c.transformForItemViewWithOffset(o);
            // Every item sees the row through the same perspective.
            EXPECT_NEAR(centreOf(t).w, 1 - 0.002 * centreOf(t).z, 1e-9) << at(type, o);
            CAPoint4 p = centreOf(t);
            switch (type) {
            case CarouselTypeLinear:
                expectPoint(p, o * w, 0, 0, at(type, o));
                break;
            case CarouselTypeRotary:
            case CarouselTypeInvertedRotary: {
                ASSERT_EQ(c.circularCarouselItemCount(), 10);
                double r = 100 / std::tan(pi / 10), a = o / 10 * 2 * pi;
                double sign = type == CarouselTypeRotary ? 1 : -1;
                expectPoint(p, std::sin(a) * r, 0, sign * (std::cos(a) * r - r), at(type, o));
                break;
            }
            case CarouselTypeCylinder:
            case CarouselTypeInvertedCylinder: {
                double sign = type == CarouselTypeCylinder ? 1 : -1;
                double r = sign * 100 / std::tan(pi / 10), a = sign * o / 10 * 2 * pi;
                expectPoint(p, (r + 0.01) * std::sin(a), 0, (r + 0.01) * std::cos(a) - r, at(type, o));
                break;
            }
            case CarouselTypeWheel:
            case CarouselTypeInvertedWheel: {
                double sign = type == CarouselTypeWheel ? 1 : -1;
                double r = sign * w * 10 / (2 * pi), theta = sign * 2 * pi / 10 * o;
                expectPoint(p, r * std::sin(theta), r - r * std::cos(theta), o * 0.01, at(type, o));
                break;
            }
            case CarouselTypeCoverFlow:
            case CarouselTypeCoverFlow2: {
                double k = std::clamp(o, -1.0, 1.0);
                // At rest the second cover flow has no flip: the front item
                // faces the eye until it is half an item away.
                if (type == CarouselTypeCoverFlow2) {
                    ASSERT_EQ(c.toggle(), 0);
                    k = o > 0.5 ? 1 : o > -0.5 ? 0 : -1;
                }
                expectPoint(p, (k * 0.45 + o * 0.25) * w, 0, -w * std::fabs(k) * 0.5, at(type, o));
                // The card turns about its vertical axis by k × -0.9 π/2.
                CAPoint4 edge = CATransform3DApply(t, 100, 0, 0);
                double angle = k * -pi / 2 * 0.9;
                EXPECT_NEAR(edge.x - p.x, 100 * std::cos(angle), 1e-6) << at(type, o);
                EXPECT_NEAR(edge.z - p.z, -100 * std::sin(angle), 1e-6) << at(type, o);
                break;
            }
            case CarouselTypeTimeMachine:
                expectPoint(p, o * w * 0.3, 0, o * w, at(type, o));
                break;
            case CarouselTypeInvertedTimeMachine:
                expectPoint(p, o * w * 0.3, 0, -o * w, at(type, o));
                break;
            }
        }
    }
}

TEST(CarouselGeometry, CoverFlowFarOffsetAndVerticalRows)
{
    CarouselHarness h(10, CarouselTypeCoverFlow);
    auto& c = *h.carousel;
    const double w = 200;
    // Offset 3 clamps to k = 1.
    CAPoint4 p = centreOf(c.transformForItemViewWithOffset(3));
    expectPoint(p, (0.45 + 0.75) * w, 0, -0.5 * w, "cover flow at 3");

    // Vertical: the row runs along y, and the cover turns about -x.
    c.setVertical(true);
    CATransform3D t = c.transformForItemViewWithOffset(1);
    p = centreOf(t);
    expectPoint(p, 0, (0.45 + 0.25) * w, -0.5 * w, "vertical cover flow at 1");
    CAPoint4 top = CATransform3DApply(t, 0, 75, 0);
    double angle = -pi / 2 * 0.9;
    EXPECT_NEAR(top.y - p.y, 75 * std::cos(angle), 1e-6);
    EXPECT_NEAR(top.z - p.z, -75 * std::sin(angle), 1e-6);

    // Vertical rows negate offsets and the opacity offset.
    c.setScrollOffset(2);
    EXPECT_DOUBLE_EQ(c.offsetForItemAtIndex(3), -1);
    c.setType(CarouselTypeTimeMachine);
    EXPECT_DOUBLE_EQ(c.alphaForItemWithOffset(-1), 0);
    EXPECT_DOUBLE_EQ(c.alphaForItemWithOffset(1), 1);
    // Time Machine's signs flip twice: the item one step down sits above.
    p = centreOf(c.transformForItemViewWithOffset(1));
    expectPoint(p, 0, w * 0.3, -w, "vertical time machine at 1");
}

TEST(CarouselGeometry, OpacityFadesByArrangementAndOptions)
{
    CarouselHarness h(10, CarouselTypeTimeMachine);
    auto& c = *h.carousel;
    EXPECT_DOUBLE_EQ(c.alphaForItemWithOffset(0), 1);
    EXPECT_DOUBLE_EQ(c.alphaForItemWithOffset(0.5), 0.5);
    EXPECT_DOUBLE_EQ(c.alphaForItemWithOffset(1), 0);
    EXPECT_DOUBLE_EQ(c.alphaForItemWithOffset(3), 0);
    EXPECT_DOUBLE_EQ(c.alphaForItemWithOffset(-2), 1);
    c.setType(CarouselTypeInvertedTimeMachine);
    EXPECT_DOUBLE_EQ(c.alphaForItemWithOffset(-0.5), 0.5);
    EXPECT_DOUBLE_EQ(c.alphaForItemWithOffset(-1), 0);
    EXPECT_DOUBLE_EQ(c.alphaForItemWithOffset(2), 1);
    c.setType(CarouselTypeLinear);
    for (double o : offsets)
        EXPECT_DOUBLE_EQ(c.alphaForItemWithOffset(o), 1) << o;

    // A fade over two items down to 0.2, from offset 1 on.
    h.log->options = { { CarouselOptionFadeMax, 1 }, { CarouselOptionFadeRange, 2 }, { CarouselOptionFadeMinAlpha, 0.2 } };
    EXPECT_DOUBLE_EQ(c.alphaForItemWithOffset(1), 1);
    EXPECT_DOUBLE_EQ(c.alphaForItemWithOffset(2), 0.6);
    EXPECT_DOUBLE_EQ(c.alphaForItemWithOffset(5), 0.2);
    // A range of 0 is a hard edge, not a division by zero.
    h.log->options[CarouselOptionFadeRange] = 0;
    EXPECT_DOUBLE_EQ(c.alphaForItemWithOffset(0.5), 1);
    EXPECT_DOUBLE_EQ(c.alphaForItemWithOffset(1.5), 0.2);
}

TEST(CarouselGeometry, AnswersThatAreNotNumbersFallBackToTheDefaults)
{
    CarouselHarness h(10, CarouselTypeRotary);
    auto& c = *h.carousel;
    CATransform3D plain = c.transformForItemViewWithOffset(1.5);
    int64_t plainVisible = c.numberOfVisibleItems();
    for (double bad : { NAN, INFINITY, -INFINITY }) {
        h.log->options = { { CarouselOptionRadius, bad }, { CarouselOptionArc, bad }, { CarouselOptionCount, bad },
            { CarouselOptionSpacing, bad }, { CarouselOptionVisibleItems, bad }, { CarouselOptionFadeRange, bad },
            { CarouselOptionFadeMinAlpha, bad } };
        EXPECT_EQ(c.transformForItemViewWithOffset(1.5), plain) << bad;
        EXPECT_DOUBLE_EQ(c.alphaForItemWithOffset(1.5), 1) << bad;
        c.updateNumberOfVisibleItems();
        EXPECT_EQ(c.numberOfVisibleItems(), plainVisible) << bad;
    }
    // Infinite fade limits keep their meaning: no fade on that side.
    h.log->options = { { CarouselOptionFadeMin, -INFINITY }, { CarouselOptionFadeMax, 0 } };
    EXPECT_DOUBLE_EQ(c.alphaForItemWithOffset(-40), 1);
    EXPECT_DOUBLE_EQ(c.alphaForItemWithOffset(0.25), 0.75);
}

TEST(CarouselGeometry, VisibleCountsByArrangement)
{
    CarouselHarness h(30);
    auto& c = *h.carousel;
    auto visible = [&](int64_t type) {
        c.setType(type);
        c.updateNumberOfVisibleItems();
        return c.numberOfVisibleItems();
    };
    EXPECT_EQ(visible(CarouselTypeLinear), 7); // ceil(1000 / 200) + 2
    EXPECT_EQ(visible(CarouselTypeRotary), 15); // 5π slots, truncated
    EXPECT_EQ(visible(CarouselTypeInvertedRotary), 8);
    EXPECT_EQ(visible(CarouselTypeCylinder), 15);
    EXPECT_EQ(visible(CarouselTypeInvertedCylinder), 8);
    // A radius of 477 does not fit in half the height: only the near half.
    EXPECT_EQ(visible(CarouselTypeWheel), 9);
    EXPECT_EQ(visible(CarouselTypeCoverFlow), 22); // ceil(1000 / 50) + 2
    EXPECT_EQ(visible(CarouselTypeTimeMachine), 30);
    EXPECT_EQ(visible(CarouselTypeFlip3D), 30);
    h.log->options[CarouselOptionVisibleItems] = 4;
    EXPECT_EQ(visible(CarouselTypeTimeMachine), 4);
    h.log->options.clear();

    h.source->count = 80;
    c.reloadData();
    EXPECT_EQ(visible(CarouselTypeInvertedTimeMachine), 50);
    // The circle never has fewer than 12 slots, nor more than the items.
    h.source->count = 5;
    c.reloadData();
    c.setType(CarouselTypeLinear);
    EXPECT_EQ(visible(CarouselTypeCylinder), 5);
}

TEST(CarouselGeometry, WrappedOffsetsTakeTheShortWayRound)
{
    CarouselHarness h(7, CarouselTypeRotary);
    auto& c = *h.carousel;
    ASSERT_TRUE(c.isWrapEnabled());
    c.setScrollOffset(0);
    EXPECT_DOUBLE_EQ(c.offsetForItemAtIndex(6), -1);
    EXPECT_DOUBLE_EQ(c.offsetForItemAtIndex(3), 3);
    EXPECT_DOUBLE_EQ(c.offsetForItemAtIndex(4), -3);
    c.setType(CarouselTypeLinear);
    ASSERT_FALSE(c.isWrapEnabled());
    EXPECT_DOUBLE_EQ(c.offsetForItemAtIndex(6), 6);
}

TEST(CarouselGeometry, BackfacesAndFlip3D)
{
    CarouselHarness h(10, CarouselTypeInvertedCylinder);
    auto& c = *h.carousel;
    // The items on the far side of the inverted cylinder face away and hide.
    c.setScrollOffset(0);
    for (int64_t index : c.indexesForVisibleItems()) {
        NSView* container = c.itemViewAtIndex(index)->superview();
        bool facesAway = !(container->layer()->transform().m33 > 0);
        EXPECT_EQ(container->isHidden(), facesAway) << index;
    }
    h.log->options[CarouselOptionShowBackfaces] = 1;
    c.transformItemViews();
    for (int64_t index : c.indexesForVisibleItems())
        EXPECT_FALSE(c.itemViewAtIndex(index)->superview()->isHidden()) << index;

    // Flip 3D asks the delegate, with the base transform.
    h.log->options.clear();
    h.log->flip = [](double o, CATransform3D base) { return CATransform3DTranslate(base, o * 10, 0, 0); };
    c.setType(CarouselTypeFlip3D);
    CATransform3D t = c.transformForItemViewWithOffset(2);
    EXPECT_DOUBLE_EQ(t.m41, 20);
    EXPECT_DOUBLE_EQ(t.m34, -0.002);
    // Without a delegate every element is 0.
    c.setDelegate(nullptr);
    t = c.transformForItemViewWithOffset(2);
    for (int r = 0; r < 4; ++r)
        for (int col = 0; col < 4; ++col)
            EXPECT_EQ(t.at(r, col), 0);
}

TEST(CarouselGeometry, CoverFlow2FlipStateComesFromTheFrontItem)
{
    CarouselHarness h(10, CarouselTypeCoverFlow2);
    auto& c = *h.carousel;
    c.setScrollOffset(9);
    // Pulled past the end of an unwrapped row the flip follows the offset of
    // the front item (9, at -0.3), whichever item was placed last.
    c.setScrollOffset(9.3);
    EXPECT_NEAR(c.toggle(), 0.3, 1e-9);
    c.transformItemView(c.itemViewAtIndex(8), 8);
    EXPECT_NEAR(c.toggle(), 0.3, 1e-9);
    c.transformItemView(c.itemViewAtIndex(9), 9);
    EXPECT_NEAR(c.toggle(), 0.3, 1e-9);
}

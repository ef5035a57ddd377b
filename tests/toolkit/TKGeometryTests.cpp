#include <toolkit/TKGeometry.h>

#include <gtest/gtest.h>

#include <limits>

static void expectRect(CGRect r, double x, double y, double w, double h)
{
    EXPECT_DOUBLE_EQ(r.origin.x, x);
    EXPECT_DOUBLE_EQ(r.origin.y, y);
    EXPECT_DOUBLE_EQ(r.size.width, w);
    EXPECT_DOUBLE_EQ(r.size.height, h);
}

TEST(TKGeometry, FittingIntoAContainer)
{
    CGRect box = CGRectMake(0, 0, 240, 150);
    expectRect(TKGeometry::rect(CGRectMake(0, 0, 300, 300), box, true, true), 45, 0, 150, 150);
    expectRect(TKGeometry::rect(CGRectMake(0, 0, 1600, 1000), box, true, true), 0, 0, 240, 150);
    expectRect(TKGeometry::rect(CGRectMake(0, 0, 100, 50), box, true, true), 0, 15, 240, 120);
    expectRect(TKGeometry::rect(CGRectMake(0, 0, 100, 50), box, true, false), 70, 50, 100, 50);
    expectRect(TKGeometry::rect(CGRectMake(0, 0, 100, 50), box, true), 70, 50, 100, 50);
    // Equal in one dimension and smaller in the other: neither grown nor shrunk.
    expectRect(TKGeometry::rect(CGRectMake(0, 0, 240, 100), box, true, true), 0, 25, 240, 100);
    // Without scaling a larger rect overhangs equally.
    expectRect(TKGeometry::rect(CGRectMake(0, 0, 300, 300), box, false), -30, -75, 300, 300);
    // The thumbnail case: a 1366 × 768 picture in 240 × 150.
    CGRect thumb = TKGeometry::rect(CGRectMake(0, 0, 1366, 768), box, true, true);
    EXPECT_DOUBLE_EQ(thumb.size.width, 240);
    EXPECT_NEAR(thumb.size.height, 134.934, 1e-3);
    EXPECT_NEAR(thumb.origin.y, 7.53, 1e-2);
    expectRect(TKGeometry::integerRect(thumb), 0, 7, 240, 134);
    // The container's origin carries over.
    expectRect(TKGeometry::rect(CGRectMake(5, 5, 10, 10), CGRectMake(100, 200, 20, 40), false), 105, 215, 10, 10);
    // A rect without area has no aspect ratio: it is centred unscaled.
    expectRect(TKGeometry::rect(CGRectZero, box, true, true), 120, 75, 0, 0);
    expectRect(TKGeometry::rect(CGRectMake(0, 0, 0, 10), box, true, true), 120, 70, 0, 10);
}

TEST(TKGeometry, PointsAndIntegralRects)
{
    expectRect(TKGeometry::rectFromPoint(CGPointMake(3.9, 2.2), CGPointMake(0.5, 0.5)), 0.5, 0.5, 3, 1);
    expectRect(TKGeometry::integerRect(CGRectMake(-0.5, 2.9, 3.999, 0.2)), -1, 2, 3, 0);
    expectRect(TKGeometry::integerRect(CGRectMake(0.5, 0.5, 10.7, 10.7)), 0, 0, 10, 10);
    CGRect r = CGRectMake(10, 20, 30, 40);
    EXPECT_EQ(TKGeometry::point(CGPointMake(0, 0), r), CGPointMake(10, 20));
    EXPECT_EQ(TKGeometry::point(CGPointMake(100, 100), r), CGPointMake(40, 60));
    EXPECT_EQ(TKGeometry::point(CGPointMake(15, 25), r), CGPointMake(15, 25));
    EXPECT_EQ(TKGeometry::topLeft(r), CGPointMake(10, 60));
    EXPECT_EQ(TKGeometry::bottomRight(r), CGPointMake(40, 20));
    EXPECT_EQ(TKGeometry::topMid(r), CGPointMake(25, 60));
    EXPECT_EQ(TKGeometry::leftMid(r), CGPointMake(10, 40));
    EXPECT_EQ(TKGeometry::rightMid(r), CGPointMake(40, 40));
    EXPECT_EQ(TKGeometry::bottomMid(r), CGPointMake(25, 20));
    for (bool flipped : { true, false }) {
        EXPECT_EQ(TKGeometry::topLeft(r, flipped), CGPointMake(10, 20));
        EXPECT_EQ(TKGeometry::bottomLeft(r, flipped), CGPointMake(10, 60));
        EXPECT_EQ(TKGeometry::topRight(r, flipped), CGPointMake(40, 20));
        EXPECT_EQ(TKGeometry::bottomRight(r, flipped), CGPointMake(40, 60));
    }
}

TEST(TKGeometry, ScreenForPoint)
{
    std::vector<CGRect> screens { CGRectMake(0, 0, 100, 100), CGRectMake(200, 0, 100, 100) };
    EXPECT_EQ(TKGeometry::screenForPoint(CGPointMake(250, 50), screens), 1u);
    EXPECT_EQ(TKGeometry::screenForPoint(CGPointMake(0, 0), screens), 0u);
    // 150.6 is 50 whole points from the first screen and 49 from the second.
    EXPECT_EQ(TKGeometry::screenForPoint(CGPointMake(150.6, 50), screens), 1u);
    // 130 is 30 from the first screen's edge, 70 from the second's.
    EXPECT_EQ(TKGeometry::screenForPoint(CGPointMake(130, 50), screens), 0u);
    EXPECT_EQ(TKGeometry::screenForPoint(CGPointMake(180, 150), screens), 1u);
    // Equal whole-point distances: the first in the list.
    EXPECT_EQ(TKGeometry::screenForPoint(CGPointMake(150, 50), screens), 0u);
    EXPECT_EQ(TKGeometry::screenForPoint(CGPointMake(10, 10), {}), std::nullopt);
}

TEST(TKGeometry, AvoidingARect)
{
    std::vector<CGRect> rects { CGRectMake(0, 0, 100, 100) };
    TKGeometry::updateRectsToAvoidRectGivenMinimumSize(rects, CGRectMake(40, 40, 20, 20), CGSizeMake(10, 10));
    ASSERT_EQ(rects.size(), 4u);
    expectRect(rects[0], 0, 0, 40, 100);
    expectRect(rects[1], 60, 0, 40, 100);
    expectRect(rects[2], 0, 60, 100, 40);
    expectRect(rects[3], 0, 0, 100, 40);

    // Covered entirely: removed, nothing added.
    std::vector<CGRect> covered { CGRectMake(10, 10, 5, 5) };
    TKGeometry::updateRectsToAvoidRectGivenMinimumSize(covered, CGRectMake(0, 0, 50, 50), CGSizeZero);
    EXPECT_TRUE(covered.empty());
    // Not touching but narrower than the minimum: removed.
    std::vector<CGRect> narrow { CGRectMake(200, 0, 5, 50), CGRectMake(300, 0, 50, 50) };
    TKGeometry::updateRectsToAvoidRectGivenMinimumSize(narrow, CGRectMake(0, 0, 10, 10), CGSizeMake(10, 10));
    ASSERT_EQ(narrow.size(), 1u);
    expectRect(narrow[0], 300, 0, 50, 50);
    // Touching edges do not intersect.
    std::vector<CGRect> touching { CGRectMake(10, 0, 10, 10) };
    TKGeometry::updateRectsToAvoidRectGivenMinimumSize(touching, CGRectMake(0, 0, 10, 10), CGSizeZero);
    ASSERT_EQ(touching.size(), 1u);
    std::vector<CGRect> none;
    TKGeometry::updateRectsToAvoidRectGivenMinimumSize(none, CGRectMake(0, 0, 10, 10), CGSizeZero);
    EXPECT_TRUE(none.empty());
}

TEST(TKGeometry, NearestRect)
{
    EXPECT_EQ(TKRectNearestInArray({}, CGRectMake(0, 0, 1, 1)), CGRectZero);
    CGRect a = CGRectMake(0, 0, 10, 10), b = CGRectMake(50, 0, 10, 10), c = CGRectMake(-40, 0, 10, 10);
    EXPECT_EQ(TKRectNearestInArray({ a, b }, CGRectMake(45, 0, 5, 5)), b);
    // a and c score the same for a rect between them: the later one wins.
    EXPECT_EQ(TKRectNearestInArray({ a, c }, CGRectMake(-20, 0, 10, 10)), c);
    EXPECT_EQ(TKRectNearestInArray({ c, a }, CGRectMake(-20, 0, 10, 10)), a);
    EXPECT_FLOAT_EQ(TKRectGapDistanceSquared(CGRectMake(0, 0, 1, 1), CGRectMake(3, 4, 1, 1)), 25.0f);
    // a reaching beyond b on the right and top.
    EXPECT_FLOAT_EQ(TKRectGapDistanceSquared(CGRectMake(0, 0, 10, 10), CGRectMake(0, 0, 7, 6)), 25.0f);
    EXPECT_FLOAT_EQ(TKRectGapDistanceSquared(CGRectMake(2, 2, 1, 1), CGRectMake(0, 0, 10, 10)), 0.0f);
}

TEST(TKGeometry, OutOfRangeFloatsBecomeClampedIntegers)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(TKClampedInteger(nan, -3, 7), -3);
    EXPECT_EQ(TKClampedInteger(1e300, -3, 7), 7);
    EXPECT_EQ(TKClampedInteger(-inf, -3, 7), -3);
    EXPECT_EQ(TKClampedInteger(-2.9, -3, 7), -2) << "truncated towards zero";
    EXPECT_EQ(TKClampedInteger(1e19, 0, std::numeric_limits<int64_t>::max()), std::numeric_limits<int64_t>::max());

    // A span too wide for 32 bits is as wide as 32 bits go; NaN spans nothing.
    expectRect(TKGeometry::rectFromPoint(CGPointMake(-1e12, 0), CGPointMake(1e12, nan)), -1e12, 0,
        std::numeric_limits<int32_t>::max(), 0);

    // Pixels of a bitmap side: none for what no bitmap can have.
    EXPECT_EQ(TKBitmapSide(100.7), 100);
    EXPECT_EQ(TKBitmapSide(double(TKMaxBitmapSide)), TKMaxBitmapSide);
    EXPECT_EQ(TKBitmapSide(double(TKMaxBitmapSide) + 1), 0);
    EXPECT_EQ(TKBitmapSide(nan), 0);
    EXPECT_EQ(TKBitmapSide(-inf), 0);

    // A point infinitely far away still finds the first screen.
    std::vector<CGRect> screens { CGRectMake(0, 0, 100, 100), CGRectMake(200, 0, 100, 100) };
    EXPECT_EQ(TKGeometry::screenForPoint(CGPointMake(inf, -1e300), screens), 0u);
    EXPECT_EQ(TKGeometry::screenForPoint(CGPointMake(nan, nan), screens), 0u);
}

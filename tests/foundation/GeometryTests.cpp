#include <foundation/Foundation.h>

#include <gtest/gtest.h>

namespace {

const CGRect box = CGRectMake(10, 20, 100, 50);

TEST(Geometry, NullRectangle)
{
    EXPECT_TRUE(CGRectIsNull(CGRectNull));
    EXPECT_TRUE(CGRectIsEmpty(CGRectNull));
    EXPECT_FALSE(CGRectIsNull(CGRectZero));
    EXPECT_TRUE(CGRectIsEmpty(CGRectZero));
    EXPECT_FALSE(CGRectIsEmpty(box));
    EXPECT_TRUE(CGRectEqualToRect(CGRectNull, CGRectNull));
    EXPECT_FALSE(CGRectEqualToRect(CGRectNull, CGRectZero));
    EXPECT_TRUE(CGRectIsNull(CGRectOffset(CGRectNull, 5, 5)));
    EXPECT_TRUE(CGRectIsNull(CGRectInset(CGRectNull, 1, 1)));
    EXPECT_TRUE(CGRectIsNull(CGRectStandardize(CGRectNull)));
    EXPECT_FALSE(CGRectContainsPoint(CGRectNull, CGPointZero));
    EXPECT_FALSE(CGRectContainsRect(CGRectNull, CGRectZero));
    EXPECT_FALSE(NSMouseInRect(CGPointZero, CGRectNull, false));
    EXPECT_EQ(CGRectGetWidth(CGRectNull), 0);
}

TEST(Geometry, IntersectionWithNullEmptyAndDisjoint)
{
    EXPECT_TRUE(CGRectIsNull(CGRectIntersection(box, CGRectNull)));
    EXPECT_TRUE(CGRectIsNull(CGRectIntersection(CGRectNull, box)));
    EXPECT_TRUE(CGRectIsNull(CGRectIntersection(box, CGRectMake(500, 500, 10, 10))));
    EXPECT_EQ(CGRectIntersection(box, CGRectMake(50, 0, 100, 40)), CGRectMake(50, 20, 60, 20));
    // An empty rectangle inside: the common part is that empty rectangle.
    EXPECT_EQ(CGRectIntersection(box, CGRectMake(20, 30, 0, 0)), CGRectMake(20, 30, 0, 0));
    // Rectangles that touch share a zero-width strip.
    EXPECT_EQ(CGRectIntersection(box, CGRectMake(110, 20, 10, 10)), CGRectMake(110, 20, 0, 10));
    // Negative sizes are standardised first.
    EXPECT_EQ(CGRectIntersection(CGRectMake(110, 70, -100, -50), box), box);
}

TEST(Geometry, IntersectsRectNeedsASharedArea)
{
    EXPECT_TRUE(CGRectIntersectsRect(box, CGRectMake(100, 60, 50, 50)));
    EXPECT_FALSE(CGRectIntersectsRect(box, CGRectMake(110, 20, 10, 10)));
    EXPECT_FALSE(CGRectIntersectsRect(box, CGRectMake(10, 70, 10, 10)));
    EXPECT_FALSE(CGRectIntersectsRect(box, CGRectMake(20, 30, 0, 10)));
    EXPECT_FALSE(CGRectIntersectsRect(box, CGRectMake(20, 30, 10, 0)));
    EXPECT_FALSE(CGRectIntersectsRect(box, CGRectNull));
    EXPECT_TRUE(CGRectIntersectsRect(CGRectMake(110, 70, -1, -1), box));
}

TEST(Geometry, UnionWithNullAndEmpty)
{
    EXPECT_EQ(CGRectUnion(box, CGRectNull), box);
    EXPECT_EQ(CGRectUnion(CGRectNull, box), box);
    EXPECT_TRUE(CGRectIsNull(CGRectUnion(CGRectNull, CGRectNull)));
    // An empty but placed rectangle still widens the union.
    EXPECT_EQ(CGRectUnion(box, CGRectMake(0, 0, 0, 0)), CGRectMake(0, 0, 110, 70));
    EXPECT_EQ(CGRectUnion(CGRectMake(0, 0, 1, 1), CGRectMake(5, 5, -1, -1)), CGRectMake(0, 0, 5, 5));
}

TEST(Geometry, ContainsAndInset)
{
    EXPECT_TRUE(CGRectContainsPoint(box, CGPointMake(10, 20)));
    EXPECT_FALSE(CGRectContainsPoint(box, CGPointMake(110, 20)));
    EXPECT_FALSE(CGRectContainsPoint(box, CGPointMake(10, 70)));
    EXPECT_TRUE(CGRectContainsRect(box, CGRectMake(10, 20, 100, 50)));
    EXPECT_FALSE(CGRectContainsRect(box, CGRectMake(10, 20, 101, 50)));
    EXPECT_EQ(CGRectInset(box, 10, 5), CGRectMake(20, 25, 80, 40));
    EXPECT_EQ(CGRectInset(box, 50, 25), CGRectMake(60, 45, 0, 0));
    EXPECT_TRUE(CGRectIsNull(CGRectInset(box, 51, 0)));
    EXPECT_EQ(CGRectIntegral(CGRectMake(0.5, 0.5, 1.2, 1.2)), CGRectMake(0, 0, 2, 2));
    EXPECT_EQ(CGRectGetMaxX(CGRectMake(10, 0, -4, 0)), 10);
    EXPECT_EQ(CGRectGetMinX(CGRectMake(10, 0, -4, 0)), 6);
    EXPECT_EQ(CGRectGetMidY(box), 45);
}

TEST(Geometry, MouseInRectEdgesUnflipped)
{
    // Unflipped: the bottom (minimum y) edge is outside, the top inside.
    EXPECT_FALSE(NSMouseInRect(NSMakePoint(50, 20), box, false));
    EXPECT_TRUE(NSMouseInRect(NSMakePoint(50, 70), box, false));
    EXPECT_TRUE(NSMouseInRect(NSMakePoint(10, 40), box, false));
    EXPECT_FALSE(NSMouseInRect(NSMakePoint(110, 40), box, false));
    EXPECT_TRUE(NSMouseInRect(NSMakePoint(50, 20.001), box, false));
}

TEST(Geometry, MouseInRectEdgesFlipped)
{
    // Flipped: the top (minimum y) edge is inside, the bottom outside.
    EXPECT_TRUE(NSMouseInRect(NSMakePoint(50, 20), box, true));
    EXPECT_FALSE(NSMouseInRect(NSMakePoint(50, 70), box, true));
    EXPECT_TRUE(NSMouseInRect(NSMakePoint(10, 40), box, true));
    EXPECT_FALSE(NSMouseInRect(NSMakePoint(110, 40), box, true));
    EXPECT_TRUE(NSPointInRect(NSMakePoint(10, 20), box));
    EXPECT_FALSE(NSPointInRect(NSMakePoint(109, 70), box));
}

TEST(Geometry, MouseInEmptyRectIsNeverInside)
{
    for (bool flipped : { false, true }) {
        EXPECT_FALSE(NSMouseInRect(NSMakePoint(10, 20), CGRectMake(10, 20, 0, 0), flipped));
        EXPECT_FALSE(NSMouseInRect(NSMakePoint(10, 20), CGRectMake(10, 20, 5, 0), flipped));
    }
}

TEST(Geometry, StringForms)
{
    EXPECT_EQ(NSStringFromRect(box), "{{10, 20}, {100, 50}}");
    EXPECT_EQ(NSStringFromPoint(CGPointMake(0.5, -3)), "{0.5, -3}");
    EXPECT_EQ(NSStringFromSize(CGSizeMake(1234567, 2560)), "{1234567, 2560}");
}

TEST(Geometry, StringFormsReadBack)
{
    CGRect odd = CGRectMake(-12.25, 0.1, 1e-3, 1.7976931348623157e308);
    EXPECT_EQ(NSRectFromString(NSStringFromRect(odd)), odd);
    EXPECT_EQ(NSPointFromString(NSStringFromPoint(CGPointMake(-0.5, 900))), CGPointMake(-0.5, 900));
    EXPECT_EQ(NSSizeFromString("{3,4}"), CGSizeMake(3, 4));
    // Missing numbers read as 0, and text that is no geometry as all zeros.
    EXPECT_EQ(NSRectFromString("{{5, 6}}"), CGRectMake(5, 6, 0, 0));
    EXPECT_EQ(NSPointFromString("top left"), CGPointZero);
    EXPECT_EQ(NSRectFromString(""), CGRectZero);
}

} // namespace

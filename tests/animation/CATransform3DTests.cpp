#include "AnimationTestSupport.h"

#include <cmath>

namespace {

constexpr double kEps = 1e-12;

CATransform3D matrix(std::initializer_list<double> values)
{
    CATransform3D t;
    int i = 0;
    for (double v : values) {
        t.at(i / 4, i % 4) = v;
        ++i;
    }
    return t;
}

void expectMatrixNear(const CATransform3D& actual, const CATransform3D& expected, double eps = 1e-9)
{
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(actual.at(r, c), expected.at(r, c), eps) << "m" << r + 1 << c + 1;
    }
}

}

TEST(CATransform3D, IdentityAndEquality)
{
    EXPECT_TRUE(CATransform3DIsIdentity(CATransform3DIdentity));
    EXPECT_TRUE(CATransform3DIsIdentity(CATransform3DMakeTranslation(0, 0, 0)));
    EXPECT_FALSE(CATransform3DIsIdentity(CATransform3DMakeTranslation(0, 0, 1e-9)));
    EXPECT_TRUE(CATransform3DEqualToTransform(CATransform3DMakeScale(2, 3, 4), CATransform3DMakeScale(2, 3, 4)));
    EXPECT_FALSE(CATransform3DEqualToTransform(CATransform3DMakeScale(2, 3, 4), CATransform3DMakeScale(2, 3, 5)));
}

TEST(CATransform3D, TranslationSitsInTheBottomRow)
{
    auto t = CATransform3DMakeTranslation(5, -6, 7);
    expectMatrixNear(t, matrix({ 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, -6, 7, 1 }), 0);
    auto p = CATransform3DApply(t, 1, 2, 3);
    EXPECT_EQ(p.x, 6);
    EXPECT_EQ(p.y, -4);
    EXPECT_EQ(p.z, 10);
    EXPECT_EQ(p.w, 1);
    expectMatrixNear(CATransform3DMakeScale(2, 3, 4), matrix({ 2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 0, 0, 0, 1 }), 0);
}

TEST(CATransform3D, RotationsFollowTheRightHandRule)
{
    // About z: x goes to y.
    auto z = CATransform3DMakeRotation(M_PI / 2, 0, 0, 1);
    expectMatrixNear(z, matrix({ 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1 }));
    // About y: x goes to -z, z goes to x.
    auto y = CATransform3DMakeRotation(M_PI / 2, 0, 1, 0);
    expectMatrixNear(y, matrix({ 0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1 }));
    // About x: y goes to z.
    auto x = CATransform3DMakeRotation(M_PI / 2, 1, 0, 0);
    expectMatrixNear(x, matrix({ 1, 0, 0, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1 }));
    // The axis need not be of unit length; its direction counts.
    expectMatrixNear(CATransform3DMakeRotation(0.3, 0, -5, 0), CATransform3DMakeRotation(-0.3, 0, 1, 0));
    // A zero axis rotates nothing.
    EXPECT_TRUE(CATransform3DIsIdentity(CATransform3DMakeRotation(1, 0, 0, 0)));
}

TEST(CATransform3D, GeneralAxisRotationMatchesTheHandComputedMatrix)
{
    // 120 degrees about (1, 1, 1) cycles the axes: x -> y -> z -> x.
    auto t = CATransform3DMakeRotation(2 * M_PI / 3, 1, 1, 1);
    expectMatrixNear(t, matrix({ 0, 1, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 1 }));
}

TEST(CATransform3D, ConcatAppliesTheFirstOperandFirst)
{
    auto translate = CATransform3DMakeTranslation(1, 0, 0);
    auto scale = CATransform3DMakeScale(2, 2, 2);
    // Translate, then scale: the translation is scaled too.
    expectMatrixNear(CATransform3DConcat(translate, scale),
        matrix({ 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 2, 0, 0, 1 }), 0);
    // Scale, then translate.
    expectMatrixNear(CATransform3DConcat(scale, translate),
        matrix({ 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 1, 0, 0, 1 }), 0);

    auto a = matrix({ 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16 });
    auto b = matrix({ 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 2, 0, 1, 1, 1, 1 });
    // Row 1 of a*b: (1,2,3,4) * b = (2 + 4, 1 + 4, 6 + 4, 4).
    auto ab = CATransform3DConcat(a, b);
    EXPECT_EQ(ab.m11, 6);
    EXPECT_EQ(ab.m12, 5);
    EXPECT_EQ(ab.m13, 10);
    EXPECT_EQ(ab.m14, 4);
    EXPECT_EQ(ab.m41, 14 + 16);
    EXPECT_EQ(ab.m43, 30 + 16);
}

TEST(CATransform3D, ModifyingOperationsPutTheNewStepFirst)
{
    auto base = CATransform3DMakeScale(2, 2, 2);
    // The point is translated before the scale acts.
    auto t = CATransform3DTranslate(base, 1, 0, 0);
    auto p = CATransform3DApply(t, 0, 0, 0);
    EXPECT_DOUBLE_EQ(p.x, 2);
    expectMatrixNear(CATransform3DScale(CATransform3DMakeTranslation(3, 0, 0), 2, 1, 1),
        matrix({ 2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 3, 0, 0, 1 }), 0);
    // Rotate a translation: the point rotates, then moves.
    auto r = CATransform3DRotate(CATransform3DMakeTranslation(10, 0, 0), M_PI / 2, 0, 0, 1);
    auto q = CATransform3DApply(r, 1, 0, 0);
    EXPECT_NEAR(q.x, 10, kEps);
    EXPECT_NEAR(q.y, 1, kEps);
}

TEST(CATransform3D, PerspectiveDividesByTheDistanceToTheEye)
{
    auto p = CATransform3DIdentity;
    p.m34 = -1.0 / 500;
    // A point 100 nearer the eye at 500 grows by 500 / 400.
    auto near = CATransform3DApply(p, 100, 40, 100);
    EXPECT_NEAR(near.w, 0.8, kEps);
    EXPECT_NEAR(near.x / near.w, 125, 1e-9);
    EXPECT_NEAR(near.y / near.w, 50, 1e-9);
    auto far = CATransform3DApply(p, 100, 0, -500);
    EXPECT_NEAR(far.x / far.w, 50, 1e-9);
}

TEST(CATransform3D, InvertGivesTheHandComputedInverse)
{
    auto t = CATransform3DConcat(CATransform3DMakeScale(2, 4, 5), CATransform3DMakeTranslation(3, -8, 10));
    expectMatrixNear(CATransform3DInvert(t),
        matrix({ 0.5, 0, 0, 0, 0, 0.25, 0, 0, 0, 0, 0.2, 0, -1.5, 2, -2, 1 }));

    auto persp = CATransform3DIdentity;
    persp.m34 = -0.002;
    expectMatrixNear(CATransform3DInvert(persp), matrix({ 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0.002, 0, 0, 0, 1 }));

    auto complex = CATransform3DRotate(CATransform3DTranslate(persp, 10, 20, -30), 0.7, 0.2, 1, 0.3);
    expectMatrixNear(CATransform3DConcat(complex, CATransform3DInvert(complex)), CATransform3DIdentity);
}

TEST(CATransform3D, ASingularTransformInvertsToItself)
{
    auto flat = CATransform3DMakeScale(1, 1, 0);
    EXPECT_TRUE(CATransform3DEqualToTransform(CATransform3DInvert(flat), flat));
}

TEST(CATransform3D, AffineConversions)
{
    CGAffineTransform a { 1, 2, 3, 4, 5, 6 };
    auto t = CATransform3DMakeAffineTransform(a);
    expectMatrixNear(t, matrix({ 1, 2, 0, 0, 3, 4, 0, 0, 0, 0, 1, 0, 5, 6, 0, 1 }), 0);
    EXPECT_TRUE(CATransform3DIsAffine(t));
    EXPECT_EQ(CATransform3DGetAffineTransform(t), a);

    auto rotated = CATransform3DMakeRotation(0.5, 0, 1, 0);
    EXPECT_FALSE(CATransform3DIsAffine(rotated));
    auto flattened = CATransform3DGetAffineTransform(rotated);
    EXPECT_NEAR(flattened.a, std::cos(0.5), kEps);
    EXPECT_EQ(flattened.d, 1);
    auto persp = CATransform3DIdentity;
    persp.m34 = -0.01;
    EXPECT_FALSE(CATransform3DIsAffine(persp));
}

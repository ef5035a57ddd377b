#include "AnimationTestSupport.h"

#include <cmath>

namespace {

// Rotation by angle about y seen through a perspective with the eye at d.
CATransform3D turned(double angle, double d)
{
    auto perspective = CATransform3DIdentity;
    perspective.m34 = -1 / d;
    return CATransform3DConcat(CATransform3DMakeRotation(angle, 0, 1, 0), perspective);
}

// Where a point (x, y) of a layer, measured from its anchor, appears after
// turned(angle, d): the rotation puts it at depth z = -x sin(angle), and the
// perspective divides by w = 1 - z / d.
CGPoint seen(double x, double y, double angle, double d)
{
    double w = 1 + x * std::sin(angle) / d;
    return { x * std::cos(angle) / w, y / w };
}

}

// MARK: Tree

TEST(CALayerTree, AddInsertRemoveAndReplace)
{
    auto root = CALayer::layer();
    auto a = CALayer::layer(), b = CALayer::layer(), c = CALayer::layer(), d = CALayer::layer();
    root->addSublayer(a);
    root->addSublayer(b);
    root->insertSublayer(c, 1);
    EXPECT_EQ(root->sublayers(), (std::vector<Ref<CALayer>> { a, c, b }));
    root->insertSublayerBelow(d, a.get());
    EXPECT_EQ(root->sublayers(), (std::vector<Ref<CALayer>> { d, a, c, b }));
    root->insertSublayerAbove(d, b.get());
    EXPECT_EQ(root->sublayers(), (std::vector<Ref<CALayer>> { a, c, b, d }));
    EXPECT_EQ(d->superlayer(), root.get());

    // Moving a layer to another superlayer takes it out of the first.
    auto other = CALayer::layer();
    other->addSublayer(c);
    EXPECT_EQ(root->sublayers(), (std::vector<Ref<CALayer>> { a, b, d }));
    EXPECT_EQ(c->superlayer(), other.get());

    auto e = CALayer::layer();
    root->replaceSublayer(b.get(), e);
    EXPECT_EQ(root->sublayers(), (std::vector<Ref<CALayer>> { a, e, d }));
    EXPECT_EQ(b->superlayer(), nullptr);
    root->replaceSublayer(b.get(), c);
    EXPECT_EQ(root->sublayers(), (std::vector<Ref<CALayer>> { a, e, d })) << "b is no longer a sublayer";

    a->removeFromSuperlayer();
    EXPECT_EQ(a->superlayer(), nullptr);
    EXPECT_EQ(root->sublayers(), (std::vector<Ref<CALayer>> { e, d }));
    root->insertSublayer(a, 99);
    EXPECT_EQ(root->sublayers().back(), a);
}

TEST(CALayerTree, CyclesAreRefused)
{
    auto root = CALayer::layer();
    auto child = CALayer::layer();
    auto grandchild = CALayer::layer();
    root->addSublayer(child);
    child->addSublayer(grandchild);
    grandchild->addSublayer(root);
    root->addSublayer(root);
    EXPECT_EQ(root->superlayer(), nullptr);
    EXPECT_TRUE(grandchild->sublayers().empty());
    EXPECT_EQ(root->sublayers().size(), 1u);
    EXPECT_TRUE(grandchild->isDescendantOf(root.get()));
}

TEST(CALayerTree, RemovingTheLastReferenceFromInsideIsSafe)
{
    auto root = CALayer::layer();
    Weak<CALayer> weakChild;
    {
        auto child = CALayer::layer();
        weakChild = child;
        root->addSublayer(child);
    }
    weakChild.lock()->removeFromSuperlayer();
    EXPECT_TRUE(weakChild.expired());
    // Sublayers of a layer that goes away lose their superlayer.
    auto orphan = CALayer::layer();
    {
        auto parent = CALayer::layer();
        parent->addSublayer(orphan);
    }
    EXPECT_EQ(orphan->superlayer(), nullptr);
}

TEST(CALayerGeometry, FrameFollowsPositionAnchorAndTransform)
{
    auto layer = CALayer::layer();
    layer->setFrame({ 10, 20, 100, 50 });
    EXPECT_EQ(layer->bounds(), CGRectMake(0, 0, 100, 50));
    EXPECT_EQ(layer->position(), CGPointMake(60, 45));
    layer->setAnchorPoint({ 0, 0 });
    EXPECT_EQ(layer->frame(), CGRectMake(60, 45, 100, 50));
    layer->setAnchorPoint({ 0.5, 0.5 });
    layer->setTransform(CATransform3DMakeScale(2, 2, 1));
    EXPECT_EQ(layer->frame(), CGRectMake(-40, -5, 200, 100));
    layer->setTransform(CATransform3DMakeRotation(M_PI / 2, 0, 0, 1));
    CGRect f = layer->frame();
    EXPECT_NEAR(f.origin.x, 35, 1e-9);
    EXPECT_NEAR(f.size.width, 50, 1e-9);
    EXPECT_NEAR(f.size.height, 100, 1e-9);
    layer->setAffineTransform(CGAffineTransformMakeScale(3, 1));
    EXPECT_EQ(layer->affineTransform().a, 3);
}

// MARK: Hit testing

class HitTesting : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = solidLayer({ 0, 0, 200, 200 }, kWhite);
        child = solidLayer({ 50, 50, 100, 100 }, kRed);
        grandchild = solidLayer({ 10, 10, 20, 20 }, kBlue);
        root->addSublayer(child);
        child->addSublayer(grandchild);
    }
    Ref<CALayer> root, child, grandchild;
};

TEST_F(HitTesting, FindsTheDeepestLayerUnderThePoint)
{
    EXPECT_EQ(root->hitTest({ 65, 65 }), grandchild);
    EXPECT_EQ(root->hitTest({ 55, 55 }), child);
    EXPECT_EQ(root->hitTest({ 10, 10 }), root);
    EXPECT_EQ(root->hitTest({ 250, 10 }), nullptr);
    grandchild->setHidden(true);
    EXPECT_EQ(root->hitTest({ 65, 65 }), child);
}

TEST_F(HitTesting, MasksToBoundsLimitsTheSearch)
{
    auto outside = solidLayer({ 90, 0, 50, 50 }, kGreen);
    child->addSublayer(outside);
    EXPECT_EQ(root->hitTest({ 170, 60 }), outside);
    child->setMasksToBounds(true);
    EXPECT_EQ(root->hitTest({ 170, 60 }), root);
}

TEST_F(HitTesting, FrontLayersWinOverLaterSiblingsByDepth)
{
    auto front = solidLayer({ 0, 0, 100, 100 }, kGreen);
    auto back = solidLayer({ 0, 0, 100, 100 }, kBlue);
    auto parent = CALayer::layer();
    parent->setFrame({ 0, 0, 100, 100 });
    parent->addSublayer(front);
    parent->addSublayer(back);
    EXPECT_EQ(parent->hitTest({ 50, 50 }), back);
    front->setZPosition(1);
    EXPECT_EQ(parent->hitTest({ 50, 50 }), front);
}

TEST_F(HitTesting, RotatedLayersAreHitWhereTheyAppear)
{
    child->setTransform(CATransform3DMakeRotation(M_PI / 4, 0, 0, 1));
    // The diamond reaches 70.7 from the centre (100, 100) along the axes.
    EXPECT_EQ(root->hitTest({ 100, 165 }), child);
    EXPECT_EQ(root->hitTest({ 145, 145 }), root);
    // Inside the rotated child, the grandchild sits rotated too: its centre
    // (20, 20) is 42.4 below the child's centre along the diagonal.
    EXPECT_EQ(root->hitTest({ 100, 100 - 42.4 }), grandchild);
}

TEST_F(HitTesting, PerspectiveNarrowsTheFarEdge)
{
    auto stage = CALayer::layer();
    stage->setFrame({ 0, 0, 400, 200 });
    auto card = solidLayer({ 100, 50, 200, 100 }, kRed);
    stage->addSublayer(card);
    double angle = M_PI / 3, d = 400;
    card->setTransform(turned(angle, d));
    // The same height above the centre line: inside near the (left) near
    // edge, outside near the far (right) edge.
    CGPoint nearPoint = seen(-82, 47, angle, d), farPoint = seen(82, 47, angle, d);
    ASSERT_GT(std::fabs(nearPoint.y), 55);
    ASSERT_LT(std::fabs(farPoint.y), 41);
    EXPECT_EQ(stage->hitTest({ 200 + nearPoint.x, 100 + 45 }), card);
    EXPECT_EQ(stage->hitTest({ 200 + farPoint.x, 100 + 45 }), stage);
    EXPECT_EQ(stage->hitTest({ 200 + farPoint.x, 100 + 38 }), card);
    // The point converts back to the plane point it came from.
    CGPoint back = card->convertPointFromLayer({ 200 + farPoint.x, 100 + farPoint.y }, stage.get());
    EXPECT_NEAR(back.x, 100 + 82, 1e-6);
    EXPECT_NEAR(back.y, 50 + 47, 1e-6);
    CGPoint forward = card->convertPointToLayer({ 100 + 82, 50 + 47 }, stage.get());
    EXPECT_NEAR(forward.x, 200 + farPoint.x, 1e-6);
    EXPECT_NEAR(forward.y, 100 + farPoint.y, 1e-6);
}

TEST_F(HitTesting, LayersBehindTheEyeOrFacingAwayAreNotHit)
{
    auto stage = CALayer::layer();
    stage->setFrame({ 0, 0, 400, 200 });
    auto card = solidLayer({ 100, 50, 200, 100 }, kRed);
    stage->addSublayer(card);
    auto perspective = CATransform3DIdentity;
    perspective.m34 = -1.0 / 400;
    card->setTransform(CATransform3DConcat(CATransform3DMakeTranslation(0, 0, 450), perspective));
    EXPECT_EQ(stage->hitTest({ 200, 100 }), stage);
    EXPECT_TRUE(std::isinf(card->convertPointFromLayer({ 200, 100 }, stage.get()).x));

    card->setTransform(turned(M_PI, 400));
    EXPECT_EQ(stage->hitTest({ 200, 100 }), card);
    card->setDoubleSided(false);
    EXPECT_EQ(stage->hitTest({ 200, 100 }), stage);
}

TEST_F(HitTesting, ConversionBetweenLayers)
{
    auto a = solidLayer({ 0, 0, 100, 100 }, kRed);
    auto b = solidLayer({ 50, 50, 100, 100 }, kBlue);
    auto parent = CALayer::layer();
    parent->setFrame({ 0, 0, 300, 300 });
    parent->addSublayer(a);
    parent->addSublayer(b);
    EXPECT_EQ(a->convertPointToLayer({ 60, 60 }, b.get()), CGPointMake(10, 10));
    EXPECT_EQ(b->convertPointFromLayer({ 60, 60 }, a.get()), CGPointMake(10, 10));
    b->setTransform(CATransform3DMakeScale(2, 2, 1));
    // b's centre stays at (100, 100); its points spread twice as far.
    EXPECT_EQ(b->convertPointToLayer({ 60, 50 }, a.get()), CGPointMake(120, 100));
    EXPECT_EQ(b->convertRectToLayer({ 50, 50, 10, 10 }, parent.get()), CGRectMake(100, 100, 20, 20));
    EXPECT_EQ(parent->convertRectFromLayer({ 50, 50, 10, 10 }, b.get()), CGRectMake(100, 100, 20, 20));
    // A sublayerTransform acts about the superlayer's anchor point; a
    // presentation copy answers for the layer's place in its superlayer.
    parent->setSublayerTransform(CATransform3DMakeScale(2, 1, 1));
    EXPECT_EQ(a->convertPointToLayer({ 0, 0 }, parent.get()), CGPointMake(-150, 0));
    EXPECT_EQ(a->presentationLayer()->transformToSuperlayer(), a->transformToSuperlayer());
    EXPECT_EQ(a->presentationLayer()->superlayer(), nullptr);
}

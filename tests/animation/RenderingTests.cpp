#include "AnimationTestSupport.h"

namespace {

CGContextRef render(const Ref<CALayer>& root, size_t w, size_t h)
{
    auto context = makeContext(w, h);
    root->renderInContext(context);
    return context;
}

Ref<CALayer> canvas(double w, double h)
{
    auto root = CALayer::layer();
    root->setFrame({ 0, 0, w, h });
    return root;
}

}

class Rendering : public AnimationTest { };

TEST_F(Rendering, RoundedCornersClipWithMasksToBounds)
{
    auto root = canvas(100, 100);
    auto card = solidLayer({ 0, 0, 100, 100 }, kRed);
    card->setCornerRadius(30);
    card->addSublayer(solidLayer({ 0, 0, 100, 100 }, kBlue));
    root->addSublayer(card);

    auto unclipped = render(root, 100, 100);
    EXPECT_PIXEL(pixelAtPoint(unclipped, 1, 1), kBlue) << "sublayers are not clipped without masksToBounds";

    card->setMasksToBounds(true);
    auto clipped = render(root, 100, 100);
    EXPECT_PIXEL(pixelAtPoint(clipped, 1, 1), kClear);
    EXPECT_PIXEL(pixelAtPoint(clipped, 98, 98), kClear);
    EXPECT_PIXEL(pixelAtPoint(clipped, 5, 5), kClear);
    // 29 from the corner's centre (30, 30): inside the radius.
    EXPECT_PIXEL(pixelAtPoint(clipped, 9, 9), kBlue);
    EXPECT_PIXEL(pixelAtPoint(clipped, 1, 50), kBlue);
    EXPECT_PIXEL(pixelAtPoint(clipped, 50, 50), kBlue);
}

TEST_F(Rendering, TheBackgroundIsRoundedEvenWithoutMasking)
{
    auto root = canvas(60, 60);
    auto card = solidLayer({ 0, 0, 60, 60 }, kGreen);
    card->setCornerRadius(20);
    root->addSublayer(card);
    auto c = render(root, 60, 60);
    EXPECT_PIXEL(pixelAtPoint(c, 0, 0), kClear);
    EXPECT_PIXEL(pixelAtPoint(c, 30, 30), kGreen);
    // A radius beyond half the side is held at half the side: a circle.
    card->setCornerRadius(500);
    auto circle = render(root, 60, 60);
    EXPECT_PIXEL(pixelAtPoint(circle, 5, 5), kClear);
    EXPECT_PIXEL(pixelAtPoint(circle, 1, 30), kGreen);
}

TEST_F(Rendering, OpacityBlendsTheLayerAsOneGroup)
{
    auto root = solidLayer({ 0, 0, 40, 40 }, kWhite);
    auto group = CALayer::layer();
    group->setFrame({ 0, 0, 40, 40 });
    group->setOpacity(0.5);
    group->addSublayer(solidLayer({ 0, 0, 30, 40 }, kRed));
    group->addSublayer(solidLayer({ 10, 0, 30, 40 }, kBlue));
    root->addSublayer(group);
    auto c = render(root, 40, 40);
    EXPECT_PIXEL(pixelAtPoint(c, 5, 20), (RGBA { 255, 128, 128, 255 }));
    // Where the two overlap only the top one shows, at half strength.
    EXPECT_PIXEL(pixelAtPoint(c, 20, 20), (RGBA { 128, 128, 255, 255 }));
    EXPECT_PIXEL(pixelAtPoint(c, 35, 20), (RGBA { 128, 128, 255, 255 }));
}

TEST_F(Rendering, AGroupCoversSublayersOutsideItsBounds)
{
    auto root = canvas(100, 100);
    auto parent = solidLayer({ 0, 0, 50, 50 }, kBlue);
    parent->setOpacity(0.5);
    parent->addSublayer(solidLayer({ 60, 60, 20, 20 }, kRed));
    root->addSublayer(parent);
    auto c = render(root, 100, 100);
    EXPECT_PIXEL(pixelAtPoint(c, 70, 70), (RGBA { 128, 0, 0, 128 }));
    EXPECT_PIXEL(pixelAtPoint(c, 25, 25), (RGBA { 0, 0, 128, 128 }));
}

TEST_F(Rendering, TheBorderLiesInsideTheBoundsOverSublayers)
{
    auto root = canvas(50, 50);
    auto box = solidLayer({ 0, 0, 50, 50 }, kWhite);
    box->setBorderWidth(5);
    box->setBorderColor(color(kGreen));
    box->addSublayer(solidLayer({ 0, 0, 50, 50 }, kRed));
    root->addSublayer(box);
    auto c = render(root, 50, 50);
    EXPECT_PIXEL(pixelAtPoint(c, 2, 25), kGreen);
    EXPECT_PIXEL(pixelAtPoint(c, 47, 25), kGreen);
    EXPECT_PIXEL(pixelAtPoint(c, 25, 2), kGreen);
    EXPECT_PIXEL(pixelAtPoint(c, 6, 25), kRed);
}

TEST_F(Rendering, ContentsAreDrawnUprightWithGravity)
{
    // Top row red, bottom row blue.
    auto image = makeImage(2, 2, [](size_t, size_t y) { return y == 0 ? kRed : kBlue; });
    auto root = canvas(100, 100);
    auto layer = CALayer::layer();
    layer->setFrame({ 0, 0, 100, 100 });
    layer->setContents(image);
    root->addSublayer(layer);
    auto c = render(root, 100, 100);
    EXPECT_PIXEL(pixelAtPoint(c, 50, 90), kRed);
    EXPECT_PIXEL(pixelAtPoint(c, 50, 10), kBlue);

    // A wide image kept in proportion sits in the middle band.
    auto wide = makeImage(4, 2, [](size_t, size_t) { return kGreen; });
    layer->setContents(wide);
    layer->setContentsGravity(kCAGravityResizeAspect);
    auto aspect = render(root, 100, 100);
    EXPECT_PIXEL(pixelAtPoint(aspect, 50, 50), kGreen);
    EXPECT_PIXEL(pixelAtPoint(aspect, 50, 20), kClear);
    EXPECT_PIXEL(pixelAtPoint(aspect, 50, 80), kClear);
    // Centred at its own size: 4 x 4 pixels at scale 2 is 2 x 2 points.
    layer->setContents(makeImage(4, 4, [](size_t, size_t) { return kGreen; }));
    layer->setContentsGravity(kCAGravityCenter);
    layer->setContentsScale(2);
    auto centred = render(root, 100, 100);
    EXPECT_PIXEL(pixelAtPoint(centred, 49, 49), kGreen);
    EXPECT_PIXEL(pixelAtPoint(centred, 50, 50), kGreen);
    EXPECT_PIXEL(pixelAtPoint(centred, 52, 50), kClear);
    EXPECT_PIXEL(pixelAtPoint(centred, 50, 47), kClear);
}

TEST_F(Rendering, NSImageContents)
{
    auto image = NSImage::imageWithCGImage(makeImage(3, 3, [](size_t, size_t) { return kBlue; }), { 3, 3 });
    auto root = canvas(30, 30);
    auto layer = CALayer::layer();
    layer->setFrame({ 0, 0, 30, 30 });
    layer->setContents(image);
    root->addSublayer(layer);
    EXPECT_TRUE(layer->contentsImage());
    auto c = render(root, 30, 30);
    EXPECT_PIXEL(pixelAtPoint(c, 15, 15), kBlue);
}

TEST_F(Rendering, TransformsOfTheAffineKindDrawStraightThrough)
{
    // A 20 x 10 bar turned a quarter about its centre becomes 10 x 20.
    auto root = canvas(40, 40);
    auto bar = solidLayer({ 10, 15, 20, 10 }, kRed);
    bar->setTransform(CATransform3DMakeRotation(M_PI / 2, 0, 0, 1));
    root->addSublayer(bar);
    auto c = render(root, 40, 40);
    EXPECT_PIXEL(pixelAtPoint(c, 20, 28), kRed);
    EXPECT_PIXEL(pixelAtPoint(c, 12, 20), kClear);
    // A translation in z under no perspective changes nothing on screen.
    bar->setTransform(CATransform3DMakeTranslation(0, 0, 50));
    auto moved = render(root, 40, 40);
    EXPECT_PIXEL(pixelAtPoint(moved, 12, 20), kRed);
}

TEST_F(Rendering, ShadowsFallBelowAndBlur)
{
    auto root = canvas(100, 100);
    auto card = solidLayer({ 30, 30, 40, 40 }, kRed);
    card->setShadowOpacity(1);
    card->setShadowRadius(0);
    card->setShadowOffset({ 10, -10 });
    root->addSublayer(card);
    auto sharp = render(root, 100, 100);
    EXPECT_PIXEL(pixelAtPoint(sharp, 75, 25), kBlack);
    EXPECT_PIXEL(pixelAtPoint(sharp, 50, 50), kRed) << "the layer covers its own shadow";
    EXPECT_PIXEL(pixelAtPoint(sharp, 35, 75), kClear);
    EXPECT_PIXEL(pixelAtPoint(sharp, 82, 40), kClear);

    card->setShadowRadius(8);
    auto soft = render(root, 100, 100);
    int edge = pixelAtPoint(soft, 80, 40).a;
    EXPECT_GT(edge, 60);
    EXPECT_LT(edge, 200);
    EXPECT_GT(pixelAtPoint(soft, 84, 40).a, 0) << "the blur spreads past the sharp edge";

    // A path casts the shadow instead: a circle leaves the corners clear.
    card->setShadowRadius(0);
    card->setShadowOffset({ 0, 0 });
    card->setBackgroundColor(nullptr);
    card->setShadowPath(CGPathCreateWithEllipseInRect({ 0, 0, 40, 40 }));
    auto path = render(root, 100, 100);
    EXPECT_PIXEL(pixelAtPoint(path, 50, 50), kBlack);
    EXPECT_PIXEL(pixelAtPoint(path, 31, 31), kClear);
}

TEST_F(Rendering, AMaskLimitsTheLayerToItsAlpha)
{
    auto root = canvas(100, 100);
    auto card = solidLayer({ 0, 0, 100, 100 }, kRed);
    auto mask = solidLayer({ 0, 0, 50, 100 }, kBlack);
    card->setMask(mask);
    root->addSublayer(card);
    auto c = render(root, 100, 100);
    EXPECT_PIXEL(pixelAtPoint(c, 25, 50), kRed);
    EXPECT_PIXEL(pixelAtPoint(c, 75, 50), kClear);

    // An image mask: the image's alpha counts, not its colours.
    auto halfTransparent = makeImage(2, 1, [](size_t x, size_t) { return x == 0 ? kGreen : RGBA { 0, 0, 0, 0 }; });
    auto imageMask = CALayer::layer();
    imageMask->setFrame({ 0, 0, 100, 100 });
    imageMask->setContents(halfTransparent);
    card->setMask(imageMask);
    auto masked = render(root, 100, 100);
    EXPECT_PIXEL(pixelAtPoint(masked, 10, 50), kRed);
    EXPECT_PIXEL(pixelAtPoint(masked, 90, 50), kClear);
}

TEST_F(Rendering, HiddenAndTransparentLayersDrawNothing)
{
    auto root = canvas(10, 10);
    auto a = solidLayer({ 0, 0, 10, 10 }, kRed);
    root->addSublayer(a);
    a->setHidden(true);
    EXPECT_PIXEL(pixelAtPoint(render(root, 10, 10), 5, 5), kClear);
    a->setHidden(false);
    a->setOpacity(0);
    EXPECT_PIXEL(pixelAtPoint(render(root, 10, 10), 5, 5), kClear);
}

TEST_F(Rendering, SiblingsDrawBackToFrontByZPosition)
{
    auto root = canvas(20, 20);
    auto first = solidLayer({ 0, 0, 20, 20 }, kRed);
    auto second = solidLayer({ 0, 0, 20, 20 }, kBlue);
    root->addSublayer(first);
    root->addSublayer(second);
    EXPECT_PIXEL(pixelAtPoint(render(root, 20, 20), 10, 10), kBlue);
    first->setZPosition(1);
    EXPECT_PIXEL(pixelAtPoint(render(root, 20, 20), 10, 10), kRed);
}

TEST_F(Rendering, DelegatesDrawWhenTheLayerNeedsDisplay)
{
    struct Painter : CALayerDelegate {
        int draws = 0;
        CGAffineTransform ctm {};
        void drawLayer(CALayer&, const CGContextRef& context) override
        {
            ++draws;
            ctm = CGContextGetCTM(context);
            CGContextSetRGBFillColor(context, 0, 1, 0, 1);
            CGContextFillRect(context, { 0, 0, 10, 10 });
        }
    } painter;
    auto root = canvas(20, 20);
    auto layer = CALayer::layer();
    layer->setFrame({ 0, 0, 20, 20 });
    layer->setDelegate(&painter);
    root->addSublayer(layer);
    auto before = render(root, 20, 20);
    EXPECT_EQ(painter.draws, 0);
    EXPECT_PIXEL(pixelAtPoint(before, 5, 5), kClear);

    layer->setContentsScale(2);
    ASSERT_TRUE(layer->needsDisplay());
    auto after = render(root, 20, 20);
    EXPECT_EQ(painter.draws, 1);
    EXPECT_EQ(painter.ctm.a, 2);
    EXPECT_PIXEL(pixelAtPoint(after, 5, 5), kGreen);
    EXPECT_PIXEL(pixelAtPoint(after, 15, 15), kClear);
    auto backing = layer->contentsImage();
    ASSERT_TRUE(backing);
    EXPECT_EQ(backing->width(), 40u);
    render(root, 20, 20);
    EXPECT_EQ(painter.draws, 1) << "the backing store is kept until the next setNeedsDisplay";
    layer->setNeedsDisplayOnBoundsChange(true);
    layer->setBounds({ 0, 0, 30, 30 });
    render(root, 20, 20);
    EXPECT_EQ(painter.draws, 2);
}

TEST_F(Rendering, AnimationsShowTheirPresentationValues)
{
    auto root = solidLayer({ 0, 0, 10, 10 }, kWhite);
    auto layer = solidLayer({ 0, 0, 10, 10 }, kBlue);
    root->addSublayer(layer);
    auto a = CABasicAnimation::animationWithKeyPath("opacity");
    a->setFromValue(1.0);
    a->setToValue(0.0);
    a->setDuration(1);
    layer->addAnimation(a, "fade");
    runFor(0.5);
    EXPECT_PIXEL(pixelAtPoint(render(root, 10, 10), 5, 5), (RGBA { 128, 128, 255, 255 }));
    runFor(1);
    EXPECT_PIXEL(pixelAtPoint(render(root, 10, 10), 5, 5), kBlue);
}

TEST_F(Rendering, AFadeTransitionDissolvesFromTheOldLook)
{
    auto root = canvas(10, 10);
    auto layer = solidLayer({ 0, 0, 10, 10 }, kRed);
    root->addSublayer(layer);
    auto fade = CATransition::animation();
    fade->setDuration(1);
    layer->addAnimation(fade, "ignored key");
    EXPECT_TRUE(layer->animationForKey(kCATransition));
    CATransaction::begin();
    CATransaction::setDisableActions(true);
    layer->setBackgroundColor(color(kBlue));
    CATransaction::commit();
    EXPECT_PIXEL(pixelAtPoint(render(root, 10, 10), 5, 5), kRed);
    runFor(0.5);
    EXPECT_PIXEL(pixelAtPoint(render(root, 10, 10), 5, 5), (RGBA { 128, 0, 128, 255 }));
    runFor(0.6);
    EXPECT_PIXEL(pixelAtPoint(render(root, 10, 10), 5, 5), kBlue);
    EXPECT_FALSE(layer->hasAnimations());
}

TEST_F(Rendering, TheContextsTransformAndAlphaApply)
{
    auto root = solidLayer({ 0, 0, 10, 10 }, kRed);
    auto context = makeContext(40, 40);
    CGContextTranslateCTM(context, 20, 20);
    CGContextScaleCTM(context, 2, 2);
    CGContextSetAlpha(context, 0.5);
    root->renderInContext(context);
    EXPECT_PIXEL(pixelAtPoint(context, 30, 30), (RGBA { 128, 0, 0, 128 }));
    EXPECT_PIXEL(pixelAtPoint(context, 15, 30), kClear);
}

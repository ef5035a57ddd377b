#include "AnimationTestSupport.h"

#include <graphics/NSStringDrawing.h>

namespace {

CGContextRef render(const Ref<CALayer>& root, size_t w, size_t h)
{
    auto context = makeContext(w, h);
    root->renderInContext(context);
    return context;
}

struct Coverage {
    int count { 0 };
    int minY { 1 << 30 }, maxY { -1 };
    RGBA brightest {};
};

// Drawn pixels in a rectangle of pixels, their vertical extent, and the
// one with the most red + green + blue.
Coverage coverage(const CGContextRef& c, int x0, int y0, int x1, int y1)
{
    Coverage k;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            RGBA p = pixelAtPoint(c, x, y);
            if (p.a == 0)
                continue;
            ++k.count;
            k.minY = std::min(k.minY, y);
            k.maxY = std::max(k.maxY, y);
            if (p.r + p.g + p.b > k.brightest.r + k.brightest.g + k.brightest.b)
                k.brightest = p;
        }
    }
    return k;
}

}

class ShapeLayers : public AnimationTest { };

TEST_F(ShapeLayers, FillThenStrokeThePath)
{
    auto root = CALayer::layer();
    root->setFrame({ 0, 0, 60, 60 });
    auto shape = CAShapeLayer::layer();
    shape->setFrame({ 0, 0, 60, 60 });
    shape->setPath(CGPathCreateWithRect({ 10, 10, 40, 40 }));
    shape->setFillColor(color(kRed));
    shape->setStrokeColor(color(kBlue));
    shape->setLineWidth(4);
    root->addSublayer(shape);
    auto c = render(root, 60, 60);
    EXPECT_PIXEL(pixelAtPoint(c, 30, 30), kRed);
    EXPECT_PIXEL(pixelAtPoint(c, 10, 30), kBlue);
    EXPECT_PIXEL(pixelAtPoint(c, 8, 30), kBlue) << "the stroke straddles the path";
    EXPECT_PIXEL(pixelAtPoint(c, 5, 30), kClear);

    // Even-odd leaves the inner rectangle open; without a fill only the
    // stroke shows.
    auto ring = CGPathCreateMutable();
    CGPathAddRect(ring, nullptr, { 10, 10, 40, 40 });
    CGPathAddRect(ring, nullptr, { 20, 20, 20, 20 });
    shape->setPath(ring);
    shape->setStrokeColor(nullptr);
    shape->setFillRule(kCAFillRuleEvenOdd);
    auto holed = render(root, 60, 60);
    EXPECT_PIXEL(pixelAtPoint(holed, 15, 30), kRed);
    EXPECT_PIXEL(pixelAtPoint(holed, 30, 30), kClear);
    shape->setFillRule(kCAFillRuleNonZero);
    EXPECT_PIXEL(pixelAtPoint(render(root, 60, 60), 30, 30), kRed);
    shape->setFillColor(nullptr);
    shape->setStrokeColor(color(kGreen));
    auto outline = render(root, 60, 60);
    EXPECT_PIXEL(pixelAtPoint(outline, 15, 30), kClear);
    EXPECT_PIXEL(pixelAtPoint(outline, 10, 30), (RGBA { 0, 255, 0, 255 }));
}

TEST_F(ShapeLayers, AnImageMaskShowsTheBackgroundAsASilhouette)
{
    // A 4 x 4 picture, opaque (in any colour) only in its left half.
    auto picture = makeImage(4, 4, [](size_t x, size_t) { return x < 2 ? kBlue : RGBA { 0, 0, 0, 0 }; });
    auto root = CALayer::layer();
    root->setFrame({ 0, 0, 80, 40 });
    auto imageLayer = CAShapeLayer::layer();
    imageLayer->setFrame({ 0, 0, 80, 40 });
    imageLayer->setBackgroundColor(color(kGreen));
    auto mask = CALayer::layer();
    mask->setFrame({ 20, 10, 20, 20 });
    mask->setContents(picture);
    imageLayer->setMask(mask);
    root->addSublayer(imageLayer);
    auto c = render(root, 80, 40);
    EXPECT_PIXEL(pixelAtPoint(c, 25, 20), kGreen);
    EXPECT_PIXEL(pixelAtPoint(c, 35, 20), kClear);
    EXPECT_PIXEL(pixelAtPoint(c, 10, 20), kClear);
}

TEST_F(ShapeLayers, ColoursAnimate)
{
    auto shape = CAShapeLayer::layer();
    auto a = CABasicAnimation::animationWithKeyPath("fillColor");
    a->setFromValue(color(kBlack));
    a->setToValue(color(kWhite));
    a->setDuration(1);
    shape->addAnimation(a, "fill");
    runFor(0.5);
    auto shown = std::dynamic_pointer_cast<CAShapeLayer>(shape->presentationLayer());
    ASSERT_TRUE(shown);
    CGFloat r, g, b, alpha;
    shown->fillColor()->getRGBA(r, g, b, alpha);
    EXPECT_NEAR(r, 0.5, 1e-6);
    settle();
    shape->setLineWidth(3);
    EXPECT_TRUE(shape->animationForKey("lineWidth"));
}

class TextLayers : public AnimationTest {
protected:
    Ref<CATextLayer> textLayer(const std::string& text)
    {
        auto layer = CATextLayer::layer();
        layer->setString(text);
        layer->setFont(NSFont::boldSystemFontOfSize(12));
        layer->setFontSize(24);
        CGSize size = layer->textSize();
        layer->setFrame({ 10, 10, std::ceil(size.width), std::ceil(size.height) });
        return layer;
    }
};

TEST_F(TextLayers, TheTextTakesTheFaceAtTheLayersFontSize)
{
    auto layer = textLayer("Hello");
    auto font = layer->effectiveFont();
    EXPECT_EQ(font->pointSize(), 24);
    EXPECT_TRUE(font->isBold());
    CGSize expected = sizeWithAttributes("Hello", { NSFont::boldSystemFontOfSize(24), nullptr, 0 });
    EXPECT_EQ(layer->textSize(), expected);
    EXPECT_GT(expected.width, 40);

    auto plain = CATextLayer::layer();
    EXPECT_EQ(plain->fontSize(), 36);
    EXPECT_EQ(plain->effectiveFont()->pointSize(), 36);
    EXPECT_EQ(plain->textSize(), CGSizeZero);
}

TEST_F(TextLayers, TextIsDrawnInTheForegroundColourInsideTheBounds)
{
    auto root = solidLayer({ 0, 0, 120, 60 }, kBlack);
    auto layer = textLayer("Hello");
    root->addSublayer(layer);
    auto c = render(root, 120, 60);
    CGRect f = layer->frame();
    auto inside = coverage(c, int(f.origin.x), int(f.origin.y), int(CGRectGetMaxX(f)), int(CGRectGetMaxY(f)));
    EXPECT_GT(inside.brightest.r, 240) << "white text by default";
    EXPECT_GT(inside.brightest.b, 240);
    int lit = 0;
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 120; ++x) {
            RGBA p = pixelAtPoint(c, x, y);
            bool inFrame = CGRectContainsPoint(f, { x + 0.5, y + 0.5 });
            if (!inFrame) {
                EXPECT_EQ(p.r + p.g + p.b, 0) << x << ", " << y;
            }
            lit += inFrame && p.r > 128;
        }
    }
    EXPECT_GT(lit, 50);

    layer->setForegroundColor(color(kRed));
    auto red = render(root, 120, 60);
    auto k = coverage(red, int(f.origin.x), int(f.origin.y), int(CGRectGetMaxX(f)), int(CGRectGetMaxY(f)));
    EXPECT_GT(k.brightest.r, 240);
    EXPECT_LT(k.brightest.g, 10);
}

TEST_F(TextLayers, TextStartsAtTheTopOfTallerBounds)
{
    auto root = CALayer::layer();
    root->setFrame({ 0, 0, 100, 100 });
    auto layer = textLayer("Top");
    CGSize size = layer->textSize();
    layer->setFrame({ 0, 0, 100, 100 });
    root->addSublayer(layer);
    auto c = render(root, 100, 100);
    auto k = coverage(c, 0, 0, 100, 100);
    ASSERT_GT(k.count, 0);
    EXPECT_GE(k.minY, 100 - std::ceil(size.height) - 1);
    EXPECT_LE(k.maxY, 99);
}

TEST_F(TextLayers, ChangesReachTheNextRender)
{
    auto root = CALayer::layer();
    root->setFrame({ 0, 0, 120, 60 });
    auto layer = textLayer("");
    layer->setFrame({ 0, 0, 120, 60 });
    root->addSublayer(layer);
    EXPECT_EQ(coverage(render(root, 120, 60), 0, 0, 120, 60).count, 0);
    layer->setString("Wide text");
    int one = coverage(render(root, 120, 60), 0, 0, 120, 60).count;
    EXPECT_GT(one, 0);
    layer->setFontSize(12);
    int smaller = coverage(render(root, 120, 60), 0, 0, 120, 60).count;
    EXPECT_LT(smaller, one);
    // Asking for display lays the text out again and keeps contents empty.
    layer->setNeedsDisplay();
    EXPECT_EQ(coverage(render(root, 120, 60), 0, 0, 120, 60).count, smaller);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(layer->contents()));
}

TEST_F(TextLayers, AColourAnimationTintsTheSameText)
{
    auto root = solidLayer({ 0, 0, 120, 60 }, kBlack);
    auto layer = textLayer("Hello");
    root->addSublayer(layer);
    auto a = CABasicAnimation::animationWithKeyPath("foregroundColor");
    a->setFromValue(color(kWhite));
    a->setToValue(color(kRed));
    a->setDuration(1);
    a->setRemovedOnCompletion(false);
    a->setFillMode(kCAFillModeForwards);
    layer->addAnimation(a, "foregroundColor");
    runFor(0.5);
    auto k = coverage(render(root, 120, 60), 0, 0, 120, 60);
    EXPECT_NEAR(k.brightest.r, 255, 3);
    EXPECT_NEAR(k.brightest.g, 128, 4);
    runFor(1);
    k = coverage(render(root, 120, 60), 0, 0, 120, 60);
    EXPECT_LT(k.brightest.g, 5);
    EXPECT_GT(k.brightest.r, 240);
}

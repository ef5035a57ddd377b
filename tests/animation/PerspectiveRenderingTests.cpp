#include "AnimationTestSupport.h"

#include <cmath>

namespace {

constexpr double kAngle = M_PI / 3;
constexpr double kEye = 400;

CATransform3D perspective(double d)
{
    auto p = CATransform3DIdentity;
    p.m34 = -1 / d;
    return p;
}

CATransform3D turned(double angle, double d)
{
    return CATransform3DConcat(CATransform3DMakeRotation(angle, 0, 1, 0), perspective(d));
}

// Where the point (x, y) of a layer, measured from its anchor, appears after
// turned(angle, d): depth z = -x sin(angle), w = 1 - z / d.
CGPoint seen(double x, double y, double angle, double d)
{
    double w = 1 + x * std::sin(angle) / d;
    return { x * std::cos(angle) / w, y / w };
}

const RGBA kStripeColours[3] = { kRed, kGreen, kBlue };

// A 200 x 100 card of ten vertical stripes, 20 points each, coloured red,
// green, blue, red... from the left.
Ref<CALayer> stripedCard()
{
    auto card = CALayer::layer();
    card->setFrame({ 100, 50, 200, 100 });
    card->setContents(makeImage(200, 100, [](size_t x, size_t) { return kStripeColours[(x / 20) % 3]; }));
    return card;
}

Ref<CALayer> stage()
{
    auto root = CALayer::layer();
    root->setFrame({ 0, 0, 400, 200 });
    return root;
}

CGContextRef render(const Ref<CALayer>& root)
{
    auto context = makeContext(400, 200);
    root->renderInContext(context);
    return context;
}

// The number of drawn pixels in a column.
int columnCoverage(const CGContextRef& c, int x)
{
    int n = 0;
    for (int y = 0; y < 200; ++y)
        n += pixelAtPoint(c, x, y).a > 128;
    return n;
}

// The pixel where a point of the card (from its anchor, the stage centre)
// appears.
RGBA pixelOfCardPoint(const CGContextRef& c, double x, double y, double angle, double d)
{
    CGPoint p = seen(x, y, angle, d);
    return pixelAtPoint(c, static_cast<int>(std::floor(200 + p.x)), static_cast<int>(std::floor(100 + p.y)));
}

}

class PerspectiveRendering : public AnimationTest { };

TEST_F(PerspectiveRendering, ATurnedCardIsNarrowerAtItsFarEdge)
{
    auto root = stage();
    auto card = stripedCard();
    card->setTransform(turned(kAngle, kEye));
    root->addSublayer(card);
    auto c = render(root);

    // Near edge at x = -100 (left), far edge at x = +100 (right).
    CGPoint nearEdge = seen(-100, 50, kAngle, kEye), farEdge = seen(100, 50, kAngle, kEye);
    int nearColumn = static_cast<int>(200 + nearEdge.x) + 2;
    int farColumn = static_cast<int>(200 + farEdge.x) - 2;
    int nearHeight = columnCoverage(c, nearColumn), farHeight = columnCoverage(c, farColumn);
    EXPECT_NEAR(nearHeight, 2 * nearEdge.y, 4);
    EXPECT_NEAR(farHeight, 2 * farEdge.y, 4);
    EXPECT_GT(nearHeight, farHeight * 1.4);
    // Nothing beyond the projected edges.
    EXPECT_EQ(columnCoverage(c, static_cast<int>(200 + nearEdge.x) - 2), 0);
    EXPECT_EQ(columnCoverage(c, static_cast<int>(200 + farEdge.x) + 2), 0);
}

TEST_F(PerspectiveRendering, PixelsSampleTheTexelsThatProjectThere)
{
    auto root = stage();
    auto card = stripedCard();
    card->setTransform(turned(kAngle, kEye));
    root->addSublayer(card);
    auto c = render(root);
    // The middle of every stripe, at several heights. Without the
    // perspective divide the far stripes would land a whole stripe off.
    for (int stripe = 0; stripe < 10; ++stripe) {
        double x = -100 + 20 * stripe + 10;
        for (double y : { -40.0, 0.0, 35.0 })
            EXPECT_PIXEL(pixelOfCardPoint(c, x, y, kAngle, kEye), kStripeColours[stripe % 3])
                << "stripe " << stripe << " at y " << y;
    }
    // The same height above the centre: inside the near half, outside the
    // far one.
    CGPoint near = seen(-90, 0, kAngle, kEye), far = seen(90, 0, kAngle, kEye);
    EXPECT_EQ(pixelAtPoint(c, static_cast<int>(200 + near.x), 145).a, 255);
    EXPECT_EQ(pixelAtPoint(c, static_cast<int>(200 + far.x), 145).a, 0);
}

TEST_F(PerspectiveRendering, PerspectiveFromTheSuperlayersSublayerTransform)
{
    auto root = stage();
    root->setSublayerTransform(perspective(kEye));
    auto card = stripedCard();
    card->setTransform(CATransform3DMakeRotation(kAngle, 0, 1, 0));
    root->addSublayer(card);
    auto c = render(root);
    // The superlayer's anchor is the card's anchor here: the same picture.
    for (int stripe : { 0, 4, 9 }) {
        double x = -100 + 20 * stripe + 10;
        EXPECT_PIXEL(pixelOfCardPoint(c, x, 20, kAngle, kEye), kStripeColours[stripe % 3]) << stripe;
    }
}

TEST_F(PerspectiveRendering, ACardTurnedAwayShowsItsBackMirroredOrNothing)
{
    auto root = stage();
    auto card = stripedCard();
    card->setTransform(turned(M_PI, kEye));
    root->addSublayer(card);
    auto mirrored = render(root);
    // Turned half round, x goes to -x: stripe 1 (green) shows where stripe
    // 8 (blue) was, and stripe 8 where stripe 1 was.
    EXPECT_PIXEL(pixelAtPoint(mirrored, 200 + 70, 100), kGreen);
    EXPECT_PIXEL(pixelAtPoint(mirrored, 200 - 70, 100), kBlue);

    card->setDoubleSided(false);
    auto culled = render(root);
    for (int x = 0; x < 400; x += 7)
        EXPECT_EQ(columnCoverage(culled, x), 0) << x;
}

TEST_F(PerspectiveRendering, ALayerBehindTheEyeIsNotDrawn)
{
    auto root = stage();
    auto card = stripedCard();
    card->setTransform(CATransform3DConcat(CATransform3DMakeTranslation(0, 0, 450), perspective(kEye)));
    root->addSublayer(card);
    auto c = render(root);
    for (int x = 0; x < 400; x += 5)
        EXPECT_EQ(columnCoverage(c, x), 0) << x;

    // Just in front of the eye it is large.
    card->setTransform(CATransform3DConcat(CATransform3DMakeTranslation(0, 0, 200), perspective(kEye)));
    auto close = render(root);
    EXPECT_EQ(columnCoverage(close, 200), 200);
    EXPECT_EQ(columnCoverage(close, 5), 200);
}

TEST_F(PerspectiveRendering, TheHalfBehindTheEyeIsCutAway)
{
    auto root = stage();
    auto card = stripedCard();
    card->setFrame({ 0, 50, 400, 100 });
    // Turned 80 degrees and pushed 250 towards an eye at 300: the left part
    // (x < -50.8 from the anchor) lies behind the eye.
    double angle = 80 * M_PI / 180, d = 300;
    card->setTransform(CATransform3DConcat(
        CATransform3DConcat(CATransform3DMakeRotation(angle, 0, 1, 0), CATransform3DMakeTranslation(0, 0, 250)),
        perspective(d)));
    root->addSublayer(card);
    auto c = render(root);
    // The front part runs from far off to the left up to the right edge at
    // x = 200, which appears at 200 cos(80) / (1 - (250 - 200 sin(80)) / 300).
    double rightEdge = 200 * std::cos(angle) / (1 - (250 - 200 * std::sin(angle)) / d);
    EXPECT_EQ(columnCoverage(c, 200 - 20), 200) << "close to the eye the card fills the column";
    EXPECT_GT(columnCoverage(c, static_cast<int>(200 + rightEdge) - 3), 0);
    // What lies behind the eye would project, mirrored, to the right.
    for (int x = static_cast<int>(200 + rightEdge) + 3; x < 400; x += 3)
        EXPECT_EQ(columnCoverage(c, x), 0) << x;
}

TEST_F(PerspectiveRendering, DepthAfterTransformOrdersSiblings)
{
    auto root = stage();
    root->setSublayerTransform(perspective(kEye));
    auto front = solidLayer({ 150, 50, 100, 100 }, kRed);
    auto back = solidLayer({ 150, 50, 100, 100 }, kBlue);
    front->setTransform(CATransform3DMakeTranslation(0, 0, 20));
    back->setTransform(CATransform3DMakeTranslation(30, 0, -20));
    root->addSublayer(front);
    root->addSublayer(back);
    auto c = render(root);
    EXPECT_PIXEL(pixelAtPoint(c, 200, 100), kRed) << "added first, but nearer";
    // The nearer square grows (w = 1 - 20 / 400), the farther one shrinks.
    double frontHalf = 50 / (1 - 20.0 / kEye), backRight = (30 + 50) / (1 + 20.0 / kEye);
    EXPECT_PIXEL(pixelAtPoint(c, static_cast<int>(200 - frontHalf) + 1, 100), kRed);
    EXPECT_PIXEL(pixelAtPoint(c, static_cast<int>(200 + backRight) - 2, 100), kBlue);
    EXPECT_PIXEL(pixelAtPoint(c, static_cast<int>(200 + backRight) + 2, 100), kClear);
}

TEST_F(PerspectiveRendering, ACarouselOfTurnedCards)
{
    // Five cards around a centre, as a rotary arrangement places them: the
    // front one flat, the others turned and pushed back.
    auto root = CALayer::layer();
    root->setFrame({ 0, 0, 600, 300 });
    const RGBA colours[5] = { kRed, kGreen, kBlue, kWhite, kBlack };
    double radius = 220;
    for (int i = 0; i < 5; ++i) {
        double offset = i - 2;
        double a = offset * 0.6;
        auto card = solidLayer({ 0, 0, 160, 100 }, colours[i]);
        card->setPosition({ 300, 150 });
        auto t = perspective(500);
        t = CATransform3DTranslate(t, 0, 0, -radius);
        t = CATransform3DRotate(t, a, 0, 1, 0);
        t = CATransform3DTranslate(t, 0, 0, radius);
        card->setTransform(t);
        root->addSublayer(card);
    }
    auto context = makeContext(600, 300);
    root->renderInContext(context);
    // The front card (index 2, blue) covers the centre and its neighbours'
    // inner edges, though the neighbours were added after it.
    EXPECT_PIXEL(pixelAtPoint(context, 300, 150), kBlue);
    EXPECT_PIXEL(pixelAtPoint(context, 300 + 75, 150), kBlue);
    EXPECT_PIXEL(pixelAtPoint(context, 300 - 75, 150), kBlue);
    // The side cards show beyond it, and are shorter than the front one.
    EXPECT_PIXEL(pixelAtPoint(context, 300 + 120, 150), kWhite);
    EXPECT_PIXEL(pixelAtPoint(context, 300 - 120, 150), kGreen);
    EXPECT_EQ(columnCoverage(context, 300), 100);
    int sideHeight = 0;
    for (int y = 0; y < 300; ++y)
        sideHeight += pixelAtPoint(context, 300 + 120, y).a > 128;
    EXPECT_LT(sideHeight, 100);
    EXPECT_GT(sideHeight, 50);
}

TEST_F(PerspectiveRendering, FlattenedSubtreesKeepTheirOwnLook)
{
    // A turned card with a rounded clip, a border and a half-transparent
    // child: everything is drawn in the card's plane first.
    auto root = stage();
    auto card = solidLayer({ 100, 50, 200, 100 }, kWhite);
    card->setCornerRadius(20);
    card->setMasksToBounds(true);
    card->setBorderWidth(4);
    card->setBorderColor(color(kBlack));
    auto child = solidLayer({ 0, 0, 100, 100 }, kRed);
    child->setOpacity(0.5);
    card->addSublayer(child);
    card->setTransform(turned(0.4, kEye));
    root->addSublayer(card);
    auto c = render(root);
    EXPECT_PIXEL(pixelOfCardPoint(c, -50, 0, 0.4, kEye), (RGBA { 255, 128, 128, 255 }));
    EXPECT_PIXEL(pixelOfCardPoint(c, 50, 0, 0.4, kEye), kWhite);
    EXPECT_PIXEL(pixelOfCardPoint(c, 50, 48, 0.4, kEye), kBlack);
    // The rounded corner is cut away in the plane too.
    EXPECT_EQ(pixelOfCardPoint(c, 97, 47, 0.4, kEye).a, 0);
}

TEST_F(PerspectiveRendering, ParallelCardsOfOneDepthOverlapAsTheEyeSeesThem)
{
    // Two cards of a cover flow's right wing: same depth at their centres,
    // same turn; the one nearer the middle hides the inner edge of the other
    // though it was added first.
    auto root = CALayer::layer();
    root->setFrame({ 0, 0, 900, 400 });
    auto place = [&](double x, const RGBA& fill) {
        auto card = solidLayer({ 0, 0, 200, 130 }, fill);
        card->setPosition({ 450, 200 });
        auto t = CATransform3DTranslate(perspective(500), x, 0, -150);
        card->setTransform(CATransform3DRotate(t, -0.9 * M_PI / 2, 0, 1, 0));
        root->addSublayer(card);
        return card;
    };
    auto inner = place(210, kRed);
    auto outer = place(285, kBlue);
    // The inner card's right edge shows at 204.7 from the middle, the outer
    // card's left edge at 179.9: they overlap between.
    auto context = makeContext(900, 400);
    root->renderInContext(context);
    EXPECT_PIXEL(pixelAtPoint(context, 450 + 195, 200), kRed);
    EXPECT_PIXEL(pixelAtPoint(context, 450 + 175, 200), kRed);
    EXPECT_PIXEL(pixelAtPoint(context, 450 + 215, 200), kBlue);
    EXPECT_EQ(root->hitTest({ 450 + 195, 200 }), inner);
    EXPECT_EQ(root->hitTest({ 450 + 215, 200 }), outer);

    // Mirrored on the left wing, the inner card is again in front.
    root->setSublayers({});
    auto left = CATransform3DRotate(CATransform3DTranslate(perspective(500), -285, 0, -150), 0.9 * M_PI / 2, 0, 1, 0);
    auto leftOuter = solidLayer({ 0, 0, 200, 130 }, kBlue);
    leftOuter->setPosition({ 450, 200 });
    leftOuter->setTransform(left);
    auto leftInner = solidLayer({ 0, 0, 200, 130 }, kRed);
    leftInner->setPosition({ 450, 200 });
    leftInner->setTransform(
        CATransform3DRotate(CATransform3DTranslate(perspective(500), -210, 0, -150), 0.9 * M_PI / 2, 0, 1, 0));
    root->addSublayer(leftInner);
    root->addSublayer(leftOuter);
    auto mirrored = makeContext(900, 400);
    root->renderInContext(mirrored);
    EXPECT_PIXEL(pixelAtPoint(mirrored, 450 - 196, 200), kRed);
    EXPECT_EQ(root->hitTest({ 450 - 196, 200 }), leftInner);
}

// A nearer card that paints its inside opaque spares the farther card the
// pixels it hides; the picture must still be the nearer card drawn over the
// farther one, at its notched corner, its soft edges, when it is translucent
// and when it hides the farther card whole.
TEST_F(PerspectiveRendering, ANearerCardOverAFartherOneLooksAsIfBothWereDrawnWhole)
{
    struct Case {
        const char* name;
        CGRect farFrame;
        double nearOpacity;
    };
    const Case cases[] = {
        { "overlapping", { 40, 70, 200, 110 }, 1 },
        { "translucent in front", { 40, 70, 200, 110 }, 0.5 },
        { "hidden whole", { 160, 85, 60, 30 }, 1 },
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        auto makeNear = [&] {
            auto card = CALayer::layer();
            card->setFrame({ 100, 40, 200, 120 });
            // A transparent notch at one corner and a half-transparent column.
            card->setContents(makeImage(200, 120, [](size_t x, size_t y) {
                if (x < 16 && y < 16)
                    return kClear;
                return x == 199 ? RGBA { 0, 64, 0, 128 } : kGreen;
            }));
            card->setOpacity(k.nearOpacity);
            card->setTransform(CATransform3DConcat(CATransform3DMakeRotation(0.3, 0, 1, 0), CATransform3DMakeTranslation(0, 0, 20)));
            return card;
        };
        auto makeFar = [&] {
            auto card = stripedCard();
            card->setFrame(k.farFrame);
            card->setTransform(CATransform3DConcat(CATransform3DMakeRotation(-0.3, 0, 1, 0), CATransform3DMakeTranslation(0, 0, -20)));
            return card;
        };
        auto scene = [&](bool withNear, bool withFar) {
            auto root = stage();
            root->setSublayerTransform(perspective(kEye));
            if (withFar)
                root->addSublayer(makeFar());
            if (withNear)
                root->addSublayer(makeNear());
            return render(root);
        };
        auto both = scene(true, true), nearOnly = scene(true, false), farOnly = scene(false, true);
        int wrong = 0, farShows = 0, farHidden = 0;
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 400; ++x) {
                RGBA n = pixelAtPoint(nearOnly, x, y), f = pixelAtPoint(farOnly, x, y);
                auto over = [&](uint8_t a, uint8_t b) { return static_cast<uint8_t>(std::lround(a + b * (255 - n.a) / 255.0)); };
                RGBA expected { over(n.r, f.r), over(n.g, f.g), over(n.b, f.b), over(n.a, f.a) };
                wrong += !near(pixelAtPoint(both, x, y), expected, 2);
                if (f.a > 0)
                    (n.a == 255 ? farHidden : farShows)++;
            }
        EXPECT_EQ(wrong, 0);
        if (k.nearOpacity == 1)
            EXPECT_GT(farHidden, 1000) << "the nearer card hides part of the farther one";
        if (k.farFrame.size.width > 100)
            EXPECT_GT(farShows, 1000) << "and part of it shows";
    }
}

// A layer that shows only its image is sampled from the image itself; one
// that also has a sublayer is flattened first. Both must give the same
// picture: at full strength and translucent (the opacity applied once), and
// with an image finer than the layer, which has to shrink cleanly.
TEST_F(PerspectiveRendering, AnImageOnlyLayerLooksAsIfItWereFlattenedFirst)
{
    struct Case {
        const char* name;
        double opacity;
        size_t imageScale;
    };
    for (const Case& k : { Case { "opaque", 1, 1 }, Case { "translucent", 0.4, 1 }, Case { "finer image", 1, 3 } }) {
        SCOPED_TRACE(k.name);
        auto scene = [&](bool flattened) {
            auto root = stage();
            auto card = stripedCard();
            size_t s = k.imageScale;
            card->setContents(makeImage(200 * s, 100 * s, [s](size_t x, size_t) { return kStripeColours[(x / (20 * s)) % 3]; }));
            card->setOpacity(k.opacity);
            card->setTransform(turned(0.7, kEye));
            if (flattened)
                card->addSublayer(CALayer::layer());
            root->addSublayer(card);
            return render(root);
        };
        auto direct = scene(false), flattened = scene(true);
        int wrong = 0, drawn = 0;
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 400; ++x) {
                RGBA a = pixelAtPoint(direct, x, y), b = pixelAtPoint(flattened, x, y);
                drawn += b.a > 0;
                // Stripe edges resample a little differently.
                wrong += !near(a, b, 40);
            }
        EXPECT_GT(drawn, 10000);
        EXPECT_LT(wrong, drawn / 50);
        EXPECT_TRUE(near(pixelOfCardPoint(direct, -50, 0, 0.7, kEye), pixelOfCardPoint(flattened, -50, 0, 0.7, kEye), 2));
    }
}

#include "AppKitTestSupport.h"

#include <support/SimWorld.h>

#include <animation/CATransaction.h>

#include <cmath>

namespace {

const Pixel kWhite { 255, 255, 255, 255 };
const Pixel kRed { 255, 0, 0, 255 };

// A 200 x 100 red view in the middle of a white 400 x 300 window.
struct ProjectedView : public ::testing::Test {
    SimWorld world { SimWorld::emptyScenario() };
    Ref<NSWindow> window = makeWindow(CGRectMake(100, 300, 400, 300));
    Ref<ColorView> card = makeRef<ColorView>(CGRectMake(100, 100, 200, 100), NSColor::redColor());

    ProjectedView()
    {
        window->setBackgroundColor(NSColor::whiteColor());
        card->setWantsLayer(true);
        window->contentView()->addSubview(card);
        window->orderFront(nullptr);
        world.settle();
    }

    // Turned about its vertical axis, seen from 500 points away.
    void turn(double angle)
    {
        CATransform3D t = CATransform3DIdentity;
        t.m34 = -1.0 / 500;
        card->layer()->setTransform(CATransform3DRotate(t, angle, 0, 1, 0));
    }
    Pixel at(int x, int y) { return pixelAt(window->renderedImage(), x, y); }
};

}

TEST_F(ProjectedView, ALayerTransformTakesTheViewOutOfThePlane)
{
    EXPECT_EQ(at(110, 150), kRed);
    turn(M_PI / 3);
    EXPECT_TRUE(card->isProjected());
    // Half as wide, about its centre: the old edges show the window.
    EXPECT_EQ(at(200, 150), kRed);
    EXPECT_EQ(at(110, 150), kWhite);
    EXPECT_EQ(at(290, 150), kWhite);
    // Hit testing follows the picture.
    auto content = window->contentView();
    EXPECT_EQ(content->hitTest({ 200, 150 }), card);
    EXPECT_NE(content->hitTest({ 110, 150 }), card);
    // Back in the plane it is drawn flat at its frame again.
    card->layer()->setTransform(CATransform3DIdentity);
    EXPECT_FALSE(card->isProjected());
    EXPECT_EQ(at(110, 150), kRed);
    EXPECT_EQ(content->hitTest({ 110, 150 }), card);
}

TEST_F(ProjectedView, TheViewIsDrawnAgainOnlyWhenItAsksForIt)
{
    turn(0.3);
    window->renderedImage();
    int draws = card->drawCount;
    // New transforms, frame after frame, reuse the drawing.
    for (double angle : { 0.4, 0.5, -0.6 }) {
        turn(angle);
        window->renderedImage();
    }
    EXPECT_EQ(card->drawCount, draws);
    Pixel before = at(200, 150);
    card->setColor(NSColor::blueColor());
    Pixel after = at(200, 150);
    EXPECT_EQ(card->drawCount, draws + 1);
    EXPECT_EQ(before, kRed);
    EXPECT_EQ(after, (Pixel { 0, 0, 255, 255 }));
    // Behind the eye nothing is drawn: turned edge-on and past, the plane
    // faces away and a single-sided layer disappears.
    card->layer()->setDoubleSided(false);
    turn(M_PI);
    EXPECT_EQ(at(200, 150), kWhite);
}

TEST_F(ProjectedView, AddedBackKeepingItsImageItIsDrawnAgainOnlyForAChangeOrAnotherAppearance)
{
    const Pixel blue { 0, 0, 255, 255 };
    auto content = window->contentView();
    turn(0.3);
    window->renderedImage();
    int draws = card->drawCount;
    // Out of the window and back, as a carousel's reload moves its cards:
    // the image is shown again as it was.
    card->removeFromSuperview();
    EXPECT_EQ(at(200, 150), kWhite);
    content->addSubviewKeepingProjectedImage(card);
    EXPECT_EQ(at(200, 150), kRed);
    EXPECT_EQ(card->drawCount, draws);
    // A change while out of the window shows when it comes back.
    card->removeFromSuperview();
    card->setColor(NSColor::blueColor());
    window->renderedImage();
    content->addSubviewKeepingProjectedImage(card);
    EXPECT_EQ(at(200, 150), blue);
    EXPECT_EQ(card->drawCount, draws + 1);
    // So does a new size.
    card->removeFromSuperview();
    card->setFrameSize(CGSizeMake(220, 100));
    content->addSubviewKeepingProjectedImage(card);
    window->renderedImage();
    EXPECT_EQ(card->drawCount, draws + 2);
    // A colour of the system is drawn anew in another appearance.
    card->setColor(NSColor::textColor());
    window->setAppearance(NSAppearanceNameAqua);
    Pixel light = at(210, 150);
    window->setAppearance(NSAppearanceNameDarkAqua);
    Pixel dark = at(210, 150);
    EXPECT_NE(light, dark);
    EXPECT_EQ(card->drawCount, draws + 4);
}

TEST_F(ProjectedView, DepthNotSubviewOrderDecidesWhatShowsAndWhatIsHit)
{
    auto blue = makeRef<ColorView>(CGRectMake(100, 100, 200, 100), NSColor::blueColor());
    blue->setWantsLayer(true);
    window->contentView()->addSubview(blue);
    auto place = [](NSView& view, double z) {
        CATransform3D t = CATransform3DIdentity;
        t.m34 = -1.0 / 500;
        view.layer()->setTransform(CATransform3DTranslate(t, 0, 0, z));
    };
    auto content = window->contentView();
    // The red card, added first, is nearer.
    place(*card, 100);
    place(*blue, -100);
    EXPECT_EQ(at(200, 150), kRed);
    EXPECT_EQ(content->hitTest({ 200, 150 }), card);
    // Nearer, it is also larger: its edge shows past the blue card's.
    EXPECT_EQ(at(80, 150), kRed);
    place(*card, -100);
    place(*blue, 100);
    EXPECT_EQ(at(200, 150), (Pixel { 0, 0, 255, 255 }));
    EXPECT_EQ(content->hitTest({ 200, 150 }), blue);
}

TEST_F(ProjectedView, NothingBehindTheEyeIsDrawnOrHit)
{
    // 100 points behind an eye 500 points away: drawn without the cut at
    // the eye it would show mirrored and five times enlarged over the
    // whole window.
    CATransform3D t = CATransform3DIdentity;
    t.m34 = -1.0 / 500;
    card->layer()->setTransform(CATransform3DTranslate(t, 0, 0, 600));
    for (auto [x, y] : { std::pair { 200, 150 }, { 20, 20 }, { 380, 280 } })
        EXPECT_EQ(at(x, y), kWhite) << x << ", " << y;
    EXPECT_NE(window->contentView()->hitTest({ 200, 150 }), card);
}

TEST_F(ProjectedView, BoundsSizedApartGiveTheLayerTheirSizeInThePlaneAndTurned)
{
    // Wider inside than its frame, as a carousel slot holds a card: the
    // layer takes the bounds' size about the frame's centre, and the
    // content shows there at its own size, neither scaled into the frame
    // nor cut at its edges.
    const Pixel blue { 0, 0, 255, 255 };
    auto right = makeRef<ColorView>(CGRectMake(150, 0, 150, 100), NSColor::blueColor());
    card->addSubview(right);
    card->setBoundsSize(CGSizeMake(300, 100));
    auto content = window->contentView();
    // left: where the layer's left edge lies in the window.
    auto check = [&](const char* stage, int left) {
        SCOPED_TRACE(stage);
        EXPECT_EQ(at(left - 5, 150), kWhite);
        EXPECT_EQ(at(left + 5, 150), kRed);
        EXPECT_EQ(at(left + 145, 150), kRed);
        EXPECT_EQ(at(left + 155, 150), blue);
        EXPECT_EQ(at(left + 295, 150), blue);
        EXPECT_EQ(at(left + 305, 150), kWhite);
        EXPECT_EQ(content->hitTest({ left + 5.0, 150 }), card);
        EXPECT_EQ(content->hitTest({ left + 155.0, 150 }), right);
        EXPECT_NE(content->hitTest({ left - 5.0, 150 }), card);
        EXPECT_NE(content->hitTest({ left + 305.0, 150 }), card);
        EXPECT_EQ(card->layer()->bounds().size, CGSizeMake(300, 100));
    };
    check("in the plane", 50);
    card->setFrameOrigin({ 60, 100 });
    EXPECT_EQ(card->bounds().size, CGSizeMake(300, 100));
    check("moved", 10);
    // Seen in perspective, face on, it is the same picture.
    turn(0);
    ASSERT_TRUE(card->isProjected());
    check("projected", 10);
    // Turned by 60 degrees, the whole layer turns about the frame's centre:
    // its near (red) edge reaches about 101 points left of it, the far
    // (blue) one about 60 points right.
    turn(M_PI / 3);
    EXPECT_EQ(at(160 - 90, 150), kRed);
    EXPECT_EQ(at(160 + 50, 150), blue);
    EXPECT_EQ(at(160 - 112, 150), kWhite);
    EXPECT_EQ(at(160 + 70, 150), kWhite);
}

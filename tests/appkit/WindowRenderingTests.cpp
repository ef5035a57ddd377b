#include "AppKitTestSupport.h"

#include <support/SimWorld.h>

#include <appkit/NSPanel.h>
#include <appkit/NSVisualEffectView.h>
#include <graphics/ImageIO.h>
#include <graphics/NSBitmapImageRep.h>
#include <services/CGWindow.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <thread>

namespace {

const Pixel kWhite { 255, 255, 255, 255 };
const Pixel kRed { 255, 0, 0, 255 };
const Pixel kBlue { 0, 0, 255, 255 };

class FlippedContainer : public NSView {
public:
    using NSView::NSView;
    bool isFlipped() const override { return true; }
};

struct RenderFixture : public ::testing::Test {
    SimWorld world { SimWorld::emptyScenario() };
    Ref<NSWindow> window = makeWindow(CGRectMake(100, 500, 100, 80));
    Ref<ColorView> red = makeRef<ColorView>(CGRectMake(10, 10, 20, 20), NSColor::redColor());
    Ref<ColorView> blue = makeRef<ColorView>(CGRectMake(60, 10, 20, 20), NSColor::blueColor());

    RenderFixture()
    {
        window->setBackgroundColor(NSColor::whiteColor());
        auto container = makeRef<FlippedContainer>(CGRectMake(0, 0, 100, 80));
        container->addSubview(red);
        window->contentView()->addSubview(container);
        window->contentView()->addSubview(blue);
    }
};

}

TEST_F(RenderFixture, ViewsLandWhereTheirFlippednessPutsThem)
{
    auto image = window->renderedImage();
    ASSERT_EQ(image.width, 100);
    ASSERT_EQ(image.height, 80);
    // The red square is 10 points below the top (flipped container), the
    // blue one 10 points above the bottom (unflipped content view).
    EXPECT_EQ(pixelAt(image, 15, 15), kRed);
    EXPECT_EQ(pixelAt(image, 35, 15), kWhite);
    EXPECT_EQ(pixelAt(image, 15, 35), kWhite);
    EXPECT_EQ(pixelAt(image, 65, 60), kBlue);
    EXPECT_EQ(pixelAt(image, 65, 15), kWhite);
    // Edges: the square spans columns and rows 10..29.
    EXPECT_EQ(pixelAt(image, 10, 10), kRed);
    EXPECT_EQ(pixelAt(image, 29, 29), kRed);
    EXPECT_EQ(pixelAt(image, 30, 29), kWhite);
}

TEST_F(RenderFixture, WhereNothingDrawsAWindowIsClearAfterEveryResize)
{
    // Without a background the window is clear but for its views, at its
    // first size and at each new one (a new backing is painted whole).
    window->setBackgroundColor(nullptr);
    for (CGSize size : { CGSizeMake(100, 80), CGSizeMake(160, 120), CGSizeMake(90, 70), CGSizeMake(160, 120) }) {
        window->setContentSize(size);
        auto image = window->renderedImage();
        ASSERT_EQ(image.width, size.width);
        int clear = 0, red = 0;
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x) {
                Pixel p = pixelAt(image, x, y);
                clear += p == Pixel { 0, 0, 0, 0 } ? 1 : 0;
                red += p == kRed ? 1 : 0;
            }
        EXPECT_EQ(red, 400) << size.width;
        EXPECT_EQ(clear + red + 400, image.width * image.height) << size.width << ": only the two squares show";
    }
}

TEST_F(RenderFixture, HiddenViewsAreNotDrawnAndAlphaBlends)
{
    red->setHidden(true);
    blue->setAlphaValue(0.5);
    auto image = window->renderedImage();
    EXPECT_EQ(pixelAt(image, 15, 15), kWhite);
    Pixel mixed = pixelAt(image, 65, 60);
    EXPECT_NEAR(mixed.r, 128, 2);
    EXPECT_NEAR(mixed.g, 128, 2);
    EXPECT_EQ(mixed.b, 255);
    EXPECT_EQ(mixed.a, 255);
}

TEST_F(RenderFixture, NeedsDisplayIsCoalescedToOnePaintPerTurn)
{
    window->orderFront(nullptr);
    world.settle();
    EXPECT_EQ(red->drawCount, 1);
    red->setNeedsDisplay(true);
    red->setNeedsDisplay(true);
    red->setNeedsDisplayInRect(CGRectMake(0, 0, 5, 5));
    EXPECT_EQ(red->drawCount, 1);
    EXPECT_TRUE(window->viewsNeedDisplay());
    world.settle();
    EXPECT_EQ(red->drawCount, 2);
    EXPECT_FALSE(window->viewsNeedDisplay());
    EXPECT_FALSE(red->needsDisplay());
    // Nothing marked, nothing painted.
    world.settle();
    EXPECT_EQ(red->drawCount, 2);
    // A view outside the damage is not asked to draw.
    EXPECT_EQ(blue->drawCount, 1);
}

TEST_F(RenderFixture, WithoutAutodisplayDamageGathersUntilItIsTurnedBackOn)
{
    window->orderFront(nullptr);
    world.settle();
    ASSERT_EQ(red->drawCount, 1);
    window->setAutodisplay(false);
    red->setColor(NSColor::blueColor());
    world.settle();
    red->setNeedsDisplayInRect(CGRectMake(0, 0, 5, 5));
    world.settle();
    EXPECT_EQ(red->drawCount, 1) << "no paint while it is off";
    EXPECT_TRUE(window->viewsNeedDisplay());
    window->setAutodisplay(true);
    EXPECT_EQ(red->drawCount, 1) << "the gathered damage waits for the run loop";
    world.settle();
    EXPECT_EQ(red->drawCount, 2) << "one paint for all that gathered";
    EXPECT_FALSE(window->viewsNeedDisplay());
    EXPECT_EQ(pixelAt(window->renderedImage(), 15, 15), kBlue);
    // Turning it off and on with nothing gathered paints nothing.
    window->setAutodisplay(false);
    window->setAutodisplay(true);
    world.settle();
    EXPECT_EQ(red->drawCount, 2);
}

TEST_F(RenderFixture, AFrameChangeIsDisplayedAtOnceOnlyWhileTheWindowIsOnScreen)
{
    // Off screen: the change waits, however often the frame changes.
    window->setFrame(CGRectMake(100, 500, 120, 80), true);
    window->setFrame(CGRectMake(100, 500, 120, 90), true);
    EXPECT_EQ(red->drawCount, 0);
    EXPECT_TRUE(window->viewsNeedDisplay());
    // Its image is painted when asked for, at the last size.
    auto image = window->renderedImage();
    EXPECT_EQ(image.width, 120);
    EXPECT_EQ(image.height, 90);
    EXPECT_EQ(red->drawCount, 1);
    // On screen: painted before the call returns.
    window->orderFront(nullptr);
    world.settle();
    int draws = red->drawCount;
    window->setFrame(CGRectMake(100, 500, 130, 90), true);
    EXPECT_EQ(red->drawCount, draws + 1);
    EXPECT_FALSE(window->viewsNeedDisplay());
    window->setFrame(CGRectMake(100, 500, 140, 90), false);
    EXPECT_EQ(red->drawCount, draws + 1) << "without display the paint waits for the run loop";
    world.settle();
    EXPECT_EQ(red->drawCount, draws + 2);
}

TEST_F(RenderFixture, DrawingIsClippedToTheDamage)
{
    auto before = window->renderedImage();
    ASSERT_EQ(pixelAt(before, 20, 20), kRed);
    // The view paints its whole bounds blue from now on, but only its
    // bottom-left 5 × 5 corner is damaged.
    red->setColorQuietly(NSColor::blueColor());
    red->dirtyRects.clear();
    red->setNeedsDisplayInRect(CGRectMake(0, 0, 5, 5));
    window->displayIfNeeded();
    ASSERT_EQ(red->dirtyRects.size(), 1u);
    EXPECT_EQ(red->dirtyRects[0], CGRectMake(0, 0, 5, 5));
    auto after = window->renderedImage();
    // The view is unflipped inside a flipped container: its bottom edge is
    // image row 29, so the corner covers rows 25..29, columns 10..14.
    EXPECT_EQ(pixelAt(after, 12, 27), kBlue);
    EXPECT_EQ(pixelAt(after, 12, 24), kRed);
    EXPECT_EQ(pixelAt(after, 15, 27), kRed);
    EXPECT_EQ(pixelAt(after, 20, 20), kRed);
}

TEST_F(RenderFixture, AVisibleWindowIsOneOfTheDesktopsOwnWindows)
{
    window->setIdentifier("SwitcherWindowIdentifier");
    window->setLevel(NSFloatingWindowLevel);
    EXPECT_EQ(window->windowNumber(), 0);
    window->orderFront(nullptr);
    world.settle();
    ASSERT_NE(window->windowNumber(), 0);
    auto listed = world.desktop().window(static_cast<CGWindowID>(window->windowNumber()));
    ASSERT_TRUE(listed);
    EXPECT_EQ(listed->identifier, "SwitcherWindowIdentifier");
    EXPECT_EQ(listed->pid, SimDesktop::kOwnPid);
    EXPECT_EQ(listed->layer, NSFloatingWindowLevel);
    // Screen (100, 500) with a 900-point primary screen is the desktop's
    // (100, 320) from the top.
    EXPECT_EQ(listed->frame, CGRectMake(100, 320, 100, 80));

    auto shot = world.desktop().screenshot();
    EXPECT_EQ(pixelAt(shot, 100 + 20, 320 + 20), kRed);
    EXPECT_EQ(pixelAt(shot, 100 + 65, 320 + 60), kBlue);

    // Moving the window moves it on the desktop.
    window->setFrameOrigin({ 200, 500 });
    EXPECT_EQ(world.desktop().window(static_cast<CGWindowID>(window->windowNumber()))->frame.origin, CGPointMake(200, 320));

    CGWindowID number = static_cast<CGWindowID>(window->windowNumber());
    window->orderOut(nullptr);
    EXPECT_FALSE(world.desktop().window(number));
    EXPECT_EQ(window->windowNumber(), 0);
    auto hidden = world.desktop().screenshot();
    EXPECT_NE(pixelAt(hidden, 200 + 20, 320 + 20), kRed);
}

TEST_F(RenderFixture, AnotherThreadSeesTheLastPaintedFrameAndNeverPaints)
{
    CGWindowID number = 0;
    auto fromAnotherThread = [&] {
        DesktopImage image;
        std::thread([&] { image = world.desktop().windowContent(number); }).join();
        return image;
    };
    window->orderFront(nullptr);
    world.settle();
    number = static_cast<CGWindowID>(window->windowNumber());
    ASSERT_NE(number, 0u);
    EXPECT_EQ(pixelAt(fromAnotherThread(), 15, 15), kRed);

    // Pending damage stays pending: only the main thread paints.
    red->setHidden(true);
    int blueDraws = blue->drawCount;
    window->contentView()->setNeedsDisplay(true);
    auto stale = fromAnotherThread();
    EXPECT_EQ(pixelAt(stale, 15, 15), kRed);
    EXPECT_EQ(blue->drawCount, blueDraws);
    EXPECT_TRUE(window->viewsNeedDisplay());

    // The main thread paints what is pending, and then the other thread
    // sees the new frame too.
    EXPECT_EQ(pixelAt(world.desktop().windowContent(number), 15, 15), kWhite);
    EXPECT_EQ(blue->drawCount, blueDraws + 1);
    EXPECT_EQ(pixelAt(fromAnotherThread(), 15, 15), kWhite);

    // A paint of a small part reaches the other thread as well, and so do
    // two paints of parts far apart with no look between them.
    blue->setHidden(true);
    world.settle();
    auto partial = fromAnotherThread();
    EXPECT_EQ(pixelAt(partial, 65, 60), kWhite);
    EXPECT_EQ(pixelAt(partial, 15, 15), kWhite);
    red->setHidden(false);
    world.settle();
    blue->setHidden(false);
    world.settle();
    auto both = fromAnotherThread();
    EXPECT_EQ(pixelAt(both, 15, 15), kRed);
    EXPECT_EQ(pixelAt(both, 65, 60), kBlue);
    EXPECT_TRUE(both.rgba == window->renderedImage().rgba);
    red->setHidden(true);
    blue->setHidden(true);
    world.settle();
    // And so does a new size, whole.
    window->setContentSize(CGSizeMake(120, 90));
    world.settle();
    auto resized = fromAnotherThread();
    EXPECT_EQ(resized.width, 120);
    EXPECT_TRUE(resized.rgba == window->renderedImage().rgba);

    // Changed while off the desktop and ordered in: until its first paint
    // another thread sees no frame, not the one of its last showing.
    window->orderOut(nullptr);
    red->setHidden(false);
    window->orderFront(nullptr);
    number = static_cast<CGWindowID>(window->windowNumber());
    EXPECT_TRUE(fromAnotherThread().empty());
    world.settle();
    EXPECT_EQ(pixelAt(fromAnotherThread(), 15, 30), kRed);
    red->setHidden(true);
    world.settle();

    // A closed window shows nothing to anyone.
    window->orderOut(nullptr);
    EXPECT_TRUE(fromAnotherThread().empty());

    // Painted while off the desktop, then ordered in: the other thread sees
    // that paint before any other.
    red->setHidden(false);
    window->renderedImage();
    window->orderFront(nullptr);
    number = static_cast<CGWindowID>(window->windowNumber());
    // The window is 10 points taller now: the square sits 10 points lower.
    EXPECT_EQ(pixelAt(fromAnotherThread(), 15, 30), kRed);

    // Ordered out and in again with nothing painted between: the other
    // thread sees at once the frame it showed, whole.
    world.settle();
    auto shown = fromAnotherThread();
    window->orderOut(nullptr);
    window->orderFront(nullptr);
    number = static_cast<CGWindowID>(window->windowNumber());
    auto again = fromAnotherThread();
    EXPECT_EQ(again.width, shown.width);
    EXPECT_TRUE(again.rgba == shown.rgba);
}

TEST_F(RenderFixture, ACaptureOfTheWindowKeepsItsColoursAndSize)
{
    window->orderFront(nullptr);
    world.settle();
    auto captured = CGWindowListCreateImage(CGRectNull, kCGWindowListOptionIncludingWindow,
        static_cast<CGWindowID>(window->windowNumber()), kCGWindowImageBoundsIgnoreFraming);
    ASSERT_TRUE(captured);
    EXPECT_EQ(captured->width(), 100u);
    EXPECT_EQ(captured->height(), 80u);
    auto rep = NSBitmapImageRep::createWithCGImage(captured);
    auto colour = [&](long x, long y) {
        auto c = rep->colorAtX(x, y);
        return Pixel { static_cast<uint8_t>(std::lround(c->redComponent() * 255)),
            static_cast<uint8_t>(std::lround(c->greenComponent() * 255)),
            static_cast<uint8_t>(std::lround(c->blueComponent() * 255)),
            static_cast<uint8_t>(std::lround(c->alphaComponent() * 255)) };
    };
    EXPECT_EQ(colour(15, 15), kRed);
    EXPECT_EQ(colour(65, 60), kBlue);
    EXPECT_EQ(colour(50, 40), kWhite);

    // Drawn into another context, the picture keeps its colours too.
    auto context = CGBitmapContextCreate(nullptr, 100, 80, 8, 0, CGColorSpaceCreateDeviceRGB(),
        kCGImageAlphaPremultipliedLast | kCGBitmapByteOrder32Big);
    CGContextDrawImage(context, CGRectMake(0, 0, 100, 80), captured);
    const auto* bytes = static_cast<const uint8_t*>(CGBitmapContextGetData(context));
    size_t stride = CGBitmapContextGetBytesPerRow(context);
    const uint8_t* red = bytes + 15 * stride + 15 * 4;
    EXPECT_EQ((Pixel { red[0], red[1], red[2], red[3] }), kRed);
}

TEST_F(RenderFixture, TheRenderingSavesAsPNG)
{
    auto path = std::filesystem::temp_directory_path() / ("qv-window-" + std::to_string(::getpid()) + ".png");
    ASSERT_TRUE(window->writeRenderedPNG(path.string()));
    auto source = CGImageSourceCreateWithURL(path.string());
    auto image = CGImageSourceCreateImageAtIndex(source, 0);
    std::filesystem::remove(path);
    ASSERT_TRUE(image);
    EXPECT_EQ(CGImageGetWidth(image), 100u);
    EXPECT_EQ(CGImageGetHeight(image), 80u);
}

TEST_F(RenderFixture, AClearBackgroundLeavesTransparentPixels)
{
    window->setBackgroundColor(NSColor::clearColor());
    window->setOpaque(false);
    auto image = window->renderedImage();
    EXPECT_EQ(pixelAt(image, 50, 5).a, 0);
    EXPECT_EQ(pixelAt(image, 20, 20), kRed);
}

// System colours take the value of the appearance being drawn in: the
// application's, unless the window names its own.
TEST(Appearance, SystemColoursFollowTheAppearanceAWindowDrawsIn)
{
    SimWorld world { SimWorld::emptyScenario() };
    EXPECT_EQ(NSColor::textColor()->whiteComponent(), 0) << "light when nothing draws";
    {
        NSAppearanceDrawingScope dark(NSAppearanceNameDarkAqua);
        EXPECT_EQ(NSColor::textColor()->whiteComponent(), 1);
        auto faded = NSColor::textColor()->colorWithAlphaComponent(0.5);
        EXPECT_EQ(faded->whiteComponent(), 1);
        EXPECT_EQ(faded->alphaComponent(), 0.5);
        EXPECT_EQ(NSColor::redColor()->redComponent(), 1) << "fixed colours stay";
    }
    EXPECT_EQ(NSColor::textColor()->whiteComponent(), 0);

    auto window = makeWindow(CGRectMake(100, 500, 60, 40));
    window->contentView()->addSubview(makeRef<ColorView>(CGRectMake(0, 0, 20, 20), NSColor::textColor()));
    window->orderFront(nullptr);
    world.settle();
    auto shade = [&](int x, int y) { return pixelAt(window->renderedImage(), x, y).r; };
    EXPECT_EQ(shade(40, 5), 238) << "the light window background";
    EXPECT_EQ(shade(5, 35), 0);
    NSApp().setAppearance(NSAppearanceNameDarkAqua);
    world.settle();
    EXPECT_EQ(shade(40, 5), 51) << "the application's dark appearance repaints its windows";
    EXPECT_EQ(shade(5, 35), 255);
    window->setAppearance(NSAppearanceNameAqua);
    world.settle();
    EXPECT_EQ(shade(40, 5), 238) << "a window's own appearance wins";
    NSApp().setAppearance({});
    EXPECT_EQ(window->effectiveAppearance(), NSAppearanceNameAqua);
}

// MARK: Behind-window blending

namespace {

// One window whose right edge, at x 400, is a sharp edge against the
// desktop's background.
const char* kEdgeDesktop = R"({
  "screens": [ { "frame": [0, 0, 1440, 900], "visibleFrame": [0, 25, 1440, 875] } ],
  "apps": [ { "pid": 1, "name": "One", "windows": [ { "id": 10, "title": "edge", "frame": [0, 25, 400, 875] } ] } ],
  "order": [10], "focus": 10 })";

// The largest change between neighbouring pixels of a row, in any colour
// channel, from column `from` to column `to`.
int largestStep(const DesktopImage& image, int row, int from, int to)
{
    int largest = 0;
    for (int x = from; x < to; ++x)
        for (size_t c = 0; c < 3; ++c)
            largest = std::max(largest, std::abs(pixelAt(image, x + 1, row)[c] - pixelAt(image, x, row)[c]));
    return largest;
}

struct BehindWindowFixture : public ::testing::Test {
    SimWorld world { kEdgeDesktop };
    // Desktop (300, 400, 200, 200), across the edge.
    Ref<NSWindow> panel = makeWindow(CGRectMake(300, 300, 200, 200), NSWindowStyleMaskBorderless);
    Ref<NSVisualEffectView> effect = makeRef<NSVisualEffectView>(CGRectMake(0, 0, 200, 200));

    BehindWindowFixture()
    {
        panel->setBackgroundColor(NSColor::clearColor());
        panel->setLevel(1000);
        effect->setMaterial(NSVisualEffectMaterialDark);
        effect->setState(NSVisualEffectStateActive);
        panel->contentView()->addSubview(effect);
    }
};

}

TEST_F(BehindWindowFixture, WhatLiesBeneathThePanelShowsBlurredThroughIt)
{
    auto bare = world.desktop().screenshot();
    int sharp = largestStep(bare, 500, 390, 410);
    ASSERT_GT(sharp, 60) << "the edge is sharp on the desktop";

    panel->orderFront(nullptr);
    world.settle();
    auto shot = world.desktop().screenshot();
    // Inside the panel the edge has become a gradient that still shows the
    // two sides' colours.
    EXPECT_LE(largestStep(shot, 500, 305, 495), 3) << "no sharp edge shows through";
    int sides = 0;
    for (size_t c = 0; c < 3; ++c)
        sides = std::max(sides, std::abs(pixelAt(shot, 310, 500)[c] - pixelAt(shot, 490, 500)[c]));
    EXPECT_GE(sides, 8) << "what lies beneath shows through the tint";
    EXPECT_EQ(pixelAt(shot, 400, 500).a, 255);
    // Outside the panel the desktop is unchanged.
    EXPECT_EQ(pixelAt(shot, 399, 380), pixelAt(bare, 399, 380));
    EXPECT_EQ(pixelAt(shot, 401, 620), pixelAt(bare, 401, 620));
    EXPECT_EQ(effect->backdropArea(), CGRectMake(270, 370, 260, 260)) << "the blur reaches past the view";

    // Moved over the plain desktop it shows what lies there now, and coming
    // back it shows the same as before: the panel is never part of what lies
    // beneath it.
    panel->setFrameOrigin(CGPointMake(900, 300));
    world.settle();
    auto moved = world.desktop().screenshot();
    EXPECT_EQ(effect->backdropArea(), CGRectMake(870, 370, 260, 260));
    EXPECT_LE(std::abs(pixelAt(moved, 910, 500).r - pixelAt(moved, 1090, 500).r), 1);
    panel->setFrameOrigin(CGPointMake(300, 300));
    world.settle();
    auto back = world.desktop().screenshot();
    for (int x : { 310, 400, 490 })
        EXPECT_EQ(pixelAt(back, x, 500), pixelAt(shot, x, 500)) << x;
}

TEST_F(BehindWindowFixture, TheBackdropDrawnStraightIntoTheWindowIsTheSameAsDrawnThroughAnyClip)
{
    // Rounded corners, as the switcher's panel has them.
    effect->setWantsLayer(true);
    effect->layer()->setCornerRadius(12);
    effect->layer()->setMasksToBounds(true);
    panel->orderFront(nullptr);
    world.settle();
    auto whole = panel->renderedCGImage();
    ASSERT_TRUE(whole);
    // Drawn into a picture of its own, once plainly and once through a clip
    // no rectangle describes (a triangle around the whole view).
    auto drawn = [&](bool triangle) {
        auto context = CGBitmapContextCreate(nullptr, 200, 200, 8, 0, CGColorSpaceCreateDeviceRGB(),
            kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little);
        if (triangle) {
            CGContextBeginPath(context);
            CGContextMoveToPoint(context, -10, -10);
            CGContextAddLineToPoint(context, 500, -10);
            CGContextAddLineToPoint(context, -10, 500);
            CGContextClosePath(context);
            CGContextClip(context);
        }
        effect->displayRectIgnoringOpacityInContext(effect->bounds(), context);
        return context;
    };
    auto plain = drawn(false), clipped = drawn(true);
    int differing = 0, differingClipped = 0;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x) {
            differing += pixelAt(plain, x, y) != pixelAt(whole, x, y);
            differingClipped += pixelAt(clipped, x, y) != pixelAt(whole, x, y);
        }
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(differingClipped, 0);
    // The corners stay rounded: nothing outside them, the tint just inside.
    EXPECT_EQ(pixelAt(whole, 0, 0).a, 0);
    EXPECT_EQ(pixelAt(whole, 199, 199).a, 0);
    EXPECT_EQ(pixelAt(whole, 6, 6).a, 255);
    EXPECT_EQ(pixelAt(whole, 100, 0).a, 255);

    // A part drawn again alone matches the whole drawn at once.
    effect->setNeedsDisplayInRect(CGRectMake(3, 7, 41, 29));
    effect->setNeedsDisplayInRect(CGRectMake(180, 150, 20, 50));
    panel->displayIfNeeded();
    auto again = panel->renderedCGImage();
    differing = 0;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x)
            differing += pixelAt(again, x, y) != pixelAt(whole, x, y);
    EXPECT_EQ(differing, 0);
}

TEST_F(BehindWindowFixture, TheTintOverTheBackdropFollowsTheMaterialAndTheStateAndMovesReadOnce)
{
    auto reads = [&] { return world.desktop().countCalls("captureBelowOwnWindow"); };
    panel->orderFront(nullptr);
    world.settle();
    ASSERT_TRUE(effect->backdrop());
    // The middle of the panel: desktop (400, 500), backdrop pixel (130, 130)
    // of the area read, (32, 32) of the blurred copy a quarter its size.
    auto backdrop = effect->backdrop()->CGImageForProposedRect(nullptr, nullptr);
    ASSERT_TRUE(backdrop);
    auto expected = [&](double white, double alpha, size_t c) {
        return white * 255 * alpha + pixelAt(backdrop, 32, 32)[c] * (1 - alpha);
    };
    auto expectTint = [&](double white, double alpha, const char* what) {
        auto shot = world.desktop().screenshot();
        for (size_t c = 0; c < 3; ++c)
            EXPECT_NEAR(pixelAt(shot, 400, 500)[c], expected(white, alpha, c), 3) << what << " channel " << c;
    };
    expectTint(0.16, 0.82, "dark");
    effect->setMaterial(NSVisualEffectMaterialLight);
    world.settle();
    expectTint(0.96, 0.8, "light");
    effect->setState(NSVisualEffectStateInactive);
    world.settle();
    expectTint(0.96, 0.9, "light, inactive");
    EXPECT_EQ(reads(), 1u) << "the tint changes, not what lies beneath";

    // Moved twice before it is drawn again, it reads once, where it ends.
    panel->setFrameOrigin(CGPointMake(600, 300));
    panel->setFrameOrigin(CGPointMake(900, 300));
    world.settle();
    EXPECT_EQ(reads(), 2u);
    EXPECT_EQ(effect->backdropArea(), CGRectMake(870, 370, 260, 260));
}

TEST_F(BehindWindowFixture, ABackdropReadAgainShowsWhatLiesBeneathNowAndOnlyTheLastTwoAreKept)
{
    // The panel opens over the edge at 400, 450 and 350 (the window beneath
    // resized), and the shot across the panel each time.
    auto open = [&](CGFloat edge) {
        world.desktop().setWindowFrame(10, CGRectMake(0, 25, edge, 875));
        world.settle();
        panel->orderFront(nullptr);
        world.settle();
        auto shot = world.desktop().screenshot();
        panel->orderOut(nullptr);
        world.settle();
        return std::make_pair(effect->backdrop(), shot);
    };
    auto row = [](const DesktopImage& shot) {
        std::vector<uint32_t> pixels;
        for (int x = 300; x < 500; ++x)
            for (int y : { 410, 500, 590 })
                pixels.push_back(pixelAt(shot, x, y).r | pixelAt(shot, x, y).g << 8 | pixelAt(shot, x, y).b << 16);
        return pixels;
    };
    auto [at400, shot400] = open(400);
    auto [at450, shot450] = open(450);
    ASSERT_TRUE(at400 && at450);
    EXPECT_NE(at450, at400);
    EXPECT_NE(row(shot450), row(shot400)) << "the edge moved beneath the panel";
    // Back to a screen read before: the same backdrop, drawn the same.
    auto [again400, againShot400] = open(400);
    EXPECT_EQ(again400, at400);
    EXPECT_EQ(row(againShot400), row(shot400));
    // A third screen pushes out the oldest: 450 is blurred again, alike.
    auto [at350, shot350] = open(350);
    EXPECT_NE(row(shot350), row(shot400));
    auto [again450, againShot450] = open(450);
    EXPECT_NE(again450, at450);
    EXPECT_EQ(row(againShot450), row(shot450));
    // The tint kept with a backdrop follows a material changed meanwhile
    // (the one before was tinted anew already).
    effect->setMaterial(NSVisualEffectMaterialLight);
    auto [light450, lightShot450] = open(450);
    EXPECT_GT(pixelAt(lightShot450, 400, 500).r, pixelAt(shot450, 400, 500).r + 100);
    auto [light350, lightShot350] = open(350);
    EXPECT_EQ(light350, at350);
    EXPECT_GT(pixelAt(lightShot350, 400, 500).r, pixelAt(shot350, 400, 500).r + 100);
    // Memory handed back while the panel is hidden takes the kept ones too.
    panel->releaseKeptFrame();
    auto [after350, afterShot350] = open(350);
    EXPECT_NE(after350, light350);
    EXPECT_EQ(row(afterShot350), row(lightShot350));
}

TEST_F(BehindWindowFixture, OnlyViewsThatBlendBehindTheirShownWindowReadTheDesktop)
{
    auto reads = [&] { return world.desktop().countCalls("captureBelowOwnWindow"); };
    // Blending within the window, or hidden, the view reads nothing.
    effect->setBlendingMode(NSVisualEffectBlendingModeWithinWindow);
    panel->orderFront(nullptr);
    world.settle();
    EXPECT_EQ(reads(), 0u);
    EXPECT_FALSE(effect->backdrop());
    panel->orderOut(nullptr);
    effect->setBlendingMode(NSVisualEffectBlendingModeBehindWindow);
    effect->setHidden(true);
    panel->orderFront(nullptr);
    world.settle();
    EXPECT_EQ(reads(), 0u);
    panel->orderOut(nullptr);

    // Shown, it reads once as the window comes to the front and not again
    // while nothing moves.
    effect->setHidden(false);
    panel->orderFront(nullptr);
    world.settle();
    EXPECT_EQ(reads(), 1u);
    effect->setNeedsDisplay(true);
    world.settle();
    (void)world.desktop().screenshot();
    EXPECT_EQ(reads(), 1u);
    EXPECT_TRUE(effect->backdrop());
    // A window that is not on the desktop has nothing beneath it.
    auto offscreen = makeRef<NSVisualEffectView>(CGRectMake(0, 0, 50, 50));
    offscreen->captureBackdrop();
    EXPECT_FALSE(offscreen->backdrop());
}

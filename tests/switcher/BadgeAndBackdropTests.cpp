#include "SwitcherTestSupport.h"

#include <appkit/NSApplication.h>
#include <graphics/NSBezierPath.h>
#include <graphics/NSBitmapImageRep.h>
#include <graphics/NSFont.h>
#include <graphics/NSImage.h>
#include <graphics/NSStringDrawing.h>
#include <switcher/BadgeView.h>
#include <switcher/QXImageSizeTransformer.h>
#include <switcher/WindowManViewPanel.h>

namespace {

struct ViewTest : public ::testing::Test {
    SimWorld world { SimWorld::emptyScenario() };
    DefaultsSandbox sandbox;

    Ref<NSWindow> windowWith(const Ref<NSView>& view, const Ref<NSColor>& background)
    {
        auto window = makeRef<NSWindow>(CGRectMake(200, 200, 100, 60), NSWindowStyleMaskBorderless);
        window->setBackgroundColor(background);
        window->contentView()->addSubview(view);
        window->orderFront(nullptr);
        world.settle();
        return window;
    }
};

}

// MARK: Badge

TEST_F(ViewTest, ABadgeIsSizedToItsText)
{
    auto seven = BadgeView::customBadgeWithString("7");
    EXPECT_EQ(seven->frame().size, CGSizeMake(25, 25));
    EXPECT_EQ(seven->bounds().size, CGSizeMake(25, 25));
    EXPECT_DOUBLE_EQ(seven->textFontSize(), 12.6) << "one character is drawn a fifth larger";
    EXPECT_EQ(seven->badgeText(), "7");
    EXPECT_TRUE(seven->badgeShining());
    EXPECT_TRUE(seven->badgeFrame());

    auto ten = BadgeView::customBadgeWithString("10");
    NSStringAttributes bold;
    bold.font = NSFont::boldSystemFontOfSize(12);
    CGFloat textWidth = sizeWithAttributes("10", bold).width;
    ASSERT_GT(textWidth, 5);
    EXPECT_DOUBLE_EQ(ten->frame().size.width, textWidth + 27);
    EXPECT_DOUBLE_EQ(ten->frame().size.height, 25);
    EXPECT_DOUBLE_EQ(ten->textFontSize(), 10.5);

    auto doubled = makeRef<BadgeView>("7", 2.0, false);
    EXPECT_EQ(doubled->frame().size, CGSizeMake(50, 50));
    EXPECT_DOUBLE_EQ(doubled->textFontSize(), 25.2);

    // Resizing keeps the origin.
    ten->setFrameOrigin(CGPointMake(30, 40));
    ten->autoBadgeSizeWithString("8");
    EXPECT_EQ(ten->frame(), CGRectMake(30, 40, 25, 25));
}

TEST_F(ViewTest, TheFrameLineWidensOnlyAboveScaleOne)
{
    EXPECT_DOUBLE_EQ(makeRef<BadgeView>("1", 2.0, true)->frameLineWidth(), 2.5);
    EXPECT_DOUBLE_EQ(makeRef<BadgeView>("1", 1.0, true)->frameLineWidth(), 2.0);
    EXPECT_DOUBLE_EQ(makeRef<BadgeView>("1", 0.5, true)->frameLineWidth(), 2.0);
}

TEST_F(ViewTest, TheBadgeShapeIsInsetAndRoundedByTheHeight)
{
    auto badge = BadgeView::customBadgeWithString("7");
    // Roundness 0.4 of 25 points: radius 10; inset 2.5.
    CGRect box = CGPathGetBoundingBox(badge->badgePath());
    EXPECT_NEAR(box.origin.x, 2.5, 1e-9);
    EXPECT_NEAR(box.origin.y, 2.5, 1e-9);
    EXPECT_NEAR(box.size.width, 20, 1e-9);
    EXPECT_NEAR(box.size.height, 20, 1e-9);
    badge->setBadgeShining(false);
    badge->setBadgeFrame(false);
    badge->setBadgeInsetColor(NSColor::blueColor());
    badge->autoBadgeSizeWithString("");
    auto window = windowWith(badge, NSColor::whiteColor());
    auto image = window->renderedImage();
    // The badge sits at the window's bottom-left corner.
    EXPECT_EQ(pixelAtBase(image, { 12, 12 }), (Pixel { 0, 0, 255, 255 }));
    EXPECT_EQ(pixelAtBase(image, { 1, 12 }), (Pixel { 255, 255, 255, 255 })) << "the inset";
    // Two points in from the inset's corner lie outside a 10-point rounding.
    EXPECT_EQ(pixelAtBase(image, { 4, 4 }), (Pixel { 255, 255, 255, 255 }));
    EXPECT_EQ(pixelAtBase(image, { 4, 12 }), (Pixel { 0, 0, 255, 255 }));
}

TEST_F(ViewTest, TheBadgeDrawsShineFrameAndText)
{
    auto badge = BadgeView::customBadgeWithString(
        "10", NSColor::blackColor(), NSColor::redColor(), true, NSColor::greenColor(), 1.0, true);
    auto window = windowWith(badge, NSColor::whiteColor());
    auto image = window->renderedImage();
    CGFloat width = badge->frame().size.width;
    // The frame line runs along the inset edge.
    Pixel edge = pixelAtBase(image, { width / 2, 2.5 });
    EXPECT_GT(edge.g, 150);
    EXPECT_LT(edge.r, 100);
    // The shine lightens the red body most at the bottom and fades to its
    // faint second stop at four tenths of the height, which it keeps above.
    Pixel low = pixelAtBase(image, { width / 2, 4.5 });
    Pixel high = pixelAtBase(image, { 6, 18 });
    EXPECT_GT(low.g, 140) << low;
    EXPECT_GT(high.r, 200) << high;
    EXPECT_NEAR(high.g, 0.82 * 255 * 0.4, 10) << high;
    // Dark text in the middle.
    bool ink = false;
    for (int x = 8; x < static_cast<int>(width) - 8; ++x)
        for (int y = 8; y < 18; ++y) {
            Pixel p = pixelAtBase(image, { static_cast<CGFloat>(x), static_cast<CGFloat>(y) });
            ink = ink || (p.r < 60 && p.g < 60);
        }
    EXPECT_TRUE(ink);
}

// MARK: Hover backdrop

TEST_F(ViewTest, TheBackdropIsDarkOnTheLightThemeAndLightOnTheDarkOne)
{
    auto panel = makeRef<WindowManViewPanel>(CGRectMake(0, 0, 100, 60));
    EXPECT_TRUE(panel->canBecomeKeyView());
    EXPECT_TRUE(panel->acceptsTouchEvents());
    EXPECT_EQ(panel->currentTheme(), 1);
    auto window = windowWith(panel, NSColor::whiteColor());
    auto image = window->renderedImage();
    Pixel middle = pixelAtBase(image, { 50, 30 });
    EXPECT_NEAR(middle.r, 128, 2) << "black at half alpha over white";
    EXPECT_EQ(pixelAtBase(image, { 0, 0 }), (Pixel { 255, 255, 255, 255 })) << "a rounded corner";

    sandbox.defaults()->setInteger(1, "ThemeIndex");
    EXPECT_EQ(panel->currentTheme(), 0);
    window->setBackgroundColor(NSColor::blackColor());
    panel->setNeedsDisplay(true);
    EXPECT_NEAR(pixelAtBase(window->renderedImage(), { 50, 30 }).r, 26, 2) << "white at a tenth over black";

    sandbox.defaults()->setInteger(2, "ThemeIndex");
    EXPECT_EQ(panel->currentTheme(), 1) << "ultra-dark draws like the light theme";
}

TEST_F(ViewTest, APartialRepaintOfTheBackdropKeepsItsCornersAtTheEdges)
{
    auto panel = makeRef<WindowManViewPanel>(CGRectMake(0, 0, 100, 60));
    auto window = windowWith(panel, NSColor::whiteColor());
    window->renderedImage();
    panel->setNeedsDisplayInRect(CGRectMake(40, 20, 20, 20));
    auto image = window->renderedImage();
    EXPECT_NEAR(pixelAtBase(image, { 40, 20 }).r, 128, 2) << "the damaged part's corner is not rounded";
    EXPECT_NEAR(pixelAtBase(image, { 59, 39 }).r, 128, 2);
}

// MARK: Preview transformer

TEST_F(ViewTest, ThePreviewTransformerFitsImagesIntoItsSize)
{
    auto transformer = makeRef<QXImageSizeTransformer>(CGSizeMake(240, 150));
    EXPECT_FALSE(transformer->allowsReverseTransformation());
    EXPECT_EQ(transformer->transformedValueClass(), "NSImage");
    EXPECT_TRUE(transformer->transformedValue(Value()).isNil());
    auto wide = NSImage::create(CGSizeMake(800, 300));
    wide->lockFocus();
    NSColor::redColor()->setFill();
    NSBezierPath::fillRect(CGRectMake(0, 0, 800, 300));
    wide->unlockFocus();
    auto shrunk = transformer->transformedValue(Value(wide)).objectAs<NSImage>();
    ASSERT_TRUE(shrunk);
    EXPECT_EQ(shrunk->size(), CGSizeMake(240, 150));
    transformer->setSize(CGSizeMake(100, 100));
    EXPECT_EQ(transformer->transformedValue(Value(wide)).objectAs<NSImage>()->size(), CGSizeMake(100, 100));
}

TEST_F(ViewTest, PreviewsShrunkAheadOnTheKeptThreadsAreTheCopiesCellsTakeWithTheSamePixels)
{
    // Pictures of many sizes (scaled by other factors than whole ones),
    // each with its own stripes.
    auto striped = [](int i) {
        auto image = NSImage::create(CGSizeMake(400 + 37 * i, 260 + 23 * i));
        image->lockFocus();
        NSColor::colorWithDeviceRed(0.1 * (i % 10), 0.5, 1 - 0.08 * i, 1)->setFill();
        NSBezierPath::fillRect(CGRectMake(0, 0, 400 + 37 * i, 260 + 23 * i));
        NSColor::blackColor()->setFill();
        for (int x = i; x < 400 + 37 * i; x += 9 + i)
            NSBezierPath::fillRect(CGRectMake(x, 0, 3, 260 + 23 * i));
        image->unlockFocus();
        return image;
    };
    auto pixels = [](const Value& value) {
        auto image = value.objectAs<NSImage>();
        auto cg = image ? image->CGImageForProposedRect(nullptr, nullptr) : nullptr;
        return cg ? CGDataProviderCopyData(cg->dataProvider()) : std::vector<uint8_t> {};
    };
    auto transformer = makeRef<QXImageSizeTransformer>(CGSizeMake(240, 150));
    // Values that are no pictures are passed over.
    std::vector<Value> values { Value(), Value(std::string("no picture")) };
    std::vector<Ref<NSImage>> images;
    for (int i = 0; i < 12; ++i) {
        images.push_back(striped(i));
        values.emplace_back(images.back());
    }
    values.emplace_back(images.front());
    transformer->prepareTransformedValues(values);
    for (int i = 0; i < 12; ++i) {
        auto prepared = transformer->transformedValue(Value(images[i]));
        ASSERT_TRUE(prepared.objectAs<NSImage>()) << i;
        EXPECT_EQ(prepared.objectAs<NSImage>()->size(), CGSizeMake(240, 150)) << i;
        // An equal picture not seen before is shrunk here, on this thread.
        auto here = transformer->transformedValue(Value(striped(i)));
        ASSERT_NE(here.objectAs<NSImage>(), prepared.objectAs<NSImage>()) << i;
        EXPECT_TRUE(pixels(prepared) == pixels(here)) << "picture " << i << " differs when shrunk ahead";
        EXPECT_FALSE(pixels(prepared).empty()) << i;
    }
}

TEST_F(ViewTest, EveryCellsTransformerSharesThePicturesItShrank)
{
    auto wide = NSImage::create(CGSizeMake(800, 500));
    wide->lockFocus();
    NSColor::redColor()->setFill();
    NSBezierPath::fillRect(CGRectMake(0, 0, 800, 500));
    wide->unlockFocus();
    auto first = makeRef<QXImageSizeTransformer>(CGSizeMake(240, 150))->transformedValue(Value(wide));
    auto second = makeRef<QXImageSizeTransformer>(CGSizeMake(240, 150))->transformedValue(Value(wide));
    ASSERT_TRUE(first.objectAs<NSImage>());
    EXPECT_EQ(first.objectAs<NSImage>(), second.objectAs<NSImage>()) << "the picture was shrunk twice";
    auto small = makeRef<QXImageSizeTransformer>(CGSizeMake(100, 100))->transformedValue(Value(wide));
    EXPECT_EQ(small.objectAs<NSImage>()->size(), CGSizeMake(100, 100)) << "another size is another copy";
}

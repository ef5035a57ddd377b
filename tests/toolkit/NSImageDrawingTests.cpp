// Tiled, centred and flipped drawing, and the resized and representation
// variants of NSImageTKExtensions.
#include "ImageTestSupport.h"

#include <toolkit/NSImageTKExtensions.h>
#include <toolkit/TKImageMaker.h>

#include <appkit/NSView.h>
#include <appkit/NSWindow.h>

#include <gtest/gtest.h>

namespace {

// Top half red, bottom half blue.
Ref<NSImage> redOverBlue(long w, long h)
{
    return imageOf(w, h, [h](long, long y) { return y < h / 2 ? kRed : kBlue; });
}

class FlippedView : public NSView {
public:
    using NSView::NSView;
    bool isFlipped() const override { return true; }
};

} // namespace

TEST(NSImageTiling, TileGridIsCentredAndSteppedBackByWholeTiles)
{
    auto image = solidImage(100, 50, kRed);
    EXPECT_EQ(NSImageTKExtensions::tileRectForBounds(image, CGRectMake(0, 0, 250, 120)), CGRectMake(-25, -15, 275, 135));
    // An image larger than the bounds: its centred tile joined with them.
    auto big = solidImage(40, 40, kRed);
    EXPECT_EQ(NSImageTKExtensions::tileRectForBounds(big, CGRectMake(0, 0, 20, 10)), CGRectMake(-10, -15, 40, 40));
    // Without area there is no grid to step along.
    EXPECT_EQ(NSImageTKExtensions::tileRectForBounds(NSImage::create(), CGRectMake(1, 2, 3, 4)), CGRectMake(1, 2, 3, 4));
}

TEST(NSImageTiling, TilesCoverTheViewUprightAndLeaveFlushingAsItWas)
{
    auto window = makeRef<NSWindow>(CGRectMake(0, 0, 40, 40), NSWindowStyleMaskBorderless, NSBackingStoreBuffered, false);
    auto view = makeRef<FlippedView>(CGRectMake(0, 0, 40, 40));
    window->setContentView(view);
    auto tile = redOverBlue(10, 10);
    for (bool heldBefore : { false, true }) {
        if (heldBefore)
            window->disableFlushWindow();
        auto image = drawn(CGSizeMake(40, 40), [&] {
            auto context = NSGraphicsContext::currentContext()->CGContext();
            // The flipped view's space, as the window would set it up.
            CGContextTranslateCTM(context, 0, 40);
            CGContextScaleCTM(context, 1, -1);
            NSImageTKExtensions::tileInView(tile, view.get(), 1.0f);
        });
        // The grid is centred (tiles from -5 at steps of 10), and every tile
        // stands upright: its red half above its blue half.
        for (long y : { 7L, 17L, 38L })
            EXPECT_EQ(pixelOf(image, 7, y), kRed) << y;
        for (long y : { 2L, 13L, 34L })
            EXPECT_EQ(pixelOf(image, 31, y), kBlue) << y;
        EXPECT_EQ(window->isFlushWindowDisabled(), heldBefore);
        if (heldBefore)
            window->enableFlushWindow();
    }
    // A fraction of 0 draws nothing.
    auto none = drawn(CGSizeMake(40, 40), [&] { NSImageTKExtensions::tileInView(tile, view.get(), 0.0f); });
    EXPECT_EQ(pixelOf(none, 20, 20), kClear);
    EXPECT_FALSE(window->isFlushWindowDisabled());
}

TEST(NSImageTiling, TileInRectClipsAndEndsForTilesBelowAPoint)
{
    auto tile = solidImage(4, 4, kGreen);
    auto image = drawn(CGSizeMake(20, 20), [&] {
        NSImageTKExtensions::tileInRect(tile, CGRectMake(2, 2, 9, 9), false, NSCompositingOperationSourceOver, 1.0f);
    });
    EXPECT_EQ(pixelOf(image, 5, 12), kGreen);
    EXPECT_EQ(pixelOf(image, 1, 12), kClear);
    EXPECT_EQ(pixelOf(image, 12, 12), kClear);
    // Half a point wide: the loop still comes to an end.
    auto sliver = solidImage(1, 1, kGreen, CGSizeMake(0.5, 0.5));
    drawn(CGSizeMake(8, 8), [&] {
        NSImageTKExtensions::tileInRect(sliver, CGRectMake(0, 0, 8, 8), true, NSCompositingOperationSourceOver, 1.0f);
    });
}

TEST(NSImageFlipping, FlippedDrawingAndCopiesTurnTheRowsOver)
{
    auto image = redOverBlue(10, 10);
    auto upsideDown = drawn(CGSizeMake(10, 10), [&] {
        NSImageTKExtensions::drawFlippedInRect(image, CGRectMake(0, 0, 10, 10), NSCompositingOperationSourceOver);
    });
    EXPECT_EQ(pixelOf(upsideDown, 5, 1), kBlue);
    EXPECT_EQ(pixelOf(upsideDown, 5, 8), kRed);

    auto flipped = NSImageTKExtensions::flip(image);
    ASSERT_NE(flipped, image);
    EXPECT_EQ(pixelOf(flipped, 5, 1), kBlue);
    EXPECT_EQ(pixelOf(flipped, 5, 8), kRed);
    EXPECT_EQ(pixelOf(image, 5, 1), kRed);

    // Without area: the image itself, and no drawing at an infinite scale.
    auto empty = NSImage::create(CGSizeMake(0, 10));
    EXPECT_EQ(NSImageTKExtensions::flip(empty), empty);
    auto nothing = drawn(CGSizeMake(10, 10), [&] {
        NSImageTKExtensions::drawFlippedInRect(empty, CGRectMake(0, 0, 10, 10), NSCompositingOperationSourceOver);
        NSImageTKExtensions::drawFlippedInRect(image, CGRectMake(0, 0, 10, 10), CGRectMake(0, 0, 0, 5),
            NSCompositingOperationSourceOver);
    });
    EXPECT_EQ(pixelOf(nothing, 5, 5), kClear);
}

TEST(NSImageCentring, CentredAtNaturalSizeOrShrunkToFit)
{
    auto small = solidImage(4, 4, kRed);
    auto natural = drawn(CGSizeMake(20, 20), [&] {
        NSImageTKExtensions::compositeInRect(small, CGRectMake(0, 0, 20, 20), NSCompositingOperationSourceOver, false,
            1.0f);
    });
    EXPECT_EQ(pixelOf(natural, 9, 9), kRed);
    EXPECT_EQ(pixelOf(natural, 7, 9), kClear);
    // Never grown: a small image keeps its size in a large rect.
    auto fitted = drawn(CGSizeMake(20, 20), [&] {
        NSImageTKExtensions::drawCenteredInRectHQ(small, CGRectMake(0, 0, 20, 20), NSCompositingOperationSourceOver, 1.0f);
        NSImageTKExtensions::drawCenteredInRectHQ(solidImage(40, 20, kBlue), CGRectMake(0, 0, 10, 20),
            NSCompositingOperationSourceOver, 1.0f);
    });
    EXPECT_EQ(pixelOf(fitted, 11, 9), kRed);
    EXPECT_EQ(pixelOf(fitted, 5, 9), kBlue);  // 40 x 20 shrunk to 10 x 5, centred at y 7.5
    EXPECT_EQ(pixelOf(fitted, 5, 4), kClear);
}

namespace {

// An image with one square bitmap representation per side, each of its
// own colour.
Ref<NSImage> iconFamily(std::initializer_list<std::pair<long, RGBA>> sides)
{
    auto image = NSImage::create(CGSizeMake(16, 16));
    for (auto [side, color] : sides)
        image->addRepresentation(solidImage(side, side, color)->representations().at(0));
    return image;
}

} // namespace

TEST(NSImageVariants, IconsComeFromTheNearestWiderRepresentation)
{
    // 32 is nearer to 48 but not wider; 64 is nearer than 16 and wider.
    auto icon = NSImageTKExtensions::sizeIcon(iconFamily({ { 16, kRed }, { 32, kGreen }, { 64, kBlue } }), 48);
    EXPECT_EQ(icon->size(), CGSizeMake(48, 48));
    EXPECT_EQ(pixelOf(icon, 24, 24), kBlue);
    // 128 is farther than 16: the first one is drawn up.
    icon = NSImageTKExtensions::sizeIcon(iconFamily({ { 16, kRed }, { 32, kGreen }, { 128, kBlue } }), 48);
    EXPECT_EQ(pixelOf(icon, 24, 24), kRed);
    // An exact square is copied, not redrawn.
    auto family = iconFamily({ { 16, kRed }, { 32, kGreen } });
    icon = NSImageTKExtensions::sizeIcon(family, 32);
    ASSERT_EQ(icon->representations().size(), 1u);
    EXPECT_NE(icon->representations()[0], family->representations()[1]);
    EXPECT_EQ(pixelOf(icon, 3, 3), kGreen);
    // Without representations: transparent.
    icon = NSImageTKExtensions::sizeIcon(NSImage::create(CGSizeMake(8, 8)), 8);
    EXPECT_EQ(pixelOf(icon, 3, 3), kClear);
}

TEST(NSImageVariants, BitmapsForASizeCompareWidthsOnly)
{
    auto tall = solidImage(32, 64, kGreen);
    auto rep = NSImageTKExtensions::bitmapImageRepForSize(tall, 32);
    ASSERT_TRUE(rep);
    EXPECT_EQ(rep->pixelsHigh(), 64);
    EXPECT_NE(rep, tall->representations()[0]);
    // No representation that wide: the nearest wider one drawn over the square.
    rep = NSImageTKExtensions::bitmapImageRepForSize(iconFamily({ { 8, kRed }, { 20, kBlue } }), 16);
    ASSERT_TRUE(rep);
    EXPECT_EQ(rep->pixelsWide(), 16);
    EXPECT_EQ(rep->pixelsHigh(), 16);
    auto color = rep->colorAtX(8, 8);
    EXPECT_DOUBLE_EQ(color->blueComponent(), 1.0);
}

TEST(NSImageVariants, RepresentationsAreTidiedAndMovedOnlyWhenThereIsOne)
{
    auto image = solidImage(144, 144, kRed, CGSizeMake(72, 72));
    EXPECT_EQ(NSImageTKExtensions::normalizeSize(image), image);
    EXPECT_EQ(image->size(), CGSizeMake(144, 144));
    EXPECT_EQ(image->representations()[0]->size(), CGSizeMake(144, 144));

    EXPECT_FALSE(NSImageTKExtensions::hasCachedImageRep(image));
    auto copy = NSImageTKExtensions::imageWithOnlyCachedImageRep(image);
    EXPECT_EQ(image->representations().size(), 1u);
    EXPECT_EQ(pixelOf(copy, 100, 100), kRed);

    auto focused = NSImage::create(CGSizeMake(6, 6));
    focused->lockFocus();
    NSColor::blueColor()->set();
    NSRectFill(CGRectMake(0, 0, 6, 6));
    focused->unlockFocus();
    ASSERT_TRUE(NSImageTKExtensions::hasCachedImageRep(focused));
    auto cachedRep = focused->representations()[0];
    auto moved = NSImageTKExtensions::imageWithOnlyCachedImageRep(focused);
    EXPECT_TRUE(focused->representations().empty());
    ASSERT_EQ(moved->representations().size(), 1u);
    EXPECT_EQ(moved->representations()[0], cachedRep);
    EXPECT_EQ(NSImageTKExtensions::imageRepOfClass<NSCachedImageRep>(moved), cachedRep);
    EXPECT_EQ(NSImageTKExtensions::imageRepOfClass<NSBitmapImageRep>(moved), nullptr);
}

TEST(NSImageVariants, SquaresAndMarginsKeepTheImageAtItsSize)
{
    auto wide = solidImage(40, 20, kRed);
    auto square = NSImageTKExtensions::imageWithMaxSize(wide, 20);
    EXPECT_EQ(square->size(), CGSizeMake(20, 20));
    EXPECT_EQ(pixelOf(square, 10, 10), kRed);
    EXPECT_EQ(pixelOf(square, 10, 2), kClear);
    auto small = NSImageTKExtensions::imageWithMaxSize(solidImage(4, 4, kRed), 20);
    EXPECT_EQ(pixelOf(small, 9, 9), kRed);
    EXPECT_EQ(pixelOf(small, 3, 9), kClear);

    auto margin = NSImageTKExtensions::imageWithTopMargin(solidImage(5, 5, kBlue), 99);
    EXPECT_EQ(margin->size(), CGSizeMake(5, 6));
    EXPECT_EQ(pixelOf(margin, 2, 0), kClear);
    EXPECT_EQ(pixelOf(margin, 2, 1), kBlue);
    EXPECT_EQ(pixelOf(margin, 2, 5), kBlue);
}

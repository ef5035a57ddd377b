#include <toolkit/NSImageTKExtensions.h>
#include <toolkit/TKImageMaker.h>

#include <foundation/Log.h>
#include <graphics/Graphics.h>

#include <gtest/gtest.h>

#include <array>

#include "support/Pixels.h"

static RGBA pixel(const Ref<NSImage>& image, long x, long yFromTop)
{
    return pixelAt(dynamicRef<NSBitmapImageRep>(image->representations().at(0)), x, yFromTop);
}

static Ref<NSImage> solid(long w, long h, RGBA c, CGSize size = CGSizeZero)
{
    std::vector<uint8_t> bytes;
    for (long i = 0; i < w * h; ++i)
        bytes.insert(bytes.end(), { uint8_t(c[0]), uint8_t(c[1]), uint8_t(c[2]), uint8_t(c[3]) });
    auto cg = CGImageCreate(size_t(w), size_t(h), 8, 32, size_t(w) * 4, CGColorSpaceCreateDeviceRGB(),
        kCGImageAlphaPremultipliedLast, CGDataProviderCreateWithBytes(std::move(bytes)));
    return NSImage::imageWithCGImage(cg, size);
}

TEST(TKImageMaker, DrawingPassMakesAClearedRGBABitmap)
{
    auto maker = TKImageMaker::maker(CGSizeMake(10.7, 5.2));
    EXPECT_FALSE(maker->isLocked());
    maker->lockFocus();
    EXPECT_TRUE(maker->isLocked());
    auto rep = maker->bitmapImageRep();
    ASSERT_TRUE(rep);
    EXPECT_EQ(rep->pixelsWide(), 10);
    EXPECT_EQ(rep->pixelsHigh(), 5);
    EXPECT_EQ(rep->samplesPerPixel(), 4);
    EXPECT_EQ(rep->bitmapFormat(), 0u);
    auto context = NSGraphicsContext::currentContext();
    EXPECT_EQ(context, maker->bitmapContext());
    EXPECT_EQ(context->imageInterpolation(), NSImageInterpolationHigh);
    NSColor::redColor()->set();
    NSRectFill(CGRectMake(0, 0, 1, 1));
    auto image = maker->unlockFocus(true);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), CGSizeMake(10.7, 5.2));
    EXPECT_TRUE(image->isTemplate());
    EXPECT_EQ(image->representations().at(0), rep);
    EXPECT_FALSE(NSGraphicsContext::currentContext());
    // Bottom-left pixel red; everything else still clear.
    EXPECT_EQ(pixel(image, 0, 4), (RGBA { 255, 0, 0, 255 }));
    EXPECT_EQ(pixel(image, 1, 4), (RGBA { 0, 0, 0, 0 }));
    auto copy = maker->imageRep();
    EXPECT_NE(copy, rep);
    EXPECT_EQ(copy->bitmapData()[(4 * 10) * 4], 255);
}

TEST(TKImageMaker, MisorderedCallsLogAndKeepTheFirstPass)
{
    LogCapture log;
    auto maker = TKImageMaker::maker(CGSizeMake(2, 2));
    EXPECT_FALSE(maker->unlockFocus());
    EXPECT_TRUE(log.contains("imageMaker is not locked"));
    maker->lockFocus();
    auto first = maker->bitmapImageRep();
    maker->lockFocus();
    EXPECT_EQ(log.count("imageMaker is already locked"), 1u);
    EXPECT_EQ(maker->bitmapImageRep(), first);
    EXPECT_TRUE(maker->unlockFocus());
    EXPECT_FALSE(maker->unlockFocus());
    EXPECT_EQ(log.count("imageMaker is not locked"), 2u);
    EXPECT_FALSE(NSGraphicsContext::currentContext());
}

TEST(TKImageMaker, PassesNestAndTinyMakersDrawNowhere)
{
    auto outer = TKImageMaker::maker(CGSizeMake(2, 2));
    outer->lockFocus();
    auto inner = TKImageMaker::maker(CGSizeMake(0.5, 3));
    inner->lockFocus();
    EXPECT_FALSE(inner->bitmapImageRep());
    // Drawing in the empty pass must not land in the outer bitmap.
    NSColor::redColor()->set();
    NSRectFill(CGRectMake(0, 0, 2, 2));
    auto empty = inner->unlockFocus();
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->size(), CGSizeMake(0.5, 3));
    EXPECT_TRUE(empty->representations().empty());
    EXPECT_EQ(NSGraphicsContext::currentContext(), outer->bitmapContext());
    auto image = outer->unlockFocus();
    EXPECT_EQ(pixel(image, 0, 0)[3], 0);
    EXPECT_FALSE(NSGraphicsContext::currentContext());
}

TEST(NSImageTKExtensions, ImageWithAlphaFadesEveryPixel)
{
    auto source = solid(3, 2, { 200, 100, 50, 255 });
    source->setTemplate(true);
    auto faded = NSImageTKExtensions::imageWithAlpha(source, 0.8f);
    ASSERT_TRUE(faded);
    EXPECT_EQ(faded->size(), source->size());
    EXPECT_TRUE(faded->isTemplate());
    for (long y = 0; y < 2; ++y)
        for (long x = 0; x < 3; ++x) {
            RGBA p = pixel(faded, x, y);
            EXPECT_NEAR(p[0], 160, 1);
            EXPECT_NEAR(p[1], 80, 1);
            EXPECT_NEAR(p[2], 40, 1);
            EXPECT_NEAR(p[3], 204, 1);
        }
    auto same = NSImageTKExtensions::imageWithAlpha(source, 1.0f);
    EXPECT_NE(same, source);
    EXPECT_EQ(pixel(same, 0, 0), (RGBA { 200, 100, 50, 255 }));
    auto none = NSImageTKExtensions::imageWithAlpha(source, 0.0f);
    EXPECT_EQ(pixel(none, 0, 0), (RGBA { 0, 0, 0, 0 }));
    EXPECT_FALSE(NSImageTKExtensions::imageWithAlpha(nullptr, 0.8f));
}

TEST(NSImageTKExtensions, ImageWithSizeMakesExactThumbnails)
{
    const CGSize grid = CGSizeMake(240, 150);
    auto picture = solid(1366, 768, { 0, 0, 255, 255 });
    auto thumb = NSImageTKExtensions::imageWithSize(picture, grid);
    ASSERT_TRUE(thumb);
    EXPECT_EQ(thumb->size(), grid);
    auto rep = thumb->representations().at(0);
    EXPECT_EQ(rep->pixelsWide(), 240);
    EXPECT_EQ(rep->pixelsHigh(), 150);
    // Drawn into (0, 7, 240, 134): rows 9 to 142 from the top are covered.
    EXPECT_EQ(pixel(thumb, 120, 8)[3], 0);
    EXPECT_EQ(pixel(thumb, 0, 9), (RGBA { 0, 0, 255, 255 }));
    EXPECT_EQ(pixel(thumb, 239, 142), (RGBA { 0, 0, 255, 255 }));
    EXPECT_EQ(pixel(thumb, 120, 143)[3], 0);

    // Same size: the very same object.
    EXPECT_EQ(NSImageTKExtensions::imageWithSize(thumb, grid), thumb);

    // Growing only when asked: 100 × 50 at (0, 15, 240, 120) or (70, 50, 100, 50).
    auto small = solid(100, 50, { 255, 0, 0, 255 });
    small->setTemplate(true);
    auto grown = NSImageTKExtensions::imageWithSize(small, grid);
    EXPECT_TRUE(grown->isTemplate());
    EXPECT_EQ(pixel(grown, 0, 15)[3], 255);
    EXPECT_EQ(pixel(grown, 0, 14)[3], 0);
    auto kept = NSImageTKExtensions::imageWithSize(small, grid, false);
    EXPECT_EQ(pixel(kept, 69, 75)[3], 0);
    EXPECT_EQ(pixel(kept, 70, 50)[3], 255);
    EXPECT_EQ(pixel(kept, 169, 99)[3], 255);
    EXPECT_EQ(pixel(kept, 170, 75)[3], 0);

    // A high-density picture still gives exactly the target's pixels.
    auto dense = solid(480, 300, { 0, 255, 0, 255 }, CGSizeMake(240, 150));
    auto fitted = NSImageTKExtensions::imageWithSize(dense, CGSizeMake(120, 75));
    EXPECT_EQ(fitted->representations().at(0)->pixelsWide(), 120);
    EXPECT_EQ(pixel(fitted, 60, 40), (RGBA { 0, 255, 0, 255 }));
}

TEST(NSImageTKExtensions, ImageSizesZeroAndOne)
{
    auto one = solid(1, 1, { 9, 8, 7, 255 });
    auto same = NSImageTKExtensions::imageWithSize(one, CGSizeMake(1, 1));
    EXPECT_EQ(same, one);
    auto grown = NSImageTKExtensions::imageWithSize(one, CGSizeMake(4, 2));
    EXPECT_EQ(pixel(grown, 1, 0), (RGBA { 9, 8, 7, 255 }));
    EXPECT_EQ(pixel(grown, 0, 0)[3], 0);
    auto empty = NSImage::create(CGSizeZero);
    auto fromEmpty = NSImageTKExtensions::imageWithSize(empty, CGSizeMake(2, 2));
    ASSERT_TRUE(fromEmpty);
    EXPECT_EQ(pixel(fromEmpty, 0, 0)[3], 0);
    auto toEmpty = NSImageTKExtensions::imageWithSize(one, CGSizeZero);
    ASSERT_TRUE(toEmpty);
    EXPECT_EQ(toEmpty->size(), CGSizeZero);
    auto fadedEmpty = NSImageTKExtensions::imageWithAlpha(empty, 0.8f);
    ASSERT_TRUE(fadedEmpty);
    EXPECT_EQ(fadedEmpty->size(), CGSizeZero);
    EXPECT_FALSE(NSGraphicsContext::currentContext());
}

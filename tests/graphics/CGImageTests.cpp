#include "GraphicsTestSupport.h"

#include <gtest/gtest.h>

static RGBA drawnPixel(const CGImageRef& image)
{
    auto c = makeRGBAContext(1, 1);
    CGContextSetBlendMode(c, kCGBlendModeCopy);
    CGContextDrawImage(c, CGRectMake(0, 0, 1, 1), image);
    return pixelAt(c, 0, 0);
}

TEST(CGImage, CreationChecksLayoutAndProviderLength)
{
    auto rgb = CGColorSpaceCreateDeviceRGB();
    auto enough = CGDataProviderCreateWithBytes(std::vector<uint8_t>(2 * 2 * 4));
    EXPECT_TRUE(CGImageCreate(2, 2, 8, 32, 8, rgb, kCGImageAlphaPremultipliedLast, enough));
    auto shortProvider = CGDataProviderCreateWithBytes(std::vector<uint8_t>(2 * 2 * 4 - 1));
    EXPECT_FALSE(CGImageCreate(2, 2, 8, 32, 8, rgb, kCGImageAlphaPremultipliedLast, shortProvider));
    EXPECT_FALSE(CGImageCreate(2, 2, 8, 32, 4, rgb, kCGImageAlphaPremultipliedLast, enough));
    EXPECT_FALSE(CGImageCreate(2, 2, 8, 32, 8, rgb, kCGImageAlphaPremultipliedLast, nullptr));
    EXPECT_FALSE(CGImageCreate(0, 2, 8, 32, 8, rgb, kCGImageAlphaPremultipliedLast, enough));
    EXPECT_FALSE(CGImageCreate(2, 2, 8, 32, 8, rgb, kCGImageAlphaOnly, enough));
    EXPECT_FALSE(CGImageCreate(40000, 1, 8, 32, 160000, rgb, kCGImageAlphaPremultipliedLast,
        CGDataProviderCreateWithBytes(std::vector<uint8_t>(160000))));
    auto image = CGImageCreate(2, 2, 8, 32, 8, rgb, kCGImageAlphaPremultipliedLast, enough);
    EXPECT_EQ(CGImageGetWidth(image), 2u);
    EXPECT_EQ(CGImageGetBitsPerComponent(image), 8u);
    EXPECT_EQ(CGDataProviderCopyData(CGImageGetDataProvider(image)).size(), 16u);
    EXPECT_EQ(CGImageGetWidth(nullptr), 0u);
}

TEST(CGImage, EveryLayoutDecodesToTheSameColour)
{
    // Red at alpha 0.5 in each supported arrangement of its bytes.
    struct Case {
        CGBitmapInfo info;
        std::vector<uint8_t> bytes;
    } cases[] = {
        { kCGImageAlphaPremultipliedLast, { 128, 0, 0, 128 } },
        { kCGImageAlphaPremultipliedFirst, { 128, 128, 0, 0 } },
        { kCGImageAlphaLast, { 255, 0, 0, 128 } },
        { kCGImageAlphaFirst, { 128, 255, 0, 0 } },
        { kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little, { 0, 0, 128, 128 } },
        { kCGImageAlphaLast | kCGBitmapByteOrder32Little, { 128, 0, 0, 255 } },
    };
    for (const auto& k : cases) {
        auto image = CGImageCreate(1, 1, 8, 32, 4, CGColorSpaceCreateDeviceRGB(), k.info,
            CGDataProviderCreateWithBytes(k.bytes));
        ASSERT_TRUE(image) << k.info;
        EXPECT_EQ(drawnPixel(image), (RGBA { 128, 0, 0, 128 })) << k.info;
    }
    auto rgb24 = CGImageCreate(1, 1, 8, 24, 3, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaNone,
        CGDataProviderCreateWithBytes({ 10, 20, 30 }));
    EXPECT_EQ(drawnPixel(rgb24), (RGBA { 10, 20, 30, 255 }));
    auto grayAlpha = CGImageCreate(1, 1, 8, 16, 2, CGColorSpaceCreateDeviceGray(), kCGImageAlphaLast,
        CGDataProviderCreateWithBytes({ 255, 128 }));
    EXPECT_EQ(drawnPixel(grayAlpha), (RGBA { 128, 128, 128, 128 }));
}

TEST(CGImage, MasksCoverInverselyAndGrayMasksDirectly)
{
    auto red = makeImage(2, 1, kCGImageAlphaPremultipliedLast, [](size_t, size_t) { return RGBA { 255, 0, 0, 255 }; });
    // One-bit image mask: first sample set (masked out), second clear (painted).
    auto stencil = CGImageMaskCreate(2, 1, 1, 1, 1, CGDataProviderCreateWithBytes({ 0x80 }));
    ASSERT_TRUE(stencil);
    EXPECT_TRUE(CGImageIsMask(stencil));
    auto masked = CGImageCreateWithMask(red, stencil);
    ASSERT_TRUE(masked);
    EXPECT_EQ(CGImageGetWidth(masked), 2u);
    auto c = makeRGBAContext(2, 1);
    CGContextSetInterpolationQuality(c, kCGInterpolationNone);
    CGContextDrawImage(c, CGRectMake(0, 0, 2, 1), masked);
    EXPECT_EQ(pixelAt(c, 0, 0)[3], 0);
    EXPECT_EQ(pixelAt(c, 1, 0), (RGBA { 255, 0, 0, 255 }));

    auto gray = CGImageCreate(2, 1, 8, 8, 2, CGColorSpaceCreateDeviceGray(), kCGImageAlphaNone,
        CGDataProviderCreateWithBytes({ 0, 255 }));
    auto grayMasked = CGImageCreateWithMask(red, gray);
    auto d = makeRGBAContext(2, 1);
    CGContextSetInterpolationQuality(d, kCGInterpolationNone);
    CGContextDrawImage(d, CGRectMake(0, 0, 2, 1), grayMasked);
    EXPECT_EQ(pixelAt(d, 0, 0)[3], 0);
    EXPECT_EQ(pixelAt(d, 1, 0)[3], 255);

    // Drawing an image mask paints the fill colour where it covers.
    auto e = makeRGBAContext(2, 1);
    CGContextSetInterpolationQuality(e, kCGInterpolationNone);
    CGContextSetRGBFillColor(e, 0, 0, 1, 1);
    CGContextDrawImage(e, CGRectMake(0, 0, 2, 1), stencil);
    EXPECT_EQ(pixelAt(e, 0, 0)[3], 0);
    EXPECT_EQ(pixelAt(e, 1, 0), (RGBA { 0, 0, 255, 255 }));

    EXPECT_FALSE(CGImageCreateWithMask(red, red));
    EXPECT_FALSE(CGImageCreateWithMask(nullptr, gray));
}

TEST(CGImage, SubImagesCopyTheirRows)
{
    auto image = makeImage(3, 3, kCGImageAlphaPremultipliedLast,
        [](size_t x, size_t y) { return RGBA { int(x * 10), int(y * 10), 0, 255 }; });
    auto part = CGImageCreateWithImageInRect(image, CGRectMake(1, 1, 5, 5));
    ASSERT_TRUE(part);
    EXPECT_EQ(CGImageGetWidth(part), 2u);
    EXPECT_EQ(pixelOf(part, 0, 0), (RGBA { 10, 10, 0, 255 }));
    EXPECT_EQ(pixelOf(part, 1, 1), (RGBA { 20, 20, 0, 255 }));
    EXPECT_FALSE(CGImageCreateWithImageInRect(image, CGRectMake(5, 5, 1, 1)));
}

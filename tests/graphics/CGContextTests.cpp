#include "GraphicsTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(CGContext, UserSpaceHasItsOriginAtTheBottomLeftAndRowZeroAtTheTop)
{
    auto c = makeRGBAContext(4, 4);
    ASSERT_TRUE(c);
    CGContextSetRGBFillColor(c, 1, 0, 0, 1);
    CGContextFillRect(c, CGRectMake(0, 0, 1, 1));
    EXPECT_EQ(pixelAt(c, 0, 3), (RGBA { 255, 0, 0, 255 }));
    EXPECT_EQ(pixelAt(c, 0, 0), (RGBA { 0, 0, 0, 0 }));
    EXPECT_TRUE(CGAffineTransformIsIdentity(CGContextGetCTM(c)));
}

TEST(CGContext, ByteLayoutsFollowTheBitmapInfo)
{
    struct Case {
        CGBitmapInfo info;
        RGBA expected;
    } cases[] = {
        { kCGImageAlphaPremultipliedLast, { 255, 128, 0, 255 } },
        { kCGImageAlphaPremultipliedFirst, { 255, 255, 128, 0 } },
        { kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little, { 0, 128, 255, 255 } },
        { kCGImageAlphaPremultipliedLast | kCGBitmapByteOrder32Little, { 255, 0, 128, 255 } },
        { kCGImageAlphaNoneSkipLast, { 255, 128, 0, 255 } },
    };
    for (const auto& k : cases) {
        auto c = CGBitmapContextCreate(nullptr, 2, 2, 8, 8, CGColorSpaceCreateDeviceRGB(), k.info);
        ASSERT_TRUE(c) << k.info;
        CGContextSetRGBFillColor(c, 1, 128 / 255.0, 0, 1);
        CGContextFillRect(c, CGRectMake(0, 0, 2, 2));
        EXPECT_EQ(pixelAt(c, 1, 1), k.expected) << k.info;
    }
}

TEST(CGContext, UnsupportedLayoutsGiveNull)
{
    auto rgb = CGColorSpaceCreateDeviceRGB();
    EXPECT_FALSE(CGBitmapContextCreate(nullptr, 4, 4, 8, 16, rgb, kCGImageAlphaLast));
    EXPECT_FALSE(CGBitmapContextCreate(nullptr, 4, 4, 16, 32, rgb, kCGImageAlphaPremultipliedLast));
    EXPECT_FALSE(CGBitmapContextCreate(nullptr, 0, 4, 8, 0, rgb, kCGImageAlphaPremultipliedLast));
    EXPECT_FALSE(CGBitmapContextCreate(nullptr, 4, 4, 8, 8, rgb, kCGImageAlphaPremultipliedLast));
    EXPECT_FALSE(CGBitmapContextCreate(nullptr, 4, 4, 8, 0, CGColorSpaceCreateDeviceGray(), kCGImageAlphaPremultipliedLast));
}

TEST(CGContext, GrayAndAlphaOnlyContexts)
{
    auto gray = CGBitmapContextCreate(nullptr, 3, 1, 8, 0, CGColorSpaceCreateDeviceGray(), kCGImageAlphaNone);
    ASSERT_TRUE(gray);
    CGContextSetRGBFillColor(gray, 1, 0, 0, 1);
    CGContextFillRect(gray, CGRectMake(0, 0, 1, 1));
    CGContextSetGrayFillColor(gray, 0.5, 1);
    CGContextFillRect(gray, CGRectMake(1, 0, 1, 1));
    auto* g = static_cast<uint8_t*>(CGBitmapContextGetData(gray));
    EXPECT_EQ(g[0], 76); // luminance of pure red
    EXPECT_NEAR(g[1], 128, 1);
    EXPECT_EQ(g[2], 0);

    auto alpha = CGBitmapContextCreate(nullptr, 3, 1, 8, 0, nullptr, kCGImageAlphaOnly);
    ASSERT_TRUE(alpha);
    CGContextSetRGBFillColor(alpha, 0.2, 0.9, 0.4, 0.5);
    CGContextFillRect(alpha, CGRectMake(0, 0, 2, 1));
    auto* a = static_cast<uint8_t*>(CGBitmapContextGetData(alpha));
    EXPECT_NEAR(a[0], 128, 1);
    EXPECT_NEAR(a[1], 128, 1);
    EXPECT_EQ(a[2], 0);
    auto image = CGBitmapContextCreateImage(alpha);
    EXPECT_EQ(CGImageGetAlphaInfo(image), kCGImageAlphaOnly);
    EXPECT_FALSE(CGImageGetColorSpace(image));
}

TEST(CGContext, CallerMemoryIsUpToDateAfterEveryOperation)
{
    std::vector<uint8_t> memory(2 * 2 * 4, 0);
    auto c = CGBitmapContextCreate(memory.data(), 2, 2, 8, 8, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedLast);
    ASSERT_TRUE(c);
    CGContextSetRGBFillColor(c, 0, 0, 1, 1);
    CGContextFillRect(c, CGRectMake(0, 1, 1, 1));
    // Top-left pixel, read straight from the caller's memory.
    EXPECT_EQ(memory[2], 255);
    EXPECT_EQ(memory[3], 255);
    // Changes the caller makes are seen by the next operation.
    memory[4 + 0] = 255, memory[4 + 3] = 255;
    CGContextSetRGBFillColor(c, 0, 1, 0, 1);
    CGContextFillRect(c, CGRectMake(0, 0, 1, 1));
    EXPECT_EQ(memory[4], 255);
    auto image = CGBitmapContextCreateImage(c);
    EXPECT_EQ(pixelAt(image, 1, 0), (RGBA { 255, 0, 0, 255 }));
}

TEST(CGContext, TransformsComposeLikeThePlatform)
{
    auto c = makeRGBAContext(10, 10);
    CGContextTranslateCTM(c, 5, 0);
    CGContextScaleCTM(c, 2, 1);
    CGContextRotateCTM(c, M_PI / 2);
    CGPoint p = CGContextConvertPointToDeviceSpace(c, CGPointMake(1, 0));
    EXPECT_NEAR(p.x, 5, 1e-9);
    EXPECT_NEAR(p.y, 1, 1e-9);
    CGContextConcatCTM(c, CGAffineTransformMakeTranslation(0, -1));
    CGAffineTransform t = CGContextGetCTM(c);
    CGPoint q = CGPointApplyAffineTransform(CGPointMake(1, 1), t);
    EXPECT_NEAR(q.x, 5, 1e-9);
    EXPECT_NEAR(q.y, 1, 1e-9);
    CGPoint back = CGContextConvertPointToUserSpace(c, q);
    EXPECT_NEAR(back.x, 1, 1e-9);
    EXPECT_NEAR(back.y, 1, 1e-9);
}

TEST(CGContext, SaveAndRestoreCoverColourTransformAlphaAndClip)
{
    auto c = makeRGBAContext(4, 4);
    CGContextSetRGBFillColor(c, 1, 0, 0, 1);
    CGContextSaveGState(c);
    CGContextSetRGBFillColor(c, 0, 1, 0, 1);
    CGContextTranslateCTM(c, 2, 0);
    CGContextSetAlpha(c, 0.5);
    CGContextClipToRect(c, CGRectMake(0, 0, 1, 1));
    CGContextSetInterpolationQuality(c, kCGInterpolationHigh);
    CGContextRestoreGState(c);
    EXPECT_EQ(CGContextGetInterpolationQuality(c), kCGInterpolationDefault);
    CGContextFillRect(c, CGRectMake(0, 0, 4, 4));
    EXPECT_EQ(pixelAt(c, 3, 0), (RGBA { 255, 0, 0, 255 }));
    // An unbalanced restore is ignored.
    CGContextRestoreGState(c);
    CGContextFillRect(c, CGRectMake(0, 0, 1, 1));
}

TEST(CGContext, AlphaAndBlendModes)
{
    auto c = makeRGBAContext(3, 1);
    CGContextSetRGBFillColor(c, 0, 0, 1, 1);
    CGContextFillRect(c, CGRectMake(0, 0, 3, 1));
    CGContextSetAlpha(c, 0.5);
    CGContextSetRGBFillColor(c, 1, 0, 0, 1);
    CGContextFillRect(c, CGRectMake(0, 0, 1, 1));
    RGBA over = pixelAt(c, 0, 0);
    EXPECT_NEAR(over[0], 128, 1);
    EXPECT_NEAR(over[2], 127, 1);
    EXPECT_EQ(over[3], 255);

    // Copy replaces the destination by the source at the context's alpha.
    CGContextSetBlendMode(c, kCGBlendModeCopy);
    CGContextFillRect(c, CGRectMake(1, 0, 1, 1));
    RGBA copy = pixelAt(c, 1, 0);
    EXPECT_NEAR(copy[0], 128, 1);
    EXPECT_EQ(copy[2], 0);
    EXPECT_NEAR(copy[3], 128, 1);
    // And stays inside its shape: the third pixel is untouched.
    EXPECT_EQ(pixelAt(c, 2, 0), (RGBA { 0, 0, 255, 255 }));

    // Destination-in keeps the destination where the source covers it,
    // limited to the shape drawn.
    CGContextSetAlpha(c, 1);
    CGContextSetBlendMode(c, kCGBlendModeDestinationIn);
    CGContextSetRGBFillColor(c, 0, 0, 0, 0);
    CGContextFillRect(c, CGRectMake(0, 0, 1, 1));
    EXPECT_EQ(pixelAt(c, 0, 0)[3], 0);
    EXPECT_EQ(pixelAt(c, 2, 0), (RGBA { 0, 0, 255, 255 }));

    CGContextClearRect(c, CGRectMake(2, 0, 1, 1));
    EXPECT_EQ(pixelAt(c, 2, 0), (RGBA { 0, 0, 0, 0 }));
}

TEST(CGContext, DrawImageIsUprightAndScaled)
{
    // Top row red, bottom row blue.
    auto image = makeImage(1, 2, kCGImageAlphaPremultipliedLast,
        [](size_t, size_t y) { return y == 0 ? RGBA { 255, 0, 0, 255 } : RGBA { 0, 0, 255, 255 }; });
    auto c = makeRGBAContext(4, 4);
    CGContextSetInterpolationQuality(c, kCGInterpolationNone);
    CGContextDrawImage(c, CGRectMake(0, 0, 4, 4), image);
    EXPECT_EQ(pixelAt(c, 0, 0), (RGBA { 255, 0, 0, 255 }));
    EXPECT_EQ(pixelAt(c, 3, 1), (RGBA { 255, 0, 0, 255 }));
    EXPECT_EQ(pixelAt(c, 0, 2), (RGBA { 0, 0, 255, 255 }));
    EXPECT_EQ(pixelAt(c, 3, 3), (RGBA { 0, 0, 255, 255 }));

    // A flipped CTM turns it upside down; the image stays within its rect.
    auto d = makeRGBAContext(4, 4);
    CGContextTranslateCTM(d, 0, 4);
    CGContextScaleCTM(d, 1, -1);
    CGContextDrawImage(d, CGRectMake(0, 0, 2, 4), image);
    EXPECT_EQ(pixelAt(d, 0, 0), (RGBA { 0, 0, 255, 255 }));
    EXPECT_EQ(pixelAt(d, 0, 3), (RGBA { 255, 0, 0, 255 }));
    EXPECT_EQ(pixelAt(d, 3, 0), (RGBA { 0, 0, 0, 0 }));
}

TEST(CGContext, ImageSnapshotsDoNotChangeWithLaterDrawing)
{
    auto c = makeRGBAContext(2, 2);
    auto before = CGBitmapContextCreateImage(c);
    CGContextSetRGBFillColor(c, 1, 1, 1, 1);
    CGContextFillRect(c, CGRectMake(0, 0, 2, 2));
    auto after = CGBitmapContextCreateImage(c);
    EXPECT_EQ(pixelAt(before, 0, 0), (RGBA { 0, 0, 0, 0 }));
    EXPECT_EQ(pixelAt(after, 0, 0), (RGBA { 255, 255, 255, 255 }));
    EXPECT_EQ(CGImageGetBitsPerPixel(after), 32u);
    EXPECT_EQ(CGImageGetAlphaInfo(after), kCGImageAlphaPremultipliedLast);
    EXPECT_EQ(CGImageGetBytesPerRow(after), 8u);
}

TEST(CGContext, ClipToMaskLimitsDrawingToCoverage)
{
    // An 8-bit image mask: left pixel 0 (paints), right 255 (masked out).
    auto mask = CGImageMaskCreate(2, 1, 8, 8, 2, CGDataProviderCreateWithBytes({ 0, 255 }));
    ASSERT_TRUE(mask);
    auto c = makeRGBAContext(2, 1);
    CGContextSaveGState(c);
    CGContextSetInterpolationQuality(c, kCGInterpolationNone);
    CGContextClipToMask(c, CGRectMake(0, 0, 2, 1), mask);
    CGContextSetRGBFillColor(c, 0, 1, 0, 1);
    CGContextFillRect(c, CGRectMake(0, 0, 2, 1));
    CGContextRestoreGState(c);
    EXPECT_EQ(pixelAt(c, 0, 0), (RGBA { 0, 255, 0, 255 }));
    EXPECT_EQ(pixelAt(c, 1, 0), (RGBA { 0, 0, 0, 0 }));
    // The mask ends with the restored state.
    CGContextFillRect(c, CGRectMake(0, 0, 2, 1));
    EXPECT_EQ(pixelAt(c, 1, 0), (RGBA { 0, 0, 0, 255 }));

    // A gray image is coverage: half gray draws at half strength, and
    // nothing outside the mask's rect is drawn.
    auto gray = CGImageCreate(1, 1, 8, 8, 1, CGColorSpaceCreateDeviceGray(), kCGImageAlphaNone,
        CGDataProviderCreateWithBytes({ 128 }));
    auto d = makeRGBAContext(2, 1);
    CGContextClipToMask(d, CGRectMake(0, 0, 1, 1), gray);
    CGContextSetRGBFillColor(d, 1, 1, 1, 1);
    CGContextFillRect(d, CGRectMake(0, 0, 2, 1));
    EXPECT_NEAR(pixelAt(d, 0, 0)[3], 128, 1);
    EXPECT_EQ(pixelAt(d, 1, 0)[3], 0);
}

TEST(CGContext, PathsArcsAndStrokes)
{
    auto c = makeRGBAContext(20, 20);
    CGContextSetShouldAntialias(c, false);
    CGContextBeginPath(c);
    CGContextAddArc(c, 10, 10, 5, 0, 2 * M_PI, 0);
    EXPECT_FALSE(CGContextIsPathEmpty(c));
    CGRect box = CGContextGetPathBoundingBox(c);
    EXPECT_NEAR(box.origin.x, 5, 1e-6);
    EXPECT_NEAR(box.size.width, 10, 1e-6);
    CGContextFillPath(c);
    EXPECT_TRUE(CGContextIsPathEmpty(c));
    EXPECT_EQ(pixelAt(c, 10, 10)[3], 255);
    EXPECT_EQ(pixelAt(c, 5, 5)[3], 0);

    CGContextSetLineWidth(c, 2);
    CGContextSetRGBStrokeColor(c, 1, 0, 0, 1);
    CGContextStrokeRect(c, CGRectMake(1, 1, 18, 18));
    EXPECT_EQ(pixelAt(c, 1, 10), (RGBA { 255, 0, 0, 255 }));
    EXPECT_EQ(pixelAt(c, 3, 3)[3], 0);
}

TEST(CGContext, LinearGradientStaysBetweenItsEndsUnlessExtended)
{
    CGFloat components[] = { 1, 0, 0, 1, 0, 0, 1, 1 };
    auto gradient = CGGradientCreateWithColorComponents(CGColorSpaceCreateDeviceRGB(), components, nullptr, 2);
    auto c = makeRGBAContext(10, 1);
    CGContextDrawLinearGradient(c, gradient, CGPointMake(2, 0), CGPointMake(8, 0), 0);
    EXPECT_EQ(pixelAt(c, 0, 0)[3], 0);
    EXPECT_EQ(pixelAt(c, 9, 0)[3], 0);
    EXPECT_GT(pixelAt(c, 2, 0)[0], 200);
    EXPECT_GT(pixelAt(c, 7, 0)[2], 200);
    CGContextDrawLinearGradient(c, gradient, CGPointMake(2, 0), CGPointMake(8, 0),
        kCGGradientDrawsAfterEndLocation);
    EXPECT_EQ(pixelAt(c, 9, 0), (RGBA { 0, 0, 255, 255 }));
    EXPECT_EQ(pixelAt(c, 0, 0)[3], 0);
}

TEST(CGContext, LinearGradientKeepsItsEndColoursBetweenItsLastLocationAndItsEnd)
{
    CGFloat components[] = { 1, 0, 0, 1, 0, 0, 1, 1 };
    CGFloat locations[] = { 0.3, 0.5 };
    auto gradient = CGGradientCreateWithColorComponents(CGColorSpaceCreateDeviceRGB(), components, locations, 2);
    auto c = makeRGBAContext(20, 1);
    CGContextDrawLinearGradient(c, gradient, CGPointMake(0, 0), CGPointMake(10, 0), 0);
    EXPECT_EQ(pixelAt(c, 1, 0), (RGBA { 255, 0, 0, 255 })) << "before the first location";
    EXPECT_EQ(pixelAt(c, 8, 0), (RGBA { 0, 0, 255, 255 })) << "after the last location";
    EXPECT_EQ(pixelAt(c, 15, 0)[3], 0) << "beyond the end point";
}

TEST(CGContext, PatternColoursTileTheImage)
{
    auto tile = makeImage(2, 1, kCGImageAlphaPremultipliedLast,
        [](size_t x, size_t) { return x == 0 ? RGBA { 255, 0, 0, 255 } : RGBA { 0, 255, 0, 255 }; });
    auto c = makeRGBAContext(5, 1);
    CGContextSetFillColorWithColor(c, CGColorCreateWithPatternImage(tile));
    CGContextFillRect(c, CGRectMake(0, 0, 5, 1));
    EXPECT_EQ(pixelAt(c, 0, 0), (RGBA { 255, 0, 0, 255 }));
    EXPECT_EQ(pixelAt(c, 1, 0), (RGBA { 0, 255, 0, 255 }));
    EXPECT_EQ(pixelAt(c, 4, 0), (RGBA { 255, 0, 0, 255 }));
}

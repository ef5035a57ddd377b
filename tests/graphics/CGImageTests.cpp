#include "GraphicsTestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

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

// A provider whose writer fills it holds what was written, and nothing when
// the writer fails.
TEST(CGImage, AProviderFilledByItsWriterHoldsWhatItWrote)
{
    auto provider = CGDataProviderCreateWithWriter(3 * 2 * 4, [](uint8_t* bytes) {
        for (size_t i = 0; i < 3 * 2 * 4; ++i)
            bytes[i] = uint8_t(i % 4 == 3 ? 255 : i * 10);
    });
    ASSERT_TRUE(provider);
    ASSERT_EQ(provider->length(), 24u);
    auto image = CGImageCreate(3, 2, 8, 32, 12, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedLast, provider);
    ASSERT_TRUE(image);
    EXPECT_EQ(pixelAt(image, 2, 1), (RGBA { 200, 210, 220, 255 }));
    EXPECT_EQ(CGDataProviderCopyData(provider)[5], 50);
    EXPECT_EQ(CGDataProviderCreateWithWriter(0, [](uint8_t*) {})->length(), 0u);
    EXPECT_THROW(CGDataProviderCreateWithWriter(16, [](uint8_t*) { throw std::runtime_error("no pixels"); }),
        std::runtime_error);
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
    EXPECT_EQ(pixelAt(part, 0, 0), (RGBA { 10, 10, 0, 255 }));
    EXPECT_EQ(pixelAt(part, 1, 1), (RGBA { 20, 20, 0, 255 }));
    EXPECT_FALSE(CGImageCreateWithImageInRect(image, CGRectMake(5, 5, 1, 1)));
}

namespace {

// Draws image into a w x h RGBA context filling it, with the given quality.
CGContextRef drawnSmall(const CGImageRef& image, size_t w, size_t h,
    CGInterpolationQuality quality = kCGInterpolationHigh)
{
    auto context = makeRGBAContext(w, h);
    CGContextSetInterpolationQuality(context, quality);
    CGContextDrawImage(context, CGRectMake(0, 0, double(w), double(h)), image);
    return context;
}

bool near(RGBA a, RGBA b, int tolerance)
{
    for (int i = 0; i < 4; ++i)
        if (std::abs(a[i] - b[i]) > tolerance)
            return false;
    return true;
}

}

TEST(CGImage, ShrinkingAveragesBlocksUpToTheEdges)
{
    // A uniform picture whose size is no multiple of the reduction keeps its
    // colour in the last column and row: partial blocks count only the
    // pixels they hold.
    auto teal = makeImage(1020, 780, kCGImageAlphaPremultipliedLast, [](size_t, size_t) { return RGBA { 0, 128, 128, 255 }; });
    auto small = drawnSmall(teal, 102, 78);
    EXPECT_EQ(teal->largestReductionMade(CGImage::kMaxReduction), 8) << "drawn from an averaged copy";
    for (size_t y : { size_t(0), size_t(38), size_t(77) })
        for (size_t x : { size_t(0), size_t(50), size_t(101) })
            EXPECT_TRUE(near(pixelAt(small, x, y), RGBA { 0, 128, 128, 255 }, 1)) << x << "," << y;

    // Fine detail averages to its mean instead of aliasing.
    auto checker = makeImage(1920, 1080, kCGImageAlphaPremultipliedLast,
        [](size_t x, size_t y) { return (x + y) % 2 ? RGBA { 255, 255, 255, 255 } : RGBA { 0, 0, 0, 255 }; });
    auto grey = drawnSmall(checker, 240, 135);
    for (size_t y : { size_t(0), size_t(67), size_t(134) })
        for (size_t x : { size_t(0), size_t(120), size_t(239) })
            EXPECT_TRUE(near(pixelAt(grey, x, y), RGBA { 128, 128, 128, 255 }, 2)) << x << "," << y;

    // Translucent colour stays the same colour at the same opacity.
    auto glass = makeImage(800, 600, kCGImageAlphaPremultipliedLast, [](size_t, size_t) { return RGBA { 100, 0, 50, 128 }; });
    EXPECT_TRUE(near(pixelAt(drawnSmall(glass, 80, 60), 40, 30), RGBA { 100, 0, 50, 128 }, 1));
}

TEST(CGImage, AReducedCopyAveragesBlocksIntoTheNativeLayout)
{
    // Red in the first four columns, translucent blue after, in R, G, B, A
    // byte order; 7 x 5 by 3 leaves partial blocks at the right and bottom.
    // The copy's bytes are B, G, R, A (pixelAt reads bytes as stored).
    auto image = makeImage(7, 5, kCGImageAlphaPremultipliedLast,
        [](size_t x, size_t) { return x < 4 ? RGBA { 255, 0, 0, 255 } : RGBA { 0, 0, 120, 120 }; });
    auto reduced = CGImageCreateReducedCopy(image, 3);
    ASSERT_TRUE(reduced);
    EXPECT_EQ(CGImageGetWidth(reduced), 3u);
    EXPECT_EQ(CGImageGetHeight(reduced), 2u);
    EXPECT_EQ(CGImageGetBitmapInfo(reduced), kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little);
    EXPECT_EQ(pixelAt(reduced, 0, 0), (RGBA { 0, 0, 255, 255 }));
    // One red column and two blue ones: each stored value is averaged.
    EXPECT_EQ(pixelAt(reduced, 1, 0), (RGBA { 80, 0, 85, 165 }));
    // The last column and row hold one pixel across and two down: only
    // those count.
    EXPECT_EQ(pixelAt(reduced, 2, 1), (RGBA { 120, 0, 0, 120 }));

    auto same = CGImageCreateReducedCopy(image, 1);
    ASSERT_TRUE(same);
    EXPECT_EQ(CGImageGetWidth(same), 7u);
    EXPECT_EQ(pixelAt(same, 3, 4), (RGBA { 0, 0, 255, 255 }));
    EXPECT_EQ(pixelAt(same, 4, 4), (RGBA { 120, 0, 0, 120 }));

    // Colour above its alpha is clamped to it, as every conversion into the
    // native layout does; big-endian words of the same bytes reduce the same.
    auto overbright = makeImage(2, 2, kCGImageAlphaPremultipliedLast, [](size_t, size_t) { return RGBA { 200, 90, 10, 100 }; });
    EXPECT_EQ(pixelAt(CGImageCreateReducedCopy(overbright, 2), 0, 0), (RGBA { 10, 90, 100, 100 }));
    auto bigEndian = CGImageCreate(7, 5, 8, 32, 28, CGColorSpaceCreateDeviceRGB(),
        kCGImageAlphaPremultipliedLast | kCGBitmapByteOrder32Big, CGImageGetDataProvider(image));
    EXPECT_EQ(pixelAt(CGImageCreateReducedCopy(bigEndian, 3), 1, 0), (RGBA { 80, 0, 85, 165 }));

    EXPECT_FALSE(CGImageCreateReducedCopy(nullptr, 2));
    EXPECT_FALSE(CGImageCreateReducedCopy(image, 0));
    EXPECT_FALSE(CGImageCreateReducedCopy(image, CGImage::kMaxReduction + 1));
    auto gray = CGImageCreate(2, 1, 8, 8, 2, CGColorSpaceCreateDeviceGray(), kCGImageAlphaNone,
        CGDataProviderCreateWithBytes({ 10, 20 }));
    EXPECT_FALSE(CGImageCreateReducedCopy(gray, 2)) << "only 32-bit colour is averaged";
}

// The block averages against the plain rounded mean of each block, for
// every factor, on sizes that leave partial blocks at the right and bottom,
// over rows with padding after them; blocks of 255s are the largest sums
// the column sums must hold.
TEST(CGImage, BlockAveragesAreTheRoundedMeansForEveryFactor)
{
    std::mt19937 random(5);
    for (int factor = 1; factor <= CGImage::kMaxReduction; ++factor) {
        // Also rows of many blocks, so that the vectorised loops run whole.
        for (auto [w, h] : { std::pair { 3 * factor + 1, 2 * factor + factor / 2 + 1 }, std::pair { 37, 23 },
                 std::pair { 67 * factor + factor / 2, factor + 1 } }) {
            const size_t stride = size_t(w) * 4 + 12;
            std::vector<uint8_t> in(stride * size_t(h));
            for (auto& byte : in)
                byte = random() % 4 == 0 ? 255 : uint8_t(random());
            for (int y = 0; y < std::min(h, factor); ++y)
                std::fill_n(in.begin() + ptrdiff_t(stride) * y, std::min(w, factor) * 4, 255);
            const int rw = (w + factor - 1) / factor, rh = (h + factor - 1) / factor;
            const size_t outStride = size_t(rw) * 4 + 4;
            std::vector<uint8_t> out(outStride * size_t(rh), 0xEE);
            averagePixelBlocks(in.data(), w, h, stride, factor, out.data(), outStride);
            for (int by = 0; by < rh; ++by)
                for (int bx = 0; bx < rw; ++bx)
                    for (int c = 0; c < 4; ++c) {
                        unsigned sum = 0, count = 0;
                        for (int y = by * factor; y < std::min(h, by * factor + factor); ++y)
                            for (int x = bx * factor; x < std::min(w, bx * factor + factor); ++x, ++count)
                                sum += in[size_t(y) * stride + size_t(x) * 4 + size_t(c)];
                        ASSERT_EQ(out[size_t(by) * outStride + size_t(bx) * 4 + size_t(c)], (sum + count / 2) / count)
                            << "factor " << factor << ", " << w << "x" << h << ", block " << bx << "," << by;
                    }
            EXPECT_EQ(out[outStride - 1], 0xEE) << "nothing is written past a row's pixels";
        }
    }
}

TEST(CGImage, ShrinkingKeepsThingsInTheirPlaces)
{
    // Red on the left half, blue on the right, a green band along the top.
    auto split = makeImage(1600, 1200, kCGImageAlphaPremultipliedLast, [](size_t x, size_t y) {
        if (y < 120) return RGBA { 0, 255, 0, 255 };
        return x < 800 ? RGBA { 255, 0, 0, 255 } : RGBA { 0, 0, 255, 255 };
    });
    auto small = drawnSmall(split, 160, 120);
    EXPECT_TRUE(near(pixelAt(small, 10, 5), RGBA { 0, 255, 0, 255 }, 2));
    EXPECT_TRUE(near(pixelAt(small, 10, 60), RGBA { 255, 0, 0, 255 }, 2));
    EXPECT_TRUE(near(pixelAt(small, 78, 100), RGBA { 255, 0, 0, 255 }, 2));
    EXPECT_TRUE(near(pixelAt(small, 81, 100), RGBA { 0, 0, 255, 255 }, 2));
    EXPECT_TRUE(near(pixelAt(small, 159, 119), RGBA { 0, 0, 255, 255 }, 2));

    // Drawn into a part of a larger context, through a transform.
    auto context = makeRGBAContext(400, 300);
    CGContextSetInterpolationQuality(context, kCGInterpolationHigh);
    CGContextTranslateCTM(context, 100, 50);
    CGContextScaleCTM(context, 2, 2);
    CGContextDrawImage(context, CGRectMake(0, 0, 80, 60), split);
    // The picture covers x 100..259 and, from the top, rows 130..249.
    EXPECT_EQ(pixelAt(context, 99, 200)[3], 0);
    EXPECT_TRUE(near(pixelAt(context, 105, 135), RGBA { 0, 255, 0, 255 }, 2));
    EXPECT_TRUE(near(pixelAt(context, 150, 200), RGBA { 255, 0, 0, 255 }, 2));
    EXPECT_TRUE(near(pixelAt(context, 250, 245), RGBA { 0, 0, 255, 255 }, 2));
    EXPECT_EQ(pixelAt(context, 260, 200)[3], 0);
}

TEST(CGImage, OnlyFilteredDrawingsMuchSmallerThanTheImageAreAveraged)
{
    auto make = [] { return makeImage(1024, 768, kCGImageAlphaPremultipliedLast, [](size_t, size_t) { return RGBA { 9, 9, 9, 255 }; }); };
    auto image = make();
    drawnSmall(image, 1024, 768);
    drawnSmall(image, 700, 500);
    EXPECT_EQ(image->largestReductionMade(CGImage::kMaxReduction), 1) << "not twice as small";
    drawnSmall(image, 100, 75, kCGInterpolationNone);
    EXPECT_EQ(image->largestReductionMade(CGImage::kMaxReduction), 1) << "unfiltered drawing reads the pixels themselves";
    drawnSmall(image, 200, 150);
    EXPECT_EQ(image->largestReductionMade(CGImage::kMaxReduction), 4) << "the copy keeps at least the drawn size";
    // An averaged copy already made serves smaller drawings too.
    drawnSmall(image, 50, 37);
    EXPECT_EQ(image->largestReductionMade(CGImage::kMaxReduction), 4);

    // Made in advance for thumbnails: at least 240 pixels on the longer side.
    auto wide = makeImage(1920, 1080, kCGImageAlphaPremultipliedLast, [](size_t, size_t) { return RGBA { 0, 0, 0, 255 }; });
    wide->prepareReductionForThumbnails();
    EXPECT_EQ(wide->largestReductionMade(CGImage::kMaxReduction), 8);
    auto tiny = makeImage(300, 200, kCGImageAlphaPremultipliedLast, [](size_t, size_t) { return RGBA { 0, 0, 0, 255 }; });
    tiny->prepareReductionForThumbnails();
    EXPECT_EQ(tiny->largestReductionMade(CGImage::kMaxReduction), 1);
}

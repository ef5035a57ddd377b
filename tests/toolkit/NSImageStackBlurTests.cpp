#include <toolkit/NSImageStackBlur.h>

#include <graphics/Graphics.h>
#include <graphics/StackBlur.h>

#include <gtest/gtest.h>

#include <limits>

#include <random>
#include <thread>
#include <tuple>

// The blur as a plain convolution: the triangular kernel (r + 1 − |i|)
// along rows, then columns, each quotient truncated, edges clamped.
static std::vector<uint8_t> referenceBlur(const std::vector<uint8_t>& in, int w, int h, int r)
{
    std::vector<uint8_t> out = in;
    const int divisor = (r + 1) * (r + 1);
    std::vector<int> pass(size_t(w * h));
    for (int c = 0; c < 3; ++c) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                long sum = 0;
                for (int i = -r; i <= r; ++i)
                    sum += long(r + 1 - std::abs(i)) * in[size_t((y * w + std::clamp(x + i, 0, w - 1)) * 4 + c)];
                pass[size_t(y * w + x)] = int(sum / divisor);
            }
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                long sum = 0;
                for (int i = -r; i <= r; ++i)
                    sum += long(r + 1 - std::abs(i)) * pass[size_t(std::clamp(y + i, 0, h - 1) * w + x)];
                out[size_t((y * w + x) * 4 + c)] = uint8_t(sum / divisor);
            }
    }
    return out;
}

static std::vector<uint8_t> randomPixels(std::mt19937& random, int w, int h)
{
    std::vector<uint8_t> pixels(size_t(w * h * 4));
    for (auto& b : pixels)
        b = uint8_t(random());
    return pixels;
}

static Ref<NSImage> imageFromPixels(std::vector<uint8_t> pixels, int w, int h, CGSize size = CGSizeZero)
{
    auto cg = CGImageCreate(size_t(w), size_t(h), 8, 32, size_t(w) * 4, CGColorSpaceCreateDeviceRGB(),
        kCGImageAlphaPremultipliedLast, CGDataProviderCreateWithBytes(std::move(pixels)));
    return NSImage::imageWithCGImage(cg, size);
}

static std::vector<uint8_t> pixelsOf(const Ref<NSImage>& image)
{
    return CGDataProviderCopyData(CGImageGetDataProvider(NSImageStackBlur::CGImage(image)));
}

TEST(NSImageStackBlur, EqualsTheTriangularConvolution)
{
    std::mt19937 random(2024);
    for (int round = 0; round < 60; ++round) {
        int w = 1 + int(random() % 37), h = 1 + int(random() % 29);
        // Radii from 1 to well past the image's sides.
        int r = 1 + int(random() % 60);
        auto pixels = randomPixels(random, w, h);
        auto expected = referenceBlur(pixels, w, h, r);
        NSImageStackBlur::applyStackBlurToBuffer(pixels.data(), w, h, r);
        ASSERT_EQ(pixels, expected) << w << "x" << h << " radius " << r;
    }
}

// Large pictures are cut into bands of rows blurred on several threads, each
// band also reading the rows its windows reach beyond its edges; the bands'
// edges must not show, in place or into another buffer (which takes the
// source's alpha, while the source stays as it was). Sizes and radii give
// many bands, bands only a few radii high, and the double-precision
// division of radii past 89.
TEST(NSImageStackBlur, APictureSplitAmongThreadsEqualsTheConvolution)
{
    std::mt19937 random(77);
    for (auto [w, h, r] : { std::tuple { 613, 389, 7 }, std::tuple { 1031, 257, 40 }, std::tuple { 97, 2711, 3 },
             std::tuple { 700, 1300, 20 }, std::tuple { 180, 1600, 95 } }) {
        auto pixels = randomPixels(random, w, h);
        auto expected = referenceBlur(pixels, w, h, r);
        auto source = pixels;
        std::vector<uint8_t> destination(pixels.size(), 0xEE);
        stackBlurRGBX(source.data(), destination.data(), w, h, r);
        ASSERT_EQ(destination, expected) << w << "x" << h << " radius " << r << " into another buffer";
        ASSERT_EQ(source, pixels);
        NSImageStackBlur::applyStackBlurToBuffer(pixels.data(), w, h, r);
        ASSERT_EQ(pixels, expected) << w << "x" << h << " radius " << r;
    }
    // Radius 0 copies; nothing happens without a buffer.
    std::vector<uint8_t> source { 1, 2, 3, 4, 5, 6, 7, 8 }, destination(8);
    stackBlurRGBX(source.data(), destination.data(), 2, 1, 0);
    EXPECT_EQ(destination, source);
    stackBlurRGBX(nullptr, destination.data(), 2, 1, 3);
    stackBlurRGBX(source.data(), nullptr, 2, 1, 3);
    EXPECT_EQ(destination, source);
}

// The panel's backdrop is blurred on the main thread while preview captures
// run; blurs on several threads at once, each split among the kept threads,
// come out as each does alone.
TEST(NSImageStackBlur, BlursOnSeveralThreadsAtOnceComeOutAsAlone)
{
    std::mt19937 random(8);
    const int w = 800, h = 400;
    std::vector<std::vector<uint8_t>> pictures, alone;
    for (int i = 0; i < 4; ++i) {
        pictures.push_back(randomPixels(random, w, h));
        alone.push_back(pictures.back());
        stackBlurRGBX(alone.back().data(), w, h, 5 + 4 * i);
    }
    std::vector<std::vector<uint8_t>> together(pictures.size());
    std::vector<std::thread> threads;
    for (size_t i = 0; i < pictures.size(); ++i)
        threads.emplace_back([&, i] {
            for (int round = 0; round < 3; ++round) {
                together[i].assign(pictures[i].size(), 0);
                stackBlurRGBX(pictures[i].data(), together[i].data(), w, h, 5 + 4 * int(i));
            }
        });
    for (auto& thread : threads)
        thread.join();
    for (size_t i = 0; i < pictures.size(); ++i)
        EXPECT_EQ(together[i], alone[i]) << "picture " << i;
}

TEST(NSImageStackBlur, LargeRadiiSkipTheDivisionTableWithoutChangingResults)
{
    std::mt19937 random(5);
    auto pixels = randomPixels(random, 9, 7);
    auto expected = referenceBlur(pixels, 9, 7, 300);
    NSImageStackBlur::applyStackBlurToBuffer(pixels.data(), 9, 7, 300);
    EXPECT_EQ(pixels, expected);
}

// Radii past the cap blur as the cap does: the sums of the largest window
// still fit their integers, so a uniform picture stays uniform.
TEST(NSImageStackBlur, RadiiPastTheCapBlurAsTheCap)
{
    std::mt19937 random(11);
    auto pixels = randomPixels(random, 7, 5);
    auto capped = pixels;
    NSImageStackBlur::applyStackBlurToBuffer(capped.data(), 7, 5, NSImageStackBlur::kMaxRadius);
    EXPECT_EQ(capped, referenceBlur(pixels, 7, 5, NSImageStackBlur::kMaxRadius));
    for (int r : { NSImageStackBlur::kMaxRadius + 1, 100000, std::numeric_limits<int>::max() }) {
        auto copy = pixels;
        NSImageStackBlur::applyStackBlurToBuffer(copy.data(), 7, 5, r);
        EXPECT_EQ(copy, capped) << "radius " << r;
    }
    std::vector<uint8_t> white(6 * 3 * 4, 255);
    NSImageStackBlur::applyStackBlurToBuffer(white.data(), 6, 3, 1 << 20);
    EXPECT_EQ(white, std::vector<uint8_t>(6 * 3 * 4, 255));
}

TEST(NSImageStackBlur, UniformImagesOnePixelAndAlpha)
{
    std::vector<uint8_t> uniform;
    for (int i = 0; i < 6 * 4; ++i)
        uniform.insert(uniform.end(), { 10, 200, 77, 255 });
    auto copy = uniform;
    NSImageStackBlur::applyStackBlurToBuffer(copy.data(), 6, 4, 5);
    EXPECT_EQ(copy, uniform);

    std::vector<uint8_t> one { 1, 2, 3, 4 };
    for (int r : { 1, 7, 100 }) {
        NSImageStackBlur::applyStackBlurToBuffer(one.data(), 1, 1, r);
        EXPECT_EQ(one, (std::vector<uint8_t> { 1, 2, 3, 4 }));
    }

    // A transparent pixel next to coloured ones keeps alpha 0 while its
    // colour takes blurred values.
    std::vector<uint8_t> row { 0, 0, 0, 0, 255, 255, 255, 255, 255, 255, 255, 255 };
    NSImageStackBlur::applyStackBlurToBuffer(row.data(), 3, 1, 1);
    EXPECT_EQ(row[3], 0);
    EXPECT_GT(row[0], 0);
    EXPECT_EQ(row[7], 255);

    // Bad arguments leave the buffer alone.
    auto before = row;
    NSImageStackBlur::applyStackBlurToBuffer(row.data(), 3, 1, 0);
    NSImageStackBlur::applyStackBlurToBuffer(row.data(), 0, 1, 3);
    NSImageStackBlur::applyStackBlurToBuffer(nullptr, 3, 1, 3);
    EXPECT_EQ(row, before);
}

TEST(NSImageStackBlur, StackBlurOfImages)
{
    std::mt19937 random(99);
    auto pixels = randomPixels(random, 16, 12);
    for (size_t i = 0; i < pixels.size(); i += 4)
        pixels[i + 3] = 255;
    auto image = imageFromPixels(pixels, 16, 12);
    image->setTemplate(true);
    EXPECT_EQ(NSImageStackBlur::stackBlur(image, 0), image);
    EXPECT_EQ(NSImageStackBlur::stackBlur(image, -3), image);
    auto blurred = NSImageStackBlur::stackBlur(image, 4);
    ASSERT_TRUE(blurred);
    EXPECT_NE(blurred, image);
    EXPECT_FALSE(blurred->isTemplate());
    EXPECT_EQ(blurred->size(), CGSizeMake(16, 12));
    EXPECT_EQ(pixelsOf(blurred), referenceBlur(pixels, 16, 12, 4));
    // The receiver is not touched.
    EXPECT_EQ(pixelsOf(image), pixels);

    // A radius larger than the image.
    EXPECT_EQ(pixelsOf(NSImageStackBlur::stackBlur(image, 50)), referenceBlur(pixels, 16, 12, 50));

    // The blurred image holds exactly the picture's bytes, all written, also
    // when the source's provider holds more than its picture.
    auto longer = pixels;
    longer.insert(longer.end(), 64, 0xAB);
    auto overLonger = NSImage::imageWithCGImage(CGImageCreate(16, 12, 8, 32, 16 * 4, CGColorSpaceCreateDeviceRGB(),
                                                    kCGImageAlphaPremultipliedLast, CGDataProviderCreateWithBytes(longer)),
        CGSizeZero);
    EXPECT_EQ(pixelsOf(NSImageStackBlur::stackBlur(overLonger, 4)), referenceBlur(pixels, 16, 12, 4));

    // Images without area come back as they are.
    auto empty = NSImage::create(CGSizeZero);
    EXPECT_EQ(NSImageStackBlur::stackBlur(empty, 5), empty);
    auto thin = imageFromPixels(std::vector<uint8_t>(4, 255), 1, 1, CGSizeMake(0.6, 5));
    EXPECT_EQ(NSImageStackBlur::stackBlur(thin, 5), thin);
    // Sizes no bitmap can have come back as they are, or give no copy.
    for (CGSize size : { CGSizeMake(std::numeric_limits<double>::quiet_NaN(), 5), CGSizeMake(3e9, 2), CGSizeMake(2, 1e12) }) {
        auto odd = imageFromPixels(std::vector<uint8_t>(4, 255), 1, 1, size);
        EXPECT_EQ(NSImageStackBlur::stackBlur(odd, 5), odd);
        EXPECT_FALSE(NSImageStackBlur::normalize(odd));
    }
}

TEST(NSImageStackBlur, OtherLayoutsAreNormalisedToThePointSize)
{
    // Non-premultiplied pixels are redrawn as premultiplied RGBA first.
    std::vector<uint8_t> plain;
    for (int i = 0; i < 4 * 4; ++i)
        plain.insert(plain.end(), { 255, 0, 0, 255 });
    auto cg = CGImageCreate(4, 4, 8, 32, 16, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaLast,
        CGDataProviderCreateWithBytes(plain));
    auto blurred = NSImageStackBlur::stackBlur(NSImage::imageWithCGImage(cg, CGSizeZero), 2);
    auto result = NSImageStackBlur::CGImage(blurred);
    EXPECT_EQ(CGImageGetAlphaInfo(result), kCGImageAlphaPremultipliedLast);
    EXPECT_EQ(pixelsOf(blurred), plain);

    // A fractional point size: the result is the truncated size.
    auto fractional = imageFromPixels(std::vector<uint8_t>(14 * 9 * 4, 128), 14, 9, CGSizeMake(14.5, 9.7));
    auto fromFractional = NSImageStackBlur::stackBlur(fractional, 3);
    EXPECT_EQ(fromFractional->size(), CGSizeMake(14, 9));
    EXPECT_EQ(CGImageGetWidth(NSImageStackBlur::CGImage(fromFractional)), 14u);
}

// Pixels stored as 32-bit little-endian words (alpha, blue, green, red in
// memory for alpha last) are read as such, not blurred as if red came first.
TEST(NSImageStackBlur, LittleEndianWordsAreBlurredByTheirChannels)
{
    std::mt19937 random(21);
    const int w = 12, h = 9;
    auto rgba = randomPixels(random, w, h);
    for (size_t i = 0; i < rgba.size(); i += 4)
        rgba[i + 3] = 255;
    std::vector<uint8_t> words(rgba.size());
    for (size_t i = 0; i < rgba.size(); i += 4) {
        words[i] = rgba[i + 3];
        words[i + 1] = rgba[i + 2];
        words[i + 2] = rgba[i + 1];
        words[i + 3] = rgba[i];
    }
    auto cg = CGImageCreate(w, h, 8, 32, w * 4, CGColorSpaceCreateDeviceRGB(),
        kCGImageAlphaPremultipliedLast | kCGBitmapByteOrder32Little, CGDataProviderCreateWithBytes(words));
    auto blurred = NSImageStackBlur::stackBlur(NSImage::imageWithCGImage(cg, CGSizeZero), 3);
    ASSERT_TRUE(blurred);
    auto result = NSImageStackBlur::CGImage(blurred);
    ASSERT_EQ(CGImageGetBitmapInfo(result) & kCGBitmapByteOrderMask, 0u) << "redrawn in the blur's own order";
    EXPECT_EQ(pixelsOf(blurred), referenceBlur(rgba, w, h, 3));
}

// Run under AddressSanitizer too: an image whose point size differs from
// its pixel size, as the panel's desktop picture has, must never make the
// blur walk past its buffer.
TEST(NSImageStackBlur, PointSizeApartFromPixelSizeStaysInsideTheBuffer)
{
    std::mt19937 random(3);
    auto pixels = randomPixels(random, 20, 10);
    for (size_t i = 0; i < pixels.size(); i += 4)
        pixels[i + 3] = 255;
    // Set larger than its pixels (a low-density picture stretched to a screen).
    auto stretched = imageFromPixels(pixels, 20, 10, CGSizeMake(40, 20));
    auto a = NSImageStackBlur::stackBlur(stretched, 20);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->size(), CGSizeMake(40, 20));
    auto cgA = NSImageStackBlur::CGImage(a);
    EXPECT_EQ(CGImageGetWidth(cgA), 40u);
    EXPECT_EQ(CGImageGetHeight(cgA), 20u);
    EXPECT_EQ(CGImageGetBytesPerRow(cgA), 160u);

    // Set smaller than its pixels (a high-density picture).
    auto dense = imageFromPixels(pixels, 20, 10, CGSizeMake(10, 5));
    auto b = NSImageStackBlur::stackBlur(dense, 3);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->size(), CGSizeMake(10, 5));
    EXPECT_EQ(CGImageGetWidth(NSImageStackBlur::CGImage(b)), 10u);
    // Its pixels are the blur of the image drawn at its point size.
    auto normalised = NSImageStackBlur::normalize(dense);
    EXPECT_EQ(pixelsOf(b), referenceBlur(pixelsOf(normalised), 10, 5, 3));
}

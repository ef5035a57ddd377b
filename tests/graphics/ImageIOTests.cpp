#include "GraphicsTestSupport.h"

#include <support/EncodedFiles.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

TEST(ImageIO, PNGRoundTripKeepsPixels)
{
    auto image = makeImage(5, 3, kCGImageAlphaLast, [](size_t x, size_t y) {
        return RGBA { int(x * 50), int(y * 100), 7, x == 4 ? 0 : 255 };
    });
    auto png = CGImageCreatePNGData(image);
    ASSERT_FALSE(png.empty());
    auto source = CGImageSourceCreateWithData(png);
    ASSERT_TRUE(source);
    EXPECT_EQ(CGImageSourceGetCount(source), 1u);
    EXPECT_EQ(CGImageSourceGetType(source), kUTTypePNG);
    auto decoded = CGImageSourceCreateImageAtIndex(source, 0);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(CGImageGetWidth(decoded), 5u);
    EXPECT_EQ(CGImageGetHeight(decoded), 3u);
    EXPECT_EQ(CGImageGetAlphaInfo(decoded), kCGImageAlphaLast);
    EXPECT_EQ(pixelAt(decoded, 3, 2), (RGBA { 150, 200, 7, 255 }));
    EXPECT_EQ(pixelAt(decoded, 4, 1)[3], 0);
    EXPECT_FALSE(CGImageSourceCreateImageAtIndex(source, 1));
}

TEST(ImageIO, BadDataGivesNull)
{
    EXPECT_FALSE(CGImageSourceCreateWithData({}));
    EXPECT_FALSE(CGImageSourceCreateWithData({ 'G', 'I', 'F', '8', '9', 'a', 0, 0, 0 }));
    auto image = makeImage(8, 8, kCGImageAlphaLast, [](size_t x, size_t y) { return RGBA { int(x), int(y), 0, 255 }; });
    auto png = CGImageCreatePNGData(image);
    // Every truncation of a valid file before its pixel data ends decodes
    // to null (only the closing 12-byte chunk may be missing); random
    // damage after the signature gives null or a picture, never a crash.
    for (size_t n = 8; n < png.size() - 12; n += 3) {
        std::vector<uint8_t> cut(png.begin(), png.begin() + long(n));
        auto source = CGImageSourceCreateWithData(cut);
        ASSERT_TRUE(source);
        EXPECT_FALSE(CGImageSourceCreateImageAtIndex(source, 0)) << n;
    }
    std::mt19937 random(7);
    for (int i = 0; i < 200; ++i) {
        auto damaged = png;
        for (int k = 0; k < 4; ++k)
            damaged[8 + random() % (damaged.size() - 8)] = uint8_t(random());
        auto decoded = CGImageSourceCreateImageAtIndex(CGImageSourceCreateWithData(damaged), 0);
        if (decoded) {
            EXPECT_EQ(CGImageGetWidth(decoded), 8u);
        }
    }
    EXPECT_FALSE(CGImageSourceCreateImageAtIndex(nullptr, 0));
    EXPECT_FALSE(CGImageSourceCreateWithURL("/nonexistent/picture.png"));
    // Nor from what only stands where a picture file belongs: a device that
    // never ends, or a pipe nothing writes to (the read must not wait).
    EXPECT_FALSE(CGImageSourceCreateWithURL("/dev/zero"));
    auto pipe = std::filesystem::temp_directory_path() / ("quorvex-picture-pipe-" + std::to_string(::getpid()));
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_FALSE(CGImageSourceCreateWithURL(pipe.string()));
    std::filesystem::remove(pipe);
}

// The largest single allocation made since it was last cleared, so a test
// can tell that a decoder refused before asking for memory.
static std::atomic<size_t> largestAllocation { 0 };

void* operator new(size_t size)
{
    size_t seen = largestAllocation.load();
    while (size > seen && !largestAllocation.compare_exchange_weak(seen, size)) { }
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace {

uint32_t crc32(uint32_t crc, const uint8_t* bytes, size_t length)
{
    crc = ~crc;
    for (size_t i = 0; i < length; ++i) {
        crc ^= bytes[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

} // namespace

TEST(ImageIO, RefusesSizesTheDataCannotHoldBeforeAllocating)
{
    // A plain picture large enough to compress far, which must still read.
    auto big = makeImage(2000, 1500, kCGImageAlphaLast, [](size_t, size_t) { return RGBA { 10, 20, 30, 255 }; });
    auto png = CGImageCreatePNGData(big);
    auto decoded = CGImageSourceCreateImageAtIndex(CGImageSourceCreateWithData(png), 0);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(CGImageGetWidth(decoded), 2000u);

    // The same file with a header that claims 32767 x 32767 (and a correct
    // checksum): refused at once, no 4 GB of pixels.
    auto small = CGImageCreatePNGData(makeImage(4, 4, kCGImageAlphaLast, [](size_t, size_t) { return RGBA {}; }));
    auto lyingHeader = [&](uint32_t width, uint32_t height) {
        auto lying = small;
        for (int i = 0; i < 4; ++i) {
            lying[16 + i] = uint8_t(width >> (24 - 8 * i));
            lying[20 + i] = uint8_t(height >> (24 - 8 * i));
        }
        uint32_t crc = crc32(0, lying.data() + 12, 17);
        for (int i = 0; i < 4; ++i)
            lying[29 + i] = uint8_t(crc >> (24 - 8 * i));
        return CGImageSourceCreateWithData(lying);
    };
    auto claim = [&](uint32_t width, uint32_t height) {
        return CGImageSourceCreateImageAtIndex(lyingHeader(width, height), 0);
    };
    auto claimThumbnail = [&](uint32_t width, uint32_t height) {
        return CGImageSourceCreateThumbnailAtIndex(lyingHeader(width, height), 0, 100, 100);
    };
    largestAllocation = 0;
    EXPECT_FALSE(claimThumbnail(32767, 32767));
    EXPECT_FALSE(claimThumbnail(8000, 8000));
    EXPECT_FALSE(claim(32767, 32767));
    EXPECT_FALSE(claim(20000, 20000));
    EXPECT_FALSE(claim(8000, 8000));
    EXPECT_LT(largestAllocation.load(), size_t(1) << 20);
    EXPECT_TRUE(claim(4, 4)) << "the header was patched wrongly";
}

TEST(ImageIO, DestinationsWriteFilesAndData)
{
    auto image = makeImage(2, 2, kCGImageAlphaPremultipliedLast, [](size_t, size_t) { return RGBA { 0, 128, 0, 255 }; });
    std::string path = ::testing::TempDir() + "imageio-test.png";
    auto file = CGImageDestinationCreateWithURL(path, kUTTypePNG, 1);
    ASSERT_TRUE(file);
    EXPECT_FALSE(CGImageDestinationFinalize(file));
    CGImageDestinationAddImage(file, image);
    ASSERT_TRUE(CGImageDestinationFinalize(file));
    auto back = NSImage::imageWithContentsOfFile(path);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->size(), CGSizeMake(2, 2));
    std::remove(path.c_str());

    std::vector<uint8_t> data;
    auto memory = CGImageDestinationCreateWithData(&data, kUTTypePNG, 1);
    CGImageDestinationAddImage(memory, image);
    ASSERT_TRUE(CGImageDestinationFinalize(memory));
    EXPECT_TRUE(CGImageSourceCreateWithData(data));
    EXPECT_FALSE(CGImageDestinationCreateWithData(&data, "public.jpeg", 1));
    EXPECT_FALSE(CGImageDestinationCreateWithURL("/nonexistent/dir/x.png", kUTTypePNG, 2));
    auto unwritable = CGImageDestinationCreateWithURL("/nonexistent/dir/x.png", kUTTypePNG, 1);
    CGImageDestinationAddImage(unwritable, image);
    EXPECT_FALSE(CGImageDestinationFinalize(unwritable));
}


// A picture several times the size wanted is shrunk while it is decoded, by
// the largest whole factor that keeps it at least that size: each pixel is
// the mean of its block weighted by opacity (a transparent pixel lends no
// colour), and nothing near the whole picture's size is ever allocated. An
// interlaced file gives the same picture; one without alpha, the plain mean.
TEST(ImageIO, ThumbnailsAverageBlocksAsTheyDecodeWithoutHoldingTheWholePicture)
{
    const uint32_t width = 1200, height = 901;
    std::vector<uint8_t> rgba(size_t(width) * height * 4);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t* p = rgba.data() + (size_t(y) * width + x) * 4;
            bool hole = x % 3 == 0 && y % 3 == 0;
            p[0] = uint8_t((x % 3) * 100);
            p[1] = uint8_t((y % 3) * 60);
            p[2] = 255;
            p[3] = hole ? 0 : 255;
        }
    auto plain = CGImageCreatePNGData(CGImageCreate(width, height, 8, 32, size_t(width) * 4,
        CGColorSpaceCreateDeviceRGB(), kCGImageAlphaLast, CGDataProviderCreateWithBytes(std::vector<uint8_t>(rgba))));
    auto rowsOf = [&](bool alpha) {
        return [&rgba, alpha](uint32_t y, uint8_t* row) {
            for (uint32_t x = 0; x < width; ++x)
                std::memcpy(row + x * (alpha ? 4 : 3), rgba.data() + (size_t(y) * width + x) * 4, alpha ? 4 : 3);
        };
    };
    auto interlaced = encodePNGRows(width, height, true, true, rowsOf(true));
    auto opaque = encodePNGRows(width, height, false, false, rowsOf(false));
    for (const auto* file : { &plain, &interlaced, &opaque }) {
        auto source = CGImageSourceCreateWithData(*file);
        largestAllocation = 0;
        auto shrunk = CGImageSourceCreateThumbnailAtIndex(source, 0, 400, 300);
        ASSERT_TRUE(shrunk);
        if (file == &plain) {
            EXPECT_LT(largestAllocation.load(), size_t(width) * height) << "a quarter of the whole picture";
        }
        // 3 x 3 blocks, the last row of blocks one row high.
        EXPECT_EQ(CGImageGetWidth(shrunk), 400u);
        EXPECT_EQ(CGImageGetHeight(shrunk), 301u);
        if (file == &opaque) {
            EXPECT_EQ(CGImageGetAlphaInfo(shrunk), kCGImageAlphaNoneSkipLast);
            EXPECT_EQ(pixelAt(shrunk, 17, 40), (RGBA { 100, 60, 255, 255 }));
            EXPECT_EQ(pixelAt(shrunk, 17, 300), (RGBA { 100, 0, 255, 255 }));
            continue;
        }
        EXPECT_EQ(CGImageGetAlphaInfo(shrunk), kCGImageAlphaLast);
        // Eight opaque pixels of red 0, 0, 100, 100, 100, 200, 200, 200 and
        // green 60, 120, 0, 60, 120, 0, 60, 120; alpha 8 of 9 at 255.
        EXPECT_EQ(pixelAt(shrunk, 17, 40), (RGBA { 113, 68, 255, 227 }));
        // The last row of blocks is the picture's row 900 alone: its hole
        // and two opaque pixels.
        EXPECT_EQ(pixelAt(shrunk, 17, 300), (RGBA { 150, 0, 255, 170 }));
        // A picture no larger than wanted is decoded as it is.
        auto whole = CGImageSourceCreateThumbnailAtIndex(source, 0, 2000, 2000);
        ASSERT_TRUE(whole);
        EXPECT_EQ(CGImageGetWidth(whole), width);
        EXPECT_EQ(pixelAt(whole, 4, 7), (RGBA { 100, 60, 255, 255 }));
    }
}

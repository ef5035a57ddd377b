#include "GraphicsTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

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
    EXPECT_EQ(pixelOf(decoded, 3, 2), (RGBA { 150, 200, 7, 255 }));
    EXPECT_EQ(pixelOf(decoded, 4, 1)[3], 0);
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

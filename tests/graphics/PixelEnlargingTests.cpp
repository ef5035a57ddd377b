#include "GraphicsTestSupport.h"

#include <graphics/PixelEnlarging.h>

#include <gtest/gtest.h>

#include <random>

// An opaque picture of random colours, premultiplied RGBA bytes.
static std::vector<uint8_t> randomPicture(int width, int height, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(size_t(width) * size_t(height) * 4);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = i % 4 == 3 ? 255 : static_cast<uint8_t>(random() & 0xFF);
    return bytes;
}

TEST(PixelEnlarging, EnlargesAsTheRendererDrawsAPictureScaledUpEdgesIncluded)
{
    const int width = 13, height = 9;
    auto bytes = randomPicture(width, height, 7);
    auto image = CGImageCreate(width, height, 8, 32, width * 4, CGColorSpaceCreateDeviceRGB(),
        kCGImageAlphaPremultipliedLast, CGDataProviderCreateWithBytes(bytes));
    ASSERT_TRUE(image);
    for (int factor : { 2, 3, 4 }) {
        int outWidth = width * factor, outHeight = height * factor;
        auto drawn = makeRGBAContext(outWidth, outHeight);
        CGContextSetBlendMode(drawn, kCGBlendModeCopy);
        CGContextDrawImage(drawn, CGRectMake(0, 0, outWidth, outHeight), image);
        std::vector<uint8_t> enlarged(size_t(outWidth) * size_t(outHeight) * 4);
        enlargePixelsBilinear(bytes.data(), width, height, size_t(width) * 4, factor, enlarged.data(), outWidth,
            outHeight, size_t(outWidth) * 4);
        int worst = 0;
        for (int y = 0; y < outHeight; ++y)
            for (int x = 0; x < outWidth; ++x)
                for (size_t c = 0; c < 4; ++c)
                    worst = std::max(worst,
                        std::abs(pixelInRows(enlarged.data(), size_t(outWidth) * 4, outWidth, outHeight, x, y)[c]
                            - pixelAt(drawn, x, y)[c]));
        // The renderer keeps seven bits of a weight, this eight.
        EXPECT_LE(worst, factor == 3 ? 3 : 1) << "factor " << factor;
    }
}

TEST(PixelEnlarging, CropsKeepsACopyAtFactorOneAndLeavesSizesOutOfRangeAlone)
{
    const int width = 5, height = 4;
    auto bytes = randomPicture(width, height, 3);
    // One is a copy.
    std::vector<uint8_t> same(bytes.size());
    enlargePixelsBilinear(bytes.data(), width, height, size_t(width) * 4, 1, same.data(), width, height, size_t(width) * 4);
    EXPECT_EQ(same, bytes);
    // A cropped enlargement is the top-left part of the whole one, in rows
    // of any stride.
    std::vector<uint8_t> whole(size_t(20 * 16 * 4));
    enlargePixelsBilinear(bytes.data(), width, height, size_t(width) * 4, 4, whole.data(), 20, 16, 20 * 4);
    std::vector<uint8_t> part(size_t(19 * 32 * 4), 0xAB);
    enlargePixelsBilinear(bytes.data(), width, height, size_t(width) * 4, 4, part.data(), 18, 15, 32 * 4);
    for (int y = 0; y < 15; ++y) {
        EXPECT_TRUE(std::equal(part.begin() + y * 128, part.begin() + y * 128 + 18 * 4, whole.begin() + y * 80)) << y;
        EXPECT_EQ(part[size_t(y) * 128 + 18 * 4], 0xAB) << "nothing past the width";
    }
    // Larger than the factor allows, or a factor out of range: nothing.
    std::vector<uint8_t> untouched(size_t(21 * 17 * 4), 0x11);
    enlargePixelsBilinear(bytes.data(), width, height, size_t(width) * 4, 4, untouched.data(), 21, 16, 21 * 4);
    enlargePixelsBilinear(bytes.data(), width, height, size_t(width) * 4, 0, untouched.data(), 5, 4, 21 * 4);
    enlargePixelsBilinear(bytes.data(), width, height, size_t(width) * 4, kMaxPixelEnlargement + 1, untouched.data(),
        5, 4, 21 * 4);
    EXPECT_TRUE(std::all_of(untouched.begin(), untouched.end(), [](uint8_t b) { return b == 0x11; }));
}

TEST(PixelEnlarging, APartIsThatPartOfTheWholeEnlargementSmallOrSplitOverThreads)
{
    // Large enough that the whole and the big part are done in bands.
    const int width = 203, height = 151, factor = 4;
    const int outWidth = width * factor, outHeight = height * factor;
    auto bytes = randomPicture(width, height, 11);
    std::vector<uint8_t> whole(size_t(outWidth) * size_t(outHeight) * 4);
    enlargePixelsBilinear(bytes.data(), width, height, size_t(width) * 4, factor, whole.data(), outWidth, outHeight,
        size_t(outWidth) * 4);
    struct Part {
        int x0, y0, x1, y1;
    };
    // Within one block, across block edges at both ends, the far edges, and
    // most of the picture.
    for (Part part : { Part { 5, 6, 7, 9 }, Part { 3, 0, 18, 4 }, Part { outWidth - 9, outHeight - 5, outWidth, outHeight },
             Part { 1, 2, outWidth - 3, outHeight - 1 } }) {
        int w = part.x1 - part.x0, h = part.y1 - part.y0;
        // Rows wider than the part: the bytes past it stay as they were.
        size_t outStride = size_t(w + 2) * 4;
        std::vector<uint8_t> out(outStride * size_t(h), 0x5A);
        enlargePixelsBilinearPart(bytes.data(), width, height, size_t(width) * 4, factor, part.x0, part.y0, part.x1,
            part.y1, out.data(), outStride);
        int wrong = 0, spilt = 0;
        for (int y = 0; y < h; ++y) {
            const uint8_t* row = out.data() + size_t(y) * outStride;
            const uint8_t* expected = whole.data() + (size_t(part.y0 + y) * size_t(outWidth) + size_t(part.x0)) * 4;
            wrong += !std::equal(row, row + size_t(w) * 4, expected);
            spilt += row[size_t(w) * 4] != 0x5A;
        }
        EXPECT_EQ(wrong, 0) << part.x0 << "," << part.y0 << " " << w << "x" << h;
        EXPECT_EQ(spilt, 0);
    }
    // A part reaching past the enlarged picture writes nothing.
    std::vector<uint8_t> untouched(64, 0x11);
    enlargePixelsBilinearPart(bytes.data(), width, height, size_t(width) * 4, factor, outWidth - 2, 0, outWidth + 1, 1,
        untouched.data(), 32);
    EXPECT_TRUE(std::all_of(untouched.begin(), untouched.end(), [](uint8_t b) { return b == 0x11; }));
}

// Every byte exactly as mixing the two source rows, then the two pixels of
// that row, each rounded to a byte, gives; for widths of odd and even block
// counts and parts that start and end inside blocks.
TEST(PixelEnlarging, EveryByteIsTheRowMixThenThePixelMixRounded)
{
    auto tap = [](int i, int factor, int& before, int& weight) {
        int twice = 2 * i + 1 - factor;
        before = twice >= 0 ? twice / (2 * factor) : -((-twice + 2 * factor - 1) / (2 * factor));
        weight = ((twice - before * 2 * factor) * 256) / (2 * factor);
    };
    auto mix = [](int a, int b, int weight) { return (a * (256 - weight) + b * weight + 128) >> 8; };
    for (int factor : { 3, 4 })
        for (int width : { 1, 2, 7, 10 }) {
            const int height = 5, outWidth = width * factor, outHeight = height * factor;
            auto bytes = randomPicture(width, height, unsigned(width * factor));
            auto at = [&](int x, int y, int c) {
                return int(bytes[(size_t(std::clamp(y, 0, height - 1)) * size_t(width) + size_t(std::clamp(x, 0, width - 1))) * 4
                    + size_t(c)]);
            };
            const int x0 = std::min(1, outWidth - 1), x1 = outWidth - (outWidth > 2 ? 1 : 0);
            std::vector<uint8_t> out(size_t(x1 - x0) * size_t(outHeight) * 4);
            enlargePixelsBilinearPart(bytes.data(), width, height, size_t(width) * 4, factor, x0, 0, x1, outHeight,
                out.data(), size_t(x1 - x0) * 4);
            int wrong = 0;
            for (int y = 0; y < outHeight; ++y)
                for (int x = x0; x < x1; ++x) {
                    int above, down, left, across;
                    tap(y, factor, above, down);
                    tap(x, factor, left, across);
                    for (int c = 0; c < 4; ++c) {
                        int first = mix(at(left, above, c), at(left, above + 1, c), down);
                        int second = mix(at(left + 1, above, c), at(left + 1, above + 1, c), down);
                        wrong += out[(size_t(y) * size_t(x1 - x0) + size_t(x - x0)) * 4 + size_t(c)] != mix(first, second, across);
                    }
                }
            EXPECT_EQ(wrong, 0) << "factor " << factor << ", width " << width;
        }
}

#include <desktop/x11/X11Pixels.h>
#include <graphics/CGImage.h>

#include <gtest/gtest.h>

#include <random>
#include <vector>

// A screen read of a panel's size and of small odd sizes, rows padded,
// shrunk in runs of rows over several threads: every pixel is the rounded
// mean of its block (narrower and shorter at the edges), in RGBA, opaque.
TEST(X11Pixels, EveryAveragedBlockIsTheRoundedMeanOfItsPixelsAtAnySize)
{
    std::mt19937 random(7);
    for (auto [width, height, factor] : { std::tuple { 1223, 1085, 4 }, { 1223, 1085, 7 }, { 5, 3, 4 }, { 9, 130, 1 } }) {
        const size_t stride = size_t(width) * 4 + 12;
        std::vector<uint8_t> server(stride * size_t(height));
        for (auto& byte : server)
            byte = uint8_t(random());
        const int outWidth = (width + factor - 1) / factor, outHeight = (height + factor - 1) / factor;
        std::vector<uint8_t> shrunk(size_t(outWidth) * outHeight * 4, 0), expected(shrunk.size());
        X11Pixels::averageBlocksToRGBA(server.data(), width, height, stride, factor, shrunk.data());
        averagePixelBlocks(server.data(), width, height, stride, factor, expected.data(), size_t(outWidth) * 4);
        int wrong = 0;
        for (size_t i = 0; i < expected.size(); i += 4) {
            const uint8_t rgba[4] = { expected[i + 2], expected[i + 1], expected[i], 255 };
            wrong += !std::equal(rgba, rgba + 4, shrunk.begin() + ptrdiff_t(i));
        }
        EXPECT_EQ(wrong, 0) << width << "x" << height << " by " << factor;
    }
}

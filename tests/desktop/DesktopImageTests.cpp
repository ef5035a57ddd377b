#include <desktop/DesktopTypes.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

// Cairo's words (alpha, red, green, blue from the high byte down) become
// R, G, B, A bytes; the padding after each source row is not copied, and
// sizes without pixels give an empty picture.
TEST(DesktopImage, ARGB32WordsBecomeRGBABytesRowByRow)
{
    const int w = 3, h = 2;
    const size_t stride = w * 4 + 8;
    std::vector<uint8_t> surface(stride * h, 0x5A);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint32_t word = uint32_t(200 + y) << 24 | uint32_t(10 * x + y) << 16 | uint32_t(100 + x) << 8 | uint32_t(x * y);
            std::memcpy(surface.data() + stride * size_t(y) + size_t(x) * 4, &word, 4);
        }
    auto image = DesktopImage::fromARGB32(surface.data(), w, h, stride);
    ASSERT_EQ(image.rgba.size(), size_t(w * h * 4));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = image.rgba.data() + (size_t(y) * w + size_t(x)) * 4;
            EXPECT_EQ((std::vector<int> { p[0], p[1], p[2], p[3] }), (std::vector<int> { 10 * x + y, 100 + x, x * y, 200 + y }))
                << x << "," << y;
        }
    EXPECT_TRUE(DesktopImage::fromARGB32(surface.data(), 0, h, stride).rgba.empty());
    EXPECT_TRUE(DesktopImage::fromARGB32(surface.data(), w, -1, stride).empty());
}

// Words already in rows of exactly the width convert where they are, to the
// same bytes as the copy; a buffer of another size gives an empty picture.
TEST(DesktopImage, ARGB32WordsInPlaceGiveTheSameBytesAsTheCopy)
{
    const int w = 37, h = 5;
    std::vector<uint8_t> words(size_t(w) * h * 4);
    for (size_t i = 0; i < words.size(); ++i)
        words[i] = uint8_t(i * 7 + i / 3);
    auto copied = DesktopImage::fromARGB32(words.data(), w, h, size_t(w) * 4);
    const uint8_t* buffer = words.data();
    auto converted = DesktopImage::fromARGB32(std::move(words), w, h);
    EXPECT_EQ(converted.width, w);
    EXPECT_EQ(converted.height, h);
    EXPECT_EQ(converted.rgba, copied.rgba);
    EXPECT_EQ(converted.rgba.data(), buffer) << "no copy";
    EXPECT_TRUE(DesktopImage::fromARGB32(std::vector<uint8_t>(w * h * 4 - 4), w, h).empty());
    EXPECT_TRUE(DesktopImage::fromARGB32(std::vector<uint8_t>(w * h * 4 + 4), w, h).empty());
    EXPECT_TRUE(DesktopImage::fromARGB32(std::vector<uint8_t>(), 0, 0).empty());
}

// Back to words: part of the image, into rows with padding after them, gives
// the words the image was made from; a part outside the image writes nothing.
TEST(DesktopImage, PartsGoBackToTheARGB32WordsTheyCameFrom)
{
    const int w = 19, h = 6;
    std::vector<uint8_t> words(size_t(w) * h * 4);
    for (size_t i = 0; i < words.size(); ++i)
        words[i] = uint8_t(i * 13 + 5);
    auto image = DesktopImage::fromARGB32(words.data(), w, h, size_t(w) * 4);
    const int x0 = 3, y0 = 1, x1 = 17, y1 = 5;
    const size_t stride = size_t(x1 - x0) * 4 + 12;
    std::vector<uint8_t> out(stride * size_t(y1 - y0), 0xEE);
    image.copyARGB32(x0, y0, x1, y1, out.data(), stride);
    for (int y = y0; y < y1; ++y) {
        const uint8_t* row = out.data() + stride * size_t(y - y0);
        EXPECT_TRUE(std::equal(row, row + (x1 - x0) * 4, words.data() + (size_t(y) * w + x0) * 4)) << y;
        EXPECT_EQ(row[(x1 - x0) * 4], 0xEE) << "padding untouched";
    }
    std::vector<uint8_t> untouched(out.size(), 0xEE);
    out = untouched;
    image.copyARGB32(-1, 0, 4, 2, out.data(), stride);
    image.copyARGB32(0, 0, w + 1, 2, out.data(), stride);
    image.copyARGB32(5, 3, 5, 4, out.data(), stride);
    EXPECT_EQ(out, untouched);
}

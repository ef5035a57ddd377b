#include "DesktopTypes.h"

#include <foundation/LargeBuffers.h>
#include <foundation/VectorClones.h>

#include <cstring>

namespace {

// Bytes 0 and 2 of every 4-byte pixel trade places (B, G, R, A in memory,
// Cairo's ARGB32 words on a little-endian machine, become R, G, B, A), on
// whole words so that the loop is vectorised; also compiled for the wider
// vectors of recent processors, picked at load time.
QV_VECTOR_CLONES void swapRedAndBlue(uint8_t* pixels, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        uint32_t p;
        std::memcpy(&p, pixels + i * 4, 4);
        p = (p & 0xFF00FF00u) | ((p >> 16) & 0xFFu) | ((p & 0xFFu) << 16);
        std::memcpy(pixels + i * 4, &p, 4);
    }
}

} // namespace

// Row by row: a row is copied as it is, then its red and blue trade places
// while it is still in the nearest cache, in a loop over whole words that
// the compiler vectorises. The bytes are appended, not zeroed first.
DesktopImage DesktopImage::fromARGB32(const uint8_t* data, int width, int height, size_t stride)
{
    DesktopImage image;
    image.width = width;
    image.height = height;
    if (width <= 0 || height <= 0)
        return image;
    const size_t rowBytes = size_t(width) * 4;
    reserveLargeBuffer(image.rgba, rowBytes * size_t(height));
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = data + stride * size_t(y);
        image.rgba.insert(image.rgba.end(), row, row + rowBytes);
        swapRedAndBlue(image.rgba.data() + rowBytes * size_t(y), size_t(width));
    }
    return image;
}

DesktopImage DesktopImage::fromARGB32(std::vector<uint8_t>&& words, int width, int height)
{
    DesktopImage image;
    if (width <= 0 || height <= 0 || words.size() != size_t(width) * size_t(height) * 4)
        return image;
    image.width = width;
    image.height = height;
    image.rgba = std::move(words);
    swapRedAndBlue(image.rgba.data(), size_t(width) * size_t(height));
    return image;
}

// Each row is copied as it is, then its red and blue trade places back.
void DesktopImage::copyARGB32(int x0, int y0, int x1, int y1, uint8_t* data, size_t stride) const
{
    if (x0 < 0 || y0 < 0 || x1 > width || y1 > height || x1 <= x0 || y1 <= y0)
        return;
    const size_t rowBytes = size_t(x1 - x0) * 4;
    for (int y = y0; y < y1; ++y) {
        uint8_t* row = data + stride * size_t(y - y0);
        std::memcpy(row, rgba.data() + (size_t(y) * size_t(width) + size_t(x0)) * 4, rowBytes);
        swapRedAndBlue(row, size_t(x1 - x0));
    }
}

DesktopImage DesktopFrame::image() const
{
    if (empty())
        return {};
    return DesktopImage::fromARGB32(pixels, width, height, stride);
}

DesktopFrame DesktopFrame::of(const DesktopImage& image)
{
    if (image.empty())
        return {};
    auto words = std::make_shared<std::vector<uint8_t>>(image.rgba.size());
    image.copyARGB32(0, 0, image.width, image.height, words->data(), size_t(image.width) * 4);
    return { words->data(), image.width, image.height, size_t(image.width) * 4, words };
}

DesktopFrame DesktopFrame::copyOf(const uint8_t* data, int width, int height, size_t stride)
{
    if (!data || width <= 0 || height <= 0)
        return {};
    auto words = std::make_shared<std::vector<uint8_t>>();
    const size_t rowBytes = size_t(width) * 4;
    reserveLargeBuffer(*words, rowBytes * size_t(height));
    for (int y = 0; y < height; ++y)
        words->insert(words->end(), data + stride * size_t(y), data + stride * size_t(y) + rowBytes);
    return { words->data(), width, height, rowBytes, words };
}

#include "SimShrink.h"

#include <foundation/VectorClones.h>

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// The frame line's alpha as the renderer stores it, and a byte under it
// (premultiplied: the line is black, so each byte keeps 1 - alpha of itself,
// rounded as the renderer's 8-bit multiply rounds).
constexpr unsigned kLineAlpha = static_cast<unsigned>(kSimFrameLineAlpha * 65535) >> 8;

inline uint8_t underLine(uint8_t byte)
{
    unsigned t = byte * (255 - kLineAlpha) + 128;
    return static_cast<uint8_t>((t + (t >> 8)) >> 8);
}

// A pixel (four bytes, alpha in the high byte of the native word) under the
// line.
inline void lineOver(uint8_t* pixel)
{
    for (int c = 0; c < 4; ++c)
        pixel[c] = underLine(pixel[c]);
    pixel[3] = static_cast<uint8_t>(pixel[3] + kLineAlpha);
}

// Adds a row of bytes to the column sums.
QV_VECTOR_CLONES void addRow(uint16_t* __restrict sums, const uint8_t* __restrict row, size_t bytes)
{
    for (size_t i = 0; i < bytes; ++i)
        sums[i] = static_cast<uint16_t>(sums[i] + row[i]);
}

}

void averageWindowBlocks(cairo_surface_t* picture, int phaseX, int phaseY, int reduction, cairo_surface_t* copy)
{
    cairo_surface_flush(picture);
    cairo_surface_flush(copy);
    const int width = cairo_image_surface_get_width(picture), height = cairo_image_surface_get_height(picture);
    const size_t stride = static_cast<size_t>(cairo_image_surface_get_stride(picture));
    const uint8_t* pixels = cairo_image_surface_get_data(picture);
    const int copyWidth = cairo_image_surface_get_width(copy), copyHeight = cairo_image_surface_get_height(copy);
    const size_t copyStride = static_cast<size_t>(cairo_image_surface_get_stride(copy));
    uint8_t* out = cairo_image_surface_get_data(copy);
    if (!pixels || !out || width < 1 || height < 1 || reduction < 1 || reduction > 16 || phaseX < 0 || phaseY < 0
        || phaseX + width > copyWidth * reduction)
        return;
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    const unsigned block = static_cast<unsigned>(reduction * reduction);
    // Byte sums down the columns of one row of blocks (16 x 16 bytes of 255
    // fit in 16 bits).
    std::vector<uint16_t> sums(static_cast<size_t>(copyWidth) * static_cast<size_t>(reduction) * 4);
    std::vector<uint8_t> edgeRow(rowBytes);
    for (int by = 0; by < copyHeight; ++by) {
        std::fill(sums.begin(), sums.end(), 0);
        uint16_t* into = sums.data() + static_cast<size_t>(phaseX) * 4;
        for (int dy = 0; dy < reduction; ++dy) {
            int y = by * reduction + dy - phaseY;
            if (y < 0 || y >= height)
                continue;
            const uint8_t* row = pixels + static_cast<size_t>(y) * stride;
            if (y == 0 || y == height - 1) {
                // The line runs along the whole top and bottom rows.
                std::copy(row, row + rowBytes, edgeRow.begin());
                for (size_t i = 0; i < rowBytes; i += 4)
                    lineOver(&edgeRow[i]);
                addRow(into, edgeRow.data(), rowBytes);
                continue;
            }
            // Elsewhere it covers the first and last pixels only.
            addRow(into, row, rowBytes);
            for (size_t i : { size_t(0), rowBytes - 4 }) {
                if (i == rowBytes - 4 && width == 1)
                    break;
                uint8_t pixel[4] = { row[i], row[i + 1], row[i + 2], row[i + 3] };
                lineOver(pixel);
                for (int c = 0; c < 4; ++c)
                    into[i + static_cast<size_t>(c)] = static_cast<uint16_t>(into[i + static_cast<size_t>(c)] - row[i + static_cast<size_t>(c)] + pixel[c]);
            }
        }
        uint8_t* outRow = out + static_cast<size_t>(by) * copyStride;
        for (int bx = 0; bx < copyWidth; ++bx) {
            const uint16_t* from = sums.data() + static_cast<size_t>(bx) * static_cast<size_t>(reduction) * 4;
            for (int c = 0; c < 4; ++c) {
                unsigned sum = 0;
                for (int dx = 0; dx < reduction; ++dx)
                    sum += from[dx * 4 + c];
                outRow[bx * 4 + c] = static_cast<uint8_t>((sum + block / 2) / block);
            }
        }
    }
    cairo_surface_mark_dirty(copy);
}

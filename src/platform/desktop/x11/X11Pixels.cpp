#include "X11Pixels.h"

#include <foundation/VectorClones.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace X11Pixels {

QV_VECTOR_CLONES bool rowIsOpaque(const uint8_t* argb, int width)
{
    uint8_t all = 0xff;
    for (int x = 0; x < width; ++x)
        all &= argb[size_t(x) * 4 + 3];
    return all == 0xff;
}

// Blue, green and red sit where the server wants them; only the alpha
// byte, which the server ignores, is made opaque.
void blendToServer(const uint8_t* argb, uint8_t* row, int width, const uint8_t* under, int offset, int underWidth,
    uint8_t emptyGrey, const uint8_t* backdrop)
{
    for (int x = 0; x < width; ++x) {
        const uint8_t* p = argb + size_t(x) * 4;
        uint8_t* out = row + size_t(x) * 4;
        unsigned a = p[3];
        int bx = x + offset;
        if (a == 255) {
            out[0] = p[0], out[1] = p[1], out[2] = p[2];
        } else if (const uint8_t* b = under && bx >= 0 && bx < underWidth ? under + size_t(bx) * 4 : backdrop) {
            unsigned rest = 255 - a;
            for (int c = 0; c < 3; ++c)
                out[c] = uint8_t(std::min(255u, p[c] + (b[c] * rest + 127) / 255));
        } else if (a > 0) {
            for (int c = 0; c < 3; ++c)
                out[c] = uint8_t(std::min(255u, p[c] * 255u / a));
        } else {
            out[0] = out[1] = out[2] = emptyGrey;
        }
        out[3] = 0xff;
    }
}

QV_VECTOR_CLONES void serverToRGBA(const uint8_t* __restrict server, uint8_t* __restrict rgba, size_t count, bool withAlpha)
{
    uint8_t opaque = withAlpha ? 0 : 0xff;
    for (size_t i = 0; i < count; ++i) {
        rgba[i * 4] = server[i * 4 + 2];
        rgba[i * 4 + 1] = server[i * 4 + 1];
        rgba[i * 4 + 2] = server[i * 4];
        rgba[i * 4 + 3] = server[i * 4 + 3] | opaque;
    }
}

namespace {

// Adds a row of bytes to the column sums (16 rows of 255 still fit).
QV_VECTOR_CLONES void addRow(uint16_t* __restrict sums, const uint8_t* __restrict row, size_t bytes)
{
    for (size_t i = 0; i < bytes; ++i)
        sums[i] = uint16_t(sums[i] + row[i]);
}

}

// Each band of `factor` rows is summed down its columns, reading the source
// once in order; the blocks' sums across, at most 16 x 16 x 255, are then
// divided with rounding, and blue and red trade places on the way out.
void averageBlocksToRGBA(const uint8_t* server, int width, int height, size_t stride, int factor, uint8_t* rgba)
{
    if (!server || !rgba || width < 1 || height < 1 || factor < 1 || factor > kMaxBlock)
        return;
    const int reducedWidth = (width + factor - 1) / factor;
    const size_t rowBytes = size_t(width) * 4;
    std::vector<uint16_t> columns(rowBytes);
    uint8_t* out = rgba;
    for (int top = 0; top < height; top += factor) {
        const int rows = std::min(factor, height - top);
        std::fill(columns.begin(), columns.end(), uint16_t(0));
        for (int k = 0; k < rows; ++k)
            addRow(columns.data(), server + stride * size_t(top + k), rowBytes);
        for (int bx = 0; bx < reducedWidth; ++bx, out += 4) {
            const int left = bx * factor, across = std::min(factor, width - left);
            const unsigned count = unsigned(across * rows);
            unsigned sum[3] = {};
            for (int i = 0; i < across; ++i)
                for (int c = 0; c < 3; ++c)
                    sum[c] += columns[size_t(left + i) * 4 + c];
            out[0] = uint8_t((sum[2] + count / 2) / count);
            out[1] = uint8_t((sum[1] + count / 2) / count);
            out[2] = uint8_t((sum[0] + count / 2) / count);
            out[3] = 0xff;
        }
    }
}

}

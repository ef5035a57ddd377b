#include "X11Pixels.h"

#include <foundation/ParallelFor.h>
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

// Sums a band of rows of bytes down their columns (16 rows of 255 still
// fit): four rows a pass, so that the sums are stored less often.
QV_VECTOR_CLONES void sumColumns(uint16_t* __restrict sums, const uint8_t* const* rows, int count, size_t bytes)
{
    for (int k = 0; k < count; k += 4) {
        const uint8_t* __restrict a = rows[k];
        const uint8_t* __restrict b = rows[std::min(k + 1, count - 1)];
        const uint8_t* __restrict c = rows[std::min(k + 2, count - 1)];
        const uint8_t* __restrict d = rows[std::min(k + 3, count - 1)];
        // Rows past the band's end are the last row again, weighed 0.
        const uint16_t wb = k + 1 < count, wc = k + 2 < count, wd = k + 3 < count, keep = k > 0;
        for (size_t i = 0; i < bytes; ++i)
            sums[i] = uint16_t(sums[i] * keep + a[i] + b[i] * wb + c[i] * wc + d[i] * wd);
    }
}

// The rounded means of `count` blocks of `across` columns, four sums a
// column, in the same order. The division is a multiplication by the
// reciprocal: (sum + ½) / n in single precision lies less than ½ / n from
// the exact quotient for sums below 2¹⁶, so its whole part is exact.
template <int F>
inline __attribute__((always_inline)) void blockMeans(
    uint8_t* __restrict out, const uint16_t* __restrict columns, int count, int across, unsigned n)
{
    const int width = F ? F : across;
    const float inverse = 1.0f / float(n);
    const float half = float(n / 2) + 0.5f;
    for (int x = 0; x < count; ++x)
        for (int c = 0; c < 4; ++c) {
            unsigned sum = 0;
            for (int i = 0; i < width; ++i)
                sum += columns[size_t(x * width + i) * 4 + c];
            out[size_t(x) * 4 + c] = uint8_t(int32_t((float(sum) + half) * inverse));
        }
}

// The shrink the backdrop asks for (a quarter) with a fixed loop shape the
// compiler vectorises; any other factor with a loop of its length.
QV_VECTOR_CLONES void meansOfBlocks(uint8_t* out, const uint16_t* columns, int count, int factor, unsigned n)
{
    if (factor == 4)
        blockMeans<4>(out, columns, count, 4, n);
    else
        blockMeans<0>(out, columns, count, factor, n);
}

// Blue and red trade places; the pixel is made opaque.
QV_VECTOR_CLONES void toOpaqueRGBA(uint8_t* pixels, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        uint32_t p;
        std::memcpy(&p, pixels + i * 4, 4);
        p = (p & 0x0000FF00u) | ((p >> 16) & 0xFFu) | ((p & 0xFFu) << 16) | 0xFF000000u;
        std::memcpy(pixels + i * 4, &p, 4);
    }
}

}

// Each band of `factor` rows is summed down its columns, reading the source
// once in order; the blocks across are then averaged in the server's order,
// and each row of the result turned into RGBA. The rows of the result are
// made in runs spread over the cores (a panel's backdrop is read while a
// person waits for the panel).
void averageBlocksToRGBA(const uint8_t* server, int width, int height, size_t stride, int factor, uint8_t* rgba)
{
    if (!server || !rgba || width < 1 || height < 1 || factor < 1 || factor > kMaxBlock)
        return;
    const int reducedWidth = (width + factor - 1) / factor, reducedHeight = (height + factor - 1) / factor;
    const int fullBlocks = width / factor, lastColumns = width - fullBlocks * factor;
    const size_t rowBytes = size_t(width) * 4;
    constexpr int kRowsARun = 16;
    parallelFor(size_t(reducedHeight + kRowsARun - 1) / kRowsARun, [&](size_t run) {
        std::vector<uint16_t> columns(rowBytes);
        const int first = int(run) * kRowsARun, end = std::min(reducedHeight, first + kRowsARun);
        for (int top = first * factor; top < end * factor; top += factor) {
            const int rows = std::min(factor, height - top);
            const uint8_t* band[kMaxBlock];
            for (int k = 0; k < rows; ++k)
                band[k] = server + stride * size_t(top + k);
            sumColumns(columns.data(), band, rows, rowBytes);
            uint8_t* out = rgba + size_t(top / factor) * size_t(reducedWidth) * 4;
            meansOfBlocks(out, columns.data(), fullBlocks, factor, unsigned(factor * rows));
            // The narrower block at the right edge.
            if (lastColumns)
                meansOfBlocks(out + size_t(fullBlocks) * 4, columns.data() + size_t(fullBlocks * factor) * 4, 1,
                    lastColumns, unsigned(lastColumns * rows));
            toOpaqueRGBA(out, size_t(reducedWidth));
        }
    });
}

}

#include "CGImage.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Adds a row's bytes to the column sums; 16 rows of 255 still fit.
void addRow(uint16_t* __restrict sums, const uint8_t* __restrict row, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        sums[i] = uint16_t(sums[i] + row[i]);
}

// The rounded mean (sum + count / 2) / count of a block's byte sum, by a
// multiplication: with m = ⌈2³² / count⌉, n · m / 2³² exceeds n / count by
// n · (m · count − 2³²) / (count · 2³²) < 1 / count for every n below 2¹⁷
// (a 16 x 16 block of 255s), so its whole part is the quotient's.
struct RoundedMean {
    uint64_t multiplier;
    uint32_t half;
    explicit RoundedMean(uint32_t count)
        : multiplier(((uint64_t(1) << 32) + count - 1) / count)
        , half(count / 2)
    {
    }
    uint8_t operator()(uint32_t sum) const { return uint8_t((uint64_t(sum + half) * multiplier) >> 32); }
};

} // namespace

// Each band of `factor` rows is first summed down its columns, a loop over
// bytes that the compiler vectorises and that reads the source once, in
// order; the blocks are then summed across from those column sums.
void averagePixelBlocks(const uint8_t* in, int width, int height, size_t stride, int factor, uint8_t* out, size_t outStride)
{
    if (!in || !out || width < 1 || height < 1 || factor < 1 || factor > CGImage::kMaxReduction)
        return;
    const int reducedWidth = (width + factor - 1) / factor;
    const int reducedHeight = (height + factor - 1) / factor;
    const size_t rowBytes = size_t(width) * 4;
    const int fullBlocks = width / factor;
    const int lastColumns = width - fullBlocks * factor;
    std::vector<uint16_t> columns(rowBytes);
    for (int y = 0; y < reducedHeight; ++y) {
        const int rows = std::min(factor, height - y * factor);
        std::fill(columns.begin(), columns.end(), 0);
        for (int k = 0; k < rows; ++k)
            addRow(columns.data(), in + size_t(y * factor + k) * stride, rowBytes);
        const RoundedMean full(uint32_t(rows * factor));
        uint8_t* target = out + size_t(y) * outStride;
        const uint16_t* column = columns.data();
        for (int x = 0; x < reducedWidth; ++x) {
            const int count = x < fullBlocks ? factor : lastColumns;
            const RoundedMean mean = x < fullBlocks ? full : RoundedMean(uint32_t(rows * count));
            uint32_t sum[4] = {};
            for (int i = 0; i < count; ++i, column += 4)
                for (int c = 0; c < 4; ++c)
                    sum[c] += column[c];
            for (int c = 0; c < 4; ++c)
                target[size_t(x) * 4 + size_t(c)] = mean(sum[c]);
        }
    }
}

#include "PixelEnlarging.h"

#include <foundation/ParallelFor.h>
#include <foundation/VectorClones.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Weights are in 256ths.
constexpr unsigned kWeightBits = 8;
constexpr unsigned kWeightOne = 1u << kWeightBits;

// Each byte of the two runs mixed with the weight of the second, rounded: a
// loop over bytes the compiler vectorises.
void mixBytes(const uint8_t* first, const uint8_t* second, unsigned weight, uint8_t* out, size_t count)
{
    const auto keep = static_cast<uint16_t>(kWeightOne - weight), take = static_cast<uint16_t>(weight);
    for (size_t i = 0; i < count; ++i)
        out[i] = static_cast<uint8_t>((first[i] * keep + second[i] * take + kWeightOne / 2) >> kWeightBits);
}

// Where output pixel i samples a source of n pixels: the pixel before its
// centre (clamped only by the caller's padding) and the weight of the one
// after it. The centre is (i + 1/2) / factor - 1/2 source pixels.
void tap(int i, int factor, int& before, unsigned& weight)
{
    int twice = 2 * i + 1 - factor;
    int step = 2 * factor;
    before = twice >= 0 ? twice / step : -((-twice + step - 1) / step);
    weight = static_cast<unsigned>(((twice - before * step) << kWeightBits) / step);
}

// Eight bytes or pixels, each byte widened for mixing.
using Bytes32 = uint8_t __attribute__((vector_size(32)));
using Wide32 = uint16_t __attribute__((vector_size(64)));

// Enlarging four times, block k's pixels mix padded pixels k and k + 1 (the
// first two of the block) and k + 1 and k + 2 (the last two), with the
// weights of the four phases. Two blocks are made at once from the eight
// padded pixels from k on: each output byte is mixed as mixBytes mixes it.
// Reads padded pixels firstBlock .. firstBlock + blocks + 5.
QV_VECTOR_CLONES void enlargeBlocksFourTimes(
    const uint8_t* padded, int firstBlock, size_t blocks, const unsigned* weights, uint8_t* out)
{
    Wide32 take;
    for (int i = 0; i < 32; ++i)
        take[i] = static_cast<uint16_t>(weights[(i / 4) % 4]);
    const Wide32 keep = kWeightOne - take;
    const uint8_t* in = padded + size_t(firstBlock) * 4;
    for (size_t k = 0; k + 2 <= blocks; k += 2) {
        Bytes32 source;
        std::memcpy(&source, in + k * 4, sizeof source);
        Bytes32 first = __builtin_shuffle(source,
            Bytes32 { 0, 1, 2, 3, 0, 1, 2, 3, 4, 5, 6, 7, 4, 5, 6, 7, 4, 5, 6, 7, 4, 5, 6, 7, 8, 9, 10, 11, 8, 9, 10, 11 });
        Bytes32 second = __builtin_shuffle(source,
            Bytes32 { 4, 5, 6, 7, 4, 5, 6, 7, 8, 9, 10, 11, 8, 9, 10, 11, 8, 9, 10, 11, 8, 9, 10, 11, 12, 13, 14, 15, 12,
                13, 14, 15 });
        Wide32 mixed = (__builtin_convertvector(first, Wide32) * keep + __builtin_convertvector(second, Wide32) * take
                           + kWeightOne / 2)
            >> kWeightBits;
        Bytes32 result = __builtin_convertvector(mixed, Bytes32);
        std::memcpy(out + k * 16, &result, sizeof result);
    }
    if (blocks % 2) {
        size_t k = blocks - 1;
        for (int j = 0; j < 4; ++j)
            mixBytes(in + (k + size_t(j / 2)) * 4, in + (k + size_t(j / 2) + 1) * 4, weights[j], out + k * 16 + size_t(j) * 4, 4);
    }
}

// The rows y0..y1 of the part, written from out.
void enlargeRows(const uint8_t* in, int width, int height, size_t stride, int factor, int x0, int x1, int y0, int y1,
    uint8_t* out, size_t outStride)
{
    const size_t rowBytes = size_t(width) * 4;
    // A row mixed between its two source rows, with one pixel more on each
    // side (the edge pixel again), so every tap reads inside it; and room
    // for the whole vectors the four times enlargement reads past its end.
    std::vector<uint8_t> padded(rowBytes + 8 + 32);
    // The output pixels of one phase (the same place within every block of
    // factor pixels) share their offset and weight along the row: each
    // phase is one mix of two runs of the padded row, later interleaved.
    // Only the blocks the columns reach are mixed.
    const int firstBlock = x0 / factor, endBlock = (x1 + factor - 1) / factor;
    const size_t blockCount = size_t(endBlock - firstBlock);
    struct Phase {
        int before;
        unsigned weight;
        std::vector<uint32_t> pixels;
    };
    std::vector<Phase> phases(static_cast<size_t>(factor));
    for (int j = 0; j < factor; ++j) {
        tap(j, factor, phases[size_t(j)].before, phases[size_t(j)].weight);
        phases[size_t(j)].pixels.resize(blockCount);
    }
    // Four times, the phases' taps are the pixel before the block's and the
    // block's own (the first two phases) and the block's own and the next.
    unsigned fourWeights[4];
    bool fourTimes = factor == 4;
    for (int j = 0; j < 4 && fourTimes; ++j) {
        fourWeights[j] = phases[size_t(j)].weight;
        fourTimes = phases[size_t(j)].before == (j < 2 ? -1 : 0);
    }
    for (int y = y0; y < y1; ++y) {
        int above;
        unsigned down;
        tap(y, factor, above, down);
        const uint8_t* upper = in + size_t(std::clamp(above, 0, height - 1)) * stride;
        const uint8_t* lower = in + size_t(std::clamp(above + 1, 0, height - 1)) * stride;
        mixBytes(upper, lower, down, padded.data() + 4, rowBytes);
        std::memcpy(padded.data(), padded.data() + 4, 4);
        std::memcpy(padded.data() + 4 + rowBytes, padded.data() + rowBytes, 4);
        auto* target = reinterpret_cast<uint32_t*>(out + size_t(y - y0) * outStride) - x0;
        if (fourTimes) {
            // Whole blocks at once, the pixels of parts of blocks at the ends
            // one by one.
            auto single = [&](int x) {
                int j = x % 4;
                const uint8_t* first = padded.data() + size_t(x / 4 + phases[size_t(j)].before + 1) * 4;
                mixBytes(first, first + 4, fourWeights[j], reinterpret_cast<uint8_t*>(target + x), 4);
            };
            int x = x0;
            for (; x < x1 && x % 4 != 0; ++x)
                single(x);
            int wholeBlocks = (x1 - x) / 4;
            enlargeBlocksFourTimes(
                padded.data(), x / 4, size_t(wholeBlocks), fourWeights, reinterpret_cast<uint8_t*>(target + x));
            for (x += wholeBlocks * 4; x < x1; ++x)
                single(x);
            continue;
        }
        for (auto& phase : phases) {
            // Block k's pixel of this phase mixes source pixels k + before
            // and the one after: padded pixels k + before + 1 and + 2.
            const uint8_t* first = padded.data() + size_t(firstBlock + phase.before + 1) * 4;
            mixBytes(first, first + 4, phase.weight, reinterpret_cast<uint8_t*>(phase.pixels.data()), blockCount * 4);
        }
        auto pixel = [&](int x) { return phases[size_t(x % factor)].pixels[size_t(x / factor - firstBlock)]; };
        // The part of a block before the first whole one, the whole blocks,
        // then what is left.
        int x = x0;
        for (; x < x1 && x % factor != 0; ++x)
            target[x] = pixel(x);
        int blocks = (x1 - x) / factor;
        for (int j = 0; j < factor; ++j) {
            const uint32_t* pixels = phases[size_t(j)].pixels.data() + (x / factor - firstBlock);
            uint32_t* row = target + x + j;
            for (int k = 0; k < blocks; ++k)
                row[k * factor] = pixels[k];
        }
        for (x += blocks * factor; x < x1; ++x)
            target[x] = pixel(x);
    }
}

// Rows per band when a part is split over threads: enough that a band's
// set-up is small beside its work.
constexpr int kBandRows = 48;
// Parts smaller than this many pixels are done on the calling thread.
constexpr long kParallelPixels = 1 << 17;

}

void enlargePixelsBilinearPart(const uint8_t* in, int width, int height, size_t stride, int factor, int x0, int y0,
    int x1, int y1, uint8_t* out, size_t outStride)
{
    if (!in || !out || width <= 0 || height <= 0 || factor < 1 || factor > kMaxPixelEnlargement || x0 < 0 || y0 < 0
        || x1 <= x0 || y1 <= y0 || x1 > width * factor || y1 > height * factor)
        return;
    if (long(x1 - x0) * long(y1 - y0) < kParallelPixels) {
        enlargeRows(in, width, height, stride, factor, x0, x1, y0, y1, out, outStride);
        return;
    }
    int bands = (y1 - y0 + kBandRows - 1) / kBandRows;
    parallelFor(size_t(bands), [&](size_t band) {
        int first = y0 + int(band) * kBandRows, end = std::min(y1, first + kBandRows);
        enlargeRows(in, width, height, stride, factor, x0, x1, first, end, out + size_t(first - y0) * outStride, outStride);
    });
}

void enlargePixelsBilinear(const uint8_t* in, int width, int height, size_t stride, int factor, uint8_t* out,
    int outWidth, int outHeight, size_t outStride)
{
    enlargePixelsBilinearPart(in, width, height, stride, factor, 0, 0, outWidth, outHeight, out, outStride);
}

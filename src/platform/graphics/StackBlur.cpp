#include "StackBlur.h"

#include <foundation/ParallelFor.h>
#include "internal/BlurQuotient.h"

#include <foundation/VectorClones.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <type_traits>
#include <vector>

// The blur is the triangular convolution, along rows and then along
// columns, each quotient truncated: at step y of a pass, over samples s
// with indices clamped to the picture,
//   sum(y) = Σ_{i=-r..r} (r + 1 − |i|) s(y + i), written as sum / (r + 1)²,
// and the sum moves on by two running halves of the window,
//   sum(y+1) = sum(y) − outgoing(y) + incoming(y) + s(y + r + 1),
//   outgoing = Σ_{i=-r..0} s(y + i),   incoming = Σ_{i=1..r} s(y + i).
// Every pass keeps these three sums for many lanes side by side (a lane is
// one channel of one pixel) and steps all of them at once, so that the
// loop over the lanes is plain arithmetic on arrays, which the compiler
// turns into vector instructions. The vertical pass steps down the rows
// with its lanes along a row; the horizontal pass first turns a strip of
// rows on its side, so that its lanes lie along a row too. The integer sums
// are exact, so the order of the work changes no result.
//
// Large pictures are cut into bands of rows, spread over the cores
// (ParallelFor.h): a full-screen blur runs while a person waits for the
// panel. A band blurs along their rows the rows its windows reach, then
// down its columns, from the source into the destination; no band writes
// what another reads, and nothing picture-sized is allocated on the way.

namespace {

template <class Real>
using Quotient = gfx::BlurQuotient<Real>;

// The arithmetic of a radius: single precision quotients and 16-bit window
// halves (at most 255 · (r + 1), 22950 here) up to radius 89; double
// precision and 32-bit halves past it.
constexpr int kLargestSmallRadius = 89;
static_assert((kLargestSmallRadius + 1) * (kLargestSmallRadius + 1) <= gfx::kLargestSinglePrecisionBlurDivisor);
static_assert(255 * (kLargestSmallRadius + 1) <= INT16_MAX);
struct SmallRadius {
    using Real = float;
    using Half = int16_t;
};
struct LargeRadius {
    using Real = double;
    using Half = int32_t;
};

// One step of a pass over `lanes` lanes: writes the quotients of the sums
// (with keepFourth, every fourth byte of `out`, a pixel's alpha, is copied
// from `kept` instead), then moves the sums on by the sample leaving the
// window, the one that becomes its centre and the one entering it.
template <class Radius, bool keepFourth>
inline __attribute__((always_inline)) void blurStep(int32_t* __restrict sum,
    typename Radius::Half* __restrict outgoing, typename Radius::Half* __restrict incoming,
    const uint8_t* __restrict leaving, const uint8_t* __restrict middle, const uint8_t* __restrict entering,
    uint8_t* __restrict out, const uint8_t* __restrict kept, uint32_t lanes, Quotient<typename Radius::Real> quotient)
{
    using Half = typename Radius::Half;
    for (uint32_t k = 0; k < lanes; ++k) {
        uint8_t q = quotient(sum[k]);
        if constexpr (keepFourth) {
            // A mask rather than a branch, so that the loop stays vectorised.
            uint8_t blurred = uint8_t(-int((k & 3) != 3));
            out[k] = uint8_t((q & blurred) | (kept[k] & ~blurred));
        } else {
            out[k] = q;
        }
        sum[k] += Half(incoming[k] + entering[k] - outgoing[k]);
        outgoing[k] = Half(outgoing[k] + middle[k] - leaving[k]);
        incoming[k] = Half(incoming[k] + entering[k] - middle[k]);
    }
}

// The step, also compiled for the vector instructions of recent processors.
#define QV_BLUR_STEP(name, Radius)                                                                                \
    QV_VECTOR_CLONES void name(int32_t* sum, Radius::Half* outgoing, Radius::Half* incoming, const uint8_t* leaving, \
        const uint8_t* middle, const uint8_t* entering, uint8_t* out, uint32_t lanes,                              \
        Quotient<Radius::Real> quotient)                                                                            \
    {                                                                                                               \
        blurStep<Radius, false>(                                                                                    \
            sum, outgoing, incoming, leaving, middle, entering, out, nullptr, lanes, quotient);                    \
    }                                                                                                               \
    QV_VECTOR_CLONES void name##KeepingFourth(int32_t* sum, Radius::Half* outgoing, Radius::Half* incoming,       \
        const uint8_t* leaving, const uint8_t* middle, const uint8_t* entering, uint8_t* out, const uint8_t* kept,  \
        uint32_t lanes, Quotient<Radius::Real> quotient)                                                            \
    {                                                                                                               \
        blurStep<Radius, true>(sum, outgoing, incoming, leaving, middle, entering, out, kept, lanes, quotient);    \
    }
QV_BLUR_STEP(smallStep, SmallRadius)
QV_BLUR_STEP(largeStep, LargeRadius)
#undef QV_BLUR_STEP

// Adds a row of samples at a weight to the window sums and to one of its
// halves, as a pass starts (2r + 1 rows for each piece of work, as much as
// 2r + 1 steps): vectorised and cloned like the step.
template <class Half>
inline __attribute__((always_inline)) void addToWindow(
    int32_t* __restrict sum, Half* __restrict half, const uint8_t* __restrict samples, int32_t weight, uint32_t lanes)
{
    for (uint32_t k = 0; k < lanes; ++k) {
        sum[k] += samples[k] * weight;
        half[k] = Half(half[k] + samples[k]);
    }
}
QV_VECTOR_CLONES void addToWindow16(int32_t* sum, int16_t* half, const uint8_t* samples, int32_t weight, uint32_t lanes)
{
    addToWindow(sum, half, samples, weight, lanes);
}
QV_VECTOR_CLONES void addToWindow32(int32_t* sum, int32_t* half, const uint8_t* samples, int32_t weight, uint32_t lanes)
{
    addToWindow(sum, half, samples, weight, lanes);
}

template <class Radius, bool keepFourth, class... Arguments>
void step(Arguments... arguments)
{
    if constexpr (std::is_same_v<Radius, SmallRadius>) {
        if constexpr (keepFourth)
            smallStepKeepingFourth(arguments...);
        else
            smallStep(arguments...);
    } else {
        if constexpr (keepFourth)
            largeStepKeepingFourth(arguments...);
        else
            largeStep(arguments...);
    }
}

// What a thread keeps between blurs: the horizontal pass's rows of a band,
// a strip on its side and its blur, and the running sums. Kept, because
// fresh memory costs a page fault per page on its first touch, which for a
// full-screen picture costs more than the blur itself.
struct Scratch {
    std::vector<uint8_t> band, turned, blurred;
    std::vector<int32_t> sums;
    std::vector<int16_t> halves16;
    std::vector<int32_t> halves32;

    template <class Half>
    Half* halves(size_t count)
    {
        if constexpr (sizeof(Half) == 2) {
            halves16.resize(count);
            return halves16.data();
        } else {
            halves32.resize(count);
            return halves32.data();
        }
    }
};

Scratch& scratch()
{
    thread_local Scratch kept;
    return kept;
}

// One blur pass over `lanes` lanes for the steps [from, to): row(i) is the
// row of samples of step i, for any i (the pass clamps nothing itself); the
// quotients of step y go where out(y) points, and with keepFourth every
// fourth of them (a pixel's alpha) is instead the byte of kept(y) there.
template <class Radius, bool keepFourth, class Row, class RowOut, class KeptRow>
void blurLanes(int from, int to, size_t lanes, int r, Quotient<typename Radius::Real> quotient, Row row,
    RowOut out, KeptRow kept)
{
    using Half = typename Radius::Half;
    Scratch& s = scratch();
    s.sums.resize(lanes);
    int32_t* sum = s.sums.data();
    Half* outgoing = s.halves<Half>(2 * lanes);
    Half* incoming = outgoing + lanes;

    // The window around the first step.
    std::fill_n(sum, lanes, 0);
    std::fill_n(outgoing, 2 * lanes, Half(0));
    for (int i = -r; i <= r; ++i) {
        const uint8_t* p = row(from + i);
        const int32_t weight = r + 1 - std::abs(i);
        Half* half = i > 0 ? incoming : outgoing;
        if constexpr (sizeof(Half) == 2)
            addToWindow16(sum, half, p, weight, uint32_t(lanes));
        else
            addToWindow32(sum, half, p, weight, uint32_t(lanes));
    }
    for (int y = from; y < to; ++y) {
        const uint8_t *leaving = row(y - r), *middle = row(y + 1), *entering = row(y + r + 1);
        if constexpr (keepFourth)
            step<Radius, true>(
                sum, outgoing, incoming, leaving, middle, entering, out(y), kept(y), uint32_t(lanes), quotient);
        else
            step<Radius, false>(sum, outgoing, incoming, leaving, middle, entering, out(y), uint32_t(lanes), quotient);
    }
}

// Pixel (x, y) of a height x width matrix of 4-byte pixels, rows srcStride
// bytes apart, becomes pixel (y, x) of the turned matrix, rows dstStride
// bytes apart: four by four pixels at a time, turned in vector registers
// (also compiled for recent processors, whose shuffles take three operands).
QV_VECTOR_CLONES void transposePixels(const uint8_t* src, size_t srcStride, uint8_t* dst, size_t dstStride, size_t height, size_t width)
{
    using Quad = uint32_t __attribute__((vector_size(16)));
    auto load = [](const uint8_t* p) {
        Quad q;
        std::memcpy(&q, p, sizeof q);
        return q;
    };
    auto store = [](uint8_t* p, Quad q) { std::memcpy(p, &q, sizeof q); };
    size_t y = 0;
    for (; y + 4 <= height; y += 4) {
        const uint8_t* row = src + y * srcStride;
        size_t x = 0;
        for (; x + 4 <= width; x += 4) {
            Quad a = load(row + x * 4), b = load(row + srcStride + x * 4), c = load(row + 2 * srcStride + x * 4),
                 d = load(row + 3 * srcStride + x * 4);
            Quad ab01 = __builtin_shufflevector(a, b, 0, 4, 1, 5), ab23 = __builtin_shufflevector(a, b, 2, 6, 3, 7);
            Quad cd01 = __builtin_shufflevector(c, d, 0, 4, 1, 5), cd23 = __builtin_shufflevector(c, d, 2, 6, 3, 7);
            uint8_t* out = dst + x * dstStride + y * 4;
            store(out, __builtin_shufflevector(ab01, cd01, 0, 1, 4, 5));
            store(out + dstStride, __builtin_shufflevector(ab01, cd01, 2, 3, 6, 7));
            store(out + 2 * dstStride, __builtin_shufflevector(ab23, cd23, 0, 1, 4, 5));
            store(out + 3 * dstStride, __builtin_shufflevector(ab23, cd23, 2, 3, 6, 7));
        }
        for (; x < width; ++x)
            for (size_t k = 0; k < 4; ++k)
                std::memcpy(dst + x * dstStride + (y + k) * 4, src + (y + k) * srcStride + x * 4, 4);
    }
    for (; y < height; ++y)
        for (size_t x = 0; x < width; ++x)
            std::memcpy(dst + x * dstStride + y * 4, src + y * srcStride + x * 4, 4);
}

// Rows per strip of the horizontal pass: its lanes are these rows' pixels.
constexpr int kStripRows = 16;

// The horizontal pass over `rows` rows of the source from y0, into `into`
// (the same rows, tightly packed).
template <class Radius>
void blurRows(const uint8_t* source, uint8_t* into, int w, int y0, int rows, int r,
    Quotient<typename Radius::Real> quotient)
{
    Scratch& s = scratch();
    const size_t W = size_t(w), lanes = size_t(rows) * 4;
    s.turned.resize(W * lanes);
    s.blurred.resize(W * lanes);
    // The strip on its side: step x holds pixel x of every row in turn.
    uint8_t* turned = s.turned.data();
    transposePixels(source + size_t(y0) * W * 4, W * 4, turned, lanes, size_t(rows), W);
    uint8_t* blurred = s.blurred.data();
    blurLanes<Radius, false>(
        0, w, lanes, r, quotient, [&](int x) { return turned + size_t(std::clamp(x, 0, w - 1)) * lanes; },
        [&](int x) { return blurred + size_t(x) * lanes; }, [](int) { return nullptr; });
    transposePixels(blurred, lanes, into, W * 4, W, size_t(rows));
}

// Columns per piece of the vertical pass, so that its sums stay in the
// nearest cache.
constexpr int kColumnsPerPiece = 256;

// Blurs the band of rows [y0, y1) of the source into the destination: the
// horizontal pass of the rows the band's windows reach (r beyond its top,
// r + 1 beyond its bottom, where the last step's sums move on; inside the
// picture), then the vertical pass of the band.
template <class Radius>
void blurBand(const uint8_t* source, uint8_t* destination, int w, int h, int y0, int y1, int r,
    Quotient<typename Radius::Real> quotient)
{
    Scratch& s = scratch();
    const int first = std::max(0, y0 - r), last = std::min(h - 1, y1 + r);
    const size_t stride = size_t(w) * 4;
    s.band.resize(size_t(last - first + 1) * stride);
    uint8_t* band = s.band.data();
    for (int y = first; y <= last; y += kStripRows)
        blurRows<Radius>(source, band + size_t(y - first) * stride, w, y, std::min(kStripRows, last + 1 - y), r,
            quotient);
    for (int x0 = 0; x0 < w; x0 += kColumnsPerPiece) {
        const size_t offset = size_t(x0) * 4;
        blurLanes<Radius, true>(
            y0, y1, size_t(std::min(kColumnsPerPiece, w - x0)) * 4, r, quotient,
            [&](int y) { return band + size_t(std::clamp(y, 0, h - 1) - first) * stride + offset; },
            [&](int y) { return destination + size_t(y) * stride + offset; },
            [&](int y) { return source + size_t(y) * stride + offset; });
    }
}

// Pictures below this many pixels are blurred on the calling thread alone:
// handing the work over would cost more than it saves.
constexpr size_t kPixelsWorthSharing = 256 * 1024;

template <class Radius>
void blur(const uint8_t* source, uint8_t* destination, int w, int h, int r)
{
    Quotient<typename Radius::Real> quotient((r + 1) * (r + 1));
    if (size_t(w) * size_t(h) < kPixelsWorthSharing) {
        blurBand<Radius>(source, destination, w, h, 0, h, r, quotient);
        return;
    }
    // Each band also blurs, along its rows, the r rows beyond each of its
    // edges: bands many times r high keep that extra work small, and a few
    // bands per thread let the others take over from a thread slowed down by
    // other work.
    const int bands = std::clamp(h / std::max(64, 8 * r), 1, int(2 * parallelForWidth()));
    parallelFor(size_t(bands), [&](size_t i) {
        int y0 = int(size_t(h) * i / size_t(bands)), y1 = int(size_t(h) * (i + 1) / size_t(bands));
        blurBand<Radius>(source, destination, w, h, y0, y1, r, quotient);
    });
}

template <class Radius>
void blurInto(const uint8_t* source, uint8_t* destination, int w, int h, int r)
{
    if (source != destination) {
        blur<Radius>(source, destination, w, h, r);
        return;
    }
    // The bands read rows that their neighbours write.
    std::vector<uint8_t> copy(source, source + size_t(w) * size_t(h) * 4);
    blur<Radius>(copy.data(), destination, w, h, r);
}

} // namespace

void stackBlurRGBX(const uint8_t* source, uint8_t* destination, int width, int height, int radius)
{
    if (!source || !destination || width < 1 || height < 1)
        return;
    if (radius < 1) {
        if (source != destination)
            std::memcpy(destination, source, size_t(width) * size_t(height) * 4);
        return;
    }
    const int r = std::min(radius, kStackBlurMaxRadius);
    if (r <= kLargestSmallRadius)
        blurInto<SmallRadius>(source, destination, width, height, r);
    else
        blurInto<LargeRadius>(source, destination, width, height, r);
}

void stackBlurRGBX(uint8_t* buffer, int width, int height, int radius)
{
    stackBlurRGBX(buffer, buffer, width, height, radius);
}

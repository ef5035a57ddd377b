#include "CGImage.h"
#include "internal/BlurQuotient.h"
#include "internal/PixelFormat.h"

#include <foundation/VectorClones.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Adds N rows of bytes to the column sums (or sets the sums to them, for
// the first rows of a band): one pass for up to four rows, so that the sums
// are stored less often and several rows stream in at once.
template <int N, bool first>
inline __attribute__((always_inline)) void addRows(uint16_t* __restrict sums, const uint8_t* const* rows, size_t bytes)
{
    const uint8_t* __restrict a = rows[0];
    const uint8_t* __restrict b = rows[N > 1 ? 1 : 0];
    const uint8_t* __restrict c = rows[N > 2 ? 2 : 0];
    const uint8_t* __restrict d = rows[N > 3 ? 3 : 0];
    for (size_t i = 0; i < bytes; ++i) {
        unsigned sum = first ? 0 : sums[i];
        sum += a[i];
        if constexpr (N > 1)
            sum += b[i];
        if constexpr (N > 2)
            sum += c[i];
        if constexpr (N > 3)
            sum += d[i];
        sums[i] = uint16_t(sum);
    }
}

// Sums `count` rows of bytes down their columns; 16 rows of 255 still fit.
// Also compiled for the wider vectors of recent processors.
QV_VECTOR_CLONES void sumColumns(uint16_t* sums, const uint8_t* const* rows, int count, size_t bytes)
{
    for (int k = 0; k < count;) {
        const bool first = k == 0;
        const int n = std::min(4, count - k);
        if (n == 4)
            first ? addRows<4, true>(sums, rows + k, bytes) : addRows<4, false>(sums, rows + k, bytes);
        else if (n == 3)
            first ? addRows<3, true>(sums, rows + k, bytes) : addRows<3, false>(sums, rows + k, bytes);
        else if (n == 2)
            first ? addRows<2, true>(sums, rows + k, bytes) : addRows<2, false>(sums, rows + k, bytes);
        else
            first ? addRows<1, true>(sums, rows + k, bytes) : addRows<1, false>(sums, rows + k, bytes);
        k += n;
    }
}

// The sums of `blocks` blocks of F pixels across a row of column sums, four
// 16-bit lanes a pixel: for a factor known here the loop has a fixed shape
// that the compiler vectorises.
template <int F>
inline __attribute__((always_inline)) void sumBlocksOf(
    uint16_t* __restrict blocks, const uint16_t* __restrict columns, int count)
{
    for (int x = 0; x < count; ++x)
        for (int c = 0; c < 4; ++c) {
            unsigned sum = 0;
            for (int i = 0; i < F; ++i)
                sum += columns[(x * F + i) * 4 + c];
            blocks[x * 4 + c] = uint16_t(sum);
        }
}

QV_VECTOR_CLONES void sumBlocks(uint16_t* blocks, const uint16_t* columns, int factor, int count)
{
    switch (factor) {
    case 1: return sumBlocksOf<1>(blocks, columns, count);
    case 2: return sumBlocksOf<2>(blocks, columns, count);
    case 3: return sumBlocksOf<3>(blocks, columns, count);
    case 4: return sumBlocksOf<4>(blocks, columns, count);
    case 5: return sumBlocksOf<5>(blocks, columns, count);
    case 6: return sumBlocksOf<6>(blocks, columns, count);
    case 7: return sumBlocksOf<7>(blocks, columns, count);
    case 8: return sumBlocksOf<8>(blocks, columns, count);
    case 9: return sumBlocksOf<9>(blocks, columns, count);
    case 10: return sumBlocksOf<10>(blocks, columns, count);
    case 11: return sumBlocksOf<11>(blocks, columns, count);
    case 12: return sumBlocksOf<12>(blocks, columns, count);
    case 13: return sumBlocksOf<13>(blocks, columns, count);
    case 14: return sumBlocksOf<14>(blocks, columns, count);
    case 15: return sumBlocksOf<15>(blocks, columns, count);
    default: return sumBlocksOf<16>(blocks, columns, count);
    }
}

// Rounded means (sum + count / 2) / count of a row of block sums; the sums
// and halves stay below 2¹⁶, the means below 256 (see BlurQuotient).
QV_VECTOR_CLONES void roundedMeans(uint8_t* __restrict out, const uint16_t* __restrict sums, size_t n, uint32_t count)
{
    const gfx::BlurQuotient<float> quotient { int(count) };
    const int32_t half = int32_t(count / 2);
    for (size_t i = 0; i < n; ++i)
        out[i] = quotient(sums[i] + half);
}

// R, G, B, A bytes, premultiplied (as captures come), into the native
// premultiplied B, G, R, A words, each colour at most its alpha as every
// conversion into the native layout makes it.
bool isRGBAPremultiplied(const gfx::PixelFormat& format)
{
    return format.model == gfx::PixelFormat::Model::RGB && format.bitsPerPixel == 32
        && format.alpha == kCGImageAlphaPremultipliedLast
        && (format.byteOrder == kCGBitmapByteOrderDefault || format.byteOrder == kCGBitmapByteOrder32Big);
}

QV_VECTOR_CLONES void toNativeInPlace(uint8_t* pixels, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        uint32_t word;
        std::memcpy(&word, pixels + i * 4, 4);
        // R, G, B, A from the low byte up (a little-endian word, as the
        // native layout itself is).
        const uint32_t r = word & 0xFF, g = (word >> 8) & 0xFF, b = (word >> 16) & 0xFF, a = word >> 24;
        word = std::min(b, a) | std::min(g, a) << 8 | std::min(r, a) << 16 | a << 24;
        std::memcpy(pixels + i * 4, &word, 4);
    }
}

} // namespace

// Each band of `factor` rows is first summed down its columns, a loop over
// bytes that the compiler vectorises and that reads the source once, in
// order. The blocks are then summed across a pixel at a time, its four
// 16-bit column sums added as one 64-bit word (no lane can carry: 16 x 16 x
// 255 fits), and the means taken in another vectorised loop.
void averagePixelBlocks(const uint8_t* in, int width, int height, size_t stride, int factor, uint8_t* out, size_t outStride)
{
    if (!in || !out || width < 1 || height < 1 || factor < 1 || factor > CGImage::kMaxReduction)
        return;
    const int reducedWidth = (width + factor - 1) / factor;
    const int reducedHeight = (height + factor - 1) / factor;
    const size_t rowBytes = size_t(width) * 4;
    const int fullBlocks = width / factor;
    const int lastColumns = width - fullBlocks * factor;
    std::vector<uint16_t> columns(rowBytes), blocks(size_t(reducedWidth) * 4);
    for (int y = 0; y < reducedHeight; ++y) {
        const int rows = std::min(factor, height - y * factor);
        const uint8_t* band[CGImage::kMaxReduction] = {};
        for (int k = 0; k < rows; ++k)
            band[k] = in + size_t(y * factor + k) * stride;
        sumColumns(columns.data(), band, rows, rowBytes);
        sumBlocks(blocks.data(), columns.data(), factor, fullBlocks);
        if (lastColumns) {
            // The narrower block at the right edge.
            uint64_t sum = 0;
            for (int i = 0; i < lastColumns; ++i) {
                uint64_t pixel;
                std::memcpy(&pixel, &columns[size_t(fullBlocks * factor + i) * 4], 8);
                sum += pixel;
            }
            std::memcpy(&blocks[size_t(fullBlocks) * 4], &sum, 8);
        }
        uint8_t* target = out + size_t(y) * outStride;
        roundedMeans(target, blocks.data(), size_t(fullBlocks) * 4, uint32_t(rows * factor));
        if (lastColumns)
            roundedMeans(target + size_t(fullBlocks) * 4, &blocks[size_t(fullBlocks) * 4], 4, uint32_t(rows * lastColumns));
    }
}

CGImageRef CGImageCreateReducedCopy(const CGImageRef& image, int factor)
{
    if (!image || factor < 1 || factor > CGImage::kMaxReduction)
        return nullptr;
    const gfx::PixelFormat& format = image->format();
    if (format.model != gfx::PixelFormat::Model::RGB || format.bitsPerPixel != 32 || format.bitsPerComponent != 8
        || format.width == 0 || format.height == 0)
        return nullptr;
    size_t width = (format.width + size_t(factor) - 1) / size_t(factor);
    size_t height = (format.height + size_t(factor) - 1) / size_t(factor);
    // Averaged in the image's own layout, then turned into the native one
    // (a no-op for native images), which is a pass over the small copy only:
    // in place for R, G, B, A bytes (captures).
    gfx::PixelFormat averagedFormat = format;
    averagedFormat.width = width;
    averagedFormat.height = height;
    averagedFormat.bytesPerRow = width * 4;
    std::vector<uint8_t> averaged(averagedFormat.byteCount());
    averagePixelBlocks(image->dataProvider()->bytes().data(), int(format.width), int(format.height), format.bytesPerRow,
        factor, averaged.data(), averagedFormat.bytesPerRow);
    auto native = gfx::PixelFormat::image(width, height, 8, 32, width * 4, kCGColorSpaceModelRGB,
        kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little);
    if (!native)
        return nullptr;
    if (isRGBAPremultiplied(averagedFormat)) {
        toNativeInPlace(averaged.data(), width * height);
    } else if (!(averagedFormat.isNativeSurface() && averagedFormat.alpha == kCGImageAlphaPremultipliedFirst)) {
        std::vector<uint8_t> converted(native->byteCount());
        for (size_t y = 0; y < height; ++y)
            gfx::unpackRow(averagedFormat, averaged.data() + y * averagedFormat.bytesPerRow,
                reinterpret_cast<uint32_t*>(converted.data() + y * native->bytesPerRow));
        averaged = std::move(converted);
    }
    return makeRef<CGImage>(*native, CGColorSpaceCreateDeviceRGB(), CGDataProviderCreateWithBytes(std::move(averaged)),
        image->shouldInterpolate());
}

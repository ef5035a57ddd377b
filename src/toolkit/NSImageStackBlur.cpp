#include "NSImageStackBlur.h"

#include <graphics/CGContext.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>
#include <vector>

namespace {

// The quotient of a window sum by (r + 1)², through a table while the table
// stays small; both give the same truncating division.
class Divider {
public:
    explicit Divider(int radius)
        : m_divisor((radius + 1) * (radius + 1))
    {
        constexpr long kMaxTableEntries = 1 << 20;
        long entries = 256L * m_divisor;
        if (entries <= kMaxTableEntries) {
            m_table.resize(size_t(entries));
            for (long i = 0; i < entries; ++i)
                m_table[size_t(i)] = uint8_t(i / m_divisor);
        }
    }
    uint8_t operator()(int sum) const { return m_table.empty() ? uint8_t(sum / m_divisor) : m_table[size_t(sum)]; }

private:
    int m_divisor;
    std::vector<uint8_t> m_table;
};

struct Channels {
    int c[3] { 0, 0, 0 };
    void add(const Channels& o)
    {
        c[0] += o.c[0], c[1] += o.c[1], c[2] += o.c[2];
    }
    void sub(const Channels& o)
    {
        c[0] -= o.c[0], c[1] -= o.c[1], c[2] -= o.c[2];
    }
    void addWeighted(const Channels& o, int w)
    {
        c[0] += o.c[0] * w, c[1] += o.c[1] * w, c[2] += o.c[2] * w;
    }
};

// One pass along lines of n samples. read(i) gives the channels of sample i
// of the current line, write(i, q) stores its quotients. The ring buffer
// holds the 2r + 1 samples of the window; each step drops the oldest, whose
// slot receives the sample entering the window.
template <class Read, class Write>
void blurLine(int n, int r, const Divider& divide, std::vector<Channels>& stack, Read read, Write write)
{
    const int div = 2 * r + 1;
    const int r1 = r + 1;
    Channels sum, inSum, outSum;
    for (int i = -r; i <= r; ++i) {
        Channels p = read(std::min(n - 1, std::max(i, 0)));
        stack[size_t(i + r)] = p;
        sum.addWeighted(p, r1 - std::abs(i));
        if (i > 0)
            inSum.add(p);
        else
            outSum.add(p);
    }
    int sp = r;
    for (int x = 0; x < n; ++x) {
        write(x, divide(sum.c[0]), divide(sum.c[1]), divide(sum.c[2]));
        sum.sub(outSum);
        Channels& slot = stack[size_t((sp + r + 1) % div)];
        outSum.sub(slot);
        slot = read(std::min(x + r + 1, n - 1));
        inSum.add(slot);
        sum.add(inSum);
        sp = (sp + 1) % div;
        const Channels& middle = stack[size_t(sp)];
        outSum.add(middle);
        inSum.sub(middle);
    }
}

} // namespace

void NSImageStackBlur::applyStackBlurToBuffer(uint8_t* buffer, int w, int h, int radius)
{
    if (!buffer || w < 1 || h < 1 || radius < 1)
        return;
    const int r = std::min(radius, kMaxRadius);
    Divider divide(r);
    std::vector<Channels> stack(size_t(2 * r + 1));
    // The horizontal pass's results, one plane per channel.
    std::vector<uint8_t> planes[3];
    for (auto& plane : planes)
        plane.resize(size_t(w) * size_t(h));

    for (int y = 0; y < h; ++y) {
        const uint8_t* row = buffer + size_t(y) * size_t(w) * 4;
        size_t base = size_t(y) * size_t(w);
        blurLine(
            w, r, divide, stack,
            [row](int x) {
                const uint8_t* p = row + size_t(x) * 4;
                return Channels { { p[0], p[1], p[2] } };
            },
            [&](int x, uint8_t a, uint8_t b, uint8_t c) {
                planes[0][base + size_t(x)] = a;
                planes[1][base + size_t(x)] = b;
                planes[2][base + size_t(x)] = c;
            });
    }
    for (int x = 0; x < w; ++x) {
        blurLine(
            h, r, divide, stack,
            [&](int y) {
                size_t i = size_t(y) * size_t(w) + size_t(x);
                return Channels { { planes[0][i], planes[1][i], planes[2][i] } };
            },
            [&](int y, uint8_t a, uint8_t b, uint8_t c) {
                uint8_t* p = buffer + (size_t(y) * size_t(w) + size_t(x)) * 4;
                p[0] = a, p[1] = b, p[2] = c;
            });
    }
}

CGImageRef NSImageStackBlur::CGImage(const Ref<NSImage>& image)
{
    return image ? image->CGImageForProposedRect(nullptr, nullptr) : nullptr;
}

Ref<NSImage> NSImageStackBlur::imageWithCGImage(const CGImageRef& image)
{
    return NSImage::imageWithCGImage(image, CGSizeZero);
}

Ref<NSImage> NSImageStackBlur::normalize(const Ref<NSImage>& image)
{
    if (!image)
        return nullptr;
    int32_t w = int32_t(image->size().width), h = int32_t(image->size().height);
    if (w < 1 || h < 1)
        return nullptr;
    auto context = CGBitmapContextCreate(nullptr, size_t(w), size_t(h), 8, size_t(w) * 4,
        CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedLast);
    if (!context)
        return nullptr;
    CGContextSetInterpolationQuality(context, kCGInterpolationDefault);
    CGContextDrawImage(context, CGRectMake(0, 0, w, h), CGImage(image));
    return imageWithCGImage(CGBitmapContextCreateImage(context));
}

Ref<NSImage> NSImageStackBlur::stackBlur(const Ref<NSImage>& image, int radius)
{
    if (!image || radius <= 0)
        return image;
    int w = int(image->size().width), h = int(image->size().height);
    if (w < 1 || h < 1)
        return image;
    auto cg = CGImage(image);
    if (!cg)
        return image;
    // The blur walks a tightly packed buffer of the point size, so any image
    // whose pixels are not exactly that (another layout, byte order, pixel
    // size or row length) is redrawn first; blurring it as it is would read
    // and write past its pixels.
    bool blurrable = CGImageGetBitsPerPixel(cg) == 32 && CGImageGetAlphaInfo(cg) == kCGImageAlphaPremultipliedLast
        && (CGImageGetBitmapInfo(cg) & kCGBitmapByteOrderMask) != kCGBitmapByteOrder32Little
        && CGImageGetWidth(cg) == size_t(w) && CGImageGetHeight(cg) == size_t(h)
        && CGImageGetBytesPerRow(cg) == size_t(w) * 4;
    if (!blurrable) {
        cg = CGImage(normalize(image));
        if (!cg)
            return nullptr;
    }
    try {
        std::vector<uint8_t> buffer = CGDataProviderCopyData(CGImageGetDataProvider(cg));
        auto context = CGBitmapContextCreate(buffer.data(), CGImageGetWidth(cg), CGImageGetHeight(cg),
            CGImageGetBitsPerComponent(cg), CGImageGetBytesPerRow(cg), CGImageGetColorSpace(cg),
            CGImageGetBitmapInfo(cg));
        if (!context)
            return nullptr;
        applyStackBlurToBuffer(buffer.data(), w, h, radius);
        return imageWithCGImage(CGBitmapContextCreateImage(context));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

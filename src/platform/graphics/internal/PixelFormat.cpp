#include "PixelFormat.h"

#include <algorithm>
#include <bit>

static_assert(std::endian::native == std::endian::little, "the pixel conversions assume a little-endian host");

namespace gfx {

static bool isNonPremultiplied(CGImageAlphaInfo a) { return a == kCGImageAlphaLast || a == kCGImageAlphaFirst; }
static bool alphaFirst(CGImageAlphaInfo a)
{
    return a == kCGImageAlphaFirst || a == kCGImageAlphaPremultipliedFirst || a == kCGImageAlphaNoneSkipFirst;
}

// Cairo's own limit on the side of an image surface.
static constexpr size_t kMaxPixelDimension = 32767;

static bool finishRowLength(PixelFormat& f)
{
    if (f.width > kMaxPixelDimension || f.height > kMaxPixelDimension)
        return false;
    size_t minimum = (f.width * f.bitsPerPixel + 7) / 8;
    if (f.bytesPerRow == 0)
        f.bytesPerRow = minimum;
    return f.bytesPerRow >= minimum;
}

std::optional<PixelFormat> PixelFormat::image(size_t width, size_t height, size_t bpc, size_t bpp, size_t bytesPerRow,
    CGColorSpaceModel model, CGBitmapInfo info)
{
    if (!width || !height || bpc != 8 || (info & kCGBitmapFloatComponents))
        return std::nullopt;
    PixelFormat f;
    f.width = width;
    f.height = height;
    f.bitsPerComponent = bpc;
    f.bitsPerPixel = bpp;
    f.bytesPerRow = bytesPerRow;
    f.alpha = static_cast<CGImageAlphaInfo>(info & kCGBitmapAlphaInfoMask);
    f.byteOrder = info & kCGBitmapByteOrderMask;
    bool ok = false;
    switch (model) {
    case kCGColorSpaceModelRGB:
        f.model = Model::RGB;
        if (bpp == 32)
            ok = f.alpha >= kCGImageAlphaPremultipliedLast && f.alpha <= kCGImageAlphaNoneSkipFirst
                && (f.byteOrder == kCGBitmapByteOrderDefault || f.byteOrder == kCGBitmapByteOrder32Big
                    || f.byteOrder == kCGBitmapByteOrder32Little);
        else if (bpp == 24)
            ok = f.alpha == kCGImageAlphaNone && f.byteOrder == kCGBitmapByteOrderDefault;
        break;
    case kCGColorSpaceModelMonochrome:
        f.model = Model::Gray;
        if (bpp == 8)
            ok = f.alpha == kCGImageAlphaNone;
        else if (bpp == 16)
            ok = f.alpha >= kCGImageAlphaPremultipliedLast && f.alpha <= kCGImageAlphaFirst
                && f.byteOrder != kCGBitmapByteOrder32Little && f.byteOrder != kCGBitmapByteOrder32Big;
        break;
    case kCGColorSpaceModelUnknown:
        f.model = Model::AlphaOnly;
        ok = bpp == 8 && f.alpha == kCGImageAlphaOnly;
        break;
    default:
        break;
    }
    if (!ok || !finishRowLength(f))
        return std::nullopt;
    return f;
}

std::optional<PixelFormat> PixelFormat::mask(size_t width, size_t height, size_t bpc, size_t bpp, size_t bytesPerRow)
{
    if (!width || !height || !((bpc == 1 && bpp == 1) || (bpc == 8 && bpp == 8)))
        return std::nullopt;
    PixelFormat f;
    f.model = Model::Mask;
    f.width = width;
    f.height = height;
    f.bitsPerComponent = bpc;
    f.bitsPerPixel = bpp;
    f.bytesPerRow = bytesPerRow;
    f.alpha = kCGImageAlphaNone;
    if (!finishRowLength(f))
        return std::nullopt;
    return f;
}

std::optional<PixelFormat> PixelFormat::context(size_t width, size_t height, size_t bpc, size_t bytesPerRow,
    CGColorSpaceModel model, CGBitmapInfo info)
{
    size_t bpp = model == kCGColorSpaceModelRGB ? 32 : 8;
    auto f = image(width, height, bpc, bpp, bytesPerRow, model, info);
    if (!f || !f->isContextFormat())
        return std::nullopt;
    return f;
}

bool PixelFormat::isContextFormat() const
{
    switch (model) {
    case Model::RGB:
        return bitsPerPixel == 32 && !isNonPremultiplied(alpha);
    case Model::Gray:
        return bitsPerPixel == 8;
    case Model::AlphaOnly:
        return true;
    case Model::Mask:
        return false;
    }
    return false;
}

bool PixelFormat::isNativeSurface() const
{
    if (bytesPerRow % 4)
        return false;
    if (model == Model::AlphaOnly)
        return true;
    return model == Model::RGB && bitsPerPixel == 32 && byteOrder == kCGBitmapByteOrder32Little
        && (alpha == kCGImageAlphaPremultipliedFirst || alpha == kCGImageAlphaNoneSkipFirst);
}

bool PixelFormat::hasAlpha() const
{
    return alpha != kCGImageAlphaNone && alpha != kCGImageAlphaNoneSkipFirst && alpha != kCGImageAlphaNoneSkipLast;
}

// Byte offsets of red, green, blue and alpha inside one 32-bit RGB pixel.
struct Offsets32 {
    int r, g, b, a;
};

static Offsets32 offsets32(const PixelFormat& f)
{
    int logical[4];
    if (alphaFirst(f.alpha)) {
        logical[0] = 1, logical[1] = 2, logical[2] = 3, logical[3] = 0;
    } else {
        logical[0] = 0, logical[1] = 1, logical[2] = 2, logical[3] = 3;
    }
    if (f.byteOrder == kCGBitmapByteOrder32Little)
        for (int& i : logical)
            i = 3 - i;
    return { logical[0], logical[1], logical[2], logical[3] };
}

void unpackRow(const PixelFormat& f, const uint8_t* src, uint32_t* dst)
{
    const size_t w = f.width;
    switch (f.model) {
    case PixelFormat::Model::RGB: {
        if (f.bitsPerPixel == 24) {
            for (size_t x = 0; x < w; ++x, src += 3)
                dst[x] = argb(255, src[0], src[1], src[2]);
            return;
        }
        if (f.isNativeSurface() && f.alpha == kCGImageAlphaPremultipliedFirst) {
            for (size_t x = 0; x < w; ++x, src += 4) {
                uint8_t a = src[3];
                dst[x] = argb(a, std::min(src[2], a), std::min(src[1], a), std::min(src[0], a));
            }
            return;
        }
        auto o = offsets32(f);
        if (!f.hasAlpha()) {
            for (size_t x = 0; x < w; ++x, src += 4)
                dst[x] = argb(255, src[o.r], src[o.g], src[o.b]);
        } else if (isNonPremultiplied(f.alpha)) {
            for (size_t x = 0; x < w; ++x, src += 4) {
                uint8_t a = src[o.a];
                dst[x] = argb(a, premultiply(src[o.r], a), premultiply(src[o.g], a), premultiply(src[o.b], a));
            }
        } else {
            for (size_t x = 0; x < w; ++x, src += 4) {
                uint8_t a = src[o.a];
                dst[x] = argb(a, std::min(src[o.r], a), std::min(src[o.g], a), std::min(src[o.b], a));
            }
        }
        return;
    }
    case PixelFormat::Model::Gray: {
        if (f.bitsPerPixel == 8) {
            for (size_t x = 0; x < w; ++x)
                dst[x] = argb(255, src[x], src[x], src[x]);
            return;
        }
        int gi = alphaFirst(f.alpha) ? 1 : 0;
        if (f.byteOrder == kCGBitmapByteOrder16Little)
            gi = 1 - gi;
        int ai = 1 - gi;
        bool premultiplied = !isNonPremultiplied(f.alpha);
        for (size_t x = 0; x < w; ++x, src += 2) {
            uint8_t a = src[ai];
            uint8_t g = premultiplied ? std::min(src[gi], a) : premultiply(src[gi], a);
            dst[x] = argb(a, g, g, g);
        }
        return;
    }
    case PixelFormat::Model::AlphaOnly:
        for (size_t x = 0; x < w; ++x)
            dst[x] = argb(src[x], 0, 0, 0);
        return;
    case PixelFormat::Model::Mask:
        // Mask samples are inverted coverage: 0 paints, the maximum masks out.
        if (f.bitsPerComponent == 1) {
            for (size_t x = 0; x < w; ++x) {
                bool set = src[x / 8] & (0x80 >> (x % 8));
                dst[x] = set ? 0 : argb(255, 0, 0, 0);
            }
        } else {
            for (size_t x = 0; x < w; ++x)
                dst[x] = argb(255 - src[x], 0, 0, 0);
        }
        return;
    }
}

void packRow(const PixelFormat& f, const uint32_t* src, uint8_t* dst)
{
    const size_t w = f.width;
    switch (f.model) {
    case PixelFormat::Model::RGB: {
        auto o = offsets32(f);
        bool opaque = !f.hasAlpha();
        for (size_t x = 0; x < w; ++x, dst += 4) {
            uint32_t p = src[x];
            dst[o.r] = uint8_t(p >> 16);
            dst[o.g] = uint8_t(p >> 8);
            dst[o.b] = uint8_t(p);
            dst[o.a] = opaque ? 255 : uint8_t(p >> 24);
        }
        return;
    }
    case PixelFormat::Model::Gray:
        for (size_t x = 0; x < w; ++x) {
            uint32_t p = src[x];
            unsigned r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
            dst[x] = uint8_t((r * 299 + g * 587 + b * 114 + 500) / 1000);
        }
        return;
    case PixelFormat::Model::AlphaOnly:
        for (size_t x = 0; x < w; ++x)
            dst[x] = uint8_t(src[x] >> 24);
        return;
    case PixelFormat::Model::Mask:
        return;
    }
}

} // namespace gfx

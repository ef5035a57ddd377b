// Internal: the layouts of pixel memory the platform understands, and their
// conversion to and from Cairo's premultiplied native-endian ARGB32.
#pragma once

#include "../CGColorSpace.h"
#include "../GraphicsTypes.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace gfx {

struct PixelFormat {
    enum class Model : uint8_t { RGB, Gray, AlphaOnly, Mask };
    Model model { Model::RGB };
    size_t width { 0 };
    size_t height { 0 };
    size_t bitsPerComponent { 8 };
    size_t bitsPerPixel { 32 };
    size_t bytesPerRow { 0 };
    CGImageAlphaInfo alpha { kCGImageAlphaPremultipliedLast };
    CGBitmapInfo byteOrder { kCGBitmapByteOrderDefault };

    // A layout that images may have, or nothing. A zero bytesPerRow is
    // replaced by the tightest row length.
    static std::optional<PixelFormat> image(size_t width, size_t height, size_t bitsPerComponent, size_t bitsPerPixel,
        size_t bytesPerRow, CGColorSpaceModel model, CGBitmapInfo info);
    static std::optional<PixelFormat> mask(size_t width, size_t height, size_t bitsPerComponent, size_t bitsPerPixel,
        size_t bytesPerRow);
    // A layout that bitmap contexts can draw into, or nothing.
    static std::optional<PixelFormat> context(size_t width, size_t height, size_t bitsPerComponent, size_t bytesPerRow,
        CGColorSpaceModel model, CGBitmapInfo info);

    CGBitmapInfo bitmapInfo() const { return static_cast<CGBitmapInfo>(alpha) | byteOrder; }
    size_t byteCount() const { return bytesPerRow * height; }
    bool isContextFormat() const;
    // Cairo can draw straight into memory of this layout.
    bool isNativeSurface() const;
    bool hasAlpha() const;
};

// One row of the format into premultiplied ARGB32 (width pixels).
void unpackRow(const PixelFormat&, const uint8_t* src, uint32_t* dst);
// One row of premultiplied ARGB32 (or RGB24) into a context format.
void packRow(const PixelFormat&, const uint32_t* src, uint8_t* dst);

inline uint8_t premultiply(uint8_t c, uint8_t a) { return static_cast<uint8_t>((c * a + 127) / 255); }
inline uint8_t unpremultiply(uint8_t c, uint8_t a)
{
    if (a == 0)
        return 0;
    unsigned v = (c * 255u + a / 2) / a;
    return static_cast<uint8_t>(v > 255 ? 255 : v);
}
inline uint32_t argb(uint8_t a, uint8_t r, uint8_t g, uint8_t b)
{
    return (uint32_t(a) << 24) | (uint32_t(r) << 16) | (uint32_t(g) << 8) | b;
}

} // namespace gfx

typedef struct _cairo_surface cairo_surface_t;
class CGImage;

namespace gfx {
// A new A8 surface holding the image's coverage as a mask: an image mask
// covers where its samples are 0, a gray image in proportion to its
// samples, any other image by its alpha. The caller destroys it.
cairo_surface_t* createCoverageSurface(const CGImage&);
}

// Immutable bitmap images of Core Graphics, image masks, and images drawn
// through a mask. Images are shared (CGImageRef is a shared pointer): a
// function that "creates" an image hands the caller its own reference.
//
// Row 0 of an image's data is its top row.
#pragma once

#include "CGColorSpace.h"
#include "CGDataProvider.h"
#include "GraphicsTypes.h"
#include "internal/PixelFormat.h"

#include <foundation/CGGeometry.h>

#include <map>
#include <mutex>

typedef struct _cairo_surface cairo_surface_t;

class CGImage {
public:
    CGImage(const gfx::PixelFormat& format, CGColorSpaceRef space, CGDataProviderRef provider, bool shouldInterpolate);
    ~CGImage();
    CGImage(const CGImage&) = delete;
    CGImage& operator=(const CGImage&) = delete;

    size_t width() const { return m_format.width; }
    size_t height() const { return m_format.height; }
    size_t bitsPerComponent() const { return m_format.bitsPerComponent; }
    size_t bitsPerPixel() const { return m_format.bitsPerPixel; }
    size_t bytesPerRow() const { return m_format.bytesPerRow; }
    const CGColorSpaceRef& colorSpace() const { return m_space; }
    CGImageAlphaInfo alphaInfo() const { return m_format.alpha; }
    CGBitmapInfo bitmapInfo() const { return m_format.bitmapInfo(); }
    const CGDataProviderRef& dataProvider() const { return m_provider; }
    bool isMask() const { return m_format.model == gfx::PixelFormat::Model::Mask; }
    bool shouldInterpolate() const { return m_shouldInterpolate; }
    const gfx::PixelFormat& format() const { return m_format; }

    // The pixels as a Cairo ARGB32 surface with premultiplied colour, made
    // on first use and kept by the image (the caller must not destroy it).
    // Masks and alpha-only images give black with their coverage as alpha.
    cairo_surface_t* cairoSurface() const;

    // A copy of cairoSurface() shrunk by a whole factor (2 to
    // kMaxReduction), each pixel the average of the block of pixels it
    // stands for (blocks at the right and bottom edges may be partial). Made
    // on first use and kept by the image. Drawing the image much smaller
    // than it is starts from such a copy, so that it reads a fraction of the
    // pixels.
    static constexpr int kMaxReduction = 16;
    cairo_surface_t* reducedSurface(int factor) const;
    // The largest factor up to limit whose copy is already made, or 1.
    int largestReductionMade(int limit) const;
    // Makes the copy that drawing a window-sized picture as a thumbnail
    // starts from, so that a capturing thread can pay for it.
    void prepareReductionForThumbnails() const;

    // The smallest inset from every edge inside which each pixel is fully
    // opaque, or -1 when there is no such inset. Worked out on first use.
    int opaqueInset() const;

private:
    gfx::PixelFormat m_format;
    CGColorSpaceRef m_space;
    CGDataProviderRef m_provider;
    bool m_shouldInterpolate;
    mutable std::once_flag m_surfaceOnce;
    mutable cairo_surface_t* m_surface { nullptr };
    mutable std::mutex m_reductionsMutex;
    mutable std::map<int, cairo_surface_t*> m_reductions;
    mutable std::once_flag m_opaqueOnce;
    mutable int m_opaqueInset { -1 };
};

using CGImageRef = Ref<CGImage>;

enum CGColorRenderingIntent : int32_t { kCGRenderingIntentDefault = 0 };

// Null for a layout the platform does not support, a missing provider or a
// provider with fewer bytes than the layout needs. Supported: 8 bits per
// component; RGB at 32 bits per pixel with any alpha placement and byte
// order, or 24 bits without alpha; gray at 8 bits, or 16 with alpha; no
// colour space with kCGImageAlphaOnly at 8 bits.
CGImageRef CGImageCreate(size_t width, size_t height, size_t bitsPerComponent, size_t bitsPerPixel,
    size_t bytesPerRow, const CGColorSpaceRef& space, CGBitmapInfo bitmapInfo, const CGDataProviderRef& provider,
    const CGFloat* decode = nullptr, bool shouldInterpolate = true,
    CGColorRenderingIntent intent = kCGRenderingIntentDefault);
// A stencil of 1 or 8 bits per pixel: sample 0 paints, the maximum masks out.
CGImageRef CGImageMaskCreate(size_t width, size_t height, size_t bitsPerComponent, size_t bitsPerPixel,
    size_t bytesPerRow, const CGDataProviderRef& provider, const CGFloat* decode = nullptr,
    bool shouldInterpolate = true);
// The image with its alpha multiplied by the mask, scaled to the image's
// size. An image mask acts as inverted coverage (0 paints); a gray or
// alpha-only image acts as coverage (the maximum paints). Null for a null
// argument, a mask image with colour, or an image that is itself a mask.
CGImageRef CGImageCreateWithMask(const CGImageRef& image, const CGImageRef& mask);
// The part of the image inside rect (in pixels, origin top-left as the data
// is stored), or null when nothing of the image is inside.
CGImageRef CGImageCreateWithImageInRect(const CGImageRef& image, CGRect rect);

size_t CGImageGetWidth(const CGImageRef&);
size_t CGImageGetHeight(const CGImageRef&);
size_t CGImageGetBitsPerComponent(const CGImageRef&);
size_t CGImageGetBitsPerPixel(const CGImageRef&);
size_t CGImageGetBytesPerRow(const CGImageRef&);
CGColorSpaceRef CGImageGetColorSpace(const CGImageRef&);
CGImageAlphaInfo CGImageGetAlphaInfo(const CGImageRef&);
CGBitmapInfo CGImageGetBitmapInfo(const CGImageRef&);
CGDataProviderRef CGImageGetDataProvider(const CGImageRef&);
bool CGImageIsMask(const CGImageRef&);

// A copy of a 32-bit RGB image shrunk by a whole factor (1 to
// CGImage::kMaxReduction), each pixel the average of the stored values of
// the block it stands for (blocks at the right and bottom edges may be
// partial), in the native layout. Null for other images. Keeping this copy
// instead of the image costs a factor squared less memory.
CGImageRef CGImageCreateReducedCopy(const CGImageRef& image, int factor);
// Averages blocks of factor x factor 32-bit pixels (factor 1 to
// CGImage::kMaxReduction) of rows stride bytes apart into rows outStride
// bytes apart; blocks at the right and bottom edges may be partial. Each of
// a pixel's four bytes is averaged on its own, so the result keeps the
// source's channel order.
void averagePixelBlocks(const uint8_t* in, int width, int height, size_t stride, int factor, uint8_t* out,
    size_t outStride);
// Builds an image that owns a copy of a premultiplied ARGB32 surface's
// pixels, in the native layout (kCGImageAlphaPremultipliedFirst with
// kCGBitmapByteOrder32Little). Null for an empty or failed surface.
CGImageRef CGImageCreateWithCairoSurface(cairo_surface_t* argb32);

// Bitmap representations: pixel memory in a described layout.
//
// Supported layouts: 8 bits per sample, meshed (not planar); RGB with 3
// samples (24 or 32 bits per pixel) or 4 with alpha; white with 1 sample,
// or 2 with alpha. bitmapFormat 0 is alpha last and premultiplied;
// NSBitmapFormatAlphaFirst and NSBitmapFormatAlphaNonpremultiplied change
// that. Rows start at the top of the picture.
//
// bitmapData() hands out the memory for reading and writing; after
// drawing into the bitmap through a graphics context, call it again (or
// flushGraphics the context) before reading the new pixels.
#pragma once

#include "NSImageRep.h"

#include <optional>
#include <vector>

namespace gfx {
class PixelStore;
}
class NSColor;

using NSBitmapFormat = unsigned long;
inline constexpr NSBitmapFormat NSBitmapFormatAlphaFirst = 1 << 0;
inline constexpr NSBitmapFormat NSBitmapFormatAlphaNonpremultiplied = 1 << 1;
inline constexpr NSBitmapFormat NSBitmapFormatFloatingPointSamples = 1 << 2;

enum NSBitmapImageFileType : unsigned long { NSBitmapImageFileTypePNG = 4 };

class NSBitmapImageRep : public NSImageRep {
public:
    // initWithBitmapDataPlanes:...: planes null (or planes[0] null) makes
    // the representation own cleared memory; otherwise it draws in the
    // caller's memory at planes[0]. Zero bytesPerRow and bitsPerPixel let
    // the representation choose. Null for an unsupported layout or a size
    // below one pixel.
    static Ref<NSBitmapImageRep> create(unsigned char** planes, long pixelsWide, long pixelsHigh, long bitsPerSample,
        long samplesPerPixel, bool hasAlpha, bool isPlanar, const std::string& colorSpaceName,
        NSBitmapFormat bitmapFormat, long bytesPerRow, long bitsPerPixel);
    // initWithCGImage:. The point size is the pixel size. Null for null.
    static Ref<NSBitmapImageRep> createWithCGImage(const CGImageRef& image);
    // imageRepWithData: of PNG data; null when it does not decode.
    static Ref<NSBitmapImageRep> imageRepWithData(const std::vector<uint8_t>& data);
    // initWithFocusedViewRect:: a copy of the pixels under rect in the
    // current context. Null without a bitmap context or outside it.
    static Ref<NSBitmapImageRep> createWithFocusedViewRect(CGRect rect);

    NSBitmapImageRep(const Ref<gfx::PixelStore>& store, const std::string& colorSpaceName, NSBitmapFormat format);
    explicit NSBitmapImageRep(const CGImageRef& image);

    unsigned char* bitmapData();
    long bytesPerRow() const;
    long bitsPerPixel() const;
    long samplesPerPixel() const;
    bool isPlanar() const { return false; }
    long numberOfPlanes() const { return 1; }
    NSBitmapFormat bitmapFormat() const { return m_bitmapFormat; }

    // The colour at a pixel (row 0 at the top), unpremultiplied, calibrated
    // RGB; null outside the bitmap.
    Ref<NSColor> colorAtX(long x, long y);
    // representationUsingType:properties:, PNG only.
    std::optional<std::vector<uint8_t>> representationUsingType(NSBitmapImageFileType type);
    // The CGImage of the current pixels, cached until they change.
    CGImageRef CGImage();

    CGImageRef CGImageForProposedRect(CGRect*, const Ref<NSGraphicsContext>&, const void* = nullptr) override;
    Ref<NSImageRep> copy() const override;

    // The pixel memory, shared with contexts drawing into it.
    Ref<gfx::PixelStore> pixelStore();

private:
    void materialize();
    Ref<gfx::PixelStore> m_store;
    CGImageRef m_sourceImage;
    NSBitmapFormat m_bitmapFormat { 0 };
    CGImageRef m_cachedImage;
    uint64_t m_cachedGeneration { 0 };
};

// The colour of the pixel under a point of the current context's user
// space, unpremultiplied; null without a context or outside its bitmap.
Ref<NSColor> NSReadPixel(CGPoint point);

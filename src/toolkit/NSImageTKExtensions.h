// Operations the toolkit adds to NSImage: high-quality drawing and the
// faded and thumbnail copies that previews and the grid use. Each derived
// image is drawn with a TKImageMaker and keeps the receiver's template flag.
#pragma once

#include <graphics/GraphicsTypes.h>
#include <graphics/NSImage.h>

class NSImageTKExtensions {
public:
    // The image's drawing calls with the context's interpolation raised to
    // high for the one draw.
    static void drawInRectHQ(const Ref<NSImage>& image, CGRect rect, CGRect fromRect, NSCompositingOperation operation,
        float fraction);
    static void compositeToPointHQ(const Ref<NSImage>& image, CGPoint point, NSCompositingOperation operation,
        float fraction);
    // A copy with every pixel's alpha (and premultiplied colour) scaled by
    // alpha. Null for a null image.
    static Ref<NSImage> imageWithAlpha(const Ref<NSImage>& image, float alpha);
    // An aspect-fit copy centred in a transparent image of exactly size; the
    // image itself when it already has that size.
    static Ref<NSImage> imageWithSize(const Ref<NSImage>& image, CGSize size);
    static Ref<NSImage> imageWithSize(const Ref<NSImage>& image, CGSize size, bool scaleLarger);
};

// The StackBlur operations the toolkit adds to NSImage: a triangular-kernel
// blur computed with moving sums over a ring buffer, in integers.
#pragma once

#include <graphics/CGImage.h>
#include <graphics/NSImage.h>
#include <graphics/StackBlur.h>

class NSImageStackBlur {
public:
    // Radii above this are treated as this one; beyond it the 32-bit sums
    // of a 255-valued channel would overflow.
    static constexpr int kMaxRadius = kStackBlurMaxRadius;

    // A blurred copy whose point size is its pixel size (the receiver's
    // point size truncated); the image itself when the radius is not
    // positive or the image has no area.
    static Ref<NSImage> stackBlur(const Ref<NSImage>& image, int radius);
    // Blurs bytes 0, 1 and 2 of every 4-byte pixel of a tightly packed
    // buffer in place; byte 3 is left alone.
    static void applyStackBlurToBuffer(uint8_t* buffer, int width, int height, int radius);
    // The image redrawn as premultiplied RGBA at its truncated point size.
    static Ref<NSImage> normalize(const Ref<NSImage>& image);
    static CGImageRef CGImage(const Ref<NSImage>& image);
    static Ref<NSImage> imageWithCGImage(const CGImageRef& image);
};

#include "NSImageStackBlur.h"

#include "TKGeometry.h"

#include <graphics/CGContext.h>

#include <new>
#include <vector>

void NSImageStackBlur::applyStackBlurToBuffer(uint8_t* buffer, int width, int height, int radius)
{
    stackBlurRGBX(buffer, width, height, radius);
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
    int32_t w = TKBitmapSide(image->size().width);
    int32_t h = TKBitmapSide(image->size().height);
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
    int w = TKBitmapSide(image->size().width);
    int h = TKBitmapSide(image->size().height);
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
        auto pixels = CGImageGetDataProvider(cg)->bytes();
        // The blur writes every byte of the new image's pixels (exactly the
        // picture's, whatever the source provider holds beyond it), straight
        // into them: no cleared buffer first, no further copy.
        auto blurredBytes = CGDataProviderCreateWithWriter(
            size_t(w) * size_t(h) * 4, [&](uint8_t* out) { stackBlurRGBX(pixels.data(), out, w, h, radius); });
        auto blurred = CGImageCreate(CGImageGetWidth(cg), CGImageGetHeight(cg), CGImageGetBitsPerComponent(cg),
            CGImageGetBitsPerPixel(cg), CGImageGetBytesPerRow(cg), CGImageGetColorSpace(cg), CGImageGetBitmapInfo(cg),
            blurredBytes);
        return imageWithCGImage(blurred);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

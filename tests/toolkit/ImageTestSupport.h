// Pixel helpers for the toolkit's image tests: solid and two-tone images of
// known pixels, and reads of an image's first bitmap (row 0 at the top).
#pragma once

#include "support/Pixels.h"

#include <graphics/Graphics.h>
#include <toolkit/TKImageMaker.h>

#include <array>
#include <functional>
#include <vector>


// An image of w x h pixels, premultiplied RGBA, from a function of (x, y
// from the top); its point size is the pixel size unless given.
inline Ref<NSImage> imageOf(long w, long h, const std::function<RGBA(long, long)>& pixel, CGSize size = CGSizeZero)
{
    std::vector<uint8_t> bytes;
    for (long y = 0; y < h; ++y)
        for (long x = 0; x < w; ++x) {
            RGBA c = pixel(x, y);
            bytes.insert(bytes.end(), { uint8_t(c[0]), uint8_t(c[1]), uint8_t(c[2]), uint8_t(c[3]) });
        }
    auto cg = CGImageCreate(size_t(w), size_t(h), 8, 32, size_t(w) * 4, CGColorSpaceCreateDeviceRGB(),
        kCGImageAlphaPremultipliedLast, CGDataProviderCreateWithBytes(std::move(bytes)));
    return NSImage::imageWithCGImage(cg, size);
}

inline Ref<NSImage> solidImage(long w, long h, RGBA c, CGSize size = CGSizeZero)
{
    return imageOf(w, h, [c](long, long) { return c; }, size);
}

// The pixel of the image's first representation, as RGBA bytes whatever
// the bitmap's layout (read through its colour).
inline RGBA pixelOf(const Ref<NSImage>& image, long x, long yFromTop)
{
    auto rep = std::dynamic_pointer_cast<NSBitmapImageRep>(image->representations().at(0));
    if (!rep)
        if (auto cached = std::dynamic_pointer_cast<NSCachedImageRep>(image->representations().at(0)))
            rep = cached->bitmap();
    auto color = rep->colorAtX(x, yFromTop);
    auto byte = [](double v) { return int(v * 255 + 0.5); };
    return { byte(color->redComponent() * color->alphaComponent()),
        byte(color->greenComponent() * color->alphaComponent()),
        byte(color->blueComponent() * color->alphaComponent()), byte(color->alphaComponent()) };
}

inline constexpr RGBA kRed { 255, 0, 0, 255 };
inline constexpr RGBA kGreen { 0, 255, 0, 255 };
inline constexpr RGBA kBlue { 0, 0, 255, 255 };
inline constexpr RGBA kClear { 0, 0, 0, 0 };

// Runs drawing into a fresh maker of the size and gives the image.
template <class Draw>
Ref<NSImage> drawn(CGSize size, Draw&& draw)
{
    auto maker = TKImageMaker::maker(size);
    maker->lockFocus();
    draw();
    return maker->unlockFocus();
}

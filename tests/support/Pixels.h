// The one way tests read pixels: a pixel's four bytes, in the order the
// image keeps them (RGBA for contexts and images made with alpha last), read
// from a context, an image, a bitmap or a window or desktop picture at a
// column and a row counted from the top.
#pragma once

#include <desktop/DesktopTypes.h>
#include <graphics/Graphics.h>
#include <graphics/NSBitmapImageRep.h>

#include <cstddef>
#include <cstdint>
#include <ostream>

struct RGBA {
    int r { 0 }, g { 0 }, b { 0 }, a { 0 };
    int operator[](size_t channel) const { return channel == 0 ? r : channel == 1 ? g : channel == 2 ? b : a; }
    bool operator==(const RGBA&) const = default;
};
using Pixel = RGBA;

inline std::ostream& operator<<(std::ostream& os, const RGBA& p)
{
    return os << "rgba(" << p.r << ", " << p.g << ", " << p.b << ", " << p.a << ")";
}

// The pixel at column x, row y from the top, of rows of 32-bit pixels; -1
// in every channel outside the picture.
inline RGBA pixelInRows(const uint8_t* data, size_t bytesPerRow, long width, long height, long x, long yFromTop)
{
    if (!data || x < 0 || yFromTop < 0 || x >= width || yFromTop >= height)
        return { -1, -1, -1, -1 };
    const uint8_t* p = data + static_cast<size_t>(yFromTop) * bytesPerRow + static_cast<size_t>(x) * 4;
    return { p[0], p[1], p[2], p[3] };
}

inline RGBA pixelAt(const CGContextRef& c, long x, long yFromTop)
{
    return pixelInRows(static_cast<const uint8_t*>(CGBitmapContextGetData(c)), CGBitmapContextGetBytesPerRow(c),
        static_cast<long>(CGBitmapContextGetWidth(c)), static_cast<long>(CGBitmapContextGetHeight(c)), x, yFromTop);
}

inline RGBA pixelAt(const CGImageRef& image, long x, long yFromTop)
{
    const auto& bytes = image->dataProvider()->bytes();
    return pixelInRows(bytes.data(), image->bytesPerRow(), static_cast<long>(image->width()),
        static_cast<long>(image->height()), x, yFromTop);
}

inline RGBA pixelAt(const Ref<NSBitmapImageRep>& rep, long x, long yFromTop)
{
    return pixelInRows(rep->bitmapData(), rep->bytesPerRow(), rep->pixelsWide(), rep->pixelsHigh(), x, yFromTop);
}

inline RGBA pixelAt(const DesktopImage& image, long x, long yFromTop)
{
    return pixelInRows(image.rgba.data(), static_cast<size_t>(image.width) * 4, image.width, image.height, x, yFromTop);
}

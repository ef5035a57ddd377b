// Small helpers for pixel tests: contexts of a known layout and pixel reads.
#pragma once

#include <graphics/Graphics.h>

#include <array>
#include <cstdint>

using RGBA = std::array<int, 4>;

// An RGBA (premultiplied, alpha last) context that owns its memory.
inline CGContextRef makeRGBAContext(size_t w, size_t h)
{
    return CGBitmapContextCreate(nullptr, w, h, 8, w * 4, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedLast);
}

// The bytes of the pixel at column x, row y counted from the top.
inline RGBA pixelAt(const CGContextRef& c, size_t x, size_t yFromTop)
{
    auto* data = static_cast<const uint8_t*>(CGBitmapContextGetData(c));
    const uint8_t* p = data + yFromTop * CGBitmapContextGetBytesPerRow(c) + x * 4;
    return { p[0], p[1], p[2], p[3] };
}

inline RGBA pixelOf(const CGImageRef& image, size_t x, size_t yFromTop)
{
    const auto& bytes = image->dataProvider()->bytes();
    const uint8_t* p = bytes.data() + yFromTop * image->bytesPerRow() + x * (image->bitsPerPixel() / 8);
    return { p[0], p[1], p[2], p[3] };
}

// An RGBA image filled by a function of (x, y from the top).
template <class F>
CGImageRef makeImage(size_t w, size_t h, CGImageAlphaInfo alpha, F&& pixel)
{
    std::vector<uint8_t> bytes(w * h * 4);
    for (size_t y = 0; y < h; ++y)
        for (size_t x = 0; x < w; ++x) {
            RGBA p = pixel(x, y);
            for (int i = 0; i < 4; ++i)
                bytes[(y * w + x) * 4 + i] = uint8_t(p[i]);
        }
    return CGImageCreate(w, h, 8, 32, w * 4, CGColorSpaceCreateDeviceRGB(), alpha,
        CGDataProviderCreateWithBytes(std::move(bytes)));
}

// Installs a graphics context as current for a scope.
class CurrentContextScope {
public:
    explicit CurrentContextScope(Ref<NSGraphicsContext> context)
    {
        NSGraphicsContext::saveGraphicsState();
        NSGraphicsContext::setCurrentContext(std::move(context));
    }
    ~CurrentContextScope() { NSGraphicsContext::restoreGraphicsState(); }
};

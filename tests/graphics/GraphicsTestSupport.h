// Small helpers for pixel tests: contexts of a known layout and pixel reads.
#pragma once

#include "support/Pixels.h"

#include <graphics/Graphics.h>

#include <cstdint>

// An RGBA (premultiplied, alpha last) context that owns its memory.
inline CGContextRef makeRGBAContext(size_t w, size_t h)
{
    return CGBitmapContextCreate(nullptr, w, h, 8, w * 4, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedLast);
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

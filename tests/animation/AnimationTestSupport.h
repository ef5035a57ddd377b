// Helpers for layer tests: a world with a virtual clock and an empty main
// run loop, contexts of a known layout, pixel reads and solid images.
#pragma once

#include "support/Pixels.h"

#include <animation/QuartzCore.h>
#include <foundation/Clock.h>
#include <foundation/RunLoop.h>
#include <graphics/Graphics.h>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <ostream>
#include <vector>

// Each channel within tolerance.
inline bool near(const RGBA& a, const RGBA& b, int tolerance = 3)
{
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance
        && std::abs(a.a - b.a) <= tolerance;
}

#define EXPECT_PIXEL(actual, expected) EXPECT_PRED2([](RGBA a, RGBA e) { return near(a, e); }, actual, expected)

inline constexpr RGBA kClear { 0, 0, 0, 0 };
inline constexpr RGBA kRed { 255, 0, 0, 255 };
inline constexpr RGBA kGreen { 0, 255, 0, 255 };
inline constexpr RGBA kBlue { 0, 0, 255, 255 };
inline constexpr RGBA kWhite { 255, 255, 255, 255 };
inline constexpr RGBA kBlack { 0, 0, 0, 255 };

inline CGColorRef color(const RGBA& p)
{
    return CGColorCreateGenericRGB(p.r / 255.0, p.g / 255.0, p.b / 255.0, p.a / 255.0);
}

// An RGBA context (premultiplied, alpha last) whose user space has its
// origin at the bottom-left, like a layer's.
inline CGContextRef makeContext(size_t w, size_t h)
{
    return CGBitmapContextCreate(nullptr, w, h, 8, w * 4, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedLast);
}

// The pixel covering the user-space point (x + 0.5, y + 0.5), y counted up
// from the bottom, in premultiplied bytes.
inline RGBA pixelAtPoint(const CGContextRef& c, int x, int y)
{
    return pixelAt(c, x, static_cast<long>(CGBitmapContextGetHeight(c)) - 1 - y);
}

// An opaque image filled by a function of (column, row from the top).
template <class F>
CGImageRef makeImage(size_t w, size_t h, F&& pixel)
{
    std::vector<uint8_t> bytes(w * h * 4);
    for (size_t y = 0; y < h; ++y) {
        for (size_t x = 0; x < w; ++x) {
            RGBA p = pixel(x, y);
            uint8_t* out = &bytes[(y * w + x) * 4];
            out[0] = uint8_t(p.r * p.a / 255);
            out[1] = uint8_t(p.g * p.a / 255);
            out[2] = uint8_t(p.b * p.a / 255);
            out[3] = uint8_t(p.a);
        }
    }
    return CGImageCreate(w, h, 8, 32, w * 4, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedLast,
        CGDataProviderCreateWithBytes(std::move(bytes)));
}

inline Ref<CALayer> solidLayer(CGRect frame, const RGBA& fill)
{
    auto layer = CALayer::layer();
    layer->setFrame(frame);
    layer->setBackgroundColor(color(fill));
    return layer;
}

// A virtual clock and a clean main run loop for one test.
class AnimationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RunLoop::main().reset();
        m_clock = std::make_shared<VirtualClock>();
        Clock::setCurrent(m_clock);
    }
    void TearDown() override
    {
        RunLoop::main().runUntilIdle();
        RunLoop::main().reset();
        Clock::setCurrent(std::make_shared<SystemClock>());
    }
    VirtualClock& clock() { return *m_clock; }
    double now() const { return m_clock->now(); }
    // Lets the run loop finish its turn, which commits the implicit
    // transaction that new layers belong to.
    void settle() { RunLoop::main().runUntilIdle(); }
    void runFor(double seconds) { RunLoop::main().runFor(seconds); }

private:
    std::shared_ptr<VirtualClock> m_clock;
};

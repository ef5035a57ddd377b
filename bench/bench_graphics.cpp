// Speed of the two image operations the switcher runs while it shows: the
// blurred desktop picture and the grid's thumbnails. Each is timed beside a
// plain copy of the same bytes in the same run; the ratio is the counter
// to watch, since it does not depend on the machine's speed.
#include <toolkit/NSImageStackBlur.h>
#include <toolkit/NSImageTKExtensions.h>

#include <graphics/Graphics.h>
#include <graphics/PixelEnlarging.h>

#include "BenchSupport.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <random>

namespace {


std::vector<uint8_t> randomOpaquePixels(size_t w, size_t h)
{
    std::mt19937 random(42);
    std::vector<uint8_t> bytes(w * h * 4);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = (i % 4 == 3) ? 255 : uint8_t(random());
    return bytes;
}

// A fresh image over shared bytes, so that each run pays for decoding the
// picture into drawable form as a new preview would.
Ref<NSImage> imageOver(const CGDataProviderRef& provider, size_t w, size_t h)
{
    auto cg = CGImageCreate(w, h, 8, 32, w * 4, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedLast, provider);
    return NSImage::imageWithCGImage(cg, CGSizeZero);
}

void BM_StackBlurDesktopRadius20(benchmark::State& state)
{
    const size_t w = 2560, h = 1440;
    auto provider = CGDataProviderCreateWithBytes(randomOpaquePixels(w, h));
    runBesideMemcpy(state, w * h * 4, [&] {
        auto blurred = NSImageStackBlur::stackBlur(imageOver(provider, w, h), 20);
        benchmark::DoNotOptimize(blurred);
    });
}

void BM_ThumbnailFrom1920x1080(benchmark::State& state)
{
    const size_t w = 1920, h = 1080;
    auto provider = CGDataProviderCreateWithBytes(randomOpaquePixels(w, h));
    runBesideMemcpy(state, w * h * 4, [&] {
        auto thumbnail = NSImageTKExtensions::imageWithSize(imageOver(provider, w, h), CGSizeMake(240, 150));
        benchmark::DoNotOptimize(thumbnail);
    });
}

// The panel's backdrop: kept blurred at a quarter of its size and enlarged
// into the frame at every opening (a grid panel of 100 windows).
void BM_EnlargeBackdropFourTimes(benchmark::State& state)
{
    const int w = 290, h = 249, factor = 4;
    auto small = randomOpaquePixels(size_t(w), size_t(h));
    std::vector<uint8_t> out(size_t(w * factor) * size_t(h * factor) * 4);
    runBesideMemcpy(state, out.size(), [&] {
        enlargePixelsBilinearPart(small.data(), w, h, size_t(w) * 4, factor, 0, 0, w * factor, h * factor, out.data(),
            size_t(w * factor) * 4);
        benchmark::DoNotOptimize(out.data());
    });
}

} // namespace

BENCHMARK(BM_StackBlurDesktopRadius20)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ThumbnailFrom1920x1080)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK(BM_EnlargeBackdropFourTimes)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();

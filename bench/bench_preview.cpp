// Capturing a full-HD window and making the 240x150 thumbnail the grid shows,
// beside a plain copy of the same bytes; and the memory the previews of a
// desktop of 500 windows hold.
#include "BenchSupport.h"
#include "support/SimWorld.h"

#include <foundation/RunLoop.h>
#include <graphics/CGDataProvider.h>
#include <graphics/NSBitmapImageRep.h>
#include <model/WindowManager.h>
#include <services/PlatformStartup.h>

#include <malloc.h>
#include <graphics/NSImage.h>
#include <model/SWWindow.h>
#include <toolkit/NSImageTKExtensions.h>

#include <benchmark/benchmark.h>


namespace {

constexpr int kWidth = 1920, kHeight = 1080;

std::shared_ptr<SimDesktop> fullHDDesktop()
{
    std::string error;
    auto desktop = SimDesktop::fromScenario(R"({ "screens": [ { "frame": [0, 0, 1920, 1080] } ],
        "apps": [ { "pid": 1, "name": "Big", "windows": [ { "id": 1, "title": "full", "frame": [0, 0, 1920, 1080] } ] } ] })",
        "bench", &error);
    return desktop;
}

void captureAndThumbnail(benchmark::State& state)
{
    auto desktop = fullHDDesktop();
    PlatformInstallDesktop(desktop);
    auto window = SWWindow::windowWithAXElement(makeRef<AXUIElement>(DesktopElement { DesktopElement::Kind::Window, 1, 1 }));
    runBesideMemcpy(state, size_t(kWidth) * kHeight * 4, [&] {
        auto picture = window->generatePreviewImage();
        auto thumbnail = NSImageTKExtensions::imageWithSize(picture, CGSizeMake(240, 150));
        benchmark::DoNotOptimize(thumbnail);
    });
    PlatformInstallDesktop(nullptr);
}

// The window model's start-up scan of 500 windows of the sizes people keep,
// until every preview is stored: the bytes of pixels the previews hold, and
// how much the heap grew over the scan (previews, records and what the
// model keeps beside them).
void previewMemoryOf500Windows(benchmark::State& state)
{
    for (auto _ : state) {
        SimWorld world(manyWindowsScenario(500));
        // The desktop draws every window once before the heap is measured,
        // so that its own pictures do not count.
        for (const auto& window : world.desktop().windows())
            benchmark::DoNotOptimize(world.desktop().windowContent(window.number).rgba.data());
        malloc_trim(0);
        size_t before = mallinfo2().uordblks + mallinfo2().hblkhd;
        auto model = WindowManager::create();
        world.settle();
        size_t pixels = 0, previews = 0;
        for (const auto& window : model->allWindows()) {
            auto image = window->previewImage();
            if (!image) continue;
            ++previews;
            for (const auto& rep : image->representations())
                if (auto bitmap = dynamicRef<NSBitmapImageRep>(rep))
                    pixels += size_t(bitmap->bytesPerRow()) * size_t(bitmap->pixelsHigh());
        }
        malloc_trim(0);
        size_t after = mallinfo2().uordblks + mallinfo2().hblkhd;
        state.counters["previews"] = double(previews);
        state.counters["preview_pixels_MB"] = double(pixels) / (1 << 20);
        state.counters["heap_growth_MB"] = (double(after) - double(before)) / (1 << 20);
        model.reset();
        world.settle();
    }
}

}

BENCHMARK(previewMemoryOf500Windows)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(captureAndThumbnail)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();

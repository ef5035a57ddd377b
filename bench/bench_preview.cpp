// Capturing a full-HD window and making the 240x150 thumbnail the grid shows,
// beside a plain copy of the same bytes.
#include "BenchSupport.h"
#include "support/SimWorld.h"

#include <services/PlatformStartup.h>
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

}

BENCHMARK(captureAndThumbnail)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();

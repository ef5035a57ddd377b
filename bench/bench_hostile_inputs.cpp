// The worst inputs a person can put in place, at the readers' bounds: a
// settings file that expands to as many objects as settings may hold and one
// far past it, a keyed archive at its bound, and desktop pictures of 6000 x
// 4000 and 8192 x 8192 (the largest accepted) decoded for a 1440 x 900
// screen. Each should cost well under a second; peak_growth_mb is how much
// the process's peak resident size grew during the benchmark (the pictures
// run first, so their growth is their own).
#include "support/EncodedFiles.h"
#include "support/TemporaryDirectory.h"

#include <foundation/NSKeyedUnarchiver.h>
#include <foundation/NSPropertyListSerialization.h>
#include <foundation/NSUserDefaults.h>
#include <graphics/ImageIO.h>

#include <benchmark/benchmark.h>

#include <fstream>
#include <sys/resource.h>

namespace {

double peakResidentMB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

// A picture of the given size with a pattern in every row, encoded as an
// opaque PNG a row at a time (as a camera's or a wallpaper's), so that
// making it does not raise the peak the benchmark reports.
std::vector<uint8_t> patternPicture(uint32_t width, uint32_t height)
{
    return encodePNGRows(width, height, false, false, [width](uint32_t y, uint8_t* row) {
        for (uint32_t x = 0; x < width; ++x) {
            row[x * 3] = uint8_t(x ^ y);
            row[x * 3 + 1] = uint8_t(x + y);
            row[x * 3 + 2] = uint8_t(y);
        }
    }, 1);
}

void desktopPictureForAScreen(benchmark::State& state)
{
    auto png = patternPicture(uint32_t(state.range(0)), uint32_t(state.range(1)));
    double before = peakResidentMB();
    for (auto _ : state) {
        auto image = CGImageSourceCreateThumbnailAtIndex(CGImageSourceCreateWithData(png), 0, 1440, 900);
        if (!image)
            state.SkipWithError("the picture was refused");
        benchmark::DoNotOptimize(image);
    }
    state.counters["file_kb"] = double(png.size()) / 1024.0;
    state.counters["peak_growth_mb"] = peakResidentMB() - before;
}
BENCHMARK(desktopPictureForAScreen)->Args({ 6000, 4000 })->Args({ 8192, 8192 })->Unit(benchmark::kMillisecond);

// A binary settings file whose value is one object shared by `count`
// places of an array: a few bytes a place, an object a place when read.
std::string sharedSettingsFile(int64_t count)
{
    Value settings(Value::Dictionary { { "ThemeIndex", Value(Value::Array(size_t(count), Value("x"))) } });
    auto data = NSPropertyListSerialization::dataWithPropertyList(settings, NSPropertyListBinaryFormat_v1_0);
    return std::string(data->begin(), data->end());
}

void settingsFileAtAndPastTheBound(benchmark::State& state)
{
    TemporaryDirectory directory;
    std::string path = directory.file("defaults.plist");
    std::string contents = sharedSettingsFile(state.range(0));
    double before = peakResidentMB();
    for (auto _ : state) {
        state.PauseTiming();
        std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
        state.ResumeTiming();
        auto defaults = NSUserDefaults::defaultsWithFile(path);
        for (int read = 0; read < 100; ++read)
            benchmark::DoNotOptimize(defaults->objectForKey("ThemeIndex"));
    }
    state.counters["file_bytes"] = double(contents.size());
    state.counters["peak_growth_mb"] = peakResidentMB() - before;
}
BENCHMARK(settingsFileAtAndPastTheBound)->Arg(4000)->Arg(500000)->Unit(benchmark::kMillisecond);

void archiveAtAndPastTheBound(benchmark::State& state)
{
    // Arrays each holding the next twice: 2^levels values when read,
    // refused past the unarchiver's bound.
    auto data = sharedArrayArchive(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(NSKeyedUnarchiver::unarchiveObjectWithData(data));
    state.counters["file_bytes"] = double(data.size());
}
BENCHMARK(archiveAtAndPastTheBound)->Arg(15)->Arg(40)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

// One frame of the carousel: the layout pass after the offset moved (load
// and unload of slots, every placement) and the paint of a 1440 x 900
// window that shows it, at 10, 100 and 500 items. The cost should follow
// the number of visible items, not the number of items: the 500-item run
// reports its time over the 10-item run's as ratio_to_10 (goal: under 1.5),
// and every run its time per frame as frame_ms (goal: under 8 ms at 500).
#include "../tools/CarouselSample.h"
#include "BenchSupport.h"

#include "support/SimWorld.h"

#include <chrono>
#include <map>

namespace {

std::map<std::pair<int64_t, int64_t>, double>& frameTimes()
{
    static std::map<std::pair<int64_t, int64_t>, double> times;
    return times;
}

void BM_CarouselFrame(benchmark::State& state)
{
    int64_t type = state.range(0);
    int64_t count = state.range(1);
    SimWorld world(SimWorld::emptyScenario());
    CarouselSample sample({ 1440, 900 }, count);
    sample.window->orderFront(nullptr);
    double middle = static_cast<double>(count / 2);
    sample.show(type, middle);
    world.advance(1);
    sample.window->displayIfNeeded();

    // Steps of a little over a third of an item, back and forth over three
    // items, so that slots are loaded and unloaded as a scroll does.
    const double steps[] = { 0.37, 0.37, 0.37, 0.37, 0.37, 0.37, 0.37, 0.37, -0.37, -0.37, -0.37, -0.37, -0.37, -0.37,
        -0.37, -0.37 };
    size_t i = 0;
    double offset = middle;
    double seconds = 0;
    for (auto _ : state) {
        offset += steps[i++ % std::size(steps)];
        auto t0 = std::chrono::steady_clock::now();
        sample.carousel->setScrollOffset(offset);
        sample.window->displayIfNeeded();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    double frame = seconds / static_cast<double>(state.iterations());
    state.counters["frame_ms"] = frame * 1e3;
    state.counters["visible"] = static_cast<double>(sample.carousel->itemViews().size());
    frameTimes()[{ type, count }] = frame;
    if (auto it = frameTimes().find({ type, 10 }); it != frameTimes().end() && count != 10)
        state.counters["ratio_to_10"] = frame / it->second;
    state.SetLabel(CarouselTypeName(type));
}

}

BENCHMARK(BM_CarouselFrame)
    ->ArgsProduct({ { CarouselTypeLinear, CarouselTypeCylinder, CarouselTypeCoverFlow, CarouselTypeTimeMachine },
        { 10, 100, 500 } })
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

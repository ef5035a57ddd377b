// The window model's passes over its lists at 10, 100 and 500 windows, and
// the start-up scan of 50 applications.
#include "support/SimWorld.h"

#include <services/PlatformStartup.h>
#include <foundation/Clock.h>
#include <foundation/Dispatch.h>
#include <foundation/RunLoop.h>
#include <model/WindowManager.h>

#include <benchmark/benchmark.h>

namespace {

// A desktop of `apps` applications with `perApp` windows each.
std::shared_ptr<SimDesktop> desktopWith(int apps, int perApp)
{
    std::string error;
    auto desktop = SimDesktop::fromScenario(R"({ "screens": [ { "frame": [0, 0, 1440, 900] } ] })", "bench", &error);
    for (int a = 0; a < apps; ++a) {
        DesktopApp app;
        app.pid = 100 + a;
        app.name = "App" + std::to_string(a);
        std::vector<DesktopWindow> windows;
        for (int w = 0; w < perApp; ++w) {
            DesktopWindow window;
            window.title = "window " + std::to_string(w);
            window.frame = CGRectMake(10 * w, 30 + 5 * w, 160, 100);
            window.minimized = w % 7 == 3;
            windows.push_back(window);
        }
        desktop->launchApplication(app, windows);
    }
    return desktop;
}

struct ModelOnDesktop {
    explicit ModelOnDesktop(int windows)
    {
        Clock::setCurrent(clock);
        int apps = std::max(1, windows / 10);
        PlatformInstallDesktop(desktopWith(apps, windows / apps));
        model = WindowManager::create();
        RunLoop::main().runUntilIdle();
        RunLoop::main().runFor(1);
    }
    ~ModelOnDesktop()
    {
        model.reset();
        dispatchWaitForBackgroundWork();
        RunLoop::main().reset();
        PlatformInstallDesktop(nullptr);
        Clock::setCurrent(nullptr);
    }
    std::shared_ptr<VirtualClock> clock = std::make_shared<VirtualClock>();
    Ref<WindowManager> model;
};

void setFilter(benchmark::State& state)
{
    ModelOnDesktop world(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        world.model->setFilterType(WindowFilterAll);
        world.model->setFilterType(WindowFilterOnScreen);
        // The badge notices each change queues for the main loop, as the
        // application's loop runs them.
        RunLoop::main().runUntilIdle();
    }
    state.counters["windows"] = static_cast<double>(world.model->allWindows().size());
}

void setSortOrder(benchmark::State& state)
{
    ModelOnDesktop world(static_cast<int>(state.range(0)));
    for (auto _ : state)
        world.model->setSortOrder();
}

void setBadges(benchmark::State& state)
{
    ModelOnDesktop world(static_cast<int>(state.range(0)));
    world.model->setFilterType(WindowFilterAll);
    for (auto _ : state) {
        world.model->setBadges();
        RunLoop::main().runUntilIdle();
    }
}

void startupScanOfFiftyApplications(benchmark::State& state)
{
    auto clock = std::make_shared<VirtualClock>();
    Clock::setCurrent(clock);
    PlatformInstallDesktop(desktopWith(50, 4));
    for (auto _ : state) {
        auto model = WindowManager::create();
        while (!model->isStartupScanComplete())
            RunLoop::main().runUntilIdle();
        benchmark::DoNotOptimize(model->allWindows().size());
        state.PauseTiming();
        model.reset();
        dispatchWaitForBackgroundWork();
        RunLoop::main().reset();
        state.ResumeTiming();
    }
    PlatformInstallDesktop(nullptr);
    Clock::setCurrent(nullptr);
}

}

BENCHMARK(setFilter)->Arg(10)->Arg(100)->Arg(500)->Unit(benchmark::kMicrosecond);
BENCHMARK(setSortOrder)->Arg(10)->Arg(100)->Arg(500)->Unit(benchmark::kMicrosecond);
BENCHMARK(setBadges)->Arg(10)->Arg(100)->Arg(500)->Unit(benchmark::kMicrosecond);
BENCHMARK(startupScanOfFiftyApplications)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();

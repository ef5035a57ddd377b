// The script window listing most recent first, Window.recent(), at 10, 100
// and 500 windows, called from a script as a configuration calls it.
#include "support/SimWorld.h"

#include <javascriptcore/JSContext.h>
#include <scripting/DRWindow.h>

#include <foundation/Clock.h>
#include <foundation/Dispatch.h>
#include <foundation/RunLoop.h>
#include <services/PlatformStartup.h>

#include <benchmark/benchmark.h>

namespace {

// `windows` windows in applications of ten windows each, all on screen.
std::shared_ptr<SimDesktop> desktopWith(int windows)
{
    std::string error;
    auto desktop = SimDesktop::fromScenario(R"({ "screens": [ { "frame": [0, 0, 1440, 900] } ] })", "bench", &error);
    int apps = std::max(1, windows / 10);
    for (int a = 0; a < apps; ++a) {
        DesktopApp app;
        app.pid = 100 + a;
        app.name = "App" + std::to_string(a);
        std::vector<DesktopWindow> list;
        for (int w = 0; w < windows / apps; ++w) {
            DesktopWindow window;
            window.title = "window " + std::to_string(w);
            window.frame = CGRectMake(10 * w, 30 + 5 * w, 160, 100);
            list.push_back(window);
        }
        desktop->launchApplication(app, list);
    }
    return desktop;
}

void recentWindows(benchmark::State& state)
{
    auto clock = std::make_shared<VirtualClock>();
    Clock::setCurrent(clock);
    PlatformInstallDesktop(desktopWith(static_cast<int>(state.range(0))));
    RunLoop::main().runUntilIdle();
    auto context = JSContext::create();
    context->setObject("Window", context->classObject(DRWindow::exportClass()));
    size_t listed = 0;
    for (auto _ : state)
        listed = static_cast<size_t>(context->evaluateScript("Window.recent().length").toDouble());
    if (listed != static_cast<size_t>(state.range(0)))
        state.SkipWithError("Window.recent() did not list every window");
    state.counters["windows"] = static_cast<double>(listed);
    context->invalidate();
    context.reset();
    dispatchWaitForBackgroundWork();
    RunLoop::main().reset();
    PlatformInstallDesktop(nullptr);
    Clock::setCurrent(nullptr);
}

}

BENCHMARK(recentWindows)->Arg(10)->Arg(100)->Arg(500)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

// How long a person waits for the switcher on a real X11 session: from
// Super+Tab typed through XTest to the panel's pixels on the X server, with
// 10 and 100 client windows, on a private Xvfb session with openbox.
//
// The clock starts as the Tab press is sent to the server and stops once
// the X11 desktop has put the panel's first frame on the server and the
// server has answered a request sent after it (so the pixels are there).
// Tab is tapped; between openings Super is released (the panel switches
// and closes) and the run waits for the keyboard grab to end.
#include "BenchSupport.h"
#include "support/TemporaryDirectory.h"
#include "support/X11Session.h"

#include <app/AppController.h>
#include <command/QuorvexSession.h>
#include <desktop/x11/X11Connection.h>
#include <desktop/x11/X11Desktop.h>
#include <foundation/Clock.h>
#include <foundation/Dispatch.h>
#include <foundation/LargeBuffers.h>
#include <foundation/RunLoop.h>
#include <model/EBEventful.h>
#include <model/WindowManager.h>
#include <services/PlatformStartup.h>

#include <X11/keysym.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>

namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr double kFrameMs = 1000.0 / 60.0;
constexpr int kWindowsPerClient = 8;
// How long one opening or closing may take before the run gives up.
constexpr double kStepSeconds = 10;

class X11PanelWorld {
public:
    explicit X11PanelWorld(int windowCount)
    {
        Clock::setCurrent(std::make_shared<SystemClock>());
        RunLoop::main().reset();
        EBEventful::resetForTesting();
        X11Session::Options options;
        options.width = 1920;
        options.height = 1080;
        session = X11Session::start(options, &error);
        if (!session)
            return;
        desktop = X11Desktop::connect(session->display(), &error);
        if (!desktop)
            return;
        PlatformInstallDesktop(desktop);
        for (int made = 0; made < windowCount; ++made) {
            if (made % kWindowsPerClient == 0)
                clients.push_back(session->launchClient());
            if (!clients.back() || !clients.back()->open("Document " + std::to_string(made + 1), 0x102030 * (made % 7 + 1),
                    (made * 37) % 1400, 25 + (made * 53) % 700, 480, 360)) {
                error = "a test window did not open";
                return;
            }
        }
        model = WindowManager::create();
        if (!runMainUntil([&] { return model->allWindows().size() == size_t(windowCount); }, kStepSeconds)) {
            error = "the model does not hold every window";
            return;
        }
        controller = AppController::create(model);
        host = std::make_unique<AppControllerSessionHost>(*controller);
    }
    ~X11PanelWorld()
    {
        host.reset();
        controller.reset();
        model.reset();
        dispatchWaitForBackgroundWork();
        RunLoop::main().reset();
        EBEventful::resetForTesting();
        clients.clear();
    }

    // Milliseconds from the Tab press to the panel's pixels on the server,
    // or a negative value when the panel did not come up.
    double open()
    {
        uint64_t paints = desktop->ownWindowPaintCount();
        session->fakeKey(XK_Super_L, true);
        auto start = SteadyClock::now();
        session->fakeKey(XK_Tab, true);
        // Tapped, as a person does: a Tab held while the panel comes up
        // would repeat and move the selection. The release is not waited
        // for: this thread is the program's main thread, which a person's
        // keyboard never holds up while the server is busy with the panel.
        session->fakeKey(XK_Tab, false, X11Session::Sent::Queued);
        if (!runMainUntil([&] { return host->isPanelVisible() && desktop->ownWindowPaintCount() > paints; }, kStepSeconds))
            return -1;
        auto* c = desktop->connection().connection();
        free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        return std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count();
    }

    bool close()
    {
        session->fakeKey(XK_Super_L, false);
        return runMainUntil([&] { return !host->isPanelVisible() && !desktop->isKeyboardGrabbed(); }, kStepSeconds);
    }

    std::string error;
    std::unique_ptr<X11Session> session;
    std::shared_ptr<X11Desktop> desktop;
    std::vector<std::unique_ptr<X11TestClient>> clients;
    Ref<WindowManager> model;
    Ref<AppController> controller;
    std::unique_ptr<AppControllerSessionHost> host;
};

double percentile(std::vector<double> samples, double p)
{
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    size_t rank = static_cast<size_t>(std::ceil(p * static_cast<double>(samples.size())));
    return samples[std::clamp<size_t>(rank, 1, samples.size()) - 1];
}

// 40 openings a size; QUORVEX_BENCH_OPENINGS asks for more (a profile wants
// the openings to outweigh setting up the windows).
int64_t openingsToTime()
{
    const char* asked = std::getenv("QUORVEX_BENCH_OPENINGS");
    long openings = asked ? std::strtol(asked, nullptr, 10) : 0;
    return openings > 0 && openings <= 100000 ? openings : 40;
}

// Argument: the number of client windows.
void BM_X11HotkeyToPanelOnServer(benchmark::State& state)
{
    X11PanelWorld world(static_cast<int>(state.range(0)));
    if (!world.error.empty()) {
        state.SkipWithError(world.error.c_str());
        return;
    }
    double first = world.open();
    if (first < 0 || !world.close()) {
        state.SkipWithError("the panel did not open and close");
        return;
    }
    std::vector<double> samples;
    for (auto _ : state) {
        double ms = world.open();
        if (ms < 0 || !world.close()) {
            state.SkipWithError("the panel did not open and close");
            return;
        }
        state.SetIterationTime(ms / 1000.0);
        samples.push_back(ms);
    }
    state.counters["p50_ms"] = percentile(samples, 0.50);
    state.counters["p99_ms"] = percentile(samples, 0.99);
    state.counters["first_open_ms"] = first;
    state.counters["p99_frames"] = percentile(samples, 0.99) / kFrameMs;
}

}

BENCHMARK(BM_X11HotkeyToPanelOnServer)
    ->ArgName("windows")
    ->Arg(10)
    ->Arg(100)
    ->Arg(500)
    ->Iterations(openingsToTime())
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Settings of the run's own: a person's settings (another layout, other
// hotkeys) would change what is timed. Memory is kept as the quorvex
// program keeps it (keepLargeBuffersForReuse).
int main(int argc, char** argv)
{
    keepLargeBuffersForReuse();
    TemporaryDirectory configHome;
    ::setenv("XDG_CONFIG_HOME", configHome.path().c_str(), 1);
    return runBenchmarks(argc, argv);
}

// Whether memory comes back on a real X11 session: the switcher's resident
// size before 200 client windows open, at their peak (every window listed,
// captured and shown in the panel) and after they have all closed again,
// on a private Xvfb session with openbox.
//
// One iteration; the figures are counters in megabytes: the resident size
// (from /proc/self/status) and the heap the program's objects use. The windows open in 25 clients of 8, each 480 by 360;
// the panel is opened once with them all (Super+Tab through XTest), so
// that every window is captured and drawn, then the clients end and the run
// waits until the model holds no window. Then the panel opens twice more
// with one window: the first of these paints frames made afresh (the hidden
// panel let go of its own when the memory went back), the second reuses
// them; their times (Super+Tab to the panel on the server) show what
// handing memory back costs the next opening.
#include "BenchSupport.h"
#include "support/TemporaryDirectory.h"
#include "support/X11Session.h"

#include <app/AppController.h>
#include <command/QuorvexSession.h>
#include <desktop/x11/X11Desktop.h>
#include <foundation/Clock.h>
#include <foundation/Dispatch.h>
#include <foundation/LargeBuffers.h>
#include <foundation/RunLoop.h>
#include <model/EBEventful.h>
#include <model/SWWindow.h>
#include <model/WindowManager.h>
#include <services/PlatformStartup.h>

#include <X11/keysym.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <fstream>

#include <malloc.h>

namespace {

constexpr int kWindows = 200;
constexpr int kWindowsPerClient = 8;
constexpr double kStepSeconds = 30;

// A line of /proc/self/status in megabytes ("VmRSS", "VmHWM").
double statusMegabytes(const std::string& key)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(key + ":", 0) == 0)
            return std::strtod(line.c_str() + key.size() + 1, nullptr) / 1024.0;
    return 0;
}

// What the program's objects hold of the heap, in megabytes (the allocator's
// bytes in use, mapped blocks included): what the resident size would be
// without memory the allocator keeps free.
double heapInUseMegabytes()
{
    struct mallinfo2 info = mallinfo2();
    return double(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

// The panel opened until every window has its preview, and closed, as a
// person's Super+Tab and release.
bool showPanel(X11Session& session, X11Desktop& desktop, WindowManager& model, AppControllerSessionHost& host, size_t count)
{
    session.fakeKey(XK_Super_L, true);
    session.fakeKey(XK_Tab, true);
    session.fakeKey(XK_Tab, false);
    bool shown = runMainUntil([&] {
        if (!host.isPanelVisible() || host.shownCount() != count)
            return false;
        for (const auto& window : model.allWindows())
            if (!window->previewImage())
                return false;
        return true;
    }, kStepSeconds);
    session.fakeKey(XK_Super_L, false);
    return runMainUntil([&] { return !host.isPanelVisible() && !desktop.isKeyboardGrabbed(); }, kStepSeconds) && shown;
}

// Milliseconds from Super+Tab to the panel up (its first frame is on the
// server once it is visible), then closed again; negative when it did not open.
double timedOpening(X11Session& session, X11Desktop& desktop, AppControllerSessionHost& host)
{
    auto start = std::chrono::steady_clock::now();
    session.fakeKey(XK_Super_L, true);
    session.fakeKey(XK_Tab, true);
    session.fakeKey(XK_Tab, false);
    bool shown = runMainUntil([&] { return host.isPanelVisible(); }, kStepSeconds);
    double milliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    session.fakeKey(XK_Super_L, false);
    bool hidden = runMainUntil([&] { return !host.isPanelVisible() && !desktop.isKeyboardGrabbed(); }, kStepSeconds);
    return shown && hidden ? milliseconds : -1;
}

void BM_X11MemoryAfterWindowsOpenAndClose(benchmark::State& state)
{
    Clock::setCurrent(std::make_shared<SystemClock>());
    RunLoop::main().reset();
    EBEventful::resetForTesting();
    std::string error;
    X11Session::Options options;
    options.width = 1920;
    options.height = 1080;
    auto session = X11Session::start(options, &error);
    auto desktop = session ? X11Desktop::connect(session->display(), &error) : nullptr;
    if (!desktop) {
        state.SkipWithError(error.c_str());
        return;
    }
    PlatformInstallDesktop(desktop);
    auto model = WindowManager::create();
    auto controller = AppController::create(model);
    auto host = std::make_unique<AppControllerSessionHost>(*controller);
    for (auto _ : state) {
        // The panel once with no window, so that what every opening keeps
        // (fonts, the panel's window, its buffers) is in the figure before.
        auto warm = session->launchClient();
        if (!warm || !warm->open("Warm", 0x808080, 10, 10, 200, 150)
            || !runMainUntil([&] { return model->allWindows().size() == 1; }, kStepSeconds)
            || !showPanel(*session, *desktop, *model, *host, 1)) {
            state.SkipWithError("the panel did not open with one window");
            return;
        }
        warm.reset();
        runMainUntil([&] { return model->allWindows().empty(); }, kStepSeconds);
        dispatchWaitForBackgroundWork();
        double before = statusMegabytes("VmRSS");
        double heapBefore = heapInUseMegabytes();

        std::vector<std::unique_ptr<X11TestClient>> clients;
        for (int made = 0; made < kWindows; ++made) {
            if (made % kWindowsPerClient == 0)
                clients.push_back(session->launchClient());
            if (!clients.back() || !clients.back()->open("Document " + std::to_string(made + 1), 0x102030 * (made % 7 + 1),
                    (made * 37) % 1400, 25 + (made * 53) % 700, 480, 360)) {
                state.SkipWithError("a test window did not open");
                return;
            }
        }
        if (!runMainUntil([&] { return model->allWindows().size() == size_t(kWindows); }, kStepSeconds)
            || !showPanel(*session, *desktop, *model, *host, kWindows)) {
            state.SkipWithError("the panel did not show every window");
            return;
        }
        dispatchWaitForBackgroundWork();
        double peak = statusMegabytes("VmRSS");
        double heapPeak = heapInUseMegabytes();

        clients.clear();
        if (!runMainUntil([&] { return model->allWindows().empty(); }, kStepSeconds)) {
            state.SkipWithError("the model kept windows that closed");
            return;
        }
        dispatchWaitForBackgroundWork();
        RunLoop::main().runUntilIdle();
        // As soon as every window is gone: what the allocator still holds.
        double closed = statusMegabytes("VmRSS");
        // After the quiet time in which the desktop hands freed memory back
        // (and the model's delayed steps, half a second and less, ran).
        runMainUntil([] { return false; }, X11Desktop::kReturnMemoryDelaySeconds + 1.0);
        dispatchWaitForBackgroundWork();
        RunLoop::main().runUntilIdle();
        double after = statusMegabytes("VmRSS");
        double heapAfter = heapInUseMegabytes();

        auto last = session->launchClient();
        if (!last || !last->open("Last", 0x808080, 10, 10, 200, 150)
            || !runMainUntil([&] { return model->allWindows().size() == 1; }, kStepSeconds)) {
            state.SkipWithError("a window did not open after the others closed");
            return;
        }
        state.counters["reopen_ms"] = timedOpening(*session, *desktop, *host);
        state.counters["open_again_ms"] = timedOpening(*session, *desktop, *host);
        state.counters["heap_before_MB"] = heapBefore;
        state.counters["heap_peak_MB"] = heapPeak;
        state.counters["heap_after_MB"] = heapAfter;
        state.counters["closed_MB"] = closed;
        state.counters["before_MB"] = before;
        state.counters["peak_MB"] = peak;
        state.counters["after_MB"] = after;
        state.counters["high_water_MB"] = statusMegabytes("VmHWM");
    }
    // The switcher goes before the run loop and the bus it used.
    host = nullptr;
    controller = nullptr;
    model = nullptr;
    dispatchWaitForBackgroundWork();
    RunLoop::main().reset();
    EBEventful::resetForTesting();
}

}

BENCHMARK(BM_X11MemoryAfterWindowsOpenAndClose)->Iterations(1)->Unit(benchmark::kSecond);

// Settings of the run's own: a person's settings would change what is
// shown. The allocator is set up as the program sets it up.
int main(int argc, char** argv)
{
    keepLargeBuffersForReuse();
    TemporaryDirectory configHome;
    ::setenv("XDG_CONFIG_HOME", configHome.path().c_str(), 1);
    return runBenchmarks(argc, argv);
}

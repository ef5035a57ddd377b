// How long a person waits for the switcher: from Command+Tab entering the
// event taps to the panel's first frame, rendered and handed to the desktop,
// on desktops of 10, 100 and 500 windows, in the grid (layout 0), the list
// (1, and 2 without its second column) and the carousel (3).
//
// The application runs on a virtual clock, so no timer delay is waited for:
// the elapsed time (steady_clock) is the work on the road. The clock starts in
// a listen-only tap placed in front of the hotkey controller's tap, when it
// sees the Tab key go down; the run loop then turns one at a time until the
// panel is up, registered with the desktop and has no damage left to paint;
// the clock stops once the desktop has the panel's pixels. Every window's
// preview has been captured before the first opening (the common case: the
// model captures on-screen windows as it finds them). Between openings the
// modifier is released, which switches and closes the panel, and the
// virtual clock is moved on so that delayed work of the last opening is done
// outside the measurement. The process keeps its memory as the quorvex
// program does (keepLargeBuffersForReuse), so that the panel's frames are
// timed in the memory a person's switcher has.
#include "BenchSupport.h"
#include "support/SimWorld.h"
#include "support/TemporaryDirectory.h"

#include <app/AppController.h>
#include <app/KSShortcutMonitor.h>
#include <foundation/LargeBuffers.h>
#include <foundation/NSUserDefaults.h>
#include <model/EBEventful.h>
#include <model/WindowManager.h>
#include <services/CGEventTap.h>
#include <switcher/KeyAndMouseEventView.h>
#include <switcher/SwitchWindowController.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr double kFrameMs = 1000.0 / 60.0;
constexpr uint16_t kTabKeyCode = kVK_Tab;
constexpr uint64_t kCommandFlag = kCGEventFlagMaskCommand;

class PanelWorld {
public:
    PanelWorld(int windowCount, SwitcherLayout layout)
        : world(manyWindowsScenario(windowCount))
        , layout(layout)
    {
        NSUserDefaults::setStorageDirectory(directory.path());
        NSUserDefaults::resetStandardUserDefaults();
        NSUserDefaults::standardUserDefaults()->setInteger(layout, "LayoutType");
        EBEventful::resetForTesting();
        model = WindowManager::create();
        world.settle();
        world.advance(1);
        controller = AppController::create(model);
        world.settle();
        // Every preview captured, as after the model has run a while.
        for (const auto& window : model->allWindows())
            if (!window->previewImage()) window->updatePreview();
        world.settle();
        for (const auto& window : model->allWindows())
            previews += window->previewImage() ? 1 : 0;
        windows = model->allWindows().size();

        // In front of the controller's tap: the clock starts as the event
        // enters the taps.
        startTap = CGEventTapCreate(kCGHIDEventTap, kCGHeadInsertEventTap, kCGEventTapOptionListenOnly,
            CGEventMaskBit(kCGEventKeyDown), startCallback, this);
        startSource = CFMachPortCreateRunLoopSource(kCFAllocatorDefault, startTap, 0);
        CFRunLoopAddSource(RunLoop::current(), startSource, kCFRunLoopCommonModes);
        CGEventTapEnable(startTap, true);
    }

    ~PanelWorld()
    {
        if (startTap) CFMachPortInvalidate(startTap);
        if (auto monitor = KSShortcutMonitor::sharedMonitor()) monitor->unregisterAllShortcuts();
        controller.reset();
        model.reset();
        world.settle();
        EBEventful::resetForTesting();
        NSUserDefaults::resetStandardUserDefaults();
        NSUserDefaults::setStorageDirectory("");
    }

    Ref<NSWindow> panel() { return controller->windowController()->window(); }

    static constexpr double kNoPanel = -1;
    static constexpr double kNoCard = -2;

    // Holds Command, presses Tab and runs the main run loop turn by turn
    // until the panel's first frame is with the desktop. Answers the time
    // from the Tab entering the taps, in milliseconds; kNoPanel when the
    // panel did not come up, kNoCard when the carousel's frame shows no card.
    double open()
    {
        world.desktop().setModifierFlags(kCommandFlag);
        world.settle();
        started = false;
        world.desktop().pressKey(kTabKeyCode);
        auto window = panel();
        auto& loop = RunLoop::main();
        while (
            !(started && window->isVisible() && window->windowNumber() != 0 && !window->viewsNeedDisplay())) {
            if (!loop.runOnce()) return -1;
        }
        DesktopImage frame = world.desktop().windowContent(static_cast<CGWindowID>(window->windowNumber()));
        auto end = SteadyClock::now();
        benchmark::DoNotOptimize(frame.rgba.data());
        if (frame.width <= 0 || frame.rgba.empty()) return kNoPanel;
        // The frame timed is the one a person sees first: the carousel's
        // shows its front card, not only the backdrop (hit testing follows
        // what was painted).
        if (layout == SwitcherLayoutCarousel && !paintedCardAtCentre(*window)) return kNoCard;
        return std::chrono::duration<double, std::milli>(end - startTime).count();
    }

    static bool paintedCardAtCentre(NSWindow& window)
    {
        auto content = window.contentView();
        CGRect bounds = content->bounds();
        for (auto view = content->hitTest({ CGRectGetMidX(bounds), CGRectGetMidY(bounds) }); view;
             view = view->superview() ? view->superview()->selfRef<NSView>() : nullptr)
            if (std::dynamic_pointer_cast<KeyAndMouseEventView>(view)) return true;
        return false;
    }

    // Lets go of Tab and Command (the panel switches and closes), and lets
    // the delayed work of this opening run.
    bool close()
    {
        world.desktop().releaseKey(kTabKeyCode);
        world.desktop().setModifierFlags(0);
        world.settle();
        world.advance(1);
        world.desktop().clearCallLog();
        return !panel()->isVisible();
    }

    SimWorld world;
    SwitcherLayout layout;
    TemporaryDirectory directory;
    Ref<WindowManager> model;
    Ref<AppController> controller;
    size_t windows { 0 };
    size_t previews { 0 };

private:
    static CGEventRef startCallback(
        CGEventTapProxy, CGEventType type, const CGEventRef& event, void* userInfo)
    {
        auto* self = static_cast<PanelWorld*>(userInfo);
        if (type == kCGEventKeyDown && !self->started
            && (CGEventGetIntegerValueField(event, kCGKeyboardEventKeycode) & 0xFFFF) == kTabKeyCode) {
            self->startTime = SteadyClock::now();
            self->started = true;
        }
        return event;
    }

    CFMachPortRef startTap;
    CFRunLoopSourceRef startSource;
    bool started { false };
    SteadyClock::time_point startTime;
};

double percentile(std::vector<double> samples, double p)
{
    if (samples.empty()) return 0;
    std::sort(samples.begin(), samples.end());
    // Nearest rank: the smallest sample with at least p of all at or below it.
    size_t rank = static_cast<size_t>(std::ceil(p * static_cast<double>(samples.size())));
    return samples[std::clamp<size_t>(rank, 1, samples.size()) - 1];
}

// Arguments: the number of windows on the desktop, and the layout.
void BM_HotkeyToFirstFrame(benchmark::State& state)
{
    PanelWorld panel(static_cast<int>(state.range(0)), static_cast<SwitcherLayout>(state.range(1)));
    if (panel.windows != static_cast<size_t>(state.range(0)) || panel.previews != panel.windows) {
        state.SkipWithError("the model does not hold every window with its preview");
        return;
    }
    // The first opening also makes the panel and its layout; it is reported
    // apart from the openings that follow.
    double first = panel.open();
    if (first == PanelWorld::kNoCard) {
        state.SkipWithError("the first frame shows no card");
        return;
    }
    if (first < 0 || !panel.close()) {
        state.SkipWithError("the panel did not open and close");
        return;
    }
    std::vector<double> samples;
    for (auto _ : state) {
        double ms = panel.open();
        if (ms < 0) {
            state.SkipWithError(ms == PanelWorld::kNoCard ? "the frame timed shows no card" : "the panel did not come up");
            return;
        }
        state.SetIterationTime(ms / 1000.0);
        samples.push_back(ms);
        if (!panel.close()) {
            state.SkipWithError("the panel did not close");
            return;
        }
    }
    double p50 = percentile(samples, 0.50), p99 = percentile(samples, 0.99);
    state.counters["p50_ms"] = p50;
    state.counters["p99_ms"] = p99;
    state.counters["max_ms"] = *std::max_element(samples.begin(), samples.end());
    state.counters["first_open_ms"] = first;
    state.counters["frame_ms"] = kFrameMs;
    state.counters["p99_frames"] = p99 / kFrameMs;
}

}

BENCHMARK(BM_HotkeyToFirstFrame)
    ->ArgNames({ "windows", "layout" })
    ->ArgsProduct({ { 10, 100, 500 },
        { SwitcherLayoutGrid, SwitcherLayoutList, SwitcherLayoutListWithoutSecondColumn, SwitcherLayoutCarousel } })
    ->Iterations(200)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    keepLargeBuffersForReuse();
    return runBenchmarks(argc, argv);
}

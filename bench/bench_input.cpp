// The input stream with the hotkey controller's event tap in it: the cost of
// carrying one event to the frontmost application with and without the tap,
// for events the tap passes on (mouse moves, plain keys, Command+letters).
#include "support/SimWorld.h"
#include "support/TemporaryDirectory.h"

#include <app/AppController.h>
#include <app/KSShortcutMonitor.h>
#include <foundation/NSUserDefaults.h>
#include <model/WindowManager.h>

#include <benchmark/benchmark.h>

namespace {

const char* kScenario = R"({
  "screens": [ { "frame": [0, 0, 1440, 900] } ],
  "apps": [ { "pid": 7, "name": "Editor", "windows": [ { "id": 70, "title": "a", "frame": [0, 30, 400, 300] } ] } ] })";

struct InputWorld {
    explicit InputWorld(bool withController)
    {
        NSUserDefaults::setStorageDirectory(directory.path());
        NSUserDefaults::resetStandardUserDefaults();
        if (withController) {
            model = WindowManager::create();
            world.settle();
            controller = AppController::create(model);
            world.settle();
        }
    }
    ~InputWorld()
    {
        if (auto monitor = KSShortcutMonitor::sharedMonitor()) monitor->unregisterAllShortcuts();
        controller.reset();
        model.reset();
        world.settle();
        NSUserDefaults::resetStandardUserDefaults();
        NSUserDefaults::setStorageDirectory("");
    }
    SimWorld world { kScenario };
    TemporaryDirectory directory;
    Ref<WindowManager> model;
    Ref<AppController> controller;
};

// Arguments: whether the controller is running; which events (0 mouse
// moves, 1 plain keys, 2 Command+Q with the panel hidden).
void BM_CarryEvent(benchmark::State& state)
{
    InputWorld input(state.range(0) != 0);
    auto& desktop = input.world.desktop();
    const int kind = static_cast<int>(state.range(1));
    if (kind == 2) desktop.setModifierFlags(0x100000);
    input.world.settle();
    double x = 10;
    for (auto _ : state) {
        if (kind == 0) {
            CGEventPost(
                kCGHIDEventTap, CGEventCreateMouseEvent(nullptr, kCGEventMouseMoved, CGPointMake(x, 300), 0));
            x = x > 1400 ? 10 : x + 1;
        } else {
            desktop.typeKey(kind == 1 ? 0 : 12);
        }
        input.world.settle();
    }
    state.SetItemsProcessed(state.iterations() * (kind == 0 ? 1 : 2));
}

}

BENCHMARK(BM_CarryEvent)
    ->ArgsProduct({ { 0, 1 }, { 0, 1, 2 } })
    ->ArgNames({ "controller", "events" })
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();

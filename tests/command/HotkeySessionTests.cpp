// A session script on the hotkey controller, end to end: the script types on
// the simulated desktop, the keys travel through the event tap and the hot
// keys, and the switcher panel (with the grid) opens, steps and switches.
#include "app/HotkeyScenario.h"

#include <support/SimWorld.h>
#include <support/TemporaryDirectory.h>

#include <app/AppController.h>
#include <app/KSShortcutMonitor.h>
#include <command/QuorvexSession.h>
#include <appkit/NSArrayController.h>
#include <foundation/NSUserDefaults.h>
#include <model/EBEventful.h>
#include <model/SWWindow.h>
#include <model/WindowManager.h>
#include <switcher/SwitchWindowController.h>

#include <filesystem>
#include <foundation/Log.h>
#include <functional>
#include <sstream>

namespace {

// Runs a session script on the hotkey desktop with a started model and the
// first-run hotkeys; returns the session's result, with its errors.
struct HotkeySessionRun {
    QuorvexSession::Status result;
    std::string errors;
};

// With between and then: the session goes on with then after between has
// changed the world.
HotkeySessionRun runHotkeySession(SimWorld& world, const TemporaryDirectory& directory, const char* text,
    const std::function<void()>& between = {}, const char* then = nullptr)
{
    EBEventful::resetForTesting();
    NSUserDefaults::setStorageDirectory(directory.path());
    NSUserDefaults::resetStandardUserDefaults();
    auto model = WindowManager::create();
    world.settle();
    world.advance(std::max(WindowManager::kFirstSortOrderDelay, WindowManager::kBadgesDelay));
    HotkeySessionRun run;
    {
        auto controller = AppController::create(model);
        AppControllerSessionHost host(*controller);
        std::ostringstream out, err;
        QuorvexSession session(world.desktop(), host, directory.path(), out, err);
        std::istringstream script(text);
        run.result = session.run(script, "hotkeys.session");
        if (between && run.result == QuorvexSession::Passed) {
            between();
            std::istringstream rest(then ? then : "");
            run.result = session.run(rest, "hotkeys.session");
        }
        run.errors = err.str();
        if (auto monitor = KSShortcutMonitor::sharedMonitor()) monitor->unregisterAllShortcuts();
    }
    world.settle();
    NSUserDefaults::resetStandardUserDefaults();
    NSUserDefaults::setStorageDirectory("");
    EBEventful::resetForTesting();
    return run;
}

}

TEST(HotkeySession, AScriptOpensStepsAndSwitchesThroughEveryHotkey)
{
    SimWorld world { kScenario };
    TemporaryDirectory directory;
    // The first-run hotkeys: Command+Tab all windows, Option+Tab on-screen
    // windows, Option+` the active application's windows.
    auto run = runHotkeySession(world, directory, R"(
press cmd+tab
expect panel visible
expect count 5
expect selected "photo"
shot all-windows
tap tab
expect selected "notes"
release cmd
expect panel hidden
expect focus "notes"

press alt+tab
expect panel visible
expect count 4
expect selected "draft"
release all
expect focus "draft"

press cmd+q
expect panel hidden
expect focus "draft"
release all

press alt+grave
expect count 2
expect selected "notes"
tap grave
expect selected "draft"
tap escape
expect panel hidden
release all
)");
    EXPECT_EQ(run.result, QuorvexSession::Passed) << run.errors;
    EXPECT_TRUE(std::filesystem::exists(directory.file("all-windows.png")));
    // Command+Q with the panel hidden went to the editor, untouched.
    auto received = world.desktop().receivedEvents(7);
    EXPECT_TRUE(std::any_of(received.begin(), received.end(),
        [](const DesktopInputEvent& e) { return e.type == kCGEventKeyDown && e.keyCode == 12; }));
}

// Escape leaves the user where they were; the active application is the one
// in front before the panel opened, also while the panel is up; a minimised
// window leaves the open panel once the model has filtered it out.
TEST(HotkeySession, EscapeAndMinimiseKeepTheListsOfTheApplicationInFront)
{
    SimWorld world { kScenario };
    TemporaryDirectory directory;
    auto run = runHotkeySession(world, directory, R"(
press alt+tab
expect count 4
tap escape
expect panel hidden
release all
expect focus "draft"
press alt+grave
expect panel visible
expect count 2
expect selected "notes"
tap m
wait 0.3
expect count 1
expect selected "draft"
tap escape
release all
expect focus "draft"
wait 1
press alt+tab
expect count 3
expect selected "photo"
tap m
wait 1
expect count 2
tap escape
release all
expect focus "draft"
)");
    EXPECT_EQ(run.result, QuorvexSession::Passed) << run.errors;
}

// Choosing a window of an application that stopped answering leaves the
// focus where it was before the panel opened, with a word in the log naming
// the application, instead of with nobody.
TEST(HotkeySession, ChoosingAHungApplicationsWindowKeepsTheFocusWhereItWas)
{
    SimWorld world { kScenario };
    TemporaryDirectory directory;
    LogCapture log;
    auto run = runHotkeySession(
        world, directory, R"(
press cmd+tab
expect selected "photo"
)",
        [&] { world.desktop().setApplicationHung(8, true); }, R"(
release cmd
expect panel hidden
expect focus "draft"
)");
    EXPECT_EQ(run.result, QuorvexSession::Passed) << run.errors;
    EXPECT_EQ(log.count("“Viewer” did not take the focus"), 1u);
}

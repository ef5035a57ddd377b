// A session script on the hotkey controller, end to end: the script types on
// the simulated desktop, the keys travel through the event tap and the hot
// keys, and the switcher panel (with the grid) opens, steps and switches.
#include "app/HotkeyScenario.h"

#include <support/GridCells.h>
#include <support/SimWorld.h>
#include <support/TemporaryDirectory.h>

#include <app/AppController.h>
#include <app/KSShortcutMonitor.h>
#include <command/QuorvexSession.h>
#include <appkit/NSArrayController.h>
#include <appkit/NSImageView.h>
#include <foundation/LargeBuffers.h>
#include <foundation/NSUserDefaults.h>
#include <model/EBEventful.h>
#include <model/SWWindow.h>
#include <model/WindowManager.h>
#include <switcher/SwitchWindowController.h>

#include <algorithm>
#include <filesystem>
#include <foundation/Log.h>
#include <functional>
#include <memory>
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

namespace {

// The application on the hotkey desktop with the grid, typed on line by
// line, and what its panel shows between the lines.
class GridWhileWindowsChange : public ::testing::Test {
protected:
    GridWhileWindowsChange()
    {
        EBEventful::resetForTesting();
        NSUserDefaults::setStorageDirectory(directory.path());
        NSUserDefaults::resetStandardUserDefaults();
        NSUserDefaults::standardUserDefaults()->setInteger(0, "LayoutType");
        NSUserDefaults::standardUserDefaults()->setBool(true, "KeyboardShotcuts");
        model = WindowManager::create();
        world.settle();
        world.advance(std::max(WindowManager::kFirstSortOrderDelay, WindowManager::kBadgesDelay));
        controller = AppController::create(model);
        host = std::make_unique<AppControllerSessionHost>(*controller);
        session = std::make_unique<QuorvexSession>(world.desktop(), *host, directory.path(), out, err);
    }
    ~GridWhileWindowsChange() override
    {
        if (auto monitor = KSShortcutMonitor::sharedMonitor()) monitor->unregisterAllShortcuts();
        session.reset();
        host.reset();
        controller.reset();
        model.reset();
        world.settle();
        NSUserDefaults::resetStandardUserDefaults();
        NSUserDefaults::setStorageDirectory("");
        EBEventful::resetForTesting();
    }
    bool type(const std::string& line) { return session->runLine(line, ++lines) == QuorvexSession::Passed; }
    std::vector<GridCell> cells() { return gridCells(controller->windowController()); }

    SimWorld world { kScenario };
    TemporaryDirectory directory;
    Ref<WindowManager> model;
    Ref<AppController> controller;
    std::unique_ptr<AppControllerSessionHost> host;
    std::ostringstream out, err;
    std::unique_ptr<QuorvexSession> session;
    size_t lines { 0 };
};

}

// Without letting the clock run: W closes the selected window, twice, and
// a window appears, each while the panel is up. The badges read 1..n in the order
// shown, one cell is highlighted, and the release switches to it.
TEST_F(GridWhileWindowsChange, TheBadgesAndTheHighlightFollowTheListAfterWAndAfterAWindowAppears)
{
    ASSERT_TRUE(type("press cmd+tab"));
    ASSERT_TRUE(type("tap tab"));
    ASSERT_TRUE(type("expect selected \"notes\"")) << err.str();
    EXPECT_TRUE(badgesFollowTheListWithOneHighlight(cells())) << describe(cells());

    ASSERT_TRUE(type("tap w"));
    ASSERT_TRUE(type("expect count 4")) << err.str();
    EXPECT_TRUE(badgesFollowTheListWithOneHighlight(cells())) << describe(cells());
    ASSERT_TRUE(type("tap w"));
    ASSERT_TRUE(type("expect count 3")) << err.str();
    EXPECT_TRUE(badgesFollowTheListWithOneHighlight(cells())) << describe(cells());

    // The fourth window makes the grid a cell wider.
    ASSERT_TRUE(type("open Viewer \"scan\""));
    ASSERT_TRUE(type("expect count 4")) << err.str();
    auto shown = cells();
    EXPECT_TRUE(badgesFollowTheListWithOneHighlight(shown)) << describe(shown);
    EXPECT_TRUE(std::any_of(shown.begin(), shown.end(), [](const GridCell& c) { return c.title == "scan"; }));

    auto highlighted = std::find_if(shown.begin(), shown.end(), [](const GridCell& c) { return c.highlighted; });
    ASSERT_NE(highlighted, shown.end());
    ASSERT_TRUE(type("release cmd"));
    EXPECT_TRUE(type("expect focus \"" + highlighted->title + "\"")) << err.str();
}

// What the panel keeps only to be quicker next time goes when the program
// hands memory back: the hidden panel's frame (the next opening paints it
// whole, the same picture), and the shrunk previews of windows that closed
// (their cells went with the windows).
TEST_F(GridWhileWindowsChange, WhatTheHiddenPanelAndClosedWindowsKeptGoesWhenMemoryIsHandedBack)
{
    ASSERT_TRUE(type("press cmd+tab"));
    world.advance(1);
    auto panel = controller->windowController()->window();
    ASSERT_TRUE(panel);
    DesktopImage before = panel->renderedImage();
    ASSERT_TRUE(type("tap escape"));
    ASSERT_TRUE(type("release all"));
    ASSERT_TRUE(type("expect panel hidden")) << err.str();
    EXPECT_TRUE(panel->keepsFrame());
    returnFreedLargeBuffers();
    EXPECT_FALSE(panel->keepsFrame());

    ASSERT_TRUE(type("press cmd+tab"));
    world.advance(1);
    DesktopImage after = panel->renderedImage();
    EXPECT_EQ(after.width, before.width);
    EXPECT_EQ(after.height, before.height);
    EXPECT_TRUE(after.rgba == before.rgba);
    std::vector<Weak<NSObject>> cells, shrunk;
    auto grid = std::dynamic_pointer_cast<GridViewController>(controller->windowController()->currentViewController());
    ASSERT_TRUE(grid && grid->collectionView());
    for (NSUInteger i = 0; i < grid->collectionView()->numberOfItems(); ++i) {
        auto cell = std::dynamic_pointer_cast<GridCollectionViewItem>(grid->collectionView()->itemAtIndex(i));
        ASSERT_TRUE(cell && cell->previewView() && cell->previewView()->image());
        cells.push_back(cell);
        shrunk.push_back(cell->previewView()->image());
    }
    ASSERT_EQ(cells.size(), 5u);
    ASSERT_TRUE(type("tap escape"));
    ASSERT_TRUE(type("release all"));

    for (pid_t pid : { 7, 8, 9 })
        world.desktop().quitApplication(pid);
    world.advance(1);
    auto expired = [](const std::vector<Weak<NSObject>>& list) {
        return std::all_of(list.begin(), list.end(), [](const auto& weak) { return weak.expired(); });
    };
    EXPECT_TRUE(expired(cells));
    returnFreedLargeBuffers();
    EXPECT_TRUE(expired(shrunk));
}

#include <desktop/sim/SimDesktop.h>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

std::string loadError(const std::string& json)
{
    std::string error;
    auto desktop = SimDesktop::fromScenario(json, "case.json", &error);
    EXPECT_FALSE(desktop) << "the scenario should have been refused";
    return error;
}

std::vector<CGWindowID> numbers(const std::vector<DesktopWindow>& windows)
{
    std::vector<CGWindowID> result;
    for (const auto& w : windows)
        result.push_back(w.number);
    return result;
}

}

TEST(SimScenario, DemoDesktopLoadsWithItsOrderFocusAndStates)
{
    auto desktop = SimDesktop::demo();
    ASSERT_TRUE(desktop);
    EXPECT_EQ(desktop->screens().size(), 2u);
    auto windows = desktop->windows();
    EXPECT_EQ(numbers(windows), (std::vector<CGWindowID> { 11, 31, 21, 32, 12, 41, 22, 13, 71, 51, 61, 23 }));
    EXPECT_EQ(desktop->frontmostApplication(), 101);
    EXPECT_EQ(desktop->focusedWindow(), 11u);
    auto music = desktop->application(105);
    ASSERT_TRUE(music);
    EXPECT_TRUE(music->hidden);
    auto find = [&](CGWindowID n) { return *std::find_if(windows.begin(), windows.end(), [&](auto& w) { return w.number == n; }); };
    EXPECT_FALSE(find(51).onScreen) << "a hidden application's window is off screen";
    EXPECT_FALSE(find(61).onScreen) << "a window on another space is off screen";
    EXPECT_FALSE(find(23).onScreen) << "a minimised window is off screen";
    EXPECT_TRUE(find(11).onScreen);
}

TEST(SimScenario, OptionalKeysTakeSensibleDefaults)
{
    std::string error;
    auto desktop = SimDesktop::fromScenario(R"({
        "screens": [ { "frame": [0, 0, 800, 600] } ],
        "apps": [ { "pid": 7, "name": "Solo", "windows": [ { "id": 5, "frame": [10, 20, 300, 200] } ] } ] })",
        "defaults.json", &error);
    ASSERT_TRUE(desktop) << error;
    auto screen = desktop->screens().front();
    EXPECT_EQ(screen.visibleFrame, screen.frame);
    auto w = desktop->window(5);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->title, std::optional<std::string>(""));
    EXPECT_EQ(w->subrole, std::optional<std::string>("AXStandardWindow"));
    EXPECT_FALSE(w->minimized);
    EXPECT_EQ(desktop->frontmostApplication(), 7);
    EXPECT_EQ(desktop->mouseLocation(), (CGPoint { 400, 300 }));
    EXPECT_TRUE(desktop->isAccessibilityTrusted());
    EXPECT_TRUE(desktop->isScreenRecordingGranted());
}

TEST(SimScenario, ProblemsAreReportedWithTheFileAndTheKey)
{
    std::string e = loadError(R"({ "screens": [ { "frame": [0,0,10,10], "colour": 1 } ] })");
    EXPECT_NE(e.find("case.json"), std::string::npos) << e;
    EXPECT_NE(e.find("screens[0].colour"), std::string::npos) << e;
    EXPECT_NE(e.find("unknown key"), std::string::npos) << e;

    e = loadError(R"({ "screens": [ { "frame": [0,0,10] } ] })");
    EXPECT_NE(e.find("screens[0].frame"), std::string::npos) << e;

    e = loadError(R"({ "screens": [ { "frame": [0,0,10,10] } ], "apps": [ { "pid": "101", "name": "X" } ] })");
    EXPECT_NE(e.find("apps[0].pid"), std::string::npos) << e;
    EXPECT_NE(e.find("integer"), std::string::npos) << e;

    e = loadError(R"({ "screens": [ { "frame": [0,0,10,10] } ],
        "apps": [ { "pid": 1, "name": "X", "windows": [ { "id": 3, "frame": [0,0,1,1], "minimized": "yes" } ] } ] })");
    EXPECT_NE(e.find("apps[0].windows[0].minimized"), std::string::npos) << e;

    e = loadError(R"({ "screens": [ { "frame": [0,0,10,10] } ], "order": [9] })");
    EXPECT_NE(e.find("order[0]"), std::string::npos) << e;

    e = loadError(R"({ "screens": [] })");
    EXPECT_NE(e.find("screens"), std::string::npos) << e;

    e = loadError(R"({ "apps": [] })");
    EXPECT_NE(e.find("\"screens\": missing"), std::string::npos) << e;

    e = loadError(R"({ "screens": [ { "frame": [0,0,10,10] } ],
        "apps": [ { "pid": 1, "name": "A", "windows": [ { "id": 3, "frame": [0,0,1,1] } ] },
                  { "pid": 2, "name": "B", "windows": [ { "id": 3, "frame": [0,0,1,1] } ] } ] })");
    EXPECT_NE(e.find("used twice"), std::string::npos) << e;

    e = loadError(R"({ "screens": [ { "frame": [0,0,10,10] } ], "permissions": { "accessibility": 1 } })");
    EXPECT_NE(e.find("permissions.accessibility"), std::string::npos) << e;

    e = loadError("{ \"screens\": [ \n  { \"frame\": [0,0,10,10] ,, } ] }");
    EXPECT_NE(e.find("case.json:2:"), std::string::npos) << "malformed JSON names its line: " << e;

    e = loadError(R"({ "screens": [ { "frame": [0,0,10,10], "spaces": [1, 2] }, { "frame": [10,0,10,10], "spaces": [2] } ],
        "separateSpaces": true })");
    EXPECT_NE(e.find("screens[1].spaces[0]"), std::string::npos) << e;
    EXPECT_NE(e.find("listed twice"), std::string::npos) << e;

    e = loadError(R"({ "screens": [ { "frame": [0,0,10,10] }, { "frame": [10,0,10,10], "spaces": [2] } ] })");
    EXPECT_NE(e.find("screens[1].spaces"), std::string::npos) << "separate lists need separate spaces: " << e;

    e = loadError("[1, 2]");
    EXPECT_NE(e.find("expected an object"), std::string::npos) << e;
}

TEST(SimScenario, MissingFileIsAnError)
{
    std::string error;
    EXPECT_FALSE(SimDesktop::fromFile("/nonexistent/desktop.json", &error));
    EXPECT_NE(error.find("/nonexistent/desktop.json"), std::string::npos);
}

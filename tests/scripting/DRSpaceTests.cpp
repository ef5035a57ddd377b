#include "ScriptTestSupport.h"

#include <scripting/DRSpace.h>
#include <scripting/DRWindow.h>
#include <scripting/NSScreenDRExtension.h>

#include <desktop/sim/SimDesktop.h>
#include <model/SWWindow.h>

namespace {

// Two screens with spaces of their own: the main one offers 1, 2 and the
// full-screen space 5, the second 7 and 8. Editor (101) has Left on 1 and
// Far on 7; Browser (102) has Middle on 1, Elsewhere on 2 and Sticky on
// every space.
struct Spaces : ::testing::Test {
    Spaces()
    {
        s.install("Window", DRWindow::exportClass());
        s.install("Screen", NSScreenDRExtension::exportClass());
        s.install("Space", DRSpace::exportClass());
    }
    SimDesktop& desktop() { return s.world.desktop(); }
    std::string eval(const std::string& script) { return s.eval(script); }
    // The identifiers of a script expression's spaces, joined by commas.
    std::string ids(const std::string& expression) { return eval("(" + expression + ").map(function (s) { return s.hash(); }).join()"); }
    std::string window(const std::string& title) { return "Window.all().filter(function (w) { return w.title() == '" + title + "'; })[0]"; }

    ScriptWorld s { R"({ "screens": [ { "frame": [0, 0, 1440, 900], "spaces": [1, 2, { "id": 5, "fullScreen": true }] },
                                      { "frame": [1440, 0, 1280, 800], "spaces": [7, 8] } ],
        "separateSpaces": true,
        "apps": [ { "pid": 101, "name": "Editor", "windows": [ { "id": 11, "title": "Left", "frame": [0, 100, 400, 300] },
                                                             { "id": 12, "title": "Far", "frame": [1500, 100, 400, 300], "space": 7 } ] },
                  { "pid": 102, "name": "Browser", "windows": [ { "id": 21, "title": "Middle", "frame": [600, 100, 400, 300] },
                                                              { "id": 22, "title": "Elsewhere", "frame": [600, 100, 400, 300], "space": 2 },
                                                              { "id": 23, "title": "Sticky", "frame": [900, 500, 200, 100], "space": 0 } ] } ] })" };
};

TEST_F(Spaces, DisplaysListTheirSpacesAndShowOneEach)
{
    EXPECT_EQ(ids("Space.all()"), "1,2,5,7,8");
    EXPECT_EQ(eval("Space.active().hash()"), "1") << "the pointer is on the main screen";
    EXPECT_EQ(eval("Screen.all()[0].currentSpace().hash() + ' ' + Screen.all()[1].currentSpace().hash()"), "1 7");
    EXPECT_EQ(ids("Screen.all()[0].spaces()"), "1,2,5");
    EXPECT_EQ(ids("Screen.all()[1].spaces()"), "7,8");
    EXPECT_EQ(eval("var s = Space.all()[3].screens(); s.length + ' ' + s[0].isEqual(Screen.all()[1])"), "1 true")
        << "a space of the second display lists exactly its screen";
    EXPECT_EQ(eval("Space.all()[2].isFullScreen() + ' ' + Space.all()[2].isNormal() + ' ' + Space.all()[0].isNormal()"), "true false true");
    EXPECT_EQ(eval("Space.all()[4].next().hash() + ' ' + Space.all()[0].previous().hash()"), "1 8");
    EXPECT_EQ(eval("Space.all()[0].isEqual(Space.active()) + ' ' + Space.all()[0].isEqual(Space.all()[1])"), "true false");

    desktop().switchToSpace(8);
    desktop().moveMouse({ 2000, 400 });
    s.world.settle();
    EXPECT_EQ(eval("Screen.all()[1].currentSpace().hash() + ' ' + Space.active().hash()"), "8 8");

    // A space the desktop no longer has steps to nothing and shows nowhere.
    eval("var gone = Space.all()[4];");
    desktop().setSpaces(NSScreen::screens()[1]->displayID(), { { 7, false } });
    s.world.settle();
    EXPECT_EQ(eval("typeof gone.next() + ' ' + gone.screens().length"), "undefined 0");
    EXPECT_TRUE(s.exceptions.empty());
}

TEST_F(Spaces, WindowsKnowTheirSpacesAndMoveBetweenThem)
{
    EXPECT_EQ(ids(window("Left") + ".spaces()"), "1");
    EXPECT_EQ(ids(window("Far") + ".spaces()"), "7");
    EXPECT_EQ(ids(window("Sticky") + ".spaces()"), "1,2,5,7,8") << "a window on every space";
    EXPECT_EQ(eval("Space.active().windows().map(function (w) { return w.title(); }).join()"), "Left,Middle,Sticky");
    EXPECT_EQ(eval("Space.active().windows({visible: true}).length"), "3");
    auto record = SWWindow::windowWithAXElement(makeRef<AXUIElement>(DesktopElement { DesktopElement::Kind::Window, 101, 11 }));
    ASSERT_EQ(record->spaces().size(), 1u);
    EXPECT_EQ(record->spaces()[0]->identifier(), 1u) << "the window record asks the same objects";

    // Moving Left to space 2 takes it off the screen; taking a window off
    // its only space is refused.
    EXPECT_EQ(eval("var left = " + window("Left") + "; Space.all()[1].addWindows([left])"), "true");
    EXPECT_EQ(desktop().window(11)->space, 2u);
    EXPECT_FALSE(desktop().window(11)->onScreen);
    EXPECT_EQ(ids("left.spaces()"), "2");
    EXPECT_EQ(eval("Space.all()[1].removeWindows([left])"), "false");
    EXPECT_TRUE(s.log.contains("Error: Could not remove windows from space 2. (1000)"));
    EXPECT_EQ(desktop().window(11)->space, 2u);
    EXPECT_EQ(eval("Space.all()[0].removeWindows([left])"), "true") << "it is not there: nothing to do";

    // A space that went away takes no windows.
    eval("var gone = Space.all()[4];");
    desktop().setSpaces(NSScreen::screens()[1]->displayID(), { { 7, false } });
    EXPECT_EQ(eval("gone.addWindows([left])"), "false");
    EXPECT_TRUE(s.log.contains("Error: Could not add windows to space 8. (1001)"));

    // What is not a list of windows is the script's error.
    s.exceptions.clear();
    for (const char* bad : { "Space.active().addWindows([left, null])", "Space.active().addWindows('left')",
             "Space.active().removeWindows([42])", "Space.active().addWindows()" })
        eval(bad);
    EXPECT_EQ(s.exceptions.size(), 4u);
    EXPECT_EQ(desktop().window(11)->space, 2u);
}

TEST(SpacesShared, EveryScreenShowsEverySpaceWhenTheyShareOneList)
{
    ScriptWorld s { R"({ "screens": [ { "frame": [0, 0, 1440, 900], "spaces": [1, 2] }, { "frame": [1440, 0, 1280, 800] } ] })" };
    s.install("Screen", NSScreenDRExtension::exportClass());
    s.install("Space", DRSpace::exportClass());
    EXPECT_EQ(s.eval("Space.all().length + ' ' + Space.all()[1].screens().length + ' ' + Screen.all()[1].spaces().length"), "2 2 2");
    s.world.desktop().switchToSpace(2);
    EXPECT_EQ(s.eval("Screen.all()[1].currentSpace().hash() + ' ' + Space.active().hash()"), "2 2");
}

}

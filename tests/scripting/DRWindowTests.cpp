#include "ScriptTestSupport.h"

#include <scripting/DRApp.h>
#include <scripting/DRMouse.h>
#include <scripting/DRWindow.h>
#include <scripting/NSScreenDRExtension.h>

#include <desktop/sim/SimDesktop.h>

#include <regex>

namespace {

// Two screens side by side; Editor (pid 101) with two windows, Browser
// (pid 102) with one, Browser in front.
struct Windows : ::testing::Test {
    Windows()
    {
        desktop().launchApplication(scriptTestApp(101, "Editor"), { scriptTestWindow(101, 11, "Left", CGRectMake(0, 100, 400, 300)), scriptTestWindow(101, 12, "Far", CGRectMake(1500, 100, 400, 300)) });
        desktop().launchApplication(scriptTestApp(102, "Browser"), { scriptTestWindow(102, 21, "Middle", CGRectMake(600, 100, 400, 300)) });
        s.world.settle();
        s.install("Window", DRWindow::exportClass());
        s.install("App", DRApp::exportClass());
        s.install("Screen", NSScreenDRExtension::exportClass());
        s.install("Mouse", DRMouse::exportClass());
    }
    SimDesktop& desktop() { return s.world.desktop(); }
    // Opens window 31, "Fixed", which cannot be resized, and focuses it.
    void openFixedWindow(CGRect frame)
    {
        auto fixed = scriptTestWindow(101, 31, "Fixed", frame);
        fixed.resizable = false;
        desktop().openWindow(fixed);
        desktop().focusWindow(31);
        s.world.settle();
    }
    std::string eval(const std::string& script) { return s.eval(script); }
    // The titles a script expression's windows have, joined by commas.
    std::string titles(const std::string& expression) { return eval("(" + expression + ").map(function (w) { return w.title(); }).join()"); }

    ScriptWorld s { R"({ "screens": [ { "frame": [0, 0, 1440, 900], "visibleFrame": [0, 25, 1440, 875] },
                                      { "frame": [1440, 0, 1280, 800], "visibleFrame": [1440, 0, 1280, 800] } ] })" };
};

TEST_F(Windows, ReadingAndPlacingAWindow)
{
    eval("var w = Window.focused();");
    EXPECT_EQ(eval("w.title() + ' ' + w.app().name() + ' ' + w.isNormal() + ' ' + w.isVisible() + ' ' + w.isMinimized()"),
        "Middle Browser true true false");
    EXPECT_EQ(eval("JSON.stringify(w.frame())"), R"({"x":600,"y":100,"width":400,"height":300})");
    EXPECT_EQ(eval("w.setFrame({x: 10, y: 40, width: 500, height: 400})"), "true");
    EXPECT_EQ(desktop().window(21)->frame, CGRectMake(10, 40, 500, 400));
    EXPECT_EQ(eval("w.maximize()"), "true");
    EXPECT_EQ(desktop().window(21)->frame, CGRectMake(0, 25, 1440, 875));
    EXPECT_EQ(eval("w.minimize() + ' ' + w.isVisible()"), "true false");
    EXPECT_EQ(eval("w.unminimize() + ' ' + w.isVisible()"), "true true");

    // A window that cannot be resized: setFrame tells the move did not
    // reach the rectangle asked for.
    openFixedWindow(CGRectMake(100, 100, 300, 200));
    EXPECT_EQ(eval("Window.focused().title() + ' ' + Window.focused().setFrame({x: 0, y: 30, width: 900, height: 600})"), "Fixed false");
    EXPECT_EQ(desktop().window(31)->frame, CGRectMake(0, 30, 300, 200)) << "moved, but kept its size";
    desktop().focusWindow(21);
    s.world.settle();

    // Geometry that is not finite never reaches the desktop.
    s.exceptions.clear();
    for (const char* bad : { "w.setFrame({x: NaN, y: 0, width: 10, height: 10})", "w.setSize({width: Infinity, height: 1})",
             "w.setTopLeft(null)", "w.setTopLeft('left')", "w.setSize({width: -5, height: 10})", "Window.at({x: NaN, y: 1})" })
        eval(bad);
    EXPECT_EQ(s.exceptions.size(), 6u);
    EXPECT_EQ(desktop().window(21)->frame, CGRectMake(0, 25, 1440, 875));
}

TEST_F(Windows, FullScreenFillsTheWholeScreenAndGivesTheFrameBack)
{
    eval("var w = Window.focused();");
    EXPECT_EQ(eval("w.isFullScreen() + ' ' + w.setFullScreen(true) + ' ' + w.isFullScreen()"), "false true true");
    EXPECT_EQ(desktop().window(21)->frame, CGRectMake(0, 0, 1440, 900)) << "the screen, not its usable part";
    EXPECT_EQ(eval("w.setFullScreen(true) + ' ' + w.setFullScreen(false) + ' ' + w.isFullScreen()"), "true true false");
    EXPECT_EQ(desktop().window(21)->frame, CGRectMake(600, 100, 400, 300));

    openFixedWindow(CGRectMake(1500, 100, 300, 200));
    EXPECT_EQ(eval("Window.focused().setFullScreen(true) + ' ' + Window.focused().isFullScreen()"), "false false");
    EXPECT_EQ(desktop().window(31)->frame, CGRectMake(1500, 100, 300, 200));
}

TEST_F(Windows, AWindowThatIsGoneAnswersEmptyAndRefusesQuietly)
{
    eval("var w = Window.focused();");
    desktop().closeWindow(21);
    s.world.settle();
    s.log.clear();
    EXPECT_EQ(eval("'[' + w.title() + '] ' + JSON.stringify(w.frame()) + ' ' + w.isVisible()"),
        R"([] {"x":0,"y":0,"width":0,"height":0} false)");
    EXPECT_EQ(eval("w.setTopLeft({x: 1, y: 1}) + ' ' + w.raise() + ' ' + w.close() + ' ' + w.focus()"), "false false false false");
    EXPECT_TRUE(s.log.contains("Error: Could not set accessibility attribute “AXPosition” with value"));
    EXPECT_TRUE(s.log.contains("Error: Could not perform action “AXRaise” for element"));
    EXPECT_EQ(eval("typeof w.screen()"), "undefined") << "a zero frame is on no screen";
    EXPECT_TRUE(s.exceptions.empty());
}

TEST_F(Windows, ASlowApplicationIsWaitedForHalfASecondAtMost)
{
    eval("var w = Window.focused();");
    auto timed = [&](const std::string& script) {
        double before = s.world.clock().now();
        std::string result = eval(script);
        return std::make_pair(result, s.world.clock().now() - before);
    };
    // Answers within the bound arrive.
    desktop().setApplicationAnswerDelay(102, 0.3);
    auto [answer, took] = timed("w.title()");
    EXPECT_EQ(answer, "Middle");
    EXPECT_NEAR(took, 0.3, 1e-6);
    // Later ones do not: each request gives up after half a second, where
    // the desktop by itself waits longer.
    desktop().setApplicationAnswerDelay(102, 5);
    auto [title, waited] = timed("w.title()");
    EXPECT_EQ(title, "");
    EXPECT_NEAR(waited, DRAXUIElement::kMessagingTimeout, 1e-6);
    EXPECT_GT(SimDesktop::kMessagingTimeout, DRAXUIElement::kMessagingTimeout);
    EXPECT_EQ(timed("w.setTopLeft({x: 5, y: 5})").first, "false");
    EXPECT_TRUE(s.log.contains("Error: Could not set accessibility attribute “AXPosition” with value"));
    EXPECT_EQ(desktop().window(21)->frame.origin, CGPointMake(600, 100));
    desktop().setApplicationAnswerDelay(102, 0);
    EXPECT_EQ(timed("w.title()").first, "Middle");
}

TEST_F(Windows, ListsAndTheirFilters)
{
    EXPECT_EQ(titles("Window.all()"), "Left,Far,Middle");
    EXPECT_EQ(titles("Window.recent()"), "Middle,Left,Far");
    desktop().setWindowMinimized(11, true);
    s.world.settle();
    EXPECT_EQ(titles("Window.all()"), "Left,Far,Middle") << "minimised windows are listed";
    EXPECT_EQ(titles("Window.all({visible: true})"), "Far,Middle");
    EXPECT_EQ(titles("Window.all({visible: false})"), "Left");
    EXPECT_EQ(titles("Window.recent()"), "Middle,Far") << "but are not on screen";
    EXPECT_EQ(titles("Window.focused().others()"), "Left,Far");
    EXPECT_EQ(titles("Window.focused().others({screen: Screen.all()[1]})"), "Far");
    EXPECT_EQ(titles("Window.focused().others({screen: 'not a screen'})"), "");
    EXPECT_EQ(titles("Screen.all()[0].windows({visible: true})"), "Middle");
    EXPECT_EQ(titles("App.get('Editor').windows()"), "Left,Far");
    EXPECT_EQ(eval("typeof App.get('Nothing') + ' ' + App.focused().name() + ' ' + App.all().length"), "undefined Browser 3")
        << "the system's own process is an application too";
    EXPECT_EQ(eval("App.get('Browser').mainWindow().title()"), "Middle");
    EXPECT_EQ(eval("Window.at({x: 700, y: 200}).title() + ' ' + typeof Window.at({x: 1430, y: 890})"), "Middle undefined");
    EXPECT_EQ(eval("Window.focused().isEqual(Window.at({x: 700, y: 200})) + ' ' + Window.all()[0].isEqual(Window.all()[1])"),
        "true false");
    EXPECT_EQ(eval("Window.focused().hash() === Window.at({x: 700, y: 200}).hash()"), "true");
    EXPECT_EQ(eval("App.get('Editor').hide()"), "true");
    EXPECT_EQ(titles("Window.all({visible: true})"), "Middle")
        << "a hidden application's windows are not visible";
}

TEST_F(Windows, NeighboursByDistanceAndAngle)
{
    eval("var middle = Window.focused();");
    EXPECT_EQ(titles("middle.neighbors('west')"), "Left");
    EXPECT_EQ(titles("middle.neighbors('WEST')"), "Left") << "names are matched without regard to case";
    EXPECT_EQ(titles("middle.neighbors('east')"), "Far");
    EXPECT_EQ(titles("middle.neighbors('north')"), "") << "windows level with it are neither north";
    EXPECT_EQ(titles("middle.neighbors('south')"), "") << "nor south";
    EXPECT_EQ(titles("middle.neighbors('up')"), "");
    EXPECT_EQ(eval("middle.focusClosestNeighbor('up')"), "false");

    // The angle counts: Below is nearer to Far than Left is (1414 against
    // 1500) but 45 degrees off, which makes its score 1531.
    desktop().openWindow(scriptTestWindow(101, 13, "Below", CGRectMake(500, 1100, 400, 300)));
    s.world.settle();
    EXPECT_EQ(titles("Window.all().filter(function (w) { return w.title() == 'Far'; })[0].neighbors('west')"), "Middle,Left,Below");
    EXPECT_EQ(titles("Window.all().filter(function (w) { return w.title() == 'Left'; })[0].neighbors('south')"), "Below");

    EXPECT_EQ(eval("middle.focusClosestNeighbor('east')"), "true");
    EXPECT_EQ(desktop().focusedWindow(), 12u);
    EXPECT_EQ(eval("Window.focused().focusClosestNeighbor('EAST')"), "false") << "nothing further east";
    EXPECT_EQ(desktop().focusedWindow(), 12u);
}

TEST_F(Windows, ScreensStepRoundAndAWindowBelongsWhereMostOfItIs)
{
    EXPECT_EQ(eval("JSON.stringify(Screen.all()[0].flippedFrame()) == JSON.stringify(Screen.all()[0].frame())"), "true");
    EXPECT_EQ(eval("JSON.stringify(Screen.all()[1].frame())"), R"({"x":1440,"y":100,"width":1280,"height":800})");
    EXPECT_EQ(eval("JSON.stringify(Screen.all()[1].flippedVisibleFrame())"), R"({"x":1440,"y":0,"width":1280,"height":800})");
    EXPECT_EQ(eval("Screen.all()[1].next().isEqual(Screen.all()[0]) + ' ' + Screen.all()[0].previous().isEqual(Screen.all()[1])"),
        "true true");
    std::string id = eval("Screen.all()[0].identifier()");
    EXPECT_TRUE(std::regex_match(id, std::regex("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}"))) << id;
    EXPECT_EQ(eval("Screen.all()[0].identifier() == Screen.main().identifier()"), "true");
    EXPECT_NE(id, eval("Screen.all()[1].identifier()"));

    // Straddling the two screens: the larger part wins, a tie the first.
    eval("var w = Window.focused();");
    eval("w.setFrame({x: 1300, y: 100, width: 400, height: 300})");
    EXPECT_EQ(eval("w.screen().isEqual(Screen.all()[1])"), "true");
    eval("w.setFrame({x: 1240, y: 100, width: 400, height: 300})");
    EXPECT_EQ(eval("w.screen().isEqual(Screen.all()[0])"), "true");

    // A screen that has gone away steps to nothing.
    eval("var second = Screen.all()[1];");
    desktop().removeScreen(NSScreen::screens()[1]->displayID());
    s.world.settle();
    EXPECT_EQ(eval("typeof second.next() + ' ' + Screen.all()[0].next().isEqual(Screen.all()[0])"), "undefined true");
}

TEST_F(Windows, TheMouseMovesWhereItIsToldAndNowhereElse)
{
    EXPECT_EQ(eval("Mouse.move({x: 300, y: 200})"), "true");
    EXPECT_EQ(eval("JSON.stringify(Mouse.location())"), R"({"x":300,"y":200})");
    EXPECT_EQ(eval("Mouse.move({x: NaN, y: 1}) + ' ' + Mouse.move('here')"), "false false");
    EXPECT_TRUE(s.log.contains("Error: Could not move cursor position to “{nan, 1}”. (1001)"));
    EXPECT_EQ(eval("JSON.stringify(Mouse.location())"), R"({"x":300,"y":200})");
}

}

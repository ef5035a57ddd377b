#include "ScriptTestSupport.h"

#include <scripting/DRApp.h>
#include <scripting/DRAXObserver.h>
#include <scripting/DREventHandler.h>
#include <scripting/DRGlobalEventMonitor.h>
#include <scripting/DRTaskHandler.h>
#include <scripting/DRTimerHandler.h>
#include <scripting/DRWindow.h>

#include <appkit/NSApplication.h>
#include <desktop/InputCodes.h>
#include <desktop/sim/SimDesktop.h>

namespace {

struct Handlers : ::testing::Test {
    Handlers()
    {
        s.install("Event", DREventHandler::exportClass());
        s.install("Timer", DRTimerHandler::exportClass());
        s.install("Task", DRTaskHandler::exportClass());
        s.install("Window", DRWindow::exportClass());
        s.install("App", DRApp::exportClass());
        s.eval("var seen = []; function note(x) { seen.push(String(x)); }");
    }
    std::string eval(const std::string& script) { return s.eval(script); }
    std::string seen() { return eval("seen.join('|')"); }
    void clearSeen() { eval("seen = []"); }

    ScriptWorld s { R"({ "screens": [ { "frame": [0, 0, 1440, 900], "visibleFrame": [0, 25, 1440, 875] } ] })" };
};

TEST_F(Handlers, WindowAndApplicationEventsCarryObjectsScriptsCanUse)
{
    auto observer = DRAccessibilityObserver::observer();
    eval("var opened = new Event('windowDidOpen', function (w, h) { note(w.title() + ' ' + (h === opened)); });"
         "var minimised = new Event('windowDidMinimise', function (w) { note('minimise ' + w.title()); });"
         "var minimized = new Event('windowDidMinimize', function (w) { note('minimize ' + w.title()); });"
         "var launched = new Event('appDidLaunch', function (a) { note('launched ' + a.name()); });"
         "var wrongCase = new Event('AppDidLaunch', function () { note('never'); });"
         "var space = new Event('spaceDidChange', function (h) { note('space ' + (h === space)); });");
    EXPECT_TRUE(s.log.contains("Warning: Event “AppDidLaunch” not supported."));
    EXPECT_EQ(eval("wrongCase.name + ' ' + opened.name"), "AppDidLaunch windowDidOpen");

    s.world.desktop().launchApplication(scriptTestApp(201, "Editor"));
    s.world.settle();
    ASSERT_EQ(observer->observers().count(201), 1u) << "a launched application is observed";
    auto number = s.world.desktop().openWindow(scriptTestWindow(201, 0, "Draft", CGRectMake(100, 100, 400, 300)));
    s.world.settle();
    s.world.desktop().setWindowMinimized(number, true);
    s.world.desktop().switchToSpace(2);
    s.world.settle();
    EXPECT_EQ(seen(), "launched Editor|Draft true|minimise Draft|minimize Draft|space true");

    clearSeen();
    eval("opened.disable()");
    s.world.desktop().openWindow(scriptTestWindow(201, 0, "Second", CGRectMake(100, 100, 400, 300)));
    s.world.desktop().quitApplication(201);
    s.world.settle();
    EXPECT_EQ(seen(), "") << "a disabled handler hears nothing";
    EXPECT_EQ(observer->observers().count(201), 0u) << "a quit application is no longer observed";
}

TEST_F(Handlers, WindowsMovedResizedAndFocusedOnTheSimulatedDesktopReachScripts)
{
    auto observer = DRAccessibilityObserver::observer();
    s.world.desktop().launchApplication(scriptTestApp(201, "Editor"));
    auto draft = s.world.desktop().openWindow(scriptTestWindow(201, 0, "Draft", CGRectMake(100, 100, 400, 300)));
    auto notes = s.world.desktop().openWindow(scriptTestWindow(201, 0, "Notes", CGRectMake(600, 100, 400, 300)));
    s.world.settle();
    eval("var moved = new Event('windowDidMove', function (w) { note('moved ' + w.title()); });"
         "var resized = new Event('windowDidResize', function (w) { note('resized ' + w.title()); });"
         "var focused = new Event('windowDidFocus', function (w) { note('focused ' + w.title()); });");
    s.world.desktop().focusWindow(draft);
    s.world.settle();
    EXPECT_EQ(seen(), "focused Draft");
    clearSeen();
    s.world.desktop().setWindowFrame(notes, CGRectMake(500, 100, 400, 300));
    s.world.desktop().setWindowFrame(notes, CGRectMake(500, 100, 300, 200));
    s.world.desktop().setWindowFrame(notes, CGRectMake(500, 100, 300, 200));
    s.world.settle();
    EXPECT_EQ(seen(), "moved Notes|resized Notes") << "one notice per change, none for the same frame";
    clearSeen();
    eval("var w = Window.focused(); w.setFrame({x: 0, y: 30, width: 640, height: 480});");
    s.world.desktop().focusWindow(notes);
    s.world.desktop().focusWindow(notes);
    s.world.settle();
    EXPECT_EQ(seen(), "resized Draft|moved Draft|focused Notes");
}

// A full collection now (the public call only hints that one is due).
extern "C" void JSSynchronousGarbageCollectForDebugging(JSContextRef);

TEST_F(Handlers, AHandlerNoScriptKeepsIsCollectedAndNamedWhenStillEnabled)
{
    eval("var kept = new Event('appDidLaunch', function () { note('kept'); });"
         "(function () { for (var i = 0; i < 20; ++i) {"
         "  new Event('windowDidMove', function () {}); new Timer(60, true, function () {});"
         "  new Event('appDidHide', function () {}).disable(); } })();");
    JSSynchronousGarbageCollectForDebugging(s.context->globalContextRef());
    s.world.settle();
    // The collector scans the stack conservatively: most, not every one,
    // of the dropped handlers go at once.
    EXPECT_GE(s.log.count("Warning: Event handler “windowDidMove” was collected while enabled and no longer works; "
                          "keep it in a variable."),
        10u);
    EXPECT_GE(s.log.count("Warning: Timer handler (every 60 s) was collected while enabled"), 10u);
    EXPECT_FALSE(s.log.contains("“appDidHide” was collected")) << "a disabled handler is not missed";
    EXPECT_FALSE(s.log.contains("“appDidLaunch” was collected"));
    s.world.desktop().launchApplication(scriptTestApp(202, "Kept"));
    s.world.settle();
    EXPECT_EQ(seen(), "kept");
}

TEST_F(Handlers, MouseEventsCarryThePointersPlace)
{
    auto monitor = DRGlobalEventMonitor::monitor();
    EXPECT_EQ(monitor->monitorCount(), 5u);
    eval("var moved = new Event('mouseDidMove', function (p, h) { note(p.x + ',' + p.y); });"
         "var clicked = new Event('mouseDidLeftClick', function (p) { note('click ' + p.x + ',' + p.y); });");
    // The hardware's events: a move, then a click elsewhere.
    auto input = [&](uint32_t type, CGPoint at) {
        DesktopInputEvent e;
        e.type = type;
        e.location = at;
        s.world.desktop().sendHardwareInput(e, false);
    };
    input(kCGEventMouseMoved, CGPointMake(300, 200));
    // The place is read when the notice is handled: where the pointer is then.
    s.world.settle();
    input(kCGEventLeftMouseDown, CGPointMake(310, 220));
    input(kCGEventLeftMouseUp, CGPointMake(310, 220));
    s.world.settle();
    EXPECT_EQ(seen(), "300,200|click 310,220");
    // Once the host's context goes, its handlers stop.
    auto moved = s.context->objectForKeyedSubscript("moved").toObjectOf<DREventHandler>();
    ASSERT_TRUE(moved && moved->isSubscribed());
    s.context->invalidate();
    EXPECT_FALSE(moved->isSubscribed());
    EXPECT_TRUE(s.exceptions.empty());
}

TEST_F(Handlers, TimersFireOnTheRunLoopsClockAndNeverSpin)
{
    eval("var once = new Timer(1.5, false, function (h) { note('once ' + (h === once)); });"
         "var count = 0; var every = new Timer(1, true, function () { if (++count == 3) every.stop(); note('every'); });");
    s.world.advance(1.4);
    EXPECT_EQ(seen(), "every");
    s.world.advance(0.2);
    EXPECT_EQ(seen(), "every|once true");
    s.world.advance(10);
    EXPECT_EQ(seen(), "every|once true|every|every") << "one-shot once, the repeating one until stop()";

    // Intervals a timer cannot have.
    for (const char* bad : { "new Timer(NaN, true, note)", "new Timer(-1, false, note)", "new Timer(Infinity, false, note)",
             "new Timer('soon', false, note)" }) {
        s.exceptions.clear();
        eval(bad);
        EXPECT_EQ(s.exceptions.size(), 1u) << bad;
    }
    // A repeating zero interval is slowed down, not spun.
    clearSeen();
    eval("var spin = 0; var fast = new Timer(0, true, function () { spin++; });");
    EXPECT_TRUE(s.log.contains("Warning: Timer interval 0 raised to 0.01 seconds for a repeating timer."));
    s.world.advance(1);
    EXPECT_LE(std::stoi(eval("spin")), 100);
    EXPECT_GE(std::stoi(eval("spin")), 99);
    eval("fast.stop(); var zero = new Timer(0, false, function () { note('zero'); });");
    s.world.advance(0.001);
    EXPECT_EQ(seen(), "zero");

    // The timer does not keep its handler: once nothing holds the handler,
    // it is gone and its timer stops.
    clearSeen();
    Weak<DRTimerHandler> orphan;
    {
        auto handler = DRTimerHandler::create(1, true, s.context->evaluateScript("(function () { note('orphan'); })"));
        ASSERT_TRUE(handler && handler->timer()->isValid());
        orphan = handler;
    }
    EXPECT_TRUE(orphan.expired());
    s.world.advance(3);
    EXPECT_EQ(seen(), "");
}

TEST_F(Handlers, TasksCallBackOnceWithStatusAndBothStreams)
{
    eval("var t = new Task('/bin/sh', ['-c', 'echo out; echo oops >&2; exit 3'], function (h) {"
         "  note(h.status + ' [' + h.output + '] [' + h.error + '] ' + (h === t)); });");
    EXPECT_EQ(eval("t.status + ' [' + t.output + ']'"), "0 []") << "nothing before the end";
    ASSERT_TRUE(DRTaskHandler::waitForRunningTasks(30));
    EXPECT_EQ(seen(), "3 [out\n] [oops\n] true");

    // Much output on both streams at once, and bytes that are not UTF-8.
    clearSeen();
    eval("var big = new Task('/bin/sh', ['-c', 'head -c 1000000 /dev/zero | tr \"\\\\0\" a; head -c 1000000 /dev/zero | tr \"\\\\0\" b >&2; printf \"\\\\377\"'],"
         "  function (h) { note(h.output.length + ' ' + h.error.length + ' ' + h.output.charCodeAt(h.output.length - 1)); });");
    ASSERT_TRUE(DRTaskHandler::waitForRunningTasks(30));
    EXPECT_EQ(seen(), "1000001 1000000 65533");

    // More than a task keeps: the first part is kept, once, with a word of
    // what was dropped; reading it again and again costs nothing more.
    clearSeen();
    eval("var huge = new Task('/bin/sh', ['-c', 'head -c 34000000 /dev/zero | tr \"\\\\0\" c; echo end >&2'],"
         "  function (h) { var n = 0; for (var i = 0; i < 50; ++i) n += h.output.length; note(n / 50 + ' ' + h.error); });");
    ASSERT_TRUE(DRTaskHandler::waitForRunningTasks(30));
    EXPECT_EQ(seen(), std::to_string(kMaximumTaskOutput) + " end\n");
    EXPECT_EQ(s.log.count("Warning: Task “/bin/sh” wrote more than 32 MB to its output; only the first 32 MB are kept."), 1u);

    // A program that is not there: logged, never called back.
    clearSeen();
    eval("var missing = new Task('/no/such/program', ['a', 'b'], function () { note('called'); });");
    EXPECT_TRUE(s.log.contains("Error: Could not launch task in path “/no/such/program” with arguments “"));
    EXPECT_TRUE(DRTaskHandler::waitForRunningTasks(30));
    EXPECT_EQ(seen(), "");

    // One that never ends is ended on request, and a second request after
    // its end does nothing.
    eval("var endless = new Task('/bin/sleep', ['1000'], function (h) { note('ended ' + h.status); });");
    EXPECT_FALSE(DRTaskHandler::waitForRunningTasks(0.05));
    eval("endless.terminate()");
    ASSERT_TRUE(DRTaskHandler::waitForRunningTasks(30));
    eval("endless.terminate()");
    EXPECT_EQ(seen(), "ended 143");
    EXPECT_TRUE(s.exceptions.empty());
}

}

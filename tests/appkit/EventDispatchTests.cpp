#include "AppKitTestSupport.h"

#include <support/SimWorld.h>

#include <appkit/NSScrollView.h>
#include <appkit/NSTrackingArea.h>
#include <appkit/NSWindowController.h>
#include <services/CGEventTap.h>
#include <services/CarbonEvents.h>

namespace {

// A view that logs the events it receives and passes key events on.
class LoggingView : public NSView {
public:
    LoggingView(CGRect frame, std::string name, std::vector<std::string>& log, bool accepts = true)
        : NSView(frame)
        , m_name(std::move(name))
        , m_log(log)
        , m_accepts(accepts)
    {
    }
    bool acceptsFirstResponder() const override { return m_accepts; }
    void keyDown(const Ref<NSEvent>& e) override
    {
        m_log.push_back(m_name + " keyDown " + e->characters());
        if (passKeys)
            NSView::keyDown(e);
    }
    void flagsChanged(const Ref<NSEvent>& e) override
    {
        m_log.push_back(m_name + " flagsChanged");
        NSView::flagsChanged(e);
    }
    void mouseDown(const Ref<NSEvent>& e) override
    {
        CGPoint p = convertPointFromView(e->locationInWindow(), nullptr);
        m_log.push_back(m_name + " mouseDown " + std::to_string(int(p.x)) + "," + std::to_string(int(p.y)));
    }
    void mouseDragged(const Ref<NSEvent>&) override { m_log.push_back(m_name + " mouseDragged"); }
    void mouseUp(const Ref<NSEvent>&) override { m_log.push_back(m_name + " mouseUp"); }
    void mouseEntered(const Ref<NSEvent>& e) override
    {
        m_log.push_back(m_name + " entered" + (e->trackingArea() ? "" : " without area"));
    }
    void mouseExited(const Ref<NSEvent>&) override { m_log.push_back(m_name + " exited"); }
    void mouseMoved(const Ref<NSEvent>&) override { m_log.push_back(m_name + " moved"); }

    bool passKeys { true };

private:
    std::string m_name;
    std::vector<std::string>& m_log;
    bool m_accepts;
};

class LoggingController : public NSWindowController {
public:
    LoggingController(const Ref<NSWindow>& window, std::vector<std::string>& log)
        : NSWindowController(window)
        , m_log(log)
    {
    }
    void keyDown(const Ref<NSEvent>& e) override { m_log.push_back("controller keyDown " + e->characters()); }
    void flagsChanged(const Ref<NSEvent>&) override { m_log.push_back("controller flagsChanged"); }

private:
    std::vector<std::string>& m_log;
};

// An event tap on the main run loop, for the test's lifetime.
struct EventTap {
    explicit EventTap(std::function<CGEventRef(const CGEventRef&)> behaviour)
    {
        port = CGEventTapCreate(kCGHIDEventTap, kCGHeadInsertEventTap, kCGEventTapOptionDefault,
            kCGEventMaskForAllEvents,
            [behaviour](CGEventTapProxy, CGEventType, const CGEventRef& event, void*) { return behaviour(event); },
            nullptr);
        CFRunLoopAddSource(RunLoop::main(), CFMachPortCreateRunLoopSource(kCFAllocatorDefault, port, 0),
            kCFRunLoopCommonModes);
    }
    ~EventTap() { CFMachPortInvalidate(port); }
    CFMachPortRef port;
};

// A Carbon hot key for a key without modifiers, for the test's lifetime.
struct HotKey {
    HotKey(uint16_t keyCode, std::function<void()> pressed)
    {
        static constexpr OSType kSignature = FourCharCode("TEST");
        const EventTypeSpec keyboardEvent { kEventClassKeyboard, kEventHotKeyPressed };
        InstallEventHandler(GetEventDispatcherTarget(),
            [pressed](EventHandlerCallRef, EventRef event, void*) -> OSStatus {
                EventHotKeyID id {};
                GetEventParameter(event, kEventParamDirectObject, typeEventHotKeyID, nullptr, sizeof id, nullptr, &id);
                if (id.signature != kSignature)
                    return eventNotHandledErr;
                pressed();
                return noErr;
            },
            1, &keyboardEvent, nullptr, &handler);
        RegisterEventHotKey(keyCode, 0, { kSignature, 1 }, GetEventDispatcherTarget(), 0, &hotKey);
    }
    ~HotKey()
    {
        UnregisterEventHotKey(hotKey);
        RemoveEventHandler(handler);
    }
    EventHandlerRef handler;
    EventHotKeyRef hotKey;
};

struct EventFixture : public ::testing::Test {
    SimWorld world { SimWorld::emptyScenario() };
    std::vector<std::string> log;
    // A window at screen (100, 100), 300 × 200.
    Ref<NSWindow> window = makeWindow(CGRectMake(100, 100, 300, 200));
    Ref<LoggingController> controller = makeRef<LoggingController>(window, log);
    Ref<LoggingView> outer = makeRef<LoggingView>(CGRectMake(0, 0, 300, 200), "outer", log);
    Ref<LoggingView> inner = makeRef<LoggingView>(CGRectMake(20, 30, 100, 50), "inner", log);

    EventFixture()
    {
        window->contentView()->addSubview(outer);
        outer->addSubview(inner);
        NSApp().activateIgnoringOtherApps(true);
        world.settle();
        window->makeKeyAndOrderFront(nullptr);
        world.settle();
    }

    bool type(uint16_t keyCode, NSEventModifierFlags flags = 0)
    {
        return NSApp().deliverInputEvent(NSEvent::keyEventWithKeyCode(NSEventTypeKeyDown, keyCode, flags));
    }
    void mouse(NSEventType type, CGPoint screen)
    {
        NSApp().deliverInputEvent(NSEvent::mouseEventWithType(type, screen));
        world.settle();
    }
};

}

TEST_F(EventFixture, KeysGoThroughTapsAndHotKeysThenMonitorsThenTheResponderChain)
{
    window->makeFirstResponder(inner);
    std::vector<std::string> order;
    EventTap tap([&](const CGEventRef& e) {
        order.push_back("tap " + std::to_string(CGEventGetIntegerValueField(e, kCGKeyboardEventKeycode)));
        return e;
    });
    HotKey hotKeyW(13, [&] { order.push_back("hot key"); });
    Token first = NSEvent::addLocalMonitorForEventsMatchingMask(NSEventMaskKeyDown, [&](const Ref<NSEvent>& e) {
        order.push_back("monitor 1");
        return e;
    });
    Token second = NSEvent::addLocalMonitorForEventsMatchingMask(NSEventMaskKeyDown, [&](const Ref<NSEvent>& e) {
        order.push_back("monitor 2");
        return e;
    });
    Token flagsOnly = NSEvent::addLocalMonitorForEventsMatchingMask(NSEventMaskFlagsChanged, [&](const Ref<NSEvent>& e) {
        order.push_back("flags monitor");
        return e;
    });
    EXPECT_TRUE(type(4));
    EXPECT_EQ(order, (std::vector<std::string> { "tap 4", "monitor 1", "monitor 2" }));
    // The key climbs from the first responder through the views and the
    // window to its controller.
    EXPECT_EQ(log, (std::vector<std::string> { "inner keyDown h", "outer keyDown h", "controller keyDown h" }));

    // A hot key's combination passes the tap and goes to the hot key, never
    // to the application.
    order.clear();
    log.clear();
    EXPECT_FALSE(type(13));
    EXPECT_EQ(order, (std::vector<std::string> { "tap 13", "hot key" }));
    EXPECT_TRUE(log.empty());
}

TEST_F(EventFixture, AMonitorOrTapThatReturnsNothingSwallowsTheEvent)
{
    window->makeFirstResponder(inner);
    bool laterMonitorSaw = false;
    Token swallow = NSEvent::addLocalMonitorForEventsMatchingMask(NSEventMaskKeyDown,
        [](const Ref<NSEvent>& e) -> Ref<NSEvent> { return e->keyCode() == 12 ? nullptr : e; });
    Token later = NSEvent::addLocalMonitorForEventsMatchingMask(NSEventMaskKeyDown, [&](const Ref<NSEvent>& e) {
        laterMonitorSaw = true;
        return e;
    });
    type(12);
    EXPECT_FALSE(laterMonitorSaw);
    EXPECT_TRUE(log.empty());
    type(13);
    EXPECT_TRUE(laterMonitorSaw);
    EXPECT_EQ(log.front(), "inner keyDown w");

    // Dropping the token ends the monitor.
    log.clear();
    swallow.reset();
    type(12);
    EXPECT_EQ(log.front(), "inner keyDown q");

    // A tap can swallow before any monitor sees the event.
    log.clear();
    laterMonitorSaw = false;
    EventTap tap([](const CGEventRef&) -> CGEventRef { return nullptr; });
    EXPECT_FALSE(type(12));
    EXPECT_FALSE(laterMonitorSaw);
    EXPECT_TRUE(log.empty());
}

TEST_F(EventFixture, MonitorsSeeTheWindowTheEventGoesTo)
{
    Ref<NSWindow> seen;
    NSPoint location;
    Token monitor = NSEvent::addLocalMonitorForEventsMatchingMask(
        NSEventMaskKeyDown | NSEventMaskLeftMouseDown, [&](const Ref<NSEvent>& e) {
            seen = e->window();
            location = e->locationInWindow();
            return e;
        });
    type(4);
    EXPECT_EQ(seen, window);
    seen.reset();
    mouse(NSEventTypeLeftMouseDown, { 110, 120 });
    EXPECT_EQ(seen, window);
    EXPECT_EQ(location, CGPointMake(10, 20));
}

TEST_F(EventFixture, ATapSwallowsByMakingTheEventNull)
{
    window->makeFirstResponder(inner);
    EventTap tap([](const CGEventRef& e) {
        if (CGEventGetIntegerValueField(e, kCGKeyboardEventKeycode) == 48)
            CGEventSetType(e, kCGEventNull);
        return e;
    });
    EXPECT_FALSE(type(48, NSEventModifierFlagCommand));
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(type(4));
    EXPECT_EQ(log.front(), "inner keyDown h");
}

TEST_F(EventFixture, AMonitorCanReplaceTheEvent)
{
    window->makeFirstResponder(inner);
    inner->passKeys = false;
    Token rewrite = NSEvent::addLocalMonitorForEventsMatchingMask(NSEventMaskKeyDown, [](const Ref<NSEvent>&) {
        return NSEvent::keyEventWithKeyCode(NSEventTypeKeyDown, 0, NSEventModifierFlagShift);
    });
    type(4);
    EXPECT_EQ(log, (std::vector<std::string> { "inner keyDown A" }));
}

TEST_F(EventFixture, EventsOfOtherApplicationsGoToGlobalMonitorsOnly)
{
    std::vector<std::string> global;
    Token monitor = NSEvent::addGlobalMonitorForEventsMatchingMask(NSEventMaskKeyDown | NSEventMaskFlagsChanged,
        [&](const Ref<NSEvent>& e) { global.push_back(e->characters()); });
    bool localSaw = false;
    Token local = NSEvent::addLocalMonitorForEventsMatchingMask(NSEventMaskAny, [&](const Ref<NSEvent>& e) {
        localSaw = true;
        return e;
    });
    type(4);
    EXPECT_TRUE(global.empty());
    EXPECT_TRUE(localSaw);

    DesktopApp other;
    other.pid = 300;
    other.name = "Other";
    world.desktop().launchApplication(other);
    world.settle();
    localSaw = false;
    log.clear();
    EXPECT_FALSE(type(4));
    EXPECT_EQ(global, (std::vector<std::string> { "h" }));
    EXPECT_FALSE(localSaw);
    EXPECT_TRUE(log.empty());
}

TEST_F(EventFixture, FlagsChangedClimbsToTheWindowController)
{
    NSApp().deliverInputEvent(NSEvent::flagsChangedEventWithModifierFlags(0, kVK_Command));
    EXPECT_EQ(log, (std::vector<std::string> { "controller flagsChanged" }));
}

TEST_F(EventFixture, KeyEventsCarryTheClockAndTheUSLayout)
{
    world.clock().advance(12.5);
    auto e = NSEvent::keyEventWithKeyCode(NSEventTypeKeyDown, 18, NSEventModifierFlagShift);
    EXPECT_DOUBLE_EQ(e->timestamp(), Clock::current().now());
    EXPECT_EQ(e->characters(), "!");
    EXPECT_EQ(e->charactersIgnoringModifiers(), "!");
    auto digit = NSEvent::keyEventWithKeyCode(NSEventTypeKeyDown, 29, NSEventModifierFlagCommand);
    EXPECT_EQ(digit->charactersIgnoringModifiers(), "0");
    auto control = NSEvent::keyEventWithKeyCode(NSEventTypeKeyDown, 8, NSEventModifierFlagControl);
    EXPECT_EQ(control->characters(), "\x03");
    EXPECT_EQ(control->charactersIgnoringModifiers(), "c");
    auto up = NSEvent::keyEventWithKeyCode(NSEventTypeKeyDown, kVK_UpArrow);
    EXPECT_EQ(up->characters(), "\xEF\x9C\x80");
    EXPECT_EQ(NSEvent::keyEventWithKeyCode(NSEventTypeKeyDown, kVK_Escape)->characters(), "\x1b");
    EXPECT_EQ(NSEvent::keyEventWithKeyCode(NSEventTypeKeyDown, kVK_Shift)->characters(), "");
}

TEST_F(EventFixture, AClickGoesToTheViewUnderItAndMakesItFirstResponder)
{
    // Screen (100 + 20 + 5, 100 + 30 + 7) is 5, 7 inside the inner view.
    mouse(NSEventTypeLeftMouseDown, { 125, 137 });
    EXPECT_EQ(window->firstResponder(), inner);
    mouse(NSEventTypeLeftMouseDragged, { 300, 250 });
    mouse(NSEventTypeLeftMouseUp, { 300, 250 });
    EXPECT_EQ(log, (std::vector<std::string> { "inner mouseDown 5,7", "inner mouseDragged", "inner mouseUp" }));
    // Clicks outside every window reach no view of this application.
    log.clear();
    mouse(NSEventTypeLeftMouseDown, { 900, 700 });
    EXPECT_TRUE(log.empty());
}

TEST_F(EventFixture, TrackingAreasReportEnteringMovingAndLeaving)
{
    auto area = makeRef<NSTrackingArea>(inner->bounds(),
        NSTrackingMouseEnteredAndExited | NSTrackingMouseMoved | NSTrackingActiveAlways, inner);
    inner->addTrackingArea(area);
    world.settle();
    mouse(NSEventTypeMouseMoved, { 110, 110 });
    EXPECT_TRUE(log.empty());
    mouse(NSEventTypeMouseMoved, { 130, 140 });
    mouse(NSEventTypeMouseMoved, { 131, 141 });
    mouse(NSEventTypeMouseMoved, { 500, 500 });
    EXPECT_EQ(log, (std::vector<std::string> { "inner entered", "inner moved", "inner exited" }));
}

TEST_F(EventFixture, TrackingAreasActiveInTheKeyWindowOnly)
{
    auto area = makeRef<NSTrackingArea>(inner->bounds(), NSTrackingMouseEnteredAndExited | NSTrackingActiveInKeyWindow, inner);
    inner->addTrackingArea(area);
    auto other = makeWindow(CGRectMake(600, 100, 100, 100));
    other->makeKeyAndOrderFront(nullptr);
    world.settle();
    mouse(NSEventTypeMouseMoved, { 130, 140 });
    EXPECT_TRUE(log.empty());
    window->makeKeyWindow();
    world.settle();
    // Becoming key rechecks the areas at the pointer.
    EXPECT_EQ(log, (std::vector<std::string> { "inner entered" }));
}

TEST_F(EventFixture, AnAreaThatAssumesTheMouseInsideHearsOnlyTheExit)
{
    auto area = makeRef<NSTrackingArea>(inner->bounds(),
        NSTrackingMouseEnteredAndExited | NSTrackingActiveAlways | NSTrackingAssumeInside, inner);
    inner->addTrackingArea(area);
    mouse(NSEventTypeMouseMoved, { 500, 500 });
    EXPECT_EQ(log, (std::vector<std::string> { "inner exited" }));
}

TEST_F(EventFixture, AWindowAboveHidesTheAreasBeneathIt)
{
    auto area = makeRef<NSTrackingArea>(inner->bounds(), NSTrackingMouseEnteredAndExited | NSTrackingActiveAlways, inner);
    inner->addTrackingArea(area);
    auto cover = makeWindow(CGRectMake(100, 100, 300, 200), NSWindowStyleMaskBorderless);
    cover->setLevel(NSFloatingWindowLevel);
    cover->orderFront(nullptr);
    mouse(NSEventTypeMouseMoved, { 130, 140 });
    EXPECT_TRUE(log.empty());
    cover->orderOut(nullptr);
    mouse(NSEventTypeMouseMoved, { 131, 141 });
    EXPECT_EQ(log, (std::vector<std::string> { "inner entered" }));
}

TEST_F(EventFixture, TheScrollWheelMovesTheScrollViewUnderThePointer)
{
    class Document : public NSView {
    public:
        using NSView::NSView;
        bool isFlipped() const override { return true; }
    };
    auto scroll = makeRef<NSScrollView>(CGRectMake(150, 0, 100, 100));
    auto document = makeRef<Document>(CGRectMake(0, 0, 100, 400));
    scroll->setDocumentView(document);
    outer->addSubview(scroll);
    EXPECT_EQ(scroll->documentVisibleRect(), CGRectMake(0, 0, 100, 100));
    // Scrolling down (negative delta) shows what lies below.
    NSApp().deliverInputEvent(NSEvent::scrollWheelEventAt({ 300, 150 }, 0, -30));
    EXPECT_EQ(scroll->documentVisibleRect(), CGRectMake(0, 30, 100, 100));
    NSApp().deliverInputEvent(NSEvent::scrollWheelEventAt({ 300, 150 }, 0, -1000));
    EXPECT_EQ(scroll->documentVisibleRect(), CGRectMake(0, 300, 100, 100));
    NSApp().deliverInputEvent(NSEvent::scrollWheelEventAt({ 300, 150 }, 0, 5, false));
    EXPECT_EQ(scroll->documentVisibleRect(), CGRectMake(0, 250, 100, 100));
    // A view inside the document can ask to be shown.
    auto row = makeRef<NSView>(CGRectMake(0, 20, 100, 30));
    document->addSubview(row);
    EXPECT_TRUE(row->scrollRectToVisible(row->bounds()));
    EXPECT_EQ(scroll->documentVisibleRect(), CGRectMake(0, 20, 100, 100));
}

TEST_F(EventFixture, ActionsWithoutATargetClimbTheResponderChain)
{
    window->makeFirstResponder(inner);
    std::vector<std::string> calls;
    controller->setActionHandler("close:", [&](const Ref<NSObject>&) { calls.push_back("controller close:"); });
    outer->setActionHandler("copy:", [&](const Ref<NSObject>&) { calls.push_back("outer copy:"); });
    EXPECT_TRUE(NSApp().sendAction("copy:", nullptr, nullptr));
    EXPECT_TRUE(NSApp().sendAction("close:", nullptr, nullptr));
    EXPECT_FALSE(NSApp().sendAction("paste:", nullptr, nullptr));
    // An explicit target that does not answer gets nothing, and nobody else
    // is asked.
    EXPECT_FALSE(NSApp().sendAction("close:", outer, nullptr));
    EXPECT_EQ(calls, (std::vector<std::string> { "outer copy:", "controller close:" }));
}

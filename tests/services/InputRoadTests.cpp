// The one road every input event of the desktop travels: the desktop, the
// event taps, the hot keys, the receiving application and, when that is this
// process, the application framework's dispatch.
#include "support/SimWorld.h"

#include <appkit/NSApplication.h>
#include <appkit/NSWindow.h>
#include <desktop/InputCodes.h>
#include <foundation/Dispatch.h>
#include <services/CGEventTap.h>
#include <services/CarbonEvents.h>
#include <services/EventStream.h>
#include <toolkit/NSEventUtilities.h>

namespace {

constexpr pid_t kEditor = 7;

// The editor's window lies left, this process's window (100, 400, 300, 200)
// in screen coordinates (bottom-left origin) lies right of it.
const char* kScenario = R"({
  "screens": [ { "frame": [0, 0, 1440, 900] } ],
  "apps": [ { "pid": 7, "name": "Editor", "windows": [ { "id": 70, "title": "a", "frame": [600, 100, 500, 500] } ] } ] })";

// A view that logs what its window hands it.
class Recorder : public NSView {
public:
    Recorder(CGRect frame, std::vector<std::string>& log)
        : NSView(frame)
        , m_log(log)
    {
    }
    bool acceptsFirstResponder() const override { return true; }
    void keyDown(const Ref<NSEvent>& e) override { m_log.push_back("keyDown " + e->characters()); }
    void keyUp(const Ref<NSEvent>& e) override { m_log.push_back("keyUp " + e->characters()); }
    void flagsChanged(const Ref<NSEvent>& e) override
    {
        m_log.push_back("flagsChanged "
            + std::to_string(e->modifierFlags() & NSEventModifierFlagDeviceIndependentFlagsMask));
    }
    void mouseDown(const Ref<NSEvent>& e) override
    {
        m_log.push_back("mouseDown");
        if (onMouseDown) onMouseDown(e);
    }
    void mouseUp(const Ref<NSEvent>&) override { m_log.push_back("mouseUp"); }
    std::function<void(const Ref<NSEvent>&)> onMouseDown;

private:
    std::vector<std::string>& m_log;
};

struct Tap {
    explicit Tap(std::function<CGEventRef(CGEventType, const CGEventRef&)> behaviour)
    {
        port = CGEventTapCreate(
            kCGHIDEventTap, kCGHeadInsertEventTap, kCGEventTapOptionDefault, kCGEventMaskForAllEvents,
            [behaviour](CGEventTapProxy, CGEventType type, const CGEventRef& event, void*) {
                return behaviour(type, event);
            },
            nullptr);
        CFRunLoopAddSource(RunLoop::main(), CFMachPortCreateRunLoopSource(kCFAllocatorDefault, port, 0),
            kCFRunLoopCommonModes);
    }
    ~Tap() { CFMachPortInvalidate(port); }
    CFMachPortRef port;
};

class InputRoad : public ::testing::Test {
protected:
    InputRoad()
    {
        window->contentView()->addSubview(view);
        NSApp().activateIgnoringOtherApps(true);
        window->makeKeyAndOrderFront(nullptr);
        window->makeFirstResponder(view);
        world.settle();
    }

    SimWorld world { kScenario };
    std::vector<std::string> log;
    Ref<NSWindow> window = makeRef<NSWindow>(CGRectMake(100, 400, 300, 200), NSWindowStyleMaskTitled);
    Ref<Recorder> view = makeRef<Recorder>(CGRectMake(0, 0, 300, 200), log);
};

}

TEST_F(InputRoad, TypingOnTheDesktopReachesTheResponderChainOfTheFrontmostApplication)
{
    std::vector<std::string> tapped;
    Tap tap([&](CGEventType type, const CGEventRef& event) {
        tapped.push_back(std::to_string(type));
        return event;
    });
    world.desktop().typeKey(kVK_ANSI_H, NSEventModifierFlagShift);
    EXPECT_TRUE(log.empty()) << "typed events travel when the main run loop runs";
    world.settle();
    EXPECT_EQ(tapped, (std::vector<std::string> { "12", "10", "11", "12" }));
    EXPECT_EQ(
        log, (std::vector<std::string> { "flagsChanged 131072", "keyDown H", "keyUp H", "flagsChanged 0" }));
    EXPECT_EQ(world.desktop().receivedEvents(SimDesktop::kOwnPid).size(), 4u);

    // Another application in front: the keys are its own, and this process
    // sees them only through its global monitors.
    std::vector<std::string> global;
    Token monitor = NSEvent::addGlobalMonitorForEventsMatchingMask(
        NSEventMaskKeyDown, [&](const Ref<NSEvent>& e) { global.push_back(e->characters()); });
    world.desktop().activateApplication(kEditor, false);
    world.settle();
    log.clear();
    world.desktop().typeKey(kVK_ANSI_Q);
    world.settle();
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(global, (std::vector<std::string> { "q" }));
    EXPECT_EQ(world.desktop().receivedEvents(kEditor).size(), 2u);
}

TEST_F(InputRoad, WhatATapOrAHotKeyTakesNeverReachesTheApplication)
{
    Tap tap([](CGEventType type, const CGEventRef& event) -> CGEventRef {
        bool q = CGEventGetIntegerValueField(event, kCGKeyboardEventKeycode) == kVK_ANSI_Q;
        return q && type == kCGEventKeyDown ? nullptr : event;
    });
    EventHotKeyRef hotKey;
    ASSERT_EQ(RegisterEventHotKey(
                  kVK_ANSI_A, cmdKey, { FourCharCode("TEST"), 1 }, GetEventDispatcherTarget(), 0, &hotKey),
        noErr);
    world.desktop().typeKey(kVK_ANSI_Q);
    world.desktop().typeKey(kVK_ANSI_A, NSEventModifierFlagCommand);
    world.settle();
    EXPECT_EQ(log, (std::vector<std::string> { "keyUp q", "flagsChanged 1048576", "flagsChanged 0" }));
    UnregisterEventHotKey(hotKey);
}

TEST_F(InputRoad, DeliveringAnEventTakesTheWholeRoadAtOnceAfterTheEventsBeforeIt)
{
    std::vector<std::string> tapped;
    Tap tap([&](CGEventType, const CGEventRef& event) {
        tapped.push_back(std::to_string(CGEventGetIntegerValueField(event, kCGKeyboardEventKeycode)));
        return event;
    });
    world.desktop().pressKey(kVK_ANSI_H);
    // Explicit characters are not in the desktop's record of the event; the
    // very event object arrives.
    auto event = NSEvent::keyEventWithType(NSEventTypeKeyDown, 0, "é", "é", false, kVK_ANSI_A);
    EXPECT_TRUE(NSApp().deliverInputEvent(event));
    EXPECT_EQ(tapped, (std::vector<std::string> { "4", "0" }));
    EXPECT_EQ(log, (std::vector<std::string> { "keyDown h", "keyDown é" }));
    // The keyboard state follows delivered events as it follows typed ones.
    EXPECT_EQ(world.desktop().pressedKeyCodes(), (std::vector<uint16_t> { kVK_ANSI_A, kVK_ANSI_H }));

    // A mouse event moves the pointer and the buttons on its way.
    NSApp().deliverInputEvent(NSEvent::mouseEventWithType(NSEventTypeLeftMouseDown, { 150, 450 }));
    EXPECT_EQ(NSEvent::mouseLocation(), CGPointMake(150, 450));
    EXPECT_EQ(NSEvent::pressedMouseButtons(), 1u);
    NSApp().deliverInputEvent(NSEvent::mouseEventWithType(NSEventTypeLeftMouseUp, { 150, 450 }));
    EXPECT_EQ(NSEvent::pressedMouseButtons(), 0u);
    EXPECT_EQ(log.back(), "mouseUp");
}

TEST_F(InputRoad, AnApplicationTrackingAPressGetsTheEventsThatFollowIt)
{
    // The press, the drag and the release are all on their way before the
    // application handles the press; it looks for the drag in a nested loop.
    std::optional<bool> dragged;
    view->onMouseDown = [&](const Ref<NSEvent>& press) {
        dragged = NSEventUtilities::isDragEvent(press, view, 3, Clock::current().now() + 5);
    };
    auto post = [](CGEventType type, CGPoint at) {
        CGEventPost(kCGHIDEventTap, CGEventCreateMouseEvent(nullptr, type, at, 0));
    };
    auto pressDragRelease = [&] {
        log.clear();
        dragged.reset();
        // Window points (50, 100) and (70, 100): desktop (150, 400) and (170, 400).
        post(kCGEventLeftMouseDown, CGPointMake(150, 400));
        post(kCGEventLeftMouseDragged, CGPointMake(170, 400));
        post(kCGEventLeftMouseUp, CGPointMake(170, 400));
        double start = world.clock().now();
        world.settle();
        ASSERT_TRUE(dragged.has_value());
        EXPECT_TRUE(*dragged);
        EXPECT_EQ(world.clock().now(), start) << "no wait for the deadline";
        EXPECT_EQ(log, (std::vector<std::string> { "mouseDown", "mouseUp" }));
    };
    // Whether or not a tap was ever made in this process.
    pressDragRelease();
    Tap tap([](CGEventType, const CGEventRef& event) { return event; });
    pressDragRelease();
}

TEST_F(InputRoad, ATapThatRunsTheLoopKeepsTheEventsInOrder)
{
    std::vector<std::string> tapped;
    Tap tap([&](CGEventType type, const CGEventRef& event) {
        if (type == kCGEventKeyDown
            && CGEventGetIntegerValueField(event, kCGKeyboardEventKeycode) == kVK_ANSI_H)
            RunLoop::main().runUntilIdle();
        return event;
    });
    world.desktop().pressKey(kVK_ANSI_H);
    world.desktop().pressKey(kVK_ANSI_Q);
    world.settle();
    EXPECT_EQ(log, (std::vector<std::string> { "keyDown h", "keyDown q" }));
}

TEST_F(InputRoad, AFloatingWindowTakesTheClicksOverAnotherApplicationsWindow)
{
    auto panel = makeRef<NSWindow>(CGRectMake(700, 400, 200, 200), NSWindowStyleMaskBorderless);
    auto inside = makeRef<Recorder>(CGRectMake(0, 0, 200, 200), log);
    panel->contentView()->addSubview(inside);
    panel->setLevel(NSFloatingWindowLevel);
    panel->orderFront(nullptr);
    // The editor's window comes to the front, under the floating panel.
    world.desktop().focusWindow(70);
    world.settle();
    log.clear();
    NSApp().deliverInputEvent(NSEvent::mouseEventWithType(NSEventTypeLeftMouseDown, { 800, 500 }));
    EXPECT_EQ(log, (std::vector<std::string> { "mouseDown" }));
    NSApp().deliverInputEvent(NSEvent::mouseEventWithType(NSEventTypeLeftMouseUp, { 800, 500 }));
    EXPECT_TRUE(world.desktop().receivedEvents(kEditor).empty());
}

TEST_F(InputRoad, WhatATapQueuesOnTheMainQueueRunsBeforeTheNextEventIsTaken)
{
    Tap tap([&](CGEventType type, const CGEventRef& event) {
        if (type == kCGEventKeyDown
            && CGEventGetIntegerValueField(event, kCGKeyboardEventKeycode) == kVK_ANSI_H)
            dispatch_async(dispatch_get_main_queue(), [&] { log.push_back("queued by the tap"); });
        return event;
    });
    world.desktop().typeKey(kVK_ANSI_H);
    world.desktop().typeKey(kVK_ANSI_Q);
    world.settle();
    EXPECT_EQ(log,
        (std::vector<std::string> { "keyDown h", "queued by the tap", "keyUp h", "keyDown q", "keyUp q" }));
}

TEST_F(InputRoad, TheFirstKeyOfTheProcessTakesTheStreamLikeEveryOther)
{
    // Nothing in this process has made a tap or a hot key yet: the stream is
    // there from the start-up, so a key typed now is taken when the run loop
    // runs, by the taps there are then.
    world.desktop().typeKey(kVK_ANSI_H);
    std::vector<std::string> tapped;
    Tap tap([&](CGEventType type, const CGEventRef& event) {
        tapped.push_back(std::to_string(type));
        return event;
    });
    std::vector<pid_t> receivers;
    Token handler = EventStream::shared().setApplicationEventHandler(
        [&](const CGEventRef&, pid_t receiver) { receivers.push_back(receiver); });
    world.settle();
    EXPECT_EQ(tapped, (std::vector<std::string> { "10", "11" }));
    EXPECT_EQ(receivers, (std::vector<pid_t> { SimDesktop::kOwnPid, SimDesktop::kOwnPid }));
    EXPECT_EQ(log, (std::vector<std::string> { "keyDown h", "keyUp h" }));
}

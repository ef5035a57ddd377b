#include "support/SimWorld.h"

#include <desktop/InputCodes.h>
#include <services/CGEventTap.h>
#include <services/CarbonEvents.h>
#include <services/EventStream.h>

#include <atomic>
#include <thread>

namespace {

constexpr pid_t kEditor = 7;

const char* kScenario = R"({
  "screens": [ { "frame": [0, 0, 1440, 900] } ],
  "apps": [ { "pid": 7, "name": "Editor", "windows": [ { "id": 70, "title": "a", "frame": [0, 30, 400, 300] } ] } ] })";

struct Seen {
    CGEventType type;
    uint16_t keyCode;
};

std::vector<Seen> seenOf(const std::vector<DesktopInputEvent>& events)
{
    std::vector<Seen> result;
    for (const auto& e : events)
        result.push_back({ e.type, e.keyCode });
    return result;
}

bool operator==(const Seen& a, const Seen& b) { return a.type == b.type && a.keyCode == b.keyCode; }

std::ostream& operator<<(std::ostream& out, const Seen& s) { return out << "{" << s.type << ", " << s.keyCode << "}"; }

// A tap on the main run loop whose callback the test supplies.
struct Tap {
    CFMachPortRef port;
    CFRunLoopSourceRef source;
    std::vector<Seen> seen;
    std::function<CGEventRef(CGEventType, const CGEventRef&)> behaviour;

    explicit Tap(CGEventTapPlacement placement = kCGHeadInsertEventTap, CGEventMask mask = kCGEventMaskForAllEvents,
        CGEventTapLocation location = kCGHIDEventTap, CGEventTapOptions options = kCGEventTapOptionDefault)
    {
        port = CGEventTapCreate(location, placement, options, mask,
            [this](CGEventTapProxy, CGEventType type, const CGEventRef& event, void*) -> CGEventRef {
                seen.push_back({ type, static_cast<uint16_t>(CGEventGetIntegerValueField(event, kCGKeyboardEventKeycode)) });
                return behaviour ? behaviour(type, event) : event;
            },
            nullptr);
        source = CFMachPortCreateRunLoopSource(kCFAllocatorDefault, port, 0);
        CFRunLoopAddSource(RunLoop::main(), source, kCFRunLoopCommonModes);
    }
};

const std::vector<Seen> kCommandQ = {
    { kCGEventFlagsChanged, 55 },
    { kCGEventKeyDown, kVK_ANSI_Q },
    { kCGEventKeyUp, kVK_ANSI_Q },
    { kCGEventFlagsChanged, 55 },
};
}

TEST(EventTap, SeesEveryKeyEventBeforeTheFrontmostApplication)
{
    SimWorld world(kScenario);
    Tap tap;
    std::vector<size_t> receivedWhenTapped;
    tap.behaviour = [&](CGEventType, const CGEventRef& event) {
        receivedWhenTapped.push_back(world.desktop().receivedEvents(kEditor).size());
        return event;
    };
    world.desktop().typeKey(kVK_ANSI_Q, kCGEventFlagMaskCommand);
    EXPECT_TRUE(tap.seen.empty()) << "the tap runs on its run loop, not inside the driver call";
    world.settle();
    EXPECT_EQ(tap.seen, kCommandQ);
    EXPECT_EQ(seenOf(world.desktop().receivedEvents(kEditor)), kCommandQ);
    // Each event reached the tap before the application received it.
    EXPECT_EQ(receivedWhenTapped, (std::vector<size_t> { 0, 1, 2, 3 }));
    auto received = world.desktop().receivedEvents(kEditor);
    EXPECT_EQ(received[1].flags & kCGEventFlagMaskCommand, kCGEventFlagMaskCommand);
    EXPECT_EQ(received[3].flags & kCGEventFlagMaskCommand, 0u);
}

TEST(EventTap, SwallowsWhatItsCallbackDropsOrNullsOut)
{
    SimWorld world(kScenario);
    Tap tap;
    tap.behaviour = [](CGEventType type, const CGEventRef& event) -> CGEventRef {
        if (type != kCGEventKeyDown)
            return event;
        if (CGEventGetIntegerValueField(event, kCGKeyboardEventKeycode) == kVK_ANSI_Q) return nullptr;
        CGEventSetType(event, kCGEventNull);
        return event;
    };
    world.desktop().typeKey(kVK_ANSI_Q, kCGEventFlagMaskCommand);
    world.desktop().typeKey(kVK_ANSI_H, kCGEventFlagMaskCommand);
    world.settle();
    auto received = seenOf(world.desktop().receivedEvents(kEditor));
    std::vector<Seen> expected
        = { { kCGEventFlagsChanged, 55 }, { kCGEventKeyUp, kVK_ANSI_Q }, { kCGEventFlagsChanged, 55 },
              { kCGEventFlagsChanged, 55 }, { kCGEventKeyUp, kVK_ANSI_H }, { kCGEventFlagsChanged, 55 } };
    EXPECT_EQ(received, expected);
}

TEST(EventTap, HeadInsertedTapsComeFirstAndAChangedEventTravelsOn)
{
    SimWorld world(kScenario);
    std::vector<std::string> order;
    Tap first;
    first.behaviour = [&](CGEventType, const CGEventRef& event) {
        order.push_back("first");
        return event;
    };
    Tap head;
    head.behaviour = [&](CGEventType type, const CGEventRef& event) {
        order.push_back("head");
        if (type == kCGEventKeyDown) CGEventSetIntegerValueField(event, kCGKeyboardEventKeycode, kVK_ANSI_H);
        return event;
    };
    Tap tail(kCGTailAppendEventTap);
    tail.behaviour = [&](CGEventType, const CGEventRef& event) {
        order.push_back("tail");
        return event;
    };
    world.desktop().pressKey(kVK_ANSI_Q);
    world.settle();
    EXPECT_EQ(order, (std::vector<std::string> { "head", "first", "tail" }));
    ASSERT_EQ(first.seen.size(), 1u);
    EXPECT_EQ(first.seen[0].keyCode, kVK_ANSI_H) << "later taps see the change";
    EXPECT_EQ(seenOf(world.desktop().receivedEvents(kEditor)),
        (std::vector<Seen> { { kCGEventKeyDown, kVK_ANSI_H } }));

    // A swallowed event reaches no later tap.
    head.behaviour = [](CGEventType, const CGEventRef&) -> CGEventRef { return nullptr; };
    world.desktop().releaseKey(kVK_ANSI_Q);
    world.settle();
    EXPECT_EQ(first.seen.size(), 1u);
    EXPECT_EQ(tail.seen.size(), 1u);
}

TEST(EventTap, ADisabledTapIsPassedByUntilEnabledAgain)
{
    SimWorld world(kScenario);
    Tap tap;
    tap.behaviour = [](CGEventType, const CGEventRef&) -> CGEventRef { return nullptr; };
    CGEventTapEnable(tap.port, false);
    EXPECT_FALSE(CGEventTapIsEnabled(tap.port));
    world.desktop().typeKey(kVK_ANSI_Q);
    world.settle();
    EXPECT_TRUE(tap.seen.empty());
    EXPECT_EQ(world.desktop().receivedEvents(kEditor).size(), 2u);

    CGEventTapEnable(tap.port, true);
    world.desktop().typeKey(kVK_ANSI_Q);
    world.settle();
    EXPECT_EQ(tap.seen.size(), 2u);
    EXPECT_EQ(world.desktop().receivedEvents(kEditor).size(), 2u);
}

TEST(EventTap, ACallbackPastTheTimeLimitDisablesItsTapAndIsTold)
{
    SimWorld world(kScenario);
    Tap tap;
    std::vector<CGEventType> notices;
    double work = kCGEventTapCallbackTimeLimit + 0.5;
    tap.behaviour = [&](CGEventType type, const CGEventRef& event) -> CGEventRef {
        if (type == kCGEventTapDisabledByTimeout || type == kCGEventTapDisabledByUserInput) {
            notices.push_back(type);
            CGEventTapEnable(tap.port, true);
            return event;
        }
        world.clock().advance(work);
        return nullptr;
    };
    world.desktop().pressKey(kVK_ANSI_Q);
    world.settle();
    EXPECT_EQ(notices, (std::vector<CGEventType> { kCGEventTapDisabledByTimeout }));
    EXPECT_TRUE(CGEventTapIsEnabled(tap.port)) << "the callback re-enabled its tap when told";
    EXPECT_EQ(seenOf(world.desktop().receivedEvents(kEditor)),
        (std::vector<Seen> { { kCGEventKeyDown, kVK_ANSI_Q } }))
        << "the late callback's answer is ignored: the event passes on as it came";

    // Work within the limit keeps the tap and its answer.
    work = kCGEventTapCallbackTimeLimit / 2;
    world.desktop().releaseKey(kVK_ANSI_Q);
    world.settle();
    EXPECT_EQ(notices.size(), 1u);
    EXPECT_TRUE(CGEventTapIsEnabled(tap.port));
    EXPECT_EQ(world.desktop().receivedEvents(kEditor).size(), 1u);
}

TEST(EventTap, ATapThatIsNotReEnabledStaysDisabled)
{
    SimWorld world(kScenario);
    Tap tap;
    tap.behaviour = [&](CGEventType type, const CGEventRef& event) -> CGEventRef {
        if (type == kCGEventKeyDown)
            world.clock().advance(kCGEventTapCallbackTimeLimit * 3);
        return event;
    };
    world.desktop().typeKey(kVK_ANSI_Q);
    world.settle();
    EXPECT_FALSE(CGEventTapIsEnabled(tap.port));
    EXPECT_EQ(tap.seen.size(), 2u) << "the key down and the time-out notice; the key up passed the disabled tap";
    EXPECT_EQ(tap.seen[1].type, kCGEventTapDisabledByTimeout);
    EXPECT_EQ(world.desktop().receivedEvents(kEditor).size(), 2u);
}

TEST(EventTap, RunsOnlyOnItsRunLoopInItsModes)
{
    SimWorld world(kScenario);
    auto port = CGEventTapCreate(kCGHIDEventTap, kCGHeadInsertEventTap, kCGEventTapOptionDefault,
        kCGEventMaskForAllEvents, [](CGEventTapProxy, CGEventType, const CGEventRef&, void*) -> CGEventRef { return nullptr; },
        nullptr);
    ASSERT_TRUE(port);
    world.desktop().typeKey(kVK_ANSI_Q);
    world.settle();
    EXPECT_EQ(world.desktop().receivedEvents(kEditor).size(), 2u) << "a tap whose source is on no run loop is passed by";

    auto source = CFMachPortCreateRunLoopSource(kCFAllocatorDefault, port, 0);
    EXPECT_EQ(source, CFMachPortCreateRunLoopSource(kCFAllocatorDefault, port, 0));
    CFRunLoopAddSource(RunLoop::main(), source, kCFRunLoopDefaultMode);
    world.desktop().typeKey(kVK_ANSI_Q);
    RunLoop::main().runUntilIdle(NSEventTrackingRunLoopMode);
    EXPECT_EQ(world.desktop().receivedEvents(kEditor).size(), 2u) << "the events wait for the tap's mode";
    world.settle();
    EXPECT_EQ(world.desktop().receivedEvents(kEditor).size(), 2u) << "and are then swallowed by it";

    CFMachPortInvalidate(port);
    EXPECT_FALSE(CFMachPortIsValid(port));
    EXPECT_FALSE(CGEventTapIsEnabled(port));
    world.desktop().typeKey(kVK_ANSI_Q);
    world.settle();
    EXPECT_EQ(world.desktop().receivedEvents(kEditor).size(), 4u);
}

TEST(EventTap, DroppingTheTapRemovesIt)
{
    SimWorld world(kScenario);
    auto tap = std::make_unique<Tap>();
    tap->behaviour = [](CGEventType, const CGEventRef&) -> CGEventRef { return nullptr; };
    EXPECT_EQ(EventStream::shared().taps().size(), 1u);
    world.desktop().pressKey(kVK_ANSI_Q);
    tap.reset();
    EXPECT_TRUE(EventStream::shared().taps().empty());
    world.settle();
    EXPECT_EQ(world.desktop().receivedEvents(kEditor).size(), 1u) << "an event in flight passes a tap that went away";
}

TEST(EventTap, ListensOnlyToTheEventTypesOfItsMask)
{
    SimWorld world(kScenario);
    Tap keysOnly(kCGHeadInsertEventTap, CGEventMaskBit(kCGEventKeyDown) | CGEventMaskBit(kCGEventKeyUp));
    world.desktop().typeKey(kVK_ANSI_Q, kCGEventFlagMaskCommand);
    world.settle();
    EXPECT_EQ(keysOnly.seen,
        (std::vector<Seen> { { kCGEventKeyDown, kVK_ANSI_Q }, { kCGEventKeyUp, kVK_ANSI_Q } }));
}

TEST(EventTap, AListeningTapCannotChangeOrSwallow)
{
    SimWorld world(kScenario);
    Tap listener(kCGHeadInsertEventTap, kCGEventMaskForAllEvents, kCGHIDEventTap, kCGEventTapOptionListenOnly);
    listener.behaviour = [](CGEventType, const CGEventRef& event) -> CGEventRef {
        CGEventSetIntegerValueField(event, kCGKeyboardEventKeycode, kVK_ANSI_H);
        return nullptr;
    };
    world.desktop().pressKey(kVK_ANSI_Q);
    world.settle();
    EXPECT_EQ(seenOf(world.desktop().receivedEvents(kEditor)),
        (std::vector<Seen> { { kCGEventKeyDown, kVK_ANSI_Q } }));
}

TEST(EventTap, PostedEventsTravelTheSameStreamFromWhereTheyEnter)
{
    SimWorld world(kScenario);
    Tap hid;
    Tap session(kCGHeadInsertEventTap, kCGEventMaskForAllEvents, kCGSessionEventTap);
    CGEventPost(kCGHIDEventTap, CGEventCreateKeyboardEvent(nullptr, kVK_ANSI_H, true));
    CGEventPost(kCGSessionEventTap, CGEventCreateKeyboardEvent(nullptr, kVK_ANSI_Q, true));
    world.settle();
    EXPECT_EQ(hid.seen, (std::vector<Seen> { { kCGEventKeyDown, kVK_ANSI_H } }));
    EXPECT_EQ(session.seen,
        (std::vector<Seen> { { kCGEventKeyDown, kVK_ANSI_H }, { kCGEventKeyDown, kVK_ANSI_Q } }));
    EXPECT_EQ(world.desktop().receivedEvents(kEditor).size(), 2u);
    auto keys = world.desktop().pressedKeyCodes();
    EXPECT_EQ(keys, (std::vector<uint16_t> { kVK_ANSI_H, kVK_ANSI_Q }))
        << "posted key presses change the keyboard state";
}

TEST(EventTap, NeedsTheUsersTrust)
{
    SimWorld world(kScenario);
    world.desktop().setAccessibilityTrusted(false);
    auto port = CGEventTapCreate(kCGHIDEventTap, kCGHeadInsertEventTap, kCGEventTapOptionDefault,
        kCGEventMaskForAllEvents, [](CGEventTapProxy, CGEventType, const CGEventRef& e, void*) { return e; }, nullptr);
    EXPECT_FALSE(port);
    EXPECT_FALSE(CFMachPortCreateRunLoopSource(kCFAllocatorDefault, port, 0));
}

TEST(EventStream, TheApplicationHandlerHearsOfEveryEventWithItsReceiver)
{
    SimWorld world(kScenario);
    std::vector<std::pair<Seen, pid_t>> handled;
    auto seen = [](const CGEventRef& event) {
        return Seen { CGEventGetType(event), static_cast<uint16_t>(CGEventGetIntegerValueField(event, kCGKeyboardEventKeycode)) };
    };
    world.desktop().activateApplication(SimDesktop::kOwnPid, false);
    world.desktop().typeKey(kVK_ANSI_Q);
    world.settle();
    EXPECT_EQ(world.desktop().receivedEvents(SimDesktop::kOwnPid).size(), 2u) << "recorded without a handler";

    {
        auto token = EventStream::shared().setApplicationEventHandler(
            [&](const CGEventRef& event, pid_t receiver) { handled.push_back({ seen(event), receiver }); });
        world.desktop().pressKey(kVK_ANSI_H);
        world.settle();
        world.desktop().activateApplication(kEditor, false);
        world.desktop().releaseKey(kVK_ANSI_H);
        world.settle();
        ASSERT_EQ(handled.size(), 2u);
        EXPECT_EQ(handled[0].first, (Seen { kCGEventKeyDown, kVK_ANSI_H }));
        EXPECT_EQ(handled[0].second, SimDesktop::kOwnPid);
        EXPECT_EQ(handled[1].second, kEditor);
    }
    world.desktop().typeKey(kVK_ANSI_H);
    world.settle();
    EXPECT_EQ(handled.size(), 2u) << "the handler ends with its token";
}

TEST(EventStream, MouseEventsGoToTheApplicationUnderThePointer)
{
    SimWorld world(R"({
      "screens": [ { "frame": [0, 0, 1440, 900] } ],
      "apps": [ { "pid": 7, "name": "Editor", "windows": [ { "id": 70, "title": "a", "frame": [0, 30, 400, 300] } ] },
                { "pid": 8, "name": "Viewer", "windows": [ { "id": 80, "title": "b", "frame": [500, 30, 400, 300] } ] } ],
      "order": [70, 80] })");
    auto post = [](CGEventType type, CGPoint at) { CGEventPost(kCGHIDEventTap, CGEventCreateMouseEvent(nullptr, type, at, 0)); };
    post(kCGEventLeftMouseDown, CGPointMake(600, 100));
    post(kCGEventLeftMouseDragged, CGPointMake(100, 100));
    post(kCGEventLeftMouseUp, CGPointMake(100, 100));
    post(kCGEventMouseMoved, CGPointMake(100, 100));
    world.desktop().typeKey(kVK_ANSI_Q);
    world.settle();
    EXPECT_EQ(world.desktop().receivedEvents(8).size(), 3u) << "the press, and the drag and release that follow it";
    auto editor = seenOf(world.desktop().receivedEvents(kEditor));
    EXPECT_EQ(editor,
        (std::vector<Seen> {
            { kCGEventMouseMoved, 0 }, { kCGEventKeyDown, kVK_ANSI_Q }, { kCGEventKeyUp, kVK_ANSI_Q } }));
}

TEST(EventTap, TheLiveKeyStateIsTheStreamsWhenTheTapRuns)
{
    SimWorld world(kScenario);
    Tap tap(kCGHeadInsertEventTap, CGEventMaskBit(kCGEventKeyDown));
    std::vector<uint32_t> modifiers;
    tap.behaviour = [&](CGEventType, const CGEventRef& event) {
        modifiers.push_back(GetCurrentKeyModifiers());
        return event;
    };
    // Command goes up again before the loop runs, as in quick typing.
    world.desktop().typeKey(kVK_Tab, kCGEventFlagMaskCommand);
    world.desktop().typeKey(kVK_Tab);
    world.settle();
    EXPECT_EQ(modifiers, (std::vector<uint32_t> { cmdKey, 0 }));
    EXPECT_EQ(GetCurrentKeyModifiers(), 0u);
}

TEST(EventTap, ANewDesktopStartsAFreshStream)
{
    {
        SimWorld world(kScenario);
        Tap tap;
        world.desktop().typeKey(kVK_ANSI_Q);
        // The world ends with the events still waiting.
    }
    SimWorld world(kScenario);
    world.desktop().typeKey(kVK_ANSI_H);
    world.settle();
    EXPECT_EQ(seenOf(world.desktop().receivedEvents(kEditor)),
        (std::vector<Seen> { { kCGEventKeyDown, kVK_ANSI_H }, { kCGEventKeyUp, kVK_ANSI_H } }));
}

TEST(EventTap, TheWindowServerCanDisableATapForUserInput)
{
    SimWorld world(kScenario);
    Tap tap;
    std::vector<CGEventType> notices;
    tap.behaviour = [&](CGEventType type, const CGEventRef& event) -> CGEventRef {
        if (type == kCGEventTapDisabledByTimeout || type == kCGEventTapDisabledByUserInput)
            notices.push_back(type);
        return event;
    };
    EventStream::shared().disableTap(tap.port, kCGEventTapDisabledByUserInput);
    EXPECT_FALSE(CGEventTapIsEnabled(tap.port));
    EXPECT_TRUE(notices.empty()) << "the notice comes on the tap's run loop";
    world.settle();
    EXPECT_EQ(notices, (std::vector<CGEventType> { kCGEventTapDisabledByUserInput }));
    // A tap that is off already hears nothing more.
    EventStream::shared().disableTap(tap.port, kCGEventTapDisabledByTimeout);
    world.settle();
    EXPECT_EQ(notices.size(), 1u);
    world.desktop().typeKey(kVK_ANSI_Q);
    world.settle();
    EXPECT_EQ(tap.seen.size(), 1u) << "only the notice";
}

// Input routed from another thread (an X11 desktop's event thread) while the
// program installs another desktop: the desktop that goes is never let go
// on the routing thread, which it would have to stop (and cannot from
// itself).
TEST(EventStream, ADesktopReplacedWhileAnotherThreadRoutesInputGoesOnTheMainThread)
{
    SimWorld world(kScenario);
    std::atomic<bool> stop { false };
    std::atomic<int> elsewhere { 0 };
    std::atomic<int> routed { 0 };
    const auto main = std::this_thread::get_id();
    auto install = [&] {
        Desktop::setCurrent(std::shared_ptr<Desktop>(new SimDesktop(), [&, main](Desktop* desktop) {
            if (std::this_thread::get_id() != main)
                ++elsewhere;
            delete desktop;
        }));
    };
    install();
    std::thread routing([&] {
        // Events a desktop posts travel the installed desktop's stream.
        SimDesktop sender;
        DesktopInputEvent key;
        key.type = kCGEventKeyDown;
        key.keyCode = kVK_ANSI_A;
        while (!stop) {
            sender.postEvent(key);
            ++routed;
        }
    });
    while (routed == 0)
        std::this_thread::yield();
    for (int round = 0; round < 2000; ++round)
        install();
    stop = true;
    routing.join();
    SimWorld::installEmptyDesktop();
    EXPECT_EQ(elsewhere, 0);
}

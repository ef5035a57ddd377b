#include "support/SimWorld.h"

#include <app/KSShortcutMonitor.h>
#include <desktop/InputCodes.h>
#include <foundation/Log.h>

#include <thread>

namespace {

constexpr pid_t kEditor = 7;
const char* kScenario = R"({
  "screens": [ { "frame": [0, 0, 1440, 900] } ],
  "apps": [ { "pid": 7, "name": "Editor", "windows": [ { "id": 70, "title": "a", "frame": [0, 30, 400, 300] } ] } ] })";

Ref<KSShortcut> shortcut(int64_t keyCode, uint64_t flags) { return KSShortcut::shortcutWithKeyCode(keyCode, flags); }

class Monitor : public ::testing::Test {
protected:
    Monitor() { monitor->unregisterAllShortcuts(); }
    ~Monitor() override
    {
        monitor->unregisterAllShortcuts();
        if (applicationHandler)
            RemoveEventHandler(applicationHandler);
    }

    // Records the hot-key events that reach the application target.
    void watchApplicationTarget()
    {
        const EventTypeSpec pressed { kEventClassKeyboard, kEventHotKeyPressed };
        InstallEventHandler(
            GetApplicationEventTarget(),
            [this](EventHandlerCallRef, EventRef event, void*) -> OSStatus {
                EventHotKeyID id {};
                GetEventParameter(event, kEventParamDirectObject, typeEventHotKeyID, nullptr, sizeof id, nullptr, &id);
                passedOn.push_back(id);
                return noErr;
            },
            1, &pressed, nullptr, &applicationHandler);
    }

    static EventRef hotKeyEvent(OSType signature, uint32_t id)
    {
        EventRef event;
        CreateEvent(nullptr, kEventClassKeyboard, kEventHotKeyPressed, 0, 0, &event);
        EventHotKeyID identifier { signature, id };
        SetEventParameter(event, kEventParamDirectObject, typeEventHotKeyID, sizeof identifier, &identifier);
        return event;
    }

    size_t keyDownsReceived(uint16_t keyCode)
    {
        size_t count = 0;
        for (const auto& e : world.desktop().receivedEvents(kEditor))
            count += e.type == kCGEventKeyDown && e.keyCode == keyCode;
        return count;
    }

    SimWorld world { kScenario };
    Ref<KSShortcutMonitor> monitor { KSShortcutMonitor::sharedMonitor() };
    EventHandlerRef applicationHandler;
    std::vector<EventHotKeyID> passedOn;
};

}

TEST_F(Monitor, RunsTheActionOfAPressedHotKeyOnTheMainQueue)
{
    ASSERT_TRUE(monitor);
    EXPECT_EQ(monitor, KSShortcutMonitor::sharedMonitor());
    EXPECT_TRUE(monitor->eventHandlerRef());
    int runs = 0;
    bool onMainThread = false;
    ASSERT_TRUE(monitor->registerShortcut(shortcut(kVK_ANSI_K, kCGEventFlagMaskCommand), [&] {
        ++runs;
        onMainThread = isMainThread();
    }));
    EXPECT_TRUE(monitor->isShortcutRegistered(shortcut(kVK_ANSI_K, kCGEventFlagMaskCommand)))
        << "equal shortcuts address one entry";
    world.desktop().typeKey(kVK_ANSI_K, kCGEventFlagMaskCommand);
    world.settle();
    EXPECT_EQ(runs, 1) << "once per press: the release runs nothing";
    EXPECT_TRUE(onMainThread);
    EXPECT_EQ(keyDownsReceived(kVK_ANSI_K), 0u) << "the hot key took its key";

    world.desktop().typeKey(kVK_ANSI_K, kCGEventFlagMaskAlternate);
    world.settle();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(keyDownsReceived(kVK_ANSI_K), 1u);
}

TEST_F(Monitor, TheActionRunsLaterNeverInsideTheHandler)
{
    int runs = 0;
    monitor->registerShortcut(shortcut(kVK_ANSI_K, kCGEventFlagMaskCommand), [&] { ++runs; });
    auto id = monitor->hotKeys().front()->carbonID();
    EXPECT_EQ(monitor->handleEvent(hotKeyEvent(KSHotKey::kSignature, id)), noErr);
    EXPECT_EQ(runs, 0);
    world.settle();
    EXPECT_EQ(runs, 1);
}

TEST_F(Monitor, ADuplicateCombinationIsRefusedAndTheFirstKeepsIt)
{
    int first = 0;
    int second = 0;
    EXPECT_TRUE(monitor->registerShortcut(shortcut(kVK_ANSI_K, kCGEventFlagMaskCommand), [&] { ++first; }));
    EXPECT_FALSE(monitor->registerShortcut(shortcut(kVK_ANSI_K, kCGEventFlagMaskCommand), [&] { ++second; }));
    EXPECT_EQ(monitor->hotKeys().size(), 1u);
    world.desktop().typeKey(kVK_ANSI_K, kCGEventFlagMaskCommand);
    world.settle();
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);
}

TEST_F(Monitor, HotKeyIdentifiersAreNeverReused)
{
    monitor->registerShortcut(shortcut(kVK_ANSI_K, kCGEventFlagMaskCommand), [] {});
    monitor->registerShortcut(shortcut(kVK_ANSI_K, kCGEventFlagMaskAlternate), [] {});
    auto hotKeys = monitor->hotKeys();
    ASSERT_EQ(hotKeys.size(), 2u);
    uint32_t last = hotKeys[1]->carbonID();
    EXPECT_GT(last, hotKeys[0]->carbonID());
    hotKeys.clear();
    monitor->unregisterAllShortcuts();
    EXPECT_TRUE(registeredEventHotKeys().empty()) << "releasing the hot keys unregistered them";
    monitor->registerShortcut(shortcut(kVK_ANSI_K, kCGEventFlagMaskCommand), [] {});
    EXPECT_GT(monitor->hotKeys().front()->carbonID(), last);
}

TEST_F(Monitor, UnregisteringFreesTheKey)
{
    int runs = 0;
    monitor->registerShortcut(shortcut(kVK_ANSI_K, kCGEventFlagMaskCommand), [&] { ++runs; });
    monitor->unregisterShortcut(nullptr);
    EXPECT_EQ(monitor->hotKeys().size(), 1u);
    monitor->unregisterShortcut(shortcut(kVK_ANSI_K, kCGEventFlagMaskCommand | 0x10000));
    EXPECT_FALSE(monitor->isShortcutRegistered(shortcut(kVK_ANSI_K, kCGEventFlagMaskCommand)));
    world.desktop().typeKey(kVK_ANSI_K, kCGEventFlagMaskCommand);
    world.settle();
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(keyDownsReceived(kVK_ANSI_K), 1u);
}

TEST_F(Monitor, AShortcutWithoutAKeyNeverTakesTheAKey)
{
    int runs = 0;
    EXPECT_FALSE(monitor->registerShortcut(shortcut(NSNotFound, kCGEventFlagMaskCommand), [&] { ++runs; }));
    EXPECT_FALSE(KSHotKey::registeredHotKeyWithShortcut(shortcut(NSNotFound, kCGEventFlagMaskCommand)));
    EXPECT_FALSE(KSHotKey::registeredHotKeyWithShortcut(nullptr));
    EXPECT_FALSE(monitor->registerShortcut(shortcut(-3, kCGEventFlagMaskCommand), [&] { ++runs; }));
    world.desktop().typeKey(kVK_ANSI_A, kCGEventFlagMaskCommand);
    world.settle();
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(keyDownsReceived(0), 1u);
}

TEST_F(Monitor, PassesOnHotKeyEventsThatAreNotItsOwn)
{
    watchApplicationTarget();
    int runs = 0;
    monitor->registerShortcut(shortcut(kVK_ANSI_K, kCGEventFlagMaskCommand), [&] { ++runs; });
    uint32_t id = monitor->hotKeys().front()->carbonID();

    EXPECT_EQ(SendEventToEventTarget(hotKeyEvent(FourCharCode("ABCD"), id), GetEventDispatcherTarget()), noErr);
    EXPECT_EQ(SendEventToEventTarget(hotKeyEvent(KSHotKey::kSignature, id + 1000), GetEventDispatcherTarget()), noErr);
    ASSERT_EQ(passedOn.size(), 2u) << "a foreign signature and an unknown id go on to the next handler";
    EXPECT_EQ(passedOn[0].signature, FourCharCode("ABCD"));
    EXPECT_EQ(passedOn[1].id, id + 1000);

    EventRef other;
    CreateEvent(nullptr, FourCharCode("appl"), 1, 0, 0, &other);
    EXPECT_EQ(monitor->handleEvent(other), eventNotHandledErr);
    EventRef bare;
    CreateEvent(nullptr, kEventClassKeyboard, kEventHotKeyPressed, 0, 0, &bare);
    EXPECT_EQ(monitor->handleEvent(bare), eventNotHandledErr) << "no identifier";

    EXPECT_EQ(SendEventToEventTarget(hotKeyEvent(KSHotKey::kSignature, id), GetEventDispatcherTarget()), noErr);
    EXPECT_EQ(passedOn.size(), 2u) << "its own hot key's event stops with it";
    world.settle();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(registeredEventHotKeys().size(), 1u);
}

TEST_F(Monitor, AnotherComponentsHotKeyStillWorksBesideTheKit)
{
    watchApplicationTarget();
    EventHotKeyRef foreign;
    ASSERT_EQ(RegisterEventHotKey(
                  kVK_ANSI_K, 0x800, { FourCharCode("ABCD"), 1 }, GetEventDispatcherTarget(), 0, &foreign),
        noErr);
    int runs = 0;
    monitor->registerShortcut(shortcut(kVK_ANSI_K, kCGEventFlagMaskCommand), [&] { ++runs; });
    world.desktop().typeKey(kVK_ANSI_K, kCGEventFlagMaskAlternate);
    world.desktop().typeKey(kVK_ANSI_K, kCGEventFlagMaskCommand);
    world.settle();
    EXPECT_EQ(passedOn.size(), 1u);
    EXPECT_EQ(runs, 1);
    UnregisterEventHotKey(foreign);
}

TEST_F(Monitor, SuspendedHotKeysLetTheirKeysThroughAndComeBackWithTheirActions)
{
    int runs = 0;
    monitor->registerShortcut(shortcut(kVK_ANSI_K, kCGEventFlagMaskCommand), [&] { ++runs; });
    monitor->registerShortcut(shortcut(kVK_ANSI_J, kCGEventFlagMaskCommand), [&] { runs += 10; });
    monitor->setSuspended(true);
    EXPECT_TRUE(registeredEventHotKeys().empty());
    world.desktop().typeKey(kVK_ANSI_K, kCGEventFlagMaskCommand);
    world.settle();
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(keyDownsReceived(kVK_ANSI_K), 1u) << "the key goes on to the application";

    // Registered meanwhile: checked with the system, then held back too.
    EXPECT_TRUE(monitor->registerShortcut(shortcut(kVK_ANSI_L, kCGEventFlagMaskCommand), [&] { runs += 100; }));
    EXPECT_TRUE(registeredEventHotKeys().empty());
    // Someone else takes J while they rest: J is logged and dropped.
    EventHotKeyRef other;
    ASSERT_EQ(RegisterEventHotKey(kVK_ANSI_J, cmdKey, { FourCharCode("OTHR"), 1 }, GetEventDispatcherTarget(), 0, &other), noErr);
    LogCapture log;
    monitor->setSuspended(false);
    EXPECT_TRUE(log.contains("could not be registered again"));
    EXPECT_FALSE(monitor->isShortcutRegistered(shortcut(kVK_ANSI_J, kCGEventFlagMaskCommand)));
    EXPECT_EQ(monitor->hotKeys().size(), 2u);
    world.desktop().typeKey(kVK_ANSI_K, kCGEventFlagMaskCommand);
    world.desktop().typeKey(kVK_ANSI_L, kCGEventFlagMaskCommand);
    world.settle();
    EXPECT_EQ(runs, 101);
    UnregisterEventHotKey(other);
}

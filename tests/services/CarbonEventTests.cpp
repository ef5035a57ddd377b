#include "support/SimWorld.h"

#include <desktop/InputCodes.h>
#include <services/CGEventTap.h>
#include <services/CarbonEvents.h>
#include <services/TextInputSources.h>

namespace {

constexpr pid_t kEditor = 7;

const char* kScenario = R"({
  "screens": [ { "frame": [0, 0, 1440, 900] } ],
  "apps": [ { "pid": 7, "name": "Editor", "windows": [ { "id": 70, "title": "a", "frame": [0, 30, 400, 300] } ] } ] })";

constexpr OSType kSignature = FourCharCode("TEST");

// Every test starts and ends without hot keys or handlers of its own.
class CarbonEvents : public ::testing::Test {
protected:
    CarbonEvents() { unregisterAll(); }
    ~CarbonEvents() override
    {
        unregisterAll();
        for (auto& handler : handlers)
            RemoveEventHandler(handler);
    }
    static void unregisterAll()
    {
        for (const auto& hotKey : registeredEventHotKeys())
            UnregisterEventHotKey(hotKey);
    }

    // Installs a handler that records the hot-key ids it sees and answers
    // with the status.
    void install(const EventTargetRef& target, std::vector<std::string>* log, const std::string& name, OSStatus answer,
        std::vector<EventTypeSpec> types = { { kEventClassKeyboard, kEventHotKeyPressed },
            { kEventClassKeyboard, kEventHotKeyReleased } })
    {
        EventHandlerRef handler;
        auto proc = [log, name, answer](EventHandlerCallRef, EventRef event, void*) -> OSStatus {
            EventHotKeyID id {};
            GetEventParameter(event, kEventParamDirectObject, typeEventHotKeyID, nullptr, sizeof id, nullptr, &id);
            log->push_back(name + (GetEventKind(event) == kEventHotKeyPressed ? " pressed " : " released ")
                + std::to_string(id.id));
            return answer;
        };
        ASSERT_EQ(InstallEventHandler(target, proc, types.size(), types.data(), nullptr, &handler), noErr);
        handlers.push_back(handler);
    }

    EventRef hotKeyEvent(EventHotKeyID id, EventKind kind = kEventHotKeyPressed)
    {
        EventRef event;
        CreateEvent(nullptr, kEventClassKeyboard, kind, 0, 0, &event);
        SetEventParameter(event, kEventParamDirectObject, typeEventHotKeyID, sizeof id, &id);
        return event;
    }

    SimWorld world { kScenario };
    std::vector<EventHandlerRef> handlers;
};

}

TEST_F(CarbonEvents, HandlersRunMostRecentFirstAndPassOnWhatTheyDoNotHandle)
{
    std::vector<std::string> log;
    install(GetApplicationEventTarget(), &log, "application", noErr);
    install(GetEventDispatcherTarget(), &log, "older", eventNotHandledErr);
    install(GetEventDispatcherTarget(), &log, "newer", eventNotHandledErr);
    EXPECT_EQ(SendEventToEventTarget(hotKeyEvent({ kSignature, 3 }), GetEventDispatcherTarget()), noErr);
    EXPECT_EQ(log, (std::vector<std::string> { "newer pressed 3", "older pressed 3", "application pressed 3" }))
        << "what the dispatcher's handlers leave goes on to the application target";

    log.clear();
    install(GetEventDispatcherTarget(), &log, "taker", noErr);
    EXPECT_EQ(SendEventToEventTarget(hotKeyEvent({ kSignature, 4 }), GetEventDispatcherTarget()), noErr);
    EXPECT_EQ(log, (std::vector<std::string> { "taker pressed 4" }));

    log.clear();
    RemoveEventHandler(handlers.back());
    EXPECT_FALSE(handlers.back()->isInstalled());
    EXPECT_EQ(RemoveEventHandler(handlers.back()), paramErr);
    SendEventToEventTarget(hotKeyEvent({ kSignature, 5 }), GetApplicationEventTarget());
    EXPECT_EQ(log, (std::vector<std::string> { "application pressed 5" }));
}

TEST_F(CarbonEvents, AHandlerSeesOnlyItsEventTypesAndCanCallTheRestOfTheChain)
{
    std::vector<std::string> log;
    install(GetApplicationEventTarget(), &log, "releases", noErr, { { kEventClassKeyboard, kEventHotKeyReleased } });
    EXPECT_EQ(SendEventToEventTarget(hotKeyEvent({ kSignature, 1 }), GetApplicationEventTarget()), eventNotHandledErr);
    EXPECT_TRUE(log.empty());

    install(GetApplicationEventTarget(), &log, "lower", noErr);
    EventHandlerRef wrapper;
    int context = 42;
    const EventTypeSpec pressed { kEventClassKeyboard, kEventHotKeyPressed };
    InstallEventHandler(
        GetApplicationEventTarget(),
        [&](EventHandlerCallRef call, EventRef event, void* userData) -> OSStatus {
            log.push_back("before " + std::to_string(*static_cast<int*>(userData)));
            OSStatus status = CallNextEventHandler(call, event);
            log.push_back("after");
            return status;
        },
        1, &pressed, &context, &wrapper);
    handlers.push_back(wrapper);
    SendEventToEventTarget(hotKeyEvent({ kSignature, 2 }), GetApplicationEventTarget());
    EXPECT_EQ(log, (std::vector<std::string> { "before 42", "lower pressed 2", "after" }));
}

TEST_F(CarbonEvents, ParametersAreTypedAndCopiedWithBoundsChecks)
{
    auto event = hotKeyEvent({ kSignature, 9 });
    EXPECT_EQ(GetEventClass(event), kEventClassKeyboard);
    EventHotKeyID id {};
    EventParamType actualType = 0;
    size_t actualSize = 0;
    EXPECT_EQ(GetEventParameter(event, kEventParamDirectObject, typeEventHotKeyID, &actualType, sizeof id, &actualSize, &id),
        noErr);
    EXPECT_EQ(id.signature, kSignature);
    EXPECT_EQ(id.id, 9u);
    EXPECT_EQ(actualType, typeEventHotKeyID);
    EXPECT_EQ(actualSize, sizeof id);
    uint32_t small = 0;
    EXPECT_EQ(GetEventParameter(event, kEventParamDirectObject, typeEventHotKeyID, nullptr, sizeof small, nullptr, &small),
        paramErr);
    EXPECT_EQ(GetEventParameter(event, kEventParamDirectObject, FourCharCode("long"), nullptr, sizeof id, nullptr, &id),
        eventParameterNotFoundErr);
    EXPECT_EQ(GetEventParameter(event, FourCharCode("nope"), typeWildCard, nullptr, sizeof id, nullptr, &id),
        eventParameterNotFoundErr);
    EXPECT_EQ(GetEventParameter(event, kEventParamDirectObject, typeWildCard, nullptr, sizeof id, nullptr, &id), noErr);
}

TEST_F(CarbonEvents, ACombinationIsRegisteredOnce)
{
    EventHotKeyRef first;
    EventHotKeyRef second;
    ASSERT_EQ(
        RegisterEventHotKey(kVK_ANSI_K, cmdKey, { kSignature, 1 }, GetEventDispatcherTarget(), 0, &first),
        noErr);
    EXPECT_EQ(
        RegisterEventHotKey(kVK_ANSI_K, cmdKey, { kSignature, 2 }, GetEventDispatcherTarget(), 0, &second),
        eventHotKeyExistsErr);
    EXPECT_FALSE(second);
    EXPECT_EQ(RegisterEventHotKey(
                  kVK_ANSI_K, cmdKey | shiftKey, { kSignature, 3 }, GetEventDispatcherTarget(), 0, &second),
        noErr);
    EXPECT_EQ(RegisterEventHotKey(70000, cmdKey, { kSignature, 4 }, GetEventDispatcherTarget(), 0, &second), paramErr);

    EXPECT_EQ(UnregisterEventHotKey(first), noErr);
    EXPECT_EQ(UnregisterEventHotKey(first), eventHotKeyInvalidErr);
    EXPECT_EQ(
        RegisterEventHotKey(kVK_ANSI_K, cmdKey, { kSignature, 5 }, GetEventDispatcherTarget(), 0, &first),
        noErr);
}

TEST_F(CarbonEvents, AHotKeyTakesItsKeyEventsAwayFromTheApplication)
{
    std::vector<std::string> log;
    install(GetEventDispatcherTarget(), &log, "hotkey", noErr);
    EventHotKeyRef hotKey;
    ASSERT_EQ(
        RegisterEventHotKey(kVK_ANSI_K, cmdKey, { kSignature, 7 }, GetEventDispatcherTarget(), 0, &hotKey),
        noErr);

    world.desktop().pressKey(kVK_ANSI_K, kCGEventFlagMaskCommand);
    world.desktop().releaseKey(kVK_ANSI_K, 0);
    world.desktop().typeKey(kVK_ANSI_K);
    world.desktop().typeKey(kVK_ANSI_K, kCGEventFlagMaskCommand | kCGEventFlagMaskShift);
    // Caps Lock is no part of a combination.
    world.desktop().typeKey(kVK_ANSI_K, kCGEventFlagMaskCommand | kCGEventFlagMaskAlphaShift);
    world.settle();
    EXPECT_EQ(log, (std::vector<std::string> { "hotkey pressed 7", "hotkey released 7", "hotkey pressed 7", "hotkey released 7" }));
    std::vector<uint16_t> keysReceived;
    for (const auto& e : world.desktop().receivedEvents(kEditor))
        if (e.type == kCGEventKeyDown || e.type == kCGEventKeyUp)
            keysReceived.push_back(e.keyCode);
    EXPECT_EQ(keysReceived, (std::vector<uint16_t> { kVK_ANSI_K, kVK_ANSI_K, kVK_ANSI_K, kVK_ANSI_K }))
        << "K alone and with Shift as well reach the application; Command+K does not";

    UnregisterEventHotKey(hotKey);
    world.desktop().typeKey(kVK_ANSI_K, kCGEventFlagMaskCommand);
    world.settle();
    EXPECT_EQ(log.size(), 4u);
}

TEST_F(CarbonEvents, AnEventTapComesBeforeTheHotKeys)
{
    std::vector<std::string> log;
    install(GetEventDispatcherTarget(), &log, "hotkey", noErr);
    EventHotKeyRef hotKey;
    RegisterEventHotKey(kVK_ANSI_K, cmdKey, { kSignature, 8 }, GetEventDispatcherTarget(), 0, &hotKey);
    auto tap = CGEventTapCreate(kCGHIDEventTap, kCGHeadInsertEventTap, kCGEventTapOptionDefault,
        CGEventMaskBit(kCGEventKeyDown), [](CGEventTapProxy, CGEventType, const CGEventRef&, void*) -> CGEventRef { return nullptr; },
        nullptr);
    CFRunLoopAddSource(RunLoop::main(), CFMachPortCreateRunLoopSource(kCFAllocatorDefault, tap, 0), kCFRunLoopCommonModes);
    world.desktop().pressKey(kVK_ANSI_K, kCGEventFlagMaskCommand);
    world.settle();
    EXPECT_TRUE(log.empty());
}

TEST_F(CarbonEvents, LiveKeyAndButtonStateComeFromTheDesktop)
{
    EXPECT_EQ(GetCurrentKeyModifiers(), 0u);
    world.desktop().setModifierFlags(kCGEventFlagMaskCommand | kCGEventFlagMaskAlternate | kCGEventFlagMaskAlphaShift);
    EXPECT_EQ(GetCurrentKeyModifiers(), 0u) << "the state follows the stream, which has not taken the events yet";
    world.settle();
    EXPECT_EQ(GetCurrentKeyModifiers(), cmdKey | optionKey | alphaLock);
    world.desktop().pressKey(kVK_Space);
    world.settle();
    KeyMap keys;
    GetKeys(keys);
    EXPECT_EQ(keys[6] & 0x02, 0x02) << "Space is bit 1 of byte 6";
    EXPECT_EQ(keys[55 / 8] & (1 << (55 % 8)), 1 << (55 % 8)) << "held modifier keys are down in the map";
    EXPECT_EQ(keys[57 / 8] & (1 << (57 % 8)), 0) << "Caps Lock locks without being held";
    world.desktop().releaseKey(kVK_Space, 0);
    world.settle();
    GetKeys(keys);
    EXPECT_EQ(keys, KeyMap {});
    EXPECT_EQ(GetCurrentKeyModifiers(), 0u);

    CGEventPost(kCGHIDEventTap, CGEventCreateKeyboardEvent(nullptr, 60, true));
    auto flags = CGEventCreate(nullptr);
    CGEventSetType(flags, kCGEventFlagsChanged);
    CGEventSetIntegerValueField(flags, kCGKeyboardEventKeycode, 60);
    CGEventSetFlags(flags, kCGEventFlagMaskShift);
    CGEventPost(kCGHIDEventTap, flags);
    world.settle();
    EXPECT_EQ(GetCurrentKeyModifiers(), shiftKey | rightShiftKey);

    EXPECT_EQ(GetCurrentButtonState(), 0u);
    world.desktop().setPressedMouseButtons(1);
    EXPECT_EQ(GetCurrentButtonState(), 1u);
}

TEST_F(CarbonEvents, SymbolicHotKeysComeFromTheDesktopsTable)
{
    Value table;
    ASSERT_EQ(CopySymbolicHotKeys(&table), noErr);
    auto has = [&](int64_t code, int64_t modifiers) {
        for (size_t i = 0; i < table.count(); ++i) {
            const auto& entry = table.at(i);
            if (entry[kHISymbolicHotKeyCode].integerValue() == code
                && entry[kHISymbolicHotKeyModifiers].integerValue() == modifiers && entry[kHISymbolicHotKeyEnabled].boolValue())
                return true;
        }
        return false;
    };
    EXPECT_TRUE(has(49, cmdKey)) << "Command+Space";
    EXPECT_TRUE(has(48, cmdKey)) << "Command+Tab";
    EXPECT_FALSE(has(48, optionKey)) << "Option+Tab is free for the switcher";
    EXPECT_EQ(CopySymbolicHotKeys(nullptr), paramErr);

    world.desktop().setSymbolicHotKeys({ { 1, 48, optionKey, true, "test" } });
    ASSERT_EQ(CopySymbolicHotKeys(&table), noErr);
    EXPECT_EQ(table.count(), 1u);
    EXPECT_TRUE(has(48, optionKey));
}

TEST(TextInputSources, TranslateKeysWithTheUSLayout)
{
    SimWorld world(kScenario);
    auto source = TISCopyCurrentASCIICapableKeyboardLayoutInputSource();
    ASSERT_TRUE(source);
    auto layout = TISGetInputSourceProperty(source, kTISPropertyUnicodeKeyLayoutData).objectAs<UCKeyboardLayout>();
    ASSERT_TRUE(layout);
    EXPECT_TRUE(TISGetInputSourceProperty(source, "unknown").isNil());

    auto translate = [&](uint16_t key, uint16_t action, uint32_t modifiers, OptionBits options, uint32_t& dead) {
        char16_t buffer[8];
        size_t length = 99;
        EXPECT_EQ(UCKeyTranslate(layout.get(), key, action, modifiers, LMGetKbdType(), options, &dead, 8, &length, buffer), noErr);
        return std::u16string(buffer, length);
    };
    uint32_t dead = 0;
    const uint32_t shift = shiftKey >> 8;
    const uint32_t option = optionKey >> 8;
    const uint32_t control = controlKey >> 8;
    EXPECT_EQ(translate(0, kUCKeyActionDown, 0, 0, dead), u"a");
    EXPECT_EQ(translate(0, kUCKeyActionDown, shift, 0, dead), u"A");
    EXPECT_EQ(translate(0, kUCKeyActionDown, option, 0, dead), u"\u00e5");
    EXPECT_EQ(translate(0, kUCKeyActionDown, control, 0, dead), u"\x01");
    EXPECT_EQ(translate(0, kUCKeyActionDisplay, shift | option, 0, dead), u"a");
    EXPECT_EQ(translate(0, kUCKeyActionUp, 0, 0, dead), u"");
    EXPECT_EQ(translate(50, kUCKeyActionDisplay, 0, kUCKeyTranslateNoDeadKeysMask, dead), u"`");
    EXPECT_EQ(translate(18, kUCKeyActionDown, shift, 0, dead), u"!");
    EXPECT_EQ(translate(52, kUCKeyActionDisplay, 0, 0, dead), u"\x03");
    EXPECT_EQ(translate(55, kUCKeyActionDown, 0, 0, dead), u"") << "the Command key types nothing";
    EXPECT_EQ(translate(127, kUCKeyActionDown, 0, 0, dead), u"");

    // Dead keys wait for the next key, unless the options ask for none.
    EXPECT_EQ(translate(14, kUCKeyActionDown, option, kUCKeyTranslateNoDeadKeysMask, dead), u"\u00b4");
    EXPECT_EQ(dead, 0u);
    EXPECT_EQ(translate(14, kUCKeyActionDown, option, 0, dead), u"");
    EXPECT_NE(dead, 0u);
    EXPECT_EQ(translate(14, kUCKeyActionDown, 0, 0, dead), u"\u00e9");
    EXPECT_EQ(dead, 0u);
    translate(45, kUCKeyActionDown, option, 0, dead);
    EXPECT_EQ(translate(17, kUCKeyActionDown, 0, 0, dead), u"\u02dct") << "an accent that does not combine comes first";
    translate(50, kUCKeyActionDown, option, 0, dead);
    EXPECT_EQ(translate(49, kUCKeyActionDown, 0, 0, dead), u"`") << "the accent alone with Space";

    // The buffer bounds the result.
    char16_t one[1];
    size_t length = 0;
    translate(32, kUCKeyActionDown, option, 0, dead);
    EXPECT_EQ(UCKeyTranslate(layout.get(), 17, kUCKeyActionDown, 0, LMGetKbdType(), 0, &dead, 1, &length, one), noErr);
    EXPECT_EQ(length, 1u);
    EXPECT_EQ(UCKeyTranslate(nullptr, 0, kUCKeyActionDown, 0, LMGetKbdType(), 0, &dead, 1, &length, one), paramErr);
}

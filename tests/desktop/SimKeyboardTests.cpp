#include "support/SimWorld.h"

#include <desktop/InputCodes.h>
#include <desktop/KeyboardLayout.h>

#include <algorithm>

namespace {

const char* kScenario = R"({
  "screens": [ { "frame": [0, 0, 1440, 900] } ],
  "apps": [ { "pid": 7, "name": "Editor", "windows": [ { "id": 70, "title": "a", "frame": [0, 30, 400, 300] } ] },
            { "pid": 8, "name": "Viewer", "windows": [ { "id": 80, "title": "b", "frame": [0, 30, 400, 300] } ] } ],
  "order": [70, 80] })";

struct Event {
    uint32_t type;
    uint16_t keyCode;
    uint64_t flags;
    bool autorepeat;
    bool operator==(const Event&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Event& e)
{
    return out << "{" << e.type << ", " << e.keyCode << ", 0x" << std::hex << e.flags << std::dec << ", " << e.autorepeat << "}";
}

std::vector<Event> received(SimDesktop& desktop, pid_t pid)
{
    std::vector<Event> result;
    for (const auto& e : desktop.receivedEvents(pid))
        result.push_back({ e.type, e.keyCode, e.flags, e.autorepeat });
    return result;
}

}

TEST(SimKeyboard, ModifierChangesComeOneKeyAtATime)
{
    SimWorld world(kScenario);
    auto& desktop = world.desktop();
    desktop.setModifierFlags(kCGEventFlagMaskCommand | kCGEventFlagMaskShift);
    desktop.setModifierFlags(kCGEventFlagMaskShift | kCGEventFlagMaskAlternate);
    desktop.setModifierFlags(0);
    world.settle();
    EXPECT_EQ(received(desktop, 7),
        (std::vector<Event> {
            { 12, 56, kCGEventFlagMaskShift, false },
            { 12, 55, kCGEventFlagMaskShift | kCGEventFlagMaskCommand, false },
            { 12, 58, kCGEventFlagMaskShift | kCGEventFlagMaskCommand | kCGEventFlagMaskAlternate, false },
            { 12, 55, kCGEventFlagMaskShift | kCGEventFlagMaskAlternate, false },
            { 12, 58, kCGEventFlagMaskShift, false },
            { 12, 56, 0, false },
        }));
    EXPECT_TRUE(received(desktop, 8).empty()) << "only the frontmost application receives";
}

TEST(SimKeyboard, KeysCarryTheHeldModifiersAndRepeatWhileHeld)
{
    SimWorld world(kScenario);
    auto& desktop = world.desktop();
    desktop.pressKey(kVK_ANSI_A, kCGEventFlagMaskControl);
    desktop.pressKey(kVK_ANSI_A);
    desktop.releaseKey(kVK_ANSI_A, 0);
    desktop.typeKey(kVK_LeftArrow);
    desktop.typeKey(kVK_F1, kCGEventFlagMaskCommand);
    world.settle();
    EXPECT_EQ(received(desktop, 7),
        (std::vector<Event> {
            { 12, 59, kCGEventFlagMaskControl, false },
            { 10, 0, kCGEventFlagMaskControl, false },
            { 10, 0, kCGEventFlagMaskControl, true },
            { 11, 0, kCGEventFlagMaskControl, false },
            { 12, 59, 0, false },
            { 10, kVK_LeftArrow, kCGEventFlagMaskNumericPad | kCGEventFlagMaskSecondaryFn, false },
            { 11, kVK_LeftArrow, kCGEventFlagMaskNumericPad | kCGEventFlagMaskSecondaryFn, false },
            { 12, 55, kCGEventFlagMaskCommand, false },
            { 10, 122, kCGEventFlagMaskCommand | kCGEventFlagMaskSecondaryFn, false },
            { 11, 122, kCGEventFlagMaskCommand | kCGEventFlagMaskSecondaryFn, false },
            { 12, 55, 0, false },
        }));
}

TEST(SimKeyboard, TypingAKeyGoesBackToTheModifiersHeldBefore)
{
    SimWorld world(kScenario);
    auto& desktop = world.desktop();
    desktop.setModifierFlags(kCGEventFlagMaskAlternate);
    desktop.typeKey(kVK_Tab, kCGEventFlagMaskAlternate | kCGEventFlagMaskShift);
    world.settle();
    EXPECT_EQ(desktop.keyboardModifierFlags(), kCGEventFlagMaskAlternate);
    auto events = received(desktop, 7);
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[2], (Event { 10, 48, kCGEventFlagMaskAlternate | kCGEventFlagMaskShift, false }));
    EXPECT_EQ(events[4], (Event { 12, 56, kCGEventFlagMaskAlternate, false }));
}

TEST(SimKeyboard, TheKeyboardStateFollowsTheEventsAsTheyAreTaken)
{
    SimWorld world(kScenario);
    auto& desktop = world.desktop();
    desktop.pressKey(kVK_Space, kCGEventFlagMaskCommand);
    EXPECT_EQ(desktop.keyboardModifierFlags(), 0u);
    EXPECT_TRUE(desktop.pressedKeyCodes().empty());
    world.settle();
    EXPECT_EQ(desktop.keyboardModifierFlags(), kCGEventFlagMaskCommand);
    EXPECT_EQ(desktop.pressedKeyCodes(), (std::vector<uint16_t> { 49, 55 }));
    desktop.releaseKey(kVK_Space, 0);
    world.settle();
    EXPECT_TRUE(desktop.pressedKeyCodes().empty());

    // Posted keyboard events change it the same way.
    DesktopInputEvent down;
    down.type = 10;
    down.keyCode = 3;
    desktop.postEvent(down);
    world.settle();
    EXPECT_EQ(desktop.pressedKeyCodes(), (std::vector<uint16_t> { 3 }));
    EXPECT_EQ(received(desktop, 7).back(), (Event { 10, 3, 0, false }));
}

TEST(SimKeyboard, NothingIsReceivedWithoutAFrontmostApplication)
{
    SimWorld world(SimWorld::emptyScenario());
    world.desktop().typeKey(kVK_ANSI_A);
    world.settle();
    EXPECT_EQ(world.desktop().keyboardModifierFlags(), 0u);
    EXPECT_TRUE(world.desktop().receivedEvents(0).empty());
    EXPECT_TRUE(world.desktop().receivedEvents(SimDesktop::kOwnPid).empty());
}

TEST(SimKeyboard, SymbolicHotKeysCanBeReplaced)
{
    SimWorld world(kScenario);
    auto defaults = world.desktop().symbolicHotKeys();
    EXPECT_EQ(defaults.size(), SimDesktop::defaultSymbolicHotKeys().size());
    world.desktop().setSymbolicHotKeys({ { 9, 1, 0x100, false, "x" } });
    auto table = world.desktop().symbolicHotKeys();
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(table[0].keyCode, 1u);
    EXPECT_FALSE(table[0].enabled);
    EXPECT_EQ(world.desktop().countCalls("CopySymbolicHotKeys"), 2u);
}

TEST(KeyboardLayout, TypesTheUSLayout)
{
    const auto& us = KeyboardLayout::unitedStates();
    uint32_t dead = 0;
    auto type = [&](uint16_t key, uint32_t modifiers = 0) {
        return us.translate(key, KeyboardLayout::Action::Down, modifiers, false, dead);
    };
    EXPECT_EQ(type(0), u"a");
    EXPECT_EQ(type(0, KeyboardLayout::CapsLock), u"A");
    EXPECT_EQ(type(18, KeyboardLayout::CapsLock), u"1") << "Caps Lock changes letters only";
    EXPECT_EQ(type(50, KeyboardLayout::Shift), u"~");
    EXPECT_EQ(type(1, KeyboardLayout::Option), u"\u00df");
    EXPECT_EQ(type(1, KeyboardLayout::Option | KeyboardLayout::Command), u"s") << "Command types the plain key";
    EXPECT_EQ(type(83, KeyboardLayout::Shift), u"1") << "the keypad ignores Shift";
    EXPECT_EQ(type(kVK_UpArrow), u"\x1e");
    EXPECT_EQ(type(200), u"");
}

TEST(SimKeyboard, ControlAndADigitShowThatSpaceAndTakeAWindowHeldByItsTitleBar)
{
    SimWorld world(R"({ "screens": [ { "frame": [0, 0, 1440, 900], "spaces": [3, 4, 6] } ],
      "apps": [ { "pid": 1, "name": "One", "windows": [ { "id": 10, "title": "a", "frame": [100, 100, 400, 300], "space": 3 },
                                                      { "id": 11, "title": "b", "frame": [700, 100, 400, 300], "space": 3 } ] } ] })");
    auto& desktop = world.desktop();
    EXPECT_EQ(desktop.currentSpace(), 3u) << "the first listed space shows first";
    auto mouse = [&](uint32_t type, CGPoint at) {
        DesktopInputEvent e;
        e.type = type;
        e.location = at;
        desktop.sendHardwareInput(e, false);
        world.settle();
    };
    // Pressed in the content, the window stays where it is.
    mouse(kCGEventLeftMouseDown, { 300, 300 });
    desktop.typeKey(kVK_ANSI_2, kCGEventFlagMaskControl);
    world.settle();
    mouse(kCGEventLeftMouseUp, { 300, 300 });
    EXPECT_EQ(desktop.currentSpace(), 4u);
    EXPECT_EQ(desktop.window(10)->space, 3u);
    auto keys = received(desktop, 1);
    EXPECT_TRUE(std::none_of(keys.begin(), keys.end(), [](const Event& e) { return e.type == kCGEventKeyDown && e.keyCode == kVK_ANSI_2; }))
        << "the desktop takes its shortcut";

    // Held by the title bar, it goes along.
    desktop.switchToSpace(3);
    mouse(kCGEventLeftMouseDown, { 710, 105 });
    desktop.typeKey(kVK_ANSI_3, kCGEventFlagMaskControl);
    world.settle();
    EXPECT_EQ(desktop.currentSpace(), 6u);
    EXPECT_EQ(desktop.window(11)->space, 6u);
    EXPECT_TRUE(desktop.window(11)->onScreen);
    mouse(kCGEventLeftMouseUp, { 710, 105 });
    // No fourth space: nothing changes.
    desktop.typeKey(kVK_ANSI_4, kCGEventFlagMaskControl);
    world.settle();
    EXPECT_EQ(desktop.currentSpace(), 6u);
}

#include "support/SimWorld.h"

#include <desktop/InputCodes.h>
#include <foundation/Log.h>
#include <toolkit/NSEventUtilities.h>

namespace {

using U = NSEventUtilities;

Ref<NSEvent> keyEvent(uint16_t keyCode, uint64_t flags = 0, bool down = true)
{
    auto event = CGEventCreateKeyboardEvent(nullptr, keyCode, down);
    CGEventSetFlags(event, flags);
    return NSEvent::eventWithCGEvent(event);
}

Ref<NSEvent> clickEvent(int64_t clicks, uint64_t flags = 0)
{
    auto event = CGEventCreateMouseEvent(nullptr, kCGEventLeftMouseDown, CGPointMake(5, 5), kCGMouseButtonLeft);
    CGEventSetIntegerValueField(event, kCGMouseEventClickState, clicks);
    CGEventSetFlags(event, flags);
    return NSEvent::eventWithCGEvent(event);
}

class EventUtilities : public ::testing::Test {
protected:
    SimWorld world { SimWorld::emptyScenario() };
};

}

TEST_F(EventUtilities, LiveModifiersAreTheKeyboardsNotTheEvents)
{
    EXPECT_FALSE(U::commandKeyDownNow());
    world.desktop().setModifierFlags(
        kCGEventFlagMaskCommand | kCGEventFlagMaskControl | kCGEventFlagMaskAlphaShift);
    world.settle();
    EXPECT_TRUE(U::commandKeyDownNow());
    EXPECT_TRUE(U::controlKeyDownNow());
    EXPECT_TRUE(U::capsLockDownNow());
    EXPECT_FALSE(U::shiftKeyDownNow());
    EXPECT_FALSE(U::optionKeyDownNow());
    world.desktop().setModifierFlags(kCGEventFlagMaskShift | kCGEventFlagMaskAlternate);
    world.settle();
    EXPECT_FALSE(U::commandKeyDownNow());
    EXPECT_TRUE(U::shiftKeyDownNow());
    EXPECT_TRUE(U::optionKeyDownNow());
    EXPECT_FALSE(U::commandKeyDown(*keyEvent(0, kCGEventFlagMaskShift)))
        << "the event's own flags are another matter";

    EXPECT_FALSE(U::isMouseButtonDown());
    world.desktop().setPressedMouseButtons(2);
    EXPECT_FALSE(U::isMouseButtonDown()) << "only the primary button counts";
    world.desktop().setPressedMouseButtons(3);
    EXPECT_TRUE(U::isMouseButtonDown());
}

TEST_F(EventUtilities, TheSpaceBarTestAgreesWithTheKeyMap)
{
    KeyMap space;
    KeyMapClear(space);
    KeyMapAddKeyCode(space, 49);
    for (bool held : { false, true }) {
        if (held) world.desktop().pressKey(kVK_Space);
        world.settle();
        KeyMap live;
        GetKeys(live);
        EXPECT_EQ(U::spaceKeyDownNow(), held);
        EXPECT_EQ(KeyMapIntersects(space, live), held);
    }
}

TEST_F(EventUtilities, ConvertsCarbonModifiersToEventFlags)
{
    EXPECT_EQ(U::carbonModifierFlagsToCocoaModifierFlags(0x100), kCGEventFlagMaskCommand);
    EXPECT_EQ(U::carbonModifierFlagsToCocoaModifierFlags(0x200), kCGEventFlagMaskShift);
    EXPECT_EQ(U::carbonModifierFlagsToCocoaModifierFlags(0x800), kCGEventFlagMaskAlternate);
    EXPECT_EQ(U::carbonModifierFlagsToCocoaModifierFlags(0x1000), kCGEventFlagMaskControl);
    EXPECT_EQ(U::carbonModifierFlagsToCocoaModifierFlags(0x20000), 0x800000u);
    EXPECT_EQ(U::carbonModifierFlagsToCocoaModifierFlags(0x400), 0u) << "Caps Lock gives nothing";
    EXPECT_EQ(U::carbonModifierFlagsToCocoaModifierFlags(0xE000), 0u) << "nor do the right-hand bits";
    EXPECT_EQ(U::carbonModifierFlagsToCocoaModifierFlags(0xFFFFFFFF),
        kCGEventFlagMaskCommand | kCGEventFlagMaskShift | kCGEventFlagMaskAlternate | kCGEventFlagMaskControl
            | 0x800000u);
}

TEST_F(EventUtilities, ReadModifiersFromTheEvent)
{
    auto both = keyEvent(0, kCGEventFlagMaskAlternate | kCGEventFlagMaskCommand);
    auto option = keyEvent(0, kCGEventFlagMaskAlternate);
    auto none = keyEvent(0, kCGEventFlagMaskAlphaShift);
    EXPECT_TRUE(U::optionKeyDown(*both));
    EXPECT_TRUE(U::commandKeyDown(*both));
    EXPECT_FALSE(U::optionXOrCommandKeyDown(*both));
    EXPECT_TRUE(U::optionXOrCommandKeyDown(*option));
    EXPECT_FALSE(U::optionXOrCommandKeyDown(*none));
    EXPECT_FALSE(U::modifierIsDown(*none)) << "Caps Lock is no modifier here";
    EXPECT_TRUE(U::modifierIsDown(*keyEvent(0, kCGEventFlagMaskControl)));
    EXPECT_TRUE(U::shiftKeyDown(*keyEvent(0, kCGEventFlagMaskShift)));
    EXPECT_TRUE(U::controlKeyDown(*keyEvent(0, kCGEventFlagMaskControl)));

    EXPECT_TRUE(U::openInNewWindowEvent(*clickEvent(1, kCGEventFlagMaskCommand)));
    EXPECT_TRUE(U::openInNewWindowEvent(*keyEvent(0, kCGEventFlagMaskCommand, false)));
    EXPECT_FALSE(U::openInNewWindowEvent(*keyEvent(0, kCGEventFlagMaskCommand)));
    EXPECT_FALSE(U::openInNewWindowEvent(*clickEvent(1)));
}

TEST_F(EventUtilities, CountClicks)
{
    struct Case {
        int64_t clicks;
        bool single;
        bool isDouble;
    };
    for (auto c : { Case { 0, false, false }, Case { 1, true, false }, Case { 2, false, true }, Case { 3, true, false },
             Case { 4, false, true }, Case { -1, false, false }, Case { 0x100000002, false, true } }) {
        auto event = clickEvent(c.clicks);
        EXPECT_EQ(U::isSingleClick(*event), c.single) << c.clicks;
        EXPECT_EQ(U::isDoubleClick(*event), c.isDouble) << c.clicks;
    }
}

TEST_F(EventUtilities, RecogniseWellKnownKeys)
{
    EXPECT_TRUE(U::isUpArrowEvent(*keyEvent(126)));
    EXPECT_TRUE(U::isDownArrowEvent(*keyEvent(125)));
    EXPECT_TRUE(U::isLeftArrowEvent(*keyEvent(123)));
    EXPECT_TRUE(U::isRightArrowEvent(*keyEvent(124, 0, false)));
    EXPECT_TRUE(U::isArrowEvent(*keyEvent(124)));
    EXPECT_FALSE(U::isArrowEvent(*keyEvent(115)));
    EXPECT_TRUE(U::isHomeKeyEvent(*keyEvent(115)));
    EXPECT_TRUE(U::isEndKeyEvent(*keyEvent(119)));
    EXPECT_TRUE(U::isPageUpKeyEvent(*keyEvent(116)));
    EXPECT_TRUE(U::isPageDownKeyEvent(*keyEvent(121)));
    EXPECT_TRUE(U::isDeleteKeyEvent(*keyEvent(51)));
    EXPECT_TRUE(U::isReturnKeyEvent(*keyEvent(36)));
    EXPECT_TRUE(U::isEscKeyEvent(*keyEvent(53)));
    EXPECT_TRUE(U::isTabKeyEvent(*keyEvent(48)));
    EXPECT_FALSE(U::isTabKeyEvent(*keyEvent(48, kCGEventFlagMaskShift)));
    EXPECT_TRUE(U::isShiftTabKeyEvent(*keyEvent(48, kCGEventFlagMaskShift)));
    EXPECT_TRUE(U::characterIsDown(*keyEvent(0), u'a'));
    EXPECT_FALSE(U::characterIsDown(*keyEvent(0), u'A'));
    EXPECT_FALSE(U::isReturnKeyEvent(*clickEvent(1))) << "an event without characters is no key";
    EXPECT_FALSE(U::characterIsDown(*keyEvent(55, kCGEventFlagMaskCommand), 0)) << "a key without text";
}

TEST(KeyMap, SetsInvertsAndCompareBits)
{
    KeyMap a;
    KeyMap b;
    KeyMapClear(a);
    KeyMapClear(b);
    EXPECT_FALSE(KeyMapIntersects(a, b));
    KeyMapAddKeyCode(a, 0);
    KeyMapAddKeyCode(a, 127);
    KeyMapAddKeyCode(b, 127);
    EXPECT_EQ(a[0], 0x01);
    EXPECT_EQ(a[15], 0x80);
    EXPECT_TRUE(KeyMapIntersects(a, b));
    KeyMapInvert(b);
    EXPECT_EQ(b[15], 0x7F);
    EXPECT_EQ(b[3], 0xFF);
    EXPECT_TRUE(KeyMapIntersects(a, b)) << "key 0 is in both now";
    KeyMapClear(b);
    KeyMapAddKeyCode(b, 1);
    EXPECT_FALSE(KeyMapIntersects(a, b));
}

TEST(KeyMap, IgnoresKeyCodesOutsideTheMap)
{
    // Bytes after the map catch a write past it.
    struct Guarded {
        KeyMap map;
        uint8_t after[16];
    } guarded {};
    for (int32_t code : { -1, -8, -129, 128, 200, 1 << 30 })
        KeyMapAddKeyCode(guarded.map, code);
    EXPECT_EQ(guarded.map, KeyMap {});
    for (uint8_t byte : guarded.after)
        EXPECT_EQ(byte, 0);
}

TEST(KeyMap, LogsItsBytesInHexadecimal)
{
    KeyMap map;
    KeyMapClear(map);
    KeyMapAddKeyCode(map, 49);
    KeyMapAddKeyCode(map, 0);
    KeyMapAddKeyCode(map, 15);
    LogCapture log;
    KeyMapLog(map);
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0], "KeyMap  01 80 00 00 00 00 02 00 00 00 00 00 00 00 00 00");
}

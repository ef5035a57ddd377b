#include "support/SimWorld.h"

#include <appkit/NSEventCharacters.h>

namespace {

std::u16string charactersOf(uint16_t keyCode, NSEventModifierFlags flags, bool down = true)
{
    auto event = CGEventCreateKeyboardEvent(nullptr, keyCode, down);
    CGEventSetFlags(event, flags);
    return NSEventCharacters(*NSEvent::eventWithCGEvent(event));
}

}

TEST(NSEventCharacters, AreWhatTheLayoutTypesWithTheEventsModifiers)
{
    SimWorld world(SimWorld::emptyScenario());
    EXPECT_EQ(charactersOf(0, 0), u"a");
    EXPECT_EQ(charactersOf(0, NSEventModifierFlagShift, false), u"A");
    EXPECT_EQ(charactersOf(0, NSEventModifierFlagOption), u"\u00e5");
    EXPECT_EQ(charactersOf(0, NSEventModifierFlagCommand), u"a");
    EXPECT_EQ(charactersOf(14, NSEventModifierFlagOption), u"\u00b4") << "a dead key gives its accent";
    EXPECT_EQ(charactersOf(36, 0), u"\r");
    EXPECT_EQ(charactersOf(53, 0), u"\x1b");
}

TEST(NSEventCharacters, GiveFunctionKeyCharactersForKeysThatTypeNoText)
{
    SimWorld world(SimWorld::emptyScenario());
    EXPECT_EQ(charactersOf(126, 0), std::u16string(1, NSUpArrowFunctionKey));
    EXPECT_EQ(charactersOf(123, 0), std::u16string(1, NSLeftArrowFunctionKey));
    EXPECT_EQ(charactersOf(115, 0), std::u16string(1, NSHomeFunctionKey));
    EXPECT_EQ(charactersOf(122, 0), std::u16string(1, NSF1FunctionKey));
    EXPECT_EQ(charactersOf(90, 0), std::u16string(1, static_cast<char16_t>(NSF1FunctionKey + 19)));
    EXPECT_EQ(charactersOf(51, 0), std::u16string(1, NSDeleteCharacter));
    EXPECT_EQ(charactersOf(117, 0), std::u16string(1, NSDeleteFunctionKey));
    EXPECT_EQ(charactersOf(48, 0), u"\t");
    EXPECT_EQ(charactersOf(48, NSEventModifierFlagShift), std::u16string(1, NSBackTabCharacter));
    EXPECT_EQ(charactersOf(55, NSEventModifierFlagCommand), u"");
}

TEST(NSEventCharacters, AreEmptyForEventsThatAreNoKeyPresses)
{
    SimWorld world(SimWorld::emptyScenario());
    auto click = CGEventCreateMouseEvent(nullptr, kCGEventLeftMouseDown, CGPointMake(1, 1), kCGMouseButtonLeft);
    EXPECT_EQ(NSEventCharacters(*NSEvent::eventWithCGEvent(click)), u"");
}

// The text a key event carries (NSEvent's characters): what the keyboard
// layout types for the key with the event's modifiers, with the keys that
// type no text given as the platform's function-key characters.
#pragma once

#include "NSEvent.h"

#include <string>

// Function-key characters (private-use code points) and control characters
// of key events, with the platform's values.
inline constexpr char16_t NSUpArrowFunctionKey = 0xF700;
inline constexpr char16_t NSDownArrowFunctionKey = 0xF701;
inline constexpr char16_t NSLeftArrowFunctionKey = 0xF702;
inline constexpr char16_t NSRightArrowFunctionKey = 0xF703;
inline constexpr char16_t NSF1FunctionKey = 0xF704;
inline constexpr char16_t NSDeleteFunctionKey = 0xF728;
inline constexpr char16_t NSHomeFunctionKey = 0xF729;
inline constexpr char16_t NSEndFunctionKey = 0xF72B;
inline constexpr char16_t NSPageUpFunctionKey = 0xF72C;
inline constexpr char16_t NSPageDownFunctionKey = 0xF72D;
inline constexpr char16_t NSClearLineFunctionKey = 0xF739;
inline constexpr char16_t NSHelpFunctionKey = 0xF746;
inline constexpr char16_t NSEnterCharacter = 0x03;
inline constexpr char16_t NSTabCharacter = 0x09;
inline constexpr char16_t NSCarriageReturnCharacter = 0x0D;
inline constexpr char16_t NSBackTabCharacter = 0x19;
inline constexpr char16_t NSDeleteCharacter = 0x7F;

// Empty for events that are not key down or key up.
std::u16string NSEventCharacters(const NSEvent& event);

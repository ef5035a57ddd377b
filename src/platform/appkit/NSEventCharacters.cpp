#include "NSEventCharacters.h"

#include <desktop/KeyboardLayout.h>

namespace {

// The function-key character of a key that types no text, or 0.
char16_t functionKeyCharacter(uint16_t keyCode)
{
    switch (keyCode) {
    case kVK_UpArrow:
        return NSUpArrowFunctionKey;
    case kVK_DownArrow:
        return NSDownArrowFunctionKey;
    case kVK_LeftArrow:
        return NSLeftArrowFunctionKey;
    case kVK_RightArrow:
        return NSRightArrowFunctionKey;
    case kVK_ForwardDelete:
        return NSDeleteFunctionKey;
    case kVK_Home:
        return NSHomeFunctionKey;
    case kVK_End:
        return NSEndFunctionKey;
    case kVK_PageUp:
        return NSPageUpFunctionKey;
    case kVK_PageDown:
        return NSPageDownFunctionKey;
    case kVK_Help:
        return NSHelpFunctionKey;
    case 71:
        return NSClearLineFunctionKey;
    case kVK_Delete:
        return NSDeleteCharacter;
    default:
        break;
    }
    // F1 to F20.
    static constexpr uint16_t functionKeys[] = { 122, 120, 99, 118, 96, 97, 98, 100, 101, 109, 103, 111, 105, 107,
        113, 106, 64, 79, 80, 90 };
    for (size_t i = 0; i < std::size(functionKeys); ++i)
        if (functionKeys[i] == keyCode)
            return static_cast<char16_t>(NSF1FunctionKey + i);
    return 0;
}

}

std::u16string NSEventCharacters(const NSEvent& event)
{
    if (event.type() != NSEventTypeKeyDown && event.type() != NSEventTypeKeyUp)
        return {};
    uint16_t keyCode = event.keyCode();
    NSEventModifierFlags flags = event.modifierFlags();
    if (char16_t c = functionKeyCharacter(keyCode))
        return std::u16string(1, c);
    if (keyCode == kVK_Tab && (flags & NSEventModifierFlagShift))
        return std::u16string(1, NSBackTabCharacter);

    uint32_t modifiers = 0;
    if (flags & NSEventModifierFlagCommand)
        modifiers |= KeyboardLayout::Command;
    if (flags & NSEventModifierFlagShift)
        modifiers |= KeyboardLayout::Shift;
    if (flags & NSEventModifierFlagCapsLock)
        modifiers |= KeyboardLayout::CapsLock;
    if (flags & NSEventModifierFlagOption)
        modifiers |= KeyboardLayout::Option;
    if (flags & NSEventModifierFlagControl)
        modifiers |= KeyboardLayout::Control;
    uint32_t deadKeyState = 0;
    return KeyboardLayout::unitedStates().translate(keyCode, KeyboardLayout::Action::Down, modifiers, false, deadKeyState);
}

#include "KeyboardState.h"

#include "KeyboardLayout.h"

#include <algorithm>
#include <iterator>

namespace KeyboardState {

const ModifierKey kModifierKeys[6] = {
    { kCGEventFlagMaskControl, kVK_Control },
    { kCGEventFlagMaskAlternate, kVK_Option },
    { kCGEventFlagMaskShift, kVK_Shift },
    { kCGEventFlagMaskCommand, kVK_Command },
    { kCGEventFlagMaskSecondaryFn, kVK_Function },
    { kCGEventFlagMaskAlphaShift, kVK_CapsLock },
};

std::vector<DesktopSymbolicHotKey> switcherHotKeys()
{
    return {
        { 1, kVK_Tab, cmdKey, true, "Application switcher" },
        { 2, kVK_Tab, cmdKey | shiftKey, true, "Application switcher, backwards" },
        { 27, kVK_ANSI_Grave, cmdKey, true, "Move focus to the next window" },
    };
}

std::optional<uint64_t> modifierFlagOfKey(uint16_t keyCode)
{
    switch (keyCode) {
    case kVK_Command:
    case kVK_RightCommand:
        return kCGEventFlagMaskCommand;
    case kVK_Shift:
    case kVK_RightShift:
        return kCGEventFlagMaskShift;
    case kVK_Option:
    case kVK_RightOption:
        return kCGEventFlagMaskAlternate;
    case kVK_Control:
    case kVK_RightControl:
        return kCGEventFlagMaskControl;
    case kVK_Function:
        return kCGEventFlagMaskSecondaryFn;
    case kVK_CapsLock:
        return kCGEventFlagMaskAlphaShift;
    default:
        return std::nullopt;
    }
}

uint64_t deviceFlagsOfKey(uint16_t keyCode)
{
    static constexpr uint16_t functionKeys[] = { kVK_Help, kVK_Home, kVK_PageUp,
        kVK_ForwardDelete, kVK_End, kVK_PageDown };
    static constexpr uint16_t keypadKeys[] = { 65, 67, 69, 71, 75, 76, 78, 81, 82, 83, 84, 85, 86, 87, 88, 89, 91, 92 };
    auto in = [keyCode](const auto& keys) {
        return std::find(std::begin(keys), std::end(keys), keyCode) != std::end(keys);
    };
    if (keyCode >= kVK_LeftArrow && keyCode <= kVK_UpArrow)
        return kCGEventFlagMaskNumericPad | kCGEventFlagMaskSecondaryFn;
    if (in(functionKeys) || in(kVK_FunctionKeys))
        return kCGEventFlagMaskSecondaryFn;
    if (in(keypadKeys))
        return kCGEventFlagMaskNumericPad;
    return 0;
}

void apply(const DesktopInputEvent& event, uint64_t& flags, std::set<uint16_t>& keys)
{
    switch (event.type) {
    case kCGEventKeyDown:
        keys.insert(event.keyCode);
        break;
    case kCGEventKeyUp:
        keys.erase(event.keyCode);
        break;
    case kCGEventFlagsChanged:
        flags = event.flags & kModifierMask;
        if (auto flag = modifierFlagOfKey(event.keyCode); flag && event.keyCode != kVK_CapsLock) {
            if (flags & *flag)
                keys.insert(event.keyCode);
            else
                keys.erase(event.keyCode);
        }
        break;
    default:
        break;
    }
}

}

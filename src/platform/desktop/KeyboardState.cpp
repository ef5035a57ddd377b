#include "KeyboardState.h"

#include "KeyboardLayout.h"

#include <algorithm>
#include <iterator>

namespace KeyboardState {

const ModifierKey kModifierKeys[6] = {
    { kControlFlag, VirtualKey::Control },
    { kOptionFlag, VirtualKey::Option },
    { kShiftFlag, VirtualKey::Shift },
    { kCommandFlag, VirtualKey::Command },
    { kFunctionFlag, VirtualKey::Function },
    { kCapsLockFlag, VirtualKey::CapsLock },
};

std::vector<DesktopSymbolicHotKey> switcherHotKeys()
{
    return {
        { 1, VirtualKey::Tab, kCarbonCommand, true, "Application switcher" },
        { 2, VirtualKey::Tab, kCarbonCommand | kCarbonShift, true, "Application switcher, backwards" },
        { 27, 50, kCarbonCommand, true, "Move focus to the next window" },
    };
}

std::optional<uint64_t> modifierFlagOfKey(uint16_t keyCode)
{
    switch (keyCode) {
    case VirtualKey::Command:
    case VirtualKey::RightCommand:
        return kCommandFlag;
    case VirtualKey::Shift:
    case VirtualKey::RightShift:
        return kShiftFlag;
    case VirtualKey::Option:
    case VirtualKey::RightOption:
        return kOptionFlag;
    case VirtualKey::Control:
    case VirtualKey::RightControl:
        return kControlFlag;
    case VirtualKey::Function:
        return kFunctionFlag;
    case VirtualKey::CapsLock:
        return kCapsLockFlag;
    default:
        return std::nullopt;
    }
}

uint64_t deviceFlagsOfKey(uint16_t keyCode)
{
    static constexpr uint16_t functionKeys[] = { VirtualKey::Help, VirtualKey::Home, VirtualKey::PageUp,
        VirtualKey::ForwardDelete, VirtualKey::End, VirtualKey::PageDown, 122, 120, 99, 118, 96, 97, 98, 100,
        101, 109, 103, 111, 105, 107, 113, 106, 64, 79, 80, 90 };
    static constexpr uint16_t keypadKeys[] = { 65, 67, 69, 71, 75, 76, 78, 81, 82, 83, 84, 85, 86, 87, 88, 89, 91, 92 };
    auto in = [keyCode](const auto& keys) {
        return std::find(std::begin(keys), std::end(keys), keyCode) != std::end(keys);
    };
    if (keyCode >= VirtualKey::LeftArrow && keyCode <= VirtualKey::UpArrow)
        return kNumericPadFlag | kFunctionFlag;
    if (in(functionKeys))
        return kFunctionFlag;
    if (in(keypadKeys))
        return kNumericPadFlag;
    return 0;
}

void apply(const DesktopInputEvent& event, uint64_t& flags, std::set<uint16_t>& keys)
{
    switch (event.type) {
    case kKeyDown:
        keys.insert(event.keyCode);
        break;
    case kKeyUp:
        keys.erase(event.keyCode);
        break;
    case kFlagsChanged:
        flags = event.flags & kModifierMask;
        if (auto flag = modifierFlagOfKey(event.keyCode); flag && event.keyCode != VirtualKey::CapsLock) {
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

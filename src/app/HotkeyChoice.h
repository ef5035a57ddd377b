// What a switcher hotkey is bound to: the value of "AllWindowsHotkeyIndex",
// "OnScreenWindowsHotkeyIndex" and "ActiveAppWindowsHotKeyIndex".
#pragma once

#include <cstdint>

using HotkeyChoice = int64_t;
enum : HotkeyChoice {
    // Command+Tab, taken by the event tap (no hot key is registered).
    HotkeyChoiceCommandTab = 0,
    HotkeyChoiceControlTab = 1,
    HotkeyChoiceOptionTab = 2,
    // The shortcut stored under the hotkey's custom-shortcut key.
    HotkeyChoiceCustom = 3,
};

// The keyboard as a desktop's input stream sees it: which modifier flags
// and keys are down after each event, and the flags the hardware adds to
// some keys. Shared by the desktops, so that the simulated keyboard and a
// real one keep their state the same way.
#pragma once

#include "DesktopTypes.h"
#include "InputCodes.h"

#include <optional>
#include <set>

namespace KeyboardState {

// The event flags of the modifier keys a keyboard holds.
inline constexpr uint64_t kModifierMask = kCGEventFlagMaskAlphaShift | kCGEventFlagMaskShift
    | kCGEventFlagMaskControl | kCGEventFlagMaskAlternate | kCGEventFlagMaskCommand | kCGEventFlagMaskSecondaryFn;

// The desktop's own switcher shortcuts that an event tap takes: Command+Tab,
// Command+Shift+Tab and Command+`.
std::vector<DesktopSymbolicHotKey> switcherHotKeys();

// The modifier keys a keyboard holds, in the order their changes are
// reported (Function and Caps Lock last).
struct ModifierKey {
    uint64_t flag;
    uint16_t keyCode;
};
extern const ModifierKey kModifierKeys[6];

// The modifier flag a modifier key holds; none for other keys.
std::optional<uint64_t> modifierFlagOfKey(uint16_t keyCode);

// Flags the hardware adds to a key's events, as the platform's keyboard
// does: the arrows are on the numeric pad and need the function key on
// small keyboards; the navigation and function keys carry the function flag.
uint64_t deviceFlagsOfKey(uint16_t keyCode);

// Follows one event: keys go down and up, a flags change sets the flags and
// holds or releases its modifier key (Caps Lock locks without being held).
void apply(const DesktopInputEvent& event, uint64_t& flags, std::set<uint16_t>& keys);

}

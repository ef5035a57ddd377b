// Key and modifier names of scripts to virtual key codes and Carbon
// modifier flags: letters, digits and punctuation as the current keyboard
// layout types them, the other keys by a fixed table of names.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

inline constexpr uint32_t kDRKeyCodeUnknown = 0xFFFFFFFF;

class DRKeyTranslator {
public:
    // "alt"/"option", "cmd"/"command", "control"/"ctrl", "shift"; 0 for
    // other names.
    static uint32_t flagForModifier(const std::string& modifier);
    static uint32_t modifierFlagsForModifiers(const std::vector<std::string>& modifiers);
    // What the key types with the current layout and no modifiers; nothing
    // (logged) when the layout cannot translate it.
    static std::optional<std::string> characterForKeyCode(uint16_t keyCode);
    // By the layout table, built on first use.
    static uint32_t keyCodeForLocalKey(const std::string& key);
    // By the fixed table of names ("f12", "pageDown", "keypad+").
    static uint32_t keyCodeForSpecialKey(const std::string& key);
    // The layout table first, then the fixed one; kDRKeyCodeUnknown when
    // neither knows the name.
    static uint32_t keyCodeForKey(const std::string& key);
};

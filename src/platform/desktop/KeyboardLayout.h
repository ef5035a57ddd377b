// A keyboard layout: the text each virtual key code types, with the
// modifier keys that change it and the dead keys that wait for the next
// key. The simulated desktop types with the U.S. layout.
#pragma once

#include "InputCodes.h"

#include <cstdint>
#include <string>

class KeyboardLayout {
public:
    // Modifier keys as the layout sees them: the Carbon modifier word
    // shifted right by 8.
    enum Modifier : uint32_t {
        Command = 1 << 0,
        Shift = 1 << 1,
        CapsLock = 1 << 2,
        Option = 1 << 3,
        Control = 1 << 4,
    };
    // What happens to the key, with the platform's values.
    enum class Action : uint16_t { Down = 0, Up = 1, AutoKey = 2, Display = 3 };

    // The U.S. layout (ANSI, with the ISO key left of 1 as on the platform).
    static const KeyboardLayout& unitedStates();

    const std::string& identifier() const { return m_identifier; }
    const std::string& localizedName() const { return m_localizedName; }

    // The text of one key. A dead key pressed while dead keys are in use
    // types nothing and leaves its accent in deadKeyState (0: none); the next
    // key combines with it. Keys the layout does not know type nothing.
    std::u16string translate(
        uint16_t keyCode, Action action, uint32_t modifiers, bool useDeadKeys, uint32_t& deadKeyState) const;

private:
    KeyboardLayout(std::string identifier, std::string localizedName)
        : m_identifier(std::move(identifier))
        , m_localizedName(std::move(localizedName))
    {
    }

    std::string m_identifier;
    std::string m_localizedName;
};

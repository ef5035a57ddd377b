// Keyboard input sources and layout translation: the text a virtual key
// code types with the current keyboard layout.
#pragma once

#include "CarbonEvents.h"

#include <desktop/KeyboardLayout.h>
#include <foundation/NSObject.h>

// The layout data of an input source.
class UCKeyboardLayout final : public NSObject {
public:
    explicit UCKeyboardLayout(const KeyboardLayout& layout)
        : m_layout(layout)
    {
    }
    const KeyboardLayout& layout() const { return m_layout; }

private:
    const KeyboardLayout& m_layout;
};

class TISInputSource final : public NSObject {
public:
    explicit TISInputSource(const KeyboardLayout& layout)
        : m_layoutData(makeRef<UCKeyboardLayout>(layout))
    {
    }
    const Ref<UCKeyboardLayout>& layoutData() const { return m_layoutData; }

private:
    Ref<UCKeyboardLayout> m_layoutData;
};
using TISInputSourceRef = Ref<TISInputSource>;

// Property keys of an input source.
extern const std::string kTISPropertyUnicodeKeyLayoutData; // the UCKeyboardLayout object
extern const std::string kTISPropertyInputSourceID; // string
extern const std::string kTISPropertyLocalizedName; // string

// The keyboard layout in use that types ASCII (the U.S. layout).
TISInputSourceRef TISCopyCurrentASCIICapableKeyboardLayoutInputSource();
TISInputSourceRef TISCopyCurrentKeyboardLayoutInputSource();
// Nil for an unknown key or a missing source.
Value TISGetInputSourceProperty(const TISInputSourceRef& source, const std::string& propertyKey);

// Key actions and translation options.
inline constexpr uint16_t kUCKeyActionDown = 0;
inline constexpr uint16_t kUCKeyActionUp = 1;
inline constexpr uint16_t kUCKeyActionAutoKey = 2;
inline constexpr uint16_t kUCKeyActionDisplay = 3;
inline constexpr uint32_t kUCKeyTranslateNoDeadKeysBit = 0;
inline constexpr uint32_t kUCKeyTranslateNoDeadKeysMask = 1u << kUCKeyTranslateNoDeadKeysBit;

// The physical keyboard's type, which layouts may depend on.
inline constexpr uint8_t kKeyboardANSI = 40;
uint8_t LMGetKbdType();

// Translates a key with a modifier state (Carbon modifier bits shifted
// right by 8) into at most maxStringLength UTF-16 units. A dead key, unless
// the options ask for none, types nothing and stays in deadKeyState for the
// next call.
OSStatus UCKeyTranslate(const UCKeyboardLayout* keyLayoutPtr, uint16_t virtualKeyCode, uint16_t keyAction,
    uint32_t modifierKeyState, uint32_t keyboardType, OptionBits keyTranslateOptions, uint32_t* deadKeyState,
    size_t maxStringLength, size_t* actualStringLength, char16_t unicodeString[]);

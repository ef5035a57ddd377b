#include "KSShortcut.h"

#include <appkit/NSEvent.h>
#include <services/CarbonEvents.h>

#include "ShortcutKitText.h"

#include <foundation/Format.h>
#include <foundation/Log.h>
#include <foundation/NSBundle.h>
#include <foundation/NSKeyedUnarchiver.h>
#include <foundation/Unicode.h>
#include <services/TextInputSources.h>

#include <mutex>

namespace {

constexpr uint64_t kShiftFlag = NSEventModifierFlagShift;
constexpr uint64_t kControlFlag = NSEventModifierFlagControl;
constexpr uint64_t kOptionFlag = NSEventModifierFlagOption;
constexpr uint64_t kCommandFlag = NSEventModifierFlagCommand;

constexpr const char* kKeyCodeKey = "KeyCode";
constexpr const char* kModifierFlagsKey = "ModifierFlags";

// The room the layout translation has, in UTF-16 units.
constexpr size_t kTranslationBufferLength = 256;

// Function keys F1 to F19 have names and characters of their own.
constexpr size_t kNamedFunctionKeys = 19;
constexpr char16_t kF1FunctionKeyCharacter = 0xF704;

// Archives written before a decoder is asked for can still name the class:
// the unarchiver learns it when this file is part of the program.
const bool kRegisteredForArchiving = [] {
    NSKeyedUnarchiver::registerClass<KSShortcut>();
    return true;
}();

std::optional<std::string> fixedKeyText(int64_t keyCode)
{
    switch (keyCode) {
    case 36:
        return "\u21a9";
    case 48:
        return "\u21e5";
    case 49:
        return ShortcutKitLocalizedString("Space", "Shortcut glyph name for SPACE key");
    case 51:
        return "\u232b";
    case 53:
        return "\u238b";
    case 71:
        return "\u2327";
    case 76:
        return "\u2305";
    case 114:
        return "?";
    case 115:
        return "\u2196";
    case 116:
        return "\u21de";
    case 117:
        return "\u2326";
    case 119:
        return "\u2198";
    case 121:
        return "\u21df";
    case 123:
        return "\u2190";
    case 124:
        return "\u2192";
    case 125:
        return "\u2193";
    case 126:
        return "\u2191";
    case 65:
        return ".";
    case 67:
        return "*";
    case 69:
        return "+";
    case 75:
        return "/";
    case 78:
        return "-";
    case 81:
        return "=";
    case 91:
        return "8";
    case 92:
        return "9";
    default:
        break;
    }
    if (keyCode >= 82 && keyCode <= 89)
        return std::string(1, static_cast<char>('0' + (keyCode - 82)));
    for (size_t i = 0; i < kNamedFunctionKeys; ++i)
        if (kVK_FunctionKeys[i] == keyCode)
            return "F" + std::to_string(i + 1);
    return std::nullopt;
}

// What the current ASCII-capable layout shows on the key; nothing when
// there is no layout to ask.
std::optional<std::u16string> translatedKeyText(int64_t keyCode)
{
    auto source = TISCopyCurrentASCIICapableKeyboardLayoutInputSource();
    if (!source)
        return std::nullopt;
    auto layout = TISGetInputSourceProperty(source, kTISPropertyUnicodeKeyLayoutData).objectAs<UCKeyboardLayout>();
    if (!layout)
        return std::nullopt;
    uint32_t deadKeyState = 0;
    char16_t buffer[kTranslationBufferLength];
    size_t length = 0;
    OSStatus status = UCKeyTranslate(layout.get(), static_cast<uint16_t>(keyCode & 0xFFFF), kUCKeyActionDisplay, 0,
        LMGetKbdType(), kUCKeyTranslateNoDeadKeysMask, &deadKeyState, kTranslationBufferLength, &length, buffer);
    if (status != noErr || length == 0)
        return std::u16string();
    return std::u16string(buffer, length);
}

}

KSShortcut::KSShortcut(int64_t keyCode, uint64_t modifierFlags)
    : m_keyCode(keyCode)
    , m_modifierFlags(modifierFlags & kModifierFlagsMask)
{
}

Ref<KSShortcut> KSShortcut::shortcutWithKeyCode(int64_t keyCode, uint64_t modifierFlags)
{
    return makeRef<KSShortcut>(keyCode, modifierFlags);
}

Ref<KSShortcut> KSShortcut::shortcutWithEvent(const NSEvent& event)
{
    return makeRef<KSShortcut>(event.keyCode() & 0xFFFF, event.modifierFlags());
}

uint32_t KSShortcut::carbonKeyCode() const { return m_keyCode == NSNotFound ? 0 : static_cast<uint32_t>(m_keyCode); }

uint32_t KSShortcut::carbonFlags() const
{
    uint32_t flags = 0;
    if (m_modifierFlags & kControlFlag)
        flags |= controlKey;
    if (m_modifierFlags & kOptionFlag)
        flags |= optionKey;
    if (m_modifierFlags & kCommandFlag)
        flags |= cmdKey;
    if (m_modifierFlags & kShiftFlag)
        flags |= 0x200;
    return flags;
}

std::optional<std::string> KSShortcut::keyCodeString() const
{
    if (m_keyCode == NSNotFound)
        return std::string();
    if (auto fixed = fixedKeyText(m_keyCode))
        return fixed;
    auto translated = translatedKeyText(m_keyCode);
    if (!translated)
        return std::nullopt;
    if (translated->empty())
        return std::string();
    if (!ShortcutKitText::consistsOfAlphanumericsPunctuationAndSymbols(*translated))
        return std::string();
    return ShortcutKitText::uppercase(utf8FromUTF16(*translated));
}

std::string KSShortcut::keyCodeStringForKeyEquivalent() const
{
    std::string text = keyCodeString().value_or(std::string());
    if (utf16FromUTF8(text).size() <= 1) return ShortcutKitText::lowercase(text);
    if (m_keyCode == kVK_Space)
        return " ";
    for (size_t i = 0; i < kNamedFunctionKeys; ++i)
        if (kVK_FunctionKeys[i] == m_keyCode)
            return utf8FromUTF16(std::u16string(1, static_cast<char16_t>(kF1FunctionKeyCharacter + i)));
    return {};
}

std::string KSShortcut::modifierFlagsString() const
{
    std::string glyphs;
    if (m_modifierFlags & kControlFlag)
        glyphs += "\u2303";
    if (m_modifierFlags & kOptionFlag)
        glyphs += "\u2325";
    if (m_modifierFlags & kShiftFlag)
        glyphs += "\u21e7";
    if (m_modifierFlags & kCommandFlag)
        glyphs += "\u2318";
    return glyphs;
}

std::string KSShortcut::description() const
{
    return stringWithFormat("%@%@", modifierFlagsString(), keyCodeString().value_or(std::string()));
}

bool KSShortcut::isEqual(const NSObject* other) const
{
    auto shortcut = dynamic_cast<const KSShortcut*>(other);
    return shortcut && shortcut->m_keyCode == m_keyCode && shortcut->m_modifierFlags == m_modifierFlags;
}

size_t KSShortcut::hash() const { return static_cast<size_t>(m_keyCode) + static_cast<size_t>(m_modifierFlags); }

Ref<KSShortcut> KSShortcut::copy() const
{
    auto copy = makeRef<KSShortcut>(m_keyCode, 0);
    copy->m_modifierFlags = m_modifierFlags;
    return copy;
}

void KSShortcut::encodeWithCoder(NSCoder& coder) const
{
    coder.encodeInteger(m_keyCode == NSNotFound ? -1 : m_keyCode, kKeyCodeKey);
    coder.encodeInteger(static_cast<int64_t>(m_modifierFlags), kModifierFlagsKey);
}

Ref<KSShortcut> KSShortcut::initWithCoder(NSCoder& coder)
{
    // A key code that is missing would decode as 0, the A key, and a
    // hot key would then take A; such an archive gives no shortcut.
    if (!coder.containsValueForKey(kKeyCodeKey) || !coder.containsValueForKey(kModifierFlagsKey)) {
        coder.failWithError("the archived shortcut has no key code or no modifier flags");
        return nullptr;
    }
    int64_t keyCode = coder.decodeIntegerForKey(kKeyCodeKey);
    int64_t flags = coder.decodeIntegerForKey(kModifierFlagsKey);
    if (coder.hasFailed())
        return nullptr;
    // Virtual key codes are 16 bits; a larger one would stand for another
    // key wherever it is cut to 16 bits.
    if (keyCode > 0xFFFF) {
        coder.failWithError(stringWithFormat("the archived shortcut has the key code %lld, which no key has",
            static_cast<long long>(keyCode)));
        return nullptr;
    }
    auto shortcut = makeRef<KSShortcut>(keyCode < 0 ? NSNotFound : keyCode, 0);
    shortcut->m_modifierFlags = static_cast<uint64_t>(flags);
    return shortcut;
}

std::string ShortcutKitLocalizedString(const std::string& key, const std::string&)
{
    static std::once_flag once;
    static Ref<NSBundle> kitBundle;
    std::call_once(once, [] {
        // The class lives in the program itself, so its own bundle and the
        // main bundle are the same.
        std::string path = NSBundle::mainBundle().pathForResource("KSShortcut", "bundle");
        kitBundle = NSBundle::bundleWithPath(path);
    });
    const NSBundle& bundle = kitBundle ? *kitBundle : NSBundle::mainBundle();
    return bundle.localizedStringForKey(key, "XXX", "Localizable");
}

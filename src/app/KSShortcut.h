// One keyboard shortcut as an immutable value: a virtual key code and the
// modifier flags Shift, Control, Option and Command. It converts itself to
// the Carbon form hot keys need, renders itself for display and as a menu
// key equivalent, and archives itself with the coder keys "KeyCode" and
// "ModifierFlags".
#pragma once

#include <appkit/NSEvent.h>
#include <foundation/NSCoder.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

// The platform's "no such index": a shortcut with this key code has no key.
inline constexpr int64_t NSNotFound = std::numeric_limits<int64_t>::max();

class KSShortcut : public NSObject, public NSCoding {
public:
    // The flags a shortcut keeps: Shift, Control, Option and Command.
    static constexpr uint64_t kModifierFlagsMask = 0x1E0000;

    // The key code unchanged, the flags masked to the four above.
    KSShortcut(int64_t keyCode, uint64_t modifierFlags);
    static Ref<KSShortcut> shortcutWithKeyCode(int64_t keyCode, uint64_t modifierFlags);
    // The event's key code (16 bits) and modifier flags.
    static Ref<KSShortcut> shortcutWithEvent(const NSEvent& event);

    int64_t keyCode() const { return m_keyCode; }
    uint64_t modifierFlags() const { return m_modifierFlags; }

    // The key code, 0 when there is none.
    uint32_t carbonKeyCode() const;
    // Carbon modifier bits: Command 0x100, Shift 0x200, Option 0x800,
    // Control 0x1000.
    uint32_t carbonFlags() const;
    // The key alone, for display: a glyph, a name or the text the key types
    // (upper-cased); empty for a key that types no visible text; nothing
    // when no keyboard layout can be read.
    std::optional<std::string> keyCodeString() const;
    // The key as a menu key equivalent (lower case, a blank for Space, the
    // function-key characters for F1 to F19); empty when it has none.
    std::string keyCodeStringForKeyEquivalent() const;
    // The modifier glyphs in the order Control, Option, Shift, Command.
    std::string modifierFlagsString() const;
    // The modifier glyphs followed by the key.
    std::string description() const override;

    // Shortcuts are equal when key code and flags are.
    bool isEqual(const NSObject* other) const override;
    size_t hash() const override;
    Ref<KSShortcut> copy() const;

    // Archiving; a shortcut without a key stores the key code -1.
    void encodeWithCoder(NSCoder& coder) const override;
    // Null, with the decode failed and the reason logged, when the archive
    // lacks a key code or flags or holds a key code no key can have.
    static Ref<KSShortcut> initWithCoder(NSCoder& coder);
    static bool supportsSecureCoding() { return true; }

private:
    int64_t m_keyCode;
    uint64_t m_modifierFlags;
};

// The shortcut kit's texts: the key's translation in the "Localizable"
// table of the kit's resource bundle (KSShortcut.bundle beside the
// program), "XXX" for a key the table lacks. The comment tells translators
// what the text is for.
std::string ShortcutKitLocalizedString(const std::string& key, const std::string& comment);

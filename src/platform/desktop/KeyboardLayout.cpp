#include "KeyboardLayout.h"

#include <array>

namespace {

// One typing key: its text alone, with Shift, with Option and with
// Option and Shift. A dead accent on the Option layer waits for the next key.
struct TypingKey {
    char16_t base { 0 };
    char16_t shift { 0 };
    char16_t option { 0 };
    char16_t optionShift { 0 };
    uint32_t deadAccent { 0 };
};

enum Accent : uint32_t { NoAccent = 0, Grave = 1, Acute = 2, Circumflex = 3, Tilde = 4, Diaeresis = 5 };

using TypingTable = std::array<TypingKey, 128>;

TypingTable makeTypingTable()
{
    TypingTable t {};
    auto set = [&](uint16_t code, char16_t base, char16_t shift, char16_t option, char16_t optionShift,
                   uint32_t dead = NoAccent) { t[code] = { base, shift, option, optionShift, dead }; };
    set(0, u'a', u'A', u'\u00e5', u'\u00c5');
    set(1, u's', u'S', u'\u00df', u'\u00cd');
    set(2, u'd', u'D', u'\u2202', u'\u00ce');
    set(3, u'f', u'F', u'\u0192', u'\u00cf');
    set(4, u'h', u'H', u'\u02d9', u'\u00d3');
    set(5, u'g', u'G', u'\u00a9', u'\u02dd');
    set(6, u'z', u'Z', u'\u03a9', u'\u00b8');
    set(7, u'x', u'X', u'\u2248', u'\u02db');
    set(8, u'c', u'C', u'\u00e7', u'\u00c7');
    set(9, u'v', u'V', u'\u221a', u'\u25ca');
    set(10, u'\u00a7', u'\u00b1', u'\u00a7', u'\u00b1');
    set(11, u'b', u'B', u'\u222b', u'\u0131');
    set(12, u'q', u'Q', u'\u0153', u'\u0152');
    set(13, u'w', u'W', u'\u2211', u'\u201e');
    set(14, u'e', u'E', u'\u00b4', u'\u00b4', Acute);
    set(15, u'r', u'R', u'\u00ae', u'\u2030');
    set(16, u'y', u'Y', u'\u00a5', u'\u00c1');
    set(17, u't', u'T', u'\u2020', u'\u02c7');
    set(18, u'1', u'!', u'\u00a1', u'\u2044');
    set(19, u'2', u'@', u'\u2122', u'\u20ac');
    set(20, u'3', u'#', u'\u00a3', u'\u2039');
    set(21, u'4', u'$', u'\u00a2', u'\u203a');
    set(22, u'6', u'^', u'\u00a7', u'\ufb02');
    set(23, u'5', u'%', u'\u221e', u'\ufb01');
    set(24, u'=', u'+', u'\u2260', u'\u00b1');
    set(25, u'9', u'(', u'\u00aa', u'\u00b7');
    set(26, u'7', u'&', u'\u00b6', u'\u2021');
    set(27, u'-', u'_', u'\u2013', u'\u2014');
    set(28, u'8', u'*', u'\u2022', u'\u00b0');
    set(29, u'0', u')', u'\u00ba', u'\u201a');
    set(30, u']', u'}', u'\u2018', u'\u2019');
    set(31, u'o', u'O', u'\u00f8', u'\u00d8');
    set(32, u'u', u'U', u'\u00a8', u'\u00a8', Diaeresis);
    set(33, u'[', u'{', u'\u201c', u'\u201d');
    set(34, u'i', u'I', u'\u02c6', u'\u02c6', Circumflex);
    set(35, u'p', u'P', u'\u03c0', u'\u220f');
    set(37, u'l', u'L', u'\u00ac', u'\u00d2');
    set(38, u'j', u'J', u'\u2206', u'\u00d4');
    set(39, u'\'', u'"', u'\u00e6', u'\u00c6');
    set(40, u'k', u'K', u'\u02da', u'\uf8ff');
    set(41, u';', u':', u'\u2026', u'\u00da');
    set(42, u'\\', u'|', u'\u00ab', u'\u00bb');
    set(43, u',', u'<', u'\u2264', u'\u00af');
    set(44, u'/', u'?', u'\u00f7', u'\u00bf');
    set(45, u'n', u'N', u'\u02dc', u'\u02dc', Tilde);
    set(46, u'm', u'M', u'\u00b5', u'\u00c2');
    set(47, u'.', u'>', u'\u2265', u'\u02d8');
    set(50, u'`', u'~', u'`', u'`', Grave);
    set(49, u' ', u' ', u'\u00a0', u'\u00a0');
    // The keypad types the same text on every layer.
    const std::pair<uint16_t, char16_t> keypad[] = { { kVK_ANSI_KeypadDecimal, u'.' },
        { kVK_ANSI_KeypadMultiply, u'*' }, { kVK_ANSI_KeypadPlus, u'+' }, { kVK_ANSI_KeypadDivide, u'/' },
        { kVK_ANSI_KeypadMinus, u'-' }, { kVK_ANSI_KeypadEquals, u'=' }, { kVK_ANSI_Keypad0, u'0' },
        { kVK_ANSI_Keypad1, u'1' }, { kVK_ANSI_Keypad2, u'2' }, { kVK_ANSI_Keypad3, u'3' },
        { kVK_ANSI_Keypad4, u'4' }, { kVK_ANSI_Keypad5, u'5' }, { kVK_ANSI_Keypad6, u'6' },
        { kVK_ANSI_Keypad7, u'7' }, { kVK_ANSI_Keypad8, u'8' }, { kVK_ANSI_Keypad9, u'9' } };
    for (auto [code, c] : keypad)
        set(code, c, c, c, c);
    // Keys that type a control character.
    const std::pair<uint16_t, char16_t> controls[] = { { kVK_Return, 0x0D }, { kVK_Tab, 0x09 },
        { kVK_Delete, 0x08 }, { 52, 0x03 }, { kVK_Escape, 0x1B }, { kVK_ANSI_KeypadClear, 0x1B },
        { kVK_ANSI_KeypadEnter, 0x03 }, { kVK_Help, 0x05 }, { kVK_Home, 0x01 }, { kVK_PageUp, 0x0B },
        { kVK_ForwardDelete, 0x7F }, { kVK_End, 0x04 }, { kVK_PageDown, 0x0C }, { kVK_LeftArrow, 0x1C },
        { kVK_RightArrow, 0x1D }, { kVK_DownArrow, 0x1F }, { kVK_UpArrow, 0x1E } };
    for (auto [code, c] : controls)
        set(code, c, c, c, c);
    // Function keys F1 to F20 all type the function-key control character.
    for (uint16_t code : kVK_FunctionKeys)
        set(code, 0x10, 0x10, 0x10, 0x10);
    return t;
}

const TypingTable& typingTable()
{
    static const TypingTable table = makeTypingTable();
    return table;
}

char16_t spacingAccent(uint32_t accent)
{
    switch (accent) {
    case Grave:
        return u'`';
    case Acute:
        return u'\u00b4';
    case Circumflex:
        return u'\u02c6';
    case Tilde:
        return u'\u02dc';
    case Diaeresis:
        return u'\u00a8';
    default:
        return 0;
    }
}

// The letter with the accent, or 0 when the two do not combine.
char16_t combined(uint32_t accent, char16_t letter)
{
    struct Composition {
        uint32_t accent;
        char16_t letter;
        char16_t result;
    };
    static constexpr Composition compositions[] = {
        { Grave, u'a', u'\u00e0' }, { Grave, u'e', u'\u00e8' }, { Grave, u'i', u'\u00ec' }, { Grave, u'o', u'\u00f2' },
        { Grave, u'u', u'\u00f9' }, { Grave, u'A', u'\u00c0' }, { Grave, u'E', u'\u00c8' }, { Grave, u'I', u'\u00cc' },
        { Grave, u'O', u'\u00d2' }, { Grave, u'U', u'\u00d9' }, { Acute, u'a', u'\u00e1' }, { Acute, u'e', u'\u00e9' },
        { Acute, u'i', u'\u00ed' }, { Acute, u'o', u'\u00f3' }, { Acute, u'u', u'\u00fa' }, { Acute, u'y', u'\u00fd' },
        { Acute, u'A', u'\u00c1' }, { Acute, u'E', u'\u00c9' }, { Acute, u'I', u'\u00cd' }, { Acute, u'O', u'\u00d3' },
        { Acute, u'U', u'\u00da' }, { Acute, u'Y', u'\u00dd' }, { Circumflex, u'a', u'\u00e2' },
        { Circumflex, u'e', u'\u00ea' }, { Circumflex, u'i', u'\u00ee' }, { Circumflex, u'o', u'\u00f4' },
        { Circumflex, u'u', u'\u00fb' }, { Circumflex, u'A', u'\u00c2' }, { Circumflex, u'E', u'\u00ca' },
        { Circumflex, u'I', u'\u00ce' }, { Circumflex, u'O', u'\u00d4' }, { Circumflex, u'U', u'\u00db' },
        { Tilde, u'a', u'\u00e3' }, { Tilde, u'n', u'\u00f1' }, { Tilde, u'o', u'\u00f5' }, { Tilde, u'A', u'\u00c3' },
        { Tilde, u'N', u'\u00d1' }, { Tilde, u'O', u'\u00d5' }, { Diaeresis, u'a', u'\u00e4' },
        { Diaeresis, u'e', u'\u00eb' }, { Diaeresis, u'i', u'\u00ef' }, { Diaeresis, u'o', u'\u00f6' },
        { Diaeresis, u'u', u'\u00fc' }, { Diaeresis, u'y', u'\u00ff' }, { Diaeresis, u'A', u'\u00c4' },
        { Diaeresis, u'E', u'\u00cb' }, { Diaeresis, u'I', u'\u00cf' }, { Diaeresis, u'O', u'\u00d6' },
        { Diaeresis, u'U', u'\u00dc' }, { Diaeresis, u'Y', u'\u0178' },
    };
    for (const auto& c : compositions)
        if (c.accent == accent && c.letter == letter)
            return c.result;
    return 0;
}

bool isLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

}

const KeyboardLayout& KeyboardLayout::unitedStates()
{
    static const KeyboardLayout layout("keylayout.US", "U.S.");
    return layout;
}

std::u16string KeyboardLayout::translate(
    uint16_t keyCode, Action action, uint32_t modifiers, bool useDeadKeys, uint32_t& deadKeyState) const
{
    if (action == Action::Up)
        return {};
    if (keyCode >= typingTable().size())
        return {};
    const TypingKey& key = typingTable()[keyCode];
    if (!key.base)
        return {};

    if (action == Action::Display)
        return std::u16string(1, key.base);

    bool shift = modifiers & Shift;
    bool option = (modifiers & Option) && !(modifiers & Command);
    char16_t c = option ? (shift ? key.optionShift : key.option) : (shift ? key.shift : key.base);
    if ((modifiers & CapsLock) && !shift && isLetter(c))
        c = static_cast<char16_t>(c - u'a' + u'A');
    if ((modifiers & Control) && isLetter(key.base))
        c = static_cast<char16_t>(key.base & 0x1F);

    if (useDeadKeys && option && !shift && key.deadAccent && !(modifiers & Control)) {
        // A second dead key types the first accent and waits with its own.
        std::u16string pending;
        if (deadKeyState)
            pending.push_back(spacingAccent(deadKeyState));
        deadKeyState = key.deadAccent;
        return pending;
    }
    if (useDeadKeys && deadKeyState) {
        uint32_t accent = deadKeyState;
        deadKeyState = 0;
        if (c == u' ')
            return std::u16string(1, spacingAccent(accent));
        if (char16_t composed = combined(accent, c))
            return std::u16string(1, composed);
        return std::u16string { spacingAccent(accent), c };
    }
    return std::u16string(1, c);
}

#include "ShortcutKitText.h"

#include <foundation/Unicode.h>

#include <clocale>
#include <cwctype>
#include <locale.h>
#include <wctype.h>

namespace ShortcutKitText {

namespace {

// A UTF-8 character-type locale for case mapping, made once; null when the
// system has none, and then only ASCII changes case.
locale_t unicodeLocale()
{
    static locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return locale;
}

char32_t mapCase(char32_t c, bool upper)
{
    if (locale_t locale = unicodeLocale())
        return upper ? towupper_l(c, locale) : towlower_l(c, locale);
    if (upper && c >= U'a' && c <= U'z')
        return c - U'a' + U'A';
    if (!upper && c >= U'A' && c <= U'Z')
        return c - U'A' + U'a';
    return c;
}

std::string mapCase(const std::string& text, bool upper)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();)
        appendUTF8(out, mapCase(nextCodePoint(text, i).value_or(kReplacementCharacter), upper));
    return out;
}

}

std::string uppercase(const std::string& text) { return mapCase(text, true); }

std::string lowercase(const std::string& text) { return mapCase(text, false); }

bool isAlphanumericPunctuationOrSymbol(char32_t c)
{
    // Controls.
    if (c < 0x20 || (c >= 0x7F && c < 0xA0))
        return false;
    // Spaces and separators.
    if (c == 0x20 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029
        || c == 0x202F || c == 0x205F || c == 0x3000)
        return false;
    // Format characters.
    if (c == 0xAD || (c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) || (c >= 0x2060 && c <= 0x2064)
        || (c >= 0x2066 && c <= 0x206F) || c == 0xFEFF || (c >= 0xFFF9 && c <= 0xFFFB))
        return false;
    // Surrogates that are not part of a pair, private use, non-characters.
    if ((c >= 0xD800 && c < 0xE000) || (c >= 0xE000 && c <= 0xF8FF) || c >= 0xF0000 || (c & 0xFFFE) == 0xFFFE
        || (c >= 0xFDD0 && c <= 0xFDEF))
        return false;
    return c <= 0x10FFFF;
}

bool consistsOfAlphanumericsPunctuationAndSymbols(const std::u16string& text)
{
    // A surrogate without its partner is no character at all.
    for (size_t i = 0; i < text.size();) {
        auto c = nextCodePoint(text, i);
        if (!c || !isAlphanumericPunctuationOrSymbol(*c)) return false;
    }
    return true;
}

}

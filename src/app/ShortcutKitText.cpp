#include "ShortcutKitText.h"

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

std::u32string codePoints(const std::u16string& text)
{
    std::u32string result;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        result.push_back(c);
    }
    return result;
}

std::u32string codePoints(const std::string& text)
{
    std::u32string result;
    for (size_t i = 0; i < text.size();) {
        auto byte = static_cast<uint8_t>(text[i]);
        size_t length = byte < 0x80 ? 1 : (byte >> 5) == 0x6 ? 2 : (byte >> 4) == 0xE ? 3 : (byte >> 3) == 0x1E ? 4 : 0;
        if (!length || i + length > text.size()) {
            result.push_back(0xFFFD);
            ++i;
            continue;
        }
        char32_t c = length == 1 ? byte : byte & (0x7F >> length);
        for (size_t k = 1; k < length; ++k)
            c = (c << 6) | (static_cast<uint8_t>(text[i + k]) & 0x3F);
        result.push_back(c);
        i += length;
    }
    return result;
}

std::string utf8(const std::u32string& points)
{
    std::string out;
    for (char32_t c : points) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
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
    auto points = codePoints(text);
    for (auto& c : points)
        c = mapCase(c, upper);
    return utf8(points);
}

}

std::string utf8(const std::u16string& text) { return utf8(codePoints(text)); }

std::u16string utf16(const std::string& text)
{
    std::u16string out;
    for (char32_t c : codePoints(text)) {
        if (c < 0x10000) {
            out.push_back(static_cast<char16_t>(c));
        } else {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        }
    }
    return out;
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
    for (char32_t c : codePoints(text))
        if (!isAlphanumericPunctuationOrSymbol(c))
            return false;
    return true;
}

}

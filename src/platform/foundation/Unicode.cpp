#include "Unicode.h"

namespace {

bool isSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }
bool isHighSurrogate(char32_t c) { return c >= 0xD800 && c < 0xDC00; }
bool isLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}

std::optional<char32_t> nextCodePoint(std::string_view text, size_t& pos)
{
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(pos);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    // The lead byte gives the length and the range of the second byte; the
    // narrowed ranges after E0, ED, F0 and F4 are what rule out overlong
    // forms, surrogates and values past U+10FFFF.
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        ++pos;
        return std::nullopt;
    }
    char32_t c = lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        if (pos + k >= text.size() || byte(pos + k) < low || byte(pos + k) > high) {
            ++pos;
            return std::nullopt;
        }
        c = (c << 6) | (byte(pos + k) & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    pos += length;
    return c;
}

std::optional<char32_t> nextCodePoint(std::u16string_view units, size_t& pos)
{
    char32_t c = units[pos++];
    if (!isSurrogate(c)) return c;
    if (isHighSurrogate(c) && pos < units.size() && isLowSurrogate(units[pos]))
        return 0x10000 + ((c - 0xD800) << 10) + (units[pos++] - 0xDC00);
    return std::nullopt;
}

size_t utf8SequenceLength(std::string_view text, size_t pos)
{
    if (pos >= text.size()) return 0;
    size_t end = pos;
    return nextCodePoint(text, end) ? end - pos : 0;
}

bool isValidUTF8(std::string_view text)
{
    for (size_t i = 0; i < text.size();)
        if (!nextCodePoint(text, i)) return false;
    return true;
}

void appendUTF8(std::string& out, char32_t c)
{
    if (isSurrogate(c) || c > 0x10FFFF) c = kReplacementCharacter;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::u16string utf16FromUTF8(std::string_view text)
{
    std::u16string units;
    units.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        char32_t c = nextCodePoint(text, i).value_or(kReplacementCharacter);
        if (c < 0x10000) {
            units.push_back(static_cast<char16_t>(c));
        } else {
            c -= 0x10000;
            units.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        }
    }
    return units;
}

std::string utf8FromUTF16(std::u16string_view units)
{
    std::string text;
    text.reserve(units.size());
    for (size_t i = 0; i < units.size();)
        appendUTF8(text, nextCodePoint(units, i).value_or(kReplacementCharacter));
    return text;
}

namespace {

// A byte that is no well-formed sequence stands for one unit, as its U+FFFD
// does after conversion.
size_t utf16UnitsOfNextCodePoint(std::string_view text, size_t& pos)
{
    return nextCodePoint(text, pos).value_or(kReplacementCharacter) >= 0x10000 ? 2 : 1;
}

}

size_t utf16Length(std::string_view text)
{
    size_t units = 0;
    for (size_t i = 0; i < text.size();)
        units += utf16UnitsOfNextCodePoint(text, i);
    return units;
}

size_t utf8OffsetForUTF16(std::string_view text, size_t utf16Position)
{
    size_t units = 0;
    size_t i = 0;
    while (i < text.size() && units < utf16Position)
        units += utf16UnitsOfNextCodePoint(text, i);
    return i;
}

std::string stringByReplacingInvalidUTF8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        size_t start = i;
        if (nextCodePoint(text, i))
            out.append(text, start, i - start);
        else
            appendUTF8(out, kReplacementCharacter);
    }
    return out;
}

#include "X11Text.h"

#include <foundation/Unicode.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <string_view>

#include <iconv.h>

namespace X11Text {

namespace {

constexpr const char* kEllipsis = "\xE2\x80\xA6";
constexpr size_t kEllipsisBytes = 3;

// Collects characters up to the limit (leaving room for the ellipsis) and
// keeps control characters out.
class Writer {
public:
    explicit Writer(size_t limit)
        : m_limit(limit)
    {
    }
    // False when the text is full.
    bool put(char32_t c)
    {
        if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
            if (c != '\t' && c != '\n' && c != '\r')
                return true;
            c = ' ';
        }
        std::string bytes;
        appendUTF8(bytes, c);
        if (m_out.size() + bytes.size() + kEllipsisBytes > m_limit) {
            m_cut = true;
            return false;
        }
        m_out += bytes;
        return true;
    }
    // Puts UTF-8 text, each malformed byte as U+FFFD; false when full or at
    // a NUL.
    bool putUTF8(std::string_view text)
    {
        for (size_t i = 0; i < text.size();) {
            auto c = nextCodePoint(text, i);
            if (c && *c == 0)
                return false;
            if (!put(c.value_or(kReplacementCharacter)))
                return false;
        }
        return true;
    }
    std::string finish()
    {
        if (m_cut)
            m_out += kEllipsis;
        return std::move(m_out);
    }

private:
    std::string m_out;
    size_t m_limit;
    bool m_cut { false };
};

// Conversions of one character set to UTF-8 through the C library, opened
// once per text.
class Converters {
public:
    ~Converters()
    {
        for (auto& [name, cd] : m_open)
            if (cd != reinterpret_cast<iconv_t>(-1))
                iconv_close(cd);
    }
    // The character in `bytes` (one character of the set) as UTF-8; nothing
    // when the set is not known or does not hold it.
    std::optional<std::string> convert(const std::string& set, std::string_view bytes)
    {
        auto it = m_open.find(set);
        if (it == m_open.end())
            it = m_open.emplace(set, iconv_open("UTF-8", set.c_str())).first;
        iconv_t cd = it->second;
        if (cd == reinterpret_cast<iconv_t>(-1))
            return std::nullopt;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        std::string in(bytes);
        char out[64];
        char* inPointer = in.data();
        size_t inLeft = in.size();
        char* outPointer = out;
        size_t outLeft = sizeof out;
        if (iconv(cd, &inPointer, &inLeft, &outPointer, &outLeft) == static_cast<size_t>(-1) || inLeft != 0)
            return std::nullopt;
        return std::string(out, outPointer);
    }

private:
    std::map<std::string, iconv_t> m_open;
};

// What one half (left: bytes 0x21-0x7E, right: 0xA1-0xFE) of compound text
// is designated to show.
struct CharacterSet {
    enum class Kind { Ascii, JisRoman, Latin1, Katakana, Single, Double, Unknown };
    Kind kind { Kind::Ascii };
    // For Single: the C library's name of the 8-bit set whose right half
    // this is. For Double: the name of the EUC encoding that holds the set
    // (its bytes with the high bit set), and a byte that goes before them.
    std::string conversion;
    std::string prefix;
};

// The right halves of the ISO 8859 parts by their final byte (ESC - F).
std::optional<std::string> latinSet(char final)
{
    static const std::map<char, std::string> sets { { 'A', "ISO-8859-1" }, { 'B', "ISO-8859-2" }, { 'C', "ISO-8859-3" },
        { 'D', "ISO-8859-4" }, { 'F', "ISO-8859-7" }, { 'G', "ISO-8859-6" }, { 'H', "ISO-8859-8" }, { 'L', "ISO-8859-5" },
        { 'M', "ISO-8859-9" }, { 'T', "ISO-8859-11" }, { 'V', "ISO-8859-10" }, { 'Y', "ISO-8859-13" },
        { '_', "ISO-8859-14" }, { 'b', "ISO-8859-15" }, { 'f', "ISO-8859-16" } };
    auto it = sets.find(final);
    return it == sets.end() ? std::nullopt : std::optional<std::string>(it->second);
}

CharacterSet doubleByteSet(char final)
{
    switch (final) {
    case 'A':
        return { CharacterSet::Kind::Double, "EUC-CN", "" };
    case 'B':
        return { CharacterSet::Kind::Double, "EUC-JP", "" };
    case 'C':
        return { CharacterSet::Kind::Double, "EUC-KR", "" };
    case 'D':
        return { CharacterSet::Kind::Double, "EUC-JP", "\x8F" };
    default:
        return { CharacterSet::Kind::Unknown, "", "" };
    }
}

// The encoding of an extended segment's name, as the C library calls it.
std::optional<std::string> extendedSegmentSet(std::string name)
{
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (name == "iso10646-1")
        return "UCS-2BE";
    if (name == "utf-8")
        return "UTF-8";
    if (name.rfind("iso8859-", 0) == 0)
        return "ISO-8859-" + name.substr(8);
    if (name == "big5-0")
        return "BIG5";
    if (name == "gbk-0")
        return "GBK";
    return std::nullopt;
}

}

std::string fromUTF8(const char* data, size_t length, size_t limit)
{
    Writer out(limit);
    if (data)
        out.putUTF8(std::string_view(data, length));
    return out.finish();
}

std::string fromLatin1(const char* data, size_t length, size_t limit)
{
    Writer out(limit);
    for (size_t i = 0; data && i < length && data[i] != 0; ++i)
        if (!out.put(static_cast<unsigned char>(data[i])))
            break;
    return out.finish();
}

std::string fromCompoundText(const char* data, size_t length, size_t limit)
{
    Writer out(limit);
    if (!data)
        return out.finish();
    std::string_view text(data, length);
    const auto byte = [&](size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u; };
    Converters converters;
    CharacterSet left { CharacterSet::Kind::Ascii, "", "" };
    CharacterSet right { CharacterSet::Kind::Latin1, "", "" };

    // One character of a set from the half's bytes (high bits cleared).
    auto putCharacter = [&](const CharacterSet& set, std::string_view bytes) {
        std::string high(bytes);
        for (char& b : high)
            b = char(b | 0x80);
        auto converted = converters.convert(set.conversion, set.prefix + high);
        return converted ? out.putUTF8(*converted) : out.put(kReplacementCharacter);
    };
    // A byte of one half: 0x21-0x7E of its set (high bit cleared); false
    // when the text is full.
    auto putFrom = [&](const CharacterSet& set, size_t& i, unsigned char b) {
        switch (set.kind) {
        case CharacterSet::Kind::Ascii:
            return out.put(b);
        case CharacterSet::Kind::JisRoman:
            return out.put(b == 0x5C ? U'\u00A5' : b == 0x7E ? U'\u203E' : char32_t(b));
        case CharacterSet::Kind::Latin1:
            return out.put(char32_t(b | 0x80));
        case CharacterSet::Kind::Katakana:
            return out.put(b <= 0x5F ? char32_t(0xFF61 + (b - 0x21)) : kReplacementCharacter);
        case CharacterSet::Kind::Single:
            return putCharacter(set, std::string(1, char(b)));
        case CharacterSet::Kind::Double: {
            unsigned char second = byte(i) & 0x7F;
            if (second < 0x21 || second > 0x7E)
                return out.put(kReplacementCharacter);
            ++i;
            return putCharacter(set, std::string { char(b), char(second) });
        }
        case CharacterSet::Kind::Unknown:
            break;
        }
        return out.put(kReplacementCharacter);
    };

    for (size_t i = 0; i < text.size();) {
        unsigned char b = byte(i++);
        if (b == 0)
            break;
        if (b == 0x1B) {
            // An escape sequence: intermediate bytes, then a final byte.
            size_t start = i;
            while (i < text.size() && byte(i) >= 0x20 && byte(i) <= 0x2F)
                ++i;
            if (i >= text.size())
                break;
            std::string_view intermediates = text.substr(start, i - start);
            char final = text[i++];
            if (intermediates == "(") {
                left = { final == 'B' ? CharacterSet::Kind::Ascii
                        : final == 'J'  ? CharacterSet::Kind::JisRoman
                                        : CharacterSet::Kind::Unknown,
                    "", "" };
            } else if (intermediates == ")") {
                right = { final == 'I' ? CharacterSet::Kind::Katakana : CharacterSet::Kind::Unknown, "", "" };
            } else if (intermediates == "-") {
                auto set = latinSet(final);
                right = !set ? CharacterSet { CharacterSet::Kind::Unknown, "", "" }
                    : *set == "ISO-8859-1" ? CharacterSet { CharacterSet::Kind::Latin1, "", "" }
                                           : CharacterSet { CharacterSet::Kind::Single, *set, "" };
            } else if (intermediates == "$(") {
                left = doubleByteSet(final);
            } else if (intermediates == "$)") {
                right = doubleByteSet(final);
            } else if (intermediates == "%" && final == 'G') {
                // UTF-8 up to the sequence that returns to compound text.
                size_t end = text.find("\x1B%@", i);
                size_t stop = end == std::string_view::npos ? text.size() : end;
                if (!out.putUTF8(text.substr(i, stop - i)))
                    break;
                i = end == std::string_view::npos ? text.size() : end + 3;
            } else if (intermediates == "%/" && final >= '0' && final <= '4') {
                // An extended segment: two length bytes, then the encoding's
                // name up to STX, then the text.
                size_t count = size_t(byte(i) & 0x7F) * 128 + (byte(i + 1) & 0x7F);
                i += 2;
                size_t end = std::min(text.size(), i + count);
                size_t stx = text.find('\x02', i);
                if (stx == std::string_view::npos || stx >= end) {
                    i = end;
                    continue;
                }
                auto set = extendedSegmentSet(std::string(text.substr(i, stx - i)));
                std::string_view segment = text.substr(stx + 1, end - stx - 1);
                i = end;
                bool full = false;
                if (set == "UTF-8") {
                    full = !out.putUTF8(segment);
                } else if (set) {
                    size_t width = *set == "UCS-2BE" || *set == "BIG5" || *set == "GBK" ? 2 : 1;
                    for (size_t k = 0; !full && k < segment.size();) {
                        // Two-byte sets with a single-byte part (ASCII in
                        // Big5 and GBK) take one byte where it stands alone.
                        size_t n = width == 2 && *set != "UCS-2BE" && static_cast<unsigned char>(segment[k]) < 0x80 ? 1 : width;
                        auto converted = converters.convert(*set, segment.substr(k, n));
                        full = converted ? !out.putUTF8(*converted) : !out.put(kReplacementCharacter);
                        k += n;
                    }
                } else {
                    full = !out.put(kReplacementCharacter);
                }
                if (full)
                    break;
            }
            // Any other sequence (a return from a segment, directions) shows
            // nothing.
            continue;
        }
        if (b == 0x9B) {
            // A control sequence (the direction of the text): parameters up
            // to a final byte, which shows nothing.
            while (i < text.size() && !(byte(i) >= 0x40 && byte(i) <= 0x7E))
                ++i;
            ++i;
            continue;
        }
        bool more;
        if (b < 0x20 || (b >= 0x7F && b <= 0xA0))
            more = out.put(b == 0xA0 ? U'\u00A0' : char32_t(b));
        else if (b == 0x20)
            more = out.put(' ');
        else if (b < 0x80)
            more = putFrom(left, i, b);
        else
            more = putFrom(right, i, b & 0x7F);
        if (!more)
            break;
    }
    return out.finish();
}

}

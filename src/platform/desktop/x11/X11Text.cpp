#include "X11Text.h"

#include <cstdint>

namespace X11Text {

namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD";
constexpr const char* kEllipsis = "\xE2\x80\xA6";
constexpr size_t kEllipsisBytes = 3;

// Appends one character unless it would pass the limit (leaving room for
// the ellipsis); false when the text is full.
bool append(std::string& out, const char* bytes, size_t count, size_t limit, bool& cut)
{
    if (out.size() + count > limit - kEllipsisBytes) {
        cut = true;
        return false;
    }
    out.append(bytes, count);
    return true;
}

// Length of the well-formed sequence at p, or 0.
size_t sequenceLength(const unsigned char* p, size_t left)
{
    unsigned char c = p[0];
    if (c < 0x80)
        return 1;
    size_t length;
    uint32_t code;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
        code = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        code = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        code = c & 0x07;
    } else {
        return 0;
    }
    if (left < length)
        return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (p[i] & 0x3F);
    }
    if ((length == 3 && code < 0x800) || (length == 4 && code < 0x10000) || code > 0x10FFFF
        || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

}

std::string fromUTF8(const char* data, size_t length, size_t limit)
{
    std::string out;
    if (!data)
        return out;
    bool cut = false;
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    for (size_t i = 0; i < length && p[i] != 0;) {
        size_t n = sequenceLength(p + i, length - i);
        bool ok = n ? append(out, data + i, n, limit, cut) : append(out, kReplacement, 3, limit, cut);
        if (!ok)
            break;
        i += n ? n : 1;
    }
    if (cut)
        out += kEllipsis;
    return out;
}

std::string fromLatin1(const char* data, size_t length, size_t limit)
{
    std::string out;
    if (!data)
        return out;
    bool cut = false;
    for (size_t i = 0; i < length && data[i] != 0; ++i) {
        auto c = static_cast<unsigned char>(data[i]);
        char bytes[2];
        size_t n = 1;
        if (c < 0x80) {
            bytes[0] = static_cast<char>(c);
        } else {
            bytes[0] = static_cast<char>(0xC0 | (c >> 6));
            bytes[1] = static_cast<char>(0x80 | (c & 0x3F));
            n = 2;
        }
        if (!append(out, bytes, n, limit, cut))
            break;
    }
    if (cut)
        out += kEllipsis;
    return out;
}

}

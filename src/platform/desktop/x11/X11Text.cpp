#include "X11Text.h"

#include <foundation/Unicode.h>

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
}

std::string fromUTF8(const char* data, size_t length, size_t limit)
{
    std::string out;
    if (!data)
        return out;
    bool cut = false;
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    for (size_t i = 0; i < length && p[i] != 0;) {
        size_t n = utf8SequenceLength(std::string_view(data, length), i);
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
        std::string bytes;
        appendUTF8(bytes, static_cast<unsigned char>(data[i]));
        if (!append(out, bytes.data(), bytes.size(), limit, cut)) break;
    }
    if (cut)
        out += kEllipsis;
    return out;
}

}

// Text that comes from other programs' window properties: UTF-8 that may be
// malformed, Latin-1 (the older string type) and lengths without bound.
#pragma once

#include <cstddef>
#include <string>

namespace X11Text {

// Titles and names longer than this are cut (at a character boundary) and
// end with an ellipsis: nothing shows more, and a hostile client cannot make
// every read copy megabytes.
inline constexpr size_t kMaxTitleBytes = 4096;

// Well-formed UTF-8 of at most `limit` bytes: each malformed byte (stray
// continuation, overlong form, surrogate, beyond U+10FFFF, truncated
// sequence) becomes U+FFFD, and a NUL ends the text.
std::string fromUTF8(const char* data, size_t length, size_t limit = kMaxTitleBytes);

// Latin-1 bytes as UTF-8, at most `limit` bytes.
std::string fromLatin1(const char* data, size_t length, size_t limit = kMaxTitleBytes);

}

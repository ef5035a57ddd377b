// Text that comes from other programs' window properties: UTF-8 that may be
// malformed, Latin-1 (the older string type), compound text (what Xlib
// programs such as xterm write for a title that Latin-1 cannot hold) and
// lengths without bound. Whatever the encoding, control characters never
// come out: a tab, line feed or carriage return becomes a space, every other
// one is left out, so a title cannot move a terminal's cursor or colour it.
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

// Compound text (the ISO 2022 encoding of X properties typed COMPOUND_TEXT)
// as UTF-8, at most `limit` bytes. It starts with ASCII on the left half
// and Latin-1 on the right; escape sequences switch either half to another
// character set (the other ISO 8859 parts, JIS X 0201, JIS X 0208 and
// 0212, GB 2312, KS C 5601) or open a UTF-8 segment or an extended segment
// (ISO 10646 in two bytes, UTF-8, named 8-bit sets). A character of a set
// that is not known, or that its set does not hold, becomes U+FFFD.
std::string fromCompoundText(const char* data, size_t length, size_t limit = kMaxTitleBytes);

}

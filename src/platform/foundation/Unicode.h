// Text encodings: the one place where text moves between UTF-8 (the
// platform's strings), UTF-16 (what keyboard translation and string indexes
// count in) and code points.
//
// Well-formed UTF-8 has no overlong forms, no encoded surrogates and nothing
// past U+10FFFF; well-formed UTF-16 pairs every surrogate. Whatever is not
// well formed becomes U+FFFD in a conversion: one replacement for each byte
// that does not begin a well-formed sequence, and for each surrogate without
// its partner.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

constexpr char32_t kReplacementCharacter = 0xFFFD;

// The code point at `pos`, moving `pos` past it. Nothing where the text is
// not well formed; `pos` then moves past one unit.
std::optional<char32_t> nextCodePoint(std::string_view text, size_t& pos);
std::optional<char32_t> nextCodePoint(std::u16string_view units, size_t& pos);

// The length of the well-formed UTF-8 sequence at `pos`, 0 when the bytes
// there are not one (or `pos` is at the end).
size_t utf8SequenceLength(std::string_view text, size_t pos);
bool isValidUTF8(std::string_view text);

// A code point as UTF-8; a surrogate or a value past U+10FFFF is written as
// U+FFFD.
void appendUTF8(std::string& out, char32_t codePoint);

// The conversions between the two encodings.
std::u16string utf16FromUTF8(std::string_view text);
std::string utf8FromUTF16(std::u16string_view units);

// The length of a UTF-8 text in UTF-16 units, and the byte offset of a
// UTF-16 position (clamped to the end; a position inside a pair counts from
// after it).
size_t utf16Length(std::string_view text);
size_t utf8OffsetForUTF16(std::string_view text, size_t utf16Position);

// The text with every piece that is not well-formed UTF-8 replaced by
// U+FFFD (output of other programs, for instance).
std::string stringByReplacingInvalidUTF8(std::string_view text);

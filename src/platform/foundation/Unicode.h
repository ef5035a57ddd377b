// UTF-8 text from code points and from UTF-16 units.
#pragma once

#include <cstddef>
#include <string>

void appendUTF8(std::string& out, char32_t codePoint);
// Surrogate pairs become one code point; a lone surrogate is kept as is.
std::string stringWithUTF16(const char16_t* units, size_t count);
// The text with every byte that does not belong to a well-formed UTF-8
// sequence replaced by U+FFFD (output of other programs, for instance).
std::string stringByReplacingInvalidUTF8(const std::string& text);

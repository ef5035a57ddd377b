// Text helpers of the shortcut kit: case mapping and the character classes
// the kit tests.
#pragma once

#include <string>

namespace ShortcutKitText {

// Case mapping character by character, as the platform's strings map case
// (Unicode simple case mapping).
std::string uppercase(const std::string& text);
std::string lowercase(const std::string& text);
// Alphanumeric, punctuation and symbol characters: every character that is
// not a control, format, private-use or surrogate code point, and not a
// space or separator.
bool isAlphanumericPunctuationOrSymbol(char32_t c);
// Whether every character of the text is one of them.
bool consistsOfAlphanumericsPunctuationAndSymbols(const std::u16string& text);

}

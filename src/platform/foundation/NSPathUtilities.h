// Path and case operations of the platform's strings. Paths are '/'
// separated; case changes work on Unicode characters of UTF-8 text.
#pragma once

#include <string>
#include <vector>

// pathComponents: "/" for a leading slash, then each name; a trailing
// slash adds a final "/" (as the platform does), repeated slashes count once.
std::vector<std::string> NSStringPathComponents(const std::string& path);
// lastPathComponent: the last name, "/" for the root, empty for empty.
std::string NSStringLastPathComponent(const std::string& path);
// uppercaseString.
std::string NSStringUppercase(const std::string& text);
// capitalizedString: the first letter of each word upper case, the other
// letters lower case; words are separated by white space.
std::string NSStringCapitalized(const std::string& text);
// The first character (one code point, or the whole text when it is not
// valid UTF-8) and the rest.
std::pair<std::string, std::string> NSStringSplitFirstCharacter(const std::string& text);

// The text as UTF-16 units, and back. A unit that is half of a pair comes
// back as the three-byte form of its code (not valid UTF-8 on its own).
std::u16string NSStringToUTF16(const std::string& text);
std::string NSStringFromUTF16(const std::u16string& units);

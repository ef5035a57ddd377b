// Path strings as the platform's string methods treat them, the user's
// folders on this system, and case operations of the platform's strings.
// Paths are '/' separated; case changes work on Unicode characters of UTF-8
// text.
#pragma once

#include <string>
#include <vector>

// $HOME, or the password database's home of the user.
std::string NSHomeDirectory();
// Where applications keep the user's data: $XDG_DATA_HOME when it is an
// absolute path, otherwise ~/.local/share. This system's counterpart of the
// platform's "~/Library/Application Support".
std::string userDataDirectory();
// "~" and "~/..." become the home directory.
std::string stringByExpandingTildeInPath(const std::string& path);
// Expands "~", then resolves every symbolic link of an absolute path that
// exists; a path that does not exist is only expanded and standardised.
std::string stringByResolvingSymlinksInPath(const std::string& path);
// Removes empty, "." and ".." segments and a trailing slash; ".." at the
// root stays at the root.
std::string stringByStandardizingPath(const std::string& path);
std::string stringByDeletingLastPathComponent(const std::string& path);
std::string stringByAppendingPathComponent(const std::string& path, const std::string& component);
bool isAbsolutePath(const std::string& path);

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
// The first character (one code point, or its first byte when it is not
// valid UTF-8) and the rest.
std::pair<std::string, std::string> NSStringSplitFirstCharacter(const std::string& text);

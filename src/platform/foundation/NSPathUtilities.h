// Path strings as the platform's string methods treat them, and the user's
// folders on this system.
#pragma once

#include <string>

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

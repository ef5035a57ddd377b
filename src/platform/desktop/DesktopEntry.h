// Desktop entries, the ".desktop" files that describe applications to the
// desktop's menus and to the session's autostart: the keys of the
// "[Desktop Entry]" group, the escapes of their values and the words of an
// Exec line.
#pragma once

#include <string>
#include <vector>

inline constexpr const char* kDesktopEntryGroup = "[Desktop Entry]";

struct DesktopEntry {
    std::string type;
    std::string name;
    std::string exec;
    bool hasExec { false };
    // Hidden=true, or an autostart entry switched off
    // (X-GNOME-Autostart-enabled=false): the entry counts as deleted.
    bool hidden { false };
    // The folder the program runs in; empty for the launcher's choice.
    std::string path;
    // A program that must exist for the entry to be usable.
    std::string tryExec;
};

DesktopEntry parseDesktopEntry(const std::string& text);
std::string escapeDesktopEntryValue(const std::string& text);
// The Exec value that runs the program at path with no arguments, quoted
// and escaped so that it reads back as exactly that path.
std::string desktopEntryExecForPath(const std::string& path);
// The words of an Exec value, with quoting undone and field codes dropped
// (a launcher here passes no files or addresses).
std::vector<std::string> desktopEntryExecArguments(const std::string& exec);
// The executable file of that name in a folder of PATH; empty when none.
std::string findExecutableOnPath(const std::string& name);

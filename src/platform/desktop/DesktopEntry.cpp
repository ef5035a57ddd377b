#include "DesktopEntry.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <unistd.h>

namespace {

// Bytes an Exec argument may not hold unquoted.
bool isReservedInExec(char c) { return std::strchr(" \t\n\"'\\><~|&;$*?#()`", c) != nullptr; }

std::string unescapeValue(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        switch (char c = text[++i]) {
        case 's': out += ' '; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case '\\': out += '\\'; break;
        default: out += '\\'; out += c;
        }
    }
    return out;
}

bool isTrue(const std::string& value) { return value == "true" || value == "1"; }

}

std::string escapeDesktopEntryValue(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out;
}

DesktopEntry parseDesktopEntry(const std::string& text)
{
    DesktopEntry entry;
    bool inEntryGroup = false;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '[') {
            inEntryGroup = line == kDesktopEntryGroup;
            continue;
        }
        auto equals = line.find('=');
        if (!inEntryGroup || equals == std::string::npos)
            continue;
        std::string key = line.substr(0, equals);
        std::string value = line.substr(equals + 1);
        while (!key.empty() && key.back() == ' ')
            key.pop_back();
        value.erase(0, value.find_first_not_of(' '));
        if (key == "Type")
            entry.type = unescapeValue(value);
        else if (key == "Path")
            entry.path = unescapeValue(value);
        else if (key == "TryExec")
            entry.tryExec = unescapeValue(value);
        else if (key == "Name")
            entry.name = unescapeValue(value);
        else if (key == "Exec") {
            entry.exec = unescapeValue(value);
            entry.hasExec = !entry.exec.empty();
        } else if (key == "Hidden")
            entry.hidden = entry.hidden || isTrue(value);
        else if (key == "X-GNOME-Autostart-enabled")
            entry.hidden = entry.hidden || value == "false";
    }
    return entry;
}

std::string findExecutableOnPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "/usr/local/bin:/usr/bin:/bin");
    for (std::string folder; std::getline(folders, folder, ':');) {
        if (folder.empty())
            continue;
        std::string candidate = folder + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

std::string desktopEntryExecForPath(const std::string& path)
{
    bool quote = path.empty() || std::any_of(path.begin(), path.end(), isReservedInExec);
    std::string argument;
    for (char c : path) {
        if (c == '%')
            argument += "%%";
        else if (quote && (c == '"' || c == '`' || c == '$' || c == '\\'))
            argument += std::string("\\") + c;
        else
            argument += c;
    }
    return quote ? "\"" + argument + "\"" : argument;
}

std::vector<std::string> desktopEntryExecArguments(const std::string& exec)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false, quoted = false, fieldCodeOnly = false;
    auto finish = [&] {
        if (inWord && !fieldCodeOnly)
            words.push_back(word);
        word.clear();
        inWord = quoted = fieldCodeOnly = false;
    };
    for (size_t i = 0; i < exec.size(); ++i) {
        char c = exec[i];
        if (quoted) {
            if (c == '"')
                quoted = false;
            else if (c == '\\' && i + 1 < exec.size())
                word += exec[++i];
            else if (c == '%' && i + 1 < exec.size() && exec[i + 1] == '%')
                word += exec[++i];
            else
                word += c;
            continue;
        }
        if (c == ' ' || c == '\t') {
            finish();
            continue;
        }
        if (!inWord)
            fieldCodeOnly = c == '%';
        inWord = true;
        if (c == '"') {
            quoted = true;
            fieldCodeOnly = false;
        } else if (c == '%' && i + 1 < exec.size()) {
            // "%%" is a percent sign; any other field code stands for what
            // the launcher would pass, which is nothing here.
            if (exec[++i] == '%') {
                word += '%';
                fieldCodeOnly = false;
            }
        } else {
            word += c;
            fieldCodeOnly = false;
        }
    }
    finish();
    return words;
}


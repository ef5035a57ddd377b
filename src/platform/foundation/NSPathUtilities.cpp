#include "NSPathUtilities.h"

#include "Unicode.h"

#include <algorithm>
#include <climits>
#include <clocale>
#include <cstdlib>
#include <cwctype>
#include <locale.h>
#include <pwd.h>
#include <unistd.h>
#include <vector>

std::string NSHomeDirectory()
{
    if (const char* home = std::getenv("HOME"); home && home[0])
        return home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir)
        return entry->pw_dir;
    return "/";
}

std::string userDataDirectory()
{
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && data[0] == '/')
        return stringByStandardizingPath(data);
    return NSHomeDirectory() + "/.local/share";
}

bool isAbsolutePath(const std::string& path) { return !path.empty() && path[0] == '/'; }

std::string stringByExpandingTildeInPath(const std::string& path)
{
    if (path == "~")
        return NSHomeDirectory();
    if (path.rfind("~/", 0) == 0)
        return stringByStandardizingPath(NSHomeDirectory() + path.substr(1));
    return path;
}

std::string stringByStandardizingPath(const std::string& path)
{
    if (path.empty())
        return path;
    bool absolute = path[0] == '/';
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find('/', start);
        std::string part = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (part.empty() || part == ".") {
        } else if (part == "..") {
            if (!parts.empty() && parts.back() != "..")
                parts.pop_back();
            else if (!absolute)
                parts.push_back(part);
        } else {
            parts.push_back(part);
        }
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    std::string result = absolute ? "/" : "";
    for (size_t i = 0; i < parts.size(); ++i)
        result += (i ? "/" : "") + parts[i];
    return result.empty() ? "." : result;
}

std::string stringByResolvingSymlinksInPath(const std::string& path)
{
    std::string expanded = stringByExpandingTildeInPath(path);
    if (!isAbsolutePath(expanded))
        return expanded;
    char resolved[PATH_MAX];
    if (::realpath(expanded.c_str(), resolved))
        return resolved;
    return stringByStandardizingPath(expanded);
}

std::string stringByDeletingLastPathComponent(const std::string& path)
{
    std::string p = stringByStandardizingPath(path);
    size_t slash = p.rfind('/');
    if (slash == std::string::npos)
        return "";
    return slash == 0 ? "/" : p.substr(0, slash);
}

std::string stringByAppendingPathComponent(const std::string& path, const std::string& component)
{
    if (path.empty())
        return component;
    return path.back() == '/' ? path + component : path + "/" + component;
}

std::vector<std::string> NSStringPathComponents(const std::string& path)
{
    std::vector<std::string> components;
    if (path.empty())
        return components;
    if (path.front() == '/')
        components.push_back("/");
    std::string name;
    for (char c : path) {
        if (c != '/') {
            name += c;
            continue;
        }
        if (!name.empty())
            components.push_back(name);
        name.clear();
    }
    if (!name.empty())
        components.push_back(name);
    else if (path.size() > 1 && path.back() == '/')
        components.push_back("/");
    return components;
}

std::string NSStringLastPathComponent(const std::string& path)
{
    auto components = NSStringPathComponents(path);
    if (components.empty())
        return {};
    if (components.size() > 1 && components.back() == "/")
        return components[components.size() - 2];
    return components.back();
}

namespace {

locale_t utf8Locale()
{
    static locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    return locale;
}

// Maps each character; bytes that are not valid UTF-8 pass unchanged.
template <class Map>
std::string mapCharacters(const std::string& text, Map&& map)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        size_t start = i;
        if (auto c = nextCodePoint(text, i))
            appendUTF8(out, map(*c));
        else
            out += text[start];
    }
    return out;
}

char32_t upper(char32_t c) { return char32_t(towupper_l(wint_t(c), utf8Locale())); }
char32_t lower(char32_t c) { return char32_t(towlower_l(wint_t(c), utf8Locale())); }

} // namespace

std::string NSStringUppercase(const std::string& text) { return mapCharacters(text, upper); }

std::string NSStringCapitalized(const std::string& text)
{
    bool wordStart = true;
    return mapCharacters(text, [&](char32_t c) {
        bool space = iswspace_l(wint_t(c), utf8Locale());
        char32_t mapped = space ? c : wordStart ? upper(c) : lower(c);
        wordStart = space;
        return mapped;
    });
}

std::pair<std::string, std::string> NSStringSplitFirstCharacter(const std::string& text)
{
    if (text.empty())
        return {};
    size_t length = std::max<size_t>(utf8SequenceLength(text, 0), 1);
    return { text.substr(0, length), text.substr(length) };
}

#include "NSPathUtilities.h"

#include <climits>
#include <cstdlib>
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

// Finding applications by name and starting them, the way a Linux desktop
// does: desktop entries in the XDG data folders, programs on PATH.
#include "NSWorkspace.h"

#include <desktop/Desktop.h>
#include <desktop/DesktopEntry.h>
#include <foundation/NSError.h>
#include <foundation/NSURL.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr const char* kEntrySuffix = ".desktop";

std::vector<std::string> applicationFolders()
{
    auto variable = [](const char* name) {
        const char* value = std::getenv(name);
        return std::string(value ? value : "");
    };
    std::string home = variable("XDG_DATA_HOME");
    if (home.empty() && !variable("HOME").empty())
        home = variable("HOME") + "/.local/share";
    std::string dirs = variable("XDG_DATA_DIRS");
    if (dirs.empty())
        dirs = "/usr/local/share:/usr/share";
    std::vector<std::string> folders;
    if (!home.empty())
        folders.push_back(home + "/applications");
    std::istringstream list(dirs);
    for (std::string dir; std::getline(list, dir, ':');)
        if (!dir.empty())
            folders.push_back(dir + "/applications");
    return folders;
}

std::optional<DesktopEntry> readEntry(const fs::path& path)
{
    std::ifstream in(path);
    if (!in)
        return std::nullopt;
    std::stringstream text;
    text << in.rdbuf();
    return parseDesktopEntry(text.str());
}

// An entry that starts an application.
bool isLaunchable(const DesktopEntry& entry)
{
    return !entry.hidden && entry.type == "Application" && entry.hasExec && !desktopEntryExecArguments(entry.exec).empty();
}

std::string lowercase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

}

std::optional<std::string> NSWorkspace::fullPathForApplication(const std::string& name) const
{
    if (name.empty() || name.find('/') != std::string::npos)
        return std::nullopt;
    auto folders = applicationFolders();
    // The entry of that identifier: the first folder that has one decides.
    for (const auto& folder : folders) {
        fs::path path = fs::path(folder) / (name + kEntrySuffix);
        if (auto entry = readEntry(path)) {
            if (isLaunchable(*entry))
                return path.string();
            break;
        }
    }
    // The entry of that name, the earlier folders' entries hiding the later
    // ones of the same identifier.
    std::set<std::string> seen;
    std::string wanted = lowercase(name);
    for (const auto& folder : folders) {
        std::error_code error;
        std::vector<fs::path> files;
        for (const auto& item : fs::directory_iterator(folder, error))
            if (item.path().extension() == kEntrySuffix)
                files.push_back(item.path());
        std::sort(files.begin(), files.end());
        for (const auto& path : files) {
            if (!seen.insert(path.filename().string()).second)
                continue;
            auto entry = readEntry(path);
            if (entry && isLaunchable(*entry) && lowercase(entry->name) == wanted)
                return path.string();
        }
    }
    std::string program = findExecutableOnPath(name);
    if (!program.empty())
        return program;
    return std::nullopt;
}

Ref<NSRunningApplication> NSWorkspace::launchApplicationAtURL(
    const Ref<NSURL>& url, NSWorkspaceLaunchOptions options, const Value::Dictionary&, Ref<NSError>* error)
{
    auto fail = [&](const std::string& name, const std::string& reason) -> Ref<NSRunningApplication> {
        if (error)
            *error = NSError::errorWithDomain("NSCocoaErrorDomain", 4,
                { { NSLocalizedDescriptionKey, Value("The application “" + name + "” could not be launched: " + reason + ".") },
                    { NSLocalizedFailureReasonErrorKey, Value(reason) } });
        return nullptr;
    };
    if (!url)
        return fail("", "no address was given");
    fs::path path = url->path();
    DesktopLaunchRequest request;
    request.bundlePath = path.string();
    request.activate = !(options & NSWorkspaceLaunchWithoutActivation);
    if (path.extension() == kEntrySuffix) {
        auto entry = readEntry(path);
        request.name = entry && !entry->name.empty() ? entry->name : path.stem().string();
        if (!entry)
            return fail(request.name, "its desktop entry cannot be read");
        if (!isLaunchable(*entry))
            return fail(request.name, "its desktop entry starts no application");
        if (!entry->tryExec.empty()
            && (entry->tryExec.find('/') == std::string::npos ? findExecutableOnPath(entry->tryExec).empty()
                                                              : ::access(entry->tryExec.c_str(), X_OK) != 0))
            return fail(request.name, "its program " + entry->tryExec + " is not installed");
        request.arguments = desktopEntryExecArguments(entry->exec);
        request.workingDirectory = entry->path;
        request.bundleId = path.stem().string();
    } else {
        request.name = path.filename().string();
        if (::access(path.c_str(), X_OK) != 0 || fs::is_directory(path))
            return fail(request.name, path.string() + " is not a program");
        request.arguments = { path.string() };
    }
    std::string reason;
    auto app = Desktop::current().startApplication(request, &reason);
    if (!app)
        return fail(request.name, reason);
    return makeRef<NSRunningApplication>(*app);
}

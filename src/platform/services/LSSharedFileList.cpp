#include "LSSharedFileList.h"

#include "FileWatcher.h"

#include <foundation/AtomicFile.h>
#include <foundation/Log.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

const std::string kLSSharedFileListSessionLoginItems = "com.apple.LSSharedFileList.SessionLoginItems";
const LSSharedFileListItemRef kLSSharedFileListItemBeforeFirst = makeRef<LSSharedFileListItem>("", "", "", false);
const LSSharedFileListItemRef kLSSharedFileListItemLast = makeRef<LSSharedFileListItem>("", "", "", false);

namespace {

constexpr const char* kEntrySuffix = ".desktop";

std::string entryFileStem(const std::string& name)
{
    std::string stem;
    for (unsigned char c : name)
        stem += (std::isalnum(c) || c == '.' || c == '_' || c == '-') ? static_cast<char>(c) : '-';
    stem.erase(0, stem.find_first_not_of('.'));
    return stem.empty() ? "login-item" : stem;
}


}

bool LSSharedFileListItem::isEqual(const NSObject* other) const
{
    auto item = dynamic_cast<const LSSharedFileListItem*>(other);
    return item && (item == this || (!m_entryPath.empty() && item->m_entryPath == m_entryPath));
}

size_t LSSharedFileListItem::hash() const { return std::hash<std::string> {}(m_entryPath); }

LSSharedFileList::~LSSharedFileList() = default;

void LSSharedFileList::warnOnce(const std::string& key, const std::string& line)
{
    std::lock_guard lock(m_warnedMutex);
    if (m_warned.insert(key).second)
        NSLogString(line);
}

std::string LSSharedFileListLoginItemsFolder()
{
    // A relative XDG_CONFIG_HOME is invalid and ignored.
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
        return std::string(config) + "/autostart";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.config/autostart";
}

LSSharedFileListRef LSSharedFileListCreate(std::nullptr_t, const std::string& listType, const Value&)
{
    if (listType != kLSSharedFileListSessionLoginItems)
        return nullptr;
    return makeRef<LSSharedFileList>(LSSharedFileListLoginItemsFolder());
}

void LSSharedFileListAddObserver(const LSSharedFileListRef& list, RunLoop& loop, const RunLoopMode& mode,
    LSSharedFileListChangedProcPtr callback, void* context)
{
    if (!list || !callback)
        return;
    for (const auto& observer : list->m_observers)
        if (observer.loop == &loop && observer.mode == mode && observer.callback == callback && observer.context == context)
            return;
    std::weak_ptr<LSSharedFileList> weakList = list;
    FileWatcher::Options options;
    options.modes = { mode };
    std::string error;
    auto watcher = FileWatcher::create(
        { list->m_folder },
        [weakList, callback, context](const std::vector<FileWatcher::Change>&) {
            if (auto list = weakList.lock())
                callback(list, context);
        },
        loop, options, &error);
    if (!watcher)
        NSLog("Login items: changes to %@ will not be noticed: %@", list->m_folder, error);
    list->m_observers.push_back({ &loop, mode, callback, context, std::move(watcher) });
}

void LSSharedFileListRemoveObserver(const LSSharedFileListRef& list, RunLoop& loop, const RunLoopMode& mode,
    LSSharedFileListChangedProcPtr callback, void* context)
{
    if (!list)
        return;
    std::erase_if(list->m_observers, [&](const LSSharedFileList::Observer& observer) {
        return observer.loop == &loop && observer.mode == mode && observer.callback == callback && observer.context == context;
    });
}

std::vector<LSSharedFileListItemRef> LSSharedFileListCopySnapshot(const LSSharedFileListRef& list, uint32_t* seed)
{
    std::vector<LSSharedFileListItemRef> items;
    size_t digest = 0;
    if (list) {
        const std::string& folder = list->m_folder;
        std::error_code error;
        std::vector<std::string> entries;
        fs::directory_iterator it(folder, error);
        if (error && error != std::errc::no_such_file_or_directory)
            list->warnOnce("folder:" + error.message(),
                stringWithFormat("Login items: the folder %@ cannot be read: %@", folder, error.message()));
        for (fs::directory_iterator end; !error && it != end; it.increment(error))
            if (it->path().extension() == kEntrySuffix)
                entries.push_back(it->path().string());
        std::sort(entries.begin(), entries.end());
        for (const auto& path : entries) {
            auto bytes = readFileContents(path);
            if (!bytes)
                continue;
            std::string text(bytes->begin(), bytes->end());
            digest = digest * 31 + std::hash<std::string> {}(path + '\n' + text);
            auto entry = parseDesktopEntry(text);
            if (entry.hidden)
                continue;
            if (!entry.hasExec)
                list->warnOnce("noexec:" + path + text,
                    stringWithFormat("Login items: %@ has no Exec line and starts nothing", path));
            items.push_back(makeRef<LSSharedFileListItem>(path, entry.name, entry.exec, entry.hasExec));
        }
    }
    if (seed)
        *seed = static_cast<uint32_t>(digest);
    return items;
}

LSSharedFileListItemRef LSSharedFileListInsertItemURL(const LSSharedFileListRef& list, const LSSharedFileListItemRef&,
    const std::string& displayName, std::nullptr_t, const CFURLRef& url, const Value&, const Value&)
{
    if (!list || !url)
        return nullptr;
    const std::string& folder = list->folder();
    std::error_code error;
    fs::create_directories(folder, error);
    if (error || !fs::is_directory(folder, error)) {
        NSLog("Login items: %@ cannot be added: the folder %@ cannot be made (%@)", url->path(), folder,
            error ? error.message() : std::string("a file is in the way"));
        return nullptr;
    }
    std::string name = displayName.empty() ? url->lastPathComponent() : displayName;
    std::string stem = entryFileStem(name);
    std::string path = folder + "/" + stem + kEntrySuffix;
    for (int n = 2; fs::exists(fs::symlink_status(path, error)); ++n)
        path = folder + "/" + stem + "-" + std::to_string(n) + kEntrySuffix;
    std::string exec = desktopEntryExecForPath(url->path());
    std::string text = std::string(kDesktopEntryGroup) + "\nType=Application\nName=" + escapeDesktopEntryValue(name)
        + "\nExec=" + escapeDesktopEntryValue(exec) + "\n";
    std::string failure;
    if (!writeFileAtomically(path, Value::Bytes(text.begin(), text.end()), &failure)) {
        NSLog("Login items: %@ cannot be added: %@", url->path(), failure);
        return nullptr;
    }
    return makeRef<LSSharedFileListItem>(path, name, exec, true);
}

OSStatus LSSharedFileListItemRemove(const LSSharedFileListRef& list, const LSSharedFileListItemRef& item)
{
    if (!list || !item || item->entryPath().empty())
        return paramErr;
    if (::unlink(item->entryPath().c_str()) == 0)
        return noErr;
    return errno == ENOENT ? fnfErr : ioErr;
}

OSStatus LSSharedFileListItemResolve(const LSSharedFileListItemRef& item, uint32_t, CFURLRef* outURL, std::nullptr_t)
{
    if (outURL)
        *outURL = nullptr;
    if (!item || !item->hasExec())
        return kLSCannotResolveItemErr;
    auto words = desktopEntryExecArguments(item->exec());
    if (words.empty())
        return kLSCannotResolveItemErr;
    std::string program = words.front();
    if (program.find('/') == std::string::npos)
        program = findExecutableOnPath(program);
    std::error_code error;
    auto resolved = program.empty() ? fs::path() : fs::canonical(program, error);
    if (program.empty() || error || !fs::is_regular_file(resolved, error))
        return fnfErr;
    if (outURL)
        *outURL = NSURL::fileURLWithPath(resolved.string());
    return noErr;
}

CFURLRef LSSharedFileListItemCopyResolvedURL(const LSSharedFileListItemRef& item, uint32_t flags, std::string* error)
{
    CFURLRef url;
    OSStatus status = LSSharedFileListItemResolve(item, flags, &url);
    if (status != noErr && error)
        *error = stringWithFormat("the login item %@ names no program that exists (%d)", item ? item->entryPath() : std::string(), status);
    return url;
}

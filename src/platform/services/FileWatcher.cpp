#include "FileWatcher.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <sys/inotify.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE | IN_MODIFY
    | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

std::string normalized(const std::string& path)
{
    std::error_code ignored;
    fs::path absolute = fs::absolute(fs::path(path), ignored).lexically_normal();
    std::string text = absolute.string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

std::string parentOf(const std::string& path)
{
    auto slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0)
        return "/";
    return path.substr(0, slash);
}

bool isFolder(const std::string& path)
{
    std::error_code error;
    return fs::is_directory(path, error);
}

bool isBelow(const std::string& path, const std::string& folder)
{
    if (folder == "/")
        return path.size() > 1 && path[0] == '/';
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}

uint32_t flagsOf(uint32_t mask)
{
    uint32_t flags = 0;
    if (mask & IN_CREATE)
        flags |= FileWatcher::Created;
    if (mask & (IN_DELETE | IN_DELETE_SELF))
        flags |= FileWatcher::Removed;
    if (mask & (IN_MOVED_FROM | IN_MOVED_TO | IN_MOVE_SELF))
        flags |= FileWatcher::Renamed;
    if (mask & (IN_MODIFY | IN_CLOSE_WRITE))
        flags |= FileWatcher::Modified;
    if (mask & IN_ATTRIB)
        flags |= FileWatcher::AttributesChanged;
    if (mask & IN_ISDIR)
        flags |= FileWatcher::IsDirectory;
    return flags;
}

}

std::unique_ptr<FileWatcher> FileWatcher::create(
    std::vector<std::string> paths, Handler handler, RunLoop& loop, const Options& options, std::string* error)
{
    int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) {
        if (error)
            *error = std::string("the kernel refused a change watcher: ") + std::strerror(errno);
        return nullptr;
    }
    for (auto& path : paths)
        path = normalized(path);
    std::unique_ptr<FileWatcher> watcher(new FileWatcher(fd, std::move(paths), std::move(handler), options));
    watcher->m_source = loop.addFileDescriptorSource(fd, [raw = watcher.get()] { raw->deliverPending(); }, options.modes);
    return watcher;
}

FileWatcher::FileWatcher(int fd, std::vector<std::string> paths, Handler handler, const Options& options)
    : m_fd(fd)
    , m_paths(std::move(paths))
    , m_handler(std::move(handler))
    , m_options(options)
{
    for (const auto& path : m_paths)
        m_existing[path] = fs::exists(fs::symlink_status(path));
    arm();
}

FileWatcher::~FileWatcher()
{
    m_source.reset();
    ::close(m_fd);
}

void FileWatcher::watchFolder(const std::string& folder)
{
    int wd = ::inotify_add_watch(m_fd, folder.c_str(), kWatchMask);
    if (wd >= 0)
        m_folders[wd] = folder;
}

void FileWatcher::arm()
{
    std::set<std::string> wanted;
    for (const auto& path : m_paths) {
        // The nearest existing ancestor sees the path (or its parent) appear.
        std::string ancestor = parentOf(path);
        while (ancestor != "/" && !isFolder(ancestor))
            ancestor = parentOf(ancestor);
        wanted.insert(ancestor);
        if (ancestor != parentOf(path) || !isFolder(path))
            continue;
        wanted.insert(path);
        if (!m_options.recursive)
            continue;
        std::error_code error;
        for (fs::recursive_directory_iterator it(path, fs::directory_options::skip_permission_denied, error), end;
             !error && it != end; it.increment(error)) {
            std::error_code ignored;
            if (it->is_directory(ignored) && !it->is_symlink(ignored))
                wanted.insert(it->path().string());
        }
    }
    for (auto it = m_folders.begin(); it != m_folders.end();) {
        if (!wanted.count(it->second)) {
            ::inotify_rm_watch(m_fd, it->first);
            it = m_folders.erase(it);
        } else {
            ++it;
        }
    }
    for (const auto& folder : wanted)
        watchFolder(folder);
}

bool FileWatcher::covers(const std::string& path) const
{
    for (const auto& root : m_paths) {
        if (path == root)
            return true;
        if (isBelow(path, root) && (m_options.recursive || parentOf(path) == root))
            return true;
    }
    return false;
}

void FileWatcher::note(std::vector<Change>& changes, const std::string& path, uint32_t flags)
{
    for (auto& change : changes) {
        if (change.path == path) {
            change.flags |= flags;
            return;
        }
    }
    changes.push_back({ path, flags });
}

std::vector<FileWatcher::Change> FileWatcher::readBatch()
{
    std::vector<Change> changes;
    bool rearm = false;
    alignas(inotify_event) char buffer[16 * 1024];
    for (;;) {
        ssize_t length = ::read(m_fd, buffer, sizeof buffer);
        if (length < 0 && errno == EINTR)
            continue;
        if (length <= 0)
            break;
        for (ssize_t offset = 0; offset < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            offset += sizeof(inotify_event) + event->len;
            if (event->mask & IN_Q_OVERFLOW) {
                for (const auto& root : m_paths)
                    note(changes, root, MustRescan);
                rearm = true;
                continue;
            }
            auto folder = m_folders.find(event->wd);
            if (folder == m_folders.end())
                continue;
            if (event->mask & IN_IGNORED) {
                m_folders.erase(folder);
                rearm = true;
                continue;
            }
            std::string path = folder->second;
            if (event->len && event->name[0])
                path += (path == "/" ? "" : "/") + std::string(event->name);
            uint32_t flags = flagsOf(event->mask);
            if ((event->mask & (IN_DELETE_SELF | IN_MOVE_SELF))
                || ((event->mask & IN_ISDIR) && (event->mask & (IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO))))
                rearm = true;
            if (covers(path))
                note(changes, path, flags);
            // A change to a folder above a watched path moves what the path
            // denotes.
            for (const auto& root : m_paths) {
                if (isBelow(root, path) && (flags & (Created | Removed | Renamed))) {
                    note(changes, root, RootChanged);
                    rearm = true;
                }
            }
        }
    }
    if (rearm)
        arm();
    for (const auto& root : m_paths) {
        bool exists = fs::exists(fs::symlink_status(root));
        // Made together with its parent: the parent's notice came before
        // the path itself could be watched.
        if (rearm && exists && !m_existing[root])
            note(changes, root, Created);
        m_existing[root] = exists;
    }
    return changes;
}

bool FileWatcher::deliverPending()
{
    auto changes = readBatch();
    if (changes.empty())
        return false;
    // The handler may end this watcher.
    auto handler = m_handler;
    handler(changes);
    return true;
}

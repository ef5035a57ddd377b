// Change notices for files and folders, read from the kernel (inotify) and
// delivered on a run loop. The file-system event stream and the login-items
// list are built on it.
#pragma once

#include <foundation/RunLoop.h>
#include <foundation/Token.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class FileWatcher {
public:
    enum Flag : uint32_t {
        Created = 1 << 0,
        Removed = 1 << 1,
        Renamed = 1 << 2, // moved away or moved in
        Modified = 1 << 3,
        AttributesChanged = 1 << 4,
        IsDirectory = 1 << 5,
        // Something above a watched path changed (a parent folder was made,
        // removed or renamed), so the path may now denote something else.
        RootChanged = 1 << 6,
        // The kernel dropped notices; whatever is watched must be read again.
        MustRescan = 1 << 7,
    };

    struct Change {
        std::string path;
        uint32_t flags;
    };
    // One call per batch the kernel handed over; a path appears once per
    // batch, with the flags of all its notices.
    using Handler = std::function<void(const std::vector<Change>&)>;

    struct Options {
        // Also report what happens in folders below a watched folder.
        bool recursive { false };
        std::vector<RunLoopMode> modes { kCFRunLoopDefaultMode };
    };

    // Watches each path: its own creation, removal, renaming and writes
    // (through its parent folder, so a file replaced by a rename is still
    // followed), and when it is a folder, its entries. A path that does not
    // exist yet, or whose parent does not, is watched from its nearest
    // existing ancestor and reported as created when it appears. Folders
    // farther up than the parent are not followed once the parent exists.
    // Null when
    // the kernel refuses a watcher (error says why).
    static std::unique_ptr<FileWatcher> create(std::vector<std::string> paths, Handler handler,
        RunLoop& loop, const Options& options, std::string* error = nullptr);
    static std::unique_ptr<FileWatcher> create(std::vector<std::string> paths, Handler handler,
        RunLoop& loop = RunLoop::current())
    {
        return create(std::move(paths), std::move(handler), loop, Options {});
    }
    ~FileWatcher();
    FileWatcher(const FileWatcher&) = delete;
    FileWatcher& operator=(const FileWatcher&) = delete;

    const std::vector<std::string>& paths() const { return m_paths; }
    // Reads what the kernel has queued and calls the handler now, outside
    // the run loop; returns whether there was anything.
    bool deliverPending();

private:
    FileWatcher(int fd, std::vector<std::string> paths, Handler handler, const Options& options);
    void arm();
    void watchFolder(const std::string& folder);
    std::vector<Change> readBatch();
    void note(std::vector<Change>& changes, const std::string& path, uint32_t flags);
    bool covers(const std::string& path) const;

    int m_fd;
    std::vector<std::string> m_paths;
    Handler m_handler;
    Options m_options;
    std::map<int, std::string> m_folders; // watch descriptor -> folder
    std::map<std::string, bool> m_existing;
    Token m_source;
};

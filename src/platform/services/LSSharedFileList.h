// Shared file lists. The one list here is the user's login items: the
// desktop's autostart folder ($XDG_CONFIG_HOME/autostart, or
// ~/.config/autostart), where each item is a desktop entry whose Exec line
// names the program to start. Adding an item writes an entry (atomically),
// removing one deletes its file, and resolving an item reads its Exec line.
// Observers hear of every change to the folder, whoever made it.
#pragma once

#include "CarbonEvents.h"
#include "FileWatcher.h"

#include <desktop/DesktopEntry.h>
#include <foundation/NSURL.h>
#include <foundation/RunLoop.h>
#include <foundation/Value.h>

#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>


class LSSharedFileList;

class LSSharedFileListItem final : public NSObject {
public:
    LSSharedFileListItem(std::string entryPath, std::string displayName, std::string exec, bool hasExec)
        : m_entryPath(std::move(entryPath))
        , m_displayName(std::move(displayName))
        , m_exec(std::move(exec))
        , m_hasExec(hasExec)
    {
    }
    // The desktop entry behind the item.
    const std::string& entryPath() const { return m_entryPath; }
    const std::string& displayName() const { return m_displayName; }
    // The Exec value as written in the entry (unescaped), empty when the
    // entry has none.
    const std::string& exec() const { return m_exec; }
    bool hasExec() const { return m_hasExec; }
    bool isEqual(const NSObject* other) const override;
    size_t hash() const override;
    std::string description() const override { return m_entryPath; }

private:
    std::string m_entryPath;
    std::string m_displayName;
    std::string m_exec;
    bool m_hasExec;
};

using LSSharedFileListRef = Ref<LSSharedFileList>;
using LSSharedFileListItemRef = Ref<LSSharedFileListItem>;
using LSSharedFileListChangedProcPtr = void (*)(LSSharedFileListRef inList, void* context);

extern const std::string kLSSharedFileListSessionLoginItems;

// Where an inserted item goes. Entries in the autostart folder have no
// order (they are listed by file name), so both put the item in the list.
extern const LSSharedFileListItemRef kLSSharedFileListItemBeforeFirst;
extern const LSSharedFileListItemRef kLSSharedFileListItemLast;

// Resolution flags; nothing here ever asks the user or mounts a volume, so
// they change nothing.
inline constexpr uint32_t kLSSharedFileListNoUserInteraction = 1;
inline constexpr uint32_t kLSSharedFileListDoNotMountVolumes = 2;

inline constexpr OSStatus fnfErr = -43;
inline constexpr OSStatus ioErr = -36;
inline constexpr OSStatus kLSUnknownErr = -10810;
inline constexpr OSStatus kLSCannotResolveItemErr = -10823; // "no program the item names"

class LSSharedFileList final : public NSObject {
public:
    explicit LSSharedFileList(std::string folder)
        : m_folder(std::move(folder))
    {
    }
    ~LSSharedFileList() override;
    const std::string& folder() const { return m_folder; }

private:
    friend void LSSharedFileListAddObserver(const LSSharedFileListRef&, RunLoop&, const RunLoopMode&,
        LSSharedFileListChangedProcPtr, void*);
    friend void LSSharedFileListRemoveObserver(const LSSharedFileListRef&, RunLoop&, const RunLoopMode&,
        LSSharedFileListChangedProcPtr, void*);
    friend std::vector<LSSharedFileListItemRef> LSSharedFileListCopySnapshot(const LSSharedFileListRef&, uint32_t*);
    void warnOnce(const std::string& key, const std::string& line);

    struct Observer {
        RunLoop* loop;
        RunLoopMode mode;
        LSSharedFileListChangedProcPtr callback;
        void* context;
        std::unique_ptr<FileWatcher> watcher;
    };
    std::string m_folder;
    std::vector<Observer> m_observers;
    std::mutex m_warnedMutex;
    std::set<std::string> m_warned;
};

// The folder the login items live in, read from the environment now.
std::string LSSharedFileListLoginItemsFolder();

// A new reference to a list; null for a type other than the login items.
LSSharedFileListRef LSSharedFileListCreate(std::nullptr_t allocator, const std::string& listType, const Value& options);

// The callback runs on the run loop, in the mode, after each change to the
// list, with the context. Adding the same observer twice adds it once.
void LSSharedFileListAddObserver(const LSSharedFileListRef& list, RunLoop& loop, const RunLoopMode& mode,
    LSSharedFileListChangedProcPtr callback, void* context);
void LSSharedFileListRemoveObserver(const LSSharedFileListRef& list, RunLoop& loop, const RunLoopMode& mode,
    LSSharedFileListChangedProcPtr callback, void* context);

// The items now in the list, ordered by entry file name. Entries the desktop
// marks as deleted or disabled (Hidden, X-GNOME-Autostart-enabled=false) are
// not items. seed, when given, changes whenever the list does.
std::vector<LSSharedFileListItemRef> LSSharedFileListCopySnapshot(const LSSharedFileListRef& list, uint32_t* seed);

// Writes a desktop entry that starts the file at the URL. The entry is
// named after the display name, or the file's name, and never replaces
// another entry. Null (and a log line) when it cannot be written.
LSSharedFileListItemRef LSSharedFileListInsertItemURL(const LSSharedFileListRef& list,
    const LSSharedFileListItemRef& insertAfter, const std::string& displayName, std::nullptr_t icon,
    const CFURLRef& url, const Value& propertiesToSet, const Value& propertiesToClear);

// Deletes the item's entry: noErr, or fnfErr when it is already gone.
OSStatus LSSharedFileListItemRemove(const LSSharedFileListRef& list, const LSSharedFileListItemRef& item);

// The program the item starts: its Exec line's first word, looked up on
// PATH when it is a bare name, with symbolic links resolved. An entry with
// no Exec, or one naming no existing file, does not resolve.
OSStatus LSSharedFileListItemResolve(
    const LSSharedFileListItemRef& item, uint32_t flags, CFURLRef* outURL, std::nullptr_t outRef = nullptr);
CFURLRef LSSharedFileListItemCopyResolvedURL(const LSSharedFileListItemRef& item, uint32_t flags, std::string* error);


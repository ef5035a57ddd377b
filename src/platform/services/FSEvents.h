// File-system event streams: changes under a set of paths, gathered for a
// latency and delivered in batches on a run loop. Built on the kernel's
// change notices (FileWatcher), so a file that an editor replaces by
// renaming a new one over it is reported as a change of its path.
#pragma once

#include "FileWatcher.h"

#include <foundation/NSObject.h>
#include <foundation/RunLoop.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

using FSEventStreamEventFlags = uint32_t;
using FSEventStreamEventId = uint64_t;
using FSEventStreamCreateFlags = uint32_t;

inline constexpr FSEventStreamEventId kFSEventStreamEventIdSinceNow = 0xFFFFFFFFFFFFFFFFull;

inline constexpr FSEventStreamCreateFlags kFSEventStreamCreateFlagNone = 0x00;
inline constexpr FSEventStreamCreateFlags kFSEventStreamCreateFlagNoDefer = 0x02;
inline constexpr FSEventStreamCreateFlags kFSEventStreamCreateFlagWatchRoot = 0x04;
inline constexpr FSEventStreamCreateFlags kFSEventStreamCreateFlagFileEvents = 0x10;

inline constexpr FSEventStreamEventFlags kFSEventStreamEventFlagNone = 0x00000000;
inline constexpr FSEventStreamEventFlags kFSEventStreamEventFlagMustScanSubDirs = 0x00000001;
inline constexpr FSEventStreamEventFlags kFSEventStreamEventFlagRootChanged = 0x00000020;
inline constexpr FSEventStreamEventFlags kFSEventStreamEventFlagItemCreated = 0x00000100;
inline constexpr FSEventStreamEventFlags kFSEventStreamEventFlagItemRemoved = 0x00000200;
inline constexpr FSEventStreamEventFlags kFSEventStreamEventFlagItemInodeMetaMod = 0x00000400;
inline constexpr FSEventStreamEventFlags kFSEventStreamEventFlagItemRenamed = 0x00000800;
inline constexpr FSEventStreamEventFlags kFSEventStreamEventFlagItemModified = 0x00001000;
inline constexpr FSEventStreamEventFlags kFSEventStreamEventFlagItemIsFile = 0x00010000;
inline constexpr FSEventStreamEventFlags kFSEventStreamEventFlagItemIsDir = 0x00020000;

class FSEventStream;
using FSEventStreamRef = Ref<FSEventStream>;
using ConstFSEventStreamRef = const FSEventStream*;

// One call per delivered batch: the changed paths with their flags and ids.
using FSEventStreamCallback = void (*)(ConstFSEventStreamRef stream, void* info, size_t numEvents,
    const std::vector<std::string>& eventPaths, const FSEventStreamEventFlags eventFlags[],
    const FSEventStreamEventId eventIds[]);

struct FSEventStreamContext {
    long version;
    void* info;
    const void* (*retain)(const void* info);
    void (*release)(const void* info);
    std::string (*copyDescription)(const void* info);
};

class FSEventStream final : public NSObject {
public:
    std::string description() const override;
    const std::vector<std::string>& pathsBeingWatched() const { return m_paths; }
    double latency() const { return m_latency; }
    bool isStarted() const { return static_cast<bool>(m_watcher); }
    // Changes heard and not yet delivered.
    size_t pendingEventCount() const { return m_pending.size(); }

private:
    friend FSEventStreamRef FSEventStreamCreate(std::nullptr_t, FSEventStreamCallback, FSEventStreamContext*,
        const std::vector<std::string>&, FSEventStreamEventId, double, FSEventStreamCreateFlags);
    friend void FSEventStreamScheduleWithRunLoop(const FSEventStreamRef&, RunLoop&, const RunLoopMode&);
    friend bool FSEventStreamStart(const FSEventStreamRef&);
    friend void FSEventStreamStop(const FSEventStreamRef&);
    friend void FSEventStreamInvalidate(const FSEventStreamRef&);
    friend void FSEventStreamRelease(const FSEventStreamRef&);
    friend void FSEventStreamFlushSync(const FSEventStreamRef&);

    void heard(const std::vector<FileWatcher::Change>& changes);
    void deliver();

    struct Event {
        std::string path;
        FSEventStreamEventFlags flags;
        FSEventStreamEventId id;
    };
    FSEventStreamCallback m_callback { nullptr };
    FSEventStreamContext m_context {};
    std::vector<std::string> m_paths;
    double m_latency { 0 };
    FSEventStreamCreateFlags m_flags { 0 };
    RunLoop* m_loop { nullptr };
    RunLoopMode m_mode;
    std::unique_ptr<FileWatcher> m_watcher;
    std::vector<Event> m_pending;
    Ref<RunLoopTimer> m_latencyTimer;
    bool m_invalidated { false };
};

FSEventStreamRef FSEventStreamCreate(std::nullptr_t allocator, FSEventStreamCallback callback,
    FSEventStreamContext* context, const std::vector<std::string>& pathsToWatch, FSEventStreamEventId sinceWhen,
    double latency, FSEventStreamCreateFlags flags);
void FSEventStreamScheduleWithRunLoop(const FSEventStreamRef& stream, RunLoop& loop, const RunLoopMode& mode);
// Starts watching; false when the kernel refuses a watcher or the stream is
// not scheduled.
bool FSEventStreamStart(const FSEventStreamRef& stream);
// Stops watching; changes not yet delivered are dropped.
void FSEventStreamStop(const FSEventStreamRef& stream);
void FSEventStreamInvalidate(const FSEventStreamRef& stream);
void FSEventStreamRelease(const FSEventStreamRef& stream);
// Reads what the kernel has queued and delivers every gathered change now,
// without waiting for the latency.
void FSEventStreamFlushSync(const FSEventStreamRef& stream);

#include "FSEvents.h"

#include <foundation/Clock.h>
#include <foundation/Format.h>

#include <atomic>

namespace {

std::atomic<FSEventStreamEventId> gNextEventId { 1 };

FSEventStreamEventFlags flagsOf(uint32_t changes, bool watchRoot)
{
    FSEventStreamEventFlags flags = kFSEventStreamEventFlagNone;
    if (changes & FileWatcher::Created)
        flags |= kFSEventStreamEventFlagItemCreated;
    if (changes & FileWatcher::Removed)
        flags |= kFSEventStreamEventFlagItemRemoved;
    if (changes & FileWatcher::Renamed)
        flags |= kFSEventStreamEventFlagItemRenamed;
    if (changes & FileWatcher::Modified)
        flags |= kFSEventStreamEventFlagItemModified;
    if (changes & FileWatcher::AttributesChanged)
        flags |= kFSEventStreamEventFlagItemInodeMetaMod;
    flags |= (changes & FileWatcher::IsDirectory) ? kFSEventStreamEventFlagItemIsDir : kFSEventStreamEventFlagItemIsFile;
    if ((changes & FileWatcher::RootChanged) && watchRoot)
        flags |= kFSEventStreamEventFlagRootChanged;
    if (changes & FileWatcher::MustRescan)
        flags |= kFSEventStreamEventFlagMustScanSubDirs;
    return flags;
}

std::string parentOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return path;
    return slash == 0 ? "/" : path.substr(0, slash);
}

}

std::string FSEventStream::description() const
{
    std::string paths;
    for (const auto& path : m_paths)
        paths += (paths.empty() ? "" : ", ") + path;
    return stringWithFormat("<FSEventStream %p: latency %g, paths (%@)>", static_cast<const void*>(this), m_latency, paths);
}

FSEventStreamRef FSEventStreamCreate(std::nullptr_t, FSEventStreamCallback callback, FSEventStreamContext* context,
    const std::vector<std::string>& pathsToWatch, FSEventStreamEventId, double latency, FSEventStreamCreateFlags flags)
{
    if (!callback || pathsToWatch.empty())
        return nullptr;
    auto stream = makeRef<FSEventStream>();
    stream->m_callback = callback;
    if (context) {
        stream->m_context = *context;
        if (context->retain)
            context->retain(context->info);
    }
    stream->m_paths = pathsToWatch;
    stream->m_latency = latency > 0 ? latency : 0;
    stream->m_flags = flags;
    return stream;
}

void FSEventStreamScheduleWithRunLoop(const FSEventStreamRef& stream, RunLoop& loop, const RunLoopMode& mode)
{
    if (!stream)
        return;
    stream->m_loop = &loop;
    stream->m_mode = mode;
}

bool FSEventStreamStart(const FSEventStreamRef& stream)
{
    if (!stream || !stream->m_loop || stream->m_invalidated)
        return false;
    if (stream->m_watcher)
        return true;
    FileWatcher::Options options;
    options.modes = { stream->m_mode };
    FSEventStream* raw = stream.get();
    stream->m_watcher = FileWatcher::create(
        stream->m_paths, [raw](const std::vector<FileWatcher::Change>& changes) { raw->heard(changes); }, *stream->m_loop, options);
    return static_cast<bool>(stream->m_watcher);
}

void FSEventStreamStop(const FSEventStreamRef& stream)
{
    if (!stream)
        return;
    stream->m_watcher.reset();
    if (stream->m_latencyTimer)
        stream->m_latencyTimer->invalidate();
    stream->m_latencyTimer = nullptr;
    stream->m_pending.clear();
}

void FSEventStreamInvalidate(const FSEventStreamRef& stream)
{
    if (!stream)
        return;
    FSEventStreamStop(stream);
    stream->m_loop = nullptr;
    stream->m_invalidated = true;
}

void FSEventStreamRelease(const FSEventStreamRef& stream)
{
    if (!stream || !stream->m_context.release)
        return;
    stream->m_context.release(stream->m_context.info);
    stream->m_context.release = nullptr;
}

void FSEventStreamFlushSync(const FSEventStreamRef& stream)
{
    if (!stream || !stream->m_watcher)
        return;
    stream->m_watcher->deliverPending();
    stream->deliver();
}

void FSEventStream::heard(const std::vector<FileWatcher::Change>& changes)
{
    bool fileEvents = m_flags & kFSEventStreamCreateFlagFileEvents;
    bool watchRoot = m_flags & kFSEventStreamCreateFlagWatchRoot;
    for (const auto& change : changes)
        m_pending.push_back({ fileEvents ? change.path : parentOf(change.path), flagsOf(change.flags, watchRoot), gNextEventId++ });
    if (m_pending.empty() || m_latencyTimer || !m_loop)
        return;
    // The first change opens the batch; everything heard within the
    // latency goes with it.
    auto timer = std::make_shared<RunLoopTimer>();
    timer->interval = 0;
    timer->repeats = false;
    FSEventStream* self = this;
    Weak<NSObject> alive = selfRef<NSObject>();
    timer->action = [self, alive] {
        if (alive.expired())
            return;
        self->m_latencyTimer = nullptr;
        self->deliver();
    };
    timer->fireDate = CFAbsoluteTimeGetCurrent() + m_latency;
    m_latencyTimer = timer;
    m_loop->addTimer(timer, m_mode);
}

void FSEventStream::deliver()
{
    if (m_latencyTimer) {
        m_latencyTimer->invalidate();
        m_latencyTimer = nullptr;
    }
    if (m_pending.empty() || !m_callback)
        return;
    auto batch = std::move(m_pending);
    m_pending.clear();
    std::vector<std::string> paths;
    std::vector<FSEventStreamEventFlags> flags;
    std::vector<FSEventStreamEventId> ids;
    for (const auto& event : batch) {
        paths.push_back(event.path);
        flags.push_back(event.flags);
        ids.push_back(event.id);
    }
    m_callback(this, m_context.info, batch.size(), paths, flags.data(), ids.data());
}

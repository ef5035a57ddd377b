#include "DRPathWatcher.h"

#include <foundation/Log.h>
#include <foundation/RunLoop.h>

namespace {

// Seconds the stream gathers changes before it delivers them as one batch.
constexpr double kWatcherLatency = 1.0;

void streamCallback(ConstFSEventStreamRef, void* info, size_t, const std::vector<std::string>&,
    const FSEventStreamEventFlags*, const FSEventStreamEventId*)
{
    static_cast<DRPathWatcher*>(info)->fileDidChange();
}

}

Ref<DRPathWatcher> DRPathWatcher::watcherFor(const std::vector<std::string>& paths, std::function<void()> handler)
{
    return makeRef<DRPathWatcher>(paths, std::move(handler));
}

DRPathWatcher::DRPathWatcher(std::vector<std::string> paths, std::function<void()> handler)
    : m_paths(std::move(paths))
    , m_handler(std::move(handler))
{
    setup();
}

DRPathWatcher::~DRPathWatcher()
{
    if (!m_stream)
        return;
    FSEventStreamStop(m_stream);
    FSEventStreamInvalidate(m_stream);
    FSEventStreamRelease(m_stream);
}

void DRPathWatcher::setup()
{
    FSEventStreamContext context { 0, this, nullptr, nullptr, nullptr };
    m_stream = FSEventStreamCreate(nullptr, streamCallback, &context, m_paths, kFSEventStreamEventIdSinceNow, kWatcherLatency,
        kFSEventStreamCreateFlagWatchRoot | kFSEventStreamCreateFlagFileEvents);
    if (!m_stream)
        return;
    FSEventStreamScheduleWithRunLoop(m_stream, RunLoop::current(), kCFRunLoopDefaultMode);
    m_started = FSEventStreamStart(m_stream);
    if (!m_started)
        NSLog("Error: Could not start event stream %@ for observing file changes.", m_stream);
}

void DRPathWatcher::fileDidChange()
{
    if (m_handler)
        m_handler();
}

// Calls a handler when any of a set of files changes (written, replaced by
// an editor's save, removed or created again), through the platform's
// file-system event stream: latency 1 s, one call per delivered batch.
#pragma once

#include <foundation/NSObject.h>
#include <services/FSEvents.h>

#include <functional>
#include <string>
#include <vector>

class DRPathWatcher : public NSObject {
public:
    static Ref<DRPathWatcher> watcherFor(const std::vector<std::string>& paths, std::function<void()> handler);
    DRPathWatcher(std::vector<std::string> paths, std::function<void()> handler);
    ~DRPathWatcher() override;

    const std::vector<std::string>& paths() const { return m_paths; }
    void fileDidChange();
    bool isWatching() const { return m_started; }

private:
    void setup();

    FSEventStreamRef m_stream;
    std::vector<std::string> m_paths;
    std::function<void()> m_handler;
    bool m_started { false };
};

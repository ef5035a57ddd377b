// The file descriptors a run loop watches for input, and the helper thread
// that wakes the loop when one of them becomes readable while it waits.
#pragma once

#include "RunLoop.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

class RunLoopDescriptorSources {
public:
    using Eligible = std::function<bool(const std::set<RunLoopMode>&)>;

    explicit RunLoopDescriptorSources(RunLoop& loop);
    ~RunLoopDescriptorSources();

    Token add(int fd, std::function<void()> readable, std::set<RunLoopMode> modes);
    // Whether an eligible descriptor has input now (never blocks).
    bool anyReadable(const Eligible& eligible) const;
    // Calls the callbacks of the eligible descriptors that have input;
    // returns whether any ran.
    bool run(const Eligible& eligible);

private:
    struct Source {
        int fd;
        std::function<void()> readable;
        std::set<RunLoopMode> modes;
        bool removed { false };
        // Turns of the loop that looked at this descriptor; the helper
        // thread waits for one after waking the loop.
        uint64_t looks { 0 };
    };

    void remove(const std::shared_ptr<Source>& source);
    void helperMain();
    void interruptHelper();

    RunLoop& m_loop;
    mutable std::mutex m_mutex;
    std::condition_variable m_looked;
    std::vector<std::shared_ptr<Source>> m_sources;
    uint64_t m_generation { 0 };
    bool m_shutdown { false };
    int m_control { -1 };
    std::thread m_helper;
};

// Run loops with modes. The main run loop owns all interface and model state;
// work reaches it as performs (blocks) and timers. Every time it reads comes
// from Clock::current(), so a virtual clock makes runs exactly repeatable.
#pragma once

#include "Ref.h"
#include "Token.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

using RunLoopMode = std::string;
extern const RunLoopMode kCFRunLoopDefaultMode;
extern const RunLoopMode kCFRunLoopCommonModes;
extern const RunLoopMode NSDefaultRunLoopMode;
extern const RunLoopMode NSRunLoopCommonModes;
extern const RunLoopMode NSEventTrackingRunLoopMode;
extern const RunLoopMode NSModalPanelRunLoopMode;

// A point far in the future, for runs without a limit.
inline constexpr double kDistantFuture = 63113904000.0;

bool isMainThread();

class RunLoopDescriptorSources;

// The scheduling record behind timers, delayed performs and dispatch_after.
class RunLoopTimer {
public:
    double fireDate { 0 };
    double interval { 0 };
    bool repeats { false };
    std::set<RunLoopMode> modes;
    std::function<void()> action;
    // Delayed performs are tagged with their target and selector so that they
    // can be cancelled.
    const void* target { nullptr };
    std::string selector;

    bool isValid() const { return m_valid.load(); }
    void invalidate() { m_valid.store(false); }

private:
    friend class RunLoop;
    std::atomic<bool> m_valid { true };
    uint64_t m_sequence { 0 };
};

class RunLoop {
public:
    ~RunLoop();
    static RunLoop& main();
    // The calling thread's run loop (the main one on the main thread).
    static RunLoop& current();

    bool isMain() const { return this == &main(); }

    // Queues a block to run on this loop in the given modes. Thread-safe.
    void perform(std::function<void()> block, const RunLoopMode& mode = kCFRunLoopCommonModes);
    void perform(std::function<void()> block, const std::vector<RunLoopMode>& modes);

    // Schedules a timer in a mode (adding a scheduled timer to more modes
    // widens it). The loop keeps the record until it is invalid.
    void addTimer(const Ref<RunLoopTimer>& timer, const RunLoopMode& mode);
    // A one-shot delayed perform tagged with target and selector.
    Ref<RunLoopTimer> performAfterDelay(const void* target, const std::string& selector, double delay,
        std::function<void()> action, const std::vector<RunLoopMode>& modes = { kCFRunLoopDefaultMode });
    // Cancels pending delayed performs of the target; an empty selector
    // cancels all of them.
    void cancelPerforms(const void* target, const std::string& selector = {});
    size_t pendingPerformCount(const void* target, const std::string& selector = {}) const;
    // Queued blocks not yet run, in any mode.
    size_t pendingBlockCount() const;

    // Watches a file descriptor for input. While the loop runs in one of the
    // modes, the callback runs on the loop's thread whenever the descriptor
    // has something to read, and it must read what is there. Input that this
    // process caused (a write to a watched folder) is seen at the very next
    // turn; input from elsewhere wakes a waiting loop through a helper
    // thread. The descriptor stays the caller's; dropping the token stops
    // the watch, and it must go before the descriptor is closed.
    Token addFileDescriptorSource(int fd, std::function<void()> readable,
        const std::vector<RunLoopMode>& modes = { kCFRunLoopCommonModes });

    // The mode of the run in progress, or empty when the loop is not running.
    RunLoopMode currentMode() const;
    void addCommonMode(const RunLoopMode& mode);
    bool isCommonMode(const RunLoopMode& mode) const;

    // Runs what is due now in the mode: queued performs, then due timers.
    // Returns whether anything ran.
    bool runOnce(const RunLoopMode& mode = kCFRunLoopDefaultMode);
    // Runs until nothing is due and no background work that may post here is
    // in flight. Never waits for a timer in the future.
    void runUntilIdle(const RunLoopMode& mode = kCFRunLoopDefaultMode);
    // Runs for a span of time: on a virtual clock the clock jumps from timer
    // to timer; on the system clock the loop sleeps between them.
    void runFor(double seconds, const RunLoopMode& mode = kCFRunLoopDefaultMode);
    // One turn of the loop, blocking until something ran or the limit date.
    // Returns NO when nothing could ever run (virtual clock, nothing pending).
    bool runMode(const RunLoopMode& mode, double limitDate);
    // Runs in the default mode until stop() or end().
    void run();
    // Ends the run in progress (the innermost one).
    void stop();
    // Ends every run of the loop for good, the one in progress and every
    // run it is nested in (a modal run, mouse tracking, run()): run()
    // returns and runMode() answers NO at once from now on, so the code
    // around each nested run sees it end and returns. Thread-safe; until
    // reset().
    void end();
    bool hasEnded() const;

    std::optional<double> nextTimerDate(const RunLoopMode& mode) const;
    void wakeUp();

    // Drops every pending perform and timer and restores the common modes
    // (test isolation). A dispatch_sync waiting on a dropped block returns.
    void reset();

private:
    RunLoop() = default;
    friend struct RunLoopAccess;
    bool eligible(const std::set<RunLoopMode>& modes, const RunLoopMode& mode) const;
    bool hasWorkLocked(const RunLoopMode& mode, double now) const;
    void dropInvalidTimersLocked(std::vector<Ref<RunLoopTimer>>& dropped);
    bool runDescriptorSources(const RunLoopMode& mode);
    void waitUntil(double date, const RunLoopMode& mode);

    struct PendingBlock {
        std::function<void()> block;
        std::set<RunLoopMode> modes;
    };

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<PendingBlock> m_blocks;
    std::vector<Ref<RunLoopTimer>> m_timers;
    std::set<RunLoopMode> m_commonModes { kCFRunLoopDefaultMode, NSEventTrackingRunLoopMode, NSModalPanelRunLoopMode };
    std::vector<RunLoopMode> m_modeStack;
    uint64_t m_sequence { 0 };
    bool m_stopRequested { false };
    bool m_ended { false };
    bool m_woken { false };
    std::unique_ptr<RunLoopDescriptorSources> m_descriptors;
};

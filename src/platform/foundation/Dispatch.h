// Dispatch queues: the main queue runs on the main run loop; the global
// queues share a small pool of worker threads.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

class DispatchQueue {
public:
    virtual ~DispatchQueue() = default;
    virtual void async(std::function<void()> block) = 0;
    // Queues a block that a caller of dispatch_sync waits for; it runs in
    // the queue's order, but a concurrent queue may start it first.
    virtual void sync(std::function<void()> block) { async(std::move(block)); }
    virtual bool isMain() const { return false; }
    virtual bool isSerial() const { return false; }
    const std::string& label() const { return m_label; }
    long priority() const { return m_priority; }

protected:
    DispatchQueue(std::string label, long priority)
        : m_label(std::move(label))
        , m_priority(priority)
    {
    }

private:
    std::string m_label;
    long m_priority;
};

using dispatch_queue_t = DispatchQueue*;
using dispatch_block_t = std::function<void()>;
using dispatch_time_t = uint64_t;

inline constexpr long DISPATCH_QUEUE_PRIORITY_HIGH = 2;
inline constexpr long DISPATCH_QUEUE_PRIORITY_DEFAULT = 0;
inline constexpr long DISPATCH_QUEUE_PRIORITY_LOW = -2;
inline constexpr long DISPATCH_QUEUE_PRIORITY_BACKGROUND = -32768;
inline constexpr dispatch_time_t DISPATCH_TIME_NOW = 0;
inline constexpr dispatch_time_t DISPATCH_TIME_FOREVER = ~0ull;
inline constexpr int64_t NSEC_PER_SEC = 1000000000;
inline constexpr int64_t NSEC_PER_MSEC = 1000000;

dispatch_queue_t dispatch_get_main_queue();
dispatch_queue_t dispatch_get_global_queue(long priority, unsigned long flags);
// A serial queue: blocks run one at a time, in order, on the worker pool.
// The queue lives as long as the process.
dispatch_queue_t dispatch_queue_create(const char* label);
// The queue whose block is running on this thread, or null outside of one
// (the main queue on the main thread).
dispatch_queue_t dispatch_get_current_queue();

void dispatch_async(dispatch_queue_t queue, dispatch_block_t block);
// Runs the block on the queue and waits for it; on the main queue from the
// main thread it runs at once. A block waited for is never left behind for
// want of a thread: workers that wait in dispatch_sync do not hold up the
// pool, and the main thread, while it waits here or in
// dispatchWaitForBackgroundWork, runs the main-queue blocks other threads
// wait for. Called from a block on a serial queue onto that same queue (it
// would wait for itself), it stops the process with a message.
void dispatch_sync(dispatch_queue_t queue, dispatch_block_t block);
// A time on the current clock, in nanoseconds; DISPATCH_TIME_NOW is now.
dispatch_time_t dispatch_time(dispatch_time_t when, int64_t delta);
// Runs the block on the queue once the clock reaches the time; the delay is
// kept by the main run loop in its common modes.
void dispatch_after(dispatch_time_t when, dispatch_queue_t queue, dispatch_block_t block);

using dispatch_once_t = std::once_flag;
template <class F>
void dispatch_once(dispatch_once_t* predicate, F&& block)
{
    std::call_once(*predicate, std::forward<F>(block));
}

// Whether a global or serial queue still has blocks queued or running.
bool dispatchBackgroundWorkPending();
// Blocks until no background block is queued or running (test support).
// Called from a background block it stops the process (it would wait for
// itself).
void dispatchWaitForBackgroundWork();

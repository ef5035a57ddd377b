#include "Dispatch.h"

#include "Clock.h"
#include "RunLoop.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

namespace {

thread_local dispatch_queue_t tCurrentQueue = nullptr;
// Whether this thread is one of the pool's workers.
thread_local bool tIsWorker = false;

[[noreturn]] void stopWithMisuse(const std::string& message)
{
    std::fprintf(stderr, "%s\n", message.c_str());
    std::fflush(stderr);
    std::abort();
}

// A block that dispatch_sync waits for. Whoever takes it first runs it (or,
// when its queue drops it unrun, lets it go) and so ends the wait.
struct SyncRequest {
    const std::function<void()>* block { nullptr };
    std::atomic<bool> taken { false };
    // Under the pool's mutex.
    bool finished { false };
};

// The worker pool behind every queue but the main one. It is never destroyed,
// so that work still running at exit cannot touch a dead pool.
//
// A worker waiting in dispatch_sync holds its thread: when every worker
// waits so and blocks are queued, the pool starts one more worker (up to
// kMaxThreads), or the blocks they wait for could never run. The main
// thread, while it waits for background work, runs the main-queue blocks
// that other threads wait for; nothing else would run them meanwhile.
class WorkerPool {
public:
    static WorkerPool& shared()
    {
        static WorkerPool* pool = new WorkerPool();
        return *pool;
    }

    // A block that someone waits for goes first: it frees the waiter.
    void submit(dispatch_queue_t queue, std::function<void()> block, bool waitedFor = false)
    {
        {
            std::lock_guard lock(m_mutex);
            ensureThreads();
            if (waitedFor)
                m_tasks.push_front({ queue, std::move(block) });
            else
                m_tasks.push_back({ queue, std::move(block) });
            ++m_outstanding;
            growIfEveryWorkerWaitsLocked();
        }
        m_work.notify_one();
    }

    bool busy()
    {
        std::lock_guard lock(m_mutex);
        return m_outstanding > 0;
    }

    void waitIdle()
    {
        if (tIsWorker)
            stopWithMisuse("dispatchWaitForBackgroundWork: called from a block on a background queue, which "
                           "would wait for itself");
        waitUntil([this] { return m_outstanding == 0; });
    }

    // A block posted for dispatch_sync: the main thread may also take it
    // from here while it waits.
    void addMainRequest(const std::shared_ptr<SyncRequest>& request)
    {
        {
            std::lock_guard lock(m_mutex);
            m_mainRequests.push_back(request);
        }
        m_changed.notify_all();
    }

    void run(const std::shared_ptr<SyncRequest>& request)
    {
        if (request->taken.exchange(true))
            return;
        struct Finish {
            WorkerPool& pool;
            const std::shared_ptr<SyncRequest>& request;
            ~Finish() { pool.finish(request); }
        } finish { *this, request };
        (*request->block)();
    }

    void drop(const std::shared_ptr<SyncRequest>& request)
    {
        if (request && !request->taken.exchange(true))
            finish(request);
    }

    void waitFor(const std::shared_ptr<SyncRequest>& request)
    {
        waitUntil([&] { return request->finished; });
    }

    static constexpr size_t kMaxThreads = 64;

private:
    struct Task {
        dispatch_queue_t queue;
        std::function<void()> block;
    };

    void finish(const std::shared_ptr<SyncRequest>& request)
    {
        {
            std::lock_guard lock(m_mutex);
            request->finished = true;
            std::erase(m_mainRequests, request);
        }
        m_changed.notify_all();
    }

    // Waits until `done` holds; it is checked under the pool's lock.
    template <class Done>
    void waitUntil(Done done)
    {
        bool serve = isMainThread();
        std::unique_lock lock(m_mutex);
        if (tIsWorker) {
            ++m_waitingWorkers;
            growIfEveryWorkerWaitsLocked();
        }
        for (;;) {
            m_changed.wait(lock, [&] { return done() || (serve && !m_mainRequests.empty()); });
            if (done())
                break;
            auto requests = m_mainRequests;
            lock.unlock();
            {
                // What runs here is a main-queue block.
                dispatch_queue_t outer = std::exchange(tCurrentQueue, dispatch_get_main_queue());
                for (const auto& request : requests)
                    run(request);
                tCurrentQueue = outer;
            }
            lock.lock();
        }
        if (tIsWorker)
            --m_waitingWorkers;
    }

    void ensureThreads()
    {
        if (!m_threads.empty())
            return;
        unsigned count = std::max(2u, std::min(8u, std::thread::hardware_concurrency()));
        for (unsigned i = 0; i < count; ++i)
            startThreadLocked();
    }

    void startThreadLocked()
    {
        m_threads.emplace_back([this] { workerLoop(); }).detach();
    }

    void growIfEveryWorkerWaitsLocked()
    {
        if (!m_tasks.empty() && m_waitingWorkers == m_threads.size() && m_threads.size() < kMaxThreads)
            startThreadLocked();
    }

    void workerLoop()
    {
        tIsWorker = true;
        for (;;) {
            Task task;
            {
                std::unique_lock lock(m_mutex);
                m_work.wait(lock, [&] { return !m_tasks.empty(); });
                task = std::move(m_tasks.front());
                m_tasks.pop_front();
            }
            tCurrentQueue = task.queue;
            task.block();
            tCurrentQueue = nullptr;
            task.block = nullptr;
            bool nowIdle;
            {
                std::lock_guard lock(m_mutex);
                nowIdle = --m_outstanding == 0;
            }
            if (nowIdle)
                m_changed.notify_all();
            // Whatever the block posted, or the end of background work, may
            // be what the main loop waits for.
            RunLoop::main().wakeUp();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_work;
    // Background work ended, a dispatch_sync finished, or a main-queue
    // block that a thread waits for was posted.
    std::condition_variable m_changed;
    std::deque<Task> m_tasks;
    std::vector<std::thread> m_threads;
    size_t m_outstanding { 0 };
    size_t m_waitingWorkers { 0 };
    std::vector<std::shared_ptr<SyncRequest>> m_mainRequests;
};

class MainQueue final : public DispatchQueue {
public:
    MainQueue()
        : DispatchQueue("com.apple.main-thread", DISPATCH_QUEUE_PRIORITY_DEFAULT)
    {
    }
    void async(std::function<void()> block) override
    {
        RunLoop::main().perform(std::move(block), kCFRunLoopCommonModes);
    }
    bool isMain() const override { return true; }
};

class GlobalQueue final : public DispatchQueue {
public:
    GlobalQueue(std::string label, long priority)
        : DispatchQueue(std::move(label), priority)
    {
    }
    void async(std::function<void()> block) override { WorkerPool::shared().submit(this, std::move(block)); }
    void sync(std::function<void()> block) override { WorkerPool::shared().submit(this, std::move(block), true); }
};

class SerialQueue final : public DispatchQueue {
public:
    explicit SerialQueue(std::string label)
        : DispatchQueue(std::move(label), DISPATCH_QUEUE_PRIORITY_DEFAULT)
    {
    }
    bool isSerial() const override { return true; }
    void async(std::function<void()> block) override
    {
        bool start;
        {
            std::lock_guard lock(m_mutex);
            m_pending.push_back(std::move(block));
            start = !m_draining;
            m_draining = true;
        }
        if (start)
            WorkerPool::shared().submit(this, [this] { drain(); });
    }

private:
    void drain()
    {
        for (;;) {
            std::function<void()> block;
            {
                std::lock_guard lock(m_mutex);
                if (m_pending.empty()) {
                    m_draining = false;
                    return;
                }
                block = std::move(m_pending.front());
                m_pending.pop_front();
            }
            block();
        }
    }

    std::mutex m_mutex;
    std::deque<std::function<void()>> m_pending;
    bool m_draining { false };
};

}

dispatch_queue_t dispatch_get_main_queue()
{
    static MainQueue* queue = new MainQueue();
    return queue;
}

dispatch_queue_t dispatch_get_global_queue(long priority, unsigned long)
{
    static GlobalQueue* high = new GlobalQueue("com.apple.root.user-initiated-qos", DISPATCH_QUEUE_PRIORITY_HIGH);
    static GlobalQueue* normal = new GlobalQueue("com.apple.root.default-qos", DISPATCH_QUEUE_PRIORITY_DEFAULT);
    static GlobalQueue* low = new GlobalQueue("com.apple.root.utility-qos", DISPATCH_QUEUE_PRIORITY_LOW);
    static GlobalQueue* background = new GlobalQueue("com.apple.root.background-qos", DISPATCH_QUEUE_PRIORITY_BACKGROUND);
    if (priority >= DISPATCH_QUEUE_PRIORITY_HIGH)
        return high;
    if (priority == DISPATCH_QUEUE_PRIORITY_DEFAULT || priority == 0)
        return normal;
    if (priority == DISPATCH_QUEUE_PRIORITY_BACKGROUND)
        return background;
    if (priority < 0)
        return low;
    return normal;
}

dispatch_queue_t dispatch_queue_create(const char* label) { return new SerialQueue(label ? label : ""); }

dispatch_queue_t dispatch_get_current_queue()
{
    if (tCurrentQueue)
        return tCurrentQueue;
    return isMainThread() ? dispatch_get_main_queue() : nullptr;
}

void dispatch_async(dispatch_queue_t queue, dispatch_block_t block)
{
    if (queue && block)
        queue->async(std::move(block));
}

void dispatch_sync(dispatch_queue_t queue, dispatch_block_t block)
{
    if (!queue || !block)
        return;
    if (queue->isMain() && isMainThread()) {
        block();
        return;
    }
    // A serial queue runs one block at a time: the block running on this
    // thread would wait for itself.
    if (queue == tCurrentQueue && !queue->isMain() && queue->isSerial())
        stopWithMisuse("dispatch_sync: called from a block on the serial queue \"" + queue->label()
            + "\" onto that same queue, which would wait for itself");
    // The request is shared, not on the waiter's stack: the waiter may
    // return the moment it sees it finished. If the queue drops the posted
    // block unrun (a run loop reset), the holder lets the request go, which
    // must not leave the caller waiting for ever.
    auto& pool = WorkerPool::shared();
    auto request = std::make_shared<SyncRequest>();
    request->block = &block;
    struct Holder {
        std::shared_ptr<SyncRequest> request;
        ~Holder() { WorkerPool::shared().drop(request); }
    };
    auto holder = std::make_shared<Holder>();
    holder->request = request;
    if (queue->isMain())
        pool.addMainRequest(request);
    queue->sync([holder = std::move(holder)]() mutable {
        WorkerPool::shared().run(holder->request);
        holder.reset();
    });
    pool.waitFor(request);
}

dispatch_time_t dispatch_time(dispatch_time_t when, int64_t delta)
{
    if (when == DISPATCH_TIME_FOREVER)
        return when;
    double base = when == DISPATCH_TIME_NOW ? Clock::current().now() : static_cast<double>(when) / NSEC_PER_SEC;
    double t = base + static_cast<double>(delta) / NSEC_PER_SEC;
    return t <= 0 ? 1 : static_cast<dispatch_time_t>(t * NSEC_PER_SEC);
}

void dispatch_after(dispatch_time_t when, dispatch_queue_t queue, dispatch_block_t block)
{
    if (!queue || !block || when == DISPATCH_TIME_FOREVER)
        return;
    double now = Clock::current().now();
    double fire = when == DISPATCH_TIME_NOW ? now : static_cast<double>(when) / NSEC_PER_SEC;
    auto timer = makeRef<RunLoopTimer>();
    timer->fireDate = fire;
    timer->action = [queue, block = std::move(block)] {
        if (queue->isMain())
            block();
        else
            queue->async(block);
    };
    RunLoop::main().addTimer(timer, kCFRunLoopCommonModes);
}

bool dispatchBackgroundWorkPending() { return WorkerPool::shared().busy(); }

void dispatchWaitForBackgroundWork() { WorkerPool::shared().waitIdle(); }

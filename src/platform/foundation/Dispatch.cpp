#include "Dispatch.h"

#include "Clock.h"
#include "RunLoop.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <thread>
#include <vector>

namespace {

thread_local dispatch_queue_t tCurrentQueue = nullptr;

// The worker pool behind every queue but the main one. It is never destroyed,
// so that work still running at exit cannot touch a dead pool.
class WorkerPool {
public:
    static WorkerPool& shared()
    {
        static WorkerPool* pool = new WorkerPool();
        return *pool;
    }

    void submit(dispatch_queue_t queue, std::function<void()> block)
    {
        {
            std::lock_guard lock(m_mutex);
            ensureThreads();
            m_tasks.push_back({ queue, std::move(block) });
            ++m_outstanding;
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
        std::unique_lock lock(m_mutex);
        m_idle.wait(lock, [&] { return m_outstanding == 0; });
    }

private:
    struct Task {
        dispatch_queue_t queue;
        std::function<void()> block;
    };

    void ensureThreads()
    {
        if (!m_threads.empty())
            return;
        unsigned count = std::max(2u, std::min(8u, std::thread::hardware_concurrency()));
        for (unsigned i = 0; i < count; ++i)
            m_threads.emplace_back([this] { workerLoop(); }).detach();
    }

    void workerLoop()
    {
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
                m_idle.notify_all();
            // Whatever the block posted, or the end of background work, may
            // be what the main loop waits for.
            RunLoop::main().wakeUp();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_work;
    std::condition_variable m_idle;
    std::deque<Task> m_tasks;
    std::vector<std::thread> m_threads;
    size_t m_outstanding { 0 };
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
};

class SerialQueue final : public DispatchQueue {
public:
    explicit SerialQueue(std::string label)
        : DispatchQueue(std::move(label), DISPATCH_QUEUE_PRIORITY_DEFAULT)
    {
    }
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
    // The waiter may return the moment it sees the flag, while the block's
    // thread is still inside notify, so the two share the state rather than
    // the block reaching into the waiter's stack. The flag is raised when
    // the posted block is destroyed: after it ran, or when its queue dropped
    // it unrun (a run loop reset), which must not leave the caller waiting
    // for ever.
    struct Completion {
        std::mutex mutex;
        std::condition_variable done;
        bool finished { false };
    };
    struct Signal {
        std::shared_ptr<Completion> completion;
        ~Signal()
        {
            if (!completion)
                return;
            {
                std::lock_guard lock(completion->mutex);
                completion->finished = true;
            }
            completion->done.notify_all();
        }
    };
    auto completion = std::make_shared<Completion>();
    {
        auto signal = std::make_shared<Signal>();
        signal->completion = completion;
        queue->async([signal = std::move(signal), &block]() mutable {
            block();
            signal.reset();
        });
    }
    std::unique_lock lock(completion->mutex);
    completion->done.wait(lock, [&] { return completion->finished; });
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

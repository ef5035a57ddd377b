#include "ParallelFor.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

namespace {

// The kept threads take parts of whichever job was posted first and still
// has parts nobody took. A job lives on its caller's stack: the caller
// takes parts too, then takes its job off the queue and waits for the parts
// others are running. Nobody touches a job after finishing its last part,
// which the caller sees under the same lock.
class KeptThreads {
public:
    static KeptThreads& shared()
    {
        // Never destroyed: the threads wait for work until the process ends,
        // and a job posted during exit still finishes on its caller.
        static auto* threads = new KeptThreads(std::min(std::max(std::thread::hardware_concurrency(), 1u), 8u) - 1);
        return *threads;
    }

    size_t width() const { return m_helpers + 1; }

    void run(size_t count, const std::function<void(size_t)>& body)
    {
        if (count == 0)
            return;
        if (count == 1 || m_helpers == 0) {
            for (size_t i = 0; i < count; ++i)
                body(i);
            return;
        }
        Job job;
        job.body = &body;
        job.count = count;
        std::unique_lock lock(m_mutex);
        m_jobs.push_back(&job);
        m_work.notify_all();
        size_t part;
        while (claim(job, part)) {
            lock.unlock();
            runPart(job, part, lock);
            ++job.finished;
        }
        job.allFinished.wait(lock, [&] { return job.finished == job.count; });
        if (job.error)
            std::rethrow_exception(job.error);
    }

private:
    struct Job {
        const std::function<void(size_t)>* body { nullptr };
        size_t count { 0 };
        size_t next { 0 };
        size_t finished { 0 };
        std::condition_variable allFinished;
        // The first exception a part threw; the caller throws it again once
        // every part has ended.
        std::exception_ptr error;
    };

    explicit KeptThreads(unsigned helpers)
        : m_helpers(helpers)
    {
        for (unsigned i = 0; i < helpers; ++i)
            std::thread([this] { help(); }).detach();
    }

    // Under the lock: the next part of the job, which leaves the queue with
    // its last part taken.
    bool claim(Job& job, size_t& part)
    {
        if (job.next == job.count)
            return false;
        part = job.next++;
        if (job.next == job.count)
            m_jobs.erase(std::find(m_jobs.begin(), m_jobs.end(), &job));
        return true;
    }

    // Runs one part unlocked and comes back locked.
    static void runPart(Job& job, size_t part, std::unique_lock<std::mutex>& lock)
    {
        std::exception_ptr error;
        try {
            (*job.body)(part);
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        if (error && !job.error)
            job.error = error;
    }

    void help()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_work.wait(lock, [this] { return !m_jobs.empty(); });
            Job& job = *m_jobs.front();
            size_t part;
            claim(job, part);
            lock.unlock();
            runPart(job, part, lock);
            if (++job.finished == job.count)
                job.allFinished.notify_all();
        }
    }

    size_t m_helpers;
    std::mutex m_mutex;
    std::condition_variable m_work;
    std::deque<Job*> m_jobs;
};

} // namespace

void parallelFor(size_t count, const std::function<void(size_t)>& body)
{
    KeptThreads::shared().run(count, body);
}

size_t parallelForWidth()
{
    return KeptThreads::shared().width();
}

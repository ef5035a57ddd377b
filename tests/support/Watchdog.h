// Turns a hang into a failure. A test that could deadlock keeps a Watchdog
// while it does the risky part; if that part has not ended within the limit,
// the watchdog names it on stderr and stops the program, so the run fails at
// once instead of holding CI up until an outer timeout. A deadlocked thread
// cannot be freed, so stopping the program is the only sound way out.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

class Watchdog {
public:
    explicit Watchdog(std::string what, double seconds = 30)
        : m_what(std::move(what))
    {
        m_thread = std::thread([this, seconds] {
            std::unique_lock lock(m_mutex);
            if (m_done.wait_for(lock, std::chrono::duration<double>(seconds), [this] { return m_finished; }))
                return;
            std::fprintf(stderr, "HANG: %s has not ended after %g s\n", m_what.c_str(), seconds);
            std::fflush(stderr);
            std::abort();
        });
    }

    ~Watchdog()
    {
        {
            std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_done.notify_all();
        m_thread.join();
    }

    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::string m_what;
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished { false };
    std::thread m_thread;
};

// Turns a hang into a failure. A test that could deadlock keeps a Watchdog
// while it does the risky part; if that part has not ended within the limit,
// the watchdog names it on stderr and stops the program, so the run fails at
// once instead of holding CI up until an outer timeout. A deadlocked thread
// cannot be freed, so stopping the program is the only sound way out.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

class Watchdog {
public:
    explicit Watchdog(std::string what, double seconds = 30)
        : m_what(std::move(what))
        // The error output as it is now: a death test sends the program's
        // error output elsewhere while it waits for its child.
        , m_errorOutput(::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0))
    {
        m_thread = std::thread([this, seconds] {
            std::unique_lock lock(m_mutex);
            if (m_done.wait_for(lock, std::chrono::duration<double>(seconds), [this] { return m_finished; }))
                return;
            std::string message = "HANG: " + m_what + " has not ended after " + std::to_string(static_cast<int>(seconds)) + " s\n";
            [[maybe_unused]] auto written = ::write(m_errorOutput >= 0 ? m_errorOutput : STDERR_FILENO, message.data(), message.size());
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
        if (m_errorOutput >= 0)
            ::close(m_errorOutput);
    }

    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::string m_what;
    int m_errorOutput;
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished { false };
    std::thread m_thread;
};

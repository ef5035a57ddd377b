// Writes pictures to PNG files on threads of its own, so that compressing
// them (most of the cost) runs beside whatever the caller does next and
// beside each other.
#pragma once

#include <graphics/CGImage.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class PNGFileWriter {
public:
    // At most `threads` files are compressed at once (at least one).
    explicit PNGFileWriter(unsigned threads);
    // Waits for the files still being written.
    ~PNGFileWriter();
    PNGFileWriter(const PNGFileWriter&) = delete;
    PNGFileWriter& operator=(const PNGFileWriter&) = delete;

    // Queues the picture for the path; the writer keeps the picture until
    // its file is written. While as many pictures wait as there are
    // threads, this waits for one to be taken, so that pictures made faster
    // than they are compressed do not pile up in memory.
    void write(CGImageRef image, std::string path);
    // Waits until every queued file is written; the position (in the order
    // they were queued) of the first that could not be, or nothing.
    std::optional<size_t> finish();

private:
    struct Job {
        size_t index;
        CGImageRef image;
        std::string path;
    };
    void work();

    std::mutex m_mutex;
    std::condition_variable m_queued;
    std::condition_variable m_taken;
    std::condition_variable m_done;
    std::deque<Job> m_jobs;
    size_t m_count { 0 };
    size_t m_finished { 0 };
    std::vector<size_t> m_failed;
    bool m_closing { false };
    std::vector<std::thread> m_threads;
};

#include "PNGFileWriter.h"

#include <services/CGWindow.h>

#include <algorithm>

PNGFileWriter::PNGFileWriter(unsigned threads)
{
    for (unsigned i = 0; i < std::max(1u, threads); ++i)
        m_threads.emplace_back([this] { work(); });
}

PNGFileWriter::~PNGFileWriter()
{
    {
        std::lock_guard lock(m_mutex);
        m_closing = true;
    }
    m_queued.notify_all();
    for (auto& thread : m_threads)
        thread.join();
}

void PNGFileWriter::write(CGImageRef image, std::string path)
{
    {
        std::unique_lock lock(m_mutex);
        m_taken.wait(lock, [this] { return m_jobs.size() < m_threads.size(); });
        m_jobs.push_back({ m_count++, std::move(image), std::move(path) });
    }
    m_queued.notify_one();
}

std::optional<size_t> PNGFileWriter::finish()
{
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [this] { return m_finished == m_count; });
    if (m_failed.empty())
        return std::nullopt;
    return *std::min_element(m_failed.begin(), m_failed.end());
}

void PNGFileWriter::work()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_queued.wait(lock, [this] { return m_closing || !m_jobs.empty(); });
        if (m_jobs.empty())
            return;
        Job job = std::move(m_jobs.front());
        m_jobs.pop_front();
        m_taken.notify_one();
        lock.unlock();
        bool written = CGImageWritePNGFile(job.image, job.path);
        // The picture goes before the next one is taken.
        job.image = nullptr;
        lock.lock();
        if (!written)
            m_failed.push_back(job.index);
        ++m_finished;
        m_done.notify_all();
    }
}

#include "RunLoopDescriptorSources.h"

#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

bool hasInput(int fd)
{
    pollfd entry { fd, POLLIN, 0 };
    return ::poll(&entry, 1, 0) > 0 && (entry.revents & (POLLIN | POLLHUP | POLLERR));
}

}

RunLoopDescriptorSources::RunLoopDescriptorSources(RunLoop& loop)
    : m_loop(loop)
{
    m_control = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_helper = std::thread([this] { helperMain(); });
}

RunLoopDescriptorSources::~RunLoopDescriptorSources()
{
    {
        std::lock_guard lock(m_mutex);
        m_shutdown = true;
    }
    m_looked.notify_all();
    interruptHelper();
    if (m_helper.joinable())
        m_helper.join();
    if (m_control >= 0)
        ::close(m_control);
}

void RunLoopDescriptorSources::interruptHelper()
{
    uint64_t one = 1;
    if (m_control >= 0)
        [[maybe_unused]] auto written = ::write(m_control, &one, sizeof one);
}

Token RunLoopDescriptorSources::add(int fd, std::function<void()> readable, std::set<RunLoopMode> modes)
{
    auto source = std::make_shared<Source>(Source { fd, std::move(readable), std::move(modes) });
    {
        std::lock_guard lock(m_mutex);
        m_sources.push_back(source);
        ++m_generation;
    }
    interruptHelper();
    return Token([this, weak = std::weak_ptr<Source>(source)] {
        if (auto source = weak.lock())
            remove(source);
    });
}

void RunLoopDescriptorSources::remove(const std::shared_ptr<Source>& source)
{
    {
        std::lock_guard lock(m_mutex);
        source->removed = true;
        std::erase(m_sources, source);
        ++m_generation;
    }
    m_looked.notify_all();
    interruptHelper();
}

bool RunLoopDescriptorSources::anyReadable(const Eligible& eligible) const
{
    std::lock_guard lock(m_mutex);
    for (const auto& source : m_sources)
        if (eligible(source->modes) && hasInput(source->fd))
            return true;
    return false;
}

bool RunLoopDescriptorSources::run(const Eligible& eligible)
{
    std::vector<std::shared_ptr<Source>> ready;
    {
        std::lock_guard lock(m_mutex);
        for (const auto& source : m_sources) {
            if (!eligible(source->modes))
                continue;
            ++source->looks;
            if (hasInput(source->fd))
                ready.push_back(source);
        }
    }
    m_looked.notify_all();
    bool ran = false;
    for (const auto& source : ready) {
        {
            // An earlier callback of this turn may have stopped the watch.
            std::lock_guard lock(m_mutex);
            if (source->removed)
                continue;
        }
        source->readable();
        ran = true;
    }
    return ran;
}

void RunLoopDescriptorSources::helperMain()
{
    for (;;) {
        std::vector<pollfd> entries;
        std::vector<std::shared_ptr<Source>> sources;
        {
            std::lock_guard lock(m_mutex);
            if (m_shutdown)
                return;
            sources = m_sources;
        }
        entries.push_back({ m_control, POLLIN, 0 });
        for (const auto& source : sources)
            entries.push_back({ source->fd, POLLIN, 0 });
        int count = ::poll(entries.data(), entries.size(), -1);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (entries[0].revents) {
            uint64_t value;
            [[maybe_unused]] auto drained = ::read(m_control, &value, sizeof value);
            continue;
        }
        // Wake the loop, then wait until it has looked at one of the ready
        // descriptors (or the set changed), so that input the loop leaves
        // for a later mode does not make this thread spin.
        std::vector<std::pair<std::shared_ptr<Source>, uint64_t>> ready;
        std::unique_lock lock(m_mutex);
        for (size_t i = 1; i < entries.size(); ++i)
            if (entries[i].revents && !sources[i - 1]->removed)
                ready.emplace_back(sources[i - 1], sources[i - 1]->looks);
        if (ready.empty())
            continue;
        uint64_t generation = m_generation;
        lock.unlock();
        m_loop.wakeUp();
        lock.lock();
        m_looked.wait(lock, [&] {
            if (m_shutdown || m_generation != generation)
                return true;
            for (const auto& [source, looks] : ready)
                if (source->looks != looks)
                    return true;
            return false;
        });
    }
}

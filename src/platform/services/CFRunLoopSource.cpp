#include "CFRunLoopSource.h"

std::vector<CFRunLoopSource::Attachment> CFRunLoopSource::attachments() const
{
    std::lock_guard lock(m_mutex);
    return m_attachments;
}

RunLoop* CFRunLoopSource::firstLoop(std::vector<RunLoopMode>* modes) const
{
    std::lock_guard lock(m_mutex);
    if (!m_valid || m_attachments.empty())
        return nullptr;
    RunLoop* loop = m_attachments.front().loop;
    if (modes) {
        modes->clear();
        for (const auto& a : m_attachments)
            if (a.loop == loop)
                modes->push_back(a.mode);
    }
    return loop;
}

bool CFRunLoopSource::isValid() const
{
    std::lock_guard lock(m_mutex);
    return m_valid;
}

void CFRunLoopSource::invalidate()
{
    std::lock_guard lock(m_mutex);
    m_valid = false;
    m_attachments.clear();
}

RunLoop& CFRunLoopGetCurrent() { return RunLoop::current(); }

RunLoop& CFRunLoopGetMain() { return RunLoop::main(); }

void CFRunLoopAddSource(RunLoop& loop, const CFRunLoopSourceRef& source, const RunLoopMode& mode)
{
    if (!source)
        return;
    std::lock_guard lock(source->m_mutex);
    if (!source->m_valid)
        return;
    for (const auto& a : source->m_attachments)
        if (a.loop == &loop && a.mode == mode)
            return;
    source->m_attachments.push_back({ &loop, mode });
}

void CFRunLoopRemoveSource(RunLoop& loop, const CFRunLoopSourceRef& source, const RunLoopMode& mode)
{
    if (!source)
        return;
    std::lock_guard lock(source->m_mutex);
    std::erase_if(source->m_attachments,
        [&](const CFRunLoopSource::Attachment& a) { return a.loop == &loop && a.mode == mode; });
}

bool CFRunLoopContainsSource(RunLoop& loop, const CFRunLoopSourceRef& source, const RunLoopMode& mode)
{
    if (!source)
        return false;
    std::lock_guard lock(source->m_mutex);
    for (const auto& a : source->m_attachments)
        if (a.loop == &loop && a.mode == mode)
            return true;
    return false;
}

void CFRunLoopSourceInvalidate(const CFRunLoopSourceRef& source)
{
    if (source)
        source->invalidate();
}

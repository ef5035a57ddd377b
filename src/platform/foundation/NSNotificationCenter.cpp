#include "NSNotificationCenter.h"

#include <algorithm>

NSNotificationCenter& NSNotificationCenter::defaultCenter()
{
    static auto* center = new NSNotificationCenter();
    return *center;
}

NSNotificationCenter& NSNotificationCenter::distributedCenter()
{
    static auto* center = new NSNotificationCenter();
    return *center;
}

Token NSNotificationCenter::addObserverForName(
    const std::string& name, const NSObject* object, dispatch_queue_t queue, Block block)
{
    uint64_t id;
    {
        std::lock_guard lock(m_mutex);
        id = m_nextId++;
        m_entries.push_back({ id, name, object, queue, std::make_shared<Block>(std::move(block)) });
    }
    return Token([this, id] {
        std::lock_guard lock(m_mutex);
        std::erase_if(m_entries, [id](const Entry& e) { return e.id == id; });
    });
}

void NSNotificationCenter::postNotification(const NSNotification& notification)
{
    std::vector<Entry> matching;
    {
        std::lock_guard lock(m_mutex);
        for (const auto& e : m_entries)
            if ((e.name.empty() || e.name == notification.name) && (!e.object || e.object == notification.object.get()))
                matching.push_back(e);
    }
    for (const auto& e : matching) {
        // An observer removed by an earlier one in this post is not called.
        {
            std::lock_guard lock(m_mutex);
            if (std::none_of(m_entries.begin(), m_entries.end(), [&](const Entry& x) { return x.id == e.id; }))
                continue;
        }
        bool runHere = !e.queue || (e.queue->isMain() ? isMainThread() : dispatch_get_current_queue() == e.queue);
        if (runHere)
            (*e.block)(notification);
        else
            dispatch_async(e.queue, [block = e.block, notification] { (*block)(notification); });
    }
}

void NSNotificationCenter::postNotificationName(const std::string& name, const Ref<NSObject>& object, const Value& userInfo)
{
    postNotification({ name, object, userInfo });
}

size_t NSNotificationCenter::observerCount(const std::string& name) const
{
    std::lock_guard lock(m_mutex);
    return std::count_if(m_entries.begin(), m_entries.end(), [&](const Entry& e) { return e.name == name; });
}

void NSNotificationCenter::removeAllObservers()
{
    std::lock_guard lock(m_mutex);
    m_entries.clear();
}

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
    if (!block)
        return {};
    auto entry = std::make_shared<Entry>(Entry { name, object, queue, std::move(block) });
    {
        std::lock_guard lock(m_state->mutex);
        m_state->entries.push_back(entry);
    }
    std::weak_ptr<State> weakState = m_state;
    std::weak_ptr<Entry> weakEntry = entry;
    return Token([weakState, weakEntry] {
        auto state = weakState.lock();
        auto entry = weakEntry.lock();
        if (!state || !entry)
            return;
        std::lock_guard lock(state->mutex);
        entry->active = false;
        std::erase(state->entries, entry);
    });
}

bool NSNotificationCenter::isActive(State& state, const Entry& entry)
{
    std::lock_guard lock(state.mutex);
    return entry.active;
}

void NSNotificationCenter::postNotification(const NSNotification& notification)
{
    std::vector<std::shared_ptr<Entry>> matching;
    {
        std::lock_guard lock(m_state->mutex);
        for (const auto& e : m_state->entries)
            if ((e->name.empty() || e->name == notification.name) && (!e->object || e->object == notification.object.get()))
                matching.push_back(e);
    }
    for (const auto& e : matching) {
        // An observer removed by an earlier one in this post is not called.
        if (!isActive(*m_state, *e))
            continue;
        bool runHere = !e->queue || (e->queue->isMain() ? isMainThread() : dispatch_get_current_queue() == e->queue);
        if (runHere) {
            e->block(notification);
            continue;
        }
        // Nor is one removed while the delivery waited for its queue.
        dispatch_async(e->queue, [state = m_state, e, notification] {
            if (isActive(*state, *e))
                e->block(notification);
        });
    }
}

void NSNotificationCenter::postNotificationName(const std::string& name, const Ref<NSObject>& object, const Value& userInfo)
{
    postNotification({ name, object, userInfo });
}

size_t NSNotificationCenter::observerCount(const std::string& name) const
{
    std::lock_guard lock(m_state->mutex);
    return std::count_if(m_state->entries.begin(), m_state->entries.end(),
        [&](const std::shared_ptr<Entry>& e) { return e->name == name; });
}

void NSNotificationCenter::removeAllObservers()
{
    // The blocks are destroyed after the lock is let go: one may hold the
    // last reference to an object that ends its own observations as it goes.
    std::vector<std::shared_ptr<Entry>> dropped;
    std::lock_guard lock(m_state->mutex);
    for (auto& e : m_state->entries)
        e->active = false;
    dropped.swap(m_state->entries);
}

#include "DesktopListeners.h"

Token DesktopListeners::subscribe(Listener listener)
{
    std::lock_guard lock(m_state->mutex);
    uint64_t id = m_state->next++;
    m_state->entries[id] = std::make_shared<Listener>(std::move(listener));
    std::weak_ptr<State> weak = m_state;
    return Token([weak, id] {
        if (auto state = weak.lock()) {
            // The listener goes after the lock is let go: what it holds may
            // end other subscriptions to these listeners as it goes.
            std::shared_ptr<Listener> ended;
            std::lock_guard lock(state->mutex);
            if (auto it = state->entries.find(id); it != state->entries.end()) {
                ended = std::move(it->second);
                state->entries.erase(it);
            }
        }
    });
}

void DesktopListeners::emit(const std::vector<DesktopEvent>& events) const
{
    if (events.empty())
        return;
    std::vector<std::shared_ptr<Listener>> listeners;
    {
        std::lock_guard lock(m_state->mutex);
        for (auto& [id, l] : m_state->entries)
            listeners.push_back(l);
    }
    for (const auto& event : events)
        for (const auto& l : listeners)
            (*l)(event);
}

#include "model/EBEventful.h"

#include <foundation/Format.h>
#include <foundation/Log.h>

#include <algorithm>
#include <atomic>
#include <utility>

namespace {
std::atomic<EBEventful*> gProcessBus { nullptr };
}

class EBEventful::Locked {
public:
    explicit Locked(const EBEventful& bus)
        : m_bus(bus)
        , m_lock(bus.m_mutex)
    {
    }
    ~Locked()
    {
        auto released = std::exchange(m_bus.m_released, {});
        m_lock.unlock();
    }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    const EBEventful& m_bus;
    std::unique_lock<std::mutex> m_lock;
};

EBEventful& EBEventful::sharedInstance()
{
    // Created once, under the language's one-time initialisation, and never
    // destroyed: senders on other threads may still hold the pointer at exit.
    static EBEventful* instance = new EBEventful();
    gProcessBus.store(instance, std::memory_order_release);
    return *instance;
}

EBEventful* EBEventful::processBus() { return gProcessBus.load(std::memory_order_acquire); }

void EBEventful::resetForTesting()
{
    EBEventful& bus = sharedInstance();
    {
        Locked lock(bus);
        for (auto& [id, list] : bus.m_events) {
            for (auto& registration : list) {
                registration->m_active = false;
                bus.m_released.push_back(std::move(registration));
            }
        }
        bus.m_events.clear();
        bus.m_receivers.clear();
    }
    gProcessBus.store(nullptr, std::memory_order_release);
}

std::string EBEventful::keyFor(const NSObject* receiver)
{
    return stringWithFormat("%p", static_cast<const void*>(receiver));
}

void EBEventful::removeRegistrationLocked(EBEventId eventId, const Ref<EBEventReceiver>& registration) const
{
    registration->m_active = false;
    m_released.push_back(registration);
    if (auto it = m_events.find(eventId); it != m_events.end()) std::erase(it->second, registration);
    auto key = keyFor(registration->identity());
    if (auto it = m_receivers.find(key); it != m_receivers.end()) {
        if (auto id = std::find(it->second.begin(), it->second.end(), eventId); id != it->second.end())
            it->second.erase(id);
        if (it->second.empty()) m_receivers.erase(it);
    }
}

// Registrations whose receiver went away are dropped before anything else
// looks at the tables, so that a new object at a dead one's address starts
// with a clean entry.
void EBEventful::removeDeadLocked() const
{
    std::vector<std::pair<EBEventId, Ref<EBEventReceiver>>> dead;
    for (const auto& [id, list] : m_events)
        for (const auto& registration : list)
            if (registration->m_object.expired()) dead.emplace_back(id, registration);
    for (const auto& [id, registration] : dead)
        removeRegistrationLocked(id, registration);
}

Ref<EBEventReceiver> EBEventful::addRegistration(EBEventId eventId, unsigned long triggerLimit,
    const Ref<NSObject>& receiver, EBEventSelector selector, EBEventBlock block)
{
    if (!receiver) {
        NSLog("EBEventful: a registration for event %lu without a receiver is ignored", eventId);
        return nullptr;
    }
    auto registration
        = makeRef<EBEventReceiver>(triggerLimit, receiver, std::move(selector), std::move(block));
    Locked lock(*this);
    removeDeadLocked();
    m_events[eventId].push_back(registration);
    m_receivers[keyFor(receiver.get())].push_back(eventId);
    return registration;
}

void EBEventful::receiveEvent(EBEventId eventId, unsigned long triggerLimit, const Ref<NSObject>& receiver,
    EBEventSelector selector, EBEventBlock block)
{
    addRegistration(eventId, triggerLimit, receiver, std::move(selector), std::move(block));
}

Token EBEventful::subscribe(
    EBEventId eventId, const Ref<NSObject>& receiver, EBEventBlock block, unsigned long triggerLimit)
{
    Weak<EBEventReceiver> weak = addRegistration(eventId, triggerLimit, receiver, nullptr, std::move(block));
    if (weak.expired())
        return {};
    return Token([this, eventId, weak] {
        auto registration = weak.lock();
        if (!registration)
            return;
        Locked lock(*this);
        if (registration->m_active)
            removeRegistrationLocked(eventId, registration);
    });
}

void EBEventful::sendEvent(EBEventId eventId, const Ref<NSObject>& sender, const Value& data,
    const std::function<void()>& onSuccess, const std::function<void()>& onFail)
{
    std::vector<Ref<EBEventReceiver>> snapshot;
    {
        Locked lock(*this);
        removeDeadLocked();
        auto it = m_events.find(eventId);
        if (it == m_events.end()) {
            if (onFail) onFail();
            return;
        }
        snapshot = it->second;
    }
    for (const auto& registration : snapshot) {
        Ref<NSObject> receiver;
        unsigned long count = 0;
        bool exhausted = false;
        {
            Locked lock(*this);
            if (!registration->m_active) continue;
            // Held strongly for the length of the call.
            receiver = registration->m_object.lock();
            if (!receiver) {
                removeRegistrationLocked(eventId, registration);
                continue;
            }
            if (registration->m_triggerCount.load() == registration->m_triggerLimit)
                exhausted = true;
            else
                count = ++registration->m_triggerCount;
        }
        if (exhausted) {
            if (onFail) onFail();
            continue;
        }
        auto event = makeRef<EBEvent>(eventId, sender, data, count, registration->m_triggerLimit);
        if (registration->m_block)
            registration->m_block(*event);
        else if (registration->m_selector)
            registration->m_selector(*receiver, *event);
        if (onSuccess) onSuccess();
    }
}

void EBEventful::eraseLocked(std::vector<Ref<EBEventReceiver>>& list, const NSObject* receiver) const
{
    std::erase_if(list, [&](const Ref<EBEventReceiver>& r) {
        if (r->identity() != receiver) return false;
        r->m_active = false;
        m_released.push_back(r);
        return true;
    });
}

void EBEventful::stopReceivingEventsForObject(const NSObject* receiver)
{
    Locked lock(*this);
    removeDeadLocked();
    if (m_receivers.empty()) return;
    auto key = keyFor(receiver);
    auto listed = m_receivers.find(key);
    if (listed == m_receivers.end()) return;
    for (EBEventId id : listed->second)
        if (auto it = m_events.find(id); it != m_events.end()) eraseLocked(it->second, receiver);
    m_receivers.erase(listed);
}

void EBEventful::stopReceivingEventId(EBEventId eventId, const NSObject* receiver)
{
    Locked lock(*this);
    removeDeadLocked();
    if (auto it = m_events.find(eventId); it != m_events.end()) eraseLocked(it->second, receiver);
    if (auto it = m_receivers.find(keyFor(receiver)); it != m_receivers.end())
        std::erase(it->second, eventId);
}

std::vector<Ref<EBEventReceiver>> EBEventful::receiversForEvent(EBEventId eventId) const
{
    Locked lock(*this);
    removeDeadLocked();
    auto it = m_events.find(eventId);
    return it == m_events.end() ? std::vector<Ref<EBEventReceiver>> {} : it->second;
}

std::vector<EBEventId> EBEventful::eventIdsForReceiver(const NSObject* receiver) const
{
    Locked lock(*this);
    removeDeadLocked();
    auto it = m_receivers.find(keyFor(receiver));
    return it == m_receivers.end() ? std::vector<EBEventId> {} : it->second;
}

bool EBEventful::hasEventList(EBEventId eventId) const
{
    Locked lock(*this);
    return m_events.count(eventId) > 0;
}

// The dumps walk the tables from the last key to the first.

void EBEventful::eventsDescription(std::ostream& out) const
{
    Locked lock(*this);
    removeDeadLocked();
    if (m_events.empty()) {
        out << "EBEventful (eventsDescription): No events registered, the pool is empty!\n";
        return;
    }
    out << stringWithFormat(
        "EBEventful (eventsDescription): Event pool has %ld events registered.\n", m_events.size());
    for (auto it = m_events.rbegin(); it != m_events.rend(); ++it)
        out << stringWithFormat("EBEventful (eventsDescription): Event Id = %ld\n", it->first);
}

void EBEventful::receiversDescription(std::ostream& out) const
{
    Locked lock(*this);
    removeDeadLocked();
    if (m_receivers.empty()) {
        out << "EBEventful (receiversDescription): No receivers registered, the pool is empty!\n";
        return;
    }
    out << stringWithFormat(
        "EBEventful (receiversDescription): Receiver pool has %ld receivers registered.\n",
        m_receivers.size());
    for (auto it = m_receivers.rbegin(); it != m_receivers.rend(); ++it) {
        Value::Array ids(it->second.begin(), it->second.end());
        out << stringWithFormat(
            "EBEventful (receiversDescription): Receiver = `%@` for events = `%@`\n", it->first, Value(ids));
    }
}

void EBEventful::eventsAndReceiversDescription(std::ostream& out) const
{
    Locked lock(*this);
    removeDeadLocked();
    if (m_events.empty()) {
        out << "EBEventful (eventsAndReceiversDescription): No events registered, the pool is empty!\n";
        return;
    }
    out << stringWithFormat(
        "EBEventful (eventsAndReceiversDescription): Pool contains %ld events\u2026\n", m_events.size());
    for (auto it = m_events.rbegin(); it != m_events.rend(); ++it) {
        Value::Array registrations;
        for (const auto& registration : it->second)
            registrations.push_back(Value(registration));
        out << stringWithFormat("EBEventful (eventsAndReceiversDescription): Event Id=%ld, Receivers=%@\n",
            it->first, Value(registrations));
    }
}

// The process-wide bus that carries numbered events between components that
// do not know each other. Receivers register per event id with a block or a
// member function and an optional limit on how often they fire; delivery is
// synchronous, on the sender's thread, in registration order.
//
// Lifetimes: the bus holds receivers weakly. A receiver that goes away
// without stopping is dropped at the bus's next operation and is never
// called after it died; while one of its callbacks runs, the bus keeps it
// alive. Receivers must therefore be owned by a Ref when they register.
//
// Delivery walks a snapshot of the id's registrations: one added during a
// delivery first fires on the next send, and one removed during a delivery
// is not called after its removal. The tables are locked, so registering,
// removing and sending may happen on any thread.
//
// Registrations end by receiver (stopReceivingEventsForObject, or the
// receiver going away) or, for those made with `subscribe`, when their token
// is dropped, whichever comes first.
#pragma once

#include "model/EBEvent.h"
#include "model/EBEventId.h"
#include "model/EBEventReceiver.h"

#include <foundation/Token.h>
#include <foundation/Value.h>

#include <iostream>
#include <map>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

class EBEventful : public NSObject {
public:
    // Creates the bus on first use and publishes it as the process bus.
    static EBEventful& sharedInstance();
    // The process-wide bus pointer that outside senders use: null until the
    // bus was first used, so that what is sent through it before then is
    // dropped (no receiver exists yet to miss it).
    static EBEventful* processBus();

    // Registration. Without a limit a registration fires any number of
    // times. With both a selector and a block, the block is called.
    void receiveEvent(EBEventId eventId, unsigned long triggerLimit, const Ref<NSObject>& receiver,
        EBEventSelector selector, EBEventBlock block);
    void receiveEvent(EBEventId eventId, const Ref<NSObject>& receiver, EBEventBlock block)
    {
        receiveEvent(eventId, EBUnlimitedTriggers, receiver, nullptr, std::move(block));
    }
    void receiveEvent(
        EBEventId eventId, const Ref<NSObject>& receiver, unsigned long triggerLimit, EBEventBlock block)
    {
        receiveEvent(eventId, triggerLimit, receiver, nullptr, std::move(block));
    }
    // Selector registrations: the member function is called on the receiver.
    template <class T, class C>
    requires std::is_base_of_v<C, T> && std::is_base_of_v<NSObject, T>
    void receiveEvent(EBEventId eventId, const Ref<T>& receiver, void (C::*selector)(const EBEvent&))
    {
        receiveEvent(eventId, EBUnlimitedTriggers, receiver, selector);
    }
    template <class T, class C>
    requires std::is_base_of_v<C, T> && std::is_base_of_v<NSObject, T>
    void receiveEvent(EBEventId eventId, unsigned long triggerLimit, const Ref<T>& receiver,
        void (C::*selector)(const EBEvent&))
    {
        receiveEvent(eventId, triggerLimit, receiver, makeSelector<T>(selector), nullptr);
    }

    // A block registration handed back as a token: dropping the token ends
    // it. It also ends as receiveEvent's do (the receiver stops or goes
    // away); a token that outlives its registration does nothing. The bus
    // lives as long as the process, so a token never outlives it.
    [[nodiscard]] Token subscribe(EBEventId eventId, const Ref<NSObject>& receiver, EBEventBlock block,
        unsigned long triggerLimit = EBUnlimitedTriggers);

    // Delivers to every registration of the id, in order. onFail runs once
    // when nobody ever registered for the id, and once for every exhausted
    // registration; onSuccess runs after each delivery.
    void sendEvent(EBEventId eventId, const Ref<NSObject>& sender, const Value& data,
        const std::function<void()>& onSuccess = nullptr, const std::function<void()>& onFail = nullptr);

    // Removal by identity: a receiver may stop from its own destructor.
    void stopReceivingEventsForObject(const NSObject* receiver);
    void stopReceivingEventId(EBEventId eventId, const NSObject* receiver);

    // Debug dumps, to standard output unless told otherwise.
    void eventsDescription(std::ostream& out = std::cout) const;
    void receiversDescription(std::ostream& out = std::cout) const;
    void eventsAndReceiversDescription(std::ostream& out = std::cout) const;

    // The registrations of an id in order, and the ids a receiver is listed
    // for (one entry per registration).
    std::vector<Ref<EBEventReceiver>> receiversForEvent(EBEventId eventId) const;
    std::vector<EBEventId> eventIdsForReceiver(const NSObject* receiver) const;
    bool hasEventList(EBEventId eventId) const;

    // Tests only: empties the tables and withdraws the process bus pointer,
    // as if the bus had never been used.
    static void resetForTesting();

private:
    EBEventful() = default;

    // Holds the tables' lock; registrations removed under it are released
    // after it is let go, so that whatever their blocks own (another
    // registration's token, say) may use the bus as it goes.
    class Locked;
    Ref<EBEventReceiver> addRegistration(EBEventId eventId, unsigned long triggerLimit,
        const Ref<NSObject>& receiver, EBEventSelector selector, EBEventBlock block);

    template <class T, class C> static EBEventSelector makeSelector(void (C::*selector)(const EBEvent&))
    {
        return [selector](NSObject& receiver, const EBEvent& event) {
            (static_cast<T&>(receiver).*selector)(event);
        };
    }

    static std::string keyFor(const NSObject* receiver);
    void removeDeadLocked() const;
    void removeRegistrationLocked(EBEventId eventId, const Ref<EBEventReceiver>&) const;
    void eraseLocked(std::vector<Ref<EBEventReceiver>>& list, const NSObject* receiver) const;

    mutable std::mutex m_mutex;
    // Event id -> registrations in registration order. An id keeps its
    // (possibly empty) list once registered for.
    mutable std::map<EBEventId, std::vector<Ref<EBEventReceiver>>> m_events;
    // "%p" of the receiver -> the ids it registered for, one per registration.
    mutable std::map<std::string, std::vector<EBEventId>> m_receivers;
    // Registrations removed under the lock, released once it is let go.
    mutable std::vector<Ref<EBEventReceiver>> m_released;
};

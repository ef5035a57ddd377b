// One registration on the bus: who receives which callback, and how often.
#pragma once

#include "model/EBEventId.h"

#include <foundation/NSObject.h>

#include <atomic>
#include <functional>
#include <limits>

class EBEvent;

// The limit of a registration that may fire any number of times (NSUIntegerMax).
inline constexpr unsigned long EBUnlimitedTriggers = std::numeric_limits<unsigned long>::max();

// A block registration's callback.
using EBEventBlock = std::function<void(const EBEvent&)>;
// A selector registration's callback: a member function of the receiver,
// sent to the receiver with the event.
using EBEventSelector = std::function<void(NSObject& receiver, const EBEvent&)>;

class EBEventReceiver : public NSObject {
public:
    EBEventReceiver(unsigned long triggerLimit, const Ref<NSObject>& object, EBEventSelector selector,
        EBEventBlock block);

    unsigned long triggerCount() const { return m_triggerCount.load(); }
    unsigned long triggerLimit() const { return m_triggerLimit; }
    // The receiver, or null once it has gone away: the bus holds it weakly.
    Ref<NSObject> object() const { return m_object.lock(); }
    // The receiver's identity, valid for comparison even after it went away.
    const NSObject* identity() const { return m_identity; }
    const EBEventSelector& selector() const { return m_selector; }
    const EBEventBlock& receiverBlock() const { return m_block; }

    std::string description() const override;

private:
    friend class EBEventful;

    std::atomic<unsigned long> m_triggerCount { 0 };
    unsigned long m_triggerLimit;
    Weak<NSObject> m_object;
    const NSObject* m_identity;
    EBEventSelector m_selector;
    EBEventBlock m_block;
    // Cleared, under the bus's lock, when the registration is removed, so
    // that a delivery already under way skips it.
    bool m_active { true };
};

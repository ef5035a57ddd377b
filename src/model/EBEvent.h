// One delivery of a bus event, made afresh for each registration it reaches.
#pragma once

#include "model/EBEventId.h"

#include <foundation/NSObject.h>
#include <foundation/Value.h>

class EBEvent : public NSObject {
public:
    EBEvent(EBEventId eventId, Ref<NSObject> sender, Value data, unsigned long triggerCount,
        unsigned long triggerLimit);

    EBEventId eventId() const { return m_eventId; }
    const Ref<NSObject>& sender() const { return m_sender; }
    // A dictionary, or nil when the event carries no data.
    const Value& data() const { return m_data; }
    // The receiving registration's count after this delivery: 1 on its first.
    unsigned long triggerCount() const { return m_triggerCount; }
    unsigned long triggerLimit() const { return m_triggerLimit; }

    std::string description() const override;

private:
    EBEventId m_eventId;
    Ref<NSObject> m_sender;
    Value m_data;
    unsigned long m_triggerCount;
    unsigned long m_triggerLimit;
};

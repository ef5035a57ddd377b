#include "model/EBEvent.h"

#include "model/EBEventReceiver.h"

#include <foundation/Format.h>

EBEvent::EBEvent(EBEventId eventId, Ref<NSObject> sender, Value data, unsigned long triggerCount,
    unsigned long triggerLimit)
    : m_eventId(eventId)
    , m_sender(std::move(sender))
    , m_data(std::move(data))
    , m_triggerCount(triggerCount)
    , m_triggerLimit(triggerLimit)
{
}

std::string EBEvent::description() const
{
    std::string text = stringWithFormat("<%@: ", className());
    text += stringWithFormat("eventId=%lu", m_eventId);
    text += stringWithFormat(", sender=%@", m_sender);
    text += stringWithFormat(", data=%@", m_data);
    text += stringWithFormat(", triggerCount=%lu", m_triggerCount);
    text += stringWithFormat(", triggerLimit=%lu%@", m_triggerLimit,
        m_triggerLimit == EBUnlimitedTriggers ? " (NSUIntegerMax)" : "");
    return text + ">";
}

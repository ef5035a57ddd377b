#include "model/EBEventReceiver.h"

#include <foundation/Format.h>

EBEventReceiver::EBEventReceiver(
    unsigned long triggerLimit, const Ref<NSObject>& object, EBEventSelector selector, EBEventBlock block)
    : m_triggerLimit(triggerLimit)
    , m_object(object)
    , m_identity(object.get())
    , m_selector(std::move(selector))
    , m_block(std::move(block))
{
}

std::string EBEventReceiver::description() const
{
    std::string text = stringWithFormat("<%@: ", className());
    text += stringWithFormat("triggerCount=%lu", triggerCount());
    text += stringWithFormat(", triggerLimit=%lu", m_triggerLimit);
    text += stringWithFormat(", object=%@", object());
    text += stringWithFormat(", selector=%p", m_selector ? static_cast<const void*>(&m_selector) : nullptr);
    text += stringWithFormat(", receiverBlock=%p", m_block ? static_cast<const void*>(&m_block) : nullptr);
    return text + ">";
}

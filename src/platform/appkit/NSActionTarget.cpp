#include "NSActionTarget.h"

bool NSActionTarget::performAction(const std::string& selector, const Ref<NSObject>& sender)
{
    auto it = m_actions.find(selector);
    if (it == m_actions.end() || !it->second)
        return false;
    // Copy: the handler may replace itself.
    Handler handler = it->second;
    handler(sender);
    return true;
}

void NSActionTarget::setActionHandler(const std::string& selector, Handler handler)
{
    if (handler)
        m_actions[selector] = std::move(handler);
    else
        m_actions.erase(selector);
}

NSActionTarget* NSActionTargetOf(NSObject* object) { return dynamic_cast<NSActionTarget*>(object); }

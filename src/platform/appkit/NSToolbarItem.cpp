#include "NSToolbarItem.h"

#include "NSActionTarget.h"
#include "NSApplication.h"
#include "NSToolbar.h"

#include <graphics/NSImage.h>

NSToolbarItem::NSToolbarItem(NSToolbarItemIdentifier identifier)
    : m_identifier(std::move(identifier))
{
}

void NSToolbarItem::validate()
{
    if (m_action.empty())
        return;
    if (auto target = this->target()) {
        auto answering = NSActionTargetOf(target.get());
        m_enabled = answering && answering->respondsToAction(m_action);
        return;
    }
    m_enabled = NSApp().targetForAction(m_action) || NSApp().respondsToAction(m_action);
}

bool NSToolbarItem::performClick()
{
    if (!m_enabled)
        return false;
    auto self = selfRef<NSToolbarItem>();
    if (m_toolbar && m_toolbar->isSelectable(m_identifier))
        m_toolbar->setSelectedItemIdentifier(m_identifier);
    bool sent = !m_action.empty() && NSApp().sendAction(m_action, target(), self);
    return sent || (m_toolbar && m_toolbar->isSelectable(m_identifier));
}

Value NSToolbarItem::valueForKey(const std::string& key) const
{
    if (key == "itemIdentifier")
        return Value(m_identifier);
    if (key == "label")
        return Value(m_label);
    return NSObject::valueForKey(key);
}

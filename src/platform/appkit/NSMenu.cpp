#include "NSMenu.h"

#include "NSApplication.h"

#include <foundation/Log.h>

#include <algorithm>

NSMenuItem::NSMenuItem(std::string title, std::string action, std::string keyEquivalent)
    : m_title(std::move(title))
    , m_action(std::move(action))
    , m_keyEquivalent(std::move(keyEquivalent))
{
}

Ref<NSMenuItem> NSMenuItem::separatorItem()
{
    auto item = makeRef<NSMenuItem>("", "", "");
    item->m_separator = true;
    item->m_enabled = false;
    item->m_keyEquivalentModifierMask = 0;
    return item;
}

void NSMenuItem::setSubmenu(const Ref<NSMenu>& submenu)
{
    if (m_submenu)
        m_submenu->setSupermenu(nullptr);
    m_submenu = submenu;
    if (m_submenu)
        m_submenu->setSupermenu(menu());
}

std::string NSMenuItem::description() const
{
    if (m_separator)
        return "<NSMenuItem separator>";
    return "<NSMenuItem " + m_title + (m_keyEquivalent.empty() ? "" : " key:" + m_keyEquivalent) + ">";
}

NSMenu::NSMenu(std::string title)
    : m_title(std::move(title))
{
}

Ref<NSMenuItem> NSMenu::itemAtIndex(long index) const
{
    if (index < 0 || index >= numberOfItems())
        return nullptr;
    return m_items[static_cast<size_t>(index)];
}

long NSMenu::indexOfItem(const Ref<NSMenuItem>& item) const
{
    auto it = std::find(m_items.begin(), m_items.end(), item);
    return it == m_items.end() ? -1 : static_cast<long>(it - m_items.begin());
}

Ref<NSMenuItem> NSMenu::itemWithTag(long tag) const
{
    for (const auto& item : m_items)
        if (item->tag() == tag)
            return item;
    return nullptr;
}

Ref<NSMenuItem> NSMenu::itemWithTitle(const std::string& title) const
{
    for (const auto& item : m_items)
        if (item->title() == title)
            return item;
    return nullptr;
}

void NSMenu::addItem(const Ref<NSMenuItem>& item) { insertItem(item, numberOfItems()); }

void NSMenu::insertItem(const Ref<NSMenuItem>& item, long atIndex)
{
    if (!item)
        return;
    if (item->menu()) {
        NSLog("NSMenu: the item \"%@\" is already in a menu and is not added to \"%@\"", item->title(), m_title);
        return;
    }
    if (atIndex < 0 || atIndex > numberOfItems()) {
        NSLog("NSMenu: index %ld is out of range for the menu \"%@\"", atIndex, m_title);
        return;
    }
    m_items.insert(m_items.begin() + atIndex, item);
    auto self = selfRef<NSMenu>();
    item->m_menu = self;
    if (item->submenu())
        item->submenu()->setSupermenu(self);
}

Ref<NSMenuItem> NSMenu::addItemWithTitle(const std::string& title, const std::string& action, const std::string& keyEquivalent)
{
    auto item = makeRef<NSMenuItem>(title, action, keyEquivalent);
    addItem(item);
    return item;
}

void NSMenu::removeItem(const Ref<NSMenuItem>& item)
{
    long index = indexOfItem(item);
    if (index >= 0)
        removeItemAtIndex(index);
}

void NSMenu::removeItemAtIndex(long index)
{
    auto item = itemAtIndex(index);
    if (!item)
        return;
    m_items.erase(m_items.begin() + index);
    item->m_menu.reset();
    if (item->submenu())
        item->submenu()->setSupermenu(nullptr);
}

void NSMenu::removeAllItems()
{
    while (!m_items.empty())
        removeItemAtIndex(numberOfItems() - 1);
}

bool NSMenu::performActionForItemAtIndex(long index)
{
    auto item = itemAtIndex(index);
    if (!item || item->isSeparatorItem() || !item->isEnabled() || item->action().empty())
        return false;
    return NSApp().sendAction(item->action(), item->target(), item);
}

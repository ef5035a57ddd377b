// A menu: an ordered list of items, some of them with submenus. An item is
// in at most one menu at a time.
#pragma once

#include "NSMenuItem.h"

#include <vector>

class NSMenu : public NSObject {
public:
    explicit NSMenu(std::string title = {});

    const std::string& title() const { return m_title; }
    void setTitle(std::string title) { m_title = std::move(title); }

    const std::vector<Ref<NSMenuItem>>& itemArray() const { return m_items; }
    long numberOfItems() const { return static_cast<long>(m_items.size()); }
    // Null when the index is out of range.
    Ref<NSMenuItem> itemAtIndex(long index) const;
    // -1 when the item is not in this menu.
    long indexOfItem(const Ref<NSMenuItem>& item) const;
    Ref<NSMenuItem> itemWithTag(long tag) const;
    Ref<NSMenuItem> itemWithTitle(const std::string& title) const;

    // An item that is already in a menu is refused with a log line.
    void addItem(const Ref<NSMenuItem>& item);
    void insertItem(const Ref<NSMenuItem>& item, long atIndex);
    Ref<NSMenuItem> addItemWithTitle(const std::string& title, const std::string& action, const std::string& keyEquivalent);
    void removeItem(const Ref<NSMenuItem>& item);
    void removeItemAtIndex(long index);
    void removeAllItems();

    // Chooses the item as a click would: an enabled item with an action
    // sends it to its target (or along the responder chain) with the item as
    // sender. False when nothing answered.
    bool performActionForItemAtIndex(long index);

    // The menu whose item has this menu as its submenu.
    Ref<NSMenu> supermenu() const { return m_supermenu.lock(); }
    void setSupermenu(const Ref<NSMenu>& supermenu) { m_supermenu = supermenu; }

    bool autoenablesItems() const { return m_autoenablesItems; }
    void setAutoenablesItems(bool flag) { m_autoenablesItems = flag; }

private:
    std::string m_title;
    std::vector<Ref<NSMenuItem>> m_items;
    Weak<NSMenu> m_supermenu;
    bool m_autoenablesItems { true };
};

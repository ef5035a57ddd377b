#include "NSToolbar.h"

#include "NSWindow.h"

#include <algorithm>

NSToolbar::NSToolbar(std::string identifier)
    : m_identifier(std::move(identifier))
{
}

NSToolbar::~NSToolbar()
{
    for (const auto& item : m_items)
        item->m_toolbar = nullptr;
}

Ref<NSToolbarItem> NSToolbar::makeItem(const NSToolbarItemIdentifier& identifier)
{
    if (identifier == NSToolbarFlexibleSpaceItemIdentifier || identifier == NSToolbarSpaceItemIdentifier
        || identifier == NSToolbarSeparatorItemIdentifier)
        return makeRef<NSToolbarItem>(identifier);
    // The delegate is held while it makes the item.
    auto delegateObject = m_delegate.lock();
    auto* delegate = dynamic_cast<NSToolbarDelegate*>(delegateObject.get());
    if (!delegate)
        return nullptr;
    return delegate->toolbarItemForItemIdentifier(*this, identifier, true);
}

void NSToolbar::loadItemsIfNeeded()
{
    if (m_loaded)
        return;
    auto delegateObject = m_delegate.lock();
    auto* delegate = dynamic_cast<NSToolbarDelegate*>(delegateObject.get());
    if (!delegate)
        return;
    m_loaded = true;
    for (const auto& identifier : delegate->toolbarDefaultItemIdentifiers(*this)) {
        if (auto item = makeItem(identifier)) {
            item->m_toolbar = this;
            m_items.push_back(item);
        }
    }
}

const std::vector<Ref<NSToolbarItem>>& NSToolbar::items()
{
    loadItemsIfNeeded();
    return m_items;
}

void NSToolbar::insertItemWithItemIdentifier(const NSToolbarItemIdentifier& identifier, size_t index)
{
    // The defaults come first, so that an insertion lands among them.
    loadItemsIfNeeded();
    auto item = makeItem(identifier);
    if (!item)
        return;
    item->m_toolbar = this;
    m_items.insert(m_items.begin() + std::min(index, m_items.size()), item);
    if (m_window)
        m_window->toolbarDidChange();
}

void NSToolbar::removeItemAtIndex(size_t index)
{
    loadItemsIfNeeded();
    if (index >= m_items.size())
        return;
    m_items[index]->m_toolbar = nullptr;
    m_items.erase(m_items.begin() + index);
    if (m_window)
        m_window->toolbarDidChange();
}

void NSToolbar::validateVisibleItems()
{
    auto items = visibleItems();
    for (const auto& item : items)
        item->validate();
}

void NSToolbar::setSelectedItemIdentifier(const NSToolbarItemIdentifier& identifier)
{
    if (identifier == m_selected)
        return;
    willChangeValueForKey("selectedItemIdentifier");
    m_selected = identifier;
    didChangeValueForKey("selectedItemIdentifier");
    if (m_window)
        m_window->toolbarDidChange();
}

bool NSToolbar::isSelectable(const NSToolbarItemIdentifier& identifier)
{
    auto delegateObject = m_delegate.lock();
    auto* delegate = dynamic_cast<NSToolbarDelegate*>(delegateObject.get());
    if (!delegate)
        return false;
    auto selectable = delegate->toolbarSelectableItemIdentifiers(*this);
    return std::find(selectable.begin(), selectable.end(), identifier) != selectable.end();
}

Value NSToolbar::valueForKey(const std::string& key) const
{
    if (key == "identifier")
        return Value(m_identifier);
    if (key == "selectedItemIdentifier")
        return Value(m_selected);
    return NSObject::valueForKey(key);
}

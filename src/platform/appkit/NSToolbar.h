// A window's toolbar. Its delegate names the items (allowed, default and
// selectable identifiers) and makes each one; the toolbar fills itself with
// the default items the first time they are needed (when it is put on a
// window, or asked for its items). Space and separator items are made by
// the toolbar itself. The window draws its toolbar in a strip above the
// content (NSWindow::toolbarItemFrames); windows have no title bar here.
#pragma once

#include "NSToolbarItem.h"

#include <foundation/NSObject.h>

#include <vector>

class NSToolbar;
class NSWindow;

enum class NSToolbarDisplayMode { Default = 0, IconAndLabel = 1, IconOnly = 2, LabelOnly = 3 };

// What a toolbar's delegate may answer; a delegate that is not one of these
// makes no items.
class NSToolbarDelegate {
public:
    virtual ~NSToolbarDelegate() = default;
    // toolbar:itemForItemIdentifier:willBeInsertedIntoToolbar:. Null: no item.
    virtual Ref<NSToolbarItem> toolbarItemForItemIdentifier(
        NSToolbar& toolbar, const NSToolbarItemIdentifier& identifier, bool willBeInsertedIntoToolbar)
        = 0;
    virtual std::vector<NSToolbarItemIdentifier> toolbarAllowedItemIdentifiers(NSToolbar&) { return {}; }
    virtual std::vector<NSToolbarItemIdentifier> toolbarDefaultItemIdentifiers(NSToolbar&) { return {}; }
    // Items that stay highlighted once clicked, as the pages of a window.
    virtual std::vector<NSToolbarItemIdentifier> toolbarSelectableItemIdentifiers(NSToolbar&) { return {}; }
};

class NSToolbar : public NSObject {
public:
    // initWithIdentifier:.
    explicit NSToolbar(std::string identifier);
    ~NSToolbar() override;

    const std::string& identifier() const { return m_identifier; }
    Ref<NSObject> delegate() const { return m_delegate.lock(); }
    void setDelegate(const Ref<NSObject>& delegate) { m_delegate = delegate; }
    // The window showing the toolbar, or null.
    NSWindow* window() const { return m_window; }

    // The items, in order; the first request fills a toolbar that has a
    // delegate with its default items.
    const std::vector<Ref<NSToolbarItem>>& items();
    // Every item shows: a toolbar here never overflows.
    const std::vector<Ref<NSToolbarItem>>& visibleItems() { return items(); }
    // Asks the delegate for the item and inserts it at the index (at the
    // end when the index is past it). Nothing happens without an item.
    void insertItemWithItemIdentifier(const NSToolbarItemIdentifier& identifier, size_t index);
    void removeItemAtIndex(size_t index);
    // Validates every visible item (NSToolbarItem::validate).
    void validateVisibleItems();

    // The identifier of the highlighted item, or empty.
    const NSToolbarItemIdentifier& selectedItemIdentifier() const { return m_selected; }
    void setSelectedItemIdentifier(const NSToolbarItemIdentifier& identifier);
    // Whether the delegate names the identifier among the selectable ones.
    bool isSelectable(const NSToolbarItemIdentifier& identifier);

    NSToolbarDisplayMode displayMode() const { return m_displayMode; }
    void setDisplayMode(NSToolbarDisplayMode mode) { m_displayMode = mode; }
    bool allowsUserCustomization() const { return m_allowsUserCustomization; }
    void setAllowsUserCustomization(bool flag) { m_allowsUserCustomization = flag; }

    // Key-value coding ("identifier", "selectedItemIdentifier").
    Value valueForKey(const std::string& key) const override;

private:
    friend class NSWindow;
    void setWindow(NSWindow* window) { m_window = window; }
    void loadItemsIfNeeded();
    Ref<NSToolbarItem> makeItem(const NSToolbarItemIdentifier& identifier);

    std::string m_identifier;
    Weak<NSObject> m_delegate;
    NSWindow* m_window { nullptr };
    std::vector<Ref<NSToolbarItem>> m_items;
    NSToolbarItemIdentifier m_selected;
    NSToolbarDisplayMode m_displayMode { NSToolbarDisplayMode::Default };
    bool m_allowsUserCustomization { false };
    bool m_loaded { false };
};

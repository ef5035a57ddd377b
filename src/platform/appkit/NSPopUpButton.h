// Pop-up buttons: a button showing the chosen item of a list. A click opens
// the list as a menu window of its own below the button (drawn as every
// menu is, the chosen item highlighted); choosing an item with the pointer
// or with the arrows and Return selects it, writes the "selectedIndex"
// binding back and sends the action. Escape or a click elsewhere closes
// the list without a choice.
#pragma once

#include "NSButton.h"
#include "NSMenu.h"
#include "NSMenuWindow.h"

#include <string>
#include <vector>

class NSPopUpButton : public NSButton {
public:
    explicit NSPopUpButton(CGRect frame = CGRectZero, bool pullsDown = false);

    const Ref<NSMenu>& menu() const { return m_menu; }
    long numberOfItems() const { return m_menu->numberOfItems(); }
    std::vector<std::string> itemTitles() const;
    void addItemWithTitle(const std::string& title);
    void addItemsWithTitles(const std::vector<std::string>& titles);
    void removeAllItems();

    // -1 when no item is selected.
    long indexOfSelectedItem() const { return m_selectedIndex; }
    std::string titleOfSelectedItem() const;
    // An index that names no item selects none (the button shows no title).
    void selectItemAtIndex(long index);
    void selectItemWithTitle(const std::string& title);

    // The list opened by the last click, while it is open.
    static Ref<NSPopUpButton> openPopUp();
    bool isOpen() const;
    // The open list's window; null while it is closed.
    Ref<NSMenuWindow> menuWindow() const;
    // Chooses an item of the open list as a person would; false when the
    // list is closed or no item has the index or title.
    bool chooseItemAtIndex(long index);
    bool chooseItemWithTitle(const std::string& title);
    // Closes the list without a choice.
    void dismiss();

    void performClick(const Ref<NSObject>& sender);
    void mouseUp(const Ref<NSEvent>& event) override;
    void drawRect(CGRect dirtyRect) override;
    CGSize intrinsicContentSize() const override;

    Value valueForKey(const std::string& key) const override;
    void setValueForKey(const Value& value, const std::string& key) override;

protected:
    void setValueForBinding(const Value& value, const std::string& binding) override;

private:
    void showSelection();
    // `whileOpen`: only while the list is open (a choice from the menu
    // window comes after it has closed).
    bool chooseItemAtIndex(long index, bool whileOpen);

    Ref<NSMenu> m_menu;
    Ref<NSMenuWindow> m_menuWindow;
    long m_selectedIndex { -1 };
    bool m_pullsDown;
};

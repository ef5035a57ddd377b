// Pop-up buttons: a button showing the chosen item of a list. A click opens
// the list; choosing an item selects it, writes the "selectedIndex" binding
// back and sends the action. Here an open list draws nothing of its own:
// whoever plays the person (a test, a session) chooses from it by index or
// title while it is open.
#pragma once

#include "NSButton.h"
#include "NSMenu.h"

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

    Ref<NSMenu> m_menu;
    long m_selectedIndex { -1 };
    bool m_pullsDown;
};

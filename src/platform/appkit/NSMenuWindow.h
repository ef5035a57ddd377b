// A menu on the screen: a window of this process above the others that
// draws the menu's items one under the other (separators as lines, disabled
// items dimmed), highlights the item under the pointer and chooses an
// enabled item on a click (NSMenu::performActionForItemAtIndex, after the
// menu has closed). A click anywhere else, or Escape, closes it without a
// choice. One menu is open at a time; opening another closes the first.
#pragma once

#include "NSMenu.h"

#include <foundation/CGGeometry.h>
#include <foundation/Token.h>

#include <functional>

class NSWindow;

class NSMenuWindow final : public NSObject {
public:
    // Opens the menu below (or, where the screen ends, above) a rectangle
    // in screen coordinates (bottom-left origin), such as a status item's
    // window, kept inside that rectangle's screen.
    // The menu is at least `minimumWidth` wide (a pop-up button's list is
    // as wide as the button).
    static Ref<NSMenuWindow> popUpBelowRect(const Ref<NSMenu>& menu, CGRect anchor, CGFloat minimumWidth = kMinimumWidth);
    // The open menu, or null.
    static Ref<NSMenuWindow> current();

    const Ref<NSMenu>& menu() const { return m_menu; }
    const Ref<NSWindow>& window() const { return m_window; }
    bool isOpen() const { return m_open; }
    void close();
    // Called once when the menu closes, chosen from or not.
    void setCloseHandler(std::function<void()> handler) { m_closeHandler = std::move(handler); }
    // Called with the index of the chosen item, after the menu has closed,
    // in place of the item's action (a pop-up button's list).
    void setChoiceHandler(std::function<void(long)> handler) { m_choiceHandler = std::move(handler); }

    // Where an item is drawn, in screen coordinates; a null rectangle for
    // an index out of range.
    CGRect screenRectOfItemAtIndex(long index) const;
    // The highlighted item, -1 for none; only an enabled item can be.
    long highlightedIndex() const { return m_highlighted; }
    void setHighlighted(long index);

    // Row heights and margins, in points.
    static constexpr CGFloat kItemHeight = 22;
    static constexpr CGFloat kSeparatorHeight = 11;
    static constexpr CGFloat kMargin = 4;
    static constexpr CGFloat kTextInset = 20;
    static constexpr CGFloat kMinimumWidth = 160;

    explicit NSMenuWindow(Ref<NSMenu> menu);
    ~NSMenuWindow() override;

private:
    friend class NSMenuView;
    // Item rectangles in the window's flipped content coordinates.
    std::vector<CGRect> m_rows;
    long indexAtPoint(CGPoint screenPoint) const;
    void choose(long index);
    Ref<NSEvent> monitor(const Ref<NSEvent>& event);

    Ref<NSMenu> m_menu;
    Ref<NSWindow> m_window;
    Token m_monitor;
    std::function<void()> m_closeHandler;
    std::function<void(long)> m_choiceHandler;
    long m_highlighted { -1 };
    bool m_open { false };
};

// The system status bar and its items. The bar keeps its items, their
// images and menus. Where the desktop has a status area of its own (a
// system tray, Desktop::hasStatusArea) each item is shown there in a small
// window of this process that draws the item's image (or title); a click
// on it opens the item's menu (NSMenuWindow). Elsewhere nothing is drawn.
#pragma once

#include "NSView.h"

#include <foundation/NSObject.h>

#include <string>
#include <vector>

class NSImage;
class NSMenu;
class NSMenuWindow;
class NSStatusBar;
class NSStatusItem;
class NSWindow;

inline constexpr double NSVariableStatusItemLength = -1;
inline constexpr double NSSquareStatusItemLength = -2;

// What a status item shows in the status area: its image centred (or its
// title), highlighted while its menu is open. A press opens the menu.
class NSStatusBarButton final : public NSView {
public:
    explicit NSStatusBarButton(NSStatusItem* item);
    bool isFlipped() const override { return true; }
    void drawRect(CGRect dirtyRect) override;
    void mouseDown(const Ref<NSEvent>& event) override;
    void rightMouseDown(const Ref<NSEvent>& event) override;
    void detach() { m_item = nullptr; }

private:
    NSStatusItem* m_item;
};

class NSStatusItem final : public NSObject {
public:
    ~NSStatusItem() override;

    double length() const { return m_length; }
    const Ref<NSImage>& image() const { return m_image; }
    void setImage(Ref<NSImage> image);
    bool highlightMode() const { return m_highlightMode; }
    void setHighlightMode(bool flag) { m_highlightMode = flag; }
    const Ref<NSMenu>& menu() const { return m_menu; }
    void setMenu(Ref<NSMenu> menu) { m_menu = std::move(menu); }
    const std::string& title() const { return m_title; }
    void setTitle(std::string title);

    // Opens the menu under the item (where the item is shown); it stays
    // open until an item is chosen or a click elsewhere closes it.
    void popUpStatusItemMenu(const Ref<NSMenu>& menu);
    // The window that shows the item in the desktop's status area; null
    // where the desktop has none.
    const Ref<NSWindow>& window() const { return m_window; }
    // Whether the item's menu is open, which the button shows.
    bool isMenuOpen() const;

    explicit NSStatusItem(double length)
        : m_length(length)
    {
    }

private:
    friend class NSStatusBar;
    void show();
    // The width the item takes in the status area.
    double displayWidth() const;
    void redisplay();

    double m_length;
    Ref<NSImage> m_image;
    Ref<NSMenu> m_menu;
    std::string m_title;
    bool m_highlightMode { false };
    Ref<NSWindow> m_window;
    Ref<NSStatusBarButton> m_button;
    Weak<NSMenuWindow> m_openMenu;
};

class NSStatusBar final : public NSObject {
public:
    static NSStatusBar& systemStatusBar();

    // The height of the bar, and of each item's window, in points.
    static constexpr double kThickness = 22;
    double thickness() const { return kThickness; }

    // A new item at the end of the bar. The bar does not own it: the item
    // leaves the bar when the last reference to it goes.
    Ref<NSStatusItem> statusItemWithLength(double length);
    void removeStatusItem(const Ref<NSStatusItem>& item);
    // The items on the bar, in order.
    std::vector<Ref<NSStatusItem>> items() const;

private:
    friend class NSStatusItem;
    void forget(const NSStatusItem* item);
    std::vector<Weak<NSStatusItem>> m_items;
};

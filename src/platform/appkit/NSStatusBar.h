// The system status bar and its items. The bar itself is not drawn here; it
// keeps its items, their images and menus, for the system and its tests.
#pragma once

#include <foundation/NSObject.h>

#include <string>
#include <vector>

class NSImage;
class NSMenu;
class NSStatusBar;

inline constexpr double NSVariableStatusItemLength = -1;
inline constexpr double NSSquareStatusItemLength = -2;

class NSStatusItem final : public NSObject {
public:
    ~NSStatusItem() override;

    double length() const { return m_length; }
    const Ref<NSImage>& image() const { return m_image; }
    void setImage(Ref<NSImage> image) { m_image = std::move(image); }
    bool highlightMode() const { return m_highlightMode; }
    void setHighlightMode(bool flag) { m_highlightMode = flag; }
    const Ref<NSMenu>& menu() const { return m_menu; }
    void setMenu(Ref<NSMenu> menu) { m_menu = std::move(menu); }
    const std::string& title() const { return m_title; }
    void setTitle(std::string title) { m_title = std::move(title); }

    explicit NSStatusItem(double length)
        : m_length(length)
    {
    }

private:
    double m_length;
    Ref<NSImage> m_image;
    Ref<NSMenu> m_menu;
    std::string m_title;
    bool m_highlightMode { false };
};

class NSStatusBar final : public NSObject {
public:
    static NSStatusBar& systemStatusBar();

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

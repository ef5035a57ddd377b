// A menu item: its title, the action it sends (a selector name) and to
// which target, its key equivalent with the modifier keys it needs, and an
// optional submenu. A separator item is an item of its own kind.
#pragma once

#include "NSActionTarget.h"
#include "NSEvent.h"

#include <foundation/NSObject.h>

#include <string>

class NSMenu;

// An item answers action messages itself when given handlers, so that it can
// be its own target.
class NSMenuItem : public NSObject, public NSActionTarget {
public:
    // initWithTitle:action:keyEquivalent:. The modifier mask starts as
    // Command, as on the platform.
    NSMenuItem(std::string title, std::string action, std::string keyEquivalent);
    static Ref<NSMenuItem> separatorItem();

    const std::string& title() const { return m_title; }
    void setTitle(std::string title) { m_title = std::move(title); }
    // The selector name; empty for none.
    const std::string& action() const { return m_action; }
    void setAction(std::string action) { m_action = std::move(action); }
    // Null sends the action along the responder chain.
    Ref<NSObject> target() const { return m_target.lock(); }
    void setTarget(const Ref<NSObject>& target) { m_target = target; }
    // The key that chooses the item, as the text the key types; an upper-case
    // letter implies Shift.
    const std::string& keyEquivalent() const { return m_keyEquivalent; }
    void setKeyEquivalent(std::string keyEquivalent) { m_keyEquivalent = std::move(keyEquivalent); }
    NSEventModifierFlags keyEquivalentModifierMask() const { return m_keyEquivalentModifierMask; }
    void setKeyEquivalentModifierMask(NSEventModifierFlags mask) { m_keyEquivalentModifierMask = mask; }

    const Ref<NSMenu>& submenu() const { return m_submenu; }
    // The submenu's supermenu becomes this item's menu.
    void setSubmenu(const Ref<NSMenu>& submenu);
    bool hasSubmenu() const { return m_submenu != nullptr; }
    bool isSeparatorItem() const { return m_separator; }

    long tag() const { return m_tag; }
    void setTag(long tag) { m_tag = tag; }
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled) { m_enabled = enabled; }

    // The menu the item is in; null when it is in none.
    Ref<NSMenu> menu() const { return m_menu.lock(); }

    std::string description() const override;

private:
    friend class NSMenu;
    std::string m_title;
    std::string m_action;
    Weak<NSObject> m_target;
    std::string m_keyEquivalent;
    NSEventModifierFlags m_keyEquivalentModifierMask { NSEventModifierFlagCommand };
    Ref<NSMenu> m_submenu;
    bool m_separator { false };
    long m_tag { 0 };
    bool m_enabled { true };
    Weak<NSMenu> m_menu;
};

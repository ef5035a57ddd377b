// Whether a recorded shortcut may be used at all, and whether a system-wide
// keyboard shortcut or a key equivalent of the application's menus has it
// already.
#pragma once

#include "KSShortcut.h"

#include <appkit/NSMenu.h>

#include <atomic>

class KSShortcutValidator : public NSObject {
public:
    static Ref<KSShortcutValidator> sharedValidator();

    // When YES, any key with Option (without Command or Control) is valid.
    bool allowAnyShortcutWithOptionModifier() const { return m_allowAnyShortcutWithOptionModifier; }
    void setAllowAnyShortcutWithOptionModifier(bool allow) { m_allowAnyShortcutWithOptionModifier = allow; }

    // Function keys with any modifiers or none; other keys need Command or
    // Control, or Option with Space or Escape (or with any key, see above).
    virtual bool isShortcutValid(const Ref<KSShortcut>& shortcut) const;
    // An enabled symbolic hot key of the system with the same key and
    // modifiers, or else a key equivalent of the main menu. The explanation,
    // when asked for, says which.
    virtual bool isShortcutAlreadyTakenBySystem(const Ref<KSShortcut>& shortcut, std::string* explanation) const;
    // A menu item, searched depth-first, whose key equivalent and modifiers
    // are the shortcut's. Items without a key equivalent take no shortcut.
    bool isShortcut(const Ref<KSShortcut>& shortcut, const Ref<NSMenu>& alreadyTakenInMenu, std::string* explanation) const;

private:
    bool takenInMenu(const NSMenu& menu, const std::string& keyEquivalent, uint64_t flags, std::string* explanation) const;

    std::atomic<bool> m_allowAnyShortcutWithOptionModifier { false };
};

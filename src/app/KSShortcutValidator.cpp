#include "KSShortcutValidator.h"

#include "ShortcutKitText.h"

#include <appkit/NSApplicationMainMenu.h>
#include <appkit/NSEvent.h>
#include <foundation/Format.h>
#include <services/CarbonEvents.h>

#include <mutex>

namespace {

constexpr uint64_t kShiftFlag = NSEventModifierFlagShift;
constexpr uint64_t kControlFlag = NSEventModifierFlagControl;
constexpr uint64_t kOptionFlag = NSEventModifierFlagOption;
constexpr uint64_t kCommandFlag = NSEventModifierFlagCommand;

}

Ref<KSShortcutValidator> KSShortcutValidator::sharedValidator()
{
    static std::once_flag once;
    static Ref<KSShortcutValidator>* shared = nullptr;
    std::call_once(once, [] { shared = new Ref<KSShortcutValidator>(makeRef<KSShortcutValidator>()); });
    return *shared;
}

bool KSShortcutValidator::isShortcutValid(const Ref<KSShortcut>& shortcut) const
{
    if (!shortcut)
        return false;
    int64_t keyCode = shortcut->keyCode();
    uint64_t flags = shortcut->modifierFlags();
    for (int64_t functionKey : kVK_FunctionKeys)
        if (keyCode == functionKey)
            return true;
    if (!flags)
        return false;
    if (flags & (kCommandFlag | kControlFlag))
        return true;
    if (!(flags & kOptionFlag))
        return false;
    return keyCode == kVK_Space || keyCode == kVK_Escape || allowAnyShortcutWithOptionModifier();
}

bool KSShortcutValidator::isShortcutAlreadyTakenBySystem(const Ref<KSShortcut>& shortcut, std::string* explanation) const
{
    if (!shortcut)
        return false;
    Value hotKeys;
    if (CopySymbolicHotKeys(&hotKeys) == noErr) {
        for (size_t i = 0; i < hotKeys.count(); ++i) {
            const Value& entry = hotKeys.at(i);
            if (entry[kHISymbolicHotKeyCode].integerValue() != shortcut->keyCode())
                continue;
            if (entry[kHISymbolicHotKeyModifiers].integerValue() != static_cast<int64_t>(shortcut->carbonFlags()))
                continue;
            if (!entry[kHISymbolicHotKeyEnabled].boolValue())
                continue;
            if (explanation)
                *explanation = ShortcutKitLocalizedString(
                    "This combination cannot be used because it is already used by a system-wide keyboard shortcut.\n"
                    "If you really want to use this key combination, most shortcuts can be changed in the Keyboard & "
                    "Mouse panel in System Preferences.",
                    "Message for alert when shortcut is already used by the system");
            return true;
        }
    }
    return isShortcut(shortcut, mainMenu(NSApplication::sharedApplication()), explanation);
}

bool KSShortcutValidator::isShortcut(
    const Ref<KSShortcut>& shortcut, const Ref<NSMenu>& alreadyTakenInMenu, std::string* explanation) const
{
    if (!shortcut || !alreadyTakenInMenu)
        return false;
    return takenInMenu(*alreadyTakenInMenu, shortcut->keyCodeStringForKeyEquivalent(), shortcut->modifierFlags(),
        explanation);
}

bool KSShortcutValidator::takenInMenu(
    const NSMenu& menu, const std::string& keyEquivalent, uint64_t flags, std::string* explanation) const
{
    for (const auto& item : menu.itemArray()) {
        if (item->hasSubmenu() && takenInMenu(*item->submenu(), keyEquivalent, flags, explanation))
            return true;
        // An item without a key equivalent is chosen by no key, and a key
        // without a key-equivalent form chooses no item.
        const std::string& itemKey = item->keyEquivalent();
        if (itemKey.empty() || keyEquivalent.empty())
            continue;
        std::string lowered = ShortcutKitText::lowercase(itemKey);
        if (lowered != keyEquivalent)
            continue;
        uint64_t itemFlags = item->keyEquivalentModifierMask();
        if (itemKey != lowered)
            itemFlags |= kShiftFlag;
        if ((itemFlags & KSShortcut::kModifierFlagsMask) != flags)
            continue;
        if (explanation) {
            std::string format = ShortcutKitLocalizedString(
                "This shortcut cannot be used because it is already used by the menu item \u2018%@\u2019.",
                "Message for alert when shortcut is already used");
            *explanation = stringWithFormat(format.c_str(), item->title());
        }
        return true;
    }
    return false;
}

// One registered system-wide hot key and the action it runs. Keeping the
// object alive keeps the registration: releasing it unregisters.
#pragma once

#include "KSShortcut.h"

#include <services/CarbonEvents.h>

#include <functional>

class KSHotKey : public NSObject {
public:
    // The signature of every hot key the kit registers: 'KSHK'.
    static constexpr OSType kSignature = FourCharCode("KSHK");

    // The hot key of the shortcut, registered; null when the system refuses
    // it (the combination is taken, or the shortcut has no key).
    // Null when the system refuses; its status goes to `status` when given.
    static Ref<KSHotKey> registeredHotKeyWithShortcut(const Ref<KSShortcut>& shortcut, OSStatus* status = nullptr);
    ~KSHotKey() override;

    // Unique in the process: a counter increased before every registration
    // attempt, so identifiers are never reused.
    uint32_t carbonID() const { return m_carbonID; }
    const std::function<void()>& action() const { return m_action; }
    void setAction(std::function<void()> action) { m_action = std::move(action); }
    // Null once unregistered.
    const EventHotKeyRef& hotKeyRef() const { return m_hotKeyRef; }
    // Gives the combination back to the system; the object keeps its
    // identifier and action.
    void unregisterHotKey();

    KSHotKey() = default;

private:
    uint32_t m_carbonID { 0 };
    std::function<void()> m_action;
    EventHotKeyRef m_hotKeyRef;
};

// The process-wide registry of the kit's hot keys, with the one Carbon
// handler that runs their actions.
#pragma once

#include "KSHotKey.h"

#include <vector>

class KSShortcutMonitor : public NSObject {
public:
    // Null when the handler cannot be installed.
    static Ref<KSShortcutMonitor> sharedMonitor();
    ~KSShortcutMonitor() override;

    // Registers a hot key for the shortcut that runs the action on the main
    // queue. NO, with nothing stored, when the system refuses the
    // combination (one the process has already, or a shortcut without a key).
    // False when the system refuses the hot key; its status goes to `status`
    // when given (paramErr for a shortcut without a key).
    bool registerShortcut(const Ref<KSShortcut>& shortcut, std::function<void()> withAction, OSStatus* status = nullptr);
    // Equal shortcuts address the same entry. Null does nothing.
    void unregisterShortcut(const Ref<KSShortcut>& shortcut);
    void unregisterAllShortcuts();
    bool isShortcutRegistered(const Ref<KSShortcut>& shortcut) const;

    // A hot-key event: when it is one of the kit's hot keys, its action is
    // queued on the main queue and the event is handled (noErr); any other
    // event is passed on (eventNotHandledErr) to the next handler.
    OSStatus handleEvent(const EventRef& event);

    // While a shortcut recorder records, the hot keys are given back to the
    // system so that their combinations reach the recorder instead of
    // running their actions; shortcuts registered meanwhile are checked with
    // the system and held back too. Resuming registers them all again (one
    // the system refuses then is logged and dropped).
    void setSuspended(bool flag);
    bool isSuspended() const { return m_suspended; }

    const EventHandlerRef& eventHandlerRef() const { return m_eventHandlerRef; }
    // The registered hot keys, in registration order.
    std::vector<Ref<KSHotKey>> hotKeys() const;

    KSShortcutMonitor() = default;

private:
    bool installHandler();

    EventHandlerRef m_eventHandlerRef;
    bool m_suspended { false };
    std::vector<std::pair<Ref<KSShortcut>, Ref<KSHotKey>>> m_hotKeys;
};

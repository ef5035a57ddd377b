#include "KSShortcutMonitor.h"

#include <foundation/Dispatch.h>
#include <foundation/Log.h>

#include <algorithm>
#include <mutex>

namespace {

OSStatus monitorHandler(EventHandlerCallRef, EventRef event, void* userData)
{
    auto* monitor = static_cast<KSShortcutMonitor*>(userData);
    return monitor ? monitor->handleEvent(event) : eventNotHandledErr;
}

}

Ref<KSShortcutMonitor> KSShortcutMonitor::sharedMonitor()
{
    static std::once_flag once;
    static Ref<KSShortcutMonitor>* shared = nullptr;
    std::call_once(once, [] {
        auto monitor = makeRef<KSShortcutMonitor>();
        shared = new Ref<KSShortcutMonitor>(monitor->installHandler() ? monitor : nullptr);
    });
    return *shared;
}

bool KSShortcutMonitor::installHandler()
{
    const EventTypeSpec hotKeyPressed { kEventClassKeyboard, kEventHotKeyPressed };
    return InstallEventHandler(GetEventDispatcherTarget(), NewEventHandlerUPP(monitorHandler), 1, &hotKeyPressed,
               this, &m_eventHandlerRef)
        == noErr;
}

KSShortcutMonitor::~KSShortcutMonitor()
{
    if (m_eventHandlerRef)
        RemoveEventHandler(m_eventHandlerRef);
}

bool KSShortcutMonitor::registerShortcut(const Ref<KSShortcut>& shortcut, std::function<void()> withAction, OSStatus* status)
{
    auto hotKey = KSHotKey::registeredHotKeyWithShortcut(shortcut, status);
    if (!hotKey)
        return false;
    hotKey->setAction(std::move(withAction));
    if (m_suspended)
        hotKey->unregisterHotKey();
    auto entry = std::find_if(m_hotKeys.begin(), m_hotKeys.end(), [&](const auto& e) { return e.first->isEqual(shortcut.get()); });
    if (entry != m_hotKeys.end())
        entry->second = hotKey;
    else
        m_hotKeys.emplace_back(shortcut->copy(), hotKey);
    return true;
}

void KSShortcutMonitor::unregisterShortcut(const Ref<KSShortcut>& shortcut)
{
    if (!shortcut)
        return;
    // Dropping the hot key unregisters it.
    std::erase_if(m_hotKeys, [&](const auto& e) { return e.first->isEqual(shortcut.get()); });
}

void KSShortcutMonitor::unregisterAllShortcuts() { m_hotKeys.clear(); }

bool KSShortcutMonitor::isShortcutRegistered(const Ref<KSShortcut>& shortcut) const
{
    return shortcut
        && std::any_of(m_hotKeys.begin(), m_hotKeys.end(), [&](const auto& e) { return e.first->isEqual(shortcut.get()); });
}

void KSShortcutMonitor::setSuspended(bool flag)
{
    if (m_suspended == flag)
        return;
    m_suspended = flag;
    if (flag) {
        for (const auto& [shortcut, hotKey] : m_hotKeys)
            hotKey->unregisterHotKey();
        return;
    }
    std::erase_if(m_hotKeys, [](auto& entry) {
        OSStatus status = noErr;
        auto again = KSHotKey::registeredHotKeyWithShortcut(entry.first, &status);
        if (!again) {
            NSLog("The hotkey %@ could not be registered again after recording a shortcut (%d)",
                entry.first->description(), static_cast<int>(status));
            return true;
        }
        again->setAction(entry.second->action());
        entry.second = again;
        return false;
    });
}

std::vector<Ref<KSHotKey>> KSShortcutMonitor::hotKeys() const
{
    std::vector<Ref<KSHotKey>> result;
    for (const auto& [shortcut, hotKey] : m_hotKeys)
        result.push_back(hotKey);
    return result;
}

OSStatus KSShortcutMonitor::handleEvent(const EventRef& event)
{
    // Other hot keys share the dispatcher target; their events go on to
    // their own handlers.
    if (GetEventClass(event) != kEventClassKeyboard)
        return eventNotHandledErr;
    EventHotKeyID identifier {};
    if (GetEventParameter(event, kEventParamDirectObject, typeEventHotKeyID, nullptr, sizeof identifier, nullptr,
            &identifier)
            != noErr
        || identifier.signature != KSHotKey::kSignature)
        return eventNotHandledErr;
    for (const auto& [shortcut, hotKey] : m_hotKeys) {
        if (hotKey->carbonID() != identifier.id)
            continue;
        if (auto action = hotKey->action())
            dispatch_async(dispatch_get_main_queue(), std::move(action));
        return noErr;
    }
    return eventNotHandledErr;
}

#include "KSHotKey.h"

#include <atomic>

namespace {
std::atomic<uint32_t> gLastCarbonID { 0 };
}

Ref<KSHotKey> KSHotKey::registeredHotKeyWithShortcut(const Ref<KSShortcut>& shortcut, OSStatus* status)
{
    OSStatus ignored = noErr;
    if (!status) status = &ignored;
    // A shortcut without a key has the Carbon key code 0, which is the A key;
    // registering it would take A.
    if (!shortcut || shortcut->keyCode() == NSNotFound) {
        *status = paramErr;
        return nullptr;
    }
    auto hotKey = makeRef<KSHotKey>();
    hotKey->m_carbonID = ++gLastCarbonID;
    EventHotKeyID identifier { kSignature, hotKey->m_carbonID };
    *status = RegisterEventHotKey(shortcut->carbonKeyCode(), shortcut->carbonFlags(), identifier,
        GetEventDispatcherTarget(), 0, &hotKey->m_hotKeyRef);
    if (*status != noErr)
        return nullptr;
    return hotKey;
}

KSHotKey::~KSHotKey() { unregisterHotKey(); }

void KSHotKey::unregisterHotKey()
{
    if (m_hotKeyRef) {
        UnregisterEventHotKey(m_hotKeyRef);
        m_hotKeyRef = nullptr;
    }
}

// A global hot key bound by a script: new Key(key, modifiers, callback).
// The callback runs as callback(handler, repeated) on the press and, while
// the key is held, after the key-repeat delay and then at every key-repeat
// interval.
#pragma once

#include "DRHandler.h"

#include <foundation/NSTimer.h>
#include <foundation/NSNotificationCenter.h>
#include <services/CarbonEvents.h>

#include <string>
#include <vector>

inline const std::string DRKeyHandlerKeyDownNotification = "DRKeyHandlerKeyDownNotification";
inline const std::string DRKeyHandlerKeyUpNotification = "DRKeyHandlerKeyUpNotification";
inline const std::string DRKeyHandlerWillEnableNotification = "DRKeyHandlerWillEnableNotification";
inline const std::string DRKeyHandlerIdentifier = "DRKeyHandlerIdentifier";
// The signature of the hot keys the handlers register.
inline constexpr OSType kDRKeyHandlerSignature = FourCharCode("FNIX");

class DRKeyHandler : public DRHandler {
public:
    // initWithKey:modifiers:callback:.
    static Ref<DRKeyHandler> create(const std::string& key, const std::vector<std::string>& modifiers, JSValue callback);
    DRKeyHandler(const std::string& key, const std::vector<std::string>& modifiers, const JSValue& callback);
    ~DRKeyHandler() override;

    bool isEnabled() const { return m_enabled; }
    // Registers the hot key; YES when registered (also when it already was).
    bool enable();
    // Unregisters it; YES when unregistered (also when it was not).
    bool disable();

    std::string key() const { return m_key; }
    std::vector<std::string> modifiers() const { return m_modifiers; }
    uint32_t identifier() const { return m_identifier; }
    uint32_t keyCode() const { return m_keyCode; }
    uint32_t modifierFlags() const { return m_modifierFlags; }
    // The key name plus every modifier name: "cmd" and "command" make
    // different combinations although they set the same flag.
    size_t hashForKeyCombination() const;
    std::string scriptDescription() const override;
    // The key-repeat timer while the key is held.
    const Ref<NSTimer>& timer() const { return m_timer; }

    static const JSExportClass& exportClass();

protected:
    void contextDidInvalidate() override;

private:
    static void installEventHandler();
    void setup();
    void willEnable(const NSNotification& notification);
    void keyDown(const NSNotification& notification);
    void keyUp(const NSNotification& notification);
    void delayTimerDidFire();
    void repeatTimerDidFire();
    void invalidateTimer();
    bool isOwnNotification(const NSNotification& notification) const;

    std::string m_key;
    std::vector<std::string> m_modifiers;
    uint32_t m_identifier { 0 };
    bool m_hasIdentifier { false };
    uint32_t m_keyCode;
    uint32_t m_modifierFlags;
    EventHotKeyRef m_reference;
    bool m_enabled { false };
    Ref<NSTimer> m_timer;
    std::vector<Token> m_observers;
};

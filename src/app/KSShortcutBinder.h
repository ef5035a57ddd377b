// Ties hot keys to user-defaults keys: the shortcut stored under a key is
// registered with the key's action, and registered again whenever the
// stored value changes.
#pragma once

#include "KSShortcutMonitor.h"

#include <appkit/NSKeyValueBinding.h>
#include <appkit/NSValueTransformer.h>

#include <map>
#include <set>

class KSShortcutBinder : public NSObject, public NSKeyValueBindingCreation {
public:
    static Ref<KSShortcutBinder> sharedBinder();
    ~KSShortcutBinder() override;

    const Ref<KSShortcutMonitor>& shortcutMonitor() const { return m_shortcutMonitor; }
    // Initially {NSValueTransformerNameBindingOption: NSKeyedUnarchiveFromDataTransformerName}.
    const Value::Dictionary& bindingOptions() const { return m_bindingOptions; }
    void setBindingOptions(Value::Dictionary options) { m_bindingOptions = std::move(options); }

    // Binds the key's value in the shared user-defaults controller
    // ("values.KEY") to the binder, so that its shortcut runs the action.
    void bindShortcutWithDefaultsKey(const std::string& key, std::function<void()> toAction);
    void breakBindingWithDefaultsKey(const std::string& key);
    // Registers each shortcut, transformed as the bindings would store it,
    // as the defaults value of its key.
    void registerDefaultShortcuts(const std::map<std::string, Ref<KSShortcut>>& defaultShortcuts);
    bool isRegisteredAction(const std::string& name) const;

    // For a bound key, its current shortcut; other keys as for any object.
    Value valueForKey(const std::string& key) const override;
    // For a bound key: the new shortcut replaces the old one in the monitor;
    // nil, or a value that is not a shortcut (logged), leaves the key
    // without one. Other keys as for any object.
    void setValueForKey(const Value& value, const std::string& key) override;

    KSShortcutBinder();

private:
    void unregisterCurrentShortcut(const std::string& key);

    Ref<KSShortcutMonitor> m_shortcutMonitor;
    Value::Dictionary m_bindingOptions;
    std::map<std::string, std::function<void()>> m_actions;
    std::map<std::string, Ref<KSShortcut>> m_shortcuts;
    // Keys whose current shortcut the monitor registered for them; a key
    // whose combination another key holds registered nothing of its own.
    std::set<std::string> m_registeredKeys;
};

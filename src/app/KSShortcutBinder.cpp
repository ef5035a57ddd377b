#include "KSShortcutBinder.h"

#include "KSDictionaryTransformer.h"

#include <appkit/NSUserDefaultsController.h>
#include <appkit/NSValueTransformer.h>
#include <foundation/Log.h>

#include <mutex>

Ref<KSShortcutBinder> KSShortcutBinder::sharedBinder()
{
    static std::once_flag once;
    static Ref<KSShortcutBinder>* shared = nullptr;
    std::call_once(once, [] { shared = new Ref<KSShortcutBinder>(makeRef<KSShortcutBinder>()); });
    return *shared;
}

KSShortcutBinder::KSShortcutBinder()
    : m_shortcutMonitor(KSShortcutMonitor::sharedMonitor())
    , m_bindingOptions { { NSValueTransformerNameBindingOption, Value(NSKeyedUnarchiveFromDataTransformerName) } }
{
    // Bindings may name the kit's dictionary transformer.
    KSDictionaryTransformer::registerTransformer();
}

KSShortcutBinder::~KSShortcutBinder()
{
    std::vector<std::string> keys;
    for (const auto& [key, action] : m_actions)
        keys.push_back(key);
    for (const auto& key : keys)
        unbind(key);
}

void KSShortcutBinder::bindShortcutWithDefaultsKey(const std::string& key, std::function<void()> toAction)
{
    m_actions[key] = std::move(toAction);
    bind(key, NSUserDefaultsController::sharedUserDefaultsController(), "values." + key, Value(m_bindingOptions));
}

void KSShortcutBinder::breakBindingWithDefaultsKey(const std::string& key)
{
    unregisterCurrentShortcut(key);
    m_shortcuts.erase(key);
    m_actions.erase(key);
    unbind(key);
}

void KSShortcutBinder::registerDefaultShortcuts(const std::map<std::string, Ref<KSShortcut>>& defaultShortcuts)
{
    auto transformer = transformerFromOptions(Value(m_bindingOptions));
    auto defaults = NSUserDefaults::standardUserDefaults();
    for (const auto& [key, shortcut] : defaultShortcuts) {
        Value stored = transformer ? transformer->reverseTransformedValue(Value(shortcut)) : Value(shortcut);
        defaults->registerDefaults({ { key, stored } });
    }
}

bool KSShortcutBinder::isRegisteredAction(const std::string& name) const { return m_actions.count(name) > 0; }

Value KSShortcutBinder::valueForKey(const std::string& key) const
{
    if (!isRegisteredAction(key))
        return NSObject::valueForKey(key);
    auto it = m_shortcuts.find(key);
    return it == m_shortcuts.end() ? Value() : Value(it->second);
}

void KSShortcutBinder::unregisterCurrentShortcut(const std::string& key)
{
    auto it = m_shortcuts.find(key);
    if (it != m_shortcuts.end() && m_registeredKeys.count(key) && m_shortcutMonitor)
        m_shortcutMonitor->unregisterShortcut(it->second);
    m_registeredKeys.erase(key);
}

void KSShortcutBinder::setValueForKey(const Value& value, const std::string& key)
{
    if (!isRegisteredAction(key)) {
        NSObject::setValueForKey(value, key);
        return;
    }
    unregisterCurrentShortcut(key);
    auto shortcut = value.objectAs<KSShortcut>();
    if (!shortcut && !value.isNil())
        NSLog("KSShortcutBinder: the value for %@ is not a shortcut; the key has no hot key", key);
    if (!shortcut) {
        m_shortcuts.erase(key);
        return;
    }
    m_shortcuts[key] = shortcut;
    if (m_shortcutMonitor && m_shortcutMonitor->registerShortcut(shortcut, m_actions[key]))
        m_registeredKeys.insert(key);
}

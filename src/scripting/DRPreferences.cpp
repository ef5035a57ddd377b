#include "DRPreferences.h"

#include "DROpenAtLoginHelper.h"

#include <foundation/NSNotificationCenter.h>

DRPreferences& DRPreferences::sharedPreferences()
{
    static DRPreferences preferences;
    return preferences;
}

DRPreferences::DRPreferences() { load(); }

void DRPreferences::load() { m_preferences["openAtLogin"] = Value(DROpenAtLoginHelper::opensAtLogin()); }

void DRPreferences::add(const Value& dictionary)
{
    if (const auto* entries = dictionary.dictionary())
        for (const auto& [key, value] : *entries)
            m_preferences[key] = value;
    preferencesDidChange();
}

void DRPreferences::reset()
{
    m_preferences.clear();
    load();
    preferencesDidChange();
}

bool DRPreferences::isDaemon() const
{
    auto it = m_preferences.find("daemon");
    return it != m_preferences.end() && it->second.boolValue();
}

bool DRPreferences::openAtLogin() const
{
    auto it = m_preferences.find("openAtLogin");
    return it != m_preferences.end() && it->second.boolValue();
}

void DRPreferences::preferencesDidChange()
{
    NSNotificationCenter::defaultCenter().postNotificationName(DRPreferencesDidChangeNotification, nullptr);
}

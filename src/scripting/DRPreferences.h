// The preferences that scripts set with Dirariv.set(...) for the
// application hosting the layer, plus "openAtLogin" from the login items.
// One per process; reset at every load of the host.
#pragma once

#include <foundation/NSObject.h>
#include <foundation/Value.h>

#include <string>

inline const std::string DRPreferencesDidChangeNotification = "DRPreferencesDidChangeNotification";

class DRPreferences : public NSObject {
public:
    static DRPreferences& sharedPreferences();
    DRPreferences();

    const Value::Dictionary& preferences() const { return m_preferences; }
    // Sets "openAtLogin" from the login items.
    void load();
    // Merges the entries (later values replace earlier ones).
    void add(const Value& dictionary);
    // Only "openAtLogin" remains.
    void reset();
    bool isDaemon() const;
    bool openAtLogin() const;

private:
    void preferencesDidChange();
    Value::Dictionary m_preferences;
};

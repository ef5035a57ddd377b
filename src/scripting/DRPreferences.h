// The preferences that scripts set with Dirariv.set(...) for the
// application hosting the layer. One per process; reset at every load of
// the host.
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
    // Merges the entries (later values replace earlier ones).
    void add(const Value& dictionary);
    // Sets "openAtLogin" from the login items.
    void load();
    // Removes every entry, then loads.
    void reset();
    bool isDaemon() const;
    bool openAtLogin() const;

private:
    void preferencesDidChange();
    Value::Dictionary m_preferences;
};

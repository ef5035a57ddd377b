// The shared controller through which bindings reach the user defaults:
// the key path "values.KEY" reads and writes KEY of the standard defaults,
// and its observers hear of every change of KEY, however it was made.
#pragma once

#include <foundation/NSObject.h>
#include <foundation/NSUserDefaults.h>
#include <foundation/Token.h>

class NSUserDefaultsController : public NSObject {
public:
    static Ref<NSUserDefaultsController> sharedUserDefaultsController();

    // The standard defaults at the moment of the call, so that the
    // controller follows a reset of the shared store.
    Ref<NSUserDefaults> defaults() const;
    // The object whose keys are the defaults keys ("values").
    Ref<NSObject> values() const { return m_values; }

    // "values" answers the values object; "values.KEY" the value of KEY.
    Value valueForKey(const std::string& key) const override;
    // "values.KEY" stores into the defaults; nil removes KEY.
    void setValueForKey(const Value& value, const std::string& key) override;

    NSUserDefaultsController();

private:
    void followStandardDefaults();

    Ref<NSObject> m_values;
    Token m_changes;
};

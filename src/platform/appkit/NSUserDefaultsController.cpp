#include "NSUserDefaultsController.h"

#include <mutex>

namespace {

constexpr const char* kValuesKey = "values";
constexpr const char* kValuesPrefix = "values.";

bool splitValuesPath(const std::string& key, std::string& defaultsKey)
{
    const size_t prefix = std::char_traits<char>::length(kValuesPrefix);
    if (key.size() <= prefix || key.compare(0, prefix, kValuesPrefix) != 0)
        return false;
    defaultsKey = key.substr(prefix);
    return true;
}

// The "values" object: a view of the standard defaults, key for key.
class NSUserDefaultsValues final : public NSObject {
public:
    Value valueForKey(const std::string& key) const override
    {
        return NSUserDefaults::standardUserDefaults()->objectForKey(key);
    }
    void setValueForKey(const Value& value, const std::string& key) override
    {
        NSUserDefaults::standardUserDefaults()->setObject(value, key);
    }
};

}

Ref<NSUserDefaultsController> NSUserDefaultsController::sharedUserDefaultsController()
{
    static std::once_flag once;
    static Ref<NSUserDefaultsController>* shared = nullptr;
    std::call_once(once, [] {
        shared = new Ref<NSUserDefaultsController>(makeRef<NSUserDefaultsController>());
        (*shared)->followStandardDefaults();
    });
    return *shared;
}

NSUserDefaultsController::NSUserDefaultsController()
    : m_values(makeRef<NSUserDefaultsValues>())
{
}

void NSUserDefaultsController::followStandardDefaults()
{
    Weak<NSUserDefaultsController> weak = selfRef<NSUserDefaultsController>();
    m_changes = NSUserDefaults::addStandardChangeHandler([weak](const std::string& key, bool prior) {
        auto self = weak.lock();
        if (!self)
            return;
        std::string path = kValuesPrefix + key;
        if (prior) {
            self->willChangeValueForKey(path);
            self->m_values->willChangeValueForKey(key);
        } else {
            self->didChangeValueForKey(path);
            self->m_values->didChangeValueForKey(key);
        }
    });
}

Ref<NSUserDefaults> NSUserDefaultsController::defaults() const { return NSUserDefaults::standardUserDefaults(); }

Value NSUserDefaultsController::valueForKey(const std::string& key) const
{
    if (key == kValuesKey)
        return Value(m_values);
    std::string defaultsKey;
    if (splitValuesPath(key, defaultsKey))
        return defaults()->objectForKey(defaultsKey);
    return NSObject::valueForKey(key);
}

void NSUserDefaultsController::setValueForKey(const Value& value, const std::string& key)
{
    std::string defaultsKey;
    if (splitValuesPath(key, defaultsKey)) {
        defaults()->setObject(value, defaultsKey);
        return;
    }
    NSObject::setValueForKey(value, key);
}

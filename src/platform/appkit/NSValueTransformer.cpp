#include "NSValueTransformer.h"

#include <foundation/Log.h>
#include <foundation/NSKeyedArchiver.h>
#include <foundation/NSKeyedUnarchiver.h>

#include <map>
#include <mutex>

namespace {

class NegateBooleanTransformer final : public NSValueTransformer {
public:
    std::string transformedValueClass() const override { return "NSNumber"; }
    bool allowsReverseTransformation() const override { return true; }
    Value transformedValue(const Value& value) const override { return Value(!value.boolValue()); }
};

class IsNilTransformer final : public NSValueTransformer {
public:
    explicit IsNilTransformer(bool negate)
        : m_negate(negate)
    {
    }
    std::string transformedValueClass() const override { return "NSNumber"; }
    Value transformedValue(const Value& value) const override { return Value(value.isNil() != m_negate); }

private:
    bool m_negate;
};

struct Registry {
    std::mutex mutex;
    std::map<std::string, Ref<NSValueTransformer>> transformers;
    Registry()
    {
        transformers[NSNegateBooleanTransformerName] = makeRef<NegateBooleanTransformer>();
        transformers[NSIsNilTransformerName] = makeRef<IsNilTransformer>(false);
        transformers[NSIsNotNilTransformerName] = makeRef<IsNilTransformer>(true);
        transformers[NSKeyedUnarchiveFromDataTransformerName] = makeRef<NSKeyedUnarchiveFromDataTransformer>();
    }
};

Registry& registry()
{
    static auto* r = new Registry();
    return *r;
}

}

Ref<NSValueTransformer> NSValueTransformer::valueTransformerForName(const std::string& name)
{
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    auto it = r.transformers.find(name);
    return it == r.transformers.end() ? nullptr : it->second;
}

void NSValueTransformer::setValueTransformer(const Ref<NSValueTransformer>& transformer, const std::string& name)
{
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    if (transformer)
        r.transformers[name] = transformer;
    else
        r.transformers.erase(name);
}

std::vector<std::string> NSValueTransformer::valueTransformerNames()
{
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    std::vector<std::string> names;
    for (const auto& [name, _] : r.transformers)
        names.push_back(name);
    return names;
}

Value NSValueTransformer::reverseTransformedValue(const Value& value) const
{
    if (!allowsReverseTransformation())
        return {};
    return transformedValue(value);
}

Value NSKeyedUnarchiveFromDataTransformer::transformedValue(const Value& value) const
{
    const auto* data = value.data();
    if (!data) {
        if (!value.isNil())
            NSLog("%@: the value is not data: %@", NSKeyedUnarchiveFromDataTransformerName, value);
        return {};
    }
    return NSKeyedUnarchiver::unarchiveObjectWithData(*data);
}

Value NSKeyedUnarchiveFromDataTransformer::reverseTransformedValue(const Value& value) const
{
    if (value.isNil())
        return {};
    auto data = NSKeyedArchiver::archivedDataWithRootObject(value);
    return data ? Value(std::move(*data)) : Value();
}

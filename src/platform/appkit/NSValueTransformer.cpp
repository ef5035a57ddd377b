#include "NSValueTransformer.h"

#include <foundation/Log.h>
#include <foundation/NSKeyedArchiver.h>
#include <foundation/NSKeyedUnarchiver.h>

#include <map>
#include <mutex>

const std::string NSKeyedUnarchiveFromDataTransformerName = "NSKeyedUnarchiveFromData";
const std::string NSValueTransformerNameBindingOption = "NSValueTransformerName";
const std::string NSValueTransformerBindingOption = "NSValueTransformer";

namespace {

std::mutex gRegistryMutex;

std::map<std::string, Ref<NSValueTransformer>>& registry()
{
    static auto* transformers = new std::map<std::string, Ref<NSValueTransformer>> {
        { NSKeyedUnarchiveFromDataTransformerName, makeRef<NSKeyedUnarchiveFromDataTransformer>() },
    };
    return *transformers;
}

}

void NSValueTransformer::setValueTransformer(const Ref<NSValueTransformer>& transformer, const std::string& name)
{
    std::lock_guard lock(gRegistryMutex);
    if (transformer)
        registry()[name] = transformer;
    else
        registry().erase(name);
}

Ref<NSValueTransformer> NSValueTransformer::valueTransformerForName(const std::string& name)
{
    std::lock_guard lock(gRegistryMutex);
    auto it = registry().find(name);
    return it == registry().end() ? nullptr : it->second;
}

std::vector<std::string> NSValueTransformer::valueTransformerNames()
{
    std::lock_guard lock(gRegistryMutex);
    std::vector<std::string> names;
    for (const auto& [name, transformer] : registry())
        names.push_back(name);
    return names;
}

Value NSValueTransformer::reverseTransformedValue(const Value& value) const
{
    if (!allowsReverseTransformation()) {
        NSLog("%@: reverse transformation is not allowed", className());
        return {};
    }
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

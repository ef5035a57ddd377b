#include "NSNib.h"

#include <foundation/Log.h>

#include <map>
#include <mutex>

namespace {
struct Registry {
    std::mutex mutex;
    std::map<std::string, NSNib::Builder> builders;
};

Registry& registry()
{
    static auto* r = new Registry();
    return *r;
}
}

void NSNib::registerNibNamed(const std::string& name, Builder builder)
{
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    if (builder)
        r.builders[name] = std::move(builder);
    else
        r.builders.erase(name);
}

void NSNib::unregisterNibNamed(const std::string& name)
{
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    r.builders.erase(name);
}

bool NSNib::hasNibNamed(const std::string& name)
{
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    return r.builders.count(name) > 0;
}

std::vector<std::string> NSNib::registeredNibNames()
{
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    std::vector<std::string> names;
    for (const auto& [name, _] : r.builders)
        names.push_back(name);
    return names;
}

bool NSNib::loadNibNamed(const std::string& name, NSObject& owner)
{
    Builder builder;
    {
        auto& r = registry();
        std::lock_guard lock(r.mutex);
        auto it = r.builders.find(name);
        if (it != r.builders.end())
            builder = it->second;
    }
    if (!builder) {
        NSLog("Could not load the nib \"%@\": no interface file of that name", name);
        return false;
    }
    builder(owner);
    return true;
}

#include "SwitcherLayoutRegistry.h"

#include <foundation/Log.h>

#include <mutex>
#include <vector>

namespace {

struct Entry {
    uint64_t id;
    SwitcherLayout code;
    SwitcherLayoutRegistry::Factory factory;
};

struct Registry {
    std::mutex mutex;
    std::vector<Entry> entries;
    uint64_t nextId { 1 };
};

Registry& registry()
{
    // Never destroyed: static registrations may outlive any other static.
    static auto* r = new Registry;
    return *r;
}

SwitcherLayoutRegistry::Factory factoryFor(SwitcherLayout code)
{
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    for (auto it = r.entries.rbegin(); it != r.entries.rend(); ++it)
        if (it->code == code) return it->factory;
    return nullptr;
}

}

Token SwitcherLayoutRegistry::registerLayout(SwitcherLayout code, Factory factory)
{
    if (!factory) return {};
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    uint64_t id = r.nextId++;
    r.entries.push_back({ id, code, std::move(factory) });
    return Token([id] {
        auto& r = registry();
        std::lock_guard lock(r.mutex);
        std::erase_if(r.entries, [id](const Entry& e) { return e.id == id; });
    });
}

bool SwitcherLayoutRegistry::hasLayout(SwitcherLayout code) { return static_cast<bool>(factoryFor(code)); }

Ref<NSViewController> SwitcherLayoutRegistry::makeLayout(SwitcherLayout code)
{
    // The factory runs outside the lock: a layout's initialiser may load
    // interface files that register things of their own.
    auto factory = factoryFor(code);
    if (!factory) return nullptr;
    auto controller = factory();
    if (controller && !switcherLayoutProtocol(controller)) {
        NSLog("%s is not a switcher layout; layout %d stays unavailable", controller->className(), code);
        return nullptr;
    }
    return controller;
}

SwitchViewControllerProtocol* switcherLayoutProtocol(const Ref<NSViewController>& controller)
{
    return dynamic_cast<SwitchViewControllerProtocol*>(controller.get());
}

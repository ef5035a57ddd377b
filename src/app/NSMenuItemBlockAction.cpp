#include "NSMenuItemBlockAction.h"

#include <map>
#include <mutex>

namespace {

const std::string kBlockActionSelector = "blockActionWrapper:";

// The blocks kept with their items, as the platform keeps associated
// objects: read and written under one lock, dropped with the item.
struct BlockTable {
    std::mutex mutex;
    std::map<const NSMenuItem*, std::pair<Weak<NSMenuItem>, NSMenuItemBlock>> blocks;
};

BlockTable& table()
{
    static BlockTable* blocks = new BlockTable;
    return *blocks;
}

void store(const NSMenuItem& item, NSMenuItemBlock block)
{
    auto& t = table();
    std::lock_guard lock(t.mutex);
    std::erase_if(t.blocks, [](const auto& entry) { return entry.second.first.expired(); });
    if (block)
        t.blocks[&item] = { item.selfRef<NSMenuItem>(), std::move(block) };
    else
        t.blocks.erase(&item);
}

}

void setBlockAction(NSMenuItem& item, NSMenuItemBlock block)
{
    store(item, nullptr);
    if (!block) {
        item.setTarget(nullptr);
        item.setAction({});
        return;
    }
    store(item, block);
    item.setActionHandler(kBlockActionSelector, [&item](const Ref<NSObject>& sender) { blockActionWrapper(item, sender); });
    item.setTarget(item.selfRef<NSObject>());
    item.setAction(kBlockActionSelector);
}

NSMenuItemBlock blockAction(const NSMenuItem& item)
{
    auto& t = table();
    std::lock_guard lock(t.mutex);
    auto it = t.blocks.find(&item);
    if (it == t.blocks.end() || it->second.first.expired())
        return nullptr;
    return it->second.second;
}

void blockActionWrapper(const NSMenuItem& item, const Ref<NSObject>& sender)
{
    if (auto block = blockAction(item))
        block(sender);
}

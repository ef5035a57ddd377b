// Menu items that run a block when chosen: the block is kept with the item,
// and the item becomes its own target.
#pragma once

#include <appkit/NSMenuItem.h>

#include <functional>

using NSMenuItemBlock = std::function<void(const Ref<NSObject>& sender)>;

// setBlockAction:. A block makes the item its own target with the action
// "blockActionWrapper:"; no block clears the target and the action. The
// item must be owned by a Ref.
void setBlockAction(NSMenuItem& item, NSMenuItemBlock block);
// The stored block, or none.
NSMenuItemBlock blockAction(const NSMenuItem& item);
// Calls the stored block with the sender.
void blockActionWrapper(const NSMenuItem& item, const Ref<NSObject>& sender);

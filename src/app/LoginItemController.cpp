#include "LoginItemController.h"

#include <foundation/NSBundle.h>
#include <foundation/RunLoop.h>
#include <services/AXUIElement.h>

namespace {
const std::string kLaunchAtLoginKey = "launchAtLogin";
// Resolving never asks the user and never mounts a volume.
constexpr uint32_t kResolutionFlags = kLSSharedFileListNoUserInteraction | kLSSharedFileListDoNotMountVolumes;
}

LoginItemController::LoginItemController()
    : m_loginItems(LSSharedFileListCreate(nullptr, kLSSharedFileListSessionLoginItems, {}))
{
    LSSharedFileListAddObserver(m_loginItems, RunLoop::main(), NSDefaultRunLoopMode, loginItemsChangedCallback, this);
}

LoginItemController::~LoginItemController()
{
    LSSharedFileListRemoveObserver(m_loginItems, RunLoop::main(), NSDefaultRunLoopMode, loginItemsChangedCallback, this);
}

void LoginItemController::loginItemsChangedCallback(LSSharedFileListRef, void* context)
{
    auto* controller = static_cast<LoginItemController*>(context);
    controller->willChangeValueForKey(kLaunchAtLoginKey);
    controller->didChangeValueForKey(kLaunchAtLoginKey);
}

CFURLRef LoginItemController::appURL() { return NSURL::fileURLWithPath(NSBundle::executablePath()); }

bool LoginItemController::launchAtLogin() const { return willLaunchAtLogin(appURL()); }

void LoginItemController::setLaunchAtLogin(bool flag)
{
    willChangeValueForKey(kLaunchAtLoginKey);
    setLaunchAtLogin(flag, appURL());
    didChangeValueForKey(kLaunchAtLoginKey);
}

bool LoginItemController::willLaunchAtLogin(const CFURLRef& url) const
{
    return findItemWithURL(url, m_loginItems) != nullptr;
}

void LoginItemController::setLaunchAtLogin(bool enabled, const CFURLRef& url)
{
    auto item = findItemWithURL(url, m_loginItems);
    // The results are not examined: a change that failed shows as an
    // unchanged flag at the next read (the list logs why).
    if (enabled && !item)
        LSSharedFileListInsertItemURL(m_loginItems, kLSSharedFileListItemBeforeFirst, {}, nullptr, url, {}, {});
    else if (!enabled && item)
        LSSharedFileListItemRemove(m_loginItems, item);
}

LSSharedFileListItemRef LoginItemController::findItemWithURL(const CFURLRef& url, const LSSharedFileListRef& list)
{
    if (!url || !list)
        return nullptr;
    for (const auto& item : LSSharedFileListCopySnapshot(list, nullptr)) {
        CFURLRef resolved;
        if (LSSharedFileListItemResolve(item, kResolutionFlags, &resolved) != noErr)
            continue;
        if (CFEqual(resolved, url))
            return item;
    }
    return nullptr;
}

Value LoginItemController::valueForKey(const std::string& key) const
{
    if (key == kLaunchAtLoginKey)
        return Value(launchAtLogin());
    return NSObject::valueForKey(key);
}

void LoginItemController::setValueForKey(const Value& value, const std::string& key)
{
    if (key == kLaunchAtLoginKey)
        setLaunchAtLogin(value.boolValue());
    else
        NSObject::setValueForKey(value, key);
}

#include "DROpenAtLoginHelper.h"

#include <foundation/Log.h>
#include <foundation/NSBundle.h>

#include <mutex>

LSSharedFileListRef DROpenAtLoginHelper::sharedFileList()
{
    static LSSharedFileListRef list;
    static std::once_flag once;
    std::call_once(once, [] { list = LSSharedFileListCreate(nullptr, kLSSharedFileListSessionLoginItems, {}); });
    return list;
}

CFURLRef DROpenAtLoginHelper::applicationURL() { return NSURL::fileURLWithPath(NSBundle::executablePath()); }

LSSharedFileListItemRef DROpenAtLoginHelper::fileItem()
{
    auto list = sharedFileList();
    if (!list)
        return nullptr;
    auto application = applicationURL();
    for (const auto& item : LSSharedFileListCopySnapshot(list, nullptr)) {
        std::string error;
        auto url = LSSharedFileListItemCopyResolvedURL(item, 0, &error);
        if (!url) {
            NSLog("Error: Could not copy resolved URL for session login item %@. (%@)", item, error);
            continue;
        }
        if (application && url->isEqual(application.get()))
            return item;
    }
    return nullptr;
}

bool DROpenAtLoginHelper::opensAtLogin() { return static_cast<bool>(fileItem()); }

void DROpenAtLoginHelper::setOpensAtLogin(bool flag)
{
    if (flag == opensAtLogin())
        return;
    auto list = sharedFileList();
    if (!list)
        return;
    if (flag) {
        LSSharedFileListInsertItemURL(list, kLSSharedFileListItemLast, {}, nullptr, applicationURL(), {}, {});
        return;
    }
    auto item = fileItem();
    OSStatus status = item ? LSSharedFileListItemRemove(list, item) : noErr;
    if (status != noErr)
        NSLog("Error: Could not remove item %@ from session login items. (%d)", item, status);
}

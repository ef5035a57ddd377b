// Whether the application is one of the user's login items, read from and
// changed in the shared login-items list (the desktop's autostart folder).
#pragma once

#include <services/LSSharedFileList.h>

class DROpenAtLoginHelper {
public:
    // The user's login items, made on first use and kept.
    static LSSharedFileListRef sharedFileList();
    // The first item that resolves to the application; null when none does.
    static LSSharedFileListItemRef fileItem();
    static bool opensAtLogin();
    static void setOpensAtLogin(bool flag);
    // The application's own file, which its login item starts.
    static CFURLRef applicationURL();
};

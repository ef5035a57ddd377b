// Launch at login: one bindable flag, "launchAtLogin", that adds this
// program to the user's login items or takes it out. It follows changes
// made elsewhere (a file removed by hand, the desktop's own settings)
// through an observer on the login-items list, so a bound control follows
// too.
#pragma once

#include <foundation/NSObject.h>
#include <foundation/NSURL.h>
#include <services/LSSharedFileList.h>

class LoginItemController final : public NSObject {
public:
    LoginItemController();
    ~LoginItemController() override;

    const LSSharedFileListRef& loginItems() const { return m_loginItems; }
    // The program that starts this application.
    static CFURLRef appURL();

    bool launchAtLogin() const;
    void setLaunchAtLogin(bool flag);

    // Whether the login items hold an entry that resolves to the URL.
    bool willLaunchAtLogin(const CFURLRef& url) const;
    // setLaunchAtLogin:forURL:
    void setLaunchAtLogin(bool enabled, const CFURLRef& url);
    // The first item that resolves to the URL; null when none does or an
    // argument is missing. The item stays valid after the list's snapshot
    // is gone, since the caller holds it.
    static LSSharedFileListItemRef findItemWithURL(const CFURLRef& url, const LSSharedFileListRef& list);

    Value valueForKey(const std::string& key) const override;
    void setValueForKey(const Value& value, const std::string& key) override;

private:
    static void loginItemsChangedCallback(LSSharedFileListRef list, void* context);

    LSSharedFileListRef m_loginItems;
};

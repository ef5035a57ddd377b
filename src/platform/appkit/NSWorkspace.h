// The shared workspace: running applications, the frontmost one, and the
// notifications of launches, quits, activations, hiding and space changes,
// posted on its own notification centre on the main thread.
#pragma once

#include "NSRunningApplication.h"
#include "NSScreen.h"

#include <foundation/NSNotificationCenter.h>

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

inline const std::string NSWorkspaceDidLaunchApplicationNotification = "NSWorkspaceDidLaunchApplicationNotification";
inline const std::string NSWorkspaceDidTerminateApplicationNotification = "NSWorkspaceDidTerminateApplicationNotification";
inline const std::string NSWorkspaceDidActivateApplicationNotification = "NSWorkspaceDidActivateApplicationNotification";
inline const std::string NSWorkspaceDidHideApplicationNotification = "NSWorkspaceDidHideApplicationNotification";
inline const std::string NSWorkspaceDidUnhideApplicationNotification = "NSWorkspaceDidUnhideApplicationNotification";
inline const std::string NSWorkspaceActiveSpaceDidChangeNotification = "NSWorkspaceActiveSpaceDidChangeNotification";
inline const std::string NSWorkspaceApplicationKey = "NSWorkspaceApplicationKey";
inline const std::string NSApplicationDidChangeScreenParametersNotification = "NSApplicationDidChangeScreenParametersNotification";

class NSError;
class NSImage;
class NSURL;

using NSWorkspaceLaunchOptions = uint32_t;
inline constexpr NSWorkspaceLaunchOptions NSWorkspaceLaunchWithoutActivation = 0x200;
inline constexpr NSWorkspaceLaunchOptions NSWorkspaceLaunchDefault = 0x10000;

class NSWorkspace final : public NSObject {
public:
    static NSWorkspace& sharedWorkspace();

    // In launch order.
    std::vector<Ref<NSRunningApplication>> runningApplications() const;
    Ref<NSRunningApplication> frontmostApplication() const;
    NSNotificationCenter& notificationCenter() { return m_center; }
    // The icon of a file: an application bundle of a running application
    // shows that application's icon, anything else a plain document icon.
    // 128 by 128 points.
    Ref<NSImage> iconForFile(const std::string& path) const;
    // The path of the screen's desktop picture; nothing when it has none.
    std::optional<std::string> desktopImageURLForScreen(const Ref<NSScreen>& screen) const;

    // The application of a name, found as the desktop's menus find it: the
    // desktop entry NAME.desktop in the applications folder of the XDG data
    // folders ($XDG_DATA_HOME, then $XDG_DATA_DIRS, the first one that has
    // the file wins, a deleted (Hidden) entry hides it), else the first
    // entry there whose Name is the name without regard to case, else an
    // executable NAME on PATH. The path of the entry or of the program;
    // nothing when no application has the name.
    std::optional<std::string> fullPathForApplication(const std::string& name) const;
    // Starts the application at the file URL: a desktop entry's Exec line
    // in its Path folder, or the program itself. With
    // NSWorkspaceLaunchWithoutActivation it does not come to the front. The
    // running application; null, with the error, when it cannot start. The
    // configuration holds nothing that this platform uses.
    Ref<NSRunningApplication> launchApplicationAtURL(
        const Ref<NSURL>& url, NSWorkspaceLaunchOptions options, const Value::Dictionary& configuration, Ref<NSError>* error);

    // Opens a web or mail address with the desktop's opener (on the
    // simulated desktop nothing leaves the machine); every address is
    // recorded. False for an empty address or one the desktop cannot open.
    bool openURL(const std::string& url);
    std::vector<std::string> openedURLs() const;
    void resetOpenedURLs();

private:
    NSWorkspace();
    void handle(const DesktopEvent& event);

    NSNotificationCenter m_center;
    Token m_subscription;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_opened;
    // The last application known under each pid, so that a quit can still
    // name what quit.
    std::map<pid_t, Ref<NSRunningApplication>> m_known;
};

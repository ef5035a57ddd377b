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

class NSImage;

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

    // Opens a web or mail address. Nothing leaves the machine here: the
    // address is recorded. False for an empty address.
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

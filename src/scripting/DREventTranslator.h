// The script event names and the notifications behind them.
#pragma once

#include <foundation/NSNotificationCenter.h>

#include <optional>
#include <string>

inline const std::string DREventDidLaunchNotification = "DREventDidLaunchNotification";
inline const std::string DREventWillTerminateNotification = "DREventWillTerminateNotification";

class DREventTranslator {
public:
    // The notification of an event name (matched exactly); nothing for a
    // name outside the table.
    static std::optional<std::string> notificationForEvent(const std::string& event);
    // The workspace's centre for the six workspace notifications, the
    // default centre for every other.
    static NSNotificationCenter& notificationCenterForNotification(const std::string& notification);
};

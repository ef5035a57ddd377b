#include "DREventTranslator.h"

#include "DRAXObserver.h"
#include "DRGlobalEventMonitor.h"

#include <appkit/NSWorkspace.h>

#include <utility>

namespace {


const std::vector<std::pair<std::string, std::string>>& events()
{
    static const std::vector<std::pair<std::string, std::string>> table = {
        { "didLaunch", DREventDidLaunchNotification },
        { "willTerminate", DREventWillTerminateNotification },
        { "screensDidChange", NSApplicationDidChangeScreenParametersNotification },
        { "spaceDidChange", NSWorkspaceActiveSpaceDidChangeNotification },
        { "mouseDidMove", DRMouseDidMoveNotification },
        { "mouseDidLeftClick", DRMouseDidLeftClickNotification },
        { "mouseDidRightClick", DRMouseDidRightClickNotification },
        { "mouseDidLeftDrag", DRMouseDidLeftDragNotification },
        { "mouseDidRightDrag", DRMouseDidRightDragNotification },
        { "appDidLaunch", NSWorkspaceDidLaunchApplicationNotification },
        { "appDidTerminate", NSWorkspaceDidTerminateApplicationNotification },
        { "appDidActivate", NSWorkspaceDidActivateApplicationNotification },
        { "appDidHide", NSWorkspaceDidHideApplicationNotification },
        { "appDidShow", NSWorkspaceDidUnhideApplicationNotification },
        { "windowDidOpen", NSAccessibilityWindowCreatedNotification },
        { "windowDidClose", NSAccessibilityUIElementDestroyedNotification },
        { "windowDidFocus", NSAccessibilityFocusedWindowChangedNotification },
        { "windowDidMove", NSAccessibilityWindowMovedNotification },
        { "windowDidResize", NSAccessibilityWindowResizedNotification },
        { "windowDidMinimise", NSAccessibilityWindowMiniaturizedNotification },
        { "windowDidMinimize", NSAccessibilityWindowMiniaturizedNotification },
        { "windowDidUnminimise", NSAccessibilityWindowDeminiaturizedNotification },
        { "windowDidUnminimize", NSAccessibilityWindowDeminiaturizedNotification },
    };
    return table;
}

}

std::optional<std::string> DREventTranslator::notificationForEvent(const std::string& event)
{
    for (const auto& [name, notification] : events())
        if (name == event)
            return notification;
    return std::nullopt;
}

NSNotificationCenter& DREventTranslator::notificationCenterForNotification(const std::string& notification)
{
    static const std::string workspaceNames[] = { NSWorkspaceActiveSpaceDidChangeNotification,
        NSWorkspaceDidLaunchApplicationNotification, NSWorkspaceDidTerminateApplicationNotification,
        NSWorkspaceDidActivateApplicationNotification, NSWorkspaceDidHideApplicationNotification,
        NSWorkspaceDidUnhideApplicationNotification };
    for (const auto& name : workspaceNames)
        if (name == notification)
            return NSWorkspace::sharedWorkspace().notificationCenter();
    return NSNotificationCenter::defaultCenter();
}

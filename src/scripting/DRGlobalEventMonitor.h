// Turns the pointer's moves, clicks and drags anywhere on the desktop into
// notifications on the default centre, each with the pointer's location
// (top-left coordinates) under "DRGlobalEventMonitorMouse".
#pragma once

#include <foundation/NSObject.h>
#include <foundation/Token.h>

#include <string>
#include <vector>

inline const std::string DRMouseDidMoveNotification = "DRMouseDidMoveNotification";
inline const std::string DRMouseDidLeftClickNotification = "DRMouseDidLeftClickNotification";
inline const std::string DRMouseDidRightClickNotification = "DRMouseDidRightClickNotification";
inline const std::string DRMouseDidLeftDragNotification = "DRMouseDidLeftDragNotification";
inline const std::string DRMouseDidRightDragNotification = "DRMouseDidRightDragNotification";
inline const std::string DRGlobalEventMonitorMouse = "DRGlobalEventMonitorMouse";

class DRGlobalEventMonitor : public NSObject {
public:
    static Ref<DRGlobalEventMonitor> monitor();
    DRGlobalEventMonitor();

    size_t monitorCount() const { return m_monitors.size(); }

private:
    void setup();
    std::vector<Token> m_monitors;
};

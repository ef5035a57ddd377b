#include "DRGlobalEventMonitor.h"

#include "DRMouse.h"

#include <appkit/NSEvent.h>
#include <foundation/NSNotificationCenter.h>

namespace {

struct MouseEvent {
    NSEventMask mask;
    NSEventType type;
    const std::string& notification;
};

const std::vector<MouseEvent>& mouseEvents()
{
    static const std::vector<MouseEvent> table = {
        { NSEventMaskMouseMoved, NSEventTypeMouseMoved, DRMouseDidMoveNotification },
        { NSEventMaskLeftMouseUp, NSEventTypeLeftMouseUp, DRMouseDidLeftClickNotification },
        { NSEventMaskRightMouseUp, NSEventTypeRightMouseUp, DRMouseDidRightClickNotification },
        { NSEventMaskLeftMouseDragged, NSEventTypeLeftMouseDragged, DRMouseDidLeftDragNotification },
        { NSEventMaskRightMouseDragged, NSEventTypeRightMouseDragged, DRMouseDidRightDragNotification },
    };
    return table;
}

}

Ref<DRGlobalEventMonitor> DRGlobalEventMonitor::monitor() { return makeRef<DRGlobalEventMonitor>(); }

DRGlobalEventMonitor::DRGlobalEventMonitor() { setup(); }

void DRGlobalEventMonitor::setup()
{
    for (const auto& entry : mouseEvents()) {
        m_monitors.push_back(NSEvent::addGlobalMonitorForEventsMatchingMask(entry.mask, [](const Ref<NSEvent>& event) {
            for (const auto& e : mouseEvents()) {
                if (e.type != event->type())
                    continue;
                CGPoint location = DRMouse::location();
                Value::Dictionary point { { "x", Value(location.x) }, { "y", Value(location.y) } };
                Value::Dictionary info { { DRGlobalEventMonitorMouse, Value(point) } };
                NSNotificationCenter::defaultCenter().postNotificationName(e.notification, nullptr, Value(info));
                return;
            }
        }));
    }
}

// Mouse events for tests that track a press: delivered on the main run
// loop when the virtual clock reaches the delay.
#pragma once

#include <appkit/NSApplication.h>
#include <appkit/NSEvent.h>
#include <foundation/Dispatch.h>

#include <utility>
#include <vector>

// Delivers mouse events (screen points) when the clock reaches the delay.
inline void deliverMouseEventsLater(double delay, std::vector<std::pair<NSEventType, CGPoint>> events)
{
    dispatch_after(dispatch_time(DISPATCH_TIME_NOW, static_cast<int64_t>(delay * NSEC_PER_SEC)),
        dispatch_get_main_queue(), [events] {
            for (auto [type, point] : events)
                NSApp().deliverInputEvent(NSEvent::mouseEventWithType(type, point));
        });
}

// The window server's input stream as this process takes part in it. Every
// key, modifier and mouse event the desktop receives (from the hardware or
// posted by a process) is taken one at a time, in order; the keyboard state
// follows it as it is taken, and it travels on before the next one is taken:
//   1. through the active event taps, HID taps before session taps and,
//      at each location, in list order (a head-inserted tap comes first);
//      each callback runs on the run loop its tap's source is on;
//   2. to the Carbon hot keys: a registered combination swallows its key
//      events and sends hot-key events to its target (CarbonEvents.h);
//   3. to an application, on the main run loop: key events to the
//      frontmost one, mouse events to the one whose window is under the
//      pointer. The desktop records what every application received, and
//      the application event handler is told of each event with its
//      receiver: the application layer connects it to NSApplication's event
//      dispatch (its own events to its windows, other applications' to its
//      global monitors).
#pragma once

#include "CGEventTap.h"

#include <foundation/Token.h>

#include <memory>

#include <deque>
#include <functional>
#include <mutex>
#include <vector>

class Desktop;

class EventStream {
public:
    // The stream; using it installs it as the desktop's input router.
    static EventStream& shared();

    // The event and the process it went to (0: none).
    using ApplicationEventHandler = std::function<void(const CGEventRef& event, pid_t receiver)>;
    // One handler at a time; a later one replaces it until its token ends.
    [[nodiscard]] Token setApplicationEventHandler(ApplicationEventHandler handler);

    // The taps in the order events reach them.
    std::vector<CFMachPortRef> taps() const;

private:
    friend class CFMachPort;
    friend CFMachPortRef CGEventTapCreate(
        CGEventTapLocation, CGEventTapPlacement, CGEventTapOptions, CGEventMask, CGEventTapCallBack, void*);
    friend void CFMachPortInvalidate(const CFMachPortRef&);

    struct Entry {
        CFMachPort* port;
        Weak<CFMachPort> weak;
    };
    struct InFlight;

    EventStream();
    void addTap(const CFMachPortRef& tap, bool atHead);
    void removeTap(CFMachPort* tap);
    void route(const DesktopInputEvent& record);
    // Takes the queued events one after the other until none is left or one
    // has to wait for a tap's run loop or mode.
    void pump();
    // Carries one event on from its next tap; NO when it has to wait, and
    // then resumes the pump itself.
    bool advance(const std::shared_ptr<InFlight>& flight);
    // Runs one tap's callback; NO when the tap swallowed the event.
    bool runTap(const CFMachPortRef& tap, const std::shared_ptr<InFlight>& flight);
    void notifyDisabled(const CFMachPortRef& tap, CGEventType reason);
    void finish(const CGEventRef& event);

    mutable std::mutex m_mutex;
    std::vector<Entry> m_taps;
    ApplicationEventHandler m_applicationHandler;
    uint64_t m_handlerGeneration { 0 };
    std::deque<std::shared_ptr<InFlight>> m_queue;
    // Whether a pump is scheduled or an event is on its way, and for which
    // desktop: a new desktop starts a new stream.
    bool m_busy { false };
    std::weak_ptr<Desktop> m_desktop;
};

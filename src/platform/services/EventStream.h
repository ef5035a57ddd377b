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
//      pointer. The desktop records what every application received, the
//      application event handler below hears of each event with its
//      receiver, and this process's application framework gets it
//      (Desktop::setProcessInputHandler): its own events for its windows,
//      other applications' for its global monitors.
// The stream takes one event per turn of the main run loop, so what a tap
// or a hot key queues on the main queue runs before the next event is
// taken. Once an event has reached its application the stream takes the
// next one, even while the application is still handling the first: an
// application that runs a nested loop (tracking a drag) gets the events
// that follow.
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
    // The stream. Making it installs it as the desktop's input router; the
    // start-up does that (PlatformInstallDesktop).
    static EventStream& shared();

    // The event and the process it went to (0: none).
    using ApplicationEventHandler = std::function<void(const CGEventRef& event, pid_t receiver)>;
    // An observer of what reaches the applications, told before this
    // process's framework dispatches the event. One handler at a time; a
    // later one replaces it until its token ends.
    [[nodiscard]] Token setApplicationEventHandler(ApplicationEventHandler handler);

    // The taps in the order events reach them.
    std::vector<CFMachPortRef> taps() const;

    // A fault, as the window server makes it: disables an enabled tap for
    // the reason (kCGEventTapDisabledByTimeout, as for a callback past the
    // time limit, or kCGEventTapDisabledByUserInput, as for secure text
    // entry) and tells its callback on its run loop, which may enable it
    // again.
    void disableTap(const CFMachPortRef& tap, CGEventType reason);

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
    void route(const DesktopInputEvent& record, bool now);
    // Takes the next queued event and carries it, then leaves the rest to
    // the next turn of the main run loop. `now`: called to carry an event at
    // once from the top of the main thread; then every queued event goes,
    // until none is left or one has to wait for a tap's run loop, and the
    // main run loop's taps run as in its default mode.
    void pump(bool now);
    // Queues a pump on the main run loop, in the common modes.
    void schedulePump();
    // Carries one event on from its next tap; NO when it has to wait, and
    // then resumes the pump itself.
    bool advance(const std::shared_ptr<InFlight>& flight, bool now);
    // Runs one tap's callback; NO when the tap swallowed the event.
    bool runTap(const CFMachPortRef& tap, const std::shared_ptr<InFlight>& flight);
    void notifyDisabled(const CFMachPortRef& tap, CGEventType reason);
    // The hot keys, then the application; or, for a swallowed event, only
    // the end of its way.
    void finish(const std::shared_ptr<InFlight>& flight, bool swallowed);
    // Whether the flight belongs to the current desktop's stream.
    bool isCurrent(const std::shared_ptr<InFlight>& flight) const;

    mutable std::mutex m_mutex;
    std::vector<Entry> m_taps;
    ApplicationEventHandler m_applicationHandler;
    uint64_t m_handlerGeneration { 0 };
    std::deque<std::shared_ptr<InFlight>> m_queue;
    // A pump is queued on the main run loop.
    bool m_scheduled { false };
    // An event is between being taken and reaching its application (in the
    // taps, at the hot keys, or waiting for a tap's run loop); the next one
    // is taken after it.
    bool m_carrying { false };
    // The desktop the stream carries events of, and a count of the streams:
    // a new desktop starts a new stream and the old one's events are
    // dropped.
    std::weak_ptr<Desktop> m_desktop;
    uint64_t m_streamGeneration { 0 };
};

#include "EventStream.h"

#include "CarbonEvents.h"

#include <desktop/Desktop.h>
#include <foundation/Clock.h>
#include <foundation/RunLoop.h>

#include <algorithm>

struct EventStream::InFlight {
    CGEventRef event;
    CGEventTapLocation enteredAt { kCGHIDEventTap };
    std::vector<Weak<CFMachPort>> taps;
    size_t next { 0 };
    uint64_t stream { 0 };
};

EventStream& EventStream::shared()
{
    static auto* stream = new EventStream();
    return *stream;
}

EventStream::EventStream()
{
    Desktop::setInputRouter([this](const DesktopInputEvent& record, bool now) { route(record, now); });
}

Token EventStream::setApplicationEventHandler(ApplicationEventHandler handler)
{
    std::lock_guard lock(m_mutex);
    m_applicationHandler = std::move(handler);
    uint64_t generation = ++m_handlerGeneration;
    return Token([this, generation] {
        std::lock_guard lock(m_mutex);
        if (m_handlerGeneration == generation)
            m_applicationHandler = nullptr;
    });
}

std::vector<CFMachPortRef> EventStream::taps() const
{
    std::lock_guard lock(m_mutex);
    std::vector<CFMachPortRef> result;
    for (const auto& e : m_taps)
        if (auto tap = e.weak.lock())
            result.push_back(tap);
    return result;
}

void EventStream::addTap(const CFMachPortRef& tap, bool atHead)
{
    std::lock_guard lock(m_mutex);
    // Taps are grouped by location, in the order events reach the locations.
    auto location = tap->location();
    auto first = std::find_if(m_taps.begin(), m_taps.end(), [&](const Entry& e) { return e.port->location() >= location; });
    auto last = std::find_if(first, m_taps.end(), [&](const Entry& e) { return e.port->location() > location; });
    m_taps.insert(atHead ? first : last, { tap.get(), tap });
}

void EventStream::removeTap(CFMachPort* tap)
{
    std::lock_guard lock(m_mutex);
    std::erase_if(m_taps, [&](const Entry& e) { return e.port == tap; });
}

void EventStream::route(const DesktopInputEvent& record, bool now)
{
    auto flight = std::make_shared<InFlight>();
    flight->event = makeRef<CGEvent>(record);
    flight->enteredAt = record.tapLocation;
    // Only the desktop's identity: routing runs on the desktop's event
    // thread, which must never hold the last reference to it.
    auto desktop = Desktop::currentWeak();
    bool carryNow = false;
    bool schedule = false;
    {
        std::lock_guard lock(m_mutex);
        // Events of a desktop that was replaced, and the pump that was to
        // carry them, are gone with it. The weak reference keeps the old
        // desktop's identity, so a new one is never taken for it.
        bool sameDesktop = !m_desktop.owner_before(desktop) && !desktop.owner_before(m_desktop);
        if (!sameDesktop) {
            m_desktop = desktop;
            m_queue.clear();
            m_scheduled = false;
            m_carrying = false;
            ++m_streamGeneration;
        }
        flight->stream = m_streamGeneration;
        m_queue.push_back(flight);
        if (now && isMainThread() && !m_carrying) {
            carryNow = true;
        } else if (!m_scheduled) {
            m_scheduled = true;
            schedule = true;
        }
    }
    if (carryNow)
        pump(true);
    if (schedule)
        schedulePump();
}

void EventStream::schedulePump()
{
    RunLoop::main().perform(
        [this] {
            {
                std::lock_guard lock(m_mutex);
                m_scheduled = false;
            }
            pump(false);
        },
        kCFRunLoopCommonModes);
}

bool EventStream::isCurrent(const std::shared_ptr<InFlight>& flight) const
{
    std::lock_guard lock(m_mutex);
    return flight->stream == m_streamGeneration;
}

void EventStream::pump(bool now)
{
    for (;;) {
        std::shared_ptr<InFlight> flight;
        {
            std::lock_guard lock(m_mutex);
            if (m_carrying || m_queue.empty())
                return;
            flight = m_queue.front();
            m_queue.pop_front();
            m_carrying = true;
            for (const auto& e : m_taps)
                flight->taps.push_back(e.weak);
        }
        Desktop::current().takeInput(flight->event->record());
        if (!advance(flight, now))
            return;
        if (now)
            continue;
        // One event per turn of the run loop, as events arrive from the
        // window server: what a tap or a hot key queued on the main queue
        // for this event runs before the next event is taken.
        bool schedule = false;
        {
            std::lock_guard lock(m_mutex);
            if (!m_queue.empty() && !m_scheduled)
                schedule = m_scheduled = true;
        }
        if (schedule)
            schedulePump();
        return;
    }
}

bool EventStream::advance(const std::shared_ptr<InFlight>& flight, bool now)
{
    while (flight->next < flight->taps.size()) {
        auto tap = flight->taps[flight->next].lock();
        std::vector<RunLoopMode> modes;
        RunLoop* loop = nullptr;
        if (tap && tap->wants(CGEventGetType(flight->event), flight->enteredAt)) {
            std::lock_guard lock(tap->m_mutex);
            if (tap->m_source)
                loop = tap->m_source->firstLoop(&modes);
        }
        if (!loop) {
            ++flight->next;
            continue;
        }
        // The callback runs here when this is its run loop in one of its
        // modes; otherwise the event, and every event after it, waits there.
        RunLoopMode mode = RunLoop::current().currentMode();
        if (mode.empty() && now && RunLoop::current().isMain())
            mode = kCFRunLoopDefaultMode;
        bool here = loop == &RunLoop::current() && !mode.empty()
            && std::any_of(modes.begin(), modes.end(), [&](const RunLoopMode& m) {
                   return m == mode || (m == kCFRunLoopCommonModes && loop->isCommonMode(mode));
               });
        if (!here) {
            loop->perform(
                [this, flight] {
                    if (isCurrent(flight) && advance(flight, false))
                        pump(false);
                },
                modes);
            return false;
        }
        ++flight->next;
        if (!runTap(tap, flight)) {
            finish(flight, true);
            return true;
        }
    }
    if (!RunLoop::current().isMain()) {
        RunLoop::main().perform(
            [this, flight] {
                if (!isCurrent(flight))
                    return;
                finish(flight, false);
                pump(false);
            },
            kCFRunLoopCommonModes);
        return false;
    }
    finish(flight, false);
    return true;
}

bool EventStream::runTap(const CFMachPortRef& tap, const std::shared_ptr<InFlight>& flight)
{
    const CGEventRef event = flight->event;
    const DesktopInputEvent before = event->record();
    const double start = Clock::current().now();
    CGEventRef result = tap->m_callback(tap.get(), before.type, event, tap->m_userInfo);
    const double elapsed = Clock::current().now() - start;

    // A listening tap only watches: whatever its callback did, the event
    // passes on as it came.
    if (tap->options() == kCGEventTapOptionListenOnly) {
        event->record() = before;
        return true;
    }
    if (elapsed > kCGEventTapCallbackTimeLimit) {
        event->record() = before;
        if (tap->m_enabled.exchange(false))
            notifyDisabled(tap, kCGEventTapDisabledByTimeout);
        return true;
    }
    if (!result || CGEventGetType(result) == kCGEventNull)
        return false;
    flight->event = result;
    return true;
}

void EventStream::disableTap(const CFMachPortRef& tap, CGEventType reason)
{
    if (tap && tap->isValid() && tap->m_enabled.exchange(false))
        notifyDisabled(tap, reason);
}

void EventStream::notifyDisabled(const CFMachPortRef& tap, CGEventType reason)
{
    std::vector<RunLoopMode> modes;
    RunLoop* loop = nullptr;
    {
        std::lock_guard lock(tap->m_mutex);
        if (tap->m_source)
            loop = tap->m_source->firstLoop(&modes);
    }
    if (!loop)
        return;
    Weak<CFMachPort> weak = tap;
    loop->perform(
        [weak, reason] {
            auto tap = weak.lock();
            if (!tap || !tap->isValid())
                return;
            auto notice = CGEventCreate(nullptr);
            tap->m_callback(tap.get(), reason, notice, tap->m_userInfo);
        },
        modes);
}

void EventStream::finish(const std::shared_ptr<InFlight>& flight, bool swallowed)
{
    if (swallowed || dispatchHotKeyForEvent(flight->event)) {
        std::lock_guard lock(m_mutex);
        m_carrying = false;
        return;
    }
    const DesktopInputEvent record = flight->event->record();
    auto& desktop = Desktop::current();
    pid_t receiver = desktop.deliverInput(record);
    ApplicationEventHandler handler;
    {
        std::lock_guard lock(m_mutex);
        handler = m_applicationHandler;
    }
    if (handler)
        handler(flight->event, receiver);
    // The application has it now; the stream may take the next event while
    // the application is busy with this one, from a loop the application
    // runs inside its handling (tracking a drag).
    bool schedule = false;
    {
        std::lock_guard lock(m_mutex);
        m_carrying = false;
        if (!m_queue.empty() && !m_scheduled)
            schedule = m_scheduled = true;
    }
    if (schedule)
        schedulePump();
    Desktop::processInput(record, receiver);
}

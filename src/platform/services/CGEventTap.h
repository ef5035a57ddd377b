// Quartz event taps: a process's filter in the window server's input
// stream. Every key, modifier and mouse event passes the active taps before
// the hot keys and the frontmost application see it (see EventStream.h).
#pragma once

#include "CFRunLoopSource.h"

#include <appkit/CGEvent.h>

#include <atomic>
#include <functional>
#include <mutex>

using CGEventMask = uint64_t;
inline constexpr CGEventMask CGEventMaskBit(CGEventType type) { return type < 64 ? 1ull << type : 0; }
inline constexpr CGEventMask kCGEventMaskForAllEvents = ~0ull;

using CGEventTapPlacement = uint32_t;
inline constexpr CGEventTapPlacement kCGHeadInsertEventTap = 0;
inline constexpr CGEventTapPlacement kCGTailAppendEventTap = 1;

using CGEventTapOptions = uint32_t;
inline constexpr CGEventTapOptions kCGEventTapOptionDefault = 0;
inline constexpr CGEventTapOptions kCGEventTapOptionListenOnly = 1;

// How long an active tap's callback may take, measured on the clock. A
// callback that takes longer has its result ignored (the event passes on as
// it came) and its tap disabled; the callback is then called once with the
// type kCGEventTapDisabledByTimeout.
inline constexpr double kCGEventTapCallbackTimeLimit = 1.0;

inline constexpr const void* kCFAllocatorDefault = nullptr;

class CFMachPort;
// The tap a callback runs for.
using CGEventTapProxy = CFMachPort*;
// Returns the event to pass on (the one given, changed or not, or another
// one), or null to swallow it; an event whose type was set to
// kCGEventNull is swallowed too.
using CGEventTapCallBack
    = std::function<CGEventRef(CGEventTapProxy proxy, CGEventType type, const CGEventRef& event, void* userInfo)>;

// An event tap's port. Dropping the last reference removes the tap.
class CFMachPort final : public NSObject {
public:
    CFMachPort(CGEventTapLocation location, CGEventTapPlacement placement, CGEventTapOptions options,
        CGEventMask eventsOfInterest, CGEventTapCallBack callback, void* userInfo);
    ~CFMachPort() override;

    CGEventTapLocation location() const { return m_location; }
    CGEventTapOptions options() const { return m_options; }
    CGEventMask eventsOfInterest() const { return m_mask; }
    bool isValid() const { return m_valid.load(); }
    bool isEnabled() const { return m_enabled.load(); }
    // Whether the tap takes an event of this type that entered the stream
    // at the given location.
    bool wants(CGEventType type, CGEventTapLocation enteredAt) const;

private:
    friend class EventStream;
    friend void CGEventTapEnable(const Ref<CFMachPort>&, bool);
    friend CFRunLoopSourceRef CFMachPortCreateRunLoopSource(const void*, const Ref<CFMachPort>&, long);
    friend void CFMachPortInvalidate(const Ref<CFMachPort>&);

    const CGEventTapLocation m_location;
    const CGEventTapOptions m_options;
    const CGEventMask m_mask;
    const CGEventTapCallBack m_callback;
    void* const m_userInfo;
    std::atomic<bool> m_valid { true };
    std::atomic<bool> m_enabled { true };
    std::mutex m_mutex;
    CFRunLoopSourceRef m_source;
};
using CFMachPortRef = Ref<CFMachPort>;

// A new tap, enabled, at the head or the tail of the taps at its location
// (the HID system, the session, the annotated session). Null when the
// process is not trusted for accessibility or there is no callback.
CFMachPortRef CGEventTapCreate(CGEventTapLocation tap, CGEventTapPlacement place, CGEventTapOptions options,
    CGEventMask eventsOfInterest, CGEventTapCallBack callback, void* userInfo);
void CGEventTapEnable(const CFMachPortRef& tap, bool enable);
bool CGEventTapIsEnabled(const CFMachPortRef& tap);

// The port's run-loop source (the same one on every call); the tap's
// callback runs on the first run loop it is added to, in the modes it has
// there. A tap whose source is on no run loop is passed by.
CFRunLoopSourceRef CFMachPortCreateRunLoopSource(const void* allocator, const CFMachPortRef& port, long order);
// Removes the tap for good and invalidates its source.
void CFMachPortInvalidate(const CFMachPortRef& port);
bool CFMachPortIsValid(const CFMachPortRef& port);

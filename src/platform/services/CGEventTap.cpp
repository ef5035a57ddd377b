#include "CGEventTap.h"

#include "EventStream.h"

#include <desktop/Desktop.h>

CFMachPort::CFMachPort(CGEventTapLocation location, CGEventTapPlacement, CGEventTapOptions options,
    CGEventMask eventsOfInterest, CGEventTapCallBack callback, void* userInfo)
    : m_location(location)
    , m_options(options)
    , m_mask(eventsOfInterest)
    , m_callback(std::move(callback))
    , m_userInfo(userInfo)
{
}

CFMachPort::~CFMachPort()
{
    EventStream::shared().removeTap(this);
    std::lock_guard lock(m_mutex);
    if (m_source)
        m_source->invalidate();
}

bool CFMachPort::wants(CGEventType type, CGEventTapLocation enteredAt) const
{
    return isValid() && isEnabled() && m_location >= enteredAt && (m_mask & CGEventMaskBit(type));
}

CFMachPortRef CGEventTapCreate(CGEventTapLocation tap, CGEventTapPlacement place, CGEventTapOptions options,
    CGEventMask eventsOfInterest, CGEventTapCallBack callback, void* userInfo)
{
    if (!callback || tap > kCGAnnotatedSessionEventTap)
        return nullptr;
    // Taps that see other processes' keystrokes need the user's trust.
    if (!Desktop::current().isAccessibilityTrusted())
        return nullptr;
    auto port = makeRef<CFMachPort>(tap, place, options, eventsOfInterest, std::move(callback), userInfo);
    EventStream::shared().addTap(port, place == kCGHeadInsertEventTap);
    return port;
}

void CGEventTapEnable(const CFMachPortRef& tap, bool enable)
{
    if (tap && tap->isValid())
        tap->m_enabled.store(enable);
}

bool CGEventTapIsEnabled(const CFMachPortRef& tap) { return tap && tap->isValid() && tap->isEnabled(); }

CFRunLoopSourceRef CFMachPortCreateRunLoopSource(const void*, const CFMachPortRef& port, long)
{
    if (!port || !port->isValid())
        return nullptr;
    std::lock_guard lock(port->m_mutex);
    if (!port->m_source)
        port->m_source = makeRef<CFRunLoopSource>();
    return port->m_source;
}

void CFMachPortInvalidate(const CFMachPortRef& port)
{
    if (!port || !port->m_valid.exchange(false))
        return;
    EventStream::shared().removeTap(port.get());
    std::lock_guard lock(port->m_mutex);
    if (port->m_source)
        port->m_source->invalidate();
}

bool CFMachPortIsValid(const CFMachPortRef& port) { return port && port->isValid(); }

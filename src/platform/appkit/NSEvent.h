// Events of the application framework.
#pragma once

#include "CGEvent.h"

#include <foundation/CGGeometry.h>
#include <foundation/NSObject.h>

using NSEventType = uint32_t;
inline constexpr NSEventType NSEventTypeLeftMouseDown = 1;
inline constexpr NSEventType NSEventTypeLeftMouseUp = 2;
inline constexpr NSEventType NSEventTypeRightMouseDown = 3;
inline constexpr NSEventType NSEventTypeRightMouseUp = 4;
inline constexpr NSEventType NSEventTypeMouseMoved = 5;
inline constexpr NSEventType NSEventTypeLeftMouseDragged = 6;
inline constexpr NSEventType NSEventTypeRightMouseDragged = 7;
inline constexpr NSEventType NSEventTypeMouseEntered = 8;
inline constexpr NSEventType NSEventTypeMouseExited = 9;
inline constexpr NSEventType NSEventTypeKeyDown = 10;
inline constexpr NSEventType NSEventTypeKeyUp = 11;
inline constexpr NSEventType NSEventTypeFlagsChanged = 12;
inline constexpr NSEventType NSEventTypeScrollWheel = 22;

using NSEventModifierFlags = uint64_t;
inline constexpr NSEventModifierFlags NSEventModifierFlagCapsLock = 1 << 16;
inline constexpr NSEventModifierFlags NSEventModifierFlagShift = 1 << 17;
inline constexpr NSEventModifierFlags NSEventModifierFlagControl = 1 << 18;
inline constexpr NSEventModifierFlags NSEventModifierFlagOption = 1 << 19;
inline constexpr NSEventModifierFlags NSEventModifierFlagCommand = 1 << 20;
inline constexpr NSEventModifierFlags NSEventModifierFlagNumericPad = 1 << 21;
inline constexpr NSEventModifierFlags NSEventModifierFlagHelp = 1 << 22;
inline constexpr NSEventModifierFlags NSEventModifierFlagFunction = 1 << 23;
inline constexpr NSEventModifierFlags NSEventModifierFlagDeviceIndependentFlagsMask = 0xffff0000UL;

class NSEvent : public NSObject {
public:
    // The mouse position in screen coordinates (bottom-left origin).
    static NSPoint mouseLocation();
    // Bit n is set while mouse button n is down.
    static uint32_t pressedMouseButtons();
    // The event a Quartz event describes (a copy of it).
    static Ref<NSEvent> eventWithCGEvent(const CGEventRef& event);

    explicit NSEvent(CGEventRef event)
        : m_event(std::move(event))
    {
    }
    // The Quartz event behind this one.
    const CGEventRef& CGEvent() const { return m_event; }
    NSEventType type() const { return CGEventGetType(m_event); }
    uint16_t keyCode() const { return static_cast<uint16_t>(CGEventGetIntegerValueField(m_event, kCGKeyboardEventKeycode)); }
    NSEventModifierFlags modifierFlags() const { return CGEventGetFlags(m_event); }
    double timestamp() const { return CGEventGetTimestamp(m_event); }

private:
    CGEventRef m_event;
};

// Events of the application framework: keys, modifier changes, mouse and
// scroll wheel, each carrying its time (from the Clock), its window and its
// location. Local monitors see this application's events before they are
// dispatched; global monitors see the events that go to other applications.
#pragma once

#include "CGEvent.h"

#include <foundation/CGGeometry.h>
#include <foundation/NSObject.h>

#include <functional>

class NSWindow;
class NSTrackingArea;

using NSEventType = uint32_t;
inline constexpr NSEventType NSEventTypeLeftMouseDown = kCGEventLeftMouseDown;
inline constexpr NSEventType NSEventTypeLeftMouseUp = kCGEventLeftMouseUp;
inline constexpr NSEventType NSEventTypeRightMouseDown = kCGEventRightMouseDown;
inline constexpr NSEventType NSEventTypeRightMouseUp = kCGEventRightMouseUp;
inline constexpr NSEventType NSEventTypeMouseMoved = kCGEventMouseMoved;
inline constexpr NSEventType NSEventTypeLeftMouseDragged = kCGEventLeftMouseDragged;
inline constexpr NSEventType NSEventTypeRightMouseDragged = kCGEventRightMouseDragged;
inline constexpr NSEventType NSEventTypeMouseEntered = 8;
inline constexpr NSEventType NSEventTypeMouseExited = 9;
inline constexpr NSEventType NSEventTypeKeyDown = kCGEventKeyDown;
inline constexpr NSEventType NSEventTypeKeyUp = kCGEventKeyUp;
inline constexpr NSEventType NSEventTypeFlagsChanged = kCGEventFlagsChanged;
inline constexpr NSEventType NSEventTypeSystemDefined = 14;
inline constexpr NSEventType NSEventTypeScrollWheel = kCGEventScrollWheel;

using NSEventMask = uint64_t;
inline constexpr NSEventMask NSEventMaskFromType(NSEventType type) { return NSEventMask(1) << type; }
inline constexpr NSEventMask NSEventMaskLeftMouseDown = NSEventMaskFromType(NSEventTypeLeftMouseDown);
inline constexpr NSEventMask NSEventMaskLeftMouseUp = NSEventMaskFromType(NSEventTypeLeftMouseUp);
inline constexpr NSEventMask NSEventMaskRightMouseDown = NSEventMaskFromType(NSEventTypeRightMouseDown);
inline constexpr NSEventMask NSEventMaskRightMouseUp = NSEventMaskFromType(NSEventTypeRightMouseUp);
inline constexpr NSEventMask NSEventMaskMouseMoved = NSEventMaskFromType(NSEventTypeMouseMoved);
inline constexpr NSEventMask NSEventMaskLeftMouseDragged = NSEventMaskFromType(NSEventTypeLeftMouseDragged);
inline constexpr NSEventMask NSEventMaskRightMouseDragged = NSEventMaskFromType(NSEventTypeRightMouseDragged);
inline constexpr NSEventMask NSEventMaskMouseEntered = NSEventMaskFromType(NSEventTypeMouseEntered);
inline constexpr NSEventMask NSEventMaskMouseExited = NSEventMaskFromType(NSEventTypeMouseExited);
inline constexpr NSEventMask NSEventMaskKeyDown = NSEventMaskFromType(NSEventTypeKeyDown);
inline constexpr NSEventMask NSEventMaskKeyUp = NSEventMaskFromType(NSEventTypeKeyUp);
inline constexpr NSEventMask NSEventMaskFlagsChanged = NSEventMaskFromType(NSEventTypeFlagsChanged);
inline constexpr NSEventMask NSEventMaskSystemDefined = NSEventMaskFromType(NSEventTypeSystemDefined);
inline constexpr NSEventMask NSEventMaskScrollWheel = NSEventMaskFromType(NSEventTypeScrollWheel);
inline constexpr NSEventMask NSEventMaskAny = ~NSEventMask(0);

using NSEventModifierFlags = uint64_t;
inline constexpr NSEventModifierFlags NSEventModifierFlagCapsLock = kCGEventFlagMaskAlphaShift;
inline constexpr NSEventModifierFlags NSEventModifierFlagShift = kCGEventFlagMaskShift;
inline constexpr NSEventModifierFlags NSEventModifierFlagControl = kCGEventFlagMaskControl;
inline constexpr NSEventModifierFlags NSEventModifierFlagOption = kCGEventFlagMaskAlternate;
inline constexpr NSEventModifierFlags NSEventModifierFlagCommand = kCGEventFlagMaskCommand;
inline constexpr NSEventModifierFlags NSEventModifierFlagNumericPad = kCGEventFlagMaskNumericPad;
inline constexpr NSEventModifierFlags NSEventModifierFlagHelp = kCGEventFlagMaskHelp;
inline constexpr NSEventModifierFlags NSEventModifierFlagFunction = kCGEventFlagMaskSecondaryFn;
inline constexpr NSEventModifierFlags NSEventModifierFlagDeviceIndependentFlagsMask = 0xffff0000UL;


// The characters a key of a US keyboard types (UTF-8), with or without
// Shift; empty for keys that type nothing (modifiers, unknown codes).
// Arrow, delete and function keys give the platform's private-use
// function-key characters.
std::string NSEventUSKeyboardCharacters(uint16_t keyCode, bool shift);

class NSEvent : public NSObject {
public:
    // The mouse position in screen coordinates (bottom-left origin).
    // The user's key-repeat settings: how long a key is held before it
    // repeats, and the time between repeats, in seconds. The desktop here
    // has no settings panel, so these are the usual defaults.
    static double keyRepeatDelay() { return 0.5; }
    static double keyRepeatInterval() { return 0.1; }
    static NSPoint mouseLocation();
    // Bit n is set while mouse button n is down.
    static uint32_t pressedMouseButtons();
    // The event a Quartz event describes (a copy of it). Key events get
    // their characters from the US layout.
    static Ref<NSEvent> eventWithCGEvent(const CGEventRef& event);

    // Events as a person makes them, stamped with the clock's current time.
    // Key events type the US layout's characters for the key and flags.
    static Ref<NSEvent> keyEventWithKeyCode(
        NSEventType type, uint16_t keyCode, NSEventModifierFlags flags = 0, bool isARepeat = false);
    // A key event with explicit characters (keyEventWithType:...).
    static Ref<NSEvent> keyEventWithType(NSEventType type, NSEventModifierFlags flags, const std::string& characters,
        const std::string& charactersIgnoringModifiers, bool isARepeat, uint16_t keyCode);
    static Ref<NSEvent> flagsChangedEventWithModifierFlags(NSEventModifierFlags flags, uint16_t keyCode = 0);
    // A mouse event at a point in screen coordinates (bottom-left origin).
    static Ref<NSEvent> mouseEventWithType(
        NSEventType type, NSPoint screenLocation, NSEventModifierFlags flags = 0, long clickCount = 1);
    // A scroll-wheel event; precise deltas are in points (a trackpad),
    // otherwise in lines.
    static Ref<NSEvent> scrollWheelEventAt(
        NSPoint screenLocation, CGFloat deltaX, CGFloat deltaY, bool precise = true, bool invertedFromDevice = false);
    // The entered or exited event a tracking area sends its owner.
    static Ref<NSEvent> enterExitEvent(NSEventType type, const Ref<NSEvent>& cause, const Ref<NSTrackingArea>& area);

    explicit NSEvent(CGEventRef event);

    // The Quartz event behind this one.
    const CGEventRef& CGEvent() const { return m_event; }
    NSEventType type() const;
    uint16_t keyCode() const { return static_cast<uint16_t>(CGEventGetIntegerValueField(m_event, kCGKeyboardEventKeycode)); }
    NSEventModifierFlags modifierFlags() const { return CGEventGetFlags(m_event); }
    double timestamp() const { return CGEventGetTimestamp(m_event); }
    bool isARepeat() const { return CGEventGetIntegerValueField(m_event, kCGKeyboardEventAutorepeat) != 0; }
    const std::string& characters() const { return m_characters; }
    const std::string& charactersIgnoringModifiers() const { return m_charactersIgnoringModifiers; }

    // Mouse.
    long clickCount() const { return static_cast<long>(CGEventGetIntegerValueField(m_event, kCGMouseEventClickState)); }
    long buttonNumber() const { return static_cast<long>(CGEventGetIntegerValueField(m_event, kCGMouseEventButtonNumber)); }
    // The location in screen coordinates (bottom-left origin).
    NSPoint locationInScreen() const;
    // The location in the event's window's base coordinates; in screen
    // coordinates when the event has no window.
    NSPoint locationInWindow() const;
    // Scroll amounts of a scroll-wheel event; for a mouse move or drag made
    // by mouseEventWithType, how far the pointer went (y downwards).
    CGFloat deltaX() const { return m_deltaX; }
    CGFloat deltaY() const { return m_deltaY; }
    CGFloat scrollingDeltaX() const { return m_deltaX; }
    CGFloat scrollingDeltaY() const { return m_deltaY; }
    bool hasPreciseScrollingDeltas() const { return m_precise; }
    bool isDirectionInvertedFromDevice() const { return m_inverted; }
    const Ref<NSTrackingArea>& trackingArea() const { return m_trackingArea; }

    Ref<NSWindow> window() const { return m_window.lock(); }
    long windowNumber() const;
    // Set by the application when it dispatches the event.
    void setWindow(const Ref<NSWindow>& window) { m_window = window; }

    // Local monitors run, in the order they were added, on this
    // application's events before dispatch; each gets what the previous one
    // returned, and one that returns null swallows the event. Global
    // monitors observe the events that go to other applications.
    using LocalMonitor = std::function<Ref<NSEvent>(const Ref<NSEvent>&)>;
    using GlobalMonitor = std::function<void(const Ref<NSEvent>&)>;
    [[nodiscard]] static Token addLocalMonitorForEventsMatchingMask(NSEventMask mask, LocalMonitor handler);
    [[nodiscard]] static Token addGlobalMonitorForEventsMatchingMask(NSEventMask mask, GlobalMonitor handler);

    std::string description() const override;

private:
    CGEventRef m_event;
    std::string m_characters;
    std::string m_charactersIgnoringModifiers;
    Weak<NSWindow> m_window;
    Ref<NSTrackingArea> m_trackingArea;
    CGFloat m_deltaX { 0 };
    CGFloat m_deltaY { 0 };
    bool m_precise { false };
    bool m_inverted { false };
};

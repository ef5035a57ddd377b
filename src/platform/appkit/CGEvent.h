// Quartz events: keyboard, mouse and scroll events as the window server
// carries them, with the platform's type, flag and field values.
#pragma once

#include <desktop/DesktopTypes.h>
#include <foundation/NSObject.h>

using CGEventType = uint32_t;
inline constexpr CGEventType kCGEventNull = 0;
inline constexpr CGEventType kCGEventLeftMouseDown = 1;
inline constexpr CGEventType kCGEventLeftMouseUp = 2;
inline constexpr CGEventType kCGEventRightMouseDown = 3;
inline constexpr CGEventType kCGEventRightMouseUp = 4;
inline constexpr CGEventType kCGEventMouseMoved = 5;
inline constexpr CGEventType kCGEventLeftMouseDragged = 6;
inline constexpr CGEventType kCGEventRightMouseDragged = 7;
inline constexpr CGEventType kCGEventKeyDown = 10;
inline constexpr CGEventType kCGEventKeyUp = 11;
inline constexpr CGEventType kCGEventFlagsChanged = 12;
inline constexpr CGEventType kCGEventScrollWheel = 22;
inline constexpr CGEventType kCGEventOtherMouseDown = 25;
inline constexpr CGEventType kCGEventOtherMouseUp = 26;
inline constexpr CGEventType kCGEventOtherMouseDragged = 27;
inline constexpr CGEventType kCGEventTapDisabledByTimeout = 0xFFFFFFFE;
inline constexpr CGEventType kCGEventTapDisabledByUserInput = 0xFFFFFFFF;

using CGEventFlags = uint64_t;
inline constexpr CGEventFlags kCGEventFlagMaskAlphaShift = 0x00010000;
inline constexpr CGEventFlags kCGEventFlagMaskShift = 0x00020000;
inline constexpr CGEventFlags kCGEventFlagMaskControl = 0x00040000;
inline constexpr CGEventFlags kCGEventFlagMaskAlternate = 0x00080000;
inline constexpr CGEventFlags kCGEventFlagMaskCommand = 0x00100000;
inline constexpr CGEventFlags kCGEventFlagMaskNumericPad = 0x00200000;
inline constexpr CGEventFlags kCGEventFlagMaskHelp = 0x00400000;
inline constexpr CGEventFlags kCGEventFlagMaskSecondaryFn = 0x00800000;
inline constexpr CGEventFlags kCGEventFlagMaskNonCoalesced = 0x00000100;

using CGEventField = uint32_t;
inline constexpr CGEventField kCGMouseEventClickState = 1;
inline constexpr CGEventField kCGMouseEventButtonNumber = 3;
inline constexpr CGEventField kCGKeyboardEventAutorepeat = 8;
inline constexpr CGEventField kCGKeyboardEventKeycode = 9;
inline constexpr CGEventField kCGScrollWheelEventDeltaAxis1 = 11;
inline constexpr CGEventField kCGScrollWheelEventDeltaAxis2 = 12;
inline constexpr CGEventField kCGScrollWheelEventIsContinuous = 88;

using CGMouseButton = uint32_t;
inline constexpr CGMouseButton kCGMouseButtonLeft = 0;
inline constexpr CGMouseButton kCGMouseButtonRight = 1;
inline constexpr CGMouseButton kCGMouseButtonCenter = 2;

using CGEventTapLocation = uint32_t;
inline constexpr CGEventTapLocation kCGHIDEventTap = 0;
inline constexpr CGEventTapLocation kCGSessionEventTap = 1;
inline constexpr CGEventTapLocation kCGAnnotatedSessionEventTap = 2;

using CGKeyCode = uint16_t;

class CGEventSource;
using CGEventSourceRef = Ref<CGEventSource>;

class CGEvent final : public NSObject {
public:
    explicit CGEvent(const DesktopInputEvent& record)
        : m_record(record)
    {
    }
    const DesktopInputEvent& record() const { return m_record; }
    DesktopInputEvent& record() { return m_record; }

private:
    DesktopInputEvent m_record;
};
using CGEventRef = Ref<CGEvent>;

// An event at the current mouse location with the current time.
CGEventRef CGEventCreate(const CGEventSourceRef& source);
CGEventRef CGEventCreateKeyboardEvent(const CGEventSourceRef& source, CGKeyCode keyCode, bool keyDown);
CGEventRef CGEventCreateMouseEvent(
    const CGEventSourceRef& source, CGEventType type, CGPoint location, CGMouseButton button);
CGEventRef CGEventCreateScrollWheelEvent(const CGEventSourceRef& source, int32_t deltaY, int32_t deltaX, bool continuous);
CGEventRef CGEventCreateCopy(const CGEventRef& event);
CGEventType CGEventGetType(const CGEventRef& event);
void CGEventSetType(const CGEventRef& event, CGEventType type);
CGPoint CGEventGetLocation(const CGEventRef& event);
void CGEventSetLocation(const CGEventRef& event, CGPoint location);
CGEventFlags CGEventGetFlags(const CGEventRef& event);
void CGEventSetFlags(const CGEventRef& event, CGEventFlags flags);
int64_t CGEventGetIntegerValueField(const CGEventRef& event, CGEventField field);
void CGEventSetIntegerValueField(const CGEventRef& event, CGEventField field, int64_t value);
double CGEventGetTimestamp(const CGEventRef& event);
// Posts the event into the window server's stream at a tap location.
void CGEventPost(CGEventTapLocation tap, const CGEventRef& event);

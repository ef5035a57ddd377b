// Quartz events: keyboard, mouse and scroll events as the window server
// carries them, with the platform's type, flag and field values.
#pragma once

#include <desktop/DesktopTypes.h>
#include <desktop/InputCodes.h>
#include <foundation/NSObject.h>

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

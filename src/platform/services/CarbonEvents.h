// Carbon events: event targets with chains of handlers, hot-key
// registration, and the live keyboard and mouse state.
//
// A handler that returns eventNotHandledErr passes the event on to the next
// handler of the chain (the most recently installed handler comes first).
// What no handler of the event dispatcher target takes goes on to the
// application target. Hot-key events are dispatched on the main run loop,
// where the application's event loop runs.
#pragma once

#include <appkit/CGEvent.h>
#include <foundation/NSObject.h>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

using OSStatus = int32_t;
using OSType = uint32_t;
using OptionBits = uint32_t;
using EventClass = OSType;
using EventKind = uint32_t;
using EventParamName = OSType;
using EventParamType = OSType;
using EventTime = double;

// A four-character code: the four bytes of the text, the first one highest.
constexpr OSType FourCharCode(const char (&text)[5])
{
    return (OSType(uint8_t(text[0])) << 24) | (OSType(uint8_t(text[1])) << 16) | (OSType(uint8_t(text[2])) << 8)
        | OSType(uint8_t(text[3]));
}

inline constexpr OSStatus noErr = 0;
inline constexpr OSStatus paramErr = -50;
inline constexpr OSStatus eventInternalErr = -9868;
inline constexpr OSStatus eventParameterNotFoundErr = -9870;
inline constexpr OSStatus eventNotHandledErr = -9874;
inline constexpr OSStatus eventHotKeyExistsErr = -9878;
inline constexpr OSStatus eventHotKeyInvalidErr = -9879;

inline constexpr EventClass kEventClassKeyboard = FourCharCode("keyb");
inline constexpr EventKind kEventHotKeyPressed = 5;
inline constexpr EventKind kEventHotKeyReleased = 6;
inline constexpr EventParamName kEventParamDirectObject = FourCharCode("----");
inline constexpr EventParamType typeEventHotKeyID = FourCharCode("hkid");
inline constexpr EventParamType typeWildCard = FourCharCode("****");


struct EventTypeSpec {
    EventClass eventClass;
    EventKind eventKind;
};

struct EventHotKeyID {
    OSType signature;
    uint32_t id;
};

class OpaqueEventRef;
class OpaqueEventTargetRef;
class OpaqueEventHandlerRef;
class OpaqueEventHandlerCallRef;
class OpaqueEventHotKeyRef;
using EventRef = Ref<OpaqueEventRef>;
using EventTargetRef = Ref<OpaqueEventTargetRef>;
using EventHandlerRef = Ref<OpaqueEventHandlerRef>;
using EventHandlerCallRef = OpaqueEventHandlerCallRef*;
using EventHotKeyRef = Ref<OpaqueEventHotKeyRef>;

using EventHandlerProcPtr = std::function<OSStatus(EventHandlerCallRef handlerCall, EventRef event, void* userData)>;
using EventHandlerUPP = EventHandlerProcPtr;
inline EventHandlerUPP NewEventHandlerUPP(EventHandlerProcPtr proc) { return proc; }

// One Carbon event: its class, kind, time and typed parameters.
class OpaqueEventRef final : public NSObject {
public:
    OpaqueEventRef(EventClass eventClass, EventKind kind, EventTime when)
        : m_class(eventClass)
        , m_kind(kind)
        , m_time(when)
    {
    }
    EventClass eventClass() const { return m_class; }
    EventKind kind() const { return m_kind; }
    EventTime time() const { return m_time; }

private:
    friend OSStatus SetEventParameter(const EventRef&, EventParamName, EventParamType, size_t, const void*);
    friend OSStatus GetEventParameter(
        const EventRef&, EventParamName, EventParamType, EventParamType*, size_t, size_t*, void*);
    struct Parameter {
        EventParamType type;
        std::vector<uint8_t> bytes;
    };
    EventClass m_class;
    EventKind m_kind;
    EventTime m_time;
    std::map<EventParamName, Parameter> m_parameters;
};

// Something events are sent to, with its chain of handlers.
class OpaqueEventTargetRef final : public NSObject {
public:
    enum class Kind { Application, Dispatcher };
    explicit OpaqueEventTargetRef(Kind kind)
        : m_kind(kind)
    {
    }
    Kind targetKind() const { return m_kind; }
    size_t handlerCount() const;

private:
    friend class CarbonEventDispatch;
    friend OSStatus InstallEventHandler(
        const EventTargetRef&, EventHandlerUPP, size_t, const EventTypeSpec*, void*, EventHandlerRef*);
    friend OSStatus RemoveEventHandler(const EventHandlerRef&);
    Kind m_kind;
    // Most recently installed first.
    std::vector<Ref<OpaqueEventHandlerRef>> m_handlers;
};

// An installed handler; RemoveEventHandler takes it off its target.
class OpaqueEventHandlerRef final : public NSObject {
public:
    bool isInstalled() const { return m_installed; }

private:
    friend class CarbonEventDispatch;
    friend OSStatus InstallEventHandler(
        const EventTargetRef&, EventHandlerUPP, size_t, const EventTypeSpec*, void*, EventHandlerRef*);
    friend OSStatus RemoveEventHandler(const EventHandlerRef&);
    Weak<OpaqueEventTargetRef> m_target;
    EventHandlerUPP m_handler;
    std::vector<EventTypeSpec> m_types;
    void* m_userData { nullptr };
    bool m_installed { true };
};

// A registered hot key; UnregisterEventHotKey ends the registration.
class OpaqueEventHotKeyRef final : public NSObject {
public:
    uint32_t keyCode() const { return m_keyCode; }
    uint32_t modifiers() const { return m_modifiers; }
    EventHotKeyID hotKeyID() const { return m_id; }
    bool isRegistered() const { return m_registered; }

private:
    friend class CarbonEventDispatch;
    friend OSStatus RegisterEventHotKey(uint32_t, uint32_t, EventHotKeyID, const EventTargetRef&, OptionBits, EventHotKeyRef*);
    friend OSStatus UnregisterEventHotKey(const EventHotKeyRef&);
    uint32_t m_keyCode { 0 };
    uint32_t m_modifiers { 0 };
    EventHotKeyID m_id {};
    Weak<OpaqueEventTargetRef> m_target;
    bool m_registered { true };
};

// The position of a handler call in its chain, for CallNextEventHandler.
class OpaqueEventHandlerCallRef {
public:
    EventTargetRef target;
    size_t next { 0 };
};

EventTargetRef GetApplicationEventTarget();
EventTargetRef GetEventDispatcherTarget();

OSStatus CreateEvent(const void* allocator, EventClass eventClass, EventKind kind, EventTime when,
    OptionBits flags, EventRef* outEvent);
EventClass GetEventClass(const EventRef& event);
EventKind GetEventKind(const EventRef& event);
OSStatus SetEventParameter(
    const EventRef& event, EventParamName name, EventParamType type, size_t size, const void* data);
// Copies a parameter into the buffer. eventParameterNotFoundErr when the
// event has no such parameter or it is of another type (typeWildCard takes
// any), paramErr when the buffer is too small or missing.
OSStatus GetEventParameter(const EventRef& event, EventParamName name, EventParamType desiredType,
    EventParamType* outActualType, size_t bufferSize, size_t* outActualSize, void* outData);

// Installs a handler for the listed event types at the front of the
// target's chain.
OSStatus InstallEventHandler(const EventTargetRef& target, EventHandlerUPP handler, size_t numTypes,
    const EventTypeSpec* list, void* userData, EventHandlerRef* outRef);
OSStatus RemoveEventHandler(const EventHandlerRef& handler);
// Runs the rest of the chain after the calling handler.
OSStatus CallNextEventHandler(EventHandlerCallRef handlerCall, const EventRef& event);
// Runs the target's chain now, on the calling thread.
OSStatus SendEventToEventTarget(const EventRef& event, const EventTargetRef& target);

// Registers a system-wide hot key: the key code with exactly these modifier
// bits (Command, Shift, Option, Control). Its key-down and key-up events
// never reach an application; instead hot-key pressed and released events
// with the identifier go to the target. A combination already registered by
// the process is refused with eventHotKeyExistsErr.
OSStatus RegisterEventHotKey(uint32_t keyCode, uint32_t modifiers, EventHotKeyID hotKeyID, const EventTargetRef& target,
    OptionBits options, EventHotKeyRef* outRef);
OSStatus UnregisterEventHotKey(const EventHotKeyRef& hotKey);
// The hot keys registered now.
std::vector<EventHotKeyRef> registeredEventHotKeys();

// The modifier keys held now, as Carbon modifier bits.
uint32_t GetCurrentKeyModifiers();
// The mouse buttons held now: bit 0 the primary button.
uint32_t GetCurrentButtonState();
// The keys held now: key code k is bit (k mod 8) of byte (k div 8).
using KeyMap = std::array<uint8_t, 16>;
void GetKeys(KeyMap& keys);

// Carbon modifier bits of event flags (Command, Shift, Caps Lock, Option,
// Control, Function).
uint32_t carbonModifiersOfEventFlags(CGEventFlags flags);

// The desktop's own keyboard shortcuts: an array of dictionaries with the
// keys below.
extern const std::string kHISymbolicHotKeyCode; // integer: the virtual key code
extern const std::string kHISymbolicHotKeyModifiers; // integer: Carbon modifier bits
extern const std::string kHISymbolicHotKeyEnabled; // boolean
OSStatus CopySymbolicHotKeys(Value* outHotKeyArray);

// The input stream's hot-key step (see EventStream.h): YES when a
// registered hot key took the event.
bool dispatchHotKeyForEvent(const CGEventRef& event);

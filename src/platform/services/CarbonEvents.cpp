#include "CarbonEvents.h"

#include "EventStream.h"

#include <desktop/Desktop.h>
#include <foundation/Clock.h>

#include <algorithm>
#include <cstring>
#include <mutex>

const std::string kHISymbolicHotKeyCode = "kHISymbolicHotKeyCode";
const std::string kHISymbolicHotKeyModifiers = "kHISymbolicHotKeyModifiers";
const std::string kHISymbolicHotKeyEnabled = "kHISymbolicHotKeyEnabled";

namespace {

// The modifier bits a hot-key combination is made of.
constexpr uint32_t kHotKeyModifierMask = cmdKey | shiftKey | optionKey | controlKey;

std::recursive_mutex gCarbonMutex;

}

// The process's Carbon event state: the two targets, the handler chains
// and the registered hot keys.
class CarbonEventDispatch {
public:
    static CarbonEventDispatch& shared()
    {
        static auto* dispatch = new CarbonEventDispatch();
        return *dispatch;
    }

    EventTargetRef application { makeRef<OpaqueEventTargetRef>(OpaqueEventTargetRef::Kind::Application) };
    EventTargetRef dispatcher { makeRef<OpaqueEventTargetRef>(OpaqueEventTargetRef::Kind::Dispatcher) };
    std::vector<EventHotKeyRef> hotKeys;
    // Key code to the hot key whose press was taken, so that the key's
    // release goes to the same hot key.
    std::map<uint16_t, EventHotKeyRef> pressed;

    static bool handles(const OpaqueEventHandlerRef& handler, const EventRef& event)
    {
        return std::any_of(handler.m_types.begin(), handler.m_types.end(), [&](const EventTypeSpec& t) {
            return t.eventClass == event->eventClass() && t.eventKind == event->kind();
        });
    }

    // Runs the target's chain from a position: each handler that takes the
    // event type, until one returns something other than eventNotHandledErr.
    OSStatus run(const EventTargetRef& target, size_t from, const EventRef& event)
    {
        std::vector<Ref<OpaqueEventHandlerRef>> chain;
        {
            std::lock_guard lock(gCarbonMutex);
            chain = target->m_handlers;
        }
        for (size_t i = from; i < chain.size(); ++i) {
            const auto& handler = chain[i];
            EventHandlerUPP proc;
            void* userData;
            {
                std::lock_guard lock(gCarbonMutex);
                if (!handler->m_installed || !handles(*handler, event) || !handler->m_handler)
                    continue;
                proc = handler->m_handler;
                userData = handler->m_userData;
            }
            OpaqueEventHandlerCallRef call { target, i + 1 };
            OSStatus status = proc(&call, event, userData);
            if (status != eventNotHandledErr)
                return status;
        }
        // The dispatcher hands on what its own handlers left to the application.
        if (target->targetKind() == OpaqueEventTargetRef::Kind::Dispatcher)
            return run(application, 0, event);
        return eventNotHandledErr;
    }

    // The desktop learns which combinations this process wants (called with
    // the lock held).
    void tellDesktop() const
    {
        std::vector<DesktopSymbolicHotKey> list;
        for (const auto& h : hotKeys)
            list.push_back({ 0, static_cast<uint16_t>(h->m_keyCode), h->m_modifiers, true, "hot key" });
        Desktop::current().setRegisteredHotKeys(std::move(list));
    }

    void send(const EventHotKeyRef& hotKey, EventKind kind)
    {
        EventTargetRef target = hotKey->m_target.lock();
        if (!target)
            return;
        EventRef event;
        if (CreateEvent(nullptr, kEventClassKeyboard, kind, Clock::current().now(), 0, &event) != noErr)
            return;
        EventHotKeyID id = hotKey->m_id;
        SetEventParameter(event, kEventParamDirectObject, typeEventHotKeyID, sizeof id, &id);
        run(target, 0, event);
    }
};

size_t OpaqueEventTargetRef::handlerCount() const
{
    std::lock_guard lock(gCarbonMutex);
    return m_handlers.size();
}

EventTargetRef GetApplicationEventTarget() { return CarbonEventDispatch::shared().application; }

EventTargetRef GetEventDispatcherTarget() { return CarbonEventDispatch::shared().dispatcher; }

OSStatus CreateEvent(
    const void*, EventClass eventClass, EventKind kind, EventTime when, OptionBits, EventRef* outEvent)
{
    if (!outEvent)
        return paramErr;
    *outEvent = makeRef<OpaqueEventRef>(eventClass, kind, when > 0 ? when : Clock::current().now());
    return noErr;
}

EventClass GetEventClass(const EventRef& event) { return event ? event->eventClass() : 0; }

EventKind GetEventKind(const EventRef& event) { return event ? event->kind() : 0; }

OSStatus SetEventParameter(
    const EventRef& event, EventParamName name, EventParamType type, size_t size, const void* data)
{
    if (!event || (size && !data))
        return paramErr;
    std::vector<uint8_t> bytes(size);
    if (size)
        std::memcpy(bytes.data(), data, size);
    std::lock_guard lock(gCarbonMutex);
    event->m_parameters[name] = { type, std::move(bytes) };
    return noErr;
}

OSStatus GetEventParameter(const EventRef& event, EventParamName name, EventParamType desiredType,
    EventParamType* outActualType, size_t bufferSize, size_t* outActualSize, void* outData)
{
    if (!event)
        return paramErr;
    std::lock_guard lock(gCarbonMutex);
    auto it = event->m_parameters.find(name);
    if (it == event->m_parameters.end())
        return eventParameterNotFoundErr;
    const auto& parameter = it->second;
    if (desiredType != typeWildCard && desiredType != parameter.type)
        return eventParameterNotFoundErr;
    if (outActualType)
        *outActualType = parameter.type;
    if (outActualSize)
        *outActualSize = parameter.bytes.size();
    if (!outData)
        return outActualSize || outActualType ? noErr : paramErr;
    if (bufferSize < parameter.bytes.size())
        return paramErr;
    if (!parameter.bytes.empty())
        std::memcpy(outData, parameter.bytes.data(), parameter.bytes.size());
    return noErr;
}

OSStatus InstallEventHandler(const EventTargetRef& target, EventHandlerUPP handler, size_t numTypes,
    const EventTypeSpec* list, void* userData, EventHandlerRef* outRef)
{
    if (outRef)
        *outRef = nullptr;
    if (!target || !handler || (numTypes && !list))
        return paramErr;
    auto installed = makeRef<OpaqueEventHandlerRef>();
    installed->m_target = target;
    installed->m_handler = std::move(handler);
    installed->m_types.assign(list, list + numTypes);
    installed->m_userData = userData;
    {
        std::lock_guard lock(gCarbonMutex);
        target->m_handlers.insert(target->m_handlers.begin(), installed);
    }
    if (outRef)
        *outRef = installed;
    return noErr;
}

OSStatus RemoveEventHandler(const EventHandlerRef& handler)
{
    if (!handler)
        return paramErr;
    std::lock_guard lock(gCarbonMutex);
    if (!handler->m_installed)
        return paramErr;
    handler->m_installed = false;
    if (auto target = handler->m_target.lock())
        std::erase(target->m_handlers, handler);
    return noErr;
}

OSStatus CallNextEventHandler(EventHandlerCallRef handlerCall, const EventRef& event)
{
    if (!handlerCall || !handlerCall->target || !event)
        return paramErr;
    return CarbonEventDispatch::shared().run(handlerCall->target, handlerCall->next, event);
}

OSStatus SendEventToEventTarget(const EventRef& event, const EventTargetRef& target)
{
    if (!event || !target)
        return paramErr;
    return CarbonEventDispatch::shared().run(target, 0, event);
}

OSStatus RegisterEventHotKey(uint32_t keyCode, uint32_t modifiers, EventHotKeyID hotKeyID, const EventTargetRef& target,
    OptionBits, EventHotKeyRef* outRef)
{
    if (outRef)
        *outRef = nullptr;
    if (!target || !outRef || keyCode > 0xFFFF)
        return paramErr;
    // Key events reach the hot keys only through the stream.
    EventStream::shared();
    modifiers &= kHotKeyModifierMask;
    auto& dispatch = CarbonEventDispatch::shared();
    std::lock_guard lock(gCarbonMutex);
    bool taken = std::any_of(dispatch.hotKeys.begin(), dispatch.hotKeys.end(),
        [&](const EventHotKeyRef& h) { return h->m_keyCode == keyCode && h->m_modifiers == modifiers; });
    if (taken)
        return eventHotKeyExistsErr;
    auto hotKey = makeRef<OpaqueEventHotKeyRef>();
    hotKey->m_keyCode = keyCode;
    hotKey->m_modifiers = modifiers;
    hotKey->m_id = hotKeyID;
    hotKey->m_target = target;
    dispatch.hotKeys.push_back(hotKey);
    *outRef = hotKey;
    dispatch.tellDesktop();
    return noErr;
}

OSStatus UnregisterEventHotKey(const EventHotKeyRef& hotKey)
{
    if (!hotKey)
        return paramErr;
    auto& dispatch = CarbonEventDispatch::shared();
    std::lock_guard lock(gCarbonMutex);
    if (!hotKey->m_registered)
        return eventHotKeyInvalidErr;
    hotKey->m_registered = false;
    std::erase(dispatch.hotKeys, hotKey);
    std::erase_if(dispatch.pressed, [&](const auto& entry) { return entry.second == hotKey; });
    dispatch.tellDesktop();
    return noErr;
}

std::vector<EventHotKeyRef> registeredEventHotKeys()
{
    std::lock_guard lock(gCarbonMutex);
    return CarbonEventDispatch::shared().hotKeys;
}

uint32_t carbonModifiersOfEventFlags(CGEventFlags flags)
{
    uint32_t modifiers = 0;
    if (flags & kCGEventFlagMaskCommand)
        modifiers |= cmdKey;
    if (flags & kCGEventFlagMaskShift)
        modifiers |= shiftKey;
    if (flags & kCGEventFlagMaskAlphaShift)
        modifiers |= alphaLock;
    if (flags & kCGEventFlagMaskAlternate)
        modifiers |= optionKey;
    if (flags & kCGEventFlagMaskControl)
        modifiers |= controlKey;
    if (flags & kCGEventFlagMaskSecondaryFn)
        modifiers |= kEventKeyModifierFnMask;
    return modifiers;
}

uint32_t GetCurrentKeyModifiers()
{
    auto& desktop = Desktop::current();
    uint32_t modifiers = carbonModifiersOfEventFlags(desktop.keyboardModifierFlags());
    // The right-hand keys add their own bit to the general one.
    for (uint16_t key : desktop.pressedKeyCodes()) {
        if (key == 60)
            modifiers |= rightShiftKey;
        else if (key == 61)
            modifiers |= rightOptionKey;
        else if (key == 62)
            modifiers |= rightControlKey;
    }
    return modifiers;
}

uint32_t GetCurrentButtonState() { return Desktop::current().pressedMouseButtons(); }

void GetKeys(KeyMap& keys)
{
    keys.fill(0);
    for (uint16_t key : Desktop::current().pressedKeyCodes())
        if (key < 128)
            keys[key / 8] |= static_cast<uint8_t>(1u << (key % 8));
}

OSStatus CopySymbolicHotKeys(Value* outHotKeyArray)
{
    if (!outHotKeyArray)
        return paramErr;
    Value::Array entries;
    for (const auto& hotKey : Desktop::current().symbolicHotKeys()) {
        entries.push_back(Value(Value::Dictionary {
            { kHISymbolicHotKeyCode, Value(static_cast<int64_t>(hotKey.keyCode)) },
            { kHISymbolicHotKeyModifiers, Value(static_cast<int64_t>(hotKey.modifiers)) },
            { kHISymbolicHotKeyEnabled, Value(hotKey.enabled) },
        }));
    }
    *outHotKeyArray = Value(std::move(entries));
    return noErr;
}

bool dispatchHotKeyForEvent(const CGEventRef& event)
{
    CGEventType type = CGEventGetType(event);
    if (type != kCGEventKeyDown && type != kCGEventKeyUp)
        return false;
    auto keyCode = static_cast<uint16_t>(CGEventGetIntegerValueField(event, kCGKeyboardEventKeycode));
    auto& dispatch = CarbonEventDispatch::shared();
    EventHotKeyRef hotKey;
    {
        std::lock_guard lock(gCarbonMutex);
        if (type == kCGEventKeyDown) {
            uint32_t modifiers = carbonModifiersOfEventFlags(CGEventGetFlags(event)) & kHotKeyModifierMask;
            for (const auto& h : dispatch.hotKeys) {
                if (h->keyCode() == keyCode && h->modifiers() == modifiers) {
                    hotKey = h;
                    break;
                }
            }
            if (hotKey)
                dispatch.pressed[keyCode] = hotKey;
        } else if (auto it = dispatch.pressed.find(keyCode); it != dispatch.pressed.end()) {
            hotKey = it->second;
            dispatch.pressed.erase(it);
        }
    }
    if (!hotKey)
        return false;
    dispatch.send(hotKey, type == kCGEventKeyDown ? kEventHotKeyPressed : kEventHotKeyReleased);
    return true;
}

// The simulated desktop's keyboard: key and modifier state, the events a
// person's typing makes, the desktop's own shortcuts and what applications
// received.
#include "SimDesktop.h"

#include "../InputCodes.h"

#include <foundation/Clock.h>

#include <algorithm>

namespace {

constexpr uint64_t kCapsLockFlag = kCGEventFlagMaskAlphaShift;
constexpr uint64_t kShiftFlag = kCGEventFlagMaskShift;
constexpr uint64_t kControlFlag = kCGEventFlagMaskControl;
constexpr uint64_t kOptionFlag = kCGEventFlagMaskAlternate;
constexpr uint64_t kCommandFlag = kCGEventFlagMaskCommand;
constexpr uint64_t kNumericPadFlag = kCGEventFlagMaskNumericPad;
constexpr uint64_t kFunctionFlag = kCGEventFlagMaskSecondaryFn;

// The modifier keys, in the order their changes are reported.
struct ModifierKey {
    uint64_t flag;
    uint16_t keyCode;
};
constexpr ModifierKey kModifierKeys[] = {
    { kControlFlag, kVK_Control },
    { kOptionFlag, kVK_Option },
    { kShiftFlag, kVK_Shift },
    { kCommandFlag, kVK_Command },
    { kFunctionFlag, kVK_Function },
    { kCapsLockFlag, kVK_CapsLock },
};
constexpr uint64_t kModifierMask
    = kCapsLockFlag | kShiftFlag | kControlFlag | kOptionFlag | kCommandFlag | kFunctionFlag;

std::optional<uint64_t> modifierFlagOfKey(uint16_t keyCode)
{
    switch (keyCode) {
    case kVK_Command:
    case kVK_RightCommand:
        return kCommandFlag;
    case kVK_Shift:
    case kVK_RightShift:
        return kShiftFlag;
    case kVK_Option:
    case kVK_RightOption:
        return kOptionFlag;
    case kVK_Control:
    case kVK_RightControl:
        return kControlFlag;
    case kVK_Function:
        return kFunctionFlag;
    case kVK_CapsLock:
        return kCapsLockFlag;
    default:
        return std::nullopt;
    }
}

// Flags the hardware adds to some keys' events, as the platform's keyboard
// does: the arrows are on the numeric pad and need the function key on
// small keyboards; the navigation and function keys carry the function flag.
uint64_t deviceFlagsOfKey(uint16_t keyCode)
{
    static constexpr uint16_t functionKeys[] = { kVK_Help, kVK_Home, kVK_PageUp,
        kVK_ForwardDelete, kVK_End, kVK_PageDown };
    static constexpr uint16_t keypadKeys[] = { 65, 67, 69, 71, 75, 76, 78, 81, 82, 83, 84, 85, 86, 87, 88, 89, 91, 92 };
    auto in = [keyCode](const auto& keys) {
        return std::find(std::begin(keys), std::end(keys), keyCode) != std::end(keys);
    };
    if (keyCode >= kVK_LeftArrow && keyCode <= kVK_UpArrow)
        return kNumericPadFlag | kFunctionFlag;
    if (in(functionKeys) || in(kVK_FunctionKeys))
        return kFunctionFlag;
    if (in(keypadKeys))
        return kNumericPadFlag;
    return 0;
}

}

std::vector<DesktopSymbolicHotKey> SimDesktop::defaultSymbolicHotKeys()
{
    return {
        { 1, kVK_Tab, cmdKey, true, "Application switcher" },
        { 2, kVK_Tab, cmdKey | shiftKey, true, "Application switcher, backwards" },
        { 27, kVK_ANSI_Grave, cmdKey, true, "Move focus to the next window" },
        { 28, kVK_ANSI_3, cmdKey | shiftKey, true, "Save picture of screen as a file" },
        { 30, kVK_ANSI_4, cmdKey | shiftKey, true, "Save picture of selected area as a file" },
        { 32, kVK_UpArrow, controlKey, true, "Show all windows" },
        { 33, kVK_DownArrow, controlKey, true, "Show application windows" },
        { 60, kVK_Space, controlKey, false, "Select the previous input source" },
        { 64, kVK_Space, cmdKey, true, "Show the search field" },
        { 65, kVK_Space, cmdKey | optionKey, true, "Show the search window" },
        { 79, kVK_LeftArrow, controlKey, true, "Move left a space" },
        { 81, kVK_RightArrow, controlKey, true, "Move right a space" },
    };
}

std::vector<DesktopSymbolicHotKey> SimDesktop::symbolicHotKeys() const
{
    std::lock_guard lock(m_mutex);
    log("CopySymbolicHotKeys");
    return m_symbolicHotKeys;
}

void SimDesktop::setSymbolicHotKeys(std::vector<DesktopSymbolicHotKey> hotKeys)
{
    std::lock_guard lock(m_mutex);
    m_symbolicHotKeys = std::move(hotKeys);
}

uint64_t SimDesktop::keyboardModifierFlags() const
{
    std::lock_guard lock(m_mutex);
    return m_modifierFlags;
}

std::vector<uint16_t> SimDesktop::pressedKeyCodes() const
{
    std::lock_guard lock(m_mutex);
    return { m_keysDown.begin(), m_keysDown.end() };
}

DesktopInputEvent SimDesktop::keyboardEventLocked(uint32_t type, uint16_t keyCode) const
{
    DesktopInputEvent e;
    e.type = type;
    e.keyCode = keyCode;
    e.flags = m_heldFlags | (type == kCGEventFlagsChanged ? 0 : deviceFlagsOfKey(keyCode));
    e.location = m_mouse;
    e.timestamp = Clock::current().now();
    e.tapLocation = 0;
    e.sourcePid = 0;
    return e;
}

void SimDesktop::applyKeyboardEvent(const DesktopInputEvent& event, uint64_t& flags, std::set<uint16_t>& keys)
{
    switch (event.type) {
    case kCGEventKeyDown:
        keys.insert(event.keyCode);
        break;
    case kCGEventKeyUp:
        keys.erase(event.keyCode);
        break;
    case kCGEventFlagsChanged:
        flags = event.flags & kModifierMask;
        // Caps Lock locks: its key is not held down.
        if (auto flag = modifierFlagOfKey(event.keyCode); flag && event.keyCode != kVK_CapsLock) {
            if (flags & *flag)
                keys.insert(event.keyCode);
            else
                keys.erase(event.keyCode);
        }
        break;
    default:
        break;
    }
}

void SimDesktop::takeInput(const DesktopInputEvent& event)
{
    std::lock_guard lock(m_mutex);
    applyKeyboardEvent(event, m_modifierFlags, m_keysDown);
}

void SimDesktop::changeModifiersLocked(uint64_t flags, std::vector<DesktopInputEvent>& events)
{
    flags &= kModifierMask;
    for (const auto& key : kModifierKeys) {
        bool want = flags & key.flag;
        bool have = m_heldFlags & key.flag;
        if (want == have)
            continue;
        m_heldFlags = want ? (m_heldFlags | key.flag) : (m_heldFlags & ~key.flag);
        auto e = keyboardEventLocked(kCGEventFlagsChanged, key.keyCode);
        applyKeyboardEvent(e, m_heldFlags, m_heldKeys);
        events.push_back(e);
    }
}

void SimDesktop::send(const std::vector<DesktopInputEvent>& events)
{
    for (const auto& e : events)
        routeInput(e);
}

void SimDesktop::setModifierFlags(uint64_t flags)
{
    std::vector<DesktopInputEvent> events;
    {
        std::lock_guard lock(m_mutex);
        changeModifiersLocked(flags, events);
    }
    send(events);
}

void SimDesktop::pressKey(uint16_t keyCode, std::optional<uint64_t> flags)
{
    std::vector<DesktopInputEvent> events;
    {
        std::lock_guard lock(m_mutex);
        if (flags)
            changeModifiersLocked(*flags, events);
        auto e = keyboardEventLocked(kCGEventKeyDown, keyCode);
        e.autorepeat = m_heldKeys.count(keyCode) > 0;
        m_heldKeys.insert(keyCode);
        events.push_back(e);
    }
    send(events);
}

void SimDesktop::releaseKey(uint16_t keyCode, std::optional<uint64_t> flags)
{
    std::vector<DesktopInputEvent> events;
    {
        std::lock_guard lock(m_mutex);
        events.push_back(keyboardEventLocked(kCGEventKeyUp, keyCode));
        m_heldKeys.erase(keyCode);
        if (flags)
            changeModifiersLocked(*flags, events);
    }
    send(events);
}

void SimDesktop::typeKey(uint16_t keyCode, uint64_t flags)
{
    uint64_t before;
    {
        std::lock_guard lock(m_mutex);
        before = m_heldFlags;
    }
    pressKey(keyCode, flags);
    releaseKey(keyCode, before);
}

void SimDesktop::sendHardwareInput(const DesktopInputEvent& event, bool now)
{
    DesktopInputEvent e = event;
    e.tapLocation = 0;
    e.sourcePid = 0;
    {
        std::lock_guard lock(m_mutex);
        // The pointer and the buttons are where the mouse's events say.
        switch (e.type) {
        case kCGEventLeftMouseDown:
        case kCGEventRightMouseDown:
        case kCGEventOtherMouseDown:
            m_buttons |= 1u << (e.type == kCGEventLeftMouseDown ? 0 : e.type == kCGEventRightMouseDown ? 1 : 2);
            m_mouse = e.location;
            break;
        case kCGEventLeftMouseUp:
        case kCGEventRightMouseUp:
        case kCGEventOtherMouseUp:
            m_buttons &= ~(1u << (e.type == kCGEventLeftMouseUp ? 0 : e.type == kCGEventRightMouseUp ? 1 : 2));
            m_mouse = e.location;
            break;
        case kCGEventMouseMoved:
        case kCGEventLeftMouseDragged:
        case kCGEventRightMouseDragged:
        case kCGEventOtherMouseDragged:
        case kCGEventScrollWheel:
            m_mouse = e.location;
            break;
        default:
            break;
        }
    }
    routeInput(e, now);
}

pid_t SimDesktop::deliverInput(const DesktopInputEvent& event)
{
    std::lock_guard lock(m_mutex);
    pid_t receiver = m_frontmost;
    switch (event.type) {
    case kCGEventLeftMouseDown:
    case kCGEventRightMouseDown:
    case kCGEventOtherMouseDown:
    case kCGEventMouseMoved:
    case kCGEventScrollWheel:
        receiver = applicationUnderPointLocked(event.location).value_or(m_frontmost);
        if (event.type != kCGEventMouseMoved && event.type != kCGEventScrollWheel)
            m_mouseDownReceiver = receiver;
        break;
    case kCGEventLeftMouseDragged:
    case kCGEventRightMouseDragged:
    case kCGEventOtherMouseDragged:
    case kCGEventLeftMouseUp:
    case kCGEventRightMouseUp:
    case kCGEventOtherMouseUp:
        receiver = m_mouseDownReceiver ? m_mouseDownReceiver : applicationUnderPointLocked(event.location).value_or(m_frontmost);
        if (event.type == kCGEventLeftMouseUp || event.type == kCGEventRightMouseUp || event.type == kCGEventOtherMouseUp)
            m_mouseDownReceiver = 0;
        break;
    default:
        break;
    }
    if (!receiver)
        return 0;
    m_received.emplace_back(receiver, event);
    return receiver;
}

std::optional<pid_t> SimDesktop::applicationUnderPointLocked(const CGPoint& location) const
{
    // Windows of a higher layer (floating panels) lie above the others.
    const DesktopWindow* top = nullptr;
    for (CGWindowID n : m_order) {
        const auto& w = m_windows.at(n);
        if (windowOnScreenLocked(w) && w.alpha > 0 && CGRectContainsPoint(w.frame, location)
            && (!top || w.layer > top->layer))
            top = &w;
    }
    return top ? std::optional<pid_t>(top->pid) : std::nullopt;
}

std::vector<DesktopInputEvent> SimDesktop::receivedEvents(pid_t pid) const
{
    std::lock_guard lock(m_mutex);
    std::vector<DesktopInputEvent> result;
    for (const auto& [receiver, event] : m_received)
        if (receiver == pid)
            result.push_back(event);
    return result;
}

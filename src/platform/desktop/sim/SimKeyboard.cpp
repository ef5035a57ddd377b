// The simulated desktop's keyboard: key and modifier state, the events a
// person's typing makes, the desktop's own shortcuts and what applications
// received.
#include "SimDesktop.h"

#include "../KeyboardLayout.h"
#include "../KeyboardState.h"

#include <foundation/Clock.h>

#include <algorithm>

using namespace KeyboardState;

std::vector<DesktopSymbolicHotKey> SimDesktop::defaultSymbolicHotKeys()
{
    auto hotKeys = switcherHotKeys();
    hotKeys.insert(hotKeys.end(), {
        { 28, kVK_ANSI_3, cmdKey | shiftKey, true, "Save picture of screen as a file" },
        { 30, kVK_ANSI_4, cmdKey | shiftKey, true, "Save picture of selected area as a file" },
        { 32, kVK_UpArrow, controlKey, true, "Show all windows" },
        { 33, kVK_DownArrow, controlKey, true, "Show application windows" },
        { 60, kVK_Space, controlKey, false, "Select the previous input source" },
        { 64, kVK_Space, cmdKey, true, "Show the search field" },
        { 65, kVK_Space, cmdKey | optionKey, true, "Show the search window" },
        { 79, kVK_LeftArrow, controlKey, true, "Move left a space" },
        { 81, kVK_RightArrow, controlKey, true, "Move right a space" },
    });
    static constexpr uint16_t kDigits[] = { kVK_ANSI_1, kVK_ANSI_2, kVK_ANSI_3, kVK_ANSI_4, kVK_ANSI_5, kVK_ANSI_6, kVK_ANSI_7,
        kVK_ANSI_8, kVK_ANSI_9, kVK_ANSI_0 };
    for (int n = 0; n < 10; ++n)
        hotKeys.push_back({ kSwitchToSpaceHotKey + n, kDigits[n], controlKey, true, "Switch to Desktop " + std::to_string(n + 1) });
    return hotKeys;
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

void SimDesktop::takeInput(const DesktopInputEvent& event)
{
    std::lock_guard lock(m_mutex);
    KeyboardState::apply(event, m_modifierFlags, m_keysDown);
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
        KeyboardState::apply(e, m_heldFlags, m_heldKeys);
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
        case 1: // left, right and other button down
        case 3:
        case 25:
            m_buttons |= 1u << (e.type == 1 ? 0 : e.type == 3 ? 1 : 2);
            m_mouse = e.location;
            break;
        case 2: // and up
        case 4:
        case 26:
            m_buttons &= ~(1u << (e.type == 2 ? 0 : e.type == 4 ? 1 : 2));
            m_mouse = e.location;
            break;
        case 5: // moved, dragged, scroll wheel
        case 6:
        case 7:
        case 27:
        case 22:
            m_mouse = e.location;
            break;
        default:
            break;
        }
    }
    routeInput(e, now);
}

std::optional<uint64_t> SimDesktop::spaceForShortcutLocked(const DesktopInputEvent& event) const
{
    if (event.type != kCGEventKeyDown || (event.flags & kModifierMask) != kCGEventFlagMaskControl)
        return std::nullopt;
    for (const auto& hotKey : m_symbolicHotKeys) {
        if (!hotKey.enabled || hotKey.keyCode != event.keyCode || hotKey.modifiers != controlKey
            || hotKey.identifier < kSwitchToSpaceHotKey || hotKey.identifier >= kSwitchToSpaceHotKey + 10)
            continue;
        // The nth space of the display under the pointer.
        size_t n = static_cast<size_t>(hotKey.identifier - kSwitchToSpaceHotKey);
        CGDirectDisplayID display = m_screens.empty() ? 0 : m_screens.front().displayID;
        for (const auto& screen : m_screens)
            if (m_separateSpaces && CGRectContainsPoint(screen.frame, m_mouse))
                display = screen.displayID;
        std::vector<uint64_t> spaces;
        for (const auto& s : m_spaces)
            if (displayOfSpaceLocked(s) == display)
                spaces.push_back(s.identifier);
        // The desktop takes its shortcut even when there is no such space.
        return n < spaces.size() ? spaces[n] : 0;
    }
    return std::nullopt;
}

pid_t SimDesktop::deliverInput(const DesktopInputEvent& event)
{
    std::optional<uint64_t> switchTo;
    {
        std::lock_guard lock(m_mutex);
        switchTo = spaceForShortcutLocked(event);
    }
    if (switchTo) {
        switchToSpace(*switchTo);
        return 0;
    }
    std::lock_guard lock(m_mutex);
    pid_t receiver = m_frontmost;
    switch (event.type) {
    case 1: // mouse down
    case 3:
    case 25:
    case 5: // moved
    case 22: // scroll wheel
        receiver = applicationUnderPointLocked(event.location).value_or(m_frontmost);
        if (event.type == 1 || event.type == 3 || event.type == 25)
            m_mouseDownReceiver = receiver;
        if (event.type == 1)
            m_heldWindow = titleBarUnderPointLocked(event.location);
        break;
    case 6: // dragged and up
    case 7:
    case 27:
    case 2:
    case 4:
    case 26:
        receiver = m_mouseDownReceiver ? m_mouseDownReceiver : applicationUnderPointLocked(event.location).value_or(m_frontmost);
        if (event.type == 2 || event.type == 4 || event.type == 26)
            m_mouseDownReceiver = 0;
        if (event.type == 2)
            m_heldWindow = 0;
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
        if (windowOnScreenLocked(w) && w.alpha > 0 && !w.ignoresMouseEvents && CGRectContainsPoint(w.frame, location)
            && (!top || w.layer > top->layer))
            top = &w;
    }
    return top ? std::optional<pid_t>(top->pid) : std::nullopt;
}

CGWindowID SimDesktop::titleBarUnderPointLocked(const CGPoint& location) const
{
    for (CGWindowID n : m_order) {
        const auto& w = m_windows.at(n);
        if (!windowOnScreenLocked(w) || w.alpha <= 0 || w.ignoresMouseEvents || !CGRectContainsPoint(w.frame, location))
            continue;
        return location.y < w.frame.origin.y + kTitleBarHeight && w.layer == 0 ? n : 0;
    }
    return 0;
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

// The X11 desktop's keyboard. Other programs' keys reach this process only
// where it grabs them: the desktop's switcher keys and the registered hot
// keys as passive grabs, and every key while the panel is up through a
// keyboard grab. Each X key event becomes the events the platform's
// keyboard would make (flags changed for the modifiers, then key down or
// up) and enters the input stream as the hardware's.
#include "X11Connection.h"
#include "X11Desktop.h"
#include "X11Keyboard.h"

#include "../KeyboardLayout.h"
#include "../KeyboardState.h"

#include <foundation/Clock.h>

#include <X11/keysym.h>

#include <algorithm>
#include <memory>

using namespace KeyboardState;

namespace {

// The modifier keys an X key event's state tells of.
constexpr size_t kStateModifierKeys = 4;
}

std::vector<DesktopSymbolicHotKey> X11Desktop::defaultSymbolicHotKeys()
{
    return switcherHotKeys();
}

std::vector<DesktopSymbolicHotKey> X11Desktop::symbolicHotKeys() const { return defaultSymbolicHotKeys(); }

void X11Desktop::setUpKeyboard()
{
    auto* c = m_x->connection();
    void* symbols = allocateKeySymbols(c);
    // Which of the eight modifiers holds Super, Alt and Num Lock on this
    // server.
    auto mapping = m_x->reply(xcb_get_modifier_mapping_reply, xcb_get_modifier_mapping(c));
    {
        MutexLock lock(m_mutex);
        m_keyboard.symbols = symbols;
        if (mapping)
            findModifiersLocked(*mapping);
    }
    grabHotKeys();
}

void X11Desktop::findModifiersLocked(xcb_get_modifier_mapping_reply_t& mapping)
{
    xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(&mapping);
    int perModifier = mapping.keycodes_per_modifier;
    uint16_t super = 0, alt = 0, numLock = 0;
    for (int modifier = 3; modifier < 8; ++modifier) {
        for (int i = 0; i < perModifier; ++i) {
            xcb_keysym_t symbol = keySymbolOf(m_keyboard.symbols, codes[modifier * perModifier + i]);
            if (symbol == XK_Super_L || symbol == XK_Super_R)
                super |= 1 << modifier;
            else if (symbol == XK_Alt_L || symbol == XK_Alt_R || symbol == XK_Meta_L)
                alt |= 1 << modifier;
            else if (symbol == XK_Num_Lock)
                numLock |= 1 << modifier;
        }
    }
    if (super)
        m_keyboard.superMask = super;
    if (alt)
        m_keyboard.altMask = alt;
    m_keyboard.numLockMask = numLock;
}

void X11Desktop::setRegisteredHotKeys(std::vector<DesktopSymbolicHotKey> hotKeys)
{
    {
        MutexLock lock(m_mutex);
        m_keyboard.registeredHotKeys = std::move(hotKeys);
    }
    grabHotKeys();
}

void X11Desktop::grabHotKeys()
{
    // What to grab: each combination's key codes and modifiers, worked out
    // under the lock; the grabs go to the server without it.
    struct Grab {
        std::string name;
        uint16_t modifiers;
        std::vector<xcb_keycode_t> codes;
    };
    std::vector<Grab> grabs;
    uint16_t numLockMask;
    {
        MutexLock lock(m_mutex);
        std::vector<DesktopSymbolicHotKey> wanted;
        for (const auto& hotKey : defaultSymbolicHotKeys())
            if (hotKey.enabled)
                wanted.push_back(hotKey);
        wanted.insert(wanted.end(), m_keyboard.registeredHotKeys.begin(), m_keyboard.registeredHotKeys.end());
        for (const auto& hotKey : wanted) {
            grabs.push_back({ X11Keyboard::combinationName(hotKey.keyCode, hotKey.modifiers),
                serverModifiersLocked(hotKey.modifiers),
                keyCodesOf(m_keyboard.symbols, X11Keyboard::symbolOfKeyCode(hotKey.keyCode)) });
        }
        numLockMask = m_keyboard.numLockMask;
    }
    auto* c = m_x->connection();
    xcb_ungrab_key(c, XCB_GRAB_ANY, m_x->root(), XCB_MOD_MASK_ANY);
    // Caps Lock and Num Lock do not change a combination.
    const uint16_t locks[] = { 0, XCB_MOD_MASK_LOCK, numLockMask, uint16_t(XCB_MOD_MASK_LOCK | numLockMask) };
    std::vector<std::string> failures;
    for (const auto& grab : grabs) {
        bool taken = false;
        for (xcb_keycode_t code : grab.codes) {
            for (uint16_t lock : locks) {
                auto cookie = xcb_grab_key_checked(c, 1, m_x->root(), grab.modifiers | lock, code, XCB_GRAB_MODE_ASYNC,
                    XCB_GRAB_MODE_ASYNC);
                if (!m_x->check(cookie))
                    taken = true;
            }
        }
        if (taken)
            failures.push_back(grab.name);
    }
    MutexLock lock(m_mutex);
    m_keyboard.grabFailures = std::move(failures);
}

uint16_t X11Desktop::serverModifiersLocked(uint32_t modifiers) const
{
    uint16_t mask = 0;
    if (modifiers & cmdKey)
        mask |= m_keyboard.superMask;
    if (modifiers & shiftKey)
        mask |= XCB_MOD_MASK_SHIFT;
    if (modifiers & optionKey)
        mask |= m_keyboard.altMask;
    if (modifiers & controlKey)
        mask |= XCB_MOD_MASK_CONTROL;
    return mask;
}

bool X11Desktop::isSwitcherHotKeyLocked(const xcb_key_press_event_t& event) const
{
    auto code = X11Keyboard::keyCodeOfSymbol(keySymbolOf(m_keyboard.symbols, event.detail));
    if (!code)
        return false;
    for (const auto& hotKey : defaultSymbolicHotKeys()) {
        uint16_t modifiers = serverModifiersLocked(hotKey.modifiers);
        if (hotKey.enabled && hotKey.keyCode == *code && (event.state & modifiers) == modifiers)
            return true;
    }
    return false;
}

void X11Desktop::setKeyboardGrabbed(bool grabbed)
{
    if (grabbed) {
        finishKeyboardGrab(requestKeyboardGrab());
        return;
    }
    {
        MutexLock lock(m_mutex);
        if (!m_keyboard.grabbed)
            return;
        m_keyboard.grabbed = false;
    }
    xcb_ungrab_keyboard(m_x->connection(), XCB_CURRENT_TIME);
    xcb_flush(m_x->connection());
}

X11Desktop::KeyboardGrabRequest X11Desktop::requestKeyboardGrab()
{
    {
        MutexLock lock(m_mutex);
        if (m_keyboard.grabbed)
            return {};
        // Held from now on as far as this process knows: the answer says
        // otherwise when the grab fails.
        m_keyboard.grabbed = true;
    }
    auto* c = m_x->connection();
    KeyboardGrabRequest request;
    request.sent = true;
    request.grab = xcb_grab_keyboard(c, 0, m_x->root(), XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    // Answered after the grab took hold.
    request.keymap = xcb_query_keymap(c);
    xcb_flush(c);
    return request;
}

void X11Desktop::finishKeyboardGrab(KeyboardGrabRequest request)
{
    if (!request.sent)
        return;
    auto reply = m_x->reply(xcb_grab_keyboard_reply, request.grab);
    auto keymap = m_x->reply(xcb_query_keymap_reply, request.keymap);
    std::vector<DesktopInputEvent> input;
    {
        MutexLock lock(m_mutex);
        m_keyboard.grabbed = reply && reply->status == XCB_GRAB_STATUS_SUCCESS;
        m_keyboard.openingUntil = 0;
        // A modifier released before the grab took hold was never seen:
        // the keys that are down now say which are still held.
        if (keymap) {
            uint64_t flags = m_keyboard.heldFlags;
            for (size_t i = 0; i < kStateModifierKeys; ++i) {
                const auto& key = kModifierKeys[i];
                if (!(flags & key.flag))
                    continue;
                bool down = false;
                for (uint16_t virtualKey : { key.keyCode, uint16_t(key.keyCode == kVK_Command ? kVK_RightCommand
                                                                 : key.keyCode == kVK_Shift ? kVK_RightShift
                                                                 : key.keyCode == kVK_Option ? kVK_RightOption
                                                                                                     : kVK_RightControl) })
                    for (xcb_keycode_t code : keyCodesOf(m_keyboard.symbols, X11Keyboard::symbolOfKeyCode(virtualKey)))
                        down = down || (keymap->keys[code / 8] & (1 << (code % 8)));
                if (!down)
                    flags &= ~key.flag;
            }
            syncModifiersLocked(flags, input);
        }
    }
    for (const auto& e : input)
        sendHardwareInput(e, false);
}

bool X11Desktop::isKeyboardGrabbed() const
{
    MutexLock lock(m_mutex);
    return m_keyboard.grabbed;
}

void X11Desktop::syncModifiersLocked(uint64_t flags, std::vector<DesktopInputEvent>& input)
{
    for (size_t i = 0; i < kStateModifierKeys; ++i) {
        const auto& key = kModifierKeys[i];
        bool want = flags & key.flag;
        if (want == bool(m_keyboard.heldFlags & key.flag))
            continue;
        m_keyboard.heldFlags = want ? (m_keyboard.heldFlags | key.flag) : (m_keyboard.heldFlags & ~key.flag);
        DesktopInputEvent e;
        e.type = kCGEventFlagsChanged;
        e.keyCode = key.keyCode;
        e.flags = m_keyboard.heldFlags;
        e.timestamp = Clock::current().now();
        KeyboardState::apply(e, m_keyboard.heldFlags, m_keyboard.heldKeys);
        input.push_back(e);
    }
}

uint64_t X11Desktop::flagsOfStateLocked(uint16_t state) const
{
    uint64_t flags = m_keyboard.heldFlags & kCGEventFlagMaskAlphaShift;
    if (state & XCB_MOD_MASK_SHIFT)
        flags |= kCGEventFlagMaskShift;
    if (state & XCB_MOD_MASK_CONTROL)
        flags |= kCGEventFlagMaskControl;
    if (state & m_keyboard.altMask)
        flags |= kCGEventFlagMaskAlternate;
    if (state & m_keyboard.superMask)
        flags |= kCGEventFlagMaskCommand;
    return flags;
}

void X11Desktop::translateKeyLocked(const xcb_key_press_event_t& event, bool press, std::vector<DesktopInputEvent>& input)
{
    auto code = X11Keyboard::keyCodeOfSymbol(keySymbolOf(m_keyboard.symbols, event.detail));
    if (!code)
        return;
    // The state is the modifiers before this event.
    syncModifiersLocked(flagsOfStateLocked(event.state), input);

    DesktopInputEvent e;
    e.keyCode = *code;
    e.timestamp = Clock::current().now();
    e.location = { double(event.root_x), double(event.root_y) };
    if (auto flag = modifierFlagOfKey(*code)) {
        if (*code == kVK_CapsLock) {
            if (!press)
                return;
            m_keyboard.heldFlags ^= kCGEventFlagMaskAlphaShift;
        } else {
            m_keyboard.heldFlags = press ? (m_keyboard.heldFlags | *flag) : (m_keyboard.heldFlags & ~*flag);
        }
        e.type = kCGEventFlagsChanged;
        e.flags = m_keyboard.heldFlags;
    } else {
        e.type = press ? kCGEventKeyDown : kCGEventKeyUp;
        e.flags = m_keyboard.heldFlags | deviceFlagsOfKey(*code);
        e.autorepeat = press && m_keyboard.heldKeys.count(*code);
    }
    KeyboardState::apply(e, m_keyboard.heldFlags, m_keyboard.heldKeys);
    input.push_back(e);
}

void X11Desktop::takeInput(const DesktopInputEvent& event)
{
    MutexLock lock(m_mutex);
    KeyboardState::apply(event, m_keyboard.modifierFlags, m_keyboard.keysDown);
}

uint64_t X11Desktop::keyboardModifierFlags() const
{
    MutexLock lock(m_mutex);
    return m_keyboard.modifierFlags;
}

std::vector<uint16_t> X11Desktop::pressedKeyCodes() const
{
    MutexLock lock(m_mutex);
    return { m_keyboard.keysDown.begin(), m_keyboard.keysDown.end() };
}

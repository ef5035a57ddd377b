#include "NSEvent.h"

#include "NSApplication.h"
#include "NSScreen.h"
#include "NSTrackingArea.h"
#include "NSWindow.h"

#include <desktop/Desktop.h>
#include <foundation/Clock.h>
#include <foundation/Format.h>
#include <foundation/Unicode.h>

#include <cctype>
#include <map>

namespace {

double primaryScreenHeight()
{
    auto screens = Desktop::current().screens();
    return screens.empty() ? 0 : screens.front().frame.size.height;
}

// Screen coordinates (bottom-left origin) and the window server's
// coordinates (top-left origin) mirror each other about the primary
// screen's height.
CGPoint flipPoint(CGPoint p) { return { p.x, primaryScreenHeight() - p.y }; }

struct KeyCharacters {
    char plain;
    char shifted;
};

const std::map<uint16_t, KeyCharacters>& usPrintableKeys()
{
    static const std::map<uint16_t, KeyCharacters> keys {
        { 0, { 'a', 'A' } }, { 1, { 's', 'S' } }, { 2, { 'd', 'D' } }, { 3, { 'f', 'F' } }, { 4, { 'h', 'H' } },
        { 5, { 'g', 'G' } }, { 6, { 'z', 'Z' } }, { 7, { 'x', 'X' } }, { 8, { 'c', 'C' } }, { 9, { 'v', 'V' } },
        { 11, { 'b', 'B' } }, { 12, { 'q', 'Q' } }, { 13, { 'w', 'W' } }, { 14, { 'e', 'E' } }, { 15, { 'r', 'R' } },
        { 16, { 'y', 'Y' } }, { 17, { 't', 'T' } }, { 18, { '1', '!' } }, { 19, { '2', '@' } }, { 20, { '3', '#' } },
        { 21, { '4', '$' } }, { 22, { '6', '^' } }, { 23, { '5', '%' } }, { 24, { '=', '+' } }, { 25, { '9', '(' } },
        { 26, { '7', '&' } }, { 27, { '-', '_' } }, { 28, { '8', '*' } }, { 29, { '0', ')' } }, { 30, { ']', '}' } },
        { 31, { 'o', 'O' } }, { 32, { 'u', 'U' } }, { 33, { '[', '{' } }, { 34, { 'i', 'I' } }, { 35, { 'p', 'P' } },
        { 36, { '\r', '\r' } }, { 37, { 'l', 'L' } }, { 38, { 'j', 'J' } }, { 39, { '\'', '"' } }, { 40, { 'k', 'K' } },
        { 41, { ';', ':' } }, { 42, { '\\', '|' } }, { 43, { ',', '<' } }, { 44, { '/', '?' } }, { 45, { 'n', 'N' } },
        { 46, { 'm', 'M' } }, { 47, { '.', '>' } }, { 48, { '\t', 25 } }, { 49, { ' ', ' ' } }, { 50, { '`', '~' } },
        { 51, { 127, 127 } }, { 53, { 27, 27 } },
    };
    return keys;
}

const std::map<uint16_t, uint32_t>& usFunctionKeys()
{
    static const std::map<uint16_t, uint32_t> keys {
        { 126, 0xF700 }, { 125, 0xF701 }, { 123, 0xF702 }, { 124, 0xF703 }, { 122, 0xF704 }, { 120, 0xF705 },
        { 99, 0xF706 }, { 118, 0xF707 }, { 96, 0xF708 }, { 97, 0xF709 }, { 98, 0xF70A }, { 100, 0xF70B },
        { 101, 0xF70C }, { 109, 0xF70D }, { 103, 0xF70E }, { 111, 0xF70F }, { 117, 0xF728 }, { 115, 0xF729 },
        { 119, 0xF72B }, { 116, 0xF72C }, { 121, 0xF72D },
    };
    return keys;
}

// What the key types with the modifiers held: Shift picks the shifted
// character; Control turns a letter into its control character.
void charactersFor(uint16_t keyCode, NSEventModifierFlags flags, std::string& characters, std::string& ignoring)
{
    bool shift = flags & NSEventModifierFlagShift;
    ignoring = NSEventUSKeyboardCharacters(keyCode, shift);
    characters = ignoring;
    if ((flags & NSEventModifierFlagControl) && ignoring.size() == 1 && std::isalpha(static_cast<unsigned char>(ignoring[0])))
        characters = std::string(1, static_cast<char>(std::tolower(ignoring[0]) & 0x1F));
}

}

std::string NSEventUSKeyboardCharacters(uint16_t keyCode, bool shift)
{
    const auto& printable = usPrintableKeys();
    if (auto it = printable.find(keyCode); it != printable.end())
        return std::string(1, shift ? it->second.shifted : it->second.plain);
    const auto& function = usFunctionKeys();
    std::string characters;
    if (auto it = function.find(keyCode); it != function.end()) appendUTF8(characters, it->second);
    return characters;
}

NSEvent::NSEvent(CGEventRef event)
    : m_event(std::move(event))
{
    if (!m_event)
        m_event = makeRef<::CGEvent>(DesktopInputEvent {});
}

NSPoint NSEvent::mouseLocation() { return flipPoint(Desktop::current().mouseLocation()); }

uint32_t NSEvent::pressedMouseButtons() { return Desktop::current().pressedMouseButtons(); }

Ref<NSEvent> NSEvent::eventWithCGEvent(const CGEventRef& event)
{
    if (!event)
        return nullptr;
    auto e = makeRef<NSEvent>(CGEventCreateCopy(event));
    const auto& r = event->record();
    if (r.type == kCGEventKeyDown || r.type == kCGEventKeyUp)
        charactersFor(r.keyCode, r.flags, e->m_characters, e->m_charactersIgnoringModifiers);
    if (r.type == kCGEventScrollWheel) {
        e->m_deltaX = r.scrollDeltaX;
        e->m_deltaY = r.scrollDeltaY;
        e->m_precise = r.scrollContinuous;
    }
    return e;
}

static DesktopInputEvent freshRecord(NSEventType type)
{
    DesktopInputEvent r;
    r.type = type;
    r.timestamp = Clock::current().now();
    r.location = Desktop::current().mouseLocation();
    return r;
}

Ref<NSEvent> NSEvent::keyEventWithKeyCode(NSEventType type, uint16_t keyCode, NSEventModifierFlags flags, bool isARepeat)
{
    std::string characters, ignoring;
    charactersFor(keyCode, flags, characters, ignoring);
    return keyEventWithType(type, flags, characters, ignoring, isARepeat, keyCode);
}

Ref<NSEvent> NSEvent::keyEventWithType(NSEventType type, NSEventModifierFlags flags, const std::string& characters,
    const std::string& charactersIgnoringModifiers, bool isARepeat, uint16_t keyCode)
{
    auto r = freshRecord(type);
    r.keyCode = keyCode;
    r.flags = flags;
    r.autorepeat = isARepeat;
    auto e = makeRef<NSEvent>(makeRef<::CGEvent>(r));
    e->m_characters = characters;
    e->m_charactersIgnoringModifiers = charactersIgnoringModifiers;
    return e;
}

Ref<NSEvent> NSEvent::flagsChangedEventWithModifierFlags(NSEventModifierFlags flags, uint16_t keyCode)
{
    auto r = freshRecord(NSEventTypeFlagsChanged);
    r.flags = flags;
    r.keyCode = keyCode;
    return makeRef<NSEvent>(makeRef<::CGEvent>(r));
}

Ref<NSEvent> NSEvent::mouseEventWithType(NSEventType type, NSPoint screenLocation, NSEventModifierFlags flags, long clickCount)
{
    auto r = freshRecord(type);
    r.location = flipPoint(screenLocation);
    r.flags = flags;
    bool right = type == NSEventTypeRightMouseDown || type == NSEventTypeRightMouseUp || type == NSEventTypeRightMouseDragged;
    r.mouseButton = right ? 1 : 0;
    r.clickState = (type == NSEventTypeMouseMoved) ? 0 : clickCount;
    auto e = makeRef<NSEvent>(makeRef<::CGEvent>(r));
    // Moves and drags carry how far the pointer went since it was last
    // placed, x to the right and y downwards, as the platform's do.
    if (type == NSEventTypeMouseMoved || type == NSEventTypeLeftMouseDragged || type == NSEventTypeRightMouseDragged) {
        CGPoint from = Desktop::current().mouseLocation();
        e->m_deltaX = r.location.x - from.x;
        e->m_deltaY = r.location.y - from.y;
    }
    return e;
}

Ref<NSEvent> NSEvent::scrollWheelEventAt(NSPoint screenLocation, CGFloat deltaX, CGFloat deltaY, bool precise, bool inverted)
{
    auto r = freshRecord(NSEventTypeScrollWheel);
    r.location = flipPoint(screenLocation);
    r.scrollDeltaX = deltaX;
    r.scrollDeltaY = deltaY;
    r.scrollContinuous = precise;
    auto e = makeRef<NSEvent>(makeRef<::CGEvent>(r));
    e->m_deltaX = deltaX;
    e->m_deltaY = deltaY;
    e->m_precise = precise;
    e->m_inverted = inverted;
    return e;
}

Ref<NSEvent> NSEvent::enterExitEvent(NSEventType type, const Ref<NSEvent>& cause, const Ref<NSTrackingArea>& area)
{
    auto r = freshRecord(type);
    if (cause) {
        r.location = cause->CGEvent()->record().location;
        r.flags = cause->modifierFlags();
        r.timestamp = cause->timestamp();
    }
    auto e = makeRef<NSEvent>(makeRef<::CGEvent>(r));
    e->m_trackingArea = area;
    if (cause)
        e->m_window = cause->m_window;
    return e;
}

NSEventType NSEvent::type() const { return CGEventGetType(m_event); }

NSPoint NSEvent::locationInScreen() const { return flipPoint(CGEventGetLocation(m_event)); }

NSPoint NSEvent::locationInWindow() const
{
    NSPoint screen = locationInScreen();
    if (auto window = m_window.lock())
        return window->convertPointFromScreen(screen);
    return screen;
}

long NSEvent::windowNumber() const
{
    auto window = m_window.lock();
    return window ? window->windowNumber() : 0;
}

Token NSEvent::addLocalMonitorForEventsMatchingMask(NSEventMask mask, LocalMonitor handler)
{
    return NSApp().addLocalMonitor(mask, std::move(handler));
}

Token NSEvent::addGlobalMonitorForEventsMatchingMask(NSEventMask mask, GlobalMonitor handler)
{
    return NSApp().addGlobalMonitor(mask, std::move(handler));
}

std::string NSEvent::description() const
{
    return stringWithFormat("NSEvent: type=%u loc=(%g,%g) time=%g flags=0x%llx keyCode=%u chars=\"%@\"", type(),
        locationInWindow().x, locationInWindow().y, timestamp(), static_cast<unsigned long long>(modifierFlags()),
        keyCode(), m_characters);
}

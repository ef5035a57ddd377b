// What the toolkit adds to NSEvent: the modifier keys and buttons held at
// this very moment (the Carbon event manager's live state, not an event's),
// what an event carries (modifiers, clicks, well-known key characters), and
// functions on a 16-byte key map.
#pragma once

#include <appkit/NSEvent.h>
#include <appkit/NSView.h>
#include <services/CarbonEvents.h>

#include <cstdint>
#include <optional>

class NSEventUtilities {
public:
    // Live state, read at the moment of the call.
    static bool commandKeyDownNow();
    static bool shiftKeyDownNow();
    static bool capsLockDownNow();
    static bool optionKeyDownNow();
    static bool controlKeyDownNow();
    // The primary mouse button.
    static bool isMouseButtonDown();
    static bool spaceKeyDownNow();
    // Carbon modifier bits to event modifier flags: Command, Shift, Option,
    // Control and Function; Caps Lock and the right-hand bits give nothing.
    static uint32_t carbonModifierFlagsToCocoaModifierFlags(uint32_t carbonFlags);
    // Whether the press of a mouse-down event becomes a drag. Runs the main
    // run loop in the event-tracking mode, taking this application's drag
    // and release events before they are dispatched: YES at the first drag
    // outside the square of side 2 x slop around the press (drags inside it
    // are consumed); NO at a release, which is dispatched afterwards, or when
    // the deadline passes. Without a deadline the wait lasts 2 seconds and
    // starts over for as long as the button is held.
    static bool isDragEvent(
        const Ref<NSEvent>& event, const Ref<NSView>& forView, float dragSlop, std::optional<double> timeOut);
    // How long one wait lasts when no deadline is given.
    static constexpr double kDragWaitInterval = 2.0;
    // The loop behind isDragEvent: how the press ended, and the event that
    // ended it. A release is handed over (not dispatched) when takeRelease
    // is set; the drag that left the square is always consumed.
    struct MouseTracking {
        enum class Outcome { Dragged, Released, Ended };
        Outcome outcome { Outcome::Ended };
        Ref<NSEvent> event;
    };
    static MouseTracking trackLeftMouse(
        const Ref<NSEvent>& event, bool flipped, float dragSlop, std::optional<double> timeOut, bool takeRelease);

    // What an event carries.
    static bool shiftKeyDown(const NSEvent& event);
    static bool controlKeyDown(const NSEvent& event);
    static bool optionKeyDown(const NSEvent& event);
    static bool commandKeyDown(const NSEvent& event);
    // Any of Control, Shift, Command and Option.
    static bool modifierIsDown(const NSEvent& event);
    // Exactly one of Option and Command.
    static bool optionXOrCommandKeyDown(const NSEvent& event);
    // Command held with an event that is not a key press.
    static bool openInNewWindowEvent(const NSEvent& event);
    // Odd click counts (1, 3, ...), and even ones that are not zero (2, 4, ...).
    static bool isSingleClick(const NSEvent& event);
    static bool isDoubleClick(const NSEvent& event);
    // Whether the event's characters begin with the character; NO for an
    // event without characters.
    static bool characterIsDown(const NSEvent& event, char16_t character);
    static bool isArrowEvent(const NSEvent& event);
    static bool isUpArrowEvent(const NSEvent& event);
    static bool isDownArrowEvent(const NSEvent& event);
    static bool isLeftArrowEvent(const NSEvent& event);
    static bool isRightArrowEvent(const NSEvent& event);
    static bool isHomeKeyEvent(const NSEvent& event);
    static bool isEndKeyEvent(const NSEvent& event);
    static bool isPageUpKeyEvent(const NSEvent& event);
    static bool isPageDownKeyEvent(const NSEvent& event);
    static bool isDeleteKeyEvent(const NSEvent& event);
    static bool isReturnKeyEvent(const NSEvent& event);
    static bool isEscKeyEvent(const NSEvent& event);
    static bool isTabKeyEvent(const NSEvent& event);
    static bool isShiftTabKeyEvent(const NSEvent& event);
};

// Key maps as GetKeys fills them: key code k is bit (k mod 8) of byte
// (k div 8). Key codes outside 0 to 127 have no bit and change nothing.
void KeyMapClear(KeyMap& map);
void KeyMapAddKeyCode(KeyMap& map, int32_t keyCode);
void KeyMapInvert(KeyMap& map);
bool KeyMapIntersects(const KeyMap& a, const KeyMap& b);
// One log line "KeyMap" with the sixteen bytes in hexadecimal, byte 0 first.
void KeyMapLog(const KeyMap& map);


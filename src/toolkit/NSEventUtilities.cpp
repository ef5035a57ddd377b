#include "NSEventUtilities.h"

#include <appkit/NSApplication.h>
#include <foundation/Clock.h>
#include <foundation/Log.h>
#include <foundation/RunLoop.h>
#include <foundation/Unicode.h>

#include <cstdio>
#include <deque>
#include <optional>

namespace {

bool liveModifier(uint32_t mask) { return (GetCurrentKeyModifiers() & mask) != 0; }

bool flag(const NSEvent& event, NSEventModifierFlags mask) { return (event.modifierFlags() & mask) != 0; }

// The first UTF-16 unit of a UTF-8 text, as the platform's strings count
// characters; nothing for an empty text.
std::optional<char16_t> firstUTF16Unit(const std::string& text)
{
    if (text.empty())
        return std::nullopt;
    size_t end = 0;
    nextCodePoint(text, end);
    return utf16FromUTF8(std::string_view(text).substr(0, end)).front();
}

int32_t clickCount(const NSEvent& event)
{
    return static_cast<int32_t>(event.clickCount());
}

}

bool NSEventUtilities::commandKeyDownNow() { return liveModifier(cmdKey); }
bool NSEventUtilities::shiftKeyDownNow() { return liveModifier(shiftKey); }
bool NSEventUtilities::capsLockDownNow() { return liveModifier(alphaLock); }
bool NSEventUtilities::optionKeyDownNow() { return liveModifier(optionKey); }
bool NSEventUtilities::controlKeyDownNow() { return liveModifier(controlKey); }
bool NSEventUtilities::isMouseButtonDown() { return GetCurrentButtonState() & 1; }

bool NSEventUtilities::spaceKeyDownNow()
{
    KeyMap keys;
    GetKeys(keys);
    return keys[kVK_Space / 8] & (1u << (kVK_Space % 8));
}

uint32_t NSEventUtilities::carbonModifierFlagsToCocoaModifierFlags(uint32_t carbonFlags)
{
    auto moved = [&](uint32_t from, NSEventModifierFlags to) { return (carbonFlags & from) ? static_cast<uint32_t>(to) : 0u; };
    return moved(cmdKey, NSEventModifierFlagCommand) | moved(shiftKey, NSEventModifierFlagShift)
        | moved(optionKey, NSEventModifierFlagOption) | moved(controlKey, NSEventModifierFlagControl)
        | moved(kEventKeyModifierFnMask, NSEventModifierFlagFunction);
}

NSEventUtilities::MouseTracking NSEventUtilities::trackLeftMouse(
    const Ref<NSEvent>& event, bool flipped, float dragSlop, std::optional<double> timeOut, bool takeRelease)
{
    NSPoint press = event->locationInWindow();
    CGRect square = CGRectInset(CGRectMake(press.x, press.y, 0, 0), -dragSlop, -dragSlop);

    // This application's drags and releases, in order, taken before dispatch.
    std::deque<Ref<NSEvent>> queue;
    Token monitor = NSEvent::addLocalMonitorForEventsMatchingMask(NSEventMaskLeftMouseUp | NSEventMaskLeftMouseDragged,
        [&queue](const Ref<NSEvent>& e) -> Ref<NSEvent> {
            queue.push_back(e);
            return nullptr;
        });
    // What was taken but not consumed goes on to its window once the caller
    // is done with the press, as if it had waited in the queue.
    auto answer = [&](MouseTracking::Outcome outcome, Ref<NSEvent> ending) {
        monitor.reset();
        if (!queue.empty()) {
            std::vector<Ref<NSEvent>> rest(queue.begin(), queue.end());
            RunLoop::main().perform(
                [rest] {
                    for (const auto& e : rest)
                        NSApp().sendEvent(e);
                },
                kCFRunLoopCommonModes);
        }
        MouseTracking result;
        result.outcome = outcome;
        result.event = std::move(ending);
        return result;
    };

    for (;;) {
        double deadline = timeOut ? *timeOut : Clock::current().now() + kDragWaitInterval;
        while (queue.empty() && Clock::current().now() < deadline) {
            if (!RunLoop::main().runMode(NSEventTrackingRunLoopMode, deadline))
                break;
        }
        if (queue.empty()) {
            if (timeOut || !isMouseButtonDown() || RunLoop::main().hasEnded())
                return answer(MouseTracking::Outcome::Ended, nullptr);
            continue;
        }
        if (queue.front()->type() == NSEventTypeLeftMouseUp) {
            Ref<NSEvent> release;
            if (takeRelease) {
                release = queue.front();
                queue.pop_front();
            }
            return answer(MouseTracking::Outcome::Released, release);
        }
        auto drag = queue.front();
        queue.pop_front();
        if (!NSMouseInRect(drag->locationInWindow(), square, flipped))
            return answer(MouseTracking::Outcome::Dragged, drag);
    }
}

bool NSEventUtilities::isDragEvent(
    const Ref<NSEvent>& event, const Ref<NSView>& forView, float dragSlop, std::optional<double> timeOut)
{
    if (!event)
        return false;
    bool flipped = forView && forView->isFlipped();
    return trackLeftMouse(event, flipped, dragSlop, timeOut, false).outcome == MouseTracking::Outcome::Dragged;
}

bool NSEventUtilities::shiftKeyDown(const NSEvent& event) { return flag(event, NSEventModifierFlagShift); }
bool NSEventUtilities::controlKeyDown(const NSEvent& event) { return flag(event, NSEventModifierFlagControl); }
bool NSEventUtilities::optionKeyDown(const NSEvent& event) { return flag(event, NSEventModifierFlagOption); }
bool NSEventUtilities::commandKeyDown(const NSEvent& event) { return flag(event, NSEventModifierFlagCommand); }

bool NSEventUtilities::modifierIsDown(const NSEvent& event)
{
    return controlKeyDown(event) || shiftKeyDown(event) || commandKeyDown(event) || optionKeyDown(event);
}

bool NSEventUtilities::optionXOrCommandKeyDown(const NSEvent& event) { return optionKeyDown(event) != commandKeyDown(event); }

bool NSEventUtilities::openInNewWindowEvent(const NSEvent& event)
{
    return commandKeyDown(event) && event.type() != NSEventTypeKeyDown;
}

bool NSEventUtilities::isSingleClick(const NSEvent& event) { return clickCount(event) % 2 == 1; }

bool NSEventUtilities::isDoubleClick(const NSEvent& event)
{
    int32_t count = clickCount(event);
    return count % 2 == 0 && count != 0;
}

bool NSEventUtilities::characterIsDown(const NSEvent& event, char16_t character)
{
    auto first = firstUTF16Unit(event.characters());
    return first && *first == character;
}

bool NSEventUtilities::isArrowEvent(const NSEvent& event)
{
    return isLeftArrowEvent(event) || isRightArrowEvent(event) || isUpArrowEvent(event) || isDownArrowEvent(event);
}

bool NSEventUtilities::isUpArrowEvent(const NSEvent& event) { return characterIsDown(event, 63232); }
bool NSEventUtilities::isDownArrowEvent(const NSEvent& event) { return characterIsDown(event, 63233); }
bool NSEventUtilities::isLeftArrowEvent(const NSEvent& event) { return characterIsDown(event, 63234); }
bool NSEventUtilities::isRightArrowEvent(const NSEvent& event) { return characterIsDown(event, 63235); }
bool NSEventUtilities::isHomeKeyEvent(const NSEvent& event) { return characterIsDown(event, 63273); }
bool NSEventUtilities::isEndKeyEvent(const NSEvent& event) { return characterIsDown(event, 63275); }
bool NSEventUtilities::isPageUpKeyEvent(const NSEvent& event) { return characterIsDown(event, 63276); }
bool NSEventUtilities::isPageDownKeyEvent(const NSEvent& event) { return characterIsDown(event, 63277); }
bool NSEventUtilities::isDeleteKeyEvent(const NSEvent& event) { return characterIsDown(event, 127); }
bool NSEventUtilities::isReturnKeyEvent(const NSEvent& event) { return characterIsDown(event, 13); }
bool NSEventUtilities::isEscKeyEvent(const NSEvent& event) { return characterIsDown(event, 27); }
bool NSEventUtilities::isTabKeyEvent(const NSEvent& event) { return characterIsDown(event, 9); }
bool NSEventUtilities::isShiftTabKeyEvent(const NSEvent& event) { return characterIsDown(event, 25); }

void KeyMapClear(KeyMap& map) { map.fill(0); }

void KeyMapAddKeyCode(KeyMap& map, int32_t keyCode)
{
    // A code outside the map would write past its sixteen bytes.
    if (keyCode < 0 || keyCode >= static_cast<int32_t>(map.size() * 8))
        return;
    map[keyCode / 8] |= static_cast<uint8_t>(1u << (keyCode % 8));
}

void KeyMapInvert(KeyMap& map)
{
    for (auto& byte : map)
        byte = static_cast<uint8_t>(~byte);
}

bool KeyMapIntersects(const KeyMap& a, const KeyMap& b)
{
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] & b[i])
            return true;
    return false;
}

void KeyMapLog(const KeyMap& map)
{
    std::string bytes;
    char text[8];
    for (uint8_t byte : map) {
        std::snprintf(text, sizeof text, " %02hhX", byte);
        bytes += text;
    }
    NSLog("KeyMap %@", bytes);
}

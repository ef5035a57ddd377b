#include "NSEventModifierState.h"

#include <desktop/Desktop.h>

#include <mutex>

namespace {

struct State {
    std::mutex mutex;
    std::weak_ptr<Desktop> desktop;
    NSEventModifierFlags flags { 0 };
};

State& state()
{
    static auto* s = new State;
    return *s;
}

}

NSEventModifierFlags NSEventModifierState::current()
{
    auto& s = state();
    auto desktop = Desktop::currentShared();
    std::lock_guard lock(s.mutex);
    if (!desktop || s.desktop.lock() != desktop) return 0;
    return s.flags;
}

void NSEventModifierState::take(const NSEvent& event)
{
    NSEventType type = event.type();
    if (type != NSEventTypeKeyDown && type != NSEventTypeKeyUp && type != NSEventTypeFlagsChanged) return;
    auto& s = state();
    auto desktop = Desktop::currentShared();
    std::lock_guard lock(s.mutex);
    s.desktop = desktop;
    s.flags = event.modifierFlags() & NSEventModifierFlagDeviceIndependentFlagsMask;
}

NSEventModifierFlags NSEvent::currentModifierFlags() { return NSEventModifierState::current(); }

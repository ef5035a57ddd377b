// The modifier keys held right now, as the input stream has taken them: what
// the class property modifierFlags of NSEvent answers. Every key and
// modifier event that enters the stream (NSApplication::deliverInputEvent)
// updates it, whichever application the event then goes to, so a release
// that reaches another application is not missed.
//
// The state belongs to the desktop it was taken on: once another desktop is
// installed, no modifier reads as held until its first event.
#pragma once

#include "NSEvent.h"

class NSEventModifierState {
public:
    // The device-independent modifier flags held now.
    static NSEventModifierFlags current();
    // Takes a key-down, key-up or flags-changed event; other events leave
    // the state as it is.
    static void take(const NSEvent& event);
};

// The class of the switcher panel's window: it can always become key and
// main, stays out of the Windows menu, and puts itself on the screen that
// the "ShowOnScreen" setting names, whatever screen it is asked for.
#pragma once

#include <appkit/NSScreen.h>
#include <appkit/NSWindow.h>

class BaseWindow : public NSWindow {
public:
    BaseWindow(CGRect contentRect, NSWindowStyleMask style,
        NSBackingStoreType backing = NSBackingStoreBuffered, bool defer = false);

    bool canBecomeKeyWindow() const override { return true; }
    bool canBecomeMainWindow() const override { return true; }

    // The screen "ShowOnScreen" names (ScreenChoice): 2 the screen under the
    // mouse (the main screen when the mouse is on none), 1 the first screen
    // (the main one when there are none), anything else the main screen.
    // Null only when there is no screen at all.
    static Ref<NSScreen> actualScreen();
    Ref<NSScreen> getActualScreen() const { return actualScreen(); }

    // The inherited constraint, always to getActualScreen: this is where the
    // setting decides the panel's screen, when it is centred and when it is
    // ordered front.
    CGRect constrainFrameRect(CGRect frame, const Ref<NSScreen>& screen) const override;
};

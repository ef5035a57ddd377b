// Screen geometry in the accessibility space (top-left origin of the primary
// screen, y downwards), and finding screens: what the window records and the
// panel use to place things.
#pragma once

#include <appkit/NSScreen.h>

// The screen's frame, flipped into the accessibility space.
CGRect frameIncludingDockAndMenu(const NSScreen& screen);
// The screen's usable frame (without menu bar and Dock), flipped the same way.
CGRect frameWithoutDockOrMenu(const NSScreen& screen);
// The screen after (before) this one in NSScreen::screens(), wrapping
// around; null when the screen is no longer connected.
Ref<NSScreen> nextScreen(const NSScreen& screen);
Ref<NSScreen> previousScreen(const NSScreen& screen);

// The first screen whose frame holds the mouse; null when none does.
Ref<NSScreen> currentScreenForMouseLocation();
NSPoint convertPointToScreenCoordinates(const NSScreen& screen, const NSPoint& point);
NSPoint flipPoint(const NSScreen& screen, const NSPoint& point);

// The first screen whose frame starts at exactly (0, 0).
Ref<NSScreen> originScreen();
// Asks the screen's display for a transform probe; NO unless exactly one
// display lies within the screen.
bool rotateTo(const NSScreen& screen, int angle);

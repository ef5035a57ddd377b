// Whether the two permissions the system needs are granted, and asking the
// platform to request them from the user.
#pragma once

class AccessHelper {
public:
    // Accessibility, then (only when granted) Screen Recording.
    static bool allAccessGranted();
    // Trusted for accessibility, asked without a prompt.
    static bool accessibilityEnabled();
    static bool accessibilityGranted();
    // The trust question with a prompt, so the platform asks the user.
    static void openAccessibility();
    static void requestAccessibilityAccess();
    // Whether the window server gives other applications' window names.
    static bool recordScreenGranted();
    // Creating a display stream makes the platform ask the user.
    static void requestScreenRecordingAccess();
};

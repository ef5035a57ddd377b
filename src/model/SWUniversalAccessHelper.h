// The accessibility-trust test used by the class-wide window queries, with
// the older global test and a complaint alert.
#pragma once

class SWUniversalAccessHelper {
public:
    // Trusted for accessibility, asked without options (no prompt).
    static bool isAccessibilityTrusted();
    // The platform's older global switch for assistive devices.
    static bool accessibilityEnabled();
    // When not trusted: explains in an alert and offers to open the
    // accessibility settings.
    static void complainIfNeeded();
};

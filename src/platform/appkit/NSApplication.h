// The application object of this process.
#pragma once

#include <foundation/NSObject.h>

using NSApplicationActivationPolicy = long;
inline constexpr NSApplicationActivationPolicy NSApplicationActivationPolicyRegular = 0;
inline constexpr NSApplicationActivationPolicy NSApplicationActivationPolicyAccessory = 1;
inline constexpr NSApplicationActivationPolicy NSApplicationActivationPolicyProhibited = 2;

class NSApplication : public NSObject {
public:
    static NSApplication& sharedApplication();

    // Brings this process to the front; with the flag, even when another
    // application is active.
    void activateIgnoringOtherApps(bool flag);
    bool isActive() const;
};

// The shared application (NSApp).
NSApplication& NSApp();

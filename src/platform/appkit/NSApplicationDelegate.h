// What the application tells its delegate. A delegate adopts this beside
// being an NSObject.
#pragma once

class NSApplication;

class NSApplicationDelegate {
public:
    virtual ~NSApplicationDelegate() = default;
    virtual void applicationDidFinishLaunching() { }
    // Whether the application should do its usual reopening (show its
    // windows); the delegate may do its own.
    virtual bool applicationShouldHandleReopen(bool hasVisibleWindows) { return !hasVisibleWindows; }
    virtual void applicationWillTerminate() { }
};

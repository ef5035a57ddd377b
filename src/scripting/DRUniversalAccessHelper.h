// Asks for the accessibility permission on behalf of an application that
// hosts the scripting layer.
#pragma once

class DRUniversalAccessHelper {
public:
    // When the process is not trusted: the system's prompt, then an alert
    // that explains it, then the application terminates. Returns whether
    // the process is trusted.
    static bool askPermissionIfNeeded();
};

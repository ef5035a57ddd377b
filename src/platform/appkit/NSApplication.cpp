#include "NSApplication.h"

#include <desktop/Desktop.h>

NSApplication& NSApplication::sharedApplication()
{
    static auto* app = new NSApplication();
    return *app;
}

NSApplication& NSApp() { return NSApplication::sharedApplication(); }

void NSApplication::activateIgnoringOtherApps(bool)
{
    auto& desktop = Desktop::current();
    desktop.activateApplication(desktop.ownProcessIdentifier(), false);
}

bool NSApplication::isActive() const
{
    auto& desktop = Desktop::current();
    return desktop.frontmostApplication() == desktop.ownProcessIdentifier();
}

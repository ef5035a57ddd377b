#include "DRUniversalAccessHelper.h"

#include <appkit/NSAlert.h>
#include <appkit/NSApplication.h>
#include <services/AXUIElement.h>

bool DRUniversalAccessHelper::askPermissionIfNeeded()
{
    if (AXIsProcessTrustedWithOptions(Value::Dictionary { { kAXTrustedCheckOptionPrompt, true } }))
        return true;
    auto alert = makeRef<NSAlert>();
    alert->setMessageText("Enable Accessibility");
    alert->setInformativeText("Find the dialog right behind this one to enable accessibility for Dirariv in System "
                              "Preferences. Once complete, launch Dirariv again.");
    alert->runModal();
    NSApp().terminate(nullptr);
    return false;
}

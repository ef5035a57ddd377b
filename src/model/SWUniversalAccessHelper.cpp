#include "SWUniversalAccessHelper.h"

#include <appkit/NSAlert.h>
#include <appkit/NSApplication.h>
#include <foundation/Format.h>
#include <foundation/NSBundle.h>
#include <services/AXUIElement.h>
#include <services/NSAppleScript.h>

bool SWUniversalAccessHelper::isAccessibilityTrusted() { return AXIsProcessTrustedWithOptions(Value()); }

bool SWUniversalAccessHelper::accessibilityEnabled() { return AXAPIEnabled(); }

void SWUniversalAccessHelper::complainIfNeeded()
{
    if (isAccessibilityTrusted())
        return;
    NSApp().activateIgnoringOtherApps(true);
    std::string name = NSBundle::mainBundle().objectForInfoDictionaryKey(kCFBundleNameKey).stringValue();
    auto alert = NSAlert::alertWithMessageText(stringWithFormat("%@ Requires Universal Access", name), "Open Universal Access", "",
        "Dismiss",
        stringWithFormat("For %@ to function properly, access for assistive devices must be enabled first.\n\n", name)
            + "To enable this feature, click \"Enable access for assistive devices\" in the Universal Access pane of "
              "System Preferences.");
    if (alert->runModal() != NSAlertDefaultReturn)
        return;
    NSAppleScript script("tell application \"System Preferences\"\nactivate\nset current pane to pane "
                         "\"com.apple.preference.universalaccess\"\nend tell");
    script.executeAndReturnError();
}

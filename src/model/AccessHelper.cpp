#include "AccessHelper.h"

#include <appkit/NSRunningApplication.h>
#include <services/AXUIElement.h>
#include <services/CGWindow.h>

bool AccessHelper::allAccessGranted() { return accessibilityGranted() && recordScreenGranted(); }

bool AccessHelper::accessibilityEnabled()
{
    return AXIsProcessTrustedWithOptions(Value(Value::Dictionary { { kAXTrustedCheckOptionPrompt, Value(false) } }));
}

bool AccessHelper::accessibilityGranted() { return accessibilityEnabled(); }

void AccessHelper::openAccessibility()
{
    AXIsProcessTrustedWithOptions(Value(Value::Dictionary { { kAXTrustedCheckOptionPrompt, Value(true) } }));
}

void AccessHelper::requestAccessibilityAccess() { openAccessibility(); }

bool AccessHelper::recordScreenGranted()
{
    // A desktop without such a permission has granted it: its window list
    // is no test, and with no other window open it would read as refused.
    if (!CGScreenRecordingIsGated())
        return true;
    // The process always sees its own windows' names, so only another
    // application's window can tell whether the permission is granted: the
    // frontmost one on screen, else (only this process's windows showing,
    // the switcher's for one) the frontmost of all windows.
    auto self = NSRunningApplication::currentApplication();
    pid_t own = self ? self->processIdentifier() : 0;
    for (CGWindowListOption option : { kCGWindowListOptionOnScreenOnly, kCGWindowListOptionAll }) {
        Value list = CGWindowListCopyWindowInfo(option, kCGNullWindowID);
        if (!list.isArray())
            continue;
        for (const auto& entry : *list.array()) {
            if (entry[kCGWindowOwnerPID].integerValue() != own)
                return !entry[kCGWindowName].isNil();
        }
    }
    return false;
}

void AccessHelper::requestScreenRecordingAccess()
{
    // 'BGRA' as a four-character code.
    constexpr int32_t kPixelFormatBGRA = ('B' << 24) | ('G' << 16) | ('R' << 8) | 'A';
    auto stream = CGDisplayStreamCreate(CGMainDisplayID(), 1, 1, kPixelFormatBGRA, Value(), [](int, uint64_t) { });
    // The request is made by creating the stream; it is never started.
    stream.reset();
}

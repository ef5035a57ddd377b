#include "BaseWindow.h"

#include "SwitcherCodes.h"

#include <foundation/NSUserDefaults.h>
#include <model/DefaultsKeys.h>
#include <model/NSScreenExtension.h>

BaseWindow::BaseWindow(CGRect contentRect, NSWindowStyleMask style, NSBackingStoreType backing, bool defer)
    : NSWindow(contentRect, style, backing, defer)
{
    setExcludedFromWindowsMenu(true);
}

Ref<NSScreen> BaseWindow::actualScreen()
{
    auto choice = NSUserDefaults::standardUserDefaults()->integerForKey(DefaultsKey::ShowOnScreen);
    if (choice == ScreenChoiceUnderMouse) {
        if (auto screen = currentScreenForMouseLocation()) return screen;
    } else if (choice == ScreenChoiceFirst) {
        auto screens = NSScreen::screens();
        if (!screens.empty()) return screens.front();
    }
    return NSScreen::mainScreen();
}

CGRect BaseWindow::constrainFrameRect(CGRect frame, const Ref<NSScreen>&) const
{
    return NSWindow::constrainFrameRect(frame, getActualScreen());
}

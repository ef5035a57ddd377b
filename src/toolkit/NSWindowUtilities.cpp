#include "NSWindowUtilities.h"

#include <appkit/NSApplication.h>
#include <appkit/NSScreen.h>
#include <appkit/NSView.h>
#include <foundation/NSNotificationCenter.h>

namespace {

bool titledOrClosable(const NSWindow& w)
{
    return (w.styleMask() & (NSWindowStyleMaskTitled | NSWindowStyleMaskClosable)) != 0;
}

// Whether two objects are of exactly the same class; nothing is of the
// same class as nothing.
bool sameClass(const NSObject* a, const NSObject* b)
{
    if (!a || !b)
        return !a && !b;
    return typeid(*a) == typeid(*b);
}

}

std::vector<Ref<NSWindow>> NSWindowUtilities::visibleWindows(bool ordered, const DelegateClass& delegateClass)
{
    auto& app = NSApp();
    // The ordered list holds the windows on screen, front to back; the
    // application's list holds them all.
    std::vector<Ref<NSWindow>> source;
    if (ordered) {
        source = app.orderedWindows();
        if (app.isHidden()) {
            // Hidden windows are off the screen's order; they follow in
            // the application's order.
            for (const auto& w : app.windows())
                if (std::find(source.begin(), source.end(), w) == source.end())
                    source.push_back(w);
        }
    } else {
        source = app.windows();
    }
    bool hidden = app.isHidden();
    std::vector<Ref<NSWindow>> result;
    for (const auto& w : source) {
        if (!w->canBecomeKeyWindow())
            continue;
        if (!w->isVisible() && !hidden)
            continue;
        if (delegateClass) {
            auto delegate = w->delegate();
            if (!delegate || !delegateClass(delegate.get()))
                continue;
        }
        result.push_back(w);
    }
    return result;
}

bool NSWindowUtilities::isAnyWindowVisible()
{
    for (const auto& w : visibleWindows(false))
        if (titledOrClosable(*w))
            return true;
    return false;
}

bool NSWindowUtilities::isAnyWindowVisibleWithDelegateClass(const DelegateClass& delegateClass)
{
    for (const auto& w : visibleWindows(false)) {
        auto delegate = w->delegate();
        if (delegate && delegateClass && delegateClass(delegate.get()))
            return true;
    }
    return false;
}

std::vector<Ref<NSWindow>> NSWindowUtilities::miniaturizedWindows()
{
    std::vector<Ref<NSWindow>> result;
    for (const auto& w : NSApp().windows())
        if (w->canBecomeKeyWindow() && w->isMiniaturized() && titledOrClosable(*w))
            result.push_back(w);
    return result;
}

void NSWindowUtilities::cascadeWindow(const Ref<NSWindow>& window)
{
    if (!window)
        return;
    auto delegate = window->delegate();
    for (const auto& other : visibleWindows(true)) {
        if (other == window || typeid(*other) != typeid(*window))
            continue;
        if (!sameClass(other->delegate().get(), delegate.get()))
            continue;
        CGRect f = other->frame();
        CGPoint p = window->cascadeTopLeftFromPoint({ f.origin.x, f.origin.y + f.size.height });
        window->setFrame(CGRectMake(p.x, p.y - f.size.height, f.size.width, f.size.height), false);
        return;
    }
}

bool NSWindowUtilities::windowRectIsOnScreen(CGRect rect)
{
    for (const auto& screen : NSScreen::screens())
        if (CGRectIntersectsRect(screen->frame(), rect) && !CGRectIsEmpty(screen->visibleFrame()))
            return true;
    return false;
}

Ref<NSWindow> NSWindowUtilities::topWindowWithDelegateClass(const NSWindow&, const DelegateClass& delegateClass)
{
    auto windows = visibleWindows(true, delegateClass);
    return windows.empty() ? nullptr : windows.front();
}

void NSWindowUtilities::setFloating(NSWindow& window, bool flag) { window.setLevel(flag ? NSFloatingWindowLevel : NSNormalWindowLevel); }

bool NSWindowUtilities::isFloating(const NSWindow& window) { return window.level() == NSFloatingWindowLevel; }

bool NSWindowUtilities::isMetallic(const NSWindow& window)
{
    return (window.styleMask() & NSWindowStyleMaskTexturedBackground) != 0;
}

bool NSWindowUtilities::isBorderless(const NSWindow& window) { return window.styleMask() == NSWindowStyleMaskBorderless; }

NSWindow& NSWindowUtilities::parentWindowIfDrawerWindow(NSWindow& window) { return window; }

void NSWindowUtilities::setDefaultFirstResponder(NSWindow& window)
{
    NSNotificationCenter::defaultCenter().postNotificationName(
        "TKSetDefaultFirstResponderNotification", window.selfRef<NSObject>());
}

bool NSWindowUtilities::dimControls(NSWindow& window)
{
    if (isFloating(window))
        return false;
    return !parentWindowIfDrawerWindow(window).isMainWindow();
}

bool NSWindowUtilities::dimControlsKey(NSWindow& window)
{
    if (keyWindowIsMenu())
        return dimControls(window);
    if (isFloating(window))
        return false;
    return !parentWindowIfDrawerWindow(window).isKeyWindow();
}

bool NSWindowUtilities::keyWindowIsMenu()
{
    auto key = NSApp().keyWindow();
    return key && key->className() == "NSCarbonMenuWindow";
}

void NSWindowUtilities::flushActiveTextFields(NSWindow& window)
{
    auto first = window.firstResponder();
    if (!first)
        return;
    window.makeFirstResponder(nullptr);
    window.makeFirstResponder(first);
}

CGRect NSWindowUtilities::windowFrameForContentSize(const NSWindow& window, CGSize size)
{
    CGRect f = window.frame();
    CGRect sized = window.frameRectForContentRect(CGRectMake(0, 0, size.width, size.height));
    CGFloat oldHeight = f.size.height;
    f.size = sized.size;
    f.origin.y += oldHeight - f.size.height;
    return f;
}

CGRect NSWindowUtilities::resizeWindowToContentSize(NSWindow& window, CGSize size, bool display)
{
    CGRect f = windowFrameForContentSize(window, size);
    window.setFrame(f, display, true);
    return f;
}

CGRect NSWindowUtilities::setContentViewAndResizeWindow(NSWindow& window, const Ref<NSView>& view, bool display)
{
    CGRect f = window.frame();
    CGRect viewBounds = view ? view->bounds() : CGRectZero;
    f.size = window.frameRectForContentRect(CGRectMake(0, 0, viewBounds.size.width, viewBounds.size.height)).size;
    window.setContentView(view);
    // The height is read after the content view was set, as the platform
    // does; setting the content view resizes the view, not the window.
    f.origin.y += window.frame().size.height - f.size.height;
    window.setFrame(f, display, true);
    return f;
}

void NSWindowAddition::setWidth(NSWindow& window, CGFloat width)
{
    CGRect f = window.frame();
    f.size.width = width;
    window.setFrame(f, true);
}

void NSWindowAddition::setHeight(NSWindow& window, CGFloat height)
{
    CGRect f = window.frame();
    if (f.size.height == height)
        return;
    f.size.height = height;
    window.setFrame(f, true);
}

bool NSWindowNSDrawerWindow::isDrawerWindow(const NSWindow& window)
{
    const std::type_info* drawer = NSWindowUtilities::drawerWindowClass();
    return drawer && typeid(window) == *drawer;
}

Ref<NSWindow> NSWindowNSDrawerWindow::drawersParentWindow(const NSWindow&) { return nullptr; }

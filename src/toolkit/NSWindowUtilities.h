// What the toolkit adds to NSWindow: the application's visible and
// miniaturised windows, cascading, the floating level, dimming rules for
// inactive windows, parent-window lookups, resizing to a content size with
// the top edge kept (NSWindow(Utilities)); single-dimension frame setters
// (NSWindow(Addition)); and the drawer tests (NSWindow(NSDrawerWindow)).
//
// Classes given by the platform as class objects are C++ tests here: a
// DelegateClass answers whether an object is of the class or a subclass
// (isKindOf<T>() makes one; an empty test stands for "no class").
//
// The platform here has no drawers and no menu windows: no window is a
// drawer's window, so a window is its own parent, and the key window is
// never a menu.
#pragma once

#include <appkit/NSWindow.h>

#include <functional>
#include <typeinfo>
#include <vector>

class NSView;

class NSWindowUtilities {
public:
    using DelegateClass = std::function<bool(const NSObject*)>;
    template <class T>
    static DelegateClass isKindOf()
    {
        return [](const NSObject* o) { return dynamic_cast<const T*>(o) != nullptr; };
    }

    // The windows that can become key and are visible (all of them while
    // the application is hidden), front to back when ordered (panels
    // included) or in the application's order; with a class, only those
    // whose delegate is of it.
    static std::vector<Ref<NSWindow>> visibleWindows(bool ordered, const DelegateClass& delegateClass = {});
    // Some visible window is titled or closable.
    static bool isAnyWindowVisible();
    static bool isAnyWindowVisibleWithDelegateClass(const DelegateClass& delegateClass);
    // Windows that can become key, are miniaturised and are titled or
    // closable, in the application's order.
    static std::vector<Ref<NSWindow>> miniaturizedWindows();
    // Places the window a step below and right of the frontmost other
    // window of exactly its class with a delegate of exactly its delegate's
    // class, with that window's size; leaves it when there is none.
    static void cascadeWindow(const Ref<NSWindow>& window);
    // Some screen's frame meets the rectangle and its visible frame is not
    // empty.
    static bool windowRectIsOnScreen(CGRect rect);
    // The class of drawer windows; none on this platform.
    static const std::type_info* drawerWindowClass() { return nullptr; }

    static Ref<NSWindow> topWindowWithDelegateClass(const NSWindow& window, const DelegateClass& delegateClass);
    static void setFloating(NSWindow& window, bool flag);
    static bool isFloating(const NSWindow& window);
    static bool isMetallic(const NSWindow& window);
    static bool isBorderless(const NSWindow& window);
    static NSWindow& parentWindowIfDrawerWindow(NSWindow& window);
    // Posts "TKSetDefaultFirstResponderNotification" with the window.
    static void setDefaultFirstResponder(NSWindow& window);
    // Controls draw dimmed in a window that is not floating and whose
    // (parent) window is not main.
    static bool dimControls(NSWindow& window);
    // The same rule against the key window (and the main window while the
    // key window is a menu).
    static bool dimControlsKey(NSWindow& window);
    static bool keyWindowIsMenu();
    // Ends and commits an edit in progress by cycling the first responder.
    static void flushActiveTextFields(NSWindow& window);
    // Makes the view the content view and resizes the window to it keeping
    // the top edge; returns the new frame.
    static CGRect setContentViewAndResizeWindow(NSWindow& window, const Ref<NSView>& view, bool display);
    static CGRect windowFrameForContentSize(const NSWindow& window, CGSize size);
    static CGRect resizeWindowToContentSize(NSWindow& window, CGSize size, bool display);
    // No copy: the window itself.
    static Ref<NSWindow> copyWithZone(const Ref<NSWindow>& window) { return window; }
};

class NSWindowAddition {
public:
    static CGFloat width(const NSWindow& window) { return window.frame().size.width; }
    static CGFloat height(const NSWindow& window) { return window.frame().size.height; }
    // Sets the width, origin kept, and redisplays, even for the same width.
    static void setWidth(NSWindow& window, CGFloat width);
    // Sets the height keeping the bottom-left corner (the top edge moves)
    // and redisplays; nothing at all for the same height.
    static void setHeight(NSWindow& window, CGFloat height);
};

class NSWindowNSDrawerWindow {
public:
    static bool isDrawerWindow(const NSWindow& window);
    // A drawer window's parent; null for every other window.
    static Ref<NSWindow> drawersParentWindow(const NSWindow& window);
};

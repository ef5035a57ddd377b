// One client window of the X11 session as the desktop mirrors it.
#pragma once

#include "../DesktopTypes.h"

#include <foundation/CGGeometry.h>

#include <xcb/xcb.h>

#include <optional>
#include <string>
#include <sys/types.h>

struct X11Client {
    xcb_window_t window { XCB_WINDOW_NONE };
    // The child of the root window that holds it: the window manager's
    // frame, or the window itself.
    xcb_window_t topLevel { XCB_WINDOW_NONE };
    pid_t pid { 0 };
    // Whether the window is listed: it belongs to a known process other
    // than this one and is not a dock or the desktop.
    bool listed { false };
    // No value: the window has no title property at all.
    std::optional<std::string> title;
    // The client area in root coordinates, without the window manager's
    // decorations.
    CGRect frame;
    bool minimized { false };
    bool maximized { false };
    bool fullScreen { false };
    // From the window type: "AXStandardWindow", "AXDialog" or
    // "AXFloatingWindow".
    std::string subrole { "AXStandardWindow" };
    // _NET_WM_DESKTOP, or kAllDesktops.
    uint32_t desktop { 0 };
    // What the window manager allows (all when it does not say).
    bool canClose { true };
    bool canMinimize { true };
    bool canMaximize { true };
    bool canMove { true };
    bool canResize { true };
    // The protocols the client takes part in.
    bool takesPing { false };
    bool takesDelete { false };
    // The application's name and identifier from the window class.
    std::string instanceName;
    std::string className;
};

// The desktop of a window that shows on every desktop (_NET_WM_DESKTOP).
constexpr uint32_t kAllDesktops = 0xFFFFFFFF;

// A desktop number as a space: desktop n is space n + 1, every desktop is
// space 0.
inline uint64_t spaceOfDesktop(uint32_t desktop) { return desktop == kAllDesktops ? 0 : uint64_t(desktop) + 1; }

// The accessibility element of a window of the process.
inline DesktopElement windowElement(pid_t pid, xcb_window_t window)
{
    return { DesktopElement::Kind::Window, pid, static_cast<CGWindowID>(window) };
}

// Requests to the window manager (see docs/x11-desktop.md), and client
// messages straight to a window. Called without the desktop's lock: the
// requests that read the mirror take it themselves.
#include "X11Connection.h"
#include "X11Desktop.h"
#include "X11Property.h"

#include <xcb/xcb_icccm.h>

// Requests to the window manager: the helper library's EWMH requests, each
// marked as coming from a pager (XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER), which
// acts for the user.

namespace {
constexpr auto kSourcePager = XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER;
}

void X11Desktop::sendClientMessageTo(xcb_window_t window, xcb_atom_t type, uint32_t d0, uint32_t d1, uint32_t d2, uint32_t mask)
{
    xcb_client_message_event_t message {};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = type;
    message.data.data32[0] = d0;
    message.data.data32[1] = d1;
    message.data.data32[2] = d2;
    xcb_send_event(m_x->connection(), 0, window, mask, reinterpret_cast<const char*>(&message));
}

void X11Desktop::requestActivate(xcb_window_t window)
{
    xcb_timestamp_t time;
    xcb_window_t active;
    std::optional<uint32_t> otherDesktop;
    {
        MutexLock lock(m_mutex);
        m_pendingActivation = window;
        time = m_lastInputTime;
        active = m_active;
        if (auto* client = clientLocked(window); client && client->desktop != kAllDesktops && client->desktop != m_currentDesktop)
            otherDesktop = client->desktop;
    }
    // A window on another desktop is shown by going there first: a window
    // manager asked to activate it where it is not shown only marks it as
    // wanting attention. Both requests carry the time of the key or click
    // that chose the window, so the window manager takes them for the
    // user's.
    int screen = m_x->screenNumber();
    if (otherDesktop)
        xcb_ewmh_request_change_current_desktop(&m_x->ewmh(), screen, *otherDesktop, time);
    xcb_ewmh_request_change_active_window(&m_x->ewmh(), screen, window, kSourcePager, time, active);
    xcb_flush(m_x->connection());
}

void X11Desktop::requestMinimize(xcb_window_t window, bool minimized)
{
    auto& ewmh = m_x->ewmh();
    if (minimized) {
        // The ICCCM's request to iconify.
        uint32_t iconic = XCB_ICCCM_WM_STATE_ICONIC;
        xcb_ewmh_send_client_message(m_x->connection(), window, m_x->root(), m_x->atoms().wmChangeState, sizeof iconic, &iconic);
    } else {
        // A window manager that is still hiding the window may not see a
        // map request yet; the state request reaches it either way.
        xcb_ewmh_request_change_wm_state(&ewmh, m_x->screenNumber(), window, XCB_EWMH_WM_STATE_REMOVE,
            ewmh._NET_WM_STATE_HIDDEN, XCB_ATOM_NONE, kSourcePager);
        xcb_map_window(m_x->connection(), window);
        // A capture asked for now (the switcher refreshes the preview right
        // after the request) waits until the window manager has mapped it.
        MutexLock lock(m_restoreMutex);
        m_restoring[window] = steadySeconds() + kRestoreWaitSeconds;
    }
    xcb_flush(m_x->connection());
}

void X11Desktop::requestClose(xcb_window_t window)
{
    xcb_ewmh_request_close_window(&m_x->ewmh(), m_x->screenNumber(), window, XCB_CURRENT_TIME, kSourcePager);
    xcb_flush(m_x->connection());
}

bool X11Desktop::moveWindowToSpace(CGWindowID number, uint64_t space)
{
    {
        MutexLock lock(m_mutex);
        if (!clientLocked(number) || space < 1 || space > m_numberOfDesktops)
            return false;
    }
    xcb_ewmh_request_change_wm_desktop(&m_x->ewmh(), m_x->screenNumber(), number, static_cast<uint32_t>(space - 1), kSourcePager);
    xcb_flush(m_x->connection());
    return true;
}

void X11Desktop::requestFrame(xcb_window_t window, std::optional<CGPoint> origin, std::optional<CGSize> size)
{
    auto& ewmh = m_x->ewmh();
    uint32_t x = origin ? x11Coordinate(origin->x) : 0, y = origin ? x11Coordinate(origin->y) : 0;
    uint32_t width = size ? x11Extent(size->width) : 0, height = size ? x11Extent(size->height) : 0;
    if (m_x->supports(ewmh._NET_MOVERESIZE_WINDOW)) {
        // Static gravity: the position is the client's own, without the
        // decorations.
        int flags = 0;
        if (origin)
            flags |= XCB_EWMH_MOVERESIZE_WINDOW_X | XCB_EWMH_MOVERESIZE_WINDOW_Y;
        if (size)
            flags |= XCB_EWMH_MOVERESIZE_WINDOW_WIDTH | XCB_EWMH_MOVERESIZE_WINDOW_HEIGHT;
        xcb_ewmh_request_moveresize_window(&ewmh, m_x->screenNumber(), window, XCB_GRAVITY_STATIC, kSourcePager,
            static_cast<xcb_ewmh_moveresize_window_opt_flags_t>(flags), x, y, width, height);
    } else {
        uint16_t mask = 0;
        uint32_t values[4];
        int n = 0;
        if (origin) {
            mask |= XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y;
            values[n++] = x;
            values[n++] = y;
        }
        if (size) {
            mask |= XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT;
            values[n++] = width;
            values[n++] = height;
        }
        xcb_configure_window(m_x->connection(), window, mask, values);
    }
    xcb_flush(m_x->connection());
}

void X11Desktop::requestRaise(xcb_window_t window)
{
    if (m_x->supports(m_x->ewmh()._NET_RESTACK_WINDOW)) {
        xcb_ewmh_request_restack_window(&m_x->ewmh(), m_x->screenNumber(), window, XCB_WINDOW_NONE, XCB_STACK_MODE_ABOVE);
    } else {
        uint32_t above = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(m_x->connection(), window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    }
    xcb_flush(m_x->connection());
}

void X11Desktop::requestFullScreen(xcb_window_t window, bool fullScreen)
{
    auto& ewmh = m_x->ewmh();
    xcb_ewmh_request_change_wm_state(&ewmh, m_x->screenNumber(), window,
        fullScreen ? XCB_EWMH_WM_STATE_ADD : XCB_EWMH_WM_STATE_REMOVE, ewmh._NET_WM_STATE_FULLSCREEN, XCB_ATOM_NONE,
        kSourcePager);
    xcb_flush(m_x->connection());
}

void X11Desktop::requestMaximize(xcb_window_t window)
{
    auto& ewmh = m_x->ewmh();
    xcb_ewmh_request_change_wm_state(&ewmh, m_x->screenNumber(), window, XCB_EWMH_WM_STATE_TOGGLE,
        ewmh._NET_WM_STATE_MAXIMIZED_HORZ, ewmh._NET_WM_STATE_MAXIMIZED_VERT, kSourcePager);
    xcb_flush(m_x->connection());
}

// Status items in the freedesktop system tray. The tray is whichever client
// owns the selection _NET_SYSTEM_TRAY_S<screen>; an item's window asks it to
// take the window with the docking request (a _NET_SYSTEM_TRAY_OPCODE
// message), and the tray embeds it by the XEmbed protocol: it reparents the
// window into its own and maps it (the window's _XEMBED_INFO asks to be
// mapped). A tray that starts later announces itself with a MANAGER message
// on the root window, and the waiting items dock then. Without a tray the
// items wait out of sight and one line says so. The event thread (and the
// start) keeps the tray's owner: it reads it on every announcement and
// forgets it when the window goes.
#include "X11Connection.h"
#include "X11Desktop.h"

#include <foundation/Log.h>

#include <xcb/xcb_icccm.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr uint32_t kSystemTrayRequestDock = 0;

}

void X11Desktop::findTray()
{
    auto* c = m_x->connection();
    auto reply = m_x->reply(xcb_get_selection_owner_reply, xcb_get_selection_owner(c, m_x->atoms().traySelection));
    xcb_window_t owner = reply ? reply->owner : xcb_window_t(XCB_WINDOW_NONE);
    if (owner) {
        // The tray's end is watched, so that the items wait for the next
        // one (and what the client list watches of a tray that is a client
        // stays).
        uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(c, owner, XCB_CW_EVENT_MASK, &mask);
    }
    MutexLock lock(m_mutex);
    m_tray.owner = owner;
}

// Trays size an embedded window by its normal hints (an embedder that
// finds none makes it one pixel square): the item's size is its minimum
// and its base, so that the tray keeps its whole width.
void X11Desktop::setStatusItemSizeHints(xcb_window_t window, CGSize size)
{
    auto side = [](double v) { return static_cast<int32_t>(x11Extent(std::round(v))); };
    xcb_size_hints_t hints {};
    xcb_icccm_size_hints_set_size(&hints, 0, side(size.width), side(size.height));
    xcb_icccm_size_hints_set_min_size(&hints, side(size.width), side(size.height));
    xcb_icccm_size_hints_set_base_size(&hints, side(size.width), side(size.height));
    xcb_icccm_set_wm_normal_hints(m_x->connection(), window, &hints);
}

bool X11Desktop::isStatusItemDocked(CGWindowID number) const
{
    MutexLock lock(m_mutex);
    auto it = m_ownWindows.find(number);
    return it != m_ownWindows.end() && it->second.docked;
}

void X11Desktop::dockStatusItems()
{
    std::vector<CGWindowID> waiting;
    xcb_window_t owner;
    bool tell = false;
    {
        MutexLock lock(m_mutex);
        owner = m_tray.owner;
        for (const auto& [number, own] : m_ownWindows)
            if (own.info.statusItem && !own.docked)
                waiting.push_back(number);
        if (waiting.empty())
            return;
        tell = !owner && !m_tray.missingTold;
        if (tell)
            m_tray.missingTold = true;
    }
    if (tell) {
        NSLogString("no system tray runs on the X display \"" + m_x->displayName()
            + "\" (nothing owns _NET_SYSTEM_TRAY_S" + std::to_string(m_x->screenNumber())
            + "), so the status menu and the preferences window it opens are not shown; start a panel with a "
              "system tray (notification area) and the status item appears there");
    }
    if (!owner)
        return;
    for (CGWindowID number : waiting)
        sendClientMessageTo(owner, m_x->atoms().trayOpcode, XCB_CURRENT_TIME, kSystemTrayRequestDock, number);
    xcb_flush(m_x->connection());
}

// A tray that starts announces itself: the items dock in it.
void X11Desktop::handleTrayStarted()
{
    {
        MutexLock lock(m_mutex);
        m_tray.missingTold = false;
    }
    findTray();
    dockStatusItems();
}

// The tray that goes: its items wait for the next one.
void X11Desktop::handleDestroyNotify(const xcb_destroy_notify_event_t& e)
{
    MutexLock lock(m_mutex);
    if (!m_tray.owner || e.window != m_tray.owner)
        return;
    m_tray.owner = XCB_WINDOW_NONE;
    for (auto& [number, own] : m_ownWindows)
        if (own.info.statusItem)
            own.docked = false;
}

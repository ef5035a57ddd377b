// Status items in the freedesktop system tray. The tray is whichever client
// owns the selection _NET_SYSTEM_TRAY_S<screen>; an item's window asks it to
// take the window with the docking request (a _NET_SYSTEM_TRAY_OPCODE
// message), and the tray embeds it by the XEmbed protocol: it reparents the
// window into its own and maps it (the window's _XEMBED_INFO asks to be
// mapped). A tray that starts later announces itself with a MANAGER message
// on the root window, and the waiting items dock then. Without a tray the
// items wait out of sight and one line says so.
#include "X11Connection.h"
#include "X11Desktop.h"

#include <foundation/Log.h>

#include <xcb/xcb_icccm.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr uint32_t kSystemTrayRequestDock = 0;

}

void X11Desktop::setUpStatusAreaLocked()
{
    m_traySelection = m_x->atom("_NET_SYSTEM_TRAY_S" + std::to_string(m_x->screenNumber()));
    m_trayOpcode = m_x->atom("_NET_SYSTEM_TRAY_OPCODE");
    m_xembedInfo = m_x->atom("_XEMBED_INFO");
    m_manager = m_x->atom("MANAGER");
}

// Trays size an embedded window by its normal hints (an embedder that
// finds none makes it one pixel square): the item's size is its minimum
// and its base, so that the tray keeps its whole width.
void X11Desktop::setStatusItemSizeHints(xcb_window_t window, CGSize size)
{
    auto side = [](double v) { return static_cast<int32_t>(std::clamp(std::lround(v), 1L, 32767L)); };
    xcb_size_hints_t hints {};
    xcb_icccm_size_hints_set_size(&hints, 0, side(size.width), side(size.height));
    xcb_icccm_size_hints_set_min_size(&hints, side(size.width), side(size.height));
    xcb_icccm_size_hints_set_base_size(&hints, side(size.width), side(size.height));
    xcb_icccm_set_wm_normal_hints(m_x->connection(), window, &hints);
}

bool X11Desktop::isStatusItemDocked(CGWindowID number) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_ownWindows.find(number);
    return it != m_ownWindows.end() && it->second.docked;
}

void X11Desktop::dockStatusItemsLocked()
{
    auto* c = m_x->connection();
    std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&free)> owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, m_traySelection), nullptr), &free);
    m_trayOwner = owner ? owner->owner : XCB_WINDOW_NONE;
    bool waiting = false;
    for (const auto& [number, own] : m_ownWindows)
        waiting = waiting || (own.info.statusItem && !own.docked);
    if (!waiting)
        return;
    if (!m_trayOwner) {
        if (!m_trayMissingTold) {
            m_trayMissingTold = true;
            NSLogString("no system tray runs on the X display \"" + m_x->displayName()
                + "\" (nothing owns _NET_SYSTEM_TRAY_S" + std::to_string(m_x->screenNumber())
                + "), so the status menu and the preferences window it opens are not shown; start a panel with a "
                  "system tray (notification area) and the status item appears there");
        }
        return;
    }
    // The tray's end is watched, so that the items wait for the next one
    // (and what the client list watches of a tray that is a client stays).
    uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(c, m_trayOwner, XCB_CW_EVENT_MASK, &mask);
    for (const auto& [number, own] : m_ownWindows) {
        if (!own.info.statusItem || own.docked)
            continue;
        sendClientMessage(m_trayOwner, m_trayOpcode, XCB_CURRENT_TIME, kSystemTrayRequestDock, number);
    }
    xcb_flush(c);
}

// A tray that starts, or the tray that goes. True when the event was the
// tray's.
bool X11Desktop::handleStatusAreaEventLocked(xcb_generic_event_t* event)
{
    uint8_t type = event->response_type & 0x7f;
    if (type == XCB_CLIENT_MESSAGE) {
        auto* e = reinterpret_cast<xcb_client_message_event_t*>(event);
        if (e->type != m_manager || e->format != 32 || e->data.data32[1] != m_traySelection)
            return false;
        m_trayMissingTold = false;
        dockStatusItemsLocked();
        return true;
    }
    if (type == XCB_DESTROY_NOTIFY) {
        auto* e = reinterpret_cast<xcb_destroy_notify_event_t*>(event);
        if (!m_trayOwner || e->window != m_trayOwner)
            return false;
        m_trayOwner = XCB_WINDOW_NONE;
        for (auto& [number, own] : m_ownWindows)
            if (own.info.statusItem)
                own.docked = false;
        return true;
    }
    return false;
}

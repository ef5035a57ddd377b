// The event thread: it reads the server's events, each into the mirror by
// the handler of its type, and then hands what changed to the listeners and
// the input to the stream.
#include "X11Connection.h"
#include "X11Desktop.h"
#include "X11Property.h"

#include <foundation/RunLoop.h>

#include <xcb/damage.h>
#include <xcb/randr.h>

#include <algorithm>

void X11Desktop::pump()
{
    auto* c = m_x->connection();
    for (;;) {
        xcb_generic_event_t* event = xcb_wait_for_event(c);
        if (!event) {
            m_connected = false;
            std::function<void()> lost;
            {
                MutexLock lock(m_mutex);
                lost = m_serverLost;
                m_pongs.notify_all();
            }
            if (lost && !m_stopping)
                lost();
            RunLoop::main().wakeUp();
            return;
        }
        std::vector<DesktopEvent> events;
        std::vector<DesktopInputEvent> input;
        // Everything that is waiting is read into the mirror before anyone
        // hears of it.
        do {
            handleEvent(event, events, input);
            free(event);
        } while (!m_stopping && (event = xcb_poll_for_event(c)));
        if (m_stopping)
            return;
        if (std::exchange(m_switcherKeyPressed, false)) {
            readRootAgainAtPress();
            mapSparePanel();
        }
        xcb_flush(c);
        std::set<CGWindowID> exposed;
        {
            MutexLock lock(m_mutex);
            exposed.swap(m_exposed);
        }
        for (CGWindowID n : exposed)
            paintOwnWindow(n, true);
        emit(events);
        for (const auto& e : input)
            sendHardwareInput(e, false);
        RunLoop::main().wakeUp();
    }
}

namespace {

template <class Event>
const Event& as(const xcb_generic_event_t* event)
{
    return *reinterpret_cast<const Event*>(event);
}

}

// One handler for each type of event.
void X11Desktop::handleEvent(xcb_generic_event_t* event, std::vector<DesktopEvent>& events, std::vector<DesktopInputEvent>& input)
{
    uint8_t type = eventType(event);
    switch (type) {
    case 0:
        // An error of a request sent without waiting for its answer. One
        // about a window that went away between two requests is expected
        // (the window leaves the mirror with the next client list); any
        // other is told.
        m_x->noteError(reinterpret_cast<xcb_generic_error_t*>(event));
        return;
    case XCB_PROPERTY_NOTIFY:
        return handlePropertyNotify(as<xcb_property_notify_event_t>(event), events);
    case XCB_CONFIGURE_NOTIFY:
        return handleConfigureNotify(as<xcb_configure_notify_event_t>(event), events);
    case XCB_REPARENT_NOTIFY:
        return handleReparentNotify(as<xcb_reparent_notify_event_t>(event), events);
    case XCB_MAP_NOTIFY:
        return handleMapNotify(as<xcb_map_notify_event_t>(event));
    case XCB_DESTROY_NOTIFY:
        return handleDestroyNotify(as<xcb_destroy_notify_event_t>(event));
    case XCB_SELECTION_REQUEST:
        return handleSelectionRequest(as<xcb_selection_request_event_t>(event), events);
    case XCB_SELECTION_CLEAR:
        return handleSelectionClear(as<xcb_selection_clear_event_t>(event));
    case XCB_BUTTON_PRESS:
    case XCB_BUTTON_RELEASE:
    case XCB_MOTION_NOTIFY:
        // Button and motion events share their layout.
        return handlePointerEvent(type, as<xcb_button_press_event_t>(event), events, input);
    case XCB_CLIENT_MESSAGE:
        return handleClientMessage(as<xcb_client_message_event_t>(event), events);
    case XCB_EXPOSE:
        return handleExpose(as<xcb_expose_event_t>(event), event->full_sequence);
    case XCB_KEY_PRESS:
    case XCB_KEY_RELEASE:
        return handleKeyEvent(type == XCB_KEY_PRESS, as<xcb_key_press_event_t>(event), input);
    }
    if (m_x->hasDamage() && type == m_x->damageEventBase() + XCB_DAMAGE_NOTIFY) {
        handleDamageNotify(as<xcb_damage_notify_event_t>(event), event->full_sequence);
    } else if (m_x->hasRandR()
        && (type == m_x->randrEventBase() + XCB_RANDR_SCREEN_CHANGE_NOTIFY || type == m_x->randrEventBase() + XCB_RANDR_NOTIFY)) {
        refreshScreens();
        events.push_back({ DesktopEvent::Kind::ScreensChanged });
    }
}

void X11Desktop::handlePropertyNotify(const xcb_property_notify_event_t& e, std::vector<DesktopEvent>& events)
{
    auto& ewmh = m_x->ewmh();
    if (e.window == m_x->root()) {
        if (e.atom == ewmh._NET_CLIENT_LIST_STACKING || e.atom == ewmh._NET_CLIENT_LIST) {
            refreshClients(events);
        } else if (e.atom == ewmh._NET_ACTIVE_WINDOW) {
            refreshActive(events);
        } else if (e.atom == ewmh._NET_CURRENT_DESKTOP) {
            refreshCurrentDesktop();
            events.push_back({ DesktopEvent::Kind::ActiveSpaceChanged });
        } else if (e.atom == ewmh._NET_NUMBER_OF_DESKTOPS) {
            refreshCurrentDesktop();
        } else if (e.atom == ewmh._NET_WORKAREA) {
            refreshScreens();
            events.push_back({ DesktopEvent::Kind::ScreensChanged });
        }
        return;
    }
    bool title = e.atom == ewmh._NET_WM_NAME || e.atom == XCB_ATOM_WM_NAME;
    bool state = e.atom == ewmh._NET_WM_STATE;
    bool icon = e.atom == ewmh._NET_WM_ICON;
    bool hints = e.atom == ewmh._NET_WM_DESKTOP || e.atom == ewmh._NET_WM_ALLOWED_ACTIONS
        || e.atom == ewmh._NET_WM_WINDOW_TYPE || e.atom == m_x->wmProtocols();
    if (!title && !state && !icon && !hints)
        return;
    auto client = listedClient(e.window);
    if (!client)
        return;
    if (icon) {
        auto images = readIcon(client->window);
        MutexLock lock(m_mutex);
        setIconLocked(client->pid, std::move(images));
        return;
    }
    uint32_t currentDesktop = 0;
    if (hints) {
        MutexLock lock(m_mutex);
        currentDesktop = m_currentDesktop;
    }
    bool wasMinimized = client->minimized;
    bool titleChanged = title && readTitle(*client);
    if (state)
        readState(*client);
    if (hints)
        readClient(*client, currentDesktop);
    MutexLock lock(m_mutex);
    if (!storeClientLocked(*client))
        return;
    auto element = windowElement(client->pid, client->window);
    if (titleChanged)
        events.push_back({ DesktopEvent::Kind::AXNotification, client->pid, element, "AXTitleChanged" });
    if (state && wasMinimized != client->minimized) {
        m_captures[client->window].valid = false;
        events.push_back({ DesktopEvent::Kind::AXNotification, client->pid, element,
            client->minimized ? "AXWindowMiniaturized" : "AXWindowDeminiaturized" });
    }
}

void X11Desktop::handleConfigureNotify(const xcb_configure_notify_event_t& e, std::vector<DesktopEvent>& events)
{
    handleOwnWindowConfigured(e, events);
    // A client or the frame the window manager put around it moved.
    std::vector<X11Client> moved;
    {
        MutexLock lock(m_mutex);
        for (const auto& [window, client] : m_clients)
            if (client->listed && (window == e.window || client->topLevel == e.window))
                moved.push_back(*client);
    }
    if (moved.empty())
        return;
    std::vector<CGRect> before;
    for (auto& client : moved) {
        before.push_back(client.frame);
        readGeometry(client);
    }
    MutexLock lock(m_mutex);
    for (size_t i = 0; i < moved.size(); ++i) {
        const auto& client = moved[i];
        if (!storeClientLocked(client))
            continue;
        auto element = windowElement(client.pid, client.window);
        if (!CGPointEqualToPoint(before[i].origin, client.frame.origin))
            events.push_back({ DesktopEvent::Kind::AXNotification, client.pid, element, "AXWindowMoved" });
        if (!CGSizeEqualToSize(before[i].size, client.frame.size)) {
            m_captures[client.window].valid = false;
            events.push_back({ DesktopEvent::Kind::AXNotification, client.pid, element, "AXWindowResized" });
        }
    }
}

void X11Desktop::handleMapNotify(const xcb_map_notify_event_t& e)
{
    // A client is on the screen again once the child of the root that
    // holds it (the window manager's frame) is mapped.
    if (e.event != m_x->root())
        return;
    MutexLock lock(m_mutex);
    MutexLock restoreLock(m_restoreMutex);
    for (const auto& [window, client] : m_clients)
        if (client->topLevel == e.window && m_restoring.erase(window))
            m_restored.notify_all();
}

// An application's answer to a ping comes back to the root window.
void X11Desktop::handlePong(uint32_t serial)
{
    MutexLock lock(m_mutex);
    for (auto& [pid, app] : m_apps) {
        if (app.pendingPing && app.pendingPing == serial) {
            app.pendingPing = 0;
            app.hung = false;
            app.lastPong = steadySeconds();
        }
    }
    m_pongs.notify_all();
}

void X11Desktop::handleClientMessage(const xcb_client_message_event_t& e, std::vector<DesktopEvent>& events)
{
    const auto& atoms = m_x->atoms();
    if (e.type == atoms.manager && e.format == 32 && e.data.data32[1] == atoms.traySelection)
        handleTrayStarted();
    else if (e.type == m_x->wmProtocols() && e.data.data32[0] == atoms.wmDeleteWindow)
        handleCloseRequest(e.window, events);
    else if (e.type == m_x->wmProtocols() && e.data.data32[0] == m_x->ewmh()._NET_WM_PING && e.window == m_x->root())
        handlePong(e.data.data32[1]);
}

void X11Desktop::handlePointerEvent(uint8_t type, const xcb_button_press_event_t& e, std::vector<DesktopEvent>& events,
    std::vector<DesktopInputEvent>& input)
{
    MutexLock lock(m_mutex);
    if (type != XCB_MOTION_NOTIFY)
        m_lastInputTime = e.time;
    translatePointerLocked(type, e, events, input);
}

void X11Desktop::handleKeyEvent(bool press, const xcb_key_press_event_t& e, std::vector<DesktopInputEvent>& input)
{
    MutexLock lock(m_mutex);
    m_lastInputTime = e.time;
    // Without the keyboard grabbed only the grabbed keys come here: one of
    // them is about to open the panel.
    if (press && !m_keyboard.grabbed) {
        beginOpening();
        m_keyboard.openingUntil = steadySeconds() + kOpeningSeconds;
        // The switcher's own keys bring the panel; another program's
        // hotkey (a script's) gets nothing ahead for a panel.
        m_switcherKeyPressed = isSwitcherHotKeyLocked(e);
    }
    translateKeyLocked(e, press, input);
}

void X11Desktop::handleExpose(const xcb_expose_event_t& e, uint32_t sequence)
{
    MutexLock lock(m_mutex);
    // An exposure the server reported before it took a whole frame of the
    // window (the map's, whose paint follows it) needs no paint.
    if (auto it = m_ownWindows.find(e.window); it != m_ownWindows.end() && int32_t(sequence - it->second.paintedThrough) > 0)
        m_exposed.insert(e.window);
}

void X11Desktop::handleDamageNotify(const xcb_damage_notify_event_t& e, uint32_t sequence)
{
    {
        MutexLock lock(m_mutex);
        bool uncovered = std::find(m_uncovering.begin(), m_uncovering.end(), sequence) != m_uncovering.end();
        if (auto it = m_captures.find(e.drawable); it != m_captures.end() && !uncovered)
            it->second.valid = false;
    }
    xcb_damage_subtract(m_x->connection(), e.damage, XCB_NONE, XCB_NONE);
}

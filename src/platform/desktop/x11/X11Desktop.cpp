#include "X11Desktop.h"

#include "X11Connection.h"
#include "X11Property.h"
#include "X11Keyboard.h"

#include "../DesktopEntry.h"
#include "../DesktopProcess.h"
#include "../InputCodes.h"

#include <foundation/Clock.h>
#include <foundation/LargeBuffers.h>
#include <foundation/Log.h>
#include <foundation/RunLoop.h>

#include <xcb/composite.h>
#include <xcb/damage.h>
#include <xcb/randr.h>
#include <xcb/xcb_icccm.h>

#include <algorithm>
#include <csignal>
#include <unistd.h>

std::shared_ptr<X11Desktop> X11Desktop::connect(const std::string& display, std::string* error)
{
    auto x = X11Connection::open(display, error);
    if (!x)
        return nullptr;
    std::shared_ptr<X11Desktop> desktop(new X11Desktop());
    desktop->m_x = std::move(x);
    desktop->m_ownPid = getpid();
    desktop->m_self = desktop;
    desktop->start();
    // The segments kept for reads of the screen beneath a panel and for the
    // frames of the next panel go when the program hands memory back; the
    // next panel makes them again.
    X11Desktop* self = desktop.get();
    desktop->m_memoryKeeper = addLargeBufferKeeper([self] {
        {
            MutexLock lock(self->m_rootReadMutex);
            self->m_rootPixels.release();
        }
        RecursiveMutexLock lock(self->m_paintMutex);
        self->m_spareFrame.reset();
    });
    return desktop;
}

X11Desktop::~X11Desktop()
{
    stop();
    MutexLock lock(m_mutex);
    if (m_keyboard.symbols)
        releaseKeySymbols(m_keyboard.symbols);
}

void X11Desktop::stop()
{
    m_stopping = true;
    if (m_thread.joinable()) {
        // Wakes the event thread with a message to a window of our own.
        if (m_connected) {
            sendClientMessageTo(m_wakeWindow, XCB_ATOM_NOTICE, 0);
            xcb_flush(m_x->connection());
        }
        m_thread.join();
    }
}

void X11Desktop::start()
{
    auto* c = m_x->connection();
    DesktopApp own;
    own.pid = m_ownPid;
    own.name = "Quorvex";
    own.bundleId = "org.quorvex.Quorvex";
    own.iconColor = 0x3b6fd8;
    own.launchDate = Clock::current().now();
    {
        MutexLock lock(m_mutex);
        m_apps[m_ownPid].info = own;
        m_launchOrder.push_back(m_ownPid);
    }

    m_wakeWindow = xcb_generate_id(c);
    xcb_create_window(c, 0, m_wakeWindow, m_x->root(), -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
        XCB_COPY_FROM_PARENT, 0, nullptr);
    // Structure notices of the root carry a new system tray's greeting.
    uint32_t rootMask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, m_x->root(), XCB_CW_EVENT_MASK, &rootMask);
    // The windows' contents stay readable while they are covered.
    if (m_x->hasComposite())
        xcb_composite_redirect_subwindows(c, m_x->root(), XCB_COMPOSITE_REDIRECT_AUTOMATIC);
    if (m_x->hasRandR())
        xcb_randr_select_input(c, m_x->root(), XCB_RANDR_NOTIFY_MASK_SCREEN_CHANGE | XCB_RANDR_NOTIFY_MASK_CRTC_CHANGE
                | XCB_RANDR_NOTIFY_MASK_OUTPUT_CHANGE);
    std::vector<DesktopEvent> ignored;
    setUpKeyboard();
    findTray();
    refreshScreens();
    refreshCurrentDesktop();
    refreshClients(ignored);
    refreshActive(ignored);
    xcb_flush(c);
    m_thread = std::thread([this] { pump(); });
}

void X11Desktop::setServerLostHandler(std::function<void()> handler)
{
    MutexLock lock(m_mutex);
    m_serverLost = std::move(handler);
}

bool X11Desktop::isConnected() const { return m_connected; }

std::vector<std::string> X11Desktop::grabFailures() const
{
    MutexLock lock(m_mutex);
    return m_keyboard.grabFailures;
}

// The event thread.

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
        handlePropertyNotify(*reinterpret_cast<xcb_property_notify_event_t*>(event), events);
        return;
    case XCB_CONFIGURE_NOTIFY:
        handleOwnWindowEvent(event, events);
        handleConfigureNotify(*reinterpret_cast<xcb_configure_notify_event_t*>(event), events);
        return;
    case XCB_REPARENT_NOTIFY:
        handleOwnWindowEvent(event, events);
        return;
    case XCB_MAP_NOTIFY:
        handleMapNotify(*reinterpret_cast<xcb_map_notify_event_t*>(event));
        return;
    case XCB_DESTROY_NOTIFY:
        handleStatusAreaEvent(event);
        return;
    case XCB_SELECTION_REQUEST:
    case XCB_SELECTION_CLEAR:
        handleSwitcherSelectionEvent(event, events);
        return;
    case XCB_BUTTON_PRESS:
    case XCB_BUTTON_RELEASE: {
        MutexLock lock(m_mutex);
        m_lastInputTime = reinterpret_cast<xcb_button_press_event_t*>(event)->time;
        translatePointerLocked(event, events, input);
        return;
    }
    case XCB_MOTION_NOTIFY: {
        MutexLock lock(m_mutex);
        translatePointerLocked(event, events, input);
        return;
    }
    case XCB_CLIENT_MESSAGE:
        if (handleStatusAreaEvent(event))
            return;
        handleOwnWindowEvent(event, events);
        handlePong(*reinterpret_cast<xcb_client_message_event_t*>(event));
        return;
    case XCB_EXPOSE: {
        auto* e = reinterpret_cast<xcb_expose_event_t*>(event);
        MutexLock lock(m_mutex);
        // An exposure the server reported before it took a whole frame of
        // the window (the map's, whose paint follows it) needs no paint.
        if (auto it = m_ownWindows.find(e->window);
            it != m_ownWindows.end() && int32_t(event->full_sequence - it->second.paintedThrough) > 0)
            m_exposed.insert(e->window);
        return;
    }
    case XCB_KEY_PRESS:
    case XCB_KEY_RELEASE: {
        MutexLock lock(m_mutex);
        m_lastInputTime = reinterpret_cast<xcb_key_press_event_t*>(event)->time;
        // Without the keyboard grabbed only the grabbed keys come here: one
        // of them is about to open the panel.
        if (type == XCB_KEY_PRESS && !m_keyboard.grabbed)
            beginOpening();
        translateKeyLocked(*reinterpret_cast<xcb_key_press_event_t*>(event), type == XCB_KEY_PRESS, input);
        return;
    }
    default:
        break;
    }
    if (m_x->hasDamage() && type == m_x->damageEventBase() + XCB_DAMAGE_NOTIFY) {
        auto* e = reinterpret_cast<xcb_damage_notify_event_t*>(event);
        {
            MutexLock lock(m_mutex);
            bool uncovered = std::find(m_uncovering.begin(), m_uncovering.end(), event->full_sequence) != m_uncovering.end();
            if (auto it = m_captures.find(e->drawable); it != m_captures.end() && !uncovered)
                it->second.valid = false;
        }
        xcb_damage_subtract(m_x->connection(), e->damage, XCB_NONE, XCB_NONE);
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

void X11Desktop::handlePong(const xcb_client_message_event_t& e)
{
    // An application's answer to a ping comes back to the root window.
    if (e.type != m_x->wmProtocols() || e.data.data32[0] != m_x->ewmh()._NET_WM_PING || e.window != m_x->root())
        return;
    MutexLock lock(m_mutex);
    for (auto& [pid, app] : m_apps) {
        if (app.pendingPing && app.pendingPing == e.data.data32[1]) {
            app.pendingPing = 0;
            app.hung = false;
            app.lastPong = steadySeconds();
        }
    }
    m_pongs.notify_all();
}

Token X11Desktop::subscribe(Listener listener) { return m_listeners.subscribe(std::move(listener)); }

void X11Desktop::emit(const std::vector<DesktopEvent>& events) { m_listeners.emit(events); }

// Queries.

std::vector<DesktopScreen> X11Desktop::screens() const
{
    MutexLock lock(m_mutex);
    return m_screens;
}

CGDirectDisplayID X11Desktop::mainDisplay() const
{
    MutexLock lock(m_mutex);
    return m_screens.empty() ? 0 : m_screens.front().displayID;
}

CGPoint X11Desktop::mouseLocation() const
{
    auto reply = m_x->reply(xcb_query_pointer_reply, xcb_query_pointer(m_x->connection(), m_x->root()));
    return reply ? CGPoint { double(reply->root_x), double(reply->root_y) } : CGPoint {};
}

uint32_t X11Desktop::pressedMouseButtons() const
{
    auto reply = m_x->reply(xcb_query_pointer_reply, xcb_query_pointer(m_x->connection(), m_x->root()));
    if (!reply)
        return 0;
    uint32_t buttons = 0;
    if (reply->mask & XCB_BUTTON_MASK_1)
        buttons |= 1;
    if (reply->mask & XCB_BUTTON_MASK_3)
        buttons |= 2;
    if (reply->mask & XCB_BUTTON_MASK_2)
        buttons |= 4;
    return buttons;
}

std::vector<DesktopApp> X11Desktop::runningApplications() const
{
    MutexLock lock(m_mutex);
    std::vector<DesktopApp> result;
    for (pid_t pid : m_launchOrder)
        result.push_back(m_apps.at(pid).info);
    return result;
}

std::optional<DesktopApp> X11Desktop::application(pid_t pid) const
{
    MutexLock lock(m_mutex);
    auto it = m_apps.find(pid);
    if (it == m_apps.end())
        return std::nullopt;
    return it->second.info;
}

pid_t X11Desktop::frontmostApplication() const
{
    MutexLock lock(m_mutex);
    return m_frontmost;
}

const X11Client* X11Desktop::clientLocked(CGWindowID number) const
{
    auto it = m_clients.find(number);
    return it == m_clients.end() || !it->second->listed ? nullptr : it->second.get();
}

std::vector<xcb_window_t> X11Desktop::appWindowsLocked(pid_t pid) const
{
    std::vector<xcb_window_t> result;
    for (xcb_window_t w : m_stacking)
        if (m_clients.at(w)->pid == pid)
            result.push_back(w);
    return result;
}

bool X11Desktop::onScreenLocked(const X11Client& client) const
{
    auto app = m_apps.find(client.pid);
    bool hidden = app != m_apps.end() && app->second.info.hidden;
    return !client.minimized && !hidden && (client.desktop == kAllDesktops || client.desktop == m_currentDesktop);
}

DesktopWindow X11Desktop::describeLocked(const X11Client& client) const
{
    DesktopWindow w;
    w.number = static_cast<CGWindowID>(client.window);
    w.pid = client.pid;
    w.title = client.title;
    w.subrole = client.subrole;
    w.frame = client.frame;
    w.minimized = client.minimized;
    w.fullScreen = client.fullScreen;
    w.space = spaceOfDesktop(client.desktop);
    w.hasCloseButton = client.canClose;
    w.hasMinimizeButton = client.canMinimize;
    w.hasZoomButton = client.canMaximize;
    w.movable = client.canMove;
    w.resizable = client.canResize;
    auto windows = appWindowsLocked(client.pid);
    w.isMain = !windows.empty() && windows.front() == client.window;
    w.onScreen = onScreenLocked(client);
    return w;
}

std::vector<DesktopWindow> X11Desktop::windows() const
{
    MutexLock lock(m_mutex);
    std::vector<DesktopWindow> result;
    result.reserve(m_ownOrder.size() + m_stacking.size());
    // This process's windows lie above the others.
    for (CGWindowID n : m_ownOrder)
        result.push_back(m_ownWindows.at(n).info);
    for (xcb_window_t w : m_recent)
        if (auto* client = clientLocked(w))
            result.push_back(describeLocked(*client));
    return result;
}

std::optional<DesktopWindow> X11Desktop::window(CGWindowID number) const
{
    MutexLock lock(m_mutex);
    if (auto own = m_ownWindows.find(number); own != m_ownWindows.end())
        return own->second.info;
    auto* client = clientLocked(number);
    if (!client)
        return std::nullopt;
    return describeLocked(*client);
}

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

std::optional<DesktopApp> X11Desktop::startApplication(const DesktopLaunchRequest& request, std::string* error)
{
    pid_t pid = spawnApplicationProcess(request, nullptr, nullptr, error);
    if (!pid)
        return std::nullopt;
    return desktopAppForLaunch(request, pid);
}

bool X11Desktop::openURL(const std::string& url)
{
    constexpr const char* kOpener = "xdg-open";
    if (findExecutableOnPath(kOpener).empty()) {
        NSLog("Cannot open %@: the desktop's opener %@ is not installed (it comes with the package xdg-utils)", url, kOpener);
        return false;
    }
    DesktopLaunchRequest request;
    request.arguments = { kOpener, url };
    request.name = kOpener;
    std::string error;
    if (!spawnApplicationProcess(request, nullptr, nullptr, &error)) {
        NSLog("Cannot open %@: %@", url, error);
        return false;
    }
    return true;
}

std::vector<DesktopDisplaySpaces> X11Desktop::displaySpaces() const
{
    MutexLock lock(m_mutex);
    DesktopDisplaySpaces all { m_screens.empty() ? 0 : m_screens.front().displayID, {}, spaceOfDesktop(m_currentDesktop) };
    for (uint32_t desktop = 0; desktop < m_numberOfDesktops; ++desktop)
        all.spaces.push_back({ spaceOfDesktop(desktop), false });
    return { all };
}

uint64_t X11Desktop::activeSpace() const
{
    MutexLock lock(m_mutex);
    return spaceOfDesktop(m_currentDesktop);
}

// Applications.

bool X11Desktop::activateApplication(pid_t pid, bool frontWindowOnly)
{
    std::vector<xcb_window_t> windows;
    {
        MutexLock lock(m_mutex);
        if (!m_apps.count(pid))
            return false;
        windows = appWindowsLocked(pid);
    }
    if (pid == m_ownPid) {
        // This process becomes frontmost for the input stream while the X
        // focus stays with the user's window: the panel takes no focus.
        setFrontmost(m_ownPid);
        return true;
    }
    if (windows.empty())
        return false;
    {
        // A window of the application that was just asked to come to the
        // front (focusing a window sets it main, then brings its process
        // forward) stays the one in front, though the window manager has
        // not stacked it yet.
        MutexLock lock(m_mutex);
        auto pending = m_clients.find(m_pendingActivation);
        if (frontWindowOnly && pending != m_clients.end() && pending->second->pid == pid)
            return true;
    }
    // The others first, back to front, so that they stay in their order
    // behind the front one.
    if (!frontWindowOnly)
        for (auto it = windows.rbegin(); it + 1 != windows.rend(); ++it)
            requestRaise(*it);
    requestActivate(windows.front());
    return true;
}

void X11Desktop::setFrontmost(pid_t pid)
{
    {
        MutexLock lock(m_mutex);
        if (m_frontmost == pid || !m_apps.count(pid))
            return;
        m_frontmost = pid;
    }
    emit({ { DesktopEvent::Kind::ApplicationActivated, pid } });
}

bool X11Desktop::hideApplication(pid_t pid)
{
    std::set<xcb_window_t> windows;
    {
        MutexLock lock(m_mutex);
        auto it = m_apps.find(pid);
        if (it == m_apps.end() || pid == m_ownPid)
            return false;
        if (it->second.info.hidden)
            return true;
        it->second.info.hidden = true;
        for (xcb_window_t w : appWindowsLocked(pid))
            if (!m_clients.at(w)->minimized)
                windows.insert(w);
        it->second.hiddenWindows = windows;
    }
    for (xcb_window_t w : windows)
        requestMinimize(w, true);
    emit({ { DesktopEvent::Kind::ApplicationHidden, pid } });
    return true;
}

bool X11Desktop::unhideApplication(pid_t pid)
{
    std::vector<xcb_window_t> windows;
    {
        MutexLock lock(m_mutex);
        auto it = m_apps.find(pid);
        if (it == m_apps.end() || pid == m_ownPid)
            return false;
        if (!it->second.info.hidden)
            return true;
        it->second.info.hidden = false;
        for (xcb_window_t w : it->second.hiddenWindows)
            if (m_clients.count(w))
                windows.push_back(w);
        it->second.hiddenWindows.clear();
    }
    for (xcb_window_t w : windows)
        requestMinimize(w, false);
    emit({ { DesktopEvent::Kind::ApplicationUnhidden, pid } });
    return true;
}

bool X11Desktop::terminateApplication(pid_t pid, bool force)
{
    if (pid == m_ownPid || pid <= 0)
        return false;
    if (!force && !answersPing(pid))
        return false;
    std::vector<xcb_window_t> windows;
    {
        MutexLock lock(m_mutex);
        if (!m_apps.count(pid))
            return false;
        windows = appWindowsLocked(pid);
    }
    if (force)
        return ::kill(pid, SIGKILL) == 0;
    // A polite quit only asks: each window gets the window manager's close
    // request, which reaches the application as WM_DELETE_WINDOW. What it
    // does then is its own affair (an editor may ask to save first), so no
    // signal ever follows.
    for (xcb_window_t w : windows)
        requestClose(w);
    return true;
}

// Input.

void X11Desktop::postEvent(const DesktopInputEvent& event)
{
    // Posted events travel the same stream as the hardware's.
    routeInput(event);
}

void X11Desktop::sendHardwareInput(const DesktopInputEvent& event, bool now)
{
    DesktopInputEvent e = event;
    e.tapLocation = 0;
    e.sourcePid = 0;
    routeInput(e, now);
}

pid_t X11Desktop::deliverInput(const DesktopInputEvent& event)
{
    // Keys reach this process through its grabs and its focused windows;
    // the stream hands them to the frontmost application as the session
    // sees it (this process while its window has the focus or the panel is
    // up), and to this process while its menu is open. Pointer events go to
    // this process over its windows and while its menu holds the pointer
    // (the one that took a press also takes the drags and the release).
    MutexLock lock(m_mutex);
    pid_t overOwn = m_pointer.grabbed || ownWindowAtLocked(event.location) ? m_ownPid : m_frontmost;
    switch (event.type) {
    case kCGEventKeyDown:
    case kCGEventKeyUp:
    case kCGEventFlagsChanged:
        return m_pointer.grabbed ? m_ownPid : m_frontmost;
    case kCGEventLeftMouseDown:
    case kCGEventRightMouseDown:
    case kCGEventOtherMouseDown:
        m_pointer.mouseDownReceiver = overOwn;
        return overOwn;
    case kCGEventLeftMouseDragged:
    case kCGEventRightMouseDragged:
    case kCGEventOtherMouseDragged:
        return m_pointer.mouseDownReceiver ? m_pointer.mouseDownReceiver : overOwn;
    case kCGEventLeftMouseUp:
    case kCGEventRightMouseUp:
    case kCGEventOtherMouseUp: {
        pid_t receiver = m_pointer.mouseDownReceiver ? m_pointer.mouseDownReceiver : overOwn;
        m_pointer.mouseDownReceiver = 0;
        return receiver;
    }
    default:
        return overOwn;
    }
}

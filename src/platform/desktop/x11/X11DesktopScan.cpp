// Reading the X11 session into the desktop's mirror: the client list, each
// client's properties and geometry, the active window, the desktops and the
// screens. Called with the desktop's lock held.
#include "X11Client.h"
#include "X11Connection.h"
#include "X11Desktop.h"
#include "X11Property.h"
#include "X11Text.h"

#include <foundation/Clock.h>

#include <xcb/randr.h>

#include <algorithm>
#include <fstream>

namespace {

DesktopElement windowElement(pid_t pid, xcb_window_t window)
{
    return { DesktopElement::Kind::Window, pid, static_cast<CGWindowID>(window) };
}

std::string processName(pid_t pid)
{
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

// The largest icon we read to find the icon's colour.
constexpr uint32_t kIconBytes = 64 * 1024;

// The average colour of the first icon of a _NET_WM_ICON property (width,
// height, then ARGB pixels), weighted by alpha; none when there is no icon.
std::optional<uint32_t> iconColour(const std::vector<uint32_t>& words)
{
    if (words.size() < 3)
        return std::nullopt;
    uint64_t width = words[0], height = words[1];
    uint64_t count = std::min<uint64_t>(width * height, words.size() - 2);
    double r = 0, g = 0, b = 0, weight = 0;
    for (uint64_t i = 0; i < count; ++i) {
        uint32_t p = words[2 + i];
        double a = (p >> 24) / 255.0;
        r += a * ((p >> 16) & 0xff);
        g += a * ((p >> 8) & 0xff);
        b += a * (p & 0xff);
        weight += a;
    }
    if (weight <= 0)
        return std::nullopt;
    auto c = [&](double v) { return static_cast<uint32_t>(std::clamp(v / weight + 0.5, 0.0, 255.0)); };
    return (c(r) << 16) | (c(g) << 8) | c(b);
}

}

void X11Desktop::refreshClientsLocked(std::vector<DesktopEvent>& events)
{
    auto* c = m_x->connection();
    auto& ewmh = m_x->ewmh();
    auto list = X11PropertyRequest(c, m_x->root(), ewmh._NET_CLIENT_LIST_STACKING, 1 << 20).get().words();
    std::set<xcb_window_t> present(list.begin(), list.end());

    // Windows that left: destroyed notices, and their applications end
    // with their last window.
    for (auto it = m_clients.begin(); it != m_clients.end();) {
        if (present.count(it->first)) {
            ++it;
            continue;
        }
        X11Client gone = *it->second;
        m_captures.erase(gone.window);
        it = m_clients.erase(it);
        std::erase(m_stacking, gone.window);
        if (!gone.listed)
            continue;
        events.push_back({ DesktopEvent::Kind::AXNotification, gone.pid, windowElement(gone.pid, gone.window), "AXUIElementDestroyed" });
        bool last = std::none_of(m_clients.begin(), m_clients.end(),
            [&](const auto& entry) { return entry.second->listed && entry.second->pid == gone.pid; });
        if (last && gone.pid != m_ownPid && m_apps.count(gone.pid)) {
            m_apps.erase(gone.pid);
            std::erase(m_launchOrder, gone.pid);
            if (m_frontmost == gone.pid)
                m_frontmost = 0;
            events.push_back({ DesktopEvent::Kind::ApplicationTerminated, gone.pid });
        }
    }

    // Windows that came: watched from now on, read, and announced.
    std::vector<X11Client*> added;
    for (xcb_window_t w : list) {
        if (m_clients.count(w))
            continue;
        uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        if (m_ownWindows.count(w))
            mask |= kOwnWindowEvents;
        xcb_change_window_attributes(c, w, XCB_CW_EVENT_MASK, &mask);
        auto client = std::make_unique<X11Client>();
        client->window = w;
        added.push_back(client.get());
        m_clients[w] = std::move(client);
    }
    for (auto* client : added) {
        readClientLocked(*client);
        if (!client->listed)
            continue;
        if (!m_apps.count(client->pid))
            addApplicationLocked(client->pid, *client, events);
        events.push_back({ DesktopEvent::Kind::AXNotification, client->pid, windowElement(client->pid, client->window), "AXWindowCreated" });
    }

    // The stacking list runs bottom to top.
    m_stacking.clear();
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        auto entry = m_clients.find(*it);
        if (entry != m_clients.end() && entry->second->listed)
            m_stacking.push_back(*it);
    }
}

void X11Desktop::addApplicationLocked(pid_t pid, const X11Client& first, std::vector<DesktopEvent>& events)
{
    App app;
    app.info.pid = pid;
    app.info.name = !first.className.empty() ? first.className : processName(pid);
    if (app.info.name.empty())
        app.info.name = "pid " + std::to_string(pid);
    app.info.bundleId = first.instanceName;
    app.info.launchDate = Clock::current().now();
    app.info.iconColor = 0x808080;
    auto icon = X11PropertyRequest(m_x->connection(), first.window, m_x->ewmh()._NET_WM_ICON, kIconBytes).get();
    if (auto colour = iconColour(icon.words()))
        app.info.iconColor = *colour;
    m_apps[pid] = std::move(app);
    m_launchOrder.push_back(pid);
    events.push_back({ DesktopEvent::Kind::ApplicationLaunched, pid });
}

void X11Desktop::readClientLocked(X11Client& client)
{
    auto* c = m_x->connection();
    auto& ewmh = m_x->ewmh();
    xcb_window_t w = client.window;
    X11PropertyRequest pidRequest(c, w, ewmh._NET_WM_PID, 4);
    X11PropertyRequest classRequest(c, w, XCB_ATOM_WM_CLASS, 1024);
    X11PropertyRequest typeRequest(c, w, ewmh._NET_WM_WINDOW_TYPE, 64);
    X11PropertyRequest transientRequest(c, w, XCB_ATOM_WM_TRANSIENT_FOR, 4);
    X11PropertyRequest protocolsRequest(c, w, m_x->wmProtocols(), 64);
    X11PropertyRequest actionsRequest(c, w, ewmh._NET_WM_ALLOWED_ACTIONS, 256);
    X11PropertyRequest desktopRequest(c, w, ewmh._NET_WM_DESKTOP, 4);

    auto pidReply = pidRequest.get();
    auto wmClass = classRequest.get();
    auto types = typeRequest.get().words();
    bool transient = transientRequest.get().exists();
    auto protocols = protocolsRequest.get().words();
    auto actions = actionsRequest.get();
    auto desktop = desktopRequest.get().word();
    // A window that went away between two requests keeps what was known of
    // it until the client list drops it.
    if (!pidReply.reply)
        return;
    auto pid = pidReply.word();
    client.pid = pid ? static_cast<pid_t>(*pid) : 0;
    if (wmClass.exists()) {
        std::string both(wmClass.bytes(), wmClass.length());
        auto split = both.find('\0');
        client.instanceName = X11Text::fromLatin1(both.data(), std::min(split, both.size()), 256);
        if (split != std::string::npos)
            client.className = X11Text::fromLatin1(both.data() + split + 1, both.size() - split - 1, 256);
    }
    // The type: the first one this desktop knows, as the hint says.
    bool shown = true;
    client.subrole = transient ? "AXDialog" : "AXStandardWindow";
    for (uint32_t t : types) {
        if (t == ewmh._NET_WM_WINDOW_TYPE_NORMAL) {
            client.subrole = "AXStandardWindow";
        } else if (t == ewmh._NET_WM_WINDOW_TYPE_DIALOG) {
            client.subrole = "AXDialog";
        } else if (t == ewmh._NET_WM_WINDOW_TYPE_UTILITY || t == ewmh._NET_WM_WINDOW_TYPE_TOOLBAR
            || t == ewmh._NET_WM_WINDOW_TYPE_MENU || t == ewmh._NET_WM_WINDOW_TYPE_SPLASH) {
            client.subrole = "AXFloatingWindow";
        } else if (t == ewmh._NET_WM_WINDOW_TYPE_DOCK || t == ewmh._NET_WM_WINDOW_TYPE_DESKTOP
            || t == ewmh._NET_WM_WINDOW_TYPE_NOTIFICATION) {
            shown = false;
        } else {
            continue;
        }
        break;
    }
    client.takesPing = std::find(protocols.begin(), protocols.end(), ewmh._NET_WM_PING) != protocols.end();
    client.takesDelete = std::find(protocols.begin(), protocols.end(), m_x->wmDeleteWindow()) != protocols.end();
    if (actions.exists()) {
        auto allowed = actions.words();
        auto has = [&](xcb_atom_t a) { return std::find(allowed.begin(), allowed.end(), a) != allowed.end(); };
        client.canClose = has(ewmh._NET_WM_ACTION_CLOSE);
        client.canMinimize = has(ewmh._NET_WM_ACTION_MINIMIZE);
        client.canMaximize = has(ewmh._NET_WM_ACTION_MAXIMIZE_HORZ) || has(ewmh._NET_WM_ACTION_MAXIMIZE_VERT);
        client.canMove = has(ewmh._NET_WM_ACTION_MOVE);
        client.canResize = has(ewmh._NET_WM_ACTION_RESIZE);
    }
    client.desktop = desktop.value_or(m_currentDesktop);
    // Windows without a process cannot be grouped into an application;
    // this process's own windows are listed as its own.
    client.listed = shown && client.pid > 0 && client.pid != m_ownPid;
    if (!client.listed)
        return;
    readTitleLocked(client);
    readStateLocked(client);
    readGeometryLocked(client);
}

bool X11Desktop::readTitleLocked(X11Client& client)
{
    auto* c = m_x->connection();
    X11PropertyRequest netName(c, client.window, m_x->ewmh()._NET_WM_NAME, X11Text::kMaxTitleBytes + 4);
    X11PropertyRequest oldName(c, client.window, XCB_ATOM_WM_NAME, X11Text::kMaxTitleBytes + 4);
    auto utf8 = netName.get();
    auto old = oldName.get();
    std::optional<std::string> title;
    if (utf8.exists())
        title = X11Text::fromUTF8(utf8.bytes(), utf8.length());
    else if (old.exists() && old.type() == m_x->utf8String())
        title = X11Text::fromUTF8(old.bytes(), old.length());
    else if (old.exists())
        title = X11Text::fromLatin1(old.bytes(), old.length());
    bool changed = title != client.title;
    client.title = std::move(title);
    return changed;
}

bool X11Desktop::readStateLocked(X11Client& client)
{
    auto& ewmh = m_x->ewmh();
    auto state = X11PropertyRequest(m_x->connection(), client.window, ewmh._NET_WM_STATE, 256).get().words();
    auto has = [&](xcb_atom_t a) { return std::find(state.begin(), state.end(), a) != state.end(); };
    bool before = client.minimized;
    client.minimized = has(ewmh._NET_WM_STATE_HIDDEN);
    client.maximized = has(ewmh._NET_WM_STATE_MAXIMIZED_HORZ) && has(ewmh._NET_WM_STATE_MAXIMIZED_VERT);
    client.fullScreen = has(ewmh._NET_WM_STATE_FULLSCREEN);
    return before != client.minimized;
}

void X11Desktop::readGeometryLocked(X11Client& client)
{
    auto* c = m_x->connection();
    auto geometryCookie = xcb_get_geometry(c, client.window);
    auto translateCookie = xcb_translate_coordinates(c, client.window, m_x->root(), 0, 0);
    std::unique_ptr<xcb_get_geometry_reply_t, decltype(&free)> geometry(xcb_get_geometry_reply(c, geometryCookie, nullptr), &free);
    std::unique_ptr<xcb_translate_coordinates_reply_t, decltype(&free)> origin(
        xcb_translate_coordinates_reply(c, translateCookie, nullptr), &free);
    if (!geometry || !origin)
        return;
    client.frame = CGRectMake(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
    if (client.topLevel != XCB_WINDOW_NONE)
        return;
    // The frame the window manager put around the client, found once.
    xcb_window_t w = client.window;
    for (int depth = 0; depth < 8; ++depth) {
        std::unique_ptr<xcb_query_tree_reply_t, decltype(&free)> tree(xcb_query_tree_reply(c, xcb_query_tree(c, w), nullptr), &free);
        if (!tree)
            return;
        if (tree->parent == m_x->root() || tree->parent == XCB_WINDOW_NONE)
            break;
        w = tree->parent;
    }
    client.topLevel = w;
}

void X11Desktop::refreshActiveLocked(std::vector<DesktopEvent>& events)
{
    auto active = X11PropertyRequest(m_x->connection(), m_x->root(), m_x->ewmh()._NET_ACTIVE_WINDOW, 4).get().word();
    xcb_window_t window = active.value_or(XCB_WINDOW_NONE);
    pid_t pid = m_frontmost;
    if (auto it = m_clients.find(window); it != m_clients.end() && it->second->pid > 0)
        pid = it->second->pid;
    // While the panel is up this process stays in front and keeps the
    // keyboard, whatever takes the focus meanwhile: a window that maps and
    // is focused, the one the window manager picks after a close. Only a
    // window this process asked to activate (Return at the panel) brings
    // its application forward; the others are the active window once the
    // panel goes.
    bool requested = window != XCB_WINDOW_NONE && window == m_pendingActivation;
    if (m_keyboardGrabbed && !requested)
        pid = m_frontmost;
    if (window == m_active && pid == m_frontmost && !requested)
        return;
    bool changed = window != m_active;
    m_active = window;
    if (requested)
        m_pendingActivation = XCB_WINDOW_NONE;
    if (auto* client = clientLocked(window); client && changed) {
        // The element of both notices is the window that now has the focus.
        auto element = windowElement(client->pid, client->window);
        events.push_back({ DesktopEvent::Kind::AXNotification, client->pid, element, "AXFocusedWindowChanged" });
        events.push_back({ DesktopEvent::Kind::AXNotification, client->pid, element, "AXMainWindowChanged" });
    }
    if (pid != m_frontmost && m_apps.count(pid)) {
        m_frontmost = pid;
        events.push_back({ DesktopEvent::Kind::ApplicationActivated, pid });
    }
}

void X11Desktop::refreshCurrentDesktopLocked()
{
    X11PropertyRequest currentRequest(m_x->connection(), m_x->root(), m_x->ewmh()._NET_CURRENT_DESKTOP, 4);
    X11PropertyRequest numberRequest(m_x->connection(), m_x->root(), m_x->ewmh()._NET_NUMBER_OF_DESKTOPS, 4);
    m_currentDesktop = currentRequest.get().word().value_or(0);
    m_numberOfDesktops = std::max<uint32_t>(numberRequest.get().word().value_or(1), 1);
}

void X11Desktop::refreshScreensLocked()
{
    auto* c = m_x->connection();
    std::vector<DesktopScreen> screens;
    if (m_x->hasRandR()) {
        std::unique_ptr<xcb_randr_get_monitors_reply_t, decltype(&free)> monitors(
            xcb_randr_get_monitors_reply(c, xcb_randr_get_monitors(c, m_x->root(), 1), nullptr), &free);
        if (monitors) {
            for (auto it = xcb_randr_get_monitors_monitors_iterator(monitors.get()); it.rem; xcb_randr_monitor_info_next(&it)) {
                DesktopScreen s;
                s.displayID = static_cast<CGDirectDisplayID>(screens.size() + 1);
                s.frame = CGRectMake(it.data->x, it.data->y, it.data->width, it.data->height);
                if (it.data->primary)
                    screens.insert(screens.begin(), s);
                else
                    screens.push_back(s);
            }
        }
    }
    if (screens.empty()) {
        DesktopScreen s;
        s.displayID = 1;
        s.frame = CGRectMake(0, 0, m_x->screen()->width_in_pixels, m_x->screen()->height_in_pixels);
        screens.push_back(s);
    }
    // The work area leaves out the panels and docks; each screen's usable
    // frame is its part of it.
    auto area = X11PropertyRequest(c, m_x->root(), m_x->ewmh()._NET_WORKAREA, 4096).get().words();
    std::optional<CGRect> workArea;
    if (area.size() >= 4 * (size_t(m_currentDesktop) + 1)) {
        size_t i = 4 * m_currentDesktop;
        workArea = CGRectMake(int32_t(area[i]), int32_t(area[i + 1]), area[i + 2], area[i + 3]);
    }
    for (auto& s : screens) {
        s.visibleFrame = s.frame;
        if (workArea) {
            CGRect usable = CGRectIntersection(s.frame, *workArea);
            if (!CGRectIsNull(usable) && usable.size.width > 0 && usable.size.height > 0)
                s.visibleFrame = usable;
        }
    }
    m_screens = std::move(screens);
}

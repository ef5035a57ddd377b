// Reading the X11 session into the desktop's mirror: the client list, each
// client's properties and geometry, the active window, the desktops and the
// screens. Run by the event thread (and at start): the server is read with
// the desktop's lock let go, and what it said is stored under the lock.
#include "X11Client.h"
#include "X11Connection.h"
#include "X11Desktop.h"
#include "X11Property.h"
#include "X11Text.h"

#include <foundation/Clock.h>
#include <foundation/LargeBuffers.h>
#include <foundation/RunLoop.h>

#include <xcb/randr.h>
#include <xcb/res.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <unordered_set>

namespace {

// The type of what the client-id query asks (a client and what to name
// of it), as the library declares it.
template <class Function>
struct QueryArgument;
template <class Result, class Query>
struct QueryArgument<Result(xcb_connection_t*, uint32_t, const Query*)> {
    using type = Query;
};
using ClientIdQuery = QueryArgument<decltype(xcb_res_query_client_ids)>::type;

std::string processName(pid_t pid)
{
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

// The most of an icon property that is read: a 256-pixel square and the
// smaller sizes beside it.
constexpr uint32_t kIconBytes = 2 << 20;
// Larger images than this are left out: nothing draws icons that large.
constexpr uint32_t kLargestIconSide = 512;

// The images of a _NET_WM_ICON property: one after the other, each its
// width, its height, then its ARGB pixels (alpha not premultiplied) row by
// row. Reading stops at the first image that does not fit what was read.
std::vector<DesktopImage> iconImages(const std::vector<uint32_t>& words)
{
    std::vector<DesktopImage> images;
    for (size_t i = 0; i + 2 <= words.size();) {
        uint64_t width = words[i], height = words[i + 1];
        if (width == 0 || height == 0 || width * height > words.size() - i - 2)
            break;
        i += 2;
        if (width <= kLargestIconSide && height <= kLargestIconSide) {
            DesktopImage image;
            image.width = int(width);
            image.height = int(height);
            image.rgba.resize(width * height * 4);
            for (size_t k = 0; k < width * height; ++k) {
                uint32_t p = words[i + k];
                uint32_t a = p >> 24;
                uint8_t* out = image.rgba.data() + k * 4;
                out[0] = uint8_t((((p >> 16) & 0xff) * a + 127) / 255);
                out[1] = uint8_t((((p >> 8) & 0xff) * a + 127) / 255);
                out[2] = uint8_t(((p & 0xff) * a + 127) / 255);
                out[3] = uint8_t(a);
            }
            images.push_back(std::move(image));
        }
        i += width * height;
    }
    return images;
}

// The average colour of an icon image (premultiplied), weighted by alpha;
// none when it is wholly transparent.
std::optional<uint32_t> iconColour(const DesktopImage& image)
{
    double r = 0, g = 0, b = 0, weight = 0;
    for (size_t i = 0; i + 3 < image.rgba.size(); i += 4) {
        r += image.rgba[i];
        g += image.rgba[i + 1];
        b += image.rgba[i + 2];
        weight += image.rgba[i + 3] / 255.0;
    }
    if (weight <= 0)
        return std::nullopt;
    auto c = [&](double v) { return static_cast<uint32_t>(std::clamp(v / weight + 0.5, 0.0, 255.0)); };
    return (c(r) << 16) | (c(g) << 8) | c(b);
}

// The program file of a process: what stands for an application's bundle
// on a desktop without bundles.
std::string programPath(pid_t pid)
{
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error);
    return error ? std::string() : path.string();
}

}

void X11Desktop::refreshClients(std::vector<DesktopEvent>& events)
{
    auto* c = m_x->connection();
    auto& ewmh = m_x->ewmh();
    X11PropertyRequest stackingRequest(*m_x, m_x->root(), ewmh._NET_CLIENT_LIST_STACKING, 1 << 20);
    X11PropertyRequest mappingRequest(*m_x, m_x->root(), ewmh._NET_CLIENT_LIST, 1 << 20);
    auto list = stackingRequest.get().words();
    // A managed window that the stacking list leaves out is listed all the
    // same, on top (the newest, as the client list runs in the order of
    // mapping): xfwm4 writes no stacking list for the only window of a
    // desktop until a second comes.
    std::unordered_set<xcb_window_t> present(list.begin(), list.end());
    for (xcb_window_t w : mappingRequest.get().words())
        if (present.insert(w).second)
            list.push_back(w);

    // Windows that came: watched from now on, and read.
    std::vector<X11Client> added;
    std::set<xcb_window_t> own;
    // The applications that keep a window (the others end below).
    std::set<pid_t> staying { m_ownPid };
    uint32_t currentDesktop;
    {
        MutexLock lock(m_mutex);
        for (xcb_window_t w : list) {
            if (m_clients.count(w))
                continue;
            added.push_back({});
            added.back().window = w;
            if (m_ownWindows.count(w))
                own.insert(w);
        }
        for (const auto& [window, client] : m_clients)
            if (client->listed && present.count(window))
                staying.insert(client->pid);
        currentDesktop = m_currentDesktop;
    }
    for (auto& client : added) {
        uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        if (own.count(client.window))
            mask |= kOwnWindowEvents;
        xcb_change_window_attributes(c, client.window, XCB_CW_EVENT_MASK, &mask);
    }
    // The applications of the new windows, described by their first one.
    std::map<pid_t, App> newApps;
    for (auto& client : added) {
        readClient(client, currentDesktop);
        if (client.listed && !staying.count(client.pid) && !newApps.count(client.pid))
            newApps[client.pid] = describeApplication(client);
    }

    MutexLock lock(m_mutex);
    // Windows that left: destroyed notices, and their applications end
    // with their last window.
    bool windowsWent = false;
    for (auto it = m_clients.begin(); it != m_clients.end();) {
        if (present.count(it->first)) {
            ++it;
            continue;
        }
        X11Client gone = *it->second;
        m_captures.erase(gone.window);
        // The server hands a window's id out again once its client is
        // gone: an activation that never came must not make another
        // client's window count as asked for.
        if (gone.window == m_pendingActivation)
            m_pendingActivation = XCB_WINDOW_NONE;
        windowsWent = true;
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

    if (windowsWent)
        returnMemoryOfClosedWindows();

    // Windows that came: announced.
    for (auto& client : added) {
        auto& stored = m_clients[client.window];
        stored = std::make_unique<X11Client>(std::move(client));
        if (!stored->listed)
            continue;
        if (!m_apps.count(stored->pid)) {
            m_apps[stored->pid] = std::move(newApps[stored->pid]);
            m_launchOrder.push_back(stored->pid);
            events.push_back({ DesktopEvent::Kind::ApplicationLaunched, stored->pid });
        }
        events.push_back({ DesktopEvent::Kind::AXNotification, stored->pid, windowElement(stored->pid, stored->window), "AXWindowCreated" });
    }

    // The stacking list runs bottom to top.
    m_stacking.clear();
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        auto entry = m_clients.find(*it);
        if (entry != m_clients.end() && entry->second->listed)
            m_stacking.push_back(*it);
    }
    indexStackingLocked();
    // The order of use keeps the listed windows: the new ones go behind
    // the active window, in stacking order, until they are active themselves.
    std::unordered_set<xcb_window_t> listed(m_stacking.begin(), m_stacking.end());
    std::erase_if(m_recent, [&](xcb_window_t w) { return !listed.count(w); });
    std::unordered_set<xcb_window_t> known(m_recent.begin(), m_recent.end());
    std::vector<xcb_window_t> fresh;
    for (xcb_window_t w : m_stacking)
        if (!known.count(w))
            fresh.push_back(w);
    auto at = !m_recent.empty() && m_recent.front() == m_active ? m_recent.begin() + 1 : m_recent.begin();
    m_recent.insert(at, fresh.begin(), fresh.end());
    if (auto active = std::find(m_recent.begin(), m_recent.end(), m_active); active != m_recent.end())
        std::rotate(m_recent.begin(), active, active + 1);
}

std::optional<X11Client> X11Desktop::listedClient(xcb_window_t window)
{
    MutexLock lock(m_mutex);
    auto* client = clientLocked(window);
    return client ? std::optional<X11Client>(*client) : std::nullopt;
}

X11Client* X11Desktop::storeClientLocked(const X11Client& client)
{
    auto it = m_clients.find(client.window);
    if (it == m_clients.end())
        return nullptr;
    bool movedProcess = it->second->pid != client.pid;
    *it->second = client;
    if (movedProcess)
        indexStackingLocked();
    return it->second.get();
}

// The captures of the windows that went are freed here, their previews
// when the services have heard of it; what they held goes back to the
// system once closing has been quiet for a while (a burst of closes is
// one return, and a window that comes meanwhile may reuse the memory).
void X11Desktop::returnMemoryOfClosedWindows()
{
    const void* target = this;
    RunLoop::main().perform([target] {
        RunLoop::main().cancelPerforms(target, "returnMemory");
        RunLoop::main().performAfterDelay(target, "returnMemory", kReturnMemoryDelaySeconds, [] { returnFreedLargeBuffers(); });
    });
}

X11Desktop::App X11Desktop::describeApplication(const X11Client& first)
{
    pid_t pid = first.pid;
    App app;
    app.info.pid = pid;
    app.info.name = !first.className.empty() ? first.className : processName(pid);
    if (app.info.name.empty())
        app.info.name = "pid " + std::to_string(pid);
    app.info.bundleId = first.instanceName;
    app.info.launchDate = Clock::current().now();
    app.info.bundlePath = programPath(pid);
    app.info.iconColor = 0x808080;
    applyIcon(app, readIcon(first.window));
    return app;
}

// The process of the client that made the window, as the server knows it
// (X-Resource client ids): for windows without _NET_WM_PID (xcalc, xeyes,
// Tk programs). 0 for a client on another machine, or when the server does
// not say.
pid_t X11Desktop::processOfClient(xcb_window_t window)
{
    if (!m_x->hasResourceIds())
        return 0;
    auto* c = m_x->connection();
    // One question: the process id of the client that made the window.
    ClientIdQuery query { window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID };
    auto reply = m_x->reply(xcb_res_query_client_ids_reply, xcb_res_query_client_ids(c, 1, &query));
    if (!reply)
        return 0;
    // Only the process id was asked for: an answer of four bytes is it.
    for (auto it = xcb_res_query_client_ids_ids_iterator(reply.get()); it.rem; xcb_res_client_id_value_next(&it))
        if (it.data->length == 4)
            return static_cast<pid_t>(*xcb_res_client_id_value_value(it.data));
    return 0;
}

std::vector<DesktopImage> X11Desktop::readIcon(xcb_window_t window)
{
    return iconImages(X11PropertyRequest(*m_x, window, m_x->ewmh()._NET_WM_ICON, kIconBytes).get().words());
}

// The icon stays when the window has none.
void X11Desktop::applyIcon(App& app, std::vector<DesktopImage> images)
{
    if (images.empty())
        return;
    if (auto colour = iconColour(images.front()))
        app.info.iconColor = *colour;
    app.info.icons = std::make_shared<const std::vector<DesktopImage>>(std::move(images));
}

void X11Desktop::setIconLocked(pid_t pid, std::vector<DesktopImage> images)
{
    auto app = m_apps.find(pid);
    if (app != m_apps.end() && pid != m_ownPid)
        applyIcon(app->second, std::move(images));
}

void X11Desktop::readClient(X11Client& client, uint32_t currentDesktop)
{
    auto& ewmh = m_x->ewmh();
    xcb_window_t w = client.window;
    X11PropertyRequest pidRequest(*m_x, w, ewmh._NET_WM_PID, 4);
    X11PropertyRequest classRequest(*m_x, w, XCB_ATOM_WM_CLASS, 1024);
    X11PropertyRequest typeRequest(*m_x, w, ewmh._NET_WM_WINDOW_TYPE, 64);
    X11PropertyRequest transientRequest(*m_x, w, XCB_ATOM_WM_TRANSIENT_FOR, 4);
    X11PropertyRequest protocolsRequest(*m_x, w, m_x->wmProtocols(), 64);
    X11PropertyRequest actionsRequest(*m_x, w, ewmh._NET_WM_ALLOWED_ACTIONS, 256);
    X11PropertyRequest desktopRequest(*m_x, w, ewmh._NET_WM_DESKTOP, 4);

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
    client.pid = pid ? static_cast<pid_t>(*pid) : processOfClient(w);
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
    client.takesDelete = std::find(protocols.begin(), protocols.end(), m_x->atoms().wmDeleteWindow) != protocols.end();
    if (actions.exists()) {
        auto allowed = actions.words();
        auto has = [&](xcb_atom_t a) { return std::find(allowed.begin(), allowed.end(), a) != allowed.end(); };
        client.canClose = has(ewmh._NET_WM_ACTION_CLOSE);
        client.canMinimize = has(ewmh._NET_WM_ACTION_MINIMIZE);
        client.canMaximize = has(ewmh._NET_WM_ACTION_MAXIMIZE_HORZ) || has(ewmh._NET_WM_ACTION_MAXIMIZE_VERT);
        client.canMove = has(ewmh._NET_WM_ACTION_MOVE);
        client.canResize = has(ewmh._NET_WM_ACTION_RESIZE);
    }
    client.desktop = desktop.value_or(currentDesktop);
    // Windows without a process cannot be grouped into an application;
    // this process's own windows are listed as its own.
    client.listed = shown && client.pid > 0 && client.pid != m_ownPid;
    if (!client.listed)
        return;
    readTitle(client);
    readState(client);
    readGeometry(client);
}

bool X11Desktop::readTitle(X11Client& client)
{
    X11PropertyRequest netName(*m_x, client.window, m_x->ewmh()._NET_WM_NAME, X11Text::kMaxTitleBytes + 4);
    X11PropertyRequest oldName(*m_x, client.window, XCB_ATOM_WM_NAME, X11Text::kMaxTitleBytes + 4);
    auto utf8 = netName.get();
    auto old = oldName.get();
    std::optional<std::string> title;
    if (utf8.exists())
        title = X11Text::fromUTF8(utf8.bytes(), utf8.length());
    else if (old.exists() && old.type() == m_x->utf8String())
        title = X11Text::fromUTF8(old.bytes(), old.length());
    else if (old.exists() && old.type() == m_x->atoms().compoundText)
        title = X11Text::fromCompoundText(old.bytes(), old.length());
    else if (old.exists())
        title = X11Text::fromLatin1(old.bytes(), old.length());
    bool changed = title != client.title;
    client.title = std::move(title);
    return changed;
}

bool X11Desktop::readState(X11Client& client)
{
    auto& ewmh = m_x->ewmh();
    auto state = X11PropertyRequest(*m_x, client.window, ewmh._NET_WM_STATE, 256).get().words();
    auto has = [&](xcb_atom_t a) { return std::find(state.begin(), state.end(), a) != state.end(); };
    bool before = client.minimized;
    client.minimized = has(ewmh._NET_WM_STATE_HIDDEN);
    client.maximized = has(ewmh._NET_WM_STATE_MAXIMIZED_HORZ) && has(ewmh._NET_WM_STATE_MAXIMIZED_VERT);
    client.fullScreen = has(ewmh._NET_WM_STATE_FULLSCREEN);
    return before != client.minimized;
}

void X11Desktop::readGeometry(X11Client& client)
{
    auto* c = m_x->connection();
    CGRect frame = m_x->rootFrame(client.window);
    if (CGRectIsNull(frame))
        return;
    client.frame = frame;
    if (client.topLevel != XCB_WINDOW_NONE)
        return;
    // The frame the window manager put around the client, found once.
    xcb_window_t w = client.window;
    for (int depth = 0; depth < 8; ++depth) {
        auto tree = m_x->reply(xcb_query_tree_reply, xcb_query_tree(c, w));
        if (!tree)
            return;
        if (tree->parent == m_x->root() || tree->parent == XCB_WINDOW_NONE)
            break;
        w = tree->parent;
    }
    client.topLevel = w;
}

void X11Desktop::refreshActive(std::vector<DesktopEvent>& events)
{
    auto active = X11PropertyRequest(*m_x, m_x->root(), m_x->ewmh()._NET_ACTIVE_WINDOW, 4).get().word();
    xcb_window_t window = active.value_or(XCB_WINDOW_NONE);
    MutexLock lock(m_mutex);
    pid_t pid = m_frontmost;
    if (auto it = m_clients.find(window); it != m_clients.end() && it->second->pid > 0)
        pid = it->second->pid;
    // While the panel is up this process stays in front and keeps the
    // keyboard, whatever takes the focus meanwhile: a window that maps and
    // is focused, the one the window manager picks after a close. Only a
    // window this process asked to activate (Return at the panel) brings
    // its application forward; the others are the active window once the
    // panel goes. The same holds from the press that opens the panel: the
    // window manager may focus a window that mapped just before it while
    // the panel is still on its way to the screen.
    bool requested = window != XCB_WINDOW_NONE && window == m_pendingActivation;
    bool panelHoldsFront = m_keyboard.grabbed || m_keyboard.openingUntil > steadySeconds();
    bool superseded = window != XCB_WINDOW_NONE && window == m_supersededActivation;
    if (window != XCB_WINDOW_NONE && !superseded)
        m_supersededActivation = XCB_WINDOW_NONE;
    if ((panelHoldsFront && !requested) || superseded)
        pid = m_frontmost;
    // The same window announced again (the window manager may say so
    // twice) moves nothing: it does not take the front back from this
    // process, which activated itself since.
    if (window == m_active && (pid == m_frontmost || m_frontmost == m_ownPid) && !requested)
        return;
    bool changed = window != m_active;
    m_active = window;
    // Every change of the active window, the window manager's own on a
    // change of desktop included, brings the window to the front of the
    // order of use.
    if (auto at = std::find(m_recent.begin(), m_recent.end(), window); at != m_recent.end())
        std::rotate(m_recent.begin(), at, at + 1);
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

void X11Desktop::refreshCurrentDesktop()
{
    X11PropertyRequest currentRequest(*m_x, m_x->root(), m_x->ewmh()._NET_CURRENT_DESKTOP, 4);
    X11PropertyRequest numberRequest(*m_x, m_x->root(), m_x->ewmh()._NET_NUMBER_OF_DESKTOPS, 4);
    uint32_t current = currentRequest.get().word().value_or(0);
    uint32_t number = std::max<uint32_t>(numberRequest.get().word().value_or(1), 1);
    MutexLock lock(m_mutex);
    m_currentDesktop = current;
    m_numberOfDesktops = number;
}

void X11Desktop::refreshScreens()
{
    auto* c = m_x->connection();
    std::vector<DesktopScreen> screens;
    if (m_x->hasRandR()) {
        auto monitors = m_x->reply(xcb_randr_get_monitors_reply, xcb_randr_get_monitors(c, m_x->root(), 1));
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
    // frame is its part of the current desktop's.
    auto area = X11PropertyRequest(*m_x, m_x->root(), m_x->ewmh()._NET_WORKAREA, 4096).get().words();
    MutexLock lock(m_mutex);
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

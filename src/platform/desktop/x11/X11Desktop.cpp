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
    // The segments kept for reads of the screen beneath a panel, for
    // captures and for the frames of the next panel go when the program
    // hands memory back; the next read or panel makes them again.
    X11Desktop* self = desktop.get();
    desktop->m_memoryKeeper = addLargeBufferKeeper([self] {
        {
            MutexLock lock(self->m_rootReadMutex);
            self->m_rootPixels.release();
        }
        {
            MutexLock lock(self->m_captureReadMutex);
            self->m_capturePixels.release();
        }
        {
            MutexLock lock(self->m_spareScreenBytes->mutex);
            std::vector<uint8_t>().swap(self->m_spareScreenBytes->bytes);
        }
        {
            MutexLock lock(self->m_rootAtPressMutex);
            if (self->m_rootAtPress)
                xcb_discard_reply(self->m_x->connection(), self->m_rootAtPress->cookie.sequence);
            self->m_rootAtPress.reset();
            self->m_rootAtPressPixels.release();
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
    auto it = m_appStacking.find(pid);
    return it == m_appStacking.end() ? std::vector<xcb_window_t> {} : it->second;
}

xcb_window_t X11Desktop::frontWindowOfAppLocked(pid_t pid) const
{
    auto it = m_appStacking.find(pid);
    return it == m_appStacking.end() || it->second.empty() ? xcb_window_t(XCB_WINDOW_NONE) : it->second.front();
}

void X11Desktop::indexStackingLocked()
{
    m_appStacking.clear();
    for (xcb_window_t w : m_stacking)
        m_appStacking[m_clients.at(w)->pid].push_back(w);
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
    w.isMain = frontWindowOfAppLocked(client.pid) == client.window;
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
        // The latest activation asked for wins: a window asked for before
        // (the last switch) that the window manager focuses only now
        // becomes the active window without bringing its application in
        // front of this process.
        {
            MutexLock lock(m_mutex);
            if (m_pendingActivation != XCB_WINDOW_NONE) {
                m_supersededActivation = m_pendingActivation;
                m_pendingActivation = XCB_WINDOW_NONE;
            }
        }
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

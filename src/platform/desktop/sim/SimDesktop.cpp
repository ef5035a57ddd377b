#include "SimDesktop.h"
#include "SimElements.h"

#include "../InputCodes.h"

#include <foundation/Clock.h>
#include <foundation/Format.h>

#include <algorithm>
#include <cmath>
#include <csignal>

SimDesktop::SimDesktop()
{
    // The system's own process is always running.
    DesktopApp own;
    own.pid = kOwnPid;
    own.name = "Quorvex";
    own.bundleId = "org.quorvex.Quorvex";
    own.bundlePath = "/Applications/Quorvex.app";
    own.iconColor = 0x3b6fd8;
    m_apps[kOwnPid] = { own, kAXErrorSuccess };
    m_launchOrder.push_back(kOwnPid);
    m_started->desktop = this;
}

SimDesktop::~SimDesktop()
{
    std::lock_guard lock(m_started->mutex);
    m_started->desktop = nullptr;
}

void SimDesktop::log(std::string entry) const
{
    std::lock_guard lock(m_mutex);
    if (m_callLog.size() == kCallLogLimit)
        m_callLog.pop_front();
    m_callLog.push_back({ std::move(entry), {}, {} });
}

void SimDesktop::logAttributeRead(const DesktopElement& element, const std::string& attribute) const
{
    std::lock_guard lock(m_mutex);
    if (m_callLog.size() == kCallLogLimit)
        m_callLog.pop_front();
    m_callLog.push_back({ {}, element, attribute });
}

std::string SimDesktop::LoggedCall::written() const
{
    if (!text.empty())
        return text;
    return "AXUIElementCopyAttributeValue " + elementText(element) + " " + attribute;
}

std::vector<std::string> SimDesktop::callLog() const
{
    std::lock_guard lock(m_mutex);
    std::vector<std::string> entries;
    entries.reserve(m_callLog.size());
    for (const auto& call : m_callLog)
        entries.push_back(call.written());
    return entries;
}

void SimDesktop::clearCallLog()
{
    std::lock_guard lock(m_mutex);
    m_callLog.clear();
}

size_t SimDesktop::countCalls(const std::string& prefix) const
{
    std::lock_guard lock(m_mutex);
    return std::count_if(m_callLog.begin(), m_callLog.end(), [&](const LoggedCall& call) { return call.written().rfind(prefix, 0) == 0; });
}

Token SimDesktop::subscribe(Listener listener) { return m_listeners.subscribe(std::move(listener)); }

void SimDesktop::emit(const std::vector<DesktopEvent>& events)
{
    std::vector<DesktopEvent> all = events;
    {
        std::lock_guard lock(m_mutex);
        announceFocusLocked(all);
    }
    m_listeners.emit(all);
}

void SimDesktop::announceFocusLocked(std::vector<DesktopEvent>& events)
{
    CGWindowID focused = frontWindowOfAppLocked(m_frontmost).value_or(0);
    if (focused == m_announcedFocus)
        return;
    m_announcedFocus = focused;
    if (!focused)
        return;
    // The element of both notices is the window that now has the focus.
    const DesktopWindow& w = m_windows.at(focused);
    events.push_back({ DesktopEvent::Kind::AXNotification, w.pid, windowElement(w), "AXFocusedWindowChanged" });
    events.push_back({ DesktopEvent::Kind::AXNotification, w.pid, windowElement(w), "AXMainWindowChanged" });
}

void SimDesktop::setFrameLocked(DesktopWindow& w, const CGRect& frame, std::vector<DesktopEvent>& events)
{
    CGRect before = std::exchange(w.frame, frame);
    if (!CGPointEqualToPoint(before.origin, frame.origin))
        events.push_back({ DesktopEvent::Kind::AXNotification, w.pid, windowElement(w), "AXWindowMoved" });
    if (!CGSizeEqualToSize(before.size, frame.size))
        events.push_back({ DesktopEvent::Kind::AXNotification, w.pid, windowElement(w), "AXWindowResized" });
}

void SimDesktop::postEvent(const DesktopInputEvent& event)
{
    {
        std::lock_guard lock(m_mutex);
        log(stringWithFormat("CGEventPost type:%u keyCode:%u flags:0x%llx at:(%g, %g)", event.type, event.keyCode,
            static_cast<unsigned long long>(event.flags), event.location.x, event.location.y));
        m_posted.push_back(event);
        // Posted mouse events move the pointer and its buttons as real ones do.
        switch (event.type) {
        case kCGEventLeftMouseDown:
            m_buttons |= 1;
            m_mouse = event.location;
            break;
        case kCGEventLeftMouseUp:
            m_buttons &= ~1u;
            m_mouse = event.location;
            break;
        case kCGEventMouseMoved:
        case kCGEventLeftMouseDragged:
            m_mouse = event.location;
            break;
        default:
            break;
        }
    }
    // Posted events travel the same stream as the hardware's.
    routeInput(event);
}

std::vector<DesktopInputEvent> SimDesktop::postedEvents() const
{
    std::lock_guard lock(m_mutex);
    return m_posted;
}

// Screens.

std::vector<DesktopScreen> SimDesktop::screens() const
{
    std::lock_guard lock(m_mutex);
    return m_screens;
}

void SimDesktop::addScreen(const CGRect& frame, const CGRect& visibleFrame, const std::string& picture)
{
    {
        std::lock_guard lock(m_mutex);
        m_screens.push_back({ m_nextDisplay++, frame, visibleFrame, picture });
        giveDisplaysSpacesLocked();
    }
    emit({ { DesktopEvent::Kind::ScreensChanged } });
}

void SimDesktop::removeScreen(CGDirectDisplayID display)
{
    {
        std::lock_guard lock(m_mutex);
        std::erase_if(m_screens, [&](const DesktopScreen& s) { return s.displayID == display; });
    }
    emit({ { DesktopEvent::Kind::ScreensChanged } });
}

CGDirectDisplayID SimDesktop::mainDisplay() const
{
    std::lock_guard lock(m_mutex);
    return m_screens.empty() ? 0 : m_screens.front().displayID;
}

bool SimDesktop::requestDisplayProbe(CGDirectDisplayID display, uint32_t options)
{
    std::lock_guard lock(m_mutex);
    log(stringWithFormat("IOServiceRequestProbe display:%u options:0x%x", display, options));
    bool known = std::any_of(m_screens.begin(), m_screens.end(), [&](const DesktopScreen& s) { return s.displayID == display; });
    if (known)
        m_probes.emplace_back(display, options);
    return known;
}

std::vector<std::pair<CGDirectDisplayID, uint32_t>> SimDesktop::probeRequests() const
{
    std::lock_guard lock(m_mutex);
    return m_probes;
}

// Mouse.

CGPoint SimDesktop::mouseLocation() const
{
    std::lock_guard lock(m_mutex);
    return m_mouse;
}

uint32_t SimDesktop::pressedMouseButtons() const
{
    std::lock_guard lock(m_mutex);
    return m_buttons;
}

void SimDesktop::moveMouse(const CGPoint& location)
{
    std::lock_guard lock(m_mutex);
    m_mouse = location;
}

void SimDesktop::setPressedMouseButtons(uint32_t buttons)
{
    std::lock_guard lock(m_mutex);
    m_buttons = buttons;
}

// Permissions.

bool SimDesktop::isAccessibilityTrusted() const
{
    std::lock_guard lock(m_mutex);
    log("AXIsProcessTrusted");
    return m_axTrusted;
}

void SimDesktop::promptForAccessibility()
{
    bool changed = false;
    {
        std::lock_guard lock(m_mutex);
        log("AXPrompt");
        if (m_axTrusted)
            return;
        ++m_promptCount;
        if (m_grantOnPrompt) {
            m_axTrusted = true;
            changed = true;
        }
    }
    if (changed)
        emit({ { DesktopEvent::Kind::PermissionsChanged } });
}

int SimDesktop::accessibilityPromptCount() const
{
    std::lock_guard lock(m_mutex);
    return m_promptCount;
}

bool SimDesktop::isScreenRecordingGranted() const
{
    std::lock_guard lock(m_mutex);
    return m_screenRecording;
}

bool SimDesktop::createDisplayStream(CGDirectDisplayID display)
{
    std::lock_guard lock(m_mutex);
    log(stringWithFormat("CGDisplayStreamCreate display:%u", display));
    return m_displayStreamAvailable;
}

bool SimDesktop::isAssistiveAccessEnabled() const
{
    std::lock_guard lock(m_mutex);
    return m_assistiveAccess;
}

void SimDesktop::setAccessibilityTrusted(bool trusted)
{
    {
        std::lock_guard lock(m_mutex);
        m_axTrusted = trusted;
    }
    emit({ { DesktopEvent::Kind::PermissionsChanged } });
}

void SimDesktop::reopenOwnApplication() { emit({ { DesktopEvent::Kind::ApplicationReopened, kOwnPid } }); }

void SimDesktop::setScreenRecordingGranted(bool granted)
{
    {
        std::lock_guard lock(m_mutex);
        m_screenRecording = granted;
    }
    emit({ { DesktopEvent::Kind::PermissionsChanged } });
}

void SimDesktop::setAssistiveAccessEnabled(bool enabled)
{
    std::lock_guard lock(m_mutex);
    m_assistiveAccess = enabled;
}

void SimDesktop::setDisplayStreamAvailable(bool available)
{
    std::lock_guard lock(m_mutex);
    m_displayStreamAvailable = available;
}

void SimDesktop::setGrantOnPrompt(bool grant)
{
    std::lock_guard lock(m_mutex);
    m_grantOnPrompt = grant;
}

// Applications.

std::vector<DesktopApp> SimDesktop::runningApplications() const
{
    std::lock_guard lock(m_mutex);
    std::vector<DesktopApp> result;
    for (pid_t pid : m_launchOrder)
        result.push_back(m_apps.at(pid).app);
    return result;
}

std::optional<DesktopApp> SimDesktop::application(pid_t pid) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_apps.find(pid);
    if (it == m_apps.end())
        return std::nullopt;
    return it->second.app;
}

pid_t SimDesktop::frontmostApplication() const
{
    std::lock_guard lock(m_mutex);
    return m_frontmost;
}

std::vector<CGWindowID> SimDesktop::appWindowsLocked(pid_t pid) const
{
    std::vector<CGWindowID> result;
    for (CGWindowID n : m_order)
        if (m_windows.at(n).pid == pid)
            result.push_back(n);
    return result;
}

std::optional<CGWindowID> SimDesktop::frontWindowOfAppLocked(pid_t pid) const
{
    for (CGWindowID n : m_order) {
        const auto& w = m_windows.at(n);
        if (w.pid == pid && windowOnScreenLocked(w) && w.layer == 0)
            return n;
    }
    return std::nullopt;
}

void SimDesktop::raiseLocked(CGWindowID number)
{
    auto it = std::find(m_order.begin(), m_order.end(), number);
    if (it == m_order.end())
        return;
    m_order.erase(it);
    m_order.insert(m_order.begin(), number);
}

void SimDesktop::activateLocked(pid_t pid, bool frontWindowOnly, std::vector<DesktopEvent>& events)
{
    auto it = m_apps.find(pid);
    if (it == m_apps.end())
        return;
    if (it->second.app.hidden) {
        it->second.app.hidden = false;
        events.push_back({ DesktopEvent::Kind::ApplicationUnhidden, pid });
    }
    auto appWindows = appWindowsLocked(pid);
    if (frontWindowOnly) {
        if (auto front = frontWindowOfAppLocked(pid))
            raiseLocked(*front);
    } else {
        // Raise every window of the application, keeping their order.
        for (auto rit = appWindows.rbegin(); rit != appWindows.rend(); ++rit)
            if (!m_windows.at(*rit).minimized)
                raiseLocked(*rit);
    }
    if (m_frontmost != pid) {
        m_frontmost = pid;
        events.push_back({ DesktopEvent::Kind::ApplicationActivated, pid });
    }
}

void SimDesktop::passFrontmostLocked(pid_t leaving, std::vector<DesktopEvent>& events)
{
    if (m_frontmost != leaving)
        return;
    m_frontmost = 0;
    for (CGWindowID n : m_order) {
        const auto& w = m_windows.at(n);
        if (w.pid != leaving && windowOnScreenLocked(w) && w.layer == 0) {
            m_frontmost = w.pid;
            break;
        }
    }
    if (m_frontmost)
        events.push_back({ DesktopEvent::Kind::ApplicationActivated, m_frontmost });
}

bool SimDesktop::activateApplication(pid_t pid, bool frontWindowOnly)
{
    std::vector<DesktopEvent> events;
    {
        std::lock_guard lock(m_mutex);
        log(stringWithFormat("SetFrontProcess pid:%d frontWindowOnly:%d", pid, frontWindowOnly ? 1 : 0));
        if (!m_apps.count(pid))
            return false;
        activateLocked(pid, frontWindowOnly, events);
    }
    emit(events);
    return true;
}

bool SimDesktop::hideApplication(pid_t pid)
{
    std::vector<DesktopEvent> events;
    {
        std::lock_guard lock(m_mutex);
        log(stringWithFormat("hide pid:%d", pid));
        auto it = m_apps.find(pid);
        if (it == m_apps.end())
            return false;
        if (it->second.app.hidden)
            return true;
        it->second.app.hidden = true;
        events.push_back({ DesktopEvent::Kind::ApplicationHidden, pid });
        passFrontmostLocked(pid, events);
    }
    emit(events);
    return true;
}

bool SimDesktop::unhideApplication(pid_t pid)
{
    std::vector<DesktopEvent> events;
    {
        std::lock_guard lock(m_mutex);
        log(stringWithFormat("unhide pid:%d", pid));
        auto it = m_apps.find(pid);
        if (it == m_apps.end())
            return false;
        if (!it->second.app.hidden)
            return true;
        it->second.app.hidden = false;
        events.push_back({ DesktopEvent::Kind::ApplicationUnhidden, pid });
    }
    emit(events);
    return true;
}

bool SimDesktop::terminateApplication(pid_t pid, bool force)
{
    {
        std::lock_guard lock(m_mutex);
        log(stringWithFormat("terminate pid:%d force:%d", pid, force ? 1 : 0));
        auto it = m_apps.find(pid);
        if (it == m_apps.end() || pid == kOwnPid)
            return false;
        // A hung application cannot answer a polite request to quit.
        if (it->second.app.hung && !force)
            return false;
    }
    // A program that really runs is asked to end; it leaves the list when
    // it has.
    if (signalStartedProgram(pid, force ? SIGKILL : SIGTERM))
        return true;
    quitApplication(pid);
    return true;
}

bool SimDesktop::launchApplication(const DesktopApp& app, const std::vector<DesktopWindow>& windows)
{
    return addApplication(app, windows, true);
}

bool SimDesktop::addApplication(const DesktopApp& app, const std::vector<DesktopWindow>& windows, bool activate)
{
    std::vector<DesktopEvent> events;
    {
        std::lock_guard lock(m_mutex);
        if (m_apps.count(app.pid))
            return false;
        AppState state { app, kAXErrorSuccess };
        if (state.app.launchDate == 0)
            state.app.launchDate = Clock::current().now() + (m_launchClock += 0.001);
        m_apps[app.pid] = state;
        m_launchOrder.push_back(app.pid);
        events.push_back({ DesktopEvent::Kind::ApplicationLaunched, app.pid });
        for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
            DesktopWindow w = *it;
            w.pid = app.pid;
            if (w.number == 0)
                w.number = m_nextWindowNumber++;
            m_nextWindowNumber = std::max(m_nextWindowNumber, w.number + 1);
            ensureSpaceLocked(w.space);
            m_windows[w.number] = w;
            m_order.insert(m_order.begin(), w.number);
            events.push_back({ DesktopEvent::Kind::AXNotification, app.pid, windowElement(w), "AXWindowCreated" });
        }
        if (activate)
            activateLocked(app.pid, false, events);
    }
    emit(events);
    return true;
}

void SimDesktop::quitApplication(pid_t pid)
{
    std::vector<DesktopEvent> events;
    {
        std::lock_guard lock(m_mutex);
        if (!m_apps.count(pid) || pid == kOwnPid)
            return;
        for (CGWindowID n : appWindowsLocked(pid))
            forgetWindowLocked(n);
        m_apps.erase(pid);
        std::erase(m_launchOrder, pid);
        events.push_back({ DesktopEvent::Kind::ApplicationTerminated, pid });
        passFrontmostLocked(pid, events);
    }
    emit(events);
}

void SimDesktop::setApplicationHung(pid_t pid, bool hung)
{
    std::lock_guard lock(m_mutex);
    if (auto it = m_apps.find(pid); it != m_apps.end())
        it->second.app.hung = hung;
}

void SimDesktop::setApplicationAnswerDelay(pid_t pid, double seconds)
{
    std::lock_guard lock(m_mutex);
    if (auto it = m_apps.find(pid); it != m_apps.end())
        it->second.answerDelay = std::isfinite(seconds) && seconds > 0 ? seconds : 0;
}

void SimDesktop::setApplicationAXError(pid_t pid, AXError error)
{
    std::lock_guard lock(m_mutex);
    if (auto it = m_apps.find(pid); it != m_apps.end())
        it->second.forcedError = error;
}

// Windows.

bool SimDesktop::windowOnScreenLocked(const DesktopWindow& w) const
{
    if (w.minimized)
        return false;
    auto it = m_apps.find(w.pid);
    if (it == m_apps.end() || it->second.app.hidden)
        return false;
    return spaceIsShownLocked(w.space);
}

std::vector<DesktopWindow> SimDesktop::windows() const
{
    std::lock_guard lock(m_mutex);
    log("CGWindowList");
    std::vector<DesktopWindow> result;
    result.reserve(m_order.size());
    for (CGWindowID n : m_order) {
        DesktopWindow w = m_windows.at(n);
        w.onScreen = windowOnScreenLocked(w);
        result.push_back(std::move(w));
    }
    return result;
}

std::optional<DesktopWindow> SimDesktop::window(CGWindowID number) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_windows.find(number);
    if (it == m_windows.end())
        return std::nullopt;
    DesktopWindow w = it->second;
    w.onScreen = windowOnScreenLocked(w);
    return w;
}

CGWindowID SimDesktop::openWindow(DesktopWindow window)
{
    std::vector<DesktopEvent> events;
    CGWindowID number;
    {
        std::lock_guard lock(m_mutex);
        if (!m_apps.count(window.pid))
            return 0;
        if (window.number == 0 || m_windows.count(window.number))
            window.number = m_nextWindowNumber;
        m_nextWindowNumber = std::max(m_nextWindowNumber, window.number + 1);
        number = window.number;
        ensureSpaceLocked(window.space);
        m_windows[number] = window;
        m_order.insert(m_order.begin(), number);
        events.push_back({ DesktopEvent::Kind::AXNotification, window.pid, windowElement(window), "AXWindowCreated" });
    }
    emit(events);
    return number;
}

void SimDesktop::closeWindowLocked(CGWindowID number, std::vector<DesktopEvent>& events)
{
    auto it = m_windows.find(number);
    if (it == m_windows.end())
        return;
    DesktopWindow w = it->second;
    forgetWindowLocked(number);
    events.push_back({ DesktopEvent::Kind::AXNotification, w.pid, windowElement(w), "AXUIElementDestroyed" });
}

// Everything kept about a window, its pictures too, goes with it.
void SimDesktop::forgetWindowLocked(CGWindowID number)
{
    m_windows.erase(number);
    m_vanished.erase(number);
    m_framesBeforeFullScreen.erase(number);
    m_ownContent.erase(number);
    forgetContentLocked(number);
    forgetReducedContentLocked(number);
    std::erase(m_order, number);
}

size_t SimDesktop::keptPictureCount() const
{
    std::lock_guard lock(m_mutex);
    return m_ownContent.size() + m_contentCache.size();
}

void SimDesktop::closeWindow(CGWindowID number)
{
    std::vector<DesktopEvent> events;
    {
        std::lock_guard lock(m_mutex);
        closeWindowLocked(number, events);
    }
    emit(events);
}

void SimDesktop::setMinimizedLocked(CGWindowID number, bool minimized, std::vector<DesktopEvent>& events)
{
    auto it = m_windows.find(number);
    if (it == m_windows.end() || it->second.minimized == minimized)
        return;
    it->second.minimized = minimized;
    if (!minimized)
        raiseLocked(number);
    events.push_back({ DesktopEvent::Kind::AXNotification, it->second.pid, windowElement(it->second),
        minimized ? "AXWindowMiniaturized" : "AXWindowDeminiaturized" });
}

void SimDesktop::setWindowMinimized(CGWindowID number, bool minimized)
{
    std::vector<DesktopEvent> events;
    {
        std::lock_guard lock(m_mutex);
        setMinimizedLocked(number, minimized, events);
    }
    emit(events);
}

void SimDesktop::setWindowTitle(CGWindowID number, const std::optional<std::string>& title)
{
    std::vector<DesktopEvent> events;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_windows.find(number);
        if (it == m_windows.end())
            return;
        it->second.title = title;
        events.push_back({ DesktopEvent::Kind::AXNotification, it->second.pid, windowElement(it->second), "AXTitleChanged" });
    }
    emit(events);
}

void SimDesktop::setWindowFrame(CGWindowID number, const CGRect& frame)
{
    std::vector<DesktopEvent> events;
    {
        std::lock_guard lock(m_mutex);
        if (auto it = m_windows.find(number); it != m_windows.end())
            setFrameLocked(it->second, frame, events);
    }
    emit(events);
}

void SimDesktop::focusWindow(CGWindowID number)
{
    std::vector<DesktopEvent> events;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_windows.find(number);
        if (it == m_windows.end())
            return;
        setMinimizedLocked(number, false, events);
        raiseLocked(number);
        for (auto& [n, w] : m_windows)
            if (w.pid == it->second.pid)
                w.isMain = n == number;
        activateLocked(it->second.pid, true, events);
    }
    emit(events);
}

CGWindowID SimDesktop::focusedWindow() const
{
    std::lock_guard lock(m_mutex);
    if (auto front = frontWindowOfAppLocked(m_frontmost))
        return *front;
    return 0;
}

void SimDesktop::vanishWindowElement(CGWindowID number)
{
    std::lock_guard lock(m_mutex);
    if (m_windows.count(number))
        m_vanished.insert(number);
}

void SimDesktop::failWindowAttribute(CGWindowID number, const std::string& attribute, AXError error)
{
    std::lock_guard lock(m_mutex);
    if (error == kAXErrorSuccess)
        m_failingAttributes.erase({ number, attribute });
    else
        m_failingAttributes[{ number, attribute }] = error;
}

// The system's own process and windows.

void SimDesktop::setOwnActivationPolicy(ActivationPolicy policy)
{
    std::lock_guard lock(m_mutex);
    log("setActivationPolicy " + std::to_string(static_cast<int>(policy)));
    m_apps[kOwnPid].app.policy = policy;
}

CGWindowID SimDesktop::registerOwnWindow(DesktopWindow window)
{
    std::lock_guard lock(m_mutex);
    window.pid = kOwnPid;
    window.number = m_nextWindowNumber++;
    m_windows[window.number] = window;
    // A new window stays out of sight until it is ordered front.
    m_order.push_back(window.number);
    return window.number;
}

void SimDesktop::updateOwnWindow(const DesktopWindow& window)
{
    std::lock_guard lock(m_mutex);
    auto it = m_windows.find(window.number);
    if (it == m_windows.end() || it->second.pid != kOwnPid)
        return;
    it->second = window;
    it->second.pid = kOwnPid;
}

void SimDesktop::removeOwnWindow(CGWindowID number)
{
    std::vector<DesktopEvent> events;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_windows.find(number);
        if (it == m_windows.end() || it->second.pid != kOwnPid)
            return;
        closeWindowLocked(number, events);
    }
    emit(events);
}

void SimDesktop::setOwnWindowContent(CGWindowID number, std::function<DesktopFrame()> content)
{
    std::lock_guard lock(m_mutex);
    m_ownContent[number] = std::move(content);
}

void SimDesktop::orderOwnWindow(CGWindowID number, bool front)
{
    std::lock_guard lock(m_mutex);
    auto it = m_windows.find(number);
    if (it == m_windows.end() || it->second.pid != kOwnPid)
        return;
    std::erase(m_order, number);
    if (front)
        m_order.insert(m_order.begin(), number);
    else
        m_order.push_back(number);
}

void SimDesktop::setCaptureHook(std::function<void(CGWindowID)> hook)
{
    std::lock_guard lock(m_mutex);
    m_captureHook = std::move(hook);
}

std::optional<DesktopImage> SimDesktop::captureWindow(CGWindowID number)
{
    std::function<void(CGWindowID)> hook;
    {
        std::lock_guard lock(m_mutex);
        hook = m_captureHook;
    }
    if (hook)
        hook(number);
    std::unique_lock lock(m_mutex);
    log(stringWithFormat("CGWindowListCreateImage window:%u", number));
    auto it = m_windows.find(number);
    if (it == m_windows.end())
        return std::nullopt;
    // Without the Screen Recording permission only the system's own windows
    // can be captured.
    if (!m_screenRecording && it->second.pid != kOwnPid)
        return std::nullopt;
    return generatedOrOwnContent(lock, it->second);
}

DesktopImage SimDesktop::windowContent(CGWindowID number) const
{
    std::unique_lock lock(m_mutex);
    auto it = m_windows.find(number);
    if (it == m_windows.end())
        return {};
    return generatedOrOwnContent(lock, it->second);
}

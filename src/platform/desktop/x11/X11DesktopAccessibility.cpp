// The accessibility half of the X11 desktop: elements answered from the
// mirror, settings and actions sent to the window manager as requests, and
// applications that do not answer the window manager's ping treated as
// hung (their requests time out).
#include "X11Client.h"
#include "X11Connection.h"
#include "X11Desktop.h"
#include "X11Property.h"

#include "../DesktopAccessibility.h"

#include <cmath>

void X11Desktop::setPingTimes(double timeoutSeconds, double validSeconds)
{
    MutexLock lock(m_mutex);
    m_pingTimeout = timeoutSeconds;
    m_pingValid = validSeconds;
}

xcb_window_t X11Desktop::pingTargetLocked(pid_t pid) const
{
    // An application none of whose windows takes part in the ping cannot be
    // asked.
    for (xcb_window_t w : appWindowsLocked(pid))
        if (m_clients.at(w)->takesPing)
            return w;
    return XCB_WINDOW_NONE;
}

void X11Desktop::sendPingLocked(App& app, xcb_window_t target, double now)
{
    app.pendingPing = ++m_pingSerial;
    app.pingSent = now;
    sendClientMessageTo(target, m_x->wmProtocols(), m_x->ewmh()._NET_WM_PING, app.pendingPing, target);
}

bool X11Desktop::answersPing(pid_t pid)
{
    MutexLock lock(m_mutex);
    return answersPingLocked(pid, lock);
}

bool X11Desktop::answersPingLocked(pid_t pid, MutexLock& lock)
{
    auto it = m_apps.find(pid);
    if (it == m_apps.end() || pid == m_ownPid)
        return true;
    double now = steadySeconds();
    auto answerIsCurrent = [&](const App& app) REQUIRES(m_mutex) {
        return app.lastPong >= 0 && now - app.lastPong < m_pingValid;
    };
    if (answerIsCurrent(it->second))
        return true;
    // An application that cannot be asked counts as answering.
    xcb_window_t target = pingTargetLocked(pid);
    if (target == XCB_WINDOW_NONE)
        return true;
    if (!it->second.pendingPing) {
        sendPingLocked(it->second, target, now);
        // Every other application whose answer is as old is asked in the
        // same breath: a pass over the window list asks about each in turn,
        // and would otherwise wait for one answer after another.
        for (auto& [other, app] : m_apps) {
            if (other == pid || other == m_ownPid || app.pendingPing || answerIsCurrent(app))
                continue;
            if (xcb_window_t otherTarget = pingTargetLocked(other); otherTarget != XCB_WINDOW_NONE)
                sendPingLocked(app, otherTarget, now);
        }
        xcb_flush(m_x->connection());
    }
    // A hung application is asked again, but nobody waits for it.
    if (it->second.hung)
        return false;
    uint32_t serial = it->second.pendingPing;
    auto answered = [&]() REQUIRES(m_mutex) {
        auto app = m_apps.find(pid);
        return !m_connected || app == m_apps.end() || app->second.pendingPing != serial;
    };
    // The request's own time-out, when it has one, is the wait; the
    // application is taken for hung only once the ping has gone unanswered
    // for the full ping time-out.
    double wait = Desktop::messagingTimeout() > 0 ? Desktop::messagingTimeout() : m_pingTimeout;
    m_pongs.wait_for(lock.native(), std::chrono::duration<double>(wait), answered);
    if (answered())
        return true;
    auto& app = m_apps.at(pid);
    if (steadySeconds() - app.pingSent >= m_pingTimeout)
        app.hung = true;
    return false;
}

AXError X11Desktop::checkElement(const DesktopElement& e)
{
    MutexLock lock(m_mutex);
    return checkElementLocked(e, lock);
}

AXError X11Desktop::checkElementLocked(const DesktopElement& e, MutexLock& lock)
{
    if (e.kind == DesktopElement::Kind::SystemWide)
        return kAXErrorSuccess;
    if (!m_connected)
        return kAXErrorCannotComplete;
    if (!m_apps.count(e.pid))
        return kAXErrorInvalidUIElement;
    if (!answersPingLocked(e.pid, lock))
        return kAXErrorCannotComplete;
    if (e.kind == DesktopElement::Kind::Application)
        return kAXErrorSuccess;
    auto* client = clientLocked(e.window);
    if (!client || client->pid != e.pid)
        return kAXErrorInvalidUIElement;
    if ((e.kind == DesktopElement::Kind::CloseButton && !client->canClose)
        || (e.kind == DesktopElement::Kind::ZoomButton && !client->canMaximize)
        || (e.kind == DesktopElement::Kind::MinimizeButton && !client->canMinimize))
        return kAXErrorInvalidUIElement;
    return kAXErrorSuccess;
}

bool X11Desktop::axElementIsValid(const DesktopElement& e) const
{
    MutexLock lock(m_mutex);
    if (e.kind == DesktopElement::Kind::SystemWide)
        return true;
    if (!m_apps.count(e.pid))
        return false;
    if (e.kind == DesktopElement::Kind::Application)
        return true;
    auto* client = clientLocked(e.window);
    return client && client->pid == e.pid;
}

AXError X11Desktop::axCopyAttribute(const DesktopElement& e, const std::string& attribute, DesktopAXValue& value)
{
    value = std::monostate {};
    // One hold of the lock for the check and the answer: the capture
    // threads take it often while previews are read.
    MutexLock lock(m_mutex);
    if (AXError error = checkElementLocked(e, lock); error != kAXErrorSuccess)
        return error;
    switch (e.kind) {
    case DesktopElement::Kind::SystemWide:
        return desktopAXSystemWideAttribute(m_frontmost, attribute, value);
    case DesktopElement::Kind::Application: {
        auto it = m_apps.find(e.pid);
        if (it == m_apps.end())
            return kAXErrorInvalidUIElement;
        // Called before the lock is let go.
        auto windows = [&]() REQUIRES(m_mutex) {
            // The windows of every desktop, minimised ones included: a
            // person switches to a window wherever it is.
            std::vector<DesktopElement> list;
            for (xcb_window_t w : appWindowsLocked(e.pid))
                list.push_back(windowElement(e.pid, w));
            return list;
        };
        auto frontWindow = [&]() REQUIRES(m_mutex) -> std::optional<DesktopElement> {
            xcb_window_t front = frontWindowOfAppLocked(e.pid);
            if (front == XCB_WINDOW_NONE)
                return std::nullopt;
            return windowElement(e.pid, front);
        };
        return desktopAXApplicationAttribute(
            { it->second.info, m_frontmost == e.pid, windows, frontWindow }, attribute, value);
    }
    case DesktopElement::Kind::Window: {
        auto* client = clientLocked(e.window);
        if (!client)
            return kAXErrorInvalidUIElement;
        return desktopAXWindowAttribute(describeLocked(*client), m_active == client->window, attribute, value);
    }
    default: {
        auto* client = clientLocked(e.window);
        if (!client)
            return kAXErrorInvalidUIElement;
        // The window manager draws the buttons; they have no geometry of
        // their own that a client can read, so they answer as a point at the
        // window's corner.
        return desktopAXButtonAttribute(
            e.kind, describeLocked(*client), CGRect { client->frame.origin, {} }, attribute, value);
    }
    }
}

AXError X11Desktop::axAttributeNames(const DesktopElement& e, std::vector<std::string>& names)
{
    names.clear();
    if (AXError error = checkElement(e); error != kAXErrorSuccess)
        return error;
    names = desktopAttributeNames(e.kind);
    return kAXErrorSuccess;
}

AXError X11Desktop::axIsAttributeSettable(const DesktopElement& e, const std::string& attribute, bool& settable)
{
    settable = false;
    MutexLock lock(m_mutex);
    if (AXError error = checkElementLocked(e, lock); error != kAXErrorSuccess)
        return error;
    if (e.kind != DesktopElement::Kind::Window)
        return desktopAXAttributeSettable(e.kind, nullptr, attribute, settable);
    auto* client = clientLocked(e.window);
    if (!client)
        return kAXErrorInvalidUIElement;
    DesktopWindow w = describeLocked(*client);
    return desktopAXAttributeSettable(e.kind, &w, attribute, settable);
}

AXError X11Desktop::axSetAttribute(const DesktopElement& e, const std::string& attribute, const DesktopAXValue& value)
{
    if (AXError error = checkElement(e); error != kAXErrorSuccess)
        return error;
    if (e.kind == DesktopElement::Kind::Application) {
        bool flag;
        if (!desktopAXBool(value, flag))
            return kAXErrorIllegalArgument;
        if (attribute == "AXHidden")
            return (flag ? hideApplication(e.pid) : unhideApplication(e.pid)) ? kAXErrorSuccess : kAXErrorCannotComplete;
        if (attribute == "AXFrontmost") {
            if (flag)
                activateApplication(e.pid, false);
            return kAXErrorSuccess;
        }
        return kAXErrorAttributeUnsupported;
    }
    if (e.kind != DesktopElement::Kind::Window)
        return kAXErrorAttributeUnsupported;
    xcb_window_t window = e.window;
    bool movable, resizable;
    {
        MutexLock lock(m_mutex);
        auto* client = clientLocked(e.window);
        if (!client)
            return kAXErrorInvalidUIElement;
        movable = client->canMove;
        resizable = client->canResize;
    }
    if (attribute == "AXPosition") {
        auto p = std::get_if<CGPoint>(&value);
        if (!p || !std::isfinite(p->x) || !std::isfinite(p->y))
            return kAXErrorIllegalArgument;
        if (!movable)
            return kAXErrorAttributeUnsupported;
        requestFrame(window, *p, std::nullopt);
    } else if (attribute == "AXSize") {
        auto s = std::get_if<CGSize>(&value);
        if (!s || !std::isfinite(s->width) || !std::isfinite(s->height) || s->width < 0 || s->height < 0)
            return kAXErrorIllegalArgument;
        if (!resizable)
            return kAXErrorAttributeUnsupported;
        requestFrame(window, std::nullopt, *s);
    } else if (attribute == "AXMinimized") {
        bool flag;
        if (!desktopAXBool(value, flag))
            return kAXErrorIllegalArgument;
        requestMinimize(window, flag);
    } else if (attribute == "AXFullScreen") {
        bool flag;
        if (!desktopAXBool(value, flag))
            return kAXErrorIllegalArgument;
        // A window manager may forbid resizing a full-screen window; leaving
        // full screen is always allowed.
        if (flag && !resizable)
            return kAXErrorAttributeUnsupported;
        requestFullScreen(window, flag);
    } else if (attribute == "AXMain" || attribute == "AXFocused") {
        bool flag;
        if (!desktopAXBool(value, flag))
            return kAXErrorIllegalArgument;
        // Activation also restores a minimised window.
        if (flag)
            requestActivate(window);
    } else {
        return kAXErrorAttributeUnsupported;
    }
    return kAXErrorSuccess;
}

AXError X11Desktop::axPerformAction(const DesktopElement& e, const std::string& action)
{
    if (AXError error = checkElement(e); error != kAXErrorSuccess)
        return error;
    xcb_window_t window = e.window;
    bool resizable;
    {
        MutexLock lock(m_mutex);
        auto* client = clientLocked(e.window);
        if (!client && e.kind != DesktopElement::Kind::Application)
            return kAXErrorInvalidUIElement;
        resizable = client && client->canResize;
    }
    switch (e.kind) {
    case DesktopElement::Kind::CloseButton:
        if (action != "AXPress")
            return kAXErrorActionUnsupported;
        requestClose(window);
        return kAXErrorSuccess;
    case DesktopElement::Kind::MinimizeButton:
        if (action != "AXPress")
            return kAXErrorActionUnsupported;
        requestMinimize(window, true);
        return kAXErrorSuccess;
    case DesktopElement::Kind::ZoomButton:
        if (action != "AXPress")
            return kAXErrorActionUnsupported;
        if (resizable)
            requestMaximize(window);
        return kAXErrorSuccess;
    case DesktopElement::Kind::Window:
        if (action != "AXRaise")
            return kAXErrorActionUnsupported;
        requestRaise(window);
        return kAXErrorSuccess;
    default:
        return kAXErrorActionUnsupported;
    }
}

AXError X11Desktop::axWindowNumber(const DesktopElement& e, CGWindowID& number)
{
    number = 0;
    if (AXError error = checkElement(e); error != kAXErrorSuccess)
        return error;
    if (e.kind != DesktopElement::Kind::Window)
        return kAXErrorIllegalArgument;
    number = e.window;
    return kAXErrorSuccess;
}

AXError X11Desktop::axProcessIdentifier(const DesktopElement& e, pid_t& pid)
{
    pid = 0;
    if (e.kind == DesktopElement::Kind::SystemWide)
        return kAXErrorIllegalArgument;
    // The process id travels with the element, so it can be read after the
    // process has gone.
    pid = e.pid;
    return kAXErrorSuccess;
}

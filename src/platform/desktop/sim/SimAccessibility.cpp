// The simulated desktop's accessibility: elements of applications, windows
// and their buttons, their attributes and actions, and the faults tests set.
#include "SimDesktop.h"
#include "SimElements.h"

#include "../DesktopAccessibility.h"

#include <foundation/Clock.h>
#include <foundation/Format.h>

#include <algorithm>
#include <cmath>

AXError SimDesktop::checkElementLocked(const DesktopElement& e) const
{
    if (!m_axTrusted)
        return kAXErrorAPIDisabled;
    if (e.kind == DesktopElement::Kind::SystemWide)
        return kAXErrorSuccess;
    auto app = m_apps.find(e.pid);
    if (app == m_apps.end())
        return kAXErrorInvalidUIElement;
    if (app->second.app.hung) {
        log("timeout " + elementText(e));
        return kAXErrorCannotComplete;
    }
    if (app->second.answerDelay > 0) {
        // The request waits for the slow application, up to its time-out.
        double wait = Desktop::messagingTimeout() > 0 ? Desktop::messagingTimeout() : kMessagingTimeout;
        bool answered = app->second.answerDelay <= wait;
        if (auto* clock = dynamic_cast<VirtualClock*>(&Clock::current()))
            clock->advance(answered ? app->second.answerDelay : wait);
        if (!answered) {
            log("timeout " + elementText(e) + " after " + stringWithFormat("%g", wait) + " s");
            return kAXErrorCannotComplete;
        }
    }
    if (app->second.forcedError != kAXErrorSuccess)
        return app->second.forcedError;
    if (e.kind == DesktopElement::Kind::Application)
        return kAXErrorSuccess;
    auto w = m_windows.find(e.window);
    if (w == m_windows.end() || w->second.pid != e.pid || m_vanished.count(e.window))
        return kAXErrorInvalidUIElement;
    if (e.kind == DesktopElement::Kind::CloseButton && !w->second.hasCloseButton)
        return kAXErrorInvalidUIElement;
    if (e.kind == DesktopElement::Kind::ZoomButton && !w->second.hasZoomButton)
        return kAXErrorInvalidUIElement;
    if (e.kind == DesktopElement::Kind::MinimizeButton && !w->second.hasMinimizeButton)
        return kAXErrorInvalidUIElement;
    return kAXErrorSuccess;
}

bool SimDesktop::axElementIsValid(const DesktopElement& e) const
{
    std::lock_guard lock(m_mutex);
    if (e.kind == DesktopElement::Kind::SystemWide)
        return true;
    if (!m_apps.count(e.pid))
        return false;
    if (e.kind == DesktopElement::Kind::Application)
        return true;
    auto w = m_windows.find(e.window);
    return w != m_windows.end() && w->second.pid == e.pid && !m_vanished.count(e.window);
}

CGRect SimDesktop::buttonFrameLocked(const DesktopWindow& w, DesktopElement::Kind kind) const
{
    // The three title-bar buttons, 14 points wide, 20 apart, from the left.
    int index = kind == DesktopElement::Kind::CloseButton ? 0 : kind == DesktopElement::Kind::MinimizeButton ? 1 : 2;
    return { { w.frame.origin.x + 7 + 20 * index, w.frame.origin.y + 6 }, { 14, 16 } };
}

AXError SimDesktop::axCopyAttribute(const DesktopElement& e, const std::string& attribute, DesktopAXValue& value)
{
    std::lock_guard lock(m_mutex);
    logAttributeRead(e, attribute);
    value = std::monostate {};
    if (AXError error = checkElementLocked(e); error != kAXErrorSuccess)
        return error;
    switch (e.kind) {
    case DesktopElement::Kind::SystemWide:
        return desktopAXSystemWideAttribute(m_frontmost, attribute, value);
    case DesktopElement::Kind::Application: {
        auto windows = [&] {
            // Like the platform's, the list holds the windows of the current
            // space (minimised ones included), not those of other spaces.
            std::vector<DesktopElement> list;
            for (CGWindowID n : appWindowsLocked(e.pid)) {
                const auto& w = m_windows.at(n);
                if (spaceIsShownLocked(w.space))
                    list.push_back(windowElement(w));
            }
            return list;
        };
        auto frontWindow = [&]() -> std::optional<DesktopElement> {
            auto front = frontWindowOfAppLocked(e.pid);
            if (!front)
                return std::nullopt;
            return windowElement(m_windows.at(*front));
        };
        return desktopAXApplicationAttribute(
            { m_apps.at(e.pid).app, m_frontmost == e.pid, windows, frontWindow }, attribute, value);
    }
    case DesktopElement::Kind::Window: {
        const auto& w = m_windows.at(e.window);
        // (Most desktops make no attribute fail: no key is built for them.)
        if (!m_failingAttributes.empty())
            if (auto failing = m_failingAttributes.find({ e.window, attribute }); failing != m_failingAttributes.end())
                return failing->second;
        // Only focus asks which window is in front (a walk of every window).
        bool focused = false;
        if (attribute == "AXFocused")
            if (auto front = frontWindowOfAppLocked(m_frontmost))
                focused = *front == w.number;
        return desktopAXWindowAttribute(w, focused, attribute, value);
    }
    default: {
        const auto& w = m_windows.at(e.window);
        return desktopAXButtonAttribute(e.kind, w, buttonFrameLocked(w, e.kind), attribute, value);
    }
    }
}

AXError SimDesktop::axAttributeNames(const DesktopElement& e, std::vector<std::string>& names)
{
    std::lock_guard lock(m_mutex);
    log("AXUIElementCopyAttributeNames " + elementText(e));
    names.clear();
    if (AXError error = checkElementLocked(e); error != kAXErrorSuccess)
        return error;
    names = desktopAttributeNames(e.kind);
    return kAXErrorSuccess;
}

AXError SimDesktop::axIsAttributeSettable(const DesktopElement& e, const std::string& attribute, bool& settable)
{
    std::lock_guard lock(m_mutex);
    log("AXUIElementIsAttributeSettable " + elementText(e) + " " + attribute);
    settable = false;
    if (AXError error = checkElementLocked(e); error != kAXErrorSuccess)
        return error;
    const DesktopWindow* w = e.kind == DesktopElement::Kind::Window ? &m_windows.at(e.window) : nullptr;
    return desktopAXAttributeSettable(e.kind, w, attribute, settable);
}

AXError SimDesktop::axSetAttribute(const DesktopElement& e, const std::string& attribute, const DesktopAXValue& value)
{
    std::vector<DesktopEvent> events;
    AXError result = kAXErrorSuccess;
    {
        std::lock_guard lock(m_mutex);
        log("AXUIElementSetAttributeValue " + elementText(e) + " " + attribute);
        if (AXError error = checkElementLocked(e); error != kAXErrorSuccess)
            return error;
        if (e.kind == DesktopElement::Kind::Application) {
            bool flag;
            if (!desktopAXBool(value, flag))
                return kAXErrorIllegalArgument;
            if (attribute == "AXHidden") {
                auto& app = m_apps.at(e.pid).app;
                if (app.hidden != flag) {
                    app.hidden = flag;
                    events.push_back({ flag ? DesktopEvent::Kind::ApplicationHidden : DesktopEvent::Kind::ApplicationUnhidden, e.pid });
                    if (flag)
                        passFrontmostLocked(e.pid, events);
                }
            } else if (attribute == "AXFrontmost") {
                if (flag)
                    activateLocked(e.pid, false, events);
            } else {
                return kAXErrorAttributeUnsupported;
            }
        } else if (e.kind == DesktopElement::Kind::Window) {
            auto& w = m_windows.at(e.window);
            if (attribute == "AXPosition") {
                auto p = std::get_if<CGPoint>(&value);
                if (!p || !std::isfinite(p->x) || !std::isfinite(p->y))
                    return kAXErrorIllegalArgument;
                if (!w.movable)
                    return kAXErrorAttributeUnsupported;
                setFrameLocked(w, { *p, w.frame.size }, events);
            } else if (attribute == "AXSize") {
                auto s = std::get_if<CGSize>(&value);
                if (!s || !std::isfinite(s->width) || !std::isfinite(s->height) || s->width < 0 || s->height < 0)
                    return kAXErrorIllegalArgument;
                if (!w.resizable)
                    return kAXErrorAttributeUnsupported;
                setFrameLocked(w, { w.frame.origin, *s }, events);
            } else if (attribute == "AXMinimized") {
                bool flag;
                if (!desktopAXBool(value, flag))
                    return kAXErrorIllegalArgument;
                setMinimizedLocked(e.window, flag, events);
            } else if (attribute == "AXFullScreen") {
                bool flag;
                if (!desktopAXBool(value, flag))
                    return kAXErrorIllegalArgument;
                if (flag && !w.resizable)
                    return kAXErrorAttributeUnsupported;
                if (flag && !w.fullScreen) {
                    // The whole screen it is on, and back to its frame after.
                    m_framesBeforeFullScreen[w.number] = w.frame;
                    setFrameLocked(w, screenFrameForLocked(w.frame), events);
                } else if (!flag && w.fullScreen) {
                    setFrameLocked(w, m_framesBeforeFullScreen[w.number], events);
                    m_framesBeforeFullScreen.erase(w.number);
                }
                w.fullScreen = flag;
            } else if (attribute == "AXMain" || attribute == "AXFocused") {
                bool flag;
                if (!desktopAXBool(value, flag))
                    return kAXErrorIllegalArgument;
                if (w.refusesMain || w.minimized)
                    return kAXErrorCannotComplete;
                if (flag) {
                    // The window becomes its application's main window and
                    // moves in front of the application's other windows.
                    auto appWindows = appWindowsLocked(w.pid);
                    std::erase(m_order, w.number);
                    auto firstOfApp = std::find_if(m_order.begin(), m_order.end(),
                        [&](CGWindowID n) { return m_windows.at(n).pid == w.pid; });
                    m_order.insert(firstOfApp, w.number);
                    for (CGWindowID n : appWindows)
                        m_windows.at(n).isMain = n == w.number;
                    w.isMain = true;
                }
            } else {
                return kAXErrorAttributeUnsupported;
            }
        } else {
            return kAXErrorAttributeUnsupported;
        }
        (void)result;
    }
    emit(events);
    return kAXErrorSuccess;
}

CGRect SimDesktop::usableFrameForLocked(const CGRect& frame) const
{
    CGRect screen = screenFrameForLocked(frame);
    for (const auto& s : m_screens)
        if (s.frame == screen)
            return s.visibleFrame;
    return frame;
}

CGRect SimDesktop::screenFrameForLocked(const CGRect& frame) const
{
    const DesktopScreen* best = nullptr;
    double bestArea = 0;
    for (const auto& s : m_screens) {
        auto i = CGRectIntersection(s.frame, frame);
        double area = CGRectIsNull(i) ? 0 : i.size.width * i.size.height;
        if (area > bestArea) {
            bestArea = area;
            best = &s;
        }
    }
    if (!best && !m_screens.empty())
        best = &m_screens.front();
    return best ? best->frame : frame;
}

AXError SimDesktop::axPerformAction(const DesktopElement& e, const std::string& action)
{
    std::vector<DesktopEvent> events;
    {
        std::lock_guard lock(m_mutex);
        log("AXUIElementPerformAction " + elementText(e) + " " + action);
        if (AXError error = checkElementLocked(e); error != kAXErrorSuccess)
            return error;
        if (action != "AXPress" && action != "AXRaise")
            return kAXErrorActionUnsupported;
        switch (e.kind) {
        case DesktopElement::Kind::CloseButton:
            if (action != "AXPress")
                return kAXErrorActionUnsupported;
            closeWindowLocked(e.window, events);
            break;
        case DesktopElement::Kind::MinimizeButton:
            if (action != "AXPress")
                return kAXErrorActionUnsupported;
            setMinimizedLocked(e.window, true, events);
            break;
        case DesktopElement::Kind::ZoomButton: {
            if (action != "AXPress")
                return kAXErrorActionUnsupported;
            auto& w = m_windows.at(e.window);
            if (w.resizable)
                setFrameLocked(w, usableFrameForLocked(w.frame), events);
            break;
        }
        case DesktopElement::Kind::Window:
            if (action != "AXRaise")
                return kAXErrorActionUnsupported;
            raiseLocked(e.window);
            break;
        default:
            return kAXErrorActionUnsupported;
        }
    }
    emit(events);
    return kAXErrorSuccess;
}

AXError SimDesktop::axWindowNumber(const DesktopElement& e, CGWindowID& number)
{
    std::lock_guard lock(m_mutex);
    log("_AXUIElementGetWindow " + elementText(e));
    number = 0;
    if (AXError error = checkElementLocked(e); error != kAXErrorSuccess)
        return error;
    if (e.kind != DesktopElement::Kind::Window)
        return kAXErrorIllegalArgument;
    number = e.window;
    return kAXErrorSuccess;
}

AXError SimDesktop::axProcessIdentifier(const DesktopElement& e, pid_t& pid)
{
    std::lock_guard lock(m_mutex);
    pid = 0;
    if (e.kind == DesktopElement::Kind::SystemWide)
        return kAXErrorIllegalArgument;
    // The process id travels with the element, so it can be read even after
    // the process has gone.
    pid = e.pid;
    return kAXErrorSuccess;
}

#include "NSApplication.h"

#include "NSScreen.h"
#include "NSView.h"
#include "NSWindow.h"
#include "NSWindowController.h"

#include <desktop/Desktop.h>
#include <foundation/LargeBuffers.h>
#include <foundation/NSNotificationCenter.h>
#include <foundation/RunLoop.h>

#include <algorithm>

NSApplication& NSApplication::sharedApplication()
{
    // Held by a Ref so that it can be a sender and a notification's object;
    // never destroyed, as the process's application object.
    static auto* app = new Ref<NSApplication>(new NSApplication());
    return **app;
}

NSApplication& NSApp() { return NSApplication::sharedApplication(); }

NSApplication::NSApplication()
{
    Desktop::setProcessInputHandler(
        [this](const DesktopInputEvent& record, pid_t receiver) { receiveInputEvent(record, receiver); });
    setActionHandler("orderFrontStandardAboutPanel:",
        [this](const Ref<NSObject>& sender) { orderFrontStandardAboutPanel(sender); });
    setActionHandler("terminate:", [this](const Ref<NSObject>& sender) { terminate(sender); });
    // Windows that are not shown let go of their frames when the program
    // hands memory back (their next showing paints them whole).
    m_frameKeeper = addLargeBufferKeeper([this] {
        for (const auto& window : windows())
            window->releaseKeptFrame();
    });
    m_desktopSubscription = Desktop::subscribeToCurrent([this](const DesktopEvent& event) {
        if (event.kind == DesktopEvent::Kind::AXNotification && event.element.kind == DesktopElement::Kind::Window
            && (event.notification == "AXWindowMoved" || event.notification == "AXWindowResized")
            && event.pid == Desktop::current().ownProcessIdentifier()) {
            CGWindowID number = event.element.window;
            RunLoop::main().perform([this, number] { ownWindowFrameChanged(number); });
            return;
        }
        if (event.kind == DesktopEvent::Kind::AXNotification && event.notification == kDesktopCloseRequestNotification
            && event.pid == Desktop::current().ownProcessIdentifier()) {
            CGWindowID number = event.element.window;
            RunLoop::main().perform([this, number] {
                if (auto window = windowWithWindowNumber(number))
                    window->performClose(nullptr);
            });
            return;
        }
        if (event.kind == DesktopEvent::Kind::ApplicationReopened && event.pid == Desktop::current().ownProcessIdentifier()) {
            // Outside a modal run, as the platform hands its reopen request
            // to a launched application's event loop.
            RunLoop::main().perform([this] { if (m_launched) reopen(); }, kCFRunLoopDefaultMode);
            return;
        }
        if (event.kind != DesktopEvent::Kind::ApplicationActivated && event.kind != DesktopEvent::Kind::ApplicationHidden)
            return;
        RunLoop::main().perform([this] { activationChanged(isActive()); });
    });
}

void NSApplication::activateIgnoringOtherApps(bool)
{
    auto& desktop = Desktop::current();
    desktop.activateApplication(desktop.ownProcessIdentifier(), false);
}

bool NSApplication::isActive() const
{
    auto& desktop = Desktop::current();
    return desktop.frontmostApplication() == desktop.ownProcessIdentifier();
}

bool NSApplication::isHidden() const
{
    auto& desktop = Desktop::current();
    auto app = desktop.application(desktop.ownProcessIdentifier());
    return app && app->hidden;
}

NSApplicationActivationPolicy NSApplication::activationPolicy() const
{
    auto& desktop = Desktop::current();
    if (auto app = desktop.application(desktop.ownProcessIdentifier()))
        return static_cast<NSApplicationActivationPolicy>(app->policy);
    return m_policy;
}

bool NSApplication::setActivationPolicy(NSApplicationActivationPolicy policy)
{
    if (policy < NSApplicationActivationPolicyRegular || policy > NSApplicationActivationPolicyProhibited)
        return false;
    m_policy = policy;
    Desktop::current().setOwnActivationPolicy(static_cast<ActivationPolicy>(policy));
    return true;
}

void NSApplication::orderFrontStandardAboutPanel(const Ref<NSObject>&) { ++m_aboutPanelRequests; }

// One of this process's windows was moved or resized on the desktop (by a
// window manager, a person, a system tray): the window takes the frame the
// desktop has now, which also passes over notices that a later change made
// stale.
void NSApplication::ownWindowFrameChanged(CGWindowID number)
{
    auto window = windowWithWindowNumber(number);
    if (!window)
        return;
    if (auto shown = Desktop::current().window(number))
        window->desktopChangedFrame(NSScreenFlipRect(shown->frame));
}

// The key window resigns while another application is active and takes
// its status back when this one is activated again, as on the platform.
void NSApplication::activationChanged(bool active)
{
    if (!active) {
        if (auto key = keyWindow()) {
            m_inactiveKeyWindow = key;
            setKeyWindowInternal(nullptr);
        }
        if (mainWindow())
            setMainWindowInternal(nullptr);
    } else if (!keyWindow()) {
        if (auto previous = m_inactiveKeyWindow.lock(); previous && previous->isVisible())
            previous->makeKeyWindow();
        m_inactiveKeyWindow.reset();
    }
    if (active != m_wasActive) {
        m_wasActive = active;
        NSNotificationCenter::defaultCenter().postNotificationName(
            active ? NSApplicationDidBecomeActiveNotification : NSApplicationDidResignActiveNotification, nullptr);
    }
}

// MARK: Windows

void NSApplication::registerWindow(NSWindow* window) { m_windows.push_back(window); }

void NSApplication::unregisterWindow(NSWindow* window)
{
    std::erase(m_windows, window);
    std::erase(m_order, window);
}

void NSApplication::windowOrderedFront(NSWindow* window)
{
    std::erase(m_order, window);
    m_order.insert(m_order.begin(), window);
}

void NSApplication::windowOrderedOut(NSWindow* window) { std::erase(m_order, window); }

void NSApplication::setKeyWindowInternal(NSWindow* window)
{
    auto old = keyWindow();
    if (old.get() == window)
        return;
    m_keyWindow.reset();
    if (old)
        old->resignKeyWindow();
    if (window) {
        m_keyWindow = window->selfRef<NSWindow>();
        window->becomeKeyWindow();
    }
}

void NSApplication::setMainWindowInternal(NSWindow* window)
{
    auto old = mainWindow();
    if (old.get() == window)
        return;
    m_mainWindow.reset();
    if (old)
        old->resignMainWindow();
    if (window) {
        m_mainWindow = window->selfRef<NSWindow>();
        window->becomeMainWindow();
    }
}

std::vector<Ref<NSWindow>> NSApplication::windows() const
{
    std::vector<Ref<NSWindow>> result;
    for (NSWindow* w : m_windows)
        if (auto ref = w->selfRef<NSWindow>())
            result.push_back(ref);
    return result;
}

std::vector<Ref<NSWindow>> NSApplication::orderedWindows() const
{
    std::vector<Ref<NSWindow>> result;
    for (NSWindow* w : m_order)
        if (auto ref = w->selfRef<NSWindow>(); ref && ref->isVisible())
            result.push_back(ref);
    std::stable_sort(result.begin(), result.end(),
        [](const Ref<NSWindow>& a, const Ref<NSWindow>& b) { return a->level() > b->level(); });
    return result;
}

Ref<NSWindow> NSApplication::windowWithWindowNumber(long number) const
{
    for (const auto& w : windows())
        if (number != 0 && w->windowNumber() == number)
            return w;
    return nullptr;
}

Ref<NSWindow> NSApplication::windowAtScreenPoint(NSPoint point) const
{
    for (const auto& w : orderedWindows())
        if (w->alphaValue() > 0 && NSMouseInRect(point, w->frame(), false))
            return w;
    return nullptr;
}

// MARK: Modal runs

NSModalResponse NSApplication::runModalForWindow(const Ref<NSWindow>& window)
{
    if (!window)
        return NSModalResponseAbort;
    m_modalRuns.push_back({ window, std::nullopt });
    size_t depth = m_modalRuns.size();
    window->makeKeyAndOrderFront(nullptr);
    while (!m_modalRuns[depth - 1].response) {
        if (!RunLoop::main().runMode(NSModalPanelRunLoopMode, kDistantFuture))
            m_modalRuns[depth - 1].response = NSModalResponseAbort;
    }
    NSModalResponse response = *m_modalRuns[depth - 1].response;
    m_modalRuns.resize(depth - 1);
    return response;
}

void NSApplication::stopModalWithCode(NSModalResponse code)
{
    for (auto it = m_modalRuns.rbegin(); it != m_modalRuns.rend(); ++it) {
        if (!it->response) {
            it->response = code;
            return;
        }
    }
}

Ref<NSWindow> NSApplication::modalWindow() const
{
    for (auto it = m_modalRuns.rbegin(); it != m_modalRuns.rend(); ++it)
        if (!it->response)
            return it->window.lock();
    return nullptr;
}

// MARK: Actions

Ref<NSObject> NSApplication::targetForAction(const std::string& action) const
{
    auto answers = [&](NSObject* o) {
        auto target = NSActionTargetOf(o);
        return target && target->respondsToAction(action);
    };
    std::vector<Ref<NSWindow>> windows;
    if (auto key = keyWindow())
        windows.push_back(key);
    if (auto main = mainWindow(); main && main != keyWindow())
        windows.push_back(main);
    for (const auto& window : windows) {
        for (auto r = window->firstResponder(); r; r = r->nextResponder())
            if (answers(r.get()))
                return r;
        if (auto delegate = window->delegate(); delegate && answers(delegate.get()))
            return delegate;
    }
    if (auto delegate = this->delegate(); delegate && answers(delegate.get()))
        return delegate;
    return nullptr;
}

bool NSApplication::sendAction(const std::string& action, const Ref<NSObject>& target, const Ref<NSObject>& sender)
{
    if (action.empty())
        return false;
    if (target) {
        auto t = NSActionTargetOf(target.get());
        return t && t->respondsToAction(action) && t->performAction(action, sender);
    }
    if (auto found = targetForAction(action))
        return NSActionTargetOf(found.get())->performAction(action, sender);
    if (respondsToAction(action))
        return const_cast<NSApplication*>(this)->performAction(action, sender);
    return false;
}

// MARK: Input

Token NSApplication::addLocalMonitor(NSEventMask mask, NSEvent::LocalMonitor handler)
{
    auto alive = std::make_shared<bool>(true);
    uint64_t id = m_nextId++;
    m_localMonitors.push_back({ id, mask, std::move(handler), nullptr, alive });
    return Token([this, id, alive] {
        *alive = false;
        std::erase_if(m_localMonitors, [id](const Monitor& m) { return m.id == id; });
    });
}

Token NSApplication::addGlobalMonitor(NSEventMask mask, NSEvent::GlobalMonitor handler)
{
    auto alive = std::make_shared<bool>(true);
    uint64_t id = m_nextId++;
    m_globalMonitors.push_back({ id, mask, nullptr, std::move(handler), alive });
    return Token([this, id, alive] {
        *alive = false;
        std::erase_if(m_globalMonitors, [id](const Monitor& m) { return m.id == id; });
    });
}

size_t NSApplication::localMonitorCount() const { return m_localMonitors.size(); }

void NSApplication::updateTracking(const Ref<NSEvent>& event)
{
    auto top = windowAtScreenPoint(event->locationInScreen());
    for (const auto& w : orderedWindows())
        w->trackMouse(event, w == top);
}

static bool sameRecord(const DesktopInputEvent& a, const DesktopInputEvent& b)
{
    return a.type == b.type && a.keyCode == b.keyCode && a.flags == b.flags && a.location == b.location
        && a.timestamp == b.timestamp && a.mouseButton == b.mouseButton && a.clickState == b.clickState
        && a.autorepeat == b.autorepeat && a.scrollDeltaX == b.scrollDeltaX && a.scrollDeltaY == b.scrollDeltaY
        && a.scrollContinuous == b.scrollContinuous;
}

bool NSApplication::deliverInputEvent(const Ref<NSEvent>& event)
{
    if (!event)
        return false;
    auto injected = std::make_shared<InjectedEvent>();
    injected->event = event;
    injected->record = event->CGEvent()->record();
    m_injected.push_back(injected);
    Desktop::current().sendHardwareInput(injected->record, true);
    std::erase(m_injected, injected);
    return injected->reached;
}

void NSApplication::receiveInputEvent(const DesktopInputEvent& record, pid_t receiver)
{
    Ref<NSEvent> event;
    std::shared_ptr<InjectedEvent> injected;
    for (const auto& i : m_injected) {
        if (!i->arrived && sameRecord(i->record, record)) {
            injected = i;
            injected->arrived = true;
            event = i->event;
            break;
        }
    }
    if (!event)
        event = NSEvent::eventWithCGEvent(makeRef<::CGEvent>(record));

    NSEventType type = event->type();
    if (type == NSEventTypeMouseMoved || type == NSEventTypeLeftMouseDragged)
        updateTracking(event);
    if (receiver == 0 || receiver != Desktop::current().ownProcessIdentifier()) {
        auto monitors = m_globalMonitors;
        for (const auto& m : monitors)
            if (*m.alive && (m.mask & NSEventMaskFromType(type)))
                m.global(event);
        return;
    }
    if (injected)
        injected->reached = true;
    // Monitors see the event with the window it is going to.
    if (!event->window())
        event->setWindow(targetWindowFor(event, false));
    auto monitors = m_localMonitors;
    for (const auto& m : monitors) {
        if (!*m.alive || !(m.mask & NSEventMaskFromType(event->type())))
            continue;
        event = m.local(event);
        if (!event)
            return;
    }
    sendEvent(event);
}

Ref<NSWindow> NSApplication::targetWindowFor(const Ref<NSEvent>& event, bool dispatching)
{
    switch (event->type()) {
    case NSEventTypeKeyDown:
    case NSEventTypeKeyUp:
    case NSEventTypeFlagsChanged:
        return keyWindow();
    case NSEventTypeLeftMouseDragged:
    case NSEventTypeLeftMouseUp: {
        auto window = m_mouseDownWindow.lock();
        if (!window)
            window = windowAtScreenPoint(event->locationInScreen());
        if (dispatching && event->type() == NSEventTypeLeftMouseUp)
            m_mouseDownWindow.reset();
        return window;
    }
    default: {
        auto window = event->window();
        if (!window)
            window = windowAtScreenPoint(event->locationInScreen());
        if (dispatching && event->type() == NSEventTypeLeftMouseDown)
            m_mouseDownWindow = window;
        return window;
    }
    }
}

void NSApplication::sendEvent(const Ref<NSEvent>& event)
{
    if (!event)
        return;
    Ref<NSEvent> previous = m_currentEvent;
    m_currentEvent = event;
    if (auto window = targetWindowFor(event, true)) {
        event->setWindow(window);
        window->sendEvent(event);
    }
    m_currentEvent = previous;
}

void NSApplication::setAppearance(const std::string& name)
{
    if (name == m_appearance)
        return;
    m_appearance = name;
    for (const auto& window : windows())
        if (auto view = window->contentView())
            view->setNeedsDisplay(true);
}

std::string NSApplication::effectiveAppearance() const
{
    return m_appearance.empty() ? NSAppearanceNameAqua : m_appearance;
}

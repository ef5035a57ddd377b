#include "DRAXObserver.h"

#include "DRWindow.h"

#include <appkit/NSWorkspace.h>
#include <foundation/Log.h>
#include <foundation/NSNotificationCenter.h>

Ref<DRAXObserver> DRAXObserver::observerForApp(const Ref<NSRunningApplication>& app)
{
    if (!app)
        return nullptr;
    AXObserverRef observer;
    AXError error = AXObserverCreate(
        app->processIdentifier(),
        [](const AXObserverRef&, const AXUIElementRef& element, const std::string& notification, void*) {
            // Scripts get a window object they can use, not the
            // accessibility element.
            Value::Dictionary info { { DRAXObserverWindow, Value(makeRef<DRWindow>(element)) } };
            NSNotificationCenter::defaultCenter().postNotificationName(notification, nullptr, Value(info));
        },
        &observer);
    if (error != kAXErrorSuccess || !observer) {
        NSLog("Error: Could not create accessibility observer for app %@. (%d)", app->description(), error);
        return nullptr;
    }
    return makeRef<DRAXObserver>(app, observer);
}

DRAXObserver::DRAXObserver(const Ref<NSRunningApplication>& app, AXObserverRef observer)
    : DRAXUIElement(AXUIElementCreateApplication(app->processIdentifier()))
    , m_observer(std::move(observer))
{
    setup();
}

DRAXObserver::~DRAXObserver()
{
    for (const auto& name : notifications())
        removeNotification(name);
    if (m_source)
        CFRunLoopSourceInvalidate(m_source);
}

const std::vector<std::string>& DRAXObserver::notifications()
{
    static const std::vector<std::string> names = { NSAccessibilityWindowCreatedNotification,
        NSAccessibilityUIElementDestroyedNotification, NSAccessibilityFocusedWindowChangedNotification,
        NSAccessibilityWindowMovedNotification, NSAccessibilityWindowResizedNotification,
        NSAccessibilityWindowMiniaturizedNotification, NSAccessibilityWindowDeminiaturizedNotification };
    return names;
}

void DRAXObserver::setup()
{
    m_source = AXObserverGetRunLoopSource(m_observer);
    CFRunLoopAddSource(RunLoop::current(), m_source, kCFRunLoopDefaultMode);
    // Registering does not wait for the application here, so it runs on
    // this thread rather than on a thread per registration.
    for (const auto& name : notifications())
        addNotification(name);
}

void DRAXObserver::addNotification(const std::string& name) { AXObserverAddNotification(m_observer, element(), name, nullptr); }

void DRAXObserver::removeNotification(const std::string& name) { AXObserverRemoveNotification(m_observer, element(), name); }

Ref<DRAccessibilityObserver> DRAccessibilityObserver::observer() { return makeRef<DRAccessibilityObserver>(); }

DRAccessibilityObserver::DRAccessibilityObserver()
{
    auto& workspace = NSWorkspace::sharedWorkspace();
    observeApps(workspace.runningApplications());
    auto appOf = [](const NSNotification& n) { return n.userInfo[NSWorkspaceApplicationKey].objectAs<NSRunningApplication>(); };
    m_workspaceObservers.push_back(workspace.notificationCenter().addObserverForName(
        NSWorkspaceDidLaunchApplicationNotification, nullptr, nullptr, [this, appOf](const NSNotification& n) {
            if (auto app = appOf(n))
                observeApps({ app });
        }));
    m_workspaceObservers.push_back(workspace.notificationCenter().addObserverForName(
        NSWorkspaceDidTerminateApplicationNotification, nullptr, nullptr, [this, appOf](const NSNotification& n) {
            if (auto app = appOf(n))
                removeApps({ app });
        }));
}

void DRAccessibilityObserver::observeApps(const std::vector<Ref<NSRunningApplication>>& apps)
{
    for (const auto& app : apps) {
        if (auto observer = DRAXObserver::observerForApp(app))
            m_observers[app->processIdentifier()] = observer;
        else
            m_observers.erase(app->processIdentifier());
    }
}

void DRAccessibilityObserver::removeApps(const std::vector<Ref<NSRunningApplication>>& apps)
{
    for (const auto& app : apps)
        m_observers.erase(app->processIdentifier());
}

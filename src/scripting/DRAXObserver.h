// Window notifications of running applications, reposted on the default
// centre for the script events: DRAXObserver watches one application for
// seven notifications; DRAccessibilityObserver keeps one per running
// application as they launch and quit.
#pragma once

#include "DRAXUIElement.h"

#include <appkit/NSRunningApplication.h>
#include <foundation/Token.h>
#include <services/AXObserver.h>

#include <map>
#include <string>
#include <vector>

inline const std::string NSAccessibilityWindowCreatedNotification = "AXWindowCreated";
inline const std::string NSAccessibilityUIElementDestroyedNotification = "AXUIElementDestroyed";
inline const std::string NSAccessibilityFocusedWindowChangedNotification = "AXFocusedWindowChanged";
inline const std::string NSAccessibilityWindowMovedNotification = "AXWindowMoved";
inline const std::string NSAccessibilityWindowResizedNotification = "AXWindowResized";
inline const std::string NSAccessibilityWindowMiniaturizedNotification = "AXWindowMiniaturized";
inline const std::string NSAccessibilityWindowDeminiaturizedNotification = "AXWindowDeminiaturized";
// The window a reposted notification is about: a script window object.
inline const std::string DRAXObserverWindow = "DRAXObserverWindow";

class DRAXObserver : public DRAXUIElement {
public:
    // initWithApp:: null, with a log line, when no observer can be made.
    static Ref<DRAXObserver> observerForApp(const Ref<NSRunningApplication>& app);
    DRAXObserver(const Ref<NSRunningApplication>& app, AXObserverRef observer);
    ~DRAXObserver() override;

    static const std::vector<std::string>& notifications();
    const AXObserverRef& observer() const { return m_observer; }

private:
    void setup();
    void addNotification(const std::string& name);
    void removeNotification(const std::string& name);

    AXObserverRef m_observer;
    CFRunLoopSourceRef m_source;
};

class DRAccessibilityObserver : public NSObject {
public:
    static Ref<DRAccessibilityObserver> observer();
    DRAccessibilityObserver();

    const std::map<pid_t, Ref<DRAXObserver>>& observers() const { return m_observers; }
    void observeApps(const std::vector<Ref<NSRunningApplication>>& apps);
    void removeApps(const std::vector<Ref<NSRunningApplication>>& apps);

private:
    std::map<pid_t, Ref<DRAXObserver>> m_observers;
    std::vector<Token> m_workspaceObservers;
};

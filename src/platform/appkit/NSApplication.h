// The application object of this process: its windows, the key and main
// window, activation, action messages and the dispatch of input events.
//
// Input travels as on the platform, along one road for every event of the
// desktop: the desktop's input stream (the event taps, then the hot keys)
// gives it to an application (keys to the frontmost one, mouse events to
// the one under the pointer). An event given to this process passes the
// local monitors and is sent to the key window (keys) or the window under
// the mouse, which hands it to its responder chain. An event given to
// another application is shown to the global monitors.
#pragma once

#include "NSAlert.h"
#include "NSEvent.h"
#include "NSResponder.h"

#include <optional>
#include <vector>

class NSWindow;

using NSApplicationActivationPolicy = long;
inline constexpr NSApplicationActivationPolicy NSApplicationActivationPolicyRegular = 0;
inline constexpr NSApplicationActivationPolicy NSApplicationActivationPolicyAccessory = 1;
inline constexpr NSApplicationActivationPolicy NSApplicationActivationPolicyProhibited = 2;

inline const std::string NSApplicationDidBecomeActiveNotification = "NSApplicationDidBecomeActiveNotification";
inline const std::string NSApplicationDidResignActiveNotification = "NSApplicationDidResignActiveNotification";

inline constexpr NSModalResponse NSModalResponseStop = -1000;
inline constexpr NSModalResponse NSModalResponseAbort = -1001;
inline constexpr NSModalResponse NSModalResponseContinue = -1002;

class NSApplication : public NSResponder {
public:
    static NSApplication& sharedApplication();

    // Brings this process to the front; with the flag, even when another
    // application is active.
    void activateIgnoringOtherApps(bool flag);
    bool isActive() const;
    bool isHidden() const;
    // The policy is the desktop's record of this process (on the simulated
    // desktop), so the Dock and the process list see it.
    NSApplicationActivationPolicy activationPolicy() const;
    bool setActivationPolicy(NSApplicationActivationPolicy policy);

    // The appearance the application's windows draw in unless they name
    // their own; empty (the default) is the light Aqua. Changing it redraws
    // every window.
    const std::string& appearance() const { return m_appearance; }
    void setAppearance(const std::string& name);
    std::string effectiveAppearance() const;

    // Shows the standard About panel. Here it only counts the requests.
    void orderFrontStandardAboutPanel(const Ref<NSObject>& sender);
    int aboutPanelRequestCount() const { return m_aboutPanelRequests; }

    // Windows.
    // Every window of the process, in the order they were made.
    std::vector<Ref<NSWindow>> windows() const;
    // The visible windows, front to back (higher levels first).
    std::vector<Ref<NSWindow>> orderedWindows() const;
    Ref<NSWindow> keyWindow() const { return m_keyWindow.lock(); }
    Ref<NSWindow> mainWindow() const { return m_mainWindow.lock(); }
    Ref<NSWindow> windowWithWindowNumber(long number) const;
    // The frontmost visible window that contains a point in screen
    // coordinates, or null.
    Ref<NSWindow> windowAtScreenPoint(NSPoint point) const;

    Ref<NSObject> delegate() const { return m_delegate.lock(); }
    void setDelegate(const Ref<NSObject>& delegate) { m_delegate = delegate; }

    // The life cycle (NSApplicationLifeCycle.cpp): the launch tells the
    // delegate it finished launching; a reopen (the application launched
    // again, or its Dock icon clicked) asks the delegate; terminate tells
    // the delegate, marks the application ended and ends every run of the
    // main run loop (a modal run and the runs around it).
    void finishLaunching();
    bool isRunning() const { return m_launched && !m_terminated; }
    void reopen();
    void terminate(const Ref<NSObject>& sender);
    bool hasTerminated() const { return m_terminated; }

    // Sends an action to the target, or with none, along the key window's
    // responder chain (first responder, views, window, its controller, its
    // delegate), then to the application and its delegate. False when
    // nothing answered.
    bool sendAction(const std::string& action, const Ref<NSObject>& target, const Ref<NSObject>& sender);
    // The object sendAction would reach with a null target, or null.
    Ref<NSObject> targetForAction(const std::string& action) const;

    // Modal runs: shows the window and runs the main run loop in the modal
    // panel mode until stopModal (or stopModalWithCode, abortModal) ends
    // the innermost run, whose answer it returns. A run that nothing could
    // ever end (a virtual clock with nothing pending), and one the
    // application's termination ends, end as aborted.
    NSModalResponse runModalForWindow(const Ref<NSWindow>& window);
    void stopModal() { stopModalWithCode(NSModalResponseStop); }
    void stopModalWithCode(NSModalResponse code);
    void abortModal() { stopModalWithCode(NSModalResponseAbort); }
    Ref<NSWindow> modalWindow() const;

    // Input.
    // Delivers an input event as if a person made it with the keyboard or
    // the mouse: it enters the desktop's input stream and travels the whole
    // road (see above) before this returns. Returns whether it reached this
    // application's dispatch: NO when a tap or a hot key took it, when it
    // went to another application, or when it still waits behind an earlier
    // event (it then follows when the main run loop runs).
    bool deliverInputEvent(const Ref<NSEvent>& event);
    // Dispatches an event of this application to its window.
    virtual void sendEvent(const Ref<NSEvent>& event);
    // The event being dispatched, or null.
    Ref<NSEvent> currentEvent() const { return m_currentEvent; }
    [[nodiscard]] Token addLocalMonitor(NSEventMask mask, NSEvent::LocalMonitor handler);
    [[nodiscard]] Token addGlobalMonitor(NSEventMask mask, NSEvent::GlobalMonitor handler);
    size_t localMonitorCount() const;

private:
    std::string m_appearance;
    NSApplication();
    friend class NSWindow;
    void registerWindow(NSWindow* window);
    void unregisterWindow(NSWindow* window);
    void windowOrderedFront(NSWindow* window);
    void windowOrderedOut(NSWindow* window);
    void setKeyWindowInternal(NSWindow* window);
    void setMainWindowInternal(NSWindow* window);
    void ownWindowFrameChanged(CGWindowID number);
    void activationChanged(bool active);
    // The end of the road: an event the desktop gave to an application.
    void receiveInputEvent(const DesktopInputEvent& record, pid_t receiver);
    // The window an event goes to; dispatching also records or ends the
    // press that drags and the release follow.
    Ref<NSWindow> targetWindowFor(const Ref<NSEvent>& event, bool dispatching);
    void updateTracking(const Ref<NSEvent>& event);

    struct Monitor {
        uint64_t id;
        NSEventMask mask;
        NSEvent::LocalMonitor local;
        NSEvent::GlobalMonitor global;
        std::shared_ptr<bool> alive;
    };
    // An event deliverInputEvent sent on its way: when it arrives unchanged
    // the application dispatches the very object, with what the desktop's
    // record of it does not carry (explicit characters, the scroll
    // direction).
    struct InjectedEvent {
        Ref<NSEvent> event;
        DesktopInputEvent record;
        bool arrived { false };
        bool reached { false };
    };

    // Plain pointers: windows register on creation and leave on destruction.
    std::vector<NSWindow*> m_windows;
    // Visible windows, most recently ordered front first.
    std::vector<NSWindow*> m_order;
    Weak<NSWindow> m_keyWindow;
    Weak<NSWindow> m_mainWindow;
    // The key window when the application was deactivated, to restore.
    Weak<NSWindow> m_inactiveKeyWindow;
    Weak<NSWindow> m_mouseDownWindow;
    Weak<NSObject> m_delegate;
    Ref<NSEvent> m_currentEvent;
    std::vector<Monitor> m_localMonitors;
    std::vector<Monitor> m_globalMonitors;
    std::vector<std::shared_ptr<InjectedEvent>> m_injected;
    struct ModalRun {
        Weak<NSWindow> window;
        std::optional<NSModalResponse> response;
    };
    std::vector<ModalRun> m_modalRuns;
    uint64_t m_nextId { 1 };
    NSApplicationActivationPolicy m_policy { NSApplicationActivationPolicyRegular };
    int m_aboutPanelRequests { 0 };
    bool m_launched { false };
    bool m_terminated { false };
    bool m_wasActive { false };
    Token m_desktopSubscription;
    Token m_frameKeeper;
};

// The shared application (NSApp).
NSApplication& NSApp();

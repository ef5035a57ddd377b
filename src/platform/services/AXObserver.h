// Accessibility observers: notifications of one process's elements,
// delivered through a run-loop source on the run loop it is added to.
#pragma once

#include "AXUIElement.h"
#include "CFRunLoopSource.h"

#include <foundation/RunLoop.h>
#include <foundation/Token.h>

#include <functional>
#include <mutex>
#include <vector>

class AXObserver;
using AXObserverRef = Ref<AXObserver>;
using AXObserverCallback = std::function<void(
    const AXObserverRef& observer, const AXUIElementRef& element, const std::string& notification, void* refcon)>;

class AXObserver final : public NSObject {
public:
    AXObserver(pid_t pid, AXObserverCallback callback);
    ~AXObserver() override;

    pid_t processIdentifier() const { return m_pid; }
    size_t registrationCount() const;

private:
    friend AXError AXObserverCreate(pid_t, AXObserverCallback, AXObserverRef*);
    friend AXError AXObserverAddNotification(
        const AXObserverRef&, const AXUIElementRef&, const std::string&, void*, Token*);
    friend AXError AXObserverRemoveNotification(const AXObserverRef&, const AXUIElementRef&, const std::string&);
    friend CFRunLoopSourceRef AXObserverGetRunLoopSource(const AXObserverRef&);
    struct Registration {
        AXUIElementRef element;
        std::string notification;
        void* refcon;
        // Tells this registration from a later one of the same element and
        // notification, for the token and for a delivery under way.
        uint64_t serial;
    };

    bool removeRegistration(uint64_t serial);

    void start();
    void receive(const DesktopEvent& event);
    void deliver(const DesktopElement& subject, const std::string& notification);

    pid_t m_pid;
    AXObserverCallback m_callback;
    CFRunLoopSourceRef m_source;
    mutable std::mutex m_mutex;
    std::vector<Registration> m_registrations;
    uint64_t m_nextSerial { 1 };
    Token m_subscription;
};

// Creates an observer of one process's elements; the callback runs on the
// run loop the observer's source is added to.
AXError AXObserverCreate(pid_t pid, AXObserverCallback callback, AXObserverRef* outObserver);
// Registers a notification of an element. A notification registered on the
// application element covers every element of the application. The same
// notification on the same element twice is refused.
//
// With `outToken`, a registration that succeeds is also handed back as a
// token: dropping it removes the notification as
// AXObserverRemoveNotification does (a delivery under way no longer calls
// it). A token whose registration was already removed, or whose observer is
// gone, does nothing when dropped.
AXError AXObserverAddNotification(const AXObserverRef& observer, const AXUIElementRef& element,
    const std::string& notification, void* refcon, Token* outToken = nullptr);
AXError AXObserverRemoveNotification(const AXObserverRef& observer, const AXUIElementRef& element, const std::string& notification);
CFRunLoopSourceRef AXObserverGetRunLoopSource(const AXObserverRef& observer);

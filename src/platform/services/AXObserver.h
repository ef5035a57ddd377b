// Accessibility observers: notifications of one process's elements,
// delivered through a run-loop source on the run loop it is added to.
#pragma once

#include "AXUIElement.h"

#include <foundation/RunLoop.h>
#include <foundation/Token.h>

#include <functional>
#include <mutex>
#include <vector>

class AXObserver;
using AXObserverRef = Ref<AXObserver>;
using AXObserverCallback = std::function<void(
    const AXObserverRef& observer, const AXUIElementRef& element, const std::string& notification, void* refcon)>;

// The observer's run-loop source: callbacks run only while it is on a run loop.
class CFRunLoopSource final : public NSObject {
public:
    explicit CFRunLoopSource(Weak<AXObserver> owner)
        : m_owner(std::move(owner))
    {
    }

private:
    friend class AXObserver;
    friend void CFRunLoopAddSource(RunLoop&, const Ref<CFRunLoopSource>&, const RunLoopMode&);
    friend void CFRunLoopRemoveSource(RunLoop&, const Ref<CFRunLoopSource>&, const RunLoopMode&);
    Weak<AXObserver> m_owner;
    struct Attachment {
        RunLoop* loop;
        RunLoopMode mode;
    };
    std::vector<Attachment> m_attachments;
};
using CFRunLoopSourceRef = Ref<CFRunLoopSource>;

void CFRunLoopAddSource(RunLoop& loop, const CFRunLoopSourceRef& source, const RunLoopMode& mode);
void CFRunLoopRemoveSource(RunLoop& loop, const CFRunLoopSourceRef& source, const RunLoopMode& mode);

class AXObserver final : public NSObject {
public:
    AXObserver(pid_t pid, AXObserverCallback callback);
    ~AXObserver() override;

    pid_t processIdentifier() const { return m_pid; }
    size_t registrationCount() const;

private:
    friend AXError AXObserverCreate(pid_t, AXObserverCallback, AXObserverRef*);
    friend AXError AXObserverAddNotification(const AXObserverRef&, const AXUIElementRef&, const std::string&, void*);
    friend AXError AXObserverRemoveNotification(const AXObserverRef&, const AXUIElementRef&, const std::string&);
    friend CFRunLoopSourceRef AXObserverGetRunLoopSource(const AXObserverRef&);
    friend void CFRunLoopAddSource(RunLoop&, const CFRunLoopSourceRef&, const RunLoopMode&);
    friend void CFRunLoopRemoveSource(RunLoop&, const CFRunLoopSourceRef&, const RunLoopMode&);

    struct Registration {
        AXUIElementRef element;
        std::string notification;
        void* refcon;
    };

    void start();
    void receive(const DesktopEvent& event);
    void deliver(const DesktopElement& subject, const std::string& notification);

    pid_t m_pid;
    AXObserverCallback m_callback;
    CFRunLoopSourceRef m_source;
    mutable std::mutex m_mutex;
    std::vector<Registration> m_registrations;
    Token m_subscription;
};

// Creates an observer of one process's elements; the callback runs on the
// run loop the observer's source is added to.
AXError AXObserverCreate(pid_t pid, AXObserverCallback callback, AXObserverRef* outObserver);
// Registers a notification of an element. A notification registered on the
// application element covers every element of the application. The same
// notification on the same element twice is refused.
AXError AXObserverAddNotification(
    const AXObserverRef& observer, const AXUIElementRef& element, const std::string& notification, void* refcon);
AXError AXObserverRemoveNotification(const AXObserverRef& observer, const AXUIElementRef& element, const std::string& notification);
CFRunLoopSourceRef AXObserverGetRunLoopSource(const AXObserverRef& observer);

#include "AXObserver.h"

#include <desktop/Desktop.h>

#include <algorithm>

AXObserver::AXObserver(pid_t pid, AXObserverCallback callback)
    : m_pid(pid)
    , m_callback(std::move(callback))
{
}

AXObserver::~AXObserver() = default;

void AXObserver::start()
{
    m_source = makeRef<CFRunLoopSource>();
    Weak<AXObserver> weak = selfRef<AXObserver>();
    m_subscription = Desktop::subscribeToCurrent([weak](const DesktopEvent& event) {
        if (auto self = weak.lock())
            self->receive(event);
    });
}

size_t AXObserver::registrationCount() const
{
    std::lock_guard lock(m_mutex);
    return m_registrations.size();
}

static bool covers(const DesktopElement& registered, const DesktopElement& subject)
{
    if (registered == subject)
        return true;
    return registered.kind == DesktopElement::Kind::Application && registered.pid == subject.pid;
}

void AXObserver::receive(const DesktopEvent& event)
{
    if (event.kind != DesktopEvent::Kind::AXNotification || event.pid != m_pid)
        return;
    CFRunLoopSourceRef source;
    {
        std::lock_guard lock(m_mutex);
        bool wanted = std::any_of(m_registrations.begin(), m_registrations.end(), [&](const Registration& r) {
            return r.notification == event.notification && covers(r.element->element(), event.element);
        });
        if (!wanted || !m_source)
            return;
        source = m_source;
    }
    auto attachments = source->attachments();
    Weak<AXObserver> weak = selfRef<AXObserver>();
    DesktopElement subject = event.element;
    std::string notification = event.notification;
    for (const auto& a : attachments) {
        a.loop->perform(
            [weak, subject, notification] {
                if (auto self = weak.lock())
                    self->deliver(subject, notification);
            },
            a.mode);
    }
}

void AXObserver::deliver(const DesktopElement& subject, const std::string& notification)
{
    // Each registration is looked up again when its turn comes, so that one
    // removed in the meantime (by an earlier callback, say) is not called
    // with a context that is gone.
    std::vector<std::pair<uint64_t, void*>> matching;
    {
        std::lock_guard lock(m_mutex);
        for (const auto& r : m_registrations)
            if (r.notification == notification && covers(r.element->element(), subject))
                matching.emplace_back(r.serial, r.refcon);
    }
    auto self = selfRef<AXObserver>();
    auto element = makeRef<AXUIElement>(subject);
    for (auto [serial, refcon] : matching) {
        {
            std::lock_guard lock(m_mutex);
            bool still = std::any_of(m_registrations.begin(), m_registrations.end(),
                [&, serial = serial](const Registration& r) { return r.serial == serial; });
            if (!still)
                continue;
        }
        if (m_callback)
            m_callback(self, element, notification, refcon);
    }
}

bool AXObserver::removeRegistration(uint64_t serial)
{
    std::lock_guard lock(m_mutex);
    return std::erase_if(m_registrations, [&](const Registration& r) { return r.serial == serial; }) > 0;
}

AXError AXObserverCreate(pid_t pid, AXObserverCallback callback, AXObserverRef* outObserver)
{
    if (!outObserver)
        return kAXErrorIllegalArgument;
    *outObserver = nullptr;
    if (pid <= 0 || !callback)
        return kAXErrorIllegalArgument;
    auto& desktop = Desktop::current();
    if (!desktop.isAccessibilityTrusted())
        return kAXErrorAPIDisabled;
    if (!desktop.application(pid))
        return kAXErrorInvalidUIElement;
    auto observer = makeRef<AXObserver>(pid, std::move(callback));
    observer->start();
    *outObserver = observer;
    return kAXErrorSuccess;
}

AXError AXObserverAddNotification(const AXObserverRef& observer, const AXUIElementRef& element,
    const std::string& notification, void* refcon, Token* outToken)
{
    if (!observer || !element || notification.empty())
        return kAXErrorIllegalArgument;
    if (element->element().pid != observer->m_pid)
        return kAXErrorIllegalArgument;
    auto& desktop = Desktop::current();
    if (!desktop.isAccessibilityTrusted())
        return kAXErrorAPIDisabled;
    if (!desktop.axElementIsValid(element->element()))
        return kAXErrorInvalidUIElement;
    // Registering asks the application, which must answer.
    if (auto app = desktop.application(element->element().pid); app && app->hung)
        return kAXErrorCannotComplete;
    uint64_t serial;
    {
        std::lock_guard lock(observer->m_mutex);
        bool duplicate = std::any_of(observer->m_registrations.begin(), observer->m_registrations.end(),
            [&](const AXObserver::Registration& r) { return r.notification == notification && CFEqual(r.element, element); });
        if (duplicate)
            return kAXErrorNotificationAlreadyRegistered;
        serial = observer->m_nextSerial++;
        observer->m_registrations.push_back({ element, notification, refcon, serial });
    }
    if (outToken) {
        *outToken = Token([weak = Weak<AXObserver>(observer), serial] {
            if (auto observer = weak.lock())
                observer->removeRegistration(serial);
        });
    }
    return kAXErrorSuccess;
}

AXError AXObserverRemoveNotification(const AXObserverRef& observer, const AXUIElementRef& element, const std::string& notification)
{
    if (!observer || !element || notification.empty())
        return kAXErrorIllegalArgument;
    std::lock_guard lock(observer->m_mutex);
    auto& list = observer->m_registrations;
    auto it = std::find_if(list.begin(), list.end(),
        [&](const AXObserver::Registration& r) { return r.notification == notification && CFEqual(r.element, element); });
    if (it == list.end())
        return kAXErrorNotificationNotRegistered;
    list.erase(it);
    return kAXErrorSuccess;
}

CFRunLoopSourceRef AXObserverGetRunLoopSource(const AXObserverRef& observer) { return observer ? observer->m_source : nullptr; }

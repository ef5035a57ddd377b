// The record of one running application as accessibility sees it: its
// windows as window records, hiding, unhiding and quitting, its icon and
// name, and accessibility notifications delivered to handlers through one
// observer per record, always on the main thread.
#pragma once

#include "SWAccessibilityElement.h"

#include <appkit/NSRunningApplication.h>
#include <services/AXObserver.h>

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

class NSImage;
class SWWindow;

// One registered handler for one notification of one element.
class SWApplicationObservation final : public NSObject {
public:
    using Handler = std::function<void(const Ref<SWWindow>& window)>;
    SWApplicationObservation(std::string notification, Handler handler)
        : m_notification(std::move(notification))
        , m_handler(std::move(handler))
    {
    }
    const std::string& notification() const { return m_notification; }
    const Handler& handler() const { return m_handler; }

private:
    std::string m_notification;
    Handler m_handler;
};

class SWApplication final : public SWAccessibilityElement {
public:
    // A new record on the application element of the running application's
    // process; null for no application.
    static Ref<SWApplication> applicationWithRunningApplication(const Ref<NSRunningApplication>& app);
    // One new record per running application; empty unless trusted.
    static std::vector<Ref<SWApplication>> runningApplications();

    explicit SWApplication(AXUIElementRef element);
    ~SWApplication() override;
    Ref<SWAccessibilityElement> copy() const override;

    // The window list, built on first use from "AXWindows" (at most 100).
    std::vector<Ref<SWWindow>> windows();
    void dropWindowsCache();
    void addWindowsToWindowsCache();
    bool hasWindowsCache() const;
    std::vector<Ref<SWWindow>> visibleWindows();

    std::optional<std::string> title() const { return stringForKey("AXTitle"); }
    bool isHidden() const;
    void hide() const;
    void unhide() const;
    void kill() const;
    void kill9() const;
    Ref<NSImage> icon() const;
    std::optional<std::string> appName() const;

    Ref<NSImage> cachedImageForWindowID(CGWindowID number) const;
    void saveImage(const Ref<NSImage>& image, CGWindowID number);

    // Calls the handler on the main thread for each notification of the
    // element; false when the observer or the registration cannot be made.
    bool observeNotification(const std::string& notification, const Ref<SWAccessibilityElement>& element,
        SWApplicationObservation::Handler handler);
    // Ends every observation of the element, whatever the notification.
    void unobserveNotification(const std::string& notification, const Ref<SWAccessibilityElement>& element);

    const AXObserverRef& observerRef() const { return m_observer; }
    // The observations of one element, in registration order.
    std::vector<Ref<SWApplicationObservation>> observationsForElement(const Ref<SWAccessibilityElement>& element) const;
    size_t observedElementCount() const;

protected:
    bool isKindOfReceiverClass(const NSObject* other) const override;

private:
    struct ElementObservations {
        Ref<SWAccessibilityElement> element;
        std::vector<Ref<SWApplicationObservation>> observations;
    };

    Ref<NSRunningApplication> runningApplication() const;
    static void observerCallback(const Weak<SWApplication>& weakSelf, const AXUIElementRef& element, void* refcon);
    std::vector<Ref<SWWindow>> buildWindows(const std::vector<Ref<SWWindow>>& existing) const;

    mutable std::mutex m_mutex;
    AXObserverRef m_observer;
    std::vector<ElementObservations> m_elementToObservations;
    std::optional<std::vector<Ref<SWWindow>>> m_cachedWindows;
    std::map<std::string, Ref<NSImage>> m_cache;
    bool m_hasCache { false };
};

// The category on running applications that decides which are managed.
bool isManageable(const NSRunningApplication& app);
// Whether the application's bundle says it is an agent (LSUIElement).
bool isAgent(const NSRunningApplication& app);

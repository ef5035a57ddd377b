// The live model behind the switcher: the manageable running applications,
// every switchable window they have, the filtered list the panel shows, each
// window's front-to-back order number and the badges of the first nine.
// It starts with a background scan, then follows the workspace's and
// accessibility's notifications, with short delays that merge bursts. Its
// lists belong to the main thread.
#pragma once

#include "SWApplication.h"
#include "SWWindow.h"
#include "WindowFilterType.h"

#include <foundation/NSObject.h>
#include <foundation/Token.h>

#include <atomic>
#include <set>
#include <vector>

class WindowManager final : public NSObject {
public:
    static Ref<WindowManager> sharedInstance();
    // A started model of its own (the shared one is made with it).
    static Ref<WindowManager> create();
    ~WindowManager() override;

    // The shown list; key-value observable as "windows".
    const std::vector<Ref<SWWindow>>& windows() const { return m_windows; }
    const std::vector<Ref<SWWindow>>& allWindows() const { return m_allWindows; }
    const std::vector<Ref<SWApplication>>& applications() const { return m_applications; }
    Ref<SWApplication> activeAplication() const { return m_activeApplication; }
    WindowFilterType filterType() const { return m_filterType; }
    bool filterActive() const { return m_filterType != WindowFilterAll; }
    // Whether the start-up scan has handed over all it found.
    bool isStartupScanComplete() const { return m_scanComplete.load(); }

    void setFilterType(WindowFilterType type);
    void setFilter();
    void setSortOrder();
    void setBadges();

    void addApplication(const Ref<SWApplication>& app);
    void removeApplication(const Ref<SWApplication>& app);
    void addWindow(const Ref<SWWindow>& window);
    void removeWindow(const Ref<SWWindow>& window);
    Ref<SWApplication> storedApplicationWithProcessIdentifier(pid_t pid) const;
    void updateApplicationWindows(const Ref<SWApplication>& app);
    bool _isSwitcherWindow(const Ref<SWWindow>& window) const;

    Value valueForKey(const std::string& key) const override;

    // Delays that merge bursts of notifications, in seconds.
    static constexpr double kHideUnhideFilterDelay = 0.2;
    static constexpr double kMinimizeFilterDelay = 0.2;
    static constexpr double kSpaceChangeFilterDelay = 0.5;
    static constexpr double kActivationRescanDelay = 0.5;
    static constexpr double kLaunchRescanDelay = 0.7;
    static constexpr double kBadgesDelay = 0.5;
    static constexpr double kFirstSortOrderDelay = 0.5;

    WindowManager() = default;

private:
    void start();
    void scanRunningApplications();
    // Appends a window that passed the acceptance tests, then observes it.
    void insertAcceptedWindow(const Ref<SWWindow>& window);
    void observeWindow(const Ref<SWWindow>& window);
    // A normal window without a title is listed once its title arrives.
    void watchForTitle(const Ref<SWWindow>& window);
    void titleArrived(const Ref<SWWindow>& window);
    // Drops listed windows whose element no longer exists.
    void dropGoneWindows();
    // Observes window creation on the application's own element; an
    // application that does not answer is logged and remembered, and taken
    // in when a later rescan finds it answering.
    void watchWindowCreation(const Ref<SWApplication>& app);
    // Logs and remembers a stored application that does not answer.
    void noteIfUnanswered(const Ref<SWApplication>& app);
    // Every filter takes in the applications that answer again.
    void takeInAnsweringApplications();
    void requestSetFilter(double delay);
    void requestSetBadges(double delay);
    // A window joined or left the lists: order numbers and badges again,
    // and the panel shows the list in that order. Requested once for a
    // burst of changes made in one turn of the run loop.
    void requestSortAndNumber();
    void sortAndNumber();
    void requestAddApplication(const Ref<SWApplication>& app, double delay);
    void noteFrontmost(const Ref<NSRunningApplication>& running);
    // The frontmost application, or the one in front before this process
    // came to the front.
    Ref<NSRunningApplication> frontmostOtherApplication() const;
    void keepWhere(const std::function<bool(const Ref<SWWindow>&)>& keep);
    size_t indexIn(const std::vector<Ref<SWWindow>>& list, const Ref<SWWindow>& window) const;

    std::vector<Ref<SWWindow>> m_allWindows;
    std::vector<Ref<SWWindow>> m_windows;
    std::vector<Ref<SWApplication>> m_applications;
    Ref<SWApplication> m_activeApplication;
    // The last application other than this one that came to the front: the
    // switcher's own activation must not make the active-application list
    // its own (empty) list.
    Ref<NSRunningApplication> m_lastForeignFrontmost;
    WindowFilterType m_filterType { WindowFilterOnScreen };
    std::vector<Token> m_observers;
    std::atomic<bool> m_scanComplete { false };
    // Applications that did not answer when they were taken in.
    std::set<pid_t> m_unanswered;
};

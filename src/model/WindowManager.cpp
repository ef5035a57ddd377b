#include "WindowManager.h"

#include "EBEventful.h"

#include <appkit/NSApplication.h>
#include <appkit/NSWindow.h>
#include <appkit/NSWorkspace.h>
#include <foundation/Dispatch.h>
#include <foundation/Log.h>
#include <services/CGWindow.h>

#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>
#include <unordered_set>

namespace {

const char* const kSwitcherWindowIdentifier = "SwitcherWindowIdentifier";

bool sameRecord(const Ref<SWWindow>& a, const Ref<SWWindow>& b) { return a->isEqual(b.get()); }

Ref<NSRunningApplication> applicationOf(const NSNotification& notification)
{
    return notification.userInfo[NSWorkspaceApplicationKey].objectAs<NSRunningApplication>();
}

}

Ref<WindowManager> WindowManager::sharedInstance()
{
    static dispatch_once_t once;
    static Ref<WindowManager> shared;
    dispatch_once(&once, [] { shared = create(); });
    return shared;
}

Ref<WindowManager> WindowManager::create()
{
    auto model = makeRef<WindowManager>();
    model->start();
    return model;
}

WindowManager::~WindowManager()
{
    cancelPreviousPerformRequestsWithTarget(this);
    if (auto bus = EBEventful::processBus())
        bus->stopReceivingEventsForObject(this);
}

void WindowManager::start()
{
    m_applications.clear();
    m_windows.clear();
    m_allWindows.clear();

    Weak<WindowManager> weak = selfRef<WindowManager>();
    dispatch_async(dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_BACKGROUND, 0), [weak] {
        if (auto self = weak.lock())
            self->scanRunningApplications();
    });
    performAfterDelay("setSortOrder", kFirstSortOrderDelay, [weak] {
        if (auto self = weak.lock())
            self->setSortOrder();
    });

    noteFrontmost(NSWorkspace::sharedWorkspace().frontmostApplication());
    EBEventful::sharedInstance().receiveEvent(WindowGoneEvent, selfRef<NSObject>(), [weak](const EBEvent& event) {
        auto self = weak.lock();
        auto gone = event.data()["Window"].objectAs<SWWindow>();
        if (!self || !gone || !gone->isGone())
            return;
        self->removeWindow(gone);
        self->setSortOrder();
        self->setFilter();
    });
    auto& center = NSWorkspace::sharedWorkspace().notificationCenter();
    auto main = dispatch_get_main_queue();
    m_observers.push_back(center.addObserverForName(NSWorkspaceDidLaunchApplicationNotification, nullptr, main,
        [weak](const NSNotification& n) {
            auto running = applicationOf(n);
            dispatch_async(dispatch_get_main_queue(), [weak, running] {
                auto self = weak.lock();
                auto record = SWApplication::applicationWithRunningApplication(running);
                if (!self || !record || !isManageable(*running))
                    return;
                self->addApplication(record);
                self->requestAddApplication(record, kLaunchRescanDelay);
            });
        }));
    m_observers.push_back(center.addObserverForName(NSWorkspaceDidTerminateApplicationNotification, nullptr, main,
        [weak](const NSNotification& n) {
            auto self = weak.lock();
            auto running = applicationOf(n);
            if (!self || !running)
                return;
            if (auto stored = self->storedApplicationWithProcessIdentifier(running->processIdentifier()))
                self->removeApplication(stored);
        }));
    m_observers.push_back(center.addObserverForName(NSWorkspaceDidActivateApplicationNotification, nullptr, main,
        [weak](const NSNotification& n) {
            auto self = weak.lock();
            auto running = applicationOf(n);
            if (self)
                self->noteFrontmost(running);
            auto record = SWApplication::applicationWithRunningApplication(running);
            if (self && record && isManageable(*running))
                self->requestAddApplication(record, kActivationRescanDelay);
        }));
    for (const auto& name : { NSWorkspaceDidHideApplicationNotification, NSWorkspaceDidUnhideApplicationNotification }) {
        m_observers.push_back(center.addObserverForName(name, nullptr, main, [weak](const NSNotification&) {
            if (auto self = weak.lock())
                self->requestSetFilter(kHideUnhideFilterDelay);
        }));
    }
    m_observers.push_back(center.addObserverForName(NSWorkspaceActiveSpaceDidChangeNotification, nullptr, main,
        [weak](const NSNotification&) {
            auto self = weak.lock();
            if (!self)
                return;
            for (const auto& running : NSWorkspace::sharedWorkspace().runningApplications()) {
                // Only manageable applications are rescanned, as at start.
                if (!isManageable(*running))
                    continue;
                auto record = self->storedApplicationWithProcessIdentifier(running->processIdentifier());
                if (!record)
                    record = SWApplication::applicationWithRunningApplication(running);
                if (record)
                    self->addApplication(record);
            }
            self->setSortOrder();
            self->requestSetFilter(kSpaceChangeFilterDelay);
        }));
}

void WindowManager::scanRunningApplications()
{
    // Accessibility state is read here, on the background queue; the lists
    // change only on the main queue.
    Weak<WindowManager> weak = selfRef<WindowManager>();
    for (const auto& running : NSWorkspace::sharedWorkspace().runningApplications()) {
        if (!isManageable(*running))
            continue;
        auto record = SWApplication::applicationWithRunningApplication(running);
        if (!record)
            continue;
        record->dropWindowsCache();
        std::vector<Ref<SWWindow>> candidates;
        std::vector<Ref<SWWindow>> untitled;
        for (const auto& window : record->windows())
            if (window->isNormalWindow())
                (window->title() ? candidates : untitled).push_back(window);
        dispatch_async(dispatch_get_main_queue(), [weak, record, candidates, untitled] {
            auto self = weak.lock();
            if (!self)
                return;
            if (!self->storedApplicationWithProcessIdentifier(record->processIdentifier())
                && std::none_of(self->m_applications.begin(), self->m_applications.end(),
                    [&](const Ref<SWApplication>& a) { return a->isEqual(record.get()); }))
                self->m_applications.push_back(record);
            for (const auto& window : candidates) {
                if (self->indexIn(self->m_windows, window) == SIZE_MAX && !self->_isSwitcherWindow(window))
                    self->insertAcceptedWindow(window);
            }
            for (const auto& window : untitled)
                self->watchForTitle(window);
            self->watchWindowCreation(record);
        });
    }
    dispatch_async(dispatch_get_main_queue(), [weak] {
        if (auto self = weak.lock())
            self->m_scanComplete = true;
    });
}

size_t WindowManager::indexIn(const std::vector<Ref<SWWindow>>& list, const Ref<SWWindow>& window) const
{
    size_t hash = window->elementHash();
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i]->elementHash() == hash && sameRecord(list[i], window))
            return i;
    return SIZE_MAX;
}

Ref<SWApplication> WindowManager::storedApplicationWithProcessIdentifier(pid_t pid) const
{
    for (const auto& app : m_applications)
        if (app->processIdentifier() == pid)
            return app;
    return nullptr;
}

void WindowManager::addApplication(const Ref<SWApplication>& app)
{
    if (!app)
        return;
    if (std::none_of(m_applications.begin(), m_applications.end(), [&](const Ref<SWApplication>& a) { return a->isEqual(app.get()); }))
        m_applications.push_back(app);
    app->dropWindowsCache();
    for (const auto& window : app->windows())
        addWindow(window);
    // The stored record of an application that did not answer before has
    // no window-creation observation yet: it gets one now if it answers.
    auto stored = storedApplicationWithProcessIdentifier(app->processIdentifier());
    if (stored && stored != app && m_unanswered.count(stored->processIdentifier()))
        watchWindowCreation(stored);
    watchWindowCreation(app);
}

void WindowManager::watchWindowCreation(const Ref<SWApplication>& app)
{
    pid_t pid = app->processIdentifier();
    bool isStored = storedApplicationWithProcessIdentifier(pid) == app;
    if (isStored && m_unanswered.count(pid))
        app->unobserveNotification("AXWindowCreated", app);
    Weak<WindowManager> weak = selfRef<WindowManager>();
    bool observed = app->observeNotification("AXWindowCreated", app, [weak](const Ref<SWWindow>& created) {
        if (auto self = weak.lock())
            self->addWindow(created);
    });
    if (!isStored)
        return;
    if (observed && m_unanswered.erase(pid))
        NSLog("%@ (pid %d) answers now; its windows are listed", app->appName().value_or(std::string("?")), pid);
    else if (!observed)
        noteIfUnanswered(app);
}

void WindowManager::noteIfUnanswered(const Ref<SWApplication>& app)
{
    pid_t pid = app->processIdentifier();
    if (m_unanswered.count(pid) || app->answers())
        return;
    m_unanswered.insert(pid);
    NSLog("%@ (pid %d) does not answer; its windows are listed once it does", app->appName().value_or(std::string("?")), pid);
}

void WindowManager::updateApplicationWindows(const Ref<SWApplication>& app)
{
    if (!app)
        return;
    app->dropWindowsCache();
    addApplication(app);
}

void WindowManager::addWindow(const Ref<SWWindow>& window)
{
    if (!window)
        return;
    if (indexIn(m_windows, window) != SIZE_MAX)
        return;
    if (!window->isNormalWindow())
        return;
    if (!window->title()) {
        // A window notice from an application that does not answer: its
        // windows are read again once it does.
        if (!window->answers())
            if (auto owner = storedApplicationWithProcessIdentifier(window->processIdentifier()))
                noteIfUnanswered(owner);
        watchForTitle(window);
        return;
    }
    if (_isSwitcherWindow(window))
        return;
    // A window watched for its title (whatever brought it here: the title,
    // a rescan) ends the watch, so that the listed window's own
    // observations can be made.
    if (indexIn(m_allWindows, window) == SIZE_MAX)
        if (auto owner = storedApplicationWithProcessIdentifier(window->processIdentifier()))
            owner->unobserveNotification("AXTitleChanged", window);
    insertAcceptedWindow(window);
}

void WindowManager::watchForTitle(const Ref<SWWindow>& window)
{
    auto owner = storedApplicationWithProcessIdentifier(window->processIdentifier());
    // A window already observed is watched (or listed) already.
    if (!owner || !owner->observationsForElement(window).empty())
        return;
    Weak<WindowManager> weak = selfRef<WindowManager>();
    Weak<SWApplication> weakOwner = owner;
    owner->observeNotification("AXTitleChanged", window, [weak](const Ref<SWWindow>& changed) {
        if (auto self = weak.lock())
            self->titleArrived(changed);
    });
    // A window closed before it got a title leaves no observation behind.
    owner->observeNotification("AXUIElementDestroyed", window, [weakOwner](const Ref<SWWindow>& destroyed) {
        if (auto owner = weakOwner.lock())
            owner->unobserveNotification("AXTitleChanged", destroyed);
    });
    // The title may have come between the read and the registration.
    if (window->title())
        titleArrived(window);
}

void WindowManager::titleArrived(const Ref<SWWindow>& window)
{
    if (indexIn(m_allWindows, window) != SIZE_MAX)
        return;
    // A title notice whose title cannot be read (its application stopped
    // answering) is not the end of it: addWindow notes the application, and
    // its windows are read again once it answers, even if it stays
    // frontmost and no activation follows.
    addWindow(window);
}

void WindowManager::insertAcceptedWindow(const Ref<SWWindow>& window)
{
    // The shown list only ever holds records of allWindows, so that a window
    // accepted again after filtering keeps its order number and badge.
    size_t stored = indexIn(m_allWindows, window);
    Ref<SWWindow> record = stored == SIZE_MAX ? window : m_allWindows[stored];
    bool added = indexIn(m_windows, record) == SIZE_MAX;
    willChangeValueForKey("windows");
    if (added)
        m_windows.push_back(record);
    if (stored == SIZE_MAX)
        m_allWindows.push_back(record);
    didChangeValueForKey("windows");
    observeWindow(record);
    // A window that appears while the panel is up gets its place and badge
    // there, not only at the next opening.
    if (added)
        requestSortAndNumber();
}

void WindowManager::observeWindow(const Ref<SWWindow>& window)
{
    auto owner = storedApplicationWithProcessIdentifier(window->processIdentifier());
    if (!owner)
        return;
    Weak<WindowManager> weak = selfRef<WindowManager>();
    Weak<SWWindow> weakWindow = window;
    bool observed = owner->observeNotification("AXUIElementDestroyed", window, [weak, weakWindow](const Ref<SWWindow>&) {
        auto self = weak.lock();
        auto destroyed = weakWindow.lock();
        if (!self || !destroyed)
            return;
        self->removeWindow(destroyed);
        self->setSortOrder();
        self->requestSetBadges(kBadgesDelay);
        self->requestSortAndNumber();
    });
    owner->observeNotification("AXWindowMiniaturized", window, [weak](const Ref<SWWindow>&) {
        auto self = weak.lock();
        if (!self)
            return;
        self->requestSetFilter(kMinimizeFilterDelay);
        self->setSortOrder();
        self->requestSetBadges(kBadgesDelay);
    });
    if (!observed) {
        // A window destroyed before its end could be observed would stay
        // listed for ever.
        Value role;
        if (AXUIElementCopyAttributeValue(window->axElementRef(), "AXRole", &role) == kAXErrorInvalidUIElement)
            removeWindow(window);
    }
}

void WindowManager::removeWindow(const Ref<SWWindow>& window)
{
    if (!window)
        return;
    if (auto owner = storedApplicationWithProcessIdentifier(window->processIdentifier())) {
        owner->unobserveNotification("AXUIElementDestroyed", window);
        owner->unobserveNotification("AXWindowMiniaturized", window);
        owner->unobserveNotification("AXWindowDeminiaturized", window);
    }
    willChangeValueForKey("windows");
    std::erase_if(m_windows, [&](const Ref<SWWindow>& w) { return sameRecord(w, window); });
    std::erase_if(m_allWindows, [&](const Ref<SWWindow>& w) { return sameRecord(w, window); });
    didChangeValueForKey("windows");
}

void WindowManager::removeApplication(const Ref<SWApplication>& app)
{
    if (!app)
        return;
    for (const auto& window : app->windows())
        removeWindow(window);
    std::erase_if(m_applications, [&](const Ref<SWApplication>& a) { return a->isEqual(app.get()); });
    m_unanswered.erase(app->processIdentifier());
    Weak<WindowManager> weak = selfRef<WindowManager>();
    dispatch_async(dispatch_get_main_queue(), [weak] {
        auto self = weak.lock();
        if (!self)
            return;
        std::vector<Ref<SWWindow>> orphans;
        for (const auto& window : self->m_allWindows)
            if (!window->app())
                orphans.push_back(window);
        for (const auto& window : orphans)
            self->removeWindow(window);
        self->requestSortAndNumber();
    });
}

bool WindowManager::_isSwitcherWindow(const Ref<SWWindow>& window) const
{
    // Only this process's own windows can be the switcher's.
    auto own = NSApp().windowWithWindowNumber(window->win_id());
    return own && own->identifier() == kSwitcherWindowIdentifier;
}

void WindowManager::noteFrontmost(const Ref<NSRunningApplication>& running)
{
    if (running && running->processIdentifier() != NSRunningApplication::currentApplication()->processIdentifier())
        m_lastForeignFrontmost = running;
}

Ref<NSRunningApplication> WindowManager::frontmostOtherApplication() const
{
    auto frontmost = NSWorkspace::sharedWorkspace().frontmostApplication();
    bool own = !frontmost || frontmost->processIdentifier() == NSRunningApplication::currentApplication()->processIdentifier();
    if (own && m_lastForeignFrontmost && !m_lastForeignFrontmost->isTerminated())
        return m_lastForeignFrontmost;
    return frontmost;
}

void WindowManager::keepWhere(const std::function<bool(const Ref<SWWindow>&)>& keep)
{
    std::erase_if(m_windows, [&](const Ref<SWWindow>& w) { return !keep(w); });
}

void WindowManager::dropGoneWindows()
{
    // An element can vanish without a destroyed notification (its
    // application crashed or stopped serving it).
    std::vector<Ref<SWWindow>> gone;
    for (const auto& window : m_allWindows)
        if (window->isGone())
            gone.push_back(window);
    for (const auto& window : gone)
        removeWindow(window);
}

void WindowManager::takeInAnsweringApplications()
{
    // An application that did not answer may have been frontmost all along:
    // no activation would bring it in.
    std::vector<pid_t> waiting(m_unanswered.begin(), m_unanswered.end());
    for (pid_t pid : waiting)
        if (auto stored = storedApplicationWithProcessIdentifier(pid); stored && stored->answers())
            addApplication(stored);
}

void WindowManager::setFilter()
{
    dropGoneWindows();
    takeInAnsweringApplications();
    if (m_filterType == WindowFilterAll) {
        m_windows = m_allWindows;
    } else {
        // The window server's on-screen list and each application's hidden
        // state are read once for the whole pass.
        auto numbers = CGWindowListCreate(kCGWindowListOptionOnScreenOnly, kCGNullWindowID);
        std::unordered_set<CGWindowID> onScreen(numbers.begin(), numbers.end());
        std::unordered_map<pid_t, bool> hidden;
        auto appHidden = [&](const Ref<SWWindow>& w) {
            pid_t pid = w->processIdentifier();
            auto it = hidden.find(pid);
            if (it != hidden.end())
                return it->second;
            auto app = w->app();
            // A window without an application counts as not hidden.
            bool isHidden = app && app->isHidden();
            hidden[pid] = isHidden;
            return isHidden;
        };
        // The cheapest test first: a window the server does not show needs
        // no accessibility read. (isActive's minimised half is the read
        // just made.)
        auto shown = [&](const Ref<SWWindow>& w) {
            if (!onScreen.count(w->windowID()) || appHidden(w) || w->isWindowMinimized() || !w->isNormalWindow())
                return false;
            return !w->numberForKey("AXHidden").boolValue();
        };
        if (m_filterType == WindowFilterActiveApplication) {
            m_activeApplication = SWApplication::applicationWithRunningApplication(frontmostOtherApplication());
            pid_t active = m_activeApplication ? m_activeApplication->processIdentifier() : -1;
            keepWhere([&](const Ref<SWWindow>& w) { return shown(w) && w->processIdentifier() == active; });
        } else {
            keepWhere(shown);
        }
    }
    // Badges follow the shown list after every filter, not only filter 2.
    setBadges();
    if (auto bus = EBEventful::processBus())
        bus->sendEvent(WindowListChangedEvent, selfRef<NSObject>(), Value());
}

void WindowManager::setFilterType(WindowFilterType type)
{
    if (type != WindowFilterActiveApplication && m_filterType == WindowFilterActiveApplication)
        m_windows = m_allWindows;
    m_filterType = type;
    setFilter();
    setSortOrder();
    // The new order numbers may move windows in and out of the first nine.
    setBadges();
}

void WindowManager::setSortOrder()
{
    auto listed = NSWindow::windowNumbersWithOptions(NSWindowNumberListAllApplications | NSWindowNumberListAllSpaces);
    std::unordered_map<CGWindowID, uint64_t> index;
    for (size_t i = 0; i < listed.size(); ++i)
        index.emplace(listed[i], i);
    uint64_t counter = 10000;
    for (const auto& window : m_allWindows) {
        auto it = index.find(window->windowID());
        window->setSortOrder(it != index.end() ? it->second : ++counter);
    }
}

void WindowManager::setBadges()
{
    const auto& list = filterActive() ? m_windows : m_allWindows;
    if (list.empty())
        return;
    auto sorted = list;
    std::stable_sort(sorted.begin(), sorted.end(), [](const Ref<SWWindow>& a, const Ref<SWWindow>& b) { return a->sortOrder() < b->sortOrder(); });
    Weak<WindowManager> weak = selfRef<WindowManager>();
    dispatch_async(dispatch_get_main_queue(), [weak] {
        if (auto self = weak.lock())
            self->willChangeValueForKey("hotkeyIndexText");
    });
    for (size_t p = 0; p < sorted.size(); ++p)
        sorted[p]->setHotkeyIndexText(p < 9 ? std::to_string(p + 1) : std::string());
    dispatch_async(dispatch_get_main_queue(), [weak] {
        if (auto self = weak.lock())
            self->didChangeValueForKey("hotkeyIndexText");
    });
}

void WindowManager::requestSetFilter(double delay)
{
    cancelPreviousPerformRequestsWithTarget(this, "setFilter");
    Weak<WindowManager> weak = selfRef<WindowManager>();
    performAfterDelay("setFilter", delay, [weak] {
        if (auto self = weak.lock())
            self->setFilter();
    });
}

void WindowManager::requestSetBadges(double delay)
{
    Weak<WindowManager> weak = selfRef<WindowManager>();
    performAfterDelay("setBadges", delay, [weak] {
        if (auto self = weak.lock())
            self->setBadges();
    });
}

void WindowManager::requestSortAndNumber()
{
    cancelPreviousPerformRequestsWithTarget(this, "sortAndNumber");
    Weak<WindowManager> weak = selfRef<WindowManager>();
    performAfterDelay("sortAndNumber", 0, [weak] {
        if (auto self = weak.lock())
            self->sortAndNumber();
    });
}

void WindowManager::sortAndNumber()
{
    setSortOrder();
    setBadges();
    // The panel arranges its list again in the new order, so that the
    // badges read 1, 2, 3 ... as the list is shown.
    if (auto bus = EBEventful::processBus())
        bus->sendEvent(WindowListChangedEvent, selfRef<NSObject>(), Value());
}

void WindowManager::requestAddApplication(const Ref<SWApplication>& app, double delay)
{
    Weak<WindowManager> weak = selfRef<WindowManager>();
    performAfterDelay("addApplication:", delay, [weak, app] {
        if (auto self = weak.lock())
            self->addApplication(app);
    });
}

Value WindowManager::valueForKey(const std::string& key) const
{
    auto arrayOf = [](const std::vector<Ref<SWWindow>>& list) {
        Value::Array array;
        array.reserve(list.size());
        for (const auto& w : list)
            array.emplace_back(w);
        return Value(std::move(array));
    };
    if (key == "windows")
        return arrayOf(m_windows);
    if (key == "allWindows")
        return arrayOf(m_allWindows);
    if (key == "filterType")
        return Value(static_cast<int64_t>(m_filterType));
    if (key == "filterActive")
        return Value(filterActive());
    return NSObject::valueForKey(key);
}

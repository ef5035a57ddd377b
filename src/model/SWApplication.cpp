#include "SWApplication.h"

#include "SWUniversalAccessHelper.h"
#include "SWWindow.h"

#include <appkit/NSWorkspace.h>
#include <foundation/Format.h>
#include <foundation/Log.h>

#include <algorithm>
#include <exception>

Ref<SWApplication> SWApplication::applicationWithRunningApplication(const Ref<NSRunningApplication>& app)
{
    if (!app)
        return nullptr;
    return makeRef<SWApplication>(AXUIElementCreateApplication(app->processIdentifier()));
}

std::vector<Ref<SWApplication>> SWApplication::runningApplications()
{
    if (!SWUniversalAccessHelper::isAccessibilityTrusted())
        return {};
    std::vector<Ref<SWApplication>> result;
    for (const auto& app : NSWorkspace::sharedWorkspace().runningApplications())
        result.push_back(applicationWithRunningApplication(app));
    return result;
}

SWApplication::SWApplication(AXUIElementRef element)
    : SWAccessibilityElement(std::move(element))
{
}

SWApplication::~SWApplication()
{
    if (!m_observer)
        return;
    for (const auto& entry : m_elementToObservations)
        for (const auto& observation : entry.observations)
            AXObserverRemoveNotification(m_observer, entry.element->axElementRef(), observation->notification());
}

Ref<SWAccessibilityElement> SWApplication::copy() const { return makeRef<SWApplication>(axElementRef()); }

bool SWApplication::isKindOfReceiverClass(const NSObject* other) const
{
    return dynamic_cast<const SWApplication*>(other) != nullptr;
}

std::vector<Ref<SWWindow>> SWApplication::buildWindows(const std::vector<Ref<SWWindow>>& existing) const
{
    std::vector<Ref<SWWindow>> list = existing;
    Value values = arrayForKey("AXWindows");
    if (!values.isArray())
        return list;
    for (const auto& value : *values.array()) {
        auto window = SWWindow::windowWithAXElement(value.objectAs<AXUIElement>());
        if (!window)
            continue;
        if (!existing.empty()
            && std::any_of(list.begin(), list.end(), [&](const Ref<SWWindow>& w) { return w->isEqual(window.get()); }))
            continue;
        list.push_back(window);
    }
    return list;
}

std::vector<Ref<SWWindow>> SWApplication::windows()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_cachedWindows)
            return *m_cachedWindows;
    }
    auto built = buildWindows({});
    std::lock_guard lock(m_mutex);
    if (!m_cachedWindows)
        m_cachedWindows = std::move(built);
    return *m_cachedWindows;
}

void SWApplication::dropWindowsCache()
{
    std::lock_guard lock(m_mutex);
    m_cachedWindows.reset();
}

bool SWApplication::hasWindowsCache() const
{
    std::lock_guard lock(m_mutex);
    return m_cachedWindows.has_value();
}

void SWApplication::addWindowsToWindowsCache()
{
    // Like windows(), this only builds a list that does not exist yet; a
    // window already in the list being built is skipped.
    {
        std::lock_guard lock(m_mutex);
        if (m_cachedWindows)
            return;
    }
    std::vector<Ref<SWWindow>> list;
    Value values = arrayForKey("AXWindows");
    if (values.isArray()) {
        for (const auto& value : *values.array()) {
            auto window = SWWindow::windowWithAXElement(value.objectAs<AXUIElement>());
            if (window && std::none_of(list.begin(), list.end(), [&](const Ref<SWWindow>& w) { return w->isEqual(window.get()); }))
                list.push_back(window);
        }
    }
    std::lock_guard lock(m_mutex);
    if (!m_cachedWindows)
        m_cachedWindows = std::move(list);
}

std::vector<Ref<SWWindow>> SWApplication::visibleWindows()
{
    std::vector<Ref<SWWindow>> result;
    for (const auto& w : windows())
        if (w->isVisibleWindow())
            result.push_back(w);
    return result;
}

bool SWApplication::isHidden() const { return numberForKey("AXHidden").boolValue(); }

Ref<NSRunningApplication> SWApplication::runningApplication() const
{
    return NSRunningApplication::runningApplicationWithProcessIdentifier(processIdentifier());
}

void SWApplication::hide() const
{
    if (auto app = runningApplication())
        app->hide();
}

void SWApplication::unhide() const
{
    if (auto app = runningApplication())
        app->unhide();
}

void SWApplication::kill() const
{
    if (auto app = runningApplication())
        app->terminate();
}

void SWApplication::kill9() const
{
    if (auto app = runningApplication())
        app->forceTerminate();
}

std::optional<std::string> SWApplication::appName() const
{
    auto app = runningApplication();
    if (!app)
        return std::nullopt;
    return app->localizedName();
}

Ref<NSImage> SWApplication::cachedImageForWindowID(CGWindowID number) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_cache.find(stringWithFormat("%u", number));
    return it == m_cache.end() ? nullptr : it->second;
}

void SWApplication::saveImage(const Ref<NSImage>& image, CGWindowID number)
{
    std::lock_guard lock(m_mutex);
    m_hasCache = true;
    if (image)
        m_cache[stringWithFormat("%u", number)] = image;
    else
        m_cache.erase(stringWithFormat("%u", number));
}

void SWApplication::observerCallback(const Weak<SWApplication>& weakSelf, const AXUIElementRef& element, void* refcon)
{
    auto self = weakSelf.lock();
    if (!self)
        return;
    // The observation is found again in the record's own lists, so that one
    // that was removed cannot be called, and the handler is held for the
    // length of the call even if the observation goes away inside it.
    Ref<SWApplicationObservation> observation;
    {
        std::lock_guard lock(self->m_mutex);
        for (const auto& entry : self->m_elementToObservations)
            for (const auto& o : entry.observations)
                if (o.get() == refcon)
                    observation = o;
    }
    auto window = SWWindow::windowWithAXElement(element);
    auto application = window ? window->app() : nullptr;
    if (!application || !observation)
        return;
    auto handler = observation->handler();
    if (!handler)
        return;
    try {
        handler(window);
    } catch (const std::exception& error) {
        NSLog("%@", error.what());
        NSLog("window %@", window);
        NSLog("callback %@", static_cast<const void*>(observation.get()));
        NSLog("window.app %@", application);
    }
}

bool SWApplication::observeNotification(
    const std::string& notification, const Ref<SWAccessibilityElement>& element, SWApplicationObservation::Handler handler)
{
    if (!element)
        return false;
    AXObserverRef observer;
    {
        std::lock_guard lock(m_mutex);
        observer = m_observer;
    }
    if (!observer) {
        Weak<SWApplication> weak = selfRef<SWApplication>();
        AXObserverRef created;
        AXError error = AXObserverCreate(processIdentifier(),
            [weak](const AXObserverRef&, const AXUIElementRef& subject, const std::string&, void* refcon) {
                observerCallback(weak, subject, refcon);
            },
            &created);
        if (error != kAXErrorSuccess || !created)
            return false;
        // Callbacks run on the main thread whichever thread registers.
        CFRunLoopAddSource(RunLoop::main(), AXObserverGetRunLoopSource(created), kCFRunLoopDefaultMode);
        std::lock_guard lock(m_mutex);
        if (!m_observer)
            m_observer = created;
        observer = m_observer;
    }
    auto observation = makeRef<SWApplicationObservation>(notification, std::move(handler));
    AXError error = AXObserverAddNotification(observer, element->axElementRef(), notification, observation.get());
    if (error != kAXErrorSuccess) {
        // A refused registration is not kept: the first handler stays the
        // one called, and repeated attempts cannot grow the list.
        return false;
    }
    std::lock_guard lock(m_mutex);
    auto it = std::find_if(m_elementToObservations.begin(), m_elementToObservations.end(),
        [&](const ElementObservations& e) { return CFEqual(e.element->axElementRef(), element->axElementRef()); });
    if (it == m_elementToObservations.end()) {
        // The entry needs only the element: a plain element record, since a
        // copy of a window record would capture the window's picture again
        // and keep it for as long as the observation lives.
        m_elementToObservations.push_back({ SWAccessibilityElement::elementWithAXElement(element->axElementRef()), {} });
        it = std::prev(m_elementToObservations.end());
    }
    it->observations.push_back(observation);
    return true;
}

void SWApplication::unobserveNotification(const std::string&, const Ref<SWAccessibilityElement>& element)
{
    if (!element)
        return;
    ElementObservations removed;
    AXObserverRef observer;
    {
        std::lock_guard lock(m_mutex);
        auto it = std::find_if(m_elementToObservations.begin(), m_elementToObservations.end(),
            [&](const ElementObservations& e) { return CFEqual(e.element->axElementRef(), element->axElementRef()); });
        if (it == m_elementToObservations.end())
            return;
        removed = std::move(*it);
        m_elementToObservations.erase(it);
        observer = m_observer;
    }
    if (!observer)
        return;
    for (const auto& observation : removed.observations)
        AXObserverRemoveNotification(observer, removed.element->axElementRef(), observation->notification());
}

std::vector<Ref<SWApplicationObservation>> SWApplication::observationsForElement(const Ref<SWAccessibilityElement>& element) const
{
    std::lock_guard lock(m_mutex);
    for (const auto& e : m_elementToObservations)
        if (element && CFEqual(e.element->axElementRef(), element->axElementRef()))
            return e.observations;
    return {};
}

size_t SWApplication::observedElementCount() const
{
    std::lock_guard lock(m_mutex);
    return m_elementToObservations.size();
}

static bool startsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

bool isManageable(const NSRunningApplication& app)
{
    auto bundle = app.bundleIdentifier();
    if (!bundle)
        return true;
    return !startsWith(*bundle, "com.apple.dashboard") && !startsWith(*bundle, "com.apple.loginwindow");
}

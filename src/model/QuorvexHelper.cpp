#include "QuorvexHelper.h"

#include <appkit/NSWindow.h>
#include <appkit/NSWorkspace.h>
#include <foundation/Dispatch.h>

#include <algorithm>
#include <cstdlib>
#include <set>

QuorvexHelper& QuorvexHelper::sharedInstance()
{
    static dispatch_once_t once;
    static QuorvexHelper* shared;
    dispatch_once(&once, [] { shared = new QuorvexHelper(); });
    return *shared;
}

QuorvexHelper::QuorvexHelper()
{
    auto& workspace = NSWorkspace::sharedWorkspace().notificationCenter();
    auto refresh = [this](const NSNotification&) { storeAccessibilityElements(); };
    m_observers.push_back(workspace.addObserverForName(NSWorkspaceDidLaunchApplicationNotification, nullptr, nullptr, refresh));
    m_observers.push_back(workspace.addObserverForName(NSWorkspaceActiveSpaceDidChangeNotification, nullptr, nullptr, refresh));
    m_observers.push_back(NSNotificationCenter::distributedCenter().addObserverForName(
        NSApplicationDidChangeScreenParametersNotification, nullptr, nullptr, refresh));
}

AXUIElementRef QuorvexHelper::getStoredAccessibilityElementForWindowID(int32_t windowID)
{
    std::string key = std::to_string(windowID);
    auto lookUp = [&]() -> AXUIElementRef {
        std::lock_guard lock(m_mutex);
        if (!m_elements)
            return nullptr;
        auto it = m_elements->find(key);
        return it == m_elements->end() ? nullptr : it->second;
    };
    if (auto element = lookUp())
        return element;
    storeAccessibilityElements();
    return lookUp();
}

void QuorvexHelper::storeAccessibilityElements()
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_elements)
            m_elements.emplace();
    }
    auto current = NSRunningApplication::currentApplication();
    for (const auto& app : NSWorkspace::sharedWorkspace().runningApplications()) {
        if (app->activationPolicy() != 0 || (current && app->isEqual(current.get())))
            continue;
        Value windows;
        if (AXUIElementCopyAttributeValues(AXUIElementCreateApplication(app->processIdentifier()), "AXWindows", 0, 100, &windows)
            != kAXErrorSuccess)
            continue;
        for (const auto& value : *windows.array()) {
            auto element = value.objectAs<AXUIElement>();
            CGWindowID number = 0;
            if (!element || _AXUIElementGetWindow(element, &number) != kAXErrorSuccess)
                continue;
            std::lock_guard lock(m_mutex);
            // An entry, once stored, is never replaced.
            m_elements->emplace(std::to_string(number), element);
        }
    }
    cleanUpAccessibilityElements();
}

void QuorvexHelper::cleanUpAccessibilityElements()
{
    auto listed = NSWindow::windowNumbersWithOptions(NSWindowNumberListAllApplications | NSWindowNumberListAllSpaces);
    std::set<long long> numbers(listed.begin(), listed.end());
    std::lock_guard lock(m_mutex);
    if (!m_elements)
        return;
    std::erase_if(*m_elements, [&](const auto& entry) { return !numbers.count(std::atoll(entry.first.c_str())); });
}

std::optional<std::map<std::string, AXUIElementRef>> QuorvexHelper::accessibilityElementsDict() const
{
    std::lock_guard lock(m_mutex);
    return m_elements;
}

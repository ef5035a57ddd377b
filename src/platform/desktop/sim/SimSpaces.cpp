// The simulated desktop's spaces: which spaces each display offers and
// shows, windows moving between them, and switching.
#include "SimDesktop.h"

#include <foundation/Format.h>

#include <algorithm>

const SimDesktop::SpaceState* SimDesktop::spaceLocked(uint64_t space) const
{
    auto it = std::find_if(m_spaces.begin(), m_spaces.end(), [&](const SpaceState& s) { return s.identifier == space; });
    return it == m_spaces.end() ? nullptr : &*it;
}

void SimDesktop::ensureSpaceLocked(uint64_t space)
{
    if (space != 0 && !spaceLocked(space))
        m_spaces.push_back({ space, 0, false });
}

CGDirectDisplayID SimDesktop::displayOfSpaceLocked(const SpaceState& space) const
{
    CGDirectDisplayID main = m_screens.empty() ? 0 : m_screens.front().displayID;
    if (!m_separateSpaces || space.display == 0)
        return main;
    // A space whose display went away moves to the main display.
    bool present = std::any_of(m_screens.begin(), m_screens.end(), [&](const DesktopScreen& s) { return s.displayID == space.display; });
    return present ? space.display : main;
}

uint64_t SimDesktop::currentSpaceOfDisplayLocked(CGDirectDisplayID display) const
{
    CGDirectDisplayID main = m_screens.empty() ? 0 : m_screens.front().displayID;
    if (!m_separateSpaces || display == main)
        return m_currentSpace;
    if (auto it = m_displayCurrentSpaces.find(display); it != m_displayCurrentSpaces.end())
        if (const SpaceState* s = spaceLocked(it->second); s && displayOfSpaceLocked(*s) == display)
            return it->second;
    // A display shows its first space until it is switched.
    for (const auto& s : m_spaces)
        if (displayOfSpaceLocked(s) == display)
            return s.identifier;
    return 0;
}

bool SimDesktop::spaceIsShownLocked(uint64_t space) const
{
    if (space == 0)
        return true;
    const SpaceState* s = spaceLocked(space);
    return s && currentSpaceOfDisplayLocked(displayOfSpaceLocked(*s)) == space;
}

void SimDesktop::giveDisplaysSpacesLocked()
{
    if (!m_separateSpaces)
        return;
    for (size_t i = 1; i < m_screens.size(); ++i) {
        CGDirectDisplayID display = m_screens[i].displayID;
        if (std::any_of(m_spaces.begin(), m_spaces.end(), [&](const SpaceState& s) { return s.display == display; }))
            continue;
        uint64_t highest = 0;
        for (const auto& s : m_spaces)
            highest = std::max(highest, s.identifier);
        m_spaces.push_back({ highest + 1, display, false });
    }
}

std::vector<DesktopDisplaySpaces> SimDesktop::displaySpaces() const
{
    std::lock_guard lock(m_mutex);
    log("CGSCopyManagedDisplaySpaces");
    std::vector<DesktopDisplaySpaces> result;
    auto listFor = [&](CGDirectDisplayID display) {
        DesktopDisplaySpaces entry { display, {}, currentSpaceOfDisplayLocked(display) };
        for (const auto& s : m_spaces)
            if (displayOfSpaceLocked(s) == display)
                entry.spaces.push_back({ s.identifier, s.fullScreen });
        return entry;
    };
    if (!m_separateSpaces || m_screens.empty()) {
        result.push_back(listFor(m_screens.empty() ? 0 : m_screens.front().displayID));
        return result;
    }
    for (const auto& screen : m_screens)
        result.push_back(listFor(screen.displayID));
    return result;
}

bool SimDesktop::screensHaveSeparateSpaces() const
{
    std::lock_guard lock(m_mutex);
    return m_separateSpaces;
}

uint64_t SimDesktop::activeSpace() const
{
    std::lock_guard lock(m_mutex);
    log("CGSGetActiveSpace");
    for (const auto& screen : m_screens)
        if (CGRectContainsPoint(screen.frame, m_mouse))
            return currentSpaceOfDisplayLocked(screen.displayID);
    return m_currentSpace;
}

bool SimDesktop::moveWindowToSpace(CGWindowID number, uint64_t space)
{
    std::lock_guard lock(m_mutex);
    log(stringWithFormat("CGSMoveWindowToSpace %u %llu", number, static_cast<unsigned long long>(space)));
    auto it = m_windows.find(number);
    if (it == m_windows.end() || it->second.pid == kOwnPid || !spaceLocked(space))
        return false;
    it->second.space = space;
    return true;
}

void SimDesktop::setWindowSpace(CGWindowID number, uint64_t space)
{
    std::lock_guard lock(m_mutex);
    if (auto it = m_windows.find(number); it != m_windows.end()) {
        ensureSpaceLocked(space);
        it->second.space = space;
    }
}

void SimDesktop::switchToSpace(uint64_t space)
{
    if (space == 0)
        return;
    {
        std::lock_guard lock(m_mutex);
        ensureSpaceLocked(space);
        if (spaceIsShownLocked(space))
            return;
        CGDirectDisplayID display = displayOfSpaceLocked(*spaceLocked(space));
        if (!m_separateSpaces || m_screens.empty() || display == m_screens.front().displayID)
            m_currentSpace = space;
        else
            m_displayCurrentSpaces[display] = space;
        // A window held by its title bar goes along.
        if (auto held = m_windows.find(m_heldWindow); held != m_windows.end() && held->second.space != 0)
            held->second.space = space;
    }
    emit({ { DesktopEvent::Kind::ActiveSpaceChanged } });
}

uint64_t SimDesktop::currentSpace() const
{
    std::lock_guard lock(m_mutex);
    return m_currentSpace;
}

void SimDesktop::setScreensHaveSeparateSpaces(bool separate)
{
    std::lock_guard lock(m_mutex);
    m_separateSpaces = separate;
    giveDisplaysSpacesLocked();
}

void SimDesktop::setSpaces(CGDirectDisplayID display, const std::vector<DesktopSpace>& spaces)
{
    std::lock_guard lock(m_mutex);
    CGDirectDisplayID main = m_screens.empty() ? 0 : m_screens.front().displayID;
    if (display == main)
        display = 0;
    std::erase_if(m_spaces, [&](const SpaceState& s) {
        return s.display == display || (display == 0 && !m_separateSpaces)
            || std::any_of(spaces.begin(), spaces.end(), [&](const DesktopSpace& n) { return n.identifier == s.identifier; });
    });
    for (const auto& s : spaces)
        if (s.identifier != 0)
            m_spaces.push_back({ s.identifier, display, s.fullScreen });
    if (spaces.empty() || spaces.front().identifier == 0)
        return;
    if (display == 0)
        m_currentSpace = spaces.front().identifier;
    else
        m_displayCurrentSpaces[display] = spaces.front().identifier;
}

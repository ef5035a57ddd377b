#include "CGSSpace.h"

#include <desktop/Desktop.h>

#include <algorithm>

namespace {

Value spaceDescription(const DesktopSpace& space)
{
    return Value::Dictionary { { kCGSManagedSpaceID, Value(static_cast<int64_t>(space.identifier)) },
        { kCGSSpaceTypeKey, Value(space.fullScreen ? kCGSSpaceFullScreen : kCGSSpaceUser) } };
}

const DesktopSpace* findSpace(const std::vector<DesktopDisplaySpaces>& displays, CGSSpaceID space)
{
    for (const auto& display : displays)
        for (const auto& s : display.spaces)
            if (s.identifier == space)
                return &s;
    return nullptr;
}

}

CGSConnectionID CGSMainConnectionID()
{
    // One process, one connection to the window server.
    return 1;
}

Value CGSCopyManagedDisplaySpaces(CGSConnectionID)
{
    Value::Array result;
    for (const auto& display : Desktop::current().displaySpaces()) {
        Value::Array spaces;
        Value current;
        for (const auto& space : display.spaces) {
            spaces.push_back(spaceDescription(space));
            if (space.identifier == display.current)
                current = spaceDescription(space);
        }
        result.push_back(Value::Dictionary { { kCGSDisplayIdentifier, Value(CGDisplayCreateUUIDFromDisplayID(display.display)) },
            { kCGSDisplaySpaces, Value(std::move(spaces)) }, { kCGSDisplayCurrentSpace, current } });
    }
    return Value(std::move(result));
}

CGSSpaceID CGSManagedDisplayGetCurrentSpace(CGSConnectionID, const std::string& displayIdentifier)
{
    auto& desktop = Desktop::current();
    auto displays = desktop.displaySpaces();
    // Displays that share one list show its current space.
    if (!desktop.screensHaveSeparateSpaces()) {
        auto screens = desktop.screens();
        bool known = std::any_of(screens.begin(), screens.end(),
            [&](const DesktopScreen& s) { return CGDisplayCreateUUIDFromDisplayID(s.displayID) == displayIdentifier; });
        return known && !displays.empty() ? displays.front().current : 0;
    }
    for (const auto& display : displays)
        if (CGDisplayCreateUUIDFromDisplayID(display.display) == displayIdentifier)
            return display.current;
    return 0;
}

CGSSpaceID CGSGetActiveSpace(CGSConnectionID) { return Desktop::current().activeSpace(); }

CGSSpaceType CGSSpaceGetType(CGSConnectionID, CGSSpaceID space)
{
    auto displays = Desktop::current().displaySpaces();
    const DesktopSpace* found = findSpace(displays, space);
    if (!found)
        return -1;
    return found->fullScreen ? kCGSSpaceFullScreen : kCGSSpaceUser;
}

std::vector<CGSSpaceID> CGSCopySpacesForWindows(CGSConnectionID, int mask, const std::vector<CGWindowID>& windows)
{
    auto& desktop = Desktop::current();
    auto displays = desktop.displaySpaces();
    std::vector<uint64_t> on;
    for (CGWindowID number : windows)
        if (auto w = desktop.window(number))
            on.push_back(w->space);
    std::vector<CGSSpaceID> result;
    for (const auto& display : displays) {
        for (const auto& space : display.spaces) {
            bool shown = space.identifier == display.current;
            bool wanted = shown ? (mask & kCGSSpaceIncludesCurrent) : (mask & kCGSSpaceIncludesOthers);
            bool holds = std::any_of(on.begin(), on.end(), [&](uint64_t s) { return s == 0 || s == space.identifier; });
            if (wanted && holds)
                result.push_back(space.identifier);
        }
    }
    return result;
}

CGError CGSAddWindowsToSpaces(CGSConnectionID, const std::vector<CGWindowID>& windows, const std::vector<CGSSpaceID>& spaces)
{
    auto& desktop = Desktop::current();
    auto displays = desktop.displaySpaces();
    if (spaces.empty() || std::any_of(spaces.begin(), spaces.end(), [&](CGSSpaceID s) { return !findSpace(displays, s); }))
        return kCGErrorIllegalArgument;
    CGError result = kCGErrorSuccess;
    for (CGWindowID number : windows)
        if (!desktop.moveWindowToSpace(number, spaces.front()))
            result = kCGErrorFailure;
    return result;
}

CGError CGSRemoveWindowsFromSpaces(CGSConnectionID, const std::vector<CGWindowID>& windows, const std::vector<CGSSpaceID>& spaces)
{
    auto& desktop = Desktop::current();
    CGError result = kCGErrorSuccess;
    for (CGWindowID number : windows) {
        auto w = desktop.window(number);
        if (!w)
            continue;
        // On every space, or on one of these: taking it off would leave it
        // on a space it cannot be on alone, or on none.
        if (w->space == 0 || std::find(spaces.begin(), spaces.end(), w->space) != spaces.end())
            result = kCGErrorFailure;
    }
    return result;
}

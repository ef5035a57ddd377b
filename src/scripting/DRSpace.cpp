#include "DRSpace.h"

#include "DRScriptArguments.h"
#include "DRWindow.h"
#include "NSArrayDRExtension.h"
#include "NSScreenDRExtension.h"

#include <appkit/NSScreen.h>
#include <foundation/Format.h>
#include <foundation/Log.h>
#include <javascriptcore/JSContext.h>
#include <javascriptcore/JSExport.h>
#include <services/CGSSpace.h>

#include <algorithm>
#include <optional>

namespace {

// The windows' numbers; nothing (and an error for the calling script) when
// one of them is not a window.
std::optional<std::vector<CGWindowID>> identifiersOf(const std::vector<Ref<DRWindow>>& windows, const char* what)
{
    // Called from a script: the argument must be a list.
    auto arguments = JSContext::currentArguments();
    if (JSContext::currentContext() && (arguments.empty() || !arguments.front().isArray())) {
        DRThrowScriptError(what, "it takes a list of windows.");
        return std::nullopt;
    }
    std::vector<CGWindowID> numbers;
    for (const auto& w : windows) {
        if (!w) {
            DRThrowScriptError(what, "the list must hold windows only.");
            return std::nullopt;
        }
        numbers.push_back(w->identifier());
    }
    return numbers;
}

std::vector<CGSSpaceID> spaceIdentifiers(const Value& display)
{
    std::vector<CGSSpaceID> result;
    if (display[kCGSDisplaySpaces].isArray())
        for (const auto& space : *display[kCGSDisplaySpaces].array())
            result.push_back(static_cast<CGSSpaceID>(space[kCGSManagedSpaceID].integerValue()));
    return result;
}

}

bool DRSpace::isEqual(const NSObject* other) const
{
    auto* space = dynamic_cast<const DRSpace*>(other);
    return space && space->hash() == hash();
}

bool DRSpace::isNormal() const { return CGSSpaceGetType(CGSMainConnectionID(), m_identifier) == kCGSSpaceUser; }

bool DRSpace::isFullScreen() const { return CGSSpaceGetType(CGSMainConnectionID(), m_identifier) == kCGSSpaceFullScreen; }

std::vector<Ref<NSScreen>> DRSpace::screens() const
{
    if (!NSScreen::screensHaveSeparateSpaces())
        return NSScreen::screens();
    Value displays = CGSCopyManagedDisplaySpaces(CGSMainConnectionID());
    if (displays.isArray()) {
        for (const auto& display : *displays.array()) {
            auto spaces = spaceIdentifiers(display);
            if (std::find(spaces.begin(), spaces.end(), m_identifier) == spaces.end())
                continue;
            // A display that is no current screen shows the space nowhere.
            if (auto screen = NSScreenDRExtension::screenForIdentifier(display[kCGSDisplayIdentifier].stringValue()))
                return { screen };
            return {};
        }
    }
    return {};
}

std::vector<Ref<DRWindow>> DRSpace::windows() const { return windowsWithOptions({}); }

std::vector<Ref<DRWindow>> DRSpace::windowsWithOptions(const Value& options) const
{
    auto windows = DRWindow::windows();
    std::erase_if(windows, [&](const Ref<DRWindow>& w) {
        auto spaces = spacesForWindow(*w);
        return std::none_of(spaces.begin(), spaces.end(), [&](const Ref<DRSpace>& s) { return s->isEqual(this); });
    });
    return DRWindow::filteredByOptions(std::move(windows), options);
}

bool DRSpace::addWindows(const std::vector<Ref<DRWindow>>& windows) const
{
    auto numbers = identifiersOf(windows, "Space.addWindows");
    if (!numbers)
        return false;
    CGError error = CGSAddWindowsToSpaces(CGSMainConnectionID(), *numbers, { m_identifier });
    if (error != kCGErrorSuccess)
        NSLog("Error: Could not add windows to space %@. (%d)", std::to_string(m_identifier), error);
    return error == kCGErrorSuccess;
}

bool DRSpace::removeWindows(const std::vector<Ref<DRWindow>>& windows) const
{
    auto numbers = identifiersOf(windows, "Space.removeWindows");
    if (!numbers)
        return false;
    CGError error = CGSRemoveWindowsFromSpaces(CGSMainConnectionID(), *numbers, { m_identifier });
    if (error != kCGErrorSuccess)
        NSLog("Error: Could not remove windows from space %@. (%d)", std::to_string(m_identifier), error);
    return error == kCGErrorSuccess;
}

Ref<NSObject> DRSpace::next() const { return DRNextFrom(all(), *this); }

Ref<NSObject> DRSpace::previous() const { return DRPreviousFrom(all(), *this); }

Ref<DRSpace> DRSpace::active()
{
    CGSSpaceID space = CGSGetActiveSpace(CGSMainConnectionID());
    return space ? std::make_shared<DRSpace>(space) : nullptr;
}

std::vector<Ref<DRSpace>> DRSpace::all()
{
    std::vector<Ref<DRSpace>> result;
    Value displays = CGSCopyManagedDisplaySpaces(CGSMainConnectionID());
    if (displays.isArray())
        for (const auto& display : *displays.array())
            for (CGSSpaceID space : spaceIdentifiers(display))
                result.push_back(std::make_shared<DRSpace>(space));
    return result;
}

Ref<DRSpace> DRSpace::currentSpaceForScreen(const NSScreen& screen)
{
    CGSSpaceID space = CGSManagedDisplayGetCurrentSpace(CGSMainConnectionID(), NSScreenDRExtension::identifier(screen));
    return space ? std::make_shared<DRSpace>(space) : nullptr;
}

std::vector<Ref<DRSpace>> DRSpace::spacesForWindow(const DRWindow& window)
{
    auto on = CGSCopySpacesForWindows(CGSMainConnectionID(), kCGSAllSpacesMask, { window.identifier() });
    auto spaces = all();
    std::erase_if(spaces, [&](const Ref<DRSpace>& s) { return std::find(on.begin(), on.end(), s->identifier()) == on.end(); });
    return spaces;
}

const JSExportClass& DRSpace::exportClass()
{
    static const JSExportClass& c = JSExportClass::define<DRSpace>("Space")
                                        .method("isNormal", &DRSpace::isNormal)
                                        .method("isFullScreen", &DRSpace::isFullScreen)
                                        .method("screens", &DRSpace::screens)
                                        .method("windows:", &DRSpace::windowsWithOptions)
                                        .method("addWindows:", &DRSpace::addWindows)
                                        .method("removeWindows:", &DRSpace::removeWindows)
                                        .classMethod("active", &DRSpace::active)
                                        .classMethod("all", &DRSpace::all)
                                        .adopt(DRIdentifiableJSExport)
                                        .adopt(DRIterableJSExport);
    return c;
}

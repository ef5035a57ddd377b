#include "NSScreenDRExtension.h"

#include "DRExportProtocols.h"
#include "DRSpace.h"
#include "DRWindow.h"
#include "NSArrayDRExtension.h"

#include <javascriptcore/JSExport.h>
#include <services/CGWindow.h>

namespace NSScreenDRExtension {

std::string identifier(const NSScreen& screen)
{
    return CGDisplayCreateUUIDFromDisplayID(static_cast<CGDirectDisplayID>(screen.deviceDescription()["NSScreenNumber"].integerValue()));
}

CGRect flipFrame(const CGRect& frame)
{
    auto screens = NSScreen::screens();
    double height = screens.empty() ? 0 : screens.front()->frame().size.height;
    return { { frame.origin.x, height - frame.origin.y - frame.size.height }, frame.size };
}

CGRect flippedFrame(const NSScreen& screen) { return flipFrame(screen.frame()); }

CGRect flippedVisibleFrame(const NSScreen& screen) { return flipFrame(screen.visibleFrame()); }

std::vector<Ref<DRWindow>> windows(const NSScreen& screen, const Value& options)
{
    auto all = DRWindow::windows();
    std::erase_if(all, [&](const auto& w) {
        auto own = w->screen();
        return !own || !own->isEqual(&screen);
    });
    return DRWindow::filteredByOptions(std::move(all), options);
}

Ref<DRSpace> currentSpace(const NSScreen& screen) { return DRSpace::currentSpaceForScreen(screen); }

std::vector<Ref<DRSpace>> spaces(const NSScreen& screen)
{
    auto all = DRSpace::all();
    std::erase_if(all, [&](const Ref<DRSpace>& space) {
        auto screens = space->screens();
        return std::none_of(screens.begin(), screens.end(), [&](const Ref<NSScreen>& s) { return s->isEqual(&screen); });
    });
    return all;
}

Ref<NSScreen> next(const NSScreen& screen) { return DRNextFrom(NSScreen::screens(), screen); }

Ref<NSScreen> previous(const NSScreen& screen) { return DRPreviousFrom(NSScreen::screens(), screen); }

Ref<NSScreen> screenForIdentifier(const std::string& wanted)
{
    for (const auto& screen : NSScreen::screens())
        if (identifier(*screen) == wanted)
            return screen;
    return nullptr;
}

namespace {


std::string scriptIdentifier(NSObject& self) { return identifier(static_cast<NSScreen&>(self)); }
CGRect scriptFrame(NSObject& self) { return static_cast<NSScreen&>(self).frame(); }
CGRect scriptVisibleFrame(NSObject& self) { return static_cast<NSScreen&>(self).visibleFrame(); }
CGRect scriptFlippedFrame(NSObject& self) { return flippedFrame(static_cast<NSScreen&>(self)); }
CGRect scriptFlippedVisibleFrame(NSObject& self) { return flippedVisibleFrame(static_cast<NSScreen&>(self)); }
Ref<DRSpace> scriptCurrentSpace(NSObject& self) { return currentSpace(static_cast<NSScreen&>(self)); }
std::vector<Ref<DRSpace>> scriptSpaces(NSObject& self) { return spaces(static_cast<NSScreen&>(self)); }
std::vector<Ref<DRWindow>> scriptWindows(NSObject& self, Value options) { return windows(static_cast<NSScreen&>(self), options); }
Ref<NSScreen> scriptNext(NSObject& self) { return next(static_cast<NSScreen&>(self)); }
Ref<NSScreen> scriptPrevious(NSObject& self) { return previous(static_cast<NSScreen&>(self)); }
Ref<NSScreen> mainScreen() { return NSScreen::mainScreen(); }
std::vector<Ref<NSScreen>> allScreens() { return NSScreen::screens(); }

}

const JSExportClass& exportClass()
{
    static const JSExportClass& c = JSExportClass::define<NSScreen>("Screen")
                                        .method("identifier", &scriptIdentifier)
                                        .method("frame", &scriptFrame)
                                        .method("visibleFrame", &scriptVisibleFrame)
                                        .method("flippedFrame", &scriptFlippedFrame)
                                        .method("flippedVisibleFrame", &scriptFlippedVisibleFrame)
                                        .method("currentSpace", &scriptCurrentSpace)
                                        .method("spaces", &scriptSpaces)
                                        .method("windows:", &scriptWindows)
                                        .method("next", &scriptNext)
                                        .method("previous", &scriptPrevious)
                                        .classMethod("main", &mainScreen)
                                        .classMethod("all", &allScreens)
                                        .adopt(DRIdentifiableJSExport);
    return c;
}

}

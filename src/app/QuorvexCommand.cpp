#include "QuorvexCommand.h"

#include <appkit/NSScreen.h>
#include <desktop/sim/SimDesktop.h>
#include <foundation/Format.h>
#include <model/AccessHelper.h>
#include <model/NSScreenExtension.h>
#include <model/SWAccessibilityElement.h>
#include <model/SWApplication.h>
#include <model/SWWindow.h>
#include <foundation/Dispatch.h>
#include <foundation/RunLoop.h>

#include <cstring>
#include <string>

namespace {

std::string rectText(const CGRect& r)
{
    if (CGRectIsNull(r))
        return "(null)";
    return stringWithFormat("(%g, %g, %g, %g)", r.origin.x, r.origin.y, r.size.width, r.size.height);
}

void usage(std::ostream& err) { err << "usage: quorvex [--desktop FILE]\n"; }

}

void printAccessibilityReport(std::ostream& out)
{
    auto screens = NSScreen::screens();
    out << "Screens (top-left coordinates):\n";
    for (size_t i = 0; i < screens.size(); ++i) {
        out << "  screen " << i + 1 << ": frame " << rectText(frameIncludingDockAndMenu(*screens[i])) << ", usable frame "
            << rectText(frameWithoutDockOrMenu(*screens[i])) << "\n";
    }
    out << "Windows (through accessibility):\n";
    for (const auto& app : SWApplication::runningApplications()) {
        auto windows = app->windows();
        if (windows.empty())
            continue;
        out << "  " << app->appName().value_or("?") << " (pid " << app->processIdentifier() << ")\n";
        for (const auto& window : windows) {
            out << "    #" << window->windowID() << " \"" << window->title().value_or("") << "\" frame "
                << rectText(window->frame()) << (window->isWindowMinimized() ? ", minimised" : "")
                << (window->isOnScreen() ? ", on screen" : ", off screen") << "\n";
        }
    }
    out << "Permissions:\n";
    out << "  Accessibility: " << (AccessHelper::accessibilityGranted() ? "granted" : "not granted") << "\n";
    out << "  Screen Recording: " << (AccessHelper::recordScreenGranted() ? "granted" : "not granted") << "\n";
}

int runQuorvex(int argc, const char* const* argv, std::ostream& out, std::ostream& err)
{
    std::string desktopFile;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--desktop") == 0 && i + 1 < argc) {
            desktopFile = argv[++i];
        } else if (std::strcmp(argv[i], "--help") == 0) {
            usage(out);
            return 0;
        } else {
            err << "quorvex: unknown argument \"" << argv[i] << "\"\n";
            usage(err);
            return 2;
        }
    }
    std::string error;
    auto desktop = SimDesktop::fromFile(desktopFile.empty() ? SimDesktop::demoScenarioPath() : desktopFile, &error);
    if (!desktop) {
        err << "quorvex: " << error << "\n";
        return 1;
    }
    Desktop::setCurrent(desktop);
    printAccessibilityReport(out);
    // Window records start their preview captures; let them finish.
    RunLoop::main().runUntilIdle();
    return 0;
}

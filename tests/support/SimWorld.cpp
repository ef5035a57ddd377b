#include "SimWorld.h"

#include <appkit/NSAlert.h>
#include <appkit/NSPasteboard.h>
#include <foundation/Dispatch.h>
#include <services/NSAppleScript.h>
#include <services/PlatformStartup.h>
#include <services/SUUpdater.h>

SimWorld::SimWorld()
{
    install(SimDesktop::demo());
}

SimWorld::SimWorld(const std::string& scenarioJSON)
{
    std::string error;
    auto desktop = SimDesktop::fromScenario(scenarioJSON, "test scenario", &error);
    if (!desktop) {
        ADD_FAILURE() << "scenario does not load: " << error;
        desktop = std::make_shared<SimDesktop>();
    }
    install(desktop);
}

void SimWorld::install(std::shared_ptr<SimDesktop> desktop)
{
    dispatchWaitForBackgroundWork();
    RunLoop::main().reset();
    m_clock = std::make_shared<VirtualClock>();
    Clock::setCurrent(m_clock);
    m_desktop = std::move(desktop);
    m_desktop->clearCallLog();
    PlatformInstallDesktop(m_desktop);
    NSAlert::resetRecords();
    NSAppleScript::resetRecords();
    SUUpdater::sharedUpdater()->reset();
    NSPasteboard::generalPasteboard()->clearContents();
}

SimWorld::~SimWorld()
{
    dispatchWaitForBackgroundWork();
    RunLoop::main().reset();
    installEmptyDesktop();
    Clock::setCurrent(nullptr);
}

void SimWorld::installEmptyDesktop() { PlatformInstallDesktop(std::make_shared<SimDesktop>()); }

void SimWorld::settle() { RunLoop::main().runUntilIdle(); }

void SimWorld::advance(double seconds) { RunLoop::main().runFor(seconds); }

std::string SimWorld::emptyScenario()
{
    return R"({ "screens": [ { "frame": [0, 0, 1440, 900], "visibleFrame": [0, 25, 1440, 875] } ] })";
}

// A clean world for one test: a virtual clock, an empty main run loop, and a
// simulated desktop installed as the current desktop.
#pragma once

#include <desktop/sim/SimDesktop.h>
#include <foundation/Clock.h>
#include <foundation/RunLoop.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

class SimWorld {
public:
    // The demo desktop.
    SimWorld();
    // A desktop from scenario text; the test fails when it does not load.
    explicit SimWorld(const std::string& scenarioJSON);
    ~SimWorld();
    SimWorld(const SimWorld&) = delete;
    SimWorld& operator=(const SimWorld&) = delete;

    SimDesktop& desktop() { return *m_desktop; }
    VirtualClock& clock() { return *m_clock; }
    // Runs the main run loop until nothing is due.
    void settle();
    // Moves virtual time forward, running what becomes due.
    void advance(double seconds);

    // Installs a fresh simulated desktop with no screens and no applications
    // but the system's own process: what the test programs start with and
    // what a world leaves behind.
    static void installEmptyDesktop();

    // A desktop with one screen (0, 0, 1440, 900), usable (0, 25, 1440, 875)
    // and no applications.
    static std::string emptyScenario();

private:
    void install(std::shared_ptr<SimDesktop> desktop);
    std::shared_ptr<VirtualClock> m_clock;
    std::shared_ptr<SimDesktop> m_desktop;
};

// A fixture with a SimWorld on the demo desktop.
class SimTest : public ::testing::Test {
protected:
    SimWorld world;
};

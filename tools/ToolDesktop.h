// The desktop the picture programs draw on: a virtual clock and a simulated
// desktop of one screen with a 25-point menu bar.
#pragma once

#include <desktop/sim/SimDesktop.h>
#include <foundation/Clock.h>

#include <cstdio>
#include <memory>
#include <string>

struct ToolDesktop {
    std::shared_ptr<VirtualClock> clock;
    std::shared_ptr<SimDesktop> desktop;
};

// Installs both; empty, with the reason printed after the program's name,
// when the desktop cannot be made.
inline ToolDesktop installToolDesktop(const char* program, int width, int height)
{
    auto clock = std::make_shared<VirtualClock>();
    Clock::setCurrent(clock);
    std::string scenario = "{ \"screens\": [ { \"frame\": [0, 0, " + std::to_string(width) + ", "
        + std::to_string(height) + "], \"visibleFrame\": [0, 25, " + std::to_string(width) + ", "
        + std::to_string(height - 25) + "] } ] }";
    std::string error;
    auto desktop = SimDesktop::fromScenario(scenario, program, &error);
    if (!desktop) {
        std::fprintf(stderr, "%s: %s\n", program, error.c_str());
        return {};
    }
    Desktop::setCurrent(desktop);
    return { clock, desktop };
}

#include "FuzzTarget.h"

#include <foundation/Clock.h>

#include <filesystem>
#include <memory>
#include <unistd.h>

std::map<std::string, FuzzFunction>& fuzzTargets()
{
    static std::map<std::string, FuzzFunction> targets;
    return targets;
}

void fuzzPrepareWorld()
{
    static bool prepared = false;
    if (prepared)
        return;
    prepared = true;
    // Settings never reach the person's own folder.
    auto home = std::filesystem::temp_directory_path() / ("quorvex-fuzz-" + std::to_string(getpid()));
    std::filesystem::create_directories(home);
    ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    static auto clock = std::make_shared<VirtualClock>();
    Clock::setCurrent(clock);
}

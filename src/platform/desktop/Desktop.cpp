#include "Desktop.h"

#include "sim/SimDesktop.h"

#include <mutex>

namespace {
std::mutex gDesktopMutex;
std::shared_ptr<Desktop>& slot()
{
    static std::shared_ptr<Desktop> desktop;
    return desktop;
}
}

Desktop& Desktop::current() { return *currentShared(); }

std::shared_ptr<Desktop> Desktop::currentShared()
{
    std::lock_guard lock(gDesktopMutex);
    if (!slot())
        slot() = std::make_shared<SimDesktop>();
    return slot();
}

void Desktop::setCurrent(std::shared_ptr<Desktop> desktop)
{
    std::lock_guard lock(gDesktopMutex);
    slot() = std::move(desktop);
}

#include "NSApplicationMainMenu.h"

#include <mutex>

namespace {
std::mutex gMainMenuMutex;
Ref<NSMenu>& mainMenuSlot()
{
    static auto* slot = new Ref<NSMenu>();
    return *slot;
}
}

Ref<NSMenu> mainMenu(const NSApplication&)
{
    std::lock_guard lock(gMainMenuMutex);
    return mainMenuSlot();
}

void setMainMenu(NSApplication&, const Ref<NSMenu>& menu)
{
    std::lock_guard lock(gMainMenuMutex);
    mainMenuSlot() = menu;
}

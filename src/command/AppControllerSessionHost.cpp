#include <app/AppController.h>
#include "QuorvexSession.h"

#include <appkit/NSArrayController.h>
#include <model/SWWindow.h>
#include <switcher/SwitchWindowController.h>

bool AppControllerSessionHost::isPanelVisible() { return m_controller.switcherVisible(); }

std::optional<std::string> AppControllerSessionHost::selectedTitle()
{
    if (!m_controller.switcherVisible())
        return std::nullopt;
    auto window = m_controller.windowController()->selectedWindow();
    return window ? window->title() : std::nullopt;
}

size_t AppControllerSessionHost::shownCount()
{
    auto list = m_controller.windowsArrayController();
    return list ? list->arrangedObjects().size() : 0;
}

// The application's main menu (NSApp's mainMenu property), kept beside
// the application object.
#pragma once

#include "NSApplication.h"
#include "NSMenu.h"

Ref<NSMenu> mainMenu(const NSApplication& application);
void setMainMenu(NSApplication& application, const Ref<NSMenu>& menu);

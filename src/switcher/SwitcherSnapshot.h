// A picture of the switcher at work, for the quorvex command: the panel
// opened on the current simulated desktop's window list, as a hotkey press
// with its modifier held opens it, and the whole desktop saved as PNG.
#pragma once

#include "SwitcherCodes.h"

#include <string>

// Opens the panel with the theme ("ThemeIndex" for the duration of the
// call; the stored value comes back afterwards) and the layout "LayoutType"
// names, with the list's second entry selected, and writes a screenshot of
// the desktop to the path. The panel is then closed without switching.
// False, with the reason in the error, when the desktop is not a simulated
// one, no layout is available for "LayoutType", or the file cannot be
// written.
bool writeSwitcherSnapshot(SwitcherTheme theme, const std::string& pngPath, std::string* error = nullptr);

// A picture of the switcher at work, for the quorvex command: the panel
// opened on the current simulated desktop's window list, as a hotkey press
// with its modifier held opens it, and the whole desktop saved as PNG.
#pragma once

#include <switcher/SwitcherCodes.h>

#include <foundation/Value.h>
#include <graphics/CGImage.h>
#include <model/WindowManager.h>

#include <string>
#include <utility>
#include <vector>

// Settings by their user-defaults keys.
using SwitcherSettings = std::vector<std::pair<std::string, Value>>;

// Opens the panel with the theme (read as "ThemeIndex" for the duration of
// the call through the argument domain; the stored settings are never
// written) and the layout "LayoutType" names, with the list's second entry
// selected, and writes a screenshot of the desktop to the path. The list comes from a window model and a panel
// controller of the call's own; Option is held on the desktop's keyboard
// while the panel is open. Afterwards the panel is closed without
// switching, and the keyboard and the frontmost application are as they
// were.
// False, with the reason in the error, when the desktop is not a simulated
// one, no layout is available for "LayoutType", or the file cannot be
// written.
bool writeSwitcherSnapshot(SwitcherTheme theme, const std::string& pngPath, std::string* error = nullptr);
// The same with any settings (the layout, its style) read in place of the
// stored ones for the duration of the call, in the same way.
bool writeSwitcherSnapshot(const SwitcherSettings& settings, const std::string& pngPath, std::string* error = nullptr);
// The same over a window model that has made its start-up scan (so that
// several pictures share one model and its previews).
bool writeSwitcherSnapshot(const SwitcherSettings& settings, const Ref<WindowManager>& model,
    const std::string& pngPath, std::string* error = nullptr);
// The picture alone, for a caller that writes it (or several) itself; null,
// with the reason in the error, where writeSwitcherSnapshot fails before
// writing.
CGImageRef takeSwitcherSnapshot(const SwitcherSettings& settings, const Ref<WindowManager>& model, std::string* error = nullptr);

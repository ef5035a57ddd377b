// The names of the system's settings in the user defaults. Stored files
// keep these names, so they never change.
#pragma once

namespace DefaultsKey {
inline constexpr const char* LayoutType = "LayoutType";
inline constexpr const char* ThemeIndex = "ThemeIndex";
inline constexpr const char* ShowOnScreen = "ShowOnScreen";
inline constexpr const char* Style3DIndex = "Style3DIndex";
inline constexpr const char* Animation3D = "Animation3D";
inline constexpr const char* FullScreenMode = "FullScreenMode";
inline constexpr const char* ShotcutsHints = "ShotcutsHints";
inline constexpr const char* KeyboardShotcuts = "KeyboardShotcuts";
inline constexpr const char* ShowIconInDock = "ShowIconInDock";
inline constexpr const char* HideMenuBarIcon = "HideMenuBarIcon";
inline constexpr const char* CMTEnableAutomaticChecks = "CMTEnableAutomaticChecks";
inline constexpr const char* CMCheckForUpdatesInBackground = "CMCheckForUpdatesInBackground";
inline constexpr const char* SUUpdaterChecksForBetaUpdates = "SUUpdaterChecksForBetaUpdates";
inline constexpr const char* AllWindowsHotkeyIndex = "AllWindowsHotkeyIndex";
inline constexpr const char* OnScreenWindowsHotkeyIndex = "OnScreenWindowsHotkeyIndex";
inline constexpr const char* ActiveAppWindowsHotKeyIndex = "ActiveAppWindowsHotKeyIndex";
inline constexpr const char* ShowAllWindowsCustomKey = "ShowAllWindowsCustomKey";
inline constexpr const char* ShowOnScreenWindowsCustomKey = "ShowOnScreenWindowsCustomKey";
inline constexpr const char* ShowActiveAppWindows = "ShowActiveAppWindows";
}

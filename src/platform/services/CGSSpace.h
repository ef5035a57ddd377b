// The window server's spaces (virtual desktops): which spaces each display
// offers and shows, the active one, a window's spaces, and moving windows
// between them. Every call takes the connection of CGSMainConnectionID.
#pragma once

#include "CGWindow.h"

#include <foundation/Value.h>

#include <string>
#include <vector>

using CGSConnectionID = int32_t;
using CGSSpaceID = uint64_t;

// The space types.
using CGSSpaceType = int32_t;
inline constexpr CGSSpaceType kCGSSpaceUser = 0;
inline constexpr CGSSpaceType kCGSSpaceFullScreen = 4;

// Which of a window's spaces CGSCopySpacesForWindows reports: those shown
// now, the others, or (with both, and 4 for the system's own spaces, which
// these desktops do not have) all of them.
inline constexpr int kCGSSpaceIncludesCurrent = 1;
inline constexpr int kCGSSpaceIncludesOthers = 2;
inline constexpr int kCGSAllSpacesMask = 7;

// Dictionary keys of CGSCopyManagedDisplaySpaces.
inline const std::string kCGSDisplayIdentifier = "Display Identifier";
inline const std::string kCGSDisplaySpaces = "Spaces";
inline const std::string kCGSDisplayCurrentSpace = "Current Space";
inline const std::string kCGSManagedSpaceID = "ManagedSpaceID";
inline const std::string kCGSSpaceTypeKey = "type";

CGSConnectionID CGSMainConnectionID();
// One dictionary per display, in the screens' order: its UUID (the text of
// CGDisplayCreateUUIDFromDisplayID) under "Display Identifier", its spaces
// in order under "Spaces" and the one it shows under "Current Space", each
// space a dictionary {"ManagedSpaceID": number, "type": type}. When screens
// do not have separate spaces there is one dictionary, for the main display.
Value CGSCopyManagedDisplaySpaces(CGSConnectionID connection);
// The space a display (by UUID) shows; 0 for a display the desktop does not
// have.
CGSSpaceID CGSManagedDisplayGetCurrentSpace(CGSConnectionID connection, const std::string& displayIdentifier);
// The space the user works in; 0 when there is none.
CGSSpaceID CGSGetActiveSpace(CGSConnectionID connection);
// kCGSSpaceUser or kCGSSpaceFullScreen; -1 for a space that does not exist.
CGSSpaceType CGSSpaceGetType(CGSConnectionID connection, CGSSpaceID space);
// The spaces the windows are on, as the mask selects, in the displays'
// order; a window on every space is on each of them.
std::vector<CGSSpaceID> CGSCopySpacesForWindows(CGSConnectionID connection, int mask, const std::vector<CGWindowID>& windows);
// A window is on one space here (or on all): adding windows to spaces puts
// each on the first of them. kCGErrorIllegalArgument when no space is given
// or one of them does not exist; kCGErrorFailure when a window could not be
// moved (the others still are).
CGError CGSAddWindowsToSpaces(CGSConnectionID connection, const std::vector<CGWindowID>& windows, const std::vector<CGSSpaceID>& spaces);
// Takes windows off spaces. A window is never left on no space, so taking
// one off the only space it is on is refused (kCGErrorFailure, the others
// still go); a window that is not on the spaces is left as it is.
CGError CGSRemoveWindowsFromSpaces(CGSConnectionID connection, const std::vector<CGWindowID>& windows, const std::vector<CGSSpaceID>& spaces);

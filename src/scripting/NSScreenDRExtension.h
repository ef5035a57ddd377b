// Screens as scripts see them (the global "Screen"): the platform's screen
// objects with the scripting layer's operations. Frames are the platform's
// (bottom-left origin, y upwards); flipped frames use the windows' and the
// mouse's top-left origin.
#pragma once

#include <appkit/NSScreen.h>
#include <foundation/Value.h>

#include <string>
#include <vector>

class DRSpace;
class DRWindow;
class JSExportClass;

namespace NSScreenDRExtension {

// The display's UUID, upper-case hexadecimal groups 8-4-4-4-12.
std::string identifier(const NSScreen& screen);
// y' = H - y - height, H the height of the first screen (0 with none).
CGRect flipFrame(const CGRect& frame);
CGRect flippedFrame(const NSScreen& screen);
CGRect flippedVisibleFrame(const NSScreen& screen);
// The windows on the screen, then the "visible" option.
std::vector<Ref<DRWindow>> windows(const NSScreen& screen, const Value& options);
// The space the screen shows; nothing when the desktop has none for it.
Ref<DRSpace> currentSpace(const NSScreen& screen);
// The spaces of Space.all() that the screen shows, in that order.
std::vector<Ref<DRSpace>> spaces(const NSScreen& screen);
Ref<NSScreen> next(const NSScreen& screen);
Ref<NSScreen> previous(const NSScreen& screen);
Ref<NSScreen> screenForIdentifier(const std::string& identifier);

const JSExportClass& exportClass();

}

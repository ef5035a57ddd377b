// Windows of this process.
#pragma once

#include <desktop/DesktopTypes.h>
#include <foundation/NSObject.h>

#include <vector>

using NSWindowNumberListOptions = uint32_t;
inline constexpr NSWindowNumberListOptions NSWindowNumberListAllApplications = 1 << 0;
inline constexpr NSWindowNumberListOptions NSWindowNumberListAllSpaces = 1 << 4;

class NSWindow : public NSObject {
public:
    // Numbers of the windows on screen, front to back: this process's only
    // unless all applications are asked for, the current space's only unless
    // all spaces are. Minimised windows and hidden applications' windows
    // are not on screen on any space.
    static std::vector<CGWindowID> windowNumbersWithOptions(NSWindowNumberListOptions options);
};

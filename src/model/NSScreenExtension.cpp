#include "NSScreenExtension.h"

#include <appkit/NSEvent.h>
#include <services/CGWindow.h>

#include <algorithm>
#include <cmath>

namespace {

double primaryHeight()
{
    auto screens = NSScreen::screens();
    return screens.empty() ? 0 : screens.front()->frame().size.height;
}

CGRect flipped(const CGRect& r, double height) { return { { r.origin.x, height - r.origin.y - r.size.height }, r.size }; }

Ref<NSScreen> neighbour(const NSScreen& screen, int step)
{
    auto screens = NSScreen::screens();
    auto it = std::find_if(screens.begin(), screens.end(), [&](const Ref<NSScreen>& s) { return s->isEqual(&screen); });
    if (it == screens.end())
        return nullptr;
    long count = static_cast<long>(screens.size());
    long index = (it - screens.begin() + step + count) % count;
    return screens[index];
}

}

CGRect frameIncludingDockAndMenu(const NSScreen& screen) { return flipped(screen.frame(), primaryHeight()); }

CGRect frameWithoutDockOrMenu(const NSScreen& screen) { return flipped(screen.visibleFrame(), primaryHeight()); }

Ref<NSScreen> nextScreen(const NSScreen& screen) { return neighbour(screen, 1); }

Ref<NSScreen> previousScreen(const NSScreen& screen) { return neighbour(screen, -1); }

Ref<NSScreen> currentScreenForMouseLocation()
{
    NSPoint mouse = NSEvent::mouseLocation();
    for (const auto& screen : NSScreen::screens())
        if (NSMouseInRect(mouse, screen->frame(), false))
            return screen;
    return nullptr;
}

NSPoint convertPointToScreenCoordinates(const NSScreen& screen, const NSPoint& point)
{
    NSRect frame = screen.frame();
    return { roundToFloat(std::fabs(std::fabs(frame.origin.x) - std::fabs(point.x))), roundToFloat(point.y - frame.origin.y) };
}

NSPoint flipPoint(const NSScreen& screen, const NSPoint& point) { return { point.x, screen.frame().size.height - point.y }; }

Ref<NSScreen> originScreen()
{
    for (const auto& screen : NSScreen::screens())
        if (screen->frame().origin.x == 0 && screen->frame().origin.y == 0)
            return screen;
    return nullptr;
}

bool rotateTo(const NSScreen& screen, int)
{
    // Displays are found in global display coordinates, whose origin is the
    // primary screen's top-left corner, so the frame is flipped first.
    constexpr uint32_t kMaxDisplays = 50;
    CGDirectDisplayID displays[kMaxDisplays];
    uint32_t count = 0;
    if (CGGetDisplaysWithRect(frameIncludingDockAndMenu(screen), kMaxDisplays, displays, &count) != kCGErrorSuccess)
        return false;
    if (count != 1)
        return false;
    IOServiceRequestProbe(CGDisplayIOServicePort(displays[0]), kIOFBSetTransform);
    return true;
}

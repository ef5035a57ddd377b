// Helpers shared by the switcher tests: user defaults kept in a temporary
// directory, desktops with a given number of windows, and rendered pixels.
#pragma once

#include "support/Pixels.h"
#include "support/SimWorld.h"
#include "support/DefaultsSandbox.h"
#include "support/TemporaryDirectory.h"

#include <appkit/NSWindow.h>
#include <desktop/DesktopTypes.h>
#include <foundation/NSUserDefaults.h>
#include <graphics/NSBitmapImageRep.h>
#include <appkit/NSArrayController.h>
#include <model/SWWindow.h>
#include <model/WindowManager.h>
#include <services/AXUIElement.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

// One screen (0, 0, 1440, 900) with the given usable height below a 25-point
// menu bar, and n windows of their own applications: window 100 + i of pid
// 1000 + i, front to back in that order. Window i is 600 x 400 unless a
// wider frame is asked for the first one.
inline std::string scenarioWithWindows(int n, double usableHeight = 875, bool wideFirstWindow = false)
{
    std::ostringstream s;
    s << R"({ "screens": [ { "frame": [0, 0, 1440, 900], "visibleFrame": [0, 25, 1440, )" << usableHeight
      << R"(] } ], "apps": [)";
    for (int i = 0; i < n; ++i) {
        int width = (i == 0 && wideFirstWindow) ? 800 : 600;
        int height = (i == 0 && wideFirstWindow) ? 300 : 400;
        s << (i ? "," : "") << R"({ "pid": )" << 1000 + i << R"(, "name": "App )" << i
          << R"(", "windows": [ { "id": )" << 100 + i << R"(, "title": "Window )" << i << R"(", "frame": [)"
          << 40 + 30 * i << ", " << 60 + 20 * i << ", " << width << ", " << height << "] } ] }";
    }
    s << "], \"order\": [";
    for (int i = 0; i < n; ++i)
        s << (i ? "," : "") << 100 + i;
    s << "] }";
    return s.str();
}

inline Ref<SWWindow> windowRecord(CGWindowID number)
{
    return SWWindow::windowWithAXElement(makeRef<AXUIElement>(
        DesktopElement { DesktopElement::Kind::Window, static_cast<pid_t>(number + 900), number }));
}

// The pixel of a window's rendered image at a point of its base
// coordinates (origin bottom-left).
inline Pixel pixelAtBase(const DesktopImage& image, CGPoint base)
{
    return pixelAt(
        image, static_cast<int>(std::floor(base.x)), image.height - 1 - static_cast<int>(std::floor(base.y)));
}

// A PNG file read back as RGBA rows from the top; empty when it does not
// decode.
inline DesktopImage readPNGFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    auto rep = NSBitmapImageRep::imageRepWithData(bytes);
    DesktopImage image;
    if (!rep || rep->bitsPerPixel() != 32) return image;
    image.width = static_cast<int>(rep->pixelsWide());
    image.height = static_cast<int>(rep->pixelsHigh());
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* row = rep->bitmapData() + static_cast<size_t>(y) * rep->bytesPerRow();
        image.rgba.insert(image.rgba.end(), row, row + static_cast<size_t>(image.width) * 4);
    }
    return image;
}

// The window model after its start-up, listing every window, with the list
// bound to its windows as the application binds the panel's list.
inline Ref<WindowManager> startModelListingEveryWindow(SimWorld& world, const Ref<NSArrayController>& list)
{
    auto model = WindowManager::create();
    world.settle();
    world.advance(std::max(WindowManager::kFirstSortOrderDelay, WindowManager::kBadgesDelay));
    model->setFilterType(WindowFilterAll);
    world.settle();
    list->bind("contentArray", model, "windows");
    return model;
}


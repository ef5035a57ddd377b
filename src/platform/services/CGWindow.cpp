#include "CGWindow.h"

#include <appkit/CGEvent.h>

#include <cmath>
#include <cstdio>

#include <desktop/Desktop.h>
#include <foundation/Format.h>

#include <algorithm>

namespace {

// The windows the option asks for, as positions in the front-to-back list.
std::vector<size_t> select(const std::vector<DesktopWindow>& all, CGWindowListOption option, CGWindowID relativeTo)
{
    bool onScreenOnly = option & kCGWindowListOptionOnScreenOnly;
    bool above = option & kCGWindowListOptionOnScreenAboveWindow;
    bool below = option & kCGWindowListOptionOnScreenBelowWindow;
    bool including = option & kCGWindowListOptionIncludingWindow;
    bool excludeDesktop = option & kCGWindowListExcludeDesktopElements;

    std::vector<size_t> result;
    auto relative = std::find_if(all.begin(), all.end(), [&](const DesktopWindow& w) { return w.number == relativeTo; });
    bool haveRelative = relativeTo != kCGNullWindowID && relative != all.end();

    if ((above || below) && haveRelative) {
        size_t index = relative - all.begin();
        for (size_t i = 0; i < all.size(); ++i) {
            bool take = (above && i < index) || (below && i > index) || (including && i == index);
            if (take && (all[i].onScreen || i == index))
                result.push_back(i);
        }
    } else if (including && !above && !below) {
        if (haveRelative)
            result.push_back(size_t(relative - all.begin()));
    } else {
        for (size_t i = 0; i < all.size(); ++i)
            if (!(onScreenOnly || above || below) || all[i].onScreen)
                result.push_back(i);
    }
    if (excludeDesktop)
        std::erase_if(result, [&](size_t i) { return all[i].layer < 0; });
    return result;
}

// The windows a selection looks at: a question about one window alone asks
// the desktop for that window only, not for the whole list.
std::vector<DesktopWindow> candidates(Desktop& desktop, CGWindowListOption option, CGWindowID relativeTo)
{
    bool alone = (option & kCGWindowListOptionIncludingWindow)
        && !(option & (kCGWindowListOptionOnScreenAboveWindow | kCGWindowListOptionOnScreenBelowWindow));
    if (!alone)
        return desktop.windows();
    if (relativeTo == kCGNullWindowID)
        return {};
    if (auto window = desktop.window(relativeTo))
        return { *window };
    return {};
}

}

Value CGWindowListCopyWindowInfo(CGWindowListOption option, CGWindowID relativeToWindow)
{
    auto& desktop = Desktop::current();
    auto windows = candidates(desktop, option, relativeToWindow);
    auto selected = select(windows, option, relativeToWindow);
    bool namesVisible = desktop.isScreenRecordingGranted();
    pid_t own = desktop.ownProcessIdentifier();
    Value::Array list;
    list.reserve(selected.size());
    for (size_t index : selected) {
        const auto& w = windows[index];
        Value::Dictionary info;
        info[kCGWindowNumber] = Value(static_cast<int64_t>(w.number));
        info[kCGWindowOwnerPID] = Value(static_cast<int64_t>(w.pid));
        if (auto app = desktop.application(w.pid))
            info[kCGWindowOwnerName] = Value(app->name);
        if (w.title && (namesVisible || w.pid == own))
            info[kCGWindowName] = Value(*w.title);
        info[kCGWindowLayer] = Value(static_cast<int64_t>(w.layer));
        info[kCGWindowAlpha] = Value(w.alpha);
        info[kCGWindowBounds] = Value(Value::Dictionary {
            { "X", Value(w.frame.origin.x) },
            { "Y", Value(w.frame.origin.y) },
            { "Width", Value(w.frame.size.width) },
            { "Height", Value(w.frame.size.height) },
        });
        if (w.onScreen)
            info[kCGWindowIsOnscreen] = Value(true);
        info[kCGWindowSharingState] = Value(static_cast<int64_t>(1));
        info[kCGWindowStoreType] = Value(static_cast<int64_t>(1));
        info[kCGWindowMemoryUsage] = Value(static_cast<int64_t>(w.frame.size.width * w.frame.size.height * 4));
        list.emplace_back(std::move(info));
    }
    return Value(std::move(list));
}

std::vector<CGWindowID> CGWindowListCreate(CGWindowListOption option, CGWindowID relativeToWindow)
{
    auto windows = candidates(Desktop::current(), option, relativeToWindow);
    auto selected = select(windows, option, relativeToWindow);
    std::vector<CGWindowID> numbers;
    numbers.reserve(selected.size());
    for (size_t index : selected)
        numbers.push_back(windows[index].number);
    return numbers;
}

bool CGScreenRecordingIsGated() { return Desktop::current().gatesScreenRecording(); }

CGDirectDisplayID CGMainDisplayID() { return Desktop::current().mainDisplay(); }

CGError CGGetDisplaysWithRect(CGRect rect, uint32_t maxDisplays, CGDirectDisplayID* displays, uint32_t* matchingDisplayCount)
{
    if (!matchingDisplayCount)
        return kCGErrorIllegalArgument;
    *matchingDisplayCount = 0;
    if (CGRectIsNull(rect))
        return kCGErrorIllegalArgument;
    for (const auto& screen : Desktop::current().screens()) {
        auto overlap = CGRectIntersection(screen.frame, rect);
        if (CGRectIsNull(overlap) || overlap.size.width <= 0 || overlap.size.height <= 0)
            continue;
        if (displays && *matchingDisplayCount < maxDisplays)
            displays[*matchingDisplayCount] = screen.displayID;
        ++*matchingDisplayCount;
    }
    if (displays && *matchingDisplayCount > maxDisplays)
        *matchingDisplayCount = maxDisplays;
    return kCGErrorSuccess;
}

CGDisplayStreamRef CGDisplayStreamCreate(CGDirectDisplayID display, size_t outputWidth, size_t outputHeight,
    int32_t pixelFormat, const Value&, CGDisplayStream::FrameHandler handler)
{
    if (outputWidth == 0 || outputHeight == 0)
        return nullptr;
    if (!Desktop::current().createDisplayStream(display))
        return nullptr;
    return makeRef<CGDisplayStream>(display, outputWidth, outputHeight, pixelFormat, std::move(handler));
}

io_service_t CGDisplayIOServicePort(CGDirectDisplayID display) { return display; }

kern_return_t IOServiceRequestProbe(io_service_t service, uint32_t options)
{
    return Desktop::current().requestDisplayProbe(service, options) ? KERN_SUCCESS : kIOReturnNotFound;
}

namespace {

// A bijection of 64-bit numbers that spreads neighbouring inputs apart.
uint64_t mix64(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

}

std::string CGDisplayCreateUUIDFromDisplayID(CGDirectDisplayID display)
{
    uint64_t high = mix64(display);
    uint64_t low = mix64(high ^ 0x51A7D15Bu);
    // Version 4 layout bits, so that the text reads as a well-formed UUID.
    high = (high & ~0xF000ull) | 0x4000ull;
    low = (low & ~(0xC000ull << 48)) | (0x8000ull << 48);
    char text[37];
    std::snprintf(text, sizeof text, "%08X-%04X-%04X-%04X-%012llX", static_cast<unsigned>(high >> 32),
        static_cast<unsigned>((high >> 16) & 0xFFFF), static_cast<unsigned>(high & 0xFFFF), static_cast<unsigned>(low >> 48),
        static_cast<unsigned long long>(low & 0xFFFFFFFFFFFFull));
    return text;
}

CGError CGWarpMouseCursorPosition(CGPoint point)
{
    if (!std::isfinite(point.x) || !std::isfinite(point.y))
        return kCGErrorIllegalArgument;
    CGEventPost(kCGHIDEventTap, CGEventCreateMouseEvent(nullptr, kCGEventMouseMoved, point, kCGMouseButtonLeft));
    return kCGErrorSuccess;
}

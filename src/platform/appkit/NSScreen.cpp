#include "NSScreen.h"

#include "NSApplication.h"
#include "NSWindow.h"

#include <desktop/Desktop.h>
#include <foundation/Format.h>

#include <map>
#include <mutex>

namespace {
std::mutex gScreensMutex;
std::map<CGDirectDisplayID, Ref<NSScreen>>& screenCache()
{
    static auto* cache = new std::map<CGDirectDisplayID, Ref<NSScreen>>();
    return *cache;
}

double primaryHeight(const std::vector<DesktopScreen>& screens) { return screens.empty() ? 0 : screens.front().frame.size.height; }

CGRect flip(const CGRect& r, double height) { return { { r.origin.x, height - r.origin.y - r.size.height }, r.size }; }
}

std::vector<Ref<NSScreen>> NSScreen::screens()
{
    auto list = Desktop::current().screens();
    double height = primaryHeight(list);
    std::lock_guard lock(gScreensMutex);
    std::vector<Ref<NSScreen>> result;
    for (const auto& s : list) {
        auto& slot = screenCache()[s.displayID];
        if (!slot)
            slot = makeRef<NSScreen>(s.displayID);
        slot->m_frame = flip(s.frame, height);
        slot->m_visibleFrame = flip(s.visibleFrame, height);
        slot->m_picture = s.desktopPicture;
        result.push_back(slot);
    }
    return result;
}

bool NSScreen::screensHaveSeparateSpaces() { return Desktop::current().screensHaveSeparateSpaces(); }

Ref<NSScreen> NSScreen::mainScreen()
{
    if (auto key = NSApp().keyWindow())
        if (auto screen = key->screen())
            return screen;
    auto list = screens();
    return list.empty() ? nullptr : list.front();
}

Value NSScreen::deviceDescription() const
{
    return Value(Value::Dictionary { { "NSScreenNumber", Value(static_cast<int64_t>(m_displayID)) } });
}

bool NSScreen::isEqual(const NSObject* other) const
{
    auto s = dynamic_cast<const NSScreen*>(other);
    return s && s->m_displayID == m_displayID;
}

std::string NSScreen::description() const
{
    return stringWithFormat("<NSScreen: %p; display %u; frame %@>", static_cast<const void*>(this), m_displayID, NSStringFromRect(m_frame));
}

CGRect NSScreenFlipRect(const CGRect& rect) { return flip(rect, primaryHeight(Desktop::current().screens())); }

#include "SWWindow.h"

#include "NSScreenExtension.h"
#include "SWApplication.h"
#include "SWSystemWideElement.h"
#include "SWUniversalAccessHelper.h"

#include <appkit/CGEvent.h>
#include <appkit/NSEvent.h>
#include <graphics/NSImage.h>
#include <foundation/Dispatch.h>
#include <foundation/Log.h>
#include <services/CGWindow.h>
#include <services/Processes.h>

#include <algorithm>
#include <cmath>
#include <set>

Ref<SWWindow> SWWindow::windowWithAXElement(const AXUIElementRef& element)
{
    if (!element)
        return nullptr;
    auto window = makeRef<SWWindow>(element);
    if (window->isOnScreen())
        window->updatePreview();
    return window;
}

SWWindow::SWWindow(AXUIElementRef element)
    : SWAccessibilityElement(std::move(element))
{
}

Ref<SWAccessibilityElement> SWWindow::copy() const { return windowWithAXElement(axElementRef()); }

bool SWWindow::isKindOfReceiverClass(const NSObject* other) const { return dynamic_cast<const SWWindow*>(other) != nullptr; }

Value SWWindow::valueForKey(const std::string& key) const
{
    if (key == "title") {
        auto t = title();
        return t ? Value(*t) : Value();
    }
    if (key == "previewImage")
        return Value(previewImage());
    if (key == "hotkeyIndexText") {
        auto t = hotkeyIndexText();
        return t ? Value(*t) : Value();
    }
    if (key == "sortOrder")
        return Value(static_cast<int64_t>(sortOrder()));
    if (key == "win_id" || key == "windowID")
        return Value(static_cast<int64_t>(windowID()));
    if (key == "appName") {
        auto n = appName();
        return n ? Value(*n) : Value();
    }
    if (key == "appIcon")
        return Value(appIcon());
    if (key == "windowDict")
        return windowDict();
    return SWAccessibilityElement::valueForKey(key);
}

Ref<NSImage> SWWindow::previewImage() const
{
    std::lock_guard lock(m_mutex);
    return m_previewImage;
}

void SWWindow::setPreviewImage(Ref<NSImage> image)
{
    std::lock_guard lock(m_mutex);
    m_previewImage = std::move(image);
}

std::optional<std::string> SWWindow::hotkeyIndexText() const
{
    std::lock_guard lock(m_mutex);
    return m_hotkeyIndexText;
}

void SWWindow::setHotkeyIndexText(std::optional<std::string> text)
{
    // The same badge again changes nothing: bound badges are not told.
    if (hotkeyIndexText() == text)
        return;
    willChangeValueForKey("hotkeyIndexText");
    {
        std::lock_guard lock(m_mutex);
        m_hotkeyIndexText = std::move(text);
    }
    didChangeValueForKey("hotkeyIndexText");
}

Value SWWindow::windowDict() const
{
    std::lock_guard lock(m_mutex);
    return m_windowDict;
}

void SWWindow::setWindowDict(Value dict)
{
    std::lock_guard lock(m_mutex);
    m_windowDict = std::move(dict);
}

CGWindowID SWWindow::windowID() const
{
    CGWindowID cached = m_windowID.load();
    if (cached)
        return cached;
    CGWindowID number = 0;
    if (_AXUIElementGetWindow(axElementRef(), &number) != kAXErrorSuccess)
        return 0;
    m_windowID.store(number);
    return number;
}

bool SWWindow::isWindowMinimized() const { return numberForKey("AXMinimized").boolValue(); }

bool SWWindow::isNormalWindow() const
{
    // Read in place (every filter asks for every window): a window without
    // a subrole it can tell counts as normal.
    Value subrole;
    if (AXUIElementCopyAttributeValue(axElementRef(), "AXSubrole", &subrole) != kAXErrorSuccess || !subrole.isString())
        return true;
    return *subrole.string() == "AXStandardWindow";
}

bool SWWindow::isSheet() const { return role() == std::optional<std::string>("AXSheet"); }

bool SWWindow::isActive() const
{
    if (numberForKey("AXHidden").boolValue())
        return false;
    return !isWindowMinimized();
}

bool SWWindow::isOnScreen() const
{
    if (!isActive())
        return false;
    CGWindowID number = windowID();
    if (number == kCGNullWindowID)
        return false;
    // The window server's description of this window alone: this runs for
    // each record made, so the whole list is not read.
    Value info = CGWindowListCopyWindowInfo(kCGWindowListOptionIncludingWindow, number);
    return info.isArray() && !info.array()->empty() && info.array()->front()[kCGWindowIsOnscreen].boolValue();
}

Ref<SWApplication> SWWindow::app() const
{
    pid_t pid = processIdentifier();
    if (pid < 1)
        return nullptr;
    return SWApplication::applicationWithRunningApplication(NSRunningApplication::runningApplicationWithProcessIdentifier(pid));
}

std::optional<std::string> SWWindow::appName() const
{
    auto application = app();
    return application ? application->appName() : std::nullopt;
}

Ref<NSImage> SWWindow::appIcon() const
{
    auto application = app();
    return application ? application->icon() : nullptr;
}

Ref<NSScreen> SWWindow::screen() const
{
    CGRect frame = this->frame();
    Ref<NSScreen> best;
    double bestArea = 0;
    for (const auto& screen : NSScreen::screens()) {
        CGRect overlap = CGRectIntersection(frameIncludingDockAndMenu(*screen), frame);
        if (CGRectIsNull(overlap))
            continue;
        double area = overlap.size.width * overlap.size.height;
        // Only a strictly larger area wins, so the first screen wins a tie.
        if (area > bestArea) {
            bestArea = area;
            best = screen;
        }
    }
    return best;
}

bool SWWindow::focusWindow()
{
    if (isWindowMinimized())
        unMinimize();
    if (AXUIElementSetAttributeValue(axElementRef(), "AXMain", Value(true)) != kAXErrorSuccess)
        return false;
    ProcessSerialNumber psn;
    if (GetProcessForPID(processIdentifier(), &psn) == noErr)
        SetFrontProcessWithOptions(&psn, kSetFrontProcessFrontWindowOnly);
    return true;
}

bool SWWindow::activateWindow()
{
    bool focused = focusWindow();
    updatePreview();
    return focused;
}

void SWWindow::close()
{
    Value button;
    if (AXUIElementCopyAttributeValue(axElementRef(), "AXCloseButton", &button) != kAXErrorSuccess)
        return;
    // Only an element can be pressed.
    if (auto element = button.objectAs<AXUIElement>())
        AXUIElementPerformAction(element, "AXPress");
}

bool SWWindow::setWindowProperty(const std::string& attribute, const Value& value)
{
    if (!value.isNumber())
        return false;
    return AXUIElementSetAttributeValue(axElementRef(), attribute, value) == kAXErrorSuccess;
}

void SWWindow::setWindowMinimized(bool minimized)
{
    setWindowProperty("AXMinimized", Value(minimized));
    updatePreview();
}

void SWWindow::maximize()
{
    if (isWindowMinimized())
        unMinimize();
    // A window that overlaps no screen keeps its frame: there is no usable
    // area to fill.
    auto s = screen();
    if (!s)
        return;
    setFrame(frameWithoutDockOrMenu(*s));
}

static bool isFiniteRect(const CGRect& r)
{
    return std::isfinite(r.origin.x) && std::isfinite(r.origin.y) && std::isfinite(r.size.width) && std::isfinite(r.size.height);
}

void SWWindow::moveWindowToPosition(WindowPosition position)
{
    auto s = screen();
    if (!s)
        return;
    CGRect frame = resizedFrameForPosition(position, s);
    // Code 13 names no frame: nothing is sent to the window's process.
    if (!isFiniteRect(frame))
        return;
    setFrame(frame);
}

CGRect SWWindow::resizedFrameForPosition(WindowPosition position, const Ref<NSScreen>& screen)
{
    CGRect f = screen ? frameWithoutDockOrMenu(*screen) : CGRectZero;
    auto fraction = [&](double ox, double oy, double sx, double sy) {
        return CGRectMake(f.origin.x + ox * f.size.width, f.origin.y + oy * f.size.height, sx * f.size.width, sy * f.size.height);
    };
    switch (position) {
    case WindowPositionTopHalf:
        return fraction(0, 0, 1.0, 0.5);
    case WindowPositionCenter: {
        // Two thirds of each dimension, a sixth in from the left and a
        // seventh up from the bottom of the usable frame in screen
        // coordinates, then flipped into the accessibility space like every
        // other position so that it lands on the window's own screen.
        CGRect v = screen ? screen->visibleFrame() : CGRectZero;
        CGRect r = CGRectMake(v.origin.x + v.size.width / 6.0, v.origin.y + v.size.height / 7.0,
            v.size.width + v.size.width / -3.0, v.size.height + v.size.height / -3.0);
        return screen ? NSScreenFlipRect(r) : r;
    }
    case WindowPositionLeftHalf:
        return fraction(0, 0, 0.5, 1.0);
    case WindowPositionLeft30:
        return fraction(0, 0, 0.3, 1.0);
    case WindowPositionLeft60:
        return fraction(0, 0, 0.6, 1.0);
    case WindowPositionBottomLeftQuarter:
        return fraction(0, 0.5, 0.5, 0.5);
    case WindowPositionTopLeftQuarter:
        return fraction(0, 0, 0.5, 0.5);
    case WindowPositionRightHalf:
        return fraction(0.5, 0, 0.5, 1.0);
    case WindowPositionRight30:
        return fraction(0.7, 0, 0.3, 1.0);
    case WindowPositionRight60:
        return fraction(0.4, 0, 0.6, 1.0);
    case WindowPositionBottomRightQuarter:
        return fraction(0.5, 0.5, 0.5, 0.5);
    case WindowPositionTopRightQuarter:
        return fraction(0.5, 0, 0.5, 0.5);
    case WindowPositionNone:
        return CGRectMake(NAN, NAN, NAN, NAN);
    default:
        return f;
    }
}

// Class-wide lists.

std::vector<Ref<SWWindow>> SWWindow::allWindows()
{
    if (!SWUniversalAccessHelper::isAccessibilityTrusted())
        return {};
    std::vector<Ref<SWWindow>> result;
    for (const auto& app : SWApplication::runningApplications())
        for (const auto& w : app->windows())
            result.push_back(w);
    return result;
}

bool SWWindow::isVisibleWindow() const
{
    auto application = app();
    if (application && application->isHidden())
        return false;
    return !isWindowMinimized() && isNormalWindow();
}

std::vector<Ref<SWWindow>> SWWindow::visibleWindows()
{
    if (!SWUniversalAccessHelper::isAccessibilityTrusted())
        return {};
    std::vector<Ref<SWWindow>> result;
    for (const auto& w : allWindows())
        if (w->isVisibleWindow())
            result.push_back(w);
    return result;
}

Ref<SWWindow> SWWindow::focusedWindow()
{
    if (!SWUniversalAccessHelper::isAccessibilityTrusted())
        return nullptr;
    auto app = SWSystemWideElement::systemWideElement()->elementForKey("AXFocusedApplication");
    if (!app)
        return nullptr;
    auto window = app->elementForKey("AXFocusedWindow");
    if (!window)
        return nullptr;
    auto record = windowWithAXElement(window->axElementRef());
    if (record->isSheet()) {
        if (auto parent = record->elementForKey("AXParent"))
            return windowWithAXElement(parent->axElementRef());
    }
    return record;
}

std::vector<Ref<SWWindow>> SWWindow::otherWindowsOnSameScreen() const
{
    auto mine = screen();
    std::vector<Ref<SWWindow>> result;
    for (const auto& w : otherWindowsOnAllScreens()) {
        auto theirs = w->screen();
        if ((!mine && !theirs) || (mine && theirs && mine->isEqual(theirs.get())))
            result.push_back(w);
    }
    return result;
}

std::vector<Ref<SWWindow>> SWWindow::otherWindowsOnAllScreens() const
{
    std::vector<Ref<SWWindow>> result;
    for (const auto& w : visibleWindows())
        if (!isEqual(w.get()))
            result.push_back(w);
    return result;
}

std::vector<SWWindow::ScoredWindow> SWWindow::windowsInDirectionFn(const DirectionFn& direction, const DisregardFn& disregard) const
{
    auto start = focusedWindow();
    CGRect r0 = start ? start->frame() : CGRectZero;
    auto candidates = start ? start->otherWindowsOnAllScreens() : std::vector<Ref<SWWindow>> {};
    CGPoint origin { r0.origin.x + 0.5 * r0.size.width, r0.origin.y + 0.5 * r0.size.height };
    std::vector<ScoredWindow> scored;
    for (const auto& w : candidates) {
        CGRect f = w->frame();
        double dx = f.origin.x + 0.5 * f.size.width - origin.x;
        double dy = f.origin.y + 0.5 * f.size.height - origin.y;
        if (disregard(dx, dy))
            continue;
        double angle = std::atan2(dy, dx);
        double distance = std::hypot(dx, dy);
        scored.push_back({ distance / std::cos(direction(angle) * 0.5), w });
    }
    std::stable_sort(scored.begin(), scored.end(), [](const ScoredWindow& a, const ScoredWindow& b) { return a.score < b.score; });
    return scored;
}

static std::vector<Ref<SWWindow>> windowsOf(const std::vector<SWWindow::ScoredWindow>& scored)
{
    std::vector<Ref<SWWindow>> result;
    for (const auto& s : scored)
        result.push_back(s.win);
    return result;
}

std::vector<Ref<SWWindow>> SWWindow::windowsToWest() const
{
    return windowsOf(windowsInDirectionFn([](double a) { return M_PI - std::fabs(a); }, [](double dx, double) { return dx >= 0; }));
}

std::vector<Ref<SWWindow>> SWWindow::windowsToEast() const
{
    return windowsOf(windowsInDirectionFn([](double a) { return 0 - a; }, [](double dx, double) { return dx <= 0; }));
}

std::vector<Ref<SWWindow>> SWWindow::windowsToNorth() const
{
    return windowsOf(windowsInDirectionFn([](double a) { return -M_PI / 2 - a; }, [](double, double dy) { return dy >= 0; }));
}

std::vector<Ref<SWWindow>> SWWindow::windowsToSouth() const
{
    return windowsOf(windowsInDirectionFn([](double a) { return M_PI / 2 - a; }, [](double, double dy) { return dy <= 0; }));
}

void SWWindow::focusFirstValidWindowIn(const std::vector<Ref<SWWindow>>& windows)
{
    for (const auto& w : windows)
        if (w && w->focusWindow())
            return;
}

void SWWindow::focusWindowLeft() const { focusFirstValidWindowIn(windowsToWest()); }
void SWWindow::focusWindowRight() const { focusFirstValidWindowIn(windowsToEast()); }
void SWWindow::focusWindowUp() const { focusFirstValidWindowIn(windowsToNorth()); }
void SWWindow::focusWindowDown() const { focusFirstValidWindowIn(windowsToSouth()); }

void SWWindow::moveToScreen(const Ref<NSScreen>& screen)
{
    setPosition(screen ? frameWithoutDockOrMenu(*screen).origin : CGPointZero);
}

void SWWindow::moveToSpace(uint64_t space)
{
    // Control plus a digit is the desktop's shortcut to the first ten
    // spaces (Control+0 the tenth). Spaces 11 and up have none: taking the
    // last digit of their number would move the window to spaces 1 to 6.
    if (space < 1 || space > 10) {
        NSLog("Cannot move a window to space %@: only spaces 1 to 10 have a shortcut.", std::to_string(space));
        return;
    }
    static constexpr CGKeyCode kDigitKeys[] = { 18, 19, 20, 21, 23, 22, 26, 28, 25, 29 };
    CGKeyCode key = kDigitKeys[space - 1];
    auto event = CGEventCreateKeyboardEvent(nullptr, key, true);
    CGEventSetFlags(event, kCGEventFlagMaskControl);
    moveToSpaceWithEvent(NSEvent::eventWithCGEvent(event));
}

void SWWindow::moveToSpaceWithEvent(const Ref<NSEvent>& event)
{
    if (!event)
        return;
    auto zoom = elementForKey("AXZoomButton");
    CGRect window = frame();
    // A window whose frame cannot be read gives no place to hold it by.
    if (CGRectIsNull(window))
        return;
    CGPoint mouse = CGEventGetLocation(CGEventCreate(nullptr));
    double grabX = zoom && !CGRectIsNull(zoom->frame()) ? CGRectGetMaxX(zoom->frame()) : window.origin.x;
    CGPoint grab { grabX + 5.0, window.origin.y + 5.0 };

    auto moved = CGEventCreateMouseEvent(nullptr, kCGEventMouseMoved, grab, kCGMouseButtonLeft);
    auto down = CGEventCreateMouseEvent(nullptr, kCGEventLeftMouseDown, grab, kCGMouseButtonLeft);
    auto up = CGEventCreateMouseEvent(nullptr, kCGEventLeftMouseUp, grab, kCGMouseButtonLeft);
    auto back = CGEventCreateMouseEvent(nullptr, kCGEventMouseMoved, mouse, kCGMouseButtonLeft);
    auto keyUp = CGEventCreateKeyboardEvent(nullptr, event->keyCode(), false);
    for (const auto& e : { moved, down, up, keyUp })
        CGEventSetFlags(e, 0);

    CGEventPost(kCGHIDEventTap, moved);
    CGEventPost(kCGHIDEventTap, down);
    CGEventPost(kCGHIDEventTap, event->CGEvent());
    CGEventPost(kCGHIDEventTap, keyUp);
    dispatch_after(dispatch_time(DISPATCH_TIME_NOW, NSEC_PER_SEC / 2), dispatch_get_main_queue(), [up, back] {
        CGEventPost(kCGHIDEventTap, up);
        CGEventPost(kCGHIDEventTap, back);
    });
}

std::vector<Ref<SWWindow>> SWWindow::visibleWindowsMostRecentFirst()
{
    Value list = CGWindowListCopyWindowInfo(kCGWindowListOptionOnScreenOnly | kCGWindowListExcludeDesktopElements, kCGNullWindowID);
    std::vector<Ref<SWWindow>> result;
    if (!list.isArray())
        return result;
    for (const auto& entry : *list.array()) {
        if (entry[kCGWindowLayer].integerValue() != 0 || entry[kCGWindowAlpha].integerValue() < 1)
            continue;
        auto owner = SWAccessibilityElement::elementWithAXElement(
            AXUIElementCreateApplication(static_cast<pid_t>(entry[kCGWindowOwnerPID].integerValue())));
        Value windows;
        if (AXUIElementCopyAttributeValues(owner->axElementRef(), "AXWindows", 0, 1000, &windows) != kAXErrorSuccess)
            continue;
        for (const auto& value : *windows.array()) {
            auto element = value.objectAs<AXUIElement>();
            CGWindowID number = 0;
            if (element && _AXUIElementGetWindow(element, &number) == kAXErrorSuccess
                && static_cast<int64_t>(number) == entry[kCGWindowNumber].integerValue()) {
                result.push_back(windowWithAXElement(element));
                break;
            }
        }
    }
    return result;
}

std::vector<Ref<SWWindow>> SWWindow::allWindowsMostRecentFirst()
{
    auto all = allWindows();
    Value list = CGWindowListCopyWindowInfo(kCGWindowListOptionOnScreenOnly | kCGWindowListExcludeDesktopElements, kCGNullWindowID);
    std::vector<Ref<SWWindow>> result;
    if (!list.isArray())
        return result;
    for (const auto& entry : *list.array()) {
        if (entry[kCGWindowLayer].integerValue() != 0 || static_cast<float>(entry[kCGWindowAlpha].doubleValue()) == 0.0f)
            continue;
        auto number = entry[kCGWindowNumber].integerValue();
        auto it = std::find_if(all.begin(), all.end(), [&](const Ref<SWWindow>& w) { return static_cast<int64_t>(w->win_id()) == number; });
        if (it != all.end())
            result.push_back(*it);
    }
    return result;
}

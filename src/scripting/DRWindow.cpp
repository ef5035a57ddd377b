#include "DRWindow.h"

#include "DRApp.h"
#include "DRExportProtocols.h"
#include "DRScriptArguments.h"
#include "DRSpace.h"
#include "NSScreenDRExtension.h"

#include <appkit/NSScreen.h>
#include <javascriptcore/JSExport.h>
#include <services/CGWindow.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <unordered_map>

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kHalfPi = 1.5707963267948966;

Value axValue(AXValueType type, const void* value) { return Value(AXValueCreate(type, value)); }

}

DRWindow::DRWindow(AXUIElementRef element, Ref<DRApp> app)
    : DRAXUIElement(std::move(element))
    , m_app(std::move(app))
{
    if (!m_app && DRAXUIElement::element())
        m_app = DRApp::withApp(NSRunningApplication::runningApplicationWithProcessIdentifier(processIdentifier()));
}

std::optional<DRWindow::Direction> DRWindow::directionFromString(const std::string& name)
{
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    static const std::pair<const char*, Direction> directions[] = {
        { "west", West }, { "east", East }, { "north", North }, { "south", South }
    };
    for (const auto& [key, direction] : directions)
        if (lower == key)
            return direction;
    return std::nullopt;
}

std::vector<Ref<DRWindow>> DRWindow::others() const { return othersWithOptions({}); }

std::vector<Ref<DRWindow>> DRWindow::othersWithOptions(const Value& options) const
{
    std::vector<Ref<DRWindow>> result;
    const Value& screenOption = options["screen"];
    auto screen = screenOption.objectAs<NSScreen>();
    if (!screenOption.isNil() && !screen)
        return result; // a screen that is not one matches no window
    for (auto& window : windows()) {
        if (window->isEqual(this))
            continue;
        if (screen) {
            auto own = window->screen();
            if (!own || !own->isEqual(screen.get()))
                continue;
        }
        result.push_back(std::move(window));
    }
    return filteredByOptions(std::move(result), options);
}

std::string DRWindow::title() const { return stringForAttribute(kAXTitleAttribute).value_or(""); }

std::optional<std::string> DRWindow::title1() const { return stringForAttribute("AXTitle"); }

bool DRWindow::isMain() const { return boolForAttribute(kAXMainAttribute); }

bool DRWindow::isNormal() const { return subrole() == kAXStandardWindowSubrole; }

bool DRWindow::isFullScreen() const { return boolForAttribute("AXFullScreen"); }

bool DRWindow::isMinimized() const { return boolForAttribute(kAXMinimizedAttribute); }

bool DRWindow::isVisible() const
{
    if (m_app && m_app->isHidden())
        return false;
    return isNormal() && !isMinimized();
}

std::vector<Ref<DRSpace>> DRWindow::spaces() const { return DRSpace::spacesForWindow(*this); }

Ref<NSScreen> DRWindow::screen() const
{
    CGRect own = frame();
    Ref<NSScreen> best;
    double bestArea = 0;
    for (const auto& screen : NSScreen::screens()) {
        CGRect overlap = CGRectIntersection(own, NSScreenDRExtension::flippedFrame(*screen));
        double area = CGRectIsNull(overlap) ? 0 : overlap.size.width * overlap.size.height;
        if (area > bestArea) {
            bestArea = area;
            best = screen;
        }
    }
    return best;
}

CGPoint DRWindow::topLeft() const { return pointForAttribute(kAXPositionAttribute).value_or(CGPoint {}); }

CGSize DRWindow::size() const { return sizeForAttribute(kAXSizeAttribute).value_or(CGSize {}); }

CGRect DRWindow::frame() const { return { topLeft(), size() }; }

bool DRWindow::setTopLeft(CGPoint point) const
{
    if (!DRIsFinite(point))
        return DRThrowScriptError("Window.setTopLeft", "the point is not finite.");
    return setAttribute(kAXPositionAttribute, axValue(kAXValueCGPointType, &point));
}

bool DRWindow::setSize(CGSize size) const
{
    if (!DRIsFinite(size) || size.width < 0 || size.height < 0)
        return DRThrowScriptError("Window.setSize", "the size is not finite and positive.");
    return setAttribute(kAXSizeAttribute, axValue(kAXValueCGSizeType, &size));
}

bool DRWindow::setFrame(CGRect target) const
{
    if (!DRIsFinite(target) || target.size.width < 0 || target.size.height < 0)
        return DRThrowScriptError("Window.setFrame", "the rectangle is not finite and positive.");
    // The size first, so that the move is not refused for lack of room,
    // and again after it, in case the move clamped it.
    setSize(target.size);
    setTopLeft(target.origin);
    setSize(target.size);
    CGRect now = frame();
    return now.origin.x == target.origin.x && now.origin.y == target.origin.y && now.size.width == target.size.width
        && now.size.height == target.size.height;
}

bool DRWindow::setFullScreen(bool flag) const { return setAttribute("AXFullScreen", Value(flag)); }

bool DRWindow::maximize() const
{
    auto own = screen();
    return setFrame(own ? NSScreenDRExtension::flippedVisibleFrame(*own) : CGRect {});
}

bool DRWindow::minimize() const { return setAttribute(kAXMinimizedAttribute, Value(true)); }

bool DRWindow::unminimize() const { return setAttribute(kAXMinimizedAttribute, Value(false)); }

std::vector<Ref<DRWindow>> DRWindow::neighbors(const std::string& direction) const
{
    auto d = directionFromString(direction);
    return d ? windowsInDirection(*d) : std::vector<Ref<DRWindow>> {};
}

bool DRWindow::raise() const { return performAction(kAXRaiseAction); }

bool DRWindow::focus() const
{
    if (!setAttribute(kAXMainAttribute, Value(true)))
        return false;
    return m_app && m_app->focus();
}

bool DRWindow::focusClosestNeighbor(const std::string& direction) const
{
    auto d = directionFromString(direction);
    return d && focusFirstClosestWindow(windowsInDirection(*d));
}

bool DRWindow::close() const
{
    auto button = makeRef<DRAXUIElement>(valueForAttribute(kAXCloseButtonAttribute).objectAs<AXUIElement>());
    return button->performAction(kAXPressAction);
}

CGWindowID DRWindow::identifier() const
{
    CGWindowID number = 0;
    return _AXUIElementGetWindow(element(), &number) == kAXErrorSuccess ? number : 0;
}

std::string DRWindow::subrole() const { return stringForAttribute(kAXSubroleAttribute).value_or(""); }

Ref<DRWindow> DRWindow::focused()
{
    auto app = elementForSystemAttribute<DRAXUIElement>(kAXFocusedApplicationAttribute);
    auto window = app->valueForAttribute(NSAccessibilityFocusedWindowAttribute).objectAs<AXUIElement>();
    return window ? makeRef<DRWindow>(window) : nullptr;
}

Ref<DRWindow> DRWindow::at(CGPoint point)
{
    if (!DRIsFinite(point)) {
        DRThrowScriptError("Window.at", "the point is not finite.");
        return nullptr;
    }
    auto element = elementAtPosition<DRAXUIElement>(point);
    auto window = element->valueForAttribute(kAXWindowAttribute).objectAs<AXUIElement>();
    return window ? makeRef<DRWindow>(window) : nullptr;
}

std::vector<Ref<DRWindow>> DRWindow::all(const Value& options) { return filteredByOptions(windows(), options); }

std::vector<Ref<DRWindow>> DRWindow::recent()
{
    // Each window's number is asked once (an accessibility request each),
    // not once per window of the list: the first window with a number wins.
    std::unordered_map<CGWindowID, Ref<DRWindow>> byNumber;
    for (const auto& window : windows())
        byNumber.emplace(window->identifier(), window);
    std::vector<Ref<DRWindow>> result;
    Value list = CGWindowListCopyWindowInfo(kCGWindowListOptionOnScreenOnly | kCGWindowListExcludeDesktopElements, 0);
    for (size_t i = 0; i < list.count(); ++i) {
        const Value& entry = list.at(i);
        if (entry[kCGWindowLayer].integerValue() != 0 || entry[kCGWindowAlpha].doubleValue() == 0.0)
            continue;
        auto match = byNumber.find(static_cast<CGWindowID>(entry[kCGWindowNumber].integerValue()));
        if (match != byNumber.end())
            result.push_back(match->second);
    }
    return result;
}

std::vector<Ref<DRWindow>> DRWindow::windows()
{
    std::vector<Ref<DRWindow>> result;
    for (const auto& app : DRApp::all()) {
        auto own = app->windows();
        result.insert(result.end(), own.begin(), own.end());
    }
    return result;
}

std::vector<Ref<DRWindow>> DRWindow::filteredByOptions(std::vector<Ref<DRWindow>> windows, const Value& options)
{
    const Value& visible = options["visible"];
    if (visible.isNil())
        return windows;
    bool wanted = visible.boolValue();
    std::erase_if(windows, [&](const auto& w) { return w->isVisible() != wanted; });
    return windows;
}

std::vector<Ref<DRWindow>> DRWindow::windowsInDirection(Direction direction) const
{
    auto centre = [](const CGRect& r) { return CGPoint { r.origin.x + r.size.width * 0.5, r.origin.y + r.size.height * 0.5 }; };
    CGPoint start = centre(frame());
    struct Scored {
        Ref<DRWindow> window;
        double score;
    };
    std::vector<Scored> scored;
    for (auto& window : others()) {
        CGPoint point = centre(window->frame());
        double dx = point.x - start.x;
        double dy = point.y - start.y;
        double angle = std::atan2(dy, dx);
        double delta;
        bool disregard;
        switch (direction) {
        case West:
            delta = kPi - std::abs(angle);
            disregard = !(dx < 0);
            break;
        case East:
            delta = 0 - angle;
            disregard = !(dx > 0);
            break;
        case North:
            delta = -kHalfPi - angle;
            disregard = !(dy < 0);
            break;
        case South:
        default:
            delta = kHalfPi - angle;
            disregard = !(dy > 0);
            break;
        }
        // The negated tests also leave out windows whose frame could not be
        // read sensibly (a NaN centre), which no order could place.
        double score = std::hypot(dx, dy) / std::cos(delta * 0.5);
        if (disregard || !std::isfinite(score))
            continue;
        scored.push_back({ std::move(window), score });
    }
    std::stable_sort(scored.begin(), scored.end(), [](const Scored& a, const Scored& b) { return a.score < b.score; });
    std::vector<Ref<DRWindow>> result;
    for (auto& entry : scored)
        result.push_back(std::move(entry.window));
    return result;
}

bool DRWindow::focusFirstClosestWindow(const std::vector<Ref<DRWindow>>& windows)
{
    return std::any_of(windows.begin(), windows.end(), [](const auto& w) { return w->focus(); });
}

const JSExportClass& DRWindow::exportClass()
{
    static const JSExportClass& c = JSExportClass::define<DRWindow>("Window")
                                        .method("others:", &DRWindow::othersWithOptions)
                                        .method("title", &DRWindow::title)
                                        .method("title1", &DRWindow::title1)
                                        .method("isMain", &DRWindow::isMain)
                                        .method("isNormal", &DRWindow::isNormal)
                                        .method("isFullScreen", &DRWindow::isFullScreen)
                                        .method("isMinimized", &DRWindow::isMinimized)
                                        .method("isVisible", &DRWindow::isVisible)
                                        .method("app", &DRWindow::app)
                                        .method("screen", &DRWindow::screen)
                                        .method("spaces", &DRWindow::spaces)
                                        .method("topLeft", &DRWindow::topLeft)
                                        .method("size", &DRWindow::size)
                                        .method("frame", &DRWindow::frame)
                                        .method("setTopLeft:", &DRWindow::setTopLeft)
                                        .method("setSize:", &DRWindow::setSize)
                                        .method("setFrame:", &DRWindow::setFrame)
                                        .method("setFullScreen:", &DRWindow::setFullScreen)
                                        .method("maximize", &DRWindow::maximize)
                                        .method("minimize", &DRWindow::minimize)
                                        .method("unminimize", &DRWindow::unminimize)
                                        .method("neighbors:", &DRWindow::neighbors)
                                        .method("raise", &DRWindow::raise)
                                        .method("focus", &DRWindow::focus)
                                        .method("focusClosestNeighbor:", &DRWindow::focusClosestNeighbor)
                                        .method("close", &DRWindow::close)
                                        .classMethod("focused", &DRWindow::focused)
                                        .classMethod("at:", &DRWindow::at)
                                        .classMethod("all:", &DRWindow::all)
                                        .classMethod("recent", &DRWindow::recent)
                                        .adopt(DRIdentifiableJSExport);
    return c;
}

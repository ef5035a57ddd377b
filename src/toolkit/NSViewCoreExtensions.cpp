#include "NSViewCoreExtensions.h"

#include "NSBezierPathTKExtensions.h"
#include "NSEventUtilities.h"
#include "NSWindowUtilities.h"
#include "TKDrawingGuard.h"
#include "TKImageMaker.h"

#include <appkit/NSException.h>
#include <appkit/NSScrollView.h>
#include <appkit/NSTextField.h>
#include <appkit/NSWindow.h>
#include <foundation/Log.h>
#include <graphics/NSGraphicsContext.h>

#include <algorithm>
#include <cmath>

bool NSViewCoreExtensions::respondsToSelector(NSObject* object, const std::string& selector)
{
    if (!object)
        return false;
    if (selector == kDrawBackgroundInSubviewSelector)
        return dynamic_cast<TKBackgroundDrawing*>(object) != nullptr;
    auto target = NSActionTargetOf(object);
    return target && target->respondsToAction(selector);
}

Ref<NSObject> NSViewCoreExtensions::parentWhichRespondsToSelector(const NSView& view, const std::string& selector)
{
    for (NSView* ancestor = view.superview(); ancestor; ancestor = ancestor->superview())
        if (respondsToSelector(ancestor, selector))
            return ancestor->selfRef<NSObject>();
    if (NSWindow* window = view.window()) {
        auto delegate = window->delegate();
        if (respondsToSelector(delegate.get(), selector))
            return delegate;
    }
    return nullptr;
}

void NSViewCoreExtensions::askParentToDrawBackground(NSView& view)
{
    auto parent = parentWhichRespondsToSelector(view, kDrawBackgroundInSubviewSelector);
    auto* painter = dynamic_cast<TKBackgroundDrawing*>(parent.get());
    if (!painter)
        return;
    CGRect rect = view.bounds();
    if (auto* ancestor = dynamic_cast<NSView*>(parent.get()))
        rect = ancestor->convertRectToView(ancestor->bounds(), &view);
    TKDrawGuarded([&] { painter->drawBackgroundInSubview(view, rect); });
}

// MARK: Drawing

namespace {

constexpr double kFocusRingLineWidth = 0.5;
constexpr float kHighlightRadius = 6.0f;
constexpr float kHighlightFrameWidth = 4.0f;

} // namespace

void NSViewCoreExtensions::drawFocusRing(NSView& view)
{
    TKDrawGuarded([&] {
        auto path = NSBezierPath::bezierPathWithRect(view.bounds());
        path->setLineWidth(kFocusRingLineWidth);
        NSBezierPath::clipRect(view.visibleRect());
        NSSetFocusRingStyle(NSFocusRingOnly);
        path->stroke();
    });
}

void NSViewCoreExtensions::drawHighlightRing(CGRect rect, bool selected)
{
    NSColor::colorWithCalibratedRed(0.1, 0.2, 1.0, 0.1)->set();
    auto frame = selected ? NSColor::whiteColor() : NSColor::colorWithCalibratedRed(0.122, 0.361, 0.812, 1.0);
    NSBezierPathTKExtensions::fillRoundRect(rect, kHighlightRadius, frame, kHighlightFrameWidth);
}

void NSViewCoreExtensions::eraseRect(CGRect rect)
{
    if (auto context = NSGraphicsContext::currentContext())
        CGContextClearRect(context->CGContext(), rect);
}

Ref<NSImage> NSViewCoreExtensions::viewImage(NSView& view, CGRect rect)
{
    if (CGRectEqualToRect(rect, CGRectZero))
        rect = view.bounds();
    auto maker = TKImageMaker::maker(rect.size);
    maker->lockFocus();
    if (auto context = NSGraphicsContext::currentContext()) {
        const auto& cg = context->CGContext();
        // The view's own space over the image: the rect's corner at the
        // image's (not the view's origin), turned over for a flipped view.
        if (view.isFlipped()) {
            CGContextTranslateCTM(cg, 0, rect.size.height);
            CGContextScaleCTM(cg, 1, -1);
        }
        CGContextTranslateCTM(cg, -rect.origin.x, -rect.origin.y);
        view.displayRectIgnoringOpacityInContext(rect, cg);
    }
    return maker->unlockFocus();
}

bool NSViewCoreExtensions::drawingInMetallicWindow()
{
    NSView* drawing = NSView::focusView();
    NSWindow* window = drawing ? drawing->window() : nullptr;
    return window && NSWindowUtilities::isMetallic(*window);
}

void NSViewCoreExtensions::setNeedsDisplayForSubviews(NSView& view)
{
    view.setNeedsDisplay(true);
    for (const auto& subview : view.subviews())
        setNeedsDisplayForSubviews(*subview);
}

void NSViewCoreExtensions::displayIfNeededForSubviews(NSView& view)
{
    view.displayIfNeeded();
    for (const auto& subview : view.subviews())
        displayIfNeededForSubviews(*subview);
}

// MARK: The tree

NSScrollView* NSViewCoreExtensions::findScrollView(const NSView& view)
{
    for (const auto& subview : view.subviews()) {
        if (auto* scrollView = dynamic_cast<NSScrollView*>(subview.get()))
            return scrollView;
        if (auto* found = findScrollView(*subview))
            return found;
    }
    return nullptr;
}

bool NSViewCoreExtensions::isParentView(const NSView& view, const NSView* other)
{
    for (NSView* ancestor = view.superview(); ancestor; ancestor = ancestor->superview())
        if (ancestor == other)
            return true;
    return false;
}

NSWindow* NSViewCoreExtensions::contentWindow(const NSView& view)
{
    NSWindow* window = view.window();
    if (!window)
        return nullptr;
    auto parent = NSWindowNSDrawerWindow::drawersParentWindow(*window);
    return parent ? parent.get() : window;
}

bool NSViewCoreExtensions::isVisible(const NSView& view)
{
    if (view.isHiddenOrHasHiddenAncestor() || CGRectIsEmpty(view.visibleRect()))
        return false;
    return view.window() != nullptr;
}

void NSViewCoreExtensions::add(NSView& view, bool flag, const Ref<NSView>& subview)
{
    if (!subview)
        return;
    if (flag && !subview->superview())
        view.addSubview(subview);
    else if (!flag && subview->superview())
        subview->removeFromSuperviewWithoutNeedingDisplay();
}

void NSViewCoreExtensions::removeOneView(Ref<NSView>& subview)
{
    if (subview)
        subview->removeFromSuperviewWithoutNeedingDisplay();
    subview = nullptr;
}

void NSViewCoreExtensions::removeAllSubviews(NSView& view)
{
    auto subviews = view.subviews();
    for (auto it = subviews.rbegin(); it != subviews.rend(); ++it)
        (*it)->removeFromSuperviewWithoutNeedingDisplay();
}

void NSViewCoreExtensions::resizeSubviewsToParentBounds(NSView& view)
{
    for (const auto& subview : std::vector<Ref<NSView>>(view.subviews())) {
        subview->setFrame(view.bounds());
        resizeSubviewsToParentBounds(*subview);
    }
}

void NSViewCoreExtensions::resizeSubviewsToParentSize(NSView& view)
{
    for (const auto& subview : std::vector<Ref<NSView>>(view.subviews())) {
        subview->setFrameSize(view.bounds().size);
        resizeSubviewsToParentBounds(*subview);
    }
}

void NSViewCoreExtensions::setBackgroundColorOnSubviews(NSView& view, const Ref<NSColor>& color)
{
    for (const auto& field : subviewsWithClass<NSTextField>(view)) {
        if (field->drawsBackground())
            continue;
        field->setDrawsBackground(true);
        field->setBackgroundColor(color);
    }
    // The platform has no matrix views, so there are no cell backgrounds
    // to set between the two.
    for (const auto& button : subviewsWithClass<NSButton>(view)) {
        if (!NSButtonTKExtensions::isSwitchButton(*button))
            continue;
        auto title = button->attributedTitle();
        auto copy = makeRef<NSAttributedString>(title->string(), title->baseAttributes());
        for (const auto& run : title->runs())
            copy->addAttributes(run.attributes, run.range);
        NSStringAttributes background;
        background.backgroundColor = color;
        copy->addAttributes(background, { 0, copy->length() });
        button->setAttributedTitle(copy);
    }
}

// MARK: First responder

bool NSViewCoreExtensions::isFirstResponder(const NSView& view)
{
    return view.window() && view.window()->firstResponder().get() == &view;
}

bool NSViewCoreExtensions::isInitialFirstResponder(const NSView& view)
{
    return view.window() && view.window()->initialFirstResponder().get() == &view;
}

bool NSViewCoreExtensions::containsFirstResponder(const NSView& view)
{
    if (!view.window())
        return false;
    auto* responder = dynamic_cast<NSView*>(view.window()->firstResponder().get());
    return responder && responder->isDescendantOf(&view);
}

// MARK: Mouse

bool NSViewCoreExtensions::mouseInRectNow(const NSView& view)
{
    NSWindow* window = view.window();
    if (!window)
        return false;
    CGPoint inWindow = window->convertScreenToBase(NSEvent::mouseLocation());
    CGPoint inView = view.convertPointFromView(inWindow, nullptr);
    return NSMouseInRect(inView, view.bounds(), view.isFlipped());
}

Ref<NSEvent> NSViewCoreExtensions::trackMouseDown(NSView&, const Ref<NSEvent>& event, float dragSlop)
{
    if (!event || event->type() != NSEventTypeLeftMouseDown)
        return nullptr;
    // No deadline: the wait goes on for as long as the button is held.
    auto tracking = NSEventUtilities::trackLeftMouse(event, false, dragSlop, std::nullopt, true);
    return tracking.outcome == NSEventUtilities::MouseTracking::Outcome::Released ? tracking.event : nullptr;
}

bool NSViewCoreExtensions::isDragEvent(NSView& view, const Ref<NSEvent>& event, float dragSlop)
{
    return NSEventUtilities::isDragEvent(event, view.selfRef<NSView>(), dragSlop, std::nullopt);
}

// MARK: Scrolling

namespace {

// Where the visible part starts along one axis, as a fraction of the
// distance it can travel; 0 when the content fits.
double positionFraction(double visibleStart, double visibleLength, double start, double length)
{
    if (!(visibleLength < length))
        return 0;
    return std::clamp((visibleStart - start) / (length - visibleLength), 0.0, 1.0);
}

// The start of the visible part for a fraction of the travel, kept inside
// the content.
double startForFraction(double fraction, double visibleLength, double start, double length)
{
    double at = (length - visibleLength) * fraction + start;
    return std::clamp(at, start, start + length - visibleLength);
}

} // namespace

CGPoint NSViewCoreExtensions::scrollPositionAsPercentage(const NSView& view)
{
    NSScrollView* scrollView = view.enclosingScrollView();
    // Without a scroll view nothing scrolls: the view shows from its start.
    if (!scrollView)
        return CGPointZero;
    CGRect b = view.bounds();
    CGRect v = scrollView->documentVisibleRect();
    double px = positionFraction(v.origin.x, v.size.width, b.origin.x, b.size.width);
    double py = 0;
    if (v.size.height < b.size.height) {
        double p = (v.origin.y - b.origin.y) / (b.size.height - v.size.height);
        py = std::clamp(view.isFlipped() ? p : 1 - p, 0.0, 1.0);
    }
    return CGPointMake(px, py);
}

void NSViewCoreExtensions::setScrollPositionAsPercentage(NSView& view, CGPoint percentage)
{
    NSScrollView* scrollView = view.enclosingScrollView();
    if (!scrollView)
        return;
    CGRect b = view.bounds();
    CGRect v = scrollView->documentVisibleRect();
    CGPoint target = v.origin;
    auto whole = [](double value) { return double(std::nearbyint(float(value))); };
    if (b.size.height > v.size.height) {
        double q = std::clamp(percentage.y, 0.0, 1.0);
        double raw = (b.size.height - v.size.height) * (view.isFlipped() ? q : 1 - q) + b.origin.y;
        target.y = std::clamp(whole(raw), b.origin.y, CGRectGetMaxY(b) - v.size.height);
    }
    if (b.size.width > v.size.width) {
        double q = std::clamp(percentage.x, 0.0, 1.0);
        target.x = std::clamp(whole((b.size.width - v.size.width) * q + b.origin.x), b.origin.x,
            CGRectGetMaxX(b) - v.size.width);
    }
    view.scrollPoint(target);
}

float NSViewCoreExtensions::fraction(const NSView& view)
{
    CGRect b = view.bounds();
    CGRect v = view.visibleRect();
    if (v.size.height >= b.size.height)
        return 0;
    double p = (v.origin.y - b.origin.y) / (b.size.height - v.size.height);
    return float(std::clamp(view.isFlipped() ? p : 1 - p, 0.0, 1.0));
}

void NSViewCoreExtensions::setFraction(NSView& view, float fraction)
{
    CGRect b = view.bounds();
    CGRect v = view.visibleRect();
    if (v.size.height >= b.size.height)
        return;
    double q = std::clamp(fraction, 0.0f, 1.0f);
    double y = startForFraction(view.isFlipped() ? q : 1 - q, v.size.height, b.origin.y, b.size.height);
    view.scrollPoint(CGPointMake(v.origin.x, y));
}

void NSViewCoreExtensions::scrollDownByPages(NSView& view, float pages)
{
    NSScrollView* scrollView = view.enclosingScrollView();
    double pageScroll = scrollView ? scrollView->verticalPageScroll() : 0;
    float amount = float(std::max(1.0, view.visibleRect().size.height - pageScroll)) * pages;
    scrollDownByAdjustedPixels(view, amount);
}

void NSViewCoreExtensions::scrollDownByLines(NSView& view, float lines)
{
    NSScrollView* scrollView = view.enclosingScrollView();
    float lineScroll = scrollView ? float(scrollView->verticalLineScroll()) : 0;
    scrollDownByAdjustedPixels(view, lineScroll * lines);
}

void NSViewCoreExtensions::scrollDownByAdjustedPixels(NSView& view, float pixels)
{
    CGRect r = view.visibleRect();
    r.origin.y += view.isFlipped() ? double(pixels) : -double(pixels);
    r = view.adjustScroll(r);
    view.scrollPoint(r.origin);
}

void NSViewCoreExtensions::debugViews(const NSView& view, bool recursive)
{
    NSLog("class: %@", view.className());
    NSLog("frame: %@", NSStringFromRect(view.frame()));
    NSLog("isOpaque: %@", view.isOpaque() ? "YES" : "NO");
    NSLog("hasLayer: %@", view.layer() ? "YES" : "NO");
    if (!recursive) {
        if (NSView* superview = view.superview())
            debugViews(*superview, false);
        return;
    }
    NSLog("super: %@", view.superview() ? view.superview()->className() : std::string("nil"));
    NSLog("subviews:");
    for (const auto& subview : view.subviews())
        debugViews(*subview, true);
}

bool NSButtonTKExtensions::isSwitchButton(const NSButton& button) { return isSwitchButtonCell(button.buttonCell()); }

bool NSButtonTKExtensions::isSwitchButtonCell(const NSButtonCell& cell)
{
    return cell.buttonType() == NSButtonTypeSwitch;
}

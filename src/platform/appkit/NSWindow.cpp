#include "NSWindow.h"

#include "NSAnimationContext.h"
#include "NSApplication.h"
#include "NSButton.h"
#include "NSEvent.h"
#include "NSScreen.h"
#include "NSToolbar.h"
#include "NSTrackingArea.h"
#include "NSView.h"
#include "NSViewController.h"
#include "NSVisualEffectView.h"
#include "NSWindowController.h"

#include <foundation/LargeBuffers.h>
#include <foundation/MainThread.h>
#include <desktop/Desktop.h>
#include <foundation/NSNotificationCenter.h>
#include <foundation/RunLoop.h>
#include <graphics/CGColorSpace.h>
#include <graphics/ImageIO.h>
#include <graphics/NSColor.h>

#include <algorithm>
#include <functional>
#include <unordered_map>
#include <cmath>
#include <fstream>

std::vector<CGWindowID> NSWindow::windowNumbersWithOptions(NSWindowNumberListOptions options)
{
    auto& desktop = Desktop::current();
    pid_t own = desktop.ownProcessIdentifier();
    std::vector<CGWindowID> numbers;
    // Each application is looked up once for the whole list.
    std::unordered_map<pid_t, bool> shownApplications;
    for (const auto& w : desktop.windows()) {
        if (!(options & NSWindowNumberListAllApplications) && w.pid != own)
            continue;
        if (w.minimized)
            continue;
        auto known = shownApplications.find(w.pid);
        if (known == shownApplications.end()) {
            auto app = desktop.application(w.pid);
            known = shownApplications.emplace(w.pid, app && !app->hidden).first;
        }
        if (!known->second)
            continue;
        if (!(options & NSWindowNumberListAllSpaces) && !w.onScreen)
            continue;
        numbers.push_back(w.number);
    }
    return numbers;
}

namespace {

CGFloat area(CGRect r) { return CGRectIsNull(r) ? 0 : r.size.width * r.size.height; }

Ref<NSScreen> screenHolding(CGRect frame)
{
    Ref<NSScreen> best;
    CGFloat bestArea = 0;
    for (const auto& s : NSScreen::screens()) {
        CGFloat a = area(CGRectIntersection(s->frame(), frame));
        if (a > bestArea) {
            bestArea = a;
            best = s;
        }
    }
    return best;
}

// The views that show what lies beneath the window, in a view tree that is
// not hidden.
void forEachShownEffectView(NSView& view, const std::function<void(NSVisualEffectView&)>& action)
{
    if (view.isHidden())
        return;
    if (auto* effect = dynamic_cast<NSVisualEffectView*>(&view))
        action(*effect);
    for (const auto& subview : view.subviews())
        forEachShownEffectView(*subview, action);
}

void captureBackdrops(NSView& view)
{
    forEachShownEffectView(view, [](NSVisualEffectView& effect) { effect.captureBackdrop(); });
}

// The colour of the first shown material that blends with what lies behind
// the window, opaque: what the window's translucent parts lie over where
// nothing of what lies beneath it can be had.
std::optional<uint32_t> backdropColorOf(NSView& content)
{
    std::optional<uint32_t> colour;
    forEachShownEffectView(content, [&](NSVisualEffectView& effect) {
        if (colour || effect.blendingMode() != NSVisualEffectBlendingModeBehindWindow)
            return;
        CGFloat r, g, b;
        effect.tintColor()->getRed(&r, &g, &b, nullptr);
        auto byte = [](CGFloat v) { return static_cast<uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
        colour = (byte(r) << 16) | (byte(g) << 8) | byte(b);
    });
    return colour;
}

Ref<NSScreen> screenAtPoint(CGPoint p)
{
    for (const auto& s : NSScreen::screens())
        if (CGRectContainsPoint(s->frame(), p))
            return s;
    return nullptr;
}

}

NSWindow::NSWindow(CGRect contentRect, NSWindowStyleMask style, NSBackingStoreType, bool)
    : m_frame(contentRect)
    , m_styleMask(style)
    , m_backgroundColor(NSColor::windowBackgroundColor())
{
    m_contentView = makeRef<NSView>(CGRectMake(0, 0, contentRect.size.width, contentRect.size.height));
    m_contentView->setWindowRecursively(this);
    NSApp().registerWindow(this);
    setActionHandler("performClose:", [this](const Ref<NSObject>& sender) { performClose(sender); });
}

NSWindow::~NSWindow()
{
    *m_alive = false;
    if (m_toolbar)
        m_toolbar->setWindow(nullptr);
    unregisterFromDesktop();
    if (m_contentView)
        m_contentView->setWindowRecursively(nullptr);
    NSApp().unregisterWindow(this);
}

// MARK: Frame

void NSWindow::setFrame(CGRect frame, bool display)
{
    QV_ASSERT_MAIN_THREAD("NSWindow::setFrame");
    frame.size.width = std::max(0.0, frame.size.width);
    frame.size.height = std::max(0.0, frame.size.height);
    // A window that is not on screen shows nothing: its damage waits for the
    // paint that ordering it in schedules (or for a request of its image),
    // rather than being painted for every change of its frame.
    display = display && m_visible;
    if (frame == m_frame) {
        if (display)
            displayIfNeeded();
        return;
    }
    CGRect old = m_frame;
    m_frame = frame;
    if (old.size != frame.size) {
        if (m_contentView)
            m_contentView->setFrame(contentViewFrame());
        invalidateRect(CGRectMake(0, 0, frame.size.width, frame.size.height));
    }
    syncWithDesktop();
    // A moved window covers something else: its effect views read what lies
    // beneath them as they are drawn again, once however often the window
    // moves before it paints (a resized one redraws them anyway).
    if (m_visible && old.size == frame.size && m_contentView)
        forEachShownEffectView(*m_contentView, [](NSVisualEffectView& effect) { effect.setNeedsDisplay(true); });
    if (old.origin != frame.origin)
        postNotification(NSWindowDidMoveNotification);
    if (old.size != frame.size)
        postNotification(NSWindowDidResizeNotification);
    trackingGeometryChanged();
    if (display)
        displayIfNeeded();
}

void NSWindow::setFrame(CGRect frame, bool display, bool) { setFrame(frame, display); }

void NSWindow::desktopChangedFrame(CGRect frame)
{
    // The desktop already holds this frame, so telling it again asks
    // nothing of it.
    if (m_visible && frame != m_frame)
        setFrame(frame, true);
}

void NSWindow::setFrameOrigin(CGPoint origin) { setFrame({ origin, m_frame.size }, false); }

void NSWindow::setFrameTopLeftPoint(CGPoint point)
{
    setFrame({ { point.x, point.y - m_frame.size.height }, m_frame.size }, false);
}

CGPoint NSWindow::cascadeTopLeftFromPoint(CGPoint point)
{
    if (point != CGPointZero)
        setFrameTopLeftPoint(point);
    CGPoint topLeft = { m_frame.origin.x, CGRectGetMaxY(m_frame) };
    return { topLeft.x + kCascadeOffset, topLeft.y - kCascadeOffset };
}

void NSWindow::setContentSize(CGSize size)
{
    // The top edge stays where it is, as on the platform.
    CGFloat top = CGRectGetMaxY(m_frame);
    size.height += toolbarHeight();
    setFrame({ { m_frame.origin.x, top - size.height }, size }, false);
}

Ref<NSScreen> NSWindow::screen() const { return screenHolding(m_frame); }

CGRect NSWindow::constrainFrameRect(CGRect frame, const Ref<NSScreen>& screen) const
{
    if (!screen)
        return frame;
    CGRect target = screen->frame();
    CGPoint center = { CGRectGetMidX(frame), CGRectGetMidY(frame) };
    if (!CGRectContainsPoint(target, center)) {
        auto from = screenAtPoint(center);
        if (!from)
            from = NSScreen::mainScreen();
        CGPoint base = from ? from->frame().origin : CGPointZero;
        frame.origin.x += target.origin.x - base.x;
        frame.origin.y += target.origin.y - base.y;
    }
    if (m_styleMask & NSWindowStyleMaskTitled) {
        CGFloat top = CGRectGetMaxY(screen->visibleFrame());
        if (CGRectGetMaxY(frame) > top)
            frame.origin.y = top - frame.size.height;
    }
    return frame;
}

void NSWindow::center()
{
    auto screen = this->screen();
    if (!screen)
        screen = NSScreen::mainScreen();
    CGRect frame = constrainFrameRect(m_frame, screen);
    auto holder = screenHolding(frame);
    if (!holder)
        holder = screen;
    if (!holder)
        return;
    CGRect visible = holder->visibleFrame();
    frame.origin.x = std::floor(visible.origin.x + (visible.size.width - frame.size.width) / 2);
    frame.origin.y = std::floor(visible.origin.y + (visible.size.height - frame.size.height) / 2);
    setFrame(frame, false);
}

CGPoint NSWindow::convertPointToScreen(CGPoint p) const { return { p.x + m_frame.origin.x, p.y + m_frame.origin.y }; }

CGPoint NSWindow::convertPointFromScreen(CGPoint p) const { return { p.x - m_frame.origin.x, p.y - m_frame.origin.y }; }

CGRect NSWindow::convertRectToScreen(CGRect r) const { return { convertPointToScreen(r.origin), r.size }; }

CGRect NSWindow::convertRectFromScreen(CGRect r) const { return { convertPointFromScreen(r.origin), r.size }; }

// MARK: Content

void NSWindow::setContentView(const Ref<NSView>& view)
{
    QV_ASSERT_MAIN_THREAD("NSWindow::setContentView");
    if (view == m_contentView)
        return;
    if (m_contentView)
        m_contentView->setWindowRecursively(nullptr);
    m_contentView = view;
    if (view) {
        if (view->superview())
            view->removeFromSuperview();
        view->setFrame(contentViewFrame());
        view->setWindowRecursively(this);
    }
    invalidateRect(CGRectMake(0, 0, m_frame.size.width, m_frame.size.height));
}

void NSWindow::setContentViewController(const Ref<NSViewController>& controller)
{
    if (controller == m_contentViewController)
        return;
    m_contentViewController = controller;
    if (controller)
        setContentView(controller->view());
}

// MARK: Attributes

void NSWindow::setTitle(const std::string& title)
{
    m_title = title;
    syncWithDesktop();
}

void NSWindow::setIdentifier(const std::string& identifier)
{
    m_identifier = identifier;
    syncWithDesktop();
}

void NSWindow::setLevel(NSWindowLevel level)
{
    if (level == m_level)
        return;
    m_level = level;
    syncWithDesktop();
}

void NSWindow::setStyleMask(NSWindowStyleMask mask)
{
    m_styleMask = mask;
    if (!(mask & NSWindowStyleMaskTitled))
        m_standardButtons.clear();
    for (const auto& [kind, button] : m_standardButtons)
        button->setEnabled(mask & standardButtonAbility(kind));
    syncWithDesktop();
}

NSWindowStyleMask NSWindow::standardButtonAbility(NSWindowButton button)
{
    switch (button) {
    case NSWindowCloseButton:
        return NSWindowStyleMaskClosable;
    case NSWindowMiniaturizeButton:
        return NSWindowStyleMaskMiniaturizable;
    case NSWindowZoomButton:
        return NSWindowStyleMaskResizable;
    default:
        return 0;
    }
}

Ref<NSButton> NSWindow::standardWindowButton(NSWindowButton kind)
{
    if (!(m_styleMask & NSWindowStyleMaskTitled) || !standardButtonAbility(kind))
        return nullptr;
    auto& button = m_standardButtons[kind];
    if (!button) {
        button = makeRef<NSButton>(CGRectMake(0, 0, 14, 16));
        button->setBordered(false);
        button->setEnabled(m_styleMask & standardButtonAbility(kind));
        if (kind == NSWindowCloseButton) {
            button->setTarget(selfRef<NSObject>());
            button->setAction("performClose:");
        }
    }
    return button;
}

void NSWindow::setToolbar(const Ref<NSToolbar>& toolbar)
{
    if (toolbar == m_toolbar)
        return;
    if (m_toolbar)
        m_toolbar->setWindow(nullptr);
    // The content keeps its size and top edge; the frame grows or shrinks
    // by the strip.
    CGFloat change = (toolbar ? kToolbarHeight : 0) - toolbarHeight();
    m_toolbar = toolbar;
    if (toolbar) {
        toolbar->setWindow(this);
        toolbar->loadItemsIfNeeded();
    }
    if (change != 0) {
        CGRect frame = m_frame;
        frame.size.height = std::max(0.0, frame.size.height + change);
        frame.origin.y -= change;
        setFrame(frame, m_visible);
        if (m_contentView)
            m_contentView->setFrame(contentViewFrame());
    }
}

void NSWindow::setAlphaValue(CGFloat alpha)
{
    NSAnimationContext::cancelAnimation(this, "alphaValue");
    setAlphaValueDirectly(alpha);
}

void NSWindow::setAlphaValueDirectly(CGFloat alpha)
{
    alpha = std::clamp(alpha, 0.0, 1.0);
    if (alpha == m_alpha)
        return;
    m_alpha = alpha;
    syncWithDesktop();
}

void NSWindowAnimator::setAlphaValue(CGFloat alpha)
{
    NSWindow* window = m_window;
    std::weak_ptr<bool> alive = window->m_alive;
    NSAnimationContext::animate(window, "alphaValue", window->alphaValue(), alpha, [window, alive](CGFloat v) {
        if (!alive.expired())
            window->setAlphaValueDirectly(v);
    });
}

void NSWindowAnimator::setFrame(CGRect frame, bool display) { m_window->setFrame(frame, display); }

void NSWindow::setBackgroundColor(const Ref<NSColor>& color)
{
    m_backgroundColor = color;
    invalidateRect(CGRectMake(0, 0, m_frame.size.width, m_frame.size.height));
}

void NSWindow::setIgnoresMouseEvents(bool flag)
{
    m_ignoresMouseEvents = flag;
    syncWithDesktop();
}

// MARK: Desktop

void NSWindow::syncWithDesktop()
{
    if (!m_visible)
        return;
    auto* desktop = &Desktop::current();
    DesktopWindow w;
    w.number = static_cast<CGWindowID>(m_number);
    w.title = m_title;
    w.frame = NSScreenFlipRect(m_frame);
    w.layer = static_cast<int>(m_level);
    w.alpha = m_alpha;
    w.space = 0;
    w.identifier = m_identifier;
    w.hasCloseButton = m_styleMask & NSWindowStyleMaskClosable;
    w.hasMinimizeButton = m_styleMask & NSWindowStyleMaskMiniaturizable;
    w.hasZoomButton = m_styleMask & NSWindowStyleMaskResizable;
    w.resizable = m_styleMask & NSWindowStyleMaskResizable;
    w.isMain = isMainWindow();
    w.ignoresMouseEvents = m_ignoresMouseEvents;
    w.statusItem = m_statusItemWindow;
    if (!(m_styleMask & NSWindowStyleMaskTitled))
        w.subrole = "AXSystemDialog";
    if (m_contentView)
        w.backdropColor = backdropColorOf(*m_contentView);
    if (m_number == 0) {
        m_number = desktop->registerOwnWindow(w);
        std::weak_ptr<bool> alive = m_alive;
        std::weak_ptr<PublishedFrame> published = m_published;
        NSWindow* self = this;
        desktop->setOwnWindowContent(static_cast<CGWindowID>(m_number), [self, alive, published]() -> DesktopFrame {
            // Only the main thread paints, and it reads the backing itself;
            // another thread (a capture on a background queue) gets a copy
            // of the frame painted last.
            if (isMainThread()) {
                if (alive.expired())
                    return {};
                return self->renderedFrame();
            }
            auto frame = published.lock();
            if (!frame)
                return {};
            std::lock_guard lock(frame->mutex);
            frame->catchUp();
            if (frame->pixels.empty())
                return {};
            return DesktopFrame::copyOf(frame->pixels.data(), frame->width, frame->height, frame->stride);
        });
        // What was painted while the window was not on the desktop. A frame
        // that changed since is not handed over (it would show what the
        // window showed before): the first paint, soon, hands over the whole
        // frame. A window ordered out and in again with nothing painted
        // between hands over the frame it kept, as it was.
        if (m_backing && (m_backingStale || m_paintedUnpublished)) {
            {
                std::lock_guard lock(m_published->mutex);
                m_published->forgetPainted();
                m_published->width = 0;
            }
            if (!m_backingStale)
                publishFrame(CGRectNull);
        }
    } else {
        desktop->updateOwnWindow(w);
    }
}

void NSWindow::unregisterFromDesktop()
{
    if (m_number == 0)
        return;
    Desktop::current().removeOwnWindow(static_cast<CGWindowID>(m_number));
    m_number = 0;
}

// MARK: Ordering and status

bool NSWindow::isVisible() const { return m_visible && !NSApp().isHidden(); }

bool NSWindow::isKeyWindow() const { return NSApp().keyWindow().get() == this; }

bool NSWindow::isMainWindow() const { return NSApp().mainWindow().get() == this; }

bool NSWindow::canBecomeKeyWindow() const
{
    return (m_styleMask & (NSWindowStyleMaskTitled | NSWindowStyleMaskResizable)) != 0;
}

bool NSWindow::canBecomeMainWindow() const { return (m_styleMask & NSWindowStyleMaskTitled) != 0; }

void NSWindow::makeKeyWindow()
{
    if (!canBecomeKeyWindow() || isKeyWindow())
        return;
    NSApp().setKeyWindowInternal(this);
    if (canBecomeMainWindow())
        makeMainWindow();
}

void NSWindow::makeMainWindow()
{
    if (!canBecomeMainWindow() || isMainWindow())
        return;
    NSApp().setMainWindowInternal(this);
}

void NSWindow::becomeKeyWindow()
{
    postNotification(NSWindowDidBecomeKeyNotification);
    trackingGeometryChanged();
}

void NSWindow::resignKeyWindow()
{
    postNotification(NSWindowDidResignKeyNotification);
    trackingGeometryChanged();
}

void NSWindow::becomeMainWindow()
{
    syncWithDesktop();
    redisplayForStatusChange();
    postNotification(NSWindowDidBecomeMainNotification);
}

void NSWindow::resignMainWindow()
{
    syncWithDesktop();
    redisplayForStatusChange();
    postNotification(NSWindowDidResignMainNotification);
}

// Controls draw dimmed in a window that is not main, so the whole content
// is drawn again when the status changes.
void NSWindow::redisplayForStatusChange()
{
    if (m_contentView)
        m_contentView->setNeedsDisplay(true);
}

void NSWindow::makeKeyAndOrderFront(const Ref<NSObject>& sender)
{
    orderFront(sender);
    makeKeyWindow();
}

void NSWindow::orderFront(const Ref<NSObject>&)
{
    QV_ASSERT_MAIN_THREAD("NSWindow::orderFront");
    bool orderingIn = !m_visible;
    if (!m_visible) {
        auto keep = selfRef<NSWindow>();
        auto screen = this->screen();
        CGRect constrained = constrainFrameRect(m_frame, screen ? screen : NSScreen::mainScreen());
        NSView::notifyAppearance(m_contentView.get(), true, false);
        m_visible = true;
        setFrame(constrained, false);
        layoutIfNeeded();
        m_backingStale = !CGRectIsNull(m_dirty);
        invalidateRect(CGRectMake(0, 0, m_frame.size.width, m_frame.size.height));
        NSView::notifyAppearance(m_contentView.get(), true, true);
    }
    syncWithDesktop();
    // What the window will cover is read while the desktop still shows it.
    if (orderingIn && m_contentView)
        captureBackdrops(*m_contentView);
    Desktop::current().orderOwnWindow(static_cast<CGWindowID>(m_number), true);
    NSApp().windowOrderedFront(this);
    trackingGeometryChanged();
}

void NSWindow::orderFrontRegardless() { orderFront(nullptr); }

void NSWindow::orderBack(const Ref<NSObject>& sender)
{
    orderFront(sender);
    Desktop::current().orderOwnWindow(static_cast<CGWindowID>(m_number), false);
}

void NSWindow::orderOut(const Ref<NSObject>&)
{
    QV_ASSERT_MAIN_THREAD("NSWindow::orderOut");
    if (!m_visible)
        return;
    auto keep = selfRef<NSWindow>();
    NSView::notifyAppearance(m_contentView.get(), false, false);
    m_visible = false;
    unregisterFromDesktop();
    NSView::notifyAppearance(m_contentView.get(), false, true);
    resetTracking();
    auto& app = NSApp();
    bool wasKey = isKeyWindow();
    bool wasMain = isMainWindow();
    app.windowOrderedOut(this);
    if (wasKey)
        app.setKeyWindowInternal(nullptr);
    if (wasMain)
        app.setMainWindowInternal(nullptr);
    // As on the platform, the frontmost remaining window that can takes
    // over the key status.
    if (wasKey) {
        for (const auto& w : app.orderedWindows()) {
            if (w.get() != this && w->canBecomeKeyWindow()) {
                w->makeKeyWindow();
                break;
            }
        }
    }
}

void NSWindow::performClose(const Ref<NSObject>&)
{
    if (auto delegate = dynamic_cast<NSWindowDelegate*>(m_delegate.lock().get()))
        if (!delegate->windowShouldClose(*this))
            return;
    close();
}

void NSWindow::close()
{
    QV_ASSERT_MAIN_THREAD("NSWindow::close");
    postNotification(NSWindowWillCloseNotification);
    if (auto delegate = dynamic_cast<NSWindowDelegate*>(m_delegate.lock().get()))
        delegate->windowWillClose(*this);
    orderOut(nullptr);
}

void NSWindow::postNotification(const std::string& name)
{
    auto self = selfRef<NSObject>();
    if (!self)
        return;
    NSNotificationCenter::defaultCenter().postNotificationName(name, self);
}

// MARK: Responders

Ref<NSResponder> NSWindow::firstResponder() const
{
    if (auto r = m_firstResponder.lock())
        return r;
    return selfRef<NSResponder>();
}

bool NSWindow::makeFirstResponder(const Ref<NSResponder>& responder)
{
    auto current = m_firstResponder.lock();
    bool isSelf = !responder || responder.get() == this;
    if ((isSelf && !current) || (current && current == responder))
        return true;
    if (!isSelf && !responder->acceptsFirstResponder())
        return false;
    if (current && !current->resignFirstResponder())
        return false;
    m_firstResponder.reset();
    if (isSelf)
        return true;
    if (!responder->becomeFirstResponder())
        return false;
    m_firstResponder = responder;
    trackingGeometryChanged();
    return true;
}

void NSWindow::selectKeyViewFollowingView(const Ref<NSView>& view)
{
    if (!m_contentView)
        return;
    std::vector<NSView*> order;
    std::vector<NSView*> stack { m_contentView.get() };
    while (!stack.empty()) {
        NSView* v = stack.back();
        stack.pop_back();
        order.push_back(v);
        for (auto it = v->subviews().rbegin(); it != v->subviews().rend(); ++it)
            stack.push_back(it->get());
    }
    auto start = std::find(order.begin(), order.end(), view.get());
    if (start == order.end())
        return;
    size_t from = static_cast<size_t>(start - order.begin());
    for (size_t step = 1; step < order.size(); ++step) {
        NSView* candidate = order[(from + step) % order.size()];
        if (candidate->isHiddenOrHasHiddenAncestor())
            continue;
        if (candidate->canBecomeKeyView() || candidate->acceptsFirstResponder()) {
            makeFirstResponder(candidate->selfRef<NSResponder>());
            return;
        }
    }
}

Ref<NSResponder> NSWindow::nextResponder() const
{
    if (hasExplicitNextResponder())
        return NSResponder::nextResponder();
    if (m_windowController)
        return m_windowController->selfRef<NSResponder>();
    return nullptr;
}

void NSWindow::viewWillLeaveWindow(NSView* view)
{
    if (auto first = dynamic_cast<NSView*>(m_firstResponder.lock().get()); first && first->isDescendantOf(view))
        m_firstResponder.reset();
    if (auto down = m_mouseDownView.lock(); down && down->isDescendantOf(view))
        m_mouseDownView.reset();
    std::vector<NSView*> stack { view };
    while (!stack.empty()) {
        NSView* v = stack.back();
        stack.pop_back();
        for (const auto& area : v->trackingAreas()) {
            area->m_inside = (area->m_options & NSTrackingAssumeInside) != 0;
            area->m_checked = false;
        }
        for (const auto& sub : v->subviews())
            stack.push_back(sub.get());
    }
}

// MARK: Events

void NSWindow::sendEvent(const Ref<NSEvent>& event)
{
    if (!event)
        return;
    auto self = selfRef<NSWindow>();
    switch (event->type()) {
    case NSEventTypeKeyDown:
        firstResponder()->keyDown(event);
        return;
    case NSEventTypeKeyUp:
        firstResponder()->keyUp(event);
        return;
    case NSEventTypeFlagsChanged:
        firstResponder()->flagsChanged(event);
        return;
    default:
        break;
    }
    CGPoint point = event->locationInWindow();
    if (event->type() == NSEventTypeLeftMouseDown && m_toolbar && point.y >= m_frame.size.height - toolbarHeight()) {
        if (!isKeyWindow() && canBecomeKeyWindow())
            makeKeyWindow();
        m_pressedToolbarItem = toolbarItemAtPoint(point);
        return;
    }
    if (event->type() == NSEventTypeLeftMouseUp && m_pressedToolbarItem.lock()) {
        auto pressed = m_pressedToolbarItem.lock();
        m_pressedToolbarItem.reset();
        if (toolbarItemAtPoint(point) == pressed)
            pressed->performClick();
        return;
    }
    if (!m_contentView)
        return;
    switch (event->type()) {
    case NSEventTypeLeftMouseDown: {
        auto hit = m_contentView->hitTest(point);
        if (!isKeyWindow() && canBecomeKeyWindow())
            makeKeyWindow();
        if (hit && hit->acceptsFirstResponder())
            makeFirstResponder(hit);
        m_mouseDownView = hit;
        if (hit)
            hit->mouseDown(event);
        return;
    }
    case NSEventTypeLeftMouseDragged:
    case NSEventTypeLeftMouseUp: {
        auto target = m_mouseDownView.lock();
        if (!target)
            target = m_contentView->hitTest(point);
        if (event->type() == NSEventTypeLeftMouseUp)
            m_mouseDownView.reset();
        if (!target)
            return;
        if (event->type() == NSEventTypeLeftMouseUp)
            target->mouseUp(event);
        else
            target->mouseDragged(event);
        return;
    }
    case NSEventTypeRightMouseDown:
        if (auto hit = m_contentView->hitTest(point))
            hit->rightMouseDown(event);
        return;
    case NSEventTypeRightMouseUp:
        if (auto hit = m_contentView->hitTest(point))
            hit->rightMouseUp(event);
        return;
    case NSEventTypeScrollWheel:
        if (auto hit = m_contentView->hitTest(point))
            hit->scrollWheel(event);
        return;
    default:
        return;
    }
}

// MARK: Tracking areas

void NSWindow::trackMouse(const Ref<NSEvent>& event, bool topmost, std::optional<CGPoint> pointer)
{
    if (!m_contentView)
        return;
    CGPoint screenPoint = event ? event->locationInScreen() : pointer ? *pointer : NSEvent::mouseLocation();
    CGPoint base = convertPointFromScreen(screenPoint);
    bool moved = event && (event->type() == NSEventTypeMouseMoved || event->type() == NSEventTypeLeftMouseDragged);
    bool dragging = event && event->type() == NSEventTypeLeftMouseDragged;
    auto& app = NSApp();
    auto first = m_firstResponder.lock();

    struct Pending {
        Ref<NSTrackingArea> area;
        NSEventType type;
    };
    std::vector<Pending> pending;
    std::vector<NSView*> stack { m_contentView.get() };
    while (!stack.empty()) {
        NSView* view = stack.back();
        stack.pop_back();
        for (auto it = view->subviews().rbegin(); it != view->subviews().rend(); ++it)
            stack.push_back(it->get());
        for (const auto& area : view->trackingAreas()) {
            auto options = area->options();
            bool active = (options & NSTrackingActiveAlways) || ((options & NSTrackingActiveInKeyWindow) && isKeyWindow())
                || ((options & NSTrackingActiveInActiveApp) && app.isActive())
                || ((options & NSTrackingActiveWhenFirstResponder) && first.get() == view);
            if (dragging && !(options & NSTrackingEnabledDuringMouseDrag))
                active = false;
            bool inside = false;
            if (m_visible && topmost && !view->isHiddenOrHasHiddenAncestor()) {
                // Where the window shows the view: views drawn in 3D track
                // the point through their projection.
                auto local = view->convertPointFromWindowAsShown(base);
                inside = local && view->mouse(*local, area->effectiveRect());
            }
            bool was = area->m_inside;
            area->m_checked = true;
            if (!active)
                continue;
            area->m_inside = inside;
            if (inside != was && (options & NSTrackingMouseEnteredAndExited))
                pending.push_back({ area, inside ? NSEventTypeMouseEntered : NSEventTypeMouseExited });
            else if (inside && was && moved && (options & NSTrackingMouseMoved))
                pending.push_back({ area, NSEventTypeMouseMoved });
        }
    }
    // Deliver after the walk: owners may change the view tree.
    for (const auto& p : pending) {
        auto owner = p.area->owner();
        if (!owner)
            continue;
        if (p.type == NSEventTypeMouseMoved) {
            // The owner reads the location in this window, as the window
            // that tracks the area hands the movement on.
            auto moved = NSEvent::eventWithCGEvent(event->CGEvent());
            moved->setWindow(selfRef<NSWindow>());
            owner->mouseMoved(moved);
            continue;
        }
        auto e = NSEvent::enterExitEvent(p.type, event, p.area);
        e->setWindow(selfRef<NSWindow>());
        if (p.type == NSEventTypeMouseEntered)
            owner->mouseEntered(e);
        else
            owner->mouseExited(e);
    }
}

void NSWindow::resetTracking()
{
    if (m_contentView)
        viewWillLeaveWindow(m_contentView.get());
}

void NSWindow::trackingGeometryChanged()
{
    if (m_trackingRecheckScheduled || !m_visible)
        return;
    m_trackingRecheckScheduled = true;
    std::weak_ptr<bool> alive = m_alive;
    RunLoop::main().perform([this, alive] {
        if (alive.expired())
            return;
        m_trackingRecheckScheduled = false;
        recheckTracking();
    });
}

void NSWindow::recheckTracking()
{
    // Read once: on X11 each read is a round trip to the server.
    CGPoint pointer = NSEvent::mouseLocation();
    auto top = NSApp().windowAtScreenPoint(pointer);
    trackMouse(nullptr, top.get() == this, pointer);
}

void NSWindow::trackingAreaRemoved(NSTrackingArea*) { }

// MARK: Display

void NSWindow::invalidateRect(CGRect rect)
{
    CGRect bounds = CGRectMake(0, 0, m_frame.size.width, m_frame.size.height);
    rect = CGRectIntersection(CGRectIntegral(rect), bounds);
    if (CGRectIsNull(rect) || CGRectIsEmpty(rect))
        return;
    m_dirty = CGRectUnion(m_dirty, rect);
    scheduleDisplay();
}

void NSWindow::layoutNeeded()
{
    m_layoutNeeded = true;
    scheduleDisplay();
}

void NSWindow::setAutodisplay(bool autodisplay)
{
    m_autodisplay = autodisplay;
    if (autodisplay && (viewsNeedDisplay() || m_layoutNeeded))
        scheduleDisplay();
}

void NSWindow::scheduleDisplay()
{
    if (m_displayScheduled || !m_autodisplay)
        return;
    m_displayScheduled = true;
    std::weak_ptr<bool> alive = m_alive;
    RunLoop::main().perform(
        [this, alive] {
            if (alive.expired())
                return;
            m_displayScheduled = false;
            if (m_visible)
                displayIfNeeded();
        },
        kCFRunLoopCommonModes);
}

void NSWindow::layoutIfNeeded()
{
    // Layout may change frames, which may ask for layout again; a few
    // rounds settle any tree of anchors between a view and its superview.
    for (int round = 0; round < 4; ++round) {
        m_layoutNeeded = false;
        if (m_contentView)
            m_contentView->layoutSubtreeIfNeeded();
        if (!m_layoutNeeded)
            break;
    }
}

// A layer change marks its view for display (NSView::layerDidChange). Views
// whose layers animate are painted again at the next animation frame of the
// clock, not at once, so that a run loop can go idle between frames: the
// paint pass notes every layer-backed view it paints that is animating.
void NSWindow::viewPaintedAnimating(NSView* view)
{
    if (m_painting)
        m_animatingViews.push_back(view->selfRef<NSView>());
}

// The frame paints every view noted animating since the last frame.
void NSWindow::scheduleAnimationFrame()
{
    if (m_animationFrameScheduled)
        return;
    m_animationFrameScheduled = true;
    std::weak_ptr<bool> alive = m_alive;
    RunLoop::main().performAfterDelay(this, "displayAnimationFrame", NSAnimationContext::kFrameInterval,
        [this, alive] {
            if (alive.expired())
                return;
            m_animationFrameScheduled = false;
            for (const auto& weak : std::exchange(m_animatingViews, {}))
                if (auto view = weak.lock(); view && view->window() == this)
                    view->layerDidChange();
        },
        { kCFRunLoopCommonModes });
}

void NSWindow::setAppearance(const std::string& name)
{
    if (name == m_appearance)
        return;
    m_appearance = name;
    if (m_contentView)
        m_contentView->setNeedsDisplay(true);
}

std::string NSWindow::effectiveAppearance() const
{
    return m_appearance.empty() ? NSApp().effectiveAppearance() : m_appearance;
}

void NSWindow::displayIfNeeded()
{
    QV_ASSERT_MAIN_THREAD("NSWindow::displayIfNeeded");
    layoutIfNeeded();
    NSAppearanceDrawingScope appearance(effectiveAppearance());
    int width = static_cast<int>(std::ceil(m_frame.size.width));
    int height = static_cast<int>(std::ceil(m_frame.size.height));
    if (width <= 0 || height <= 0)
        return;
    bool resized = !m_backing || static_cast<int>(CGBitmapContextGetWidth(m_backing)) != width
        || static_cast<int>(CGBitmapContextGetHeight(m_backing)) != height;
    if (!resized && CGRectIsNull(m_dirty))
        return;
    {
        // Rows other threads have not been handed yet are taken from the
        // backing before it changes or goes.
        std::lock_guard lock(m_published->mutex);
        m_published->catchUp();
    }
    // A new backing starts cleared: its first paint need not clear it again.
    bool cleared = false;
    if (resized) {
        m_backing = CGBitmapContextCreate(nullptr, width, height, 8, 0, CGColorSpaceCreateDeviceRGB(),
            kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little);
        m_dirty = CGRectMake(0, 0, width, height);
        cleared = true;
    }
    if (!m_backing || CGRectIsNull(m_dirty))
        return;
    CGRect dirty = m_dirty;
    m_dirty = CGRectNull;
    {
        CGContextStateSaver saver(m_backing);
        CGContextClipToRect(m_backing, dirty);
        if (!cleared)
            CGContextClearRect(m_backing, dirty);
        if (m_backgroundColor && m_backgroundColor->alphaComponent() > 0) {
            CGContextSetFillColorWithColor(m_backing, m_backgroundColor->CGColor());
            CGContextFillRect(m_backing, dirty);
        }
        if (m_contentView) {
            CGContextStateSaver viewSaver(m_backing);
            CGContextConcatCTM(m_backing, m_contentView->transformToSuperview());
            CGRect local = CGRectApplyAffineTransform(dirty, CGAffineTransformInvert(m_contentView->transformToSuperview()));
            m_painting = true;
            m_contentView->drawSubtree(m_backing, local);
            m_painting = false;
        }
        if (m_toolbar)
            drawToolbar(m_backing, dirty);
    }
    if (!m_animatingViews.empty())
        scheduleAnimationFrame();
    if (m_contentView)
        m_contentView->clearNeedsDisplayRecursively();
    m_paintedUnpublished = true;
    if (m_number == 0)
        return;
    if (isFlushWindowDisabled()) {
        m_unflushed = CGRectUnion(m_unflushed, dirty);
        return;
    }
    publishFrame(dirty);
    Desktop::current().ownWindowPainted(static_cast<CGWindowID>(m_number));
}

void NSWindow::enableFlushWindow()
{
    if (m_flushDisabled == 0 || --m_flushDisabled > 0)
        return;
    CGRect unflushed = m_unflushed;
    m_unflushed = CGRectNull;
    if (CGRectIsNull(unflushed) || !m_backing || m_number == 0)
        return;
    publishFrame(unflushed);
    Desktop::current().ownWindowPainted(static_cast<CGWindowID>(m_number));
}

// Hands the rows just painted to the frame other threads see; they are
// copied from the backing, into memory kept from frame to frame, when first
// needed: a paint of a small part copies only that part.
void NSWindow::publishFrame(CGRect dirty)
{
    int width = static_cast<int>(CGBitmapContextGetWidth(m_backing));
    int height = static_cast<int>(CGBitmapContextGetHeight(m_backing));
    size_t stride = CGBitmapContextGetBytesPerRow(m_backing);
    auto& frame = *m_published;
    std::lock_guard lock(frame.mutex);
    if (frame.width == width && frame.height == height && frame.stride == stride && !frame.wholePainted) {
        // Rows count from the top; the window's coordinates from the bottom.
        int first = std::clamp(static_cast<int>(std::floor(height - CGRectGetMaxY(dirty))), 0, height);
        int last = std::clamp(static_cast<int>(std::ceil(height - CGRectGetMinY(dirty))), first, height);
        if (frame.painted && frame.lastPainted > frame.firstPainted) {
            first = std::min(first, frame.firstPainted);
            last = std::max(last, frame.lastPainted);
        }
        frame.firstPainted = first;
        frame.lastPainted = last;
    } else {
        // A frame of another size is taken whole.
        frame.width = width;
        frame.height = height;
        frame.stride = stride;
        frame.wholePainted = true;
    }
    frame.painted = m_backing;
    // Every paint not handed over lies in what this one hands over: the
    // whole frame as the window comes onto the desktop, all that gathered
    // while flushing was off.
    m_paintedUnpublished = false;
}

void NSWindow::PublishedFrame::catchUp()
{
    if (!painted)
        return;
    const auto* data = static_cast<const uint8_t*>(CGBitmapContextGetData(painted));
    if (wholePainted) {
        // Memory taken for the new size, not cleared first: every byte is
        // written.
        size_t bytes = stride * static_cast<size_t>(height);
        pixels.clear();
        reserveLargeBuffer(pixels, bytes);
        pixels.assign(data, data + bytes);
    } else {
        std::copy(data + stride * firstPainted, data + stride * lastPainted, pixels.data() + stride * firstPainted);
    }
    forgetPainted();
}

void NSWindow::PublishedFrame::forgetPainted()
{
    painted = nullptr;
    firstPainted = lastPainted = 0;
    wholePainted = false;
}

void NSWindow::releaseKeptFrame()
{
    QV_ASSERT_MAIN_THREAD("NSWindow::releaseKeptFrame");
    // Paints gathered while flushing is off live only in the backing.
    if (m_visible || m_painting || isFlushWindowDisabled())
        return;
    std::lock_guard lock(m_published->mutex);
    m_published->forgetPainted();
    m_backing = nullptr;
    m_published->width = m_published->height = 0;
    m_published->stride = 0;
    std::vector<uint8_t>().swap(m_published->pixels);
    if (m_contentView)
        forEachShownEffectView(*m_contentView, [](NSVisualEffectView& effect) { effect.letGoOfKeptBackdrops(); });
}

void NSWindow::display()
{
    invalidateRect(CGRectMake(0, 0, m_frame.size.width, m_frame.size.height));
    displayIfNeeded();
}

CGImageRef NSWindow::renderedCGImage()
{
    displayIfNeeded();
    return m_backing ? CGBitmapContextCreateImage(m_backing) : nullptr;
}

DesktopFrame NSWindow::renderedFrame()
{
    displayIfNeeded();
    if (!m_backing)
        return {};
    return { static_cast<const uint8_t*>(CGBitmapContextGetData(m_backing)),
        static_cast<int>(CGBitmapContextGetWidth(m_backing)), static_cast<int>(CGBitmapContextGetHeight(m_backing)),
        CGBitmapContextGetBytesPerRow(m_backing), m_backing };
}

DesktopImage NSWindow::renderedImage() { return renderedFrame().image(); }

bool NSWindow::writeRenderedPNG(const std::string& path)
{
    auto destination = CGImageDestinationCreateWithURL(path, "public.png", 1);
    auto image = renderedCGImage();
    if (!image || !destination)
        return false;
    CGImageDestinationAddImage(destination, image);
    return CGImageDestinationFinalize(destination);
}

Value NSWindow::valueForKey(const std::string& key) const
{
    if (key == "title")
        return Value(m_title);
    if (key == "identifier")
        return Value(m_identifier);
    if (key == "alphaValue")
        return Value(m_alpha);
    if (key == "visible")
        return Value(m_visible);
    return NSResponder::valueForKey(key);
}

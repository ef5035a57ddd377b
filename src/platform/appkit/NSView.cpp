#include "NSView.h"

#include "NSScrollView.h"
#include "NSTrackingArea.h"
#include "NSViewController.h"
#include "NSWindow.h"

#include <foundation/MainThread.h>
#include <foundation/Format.h>
#include <graphics/CGColorSpace.h>
#include <graphics/NSGraphicsContext.h>

#include <algorithm>
#include <unordered_set>

NSView::NSView(CGRect frame)
    : m_frame(frame)
    , m_bounds { CGPointZero, frame.size }
{
}

NSView::~NSView()
{
    // The subviews outlive this view only if someone else holds them; their
    // back-pointers must not dangle.
    for (const auto& sub : m_subviews) {
        sub->m_superview = nullptr;
        sub->setWindowRecursively(nullptr);
    }
    for (const auto& c : m_constraints)
        c->m_holder = nullptr;
    // The layer may outlive the view; its changes no longer concern it.
    if (m_layer && m_layer->delegate() == this)
        m_layer->setDelegate(nullptr);
}

// MARK: Geometry

void NSView::setFrame(CGRect frame)
{
    QV_ASSERT_MAIN_THREAD("NSView::setFrame");
    if (frame == m_frame)
        return;
    CGRect old = m_frame;
    m_frame = frame;
    // The bounds keep their scale to the frame: a view whose bounds were
    // sized apart (its content scaled into the frame) stays scaled when it
    // moves or is resized. An axis that had no size, or whose bounds are as
    // long as the frame, follows the frame exactly: scaling by the ratio of
    // the lengths would leave it a rounding error short (880 points after
    // 600 becomes 879.99999999999989), which then counts as less than
    // room for what it was sized to hold.
    auto follow = [](CGFloat bounds, CGFloat oldFrame, CGFloat newFrame) {
        return oldFrame != 0 && bounds != 0 && bounds != oldFrame ? bounds * (newFrame / oldFrame) : newFrame;
    };
    m_bounds.size = { follow(m_bounds.size.width, old.size.width, frame.size.width),
        follow(m_bounds.size.height, old.size.height, frame.size.height) };
    frameChanged(old);
}

void NSView::setFrameOrigin(CGPoint origin) { setFrame({ origin, m_frame.size }); }

void NSView::setFrameSize(CGSize size) { setFrame({ m_frame.origin, size }); }

void NSView::setBounds(CGRect bounds)
{
    QV_ASSERT_MAIN_THREAD("NSView::setBounds");
    if (bounds == m_bounds)
        return;
    bool resized = bounds.size != m_bounds.size;
    m_bounds = bounds;
    syncLayerGeometry();
    setNeedsDisplay(true);
    // A layer-backed view covers its bounds' size in its superview.
    if (resized && m_layer && m_superview)
        m_superview->setNeedsDisplayInRect(m_superview->bounds());
    if (m_window)
        m_window->trackingGeometryChanged();
}

void NSView::setBoundsOrigin(CGPoint origin) { setBounds({ origin, m_bounds.size }); }

void NSView::setBoundsSize(CGSize size) { setBounds({ m_bounds.origin, size }); }

void NSView::frameChanged(CGRect old)
{
    syncLayerGeometry();
    if (old.size != m_frame.size) {
        if (m_autoresizesSubviews)
            resizeSubviewsWithOldSize(old.size);
        if (!m_constraints.empty())
            setNeedsLayout(true);
    }
    if (auto* clip = dynamic_cast<NSClipView*>(m_superview); clip && clip->documentView().get() == this)
        clip->documentFrameChanged();
    if (m_superview) {
        m_superview->setNeedsDisplayInRect(m_projection || isProjected() || coveredFrame() != m_frame
                ? m_superview->bounds()
                : CGRectUnion(old, m_frame));
        if (!m_translatesMask || !m_superview->m_constraints.empty())
            m_superview->setNeedsLayout(true);
    } else {
        setNeedsDisplay(true);
    }
    if (m_window) {
        // As on the platform, a view whose geometry changed in a window
        // rebuilds its tracking areas.
        updateTrackingAreas();
        m_window->trackingGeometryChanged();
    }
}

CGRect NSView::coveredFrame() const
{
    if (!m_layer || m_bounds.size == m_frame.size || !(m_bounds.size.width > 0) || !(m_bounds.size.height > 0))
        return m_frame;
    CGPoint anchor = m_layer->anchorPoint();
    return { { m_frame.origin.x + (m_frame.size.width - m_bounds.size.width) * anchor.x,
                 m_frame.origin.y + (m_frame.size.height - m_bounds.size.height) * anchor.y },
        m_bounds.size };
}

CGAffineTransform NSView::transformToSuperview() const
{
    CGRect covered = coveredFrame();
    CGFloat sx = m_bounds.size.width != 0 ? covered.size.width / m_bounds.size.width : 1;
    CGFloat sy = m_bounds.size.height != 0 ? covered.size.height / m_bounds.size.height : 1;
    bool parentFlipped = m_superview && m_superview->isFlipped();
    CGAffineTransform t;
    t.a = sx;
    t.tx = covered.origin.x - m_bounds.origin.x * sx;
    if (isFlipped() == parentFlipped) {
        t.d = sy;
        t.ty = covered.origin.y - m_bounds.origin.y * sy;
    } else {
        t.d = -sy;
        t.ty = covered.origin.y + covered.size.height + m_bounds.origin.y * sy;
    }
    return t;
}

CGAffineTransform NSView::transformToWindow() const
{
    CGAffineTransform t = transformToSuperview();
    for (const NSView* v = m_superview; v; v = v->m_superview)
        t = CGAffineTransformConcat(t, v->transformToSuperview());
    return t;
}

CGPoint NSView::convertPointToView(CGPoint point, const NSView* view) const
{
    CGPoint inWindow = CGPointApplyAffineTransform(point, transformToWindow());
    if (!view)
        return inWindow;
    return CGPointApplyAffineTransform(inWindow, CGAffineTransformInvert(view->transformToWindow()));
}

CGPoint NSView::convertPointFromView(CGPoint point, const NSView* view) const
{
    CGPoint inWindow = view ? CGPointApplyAffineTransform(point, view->transformToWindow()) : point;
    return CGPointApplyAffineTransform(inWindow, CGAffineTransformInvert(transformToWindow()));
}

CGRect NSView::convertRectToView(CGRect rect, const NSView* view) const
{
    CGAffineTransform t = transformToWindow();
    if (view)
        t = CGAffineTransformConcat(t, CGAffineTransformInvert(view->transformToWindow()));
    return CGRectApplyAffineTransform(rect, t);
}

CGRect NSView::convertRectFromView(CGRect rect, const NSView* view) const
{
    CGAffineTransform t = view ? view->transformToWindow() : CGAffineTransformIdentity;
    t = CGAffineTransformConcat(t, CGAffineTransformInvert(transformToWindow()));
    return CGRectApplyAffineTransform(rect, t);
}

CGSize NSView::convertSizeToView(CGSize size, const NSView* view) const
{
    CGRect r = convertRectToView({ CGPointZero, size }, view);
    return r.size;
}

CGRect NSView::visibleRect() const
{
    if (isHiddenOrHasHiddenAncestor())
        return CGRectZero;
    CGRect visible = m_bounds;
    for (const NSView* v = m_superview; v; v = v->m_superview) {
        CGRect clip = convertRectFromView(v->m_bounds, v);
        visible = CGRectIntersection(visible, clip);
    }
    return CGRectIsNull(visible) ? CGRectZero : visible;
}

// MARK: The tree

bool NSView::isDescendantOf(const NSView* view) const
{
    for (const NSView* v = this; v; v = v->m_superview)
        if (v == view)
            return true;
    return false;
}

void NSView::addSubview(const Ref<NSView>& view) { addSubview(view, NSWindowOrderingMode::Above, nullptr); }

void NSView::addSubview(const Ref<NSView>& view, NSWindowOrderingMode place, const Ref<NSView>& otherView)
{
    QV_ASSERT_MAIN_THREAD("NSView::addSubview");
    if (!view || isDescendantOf(view.get()))
        return;
    Ref<NSView> keep = view;
    if (view->m_superview)
        view->detachFromSuperview(true);
    size_t index = m_subviews.size();
    if (otherView) {
        auto it = std::find(m_subviews.begin(), m_subviews.end(), otherView);
        if (it != m_subviews.end())
            index = static_cast<size_t>(it - m_subviews.begin()) + (place == NSWindowOrderingMode::Above ? 1 : 0);
    } else if (place == NSWindowOrderingMode::Below) {
        index = 0;
    }
    insertSubviewAt(view, index);
}

void NSView::insertSubviewAt(const Ref<NSView>& view, size_t index)
{
    view->viewWillMoveToSuperview(this);
    m_subviews.insert(m_subviews.begin() + static_cast<long>(std::min(index, m_subviews.size())), view);
    view->m_superview = this;
    if (view->m_needsLayout || view->m_subtreeNeedsLayout)
        view->markAncestorsNeedLayout();
    view->setWindowRecursively(m_window);
    view->viewDidMoveToSuperview();
    didAddSubview(view.get());
    view->setNeedsDisplay(true);
    if (!view->m_translatesMask)
        setNeedsLayout(true);
}

void NSView::removeFromSuperview() { detachFromSuperview(true); }

void NSView::removeFromSuperviewWithoutNeedingDisplay() { detachFromSuperview(false); }

// Drops the constraints that ancestors hold on a view leaving them.
static void dropConstraintsOn(NSView* leaving, NSView* from)
{
    for (NSView* holder = from; holder; holder = holder->superview()) {
        std::vector<Ref<NSLayoutConstraint>> doomed;
        for (const auto& c : holder->constraints())
            if ((c->firstItem() && c->firstItem()->isDescendantOf(leaving))
                || (c->secondItem() && c->secondItem()->isDescendantOf(leaving)))
                doomed.push_back(c);
        for (const auto& c : doomed)
            holder->removeConstraint(c);
    }
}

void NSView::detachFromSuperview(bool needsDisplay)
{
    QV_ASSERT_MAIN_THREAD("NSView::removeFromSuperview");
    NSView* superview = m_superview;
    if (!superview)
        return;
    auto self = std::find_if(superview->m_subviews.begin(), superview->m_subviews.end(),
        [this](const Ref<NSView>& v) { return v.get() == this; });
    if (self == superview->m_subviews.end())
        return;
    Ref<NSView> keep = *self;
    superview->willRemoveSubview(this);
    viewWillMoveToSuperview(nullptr);
    dropConstraintsOn(this, superview);
    if (needsDisplay)
        superview->setNeedsDisplayInRect(areaInSuperview());
    std::erase(superview->m_subviews, keep);
    m_superview = nullptr;
    setWindowRecursively(nullptr);
    viewDidMoveToSuperview();
}

void NSView::replaceSubview(const Ref<NSView>& oldView, const Ref<NSView>& newView)
{
    auto it = std::find(m_subviews.begin(), m_subviews.end(), oldView);
    if (it == m_subviews.end() || !newView)
        return;
    size_t index = static_cast<size_t>(it - m_subviews.begin());
    oldView->removeFromSuperview();
    if (newView->m_superview)
        newView->detachFromSuperview(true);
    insertSubviewAt(newView, index);
}

void NSView::setSubviews(const std::vector<Ref<NSView>>& views)
{
    // Views that stay are only put in their new order: they never leave the
    // tree, so they hear nothing of it.
    std::unordered_set<const NSView*> wanted;
    for (const auto& v : views)
        if (v)
            wanted.insert(v.get());
    for (const auto& v : std::vector<Ref<NSView>>(m_subviews))
        if (!wanted.count(v.get()))
            v->removeFromSuperview();
    std::vector<Ref<NSView>> kept;
    std::unordered_set<const NSView*> placed;
    for (const auto& v : views)
        if (v && v->m_superview == this && placed.insert(v.get()).second)
            kept.push_back(v);
    if (kept != m_subviews) {
        m_subviews = std::move(kept);
        setNeedsDisplay(true);
    }
    size_t index = 0;
    for (const auto& v : views) {
        if (!v)
            continue;
        if (v->m_superview == this) {
            if (index < m_subviews.size() && m_subviews[index] == v)
                ++index;
            continue;
        }
        if (isDescendantOf(v.get()))
            continue;
        Ref<NSView> keep = v;
        if (v->m_superview)
            v->detachFromSuperview(true);
        insertSubviewAt(v, index++);
    }
}

void NSView::notifyAppearance(NSView* root, bool appearing, bool done)
{
    if (!root)
        return;
    if (root->m_viewController)
        root->m_viewController->appearanceChanging(appearing, done);
    for (const auto& sub : std::vector<Ref<NSView>>(root->m_subviews))
        notifyAppearance(sub.get(), appearing, done);
}

void NSView::setWindowRecursively(NSWindow* window)
{
    if (m_window == window)
        return;
    bool wasShown = m_window && m_window->isVisible();
    bool willShow = window && window->isVisible();
    Ref<NSView> keep = selfRef<NSView>();
    if (wasShown != willShow)
        notifyAppearance(this, willShow, false);
    moveToWindow(window);
    if (wasShown != willShow)
        notifyAppearance(this, willShow, true);
}

void NSView::moveToWindow(NSWindow* window)
{
    if (m_window == window)
        return;
    viewWillMoveToWindow(window);
    if (m_window)
        m_window->viewWillLeaveWindow(this);
    m_window = window;
    for (const auto& sub : m_subviews)
        sub->moveToWindow(window);
    viewDidMoveToWindow();
    if (window) {
        setNeedsDisplay(true);
        updateTrackingAreas();
        window->trackingGeometryChanged();
    }
}

Ref<NSView> NSView::viewWithTag(long tag)
{
    if (this->tag() == tag)
        return selfRef<NSView>();
    for (const auto& sub : m_subviews)
        if (auto found = sub->viewWithTag(tag))
            return found;
    return nullptr;
}

NSScrollView* NSView::enclosingScrollView() const
{
    for (NSView* v = m_superview; v; v = v->m_superview)
        if (auto scroll = dynamic_cast<NSScrollView*>(v))
            return scroll;
    return nullptr;
}

// MARK: Hit testing

bool NSView::mouse(CGPoint point, CGRect rect) const { return NSMouseInRect(point, rect, isFlipped()); }

Ref<NSView> NSView::hitTest(CGPoint pointInSuperview)
{
    if (m_hidden)
        return nullptr;
    bool parentFlipped = m_superview && m_superview->isFlipped();
    if (!NSMouseInRect(pointInSuperview, coveredFrame(), parentFlipped))
        return nullptr;
    CGPoint local = CGPointApplyAffineTransform(pointInSuperview, CGAffineTransformInvert(transformToSuperview()));
    // Projected subviews lie over the others, the nearest at the point first;
    // then the topmost first: later subviews are drawn over earlier ones.
    auto subviews = m_subviews;
    std::vector<std::pair<double, Ref<NSView>>> projected;
    for (const auto& sub : subviews) {
        double depth;
        if (sub->isProjected())
            if (auto hit = sub->hitTestProjected(local, depth))
                projected.push_back({ depth, hit });
    }
    std::stable_sort(projected.begin(), projected.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    if (!projected.empty())
        return projected.front().second;
    for (auto it = subviews.rbegin(); it != subviews.rend(); ++it)
        if (!(*it)->isProjected())
            if (auto hit = (*it)->hitTest(local))
                return hit;
    return selfRef<NSView>();
}

// MARK: Responder chain

Ref<NSResponder> NSView::naturalNextResponder() const
{
    if (m_superview)
        return m_superview->selfRef<NSResponder>();
    if (m_window && m_window->contentView().get() == this)
        return m_window->selfRef<NSResponder>();
    return nullptr;
}

Ref<NSResponder> NSView::nextResponder() const
{
    if (hasExplicitNextResponder())
        return NSResponder::nextResponder();
    if (m_viewController)
        return m_viewController->selfRef<NSResponder>();
    return naturalNextResponder();
}

// MARK: Drawing

void NSView::drawRect(CGRect) { }

void NSView::setNeedsDisplay(bool flag)
{
    if (flag)
        setNeedsDisplayInRect(m_bounds);
    else
        m_needsDisplay = false;
}

void NSView::setNeedsDisplayInRect(CGRect rect)
{
    m_needsDisplay = true;
    if (invalidateProjection())
        return;
    if (!m_window || CGRectIsEmpty(rect))
        return;
    m_window->invalidateRect(convertRectToView(rect, nullptr));
}

void NSView::displayIfNeeded()
{
    if (m_window)
        m_window->displayIfNeeded();
}

void NSView::display()
{
    setNeedsDisplay(true);
    displayIfNeeded();
}

void NSView::clearNeedsDisplayRecursively()
{
    m_needsDisplay = false;
    for (const auto& sub : m_subviews)
        sub->clearNeedsDisplayRecursively();
}

void NSView::setHidden(bool hidden)
{
    if (hidden == m_hidden)
        return;
    m_hidden = hidden;
    if (m_superview)
        m_superview->setNeedsDisplayInRect(areaInSuperview());
    if (hidden && m_window)
        m_window->viewWillLeaveWindow(this);
    if (m_window)
        m_window->trackingGeometryChanged();
}

bool NSView::isHiddenOrHasHiddenAncestor() const
{
    for (const NSView* v = this; v; v = v->m_superview)
        if (v->m_hidden)
            return true;
    return false;
}

void NSView::setAlphaValue(CGFloat alpha)
{
    alpha = std::clamp(alpha, 0.0, 1.0);
    if (alpha == m_alpha)
        return;
    m_alpha = alpha;
    setNeedsDisplay(true);
}

namespace {

// Makes this view's graphics context the current one for the drawing of one
// view, and puts the previous one back afterwards.
class CurrentContextScope {
public:
    CurrentContextScope(const CGContextRef& context, bool flipped)
        : m_previous(NSGraphicsContext::currentContext())
    {
        NSGraphicsContext::setCurrentContext(NSGraphicsContext::graphicsContextWithCGContext(context, flipped));
    }
    ~CurrentContextScope() { NSGraphicsContext::setCurrentContext(m_previous); }

private:
    Ref<NSGraphicsContext> m_previous;
};

CGContextRef makeOffscreenLike(const CGContextRef& context)
{
    return CGBitmapContextCreate(nullptr, CGBitmapContextGetWidth(context), CGBitmapContextGetHeight(context), 8, 0,
        CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little);
}

}

thread_local NSView* NSView::t_focusView = nullptr;

void NSView::drawSubtree(const CGContextRef& context, CGRect dirty)
{
    if (m_hidden || m_alpha <= 0)
        return;
    CGRect area = CGRectIntersection(dirty, m_bounds);
    if (CGRectIsNull(area) || CGRectIsEmpty(area))
        return;

    // A view that is not fully opaque draws its whole subtree apart and is
    // then laid over what lies beneath with its alpha.
    if (m_alpha < 1) {
        CGContextRef group = makeOffscreenLike(context);
        if (group) {
            CGAffineTransform ctm = CGContextGetCTM(context);
            CGContextConcatCTM(group, ctm);
            CGFloat alpha = m_alpha;
            m_alpha = 1;
            drawSubtree(group, dirty);
            m_alpha = alpha;
            CGImageRef image = CGBitmapContextCreateImage(group);
            CGContextStateSaver saver(context);
            CGContextConcatCTM(context, CGAffineTransformInvert(ctm));
            CGContextSetAlpha(context, alpha);
            CGContextDrawImage(context,
                CGRectMake(0, 0, CGBitmapContextGetWidth(context), CGBitmapContextGetHeight(context)), image);
            return;
        }
    }

    CGContextStateSaver saver(context);
    CGContextClipToRect(context, area);
    bool shapesItself = drawsWithinLayerShape();
    if (!shapesItself)
        clipToLayer(context);
    {
        CurrentContextScope scope(context, isFlipped());
        drawLayerBackground(context);
        CGContextStateSaver drawing(context);
        // The view that has the drawing focus while its drawRect: runs.
        NSView* outer = t_focusView;
        t_focusView = this;
        struct Restore {
            NSView* view;
            ~Restore() { t_focusView = view; }
        } restore { outer };
        drawRect(area);
    }
    if (shapesItself)
        clipToLayer(context);
    std::vector<NSView*> projected;
    auto subviews = m_subviews;
    for (const auto& sub : subviews) {
        if (sub->isProjected()) {
            if (!sub->m_hidden)
                projected.push_back(sub.get());
            continue;
        }
        CGAffineTransform toSuper = sub->transformToSuperview();
        CGRect subDirty = CGRectApplyAffineTransform(area, CGAffineTransformInvert(toSuper));
        CGContextStateSaver subSaver(context);
        CGContextConcatCTM(context, toSuper);
        sub->drawSubtree(context, subDirty);
    }
    if (!projected.empty())
        drawProjectedSubviews(context, projected);
    CurrentContextScope scope(context, isFlipped());
    drawLayerForeground(context);
    if (m_window && layerIsAnimating())
        m_window->viewPaintedAnimating(this);
}

void NSView::displayRectIgnoringOpacityInContext(CGRect rect, const CGContextRef& context)
{
    if (!context)
        return;
    CGContextStateSaver saver(context);
    std::optional<NSAppearanceDrawingScope> appearance;
    if (auto* own = window())
        appearance.emplace(own->effectiveAppearance());
    bool hidden = m_hidden;
    m_hidden = false;
    drawSubtree(context, rect);
    m_hidden = hidden;
}

// MARK: Tracking areas

void NSView::addTrackingArea(const Ref<NSTrackingArea>& area)
{
    if (!area || std::find(m_trackingAreas.begin(), m_trackingAreas.end(), area) != m_trackingAreas.end())
        return;
    m_trackingAreas.push_back(area);
    area->setView(this);
    if (m_window)
        m_window->trackingGeometryChanged();
}

void NSView::removeTrackingArea(const Ref<NSTrackingArea>& area)
{
    auto it = std::find(m_trackingAreas.begin(), m_trackingAreas.end(), area);
    if (it == m_trackingAreas.end())
        return;
    Ref<NSTrackingArea> keep = *it;
    m_trackingAreas.erase(it);
    keep->setView(nullptr);
    if (m_window)
        m_window->trackingAreaRemoved(keep.get());
}

// MARK: Autoresizing

void NSView::resizeSubviewsWithOldSize(CGSize oldSize)
{
    for (const auto& sub : std::vector<Ref<NSView>>(m_subviews))
        if (sub->m_translatesMask)
            sub->resizeWithOldSuperviewSize(oldSize);
}

// Spreads a change of the superview's length over the flexible parts of
// one axis (the margin before, the view's length, the margin after) in
// proportion to their current lengths, or evenly when they are all zero.
static void resizeAxis(CGFloat delta, bool flexMin, bool flexSize, bool flexMax, CGFloat oldSuper, CGFloat& origin,
    CGFloat& length)
{
    CGFloat before = origin, after = oldSuper - origin - length;
    CGFloat parts[3] = { flexMin ? before : 0, flexSize ? length : 0, flexMax ? after : 0 };
    bool flex[3] = { flexMin, flexSize, flexMax };
    int count = int(flexMin) + int(flexSize) + int(flexMax);
    if (count == 0 || delta == 0)
        return;
    CGFloat total = std::abs(parts[0]) + std::abs(parts[1]) + std::abs(parts[2]);
    CGFloat share[3];
    for (int i = 0; i < 3; ++i)
        share[i] = !flex[i] ? 0 : (total > 0 ? std::abs(parts[i]) / total : 1.0 / count);
    origin += delta * share[0];
    length = std::max(0.0, length + delta * share[1]);
}

void NSView::resizeWithOldSuperviewSize(CGSize oldSize)
{
    if (!m_superview)
        return;
    CGSize now = m_superview->frame().size;
    CGRect f = m_frame;
    auto mask = m_autoresizingMask;
    resizeAxis(now.width - oldSize.width, mask & NSViewMinXMargin, mask & NSViewWidthSizable, mask & NSViewMaxXMargin,
        oldSize.width, f.origin.x, f.size.width);
    resizeAxis(now.height - oldSize.height, mask & NSViewMinYMargin, mask & NSViewHeightSizable,
        mask & NSViewMaxYMargin, oldSize.height, f.origin.y, f.size.height);
    setFrame(f);
}

// MARK: Constraints

void NSView::setTranslatesAutoresizingMaskIntoConstraints(bool flag)
{
    m_translatesMask = flag;
    if (m_superview)
        m_superview->setNeedsLayout(true);
}

void NSView::addConstraint(const Ref<NSLayoutConstraint>& constraint)
{
    if (!constraint || constraint->m_holder == this)
        return;
    if (constraint->m_holder)
        constraint->m_holder->removeConstraint(constraint);
    m_constraints.push_back(constraint);
    constraint->m_holder = this;
    setNeedsLayout(true);
}

void NSView::removeConstraint(const Ref<NSLayoutConstraint>& constraint)
{
    auto it = std::find(m_constraints.begin(), m_constraints.end(), constraint);
    if (it == m_constraints.end())
        return;
    (*it)->m_holder = nullptr;
    m_constraints.erase(it);
    setNeedsLayout(true);
}

void NSView::setNeedsLayout(bool flag)
{
    m_needsLayout = flag;
    if (flag)
        markAncestorsNeedLayout();
    if (flag && m_window)
        m_window->layoutNeeded();
}

// An ancestor whose mark is set has all of its own ancestors marked, so the
// walk stops at the first one.
void NSView::markAncestorsNeedLayout()
{
    for (NSView* v = m_superview; v && !v->m_subtreeNeedsLayout; v = v->m_superview)
        v->m_subtreeNeedsLayout = true;
}

namespace {

// Edges of a view in its superview's top-down space.
struct Edges {
    CGFloat left, top, width, height;
};

Edges edgesOf(const NSView& view, const NSView& holder)
{
    if (&view == &holder) {
        CGRect b = holder.bounds();
        return { 0, 0, b.size.width, b.size.height };
    }
    CGRect f = holder.convertRectFromView(view.bounds(), &view);
    CGRect b = holder.bounds();
    CGFloat top = holder.isFlipped() ? f.origin.y - b.origin.y : b.origin.y + b.size.height - (f.origin.y + f.size.height);
    return { f.origin.x - b.origin.x, top, f.size.width, f.size.height };
}

CGFloat valueOf(const Edges& e, NSLayoutAttribute attribute)
{
    switch (attribute) {
    case NSLayoutAttribute::Leading:
        return e.left;
    case NSLayoutAttribute::Trailing:
        return e.left + e.width;
    case NSLayoutAttribute::CenterX:
        return e.left + e.width / 2;
    case NSLayoutAttribute::Width:
        return e.width;
    case NSLayoutAttribute::Top:
        return e.top;
    case NSLayoutAttribute::Bottom:
        return e.top + e.height;
    case NSLayoutAttribute::CenterY:
        return e.top + e.height / 2;
    case NSLayoutAttribute::Height:
        return e.height;
    }
    return 0;
}

// Solves one axis from what is known of its start, end, centre and length;
// what is not known keeps its current value.
void solveAxis(const std::optional<CGFloat>& start, const std::optional<CGFloat>& end,
    const std::optional<CGFloat>& center, const std::optional<CGFloat>& length, CGFloat& origin, CGFloat& size)
{
    if (start && end) {
        origin = *start;
        size = *end - *start;
    } else if (length) {
        size = *length;
        if (start)
            origin = *start;
        else if (end)
            origin = *end - size;
        else if (center)
            origin = *center - size / 2;
    } else if (start && center) {
        origin = *start;
        size = 2 * (*center - *start);
    } else if (end && center) {
        size = 2 * (*end - *center);
        origin = *end - size;
    } else if (start) {
        origin = *start;
    } else if (end) {
        origin = *end - size;
    } else if (center) {
        origin = *center - size / 2;
    }
    size = std::max(0.0, size);
}

}

void NSView::layout()
{
    for (const auto& sub : std::vector<Ref<NSView>>(m_subviews)) {
        if (sub->m_translatesMask)
            continue;
        std::optional<CGFloat> known[8];
        // Constraints below the natural size's priority only fill what the
        // others and the natural size leave open.
        std::optional<CGFloat> weak[8];
        for (const auto& c : m_constraints) {
            NSView* other = nullptr;
            NSLayoutAttribute mine, theirs;
            CGFloat value;
            if (c->firstItem() == sub.get()) {
                mine = c->firstAttribute();
                other = c->secondItem();
                theirs = c->secondAttribute();
                if (!other) {
                    value = c->constant();
                } else {
                    if (!other->isDescendantOf(this) || other == sub.get())
                        continue;
                    value = valueOf(edgesOf(*other, *this), theirs) * c->multiplier() + c->constant();
                }
            } else if (c->secondItem() == sub.get() && c->firstItem() && c->multiplier() != 0) {
                mine = c->secondAttribute();
                other = c->firstItem();
                theirs = c->firstAttribute();
                if (!other->isDescendantOf(this) || other == sub.get())
                    continue;
                value = (valueOf(edgesOf(*other, *this), theirs) - c->constant()) / c->multiplier();
            } else {
                continue;
            }
            (c->priority() < NSLayoutPriorityDefaultHigh ? weak : known)[static_cast<int>(mine)] = value;
        }
        // A view with a natural size takes it on an axis that its
        // constraints leave open.
        CGSize natural = sub->intrinsicContentSize();
        using L = NSLayoutAttribute;
        auto open = [&](L start, L end, L length) {
            return !known[static_cast<int>(length)] && !(known[static_cast<int>(start)] && known[static_cast<int>(end)]);
        };
        if (natural.width != NSViewNoIntrinsicMetric && open(L::Leading, L::Trailing, L::Width))
            known[static_cast<int>(L::Width)] = natural.width;
        if (natural.height != NSViewNoIntrinsicMetric && open(L::Top, L::Bottom, L::Height))
            known[static_cast<int>(L::Height)] = natural.height;
        for (int a = 0; a < 8; ++a)
            if (!known[a] && weak[a]) {
                L attribute = static_cast<L>(a);
                bool horizontal = attribute == L::Leading || attribute == L::Trailing || attribute == L::Width || attribute == L::CenterX;
                bool sizeOpen = horizontal ? open(L::Leading, L::Trailing, L::Width) : open(L::Top, L::Bottom, L::Height);
                bool isLength = attribute == L::Width || attribute == L::Height;
                if (!isLength || sizeOpen)
                    known[a] = weak[a];
            }
        Edges current = edgesOf(*sub, *this);
        CGFloat x = current.left, w = current.width, top = current.top, h = current.height;
        using A = NSLayoutAttribute;
        auto at = [&](A a) { return known[static_cast<int>(a)]; };
        solveAxis(at(A::Leading), at(A::Trailing), at(A::CenterX), at(A::Width), x, w);
        solveAxis(at(A::Top), at(A::Bottom), at(A::CenterY), at(A::Height), top, h);
        CGRect b = m_bounds;
        CGFloat y = isFlipped() ? b.origin.y + top : b.origin.y + b.size.height - top - h;
        sub->setFrame(CGRectMake(b.origin.x + x, y, w, h));
    }
}

void NSView::invalidateIntrinsicContentSize()
{
    if (m_superview)
        m_superview->setNeedsLayout(true);
}

void NSView::layoutSubtreeIfNeeded()
{
    if (!m_needsLayout && !m_subtreeNeedsLayout)
        return;
    // Cleared first: a layout below that asks for more marks it again.
    m_subtreeNeedsLayout = false;
    if (m_needsLayout) {
        m_needsLayout = false;
        layout();
    }
    for (const auto& sub : std::vector<Ref<NSView>>(m_subviews))
        sub->layoutSubtreeIfNeeded();
}

// MARK: Scrolling

void NSView::scrollPoint(CGPoint point)
{
    if (auto scroll = enclosingScrollView())
        scroll->scrollDocumentPointToOrigin(convertPointToView(point, scroll->documentView().get()));
}

bool NSView::scrollRectToVisible(CGRect rect)
{
    auto scroll = enclosingScrollView();
    if (!scroll)
        return false;
    return scroll->scrollDocumentRectToVisible(convertRectToView(rect, scroll->documentView().get()));
}

// MARK: Key-value coding

Value NSView::valueForKey(const std::string& key) const
{
    if (key == "hidden")
        return Value(m_hidden);
    if (key == "alphaValue")
        return Value(m_alpha);
    if (key == "tag")
        return Value(static_cast<int64_t>(tag()));
    if (key == "identifier")
        return Value(m_identifier);
    if (key == "frame")
        return Value(NSStringFromRect(m_frame));
    return NSResponder::valueForKey(key);
}

void NSView::setValueForKey(const Value& value, const std::string& key)
{
    if (key == "hidden")
        setHidden(value.boolValue());
    else if (key == "alphaValue")
        setAlphaValue(value.doubleValue());
    else if (key == "tag")
        setTag(static_cast<long>(value.integerValue()));
    else if (key == "identifier")
        setIdentifier(value.stringValue());
    else
        NSResponder::setValueForKey(value, key);
}

// Layer-backed views whose layer transform is not the identity. As on the
// platform, such a view leaves its superview's plane: its subtree is drawn
// flat into an image the size of its layer, and the layer renderer places
// that image with the layer's transform (perspective included), position,
// anchor and opacity, ordering such siblings by depth and cutting away what
// lies behind the eye. The image is kept and drawn again only when something
// inside the view asks for display; changes of the layer alone (a new
// transform or opacity every frame of a carousel) only repaint the superview.
#include "NSView.h"

#include "NSWindow.h"

#include <animation/CATransaction.h>
#include <animation/LayerGeometry.h>
#include <graphics/CGColorSpace.h>
#include <graphics/CGDataProvider.h>
#include <graphics/CGImage.h>
#include <graphics/NSAppearance.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

struct NSView::Projection {
    // The stand-in the renderer draws: the view's image under its layer's
    // geometry as last painted.
    Ref<CALayer> layer;
    bool contentDirty { true };
    CGSize size { 0, 0 };
    // The appearance the image was drawn in.
    std::string appearance;
    // The transition of the view's layer last handed to the stand-in.
    Weak<CAAnimation> transition;
};

namespace {

bool isFinite(const CATransform3D& t)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (!std::isfinite(t.at(r, c)))
                return false;
    return true;
}

}

bool NSView::isProjected() const { return m_layer && !CATransform3DIsIdentity(m_layer->transform()); }

CGRect NSView::areaInSuperview() const
{
    if (m_superview && (m_projection || isProjected()))
        return m_superview->bounds();
    return coveredFrame();
}

void NSView::layerDidChange()
{
    if (m_superview && (m_projection || isProjected())) {
        // Back in the plane, the view draws with the others again.
        if (!isProjected())
            m_projection.reset();
        m_superview->setNeedsDisplay(true);
        return;
    }
    setNeedsDisplay(true);
}

// Marks the image of the projected view that holds this one, if any, as
// stale and repaints where it shows. NO when no projected view holds it.
bool NSView::invalidateProjection()
{
    for (NSView* view = this; view; view = view->m_superview) {
        if (!view->isProjected()) {
            // A view that left the plane and came back (its layer changed
            // while it had no superview) may still keep an image.
            if (view->m_projection)
                view->m_projection->contentDirty = true;
            continue;
        }
        if (!view->m_projection)
            view->m_projection = std::make_shared<Projection>();
        view->m_projection->contentDirty = true;
        if (view->m_superview)
            view->m_superview->setNeedsDisplay(true);
        return true;
    }
    return false;
}

Ref<CALayer> NSView::updateProjection(CGAffineTransform superviewToLayer)
{
    if (!m_projection)
        m_projection = std::make_shared<Projection>();
    Projection& p = *m_projection;
    if (!p.layer)
        p.layer = CALayer::layer();
    Ref<CALayer> shown = m_layer->hasAnimations() ? m_layer->presentationLayer() : m_layer;
    CATransform3D transform = shown->transform();
    // The image covers what the layer covers: the view's bounds' size.
    CGSize size = coveredFrame().size;
    if (!isFinite(transform) || !(size.width > 0) || !(size.height > 0))
        return nullptr;
    CALayer& proxy = *p.layer;

    // A transition added to the view's layer cross-dissolves the picture
    // shown now into the one drawn below.
    if (auto transition = m_layer->animationForKey(kCATransition); transition && transition != p.transition.lock()) {
        p.transition = transition;
        proxy.addAnimation(transition->copy(), kCATransition);
    }

    const std::string& appearance = NSAppearanceCurrentDrawingName();
    if (p.contentDirty || p.size != size || p.appearance != appearance) {
        CGSize image = { std::ceil(size.width), std::ceil(size.height) };
        // Drawn into memory that then becomes the image's: no copy.
        auto width = static_cast<size_t>(image.width), height = static_cast<size_t>(image.height);
        constexpr CGBitmapInfo kNative = kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little;
        std::vector<uint8_t> pixels(width * 4 * height);
        CGContextRef context = CGBitmapContextCreate(pixels.data(), width, height, 8, width * 4, CGColorSpaceCreateDeviceRGB(), kNative);
        if (!context)
            return nullptr;
        // The view's own coordinates onto the image, y up.
        double sx = m_bounds.size.width != 0 ? image.width / m_bounds.size.width : 1;
        double sy = m_bounds.size.height != 0 ? image.height / m_bounds.size.height : 1;
        CGAffineTransform toImage = isFlipped()
            ? CGAffineTransform { sx, 0, 0, -sy, -m_bounds.origin.x * sx, image.height + m_bounds.origin.y * sy }
            : CGAffineTransform { sx, 0, 0, sy, -m_bounds.origin.x * sx, -m_bounds.origin.y * sy };
        CGContextConcatCTM(context, toImage);
        drawSubtree(context, m_bounds);
        CGContextFlush(context);
        context.reset();
        proxy.setContents(CGImageCreate(width, height, 8, 32, width * 4, CGColorSpaceCreateDeviceRGB(), kNative,
            CGDataProviderCreateWithBytes(std::move(pixels))));
        p.contentDirty = false;
        p.size = size;
        p.appearance = appearance;
    }

    proxy.setBounds(CGRectMake(0, 0, size.width, size.height));
    CGPoint anchor = shown->anchorPoint();
    proxy.setAnchorPoint(anchor);
    CGPoint position = { m_frame.origin.x + m_frame.size.width * anchor.x, m_frame.origin.y + m_frame.size.height * anchor.y };
    proxy.setPosition(CGPointApplyAffineTransform(position, superviewToLayer));
    proxy.setZPosition(shown->zPosition());
    proxy.setTransform(transform);
    proxy.setOpacity(shown->opacity());
    proxy.setDoubleSided(shown->isDoubleSided());
    proxy.setHidden(shown->isHidden());
    return p.layer;
}

void NSView::addSubviewKeepingProjectedImage(const Ref<NSView>& view)
{
    if (!view)
        return;
    std::shared_ptr<Projection> kept = view->isProjected() && view->m_projection && !view->m_projection->contentDirty
        ? view->m_projection
        : nullptr;
    addSubview(view);
    // Entering the tree marks the view and its subviews for display, which
    // would throw the image away; only where it shows needs painting.
    if (kept && view->m_superview == this && view->m_projection == kept)
        kept->contentDirty = false;
}

void NSView::drawProjectedSubviews(const CGContextRef& context, const std::vector<NSView*>& views)
{
    auto root = CALayer::layer();
    std::vector<Ref<CALayer>> proxies;
    CATransaction::begin();
    CATransaction::setDisableActions(true);
    CGSize covered = coveredFrame().size;
    root->setBounds(CGRectMake(0, 0, covered.width, covered.height));
    CGAffineTransform toLayer = CGAffineTransformInvert(layerToView());
    for (NSView* view : views) {
        if (auto proxy = view->updateProjection(toLayer))
            proxies.push_back(proxy);
        // Its superview draws it; it is painted again while it animates.
        if (m_window && view->layerIsAnimating())
            m_window->viewPaintedAnimating(view);
    }
    for (const auto& proxy : proxies)
        root->addSublayer(proxy);
    CATransaction::commit();

    {
        CGContextStateSaver saver(context);
        CGContextConcatCTM(context, layerToView());
        root->renderInContext(context);
    }

    CATransaction::begin();
    CATransaction::setDisableActions(true);
    for (const auto& proxy : proxies)
        proxy->removeFromSuperlayer();
    CATransaction::commit();
}

std::optional<CGPoint> NSView::projectedPointFromSuperview(CGPoint pointInSuperview, double* depth) const
{
    if (!m_projection || !m_projection->layer || !m_superview)
        return std::nullopt;
    CALayer& proxy = *m_projection->layer;
    CGPoint point = CGPointApplyAffineTransform(pointInSuperview, CGAffineTransformInvert(m_superview->layerToView()));
    CATransform3D toSuper = proxy.transformToSuperlayer();
    if (depth)
        *depth = ca::depthAtPoint(toSuper, point).value_or(*depth);
    auto inLayer = ca::unproject(ca::Homography::fromTransform(toSuper), point);
    if (!inLayer)
        return std::nullopt;
    CGSize size = m_projection->size;
    double sx = m_bounds.size.width != 0 ? size.width / m_bounds.size.width : 1;
    double sy = m_bounds.size.height != 0 ? size.height / m_bounds.size.height : 1;
    return CGPoint { m_bounds.origin.x + inLayer->x / sx,
        isFlipped() ? m_bounds.origin.y + (size.height - inLayer->y) / sy : m_bounds.origin.y + inLayer->y / sy };
}

Ref<NSView> NSView::hitTestProjected(CGPoint pointInSuperview, double& depth)
{
    depth = -std::numeric_limits<double>::infinity();
    if (m_hidden || !m_projection || !m_projection->layer || !m_superview)
        return nullptr;
    CGPoint point = CGPointApplyAffineTransform(pointInSuperview, CGAffineTransformInvert(m_superview->layerToView()));
    if (!m_projection->layer->hitTest(point))
        return nullptr;
    auto local = projectedPointFromSuperview(pointInSuperview, &depth);
    if (!local)
        return nullptr;
    auto subviews = m_subviews;
    for (auto it = subviews.rbegin(); it != subviews.rend(); ++it)
        if (auto hit = (*it)->hitTest(*local))
            return hit;
    return selfRef<NSView>();
}

std::optional<CGPoint> NSView::convertPointFromWindowAsShown(CGPoint base) const
{
    std::vector<const NSView*> chain;
    for (const NSView* view = this; view; view = view->m_superview)
        chain.push_back(view);
    CGPoint point = chain.back()->convertPointFromView(base, nullptr);
    for (auto it = chain.rbegin() + 1; it != chain.rend(); ++it) {
        const NSView* view = *it;
        if (view->isProjected() && view->m_projection && view->m_projection->layer) {
            auto local = view->projectedPointFromSuperview(point, nullptr);
            if (!local)
                return std::nullopt;
            point = *local;
        } else {
            point = CGPointApplyAffineTransform(point, CGAffineTransformInvert(view->transformToSuperview()));
        }
    }
    return point;
}

// Layer backing. A layer-backed view draws its layer around its own
// drawing: the layer's background and contents beneath it (the corner
// radius rounding them, and with masksToBounds clipping the view's drawing
// and its subviews), the layer's sublayers and its border above. The layer
// measures in its bounds space, y up, whatever the view's flippedness.
#include "NSView.h"

#include "NSAnimationContext.h"
#include "NSWindow.h"

#include <animation/CAShapeLayer.h>
#include <animation/CATextLayer.h>
#include <animation/CATransaction.h>
#include <graphics/CGPath.h>


namespace {

void addRoundedRect(const CGContextRef& context, CGRect rect, CGFloat radius)
{
    radius = std::max(0.0, std::min({ radius, rect.size.width / 2, rect.size.height / 2 }));
    if (radius <= 0) {
        CGContextAddRect(context, rect);
        return;
    }
    CGFloat minX = CGRectGetMinX(rect), maxX = CGRectGetMaxX(rect);
    CGFloat minY = CGRectGetMinY(rect), maxY = CGRectGetMaxY(rect);
    CGContextMoveToPoint(context, minX + radius, minY);
    CGContextAddArcToPoint(context, maxX, minY, maxX, maxY, radius);
    CGContextAddArcToPoint(context, maxX, maxY, minX, maxY, radius);
    CGContextAddArcToPoint(context, minX, maxY, minX, minY, radius);
    CGContextAddArcToPoint(context, minX, minY, maxX, minY, radius);
    CGContextClosePath(context);
}

// Changes the layer without running actions.
template <class Fn>
void withoutActions(Fn&& fn)
{
    CATransaction::begin();
    CATransaction::setDisableActions(true);
    fn();
    CATransaction::commit();
}

bool isAnimating(const CALayer& layer)
{
    if (layer.runningAnimationCount() > 0)
        return true;
    for (const auto& sub : layer.sublayers())
        if (isAnimating(*sub))
            return true;
    return layer.mask() && isAnimating(*layer.mask());
}

}

void NSView::setWantsLayer(bool flag)
{
    if (flag == m_wantsLayer)
        return;
    m_wantsLayer = flag;
    if (flag && !m_layer)
        setLayer(makeBackingLayer());
    setNeedsDisplay(true);
}

void NSView::setLayer(const Ref<CALayer>& layer)
{
    if (m_layer && m_layer->delegate() == this)
        m_layer->setDelegate(nullptr);
    m_layer = layer;
    if (layer) {
        m_wantsLayer = true;
        if (!layer->delegate())
            layer->setDelegate(this);
        syncLayerGeometry();
    }
    setNeedsDisplay(true);
}

Ref<CALayer> NSView::makeBackingLayer() { return CALayer::layer(); }

Ref<CAAction> NSView::actionForLayer(CALayer&, const std::string&)
{
    // Inside an animation group that allows it, the layer's own implicit
    // animation runs.
    if (NSAnimationContext::currentContext().allowsImplicitAnimation())
        return nullptr;
    return CANullAction::null();
}

void NSView::syncLayerGeometry()
{
    if (!m_layer)
        return;
    // The layer takes the view's bounds (size): bounds sized apart from the
    // frame make the layer larger or smaller than the frame about its
    // anchor point, the drawing one to one in it (coveredFrame).
    CGRect covered = coveredFrame();
    CGRect bounds = CGRectMake(0, 0, covered.size.width, covered.size.height);
    CGPoint position = { m_frame.origin.x + m_frame.size.width * m_layer->anchorPoint().x,
        m_frame.origin.y + m_frame.size.height * m_layer->anchorPoint().y };
    if (m_layer->bounds() == bounds && m_layer->position() == position)
        return;
    withoutActions([&] {
        m_layer->setBounds(bounds);
        m_layer->setPosition(position);
    });
}

CGAffineTransform NSView::layerToView() const
{
    CGAffineTransform t = CGAffineTransformMakeTranslation(m_bounds.origin.x, m_bounds.origin.y);
    if (isFlipped()) {
        t = CGAffineTransformTranslate(t, 0, m_bounds.size.height);
        t = CGAffineTransformScale(t, 1, -1);
    }
    CGSize covered = coveredFrame().size;
    CGFloat sx = covered.width != 0 ? m_bounds.size.width / covered.width : 1;
    CGFloat sy = covered.height != 0 ? m_bounds.size.height / covered.height : 1;
    return CGAffineTransformScale(t, sx, sy);
}

void NSView::layerDidChange(CALayer& layer)
{
    // A projected view's image holds its drawing and what lies below its
    // layer; its own layer's place and transform apply as the image is drawn.
    if (&layer == m_layer.get() && (m_projection || isProjected())) {
        layerDidChange();
        return;
    }
    setNeedsDisplay(true);
}

bool NSView::layerIsAnimating() const { return m_layer && isAnimating(*m_layer); }

void NSView::drawLayerBackground(const CGContextRef& context)
{
    if (!m_layer)
        return;
    auto shown = m_layer->presentationLayer();
    CGContextStateSaver saver(context);
    CGContextConcatCTM(context, layerToView());
    CGRect rect = shown->bounds();
    if (auto color = shown->backgroundColor(); color && CGColorGetAlpha(color) > 0) {
        CGContextSetFillColorWithColor(context, color);
        CGContextBeginPath(context);
        addRoundedRect(context, rect, shown->cornerRadius());
        CGContextFillPath(context);
    }
    if (auto image = m_layer->contentsImage()) {
        CGContextStateSaver clip(context);
        CGContextBeginPath(context);
        addRoundedRect(context, rect, shown->cornerRadius());
        CGContextClip(context);
        CGContextDrawImage(context, rect, image);
    }
}

void NSView::clipToLayer(const CGContextRef& context)
{
    if (!m_layer || !m_layer->masksToBounds())
        return;
    CGContextConcatCTM(context, layerToView());
    CGContextBeginPath(context);
    addRoundedRect(context, m_layer->bounds(), m_layer->presentationLayer()->cornerRadius());
    CGContextClip(context);
    CGContextConcatCTM(context, CGAffineTransformInvert(layerToView()));
}

bool NSView::layerClipShape(CGRect& rect, CGSize& corner) const
{
    if (!m_layer || !m_layer->masksToBounds())
        return false;
    CGRect bounds = m_layer->bounds();
    CGFloat radius = std::max(0.0, std::min({ m_layer->presentationLayer()->cornerRadius(), bounds.size.width / 2, bounds.size.height / 2 }));
    CGAffineTransform toView = layerToView();
    rect = CGRectApplyAffineTransform(bounds, toView);
    corner = CGSizeMake(radius * std::abs(toView.a), radius * std::abs(toView.d));
    return true;
}

void NSView::drawLayerForeground(const CGContextRef& context)
{
    if (!m_layer)
        return;
    CGContextStateSaver saver(context);
    CGContextConcatCTM(context, layerToView());
    for (const auto& sub : std::vector<Ref<CALayer>>(m_layer->sublayers())) {
        if (sub->isHidden())
            continue;
        CATransform3D toSuper = sub->presentationLayer()->transformToSuperlayer();
        // Sublayers in 3D under perspective are the layer renderer's
        // business; a view shows the ones that stay in its plane.
        if (!CATransform3DIsAffine(toSuper))
            continue;
        CGContextStateSaver subSaver(context);
        CGContextConcatCTM(context, CATransform3DGetAffineTransform(toSuper));
        sub->renderInContext(context);
    }
    auto shown = m_layer->presentationLayer();
    if (shown->borderWidth() > 0 && shown->borderColor()) {
        CGFloat w = shown->borderWidth();
        CGContextSetStrokeColorWithColor(context, shown->borderColor());
        CGContextSetLineWidth(context, w);
        CGContextBeginPath(context);
        addRoundedRect(context, CGRectInset(shown->bounds(), w / 2, w / 2), std::max(0.0, shown->cornerRadius() - w / 2));
        CGContextStrokePath(context);
    }
}

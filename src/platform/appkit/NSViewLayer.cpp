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

#include <functional>
#include <initializer_list>
#include <variant>

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

void hashCombine(size_t& seed, size_t value) { seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2); }

// Every paint takes the signature of every layer-backed view, so values are
// hashed as they are, not through their descriptions.
void hashValue(size_t& seed, const CAValue& value)
{
    hashCombine(seed, value.index());
    auto numbers = [&seed](std::initializer_list<double> list) {
        for (double d : list)
            hashCombine(seed, std::hash<double>()(d));
    };
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, double>) {
                numbers({ v });
            } else if constexpr (std::is_same_v<T, CGPoint>) {
                numbers({ v.x, v.y });
            } else if constexpr (std::is_same_v<T, CGSize>) {
                numbers({ v.width, v.height });
            } else if constexpr (std::is_same_v<T, CGRect>) {
                numbers({ v.origin.x, v.origin.y, v.size.width, v.size.height });
            } else if constexpr (std::is_same_v<T, CATransform3D>) {
                numbers({ v.m11, v.m12, v.m13, v.m14, v.m21, v.m22, v.m23, v.m24, v.m31, v.m32, v.m33, v.m34, v.m41,
                    v.m42, v.m43, v.m44 });
            } else if constexpr (std::is_same_v<T, CGColorRef>) {
                if (v) {
                    CGFloat r, g, b, a;
                    v->getRGBA(r, g, b, a);
                    numbers({ r, g, b, a });
                }
            }
        },
        value);
}

void signatureOf(const CALayer& layer, size_t& seed, bool& animating)
{
    static const char* const kKeys[] = { "bounds", "position", "zPosition", "anchorPoint", "transform", "opacity",
        "backgroundColor", "borderColor", "borderWidth", "cornerRadius", "sublayerTransform" };
    for (const char* key : kKeys)
        hashValue(seed, layer.animatableValue(key));
    hashCombine(seed, layer.isHidden());
    hashCombine(seed, layer.masksToBounds());
    hashCombine(seed, std::hash<const void*>()(layer.contentsImage().get()));
    hashCombine(seed, std::hash<const void*>()(layer.mask().get()));
    if (auto text = dynamic_cast<const CATextLayer*>(&layer)) {
        hashCombine(seed, std::hash<std::string>()(text->string()));
        hashCombine(seed, std::hash<const void*>()(text->font().get()));
        hashCombine(seed, std::hash<double>()(text->fontSize()));
        hashValue(seed, text->foregroundColor());
    }
    if (auto shape = dynamic_cast<const CAShapeLayer*>(&layer)) {
        hashCombine(seed, std::hash<const void*>()(shape->path().get()));
        hashValue(seed, shape->fillColor());
        hashValue(seed, shape->strokeColor());
    }
    // An animation that ends changes the signature, so that its last frame
    // is painted; one kept after its end does not keep the view repainting.
    size_t running = layer.runningAnimationCount();
    hashCombine(seed, running);
    hashCombine(seed, layer.needsDisplay());
    if (running > 0)
        animating = true;
    for (const auto& sub : layer.sublayers()) {
        hashCombine(seed, std::hash<const void*>()(sub.get()));
        signatureOf(*sub, seed, animating);
    }
    if (layer.mask())
        signatureOf(*layer.mask(), seed, animating);
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
    m_layerSignature = 0;
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
    CGRect bounds = CGRectMake(0, 0, m_bounds.size.width, m_bounds.size.height);
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
    return t;
}

bool NSView::layerNeedsRepaint()
{
    bool animating = false;
    bool changed = layerChanged(animating);
    return changed || animating;
}

bool NSView::layerChanged(bool& animating)
{
    animating = false;
    if (!m_layer)
        return false;
    size_t seed = 0;
    signatureOf(*m_layer, seed, animating);
    bool changed = seed != m_layerSignature;
    m_layerSignature = seed;
    return changed;
}

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

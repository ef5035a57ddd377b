// A layer that draws a path: filled, then stroked, over its background and
// contents and under its sublayers. The path is in the layer's bounds space.
#pragma once

#include "CALayer.h"

using CAShapeLayerFillRule = std::string;
extern const CAShapeLayerFillRule kCAFillRuleNonZero;
extern const CAShapeLayerFillRule kCAFillRuleEvenOdd;

class CAShapeLayer : public CALayer {
public:
    static Ref<CAShapeLayer> layer();
    CAShapeLayer();

    const CGPathRef& path() const { return m_path; }
    void setPath(CGPathRef path)
    {
        m_path = std::move(path);
        didChange();
    }
    // Opaque black unless set; null fills nothing.
    const CGColorRef& fillColor() const { return m_fillColor; }
    void setFillColor(CGColorRef);
    // Null (no stroke) unless set.
    const CGColorRef& strokeColor() const { return m_strokeColor; }
    void setStrokeColor(CGColorRef);
    CGFloat lineWidth() const { return m_lineWidth; }
    void setLineWidth(CGFloat);
    const CAShapeLayerFillRule& fillRule() const { return m_fillRule; }
    void setFillRule(CAShapeLayerFillRule rule)
    {
        m_fillRule = std::move(rule);
        didChange();
    }

    CAValue animatableValue(const std::string& key) const override;

protected:
    bool storeAnimatableValue(const std::string& key, const CAValue& value) override;
    Ref<CALayer> makePresentationCopy() const override;
    void drawOwnContent(cairo_t*, const CALayer& presentation) const override;
    bool hasOwnContent() const override { return true; }

private:
    CGPathRef m_path;
    CGColorRef m_fillColor;
    CGColorRef m_strokeColor;
    CGFloat m_lineWidth { 1 };
    CAShapeLayerFillRule m_fillRule;
};

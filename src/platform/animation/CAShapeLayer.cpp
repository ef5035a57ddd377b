#include "CAShapeLayer.h"

#include "CairoDrawing.h"

#include <graphics/CairoStateSaver.h>

const CAShapeLayerFillRule kCAFillRuleNonZero = "non-zero";
const CAShapeLayerFillRule kCAFillRuleEvenOdd = "even-odd";

Ref<CAShapeLayer> CAShapeLayer::layer() { return makeRef<CAShapeLayer>(); }

CAShapeLayer::CAShapeLayer()
    : m_fillColor(CGColorCreateGenericRGB(0, 0, 0, 1))
    , m_fillRule(kCAFillRuleNonZero)
{
}

void CAShapeLayer::setFillColor(CGColorRef color) { changeProperty(m_fillColor, std::move(color), "fillColor"); }

void CAShapeLayer::setStrokeColor(CGColorRef color)
{
    changeProperty(m_strokeColor, std::move(color), "strokeColor");
}

void CAShapeLayer::setLineWidth(CGFloat width) { changeProperty(m_lineWidth, width, "lineWidth"); }

CAValue CAShapeLayer::animatableValue(const std::string& key) const
{
    if (key == "fillColor")
        return m_fillColor;
    if (key == "strokeColor")
        return m_strokeColor;
    if (key == "lineWidth")
        return m_lineWidth;
    return CALayer::animatableValue(key);
}

bool CAShapeLayer::storeAnimatableValue(const std::string& key, const CAValue& value)
{
    if (key == "fillColor" || key == "strokeColor") {
        auto* color = std::get_if<CGColorRef>(&value);
        if (!color)
            return false;
        (key == "fillColor" ? m_fillColor : m_strokeColor) = *color;
        return true;
    }
    if (key == "lineWidth") {
        auto* width = std::get_if<double>(&value);
        if (!width)
            return false;
        m_lineWidth = *width;
        return true;
    }
    return CALayer::storeAnimatableValue(key, value);
}

Ref<CALayer> CAShapeLayer::makePresentationCopy() const
{
    auto copy = makeRef<CAShapeLayer>();
    copyPropertiesTo(*copy);
    copy->m_path = m_path;
    copy->m_fillColor = m_fillColor;
    copy->m_strokeColor = m_strokeColor;
    copy->m_lineWidth = m_lineWidth;
    copy->m_fillRule = m_fillRule;
    return copy;
}

void CAShapeLayer::drawOwnContent(cairo_t* cr, const CALayer& presentation) const
{
    const auto& shown = static_cast<const CAShapeLayer&>(presentation);
    if (!shown.m_path || shown.m_path->isEmpty())
        return;
    CairoStateSaver saver(cr);
    cairo_new_path(cr);
    ca::addPath(cr, shown.m_path);
    if (ca::setSourceColor(cr, shown.m_fillColor)) {
        cairo_set_fill_rule(
            cr, shown.m_fillRule == kCAFillRuleEvenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
        cairo_fill_preserve(cr);
    }
    if (shown.m_lineWidth > 0 && ca::setSourceColor(cr, shown.m_strokeColor)) {
        cairo_set_line_width(cr, shown.m_lineWidth);
        cairo_stroke_preserve(cr);
    }
    cairo_new_path(cr);
}

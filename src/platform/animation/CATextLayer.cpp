#include "CATextLayer.h"

#include "CairoDrawing.h"

#include <graphics/CairoStateSaver.h>
#include <graphics/NSColor.h>
#include <graphics/NSStringDrawing.h>

#include <cmath>

namespace {
constexpr const char* kDefaultFontName = "Helvetica";
}

Ref<CATextLayer> CATextLayer::layer() { return makeRef<CATextLayer>(); }

CATextLayer::CATextLayer()
    : m_foregroundColor(CGColorCreateGenericRGB(1, 1, 1, 1))
{
}

void CATextLayer::setString(std::string string)
{
    if (string == m_string)
        return;
    m_string = std::move(string);
    m_layoutNeeded = true;
    didChange();
}

void CATextLayer::setFont(Ref<NSFont> font)
{
    if (font == m_font)
        return;
    m_font = std::move(font);
    m_layoutNeeded = true;
    didChange();
}

void CATextLayer::setFontSize(CGFloat size)
{
    if (size == m_fontSize)
        return;
    m_fontSize = size;
    m_layoutNeeded = true;
    didChange();
}

void CATextLayer::setForegroundColor(CGColorRef color)
{
    changeProperty(m_foregroundColor, std::move(color), "foregroundColor");
}

Ref<NSFont> CATextLayer::effectiveFont() const
{
    CGFloat size = m_fontSize > 0 ? m_fontSize : NSFont::systemFontSize();
    auto font = NSFont::fontWithName(m_font ? m_font->fontName() : kDefaultFontName, size);
    return font ? font : NSFont::systemFontOfSize(size);
}

CGSize CATextLayer::textSize() const
{
    if (m_string.empty())
        return CGSizeZero;
    return TextLayout(m_string, { effectiveFont(), nullptr, 0 }).size();
}

void CATextLayer::display() { m_layoutNeeded = true; }

void CATextLayer::drawText(const CGContextRef& context, const Ref<NSColor>& colour) const
{
    if (m_string.empty())
        return;
    TextLayout layout(m_string, { effectiveFont(), colour, 0 });
    CGRect b = bounds();
    CGContextStateSaver saver(context);
    CGContextClipToRect(context, b);
    layout.drawAtPoint(context, { b.origin.x, b.origin.y + b.size.height - layout.size().height }, false);
}

void CATextLayer::drawInContext(const CGContextRef& context)
{
    drawText(context, NSColor::colorWithCGColor(m_foregroundColor));
    CALayer::drawInContext(context);
}

void CATextLayer::prepareForRender()
{
    CGRect b = bounds();
    if (!m_layoutNeeded && b == m_coverageBounds && contentsScale() == m_coverageScale)
        return;
    m_layoutNeeded = false;
    m_coverageBounds = b;
    m_coverageScale = contentsScale();
    m_coverage = nullptr;
    size_t width = static_cast<size_t>(std::ceil(b.size.width * m_coverageScale - 1e-9));
    size_t height = static_cast<size_t>(std::ceil(b.size.height * m_coverageScale - 1e-9));
    if (m_string.empty() || width == 0 || height == 0 || !(b.size.width > 0) || !(b.size.height > 0))
        return;
    auto context = CGBitmapContextCreate(nullptr, width, height, 8, 0, nullptr, kCGImageAlphaOnly);
    if (!context)
        return;
    CGContextScaleCTM(context, m_coverageScale, m_coverageScale);
    CGContextTranslateCTM(context, -b.origin.x, -b.origin.y);
    drawText(context, NSColor::blackColor());
    m_coverage = CGBitmapContextCreateImage(context);
}

void CATextLayer::drawOwnContent(cairo_t* cr, const CALayer& presentation) const
{
    if (!m_coverage)
        return;
    const auto& shown = static_cast<const CATextLayer&>(presentation);
    CairoStateSaver saver(cr);
    if (ca::setSourceColor(cr, shown.m_foregroundColor))
        ca::maskWithImage(cr, m_coverage, m_coverageBounds);
}

CAValue CATextLayer::animatableValue(const std::string& key) const
{
    if (key == "foregroundColor")
        return m_foregroundColor;
    return CALayer::animatableValue(key);
}

bool CATextLayer::storeAnimatableValue(const std::string& key, const CAValue& value)
{
    if (key == "foregroundColor") {
        auto* color = std::get_if<CGColorRef>(&value);
        if (!color)
            return false;
        m_foregroundColor = *color;
        return true;
    }
    return CALayer::storeAnimatableValue(key, value);
}

Ref<CALayer> CATextLayer::makePresentationCopy() const
{
    auto copy = makeRef<CATextLayer>();
    copyPropertiesTo(*copy);
    copy->m_string = m_string;
    copy->m_font = m_font;
    copy->m_fontSize = m_fontSize;
    copy->m_foregroundColor = m_foregroundColor;
    return copy;
}

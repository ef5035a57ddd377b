#include "NSCell.h"

#include "NSView.h"

#include <graphics/NSGraphicsContext.h>

NSCell::NSCell()
    : m_font(NSFont::systemFontOfSize(NSFont::systemFontSize()))
{
}

void NSCell::setObjectValue(const Value& value)
{
    m_value = value;
    m_attributed.reset();
}

std::string NSCell::stringValue() const
{
    if (m_attributed)
        return m_attributed->string();
    if (auto object = m_value.object())
        return object->description();
    return m_value.stringValue();
}

Ref<NSAttributedString> NSCell::attributedStringValue() const
{
    if (m_attributed)
        return m_attributed;
    return makeRef<NSAttributedString>(stringValue(), textAttributes(nullptr));
}

void NSCell::setAttributedStringValue(const Ref<NSAttributedString>& text)
{
    m_value = Value(text ? text->string() : std::string());
    m_attributed = text;
}

void NSCell::setFont(const Ref<NSFont>& font)
{
    if (font)
        m_font = font;
}

NSStringAttributes NSCell::textAttributes(const Ref<NSColor>& color) const
{
    NSStringAttributes attributes;
    attributes.font = m_font;
    attributes.foregroundColor = color ? color : NSColor::controlTextColor();
    if (!m_enabled)
        attributes.foregroundColor = NSColor::disabledControlTextColor();
    return attributes;
}

CGSize NSCell::cellSize() const
{
    CGSize text = attributedStringValue()->size();
    CGSize size = { text.width + 4, text.height };
    if (m_image) {
        CGSize image = m_image->size();
        size.width += image.width;
        size.height = std::max(size.height, image.height);
    }
    return size;
}

void NSCell::drawWithFrame(CGRect frame, NSView* view) { drawInteriorWithFrame(frame, view); }

void NSCell::drawInteriorWithFrame(CGRect frame, NSView* view)
{
    drawText(*attributedStringValue(), CGRectInset(frame, 2, 0), view);
}

void NSCell::drawText(const NSAttributedString& text, CGRect rect, NSView* view) const
{
    auto context = NSGraphicsContext::currentContext();
    if (!context || text.string().empty() || rect.size.width <= 0)
        return;
    auto layout = text.makeLayout();
    layout->setMaximumWidth(rect.size.width, m_lineBreakMode);
    CGSize size = layout->size();
    CGFloat x = rect.origin.x;
    if (m_alignment == NSTextAlignmentRight)
        x += rect.size.width - size.width;
    else if (m_alignment == NSTextAlignmentCenter)
        x += (rect.size.width - size.width) / 2;
    bool flipped = view ? view->isFlipped() : context->isFlipped();
    // The text hangs from the top edge of the rectangle.
    CGPoint origin = flipped ? CGPointMake(x, rect.origin.y) : CGPointMake(x, CGRectGetMaxY(rect) - size.height);
    CGContextStateSaver saver(context->CGContext());
    CGContextClipToRect(context->CGContext(), rect);
    layout->drawAtPoint(context->CGContext(), origin, flipped);
}

#include "NSCell.h"

#include <thread>

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

namespace {

bool sameObject(const NSObject* a, const NSObject* b) { return a == b || (a && b && a->isEqual(b)); }

bool sameAttributes(const NSStringAttributes& a, const NSStringAttributes& b)
{
    return sameObject(a.font.get(), b.font.get()) && sameObject(a.foregroundColor.get(), b.foregroundColor.get())
        && a.underlineStyle == b.underlineStyle && sameObject(a.backgroundColor.get(), b.backgroundColor.get());
}

// Whether two texts lay out and draw alike: the same letters with the same
// attributes over the same ranges.
bool sameText(const NSAttributedString& a, const NSAttributedString& b)
{
    if (a.string() != b.string() || !sameAttributes(a.baseAttributes(), b.baseAttributes())
        || a.runs().size() != b.runs().size())
        return false;
    for (size_t i = 0; i < a.runs().size(); ++i) {
        const auto &x = a.runs()[i], &y = b.runs()[i];
        if (x.range.location != y.range.location || x.range.length != y.range.length
            || !sameAttributes(x.attributes, y.attributes))
            return false;
    }
    return true;
}

}

struct NSCell::KeptTextLayout {
    Ref<NSAttributedString> text;
    CGFloat width;
    NSLineBreakMode mode;
    // A layout belongs to its thread's text context.
    std::thread::id thread;
    std::unique_ptr<TextLayout> layout;
};

void NSCell::drawText(const NSAttributedString& text, CGRect rect, NSView* view) const
{
    auto context = NSGraphicsContext::currentContext();
    if (!context || text.string().empty() || rect.size.width <= 0)
        return;
    auto thread = std::this_thread::get_id();
    if (!m_keptLayout || m_keptLayout->thread != thread || m_keptLayout->width != rect.size.width
        || m_keptLayout->mode != m_lineBreakMode || !sameText(*m_keptLayout->text, text)) {
        // A copy: the text handed in may be changed after it was drawn.
        auto copy = makeRef<NSAttributedString>(text.string(), text.baseAttributes());
        for (const auto& run : text.runs())
            copy->addAttributes(run.attributes, run.range);
        auto layout = copy->makeLayout();
        layout->setMaximumWidth(rect.size.width, m_lineBreakMode);
        m_keptLayout = std::make_shared<KeptTextLayout>(
            KeptTextLayout { copy, rect.size.width, m_lineBreakMode, thread, std::move(layout) });
    }
    // Held here: drawing may reach code that draws this cell again.
    auto kept = m_keptLayout;
    const auto& layout = kept->layout;
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

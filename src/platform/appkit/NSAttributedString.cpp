#include "NSAttributedString.h"

#include <graphics/NSGraphicsContext.h>

#include <algorithm>

NSAttributedString::NSAttributedString(std::string text, NSStringAttributes attributes)
    : m_text(std::move(text))
    , m_base(std::move(attributes))
{
}

size_t NSAttributedString::length() const { return utf16Length(m_text); }

void NSAttributedString::addAttributes(const NSStringAttributes& attributes, NSRange range)
{
    size_t length = this->length();
    if (range.location >= length)
        return;
    range.length = std::min(range.length, length - range.location);
    if (range.length == 0)
        return;
    m_runs.push_back({ range, attributes });
}

NSStringAttributes NSAttributedString::attributesAtIndex(size_t index) const
{
    NSStringAttributes result = m_base;
    for (const auto& run : m_runs) {
        if (index < run.range.location || index >= run.range.location + run.range.length)
            continue;
        if (run.attributes.font)
            result.font = run.attributes.font;
        if (run.attributes.foregroundColor)
            result.foregroundColor = run.attributes.foregroundColor;
        if (run.attributes.underlineStyle)
            result.underlineStyle = run.attributes.underlineStyle;
        if (run.attributes.backgroundColor)
            result.backgroundColor = run.attributes.backgroundColor;
    }
    return result;
}

std::unique_ptr<TextLayout> NSAttributedString::makeLayout() const
{
    auto layout = std::make_unique<TextLayout>(m_text, m_base);
    for (const auto& run : m_runs)
        layout->addAttributes(run.range, run.attributes);
    return layout;
}

CGSize NSAttributedString::size() const { return makeLayout()->size(); }

void NSAttributedString::drawAtPoint(CGPoint point) const
{
    auto context = NSGraphicsContext::currentContext();
    if (!context)
        return;
    makeLayout()->drawAtPoint(context->CGContext(), point, context->isFlipped());
}

bool NSAttributedString::isEqual(const NSObject* other) const
{
    auto o = dynamic_cast<const NSAttributedString*>(other);
    return o && o->m_text == m_text && o->m_runs.size() == m_runs.size();
}

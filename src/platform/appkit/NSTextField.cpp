#include "NSTextField.h"

#include "NSEvent.h"

#include <graphics/NSGraphicsContext.h>

namespace {
// Room between the edges and the text.
constexpr CGFloat kTextInset = 2;
constexpr CGFloat kBezelInset = 3;
}

Ref<NSAttributedString> NSTextFieldCell::attributedText() const
{
    NSStringAttributes base = textAttributes(m_textColor);
    if (!hasAttributedStringValue())
        return makeRef<NSAttributedString>(stringValue(), base);
    // Attributes of attributed text win over the cell's own.
    auto text = attributedStringValue();
    const auto& own = text->baseAttributes();
    if (own.font)
        base.font = own.font;
    if (own.foregroundColor && isEnabled())
        base.foregroundColor = own.foregroundColor;
    base.underlineStyle = own.underlineStyle;
    if (own.backgroundColor)
        base.backgroundColor = own.backgroundColor;
    auto result = makeRef<NSAttributedString>(text->string(), base);
    for (const auto& run : text->runs())
        result->addAttributes(run.attributes, run.range);
    return result;
}

CGRect NSTextFieldCell::titleRectForBounds(CGRect bounds) const
{
    CGFloat inset = (m_bezeled || m_bordered) ? kBezelInset : 0;
    return CGRectInset(bounds, kTextInset + inset, inset);
}

CGSize NSTextFieldCell::cellSize() const
{
    auto text = attributedText();
    CGSize size = text->string().empty() ? makeRef<NSAttributedString>(" ", textAttributes(nullptr))->size() : text->size();
    CGFloat inset = (m_bezeled || m_bordered) ? kBezelInset : 0;
    return { std::ceil(size.width) + 2 * (kTextInset + inset), std::ceil(size.height) + 2 * inset };
}

void NSTextFieldCell::drawWithFrame(CGRect frame, NSView* view)
{
    auto context = NSGraphicsContext::currentContext();
    if (!context)
        return;
    auto cg = context->CGContext();
    if (m_drawsBackground && m_backgroundColor) {
        CGContextSetFillColorWithColor(cg, m_backgroundColor->CGColor());
        CGContextFillRect(cg, frame);
    } else if (m_bezeled) {
        CGContextSetFillColorWithColor(cg, NSColor::controlBackgroundColor()->CGColor());
        CGContextFillRect(cg, frame);
    }
    if (m_bezeled || m_bordered) {
        CGContextSetStrokeColorWithColor(cg, NSColor::grayColor()->CGColor());
        CGContextSetLineWidth(cg, 1);
        CGContextStrokeRect(cg, CGRectInset(frame, 0.5, 0.5));
    }
    drawInteriorWithFrame(frame, view);
}

void NSTextFieldCell::drawInteriorWithFrame(CGRect frame, NSView* view)
{
    auto text = attributedText();
    if (text->string().empty() && !m_placeholder.empty()) {
        NSStringAttributes placeholder = textAttributes(NSColor::grayColor());
        text = makeRef<NSAttributedString>(m_placeholder, placeholder);
    }
    drawText(*text, titleRectForBounds(frame), view);
}

NSTextField::NSTextField(CGRect frame)
    : NSControl(frame, makeRef<NSTextFieldCell>())
{
}

Ref<NSTextField> NSTextField::labelWithString(const std::string& text)
{
    auto label = makeRef<NSTextField>();
    label->setEditable(false);
    label->setSelectable(false);
    label->setStringValue(text);
    label->sizeToFit();
    return label;
}

Ref<NSTextField> NSTextField::labelWithAttributedString(const Ref<NSAttributedString>& text)
{
    auto label = labelWithString({});
    label->setAttributedStringValue(text);
    label->sizeToFit();
    return label;
}

Ref<NSTextField> NSTextField::textFieldWithString(const std::string& text)
{
    auto field = makeRef<NSTextField>();
    field->setBezeled(true);
    field->setDrawsBackground(true);
    field->setBackgroundColor(NSColor::controlBackgroundColor());
    field->setStringValue(text);
    field->sizeToFit();
    return field;
}

void NSTextField::setTextColor(const Ref<NSColor>& color)
{
    textFieldCell().setTextColor(color ? color : NSColor::controlTextColor());
    setNeedsDisplay(true);
}

void NSTextField::setBackgroundColor(const Ref<NSColor>& color)
{
    textFieldCell().setBackgroundColor(color);
    setNeedsDisplay(true);
}

void NSTextField::setDrawsBackground(bool flag)
{
    textFieldCell().setDrawsBackground(flag);
    setNeedsDisplay(true);
}

void NSTextField::setBordered(bool flag)
{
    textFieldCell().setBordered(flag);
    setNeedsDisplay(true);
}

void NSTextField::setBezeled(bool flag)
{
    textFieldCell().setBezeled(flag);
    setNeedsDisplay(true);
}

void NSTextField::setPlaceholderString(const std::string& s)
{
    textFieldCell().setPlaceholderString(s);
    setNeedsDisplay(true);
}

void NSTextField::keyDown(const Ref<NSEvent>& event)
{
    if (!m_editable || !isEnabled()) {
        NSControl::keyDown(event);
        return;
    }
    uint16_t key = event->keyCode();
    auto flags = event->modifierFlags();
    if (key == kVK_Return) {
        endEditing();
        sendAction(action(), target());
        return;
    }
    if (key == kVK_Tab || key == kVK_Escape || (flags & (NSEventModifierFlagCommand | NSEventModifierFlagControl))) {
        NSControl::keyDown(event);
        return;
    }
    std::string text = stringValue();
    if (key == kVK_Delete) {
        // Drop the last character, with all of its UTF-8 bytes.
        while (!text.empty() && (static_cast<unsigned char>(text.back()) & 0xC0) == 0x80)
            text.pop_back();
        if (!text.empty())
            text.pop_back();
    } else {
        const std::string& typed = event->characters();
        // Arrows and function keys type private-use characters, which are
        // not text.
        if (typed.empty() || static_cast<unsigned char>(typed[0]) < 0x20 || typed == "\x7f"
            || static_cast<unsigned char>(typed[0]) == 0xEF) {
            NSControl::keyDown(event);
            return;
        }
        text += typed;
    }
    m_editing = true;
    setStringValue(text);
}

void NSTextField::endEditing()
{
    if (!m_editing)
        return;
    m_editing = false;
    propagateValue(objectValue(), NSValueBinding);
}

bool NSTextField::resignFirstResponder()
{
    endEditing();
    return true;
}

#include "NSButton.h"

#include "NSEvent.h"

#include <foundation/NSUserDefaults.h>
#include <graphics/NSAppearance.h>
#include <graphics/NSGraphicsContext.h>

#include <algorithm>

namespace {

// The check box's square, in points.
constexpr CGFloat kSwitchSide = 14;
constexpr CGFloat kTitleGap = 4;
constexpr CGFloat kBezelCorner = 5;

void addRoundedRect(const CGContextRef& cg, CGRect r, CGFloat radius)
{
    radius = std::min({ radius, r.size.width / 2, r.size.height / 2 });
    CGContextBeginPath(cg);
    CGContextMoveToPoint(cg, r.origin.x + radius, r.origin.y);
    CGContextAddArcToPoint(cg, CGRectGetMaxX(r), r.origin.y, CGRectGetMaxX(r), CGRectGetMaxY(r), radius);
    CGContextAddArcToPoint(cg, CGRectGetMaxX(r), CGRectGetMaxY(r), r.origin.x, CGRectGetMaxY(r), radius);
    CGContextAddArcToPoint(cg, r.origin.x, CGRectGetMaxY(r), r.origin.x, r.origin.y, radius);
    CGContextAddArcToPoint(cg, r.origin.x, r.origin.y, CGRectGetMaxX(r), r.origin.y, radius);
    CGContextClosePath(cg);
}

void fillRoundedRect(const CGContextRef& cg, CGRect r, CGFloat radius, const Ref<NSColor>& color)
{
    CGContextSetFillColorWithColor(cg, color->CGColor());
    addRoundedRect(cg, r, radius);
    CGContextFillPath(cg);
}

void strokeRoundedRect(const CGContextRef& cg, CGRect r, CGFloat radius, const Ref<NSColor>& color)
{
    CGContextSetStrokeColorWithColor(cg, color->CGColor());
    CGContextSetLineWidth(cg, 1);
    addRoundedRect(cg, r, radius);
    CGContextStrokePath(cg);
}

}

NSButtonCell::NSButtonCell() { setAlignment(NSTextAlignmentCenter); }

void NSButtonCell::drawOnMark(const CGContextRef& cg, CGRect box, bool flipped) const
{
    auto color = NSColor::alternateSelectedControlTextColor()->colorWithAlphaComponent(isEnabled() ? 1.0 : 0.6);
    if (m_buttonType == NSButtonTypeRadio) {
        // A radio button's dot.
        fillRoundedRect(cg, CGRectInset(box, 4.5, 4.5), kSwitchSide, color);
        return;
    }
    // A check box's tick: a short stroke down to the lower left third, a
    // long one up to the upper right corner. Points are given from the
    // box's top edge down.
    auto at = [&](CGFloat x, CGFloat down) {
        return CGPointMake(box.origin.x + x, flipped ? box.origin.y + down : CGRectGetMaxY(box) - down);
    };
    CGPoint start = at(3.2, 7.2), corner = at(5.8, 10.2), end = at(10.8, 3.6);
    CGContextSaveGState(cg);
    CGContextSetStrokeColorWithColor(cg, color->CGColor());
    CGContextSetLineWidth(cg, 2);
    CGContextSetLineCap(cg, kCGLineCapRound);
    CGContextSetLineJoin(cg, kCGLineJoinRound);
    CGContextBeginPath(cg);
    CGContextMoveToPoint(cg, start.x, start.y);
    CGContextAddLineToPoint(cg, corner.x, corner.y);
    CGContextAddLineToPoint(cg, end.x, end.y);
    CGContextStrokePath(cg);
    CGContextRestoreGState(cg);
}

bool NSButtonCell::togglesState() const
{
    switch (m_buttonType) {
    case NSButtonTypePushOnPushOff:
    case NSButtonTypeToggle:
    case NSButtonTypeSwitch:
    case NSButtonTypeRadio:
    case NSButtonTypeOnOff:
        return true;
    default:
        return false;
    }
}

Ref<NSAttributedString> NSButtonCell::titleText() const
{
    if (m_attributedTitle)
        return m_attributedTitle;
    return makeRef<NSAttributedString>(title(), textAttributes(nullptr));
}

CGSize NSButtonCell::cellSize() const
{
    CGSize text = title().empty() && !m_attributedTitle ? CGSizeZero : titleText()->size();
    CGSize picture = image() && m_imagePosition != NSNoImage ? image()->size() : CGSizeZero;
    CGSize content;
    if (m_imagePosition == NSImageOnly)
        content = picture;
    else if (m_imagePosition == NSImageAbove || m_imagePosition == NSImageBelow)
        content = { std::max(text.width, picture.width), text.height + picture.height + kTitleGap };
    else if (m_imagePosition == NSImageOverlaps || m_imagePosition == NSNoImage)
        content = { std::max(text.width, picture.width), std::max(text.height, picture.height) };
    else
        content = { text.width + picture.width + (picture.width > 0 ? kTitleGap : 0), std::max(text.height, picture.height) };
    if (m_buttonType == NSButtonTypeSwitch || m_buttonType == NSButtonTypeRadio)
        return { std::ceil(content.width + kSwitchSide + kTitleGap + 2), std::max(std::ceil(content.height), kSwitchSide + 2) };
    CGFloat pad = m_bordered ? 12 : 0;
    return { std::ceil(content.width + 2 * pad), std::ceil(content.height + (m_bordered ? 8 : 0)) };
}

void NSButtonCell::drawWithFrame(CGRect frame, NSView* view)
{
    auto context = NSGraphicsContext::currentContext();
    if (!context)
        return;
    auto cg = context->CGContext();
    bool isSwitch = m_buttonType == NSButtonTypeSwitch || m_buttonType == NSButtonTypeRadio;
    if (m_bordered && !isSwitch) {
        bool pushedIn = isHighlighted() || (togglesState() && state() == NSControlStateValueOn);
        bool dark = NSAppearanceNameIsDark(NSAppearanceCurrentDrawingName());
        auto face = pushedIn ? NSColor::colorWithDeviceWhite(dark ? 0.5 : 0.72, 1) : NSColor::controlColor();
        fillRoundedRect(cg, CGRectInset(frame, 0.5, 0.5), kBezelCorner, face->colorWithAlphaComponent(isEnabled() ? 1.0 : 0.6));
        strokeRoundedRect(cg, CGRectInset(frame, 0.5, 0.5), kBezelCorner, NSColor::gridColor());
    }
    drawInteriorWithFrame(frame, view);
}

void NSButtonCell::drawInteriorWithFrame(CGRect frame, NSView* view)
{
    auto context = NSGraphicsContext::currentContext();
    if (!context)
        return;
    auto cg = context->CGContext();
    bool flipped = view ? view->isFlipped() : context->isFlipped();
    CGRect content = frame;
    if (m_buttonType == NSButtonTypeSwitch || m_buttonType == NSButtonTypeRadio) {
        CGFloat y = frame.origin.y + (frame.size.height - kSwitchSide) / 2;
        CGRect box = CGRectMake(frame.origin.x + 1, y, kSwitchSide, kSwitchSide);
        fillRoundedRect(cg, box, m_buttonType == NSButtonTypeRadio ? kSwitchSide / 2 : 3,
            state() == NSControlStateValueOn ? NSColor::alternateSelectedControlColor() : NSColor::controlBackgroundColor());
        strokeRoundedRect(cg, CGRectInset(box, 0.5, 0.5), m_buttonType == NSButtonTypeRadio ? kSwitchSide / 2 : 3,
            NSColor::grayColor());
        if (state() == NSControlStateValueOn)
            drawOnMark(cg, box, flipped);
        content.origin.x += kSwitchSide + kTitleGap + 1;
        content.size.width -= kSwitchSide + kTitleGap + 1;
    }

    auto text = titleText();
    bool hasTitle = !text->string().empty() && m_imagePosition != NSImageOnly;
    bool hasImage = image() && m_imagePosition != NSNoImage;
    CGSize textSize = hasTitle ? text->size() : CGSizeZero;
    CGSize imageSize = hasImage ? image()->size() : CGSizeZero;
    CGRect imageRect = CGRectZero;
    CGRect textRect = content;
    auto centeredIn = [](CGRect area, CGSize size) {
        return CGRectMake(area.origin.x + (area.size.width - size.width) / 2,
            area.origin.y + (area.size.height - size.height) / 2, size.width, size.height);
    };
    if (hasImage) {
        switch (m_imagePosition) {
        case NSImageLeft:
        case NSImageLeading: {
            CGFloat total = imageSize.width + (hasTitle ? kTitleGap + textSize.width : 0);
            CGFloat x = content.origin.x + (content.size.width - total) / 2;
            imageRect = centeredIn(CGRectMake(x, content.origin.y, imageSize.width, content.size.height), imageSize);
            textRect = CGRectMake(x + imageSize.width + kTitleGap, content.origin.y,
                std::max(0.0, CGRectGetMaxX(content) - x - imageSize.width - kTitleGap), content.size.height);
            break;
        }
        case NSImageRight:
        case NSImageTrailing: {
            CGFloat total = imageSize.width + (hasTitle ? kTitleGap + textSize.width : 0);
            CGFloat x = content.origin.x + (content.size.width - total) / 2;
            textRect = CGRectMake(x, content.origin.y, textSize.width, content.size.height);
            imageRect = centeredIn(
                CGRectMake(x + textSize.width + (hasTitle ? kTitleGap : 0), content.origin.y, imageSize.width, content.size.height),
                imageSize);
            break;
        }
        default:
            imageRect = centeredIn(content, imageSize);
            break;
        }
        image()->drawInRect(imageRect, CGRectZero, NSCompositingOperationSourceOver, isEnabled() ? 1.0 : 0.5);
    }
    if (!hasTitle)
        return;
    // The title sits in the middle of its rectangle vertically.
    CGFloat inset = std::max(0.0, (textRect.size.height - textSize.height) / 2);
    CGRect lineRect = CGRectInset(textRect, 0, inset);
    if (flipped)
        lineRect.origin.y = textRect.origin.y + inset;
    drawText(*text, lineRect, view);
}

NSButton::NSButton(CGRect frame)
    : NSControl(frame, makeRef<NSButtonCell>())
{
}

Ref<NSButton> NSButton::buttonWithTitle(const std::string& title, const Ref<NSObject>& target, const std::string& action)
{
    auto button = makeRef<NSButton>();
    button->setTitle(title);
    button->setTarget(target);
    button->setAction(action);
    button->sizeToFit();
    return button;
}

Ref<NSButton> NSButton::checkboxWithTitle(const std::string& title, const Ref<NSObject>& target, const std::string& action)
{
    auto button = buttonWithTitle(title, target, action);
    button->setButtonType(NSButtonTypeSwitch);
    button->sizeToFit();
    return button;
}

void NSButton::setTitle(const std::string& title)
{
    willChangeValueForKey("title");
    buttonCell().setTitle(title);
    buttonCell().setAttributedTitle(nullptr);
    didChangeValueForKey("title");
    setNeedsDisplay(true);
}

Ref<NSAttributedString> NSButton::attributedTitle() const
{
    if (auto t = buttonCell().attributedTitle())
        return t;
    NSStringAttributes attributes;
    attributes.font = font();
    return makeRef<NSAttributedString>(title(), attributes);
}

void NSButton::setAttributedTitle(const Ref<NSAttributedString>& title)
{
    buttonCell().setTitle(title ? title->string() : std::string());
    buttonCell().setAttributedTitle(title);
    setNeedsDisplay(true);
}

void NSButton::setImage(const Ref<NSImage>& image)
{
    buttonCell().setImage(image);
    if (image && imagePosition() == NSNoImage && title().empty())
        buttonCell().setImagePosition(NSImageOnly);
    setNeedsDisplay(true);
}

void NSButton::setImagePosition(NSCellImagePosition position)
{
    buttonCell().setImagePosition(position);
    setNeedsDisplay(true);
}

void NSButton::setState(NSControlStateValue state)
{
    if (state == this->state())
        return;
    willChangeValueForKey("state");
    buttonCell().setState(state);
    didChangeValueForKey("state");
    setNeedsDisplay(true);
}

void NSButton::setButtonType(NSButtonType type)
{
    buttonCell().setButtonType(type);
    if (type == NSButtonTypeSwitch || type == NSButtonTypeRadio) {
        buttonCell().setBordered(false);
        setAlignment(NSTextAlignmentLeft);
    }
    setNeedsDisplay(true);
}

void NSButton::setBezelStyle(NSBezelStyle style)
{
    buttonCell().setBezelStyle(style);
    setNeedsDisplay(true);
}

void NSButton::setBordered(bool flag)
{
    buttonCell().setBordered(flag);
    setNeedsDisplay(true);
}

void NSButton::performClick(const Ref<NSObject>&)
{
    if (!isEnabled())
        return;
    if (buttonCell().togglesState()) {
        setState(state() == NSControlStateValueOn ? NSControlStateValueOff : NSControlStateValueOn);
        // A check box holds a yes-or-no value; other buttons their state.
        propagateValue(isCheckbox() ? Value(state() == NSControlStateValueOn) : Value(static_cast<int64_t>(state())),
            NSValueBinding);
    }
    sendAction(action(), target());
}

bool NSButton::containsEvent(const Ref<NSEvent>& event) const
{
    return mouse(convertPointFromView(event->locationInWindow(), nullptr), bounds());
}

void NSButton::mouseDown(const Ref<NSEvent>&)
{
    if (!isEnabled())
        return;
    m_tracking = true;
    setHighlighted(true);
}

void NSButton::mouseDragged(const Ref<NSEvent>& event)
{
    if (m_tracking)
        setHighlighted(containsEvent(event));
}

void NSButton::mouseUp(const Ref<NSEvent>& event)
{
    if (!m_tracking)
        return;
    m_tracking = false;
    setHighlighted(false);
    if (containsEvent(event))
        performClick(selfRef<NSObject>());
}

bool NSButton::isCheckbox() const { return buttonCell().buttonType() == NSButtonTypeSwitch; }

NSControlStateValue NSButton::stateForValue(const Value& value) const
{
    // A check box reads a value as the settings do ("true" is on), so that
    // it shows what the program reads from the same setting.
    if (isCheckbox())
        return NSUserDefaults::boolFromObject(value) ? NSControlStateValueOn : NSControlStateValueOff;
    return static_cast<NSControlStateValue>(value.integerValue());
}

void NSButton::setObjectValue(const Value& value) { setState(stateForValue(value)); }

Value NSButton::valueForKey(const std::string& key) const
{
    if (key == "title")
        return Value(title());
    if (key == "state" || key == "value" || key == "objectValue")
        return Value(static_cast<int64_t>(state()));
    return NSControl::valueForKey(key);
}

void NSButton::setValueForKey(const Value& value, const std::string& key)
{
    if (key == "title")
        setTitle(value.stringValue());
    else if (key == "state" || key == "value")
        setState(stateForValue(value));
    else
        NSControl::setValueForKey(value, key);
}

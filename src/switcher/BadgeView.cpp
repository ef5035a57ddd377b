#include "BadgeView.h"

#include <graphics/CGGradient.h>
#include <graphics/NSFont.h>
#include <graphics/NSGraphicsContext.h>
#include <graphics/NSStringDrawing.h>

#include <cmath>

namespace {

constexpr CGFloat kBadgeSide = 25;
constexpr CGFloat kMeasureFontSize = 12;
constexpr CGFloat kTextFontSize = 10.5;
// Single characters are drawn a fifth larger to fill the round badge.
constexpr CGFloat kSingleCharacterFontScale = 1.2;
constexpr double kDefaultRoundness = 0.4;
constexpr CGFloat kInsetFraction = 0.1;

}

BadgeView::BadgeView()
    : NSView(CGRectMake(0, 0, kBadgeSide, kBadgeSide))
{
}

BadgeView::BadgeView(const std::string& string, double scale, bool shining)
    : BadgeView(
        string, NSColor::whiteColor(), NSColor::redColor(), true, NSColor::whiteColor(), scale, shining)
{
}

BadgeView::BadgeView(const std::string& string, const Ref<NSColor>& stringColor,
    const Ref<NSColor>& insetColor, bool badgeFrame, const Ref<NSColor>& frameColor, double scale,
    bool shining)
    : NSView(CGRectMake(0, 0, kBadgeSide, kBadgeSide))
    , m_badgeText(string)
    , m_badgeTextColor(stringColor)
    , m_badgeInsetColor(insetColor)
    , m_badgeFrameColor(frameColor)
    , m_badgeFrame(badgeFrame)
    , m_badgeShining(shining)
    , m_badgeCornerRoundness(kDefaultRoundness)
    , m_badgeScaleFactor(scale)
{
    autoBadgeSizeWithString(string);
}

Ref<BadgeView> BadgeView::customBadgeWithString(const std::string& string)
{
    return makeRef<BadgeView>(string, 1.0, true);
}

Ref<BadgeView> BadgeView::customBadgeWithString(const std::string& string, const Ref<NSColor>& stringColor,
    const Ref<NSColor>& insetColor, bool badgeFrame, const Ref<NSColor>& frameColor, double scale,
    bool shining)
{
    return makeRef<BadgeView>(string, stringColor, insetColor, badgeFrame, frameColor, scale, shining);
}

void BadgeView::autoBadgeSizeWithString(const std::string& string)
{
    double s = m_badgeScaleFactor;
    size_t length = utf16Length(string);
    CGSize size;
    if (length < 2) {
        size = CGSizeMake(kBadgeSide * s, kBadgeSide * s);
    } else {
        NSStringAttributes attributes;
        attributes.font = NSFont::boldSystemFontOfSize(kMeasureFontSize);
        CGFloat textWidth = sizeWithAttributes(string, attributes).width;
        size = CGSizeMake((textWidth + static_cast<CGFloat>(length) + kBadgeSide) * s, kBadgeSide * s);
    }
    setFrame(CGRectMake(frame().origin.x, frame().origin.y, size.width, size.height));
    setBounds(CGRectMake(bounds().origin.x, bounds().origin.y, size.width, size.height));
    m_badgeText = string;
    setNeedsDisplay(true);
}

CGPathRef BadgeView::badgePath() const
{
    CGRect b = bounds();
    CGFloat r = CGRectGetMaxY(b) * m_badgeCornerRoundness;
    CGFloat d = CGRectGetMaxY(b) * kInsetFraction;
    CGFloat right = CGRectGetMaxX(b) - d, top = CGRectGetMaxY(b) - d;
    CGFloat left = CGRectGetMinX(b) + d, bottom = CGRectGetMinY(b) + d;
    auto path = CGPathCreateMutable();
    CGPathAddArc(path, nullptr, right - r, bottom + r, r, 3 * M_PI / 2, 0, false);
    CGPathAddArc(path, nullptr, right - r, top - r, r, 0, M_PI / 2, false);
    CGPathAddArc(path, nullptr, left + r, top - r, r, M_PI / 2, M_PI, false);
    CGPathAddArc(path, nullptr, left + r, bottom + r, r, M_PI, 3 * M_PI / 2, false);
    return path;
}

CGFloat BadgeView::frameLineWidth() const
{
    return m_badgeScaleFactor > 1.0 ? 2.0 + 0.25 * m_badgeScaleFactor : 2.0;
}

CGFloat BadgeView::textFontSize() const
{
    CGFloat size = kTextFontSize * m_badgeScaleFactor;
    if (utf16Length(m_badgeText) < 2) size *= kSingleCharacterFontScale;
    return size;
}

void BadgeView::drawRect(CGRect)
{
    auto current = NSGraphicsContext::currentContext();
    if (!current) return;
    const auto& context = current->CGContext();
    drawRoundedRectWithContext(context);
    if (m_badgeShining) drawShineWithContext(context);
    if (m_badgeFrame) drawFrameWithContext(context);
    if (m_badgeText.empty()) return;
    NSStringAttributes attributes;
    attributes.font = NSFont::systemFontOfSize(textFontSize());
    attributes.foregroundColor = m_badgeTextColor;
    CGSize text = sizeWithAttributes(m_badgeText, attributes);
    CGRect b = bounds();
    drawAtPoint(m_badgeText,
        CGPointMake(b.size.width * 0.5 - text.width * 0.5, b.size.height * 0.5 - text.height * 0.5 + 1.0),
        attributes);
}

void BadgeView::drawRoundedRectWithContext(const CGContextRef& context)
{
    CGContextStateSaver saver(context);
    CGContextBeginPath(context);
    CGContextAddPath(context, badgePath());
    if (m_badgeInsetColor) CGContextSetFillColorWithColor(context, m_badgeInsetColor->CGColor());
    CGContextFillPath(context);
}

void BadgeView::drawShineWithContext(const CGContextRef& context)
{
    CGContextStateSaver saver(context);
    CGContextBeginPath(context);
    CGContextAddPath(context, badgePath());
    CGContextClip(context);
    const CGFloat components[] = { 0.92, 0.92, 0.92, 1.0, 0.82, 0.82, 0.82, 0.4 };
    const CGFloat locations[] = { 0.0, 0.4 };
    auto gradient
        = CGGradientCreateWithColorComponents(CGColorSpaceCreateDeviceRGB(), components, locations, 2);
    CGFloat top = CGRectGetMaxY(bounds()) - CGRectGetMaxY(bounds()) * kInsetFraction;
    CGContextDrawLinearGradient(context, gradient, CGPointMake(0, 0), CGPointMake(0, top), 0);
}

void BadgeView::drawFrameWithContext(const CGContextRef& context)
{
    CGContextSetLineWidth(context, frameLineWidth());
    CGContextBeginPath(context);
    CGContextAddPath(context, badgePath());
    CGContextClosePath(context);
    if (m_badgeFrameColor) CGContextSetStrokeColorWithColor(context, m_badgeFrameColor->CGColor());
    CGContextStrokePath(context);
}

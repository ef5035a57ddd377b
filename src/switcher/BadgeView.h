// A small rounded badge with centred text: a filled body, an optional shine
// gradient over it and an optional frame line, sized to its text. It draws
// only from its own properties.
#pragma once

#include <appkit/NSView.h>
#include <graphics/CGPath.h>
#include <graphics/NSColor.h>

class BadgeView : public NSView {
public:
    // A badge at (0, 0) that is 25 points square until sized to its text.
    BadgeView();
    // initWithString:withScale:withShining:.
    BadgeView(const std::string& string, double scale, bool shining);
    // initWithString:withStringColor:withInsetColor:withBadgeFrame:withBadgeFrameColor:withScale:withShining:.
    BadgeView(const std::string& string, const Ref<NSColor>& stringColor, const Ref<NSColor>& insetColor,
        bool badgeFrame, const Ref<NSColor>& frameColor, double scale, bool shining);

    static Ref<BadgeView> customBadgeWithString(const std::string& string);
    static Ref<BadgeView> customBadgeWithString(const std::string& string, const Ref<NSColor>& stringColor,
        const Ref<NSColor>& insetColor, bool badgeFrame, const Ref<NSColor>& frameColor, double scale,
        bool shining);

    const std::string& badgeText() const { return m_badgeText; }
    void setBadgeText(const std::string& text) { m_badgeText = text; }
    const Ref<NSColor>& badgeTextColor() const { return m_badgeTextColor; }
    void setBadgeTextColor(const Ref<NSColor>& color) { m_badgeTextColor = color; }
    const Ref<NSColor>& badgeInsetColor() const { return m_badgeInsetColor; }
    void setBadgeInsetColor(const Ref<NSColor>& color) { m_badgeInsetColor = color; }
    const Ref<NSColor>& badgeFrameColor() const { return m_badgeFrameColor; }
    void setBadgeFrameColor(const Ref<NSColor>& color) { m_badgeFrameColor = color; }
    bool badgeFrame() const { return m_badgeFrame; }
    void setBadgeFrame(bool flag) { m_badgeFrame = flag; }
    bool badgeShining() const { return m_badgeShining; }
    void setBadgeShining(bool flag) { m_badgeShining = flag; }
    double badgeCornerRoundness() const { return m_badgeCornerRoundness; }
    void setBadgeCornerRoundness(double roundness) { m_badgeCornerRoundness = roundness; }
    double badgeScaleFactor() const { return m_badgeScaleFactor; }
    void setBadgeScaleFactor(double scale) { m_badgeScaleFactor = scale; }

    // Sizes the view to the text and stores it.
    void autoBadgeSizeWithString(const std::string& string);

    void drawRect(CGRect dirtyRect) override;
    void drawRoundedRectWithContext(const CGContextRef& context);
    void drawShineWithContext(const CGContextRef& context);
    void drawFrameWithContext(const CGContextRef& context);

    // The rounded outline all three drawing steps share, from the bounds.
    CGPathRef badgePath() const;
    // The frame line's width for the scale factor.
    CGFloat frameLineWidth() const;
    // The point size of the text's system font for the text and scale.
    CGFloat textFontSize() const;

private:
    std::string m_badgeText;
    Ref<NSColor> m_badgeTextColor;
    Ref<NSColor> m_badgeInsetColor;
    Ref<NSColor> m_badgeFrameColor;
    bool m_badgeFrame { false };
    bool m_badgeShining { false };
    double m_badgeCornerRoundness { 0 };
    double m_badgeScaleFactor { 0 };
};

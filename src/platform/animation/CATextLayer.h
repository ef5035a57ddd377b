// A layer that shows one line of plain text from its top-left corner,
// clipped to its bounds, in its font at fontSize and in its foreground
// colour. The text is laid out with Pango (through the graphics layer's
// TextLayout) at contentsScale into a coverage image when it changes, and
// painted in the shown foreground colour, so colour animations need no new
// layout.
#pragma once

#include "CALayer.h"

#include <graphics/NSColor.h>
#include <graphics/NSFont.h>

class CATextLayer : public CALayer {
public:
    static Ref<CATextLayer> layer();
    CATextLayer();

    const std::string& string() const { return m_string; }
    void setString(std::string);
    // The face to use; its own size is ignored for fontSize. Without one,
    // Helvetica.
    const Ref<NSFont>& font() const { return m_font; }
    void setFont(Ref<NSFont>);
    // 36 unless set.
    CGFloat fontSize() const { return m_fontSize; }
    void setFontSize(CGFloat);
    // Opaque white unless set.
    const CGColorRef& foregroundColor() const { return m_foregroundColor; }
    void setForegroundColor(CGColorRef);

    // The font the text is drawn in: the face of font() at fontSize().
    Ref<NSFont> effectiveFont() const;
    // The size the text takes in points.
    CGSize textSize() const;

    // Lays the text out again at the next render; contents are left alone.
    void display() override;
    // Draws the text in the foreground colour.
    void drawInContext(const CGContextRef&) override;

    CAValue animatableValue(const std::string& key) const override;

protected:
    bool storeAnimatableValue(const std::string& key, const CAValue& value) override;
    Ref<CALayer> makePresentationCopy() const override;
    void drawOwnContent(cairo_t*, const CALayer& presentation) const override;
    bool hasOwnContent() const override { return true; }
    void prepareForRender() override;

private:
    void drawText(const CGContextRef&, const Ref<NSColor>& colour) const;

    std::string m_string;
    Ref<NSFont> m_font;
    CGFloat m_fontSize { 36 };
    CGColorRef m_foregroundColor;

    // The laid-out text's coverage, and what it was made for.
    CGImageRef m_coverage;
    CGRect m_coverageBounds {};
    CGFloat m_coverageScale { 0 };
    bool m_layoutNeeded { true };
};

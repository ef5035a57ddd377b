// Colours of the application framework: RGB or white components with
// alpha in a named colour space, or a tiled pattern image.
#pragma once

#include "CGColor.h"

#include <foundation/NSObject.h>

class NSImage;

extern const char* const NSCalibratedRGBColorSpace;
extern const char* const NSDeviceRGBColorSpace;
extern const char* const NSCalibratedWhiteColorSpace;
extern const char* const NSDeviceWhiteColorSpace;
extern const char* const NSPatternColorSpace;

class NSColor : public NSObject {
public:
    static Ref<NSColor> colorWithCalibratedRed(CGFloat r, CGFloat g, CGFloat b, CGFloat a);
    static Ref<NSColor> colorWithDeviceRed(CGFloat r, CGFloat g, CGFloat b, CGFloat a);
    static Ref<NSColor> colorWithRed(CGFloat r, CGFloat g, CGFloat b, CGFloat a);
    static Ref<NSColor> colorWithCalibratedWhite(CGFloat white, CGFloat a);
    static Ref<NSColor> colorWithDeviceWhite(CGFloat white, CGFloat a);
    static Ref<NSColor> colorWithWhite(CGFloat white, CGFloat a);
    // Null for a null image.
    static Ref<NSColor> colorWithPatternImage(const Ref<NSImage>& image);
    // Null for a null or pattern colour.
    static Ref<NSColor> colorWithCGColor(const CGColorRef& color);

    static Ref<NSColor> blackColor();
    static Ref<NSColor> whiteColor();
    static Ref<NSColor> clearColor();
    static Ref<NSColor> grayColor();
    static Ref<NSColor> darkGrayColor();
    static Ref<NSColor> lightGrayColor();
    static Ref<NSColor> redColor();
    static Ref<NSColor> greenColor();
    static Ref<NSColor> blueColor();
    // System colours. Each has a light and a dark value and takes the one
    // of the current drawing appearance (NSAppearance.h) whenever its
    // components or its CGColor are read.
    static Ref<NSColor> controlTextColor();
    static Ref<NSColor> textColor();
    static Ref<NSColor> disabledControlTextColor();
    static Ref<NSColor> alternateSelectedControlColor();
    static Ref<NSColor> alternateSelectedControlTextColor();
    static Ref<NSColor> secondarySelectedControlColor();
    static Ref<NSColor> windowBackgroundColor();
    // The face of buttons and pop-ups; the ground of text fields and check
    // boxes; the edges around them.
    static Ref<NSColor> controlColor();
    static Ref<NSColor> controlBackgroundColor();
    static Ref<NSColor> gridColor();

    NSColor(std::string colorSpaceName, std::vector<CGFloat> components);
    explicit NSColor(Ref<NSImage> pattern);

    const std::string& colorSpaceName() const { return m_spaceName; }
    bool isPattern() const { return bool(m_pattern); }
    const Ref<NSImage>& patternImage() const { return m_pattern; }
    // RGB components; a white colour gives its white value for each.
    CGFloat redComponent() const;
    CGFloat greenComponent() const;
    CGFloat blueComponent() const;
    // White of a white colour; of an RGB colour, its luminance.
    CGFloat whiteComponent() const;
    CGFloat alphaComponent() const;
    void getRed(CGFloat* r, CGFloat* g, CGFloat* b, CGFloat* a) const;
    Ref<NSColor> colorWithAlphaComponent(CGFloat alpha) const;

    // Sets the colour for filling and stroking (set), or one of them, in the
    // current graphics context. Nothing happens without a context.
    void set() const;
    void setFill() const;
    void setStroke() const;
    CGColorRef CGColor() const;

    using NSObject::isEqual;
    bool isEqual(const NSObject* other) const override;
    size_t hash() const override;
    std::string description() const override;

private:
    static Ref<NSColor> systemColor(Ref<NSColor> light, Ref<NSColor> dark);
    // This colour, or its dark value while a dark appearance draws.
    const NSColor& resolved() const;
    bool isWhite() const;
    std::string m_spaceName;
    std::vector<CGFloat> m_components;
    Ref<NSImage> m_pattern;
    Ref<NSColor> m_dark;
    mutable CGColorRef m_cgColor;
};

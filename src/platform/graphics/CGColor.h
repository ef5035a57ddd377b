// Colours of Core Graphics: components in a colour space plus alpha, or a
// tiled image (a pattern colour, as made from an NSColor pattern).
#pragma once

#include "CGColorSpace.h"

#include <foundation/CGGeometry.h>

#include <vector>

class CGImage;

class CGColor {
public:
    CGColor(CGColorSpaceRef space, std::vector<CGFloat> components)
        : m_space(std::move(space))
        , m_components(std::move(components))
    {
    }
    explicit CGColor(Ref<CGImage> pattern);

    const CGColorSpaceRef& colorSpace() const { return m_space; }
    // The colour components followed by alpha; empty for a pattern.
    const std::vector<CGFloat>& components() const { return m_components; }
    CGFloat alpha() const { return m_components.empty() ? 1.0 : m_components.back(); }
    const Ref<CGImage>& patternImage() const { return m_pattern; }

    // Premultiplication is left to the drawing code; these are plain
    // (unpremultiplied) red, green and blue in 0...1. Gray spreads to all three.
    void getRGBA(CGFloat& r, CGFloat& g, CGFloat& b, CGFloat& a) const;

private:
    CGColorSpaceRef m_space;
    std::vector<CGFloat> m_components;
    Ref<CGImage> m_pattern;
};

using CGColorRef = Ref<CGColor>;

// Null when the component count does not fit the space.
CGColorRef CGColorCreate(const CGColorSpaceRef& space, const std::vector<CGFloat>& componentsWithAlpha);
CGColorRef CGColorCreateGenericRGB(CGFloat r, CGFloat g, CGFloat b, CGFloat a);
CGColorRef CGColorCreateGenericGray(CGFloat gray, CGFloat a);
CGColorRef CGColorCreateCopyWithAlpha(const CGColorRef&, CGFloat alpha);
CGColorRef CGColorCreateWithPatternImage(const Ref<CGImage>& image);
// Two null colours are equal; a null and a non-null colour are not.
bool CGColorEqualToColor(const CGColorRef&, const CGColorRef&);
CGFloat CGColorGetAlpha(const CGColorRef&);
size_t CGColorGetNumberOfComponents(const CGColorRef&);
std::vector<CGFloat> CGColorGetComponents(const CGColorRef&);
CGColorSpaceRef CGColorGetColorSpace(const CGColorRef&);
CGColorRef CGColorGetConstantColor(const char* name);
extern const char* const kCGColorBlack;
extern const char* const kCGColorWhite;
extern const char* const kCGColorClear;

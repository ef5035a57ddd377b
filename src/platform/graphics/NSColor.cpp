#include "NSColor.h"

#include "CGContext.h"
#include "NSAppearance.h"
#include "NSGraphicsContext.h"
#include "NSImage.h"

#include <foundation/Format.h>

#include <algorithm>
#include <functional>

const char* const NSCalibratedRGBColorSpace = "NSCalibratedRGBColorSpace";
const char* const NSDeviceRGBColorSpace = "NSDeviceRGBColorSpace";
const char* const NSCalibratedWhiteColorSpace = "NSCalibratedWhiteColorSpace";
const char* const NSDeviceWhiteColorSpace = "NSDeviceWhiteColorSpace";
const char* const NSPatternColorSpace = "NSPatternColorSpace";

static CGFloat clamp01(CGFloat v) { return std::clamp(v, 0.0, 1.0); }

NSColor::NSColor(std::string colorSpaceName, std::vector<CGFloat> components)
    : m_spaceName(std::move(colorSpaceName))
    , m_components(std::move(components))
{
    for (auto& c : m_components)
        c = clamp01(c);
}

NSColor::NSColor(Ref<NSImage> pattern)
    : m_spaceName(NSPatternColorSpace)
    , m_components { 1.0 }
    , m_pattern(std::move(pattern))
{
}

Ref<NSColor> NSColor::colorWithCalibratedRed(CGFloat r, CGFloat g, CGFloat b, CGFloat a)
{
    return makeRef<NSColor>(NSCalibratedRGBColorSpace, std::vector<CGFloat> { r, g, b, a });
}

Ref<NSColor> NSColor::colorWithDeviceRed(CGFloat r, CGFloat g, CGFloat b, CGFloat a)
{
    return makeRef<NSColor>(NSDeviceRGBColorSpace, std::vector<CGFloat> { r, g, b, a });
}

Ref<NSColor> NSColor::colorWithRed(CGFloat r, CGFloat g, CGFloat b, CGFloat a)
{
    return colorWithCalibratedRed(r, g, b, a);
}

Ref<NSColor> NSColor::colorWithCalibratedWhite(CGFloat white, CGFloat a)
{
    return makeRef<NSColor>(NSCalibratedWhiteColorSpace, std::vector<CGFloat> { white, a });
}

Ref<NSColor> NSColor::colorWithDeviceWhite(CGFloat white, CGFloat a)
{
    return makeRef<NSColor>(NSDeviceWhiteColorSpace, std::vector<CGFloat> { white, a });
}

Ref<NSColor> NSColor::colorWithWhite(CGFloat white, CGFloat a) { return colorWithCalibratedWhite(white, a); }

Ref<NSColor> NSColor::colorWithPatternImage(const Ref<NSImage>& image)
{
    return image ? makeRef<NSColor>(image) : nullptr;
}

Ref<NSColor> NSColor::colorWithCGColor(const CGColorRef& color)
{
    if (!color || color->patternImage())
        return nullptr;
    const auto& c = color->components();
    if (c.size() == 2)
        return colorWithDeviceWhite(c[0], c[1]);
    if (c.size() == 4)
        return colorWithDeviceRed(c[0], c[1], c[2], c[3]);
    return nullptr;
}


// Each named colour is made once; every call returns the same object.
#define NAMED_COLOR(name, expr)                                          \
    Ref<NSColor> NSColor::name()                                         \
    {                                                                    \
        static const Ref<NSColor> color = [] { return expr; }();         \
        return color;                                                    \
    }

NAMED_COLOR(blackColor, colorWithCalibratedWhite(0, 1))
NAMED_COLOR(whiteColor, colorWithCalibratedWhite(1, 1))
NAMED_COLOR(clearColor, colorWithCalibratedWhite(0, 0))
NAMED_COLOR(grayColor, colorWithCalibratedWhite(0.5, 1))
NAMED_COLOR(darkGrayColor, colorWithCalibratedWhite(1.0 / 3.0, 1))
NAMED_COLOR(lightGrayColor, colorWithCalibratedWhite(2.0 / 3.0, 1))
NAMED_COLOR(redColor, colorWithCalibratedRed(1, 0, 0, 1))
NAMED_COLOR(greenColor, colorWithCalibratedRed(0, 1, 0, 1))
NAMED_COLOR(blueColor, colorWithCalibratedRed(0, 0, 1, 1))
#define SYSTEM_COLOR(name, light, dark) NAMED_COLOR(name, systemColor(light, dark))

SYSTEM_COLOR(controlTextColor, colorWithCalibratedWhite(0, 0.85), colorWithCalibratedWhite(1, 0.85))
SYSTEM_COLOR(textColor, colorWithCalibratedWhite(0, 1), colorWithCalibratedWhite(1, 1))
SYSTEM_COLOR(disabledControlTextColor, colorWithCalibratedWhite(0, 0.25), colorWithCalibratedWhite(1, 0.25))
SYSTEM_COLOR(alternateSelectedControlColor, colorWithCalibratedRed(0.0, 0.39, 0.88, 1),
    colorWithCalibratedRed(0.0, 0.35, 0.82, 1))
SYSTEM_COLOR(alternateSelectedControlTextColor, colorWithCalibratedWhite(1, 1), colorWithCalibratedWhite(1, 1))
SYSTEM_COLOR(secondarySelectedControlColor, colorWithCalibratedWhite(0.86, 1), colorWithCalibratedWhite(0.27, 1))
SYSTEM_COLOR(windowBackgroundColor, colorWithCalibratedWhite(0.93, 1), colorWithCalibratedWhite(0.2, 1))
SYSTEM_COLOR(controlColor, colorWithCalibratedWhite(0.94, 1), colorWithCalibratedWhite(0.36, 1))
SYSTEM_COLOR(controlBackgroundColor, colorWithCalibratedWhite(1, 1), colorWithCalibratedWhite(0.12, 1))
SYSTEM_COLOR(gridColor, colorWithCalibratedWhite(0.6, 1), colorWithCalibratedWhite(0.5, 1))

#undef SYSTEM_COLOR

#undef NAMED_COLOR

Ref<NSColor> NSColor::systemColor(Ref<NSColor> light, Ref<NSColor> dark)
{
    light->m_dark = std::move(dark);
    return light;
}

const NSColor& NSColor::resolved() const
{
    return m_dark && NSAppearanceNameIsDark(NSAppearanceCurrentDrawingName()) ? *m_dark : *this;
}

bool NSColor::isWhite() const { return m_components.size() == 2 && !m_pattern; }

CGFloat NSColor::redComponent() const
{
    const NSColor& c = resolved();
    return c.isWhite() ? c.m_components[0] : c.m_components.size() == 4 ? c.m_components[0] : 0;
}

CGFloat NSColor::greenComponent() const
{
    const NSColor& c = resolved();
    return c.isWhite() ? c.m_components[0] : c.m_components.size() == 4 ? c.m_components[1] : 0;
}

CGFloat NSColor::blueComponent() const
{
    const NSColor& c = resolved();
    return c.isWhite() ? c.m_components[0] : c.m_components.size() == 4 ? c.m_components[2] : 0;
}

CGFloat NSColor::whiteComponent() const
{
    const NSColor& c = resolved();
    if (c.isWhite())
        return c.m_components[0];
    if (c.m_components.size() == 4)
        return 0.299 * c.m_components[0] + 0.587 * c.m_components[1] + 0.114 * c.m_components[2];
    return 0;
}

CGFloat NSColor::alphaComponent() const { return resolved().m_components.back(); }

void NSColor::getRed(CGFloat* r, CGFloat* g, CGFloat* b, CGFloat* a) const
{
    if (r)
        *r = redComponent();
    if (g)
        *g = greenComponent();
    if (b)
        *b = blueComponent();
    if (a)
        *a = alphaComponent();
}

Ref<NSColor> NSColor::colorWithAlphaComponent(CGFloat alpha) const
{
    if (m_pattern)
        return std::const_pointer_cast<NSColor>(selfRef<NSColor>());
    auto components = m_components;
    components.back() = alpha;
    auto color = makeRef<NSColor>(m_spaceName, components);
    if (m_dark)
        color->m_dark = m_dark->colorWithAlphaComponent(alpha);
    return color;
}

CGColorRef NSColor::CGColor() const
{
    if (&resolved() != this)
        return m_dark->CGColor();
    if (!m_cgColor) {
        if (m_pattern)
            m_cgColor = CGColorCreateWithPatternImage(m_pattern->CGImageForProposedRect(nullptr, nullptr));
        else if (isWhite())
            m_cgColor = CGColorCreateGenericGray(m_components[0], m_components[1]);
        else
            m_cgColor = CGColorCreateGenericRGB(m_components[0], m_components[1], m_components[2], m_components[3]);
    }
    return m_cgColor;
}

void NSColor::set() const
{
    setFill();
    setStroke();
}

void NSColor::setFill() const
{
    if (auto context = NSGraphicsContext::currentContext())
        CGContextSetFillColorWithColor(context->CGContext(), CGColor());
}

void NSColor::setStroke() const
{
    if (auto context = NSGraphicsContext::currentContext())
        CGContextSetStrokeColorWithColor(context->CGContext(), CGColor());
}

bool NSColor::isEqual(const NSObject* other) const
{
    auto* color = dynamic_cast<const NSColor*>(other);
    if (!color)
        return false;
    if (bool(m_dark) != bool(color->m_dark) || (m_dark && !m_dark->isEqual(color->m_dark.get())))
        return false;
    return m_spaceName == color->m_spaceName && m_components == color->m_components && m_pattern == color->m_pattern;
}

size_t NSColor::hash() const
{
    size_t h = std::hash<std::string>()(m_spaceName);
    for (CGFloat c : m_components)
        h = h * 31 + std::hash<double>()(c);
    return h;
}

std::string NSColor::description() const
{
    if (m_pattern)
        return "NSPatternColorSpace";
    std::string text = m_spaceName;
    for (CGFloat c : m_components)
        text += stringWithFormat(" %g", c);
    return text;
}

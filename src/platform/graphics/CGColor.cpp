#include "CGColor.h"

#include "CGImage.h"

#include <cstring>

const char* const kCGColorBlack = "kCGColorBlack";
const char* const kCGColorWhite = "kCGColorWhite";
const char* const kCGColorClear = "kCGColorClear";

CGColor::CGColor(Ref<CGImage> pattern)
    : m_space(makeRef<CGColorSpace>(kCGColorSpaceModelPattern))
    , m_components { 1.0 }
    , m_pattern(std::move(pattern))
{
}

void CGColor::getRGBA(CGFloat& r, CGFloat& g, CGFloat& b, CGFloat& a) const
{
    r = g = b = 0;
    a = alpha();
    if (m_components.size() >= 4) {
        r = m_components[0];
        g = m_components[1];
        b = m_components[2];
    } else if (m_components.size() == 2) {
        r = g = b = m_components[0];
    }
}

CGColorRef CGColorCreate(const CGColorSpaceRef& space, const std::vector<CGFloat>& components)
{
    if (!space || components.size() != space->numberOfComponents() + 1)
        return nullptr;
    return makeRef<CGColor>(space, components);
}

CGColorRef CGColorCreateGenericRGB(CGFloat r, CGFloat g, CGFloat b, CGFloat a)
{
    return makeRef<CGColor>(CGColorSpaceCreateDeviceRGB(), std::vector<CGFloat> { r, g, b, a });
}

CGColorRef CGColorCreateGenericGray(CGFloat gray, CGFloat a)
{
    return makeRef<CGColor>(CGColorSpaceCreateDeviceGray(), std::vector<CGFloat> { gray, a });
}

CGColorRef CGColorCreateCopyWithAlpha(const CGColorRef& color, CGFloat alpha)
{
    if (!color)
        return nullptr;
    if (color->patternImage())
        return color;
    auto components = color->components();
    components.back() = alpha;
    return makeRef<CGColor>(color->colorSpace(), components);
}

CGColorRef CGColorCreateWithPatternImage(const Ref<CGImage>& image)
{
    return image ? makeRef<CGColor>(image) : nullptr;
}

bool CGColorEqualToColor(const CGColorRef& a, const CGColorRef& b)
{
    if (a == b)
        return true;
    if (!a || !b)
        return false;
    if (a->patternImage() || b->patternImage())
        return a->patternImage() == b->patternImage();
    return CGColorSpaceGetModel(a->colorSpace()) == CGColorSpaceGetModel(b->colorSpace())
        && a->components() == b->components();
}

CGFloat CGColorGetAlpha(const CGColorRef& color) { return color ? color->alpha() : 0; }

size_t CGColorGetNumberOfComponents(const CGColorRef& color) { return color ? color->components().size() : 0; }

std::vector<CGFloat> CGColorGetComponents(const CGColorRef& color)
{
    return color ? color->components() : std::vector<CGFloat> {};
}

CGColorSpaceRef CGColorGetColorSpace(const CGColorRef& color) { return color ? color->colorSpace() : nullptr; }

CGColorRef CGColorGetConstantColor(const char* name)
{
    static const CGColorRef black = CGColorCreateGenericGray(0, 1);
    static const CGColorRef white = CGColorCreateGenericGray(1, 1);
    static const CGColorRef clear = CGColorCreateGenericGray(0, 0);
    if (!name)
        return nullptr;
    if (!std::strcmp(name, kCGColorBlack))
        return black;
    if (!std::strcmp(name, kCGColorWhite))
        return white;
    if (!std::strcmp(name, kCGColorClear))
        return clear;
    return nullptr;
}

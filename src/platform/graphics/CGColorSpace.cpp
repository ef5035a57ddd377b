#include "CGColorSpace.h"

size_t CGColorSpace::numberOfComponents() const
{
    switch (m_model) {
    case kCGColorSpaceModelMonochrome:
        return 1;
    case kCGColorSpaceModelRGB:
        return 3;
    default:
        return 0;
    }
}

std::string CGColorSpace::name() const
{
    switch (m_model) {
    case kCGColorSpaceModelMonochrome:
        return "kCGColorSpaceDeviceGray";
    case kCGColorSpaceModelRGB:
        return "kCGColorSpaceDeviceRGB";
    default:
        return "kCGColorSpacePattern";
    }
}

CGColorSpaceRef CGColorSpaceCreateDeviceRGB()
{
    static const CGColorSpaceRef space = makeRef<CGColorSpace>(kCGColorSpaceModelRGB);
    return space;
}

CGColorSpaceRef CGColorSpaceCreateDeviceGray()
{
    static const CGColorSpaceRef space = makeRef<CGColorSpace>(kCGColorSpaceModelMonochrome);
    return space;
}

CGColorSpaceModel CGColorSpaceGetModel(const CGColorSpaceRef& space)
{
    return space ? space->model() : kCGColorSpaceModelUnknown;
}

size_t CGColorSpaceGetNumberOfComponents(const CGColorSpaceRef& space)
{
    return space ? space->numberOfComponents() : 0;
}

#include "CGGradient.h"

CGGradientRef CGGradientCreateWithColorComponents(const CGColorSpaceRef& space, const CGFloat* components,
    const CGFloat* locations, size_t count)
{
    if (!space || !components || count == 0)
        return nullptr;
    size_t n = space->numberOfComponents();
    if (n != 1 && n != 3)
        return nullptr;
    std::vector<CGGradient::Stop> stops;
    for (size_t i = 0; i < count; ++i) {
        const CGFloat* c = components + i * (n + 1);
        CGFloat location = locations ? locations[i] : (count == 1 ? 0 : CGFloat(i) / CGFloat(count - 1));
        if (n == 1)
            stops.push_back({ location, c[0], c[0], c[0], c[1] });
        else
            stops.push_back({ location, c[0], c[1], c[2], c[3] });
    }
    return makeRef<CGGradient>(std::move(stops));
}

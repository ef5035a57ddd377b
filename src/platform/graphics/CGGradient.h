// Colour gradients for CGContextDrawLinearGradient.
#pragma once

#include "CGColorSpace.h"

#include <foundation/CGGeometry.h>

#include <vector>

class CGGradient {
public:
    struct Stop {
        CGFloat location;
        CGFloat r, g, b, a;
    };
    explicit CGGradient(std::vector<Stop> stops)
        : m_stops(std::move(stops))
    {
    }
    const std::vector<Stop>& stops() const { return m_stops; }

private:
    std::vector<Stop> m_stops;
};

using CGGradientRef = Ref<CGGradient>;

// components holds count colours of the space's components plus alpha;
// locations holds count values in 0...1, or is null for even spacing. Null
// for a missing space or too few components.
CGGradientRef CGGradientCreateWithColorComponents(const CGColorSpaceRef& space, const CGFloat* components,
    const CGFloat* locations, size_t count);

#include "CAValue.h"

#include <foundation/Format.h>

namespace {

double lerp(double a, double b, double t) { return a + (b - a) * t; }

CGColorRef interpolateColors(const CGColorRef& from, const CGColorRef& to, double t)
{
    if (!from && !to)
        return nullptr;
    CGFloat r0 = 0, g0 = 0, b0 = 0, a0 = 0, r1 = 0, g1 = 0, b1 = 0, a1 = 0;
    if (from)
        from->getRGBA(r0, g0, b0, a0);
    if (to)
        to->getRGBA(r1, g1, b1, a1);
    if (!from) {
        r0 = r1;
        g0 = g1;
        b0 = b1;
    }
    if (!to) {
        r1 = r0;
        g1 = g0;
        b1 = b0;
    }
    if (t <= 0 && from)
        return from;
    if (t >= 1 && to)
        return to;
    return CGColorCreateGenericRGB(lerp(r0, r1, t), lerp(g0, g1, t), lerp(b0, b1, t), lerp(a0, a1, t));
}

}

bool CAValueEqual(const CAValue& a, const CAValue& b)
{
    if (a.index() != b.index())
        return false;
    if (auto* ca = std::get_if<CGColorRef>(&a))
        return CGColorEqualToColor(*ca, std::get<CGColorRef>(b));
    return a == b;
}

CAValue CAValueInterpolate(const CAValue& from, const CAValue& to, double t)
{
    if (from.index() != to.index())
        return t < 0.5 ? from : to;
    return std::visit(
        [&](const auto& a) -> CAValue {
            using T = std::decay_t<decltype(a)>;
            const T& b = std::get<T>(to);
            if constexpr (std::is_same_v<T, std::monostate>) {
                return a;
            } else if constexpr (std::is_same_v<T, double>) {
                return lerp(a, b, t);
            } else if constexpr (std::is_same_v<T, CGPoint>) {
                return CGPoint { lerp(a.x, b.x, t), lerp(a.y, b.y, t) };
            } else if constexpr (std::is_same_v<T, CGSize>) {
                return CGSize { lerp(a.width, b.width, t), lerp(a.height, b.height, t) };
            } else if constexpr (std::is_same_v<T, CGRect>) {
                return CGRect { { lerp(a.origin.x, b.origin.x, t), lerp(a.origin.y, b.origin.y, t) },
                    { lerp(a.size.width, b.size.width, t), lerp(a.size.height, b.size.height, t) } };
            } else if constexpr (std::is_same_v<T, CATransform3D>) {
                CATransform3D r;
                for (int i = 0; i < 4; ++i) {
                    for (int j = 0; j < 4; ++j)
                        r.at(i, j) = lerp(a.at(i, j), b.at(i, j), t);
                }
                return r;
            } else {
                return interpolateColors(a, b, t);
            }
        },
        from);
}

std::string CAValueDescription(const CAValue& value)
{
    return std::visit(
        [](const auto& v) -> std::string {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                return "(none)";
            } else if constexpr (std::is_same_v<T, double>) {
                return stringWithFormat("%g", v);
            } else if constexpr (std::is_same_v<T, CGPoint>) {
                return NSStringFromPoint(v);
            } else if constexpr (std::is_same_v<T, CGSize>) {
                return NSStringFromSize(v);
            } else if constexpr (std::is_same_v<T, CGRect>) {
                return NSStringFromRect(v);
            } else if constexpr (std::is_same_v<T, CATransform3D>) {
                return stringWithFormat("[%g %g %g %g; %g %g %g %g; %g %g %g %g; %g %g %g %g]", v.m11, v.m12, v.m13,
                    v.m14, v.m21, v.m22, v.m23, v.m24, v.m31, v.m32, v.m33, v.m34, v.m41, v.m42, v.m43, v.m44);
            } else {
                if (!v)
                    return "(no colour)";
                CGFloat r, g, b, a;
                v->getRGBA(r, g, b, a);
                return stringWithFormat("rgba(%g, %g, %g, %g)", r, g, b, a);
            }
        },
        value);
}

#include "PathGeometry.h"

#include <algorithm>
#include <cmath>

namespace gfx {

void appendArc(const PathSink& sink, bool hasCurrentPoint, CGPoint center, CGFloat radius, CGFloat startAngle,
    CGFloat endAngle, bool clockwise)
{
    constexpr double twoPi = 2 * M_PI;
    double sweep = endAngle - startAngle;
    if (!clockwise) {
        if (sweep < 0)
            sweep = std::fmod(sweep, twoPi) + twoPi;
        if (sweep > twoPi)
            sweep = twoPi;
    } else {
        if (sweep > 0)
            sweep = std::fmod(sweep, twoPi) - twoPi;
        if (sweep < -twoPi)
            sweep = -twoPi;
    }
    CGPoint start { center.x + radius * std::cos(startAngle), center.y + radius * std::sin(startAngle) };
    if (hasCurrentPoint)
        sink.lineTo(start);
    else
        sink.moveTo(start);
    if (radius <= 0 || sweep == 0)
        return;
    int segments = std::max(1, int(std::ceil(std::fabs(sweep) / (M_PI / 2) - 1e-9)));
    double step = sweep / segments;
    double k = 4.0 / 3.0 * std::tan(step / 4);
    double a = startAngle;
    for (int i = 0; i < segments; ++i) {
        double b = a + step;
        CGPoint p0 { center.x + radius * std::cos(a), center.y + radius * std::sin(a) };
        CGPoint p3 { center.x + radius * std::cos(b), center.y + radius * std::sin(b) };
        CGPoint c1 { p0.x - k * radius * std::sin(a), p0.y + k * radius * std::cos(a) };
        CGPoint c2 { p3.x + k * radius * std::sin(b), p3.y - k * radius * std::cos(b) };
        sink.curveTo(c1, c2, p3);
        a = b;
    }
}

void appendArcToPoint(const PathSink& sink, CGPoint p0, CGPoint p1, CGPoint p2, CGFloat radius)
{
    double v1x = p0.x - p1.x, v1y = p0.y - p1.y;
    double v2x = p2.x - p1.x, v2y = p2.y - p1.y;
    double l1 = std::hypot(v1x, v1y), l2 = std::hypot(v2x, v2y);
    double cross = v1x * v2y - v1y * v2x;
    if (radius <= 0 || l1 == 0 || l2 == 0 || std::fabs(cross) < 1e-12 * l1 * l2) {
        sink.lineTo(p1);
        return;
    }
    v1x /= l1, v1y /= l1, v2x /= l2, v2y /= l2;
    double cosTheta = std::clamp(v1x * v2x + v1y * v2y, -1.0, 1.0);
    double theta = std::acos(cosTheta);
    double tangentDistance = radius / std::tan(theta / 2);
    CGPoint t1 { p1.x + v1x * tangentDistance, p1.y + v1y * tangentDistance };
    CGPoint t2 { p1.x + v2x * tangentDistance, p1.y + v2y * tangentDistance };
    // The centre lies along the bisector, at radius from both lines.
    double bx = v1x + v2x, by = v1y + v2y;
    double bl = std::hypot(bx, by);
    double centerDistance = radius / std::sin(theta / 2);
    CGPoint center { p1.x + bx / bl * centerDistance, p1.y + by / bl * centerDistance };
    double a0 = std::atan2(t1.y - center.y, t1.x - center.x);
    double a1 = std::atan2(t2.y - center.y, t2.x - center.x);
    // Turning left (positive cross of the travel directions) runs counter-clockwise.
    double travelCross = (p1.x - p0.x) * (p2.y - p1.y) - (p1.y - p0.y) * (p2.x - p1.x);
    appendArc(sink, true, center, radius, a0, a1, travelCross < 0);
}

CGRect cubicBounds(CGPoint p0, CGPoint c1, CGPoint c2, CGPoint p3)
{
    double minX = std::min(p0.x, p3.x), maxX = std::max(p0.x, p3.x);
    double minY = std::min(p0.y, p3.y), maxY = std::max(p0.y, p3.y);
    auto consider = [&](double t) {
        if (t <= 0 || t >= 1)
            return;
        double u = 1 - t;
        double x = u * u * u * p0.x + 3 * u * u * t * c1.x + 3 * u * t * t * c2.x + t * t * t * p3.x;
        double y = u * u * u * p0.y + 3 * u * u * t * c1.y + 3 * u * t * t * c2.y + t * t * t * p3.y;
        minX = std::min(minX, x), maxX = std::max(maxX, x);
        minY = std::min(minY, y), maxY = std::max(maxY, y);
    };
    auto roots = [&](double a0, double a1, double a2, double a3) {
        // Derivative of the cubic: 3(a·t² + b·t + c).
        double a = -a0 + 3 * a1 - 3 * a2 + a3;
        double b = 2 * (a0 - 2 * a1 + a2);
        double c = a1 - a0;
        if (std::fabs(a) < 1e-12) {
            if (std::fabs(b) > 1e-12)
                consider(-c / b);
            return;
        }
        double disc = b * b - 4 * a * c;
        if (disc < 0)
            return;
        double s = std::sqrt(disc);
        consider((-b + s) / (2 * a));
        consider((-b - s) / (2 * a));
    };
    roots(p0.x, c1.x, c2.x, p3.x);
    roots(p0.y, c1.y, c2.y, p3.y);
    return CGRectMake(minX, minY, maxX - minX, maxY - minY);
}

} // namespace gfx

// Internal: arcs as cubic Bézier segments, shared by CGPath, CGContext and
// NSBezierPath so that all three build the same outlines.
#pragma once

#include <foundation/CGGeometry.h>

#include <functional>

namespace gfx {

struct PathSink {
    std::function<void(CGPoint)> moveTo;
    std::function<void(CGPoint)> lineTo;
    std::function<void(CGPoint c1, CGPoint c2, CGPoint end)> curveTo;
};

// An arc about a centre from one angle to another (radians, counter-clockwise
// in a y-up space unless clockwise is set). The start point is joined to
// the current point with a line when there is one, else moved to.
void appendArc(const PathSink&, bool hasCurrentPoint, CGPoint center, CGFloat radius, CGFloat startAngle,
    CGFloat endAngle, bool clockwise);
// The arc of the given radius tangent to the lines current→p1 and p1→p2,
// preceded by a line from the current point to its first tangent point.
// Degenerate cases (collinear points, zero radius) give a line to p1.
void appendArcToPoint(const PathSink&, CGPoint current, CGPoint p1, CGPoint p2, CGFloat radius);
// Bounds of a cubic segment, extremes included.
CGRect cubicBounds(CGPoint p0, CGPoint c1, CGPoint c2, CGPoint p3);

} // namespace gfx

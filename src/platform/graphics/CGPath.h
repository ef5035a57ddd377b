// Paths of Core Graphics: move, line, cubic curve and close elements.
// Arcs, rectangles and ellipses are stored as the lines and curves that
// draw them. A CGMutablePathRef and a CGPathRef are the same shared object;
// CGPathCreateCopy gives an independent copy.
#pragma once

#include "CGAffineTransform.h"

#include <foundation/Ref.h>

#include <functional>
#include <vector>

enum CGPathElementType : int32_t {
    kCGPathElementMoveToPoint,
    kCGPathElementAddLineToPoint,
    kCGPathElementAddQuadCurveToPoint,
    kCGPathElementAddCurveToPoint,
    kCGPathElementCloseSubpath,
};

struct CGPathElement {
    CGPathElementType type { kCGPathElementCloseSubpath };
    // Move and line: points[0]. Curve: control 1, control 2, end point.
    CGPoint points[3] {};
};

class CGPath {
public:
    const std::vector<CGPathElement>& elements() const { return m_elements; }
    bool isEmpty() const { return m_elements.empty(); }
    bool hasCurrentPoint() const { return !m_elements.empty(); }
    CGPoint currentPoint() const { return m_current; }

    void moveTo(CGPoint);
    void lineTo(CGPoint);
    void curveTo(CGPoint c1, CGPoint c2, CGPoint end);
    void close();

private:
    std::vector<CGPathElement> m_elements;
    CGPoint m_current {};
    CGPoint m_subpathStart {};
};

using CGPathRef = Ref<CGPath>;
using CGMutablePathRef = Ref<CGPath>;

CGMutablePathRef CGPathCreateMutable();
CGPathRef CGPathCreateCopy(const CGPathRef&);
CGMutablePathRef CGPathCreateMutableCopy(const CGPathRef&);
CGPathRef CGPathCreateWithRect(CGRect, const CGAffineTransform* = nullptr);
CGPathRef CGPathCreateWithEllipseInRect(CGRect, const CGAffineTransform* = nullptr);
CGPathRef CGPathCreateWithRoundedRect(CGRect, CGFloat cornerWidth, CGFloat cornerHeight,
    const CGAffineTransform* = nullptr);

void CGPathMoveToPoint(const CGMutablePathRef&, const CGAffineTransform*, CGFloat x, CGFloat y);
void CGPathAddLineToPoint(const CGMutablePathRef&, const CGAffineTransform*, CGFloat x, CGFloat y);
void CGPathAddCurveToPoint(const CGMutablePathRef&, const CGAffineTransform*, CGFloat cp1x, CGFloat cp1y,
    CGFloat cp2x, CGFloat cp2y, CGFloat x, CGFloat y);
void CGPathAddQuadCurveToPoint(const CGMutablePathRef&, const CGAffineTransform*, CGFloat cpx, CGFloat cpy,
    CGFloat x, CGFloat y);
void CGPathCloseSubpath(const CGMutablePathRef&);
void CGPathAddRect(const CGMutablePathRef&, const CGAffineTransform*, CGRect);
void CGPathAddEllipseInRect(const CGMutablePathRef&, const CGAffineTransform*, CGRect);
void CGPathAddRoundedRect(const CGMutablePathRef&, const CGAffineTransform*, CGRect, CGFloat cornerWidth,
    CGFloat cornerHeight);
void CGPathAddArc(const CGMutablePathRef&, const CGAffineTransform*, CGFloat x, CGFloat y, CGFloat radius,
    CGFloat startAngle, CGFloat endAngle, bool clockwise);
void CGPathAddArcToPoint(const CGMutablePathRef&, const CGAffineTransform*, CGFloat x1, CGFloat y1, CGFloat x2,
    CGFloat y2, CGFloat radius);
void CGPathAddPath(const CGMutablePathRef&, const CGAffineTransform*, const CGPathRef&);

bool CGPathIsEmpty(const CGPathRef&);
CGPoint CGPathGetCurrentPoint(const CGPathRef&);
// Bounds including control points; the null rect for an empty path.
CGRect CGPathGetBoundingBox(const CGPathRef&);
// Tight bounds of the drawn outline.
CGRect CGPathGetPathBoundingBox(const CGPathRef&);
bool CGPathEqualToPath(const CGPathRef&, const CGPathRef&);
void CGPathApply(const CGPathRef&, const std::function<void(const CGPathElement&)>&);

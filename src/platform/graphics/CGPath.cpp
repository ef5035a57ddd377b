#include "CGPath.h"

#include "internal/PathGeometry.h"

#include <algorithm>
#include <cmath>

void CGPath::moveTo(CGPoint p)
{
    m_elements.push_back({ kCGPathElementMoveToPoint, { p } });
    m_current = m_subpathStart = p;
}

void CGPath::lineTo(CGPoint p)
{
    if (m_elements.empty())
        moveTo(p);
    m_elements.push_back({ kCGPathElementAddLineToPoint, { p } });
    m_current = p;
}

void CGPath::curveTo(CGPoint c1, CGPoint c2, CGPoint end)
{
    if (m_elements.empty())
        moveTo(c1);
    m_elements.push_back({ kCGPathElementAddCurveToPoint, { c1, c2, end } });
    m_current = end;
}

void CGPath::close()
{
    if (m_elements.empty() || m_elements.back().type == kCGPathElementCloseSubpath)
        return;
    m_elements.push_back({ kCGPathElementCloseSubpath, {} });
    m_current = m_subpathStart;
}

static CGPoint apply(const CGAffineTransform* t, CGFloat x, CGFloat y)
{
    return t ? CGPointApplyAffineTransform({ x, y }, *t) : CGPoint { x, y };
}

static gfx::PathSink sinkFor(CGPath& path, const CGAffineTransform* t)
{
    return {
        [&path, t](CGPoint p) { path.moveTo(apply(t, p.x, p.y)); },
        [&path, t](CGPoint p) { path.lineTo(apply(t, p.x, p.y)); },
        [&path, t](CGPoint c1, CGPoint c2, CGPoint e) {
            path.curveTo(apply(t, c1.x, c1.y), apply(t, c2.x, c2.y), apply(t, e.x, e.y));
        },
    };
}

CGMutablePathRef CGPathCreateMutable() { return makeRef<CGPath>(); }

CGPathRef CGPathCreateCopy(const CGPathRef& path) { return path ? makeRef<CGPath>(*path) : nullptr; }

CGMutablePathRef CGPathCreateMutableCopy(const CGPathRef& path) { return CGPathCreateCopy(path); }

CGPathRef CGPathCreateWithRect(CGRect r, const CGAffineTransform* t)
{
    auto path = CGPathCreateMutable();
    CGPathAddRect(path, t, r);
    return path;
}

CGPathRef CGPathCreateWithEllipseInRect(CGRect r, const CGAffineTransform* t)
{
    auto path = CGPathCreateMutable();
    CGPathAddEllipseInRect(path, t, r);
    return path;
}

CGPathRef CGPathCreateWithRoundedRect(CGRect r, CGFloat cw, CGFloat ch, const CGAffineTransform* t)
{
    auto path = CGPathCreateMutable();
    CGPathAddRoundedRect(path, t, r, cw, ch);
    return path;
}

void CGPathMoveToPoint(const CGMutablePathRef& path, const CGAffineTransform* t, CGFloat x, CGFloat y)
{
    if (path)
        path->moveTo(apply(t, x, y));
}

void CGPathAddLineToPoint(const CGMutablePathRef& path, const CGAffineTransform* t, CGFloat x, CGFloat y)
{
    if (path)
        path->lineTo(apply(t, x, y));
}

void CGPathAddCurveToPoint(const CGMutablePathRef& path, const CGAffineTransform* t, CGFloat cp1x, CGFloat cp1y,
    CGFloat cp2x, CGFloat cp2y, CGFloat x, CGFloat y)
{
    if (path)
        path->curveTo(apply(t, cp1x, cp1y), apply(t, cp2x, cp2y), apply(t, x, y));
}

void CGPathAddQuadCurveToPoint(const CGMutablePathRef& path, const CGAffineTransform* t, CGFloat cpx, CGFloat cpy,
    CGFloat x, CGFloat y)
{
    if (!path)
        return;
    // Stored as the equivalent cubic, in untransformed space first.
    CGPoint p0 = path->hasCurrentPoint() ? path->currentPoint() : apply(t, cpx, cpy);
    CGPoint q = apply(t, cpx, cpy), e = apply(t, x, y);
    path->curveTo({ p0.x + 2.0 / 3 * (q.x - p0.x), p0.y + 2.0 / 3 * (q.y - p0.y) },
        { e.x + 2.0 / 3 * (q.x - e.x), e.y + 2.0 / 3 * (q.y - e.y) }, e);
}

void CGPathCloseSubpath(const CGMutablePathRef& path)
{
    if (path)
        path->close();
}

void CGPathAddRect(const CGMutablePathRef& path, const CGAffineTransform* t, CGRect r)
{
    if (!path)
        return;
    CGFloat x = r.origin.x, y = r.origin.y, w = r.size.width, h = r.size.height;
    path->moveTo(apply(t, x, y));
    path->lineTo(apply(t, x + w, y));
    path->lineTo(apply(t, x + w, y + h));
    path->lineTo(apply(t, x, y + h));
    path->close();
}

void CGPathAddEllipseInRect(const CGMutablePathRef& path, const CGAffineTransform* t, CGRect r)
{
    if (!path)
        return;
    r = CGRectStandardize(r);
    // A unit circle drawn through a transform that stretches it to the rect.
    CGAffineTransform m = CGAffineTransformMake(r.size.width / 2, 0, 0, r.size.height / 2, CGRectGetMidX(r), CGRectGetMidY(r));
    if (t)
        m = CGAffineTransformConcat(m, *t);
    auto sink = sinkFor(*path, &m);
    gfx::appendArc(sink, false, { 0, 0 }, 1, 0, 2 * M_PI, false);
    path->close();
}

void CGPathAddRoundedRect(const CGMutablePathRef& path, const CGAffineTransform* t, CGRect r, CGFloat cw, CGFloat ch)
{
    if (!path)
        return;
    r = CGRectStandardize(r);
    cw = std::clamp(cw, 0.0, r.size.width / 2);
    ch = std::clamp(ch, 0.0, r.size.height / 2);
    if (cw == 0 || ch == 0) {
        CGPathAddRect(path, t, r);
        return;
    }
    CGFloat minX = r.origin.x, minY = r.origin.y, maxX = minX + r.size.width, maxY = minY + r.size.height;
    // Each corner is a quarter of an ellipse, built on a unit circle.
    auto corner = [&](CGFloat cx, CGFloat cy, double a0) {
        CGAffineTransform m = CGAffineTransformMake(cw, 0, 0, ch, cx, cy);
        if (t)
            m = CGAffineTransformConcat(m, *t);
        gfx::appendArc(sinkFor(*path, &m), true, { 0, 0 }, 1, a0, a0 + M_PI / 2, false);
    };
    path->moveTo(apply(t, minX + cw, minY));
    corner(maxX - cw, minY + ch, -M_PI / 2);
    corner(maxX - cw, maxY - ch, 0);
    corner(minX + cw, maxY - ch, M_PI / 2);
    corner(minX + cw, minY + ch, M_PI);
    path->close();
}

void CGPathAddArc(const CGMutablePathRef& path, const CGAffineTransform* t, CGFloat x, CGFloat y, CGFloat radius,
    CGFloat startAngle, CGFloat endAngle, bool clockwise)
{
    if (!path)
        return;
    // The transform applies after the arc is built, so arcs of rotated or
    // scaled spaces stay exact.
    auto sink = sinkFor(*path, t);
    gfx::appendArc(sink, path->hasCurrentPoint(), { x, y }, radius, startAngle, endAngle, clockwise);
}

void CGPathAddArcToPoint(const CGMutablePathRef& path, const CGAffineTransform* t, CGFloat x1, CGFloat y1,
    CGFloat x2, CGFloat y2, CGFloat radius)
{
    if (!path)
        return;
    if (!path->hasCurrentPoint()) {
        path->moveTo(apply(t, x1, y1));
        return;
    }
    // The current point is already transformed; work in untransformed space.
    CGPoint current = path->currentPoint();
    if (t)
        current = CGPointApplyAffineTransform(current, CGAffineTransformInvert(*t));
    gfx::appendArcToPoint(sinkFor(*path, t), current, { x1, y1 }, { x2, y2 }, radius);
}

void CGPathAddPath(const CGMutablePathRef& path, const CGAffineTransform* t, const CGPathRef& other)
{
    if (!path || !other)
        return;
    auto elements = other->elements();
    for (const auto& e : elements) {
        switch (e.type) {
        case kCGPathElementMoveToPoint:
            path->moveTo(apply(t, e.points[0].x, e.points[0].y));
            break;
        case kCGPathElementAddLineToPoint:
            path->lineTo(apply(t, e.points[0].x, e.points[0].y));
            break;
        case kCGPathElementAddCurveToPoint:
            path->curveTo(apply(t, e.points[0].x, e.points[0].y), apply(t, e.points[1].x, e.points[1].y),
                apply(t, e.points[2].x, e.points[2].y));
            break;
        case kCGPathElementCloseSubpath:
            path->close();
            break;
        case kCGPathElementAddQuadCurveToPoint:
            break;
        }
    }
}

bool CGPathIsEmpty(const CGPathRef& path) { return !path || path->isEmpty(); }

CGPoint CGPathGetCurrentPoint(const CGPathRef& path) { return path ? path->currentPoint() : CGPointZero; }

CGRect CGPathGetBoundingBox(const CGPathRef& path)
{
    if (CGPathIsEmpty(path))
        return CGRectNull;
    CGRect box = CGRectNull;
    for (const auto& e : path->elements()) {
        int n = e.type == kCGPathElementAddCurveToPoint ? 3 : e.type == kCGPathElementCloseSubpath ? 0 : 1;
        for (int i = 0; i < n; ++i)
            box = CGRectUnion(box, CGRectMake(e.points[i].x, e.points[i].y, 0, 0));
    }
    return box;
}

CGRect CGPathGetPathBoundingBox(const CGPathRef& path)
{
    if (CGPathIsEmpty(path))
        return CGRectNull;
    CGRect box = CGRectNull;
    CGPoint current {};
    for (const auto& e : path->elements()) {
        switch (e.type) {
        case kCGPathElementMoveToPoint:
        case kCGPathElementAddLineToPoint:
            box = CGRectUnion(box, CGRectMake(e.points[0].x, e.points[0].y, 0, 0));
            current = e.points[0];
            break;
        case kCGPathElementAddCurveToPoint:
            box = CGRectUnion(box, gfx::cubicBounds(current, e.points[0], e.points[1], e.points[2]));
            current = e.points[2];
            break;
        default:
            break;
        }
    }
    return box;
}

bool CGPathEqualToPath(const CGPathRef& a, const CGPathRef& b)
{
    if (a == b)
        return true;
    if (!a || !b || a->elements().size() != b->elements().size())
        return false;
    for (size_t i = 0; i < a->elements().size(); ++i) {
        const auto& x = a->elements()[i];
        const auto& y = b->elements()[i];
        if (x.type != y.type)
            return false;
        for (int k = 0; k < 3; ++k)
            if (!(x.points[k] == y.points[k]))
                return false;
    }
    return true;
}

void CGPathApply(const CGPathRef& path, const std::function<void(const CGPathElement&)>& fn)
{
    if (!path)
        return;
    for (const auto& e : path->elements())
        fn(e);
}

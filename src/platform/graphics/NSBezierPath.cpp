#include "NSBezierPath.h"

#include "NSAffineTransform.h"
#include "NSGraphicsContext.h"
#include "internal/PathGeometry.h"

#include <cairo.h>
#include <cmath>

Ref<NSBezierPath> NSBezierPath::bezierPath() { return makeRef<NSBezierPath>(); }

Ref<NSBezierPath> NSBezierPath::bezierPathWithRect(CGRect r)
{
    auto path = bezierPath();
    path->appendBezierPathWithRect(r);
    return path;
}

Ref<NSBezierPath> NSBezierPath::bezierPathWithOvalInRect(CGRect r)
{
    auto path = bezierPath();
    path->appendBezierPathWithOvalInRect(r);
    return path;
}

Ref<NSBezierPath> NSBezierPath::bezierPathWithRoundedRect(CGRect r, CGFloat xRadius, CGFloat yRadius)
{
    auto path = bezierPath();
    path->appendBezierPathWithRoundedRect(r, xRadius, yRadius);
    return path;
}

void NSBezierPath::fillRect(CGRect r) { bezierPathWithRect(r)->fill(); }

void NSBezierPath::strokeRect(CGRect r) { bezierPathWithRect(r)->stroke(); }

void NSBezierPath::clipRect(CGRect r)
{
    if (auto context = NSGraphicsContext::currentContext())
        CGContextClipToRect(context->CGContext(), r);
}

void NSBezierPath::strokeLineFromPoint(CGPoint from, CGPoint to)
{
    auto path = bezierPath();
    path->moveToPoint(from);
    path->lineToPoint(to);
    path->stroke();
}

void NSBezierPath::moveToPoint(CGPoint p)
{
    m_elements.push_back({ NSMoveToBezierPathElement, { p } });
    m_current = m_subpathStart = p;
}

void NSBezierPath::lineToPoint(CGPoint p)
{
    if (m_elements.empty())
        moveToPoint(m_current);
    m_elements.push_back({ NSLineToBezierPathElement, { p } });
    m_current = p;
}

void NSBezierPath::curveToPoint(CGPoint end, CGPoint c1, CGPoint c2)
{
    if (m_elements.empty())
        moveToPoint(m_current);
    m_elements.push_back({ NSCurveToBezierPathElement, { c1, c2, end } });
    m_current = end;
}

void NSBezierPath::closePath()
{
    m_elements.push_back({ NSClosePathBezierPathElement, {} });
    m_current = m_subpathStart;
}

void NSBezierPath::removeAllPoints()
{
    m_elements.clear();
    m_current = m_subpathStart = CGPointZero;
}

void NSBezierPath::appendBezierPath(const NSBezierPath& other)
{
    for (const auto& e : other.m_elements) {
        switch (e.type) {
        case NSMoveToBezierPathElement:
            moveToPoint(e.points[0]);
            break;
        case NSLineToBezierPathElement:
            lineToPoint(e.points[0]);
            break;
        case NSCurveToBezierPathElement:
            curveToPoint(e.points[2], e.points[0], e.points[1]);
            break;
        case NSClosePathBezierPathElement:
            closePath();
            break;
        }
    }
}

void NSBezierPath::appendBezierPathWithRect(CGRect r)
{
    moveToPoint(r.origin);
    lineToPoint({ r.origin.x + r.size.width, r.origin.y });
    lineToPoint({ r.origin.x + r.size.width, r.origin.y + r.size.height });
    lineToPoint({ r.origin.x, r.origin.y + r.size.height });
    closePath();
}

static gfx::PathSink sinkFor(NSBezierPath& path)
{
    return {
        [&path](CGPoint p) { path.moveToPoint(p); },
        [&path](CGPoint p) { path.lineToPoint(p); },
        [&path](CGPoint c1, CGPoint c2, CGPoint e) { path.curveToPoint(e, c1, c2); },
    };
}

// Appends a Core Graphics path's elements.
static void appendCGPath(NSBezierPath& path, const CGPathRef& cg)
{
    for (const auto& e : cg->elements()) {
        switch (e.type) {
        case kCGPathElementMoveToPoint:
            path.moveToPoint(e.points[0]);
            break;
        case kCGPathElementAddLineToPoint:
            path.lineToPoint(e.points[0]);
            break;
        case kCGPathElementAddCurveToPoint:
            path.curveToPoint(e.points[2], e.points[0], e.points[1]);
            break;
        case kCGPathElementCloseSubpath:
            path.closePath();
            break;
        default:
            break;
        }
    }
}

void NSBezierPath::appendBezierPathWithOvalInRect(CGRect r) { appendCGPath(*this, CGPathCreateWithEllipseInRect(r)); }

void NSBezierPath::appendBezierPathWithRoundedRect(CGRect r, CGFloat xRadius, CGFloat yRadius)
{
    appendCGPath(*this, CGPathCreateWithRoundedRect(r, xRadius, yRadius));
}

void NSBezierPath::appendBezierPathWithArcWithCenter(CGPoint center, CGFloat radius, CGFloat startAngle,
    CGFloat endAngle, bool clockwise)
{
    gfx::appendArc(sinkFor(*this), !m_elements.empty(), center, radius, startAngle * M_PI / 180.0,
        endAngle * M_PI / 180.0, clockwise);
}

void NSBezierPath::appendBezierPathWithArcFromPoint(CGPoint point1, CGPoint toPoint, CGFloat radius)
{
    if (m_elements.empty()) {
        moveToPoint(point1);
        return;
    }
    gfx::appendArcToPoint(sinkFor(*this), m_current, point1, toPoint, radius);
}

void NSBezierPath::transformUsingAffineTransform(const NSAffineTransform& transform)
{
    for (auto& e : m_elements)
        for (auto& p : e.points)
            p = transform.transformPoint(p);
    m_current = transform.transformPoint(m_current);
    m_subpathStart = transform.transformPoint(m_subpathStart);
}

NSBezierPathElement NSBezierPath::elementAtIndex(long index, CGPoint* points) const
{
    if (index < 0 || index >= elementCount())
        return NSClosePathBezierPathElement;
    const auto& e = m_elements[size_t(index)];
    if (points) {
        int n = e.type == NSCurveToBezierPathElement ? 3 : e.type == NSClosePathBezierPathElement ? 0 : 1;
        for (int i = 0; i < n; ++i)
            points[i] = e.points[i];
    }
    return e.type;
}

CGRect NSBezierPath::bounds() const
{
    CGRect box = CGPathGetPathBoundingBox(toCGPath());
    return CGRectIsNull(box) ? CGRectZero : box;
}

CGRect NSBezierPath::controlPointBounds() const
{
    CGRect box = CGPathGetBoundingBox(toCGPath());
    return CGRectIsNull(box) ? CGRectZero : box;
}

bool NSBezierPath::containsPoint(CGPoint p) const
{
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1);
    cairo_t* cr = cairo_create(surface);
    auto path = toCGPath();
    for (const auto& e : path->elements()) {
        if (e.type == kCGPathElementMoveToPoint)
            cairo_move_to(cr, e.points[0].x, e.points[0].y);
        else if (e.type == kCGPathElementAddLineToPoint)
            cairo_line_to(cr, e.points[0].x, e.points[0].y);
        else if (e.type == kCGPathElementAddCurveToPoint)
            cairo_curve_to(cr, e.points[0].x, e.points[0].y, e.points[1].x, e.points[1].y, e.points[2].x, e.points[2].y);
        else if (e.type == kCGPathElementCloseSubpath)
            cairo_close_path(cr);
    }
    cairo_set_fill_rule(cr, m_windingRule == NSEvenOddWindingRule ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
    bool inside = cairo_in_fill(cr, p.x, p.y);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return inside;
}

CGPathRef NSBezierPath::toCGPath() const
{
    auto path = CGPathCreateMutable();
    for (const auto& e : m_elements) {
        switch (e.type) {
        case NSMoveToBezierPathElement:
            path->moveTo(e.points[0]);
            break;
        case NSLineToBezierPathElement:
            path->lineTo(e.points[0]);
            break;
        case NSCurveToBezierPathElement:
            path->curveTo(e.points[0], e.points[1], e.points[2]);
            break;
        case NSClosePathBezierPathElement:
            path->close();
            break;
        }
    }
    return path;
}

void NSBezierPath::addToContext(const CGContextRef& cg) const
{
    CGContextBeginPath(cg);
    CGContextAddPath(cg, toCGPath());
}

// Draws the shape (the drawing given) with the focus ring the context's
// style asks for.
template <class Draw>
static void withFocusRing(const NSBezierPath& path, const CGContextRef& cg, Draw&& draw)
{
    int placement = cg->gstate().focusRingPlacement;
    if (placement < 0) {
        draw();
        return;
    }
    auto ring = [&] {
        CGContextStateSaver saver(cg);
        CGContextSetLineWidth(cg, kFocusRingWidth);
        CGContextSetStrokeColorWithColor(cg, NSFocusRingColor());
        CGContextAddPath(cg, path.toCGPath());
        CGContextStrokePath(cg);
    };
    if (placement == NSFocusRingAbove)
        draw();
    ring();
    if (placement == NSFocusRingBelow)
        draw();
}

void NSBezierPath::fill() const
{
    auto context = NSGraphicsContext::currentContext();
    if (!context)
        return;
    const auto& cg = context->CGContext();
    withFocusRing(*this, cg, [&] { fillShape(cg); });
}

void NSBezierPath::fillShape(const CGContextRef& cg) const
{
    addToContext(cg);
    if (m_windingRule == NSEvenOddWindingRule)
        CGContextEOFillPath(cg);
    else
        CGContextFillPath(cg);
}

void NSBezierPath::stroke() const
{
    auto context = NSGraphicsContext::currentContext();
    if (!context)
        return;
    const auto& cg = context->CGContext();
    withFocusRing(*this, cg, [&] { strokeShape(cg); });
}

void NSBezierPath::strokeShape(const CGContextRef& cg) const
{
    CGContextStateSaver saver(cg);
    CGContextSetLineWidth(cg, m_lineWidth);
    CGContextSetFlatness(cg, m_flatness);
    CGContextSetLineCap(cg, static_cast<CGLineCap>(m_lineCap));
    CGContextSetLineJoin(cg, static_cast<CGLineJoin>(m_lineJoin));
    addToContext(cg);
    CGContextStrokePath(cg);
}

void NSBezierPath::addClip() const
{
    auto context = NSGraphicsContext::currentContext();
    if (!context)
        return;
    const auto& cg = context->CGContext();
    addToContext(cg);
    if (m_windingRule == NSEvenOddWindingRule)
        CGContextEOClip(cg);
    else
        CGContextClip(cg);
}

void NSBezierPath::setClip() const
{
    auto context = NSGraphicsContext::currentContext();
    if (!context)
        return;
    // Cairo cannot widen a clip, so the clip is reset to the whole bitmap
    // before the path is applied.
    cairo_reset_clip(context->CGContext()->cairo());
    addClip();
}

Ref<NSBezierPath> NSBezierPath::copy() const
{
    auto path = bezierPath();
    path->m_elements = m_elements;
    path->m_current = m_current;
    path->m_subpathStart = m_subpathStart;
    path->m_lineWidth = m_lineWidth;
    path->m_flatness = m_flatness;
    path->m_windingRule = m_windingRule;
    path->m_lineCap = m_lineCap;
    path->m_lineJoin = m_lineJoin;
    return path;
}

void NSRectFill(CGRect r) { NSRectFillUsingOperation(r, NSCompositingOperationCopy); }

void NSRectFillUsingOperation(CGRect r, unsigned long op)
{
    auto context = NSGraphicsContext::currentContext();
    if (!context)
        return;
    const auto& cg = context->CGContext();
    CGContextStateSaver saver(cg);
    CGContextSetBlendMode(cg, CGBlendModeForCompositingOperation(static_cast<NSCompositingOperation>(op)));
    CGContextFillRect(cg, r);
}

void NSFrameRect(CGRect r)
{
    auto context = NSGraphicsContext::currentContext();
    if (!context)
        return;
    const auto& cg = context->CGContext();
    // A one-unit frame drawn inside the rect.
    CGRect rects[4] = {
        CGRectMake(r.origin.x, r.origin.y, r.size.width, 1),
        CGRectMake(r.origin.x, r.origin.y + r.size.height - 1, r.size.width, 1),
        CGRectMake(r.origin.x, r.origin.y, 1, r.size.height),
        CGRectMake(r.origin.x + r.size.width - 1, r.origin.y, 1, r.size.height),
    };
    CGContextFillRects(cg, rects, 4);
}

void NSRectClip(CGRect r) { NSBezierPath::clipRect(r); }

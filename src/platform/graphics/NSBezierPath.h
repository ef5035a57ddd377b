// Paths of the application framework: move, line, curve and close
// elements with their own line width, flatness and winding rule. Arcs,
// ovals and rounded rectangles are stored as curves. Drawing goes to the
// current graphics context.
#pragma once

#include "CGContext.h"
#include "CGPath.h"

#include <foundation/NSObject.h>

#include <vector>

class NSAffineTransform;

enum NSBezierPathElement : unsigned long {
    NSMoveToBezierPathElement,
    NSLineToBezierPathElement,
    NSCurveToBezierPathElement,
    NSClosePathBezierPathElement,
};

enum NSWindingRule : unsigned long { NSNonZeroWindingRule = 0, NSEvenOddWindingRule = 1 };
enum NSLineCapStyle : unsigned long { NSButtLineCapStyle = 0, NSRoundLineCapStyle = 1, NSSquareLineCapStyle = 2 };
enum NSLineJoinStyle : unsigned long { NSMiterLineJoinStyle = 0, NSRoundLineJoinStyle = 1, NSBevelLineJoinStyle = 2 };

class NSBezierPath : public NSObject {
public:
    static Ref<NSBezierPath> bezierPath();
    static Ref<NSBezierPath> bezierPathWithRect(CGRect);
    static Ref<NSBezierPath> bezierPathWithOvalInRect(CGRect);
    static Ref<NSBezierPath> bezierPathWithRoundedRect(CGRect, CGFloat xRadius, CGFloat yRadius);
    // Class drawing shortcuts in the current context.
    static void fillRect(CGRect);
    static void strokeRect(CGRect);
    static void clipRect(CGRect);
    static void strokeLineFromPoint(CGPoint from, CGPoint toPoint);

    void moveToPoint(CGPoint);
    void lineToPoint(CGPoint);
    void curveToPoint(CGPoint end, CGPoint controlPoint1, CGPoint controlPoint2);
    void closePath();
    void removeAllPoints();
    void appendBezierPath(const NSBezierPath&);
    void appendBezierPathWithRect(CGRect);
    void appendBezierPathWithOvalInRect(CGRect);
    void appendBezierPathWithRoundedRect(CGRect, CGFloat xRadius, CGFloat yRadius);
    // Angles in degrees, counter-clockwise unless clockwise is set; the arc
    // is joined to the current point with a line.
    void appendBezierPathWithArcWithCenter(CGPoint center, CGFloat radius, CGFloat startAngle, CGFloat endAngle,
        bool clockwise = false);
    // A line to the first tangent point, then the arc tangent to the lines
    // current→point1 and point1→point2.
    void appendBezierPathWithArcFromPoint(CGPoint point1, CGPoint toPoint, CGFloat radius);
    void transformUsingAffineTransform(const NSAffineTransform&);

    bool isEmpty() const { return m_elements.empty(); }
    long elementCount() const { return long(m_elements.size()); }
    // The element's kind; points receives its points (one, or three for a
    // curve: control 1, control 2, end point) when not null.
    NSBezierPathElement elementAtIndex(long index, CGPoint* points = nullptr) const;
    CGPoint currentPoint() const { return m_current; }
    // Tight bounds of the outline; the zero rect for an empty path.
    CGRect bounds() const;
    CGRect controlPointBounds() const;
    bool containsPoint(CGPoint) const;

    CGFloat lineWidth() const { return m_lineWidth; }
    void setLineWidth(CGFloat w) { m_lineWidth = w; }
    CGFloat flatness() const { return m_flatness; }
    void setFlatness(CGFloat f) { m_flatness = f; }
    NSWindingRule windingRule() const { return m_windingRule; }
    void setWindingRule(NSWindingRule rule) { m_windingRule = rule; }
    NSLineCapStyle lineCapStyle() const { return m_lineCap; }
    void setLineCapStyle(NSLineCapStyle cap) { m_lineCap = cap; }
    NSLineJoinStyle lineJoinStyle() const { return m_lineJoin; }
    void setLineJoinStyle(NSLineJoinStyle join) { m_lineJoin = join; }

    // Fill, stroke, intersect the clip with, or replace the clip by the
    // path, in the current graphics context.
    void fill() const;
    void stroke() const;
    void addClip() const;
    void setClip() const;

    Ref<NSBezierPath> copy() const;
    // The elements as a Core Graphics path.
    CGPathRef toCGPath() const;

private:
    struct Element {
        NSBezierPathElement type;
        CGPoint points[3];
    };
    void addToContext(const CGContextRef&) const;
    void fillShape(const CGContextRef&) const;
    void strokeShape(const CGContextRef&) const;

    std::vector<Element> m_elements;
    CGPoint m_current {};
    CGPoint m_subpathStart {};
    CGFloat m_lineWidth { 1 };
    CGFloat m_flatness { 0.6 };
    NSWindingRule m_windingRule { NSNonZeroWindingRule };
    NSLineCapStyle m_lineCap { NSButtLineCapStyle };
    NSLineJoinStyle m_lineJoin { NSMiterLineJoinStyle };
};

// The platform's rect-fill functions, in the current context.
void NSRectFill(CGRect);
void NSRectFillUsingOperation(CGRect, unsigned long compositingOperation);
void NSFrameRect(CGRect);
void NSRectClip(CGRect);

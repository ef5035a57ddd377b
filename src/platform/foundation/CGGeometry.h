// Points, sizes and rectangles in the platform's double-precision form.
#pragma once

#include <cmath>
#include <limits>
#include <string>

using CGFloat = double;

struct CGPoint {
    CGFloat x { 0 };
    CGFloat y { 0 };
    bool operator==(const CGPoint&) const = default;
};

struct CGSize {
    CGFloat width { 0 };
    CGFloat height { 0 };
    bool operator==(const CGSize&) const = default;
};

struct CGRect {
    CGPoint origin;
    CGSize size;
    bool operator==(const CGRect&) const = default;
};

struct CGVector {
    CGFloat dx { 0 };
    CGFloat dy { 0 };
};

using NSPoint = CGPoint;
using NSSize = CGSize;
using NSRect = CGRect;

inline constexpr CGPoint CGPointZero {};
inline constexpr CGSize CGSizeZero {};
inline constexpr CGRect CGRectZero {};
// The null rectangle: the empty set, origin at infinity.
inline constexpr CGRect CGRectNull { { std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity() },
    { 0, 0 } };
inline constexpr CGRect CGRectInfinite { { -8.988465674311579e+307, -8.988465674311579e+307 },
    { 1.7976931348623157e+308, 1.7976931348623157e+308 } };

inline CGPoint CGPointMake(CGFloat x, CGFloat y) { return { x, y }; }
inline CGSize CGSizeMake(CGFloat w, CGFloat h) { return { w, h }; }
inline CGRect CGRectMake(CGFloat x, CGFloat y, CGFloat w, CGFloat h) { return { { x, y }, { w, h } }; }
inline NSPoint NSMakePoint(CGFloat x, CGFloat y) { return { x, y }; }
inline NSSize NSMakeSize(CGFloat w, CGFloat h) { return { w, h }; }
inline NSRect NSMakeRect(CGFloat x, CGFloat y, CGFloat w, CGFloat h) { return { { x, y }, { w, h } }; }

// Rounds to the nearest single-precision value, as code that passes a value
// through a float does. The store through volatile keeps the optimiser from
// folding the round trip away, which g++ does at -O2.
inline double roundToFloat(double v)
{
    volatile float narrowed = static_cast<float>(v);
    return narrowed;
}

bool CGRectIsNull(const CGRect&);
bool CGRectIsEmpty(const CGRect&);
bool CGRectIsInfinite(const CGRect&);
CGRect CGRectStandardize(const CGRect&);
CGFloat CGRectGetMinX(const CGRect&);
CGFloat CGRectGetMidX(const CGRect&);
CGFloat CGRectGetMaxX(const CGRect&);
CGFloat CGRectGetMinY(const CGRect&);
CGFloat CGRectGetMidY(const CGRect&);
CGFloat CGRectGetMaxY(const CGRect&);
CGFloat CGRectGetWidth(const CGRect&);
CGFloat CGRectGetHeight(const CGRect&);
bool CGRectEqualToRect(const CGRect&, const CGRect&);
bool CGPointEqualToPoint(const CGPoint&, const CGPoint&);
bool CGSizeEqualToSize(const CGSize&, const CGSize&);
// Half-open containment: the maximum edges are outside.
bool CGRectContainsPoint(const CGRect&, const CGPoint&);
bool CGRectContainsRect(const CGRect&, const CGRect&);
// True when the rectangles share an area; touching edges do not count.
bool CGRectIntersectsRect(const CGRect&, const CGRect&);
// The common part; null when there is none, a zero-width or zero-height
// rectangle when the two only touch.
CGRect CGRectIntersection(const CGRect&, const CGRect&);
CGRect CGRectUnion(const CGRect&, const CGRect&);
CGRect CGRectOffset(const CGRect&, CGFloat dx, CGFloat dy);
CGRect CGRectInset(const CGRect&, CGFloat dx, CGFloat dy);
CGRect CGRectIntegral(const CGRect&);

// The platform's mouse-in-rectangle rule: in an unflipped rectangle the
// bottom (minimum y) edge is outside and the top edge inside; in a flipped one
// the top (minimum y) edge is inside and the bottom outside. The left edge is
// always inside and the right edge outside.
bool NSMouseInRect(const NSPoint&, const NSRect&, bool flipped);
inline bool NSPointInRect(const NSPoint& p, const NSRect& r) { return NSMouseInRect(p, r, true); }

std::string NSStringFromRect(const CGRect&);
std::string NSStringFromPoint(const CGPoint&);
std::string NSStringFromSize(const CGSize&);
// The reverse of the above: the numbers of the text in order, so "{{1, 2},
// {3, 4}}" is a rectangle; numbers the text lacks are 0.
CGPoint NSPointFromString(const std::string&);
CGSize NSSizeFromString(const std::string&);
CGRect NSRectFromString(const std::string&);

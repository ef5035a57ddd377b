#include "CGGeometry.h"

#include "Value.h"

#include <algorithm>
#include <charconv>
#include <vector>
#include <cstdio>

bool CGRectIsNull(const CGRect& r) { return std::isinf(r.origin.x) && r.origin.x > 0 && std::isinf(r.origin.y) && r.origin.y > 0; }

bool CGRectIsEmpty(const CGRect& r) { return CGRectIsNull(r) || r.size.width == 0 || r.size.height == 0; }

bool CGRectIsInfinite(const CGRect& r) { return r == CGRectInfinite; }

CGRect CGRectStandardize(const CGRect& r)
{
    if (CGRectIsNull(r))
        return r;
    CGRect s = r;
    if (s.size.width < 0) {
        s.origin.x += s.size.width;
        s.size.width = -s.size.width;
    }
    if (s.size.height < 0) {
        s.origin.y += s.size.height;
        s.size.height = -s.size.height;
    }
    return s;
}

CGFloat CGRectGetMinX(const CGRect& r) { return CGRectStandardize(r).origin.x; }
CGFloat CGRectGetMinY(const CGRect& r) { return CGRectStandardize(r).origin.y; }
CGFloat CGRectGetMaxX(const CGRect& r)
{
    auto s = CGRectStandardize(r);
    return s.origin.x + s.size.width;
}
CGFloat CGRectGetMaxY(const CGRect& r)
{
    auto s = CGRectStandardize(r);
    return s.origin.y + s.size.height;
}
CGFloat CGRectGetMidX(const CGRect& r)
{
    auto s = CGRectStandardize(r);
    return s.origin.x + s.size.width / 2;
}
CGFloat CGRectGetMidY(const CGRect& r)
{
    auto s = CGRectStandardize(r);
    return s.origin.y + s.size.height / 2;
}
CGFloat CGRectGetWidth(const CGRect& r) { return std::fabs(r.size.width); }
CGFloat CGRectGetHeight(const CGRect& r) { return std::fabs(r.size.height); }

bool CGRectEqualToRect(const CGRect& a, const CGRect& b)
{
    if (CGRectIsNull(a) || CGRectIsNull(b))
        return CGRectIsNull(a) && CGRectIsNull(b);
    return CGRectStandardize(a) == CGRectStandardize(b);
}
bool CGPointEqualToPoint(const CGPoint& a, const CGPoint& b) { return a == b; }
bool CGSizeEqualToSize(const CGSize& a, const CGSize& b) { return a == b; }

bool CGRectContainsPoint(const CGRect& r, const CGPoint& p)
{
    if (CGRectIsNull(r))
        return false;
    auto s = CGRectStandardize(r);
    return p.x >= s.origin.x && p.x < s.origin.x + s.size.width && p.y >= s.origin.y && p.y < s.origin.y + s.size.height;
}

bool CGRectContainsRect(const CGRect& a, const CGRect& b)
{
    if (CGRectIsNull(a) || CGRectIsNull(b))
        return false;
    return CGRectEqualToRect(CGRectUnion(a, b), a);
}

CGRect CGRectIntersection(const CGRect& a, const CGRect& b)
{
    if (CGRectIsNull(a) || CGRectIsNull(b))
        return CGRectNull;
    auto r1 = CGRectStandardize(a), r2 = CGRectStandardize(b);
    CGFloat x0 = std::max(r1.origin.x, r2.origin.x);
    CGFloat y0 = std::max(r1.origin.y, r2.origin.y);
    CGFloat x1 = std::min(r1.origin.x + r1.size.width, r2.origin.x + r2.size.width);
    CGFloat y1 = std::min(r1.origin.y + r1.size.height, r2.origin.y + r2.size.height);
    if (x1 < x0 || y1 < y0)
        return CGRectNull;
    return { { x0, y0 }, { x1 - x0, y1 - y0 } };
}

bool CGRectIntersectsRect(const CGRect& a, const CGRect& b)
{
    // Rectangles intersect when they share an area: two that only touch
    // along an edge do not, nor does an empty one.
    auto i = CGRectIntersection(a, b);
    return !CGRectIsNull(i) && i.size.width > 0 && i.size.height > 0;
}

CGRect CGRectUnion(const CGRect& a, const CGRect& b)
{
    if (CGRectIsNull(a))
        return b;
    if (CGRectIsNull(b))
        return a;
    auto r1 = CGRectStandardize(a), r2 = CGRectStandardize(b);
    CGFloat x0 = std::min(r1.origin.x, r2.origin.x);
    CGFloat y0 = std::min(r1.origin.y, r2.origin.y);
    CGFloat x1 = std::max(r1.origin.x + r1.size.width, r2.origin.x + r2.size.width);
    CGFloat y1 = std::max(r1.origin.y + r1.size.height, r2.origin.y + r2.size.height);
    return { { x0, y0 }, { x1 - x0, y1 - y0 } };
}

CGRect CGRectOffset(const CGRect& r, CGFloat dx, CGFloat dy)
{
    if (CGRectIsNull(r))
        return r;
    auto s = CGRectStandardize(r);
    s.origin.x += dx;
    s.origin.y += dy;
    return s;
}

CGRect CGRectInset(const CGRect& r, CGFloat dx, CGFloat dy)
{
    if (CGRectIsNull(r))
        return r;
    auto s = CGRectStandardize(r);
    s.origin.x += dx;
    s.origin.y += dy;
    s.size.width -= 2 * dx;
    s.size.height -= 2 * dy;
    if (s.size.width < 0 || s.size.height < 0)
        return CGRectNull;
    return s;
}

CGRect CGRectIntegral(const CGRect& r)
{
    if (CGRectIsNull(r))
        return r;
    auto s = CGRectStandardize(r);
    CGFloat x0 = std::floor(s.origin.x), y0 = std::floor(s.origin.y);
    CGFloat x1 = std::ceil(s.origin.x + s.size.width), y1 = std::ceil(s.origin.y + s.size.height);
    return { { x0, y0 }, { x1 - x0, y1 - y0 } };
}

bool NSMouseInRect(const NSPoint& p, const NSRect& r, bool flipped)
{
    if (CGRectIsNull(r))
        return false;
    auto s = CGRectStandardize(r);
    if (p.x < s.origin.x || p.x >= s.origin.x + s.size.width)
        return false;
    if (flipped)
        return p.y >= s.origin.y && p.y < s.origin.y + s.size.height;
    return p.y > s.origin.y && p.y <= s.origin.y + s.size.height;
}

// The shortest text that reads back to the value: "%g" would print
// 1234567 as "1.23457e+06".
static std::string num(CGFloat v) { return formatDouble(v); }

std::string NSStringFromPoint(const CGPoint& p) { return "{" + num(p.x) + ", " + num(p.y) + "}"; }
std::string NSStringFromSize(const CGSize& s) { return "{" + num(s.width) + ", " + num(s.height) + "}"; }
std::string NSStringFromRect(const CGRect& r) { return "{" + NSStringFromPoint(r.origin) + ", " + NSStringFromSize(r.size) + "}"; }

// Up to count numbers of the text, in order; the rest stay 0.
static std::vector<CGFloat> scanNumbers(const std::string& text, size_t count)
{
    std::vector<CGFloat> numbers(count, 0);
    size_t found = 0;
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end && found < count) {
        const char* start = p;
        bool negative = false;
        if (*start == '-' || *start == '+') {
            negative = *start == '-';
            ++start;
        }
        double value = 0;
        auto [next, error] = std::from_chars(start, end, value);
        if (error == std::errc() && next != start) {
            numbers[found++] = negative ? -value : value;
            p = next;
        } else {
            ++p;
        }
    }
    return numbers;
}

CGPoint NSPointFromString(const std::string& text)
{
    auto n = scanNumbers(text, 2);
    return { n[0], n[1] };
}

CGSize NSSizeFromString(const std::string& text)
{
    auto n = scanNumbers(text, 2);
    return { n[0], n[1] };
}

CGRect NSRectFromString(const std::string& text)
{
    auto n = scanNumbers(text, 4);
    return { { n[0], n[1] }, { n[2], n[3] } };
}

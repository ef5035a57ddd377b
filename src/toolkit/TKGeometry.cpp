#include "TKGeometry.h"

#include <cmath>
#include <cstdint>
#include <limits>

int64_t TKClampedInteger(double value, int64_t low, int64_t high)
{
    if (!(value >= double(low)))
        return low;
    if (value >= double(high))
        return high;
    return int64_t(value);
}

int32_t TKBitmapSide(double length)
{
    return length <= double(TKMaxBitmapSide) ? int32_t(TKClampedInteger(length, 0, TKMaxBitmapSide)) : 0;
}

CGRect TKGeometry::rectFromPoint(CGPoint p, CGPoint q)
{
    constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
    return CGRectMake(std::min(p.x, q.x), std::min(p.y, q.y), double(TKClampedInteger(std::fabs(p.x - q.x), 0, kMax)),
        double(TKClampedInteger(std::fabs(p.y - q.y), 0, kMax)));
}

CGRect TKGeometry::rect(CGRect r, CGRect k, bool scale) { return rect(r, k, scale, false); }

CGRect TKGeometry::rect(CGRect r, CGRect k, bool scale, bool canScaleLarger)
{
    double width = r.size.width, height = r.size.height;
    bool hasArea = r.size.width > 0 && r.size.height > 0;
    if (scale && hasArea) {
        bool grow = canScaleLarger && k.size.height > r.size.height && k.size.width > r.size.width;
        bool shrink = r.size.height > k.size.height || r.size.width > k.size.width;
        if (grow || shrink) {
            width = k.size.width;
            height = r.size.height / r.size.width * k.size.width;
            if (height > k.size.height) {
                height = k.size.height;
                width = r.size.width / r.size.height * k.size.height;
            }
        }
    }
    return CGRectMake(k.origin.x + (k.size.width - width) * 0.5, k.origin.y + (k.size.height - height) * 0.5, width,
        height);
}

CGPoint TKGeometry::point(CGPoint p, CGRect r)
{
    CGPoint result = p;
    if (r.origin.x > p.x)
        result.x = r.origin.x;
    else if (p.x > r.origin.x + r.size.width)
        result.x = r.origin.x + r.size.width;
    if (r.origin.y > p.y)
        result.y = r.origin.y;
    else if (p.y > r.origin.y + r.size.height)
        result.y = r.origin.y + r.size.height;
    return result;
}

std::optional<size_t> TKGeometry::screenForPoint(CGPoint p, const std::vector<CGRect>& frames)
{
    std::optional<size_t> nearest;
    uint64_t best = std::numeric_limits<uint64_t>::max();
    for (size_t i = 0; i < frames.size(); ++i) {
        const CGRect& f = frames[i];
        if (NSPointInRect(p, f))
            return i;
        double gx = f.origin.x > p.x ? f.origin.x - p.x
            : p.x > f.origin.x + f.size.width ? p.x - (f.origin.x + f.size.width)
                                              : 0;
        double gy = f.origin.y > p.y ? f.origin.y - p.y
            : p.y > f.origin.y + f.size.height ? p.y - (f.origin.y + f.size.height)
                                               : 0;
        constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
        uint64_t dx = uint64_t(TKClampedInteger(gx, 0, kMax));
        uint64_t dy = uint64_t(TKClampedInteger(gy, 0, kMax));
        uint64_t distance = uint64_t(TKClampedInteger(double(dy) + double(dx), 0, kMax));
        if (distance < best) {
            best = distance;
            nearest = i;
        }
    }
    return nearest;
}

CGRect TKGeometry::integerRect(CGRect r)
{
    return CGRectMake(std::floor(r.origin.x), std::floor(r.origin.y), std::floor(r.size.width),
        std::floor(r.size.height));
}

CGPoint TKGeometry::topLeft(CGRect r) { return { r.origin.x, r.origin.y + r.size.height }; }
CGPoint TKGeometry::bottomLeft(CGRect r) { return r.origin; }
CGPoint TKGeometry::topRight(CGRect r) { return { r.origin.x + r.size.width, r.origin.y + r.size.height }; }
CGPoint TKGeometry::bottomRight(CGRect r) { return { r.origin.x + r.size.width, r.origin.y }; }
CGPoint TKGeometry::topMid(CGRect r) { return { r.origin.x + r.size.width * 0.5, r.origin.y + r.size.height }; }
CGPoint TKGeometry::bottomMid(CGRect r) { return { r.origin.x + r.size.width * 0.5, r.origin.y }; }
CGPoint TKGeometry::rightMid(CGRect r) { return { r.origin.x + r.size.width, r.origin.y + r.size.height * 0.5 }; }
CGPoint TKGeometry::leftMid(CGRect r) { return { r.origin.x, r.origin.y + r.size.height * 0.5 }; }

CGPoint TKGeometry::topLeft(CGRect r, bool) { return r.origin; }
CGPoint TKGeometry::bottomLeft(CGRect r, bool) { return { r.origin.x, r.origin.y + r.size.height }; }
CGPoint TKGeometry::topRight(CGRect r, bool) { return { r.origin.x + r.size.width, r.origin.y }; }
CGPoint TKGeometry::bottomRight(CGRect r, bool) { return { r.origin.x + r.size.width, r.origin.y + r.size.height }; }

// The platform's overlap test: rects without area, or that only touch,
// do not intersect.
static bool intersects(const CGRect& a, const CGRect& b)
{
    if (a.size.width <= 0 || a.size.height <= 0 || b.size.width <= 0 || b.size.height <= 0)
        return false;
    return a.origin.x < b.origin.x + b.size.width && b.origin.x < a.origin.x + a.size.width
        && a.origin.y < b.origin.y + b.size.height && b.origin.y < a.origin.y + a.size.height;
}

static bool bigEnough(const CGRect& r, CGSize m)
{
    return r.size.width >= m.width && r.size.width > 0 && r.size.height >= m.height && r.size.height > 0;
}

void TKGeometry::updateRectsToAvoidRectGivenMinimumSize(std::vector<CGRect>& rects, CGRect a, CGSize m)
{
    int32_t n = int32_t(rects.size());
    if (n <= 0)
        return;
    for (int32_t i = n - 1; i >= 0; --i) {
        CGRect r = rects[size_t(i)];
        if (intersects(r, a)) {
            rects.erase(rects.begin() + i);
            CGRect pieces[4] = {
                CGRectMake(r.origin.x, r.origin.y, a.origin.x - r.origin.x, r.size.height),
                CGRectMake(a.origin.x + a.size.width, r.origin.y,
                    (r.origin.x + r.size.width) - (a.origin.x + a.size.width), r.size.height),
                CGRectMake(r.origin.x, a.origin.y + a.size.height, r.size.width,
                    (r.origin.y + r.size.height) - (a.origin.y + a.size.height)),
                CGRectMake(r.origin.x, r.origin.y, r.size.width, a.origin.y - r.origin.y),
            };
            for (const auto& piece : pieces)
                if (bigEnough(piece, m))
                    rects.push_back(piece);
        } else if (!bigEnough(r, m)) {
            rects.erase(rects.begin() + i);
        }
    }
}

float TKRectGapDistanceSquared(CGRect a, CGRect b)
{
    auto gap = [](double aMin, double aLen, double bMin, double bLen) {
        if (bMin > aMin)
            return float(bMin - aMin);
        double over = (aMin + aLen) - (bMin + bLen);
        return over > 0 ? float(over) : 0.0f;
    };
    float dx = gap(a.origin.x, a.size.width, b.origin.x, b.size.width);
    float dy = gap(a.origin.y, a.size.height, b.origin.y, b.size.height);
    return dx * dx + dy * dy;
}

CGRect TKRectNearestInArray(const std::vector<CGRect>& rects, CGRect r)
{
    int32_t count = int32_t(rects.size());
    if (count <= 0)
        return CGRectZero;
    CGRect best = rects[size_t(count - 1)];
    float bestScore = TKRectGapDistanceSquared(r, best);
    for (int32_t i = count - 2; i >= 0; --i) {
        float score = TKRectGapDistanceSquared(r, rects[size_t(i)]);
        if (score < bestScore) {
            bestScore = score;
            best = rects[size_t(i)];
        }
    }
    return best;
}

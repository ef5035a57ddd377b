#include "CGAffineTransform.h"

#include <algorithm>
#include <cmath>

CGAffineTransform CGAffineTransformMake(CGFloat a, CGFloat b, CGFloat c, CGFloat d, CGFloat tx, CGFloat ty)
{
    return { a, b, c, d, tx, ty };
}

CGAffineTransform CGAffineTransformMakeTranslation(CGFloat tx, CGFloat ty) { return { 1, 0, 0, 1, tx, ty }; }

CGAffineTransform CGAffineTransformMakeScale(CGFloat sx, CGFloat sy) { return { sx, 0, 0, sy, 0, 0 }; }

CGAffineTransform CGAffineTransformMakeRotation(CGFloat angle)
{
    CGFloat s = std::sin(angle), c = std::cos(angle);
    return { c, s, -s, c, 0, 0 };
}

CGAffineTransform CGAffineTransformConcat(const CGAffineTransform& t1, const CGAffineTransform& t2)
{
    return {
        t1.a * t2.a + t1.b * t2.c,
        t1.a * t2.b + t1.b * t2.d,
        t1.c * t2.a + t1.d * t2.c,
        t1.c * t2.b + t1.d * t2.d,
        t1.tx * t2.a + t1.ty * t2.c + t2.tx,
        t1.tx * t2.b + t1.ty * t2.d + t2.ty,
    };
}

CGAffineTransform CGAffineTransformTranslate(const CGAffineTransform& t, CGFloat tx, CGFloat ty)
{
    return CGAffineTransformConcat(CGAffineTransformMakeTranslation(tx, ty), t);
}

CGAffineTransform CGAffineTransformScale(const CGAffineTransform& t, CGFloat sx, CGFloat sy)
{
    return CGAffineTransformConcat(CGAffineTransformMakeScale(sx, sy), t);
}

CGAffineTransform CGAffineTransformRotate(const CGAffineTransform& t, CGFloat angle)
{
    return CGAffineTransformConcat(CGAffineTransformMakeRotation(angle), t);
}

CGAffineTransform CGAffineTransformInvert(const CGAffineTransform& t)
{
    CGFloat det = t.a * t.d - t.b * t.c;
    if (det == 0 || !std::isfinite(det))
        return t;
    CGFloat a = t.d / det, b = -t.b / det, c = -t.c / det, d = t.a / det;
    return { a, b, c, d, -(t.tx * a + t.ty * c), -(t.tx * b + t.ty * d) };
}

bool CGAffineTransformIsIdentity(const CGAffineTransform& t) { return t == CGAffineTransformIdentity; }

bool CGAffineTransformEqualToTransform(const CGAffineTransform& t1, const CGAffineTransform& t2) { return t1 == t2; }

CGPoint CGPointApplyAffineTransform(const CGPoint& p, const CGAffineTransform& t)
{
    return { t.a * p.x + t.c * p.y + t.tx, t.b * p.x + t.d * p.y + t.ty };
}

CGSize CGSizeApplyAffineTransform(const CGSize& s, const CGAffineTransform& t)
{
    return { t.a * s.width + t.c * s.height, t.b * s.width + t.d * s.height };
}

CGRect CGRectApplyAffineTransform(const CGRect& rect, const CGAffineTransform& t)
{
    if (CGRectIsNull(rect))
        return rect;
    CGRect r = CGRectStandardize(rect);
    CGPoint corners[4] = {
        CGPointApplyAffineTransform(r.origin, t),
        CGPointApplyAffineTransform({ r.origin.x + r.size.width, r.origin.y }, t),
        CGPointApplyAffineTransform({ r.origin.x, r.origin.y + r.size.height }, t),
        CGPointApplyAffineTransform({ r.origin.x + r.size.width, r.origin.y + r.size.height }, t),
    };
    CGFloat minX = corners[0].x, maxX = minX, minY = corners[0].y, maxY = minY;
    for (const auto& p : corners) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    return CGRectMake(minX, minY, maxX - minX, maxY - minY);
}

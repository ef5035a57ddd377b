#include "NSAffineTransform.h"

#include "CGContext.h"
#include "NSBezierPath.h"
#include "NSGraphicsContext.h"

#include <cmath>

Ref<NSAffineTransform> NSAffineTransform::transform() { return makeRef<NSAffineTransform>(); }

void NSAffineTransform::translateXBy(CGFloat dx, CGFloat dy) { m_t = CGAffineTransformTranslate(m_t, dx, dy); }

void NSAffineTransform::rotateByDegrees(CGFloat degrees) { rotateByRadians(degrees * M_PI / 180.0); }

void NSAffineTransform::rotateByRadians(CGFloat radians) { m_t = CGAffineTransformRotate(m_t, radians); }

void NSAffineTransform::scaleBy(CGFloat scale) { scaleXBy(scale, scale); }

void NSAffineTransform::scaleXBy(CGFloat sx, CGFloat sy) { m_t = CGAffineTransformScale(m_t, sx, sy); }

void NSAffineTransform::appendTransform(const NSAffineTransform& other)
{
    m_t = CGAffineTransformConcat(m_t, other.m_t);
}

void NSAffineTransform::prependTransform(const NSAffineTransform& other)
{
    m_t = CGAffineTransformConcat(other.m_t, m_t);
}

void NSAffineTransform::invert() { m_t = CGAffineTransformInvert(m_t); }

CGPoint NSAffineTransform::transformPoint(CGPoint p) const { return CGPointApplyAffineTransform(p, m_t); }

CGSize NSAffineTransform::transformSize(CGSize s) const { return CGSizeApplyAffineTransform(s, m_t); }

Ref<NSBezierPath> NSAffineTransform::transformBezierPath(const NSBezierPath& path) const
{
    auto copy = path.copy();
    copy->transformUsingAffineTransform(*this);
    return copy;
}

void NSAffineTransform::concat() const
{
    if (auto context = NSGraphicsContext::currentContext())
        CGContextConcatCTM(context->CGContext(), m_t);
}

void NSAffineTransform::set() const
{
    auto context = NSGraphicsContext::currentContext();
    if (!context)
        return;
    const auto& cg = context->CGContext();
    CGContextConcatCTM(cg, CGAffineTransformInvert(CGContextGetCTM(cg)));
    CGContextConcatCTM(cg, m_t);
}

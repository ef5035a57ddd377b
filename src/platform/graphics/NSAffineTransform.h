// The application framework's affine transform, applied to points, sizes,
// paths and the current graphics context.
#pragma once

#include "CGAffineTransform.h"

#include <foundation/NSObject.h>

class NSBezierPath;

class NSAffineTransform : public NSObject {
public:
    static Ref<NSAffineTransform> transform();

    const CGAffineTransform& transformStruct() const { return m_t; }
    void setTransformStruct(const CGAffineTransform& t) { m_t = t; }

    // Each of these makes the new operation happen before the existing ones.
    void translateXBy(CGFloat dx, CGFloat dy);
    void rotateByDegrees(CGFloat degrees);
    void rotateByRadians(CGFloat radians);
    void scaleBy(CGFloat scale);
    void scaleXBy(CGFloat sx, CGFloat sy);
    void appendTransform(const NSAffineTransform& other);
    void prependTransform(const NSAffineTransform& other);
    void invert();

    CGPoint transformPoint(CGPoint) const;
    CGSize transformSize(CGSize) const;
    Ref<NSBezierPath> transformBezierPath(const NSBezierPath&) const;
    // Applies the transform to the current graphics context (concat), or
    // replaces the context's transform with it (set).
    void concat() const;
    void set() const;

private:
    CGAffineTransform m_t;
};

// Four-by-four transforms of layers.
//
// Points are row vectors multiplied on the left, p' = p * M, so the
// translation sits in the bottom row (m41, m42, m43) and the perspective
// term in the last column (m34 = -1 / eye distance). Concatenating a then b
// gives a * b: a acts first. The operations that modify an existing
// transform (Translate, Scale, Rotate) put the new step in front of it:
// CATransform3DTranslate(t, ...) is Concat(MakeTranslation(...), t).
#pragma once

#include <graphics/CGAffineTransform.h>

struct CATransform3D {
    CGFloat m11 { 1 }, m12 { 0 }, m13 { 0 }, m14 { 0 };
    CGFloat m21 { 0 }, m22 { 1 }, m23 { 0 }, m24 { 0 };
    CGFloat m31 { 0 }, m32 { 0 }, m33 { 1 }, m34 { 0 };
    CGFloat m41 { 0 }, m42 { 0 }, m43 { 0 }, m44 { 1 };

    // Exact element-wise equality, as CATransform3DEqualToTransform.
    bool operator==(const CATransform3D&) const = default;

    // Row r, column c, both 0-based.
    CGFloat& at(int r, int c) { return (&m11)[r * 4 + c]; }
    CGFloat at(int r, int c) const { return (&m11)[r * 4 + c]; }
};

inline constexpr CATransform3D CATransform3DIdentity {};

bool CATransform3DIsIdentity(const CATransform3D&);
bool CATransform3DEqualToTransform(const CATransform3D&, const CATransform3D&);
// Whether the transform maps the z = 0 plane like a 2D affine transform:
// no perspective terms and no z coupling.
bool CATransform3DIsAffine(const CATransform3D&);

CATransform3D CATransform3DMakeTranslation(CGFloat tx, CGFloat ty, CGFloat tz);
CATransform3D CATransform3DMakeScale(CGFloat sx, CGFloat sy, CGFloat sz);
// Rotation by angle radians about the axis (x, y, z), counter-clockwise when
// looking down the axis towards the origin. A zero axis gives the identity.
CATransform3D CATransform3DMakeRotation(CGFloat angle, CGFloat x, CGFloat y, CGFloat z);

CATransform3D CATransform3DTranslate(const CATransform3D& t, CGFloat tx, CGFloat ty, CGFloat tz);
CATransform3D CATransform3DScale(const CATransform3D& t, CGFloat sx, CGFloat sy, CGFloat sz);
CATransform3D CATransform3DRotate(const CATransform3D& t, CGFloat angle, CGFloat x, CGFloat y, CGFloat z);
// a, then b: the product a * b.
CATransform3D CATransform3DConcat(const CATransform3D& a, const CATransform3D& b);
// The inverse; a singular transform is returned unchanged.
CATransform3D CATransform3DInvert(const CATransform3D&);

// A point of space in homogeneous coordinates.
struct CAPoint4 {
    CGFloat x { 0 }, y { 0 }, z { 0 }, w { 1 };
};

// p * t for the point (x, y, z, 1).
CAPoint4 CATransform3DApply(const CATransform3D& t, CGFloat x, CGFloat y, CGFloat z = 0);

// The 2D transform a layer transform applies in its plane (m11, m12, m21,
// m22, m41, m42), and the layer transform of a 2D transform.
CGAffineTransform CATransform3DGetAffineTransform(const CATransform3D&);
CATransform3D CATransform3DMakeAffineTransform(const CGAffineTransform&);

#include "CATransform3D.h"

#include <cmath>
#include <utility>

bool CATransform3DIsIdentity(const CATransform3D& t) { return t == CATransform3DIdentity; }

bool CATransform3DEqualToTransform(const CATransform3D& a, const CATransform3D& b) { return a == b; }

bool CATransform3DIsAffine(const CATransform3D& t)
{
    return t.m13 == 0 && t.m14 == 0 && t.m23 == 0 && t.m24 == 0 && t.m31 == 0 && t.m32 == 0 && t.m33 == 1
        && t.m34 == 0 && t.m43 == 0 && t.m44 == 1;
}

CATransform3D CATransform3DMakeTranslation(CGFloat tx, CGFloat ty, CGFloat tz)
{
    CATransform3D t;
    t.m41 = tx;
    t.m42 = ty;
    t.m43 = tz;
    return t;
}

CATransform3D CATransform3DMakeScale(CGFloat sx, CGFloat sy, CGFloat sz)
{
    CATransform3D t;
    t.m11 = sx;
    t.m22 = sy;
    t.m33 = sz;
    return t;
}

CATransform3D CATransform3DMakeRotation(CGFloat angle, CGFloat x, CGFloat y, CGFloat z)
{
    CGFloat length = std::sqrt(x * x + y * y + z * z);
    if (length == 0 || !std::isfinite(length))
        return CATransform3DIdentity;
    x /= length;
    y /= length;
    z /= length;
    CGFloat c = std::cos(angle);
    CGFloat s = std::sin(angle);
    CGFloat k = 1 - c;
    // The transpose of the usual column-vector rotation, since points are rows.
    CATransform3D t;
    t.m11 = k * x * x + c;
    t.m12 = k * x * y + s * z;
    t.m13 = k * x * z - s * y;
    t.m21 = k * x * y - s * z;
    t.m22 = k * y * y + c;
    t.m23 = k * y * z + s * x;
    t.m31 = k * x * z + s * y;
    t.m32 = k * y * z - s * x;
    t.m33 = k * z * z + c;
    return t;
}

CATransform3D CATransform3DConcat(const CATransform3D& a, const CATransform3D& b)
{
    CATransform3D r;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            CGFloat sum = 0;
            for (int k = 0; k < 4; ++k)
                sum += a.at(i, k) * b.at(k, j);
            r.at(i, j) = sum;
        }
    }
    return r;
}

CATransform3D CATransform3DTranslate(const CATransform3D& t, CGFloat tx, CGFloat ty, CGFloat tz)
{
    return CATransform3DConcat(CATransform3DMakeTranslation(tx, ty, tz), t);
}

CATransform3D CATransform3DScale(const CATransform3D& t, CGFloat sx, CGFloat sy, CGFloat sz)
{
    return CATransform3DConcat(CATransform3DMakeScale(sx, sy, sz), t);
}

CATransform3D CATransform3DRotate(const CATransform3D& t, CGFloat angle, CGFloat x, CGFloat y, CGFloat z)
{
    return CATransform3DConcat(CATransform3DMakeRotation(angle, x, y, z), t);
}

CATransform3D CATransform3DInvert(const CATransform3D& t)
{
    // Gauss-Jordan elimination with partial pivoting on [t | I].
    CGFloat a[4][8];
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            a[i][j] = t.at(i, j);
            a[i][j + 4] = i == j ? 1 : 0;
        }
    }
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r) {
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col]))
                pivot = r;
        }
        if (std::fabs(a[pivot][col]) < 1e-12)
            return t;
        if (pivot != col) {
            for (int j = 0; j < 8; ++j)
                std::swap(a[pivot][j], a[col][j]);
        }
        CGFloat scale = 1 / a[col][col];
        for (int j = 0; j < 8; ++j)
            a[col][j] *= scale;
        for (int r = 0; r < 4; ++r) {
            if (r == col || a[r][col] == 0)
                continue;
            CGFloat f = a[r][col];
            for (int j = 0; j < 8; ++j)
                a[r][j] -= f * a[col][j];
        }
    }
    CATransform3D inverse;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j)
            inverse.at(i, j) = a[i][j + 4];
    }
    return inverse;
}

CAPoint4 CATransform3DApply(const CATransform3D& t, CGFloat x, CGFloat y, CGFloat z)
{
    return {
        x * t.m11 + y * t.m21 + z * t.m31 + t.m41,
        x * t.m12 + y * t.m22 + z * t.m32 + t.m42,
        x * t.m13 + y * t.m23 + z * t.m33 + t.m43,
        x * t.m14 + y * t.m24 + z * t.m34 + t.m44,
    };
}

CGAffineTransform CATransform3DGetAffineTransform(const CATransform3D& t)
{
    return { t.m11, t.m12, t.m21, t.m22, t.m41, t.m42 };
}

CATransform3D CATransform3DMakeAffineTransform(const CGAffineTransform& a)
{
    CATransform3D t;
    t.m11 = a.a;
    t.m12 = a.b;
    t.m21 = a.c;
    t.m22 = a.d;
    t.m41 = a.tx;
    t.m42 = a.ty;
    return t;
}

#include "LayerGeometry.h"

#include "CALayer.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ca {

Homography Homography::fromTransform(const CATransform3D& t)
{
    Homography h;
    h.m[0][0] = t.m11;
    h.m[0][1] = t.m12;
    h.m[0][2] = t.m14;
    h.m[1][0] = t.m21;
    h.m[1][1] = t.m22;
    h.m[1][2] = t.m24;
    h.m[2][0] = t.m41;
    h.m[2][1] = t.m42;
    h.m[2][2] = t.m44;
    return h;
}

Homography Homography::fromAffine(const CGAffineTransform& t)
{
    Homography h;
    h.m[0][0] = t.a;
    h.m[0][1] = t.b;
    h.m[0][2] = 0;
    h.m[1][0] = t.c;
    h.m[1][1] = t.d;
    h.m[1][2] = 0;
    h.m[2][0] = t.tx;
    h.m[2][1] = t.ty;
    h.m[2][2] = 1;
    return h;
}

Homography Homography::then(const Homography& other) const
{
    Homography r;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j)
            r.m[i][j] = m[i][0] * other.m[0][j] + m[i][1] * other.m[1][j] + m[i][2] * other.m[2][j];
    }
    return r;
}

double Homography::determinant() const
{
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0])
        + m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

std::optional<Homography> Homography::inverse() const
{
    double det = determinant();
    if (!std::isfinite(det) || std::fabs(det) < 1e-15)
        return std::nullopt;
    Homography r;
    r.m[0][0] = (m[1][1] * m[2][2] - m[1][2] * m[2][1]) / det;
    r.m[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) / det;
    r.m[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) / det;
    r.m[1][0] = (m[1][2] * m[2][0] - m[1][0] * m[2][2]) / det;
    r.m[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) / det;
    r.m[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) / det;
    r.m[2][0] = (m[1][0] * m[2][1] - m[1][1] * m[2][0]) / det;
    r.m[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) / det;
    r.m[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) / det;
    return r;
}

CGAffineTransform Homography::affine() const
{
    double w = m[2][2];
    return { m[0][0] / w, m[0][1] / w, m[1][0] / w, m[1][1] / w, m[2][0] / w, m[2][1] / w };
}

std::optional<CGPoint> Homography::map(CGPoint p) const
{
    double X, Y, W;
    apply(p.x, p.y, X, Y, W);
    if (!(W >= kNearPlaneW))
        return std::nullopt;
    return CGPoint { X / W, Y / W };
}

CATransform3D layerToSuperlayerTransform(const CALayer& layer, const CALayer* superlayer)
{
    CGRect b = layer.bounds();
    CGPoint a = layer.anchorPoint();
    CGPoint p = layer.position();
    double ax = b.origin.x + a.x * b.size.width;
    double ay = b.origin.y + a.y * b.size.height;
    CATransform3D m;
    if (CATransform3DIsIdentity(layer.transform())) {
        m = CATransform3DMakeTranslation(p.x - ax, p.y - ay, layer.zPosition());
    } else {
        m = CATransform3DConcat(CATransform3DMakeTranslation(-ax, -ay, 0), layer.transform());
        m = CATransform3DConcat(m, CATransform3DMakeTranslation(p.x, p.y, layer.zPosition()));
    }
    if (superlayer && !CATransform3DIsIdentity(superlayer->sublayerTransform())) {
        CGRect sb = superlayer->bounds();
        CGPoint sa = superlayer->anchorPoint();
        double sx = sb.origin.x + sa.x * sb.size.width;
        double sy = sb.origin.y + sa.y * sb.size.height;
        m = CATransform3DConcat(m, CATransform3DMakeTranslation(-sx, -sy, 0));
        m = CATransform3DConcat(m, superlayer->sublayerTransform());
        m = CATransform3DConcat(m, CATransform3DMakeTranslation(sx, sy, 0));
    }
    return m;
}

std::optional<CGPoint> unproject(const Homography& h, CGPoint p)
{
    auto inverse = h.inverse();
    if (!inverse)
        return std::nullopt;
    double u, v, w;
    inverse->apply(p.x, p.y, u, v, w);
    if (w == 0 || !std::isfinite(w))
        return std::nullopt;
    CGPoint local { u / w, v / w };
    // The line of sight through p meets the layer's plane in front of the
    // eye only when the plane point maps forward with a positive w.
    double X, Y, W;
    h.apply(local.x, local.y, X, Y, W);
    if (!(W >= kNearPlaneW))
        return std::nullopt;
    return local;
}

double layerDepth(const CALayer& layer, const CATransform3D& toSuperlayer)
{
    CGRect b = layer.bounds();
    return CATransform3DApply(toSuperlayer, b.origin.x + b.size.width / 2, b.origin.y + b.size.height / 2).z;
}

std::vector<CGPoint> projectRect(const Homography& h, CGRect rect)
{
    struct P {
        double X, Y, W;
    };
    double x0 = rect.origin.x, y0 = rect.origin.y;
    double x1 = x0 + rect.size.width, y1 = y0 + rect.size.height;
    P corners[4];
    h.apply(x0, y0, corners[0].X, corners[0].Y, corners[0].W);
    h.apply(x1, y0, corners[1].X, corners[1].Y, corners[1].W);
    h.apply(x1, y1, corners[2].X, corners[2].Y, corners[2].W);
    h.apply(x0, y1, corners[3].X, corners[3].Y, corners[3].W);
    std::vector<P> clipped;
    for (int i = 0; i < 4; ++i) {
        const P& a = corners[i];
        const P& b = corners[(i + 1) % 4];
        bool aIn = a.W >= kNearPlaneW, bIn = b.W >= kNearPlaneW;
        if (aIn)
            clipped.push_back(a);
        if (aIn != bIn) {
            double t = (kNearPlaneW - a.W) / (b.W - a.W);
            clipped.push_back({ a.X + (b.X - a.X) * t, a.Y + (b.Y - a.Y) * t, kNearPlaneW });
        }
    }
    std::vector<CGPoint> points;
    points.reserve(clipped.size());
    for (const P& p : clipped)
        points.push_back({ p.X / p.W, p.Y / p.W });
    return points;
}

CGRect boundingBox(const std::vector<CGPoint>& points)
{
    if (points.empty())
        return CGRectNull;
    double minX = std::numeric_limits<double>::infinity(), minY = minX;
    double maxX = -minX, maxY = -minX;
    for (const CGPoint& p : points) {
        minX = std::min(minX, p.x);
        minY = std::min(minY, p.y);
        maxX = std::max(maxX, p.x);
        maxY = std::max(maxY, p.y);
    }
    return CGRectMake(minX, minY, maxX - minX, maxY - minY);
}

}

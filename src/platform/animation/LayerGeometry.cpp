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

std::optional<double> depthAtPoint(const CATransform3D& t, CGPoint p)
{
    auto local = unproject(Homography::fromTransform(t), p);
    if (!local)
        return std::nullopt;
    auto q = CATransform3DApply(t, local->x, local->y, 0);
    if (!(q.w > 0))
        return std::nullopt;
    return q.z / q.w;
}

namespace {

double signedArea(const std::vector<CGPoint>& polygon)
{
    double area = 0;
    for (size_t i = 0; i < polygon.size(); ++i) {
        const CGPoint& a = polygon[i];
        const CGPoint& b = polygon[(i + 1) % polygon.size()];
        area += a.x * b.y - b.x * a.y;
    }
    return area / 2;
}

// The part of a convex polygon inside another convex polygon.
std::vector<CGPoint> clipConvex(std::vector<CGPoint> subject, const std::vector<CGPoint>& clip)
{
    double orientation = signedArea(clip) >= 0 ? 1 : -1;
    for (size_t i = 0; i < clip.size() && !subject.empty(); ++i) {
        const CGPoint& a = clip[i];
        const CGPoint& b = clip[(i + 1) % clip.size()];
        auto side = [&](const CGPoint& p) { return orientation * ((b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x)); };
        std::vector<CGPoint> out;
        for (size_t j = 0; j < subject.size(); ++j) {
            const CGPoint& p = subject[j];
            const CGPoint& q = subject[(j + 1) % subject.size()];
            double sp = side(p), sq = side(q);
            if (sp >= 0)
                out.push_back(p);
            if ((sp >= 0) != (sq >= 0)) {
                double t = sp / (sp - sq);
                out.push_back({ p.x + (q.x - p.x) * t, p.y + (q.y - p.y) * t });
            }
        }
        subject = std::move(out);
    }
    return subject;
}

bool isFlat(const CATransform3D& t)
{
    return t.m13 == 0 && t.m23 == 0 && t.m14 == 0 && t.m24 == 0 && t.m44 == 1;
}

}

std::vector<size_t> drawingOrder(const std::vector<DepthItem>& items)
{
    size_t n = items.size();
    std::vector<double> centreDepth(n);
    bool flat = true;
    for (size_t i = 0; i < n; ++i) {
        const CGRect& b = items[i].bounds;
        centreDepth[i]
            = CATransform3DApply(items[i].toSuperlayer, b.origin.x + b.size.width / 2, b.origin.y + b.size.height / 2).z;
        flat = flat && isFlat(items[i].toSuperlayer);
    }
    std::vector<size_t> byCentre(n);
    for (size_t i = 0; i < n; ++i)
        byCentre[i] = i;
    std::stable_sort(byCentre.begin(), byCentre.end(), [&](size_t a, size_t b) { return centreDepth[a] < centreDepth[b]; });
    // Pairs grow with the square of the count; past a few hundred siblings
    // the centre order has to do.
    constexpr size_t kMaxPairwise = 256;
    if (flat || n < 2 || n > kMaxPairwise)
        return byCentre;

    std::vector<std::vector<CGPoint>> pictures(n);
    for (size_t i = 0; i < n; ++i)
        pictures[i] = projectRect(Homography::fromTransform(items[i].toSuperlayer), items[i].bounds);

    // behind[j] lists the siblings that must be drawn before j.
    std::vector<std::vector<size_t>> before(n);
    std::vector<size_t> pending(n, 0);
    constexpr double kMinOverlap = 1e-3;
    constexpr double kDepthMargin = 1e-9;
    for (size_t a = 0; a < n; ++a) {
        if (pictures[a].size() < 3)
            continue;
        for (size_t b = a + 1; b < n; ++b) {
            if (pictures[b].size() < 3)
                continue;
            auto overlap = clipConvex(pictures[a], pictures[b]);
            if (overlap.size() < 3 || std::fabs(signedArea(overlap)) < kMinOverlap)
                continue;
            CGPoint centre {};
            for (const CGPoint& p : overlap) {
                centre.x += p.x / overlap.size();
                centre.y += p.y / overlap.size();
            }
            auto da = depthAtPoint(items[a].toSuperlayer, centre);
            auto db = depthAtPoint(items[b].toSuperlayer, centre);
            if (!da || !db || std::fabs(*da - *db) <= kDepthMargin)
                continue;
            size_t back = *da < *db ? a : b, front = back == a ? b : a;
            before[back].push_back(front);
            ++pending[front];
        }
    }
    // Kahn's order, taking the earliest ready sibling in centre order; a
    // cycle is broken at its earliest member.
    std::vector<size_t> order;
    std::vector<bool> done(n, false);
    order.reserve(n);
    while (order.size() < n) {
        size_t pick = n;
        for (size_t i : byCentre) {
            if (!done[i] && pending[i] == 0) {
                pick = i;
                break;
            }
        }
        if (pick == n) {
            for (size_t i : byCentre) {
                if (!done[i]) {
                    pick = i;
                    break;
                }
            }
        }
        done[pick] = true;
        order.push_back(pick);
        for (size_t f : before[pick]) {
            if (pending[f] > 0)
                --pending[f];
        }
    }
    return order;
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

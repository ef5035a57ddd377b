// Internal: the plane-to-plane maps of the layer renderer, hit testing and
// point conversion.
#pragma once

#include "CATransform3D.h"

#include <graphics/CGAffineTransform.h>

#include <optional>
#include <vector>

class CALayer;

namespace ca {

// Smallest w a projected point may have to count as in front of the eye.
inline constexpr double kNearPlaneW = 1e-4;

// A homography of the plane in the row-vector convention:
// [x y 1] * H = [X Y W], the image point being (X / W, Y / W).
struct Homography {
    double m[3][3] { { 1, 0, 0 }, { 0, 1, 0 }, { 0, 0, 1 } };

    // How a layer's z = 0 plane maps through a 4x4 transform, dropping z.
    static Homography fromTransform(const CATransform3D&);
    static Homography fromAffine(const CGAffineTransform&);
    // This map, then other.
    Homography then(const Homography& other) const;
    std::optional<Homography> inverse() const;
    double determinant() const;
    // No perspective terms: the map is affine.
    bool isAffine() const { return m[0][2] == 0 && m[1][2] == 0 && m[2][2] > 0; }
    CGAffineTransform affine() const;
    void apply(double x, double y, double& X, double& Y, double& W) const
    {
        X = x * m[0][0] + y * m[1][0] + m[2][0];
        Y = x * m[0][1] + y * m[1][1] + m[2][1];
        W = x * m[0][2] + y * m[1][2] + m[2][2];
    }
    // The image point, or nothing when it lies behind the eye.
    std::optional<CGPoint> map(CGPoint p) const;
};

// The transform from a layer's space to its superlayer's, from the given
// property holders (model layers, or presentation copies when rendering).
CATransform3D layerToSuperlayerTransform(const CALayer& layer, const CALayer* superlayer);

// Maps the point of the superlayer's plane back onto the layer's plane;
// nothing when it would lie behind the eye.
std::optional<CGPoint> unproject(const Homography& layerToSuperlayer, CGPoint pointInSuperlayer);

// A single-sided layer whose projection reverses orientation faces away.
inline bool facesAway(const Homography& h) { return h.determinant() < 0; }

// Depth (z / w, larger is nearer) of the layer's plane where it shows at a
// point of the superlayer's plane; nothing when the plane is not there.
std::optional<double> depthAtPoint(const CATransform3D& toSuperlayer, CGPoint pointInSuperlayer);

struct DepthItem {
    CATransform3D toSuperlayer;
    CGRect bounds;
};

// The order to draw siblings in, back to front. Flat siblings go by the
// depth of their centres (zPosition), then by their order. Once any sibling
// leaves the plane, every pair whose pictures overlap is ordered by their
// depths at a point of the overlap, which puts parallel planes at one depth
// (the two wings of a cover flow) in the order the eye sees them; the
// centre depths settle the rest, and cycles.
std::vector<size_t> drawingOrder(const std::vector<DepthItem>& items);

// The polygon of the rectangle's corners mapped through h, cut at the near
// plane (w >= kNearPlaneW) and divided through: empty when the rectangle is
// wholly behind the eye.
std::vector<CGPoint> projectRect(const Homography& h, CGRect rect);

CGRect boundingBox(const std::vector<CGPoint>& points);

}

// Internal: draws layer trees with Cairo.
//
// Each layer draws, in its bounds space: its shadow, its background (rounded
// by cornerRadius), its contents image, its own content (paths, text), its
// sublayers back to front (clipped to the rounded bounds with masksToBounds),
// and its border on top; then its mask and opacity apply to the whole.
// A sublayer whose transform keeps its plane affine is drawn straight
// through the Cairo transform. Any other (a 3D rotation under perspective)
// is flattened into an offscreen image at a resolution fitting its on-screen
// size (a layer showing only a contents image no finer than that is sampled
// from the image directly), then drawn by inverse-homography sampling: every destination pixel
// is mapped back onto the layer's plane and the image sampled there,
// bilinearly. The part of the plane behind the eye is cut away first.
#pragma once

#include "LayerGeometry.h"

#include <graphics/CGContext.h>

#include <cairo.h>
#include <optional>
#include <span>
#include <vector>

class CALayer;

namespace ca {

class LayerRenderer {
public:
    static void render(CALayer& root, const CGContextRef& context);
    // The layer's content (background, contents, sublayers, border; no
    // shadow, mask or opacity) as an image; rect receives the part of the
    // layer's space it covers.
    static CGImageRef snapshot(CALayer& layer, CGRect& rect);

private:
    static void prepare(CALayer&);
    static void drawBody(cairo_t*, const CALayer& model, const CALayer& state);
    static void drawContent(cairo_t*, const CALayer& model, const CALayer& state);
    // `covered`: device-space areas that siblings drawn later paint fully
    // opaque; a layer in perspective samples none of their pixels.
    static void drawSublayer(cairo_t*, const CALayer& model, const CALayer& state, const CATransform3D& toSuperlayer,
        std::span<const std::vector<CGPoint>> covered = {});
    static void drawProjected(cairo_t*, const CALayer& model, const CALayer& state, const Homography& toSuperlayer,
        std::span<const std::vector<CGPoint>> covered);
    // The device-space area the sublayer paints fully opaque when drawn
    // into cr, shrunk to be safe; empty when there is none to rely on.
    static std::vector<CGPoint> opaqueArea(cairo_t*, const CALayer& model, const CALayer& state,
        const CATransform3D& toSuperlayer);
    // The contents image a layer in perspective may be sampled from
    // directly, with the map from the layer's space onto its pixels; none
    // when the layer must be flattened at `scale` pixels per point first.
    struct DirectSource {
        cairo_surface_t* surface;
        CGAffineTransform layerToPixels;
    };
    static std::optional<DirectSource> directSource(const CALayer& model, const CALayer& state, double scale);
    static void drawShadow(cairo_t*, const CALayer& model, const CALayer& state, cairo_pattern_t* content);
    static cairo_pattern_t* applyTransition(cairo_t*, const CALayer& model, cairo_pattern_t* content);
    static cairo_pattern_t* applyMask(cairo_t*, const CALayer& model, const CALayer& state, cairo_pattern_t* content);
    // The part of the layer's space its drawing may cover.
    static CGRect extent(const CALayer& model, const CALayer& state, bool withShadow = true);
};

}

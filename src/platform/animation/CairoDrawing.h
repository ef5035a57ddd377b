// Internal: Cairo drawing steps shared by the layer renderer and the layer
// classes. The user space of the cairo_t is a layer's bounds space (y up).
#pragma once

#include <graphics/CGColor.h>
#include <graphics/CGImage.h>
#include <graphics/CGPath.h>

#include <cairo.h>

namespace ca {

// Sets the colour, its alpha multiplied by alpha, as the source. NO (and
// nothing set) for a null or fully transparent colour.
bool setSourceColor(cairo_t*, const CGColorRef&, double alpha = 1);
void addPath(cairo_t*, const CGPathRef&);
// The rounded rectangle of a layer: the radius is kept within half the
// shorter side.
void addRoundedRect(cairo_t*, CGRect rect, double radius);
double clampedCornerRadius(CGRect rect, double radius);
// Draws the image upright in rect (its top row along the rect's maximum-y
// edge), filtered, with an alpha.
void drawImage(cairo_t*, const CGImageRef&, CGRect rect, double alpha = 1);
// Paints the current source through the image's alpha, placed as drawImage
// places it.
void maskWithImage(cairo_t*, const CGImageRef&, CGRect rect);
// The device-space bounding box of a user-space rectangle.
CGRect userToDeviceRect(cairo_t*, CGRect rect);
// The current clip's bounding box in device space.
CGRect deviceClipExtents(cairo_t*);
// Blurs an A8 image surface in place with three box passes approximating a
// Gaussian of the given standard deviation in pixels.
void blurAlphaSurface(cairo_surface_t*, double sigma);

}

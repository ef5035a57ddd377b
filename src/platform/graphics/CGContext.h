// Bitmap drawing contexts of Core Graphics, drawn with Cairo.
//
// Coordinates: a bitmap context's user space starts with its origin at the
// bottom-left corner of the bitmap and y growing upwards; one unit is one
// pixel. Row 0 of the bitmap's memory is the top row. CGContextGetCTM
// reports the transform relative to that space (identity at creation).
//
// Memory layouts a bitmap context can draw into (others give null):
// - RGB, 8 bits per component, 32 bits per pixel, alpha premultiplied
//   (first or last) or skipped, either byte order. The Cairo-native layout
//   is kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little;
//   every other layout is converted at its boundary.
// - Device gray, 8 bits per pixel, no alpha.
// - No colour space, kCGImageAlphaOnly, 8 bits per pixel.
#pragma once

#include "CGAffineTransform.h"
#include "CGColor.h"
#include "CGGradient.h"
#include "CGImage.h"
#include "CGPath.h"
#include "GraphicsTypes.h"

#include <functional>
#include <vector>

typedef struct _cairo cairo_t;

namespace gfx {
class PixelStore;
}

class CGContext {
public:
    CGContext(Ref<gfx::PixelStore> store, CGColorSpaceRef space);
    ~CGContext();
    CGContext(const CGContext&) = delete;
    CGContext& operator=(const CGContext&) = delete;

    // The graphics state that Cairo does not keep itself.
    struct GState {
        CGColorRef fillColor;
        CGColorRef strokeColor;
        CGFloat alpha { 1 };
        CGBlendMode blendMode { kCGBlendModeNormal };
        CGInterpolationQuality interpolation { kCGInterpolationDefault };
        CGFloat flatness { 0.1 };
        // Device-space coverage set by CGContextClipToMask (an A8 surface).
        Ref<void> clipMask;
        // The shadow cast by every drawing operation: an offset in base
        // space (y up), a blur radius and a colour; no colour, no shadow.
        CGSize shadowOffset {};
        CGFloat shadowBlur { 0 };
        CGColorRef shadowColor;
        // NSSetFocusRingStyle: -1 none, else the NSFocusRingPlacement.
        int focusRingPlacement { -1 };
    };

    GState& gstate() { return m_stack.back(); }
    const GState& gstate() const { return m_stack.back(); }
    void saveGState();
    void restoreGState();
    cairo_t* cairo() const { return m_cr; }
    gfx::PixelStore& store() const { return *m_store; }
    const Ref<gfx::PixelStore>& storeRef() const { return m_store; }
    const CGColorSpaceRef& colorSpace() const { return m_space; }
    size_t width() const;
    size_t height() const;

    // Runs a drawing operation on the Cairo context: keeps the pixel memory
    // in step, casts the shadow when one is set and applies a mask clip when
    // there is one.
    void draw(const std::function<void(cairo_t*)>& operation);
    // Paints the current Cairo source over the current clip with the
    // context's alpha (times extra) and blend mode.
    void paintSource(CGFloat extraAlpha = 1);
    void applyBlendMode();

private:
    void drawWithShadow(const std::function<void(cairo_t*)>& operation);
    Ref<gfx::PixelStore> m_store;
    CGColorSpaceRef m_space;
    cairo_t* m_cr { nullptr };
    std::vector<GState> m_stack;
};

using CGContextRef = Ref<CGContext>;

// data may be null (the context allocates cleared memory); bytesPerRow 0
// lets the context choose. A caller's memory is kept up to date after
// every drawing operation.
CGContextRef CGBitmapContextCreate(void* data, size_t width, size_t height, size_t bitsPerComponent,
    size_t bytesPerRow, const CGColorSpaceRef& space, CGBitmapInfo bitmapInfo);
void* CGBitmapContextGetData(const CGContextRef&);
size_t CGBitmapContextGetWidth(const CGContextRef&);
size_t CGBitmapContextGetHeight(const CGContextRef&);
size_t CGBitmapContextGetBitsPerComponent(const CGContextRef&);
size_t CGBitmapContextGetBitsPerPixel(const CGContextRef&);
size_t CGBitmapContextGetBytesPerRow(const CGContextRef&);
CGColorSpaceRef CGBitmapContextGetColorSpace(const CGContextRef&);
CGImageAlphaInfo CGBitmapContextGetAlphaInfo(const CGContextRef&);
CGBitmapInfo CGBitmapContextGetBitmapInfo(const CGContextRef&);
// A copy of the context's pixels, in the context's own layout.
CGImageRef CGBitmapContextCreateImage(const CGContextRef&);

void CGContextSaveGState(const CGContextRef&);
void CGContextRestoreGState(const CGContextRef&);
void CGContextFlush(const CGContextRef&);

void CGContextTranslateCTM(const CGContextRef&, CGFloat tx, CGFloat ty);
void CGContextScaleCTM(const CGContextRef&, CGFloat sx, CGFloat sy);
void CGContextRotateCTM(const CGContextRef&, CGFloat angle);
void CGContextConcatCTM(const CGContextRef&, const CGAffineTransform&);
CGAffineTransform CGContextGetCTM(const CGContextRef&);
CGPoint CGContextConvertPointToDeviceSpace(const CGContextRef&, CGPoint);
CGPoint CGContextConvertPointToUserSpace(const CGContextRef&, CGPoint);

void CGContextSetFillColorWithColor(const CGContextRef&, const CGColorRef&);
void CGContextSetStrokeColorWithColor(const CGContextRef&, const CGColorRef&);
void CGContextSetRGBFillColor(const CGContextRef&, CGFloat r, CGFloat g, CGFloat b, CGFloat a);
void CGContextSetRGBStrokeColor(const CGContextRef&, CGFloat r, CGFloat g, CGFloat b, CGFloat a);
void CGContextSetGrayFillColor(const CGContextRef&, CGFloat gray, CGFloat a);
void CGContextSetGrayStrokeColor(const CGContextRef&, CGFloat gray, CGFloat a);
void CGContextSetAlpha(const CGContextRef&, CGFloat alpha);
void CGContextSetBlendMode(const CGContextRef&, CGBlendMode);
void CGContextSetInterpolationQuality(const CGContextRef&, CGInterpolationQuality);
CGInterpolationQuality CGContextGetInterpolationQuality(const CGContextRef&);
// The shadow that later drawing casts (part of the graphics state). The
// offset is in base space, y up, unaffected by the transform; the blur is a
// radius in pixels. A null or clear colour turns the shadow off.
void CGContextSetShadowWithColor(const CGContextRef&, CGSize offset, CGFloat blur, const CGColorRef& color);
// Black at a third of full opacity, the platform's default shadow colour.
void CGContextSetShadow(const CGContextRef&, CGSize offset, CGFloat blur);
void CGContextSetShouldAntialias(const CGContextRef&, bool);
void CGContextSetFlatness(const CGContextRef&, CGFloat);
void CGContextSetLineWidth(const CGContextRef&, CGFloat);
void CGContextSetLineCap(const CGContextRef&, CGLineCap);
void CGContextSetLineJoin(const CGContextRef&, CGLineJoin);
void CGContextSetMiterLimit(const CGContextRef&, CGFloat);
void CGContextSetLineDash(const CGContextRef&, CGFloat phase, const CGFloat* lengths, size_t count);

void CGContextBeginPath(const CGContextRef&);
void CGContextMoveToPoint(const CGContextRef&, CGFloat x, CGFloat y);
void CGContextAddLineToPoint(const CGContextRef&, CGFloat x, CGFloat y);
void CGContextAddCurveToPoint(const CGContextRef&, CGFloat cp1x, CGFloat cp1y, CGFloat cp2x, CGFloat cp2y, CGFloat x,
    CGFloat y);
void CGContextAddQuadCurveToPoint(const CGContextRef&, CGFloat cpx, CGFloat cpy, CGFloat x, CGFloat y);
void CGContextClosePath(const CGContextRef&);
void CGContextAddRect(const CGContextRef&, CGRect);
void CGContextAddEllipseInRect(const CGContextRef&, CGRect);
void CGContextAddArc(const CGContextRef&, CGFloat x, CGFloat y, CGFloat radius, CGFloat startAngle, CGFloat endAngle,
    int clockwise);
void CGContextAddArcToPoint(const CGContextRef&, CGFloat x1, CGFloat y1, CGFloat x2, CGFloat y2, CGFloat radius);
void CGContextAddPath(const CGContextRef&, const CGPathRef&);
bool CGContextIsPathEmpty(const CGContextRef&);
CGRect CGContextGetPathBoundingBox(const CGContextRef&);

void CGContextFillPath(const CGContextRef&);
void CGContextEOFillPath(const CGContextRef&);
void CGContextStrokePath(const CGContextRef&);
void CGContextDrawPath(const CGContextRef&, CGPathDrawingMode);
void CGContextFillRect(const CGContextRef&, CGRect);
void CGContextFillRects(const CGContextRef&, const CGRect* rects, size_t count);
void CGContextStrokeRect(const CGContextRef&, CGRect);
void CGContextStrokeRectWithWidth(const CGContextRef&, CGRect, CGFloat width);
void CGContextFillEllipseInRect(const CGContextRef&, CGRect);
void CGContextStrokeEllipseInRect(const CGContextRef&, CGRect);
// Makes the rect fully transparent, whatever the blend mode.
void CGContextClearRect(const CGContextRef&, CGRect);

void CGContextClip(const CGContextRef&);
void CGContextEOClip(const CGContextRef&);
void CGContextClipToRect(const CGContextRef&, CGRect);
void CGContextClipToRects(const CGContextRef&, const CGRect* rects, size_t count);
// Limits drawing to the mask's coverage inside rect (outside rect nothing
// is drawn). An image mask covers where its samples are 0; a gray or
// alpha-only image covers in proportion to its samples; an image with alpha
// covers by its alpha.
void CGContextClipToMask(const CGContextRef&, CGRect rect, const CGImageRef& mask);
CGRect CGContextGetClipBoundingBox(const CGContextRef&);

// Draws the image upright in rect: its top row along the rect's maximum-y
// edge in user space. An image mask paints the fill colour where it covers.
void CGContextDrawImage(const CGContextRef&, CGRect rect, const CGImageRef& image);
void CGContextDrawLinearGradient(const CGContextRef&, const CGGradientRef&, CGPoint start, CGPoint end,
    CGGradientDrawingOptions options);

// Lets platform code draw with Cairo directly, inside the context's
// current state (transform, clip, mask clip) with the memory kept in step.
void CGContextDrawWithCairo(const CGContextRef&, const std::function<void(cairo_t*)>& operation);

// Saves the context's graphics state on construction and restores it on
// destruction (CGContextSaveGState / CGContextRestoreGState).
class CGContextStateSaver {
public:
    explicit CGContextStateSaver(CGContextRef context)
        : m_context(std::move(context))
    {
        CGContextSaveGState(m_context);
    }
    ~CGContextStateSaver() { CGContextRestoreGState(m_context); }
    CGContextStateSaver(const CGContextStateSaver&) = delete;
    CGContextStateSaver& operator=(const CGContextStateSaver&) = delete;

private:
    CGContextRef m_context;
};

#include "CGContext.h"

#include "internal/PathGeometry.h"
#include "internal/PixelStore.h"

#include <algorithm>
#include <cairo.h>
#include <cmath>

using gfx::PixelStore;

namespace {

cairo_operator_t cairoOperator(CGBlendMode mode)
{
    switch (mode) {
    case kCGBlendModeNormal:
        return CAIRO_OPERATOR_OVER;
    case kCGBlendModeMultiply:
        return CAIRO_OPERATOR_MULTIPLY;
    case kCGBlendModeScreen:
        return CAIRO_OPERATOR_SCREEN;
    case kCGBlendModeOverlay:
        return CAIRO_OPERATOR_OVERLAY;
    case kCGBlendModeDarken:
        return CAIRO_OPERATOR_DARKEN;
    case kCGBlendModeLighten:
        return CAIRO_OPERATOR_LIGHTEN;
    case kCGBlendModeColorDodge:
        return CAIRO_OPERATOR_COLOR_DODGE;
    case kCGBlendModeColorBurn:
        return CAIRO_OPERATOR_COLOR_BURN;
    case kCGBlendModeSoftLight:
        return CAIRO_OPERATOR_SOFT_LIGHT;
    case kCGBlendModeHardLight:
        return CAIRO_OPERATOR_HARD_LIGHT;
    case kCGBlendModeDifference:
        return CAIRO_OPERATOR_DIFFERENCE;
    case kCGBlendModeExclusion:
        return CAIRO_OPERATOR_EXCLUSION;
    case kCGBlendModeHue:
        return CAIRO_OPERATOR_HSL_HUE;
    case kCGBlendModeSaturation:
        return CAIRO_OPERATOR_HSL_SATURATION;
    case kCGBlendModeColor:
        return CAIRO_OPERATOR_HSL_COLOR;
    case kCGBlendModeLuminosity:
        return CAIRO_OPERATOR_HSL_LUMINOSITY;
    case kCGBlendModeClear:
        return CAIRO_OPERATOR_CLEAR;
    case kCGBlendModeCopy:
        return CAIRO_OPERATOR_SOURCE;
    case kCGBlendModeSourceIn:
        return CAIRO_OPERATOR_IN;
    case kCGBlendModeSourceOut:
        return CAIRO_OPERATOR_OUT;
    case kCGBlendModeSourceAtop:
        return CAIRO_OPERATOR_ATOP;
    case kCGBlendModeDestinationOver:
        return CAIRO_OPERATOR_DEST_OVER;
    case kCGBlendModeDestinationIn:
        return CAIRO_OPERATOR_DEST_IN;
    case kCGBlendModeDestinationOut:
        return CAIRO_OPERATOR_DEST_OUT;
    case kCGBlendModeDestinationAtop:
        return CAIRO_OPERATOR_DEST_ATOP;
    case kCGBlendModeXOR:
        return CAIRO_OPERATOR_XOR;
    case kCGBlendModePlusLighter:
        return CAIRO_OPERATOR_ADD;
    case kCGBlendModePlusDarker:
        // Cairo has no plus-darker; nothing in the system draws with it.
        return CAIRO_OPERATOR_OVER;
    }
    return CAIRO_OPERATOR_OVER;
}

// Operators that Cairo applies beyond the drawn shape (over the whole clip);
// the platform limits every operation to its shape, so these go through a
// clip of the shape and a paint.
bool reachesBeyondShape(CGBlendMode mode)
{
    switch (mode) {
    case kCGBlendModeCopy:
    case kCGBlendModeSourceIn:
    case kCGBlendModeSourceOut:
    case kCGBlendModeDestinationIn:
    case kCGBlendModeDestinationAtop:
        return true;
    default:
        return false;
    }
}

cairo_matrix_t toCairo(const CGAffineTransform& t) { return { t.a, t.b, t.c, t.d, t.tx, t.ty }; }
CGAffineTransform fromCairo(const cairo_matrix_t& m) { return { m.xx, m.yx, m.xy, m.yy, m.x0, m.y0 }; }

cairo_filter_t cairoFilter(CGInterpolationQuality q)
{
    switch (q) {
    case kCGInterpolationNone:
        return CAIRO_FILTER_NEAREST;
    case kCGInterpolationLow:
        return CAIRO_FILTER_BILINEAR;
    case kCGInterpolationHigh:
        // Cairo's good filter already averages by area when shrinking; its
        // best filter costs about eight times as much on the thumbnails the
        // system makes without a visible difference.
    case kCGInterpolationMedium:
    case kCGInterpolationDefault:
        return CAIRO_FILTER_GOOD;
    }
    return CAIRO_FILTER_GOOD;
}

void setColorSource(cairo_t* cr, const CGColorRef& color)
{
    if (!color) {
        cairo_set_source_rgba(cr, 0, 0, 0, 1);
        return;
    }
    if (const auto& image = color->patternImage()) {
        cairo_surface_t* surface = image->cairoSurface();
        if (!surface) {
            cairo_set_source_rgba(cr, 0, 0, 0, 0);
            return;
        }
        // Tiles start at the user-space origin, upright in a y-up space.
        cairo_pattern_t* pattern = cairo_pattern_create_for_surface(surface);
        cairo_pattern_set_extend(pattern, CAIRO_EXTEND_REPEAT);
        cairo_matrix_t m;
        cairo_matrix_init(&m, 1, 0, 0, -1, 0, double(image->height()));
        cairo_pattern_set_matrix(pattern, &m);
        cairo_set_source(cr, pattern);
        cairo_pattern_destroy(pattern);
        return;
    }
    CGFloat r, g, b, a;
    color->getRGBA(r, g, b, a);
    cairo_set_source_rgba(cr, r, g, b, a);
}

bool isSolid(const CGColorRef& color) { return !color || !color->patternImage(); }

} // namespace

CGContext::CGContext(Ref<PixelStore> store, CGColorSpaceRef space)
    : m_store(std::move(store))
    , m_space(std::move(space))
{
    m_cr = cairo_create(m_store->surface());
    cairo_matrix_t base;
    cairo_matrix_init(&base, 1, 0, 0, -1, 0, double(m_store->format().height));
    cairo_set_matrix(m_cr, &base);
    cairo_set_line_width(m_cr, 1);
    cairo_set_miter_limit(m_cr, 10);
    GState initial;
    initial.fillColor = CGColorGetConstantColor(kCGColorBlack);
    initial.strokeColor = initial.fillColor;
    m_stack.push_back(initial);
}

CGContext::~CGContext() { cairo_destroy(m_cr); }

size_t CGContext::width() const { return m_store->format().width; }
size_t CGContext::height() const { return m_store->format().height; }

void CGContext::saveGState()
{
    cairo_save(m_cr);
    m_stack.push_back(m_stack.back());
}

void CGContext::restoreGState()
{
    // An unbalanced restore is ignored, as the platform does.
    if (m_stack.size() < 2)
        return;
    m_stack.pop_back();
    cairo_restore(m_cr);
}

void CGContext::applyBlendMode() { cairo_set_operator(m_cr, cairoOperator(gstate().blendMode)); }

void CGContext::paintSource(CGFloat extraAlpha)
{
    double a = gstate().alpha * extraAlpha;
    if (gstate().blendMode == kCGBlendModeCopy) {
        // Copy replaces the destination by the source with its alpha; Cairo's
        // source operator would blend the two by that alpha instead.
        cairo_save(m_cr);
        cairo_set_operator(m_cr, CAIRO_OPERATOR_CLEAR);
        cairo_paint(m_cr);
        cairo_restore(m_cr);
        cairo_set_operator(m_cr, CAIRO_OPERATOR_OVER);
    } else {
        applyBlendMode();
    }
    if (a >= 1)
        cairo_paint(m_cr);
    else
        cairo_paint_with_alpha(m_cr, std::max(0.0, a));
}

namespace {

// Three box blurs in a row come close to a Gaussian of the given standard
// deviation; each pass runs over the rows, then over the columns.
void blurAlpha(cairo_surface_t* surface, double sigma)
{
    int radius = int(std::lround(sigma * std::sqrt(3.0)));
    if (radius < 1)
        return;
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    int width = cairo_image_surface_get_width(surface);
    int height = cairo_image_surface_get_height(surface);
    int stride = cairo_image_surface_get_stride(surface);
    std::vector<int> line(size_t(std::max(width, height)));
    int span = 2 * radius + 1;
    auto pass = [&](int count, int length, auto at) {
        for (int n = 0; n < count; ++n) {
            for (int i = 0; i < length; ++i)
                line[size_t(i)] = at(n, i);
            int sum = 0;
            for (int i = -radius; i <= radius; ++i)
                sum += (i >= 0 && i < length) ? line[size_t(i)] : 0;
            for (int i = 0; i < length; ++i) {
                at(n, i) = (unsigned char)(sum / span);
                int out = i - radius;
                int in = i + radius + 1;
                sum += (in < length ? line[size_t(in)] : 0) - (out >= 0 ? line[size_t(out)] : 0);
            }
        }
    };
    for (int round = 0; round < 3; ++round) {
        pass(height, width, [&](int y, int x) -> unsigned char& { return data[y * stride + x]; });
        pass(width, height, [&](int x, int y) -> unsigned char& { return data[y * stride + x]; });
    }
    cairo_surface_mark_dirty(surface);
}

} // namespace

void CGContext::drawWithShadow(const std::function<void(cairo_t*)>& operation)
{
    const GState& gs = gstate();
    // The shape is drawn once into a layer of its own; its coverage, moved
    // and blurred, is painted in the shadow colour first, then the layer.
    cairo_push_group(m_cr);
    operation(m_cr);
    cairo_pattern_t* shape = cairo_pop_group(m_cr);

    int width = int(m_store->format().width);
    int height = int(m_store->format().height);
    cairo_surface_t* coverage = cairo_image_surface_create(CAIRO_FORMAT_A8, width, height);
    cairo_t* acr = cairo_create(coverage);
    cairo_set_source(acr, shape);
    cairo_paint(acr);
    cairo_destroy(acr);
    blurAlpha(coverage, std::max(0.0, gs.shadowBlur) / 2);

    cairo_save(m_cr);
    cairo_identity_matrix(m_cr);
    CGFloat r, g, b, a;
    gs.shadowColor->getRGBA(r, g, b, a);
    cairo_set_source_rgba(m_cr, r, g, b, a * gs.alpha);
    cairo_set_operator(m_cr, CAIRO_OPERATOR_OVER);
    // Device rows grow downwards, so an upward offset moves the shadow up.
    cairo_mask_surface(m_cr, coverage, gs.shadowOffset.width, -gs.shadowOffset.height);
    cairo_set_source(m_cr, shape);
    cairo_paint(m_cr);
    cairo_restore(m_cr);
    cairo_surface_destroy(coverage);
    cairo_pattern_destroy(shape);
}

void CGContext::draw(const std::function<void(cairo_t*)>& plain)
{
    if (!m_store->beginDrawing())
        return;
    std::function<void(cairo_t*)> withShadow;
    if (gstate().shadowColor)
        withShadow = [&](cairo_t*) { drawWithShadow(plain); };
    const auto& operation = withShadow ? withShadow : plain;
    auto* mask = static_cast<cairo_surface_t*>(gstate().clipMask.get());
    if (!mask) {
        operation(m_cr);
    } else {
        // Draw into a copy of the destination, then let the mask choose
        // between the copy and the original pixel by pixel.
        cairo_push_group(m_cr);
        cairo_save(m_cr);
        cairo_identity_matrix(m_cr);
        cairo_set_operator(m_cr, CAIRO_OPERATOR_SOURCE);
        cairo_set_source_surface(m_cr, cairo_get_target(m_cr), 0, 0);
        cairo_paint(m_cr);
        cairo_restore(m_cr);
        operation(m_cr);
        cairo_pattern_t* result = cairo_pop_group(m_cr);
        cairo_save(m_cr);
        cairo_identity_matrix(m_cr);
        cairo_set_operator(m_cr, CAIRO_OPERATOR_SOURCE);
        cairo_set_source(m_cr, result);
        cairo_mask_surface(m_cr, mask, 0, 0);
        cairo_restore(m_cr);
        cairo_pattern_destroy(result);
    }
    m_store->endDrawing();
}

// MARK: Bitmap contexts

CGContextRef CGBitmapContextCreate(void* data, size_t width, size_t height, size_t bitsPerComponent,
    size_t bytesPerRow, const CGColorSpaceRef& space, CGBitmapInfo bitmapInfo)
{
    CGColorSpaceModel model = CGColorSpaceGetModel(space);
    if (bytesPerRow == 0) {
        size_t bytesPerPixel = model == kCGColorSpaceModelRGB ? 4 : 1;
        bytesPerRow = (width * bytesPerPixel + 3) / 4 * 4;
    }
    auto format = gfx::PixelFormat::context(width, height, bitsPerComponent, bytesPerRow, model, bitmapInfo);
    if (!format)
        return nullptr;
    auto store = PixelStore::create(*format, static_cast<uint8_t*>(data));
    if (!store || !store->surface() || cairo_surface_status(store->surface()) != CAIRO_STATUS_SUCCESS)
        return nullptr;
    return makeRef<CGContext>(store, model == kCGColorSpaceModelUnknown ? nullptr : space);
}

void* CGBitmapContextGetData(const CGContextRef& c) { return c ? c->store().mutableBytes() : nullptr; }
size_t CGBitmapContextGetWidth(const CGContextRef& c) { return c ? c->width() : 0; }
size_t CGBitmapContextGetHeight(const CGContextRef& c) { return c ? c->height() : 0; }
size_t CGBitmapContextGetBitsPerComponent(const CGContextRef& c) { return c ? c->store().format().bitsPerComponent : 0; }
size_t CGBitmapContextGetBitsPerPixel(const CGContextRef& c) { return c ? c->store().format().bitsPerPixel : 0; }
size_t CGBitmapContextGetBytesPerRow(const CGContextRef& c) { return c ? c->store().format().bytesPerRow : 0; }
CGColorSpaceRef CGBitmapContextGetColorSpace(const CGContextRef& c) { return c ? c->colorSpace() : nullptr; }
CGImageAlphaInfo CGBitmapContextGetAlphaInfo(const CGContextRef& c)
{
    return c ? c->store().format().alpha : kCGImageAlphaNone;
}
CGBitmapInfo CGBitmapContextGetBitmapInfo(const CGContextRef& c) { return c ? c->store().format().bitmapInfo() : 0; }

CGImageRef CGBitmapContextCreateImage(const CGContextRef& c)
{
    if (!c)
        return nullptr;
    const auto& format = c->store().format();
    const uint8_t* bytes = c->store().bytes();
    auto provider = CGDataProviderCreateWithData(bytes, format.byteCount());
    return makeRef<CGImage>(format, c->colorSpace(), provider, true);
}

// MARK: State

void CGContextSaveGState(const CGContextRef& c)
{
    if (c)
        c->saveGState();
}

void CGContextRestoreGState(const CGContextRef& c)
{
    if (c)
        c->restoreGState();
}

void CGContextFlush(const CGContextRef& c)
{
    if (c)
        c->store().bytes();
}

static CGAffineTransform baseTransform(const CGContext& c)
{
    return CGAffineTransformMake(1, 0, 0, -1, 0, double(c.height()));
}

void CGContextTranslateCTM(const CGContextRef& c, CGFloat tx, CGFloat ty)
{
    if (c)
        cairo_translate(c->cairo(), tx, ty);
}

void CGContextScaleCTM(const CGContextRef& c, CGFloat sx, CGFloat sy)
{
    if (c && sx != 0 && sy != 0)
        cairo_scale(c->cairo(), sx, sy);
}

void CGContextRotateCTM(const CGContextRef& c, CGFloat angle)
{
    if (c)
        cairo_rotate(c->cairo(), angle);
}

void CGContextConcatCTM(const CGContextRef& c, const CGAffineTransform& t)
{
    if (!c)
        return;
    if (t.a * t.d - t.b * t.c == 0)
        return;
    cairo_matrix_t m = toCairo(t);
    cairo_transform(c->cairo(), &m);
}

CGAffineTransform CGContextGetCTM(const CGContextRef& c)
{
    if (!c)
        return CGAffineTransformIdentity;
    cairo_matrix_t m;
    cairo_get_matrix(c->cairo(), &m);
    return CGAffineTransformConcat(fromCairo(m), CGAffineTransformInvert(baseTransform(*c)));
}

CGPoint CGContextConvertPointToDeviceSpace(const CGContextRef& c, CGPoint p)
{
    return CGPointApplyAffineTransform(p, CGContextGetCTM(c));
}

CGPoint CGContextConvertPointToUserSpace(const CGContextRef& c, CGPoint p)
{
    return CGPointApplyAffineTransform(p, CGAffineTransformInvert(CGContextGetCTM(c)));
}

void CGContextSetFillColorWithColor(const CGContextRef& c, const CGColorRef& color)
{
    if (c)
        c->gstate().fillColor = color;
}

void CGContextSetStrokeColorWithColor(const CGContextRef& c, const CGColorRef& color)
{
    if (c)
        c->gstate().strokeColor = color;
}

void CGContextSetRGBFillColor(const CGContextRef& c, CGFloat r, CGFloat g, CGFloat b, CGFloat a)
{
    CGContextSetFillColorWithColor(c, CGColorCreateGenericRGB(r, g, b, a));
}

void CGContextSetRGBStrokeColor(const CGContextRef& c, CGFloat r, CGFloat g, CGFloat b, CGFloat a)
{
    CGContextSetStrokeColorWithColor(c, CGColorCreateGenericRGB(r, g, b, a));
}

void CGContextSetGrayFillColor(const CGContextRef& c, CGFloat gray, CGFloat a)
{
    CGContextSetFillColorWithColor(c, CGColorCreateGenericGray(gray, a));
}

void CGContextSetGrayStrokeColor(const CGContextRef& c, CGFloat gray, CGFloat a)
{
    CGContextSetStrokeColorWithColor(c, CGColorCreateGenericGray(gray, a));
}

void CGContextSetAlpha(const CGContextRef& c, CGFloat alpha)
{
    if (c)
        c->gstate().alpha = std::clamp(alpha, 0.0, 1.0);
}

void CGContextSetBlendMode(const CGContextRef& c, CGBlendMode mode)
{
    if (c)
        c->gstate().blendMode = mode;
}

void CGContextSetInterpolationQuality(const CGContextRef& c, CGInterpolationQuality q)
{
    if (c)
        c->gstate().interpolation = q;
}

CGInterpolationQuality CGContextGetInterpolationQuality(const CGContextRef& c)
{
    return c ? c->gstate().interpolation : kCGInterpolationDefault;
}

void CGContextSetShadowWithColor(const CGContextRef& c, CGSize offset, CGFloat blur, const CGColorRef& color)
{
    if (!c)
        return;
    auto& gs = c->gstate();
    gs.shadowOffset = offset;
    gs.shadowBlur = blur;
    gs.shadowColor = (color && !color->patternImage() && CGColorGetAlpha(color) > 0) ? color : nullptr;
}

void CGContextSetShadow(const CGContextRef& c, CGSize offset, CGFloat blur)
{
    CGContextSetShadowWithColor(c, offset, blur, CGColorCreateGenericGray(0, 1.0 / 3));
}

void CGContextSetShouldAntialias(const CGContextRef& c, bool on)
{
    if (c)
        cairo_set_antialias(c->cairo(), on ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
}

void CGContextSetFlatness(const CGContextRef& c, CGFloat flatness)
{
    if (c && flatness > 0) {
        c->gstate().flatness = flatness;
        cairo_set_tolerance(c->cairo(), flatness);
    }
}

void CGContextSetLineWidth(const CGContextRef& c, CGFloat width)
{
    if (c && width >= 0)
        cairo_set_line_width(c->cairo(), width);
}

void CGContextSetLineCap(const CGContextRef& c, CGLineCap cap)
{
    if (!c)
        return;
    cairo_set_line_cap(c->cairo(), cap == kCGLineCapRound ? CAIRO_LINE_CAP_ROUND
            : cap == kCGLineCapSquare                     ? CAIRO_LINE_CAP_SQUARE
                                                          : CAIRO_LINE_CAP_BUTT);
}

void CGContextSetLineJoin(const CGContextRef& c, CGLineJoin join)
{
    if (!c)
        return;
    cairo_set_line_join(c->cairo(), join == kCGLineJoinRound ? CAIRO_LINE_JOIN_ROUND
            : join == kCGLineJoinBevel                       ? CAIRO_LINE_JOIN_BEVEL
                                                             : CAIRO_LINE_JOIN_MITER);
}

void CGContextSetMiterLimit(const CGContextRef& c, CGFloat limit)
{
    if (c)
        cairo_set_miter_limit(c->cairo(), limit);
}

void CGContextSetLineDash(const CGContextRef& c, CGFloat phase, const CGFloat* lengths, size_t count)
{
    if (c)
        cairo_set_dash(c->cairo(), lengths, lengths ? int(count) : 0, phase);
}

// MARK: Paths

void CGContextBeginPath(const CGContextRef& c)
{
    if (c)
        cairo_new_path(c->cairo());
}

void CGContextMoveToPoint(const CGContextRef& c, CGFloat x, CGFloat y)
{
    if (c)
        cairo_move_to(c->cairo(), x, y);
}

void CGContextAddLineToPoint(const CGContextRef& c, CGFloat x, CGFloat y)
{
    if (c)
        cairo_line_to(c->cairo(), x, y);
}

void CGContextAddCurveToPoint(const CGContextRef& c, CGFloat cp1x, CGFloat cp1y, CGFloat cp2x, CGFloat cp2y,
    CGFloat x, CGFloat y)
{
    if (c)
        cairo_curve_to(c->cairo(), cp1x, cp1y, cp2x, cp2y, x, y);
}

void CGContextAddQuadCurveToPoint(const CGContextRef& c, CGFloat cpx, CGFloat cpy, CGFloat x, CGFloat y)
{
    if (!c)
        return;
    double x0 = cpx, y0 = cpy;
    if (cairo_has_current_point(c->cairo()))
        cairo_get_current_point(c->cairo(), &x0, &y0);
    cairo_curve_to(c->cairo(), x0 + 2.0 / 3 * (cpx - x0), y0 + 2.0 / 3 * (cpy - y0), x + 2.0 / 3 * (cpx - x),
        y + 2.0 / 3 * (cpy - y), x, y);
}

void CGContextClosePath(const CGContextRef& c)
{
    if (c)
        cairo_close_path(c->cairo());
}

static gfx::PathSink cairoSink(cairo_t* cr)
{
    return {
        [cr](CGPoint p) { cairo_move_to(cr, p.x, p.y); },
        [cr](CGPoint p) { cairo_line_to(cr, p.x, p.y); },
        [cr](CGPoint c1, CGPoint c2, CGPoint e) { cairo_curve_to(cr, c1.x, c1.y, c2.x, c2.y, e.x, e.y); },
    };
}

void CGContextAddPath(const CGContextRef& c, const CGPathRef& path)
{
    if (!c || !path)
        return;
    cairo_t* cr = c->cairo();
    for (const auto& e : path->elements()) {
        switch (e.type) {
        case kCGPathElementMoveToPoint:
            cairo_move_to(cr, e.points[0].x, e.points[0].y);
            break;
        case kCGPathElementAddLineToPoint:
            cairo_line_to(cr, e.points[0].x, e.points[0].y);
            break;
        case kCGPathElementAddCurveToPoint:
            cairo_curve_to(cr, e.points[0].x, e.points[0].y, e.points[1].x, e.points[1].y, e.points[2].x,
                e.points[2].y);
            break;
        case kCGPathElementCloseSubpath:
            cairo_close_path(cr);
            break;
        case kCGPathElementAddQuadCurveToPoint:
            break;
        }
    }
}

void CGContextAddRect(const CGContextRef& c, CGRect r)
{
    auto path = CGPathCreateWithRect(r);
    CGContextAddPath(c, path);
}

void CGContextAddEllipseInRect(const CGContextRef& c, CGRect r)
{
    auto path = CGPathCreateWithEllipseInRect(r);
    CGContextAddPath(c, path);
}

void CGContextAddArc(const CGContextRef& c, CGFloat x, CGFloat y, CGFloat radius, CGFloat startAngle,
    CGFloat endAngle, int clockwise)
{
    if (!c)
        return;
    gfx::appendArc(cairoSink(c->cairo()), cairo_has_current_point(c->cairo()), { x, y }, radius, startAngle,
        endAngle, clockwise != 0);
}

void CGContextAddArcToPoint(const CGContextRef& c, CGFloat x1, CGFloat y1, CGFloat x2, CGFloat y2, CGFloat radius)
{
    if (!c)
        return;
    cairo_t* cr = c->cairo();
    if (!cairo_has_current_point(cr)) {
        cairo_move_to(cr, x1, y1);
        return;
    }
    double x0, y0;
    cairo_get_current_point(cr, &x0, &y0);
    gfx::appendArcToPoint(cairoSink(cr), { x0, y0 }, { x1, y1 }, { x2, y2 }, radius);
}

bool CGContextIsPathEmpty(const CGContextRef& c) { return !c || !cairo_has_current_point(c->cairo()); }

static CGRect rectFromExtents(double x1, double y1, double x2, double y2)
{
    return CGRectMake(std::min(x1, x2), std::min(y1, y2), std::fabs(x2 - x1), std::fabs(y2 - y1));
}

CGRect CGContextGetPathBoundingBox(const CGContextRef& c)
{
    if (CGContextIsPathEmpty(c))
        return CGRectNull;
    double x1, y1, x2, y2;
    cairo_path_extents(c->cairo(), &x1, &y1, &x2, &y2);
    return rectFromExtents(x1, y1, x2, y2);
}

// MARK: Filling and stroking

static void fillCurrentPath(const CGContextRef& c, bool evenOdd)
{
    c->draw([&](cairo_t* cr) {
        cairo_set_fill_rule(cr, evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
        const auto& gs = c->gstate();
        if (isSolid(gs.fillColor) && !reachesBeyondShape(gs.blendMode)) {
            CGFloat r = 0, g = 0, b = 0, a = 1;
            if (gs.fillColor)
                gs.fillColor->getRGBA(r, g, b, a);
            cairo_set_source_rgba(cr, r, g, b, a * gs.alpha);
            c->applyBlendMode();
            cairo_fill(cr);
            return;
        }
        cairo_save(cr);
        cairo_clip(cr);
        setColorSource(cr, gs.fillColor);
        c->paintSource();
        cairo_restore(cr);
    });
}

static void strokeCurrentPath(const CGContextRef& c)
{
    c->draw([&](cairo_t* cr) {
        const auto& gs = c->gstate();
        if (isSolid(gs.strokeColor) && !reachesBeyondShape(gs.blendMode)) {
            CGFloat r = 0, g = 0, b = 0, a = 1;
            if (gs.strokeColor)
                gs.strokeColor->getRGBA(r, g, b, a);
            cairo_set_source_rgba(cr, r, g, b, a * gs.alpha);
            c->applyBlendMode();
            cairo_stroke(cr);
            return;
        }
        // Render the stroke's coverage first, then paint through it.
        cairo_push_group_with_content(cr, CAIRO_CONTENT_ALPHA);
        cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
        cairo_set_source_rgba(cr, 0, 0, 0, 1);
        cairo_stroke(cr);
        cairo_pattern_t* coverage = cairo_pop_group(cr);
        cairo_save(cr);
        setColorSource(cr, gs.strokeColor);
        if (gs.blendMode == kCGBlendModeCopy) {
            cairo_save(cr);
            cairo_set_operator(cr, CAIRO_OPERATOR_DEST_OUT);
            cairo_mask(cr, coverage);
            cairo_restore(cr);
            cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
        } else {
            c->applyBlendMode();
        }
        cairo_push_group(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_paint_with_alpha(cr, gs.alpha);
        cairo_pop_group_to_source(cr);
        cairo_mask(cr, coverage);
        cairo_restore(cr);
        cairo_pattern_destroy(coverage);
    });
}

void CGContextFillPath(const CGContextRef& c)
{
    if (c)
        fillCurrentPath(c, false);
}

void CGContextEOFillPath(const CGContextRef& c)
{
    if (c)
        fillCurrentPath(c, true);
}

void CGContextStrokePath(const CGContextRef& c)
{
    if (c)
        strokeCurrentPath(c);
}

void CGContextDrawPath(const CGContextRef& c, CGPathDrawingMode mode)
{
    if (!c)
        return;
    if (mode == kCGPathStroke) {
        strokeCurrentPath(c);
        return;
    }
    bool evenOdd = mode == kCGPathEOFill || mode == kCGPathEOFillStroke;
    bool stroke = mode == kCGPathFillStroke || mode == kCGPathEOFillStroke;
    cairo_path_t* saved = stroke ? cairo_copy_path(c->cairo()) : nullptr;
    fillCurrentPath(c, evenOdd);
    if (saved) {
        cairo_append_path(c->cairo(), saved);
        cairo_path_destroy(saved);
        strokeCurrentPath(c);
    }
}

void CGContextFillRect(const CGContextRef& c, CGRect r)
{
    if (!c)
        return;
    cairo_new_path(c->cairo());
    cairo_rectangle(c->cairo(), r.origin.x, r.origin.y, r.size.width, r.size.height);
    fillCurrentPath(c, false);
}

void CGContextFillRects(const CGContextRef& c, const CGRect* rects, size_t count)
{
    if (!c || !rects)
        return;
    cairo_new_path(c->cairo());
    for (size_t i = 0; i < count; ++i)
        cairo_rectangle(c->cairo(), rects[i].origin.x, rects[i].origin.y, rects[i].size.width, rects[i].size.height);
    fillCurrentPath(c, false);
}

void CGContextStrokeRect(const CGContextRef& c, CGRect r)
{
    if (!c)
        return;
    cairo_new_path(c->cairo());
    cairo_rectangle(c->cairo(), r.origin.x, r.origin.y, r.size.width, r.size.height);
    strokeCurrentPath(c);
}

void CGContextStrokeRectWithWidth(const CGContextRef& c, CGRect r, CGFloat width)
{
    if (!c)
        return;
    c->saveGState();
    CGContextSetLineWidth(c, width);
    CGContextStrokeRect(c, r);
    c->restoreGState();
}

void CGContextFillEllipseInRect(const CGContextRef& c, CGRect r)
{
    if (!c)
        return;
    cairo_new_path(c->cairo());
    CGContextAddEllipseInRect(c, r);
    fillCurrentPath(c, false);
}

void CGContextStrokeEllipseInRect(const CGContextRef& c, CGRect r)
{
    if (!c)
        return;
    cairo_new_path(c->cairo());
    CGContextAddEllipseInRect(c, r);
    strokeCurrentPath(c);
}

void CGContextClearRect(const CGContextRef& c, CGRect r)
{
    if (!c)
        return;
    c->draw([&](cairo_t* cr) {
        cairo_save(cr);
        cairo_new_path(cr);
        cairo_rectangle(cr, r.origin.x, r.origin.y, r.size.width, r.size.height);
        cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
        cairo_fill(cr);
        cairo_restore(cr);
    });
}

// MARK: Clipping

void CGContextClip(const CGContextRef& c)
{
    if (!c)
        return;
    cairo_set_fill_rule(c->cairo(), CAIRO_FILL_RULE_WINDING);
    cairo_clip(c->cairo());
}

void CGContextEOClip(const CGContextRef& c)
{
    if (!c)
        return;
    cairo_set_fill_rule(c->cairo(), CAIRO_FILL_RULE_EVEN_ODD);
    cairo_clip(c->cairo());
    cairo_set_fill_rule(c->cairo(), CAIRO_FILL_RULE_WINDING);
}

void CGContextClipToRect(const CGContextRef& c, CGRect r)
{
    CGContextClipToRects(c, &r, 1);
}

void CGContextClipToRects(const CGContextRef& c, const CGRect* rects, size_t count)
{
    if (!c || !rects)
        return;
    // Clipping replaces the current path, as the platform's clip does.
    cairo_t* cr = c->cairo();
    cairo_new_path(cr);
    for (size_t i = 0; i < count; ++i)
        cairo_rectangle(cr, rects[i].origin.x, rects[i].origin.y, rects[i].size.width, rects[i].size.height);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    cairo_clip(cr);
}

// Sets up the transform that draws an image's pixels upright into rect.
static void transformForImage(cairo_t* cr, CGRect rect, const CGImage& image)
{
    cairo_translate(cr, rect.origin.x, rect.origin.y + rect.size.height);
    cairo_scale(cr, rect.size.width / double(image.width()), -rect.size.height / double(image.height()));
}

// The whole factor by which an image drawn into rect may be averaged down
// before it is filtered: the image is drawn at least twice as small on both
// device axes, and the averaged copy keeps at least as many pixels as the
// drawing covers. Prefers a copy that is made already to making a larger
// one, since filtering the rest of the way costs little.
static int reductionForDrawing(cairo_t* cr, CGRect rect, const CGImage& image)
{
    if (image.width() == 0 || image.height() == 0)
        return 1;
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    double deviceWidth = rect.size.width * std::hypot(m.xx, m.yx);
    double deviceHeight = rect.size.height * std::hypot(m.xy, m.yy);
    if (!(deviceWidth > 0) || !(deviceHeight > 0))
        return 1;
    double room = std::min(double(image.width()) / deviceWidth, double(image.height()) / deviceHeight);
    int factor = 1;
    while (factor * 2 <= CGImage::kMaxReduction && room >= factor * 2)
        factor *= 2;
    if (factor < 2)
        return 1;
    int made = image.largestReductionMade(factor);
    return made >= 2 ? made : factor;
}

void CGContextClipToMask(const CGContextRef& c, CGRect rect, const CGImageRef& mask)
{
    if (!c || !mask)
        return;
    cairo_surface_t* coverage = gfx::createCoverageSurface(*mask);
    if (!coverage)
        return;
    int w = int(c->width()), h = int(c->height());
    cairo_surface_t* clip = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
    cairo_t* mc = cairo_create(clip);
    cairo_matrix_t m;
    cairo_get_matrix(c->cairo(), &m);
    cairo_set_matrix(mc, &m);
    rect = CGRectStandardize(rect);
    if (rect.size.width > 0 && rect.size.height > 0) {
        cairo_rectangle(mc, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
        cairo_clip(mc);
        transformForImage(mc, rect, *mask);
        cairo_pattern_t* pattern = cairo_pattern_create_for_surface(coverage);
        cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
        cairo_pattern_set_filter(pattern, cairoFilter(c->gstate().interpolation));
        cairo_set_source(mc, pattern);
        cairo_paint(mc);
        cairo_pattern_destroy(pattern);
    }
    if (auto* previous = static_cast<cairo_surface_t*>(c->gstate().clipMask.get())) {
        cairo_reset_clip(mc);
        cairo_identity_matrix(mc);
        cairo_set_operator(mc, CAIRO_OPERATOR_DEST_IN);
        cairo_set_source_surface(mc, previous, 0, 0);
        cairo_paint(mc);
    }
    cairo_destroy(mc);
    cairo_surface_destroy(coverage);
    c->gstate().clipMask = Ref<void>(clip, [](void* p) { cairo_surface_destroy(static_cast<cairo_surface_t*>(p)); });
}

CGRect CGContextGetClipBoundingBox(const CGContextRef& c)
{
    if (!c)
        return CGRectNull;
    double x1, y1, x2, y2;
    cairo_clip_extents(c->cairo(), &x1, &y1, &x2, &y2);
    return rectFromExtents(x1, y1, x2, y2);
}

// MARK: Images and gradients

void CGContextDrawImage(const CGContextRef& c, CGRect rect, const CGImageRef& image)
{
    if (!c || !image)
        return;
    rect = CGRectStandardize(rect);
    if (rect.size.width <= 0 || rect.size.height <= 0)
        return;
    cairo_filter_t filter = image->shouldInterpolate() ? cairoFilter(c->gstate().interpolation) : CAIRO_FILTER_NEAREST;
    int reduction = filter == CAIRO_FILTER_NEAREST ? 1 : reductionForDrawing(c->cairo(), rect, *image);
    cairo_surface_t* surface = reduction > 1 ? image->reducedSurface(reduction) : image->cairoSurface();
    if (!surface)
        return;
    c->draw([&](cairo_t* cr) {
        cairo_save(cr);
        cairo_new_path(cr);
        cairo_rectangle(cr, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
        cairo_clip(cr);
        transformForImage(cr, rect, *image);
        // A reduced copy's pixel stands for a block of the image's pixels.
        cairo_scale(cr, reduction, reduction);
        cairo_pattern_t* pattern = cairo_pattern_create_for_surface(surface);
        // Edge pixels extend outwards so that scaled edges stay sharp; the
        // clip keeps the image inside its rect.
        cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
        cairo_pattern_set_filter(pattern, filter);
        if (image->isMask()) {
            cairo_push_group(cr);
            setColorSource(cr, c->gstate().fillColor);
            cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
            cairo_mask(cr, pattern);
            cairo_pop_group_to_source(cr);
        } else {
            cairo_set_source(cr, pattern);
        }
        c->paintSource();
        cairo_pattern_destroy(pattern);
        cairo_restore(cr);
    });
}

void CGContextDrawLinearGradient(const CGContextRef& c, const CGGradientRef& gradient, CGPoint start, CGPoint end,
    CGGradientDrawingOptions options)
{
    if (!c || !gradient || gradient->stops().empty())
        return;
    c->draw([&](cairo_t* cr) {
        cairo_save(cr);
        cairo_pattern_t* pattern = cairo_pattern_create_linear(start.x, start.y, end.x, end.y);
        // Between the start and end points the gradient covers the whole
        // axis: before its first location and after its last it keeps their
        // colours (Cairo would leave those parts empty without extension).
        const auto& stops = gradient->stops();
        if (stops.front().location > 0)
            cairo_pattern_add_color_stop_rgba(pattern, 0, stops.front().r, stops.front().g, stops.front().b, stops.front().a);
        for (const auto& s : stops)
            cairo_pattern_add_color_stop_rgba(pattern, s.location, s.r, s.g, s.b, s.a);
        if (stops.back().location < 1)
            cairo_pattern_add_color_stop_rgba(pattern, 1, stops.back().r, stops.back().g, stops.back().b, stops.back().a);
        bool before = options & kCGGradientDrawsBeforeStartLocation;
        bool after = options & kCGGradientDrawsAfterEndLocation;
        cairo_pattern_set_extend(pattern, before || after ? CAIRO_EXTEND_PAD : CAIRO_EXTEND_NONE);
        if (before != after) {
            // Only one end extends: clip away the half-plane beyond the other.
            double dx = end.x - start.x, dy = end.y - start.y;
            double len = std::hypot(dx, dy);
            if (len > 0) {
                // Far enough to pass any bitmap, near enough for Cairo's fixed-point range.
                double ux = dx / len, uy = dy / len, far = 1e5;
                CGPoint edge = after ? start : end;
                double sign = after ? 1 : -1;
                cairo_new_path(cr);
                cairo_move_to(cr, edge.x - uy * far, edge.y + ux * far);
                cairo_line_to(cr, edge.x + uy * far, edge.y - ux * far);
                cairo_line_to(cr, edge.x + uy * far + sign * ux * far, edge.y - ux * far + sign * uy * far);
                cairo_line_to(cr, edge.x - uy * far + sign * ux * far, edge.y + ux * far + sign * uy * far);
                cairo_close_path(cr);
                cairo_clip(cr);
            }
        }
        cairo_set_source(cr, pattern);
        c->paintSource();
        cairo_pattern_destroy(pattern);
        cairo_restore(cr);
    });
}

void CGContextDrawWithCairo(const CGContextRef& c, const std::function<void(cairo_t*)>& operation)
{
    if (!c || !operation)
        return;
    c->draw([&](cairo_t* cr) {
        cairo_save(cr);
        operation(cr);
        cairo_restore(cr);
    });
}

#include "LayerRenderer.h"

#include "CABase.h"
#include "CALayer.h"
#include "CairoDrawing.h"

#include <graphics/CairoStateSaver.h>
#include <graphics/NSImage.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>

namespace ca {

namespace {

// Coordinates beyond this are as good as infinite for drawing.
constexpr double kFarAway = 1e6;
// Offscreen images of flattened layers stay within this many pixels a side.
constexpr double kMaxOffscreenSide = 4096;
// Flattened layers are drawn at most this much finer than a point.
constexpr double kMaxOffscreenScale = 4;

// The layer's values as shown now: the layer itself, or a presentation copy
// while animations run.
class Shown {
public:
    explicit Shown(const CALayer& layer)
        : m_copy(layer.hasAnimations() ? layer.presentationLayer() : nullptr)
        , m_state(m_copy ? *m_copy : layer)
    {
    }
    const CALayer& operator*() const { return m_state; }
    const CALayer* operator->() const { return &m_state; }

private:
    Ref<CALayer> m_copy;
    const CALayer& m_state;
};

CGRect capRect(CGRect r)
{
    if (CGRectIsNull(r))
        return r;
    return CGRectIntersection(r, CGRectMake(-kFarAway, -kFarAway, 2 * kFarAway, 2 * kFarAway));
}

bool hasShadow(const CALayer& state)
{
    return state.shadowOpacity() > 0 && state.shadowColor() && CGColorGetAlpha(state.shadowColor()) > 0;
}

cairo_matrix_t toCairo(const CGAffineTransform& t) { return { t.a, t.b, t.c, t.d, t.tx, t.ty }; }

bool invertible(const CGAffineTransform& t)
{
    double det = t.a * t.d - t.b * t.c;
    return std::isfinite(det) && std::fabs(det) > 1e-12 && std::isfinite(t.tx) && std::isfinite(t.ty);
}

// Clips to the device pixels covering a user-space rectangle; NO when
// nothing of it is inside the current clip.
bool clipToDeviceRect(cairo_t* cr, CGRect userRect)
{
    CGRect device = CGRectIntersection(userToDeviceRect(cr, userRect), deviceClipExtents(cr));
    if (CGRectIsNull(device) || CGRectIsEmpty(device))
        return false;
    device = CGRectIntegral(device);
    cairo_save(cr);
    cairo_identity_matrix(cr);
    cairo_new_path(cr);
    cairo_rectangle(cr, device.origin.x, device.origin.y, device.size.width, device.size.height);
    cairo_restore(cr);
    cairo_clip(cr);
    return true;
}

// The rectangle an image of the given size (in points) takes in the bounds
// under a contents gravity.
CGRect gravityRect(const std::string& gravity, CGSize image, CGRect bounds)
{
    if (gravity == kCAGravityResize || !(image.width > 0) || !(image.height > 0))
        return bounds;
    CGSize size = image;
    if (gravity == kCAGravityResizeAspect || gravity == kCAGravityResizeAspectFill) {
        double sx = bounds.size.width / image.width, sy = bounds.size.height / image.height;
        double s = gravity == kCAGravityResizeAspect ? std::min(sx, sy) : std::max(sx, sy);
        size = { image.width * s, image.height * s };
    } else if (gravity != kCAGravityCenter) {
        return bounds;
    }
    return CGRectMake(bounds.origin.x + (bounds.size.width - size.width) / 2,
        bounds.origin.y + (bounds.size.height - size.height) / 2, size.width, size.height);
}

CGSize contentsSizeInPoints(const CALayer& state, const CGImageRef& image)
{
    if (auto* nsImage = std::get_if<Ref<NSImage>>(&state.contents()); nsImage && *nsImage)
        return (*nsImage)->size();
    double scale = state.contentsScale() > 0 ? state.contentsScale() : 1;
    return { double(image->width()) / scale, double(image->height()) / scale };
}

struct Ordered {
    const CALayer* model;
    Ref<CALayer> copy;
    const CALayer* state;
    CATransform3D toSuperlayer;
};

// The visible sublayers with their shown values, in sublayer order.
std::vector<Ordered> visibleSublayers(const CALayer& model, const CALayer& state)
{
    std::vector<Ordered> visible;
    visible.reserve(model.sublayers().size());
    for (const auto& sublayer : model.sublayers()) {
        Ordered o { sublayer.get(), nullptr, sublayer.get(), {} };
        if (sublayer->hasAnimations()) {
            o.copy = sublayer->presentationLayer();
            o.state = o.copy.get();
        }
        if (o.state->isHidden() || !(o.state->opacity() > 0))
            continue;
        o.toSuperlayer = layerToSuperlayerTransform(*o.state, &state);
        visible.push_back(std::move(o));
    }
    return visible;
}

// The visible sublayers, back to front.
std::vector<Ordered> drawingOrder(const CALayer& model, const CALayer& state)
{
    std::vector<Ordered> visible = visibleSublayers(model, state);
    std::vector<DepthItem> items;
    items.reserve(visible.size());
    for (const auto& o : visible)
        items.push_back({ o.toSuperlayer, o.state->bounds() });
    std::vector<Ordered> order;
    order.reserve(visible.size());
    for (size_t i : ca::drawingOrder(items))
        order.push_back(std::move(visible[i]));
    return order;
}

// Blends two premultiplied ARGB32 pixels, f / 256 of the way from a to b,
// two channels at a time.
inline uint32_t blend(uint32_t a, uint32_t b, uint32_t f)
{
    uint32_t g = 256 - f;
    uint32_t rb = (((a & 0x00ff00ffu) * g + (b & 0x00ff00ffu) * f) >> 8) & 0x00ff00ffu;
    uint32_t ag = ((((a >> 8) & 0x00ff00ffu) * g + ((b >> 8) & 0x00ff00ffu) * f) >> 8) & 0x00ff00ffu;
    return rb | (ag << 8);
}

// Premultiplied ARGB32 sample at pixel-centre coordinates greater than -1,
// transparent outside the image.
inline uint32_t sampleBilinear(const uint8_t* data, int width, int height, int stride, double x, double y)
{
    // Truncation floors here, since both are above -1, and is much cheaper.
    int x0 = static_cast<int>(x + 1) - 1, y0 = static_cast<int>(y + 1) - 1;
    // Held in range: x + 1 may round up to the next whole number.
    auto tx = static_cast<uint32_t>(std::clamp((x - x0) * 256, 0.0, 255.0));
    auto ty = static_cast<uint32_t>(std::clamp((y - y0) * 256, 0.0, 255.0));
    const auto* row0 = reinterpret_cast<const uint32_t*>(data + static_cast<ptrdiff_t>(y0) * stride);
    if (x0 >= 0 && y0 >= 0 && x0 + 1 < width && y0 + 1 < height) {
        const auto* row1 = reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint8_t*>(row0) + stride);
        return blend(blend(row0[x0], row0[x0 + 1], tx), blend(row1[x0], row1[x0 + 1], tx), ty);
    }
    auto texel = [&](int px, int py) -> uint32_t {
        if (px < 0 || py < 0 || px >= width || py >= height)
            return 0;
        return reinterpret_cast<const uint32_t*>(data + static_cast<ptrdiff_t>(py) * stride)[px];
    };
    return blend(blend(texel(x0, y0), texel(x0 + 1, y0), tx), blend(texel(x0, y0 + 1), texel(x0 + 1, y0 + 1), tx), ty);
}

// The columns a convex polygon covers on the horizontal line at y.
bool spanAt(const std::vector<CGPoint>& polygon, double y, double& from, double& to)
{
    from = INFINITY;
    to = -INFINITY;
    for (size_t i = 0; i < polygon.size(); ++i) {
        const CGPoint& a = polygon[i];
        const CGPoint& b = polygon[(i + 1) % polygon.size()];
        if ((a.y <= y && b.y >= y) || (b.y <= y && a.y >= y)) {
            double x = a.y == b.y ? std::min(a.x, b.x) : a.x + (y - a.y) / (b.y - a.y) * (b.x - a.x);
            double x2 = a.y == b.y ? std::max(a.x, b.x) : x;
            from = std::min(from, x);
            to = std::max(to, x2);
        }
    }
    return from <= to;
}

// Whether the convex polygon holds the whole rectangle.
bool coversWhole(const std::vector<CGPoint>& polygon, CGRect r)
{
    // Convex, so the corners settle it; a pixel of slack on every side.
    double from, to;
    for (double y : { CGRectGetMinY(r) - 1, CGRectGetMaxY(r) + 1 })
        if (!spanAt(polygon, y, from, to) || from > CGRectGetMinX(r) - 1 || to < CGRectGetMaxX(r) + 1)
            return false;
    return true;
}

// Whether the clip is made of whole pixels, so that a pixel painted
// opaque inside it replaces what was there.
bool clipIsPixelAligned(cairo_t* cr)
{
    cairo_rectangle_list_t* list = cairo_copy_clip_rectangle_list(cr);
    bool aligned = list->status == CAIRO_STATUS_SUCCESS;
    if (aligned) {
        cairo_matrix_t ctm;
        cairo_get_matrix(cr, &ctm);
        // The list is in user space; whole device pixels need a ctm that
        // only moves and scales by whole numbers.
        auto whole = [](double v) { return v == std::floor(v); };
        aligned = ctm.xy == 0 && ctm.yx == 0 && whole(ctm.xx) && whole(ctm.yy) && whole(ctm.x0) && whole(ctm.y0);
        for (int i = 0; aligned && i < list->num_rectangles; ++i) {
            const cairo_rectangle_t& r = list->rectangles[i];
            aligned = whole(r.x) && whole(r.y) && whole(r.width) && whole(r.height);
        }
    }
    cairo_rectangle_list_destroy(list);
    return aligned;
}

// The largest stretch, in device pixels per layer point, of the map at a
// point of the layer's plane.
double magnification(const Homography& h, double u, double v)
{
    double X, Y, W;
    h.apply(u, v, X, Y, W);
    if (!(W > 0))
        return kMaxOffscreenScale;
    double w2 = W * W;
    double dxdu = (h.m[0][0] * W - X * h.m[0][2]) / w2, dydu = (h.m[0][1] * W - Y * h.m[0][2]) / w2;
    double dxdv = (h.m[1][0] * W - X * h.m[1][2]) / w2, dydv = (h.m[1][1] * W - Y * h.m[1][2]) / w2;
    return std::max(std::hypot(dxdu, dydu), std::hypot(dxdv, dydv));
}

// A surface of a layer's space: the rectangle at the given scale, y up,
// with a one-pixel transparent border that softens sampled edges.
struct Offscreen {
    cairo_surface_t* surface { nullptr };
    double scale { 1 };
    CGRect rect {};

    Offscreen(CGRect r, double s)
        : scale(s)
        , rect(r)
    {
        double side = std::max(r.size.width, r.size.height) * s;
        if (side > kMaxOffscreenSide - 2)
            scale = (kMaxOffscreenSide - 2) / std::max(r.size.width, r.size.height);
        int w = static_cast<int>(std::ceil(r.size.width * scale)) + 2;
        int h = static_cast<int>(std::ceil(r.size.height * scale)) + 2;
        surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::max(w, 1), std::max(h, 1));
    }
    ~Offscreen()
    {
        if (surface)
            cairo_surface_destroy(surface);
    }
    Offscreen(const Offscreen&) = delete;
    Offscreen& operator=(const Offscreen&) = delete;

    bool ok() const { return surface && cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS; }
    // Layer space to the surface's pixels.
    CGAffineTransform layerToPixels() const
    {
        return { scale, 0, 0, -scale, 1 - rect.origin.x * scale, 1 + (rect.origin.y + rect.size.height) * scale };
    }
    cairo_t* createContext() const
    {
        cairo_t* cr = cairo_create(surface);
        cairo_matrix_t m = toCairo(layerToPixels());
        cairo_set_matrix(cr, &m);
        return cr;
    }
};

}

// MARK: Entry points

void LayerRenderer::prepare(CALayer& layer)
{
    if (layer.isHidden())
        return;
    layer.displayIfNeeded();
    layer.prepareForRender();
    if (auto mask = layer.mask())
        prepare(*mask);
    // A copy: drawing delegates may change the tree.
    auto sublayers = layer.sublayers();
    for (auto& sublayer : sublayers)
        prepare(*sublayer);
}

void LayerRenderer::render(CALayer& root, const CGContextRef& context)
{
    prepare(root);
    Shown state(root);
    if (state->isHidden())
        return;
    double alpha = context->gstate().alpha;
    CGContextDrawWithCairo(context, [&](cairo_t* cr) {
        if (alpha < 1)
            cairo_push_group(cr);
        drawBody(cr, root, *state);
        if (alpha < 1) {
            cairo_pop_group_to_source(cr);
            cairo_paint_with_alpha(cr, std::max(0.0, alpha));
        }
    });
}

CGImageRef LayerRenderer::snapshot(CALayer& layer, CGRect& rect)
{
    prepare(layer);
    Shown state(layer);
    rect = capRect(extent(layer, *state, false));
    if (CGRectIsNull(rect) || CGRectIsEmpty(rect))
        return nullptr;
    Offscreen offscreen(rect, std::max(1.0, state->contentsScale()));
    if (!offscreen.ok())
        return nullptr;
    cairo_t* cr = offscreen.createContext();
    drawContent(cr, layer, *state);
    cairo_destroy(cr);
    cairo_surface_flush(offscreen.surface);
    // The image covers the border pixels too; widen the rectangle to match.
    double pad = 1 / offscreen.scale;
    int w = cairo_image_surface_get_width(offscreen.surface), h = cairo_image_surface_get_height(offscreen.surface);
    rect = CGRectMake(rect.origin.x - pad, rect.origin.y + rect.size.height + pad - h / offscreen.scale,
        w / offscreen.scale, h / offscreen.scale);
    return CGImageCreateWithCairoSurface(offscreen.surface);
}

// MARK: Extent

CGRect LayerRenderer::extent(const CALayer& model, const CALayer& state, bool withShadow)
{
    CGRect e = state.bounds();
    if (withShadow && hasShadow(state)) {
        CGRect caster = state.shadowPath() ? CGPathGetBoundingBox(state.shadowPath()) : state.bounds();
        if (!CGRectIsNull(caster)) {
            double margin = 2 * std::max(0.0, state.shadowRadius()) + 1;
            caster = CGRectOffset(caster, state.shadowOffset().width, state.shadowOffset().height);
            e = CGRectUnion(e, CGRectInset(caster, -margin, -margin));
        }
    }
    if (!state.masksToBounds()) {
        for (auto& o : visibleSublayers(model, state)) {
            CGRect sub = extent(*o.model, *o.state);
            auto points = projectRect(Homography::fromTransform(o.toSuperlayer), sub);
            CGRect box = boundingBox(points);
            if (!CGRectIsNull(box))
                e = CGRectUnion(e, box);
        }
    }
    return capRect(e);
}

// MARK: Layers

void LayerRenderer::drawBody(cairo_t* cr, const CALayer& model, const CALayer& state)
{
    double opacity = state.opacity();
    if (!(opacity > 0))
        return;
    bool transition = model.activeTransition(CACurrentMediaTime()).has_value();
    bool shadow = hasShadow(state);
    bool mask = model.mask() != nullptr;
    bool contentGroup = transition || mask || (shadow && !state.shadowPath());
    bool opacityGroup = opacity < 1;
    if (!contentGroup && !opacityGroup && !shadow) {
        drawContent(cr, model, state);
        return;
    }

    CairoStateSaver saver(cr);
    // Groups are as large as the clip: keep it to what the layer covers.
    if (!clipToDeviceRect(cr, extent(model, state)))
        return;
    if (opacityGroup)
        cairo_push_group(cr);
    cairo_pattern_t* content = nullptr;
    if (contentGroup) {
        cairo_push_group(cr);
        drawContent(cr, model, state);
        content = cairo_pop_group(cr);
        if (transition)
            content = applyTransition(cr, model, content);
        if (mask)
            content = applyMask(cr, model, state, content);
    }
    if (shadow)
        drawShadow(cr, model, state, content);
    if (content) {
        cairo_set_source(cr, content);
        cairo_paint(cr);
        cairo_pattern_destroy(content);
    } else {
        drawContent(cr, model, state);
    }
    if (opacityGroup) {
        cairo_pop_group_to_source(cr);
        cairo_paint_with_alpha(cr, opacity);
    }
}

void LayerRenderer::drawContent(cairo_t* cr, const CALayer& model, const CALayer& state)
{
    CGRect bounds = state.bounds();
    double radius = clampedCornerRadius(bounds, state.cornerRadius());
    if (setSourceColor(cr, state.backgroundColor())) {
        cairo_new_path(cr);
        addRoundedRect(cr, bounds, radius);
        cairo_fill(cr);
    }

    bool clip = state.masksToBounds();
    if (clip) {
        cairo_save(cr);
        cairo_new_path(cr);
        addRoundedRect(cr, bounds, radius);
        cairo_clip(cr);
    }
    if (CGImageRef image = state.contentsImage())
        drawImage(cr, image, gravityRect(state.contentsGravity(), contentsSizeInPoints(state, image), bounds));
    model.drawOwnContent(cr, state);
    auto order = drawingOrder(model, state);
    // What nearer siblings cover opaquely need not be sampled behind them.
    std::vector<std::vector<CGPoint>> covered(order.size());
    if (order.size() > 1 && clipIsPixelAligned(cr))
        for (size_t i = 1; i < order.size(); ++i)
            covered[i] = opaqueArea(cr, *order[i].model, *order[i].state, order[i].toSuperlayer);
    for (size_t i = 0; i < order.size(); ++i)
        drawSublayer(cr, *order[i].model, *order[i].state, order[i].toSuperlayer,
            std::span<const std::vector<CGPoint>>(covered).subspan(i + 1));
    if (clip)
        cairo_restore(cr);

    double width = state.borderWidth();
    if (width > 0 && setSourceColor(cr, state.borderColor())) {
        // The border lies inside the bounds, over everything else.
        cairo_new_path(cr);
        addRoundedRect(cr, bounds, radius);
        CGRect inner = CGRectInset(bounds, width, width);
        if (inner.size.width > 0 && inner.size.height > 0)
            addRoundedRect(cr, inner, std::max(0.0, radius - width));
        cairo_save(cr);
        cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
        cairo_fill(cr);
        cairo_restore(cr);
    }
}

void LayerRenderer::drawSublayer(cairo_t* cr, const CALayer& model, const CALayer& state,
    const CATransform3D& toSuperlayer, std::span<const std::vector<CGPoint>> covered)
{
    Homography h = Homography::fromTransform(toSuperlayer);
    if (!state.isDoubleSided() && facesAway(h))
        return;
    if (h.isAffine()) {
        CGAffineTransform affine = h.affine();
        if (!invertible(affine))
            return;
        CairoStateSaver saver(cr);
        cairo_matrix_t m = toCairo(affine);
        cairo_transform(cr, &m);
        drawBody(cr, model, state);
        return;
    }
    drawProjected(cr, model, state, h, covered);
}

std::vector<CGPoint> LayerRenderer::opaqueArea(cairo_t* cr, const CALayer& model, const CALayer& state,
    const CATransform3D& toSuperlayer)
{
    // Only a layer painted at full strength straight onto the target, over
    // an image opaque inside some inset: whatever else it draws over that
    // image with the usual operator leaves those pixels opaque.
    CGImageRef image = state.contentsImage();
    if (!image || !(state.opacity() >= 1) || state.masksToBounds() || model.mask() || hasShadow(state)
        || model.activeTransition(CACurrentMediaTime()).has_value())
        return {};
    int inset = image->opaqueInset();
    if (inset < 0 || image->width() == 0 || image->height() == 0)
        return {};
    Homography h = Homography::fromTransform(toSuperlayer);
    if (!state.isDoubleSided() && facesAway(h))
        return {};
    cairo_matrix_t ctm;
    cairo_get_matrix(cr, &ctm);
    Homography toDevice = h.then(Homography::fromAffine({ ctm.xx, ctm.yx, ctm.xy, ctm.yy, ctm.x0, ctm.y0 }));
    if (!toDevice.inverse())
        return {};

    // Three image pixels and two points in from the opaque inset: room for
    // the filtering of the image when it is drawn and of its flattened copy
    // when that is sampled.
    CGRect shown = gravityRect(state.contentsGravity(), contentsSizeInPoints(state, image), state.bounds());
    double perPixelX = shown.size.width / double(image->width());
    double perPixelY = shown.size.height / double(image->height());
    CGRect inner = CGRectInset(shown, (inset + 3) * perPixelX + 2, (inset + 3) * perPixelY + 2);
    inner = CGRectIntersection(inner, CGRectInset(state.bounds(), 2, 2));
    if (CGRectIsNull(inner) || CGRectIsEmpty(inner))
        return {};
    // Wholly in front of the eye, well clear of the near plane, so that
    // every pixel inside is sampled.
    double xs[] = { CGRectGetMinX(inner), CGRectGetMaxX(inner) };
    double ys[] = { CGRectGetMinY(inner), CGRectGetMaxY(inner) };
    for (double x : xs)
        for (double y : ys) {
            double X, Y, W;
            toDevice.apply(x, y, X, Y, W);
            if (!(W > 2 * kNearPlaneW))
                return {};
        }
    return projectRect(toDevice, inner);
}

// MARK: Perspective

void LayerRenderer::drawProjected(cairo_t* cr, const CALayer& model, const CALayer& state, const Homography& h,
    std::span<const std::vector<CGPoint>> covered)
{
    CGRect e = extent(model, state);
    if (CGRectIsNull(e) || CGRectIsEmpty(e))
        return;
    cairo_matrix_t ctm;
    cairo_get_matrix(cr, &ctm);
    Homography toDevice = h.then(Homography::fromAffine({ ctm.xx, ctm.yx, ctm.xy, ctm.yy, ctm.x0, ctm.y0 }));
    auto inverse = toDevice.inverse();
    if (!inverse)
        return;
    // Cut at the near plane: what is left is the part in front of the eye.
    auto polygon = projectRect(toDevice, e);
    if (polygon.empty())
        return;
    CGRect area = CGRectIntersection(boundingBox(polygon), deviceClipExtents(cr));
    if (CGRectIsNull(area) || CGRectIsEmpty(area))
        return;
    area = CGRectIntegral(area);

    // The nearer opaque areas that reach this one.
    std::vector<const std::vector<CGPoint>*> covers;
    for (const auto& polygon : covered) {
        if (polygon.empty())
            continue;
        CGRect box = boundingBox(polygon);
        if (CGRectIntersectsRect(box, area))
            covers.push_back(&polygon);
    }
    if (std::ranges::any_of(covers, [&](const auto* c) { return coversWhole(*c, area); }))
        return;

    // Rasterize as finely as the layer appears where it is largest on screen.
    double scale = 1;
    for (const CGPoint& p : polygon) {
        auto local = unproject(toDevice, p);
        if (local)
            scale = std::max(scale, magnification(toDevice, local->x, local->y));
    }
    scale = std::min(kMaxOffscreenScale, std::ceil(scale * 4) / 4);

    // The pixels sampled: the contents image itself when the layer shows
    // nothing else and the image is no finer than the flattening would be
    // (finer, it needs the filtering of the flattening to shrink cleanly);
    // else the layer flattened offscreen, opacity included.
    std::optional<Offscreen> offscreen;
    cairo_surface_t* source = nullptr;
    CGAffineTransform layerToPixels;
    double opacity = 1;
    if (auto direct = directSource(model, state, scale)) {
        source = direct->surface;
        layerToPixels = direct->layerToPixels;
        opacity = state.opacity();
    } else {
        offscreen.emplace(e, scale);
        if (!offscreen->ok())
            return;
        cairo_t* ocr = offscreen->createContext();
        drawBody(ocr, model, state);
        cairo_destroy(ocr);
        source = offscreen->surface;
        layerToPixels = offscreen->layerToPixels();
    }
    if (!(opacity > 0))
        return;
    cairo_surface_flush(source);

    int width = static_cast<int>(area.size.width), height = static_cast<int>(area.size.height);
    cairo_surface_t* result = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(result) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(result);
        return;
    }
    const uint8_t* src = cairo_image_surface_get_data(source);
    int srcWidth = cairo_image_surface_get_width(source);
    int srcHeight = cairo_image_surface_get_height(source);
    int srcStride = cairo_image_surface_get_stride(source);
    uint8_t* dst = cairo_image_surface_get_data(result);
    int dstStride = cairo_image_surface_get_stride(result);

    // Device pixel -> layer plane -> source pixel, one homography. Its w
    // is 1 / (the forward map's w), so w > 0 means in front of the eye.
    Homography k = inverse->then(Homography::fromAffine(layerToPixels));
    const double maxW = 1 / kNearPlaneW;
    std::vector<std::pair<int, int>> hidden;
    for (int row = 0; row < height; ++row) {
        double dy = area.origin.y + row + 0.5;
        // Only the columns the picture covers on this row, with a pixel to
        // spare on either side for the soft edge.
        double spanFrom, spanTo;
        if (!spanAt(polygon, dy, spanFrom, spanTo)) {
            // The row may still touch the picture within half a pixel.
            double a, b, c, d;
            bool above = spanAt(polygon, dy - 0.5, a, b), below = spanAt(polygon, dy + 0.5, c, d);
            if (!above && !below)
                continue;
            spanFrom = std::min(above ? a : INFINITY, below ? c : INFINITY);
            spanTo = std::max(above ? b : -INFINITY, below ? d : -INFINITY);
        }
        int first = std::max(0, static_cast<int>(std::floor(spanFrom - area.origin.x)) - 1);
        int last = std::min(width - 1, static_cast<int>(std::ceil(spanTo - area.origin.x)) + 1);
        double dx = area.origin.x + first + 0.5;
        // Columns whose centres lie a pixel inside a nearer opaque area are
        // painted over whole; they stay transparent here.
        hidden.clear();
        for (const auto* c : covers) {
            double from, to;
            if (!spanAt(*c, dy, from, to))
                continue;
            int a = static_cast<int>(std::ceil(from + 1 - area.origin.x - 0.5));
            int b = static_cast<int>(std::floor(to - 1 - area.origin.x - 0.5));
            if (a <= b)
                hidden.push_back({ a, b });
        }
        std::ranges::sort(hidden);
        size_t next = 0;
        double qx, qy, qw;
        k.apply(dx, dy, qx, qy, qw);
        auto* out = reinterpret_cast<uint32_t*>(dst + static_cast<ptrdiff_t>(row) * dstStride);
        for (int col = first; col <= last;) {
            while (next < hidden.size() && hidden[next].second < col)
                ++next;
            if (next < hidden.size() && hidden[next].first <= col) {
                // A hidden run: step over it at once.
                int to = std::min(last, hidden[next].second) + 1;
                double steps = to - col;
                qx += steps * k.m[0][0];
                qy += steps * k.m[0][1];
                qw += steps * k.m[0][2];
                col = to;
                continue;
            }
            if (qw > 0 && qw <= maxW) {
                double inverseW = 1 / qw;
                double px = qx * inverseW - 0.5, py = qy * inverseW - 0.5;
                if (px > -1 && py > -1 && px < srcWidth && py < srcHeight)
                    out[col] = sampleBilinear(src, srcWidth, srcHeight, srcStride, px, py);
            }
            qx += k.m[0][0];
            qy += k.m[0][1];
            qw += k.m[0][2];
            ++col;
        }
    }
    cairo_surface_mark_dirty(result);

    cairo_save(cr);
    cairo_identity_matrix(cr);
    cairo_set_source_surface(cr, result, area.origin.x, area.origin.y);
    if (opacity < 1)
        cairo_paint_with_alpha(cr, opacity);
    else
        cairo_paint(cr);
    cairo_restore(cr);
    cairo_surface_destroy(result);
}

// A layer that shows its contents image and nothing else (no background,
// border, sublayers, own drawing, mask, shadow, transition or rounded clip)
// can be sampled straight from that image, with no offscreen copy: a view
// drawn in perspective from its kept picture is such a layer.
std::optional<LayerRenderer::DirectSource> LayerRenderer::directSource(const CALayer& model, const CALayer& state, double scale)
{
    CGImageRef image = state.contentsImage();
    if (!image || image->width() == 0 || image->height() == 0 || !image->shouldInterpolate())
        return std::nullopt;
    auto visible = [](const CGColorRef& color) { return color && CGColorGetAlpha(color) > 0; };
    if (visible(state.backgroundColor()) || (state.borderWidth() > 0 && visible(state.borderColor())))
        return std::nullopt;
    if (model.hasOwnContent() || !model.sublayers().empty() || model.mask() || hasShadow(state)
        || model.activeTransition(CACurrentMediaTime()).has_value())
        return std::nullopt;
    if (state.masksToBounds() && state.cornerRadius() > 0)
        return std::nullopt;
    CGRect rect = gravityRect(state.contentsGravity(), contentsSizeInPoints(state, image), state.bounds());
    if (!(rect.size.width > 0) || !(rect.size.height > 0))
        return std::nullopt;
    double sx = image->width() / rect.size.width, sy = image->height() / rect.size.height;
    // Finer than the flattening: bilinear sampling alone would alias.
    if (sx > scale * 1.01 || sy > scale * 1.01)
        return std::nullopt;
    cairo_surface_t* surface = image->cairoSurface();
    if (!surface || cairo_image_surface_get_format(surface) != CAIRO_FORMAT_ARGB32)
        return std::nullopt;
    return DirectSource { surface, { sx, 0, 0, -sy, -rect.origin.x * sx, (rect.origin.y + rect.size.height) * sy } };
}

// MARK: Effects

void LayerRenderer::drawShadow(cairo_t* cr, const CALayer& model, const CALayer& state, cairo_pattern_t* content)
{
    cairo_matrix_t ctm;
    cairo_get_matrix(cr, &ctm);
    CGSize offset = state.shadowOffset();
    double offsetX = ctm.xx * offset.width + ctm.xy * offset.height;
    double offsetY = ctm.yx * offset.width + ctm.yy * offset.height;
    double sigma = std::max(0.0, state.shadowRadius()) * std::sqrt(std::fabs(ctm.xx * ctm.yy - ctm.xy * ctm.yx)) / 2;
    double margin = std::ceil(3 * sigma) + 1;

    CGRect caster = state.shadowPath() ? CGPathGetBoundingBox(state.shadowPath()) : extent(model, state, false);
    if (CGRectIsNull(caster))
        return;
    CGRect area = userToDeviceRect(cr, caster);
    area = CGRectInset(CGRectOffset(area, offsetX, offsetY), -margin, -margin);
    area = CGRectIntersection(area, deviceClipExtents(cr));
    if (CGRectIsNull(area) || CGRectIsEmpty(area))
        return;
    area = CGRectIntegral(area);

    cairo_surface_t* alpha = cairo_image_surface_create(
        CAIRO_FORMAT_A8, static_cast<int>(area.size.width), static_cast<int>(area.size.height));
    cairo_t* acr = cairo_create(alpha);
    cairo_matrix_t shifted = ctm;
    shifted.x0 += offsetX - area.origin.x;
    shifted.y0 += offsetY - area.origin.y;
    cairo_set_matrix(acr, &shifted);
    if (state.shadowPath()) {
        addPath(acr, state.shadowPath());
        cairo_fill(acr);
    } else if (content) {
        cairo_set_source(acr, content);
        cairo_paint(acr);
    }
    cairo_destroy(acr);
    blurAlphaSurface(alpha, sigma);

    cairo_save(cr);
    cairo_identity_matrix(cr);
    if (setSourceColor(cr, state.shadowColor(), state.shadowOpacity()))
        cairo_mask_surface(cr, alpha, area.origin.x, area.origin.y);
    cairo_restore(cr);
    cairo_surface_destroy(alpha);
}

cairo_pattern_t* LayerRenderer::applyTransition(cairo_t* cr, const CALayer& model, cairo_pattern_t* content)
{
    auto frame = model.activeTransition(CACurrentMediaTime());
    if (!frame)
        return content;
    double progress = frame->progress;
    // A cross-dissolve: old * (1 - p) + new * p.
    cairo_push_group(cr);
    drawImage(cr, frame->snapshot, frame->rect, 1 - progress);
    cairo_set_source(cr, content);
    cairo_set_operator(cr, CAIRO_OPERATOR_ADD);
    cairo_paint_with_alpha(cr, progress);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    cairo_pattern_destroy(content);
    return cairo_pop_group(cr);
}

cairo_pattern_t* LayerRenderer::applyMask(cairo_t* cr, const CALayer& model, const CALayer& state,
    cairo_pattern_t* content)
{
    const CALayer& maskModel = *model.mask();
    Shown maskState(maskModel);
    cairo_push_group(cr);
    if (!maskState->isHidden() && maskState->opacity() > 0)
        drawSublayer(cr, maskModel, *maskState, layerToSuperlayerTransform(*maskState, nullptr));
    cairo_pattern_t* maskPattern = cairo_pop_group(cr);
    (void)state;
    cairo_push_group(cr);
    cairo_set_source(cr, content);
    cairo_mask(cr, maskPattern);
    cairo_pattern_destroy(maskPattern);
    cairo_pattern_destroy(content);
    return cairo_pop_group(cr);
}

}

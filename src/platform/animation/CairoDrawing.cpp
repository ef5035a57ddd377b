#include "CairoDrawing.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace ca {

bool setSourceColor(cairo_t* cr, const CGColorRef& color, double alpha)
{
    if (!color)
        return false;
    CGFloat r, g, b, a;
    color->getRGBA(r, g, b, a);
    a *= alpha;
    if (!(a > 0))
        return false;
    cairo_set_source_rgba(cr, r, g, b, std::min(1.0, a));
    return true;
}

void addPath(cairo_t* cr, const CGPathRef& path)
{
    if (!path)
        return;
    CGPoint current {};
    for (const CGPathElement& e : path->elements()) {
        switch (e.type) {
        case kCGPathElementMoveToPoint:
            cairo_move_to(cr, e.points[0].x, e.points[0].y);
            current = e.points[0];
            break;
        case kCGPathElementAddLineToPoint:
            cairo_line_to(cr, e.points[0].x, e.points[0].y);
            current = e.points[0];
            break;
        case kCGPathElementAddQuadCurveToPoint: {
            // Raised to the cubic with the same shape.
            CGPoint c = e.points[0], end = e.points[1];
            cairo_curve_to(cr, current.x + 2.0 / 3 * (c.x - current.x), current.y + 2.0 / 3 * (c.y - current.y),
                end.x + 2.0 / 3 * (c.x - end.x), end.y + 2.0 / 3 * (c.y - end.y), end.x, end.y);
            current = end;
            break;
        }
        case kCGPathElementAddCurveToPoint:
            cairo_curve_to(cr, e.points[0].x, e.points[0].y, e.points[1].x, e.points[1].y, e.points[2].x,
                e.points[2].y);
            current = e.points[2];
            break;
        case kCGPathElementCloseSubpath:
            cairo_close_path(cr);
            break;
        }
    }
}

double clampedCornerRadius(CGRect rect, double radius)
{
    double limit = std::min(std::fabs(rect.size.width), std::fabs(rect.size.height)) / 2;
    return std::clamp(radius, 0.0, limit);
}

void addRoundedRect(cairo_t* cr, CGRect rect, double radius)
{
    rect = CGRectStandardize(rect);
    double r = clampedCornerRadius(rect, radius);
    double x0 = rect.origin.x, y0 = rect.origin.y;
    double x1 = x0 + rect.size.width, y1 = y0 + rect.size.height;
    if (r <= 0) {
        cairo_rectangle(cr, x0, y0, rect.size.width, rect.size.height);
        return;
    }
    cairo_new_sub_path(cr);
    cairo_arc(cr, x1 - r, y0 + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x1 - r, y1 - r, r, 0, M_PI / 2);
    cairo_arc(cr, x0 + r, y1 - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x0 + r, y0 + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

namespace {

// Sets a pattern of the image, placed upright in rect, as the source.
cairo_pattern_t* imagePattern(cairo_t* cr, const CGImageRef& image, CGRect rect)
{
    cairo_surface_t* surface = image ? image->cairoSurface() : nullptr;
    if (!surface || image->width() == 0 || image->height() == 0 || !(rect.size.width > 0)
        || !(rect.size.height > 0))
        return nullptr;
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(surface);
    // Pattern space is the image's pixels, row 0 at the top of rect.
    cairo_matrix_t m;
    cairo_matrix_init(&m, rect.size.width / double(image->width()), 0, 0, -rect.size.height / double(image->height()),
        rect.origin.x, rect.origin.y + rect.size.height);
    cairo_matrix_invert(&m);
    cairo_pattern_set_matrix(pattern, &m);
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(pattern, image->shouldInterpolate() ? CAIRO_FILTER_GOOD : CAIRO_FILTER_NEAREST);
    (void)cr;
    return pattern;
}

}

void drawImage(cairo_t* cr, const CGImageRef& image, CGRect rect, double alpha)
{
    cairo_pattern_t* pattern = imagePattern(cr, image, rect);
    if (!pattern)
        return;
    cairo_save(cr);
    cairo_new_path(cr);
    cairo_rectangle(cr, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
    cairo_clip(cr);
    cairo_set_source(cr, pattern);
    if (alpha >= 1)
        cairo_paint(cr);
    else
        cairo_paint_with_alpha(cr, std::max(0.0, alpha));
    cairo_restore(cr);
    cairo_pattern_destroy(pattern);
}

void maskWithImage(cairo_t* cr, const CGImageRef& image, CGRect rect)
{
    cairo_pattern_t* pattern = imagePattern(cr, image, rect);
    if (!pattern)
        return;
    cairo_save(cr);
    cairo_new_path(cr);
    cairo_rectangle(cr, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
    cairo_clip(cr);
    cairo_mask(cr, pattern);
    cairo_restore(cr);
    cairo_pattern_destroy(pattern);
}

CGRect userToDeviceRect(cairo_t* cr, CGRect rect)
{
    double xs[4] = { rect.origin.x, rect.origin.x + rect.size.width, rect.origin.x + rect.size.width, rect.origin.x };
    double ys[4] = { rect.origin.y, rect.origin.y, rect.origin.y + rect.size.height, rect.origin.y + rect.size.height };
    double minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
    for (int i = 0; i < 4; ++i) {
        cairo_user_to_device(cr, &xs[i], &ys[i]);
        minX = std::min(minX, xs[i]);
        maxX = std::max(maxX, xs[i]);
        minY = std::min(minY, ys[i]);
        maxY = std::max(maxY, ys[i]);
    }
    return CGRectMake(minX, minY, maxX - minX, maxY - minY);
}

CGRect deviceClipExtents(cairo_t* cr)
{
    cairo_save(cr);
    cairo_identity_matrix(cr);
    double x0, y0, x1, y1;
    cairo_clip_extents(cr, &x0, &y0, &x1, &y1);
    cairo_restore(cr);
    return CGRectMake(x0, y0, x1 - x0, y1 - y0);
}

namespace {

// One box pass of the given radius from a line of n contiguous samples to
// n samples stride apart.
void boxPass(const uint8_t* src, uint8_t* dst, int n, int dstStride, int radius)
{
    int window = 2 * radius + 1;
    int sum = 0;
    for (int i = 0; i <= radius && i < n; ++i)
        sum += src[i];
    for (int i = 0; i < n; ++i) {
        dst[static_cast<ptrdiff_t>(i) * dstStride] = static_cast<uint8_t>((sum + window / 2) / window);
        int out = i - radius;
        int in = i + radius + 1;
        if (out >= 0)
            sum -= src[out];
        if (in < n)
            sum += src[in];
    }
}

}

void blurAlphaSurface(cairo_surface_t* surface, double sigma)
{
    if (!(sigma > 0.2))
        return;
    cairo_surface_flush(surface);
    uint8_t* data = cairo_image_surface_get_data(surface);
    int width = cairo_image_surface_get_width(surface);
    int height = cairo_image_surface_get_height(surface);
    int stride = cairo_image_surface_get_stride(surface);
    if (!data || width <= 0 || height <= 0)
        return;
    // Three passes of a box of width w have the variance of a Gaussian of
    // sigma when w * w = 4 * sigma * sigma + 1.
    int radius = std::max(1, static_cast<int>(std::lround((std::sqrt(4 * sigma * sigma + 1) - 1) / 2)));
    std::vector<uint8_t> line(static_cast<size_t>(std::max(width, height)));
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = 0; y < height; ++y) {
            uint8_t* row = data + static_cast<ptrdiff_t>(y) * stride;
            std::copy(row, row + width, line.begin());
            boxPass(line.data(), row, width, 1, radius);
        }
        for (int x = 0; x < width; ++x) {
            for (int y = 0; y < height; ++y)
                line[static_cast<size_t>(y)] = data[static_cast<ptrdiff_t>(y) * stride + x];
            boxPass(line.data(), data + x, height, stride, radius);
        }
    }
    cairo_surface_mark_dirty(surface);
}

}

#include "NSVisualEffectView.h"

#include "NSScreen.h"
#include "NSWindow.h"

#include <desktop/Desktop.h>
#include <graphics/CGColorSpace.h>
#include <graphics/CGContext.h>
#include <graphics/CGDataProvider.h>
#include <graphics/CGImage.h>
#include <graphics/NSGraphicsContext.h>
#include <graphics/PixelEnlarging.h>
#include <graphics/StackBlur.h>

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {
// Tints of the materials: white level and alpha.
struct Tint {
    CGFloat white;
    CGFloat alpha;
};

Tint tintFor(NSVisualEffectMaterial material)
{
    switch (material) {
    case NSVisualEffectMaterialDark:
        return { 0.16, 0.82 };
    case NSVisualEffectMaterialUltraDark:
        return { 0.06, 0.9 };
    case NSVisualEffectMaterialMediumLight:
        return { 0.82, 0.8 };
    case NSVisualEffectMaterialLight:
    case NSVisualEffectMaterialAppearanceBased:
    default:
        return { 0.96, 0.8 };
    }
}
}

NSVisualEffectView::NSVisualEffectView(CGRect frame)
    : NSView(frame)
{
}

void NSVisualEffectView::setMaterial(NSVisualEffectMaterial material)
{
    if (material == m_material)
        return;
    m_material = material;
    setNeedsDisplay(true);
}

void NSVisualEffectView::setState(NSVisualEffectState state)
{
    if (state == m_state)
        return;
    m_state = state;
    setNeedsDisplay(true);
}

std::pair<CGFloat, CGFloat> NSVisualEffectView::tintWhiteAndAlpha() const
{
    Tint tint = tintFor(m_material);
    // An inactive effect shows the material flatter and more opaque.
    bool inactive = m_state == NSVisualEffectStateInactive
        || (m_state == NSVisualEffectStateFollowsWindowActiveState && window() && !window()->isKeyWindow());
    return { tint.white, inactive ? std::min(1.0, tint.alpha + 0.1) : tint.alpha };
}

Ref<NSColor> NSVisualEffectView::tintColor() const
{
    auto [white, alpha] = tintWhiteAndAlpha();
    return NSColor::colorWithDeviceWhite(white, alpha);
}

CGRect NSVisualEffectView::desktopRect() const
{
    auto* window = this->window();
    if (!window || window->windowNumber() == 0)
        return CGRectNull;
    CGRect inWindow = convertRectToView(bounds(), nullptr);
    return NSScreenFlipRect(window->convertRectToScreen(inWindow));
}

void NSVisualEffectView::captureBackdrop()
{
    // Drawn again even when nothing could be read: the last backdrop then
    // stays where it lies on the desktop.
    if (readBackdrop() || m_backdrop)
        setNeedsDisplay(true);
}

bool NSVisualEffectView::readBackdrop()
{
    if (m_blendingMode != NSVisualEffectBlendingModeBehindWindow)
        return false;
    CGRect rect = desktopRect();
    if (CGRectIsNull(rect) || rect.size.width <= 0 || rect.size.height <= 0)
        return false;
    m_backdropFor = rect;
    // The blur reaches past the view's edges, so what lies just outside it
    // is read too: the edges then blend as they do in the middle.
    CGRect area = CGRectIntegral(CGRectInset(rect, -kBackdropBlurRadius, -kBackdropBlurRadius));
    auto* window = this->window();
    // A blur this wide keeps no detail a quarter of its size could show, so
    // the backdrop is read and blurred at a quarter of its size and drawn
    // scaled up: the same look for a sixteenth of the work at every opening.
    auto beneath = Desktop::current().captureBelowOwnWindow(
        static_cast<CGWindowID>(window->windowNumber()), area, kBackdropReduction);
    if (!beneath || beneath->empty())
        return false;
    int areaWidth = int(area.size.width), areaHeight = int(area.size.height);
    DesktopImage reduced;
    reduced.width = (areaWidth + kBackdropReduction - 1) / kBackdropReduction;
    reduced.height = (areaHeight + kBackdropReduction - 1) / kBackdropReduction;
    if (beneath->width == reduced.width && beneath->height == reduced.height) {
        // The desktop composed it at that size.
        reduced.rgba = std::move(beneath->rgba);
    } else if (beneath->width == areaWidth && beneath->height == areaHeight) {
        reduced.rgba.resize(size_t(reduced.width) * size_t(reduced.height) * 4);
        averagePixelBlocks(beneath->rgba.data(), beneath->width, beneath->height, size_t(beneath->width) * 4,
            kBackdropReduction, reduced.rgba.data(), size_t(reduced.width) * 4);
    } else {
        return false;
    }
    m_tintedBackdrop.reset();
    if (takeKeptBackdrop(reduced)) {
        m_backdropArea = area;
        return true;
    }
    KeptBackdrop kept { reduced.width, reduced.height, reduced.rgba, nullptr, nullptr, false, {} };
    stackBlurRGBX(reduced.rgba.data(), reduced.width, reduced.height, kBackdropBlurRadius / kBackdropReduction);
    auto image = CGImageCreate(size_t(reduced.width), size_t(reduced.height), 8, 32, size_t(reduced.width) * 4,
        CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedLast, CGDataProviderCreateWithBytes(std::move(reduced.rgba)));
    if (!image)
        return false;
    m_backdrop = NSImage::imageWithCGImage(image, CGSizeMake(reduced.width, reduced.height));
    m_tintedSmall.reset();
    m_backdropArea = area;
    kept.backdrop = m_backdrop;
    m_kept.insert(m_kept.begin(), std::move(kept));
    if (m_kept.size() > kKeptBackdrops)
        m_kept.pop_back();
    return true;
}

bool NSVisualEffectView::takeKeptBackdrop(const DesktopImage& reduced)
{
    auto same = std::find_if(m_kept.begin(), m_kept.end(), [&](const KeptBackdrop& kept) {
        return kept.width == reduced.width && kept.height == reduced.height && kept.read == reduced.rgba;
    });
    if (same == m_kept.end())
        return false;
    std::rotate(m_kept.begin(), same, same + 1);
    const auto& kept = m_kept.front();
    m_backdrop = kept.backdrop;
    m_tintedSmall = kept.tintedSmall;
    m_tintedSmallOpaque = kept.tintedSmallOpaque;
    m_tintedSmallWith = kept.tintedSmallWith;
    return true;
}

CGRect NSVisualEffectView::backdropRectInView(CGRect desktopRect, CGSize size) const
{
    CGRect bounds = this->bounds();
    CGFloat x = bounds.origin.x + m_backdropArea.origin.x - desktopRect.origin.x;
    CGFloat top = m_backdropArea.origin.y - desktopRect.origin.y;
    CGFloat y = isFlipped() ? bounds.origin.y + top : bounds.origin.y + bounds.size.height - top - size.height;
    return CGRectMake(x, y, size.width, size.height);
}

const CGContextRef& NSVisualEffectView::tintedSmallBackdrop()
{
    // The tint laid over the small copy: blending commutes with scaling up,
    // so the enlarged copy is the tinted backdrop as the renderer would draw
    // the small one scaled up.
    auto tint = tintWhiteAndAlpha();
    if (m_tintedSmall && m_tintedSmallWith == tint)
        return m_tintedSmall;
    m_tintedSmall.reset();
    auto source = m_backdrop ? m_backdrop->CGImageForProposedRect(nullptr, nullptr) : nullptr;
    if (!source)
        return m_tintedSmall;
    size_t width = CGImageGetWidth(source), height = CGImageGetHeight(source);
    auto small = CGBitmapContextCreate(nullptr, width, height, 8, 0, CGColorSpaceCreateDeviceRGB(),
        kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little);
    if (!small)
        return m_tintedSmall;
    CGRect whole = CGRectMake(0, 0, CGFloat(width), CGFloat(height));
    CGContextDrawImage(small, whole, source);
    CGContextSetFillColorWithColor(small, tintColor()->CGColor());
    CGContextFillRect(small, whole);
    // Only an opaque backdrop may be written over what lies under the view.
    const auto* pixels = static_cast<const uint8_t*>(CGBitmapContextGetData(small));
    size_t stride = CGBitmapContextGetBytesPerRow(small);
    bool opaque = true;
    for (size_t y = 0; y < height && opaque; ++y)
        for (size_t x = 0; x < width; ++x)
            opaque &= pixels[y * stride + x * 4 + 3] == 255;
    m_tintedSmall = small;
    m_tintedSmallOpaque = opaque;
    m_tintedSmallWith = tint;
    if (!m_kept.empty() && m_kept.front().backdrop == m_backdrop) {
        auto& kept = m_kept.front();
        kept.tintedSmall = small;
        kept.tintedSmallOpaque = opaque;
        kept.tintedSmallWith = tint;
    }
    return m_tintedSmall;
}

const Ref<NSImage>& NSVisualEffectView::tintedBackdrop()
{
    // The tinted backdrop at the size of the area read, enlarged as the
    // renderer would draw the small one scaled up, drawn pixel for pixel.
    auto tint = tintWhiteAndAlpha();
    if (m_tintedBackdrop && m_tintedWith == tint)
        return m_tintedBackdrop;
    m_tintedBackdrop.reset();
    const auto& small = tintedSmallBackdrop();
    if (!small)
        return m_tintedBackdrop;
    int areaWidth = int(m_backdropArea.size.width), areaHeight = int(m_backdropArea.size.height);
    std::vector<uint8_t> pixels(size_t(areaWidth) * size_t(areaHeight) * 4);
    enlargePixelsBilinear(static_cast<const uint8_t*>(CGBitmapContextGetData(small)), int(CGBitmapContextGetWidth(small)),
        int(CGBitmapContextGetHeight(small)), CGBitmapContextGetBytesPerRow(small), kBackdropReduction, pixels.data(),
        areaWidth, areaHeight, size_t(areaWidth) * 4);
    auto image = CGImageCreate(size_t(areaWidth), size_t(areaHeight), 8, 32, size_t(areaWidth) * 4,
        CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little,
        CGDataProviderCreateWithBytes(std::move(pixels)));
    if (image) {
        m_tintedBackdrop = NSImage::imageWithCGImage(image, m_backdropArea.size);
        m_tintedWith = tint;
    }
    return m_tintedBackdrop;
}

namespace {

bool isWhole(CGFloat value) { return std::abs(value - std::round(value)) < 1e-6; }

}

bool NSVisualEffectView::writeTintedPiece(const CGContextRef& context, CGRect area)
{
    // Straight into the pixels only where that is what drawing would do: an
    // opaque copy over whole pixels, plain source-over, nothing but
    // rectangles clipping.
    const auto& state = context->gstate();
    if (!m_tintedSmallOpaque || state.alpha != 1 || state.blendMode != kCGBlendModeNormal || state.shadowColor
        || state.clipMask)
        return false;
    bool written = false;
    CGContextDrawWithCairo(context, [&](cairo_t* cr) {
        cairo_surface_t* target = cairo_get_target(cr);
        if (cairo_surface_get_type(target) != CAIRO_SURFACE_TYPE_IMAGE
            || cairo_image_surface_get_format(target) != CAIRO_FORMAT_ARGB32)
            return;
        cairo_matrix_t m;
        cairo_get_matrix(cr, &m);
        // The user space's y grows upwards: the picture's top row lies at
        // the area's top edge.
        auto near = [](double a, double b) { return std::abs(a - b) < 1e-9; };
        if (!near(m.xx, 1) || !near(m.yy, -1) || !near(m.xy, 0) || !near(m.yx, 0))
            return;
        double left = m.x0 + CGRectGetMinX(area), top = m.y0 - CGRectGetMaxY(area);
        if (!isWhole(left) || !isWhole(top))
            return;
        cairo_rectangle_list_t* clips = cairo_copy_clip_rectangle_list(cr);
        bool representable = clips->status == CAIRO_STATUS_SUCCESS;
        std::vector<CGRect> parts;
        for (int i = 0; representable && i < clips->num_rectangles; ++i) {
            const auto& r = clips->rectangles[i];
            CGRect device = CGRectMake(m.x0 + r.x, m.y0 - r.y - r.height, r.width, r.height);
            representable = isWhole(device.origin.x) && isWhole(device.origin.y) && isWhole(device.size.width)
                && isWhole(device.size.height);
            parts.push_back(device);
        }
        cairo_rectangle_list_destroy(clips);
        if (!representable)
            return;
        written = true;
        int width = cairo_image_surface_get_width(target), height = cairo_image_surface_get_height(target);
        CGRect picture = CGRectMake(std::round(left), std::round(top), area.size.width, area.size.height);
        CGRect surface = CGRectMake(0, 0, width, height);
        cairo_surface_flush(target);
        auto* data = cairo_image_surface_get_data(target);
        size_t stride = size_t(cairo_image_surface_get_stride(target));
        const auto& small = m_tintedSmall;
        for (CGRect part : parts) {
            part = CGRectIntersection(CGRectIntersection(CGRectIntegral(part), picture), surface);
            if (CGRectIsNull(part) || CGRectIsEmpty(part))
                continue;
            int x = int(part.origin.x), y = int(part.origin.y);
            int x0 = x - int(picture.origin.x), y0 = y - int(picture.origin.y);
            enlargePixelsBilinearPart(static_cast<const uint8_t*>(CGBitmapContextGetData(small)),
                int(CGBitmapContextGetWidth(small)), int(CGBitmapContextGetHeight(small)),
                CGBitmapContextGetBytesPerRow(small), kBackdropReduction, x0, y0, x0 + int(part.size.width),
                y0 + int(part.size.height), data + size_t(y) * stride + size_t(x) * 4, stride);
            cairo_surface_mark_dirty_rectangle(target, x, y, int(part.size.width), int(part.size.height));
        }
    });
    return written;
}

void NSVisualEffectView::drawTintedPiece(const CGContextRef& context, CGRect piece, CGRect area)
{
    if (writeTintedPiece(context, area))
        return;
    // Drawn as an image of the enlarged pixels the piece covers.
    const auto& small = m_tintedSmall;
    int x0 = std::clamp(int(std::floor(CGRectGetMinX(piece) - CGRectGetMinX(area))), 0, int(area.size.width));
    int x1 = std::clamp(int(std::ceil(CGRectGetMaxX(piece) - CGRectGetMinX(area))), x0, int(area.size.width));
    int y0 = std::clamp(int(std::floor(CGRectGetMaxY(area) - CGRectGetMaxY(piece))), 0, int(area.size.height));
    int y1 = std::clamp(int(std::ceil(CGRectGetMaxY(area) - CGRectGetMinY(piece))), y0, int(area.size.height));
    if (x1 <= x0 || y1 <= y0)
        return;
    size_t stride = size_t(x1 - x0) * 4;
    std::vector<uint8_t> pixels(stride * size_t(y1 - y0));
    enlargePixelsBilinearPart(static_cast<const uint8_t*>(CGBitmapContextGetData(small)),
        int(CGBitmapContextGetWidth(small)), int(CGBitmapContextGetHeight(small)), CGBitmapContextGetBytesPerRow(small),
        kBackdropReduction, x0, y0, x1, y1, pixels.data(), stride);
    auto image = CGImageCreate(size_t(x1 - x0), size_t(y1 - y0), 8, 32, stride, CGColorSpaceCreateDeviceRGB(),
        kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little, CGDataProviderCreateWithBytes(std::move(pixels)));
    if (image)
        CGContextDrawImage(context,
            CGRectMake(CGRectGetMinX(area) + x0, CGRectGetMaxY(area) - y1, CGFloat(x1 - x0), CGFloat(y1 - y0)), image);
}

bool NSVisualEffectView::drawTintedBackdrop(const CGContextRef& context, CGRect dirtyRect)
{
    CGRect area;
    if (m_maskImage || !backdropAreaInView(area) || !CGRectContainsRect(area, dirtyRect) || !tintedSmallBackdrop())
        return false;
    // The layer's rounded corners cut four corner squares; the rest of its
    // rectangle is whole.
    CGRect shape = bounds();
    CGSize corner = CGSizeZero;
    bool clipped = layerClipShape(shape, corner);
    std::vector<std::pair<CGRect, bool>> pieces;
    if (corner.width > 0 && corner.height > 0) {
        CGFloat minX = CGRectGetMinX(shape), maxX = CGRectGetMaxX(shape);
        CGFloat minY = CGRectGetMinY(shape), maxY = CGRectGetMaxY(shape);
        CGFloat w = corner.width, h = corner.height;
        pieces = {
            { CGRectMake(minX + w, minY, shape.size.width - 2 * w, shape.size.height), false },
            { CGRectMake(minX, minY + h, w, shape.size.height - 2 * h), false },
            { CGRectMake(maxX - w, minY + h, w, shape.size.height - 2 * h), false },
            { CGRectMake(minX, minY, w, h), true },
            { CGRectMake(maxX - w, minY, w, h), true },
            { CGRectMake(minX, maxY - h, w, h), true },
            { CGRectMake(maxX - w, maxY - h, w, h), true },
        };
    } else {
        pieces = { { clipped ? shape : bounds(), false } };
    }
    for (const auto& [piece, rounded] : pieces) {
        CGRect part = CGRectIntersection(piece, dirtyRect);
        if (CGRectIsNull(part) || CGRectIsEmpty(part))
            continue;
        CGContextStateSaver saver(context);
        CGContextClipToRect(context, part);
        if (rounded)
            clipToLayer(context);
        drawTintedPiece(context, part, area);
    }
    return true;
}

bool NSVisualEffectView::backdropAreaInView(CGRect& area)
{
    if (m_blendingMode != NSVisualEffectBlendingModeBehindWindow)
        return false;
    // A view that moved on the screen reads again what now lies beneath it
    // (the desktop may no longer be able to: the last backdrop then stays
    // where it was read).
    CGRect rect = desktopRect();
    if (!CGRectIsNull(rect) && !CGRectEqualToRect(rect, m_backdropFor))
        readBackdrop();
    if (!m_backdrop || CGRectIsNull(rect))
        return false;
    area = backdropRectInView(rect, m_backdropArea.size);
    return true;
}

bool NSVisualEffectView::drawBackdrop(NSCompositingOperation operation, const CGRect& covering)
{
    CGRect area;
    if (!backdropAreaInView(area))
        return false;
    // Where the backdrop covers all that is drawn, its tinted copy is drawn
    // alone; elsewhere the tint goes over what was drawn (and over the
    // parts of the view the backdrop leaves bare).
    if (CGRectContainsRect(area, covering)) {
        if (const auto& tinted = tintedBackdrop()) {
            tinted->drawInRect(area, CGRectMake(0, 0, area.size.width, area.size.height), operation, 1);
            return true;
        }
    }
    // Each pixel of the small backdrop stands for a block of the desktop's
    // pixels from the area's origin.
    CGSize small = m_backdrop->size();
    CGRect where = backdropRectInView(
        desktopRect(), CGSizeMake(small.width * kBackdropReduction, small.height * kBackdropReduction));
    m_backdrop->drawInRect(where, CGRectMake(0, 0, small.width, small.height), operation, 1);
    return false;
}

void NSVisualEffectView::setMaskImage(const Ref<NSImage>& image)
{
    m_maskImage = image;
    setNeedsDisplay(true);
}

namespace {

// Draws an image over a rectangle in nine parts: the corners at their size,
// the edges stretched along one axis, the middle along both.
void drawNinePart(NSImage& image, CGRect dst)
{
    CGSize size = image.size();
    NSEdgeInsets in = image.capInsets();
    CGFloat sx[4] = { 0, in.left, size.width - in.right, size.width };
    CGFloat sy[4] = { 0, in.bottom, size.height - in.top, size.height };
    CGFloat dx[4] = { dst.origin.x, dst.origin.x + in.left, dst.origin.x + dst.size.width - in.right, dst.origin.x + dst.size.width };
    CGFloat dy[4] = { dst.origin.y, dst.origin.y + in.bottom, dst.origin.y + dst.size.height - in.top, dst.origin.y + dst.size.height };
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column) {
            CGRect s = CGRectMake(sx[column], sy[row], sx[column + 1] - sx[column], sy[row + 1] - sy[row]);
            CGRect d = CGRectMake(dx[column], dy[row], dx[column + 1] - dx[column], dy[row + 1] - dy[row]);
            if (s.size.width > 0 && s.size.height > 0 && d.size.width > 0 && d.size.height > 0)
                image.drawInRect(d, s, NSCompositingOperationSourceOver, 1);
        }
}

}

void NSVisualEffectView::drawRect(CGRect dirtyRect)
{
    auto context = NSGraphicsContext::currentContext();
    if (!context)
        return;
    if (drawTintedBackdrop(context->CGContext(), dirtyRect))
        return;
    // Anything else is drawn within the layer's shape.
    CGContextStateSaver shape(context->CGContext());
    clipToLayer(context->CGContext());
    if (!m_maskImage) {
        CGContextSaveGState(context->CGContext());
        CGContextClipToRect(context->CGContext(), dirtyRect);
        bool tinted = drawBackdrop(NSCompositingOperationSourceOver, dirtyRect);
        CGContextRestoreGState(context->CGContext());
        if (tinted)
            return;
        CGContextSetFillColorWithColor(context->CGContext(), tintColor()->CGColor());
        CGContextFillRect(context->CGContext(), dirtyRect);
        return;
    }
    // The mask stretched to the bounds, then the backdrop and the tint
    // through its alpha.
    CGRect bounds = this->bounds();
    auto shaped = NSImage::create(bounds.size);
    shaped->lockFocus();
    drawNinePart(*m_maskImage, CGRectMake(0, 0, bounds.size.width, bounds.size.height));
    if (auto offscreen = NSGraphicsContext::currentContext()) {
        CGRect whole = CGRectMake(0, 0, bounds.size.width, bounds.size.height);
        if (!drawBackdrop(NSCompositingOperationSourceIn, whole)) {
            CGContextSetBlendMode(offscreen->CGContext(), m_backdrop ? kCGBlendModeSourceAtop : kCGBlendModeSourceIn);
            CGContextSetFillColorWithColor(offscreen->CGContext(), tintColor()->CGColor());
            CGContextFillRect(offscreen->CGContext(), whole);
        }
    }
    shaped->unlockFocus();
    shaped->drawInRect(bounds);
}

#include "NSVisualEffectView.h"

#include "NSWindow.h"

#include <graphics/NSGraphicsContext.h>

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

Ref<NSColor> NSVisualEffectView::tintColor() const
{
    Tint tint = tintFor(m_material);
    // An inactive effect shows the material flatter and more opaque.
    bool inactive = m_state == NSVisualEffectStateInactive
        || (m_state == NSVisualEffectStateFollowsWindowActiveState && window() && !window()->isKeyWindow());
    return NSColor::colorWithDeviceWhite(tint.white, inactive ? std::min(1.0, tint.alpha + 0.1) : tint.alpha);
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
    if (!m_maskImage) {
        CGContextSetFillColorWithColor(context->CGContext(), tintColor()->CGColor());
        CGContextFillRect(context->CGContext(), dirtyRect);
        return;
    }
    // The mask stretched to the bounds, then the tint through its alpha.
    CGRect bounds = this->bounds();
    auto shaped = NSImage::create(bounds.size);
    shaped->lockFocus();
    drawNinePart(*m_maskImage, CGRectMake(0, 0, bounds.size.width, bounds.size.height));
    if (auto offscreen = NSGraphicsContext::currentContext()) {
        CGContextSetBlendMode(offscreen->CGContext(), kCGBlendModeSourceIn);
        CGContextSetFillColorWithColor(offscreen->CGContext(), tintColor()->CGColor());
        CGContextFillRect(offscreen->CGContext(), CGRectMake(0, 0, bounds.size.width, bounds.size.height));
    }
    shaped->unlockFocus();
    shaped->drawInRect(bounds);
}

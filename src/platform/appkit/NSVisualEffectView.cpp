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

void NSVisualEffectView::drawRect(CGRect dirtyRect)
{
    auto context = NSGraphicsContext::currentContext();
    if (!context)
        return;
    CGContextSetFillColorWithColor(context->CGContext(), tintColor()->CGColor());
    CGContextFillRect(context->CGContext(), dirtyRect);
}

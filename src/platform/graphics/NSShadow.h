// Shadows of the application framework: an offset, a blur radius and a
// colour that set() puts into the current graphics context, where every
// later drawing casts it until the graphics state is restored.
#pragma once

#include "NSColor.h"

#include <foundation/CGGeometry.h>
#include <foundation/NSObject.h>

class NSShadow : public NSObject {
public:
    // A shadow without offset or blur, in black at a third of full opacity.
    static Ref<NSShadow> shadow();

    CGSize shadowOffset() const { return m_offset; }
    void setShadowOffset(CGSize offset) { m_offset = offset; }
    CGFloat shadowBlurRadius() const { return m_blurRadius; }
    // A negative radius counts as 0.
    void setShadowBlurRadius(CGFloat radius) { m_blurRadius = radius < 0 ? 0 : radius; }
    const Ref<NSColor>& shadowColor() const { return m_color; }
    // Null draws with the default colour.
    void setShadowColor(const Ref<NSColor>& color) { m_color = color; }

    // Makes the shadow the current context's; nothing without a context.
    void set() const;

private:
    CGSize m_offset {};
    CGFloat m_blurRadius { 0 };
    Ref<NSColor> m_color;
};

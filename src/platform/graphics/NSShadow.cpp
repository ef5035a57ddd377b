#include "NSShadow.h"

#include "NSGraphicsContext.h"

Ref<NSShadow> NSShadow::shadow() { return makeRef<NSShadow>(); }

void NSShadow::set() const
{
    auto context = NSGraphicsContext::currentContext();
    if (!context)
        return;
    CGColorRef color = m_color ? m_color->CGColor() : CGColorCreateGenericGray(0, 1.0 / 3);
    CGContextSetShadowWithColor(context->CGContext(), m_offset, m_blurRadius, color);
}

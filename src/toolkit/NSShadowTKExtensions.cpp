#include "NSShadowTKExtensions.h"

Ref<NSShadow> NSShadowTKExtensions::shadowWithColor(const Ref<NSColor>& color, CGSize offset, float blurRadius)
{
    auto shadow = NSShadow::shadow();
    if (color)
        shadow->setShadowColor(color);
    shadow->setShadowOffset(offset);
    shadow->setShadowBlurRadius(double(blurRadius));
    return shadow;
}

Ref<NSShadow> NSShadowTKExtensions::defaultShadowWithColor(const Ref<NSColor>& color)
{
    return shadowWithColor(color, CGSizeMake(0, -1), 0);
}

Ref<NSShadow> NSShadowTKExtensions::defaultWhiteShadow()
{
    return defaultShadowWithColor(NSColor::colorWithCalibratedWhite(1.0, 1.0));
}

Ref<NSShadow> NSShadowTKExtensions::defaultLightWhiteShadow()
{
    return defaultShadowWithColor(NSColor::colorWithCalibratedWhite(1.0, 0.55));
}

Ref<NSShadow> NSShadowTKExtensions::defaultDisabledWhiteShadow()
{
    return defaultShadowWithColor(NSColor::colorWithCalibratedWhite(1.0, 0.6));
}

Ref<NSShadow> NSShadowTKExtensions::defaultBlackShadow()
{
    return defaultShadowWithColor(NSColor::blackColor()->colorWithAlphaComponent(0.8));
}

Ref<NSShadow> NSShadowTKExtensions::defaultDarkGrayShadow()
{
    return defaultShadowWithColor(NSColor::blackColor()->colorWithAlphaComponent(0.6));
}

Ref<NSShadow> NSShadowTKExtensions::defaultGrayShadow()
{
    return defaultShadowWithColor(NSColor::blackColor()->colorWithAlphaComponent(0.3));
}

Ref<NSShadow> NSShadowTKExtensions::defaultLightGrayShadow()
{
    return defaultShadowWithColor(NSColor::blackColor()->colorWithAlphaComponent(0.2));
}

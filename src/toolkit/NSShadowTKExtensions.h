// Shadow presets of the toolkit: one point down, no blur.
#pragma once

#include <graphics/NSShadow.h>

class NSShadowTKExtensions {
public:
    // A null colour leaves the shadow's default colour.
    static Ref<NSShadow> shadowWithColor(const Ref<NSColor>& color, CGSize offset, float blurRadius);
    static Ref<NSShadow> defaultShadowWithColor(const Ref<NSColor>& color);
    static Ref<NSShadow> defaultWhiteShadow();
    static Ref<NSShadow> defaultLightWhiteShadow();
    static Ref<NSShadow> defaultDisabledWhiteShadow();
    static Ref<NSShadow> defaultBlackShadow();
    static Ref<NSShadow> defaultDarkGrayShadow();
    static Ref<NSShadow> defaultGrayShadow();
    static Ref<NSShadow> defaultLightGrayShadow();
};

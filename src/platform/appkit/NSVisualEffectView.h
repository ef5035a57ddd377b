// Visual-effect views: a translucent backdrop tinted by its material. The
// desktop behind a window cannot be sampled here, so the view draws the
// material's tint at its translucency; rounded corners come from its layer
// (corner radius with masksToBounds), as on the platform.
#pragma once

#include "NSView.h"

#include <graphics/NSColor.h>
#include <graphics/NSImage.h>

using NSVisualEffectMaterial = long;
inline constexpr NSVisualEffectMaterial NSVisualEffectMaterialAppearanceBased = 0;
inline constexpr NSVisualEffectMaterial NSVisualEffectMaterialLight = 1;
inline constexpr NSVisualEffectMaterial NSVisualEffectMaterialDark = 2;
inline constexpr NSVisualEffectMaterial NSVisualEffectMaterialTitlebar = 3;
inline constexpr NSVisualEffectMaterial NSVisualEffectMaterialSelection = 4;
inline constexpr NSVisualEffectMaterial NSVisualEffectMaterialMenu = 5;
inline constexpr NSVisualEffectMaterial NSVisualEffectMaterialPopover = 6;
inline constexpr NSVisualEffectMaterial NSVisualEffectMaterialSidebar = 7;
inline constexpr NSVisualEffectMaterial NSVisualEffectMaterialMediumLight = 8;
inline constexpr NSVisualEffectMaterial NSVisualEffectMaterialUltraDark = 9;

enum NSVisualEffectBlendingMode : long {
    NSVisualEffectBlendingModeBehindWindow = 0,
    NSVisualEffectBlendingModeWithinWindow = 1,
};

enum NSVisualEffectState : long {
    NSVisualEffectStateFollowsWindowActiveState = 0,
    NSVisualEffectStateActive = 1,
    NSVisualEffectStateInactive = 2,
};

class NSVisualEffectView : public NSView {
public:
    explicit NSVisualEffectView(CGRect frame = CGRectZero);

    NSVisualEffectMaterial material() const { return m_material; }
    void setMaterial(NSVisualEffectMaterial material);
    NSVisualEffectBlendingMode blendingMode() const { return m_blendingMode; }
    void setBlendingMode(NSVisualEffectBlendingMode mode) { m_blendingMode = mode; }
    NSVisualEffectState state() const { return m_state; }
    void setState(NSVisualEffectState state);
    bool isEmphasized() const { return m_emphasized; }
    void setEmphasized(bool flag) { m_emphasized = flag; }

    // An image whose alpha shapes the view, stretched to its bounds by its
    // cap insets (the corners keep their size).
    const Ref<NSImage>& maskImage() const { return m_maskImage; }
    void setMaskImage(const Ref<NSImage>& image);

    // The tint drawn for the current material: its colour and translucency.
    Ref<NSColor> tintColor() const;
    void drawRect(CGRect dirtyRect) override;

private:
    NSVisualEffectMaterial m_material { NSVisualEffectMaterialAppearanceBased };
    NSVisualEffectBlendingMode m_blendingMode { NSVisualEffectBlendingModeBehindWindow };
    NSVisualEffectState m_state { NSVisualEffectStateFollowsWindowActiveState };
    bool m_emphasized { false };
    Ref<NSImage> m_maskImage;
};

// Visual-effect views: a translucent backdrop tinted by its material. A view
// that blends behind its window shows what lies beneath the window there,
// blurred, under the tint: the window reads it from the desktop as it comes
// to the front (and the view again when it moves on the screen while the
// desktop can still read beneath it). Rounded corners come from its layer
// (corner radius with masksToBounds), as on the platform.
#pragma once

#include "NSView.h"

#include <desktop/DesktopTypes.h>
#include <graphics/CGContext.h>
#include <graphics/NSColor.h>
#include <graphics/NSImage.h>

#include <utility>
#include <vector>

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

    // How far what lies beneath the window is blurred, in points.
    static constexpr int kBackdropBlurRadius = 30;
    // The backdrop is blurred at 1/kBackdropReduction of its size.
    static constexpr int kBackdropReduction = 4;
    // Reads what lies beneath the window under the view from the desktop
    // and blurs it; the window calls it just before it comes to the front.
    // Nothing happens for a view that does not blend behind its window or
    // is not in a window on the desktop; a desktop that cannot read beneath
    // the window leaves the backdrop read before.
    void captureBackdrop();
    // The blurred backdrop (null until one is read) and the desktop area it
    // shows (top-left origin), which reaches the blur radius past the view.
    const Ref<NSImage>& backdrop() const { return m_backdrop; }
    CGRect backdropArea() const { return m_backdropArea; }
    // Lets go of the backdrops kept for the screens read before (the window
    // is hidden and the program hands memory back); the current one stays.
    void letGoOfKeptBackdrops() { std::vector<KeptBackdrop>().swap(m_kept); }

private:
    // The view's rectangle on the desktop (top-left origin), or null when it
    // is in no window that is on the desktop.
    CGRect desktopRect() const;
    // captureBackdrop without asking for display; whether a backdrop was read.
    bool readBackdrop();
    // Draws the backdrop where it lies under the view; with the tint over it
    // (answering true) when it covers the covering rectangle.
    bool drawBackdrop(NSCompositingOperation operation, const CGRect& covering);
    // Where the backdrop lies in the view's coordinates (read again first
    // when the view moved on the screen); false when there is none.
    bool backdropAreaInView(CGRect& area);
    // Where a picture of the backdrop's area drawn at the size lies in the
    // view's coordinates while the view is at desktopRect.
    CGRect backdropRectInView(CGRect desktopRect, CGSize size) const;
    // The backdrop with the current tint over it at the area's size (null
    // when it cannot be made), kept until the backdrop or the tint changes.
    const Ref<NSImage>& tintedBackdrop();
    // The current tint's white level and alpha.
    std::pair<CGFloat, CGFloat> tintWhiteAndAlpha() const;
    // The blurred backdrop with the current tint over it at its small size
    // (Cairo's pixel layout; null when it cannot be made), kept until the
    // backdrop or the tint changes.
    const CGContextRef& tintedSmallBackdrop();
    // Draws the tinted backdrop over the dirty rectangle of the view when it
    // covers it: enlarged straight into the window's pixels where nothing
    // but rectangles clips it, through the layer's rounded corners where
    // they cut it. False when there is no such backdrop to draw.
    bool drawTintedBackdrop(const CGContextRef& context, CGRect dirtyRect);
    // One rectangle of it, the enlarged backdrop's origin at area's top-left.
    void drawTintedPiece(const CGContextRef& context, CGRect piece, CGRect area);
    bool writeTintedPiece(const CGContextRef& context, CGRect area);
    bool drawsWithinLayerShape() const override { return true; }

    NSVisualEffectMaterial m_material { NSVisualEffectMaterialAppearanceBased };
    NSVisualEffectBlendingMode m_blendingMode { NSVisualEffectBlendingModeBehindWindow };
    NSVisualEffectState m_state { NSVisualEffectStateFollowsWindowActiveState };
    bool m_emphasized { false };
    Ref<NSImage> m_maskImage;
    Ref<NSImage> m_backdrop;
    CGRect m_backdropArea { CGRectNull };
    // The view's desktop rectangle when the backdrop was last asked for.
    CGRect m_backdropFor { CGRectNull };
    Ref<NSImage> m_tintedBackdrop;
    std::pair<CGFloat, CGFloat> m_tintedWith;
    CGContextRef m_tintedSmall;
    bool m_tintedSmallOpaque { false };
    std::pair<CGFloat, CGFloat> m_tintedSmallWith;
    // The last backdrops read (the newest first), each with the small read
    // it was blurred from and its tinted copy. Switching back and forth
    // between two windows shows the same two screens beneath the panel
    // again and again: a read equal to one of them takes its copies instead
    // of blurring and tinting again.
    struct KeptBackdrop {
        int width { 0 };
        int height { 0 };
        std::vector<uint8_t> read;
        Ref<NSImage> backdrop;
        CGContextRef tintedSmall;
        bool tintedSmallOpaque { false };
        std::pair<CGFloat, CGFloat> tintedSmallWith;
    };
    static constexpr size_t kKeptBackdrops = 2;
    std::vector<KeptBackdrop> m_kept;
    // Takes a kept backdrop equal to the small read; false when none is.
    bool takeKeptBackdrop(const DesktopImage& reduced);
};

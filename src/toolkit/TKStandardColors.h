// Fixed interface colours, most with a dimmed variant (the flag YES), each
// made on first request and the same object ever after; and the system
// colours a control takes from the state of its window. Main thread only.
#pragma once

#include <graphics/NSColor.h>

class NSView;

class TKStandardColors {
public:
    static Ref<NSColor> frameColor(bool dimmed);
    static Ref<NSColor> lightFrameColor(bool dimmed);
    static Ref<NSColor> frameAccentLineColor(bool dimmed);
    static Ref<NSColor> verticalFrameAccentLineColor(bool dimmed);
    static Ref<NSColor> tabBarBackgroundColor(bool dimmed);
    static Ref<NSColor> sourceListBackgroundColor(bool dimmed);
    static Ref<NSColor> shadowColor();
    static Ref<NSColor> blueBackgroundColor();
    static Ref<NSColor> blueBackgroundRowColor();
    static Ref<NSColor> whiteAccentLineColor();
    static Ref<NSColor> windowBackground();

    // The secondary selection colour in a window whose controls are dimmed,
    // or (with the flag) for a view that is not first responder; else the
    // alternate selection colour.
    static Ref<NSColor> highlightColorForControl(NSView* view, bool requireFirstResponder);
    // The disabled text colour in a dimmed window (unless ignoreDimmed), or
    // (with the flag) for a view that is not first responder; else the
    // alternate selected text colour.
    static Ref<NSColor> textColorForControl(NSView* view, bool requireFirstResponder, bool ignoreDimmed);
};

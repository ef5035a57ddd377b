#include "TKStandardColors.h"

#include "NSWindowUtilities.h"

#include <appkit/NSView.h>
#include <appkit/NSWindow.h>

namespace {

Ref<NSColor> white(double w, double a) { return NSColor::colorWithCalibratedWhite(w, a); }
Ref<NSColor> rgb(double r, double g, double b) { return NSColor::colorWithCalibratedRed(r, g, b, 1.0); }

} // namespace

// Each variant is made once, on its first request.
#define TK_CACHED(expression)                 \
    do {                                      \
        static const Ref<NSColor> cached = expression; \
        return cached;                        \
    } while (0)
#define TK_DIMMABLE(normal, dimmed) \
    do {                            \
        if (isDimmed)               \
            TK_CACHED(dimmed);      \
        TK_CACHED(normal);          \
    } while (0)

Ref<NSColor> TKStandardColors::frameColor(bool isDimmed) { TK_DIMMABLE(white(0.3, 1.0), white(0.55, 1.0)); }
Ref<NSColor> TKStandardColors::lightFrameColor(bool isDimmed) { TK_DIMMABLE(white(0.42, 1.0), white(0.7, 1.0)); }
Ref<NSColor> TKStandardColors::frameAccentLineColor(bool isDimmed) { TK_DIMMABLE(white(1.0, 0.26), white(1.0, 0.05)); }
Ref<NSColor> TKStandardColors::verticalFrameAccentLineColor(bool isDimmed)
{
    TK_DIMMABLE(white(1.0, 0.1), white(1.0, 0.05));
}
Ref<NSColor> TKStandardColors::tabBarBackgroundColor(bool isDimmed) { TK_DIMMABLE(white(0.47, 1.0), white(0.75, 1.0)); }
Ref<NSColor> TKStandardColors::sourceListBackgroundColor(bool isDimmed)
{
    TK_DIMMABLE(rgb(0.82, 0.843, 0.886), rgb(0.91, 0.91, 0.91));
}
Ref<NSColor> TKStandardColors::shadowColor() { TK_CACHED(white(0.6, 1.0)); }
Ref<NSColor> TKStandardColors::blueBackgroundColor() { TK_CACHED(rgb(0.898, 0.925, 0.973)); }
Ref<NSColor> TKStandardColors::blueBackgroundRowColor() { TK_CACHED(rgb(0.808, 0.867, 0.976)); }
Ref<NSColor> TKStandardColors::whiteAccentLineColor() { TK_CACHED(white(1.0, 0.5)); }
Ref<NSColor> TKStandardColors::windowBackground() { TK_CACHED(white(0.9, 1.0)); }

namespace {

bool isFirstResponder(NSView* view)
{
    NSWindow* window = view ? view->window() : nullptr;
    return window && window->firstResponder().get() == view;
}

} // namespace

Ref<NSColor> TKStandardColors::highlightColorForControl(NSView* view, bool requireFirstResponder)
{
    NSWindow* window = view ? view->window() : nullptr;
    if (window && NSWindowUtilities::dimControlsKey(*window))
        return NSColor::secondarySelectedControlColor();
    if (requireFirstResponder && !isFirstResponder(view))
        return NSColor::secondarySelectedControlColor();
    return NSColor::alternateSelectedControlColor();
}

Ref<NSColor> TKStandardColors::textColorForControl(NSView* view, bool requireFirstResponder, bool ignoreDimmed)
{
    NSWindow* window = view ? view->window() : nullptr;
    if (!ignoreDimmed && window && NSWindowUtilities::dimControlsKey(*window))
        return NSColor::disabledControlTextColor();
    if (requireFirstResponder && !isFirstResponder(view))
        return NSColor::disabledControlTextColor();
    return NSColor::alternateSelectedControlTextColor();
}

// The application framework's drawing context: a CGContext plus whether
// its user space is flipped (y down). Each thread has its own current
// context and its own stack of saved graphics states.
#pragma once

#include "CGContext.h"
#include "GraphicsTypes.h"

#include <foundation/NSObject.h>

class NSBitmapImageRep;

class NSGraphicsContext : public NSObject {
public:
    static Ref<NSGraphicsContext> currentContext();
    static void setCurrentContext(const Ref<NSGraphicsContext>&);
    // Pushes the current context and saves its state; restoring pops, makes
    // the pushed context current again and restores its state. A restore
    // with nothing saved logs and does nothing.
    static void saveGraphicsState();
    static void restoreGraphicsState();

    // Null when the representation's layout cannot be drawn into.
    static Ref<NSGraphicsContext> graphicsContextWithBitmapImageRep(const Ref<NSBitmapImageRep>&);
    static Ref<NSGraphicsContext> graphicsContextWithCGContext(const CGContextRef&, bool flipped);

    NSGraphicsContext(CGContextRef context, bool flipped, Ref<NSBitmapImageRep> rep);

    const CGContextRef& CGContext() const { return m_context; }
    bool isFlipped() const { return m_flipped; }
    // The bitmap this context draws into, when it was made for one.
    const Ref<NSBitmapImageRep>& bitmapImageRep() const { return m_rep; }

    // Part of the graphics state: saved and restored with it.
    NSImageInterpolation imageInterpolation() const;
    void setImageInterpolation(NSImageInterpolation);
    NSCompositingOperation compositingOperation() const;
    void setCompositingOperation(NSCompositingOperation);

    // The instance's own save and restore (the class operations above also
    // switch the current context).
    void saveContextGraphicsState();
    void restoreContextGraphicsState();
    // Brings the bitmap's memory up to date with what was drawn.
    void flushGraphics();

private:
    CGContextRef m_context;
    bool m_flipped;
    Ref<NSBitmapImageRep> m_rep;
};

// Focus rings: while a style is set (it is part of the graphics state),
// paths that are filled or stroked also draw the keyboard-focus ring
// along their outline: alone (Only), or below or above the shape.
enum NSFocusRingPlacement : unsigned long { NSFocusRingOnly = 0, NSFocusRingBelow = 1, NSFocusRingAbove = 2 };
void NSSetFocusRingStyle(NSFocusRingPlacement placement);
// The ring: a band this wide centred on the outline, in this colour.
inline constexpr CGFloat kFocusRingWidth = 3;
CGColorRef NSFocusRingColor();

// Saves the graphics state (NSGraphicsContext::saveGraphicsState) for a scope.
class NSGraphicsStateSaver {
public:
    NSGraphicsStateSaver() { NSGraphicsContext::saveGraphicsState(); }
    ~NSGraphicsStateSaver() { NSGraphicsContext::restoreGraphicsState(); }
    NSGraphicsStateSaver(const NSGraphicsStateSaver&) = delete;
    NSGraphicsStateSaver& operator=(const NSGraphicsStateSaver&) = delete;
};

// Small circular button images: a filled circle with a faint outline and a
// cross, plus or minus in the middle, in colours the caller gives; and the
// symbols alone. Each image is the rect's size and drawn in its own
// coordinates, so the rect's origin plays no part.
#pragma once

#include <graphics/NSColor.h>
#include <graphics/NSImage.h>

class NSImageStandardImages {
public:
    // The circle (inset 2 points) filled in backColor with the interior
    // image centred on it at its own size, casting a faint shadow.
    static Ref<NSImage> image(CGRect rect, const Ref<NSImage>& interior, const Ref<NSColor>& backColor);
    // Strokes 1.5 points wide in the central three sevenths of the rect.
    static Ref<NSImage> stopInteriorImage(CGRect rect, const Ref<NSColor>& lineColor);
    static Ref<NSImage> plusInteriorImage(CGRect rect, const Ref<NSColor>& lineColor);
    static Ref<NSImage> minusInteriorImage(CGRect rect, const Ref<NSColor>& lineColor);
    // The stop cross is drawn in the rect inset by one point.
    static Ref<NSImage> stopImage(CGRect rect, const Ref<NSColor>& backColor, const Ref<NSColor>& lineColor);
    static Ref<NSImage> plusImage(CGRect rect, const Ref<NSColor>& backColor, const Ref<NSColor>& lineColor);
    static Ref<NSImage> minusImage(CGRect rect, const Ref<NSColor>& backColor, const Ref<NSColor>& lineColor);
};

// Helpers shared by the interface-platform tests.
#pragma once

#include "support/Pixels.h"

#include <appkit/NSApplication.h>
#include <appkit/NSView.h>
#include <appkit/NSWindow.h>
#include <desktop/DesktopTypes.h>
#include <graphics/NSColor.h>
#include <graphics/NSGraphicsContext.h>

#include <functional>
#include <vector>

// A view that fills its bounds (the part being drawn) with one colour and
// records what it was asked to draw.
class ColorView : public NSView {
public:
    ColorView(CGRect frame, Ref<NSColor> color, bool flipped = false)
        : NSView(frame)
        , m_color(std::move(color))
        , m_flipped(flipped)
    {
    }
    bool isFlipped() const override { return m_flipped; }
    void drawRect(CGRect dirty) override
    {
        drawCount++;
        dirtyRects.push_back(dirty);
        if (!m_color)
            return;
        auto context = NSGraphicsContext::currentContext();
        CGContextSetFillColorWithColor(context->CGContext(), m_color->CGColor());
        // Fills the whole bounds: the clip must keep it inside the damage.
        CGContextFillRect(context->CGContext(), bounds());
    }
    void setColor(Ref<NSColor> color)
    {
        m_color = std::move(color);
        setNeedsDisplay(true);
    }

    // Changes the colour without asking for a repaint.
    void setColorQuietly(Ref<NSColor> color) { m_color = std::move(color); }

    int drawCount { 0 };
    std::vector<CGRect> dirtyRects;

private:
    Ref<NSColor> m_color;
    bool m_flipped;
};

inline Ref<NSWindow> makeWindow(CGRect frame, NSWindowStyleMask style = NSWindowStyleMaskTitled)
{
    return makeRef<NSWindow>(frame, style);
}

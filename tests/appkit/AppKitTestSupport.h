// Helpers shared by the interface-platform tests.
#pragma once

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

struct Pixel {
    int r, g, b, a;
    bool operator==(const Pixel&) const = default;
};

// The pixel at (x, y) counted from the image's top-left corner.
inline Pixel pixelAt(const DesktopImage& image, int x, int y)
{
    if (x < 0 || y < 0 || x >= image.width || y >= image.height)
        return { -1, -1, -1, -1 };
    const uint8_t* p = image.rgba.data() + (static_cast<size_t>(y) * image.width + x) * 4;
    return { p[0], p[1], p[2], p[3] };
}

inline std::ostream& operator<<(std::ostream& os, const Pixel& p)
{
    return os << "(" << p.r << ", " << p.g << ", " << p.b << ", " << p.a << ")";
}

inline Ref<NSWindow> makeWindow(CGRect frame, NSWindowStyleMask style = NSWindowStyleMaskTitled)
{
    return makeRef<NSWindow>(frame, style);
}

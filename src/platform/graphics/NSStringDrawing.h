// Measuring and drawing text with Pango.
//
// The string drawing operations of the application framework become free
// functions over UTF-8 strings: sizeWithAttributes and drawAtPoint draw
// into the current graphics context, with the point at the text's origin:
// its bottom-left corner in an unflipped context, its top-left corner in a
// flipped one. Ranges of attributed text are in UTF-16 units, as the
// platform counts them. TextLayout is the layer below, for drawing into a
// CGContext directly (labels, badges, text layers).
#pragma once

#include "CGContext.h"
#include "NSColor.h"
#include "NSFont.h"

#include <foundation/Unicode.h>

#include <vector>

typedef struct _PangoLayout PangoLayout;

struct NSRange {
    size_t location { 0 };
    size_t length { 0 };
};

// The text attributes the system uses (NSFontAttributeName,
// NSForegroundColorAttributeName, NSUnderlineStyleAttributeName). Unset
// ones take the defaults: the 12-point system font, black, no underline.
struct NSStringAttributes {
    Ref<NSFont> font;
    Ref<NSColor> foregroundColor;
    int underlineStyle { 0 };
    // Painted behind the glyphs of the range.
    Ref<NSColor> backgroundColor;
};

enum NSLineBreakMode : unsigned long {
    NSLineBreakByWordWrapping = 0,
    NSLineBreakByCharWrapping = 1,
    NSLineBreakByClipping = 2,
    NSLineBreakByTruncatingHead = 3,
    NSLineBreakByTruncatingTail = 4,
    NSLineBreakByTruncatingMiddle = 5,
};

class TextLayout {
public:
    TextLayout(const std::string& text, const NSStringAttributes& attributes);
    ~TextLayout();
    TextLayout(const TextLayout&) = delete;
    TextLayout& operator=(const TextLayout&) = delete;

    // Attributes over part of the text; set ones replace the base ones there.
    void addAttributes(NSRange range, const NSStringAttributes& attributes);
    // Limits the width: wrapping modes wrap, truncating modes put an
    // ellipsis at the head, middle or tail, clipping cuts the line.
    void setMaximumWidth(CGFloat width, NSLineBreakMode mode);

    // The size of the laid-out text in points.
    CGSize size() const;
    // Draws with the origin at point (see above) in the context's current
    // state: its transform, clip, alpha and blend mode.
    void drawAtPoint(const CGContextRef& context, CGPoint point, bool flipped) const;

    const std::string& text() const { return m_text; }

private:
    std::string m_text;
    NSStringAttributes m_base;
    PangoLayout* m_layout;
};

CGSize sizeWithAttributes(const std::string& text, const NSStringAttributes& attributes);
void drawAtPoint(const std::string& text, CGPoint point, const NSStringAttributes& attributes);
// Draws inside the rect, from its top edge, truncating at the tail.
void drawInRect(const std::string& text, CGRect rect, const NSStringAttributes& attributes);

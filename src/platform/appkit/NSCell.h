// Cells: the value, text attributes and drawing of a control. A control
// keeps one cell and draws through it; some views (the shortcut recorder)
// draw through a cell of their own.
#pragma once

#include "NSAttributedString.h"

#include <foundation/NSObject.h>
#include <graphics/NSColor.h>
#include <graphics/NSFont.h>
#include <graphics/NSImage.h>
#include <graphics/NSStringDrawing.h>

class NSView;

enum NSTextAlignment : long {
    NSTextAlignmentLeft = 0,
    NSTextAlignmentRight = 1,
    NSTextAlignmentCenter = 2,
    NSTextAlignmentJustified = 3,
    NSTextAlignmentNatural = 4,
};

using NSControlStateValue = long;
inline constexpr NSControlStateValue NSControlStateValueMixed = -1;
inline constexpr NSControlStateValue NSControlStateValueOff = 0;
inline constexpr NSControlStateValue NSControlStateValueOn = 1;

enum NSBackgroundStyle : long {
    NSBackgroundStyleNormal = 0,
    NSBackgroundStyleEmphasized = 1,
    NSBackgroundStyleRaised = 2,
    NSBackgroundStyleLowered = 3,
};

class NSCell : public NSObject {
public:
    NSCell();

    const Value& objectValue() const { return m_value; }
    virtual void setObjectValue(const Value& value);
    std::string stringValue() const;
    void setStringValue(const std::string& s) { setObjectValue(Value(s)); }
    // The attributed text when one was set, else the string value with the
    // cell's own attributes.
    Ref<NSAttributedString> attributedStringValue() const;
    void setAttributedStringValue(const Ref<NSAttributedString>& text);
    bool hasAttributedStringValue() const { return static_cast<bool>(m_attributed); }
    int64_t integerValue() const { return m_value.integerValue(); }
    double doubleValue() const { return m_value.doubleValue(); }

    const Ref<NSFont>& font() const { return m_font; }
    void setFont(const Ref<NSFont>& font);
    NSTextAlignment alignment() const { return m_alignment; }
    void setAlignment(NSTextAlignment alignment) { m_alignment = alignment; }
    NSLineBreakMode lineBreakMode() const { return m_lineBreakMode; }
    void setLineBreakMode(NSLineBreakMode mode) { m_lineBreakMode = mode; }
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool flag) { m_enabled = flag; }
    NSControlStateValue state() const { return m_state; }
    virtual void setState(NSControlStateValue state) { m_state = state; }
    NSBackgroundStyle backgroundStyle() const { return m_backgroundStyle; }
    void setBackgroundStyle(NSBackgroundStyle style) { m_backgroundStyle = style; }
    bool isHighlighted() const { return m_highlighted; }
    void setHighlighted(bool flag) { m_highlighted = flag; }
    const Ref<NSImage>& image() const { return m_image; }
    void setImage(const Ref<NSImage>& image) { m_image = image; }
    const std::string& title() const { return m_title; }
    void setTitle(const std::string& title) { m_title = title; }

    // The size the cell needs for its content.
    virtual CGSize cellSize() const;
    // Draws the cell (frame and interior) in a rectangle of the view.
    virtual void drawWithFrame(CGRect frame, NSView* view);
    virtual void drawInteriorWithFrame(CGRect frame, NSView* view);

protected:
    // Text attributes for drawing: the cell's font, and the colour given
    // (dimmed when the cell is disabled).
    NSStringAttributes textAttributes(const Ref<NSColor>& color) const;
    // Draws text laid out in the rectangle with the cell's alignment and
    // line-break mode, from the top of the rectangle.
    void drawText(const NSAttributedString& text, CGRect rect, NSView* view) const;

private:
    Value m_value;
    Ref<NSAttributedString> m_attributed;
    Ref<NSFont> m_font;
    NSTextAlignment m_alignment { NSTextAlignmentNatural };
    NSLineBreakMode m_lineBreakMode { NSLineBreakByClipping };
    NSControlStateValue m_state { NSControlStateValueOff };
    NSBackgroundStyle m_backgroundStyle { NSBackgroundStyleNormal };
    Ref<NSImage> m_image;
    std::string m_title;
    bool m_enabled { true };
    bool m_highlighted { false };
    // The layout of the text last drawn, for the next draw of the same text
    // in the same attributes and width on the same thread: laying text out
    // costs more than drawing it, and a panel's labels are drawn again with
    // the same text at every opening.
    struct KeptTextLayout;
    mutable std::shared_ptr<KeptTextLayout> m_keptLayout;
};

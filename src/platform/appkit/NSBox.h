// Boxes: a rectangle with a fill, a border and rounded corners, holding a
// content view (the custom box type; the other types draw the same way).
#pragma once

#include "NSView.h"

#include <graphics/NSColor.h>

enum NSBoxType : unsigned long {
    NSBoxPrimary = 0,
    NSBoxSeparator = 2,
    NSBoxCustom = 4,
};

class NSBox : public NSView {
public:
    explicit NSBox(CGRect frame = CGRectZero);

    NSBoxType boxType() const { return m_boxType; }
    void setBoxType(NSBoxType type);
    const Ref<NSColor>& fillColor() const { return m_fillColor; }
    void setFillColor(const Ref<NSColor>& color);
    const Ref<NSColor>& borderColor() const { return m_borderColor; }
    void setBorderColor(const Ref<NSColor>& color);
    CGFloat borderWidth() const { return m_borderWidth; }
    void setBorderWidth(CGFloat width);
    CGFloat cornerRadius() const { return m_cornerRadius; }
    void setCornerRadius(CGFloat radius);
    bool isTransparent() const { return m_transparent; }
    void setTransparent(bool flag);
    const std::string& title() const { return m_title; }
    void setTitle(const std::string& title) { m_title = title; }
    // The content view fills the box inside its border.
    const Ref<NSView>& contentView() const { return m_contentView; }
    void setContentView(const Ref<NSView>& view);

    void drawRect(CGRect dirtyRect) override;

private:
    NSBoxType m_boxType { NSBoxPrimary };
    Ref<NSColor> m_fillColor { NSColor::clearColor() };
    Ref<NSColor> m_borderColor { NSColor::colorWithDeviceWhite(0, 0.2) };
    CGFloat m_borderWidth { 1 };
    CGFloat m_cornerRadius { 0 };
    bool m_transparent { false };
    std::string m_title;
    Ref<NSView> m_contentView;
};

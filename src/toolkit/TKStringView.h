// A read-only text label: a text field that cannot be edited or selected,
// draws no bezel, border or background of its own, truncates long text in
// the middle, lets every click through to whatever lies beneath it, lets the
// nearest willing ancestor paint the background behind it, draws dimmed
// when its window's controls dim, and keeps a cached minimum size that fits
// its text.
#pragma once

#include <appkit/NSTextField.h>

class TKStringView : public NSTextField {
public:
    // The label as initWithFrame: makes it.
    explicit TKStringView(CGRect frame);
    // The label as an interface file makes it: the text field's own
    // initialiser only, so the file's settings stay and the cell background
    // style is 0.
    struct InterfaceFile { };
    TKStringView(CGRect frame, InterfaceFile);

    // A label over (0, 0, 10, 10) with the given cell background style.
    static Ref<TKStringView> stringView(NSBackgroundStyle style);

    // The style given to the cell each time the label draws undimmed.
    NSBackgroundStyle cellBackgroundStyle() const { return m_cellBackgroundStyle; }
    void setCellBackgroundStyle(NSBackgroundStyle style) { m_cellBackgroundStyle = style; }
    // The last computed minimum size; the zero size means none yet.
    CGSize cachedMinSizeToFit() const { return m_cachedMinSizeToFit; }
    void setCachedMinSizeToFit(CGSize size) { m_cachedMinSizeToFit = size; }
    // The text's size with a margin of kMinSizeWidthMargin added to its
    // width, measured once per text.
    CGSize minSizeToFit();
    static constexpr CGFloat kMinSizeWidthMargin = 6.0;

    // Never the target of a click: the click goes to the view beneath.
    Ref<NSView> hitTest(CGPoint pointInSuperview) override;
    void drawRect(CGRect dirtyRect) override;
    // Every change of the text, even to the same text, empties the cache.
    void setStringValue(const std::string& value) override;
    void setObjectValue(const Value& value) override;
    void setAttributedStringValue(const Ref<NSAttributedString>& text) override;

private:
    NSBackgroundStyle m_cellBackgroundStyle { NSBackgroundStyleNormal };
    CGSize m_cachedMinSizeToFit { CGSizeZero };
};

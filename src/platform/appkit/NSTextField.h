// Text fields: labels (not editable, no bezel, no background) and editable
// fields. The text is laid out with Pango in the cell's font and colour,
// aligned and truncated (head, middle, tail) or wrapped by the line-break
// mode.
//
// Editing: an editable field that is first responder takes typed
// characters (without Command or Control), Delete removes the last one,
// Return ends the edit and sends the action; ending an edit writes the
// "value" binding back.
#pragma once

#include "NSControl.h"

class NSTextFieldCell : public NSCell {
public:
    const Ref<NSColor>& textColor() const { return m_textColor; }
    void setTextColor(const Ref<NSColor>& color) { m_textColor = color; }
    const Ref<NSColor>& backgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(const Ref<NSColor>& color) { m_backgroundColor = color; }
    bool drawsBackground() const { return m_drawsBackground; }
    void setDrawsBackground(bool flag) { m_drawsBackground = flag; }
    bool isBordered() const { return m_bordered; }
    void setBordered(bool flag) { m_bordered = flag; }
    bool isBezeled() const { return m_bezeled; }
    void setBezeled(bool flag) { m_bezeled = flag; }
    const std::string& placeholderString() const { return m_placeholder; }
    void setPlaceholderString(const std::string& s) { m_placeholder = s; }

    Ref<NSAttributedString> attributedText() const;
    CGSize cellSize() const override;
    void drawWithFrame(CGRect frame, NSView* view) override;
    void drawInteriorWithFrame(CGRect frame, NSView* view) override;
    // The rectangle the text is laid out in.
    CGRect titleRectForBounds(CGRect bounds) const;

private:
    Ref<NSColor> m_textColor { NSColor::controlTextColor() };
    Ref<NSColor> m_backgroundColor;
    std::string m_placeholder;
    bool m_drawsBackground { false };
    bool m_bordered { false };
    bool m_bezeled { false };
};

class NSTextField : public NSControl {
public:
    explicit NSTextField(CGRect frame = CGRectZero);
    // A label: not editable or selectable, no bezel or background, sized to
    // its text.
    static Ref<NSTextField> labelWithString(const std::string& text);
    static Ref<NSTextField> labelWithAttributedString(const Ref<NSAttributedString>& text);
    // An editable field with a bezel, sized to its text.
    static Ref<NSTextField> textFieldWithString(const std::string& text);

    NSTextFieldCell& textFieldCell() const { return static_cast<NSTextFieldCell&>(*cell()); }

    bool isEditable() const { return m_editable; }
    void setEditable(bool flag) { m_editable = flag; }
    bool isSelectable() const { return m_selectable; }
    void setSelectable(bool flag) { m_selectable = flag; }
    const Ref<NSColor>& textColor() const { return textFieldCell().textColor(); }
    void setTextColor(const Ref<NSColor>& color);
    const Ref<NSColor>& backgroundColor() const { return textFieldCell().backgroundColor(); }
    void setBackgroundColor(const Ref<NSColor>& color);
    bool drawsBackground() const { return textFieldCell().drawsBackground(); }
    void setDrawsBackground(bool flag);
    bool isBordered() const { return textFieldCell().isBordered(); }
    void setBordered(bool flag);
    bool isBezeled() const { return textFieldCell().isBezeled(); }
    void setBezeled(bool flag);
    const std::string& placeholderString() const { return textFieldCell().placeholderString(); }
    void setPlaceholderString(const std::string& s);

    bool isFlipped() const override { return true; }
    bool acceptsFirstResponder() const override { return m_editable || m_selectable; }
    bool resignFirstResponder() override;
    void keyDown(const Ref<NSEvent>& event) override;
    bool isEditing() const { return m_editing; }

private:
    void endEditing();
    bool m_editable { true };
    bool m_selectable { true };
    bool m_editing { false };
};

// Controls: views with a cell holding their value, a target and an action.
//
// Target-action: the action is a selector name; sendAction hands it to
// NSApplication::sendAction with the target, or with no target along the
// responder chain (see NSActionTarget.h). The target is not kept alive.
//
// Bindings: "value" sets the object value, "enabled" and "hidden" their
// flags; a control that changes its value itself writes "value" back.
#pragma once

#include "NSCell.h"
#include "NSView.h"

class NSControl : public NSView {
public:
    explicit NSControl(CGRect frame = CGRectZero, Ref<NSCell> cell = nullptr);

    const Ref<NSCell>& cell() const { return m_cell; }
    void setCell(const Ref<NSCell>& cell);

    Ref<NSObject> target() const { return m_target.lock(); }
    void setTarget(const Ref<NSObject>& target) { m_target = target; }
    const std::string& action() const { return m_action; }
    void setAction(const std::string& action) { m_action = action; }
    // Sends the action; false when nobody answered it.
    bool sendAction(const std::string& action, const Ref<NSObject>& target);

    const Value& objectValue() const { return m_cell->objectValue(); }
    virtual void setObjectValue(const Value& value);
    // Whether the cell already holds value so that setting it changes
    // nothing drawn: the same plain value (nil, a number of the same kind,
    // the same text).
    virtual bool showsValue(const Value& value) const;
    std::string stringValue() const { return m_cell->stringValue(); }
    virtual void setStringValue(const std::string& value) { setObjectValue(Value(value)); }
    int64_t integerValue() const { return m_cell->integerValue(); }
    void setIntegerValue(int64_t value) { setObjectValue(Value(value)); }
    double doubleValue() const { return m_cell->doubleValue(); }
    Ref<NSAttributedString> attributedStringValue() const { return m_cell->attributedStringValue(); }
    virtual void setAttributedStringValue(const Ref<NSAttributedString>& text);

    bool isEnabled() const { return m_cell->isEnabled(); }
    virtual void setEnabled(bool flag);
    const Ref<NSFont>& font() const { return m_cell->font(); }
    virtual void setFont(const Ref<NSFont>& font);
    NSTextAlignment alignment() const { return m_cell->alignment(); }
    void setAlignment(NSTextAlignment alignment);
    NSLineBreakMode lineBreakMode() const { return m_cell->lineBreakMode(); }
    void setLineBreakMode(NSLineBreakMode mode);
    bool isHighlighted() const { return m_cell->isHighlighted(); }
    void setHighlighted(bool flag);

    // The size the cell needs.
    CGSize intrinsicContentSize() const override { return m_cell->cellSize(); }
    virtual void sizeToFit();

    void drawRect(CGRect dirtyRect) override;
    // A disabled control gives the click to what lies beneath it.
    bool acceptsFirstMouse(const Ref<NSEvent>&) const override { return true; }

    Value valueForKey(const std::string& key) const override;
    void setValueForKey(const Value& value, const std::string& key) override;

protected:
    void setValueForBinding(const Value& value, const std::string& binding) override;

private:
    Ref<NSCell> m_cell;
    Weak<NSObject> m_target;
    std::string m_action;
};

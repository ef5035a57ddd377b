#include "NSControl.h"

#include "NSApplication.h"

NSControl::NSControl(CGRect frame, Ref<NSCell> cell)
    : NSView(frame)
    , m_cell(cell ? std::move(cell) : makeRef<NSCell>())
{
}

void NSControl::setCell(const Ref<NSCell>& cell)
{
    if (!cell)
        return;
    m_cell = cell;
    setNeedsDisplay(true);
}

bool NSControl::sendAction(const std::string& action, const Ref<NSObject>& target)
{
    if (action.empty())
        return false;
    return NSApp().sendAction(action, target, selfRef<NSObject>());
}

bool NSControl::showsValue(const Value& value) const
{
    // A plain value equal to the one the cell holds, of the same kind (1
    // and 1.0 read differently), leaves the cell as it is: unless text with
    // attributes stands in for it, which a new value replaces.
    const Value& held = m_cell->objectValue();
    if (m_cell->hasAttributedStringValue() || value.type() != held.type())
        return false;
    using Type = Value::Type;
    Type type = value.type();
    bool plain = type == Type::Nil || type == Type::Bool || type == Type::Integer || type == Type::Double
        || type == Type::String;
    return plain && value == held;
}

void NSControl::setObjectValue(const Value& value)
{
    // Bindings hand a control its value again whenever the model announces
    // a change, mostly of something else: the same value draws nothing new.
    bool unchanged = showsValue(value);
    willChangeValueForKey("objectValue");
    m_cell->setObjectValue(value);
    didChangeValueForKey("objectValue");
    if (!unchanged)
        setNeedsDisplay(true);
}

void NSControl::setAttributedStringValue(const Ref<NSAttributedString>& text)
{
    willChangeValueForKey("objectValue");
    m_cell->setAttributedStringValue(text);
    didChangeValueForKey("objectValue");
    setNeedsDisplay(true);
}

void NSControl::setEnabled(bool flag)
{
    if (flag == m_cell->isEnabled())
        return;
    m_cell->setEnabled(flag);
    setNeedsDisplay(true);
}

void NSControl::setFont(const Ref<NSFont>& font)
{
    m_cell->setFont(font);
    setNeedsDisplay(true);
}

void NSControl::setAlignment(NSTextAlignment alignment)
{
    m_cell->setAlignment(alignment);
    setNeedsDisplay(true);
}

void NSControl::setLineBreakMode(NSLineBreakMode mode)
{
    m_cell->setLineBreakMode(mode);
    setNeedsDisplay(true);
}

void NSControl::setHighlighted(bool flag)
{
    if (flag == m_cell->isHighlighted())
        return;
    m_cell->setHighlighted(flag);
    setNeedsDisplay(true);
}

void NSControl::sizeToFit() { setFrameSize(m_cell->cellSize()); }

void NSControl::drawRect(CGRect) { m_cell->drawWithFrame(bounds(), this); }

Value NSControl::valueForKey(const std::string& key) const
{
    if (key == "objectValue" || key == "value")
        return objectValue();
    if (key == "stringValue")
        return Value(stringValue());
    if (key == "integerValue")
        return Value(integerValue());
    if (key == "enabled")
        return Value(isEnabled());
    return NSView::valueForKey(key);
}

void NSControl::setValueForKey(const Value& value, const std::string& key)
{
    if (key == "objectValue" || key == "value")
        setObjectValue(value);
    else if (key == "stringValue")
        setStringValue(value.stringValue());
    else if (key == "integerValue")
        setIntegerValue(value.integerValue());
    else if (key == "enabled")
        setEnabled(value.boolValue());
    else
        NSView::setValueForKey(value, key);
}

void NSControl::setValueForBinding(const Value& value, const std::string& binding)
{
    if (binding == NSValueBinding)
        setObjectValue(value);
    else
        NSKeyValueBindingCreation::setValueForBinding(value, binding);
}

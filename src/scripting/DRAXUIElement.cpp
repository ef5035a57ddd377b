#include "DRAXUIElement.h"

#include <foundation/Format.h>
#include <foundation/Log.h>

DRAXUIElement::DRAXUIElement(AXUIElementRef element)
    : m_element(std::move(element))
{
    // No attribute read or action waits longer than this for an application
    // that does not answer.
    if (m_element)
        AXUIElementSetMessagingTimeout(m_element, kMessagingTimeout);
}

Value DRAXUIElement::systemWideValue(const std::string& attribute)
{
    Value value;
    AXUIElementCopyAttributeValue(AXUIElementCreateSystemWide(), attribute, &value);
    return value;
}

AXUIElementRef DRAXUIElement::copyElementAtPosition(const CGPoint& point)
{
    AXUIElementRef found;
    AXError error = AXUIElementCopyElementAtPosition(
        AXUIElementCreateSystemWide(), static_cast<float>(point.x), static_cast<float>(point.y), &found);
    if (error != kAXErrorSuccess)
        NSLog("Error: Could not get accessibility element at position %@. (%d)", NSStringFromPoint(point), error);
    return found;
}

size_t DRAXUIElement::hash() const { return m_element ? m_element->hash() : 0; }

bool DRAXUIElement::isEqualTo(const DRAXUIElement& other) const
{
    // Wrappers of no element are equal to no other wrapper.
    return m_element && other.m_element && m_element->isEqual(other.m_element.get());
}

bool DRAXUIElement::isEqual(const NSObject* other) const
{
    auto* element = dynamic_cast<const DRAXUIElement*>(other);
    return element && isEqualTo(*element);
}

std::string DRAXUIElement::description() const { return m_element ? m_element->description() : std::string("<no element>"); }

pid_t DRAXUIElement::processIdentifier() const
{
    pid_t pid = 0;
    AXError error = AXUIElementGetPid(m_element, &pid);
    if (error != kAXErrorSuccess) {
        NSLog("Error: Could not get process identifier for accessibility element %@. (%d)", description(), error);
        return 0;
    }
    return pid;
}

Value DRAXUIElement::valueForAttribute(const std::string& attribute) const
{
    Value value;
    if (AXUIElementCopyAttributeValue(m_element, attribute, &value) != kAXErrorSuccess)
        return {};
    return value;
}

Value DRAXUIElement::valueForAttribute(const std::string& attribute, const Value& defaultValue) const
{
    Value value = valueForAttribute(attribute);
    return value.isNil() ? defaultValue : value;
}

Value DRAXUIElement::valuesForAttribute(const std::string& attribute, long index, long count) const
{
    Value values;
    if (AXUIElementCopyAttributeValues(m_element, attribute, index, count, &values) != kAXErrorSuccess)
        return {};
    return values;
}

bool DRAXUIElement::setAttribute(const std::string& attribute, const Value& value) const
{
    AXError error = AXUIElementSetAttributeValue(m_element, attribute, value);
    if (error != kAXErrorSuccess) {
        NSLog("Error: Could not set accessibility attribute “%@” with value “%@” for element %@. (%d)", attribute,
            value.description(), description(), error);
        return false;
    }
    return true;
}

bool DRAXUIElement::performAction(const std::string& action) const
{
    AXError error = AXUIElementPerformAction(m_element, action);
    if (error != kAXErrorSuccess) {
        NSLog("Error: Could not perform action “%@” for element %@. (%d)", action, description(), error);
        return false;
    }
    return true;
}

std::optional<std::string> DRAXUIElement::stringForAttribute(const std::string& attribute) const
{
    Value value = valueForAttribute(attribute);
    if (const auto* text = value.string())
        return *text;
    return std::nullopt;
}

bool DRAXUIElement::boolForAttribute(const std::string& attribute) const
{
    Value value = valueForAttribute(attribute);
    return value.type() == Value::Type::Bool && value.boolValue();
}

std::optional<CGPoint> DRAXUIElement::pointForAttribute(const std::string& attribute) const
{
    CGPoint point;
    if (auto ax = valueForAttribute(attribute).objectAs<AXValue>(); ax && AXValueGetValue(ax, kAXValueCGPointType, &point))
        return point;
    return std::nullopt;
}

std::optional<CGSize> DRAXUIElement::sizeForAttribute(const std::string& attribute) const
{
    CGSize size;
    if (auto ax = valueForAttribute(attribute).objectAs<AXValue>(); ax && AXValueGetValue(ax, kAXValueCGSizeType, &size))
        return size;
    return std::nullopt;
}

// One accessibility element of another application, as the script objects
// use it: typed reads and writes of its attributes, its actions and its
// equality. Failures never raise: reads give nothing (or a default),
// writes and actions NO, with a log line for writes and actions.
#pragma once

#include <foundation/NSObject.h>
#include <foundation/Value.h>
#include <services/AXUIElement.h>

#include <optional>
#include <string>

class DRAXUIElement : public NSObject {
public:
    // The messaging time-out set on every wrapped element, in seconds.
    static constexpr float kMessagingTimeout = 0.5f;

    // initWithElement:.
    explicit DRAXUIElement(AXUIElementRef element);

    const AXUIElementRef& element() const { return m_element; }

    // The element a system-wide attribute names, or the element at a point
    // (top-left coordinates), wrapped as T; the wrapper holds no element
    // when there is none.
    template <class T>
    static Ref<T> elementForSystemAttribute(const std::string& attribute)
    {
        return makeRef<T>(systemWideValue(attribute).objectAs<AXUIElement>());
    }
    template <class T>
    static Ref<T> elementAtPosition(const CGPoint& point)
    {
        return makeRef<T>(copyElementAtPosition(point));
    }

    size_t hash() const override;
    bool isEqualTo(const DRAXUIElement& other) const;
    bool isEqual(const NSObject* other) const override;
    std::string description() const override;

    // The owner process; 0 when it cannot be told (logged).
    pid_t processIdentifier() const;
    // Nothing on any error.
    Value valueForAttribute(const std::string& attribute) const;
    Value valueForAttribute(const std::string& attribute, const Value& defaultValue) const;
    Value valuesForAttribute(const std::string& attribute, long index, long count) const;
    bool setAttribute(const std::string& attribute, const Value& value) const;
    bool performAction(const std::string& action) const;

    // Typed reads: nothing when absent or of another type.
    std::optional<std::string> stringForAttribute(const std::string& attribute) const;
    bool boolForAttribute(const std::string& attribute) const;
    std::optional<CGPoint> pointForAttribute(const std::string& attribute) const;
    std::optional<CGSize> sizeForAttribute(const std::string& attribute) const;

private:
    static Value systemWideValue(const std::string& attribute);
    static AXUIElementRef copyElementAtPosition(const CGPoint& point);

    AXUIElementRef m_element;
};

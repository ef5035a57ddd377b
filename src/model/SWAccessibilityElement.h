// The system's handle on one user-interface element of another process:
// typed attribute reads, the frame in accessibility coordinates, moving and
// resizing with a change threshold, and the owning process. Two records are
// equal when they wrap equal elements; that equality is the identity of every
// window and application record in the model.
#pragma once

#include <foundation/NSObject.h>
#include <services/AXUIElement.h>

#include <optional>
#include <string>

class SWAccessibilityElement : public NSObject {
public:
    // Wraps an element; null for a null element.
    static Ref<SWAccessibilityElement> elementWithAXElement(const AXUIElementRef& element);

    explicit SWAccessibilityElement(AXUIElementRef element);
    ~SWAccessibilityElement() override;

    std::string description() const override;
    // Equal when the other object is of the receiver's class (or a subclass
    // of it) and wraps an equal element.
    bool isEqual(const NSObject* other) const override;
    size_t hash() const override;
    // A new record of the receiver's own class on the same element.
    virtual Ref<SWAccessibilityElement> copy() const;

    bool isResizable() const;
    bool isMovable() const;

    // The attribute when it reads as a string; nothing otherwise.
    std::optional<std::string> stringForKey(const std::string& attribute) const;
    // The attribute when it reads as a number or boolean; nil otherwise.
    Value numberForKey(const std::string& attribute) const;
    // Up to kMaxArrayValues values of an array attribute; nil when the read
    // fails or yields nothing.
    Value arrayForKey(const std::string& attribute) const;
    // A base-class record on an element-valued attribute; null otherwise.
    Ref<SWAccessibilityElement> elementForKey(const std::string& attribute) const;

    // Position and size; CGRectNull when either cannot be read.
    CGRect frame() const;
    void setFrame(const CGRect& frame) const;
    // Sets the size only when it changes by at least the threshold in one
    // dimension, around a move of the position.
    void setFrame(const CGRect& frame, const CGSize& threshold) const;
    void setPosition(const CGPoint& position) const;
    void setSize(const CGSize& size) const;

    // The element no longer exists: its process says it is invalid. A
    // process that does not answer in time does not make it gone.
    bool isGone() const;
    // The element's process answers accessibility requests in time.
    bool answers() const;

    // The element's process id; -1 on error.
    pid_t processIdentifier() const;

    const AXUIElementRef& axElementRef() const { return m_element; }
    void setAxElementRef(AXUIElementRef element)
    {
        m_element = std::move(element);
        m_elementHash = CFHash(m_element);
    }
    // The element's hash, kept: equal records have equal ones, so a search
    // through a long list compares these first.
    size_t elementHash() const { return m_elementHash; }

    static constexpr long kMaxArrayValues = 100;
    static constexpr CGSize kDefaultFrameThreshold { 25, 25 };

protected:
    // Whether the object is of this record's class or of a subclass of it.
    virtual bool isKindOfReceiverClass(const NSObject* other) const;

private:
    AXUIElementRef m_element;
    size_t m_elementHash;
};

#include "SWAccessibilityElement.h"

#include <foundation/Format.h>

#include <cmath>

Ref<SWAccessibilityElement> SWAccessibilityElement::elementWithAXElement(const AXUIElementRef& element)
{
    if (!element)
        return nullptr;
    return makeRef<SWAccessibilityElement>(element);
}

SWAccessibilityElement::SWAccessibilityElement(AXUIElementRef element)
    : m_element(std::move(element))
    , m_elementHash(CFHash(m_element))
{
}

SWAccessibilityElement::~SWAccessibilityElement() = default;

std::string SWAccessibilityElement::description() const
{
    auto title = stringForKey("AXTitle");
    return stringWithFormat("%@ <Title: %@> <pid: %d>", NSObject::description(), title ? FormatArg(*title) : FormatArg(nullptr),
        processIdentifier());
}

bool SWAccessibilityElement::isKindOfReceiverClass(const NSObject* other) const
{
    return dynamic_cast<const SWAccessibilityElement*>(other) != nullptr;
}

bool SWAccessibilityElement::isEqual(const NSObject* other) const
{
    if (!other || !isKindOfReceiverClass(other))
        return false;
    auto o = static_cast<const SWAccessibilityElement*>(other);
    return CFEqual(m_element, o->m_element);
}

size_t SWAccessibilityElement::hash() const { return CFHash(m_element); }

Ref<SWAccessibilityElement> SWAccessibilityElement::copy() const { return elementWithAXElement(m_element); }

bool SWAccessibilityElement::isResizable() const
{
    bool settable = false;
    return AXUIElementIsAttributeSettable(m_element, "AXSize", &settable) == kAXErrorSuccess && settable;
}

bool SWAccessibilityElement::isMovable() const
{
    bool settable = false;
    return AXUIElementIsAttributeSettable(m_element, "AXPosition", &settable) == kAXErrorSuccess && settable;
}

bool SWAccessibilityElement::isGone() const
{
    Value role;
    return AXUIElementCopyAttributeValue(m_element, "AXRole", &role) == kAXErrorInvalidUIElement;
}

bool SWAccessibilityElement::answers() const
{
    Value role;
    return AXUIElementCopyAttributeValue(m_element, "AXRole", &role) != kAXErrorCannotComplete;
}

std::optional<std::string> SWAccessibilityElement::stringForKey(const std::string& attribute) const
{
    Value value;
    if (AXUIElementCopyAttributeValue(m_element, attribute, &value) != kAXErrorSuccess || !value.isString())
        return std::nullopt;
    return *value.string();
}

Value SWAccessibilityElement::numberForKey(const std::string& attribute) const
{
    Value value;
    if (AXUIElementCopyAttributeValue(m_element, attribute, &value) != kAXErrorSuccess || !value.isNumber())
        return {};
    return value;
}

Value SWAccessibilityElement::arrayForKey(const std::string& attribute) const
{
    Value values;
    if (AXUIElementCopyAttributeValues(m_element, attribute, 0, kMaxArrayValues, &values) != kAXErrorSuccess)
        return {};
    if (!values.isArray() || values.count() == 0)
        return {};
    return values;
}

Ref<SWAccessibilityElement> SWAccessibilityElement::elementForKey(const std::string& attribute) const
{
    Value value;
    if (AXUIElementCopyAttributeValue(m_element, attribute, &value) != kAXErrorSuccess)
        return nullptr;
    auto element = value.objectAs<AXUIElement>();
    if (!element)
        return nullptr;
    return elementWithAXElement(element);
}

CGRect SWAccessibilityElement::frame() const
{
    Value position, size;
    if (AXUIElementCopyAttributeValue(m_element, "AXPosition", &position) != kAXErrorSuccess || position.isNil())
        return CGRectNull;
    if (AXUIElementCopyAttributeValue(m_element, "AXSize", &size) != kAXErrorSuccess || size.isNil())
        return CGRectNull;
    CGPoint origin;
    CGSize extent;
    if (!AXValueGetValue(position.objectAs<AXValue>(), kAXValueCGPointType, &origin))
        return CGRectNull;
    if (!AXValueGetValue(size.objectAs<AXValue>(), kAXValueCGSizeType, &extent))
        return CGRectNull;
    return { origin, extent };
}

void SWAccessibilityElement::setFrame(const CGRect& frame) const { setFrame(frame, kDefaultFrameThreshold); }

void SWAccessibilityElement::setFrame(const CGRect& target, const CGSize& threshold) const
{
    CGRect current = frame();
    bool resizable = isResizable();
    // A null frame has no size; compare against zero so that a resizable
    // element still gets its size.
    CGSize currentSize = CGRectIsNull(current) ? CGSizeZero : current.size;
    bool sizeSet = false;
    if (resizable
        && (std::fabs(currentSize.width - target.size.width) >= threshold.width
            || std::fabs(currentSize.height - target.size.height) >= threshold.height)) {
        setSize(target.size);
        sizeSet = true;
    }
    if (current.origin.x != target.origin.x || current.origin.y != target.origin.y)
        setPosition(target.origin);
    // The move may have changed what size the window can take on its new
    // screen, so the size is set once more.
    if (sizeSet)
        setSize(target.size);
}

void SWAccessibilityElement::setPosition(const CGPoint& position) const
{
    auto value = AXValueCreate(kAXValueCGPointType, &position);
    CGRect current = frame();
    if (current.origin.x == position.x && current.origin.y == position.y)
        return;
    AXUIElementSetAttributeValue(m_element, "AXPosition", Value(value));
}

void SWAccessibilityElement::setSize(const CGSize& size) const
{
    auto value = AXValueCreate(kAXValueCGSizeType, &size);
    CGRect current = frame();
    if (current.size.width == size.width && current.size.height == size.height)
        return;
    AXUIElementSetAttributeValue(m_element, "AXSize", Value(value));
}

pid_t SWAccessibilityElement::processIdentifier() const
{
    pid_t pid = 0;
    if (AXUIElementGetPid(m_element, &pid) != kAXErrorSuccess)
        return -1;
    return pid;
}

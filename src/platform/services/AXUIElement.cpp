#include "AXUIElement.h"

#include "CGWindow.h"

#include <desktop/Desktop.h>
#include <foundation/Format.h>

#include <cmath>
#include <cstring>
#include <functional>

bool CFEqual(const CFTypeRef& a, const CFTypeRef& b)
{
    if (a == b)
        return true;
    return a && b && a->isEqual(b.get());
}

size_t CFHash(const CFTypeRef& object) { return object ? object->hash() : 0; }

bool AXUIElement::isEqual(const NSObject* other) const
{
    auto e = dynamic_cast<const AXUIElement*>(other);
    return e && e->m_element == m_element;
}

size_t AXUIElement::hash() const
{
    size_t h = std::hash<int>()(static_cast<int>(m_element.kind));
    h = h * 1000003u ^ std::hash<pid_t>()(m_element.pid);
    h = h * 1000003u ^ std::hash<uint32_t>()(m_element.window);
    return h;
}

std::string AXUIElement::description() const
{
    static const char* kinds[] = { "SystemWide", "Application", "Window", "CloseButton", "ZoomButton", "MinimizeButton" };
    return stringWithFormat("<AXUIElement %s pid=%d window=%u>", kinds[static_cast<int>(m_element.kind)], m_element.pid, m_element.window);
}

bool AXValue::isEqual(const NSObject* other) const
{
    auto v = dynamic_cast<const AXValue*>(other);
    if (!v || v->m_type != m_type)
        return false;
    switch (m_type) {
    case kAXValueCGPointType:
        return v->m_point == m_point;
    case kAXValueCGSizeType:
        return v->m_size == m_size;
    case kAXValueCGRectType:
        return v->m_rect == m_rect;
    case kAXValueCFRangeType:
        return v->m_range.location == m_range.location && v->m_range.length == m_range.length;
    case kAXValueAXErrorType:
        return v->m_error == m_error;
    default:
        return true;
    }
}

std::string AXValue::description() const
{
    switch (m_type) {
    case kAXValueCGPointType:
        return "<AXValue CGPoint " + NSStringFromPoint(m_point) + ">";
    case kAXValueCGSizeType:
        return "<AXValue CGSize " + NSStringFromSize(m_size) + ">";
    case kAXValueCGRectType:
        return "<AXValue CGRect " + NSStringFromRect(m_rect) + ">";
    case kAXValueCFRangeType:
        return stringWithFormat("<AXValue CFRange {%ld, %ld}>", m_range.location, m_range.length);
    case kAXValueAXErrorType:
        return stringWithFormat("<AXValue AXError %d>", m_error);
    default:
        return "<AXValue illegal>";
    }
}

AXValueRef AXValueCreate(AXValueType type, const void* valuePtr)
{
    if (!valuePtr)
        return nullptr;
    auto value = makeRef<AXValue>();
    value->m_type = type;
    switch (type) {
    case kAXValueCGPointType:
        std::memcpy(&value->m_point, valuePtr, sizeof(CGPoint));
        break;
    case kAXValueCGSizeType:
        std::memcpy(&value->m_size, valuePtr, sizeof(CGSize));
        break;
    case kAXValueCGRectType:
        std::memcpy(&value->m_rect, valuePtr, sizeof(CGRect));
        break;
    case kAXValueCFRangeType:
        std::memcpy(&value->m_range, valuePtr, sizeof(CFRange));
        break;
    case kAXValueAXErrorType:
        std::memcpy(&value->m_error, valuePtr, sizeof(AXError));
        break;
    default:
        return nullptr;
    }
    return value;
}

bool AXValueGetValue(const AXValueRef& value, AXValueType type, void* valuePtr)
{
    if (!value || !valuePtr || value->m_type != type)
        return false;
    switch (type) {
    case kAXValueCGPointType:
        std::memcpy(valuePtr, &value->m_point, sizeof(CGPoint));
        return true;
    case kAXValueCGSizeType:
        std::memcpy(valuePtr, &value->m_size, sizeof(CGSize));
        return true;
    case kAXValueCGRectType:
        std::memcpy(valuePtr, &value->m_rect, sizeof(CGRect));
        return true;
    case kAXValueCFRangeType:
        std::memcpy(valuePtr, &value->m_range, sizeof(CFRange));
        return true;
    case kAXValueAXErrorType:
        std::memcpy(valuePtr, &value->m_error, sizeof(AXError));
        return true;
    default:
        return false;
    }
}

AXValueType AXValueGetType(const AXValueRef& value) { return value ? value->type() : kAXValueIllegalType; }

AXError AXUIElementSetMessagingTimeout(const AXUIElementRef& element, float timeoutInSeconds)
{
    if (!element || !std::isfinite(timeoutInSeconds) || timeoutInSeconds < 0)
        return kAXErrorIllegalArgument;
    element->m_messagingTimeout = timeoutInSeconds;
    return kAXErrorSuccess;
}

AXUIElementRef AXUIElementCreateSystemWide() { return makeRef<AXUIElement>(DesktopElement { DesktopElement::Kind::SystemWide, 0, 0 }); }

AXUIElementRef AXUIElementCreateApplication(pid_t pid)
{
    return makeRef<AXUIElement>(DesktopElement { DesktopElement::Kind::Application, pid, 0 });
}

namespace {

Value toValue(const DesktopAXValue& v)
{
    struct Visitor {
        Value operator()(std::monostate) const { return {}; }
        Value operator()(bool b) const { return Value(b); }
        Value operator()(int64_t i) const { return Value(i); }
        Value operator()(double d) const { return Value(d); }
        Value operator()(const std::string& s) const { return Value(s); }
        Value operator()(const CGPoint& p) const { return Value(AXValueCreate(kAXValueCGPointType, &p)); }
        Value operator()(const CGSize& s) const { return Value(AXValueCreate(kAXValueCGSizeType, &s)); }
        Value operator()(const CGRect& r) const { return Value(AXValueCreate(kAXValueCGRectType, &r)); }
        Value operator()(const DesktopElement& e) const { return Value(makeRef<AXUIElement>(e)); }
        Value operator()(const std::vector<DesktopElement>& list) const
        {
            Value::Array array;
            array.reserve(list.size());
            for (const auto& e : list)
                array.emplace_back(makeRef<AXUIElement>(e));
            return array;
        }
    };
    return std::visit(Visitor {}, v);
}

bool fromValue(const Value& v, DesktopAXValue& out)
{
    switch (v.type()) {
    case Value::Type::Bool:
        out = v.boolValue();
        return true;
    case Value::Type::Integer:
        out = v.integerValue();
        return true;
    case Value::Type::Double:
        out = v.doubleValue();
        return true;
    case Value::Type::String:
        out = *v.string();
        return true;
    case Value::Type::Object: {
        if (auto ax = v.objectAs<AXValue>()) {
            CGPoint p;
            CGSize s;
            CGRect r;
            if (AXValueGetValue(ax, kAXValueCGPointType, &p))
                out = p;
            else if (AXValueGetValue(ax, kAXValueCGSizeType, &s))
                out = s;
            else if (AXValueGetValue(ax, kAXValueCGRectType, &r))
                out = r;
            else
                return false;
            return true;
        }
        if (auto e = v.objectAs<AXUIElement>()) {
            out = e->element();
            return true;
        }
        return false;
    }
    default:
        return false;
    }
}

}

AXError AXUIElementCopyAttributeValue(const AXUIElementRef& element, const std::string& attribute, Value* value)
{
    if (value)
        *value = Value();
    if (!element || !value || attribute.empty())
        return kAXErrorIllegalArgument;
    if (attribute == kAXWindowAttribute && element->element().kind == DesktopElement::Kind::Window
        && Desktop::current().axElementIsValid(element->element())) {
        *value = Value(element);
        return kAXErrorSuccess;
    }
    DesktopAXValue raw;
    Desktop::MessagingTimeoutScope timeout(element->messagingTimeout());
    AXError error = Desktop::current().axCopyAttribute(element->element(), attribute, raw);
    if (error == kAXErrorSuccess) {
        // A text (most answers) moves over instead of being copied.
        if (auto* text = std::get_if<std::string>(&raw))
            *value = Value(std::move(*text));
        else
            *value = toValue(raw);
    }
    return error;
}

AXError AXUIElementCopyAttributeNames(const AXUIElementRef& element, Value* names)
{
    if (names)
        *names = Value();
    if (!element || !names)
        return kAXErrorIllegalArgument;
    std::vector<std::string> list;
    Desktop::MessagingTimeoutScope timeout(element->messagingTimeout());
    AXError error = Desktop::current().axAttributeNames(element->element(), list);
    if (error == kAXErrorSuccess) {
        Value::Array array(list.begin(), list.end());
        *names = Value(std::move(array));
    }
    return error;
}

AXError AXUIElementCopyAttributeValues(
    const AXUIElementRef& element, const std::string& attribute, CFIndex index, CFIndex maxValues, Value* values)
{
    if (values)
        *values = Value();
    if (!element || !values || index < 0 || maxValues < 0)
        return kAXErrorIllegalArgument;
    Value all;
    AXError error = AXUIElementCopyAttributeValue(element, attribute, &all);
    if (error != kAXErrorSuccess)
        return error;
    const auto* array = all.array();
    if (!array)
        return kAXErrorIllegalArgument;
    Value::Array slice;
    for (CFIndex i = index; i < static_cast<CFIndex>(array->size()) && static_cast<CFIndex>(slice.size()) < maxValues; ++i)
        slice.push_back((*array)[i]);
    *values = Value(std::move(slice));
    return kAXErrorSuccess;
}

AXError AXUIElementGetAttributeValueCount(const AXUIElementRef& element, const std::string& attribute, CFIndex* count)
{
    if (count)
        *count = 0;
    if (!count)
        return kAXErrorIllegalArgument;
    Value all;
    AXError error = AXUIElementCopyAttributeValue(element, attribute, &all);
    if (error != kAXErrorSuccess)
        return error;
    if (!all.isArray())
        return kAXErrorIllegalArgument;
    *count = static_cast<CFIndex>(all.count());
    return kAXErrorSuccess;
}

AXError AXUIElementIsAttributeSettable(const AXUIElementRef& element, const std::string& attribute, bool* settable)
{
    if (settable)
        *settable = false;
    if (!element || !settable || attribute.empty())
        return kAXErrorIllegalArgument;
    Desktop::MessagingTimeoutScope timeout(element->messagingTimeout());
    return Desktop::current().axIsAttributeSettable(element->element(), attribute, *settable);
}

AXError AXUIElementSetAttributeValue(const AXUIElementRef& element, const std::string& attribute, const Value& value)
{
    if (!element || attribute.empty())
        return kAXErrorIllegalArgument;
    DesktopAXValue raw;
    if (!fromValue(value, raw))
        return kAXErrorIllegalArgument;
    Desktop::MessagingTimeoutScope timeout(element->messagingTimeout());
    return Desktop::current().axSetAttribute(element->element(), attribute, raw);
}

AXError AXUIElementPerformAction(const AXUIElementRef& element, const std::string& action)
{
    if (!element || action.empty())
        return kAXErrorIllegalArgument;
    Desktop::MessagingTimeoutScope timeout(element->messagingTimeout());
    return Desktop::current().axPerformAction(element->element(), action);
}

AXError AXUIElementGetPid(const AXUIElementRef& element, pid_t* pid)
{
    if (pid)
        *pid = 0;
    if (!element || !pid)
        return kAXErrorIllegalArgument;
    Desktop::MessagingTimeoutScope timeout(element->messagingTimeout());
    return Desktop::current().axProcessIdentifier(element->element(), *pid);
}

AXError AXUIElementCopyElementAtPosition(const AXUIElementRef& application, float x, float y, AXUIElementRef* element)
{
    if (element)
        *element = nullptr;
    if (!application || !element || application->element().kind != DesktopElement::Kind::SystemWide || !std::isfinite(x)
        || !std::isfinite(y))
        return kAXErrorIllegalArgument;
    Value list = CGWindowListCopyWindowInfo(kCGWindowListOptionOnScreenOnly | kCGWindowListExcludeDesktopElements, 0);
    for (size_t i = 0; i < list.count(); ++i) {
        const Value& entry = list.at(i);
        Value bounds = entry[kCGWindowBounds];
        CGRect frame { { bounds["X"].doubleValue(), bounds["Y"].doubleValue() },
            { bounds["Width"].doubleValue(), bounds["Height"].doubleValue() } };
        if (entry[kCGWindowLayer].integerValue() != 0 || !CGRectContainsPoint(frame, CGPoint { x, y }))
            continue;
        *element = makeRef<AXUIElement>(DesktopElement { DesktopElement::Kind::Window,
            static_cast<pid_t>(entry[kCGWindowOwnerPID].integerValue()), static_cast<CGWindowID>(entry[kCGWindowNumber].integerValue()) });
        return kAXErrorSuccess;
    }
    return kAXErrorNoValue;
}

AXError _AXUIElementGetWindow(const AXUIElementRef& element, CGWindowID* number)
{
    if (number)
        *number = 0;
    if (!element || !number)
        return kAXErrorIllegalArgument;
    Desktop::MessagingTimeoutScope timeout(element->messagingTimeout());
    return Desktop::current().axWindowNumber(element->element(), *number);
}

const std::string kAXTrustedCheckOptionPrompt = "AXTrustedCheckOptionPrompt";

bool AXIsProcessTrusted() { return Desktop::current().isAccessibilityTrusted(); }

bool AXIsProcessTrustedWithOptions(const Value& options)
{
    auto& desktop = Desktop::current();
    bool trusted = desktop.isAccessibilityTrusted();
    if (!trusted && options[kAXTrustedCheckOptionPrompt].boolValue())
        desktop.promptForAccessibility();
    return trusted;
}

bool AXAPIEnabled() { return Desktop::current().isAssistiveAccessEnabled(); }

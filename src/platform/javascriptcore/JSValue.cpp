#include "JSValue.h"

#include "JSContext.h"

#include <cmath>
#include <limits>

JSStringRef makeJSString(const std::string& s) { return JSStringCreateWithUTF8CString(s.c_str()); }

std::string stringFromJSString(JSStringRef s)
{
    if (!s)
        return {};
    size_t size = JSStringGetMaximumUTF8CStringSize(s);
    std::string text(size, '\0');
    size_t written = JSStringGetUTF8CString(s, text.data(), size);
    text.resize(written > 0 ? written - 1 : 0);
    return text;
}

std::string stringFromJSValue(JSContextRef context, JSValueRef value)
{
    if (!context || !value)
        return "undefined";
    JSValueRef exception = nullptr;
    JSStringRef s = JSValueToStringCopy(context, value, &exception);
    if (!s)
        return {};
    std::string text = stringFromJSString(s);
    JSStringRelease(s);
    return text;
}

JSValue::JSValue(JSContextRef context, JSValueRef value)
    : m_context(context ? JSContextGetGlobalContext(context) : nullptr)
    , m_value(context ? value : nullptr)
{
    if (m_context && m_value) {
        JSGlobalContextRetain(m_context);
        JSValueProtect(m_context, m_value);
    } else {
        m_context = nullptr;
        m_value = nullptr;
    }
}

JSValue::JSValue(const JSValue& other)
    : JSValue(other.m_context, other.m_value)
{
}

JSValue& JSValue::operator=(const JSValue& other)
{
    if (this != &other) {
        JSValue copy(other);
        *this = std::move(copy);
    }
    return *this;
}

JSValue::JSValue(JSValue&& other) noexcept
    : m_context(std::exchange(other.m_context, nullptr))
    , m_value(std::exchange(other.m_value, nullptr))
{
}

JSValue& JSValue::operator=(JSValue&& other) noexcept
{
    if (this != &other) {
        release();
        m_context = std::exchange(other.m_context, nullptr);
        m_value = std::exchange(other.m_value, nullptr);
    }
    return *this;
}

JSValue::~JSValue() { release(); }

void JSValue::release()
{
    if (m_context && m_value) {
        JSValueUnprotect(m_context, m_value);
        JSGlobalContextRelease(m_context);
    }
    m_context = nullptr;
    m_value = nullptr;
}

JSArrayBuilder::JSArrayBuilder(JSContextRef context)
    : m_array(context, JSObjectMakeArray(context, 0, nullptr, nullptr))
    , m_object(JSValueToObject(context, m_array.valueRef(), nullptr))
{
}

void JSArrayBuilder::append(JSValueRef element)
{
    JSObjectSetPropertyAtIndex(m_array.contextRef(), m_object, m_count++, element, nullptr);
}

JSValueRef JSArrayBuilder::finish() const { return m_array.valueRef(); }

JSValue JSValue::string(JSContextRef context, const std::string& s)
{
    JSStringRef js = makeJSString(s);
    JSValue value(context, JSValueMakeString(context, js));
    JSStringRelease(js);
    return value;
}

JSValue JSValue::fromValue(JSContextRef context, const Value& value) { return { context, valueToJS(context, value) }; }

namespace {

// An object with number members in the order given.
JSValue numberObject(JSContextRef context, std::initializer_list<std::pair<const char*, double>> members)
{
    JSValue object(context, JSObjectMake(context, nullptr, nullptr));
    for (const auto& [name, number] : members)
        object.setProperty(name, JSValue::number(context, number));
    return object;
}

}

JSValue JSValue::point(JSContextRef context, CGPoint p) { return numberObject(context, { { "x", p.x }, { "y", p.y } }); }

JSValue JSValue::size(JSContextRef context, CGSize s)
{
    return numberObject(context, { { "width", s.width }, { "height", s.height } });
}

JSValue JSValue::rect(JSContextRef context, CGRect r)
{
    return numberObject(
        context, { { "x", r.origin.x }, { "y", r.origin.y }, { "width", r.size.width }, { "height", r.size.height } });
}

JSValue JSValue::object(JSContextRef context, const Ref<NSObject>& object)
{
    return fromValue(context, Value(object));
}

bool JSValue::isUndefined() const { return !m_value || JSValueIsUndefined(m_context, m_value); }
bool JSValue::isNull() const { return m_value && JSValueIsNull(m_context, m_value); }
bool JSValue::isBoolean() const { return m_value && JSValueIsBoolean(m_context, m_value); }
bool JSValue::isNumber() const { return m_value && JSValueIsNumber(m_context, m_value); }
bool JSValue::isString() const { return m_value && JSValueIsString(m_context, m_value); }
bool JSValue::isObject() const { return m_value && JSValueIsObject(m_context, m_value); }
bool JSValue::isArray() const { return m_value && JSValueIsArray(m_context, m_value); }

bool JSValue::isFunction() const
{
    if (!isObject())
        return false;
    JSObjectRef object = JSValueToObject(m_context, m_value, nullptr);
    return object && JSObjectIsFunction(m_context, object);
}

bool JSValue::toBool() const { return m_value && JSValueToBoolean(m_context, m_value); }

double JSValue::toDouble() const
{
    if (!m_value)
        return std::numeric_limits<double>::quiet_NaN();
    JSValueRef exception = nullptr;
    return JSValueToNumber(m_context, m_value, &exception);
}

int32_t JSValue::toInt32() const
{
    double d = toDouble();
    if (!std::isfinite(d))
        return 0;
    return static_cast<int32_t>(static_cast<int64_t>(std::trunc(std::fmod(d, 4294967296.0))));
}

uint32_t JSValue::toUInt32() const { return static_cast<uint32_t>(toInt32()); }

std::string JSValue::toString() const { return stringFromJSValue(m_context, m_value); }

Value JSValue::toValue() const { return m_value ? valueFromJS(m_context, m_value) : Value(); }

CGPoint JSValue::toPoint() const { return { property("x").toDouble(), property("y").toDouble() }; }

CGSize JSValue::toSize() const { return { property("width").toDouble(), property("height").toDouble() }; }

CGRect JSValue::toRect() const { return { toPoint(), toSize() }; }

Ref<NSObject> JSValue::toNativeObject() const { return m_value ? JSContext::unwrap(m_context, m_value) : nullptr; }

JSValue JSValue::property(const std::string& name) const
{
    if (!isObject())
        return {};
    JSObjectRef object = JSValueToObject(m_context, m_value, nullptr);
    JSStringRef key = makeJSString(name);
    JSValueRef exception = nullptr;
    JSValueRef result = JSObjectGetProperty(m_context, object, key, &exception);
    JSStringRelease(key);
    return { m_context, result };
}

JSValue JSValue::property(unsigned index) const
{
    if (!isObject())
        return {};
    JSObjectRef object = JSValueToObject(m_context, m_value, nullptr);
    JSValueRef exception = nullptr;
    return { m_context, JSObjectGetPropertyAtIndex(m_context, object, index, &exception) };
}

void JSValue::setProperty(const std::string& name, const JSValue& value, bool hidden) const
{
    if (!isObject())
        return;
    JSObjectRef object = JSValueToObject(m_context, m_value, nullptr);
    JSStringRef key = makeJSString(name);
    JSValueRef exception = nullptr;
    JSValueRef v = value.m_value ? value.m_value : JSValueMakeUndefined(m_context);
    JSObjectSetProperty(m_context, object, key, v, hidden ? kJSPropertyAttributeDontEnum : kJSPropertyAttributeNone, &exception);
    JSStringRelease(key);
}

JSValue JSValue::call(const std::vector<JSValue>& arguments) const
{
    if (!isFunction())
        return {};
    JSContext* owner = context();
    if (owner && !owner->isValid())
        return {};
    JSObjectRef function = JSValueToObject(m_context, m_value, nullptr);
    std::vector<JSValueRef> refs;
    refs.reserve(arguments.size());
    for (const auto& argument : arguments)
        refs.push_back(argument.m_value ? argument.m_value : JSValueMakeUndefined(m_context));
    JSValueRef exception = nullptr;
    JSValueRef result = nullptr;
    {
        JSExecutionScope scope(m_context, {});
        result = JSObjectCallAsFunction(m_context, function, nullptr, refs.size(), refs.data(), &exception);
    }
    if (exception) {
        if (owner)
            owner->reportException(exception);
        return undefined(m_context);
    }
    return { m_context, result };
}

JSContext* JSValue::context() const { return JSContext::fromRef(m_context); }

bool JSValue::isStrictlyEqual(const JSValue& other) const
{
    if (!m_value || !other.m_value)
        return !m_value && !other.m_value;
    return JSValueIsStrictEqual(m_context, m_value, other.m_value);
}

namespace {

// Deep enough for any configuration value; stops cycles.
constexpr int kMaximumValueDepth = 64;

Value convertFromJS(JSContextRef context, JSValueRef value, int depth)
{
    if (!value || depth > kMaximumValueDepth)
        return {};
    switch (JSValueGetType(context, value)) {
    case kJSTypeUndefined:
    case kJSTypeNull:
        return {};
    case kJSTypeBoolean:
        return JSValueToBoolean(context, value);
    case kJSTypeNumber: {
        double d = JSValueToNumber(context, value, nullptr);
        // Whole numbers stay whole, as the platform's numbers keep them.
        if (std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 9007199254740992.0 && !(d == 0 && std::signbit(d)))
            return static_cast<int64_t>(d);
        return d;
    }
    case kJSTypeString:
        return stringFromJSValue(context, value);
    default:
        break;
    }
    if (auto native = JSContext::unwrap(context, value))
        return Value(native);
    JSObjectRef object = JSValueToObject(context, value, nullptr);
    if (!object || JSObjectIsFunction(context, object))
        return {};
    if (JSValueIsArray(context, value)) {
        JSValue length(context, value);
        unsigned count = length.property("length").toUInt32();
        Value::Array array;
        array.reserve(count);
        for (unsigned i = 0; i < count; ++i)
            array.push_back(convertFromJS(context, JSObjectGetPropertyAtIndex(context, object, i, nullptr), depth + 1));
        return array;
    }
    if (JSValueIsDate(context, value)) {
        // Milliseconds since 1970 to seconds since 2001.
        double ms = JSValueToNumber(context, value, nullptr);
        return NSDate { ms / 1000.0 - 978307200.0 };
    }
    Value::Dictionary dictionary;
    JSPropertyNameArrayRef names = JSObjectCopyPropertyNames(context, object);
    size_t count = JSPropertyNameArrayGetCount(names);
    for (size_t i = 0; i < count; ++i) {
        JSStringRef name = JSPropertyNameArrayGetNameAtIndex(names, i);
        JSValueRef member = JSObjectGetProperty(context, object, name, nullptr);
        if (member && JSValueIsUndefined(context, member))
            continue;
        dictionary[stringFromJSString(name)] = convertFromJS(context, member, depth + 1);
    }
    JSPropertyNameArrayRelease(names);
    return dictionary;
}

}

Value valueFromJS(JSContextRef context, JSValueRef value) { return convertFromJS(context, value, 0); }

JSValueRef valueToJS(JSContextRef context, const Value& value)
{
    switch (value.type()) {
    case Value::Type::Nil:
        return JSValueMakeUndefined(context);
    case Value::Type::Bool:
        return JSValueMakeBoolean(context, value.boolValue());
    case Value::Type::Integer:
    case Value::Type::Double:
        return JSValueMakeNumber(context, value.doubleValue());
    case Value::Type::String: {
        JSStringRef s = makeJSString(*value.string());
        JSValueRef result = JSValueMakeString(context, s);
        JSStringRelease(s);
        return result;
    }
    case Value::Type::Date: {
        JSValueRef ms = JSValueMakeNumber(context, (value.date()->timeIntervalSinceReferenceDate + 978307200.0) * 1000.0);
        return JSObjectMakeDate(context, 1, &ms, nullptr);
    }
    case Value::Type::Data:
        return JSValueMakeNull(context);
    case Value::Type::Array: {
        JSArrayBuilder array(context);
        for (const auto& element : *value.array())
            array.append(valueToJS(context, element));
        return array.finish();
    }
    case Value::Type::Dictionary: {
        // Protected while it is filled: making a member may collect.
        JSValue object(context, JSObjectMake(context, nullptr, nullptr));
        JSObjectRef objectRef = JSValueToObject(context, object.valueRef(), nullptr);
        for (const auto& [key, member] : *value.dictionary()) {
            JSStringRef name = makeJSString(key);
            JSObjectSetProperty(context, objectRef, name, valueToJS(context, member), kJSPropertyAttributeNone, nullptr);
            JSStringRelease(name);
        }
        return object.valueRef();
    }
    case Value::Type::Object: {
        JSContext* owner = JSContext::fromRef(context);
        if (!owner)
            return JSValueMakeUndefined(context);
        return owner->wrap(value.object());
    }
    }
    return JSValueMakeUndefined(context);
}

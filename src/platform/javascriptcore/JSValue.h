// One script value held from native code, and the conversions between
// script values and the platform's: numbers, booleans and strings as
// themselves; points, sizes and rectangles as objects with x/y,
// width/height and x/y/width/height; dictionaries as objects; arrays as
// arrays; nil as undefined; exported objects as their script objects.
#pragma once

#include <foundation/CGGeometry.h>
#include <foundation/NSObject.h>
#include <foundation/Value.h>

#include <JavaScriptCore/JavaScript.h>

#include <optional>
#include <string>
#include <vector>

class JSContext;

class JSValue {
public:
    // The empty value: no context; reads as undefined.
    JSValue() = default;
    JSValue(JSContextRef context, JSValueRef value);
    JSValue(const JSValue& other);
    JSValue& operator=(const JSValue& other);
    JSValue(JSValue&& other) noexcept;
    JSValue& operator=(JSValue&& other) noexcept;
    ~JSValue();

    static JSValue undefined(JSContextRef context) { return { context, JSValueMakeUndefined(context) }; }
    static JSValue null(JSContextRef context) { return { context, JSValueMakeNull(context) }; }
    static JSValue boolean(JSContextRef context, bool b) { return { context, JSValueMakeBoolean(context, b) }; }
    static JSValue number(JSContextRef context, double d) { return { context, JSValueMakeNumber(context, d) }; }
    static JSValue string(JSContextRef context, const std::string& s);
    static JSValue fromValue(JSContextRef context, const Value& value);
    static JSValue point(JSContextRef context, CGPoint point);
    static JSValue size(JSContextRef context, CGSize size);
    static JSValue rect(JSContextRef context, CGRect rect);
    static JSValue object(JSContextRef context, const Ref<NSObject>& object);

    bool isEmpty() const { return !m_value; }
    bool isUndefined() const;
    bool isNull() const;
    bool isBoolean() const;
    bool isNumber() const;
    bool isString() const;
    bool isObject() const;
    bool isArray() const;
    bool isFunction() const;

    bool toBool() const;
    double toDouble() const;
    int32_t toInt32() const;
    uint32_t toUInt32() const;
    // The script's own toString; "undefined" for the empty value.
    std::string toString() const;
    // The platform value: objects become dictionaries, arrays arrays,
    // null and undefined nil, exported objects themselves; functions and
    // values nested too deep (or in a cycle) are left out.
    Value toValue() const;
    CGPoint toPoint() const;
    CGSize toSize() const;
    CGRect toRect() const;
    Ref<NSObject> toNativeObject() const;
    template <class T>
    Ref<T> toObjectOf() const
    {
        return std::dynamic_pointer_cast<T>(toNativeObject());
    }

    JSValue property(const std::string& name) const;
    void setProperty(const std::string& name, const JSValue& value, bool hidden = false) const;
    JSValue property(unsigned index) const;

    // Calls the function with the arguments (this undefined). An exception
    // goes to the context's handler and the result is then undefined.
    JSValue call(const std::vector<JSValue>& arguments) const;

    JSContextRef contextRef() const { return m_context; }
    JSValueRef valueRef() const { return m_value; }
    JSContext* context() const;

    // Same value (===).
    bool isStrictlyEqual(const JSValue& other) const;

private:
    void release();
    JSGlobalContextRef m_context { nullptr };
    JSValueRef m_value { nullptr };
};

// Builds a script array element by element. The engine may collect
// whenever it makes a value, and it does not see values held only by native
// code: each element goes into the (protected) array as soon as it is made,
// so everything made so far stays reachable.
class JSArrayBuilder {
public:
    explicit JSArrayBuilder(JSContextRef context);
    // Appends an element made just before; nothing may be made between.
    void append(JSValueRef element);
    // The array; it stays protected as long as the builder lives.
    JSValueRef finish() const;

private:
    JSValue m_array;
    JSObjectRef m_object;
    unsigned m_count { 0 };
};

// Engine strings.
JSStringRef makeJSString(const std::string& s);
std::string stringFromJSString(JSStringRef s);
std::string stringFromJSValue(JSContextRef context, JSValueRef value);

// Conversion of a platform value to a script value, for return values and
// callback arguments.
JSValueRef valueToJS(JSContextRef context, const Value& value);
Value valueFromJS(JSContextRef context, JSValueRef value);

// The one dynamic value of the platform: what key-value coding, bindings,
// user defaults, notification user info, JSON and the script bridge carry.
#pragma once

#include "Ref.h"

#include <cstdint>
#include <map>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

class NSObject;

// A point in time: seconds since 2001-01-01 00:00:00 UTC, as the platform counts.
struct NSDate {
    double timeIntervalSinceReferenceDate { 0 };
    bool operator==(const NSDate&) const = default;
};

class Value {
public:
    enum class Type { Nil, Bool, Integer, Double, String, Data, Date, Array, Dictionary, Object };
    using Array = std::vector<Value>;
    using Dictionary = std::map<std::string, Value>;
    using Bytes = std::vector<uint8_t>;

    Value() = default;
    Value(std::nullptr_t) { }
    Value(bool b)
        : m_v(b)
    {
    }
    template <class I>
        requires(std::is_integral_v<I> && !std::is_same_v<I, bool>)
    Value(I i)
        : m_v(static_cast<int64_t>(i))
    {
    }
    Value(double d)
        : m_v(d)
    {
    }
    Value(float f)
        : m_v(static_cast<double>(f))
    {
    }
    Value(const char* s)
        : m_v(std::string(s ? s : ""))
    {
        if (!s)
            m_v = std::monostate {};
    }
    Value(std::string s)
        : m_v(std::move(s))
    {
    }
    Value(Bytes d)
        : m_v(std::move(d))
    {
    }
    Value(NSDate d)
        : m_v(d)
    {
    }
    Value(Array a)
        : m_v(std::move(a))
    {
    }
    Value(Dictionary d)
        : m_v(std::move(d))
    {
    }
    template <class T>
        requires std::is_base_of_v<NSObject, T>
    Value(const Ref<T>& o)
    {
        if (o)
            m_v = std::static_pointer_cast<NSObject>(o);
    }

    Type type() const { return static_cast<Type>(m_v.index()); }
    bool isNil() const { return type() == Type::Nil; }
    bool isNumber() const { return type() == Type::Bool || type() == Type::Integer || type() == Type::Double; }
    bool isString() const { return type() == Type::String; }
    bool isArray() const { return type() == Type::Array; }
    bool isDictionary() const { return type() == Type::Dictionary; }
    bool isData() const { return type() == Type::Data; }
    bool isObject() const { return type() == Type::Object; }
    explicit operator bool() const { return !isNil(); }

    // Coercions as the platform's numbers and strings answer them; nil is 0,
    // NO and the empty string.
    bool boolValue() const;
    int64_t integerValue() const;
    double doubleValue() const;
    std::string stringValue() const;

    // Typed access: null when the value holds another type.
    const std::string* string() const { return std::get_if<std::string>(&m_v); }
    const Bytes* data() const { return std::get_if<Bytes>(&m_v); }
    const NSDate* date() const { return std::get_if<NSDate>(&m_v); }
    const Array* array() const { return std::get_if<Array>(&m_v); }
    Array* array() { return std::get_if<Array>(&m_v); }
    const Dictionary* dictionary() const { return std::get_if<Dictionary>(&m_v); }
    Dictionary* dictionary() { return std::get_if<Dictionary>(&m_v); }
    Ref<NSObject> object() const;
    template <class T>
    Ref<T> objectAs() const
    {
        return std::dynamic_pointer_cast<T>(object());
    }

    // Dictionary lookup; nil for a missing key or a value that is no dictionary.
    const Value& operator[](const std::string& key) const;
    // Array element; nil when out of range or not an array.
    const Value& at(size_t index) const;
    size_t count() const;

    // Deep equality; objects compare with isEqual, numbers by value.
    bool operator==(const Value& other) const;
    bool operator!=(const Value& other) const { return !(*this == other); }

    // The platform's description: strings bare at the top level, numbers as
    // digits, collections in the property-list text form.
    std::string description() const;

    static const Value& nil();

private:
    std::variant<std::monostate, bool, int64_t, double, std::string, Bytes, NSDate, Array, Dictionary, Ref<NSObject>> m_v;
};

// The shortest decimal text that reads back to the same double ("0.1", "1e+21").
std::string formatDouble(double);
// The leading decimal number of a text, as the platform's strings read it:
// white space, a sign, digits with an optional fraction and exponent; 0 when
// the text does not start with one. Independent of the process's locale.
double parseLeadingDouble(const std::string&);

#include "Value.h"

#include "NSObject.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

static const Value kNil;

const Value& Value::nil() { return kNil; }

Ref<NSObject> Value::object() const
{
    if (auto o = std::get_if<Ref<NSObject>>(&m_v))
        return *o;
    return nullptr;
}

// The platform's string-to-bool rule: skip leading white space, an optional
// sign and leading zeros; YES when the next character is Y, y, T, t or 1-9.
static bool stringBool(const std::string& s)
{
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r'))
        ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    while (i < s.size() && s[i] == '0')
        ++i;
    if (i >= s.size())
        return false;
    char c = s[i];
    return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

bool Value::boolValue() const
{
    switch (type()) {
    case Type::Bool:
        return std::get<bool>(m_v);
    case Type::Integer:
        return std::get<int64_t>(m_v) != 0;
    case Type::Double:
        return std::get<double>(m_v) != 0;
    case Type::String:
        return stringBool(std::get<std::string>(m_v));
    default:
        return false;
    }
}

int64_t Value::integerValue() const
{
    switch (type()) {
    case Type::Bool:
        return std::get<bool>(m_v) ? 1 : 0;
    case Type::Integer:
        return std::get<int64_t>(m_v);
    case Type::Double: {
        double d = std::get<double>(m_v);
        if (std::isnan(d))
            return 0;
        if (d >= 9.2233720368547758e18)
            return INT64_MAX;
        if (d <= -9.2233720368547758e18)
            return INT64_MIN;
        return static_cast<int64_t>(d);
    }
    case Type::String:
        return std::strtoll(std::get<std::string>(m_v).c_str(), nullptr, 10);
    default:
        return 0;
    }
}

double Value::doubleValue() const
{
    switch (type()) {
    case Type::Bool:
        return std::get<bool>(m_v) ? 1 : 0;
    case Type::Integer:
        return static_cast<double>(std::get<int64_t>(m_v));
    case Type::Double:
        return std::get<double>(m_v);
    case Type::String:
        return parseLeadingDouble(std::get<std::string>(m_v));
    case Type::Date:
        return std::get<NSDate>(m_v).timeIntervalSinceReferenceDate;
    default:
        return 0;
    }
}

std::string formatDouble(double d)
{
    if (std::isnan(d))
        return "nan";
    if (std::isinf(d))
        return d > 0 ? "inf" : "-inf";
    // The shortest digits that read back to the same value, laid out as
    // "%.17g" would lay them out: plain from 1e-4 up to 1e17, with an
    // exponent outside. Independent of the process's locale.
    char buf[64];
    auto scientific = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::scientific);
    std::string text(buf, scientific.ptr);
    auto e = text.find('e');
    int exponent = e == std::string::npos ? 0 : std::atoi(text.c_str() + e + 1);
    if (d == 0 || (exponent >= -4 && exponent < 17)) {
        auto fixed = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed);
        return std::string(buf, fixed.ptr);
    }
    return text;
}

double parseLeadingDouble(const std::string& s)
{
    size_t i = 0;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i])))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    // Decimal text only: no hexadecimal, no "inf" or "nan" words.
    if (i >= s.size() || !(std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == '.'))
        return 0;
    double value = 0;
    auto result = std::from_chars(s.data() + i, s.data() + s.size(), value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // Out of range is too large (infinite) unless a negative exponent
        // made it too small (zero).
        auto e = std::find_if(s.begin() + i, s.begin() + (result.ptr - s.data()), [](char c) { return c == 'e' || c == 'E'; });
        bool tiny = e != s.end() && e + 1 != s.end() && e[1] == '-';
        value = tiny ? 0 : HUGE_VAL;
    } else if (result.ec != std::errc()) {
        return 0;
    }
    return negative ? -value : value;
}

std::string Value::stringValue() const
{
    switch (type()) {
    case Type::Nil:
        return "";
    case Type::Bool:
        return std::get<bool>(m_v) ? "1" : "0";
    case Type::Integer:
        return std::to_string(std::get<int64_t>(m_v));
    case Type::Double:
        return formatDouble(std::get<double>(m_v));
    case Type::String:
        return std::get<std::string>(m_v);
    default:
        return description();
    }
}

const Value& Value::operator[](const std::string& key) const
{
    if (auto d = dictionary()) {
        auto it = d->find(key);
        if (it != d->end())
            return it->second;
    }
    return kNil;
}

const Value& Value::at(size_t index) const
{
    if (auto a = array(); a && index < a->size())
        return (*a)[index];
    return kNil;
}

size_t Value::count() const
{
    if (auto a = array())
        return a->size();
    if (auto d = dictionary())
        return d->size();
    return 0;
}

// An integer equals a double only when the double is that very integer; a
// round trip through double would make 2^53 + 1 equal 2^53.
static bool integerEqualsDouble(int64_t i, double d)
{
    if (!(d >= -9.2233720368547758e18 && d < 9.2233720368547758e18) || d != std::trunc(d))
        return false;
    return static_cast<int64_t>(d) == i;
}

bool Value::operator==(const Value& other) const
{
    if (isNumber() && other.isNumber()) {
        bool aDouble = type() == Type::Double, bDouble = other.type() == Type::Double;
        if (aDouble && bDouble)
            return doubleValue() == other.doubleValue();
        if (aDouble)
            return integerEqualsDouble(other.integerValue(), doubleValue());
        if (bDouble)
            return integerEqualsDouble(integerValue(), other.doubleValue());
        return integerValue() == other.integerValue();
    }
    if (type() != other.type())
        return false;
    switch (type()) {
    case Type::Nil:
        return true;
    case Type::String:
        return *string() == *other.string();
    case Type::Data:
        return *data() == *other.data();
    case Type::Date:
        return *date() == *other.date();
    case Type::Array:
        return *array() == *other.array();
    case Type::Dictionary:
        return *dictionary() == *other.dictionary();
    case Type::Object: {
        auto a = object(), b = other.object();
        return a == b || (a && b && a->isEqual(b.get()));
    }
    default:
        return false;
    }
}

static std::string quoteIfNeeded(const std::string& s)
{
    bool plain = !s.empty();
    for (char c : s)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '/'))
            plain = false;
    if (plain)
        return s;
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out + "\"";
}

static void describe(const Value& v, std::string& out, int indent, bool top)
{
    std::string pad(indent * 4, ' ');
    switch (v.type()) {
    case Value::Type::Nil:
        out += top ? "(null)" : "<null>";
        break;
    case Value::Type::String:
        out += top ? *v.string() : quoteIfNeeded(*v.string());
        break;
    case Value::Type::Data: {
        out += "{length = " + std::to_string(v.data()->size()) + "}";
        break;
    }
    case Value::Type::Date: {
        out += formatDouble(v.date()->timeIntervalSinceReferenceDate);
        break;
    }
    case Value::Type::Array: {
        out += "(\n";
        const auto& a = *v.array();
        for (size_t i = 0; i < a.size(); ++i) {
            out += pad + "    ";
            describe(a[i], out, indent + 1, false);
            out += i + 1 < a.size() ? ",\n" : "\n";
        }
        out += pad + ")";
        break;
    }
    case Value::Type::Dictionary: {
        out += "{\n";
        for (const auto& [k, item] : *v.dictionary()) {
            out += pad + "    " + quoteIfNeeded(k) + " = ";
            describe(item, out, indent + 1, false);
            out += ";\n";
        }
        out += pad + "}";
        break;
    }
    case Value::Type::Object:
        out += v.object()->description();
        break;
    default:
        out += v.stringValue();
    }
}

std::string Value::description() const
{
    std::string out;
    describe(*this, out, 0, true);
    return out;
}

#include "Value.h"

#include "NSObject.h"

#include <cctype>
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
        return std::strtod(std::get<std::string>(m_v).c_str(), nullptr);
    case Type::Date:
        return std::get<NSDate>(m_v).timeIntervalSinceReferenceDate;
    default:
        return 0;
    }
}

static std::string formatDouble(double d)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", d);
    // Prefer the shortest text that reads back to the same value.
    for (int precision = 1; precision <= 17; ++precision) {
        char shortBuf[64];
        std::snprintf(shortBuf, sizeof shortBuf, "%.*g", precision, d);
        if (std::strtod(shortBuf, nullptr) == d)
            return shortBuf;
    }
    return buf;
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

bool Value::operator==(const Value& other) const
{
    if (isNumber() && other.isNumber()) {
        if (type() == Type::Double || other.type() == Type::Double)
            return doubleValue() == other.doubleValue();
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

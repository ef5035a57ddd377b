#include "Format.h"

#include "NSObject.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

FormatArg::FormatArg(const char* s)
{
    if (s)
        v = std::string(s);
    else
        v = std::monostate {};
}

FormatArg::FormatArg(const Value& value)
{
    switch (value.type()) {
    case Value::Type::Nil:
        v = std::monostate {};
        break;
    case Value::Type::Bool:
    case Value::Type::Integer:
        v = value.integerValue();
        break;
    case Value::Type::Double:
        v = value.doubleValue();
        break;
    default:
        v = value.description();
    }
}

FormatArg::FormatArg(const NSObject* o)
{
    if (o)
        v = o->description();
    else
        v = std::monostate {};
}

static std::string argAsText(const FormatArg& a)
{
    if (auto s = std::get_if<std::string>(&a.v))
        return *s;
    if (auto i = std::get_if<int64_t>(&a.v))
        return std::to_string(*i);
    if (auto u = std::get_if<uint64_t>(&a.v))
        return std::to_string(*u);
    if (auto d = std::get_if<double>(&a.v))
        return Value(*d).stringValue();
    if (auto p = std::get_if<const void*>(&a.v)) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%p", *p);
        return buf;
    }
    return "(null)";
}

static int64_t argAsSigned(const FormatArg& a)
{
    if (auto i = std::get_if<int64_t>(&a.v))
        return *i;
    if (auto u = std::get_if<uint64_t>(&a.v))
        return static_cast<int64_t>(*u);
    if (auto d = std::get_if<double>(&a.v))
        return static_cast<int64_t>(*d);
    if (auto p = std::get_if<const void*>(&a.v))
        return reinterpret_cast<intptr_t>(*p);
    return 0;
}

static double argAsDouble(const FormatArg& a)
{
    if (auto d = std::get_if<double>(&a.v))
        return *d;
    if (auto i = std::get_if<int64_t>(&a.v))
        return static_cast<double>(*i);
    if (auto u = std::get_if<uint64_t>(&a.v))
        return static_cast<double>(*u);
    return 0;
}

// snprintf into a string of whatever length the conversion needs.
template <class T>
static void appendPrintf(std::string& out, const std::string& conversion, T value)
{
    char buf[128];
    int n = std::snprintf(buf, sizeof buf, conversion.c_str(), value);
    if (n < 0)
        return;
    if (static_cast<size_t>(n) < sizeof buf) {
        out.append(buf, n);
        return;
    }
    size_t at = out.size();
    out.resize(at + n + 1);
    std::snprintf(out.data() + at, n + 1, conversion.c_str(), value);
    out.resize(at + n);
}

std::string formatString(const char* format, const std::vector<FormatArg>& args)
{
    std::string out;
    if (!format)
        return out;
    size_t next = 0;
    auto take = [&]() -> const FormatArg* { return next < args.size() ? &args[next++] : nullptr; };
    auto isDigit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    for (const char* p = format; *p; ++p) {
        if (*p != '%') {
            out += *p;
            continue;
        }
        const char* start = p++;
        if (*p == '%') {
            out += '%';
            continue;
        }
        std::string conversion = "%";
        while (*p && std::strchr("-+ #0", *p))
            conversion += *p++;
        if (*p == '*') {
            auto a = take();
            conversion += std::to_string(a ? argAsSigned(*a) : 0);
            ++p;
        } else {
            while (isDigit(*p))
                conversion += *p++;
        }
        if (*p == '.') {
            conversion += *p++;
            if (*p == '*') {
                auto a = take();
                int64_t precision = a ? argAsSigned(*a) : 0;
                // A negative precision is taken as if it were omitted.
                if (precision >= 0)
                    conversion += std::to_string(precision);
                else
                    conversion.pop_back();
                ++p;
            } else {
                while (isDigit(*p))
                    conversion += *p++;
            }
        }
        // Only hh and h narrow an integer; the wider modifiers are what the
        // typed argument already carries.
        int lengthBits = 64;
        while (*p && std::strchr("hlqztjL", *p)) {
            if (*p == 'h')
                lengthBits = lengthBits == 16 ? 8 : 16;
            ++p;
        }
        if (!*p) {
            out += start;
            break;
        }
        char conv = *p;
        switch (conv) {
        case '@':
        case 's': {
            const FormatArg* a = take();
            std::string text = a ? argAsText(*a) : "(null)";
            if (conversion == "%")
                out += text;
            else
                appendPrintf(out, conversion + 's', text.c_str());
            break;
        }
        case 'd':
        case 'i': {
            const FormatArg* a = take();
            int64_t value = a ? argAsSigned(*a) : 0;
            if (lengthBits == 16)
                value = static_cast<int16_t>(value);
            else if (lengthBits == 8)
                value = static_cast<int8_t>(value);
            appendPrintf(out, conversion + "lld", static_cast<long long>(value));
            break;
        }
        case 'u':
        case 'x':
        case 'X':
        case 'o': {
            const FormatArg* a = take();
            uint64_t value = a ? static_cast<uint64_t>(argAsSigned(*a)) : 0;
            int bits = std::min(lengthBits, a ? a->bits : 64);
            if (bits < 64)
                value &= (uint64_t(1) << bits) - 1;
            appendPrintf(out, conversion + "ll" + conv, static_cast<unsigned long long>(value));
            break;
        }
        case 'c': {
            const FormatArg* a = take();
            char c = static_cast<char>(a ? argAsSigned(*a) : 0);
            // A NUL would cut the line short wherever it is handed to C.
            if (c)
                out += c;
            break;
        }
        case 'p': {
            const FormatArg* a = take();
            const void* ptr = nullptr;
            if (a) {
                if (auto pp = std::get_if<const void*>(&a->v))
                    ptr = *pp;
                else
                    ptr = reinterpret_cast<const void*>(static_cast<intptr_t>(argAsSigned(*a)));
            }
            if (ptr)
                appendPrintf(out, "%p", ptr);
            else
                out += "0x0";
            break;
        }
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
        case 'a':
        case 'A': {
            const FormatArg* a = take();
            appendPrintf(out, conversion + conv, a ? argAsDouble(*a) : 0.0);
            break;
        }
        default:
            // Not a conversion: copied as it stands, taking no argument.
            out.append(start, p + 1);
        }
    }
    return out;
}

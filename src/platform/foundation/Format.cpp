#include "Format.h"

#include "NSObject.h"

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

std::string formatString(const char* format, const std::vector<FormatArg>& args)
{
    std::string out;
    size_t next = 0;
    auto take = [&]() -> const FormatArg* { return next < args.size() ? &args[next++] : nullptr; };
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
        std::string spec = "%";
        while (*p && std::strchr("-+ #0", *p))
            spec += *p++;
        while (*p && (std::isdigit(static_cast<unsigned char>(*p)) || *p == '*')) {
            if (*p == '*') {
                auto a = take();
                spec += std::to_string(a ? argAsSigned(*a) : 0);
                ++p;
            } else {
                spec += *p++;
            }
        }
        if (*p == '.') {
            spec += *p++;
            while (*p && std::isdigit(static_cast<unsigned char>(*p)))
                spec += *p++;
        }
        while (*p && std::strchr("hlqztjL", *p))
            ++p;
        if (!*p) {
            out += start;
            break;
        }
        char conv = *p;
        const FormatArg* a = take();
        char buf[512];
        switch (conv) {
        case '@':
        case 's': {
            std::string text = a ? argAsText(*a) : "(null)";
            spec += 's';
            if (spec == "%s")
                out += text;
            else {
                std::snprintf(buf, sizeof buf, spec.c_str(), text.c_str());
                out += buf;
            }
            break;
        }
        case 'd':
        case 'i':
            spec += "lld";
            std::snprintf(buf, sizeof buf, spec.c_str(), static_cast<long long>(a ? argAsSigned(*a) : 0));
            out += buf;
            break;
        case 'u':
        case 'x':
        case 'X':
        case 'o':
            spec += "ll";
            spec += conv;
            std::snprintf(buf, sizeof buf, spec.c_str(), static_cast<unsigned long long>(a ? argAsSigned(*a) : 0));
            out += buf;
            break;
        case 'c':
            out += static_cast<char>(a ? argAsSigned(*a) : 0);
            break;
        case 'p': {
            const void* ptr = nullptr;
            if (a) {
                if (auto pp = std::get_if<const void*>(&a->v))
                    ptr = *pp;
                else
                    ptr = reinterpret_cast<const void*>(static_cast<intptr_t>(argAsSigned(*a)));
            }
            std::snprintf(buf, sizeof buf, "%p", ptr);
            out += ptr ? buf : "0x0";
            break;
        }
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
        case 'a':
        case 'A':
            spec += conv;
            std::snprintf(buf, sizeof buf, spec.c_str(), a ? argAsDouble(*a) : 0.0);
            out += buf;
            break;
        default:
            out.append(start, p + 1);
        }
    }
    return out;
}

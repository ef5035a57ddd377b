// printf-style formatting with the platform's "%@" (an object's or value's
// description), used for log lines and the system's own messages. Arguments
// are typed, so a missing one prints as nil ("(null)", 0) instead of reading
// garbage, and "%n" writes nothing.
#pragma once

#include "Ref.h"
#include "Value.h"

#include <cstdint>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

class NSObject;

struct FormatArg {
    std::variant<int64_t, uint64_t, double, std::string, const void*, std::monostate> v;
    // The width of an integer argument in bits: an int of -1 printed with %x
    // is "ffffffff", as in C.
    int bits { 64 };

    template <class I>
        requires(std::is_integral_v<I> && std::is_signed_v<I> && !std::is_same_v<I, bool>)
    FormatArg(I i)
        : v(static_cast<int64_t>(i))
        , bits(sizeof(I) * 8)
    {
    }
    template <class I>
        requires(std::is_integral_v<I> && std::is_unsigned_v<I> && !std::is_same_v<I, bool>)
    FormatArg(I i)
        : v(static_cast<uint64_t>(i))
        , bits(sizeof(I) * 8)
    {
    }
    template <class E>
        requires std::is_enum_v<E>
    FormatArg(E e)
        : v(static_cast<int64_t>(e))
        , bits(sizeof(E) * 8)
    {
    }
    FormatArg(bool b)
        : v(static_cast<int64_t>(b))
    {
    }
    FormatArg(double d)
        : v(d)
    {
    }
    FormatArg(float f)
        : v(static_cast<double>(f))
    {
    }
    FormatArg(const char* s);
    FormatArg(const std::string& s)
        : v(s)
    {
    }
    FormatArg(std::string_view s)
        : v(std::string(s))
    {
    }
    FormatArg(const Value& value);
    FormatArg(const NSObject* o);
    template <class T>
        requires std::is_base_of_v<NSObject, T>
    FormatArg(const Ref<T>& o)
        : FormatArg(static_cast<const NSObject*>(o.get()))
    {
    }
    FormatArg(const void* p)
        : v(p)
    {
    }
    FormatArg(std::nullptr_t)
        : v(std::monostate {})
    {
    }
};

std::string formatString(const char* format, const std::vector<FormatArg>& args);

template <class... Args>
std::string stringWithFormat(const char* format, const Args&... args)
{
    return formatString(format, { FormatArg(args)... });
}

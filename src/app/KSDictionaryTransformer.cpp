#include "KSDictionaryTransformer.h"

#include <charconv>
#include <mutex>
#include <optional>

const std::string KSDictionaryTransformer::kName = "KSDictionaryTransformer";

namespace {

constexpr const char* kKeyCodeKey = "keyCode";
constexpr const char* kModifierFlagsKey = "modifierFlags";

// The integer a value answers: numbers, and text that is an integer and
// nothing else. Text such as "abc" would read as 0, the A key, so it
// answers nothing.
std::optional<int64_t> integerOf(const Value& value)
{
    if (value.isNumber())
        return value.integerValue();
    const std::string* text = value.string();
    if (!text)
        return std::nullopt;
    size_t begin = text->find_first_not_of(" \t\n");
    size_t end = text->find_last_not_of(" \t\n");
    if (begin == std::string::npos)
        return std::nullopt;
    const char* first = text->data() + begin;
    const char* last = text->data() + end + 1;
    if (*first == '+')
        ++first;
    int64_t result = 0;
    auto [rest, error] = std::from_chars(first, last, result);
    if (error != std::errc() || rest != last)
        return std::nullopt;
    return result;
}

}

void KSDictionaryTransformer::registerTransformer()
{
    static std::once_flag once;
    std::call_once(once, [] { NSValueTransformer::setValueTransformer(makeRef<KSDictionaryTransformer>(), kName); });
}

Value KSDictionaryTransformer::transformedValue(const Value& value) const
{
    if (!value.isDictionary())
        return {};
    auto keyCode = integerOf(value[kKeyCodeKey]);
    auto flags = integerOf(value[kModifierFlagsKey]);
    if (!keyCode || !flags)
        return {};
    return Value(KSShortcut::shortcutWithKeyCode(*keyCode, static_cast<uint64_t>(*flags)));
}

Value KSDictionaryTransformer::reverseTransformedValue(const Value& value) const
{
    auto shortcut = value.objectAs<KSShortcut>();
    if (!shortcut)
        return Value(Value::Dictionary {});
    return Value(Value::Dictionary {
        { kKeyCodeKey, Value(shortcut->keyCode()) },
        { kModifierFlagsKey, Value(static_cast<int64_t>(shortcut->modifierFlags())) },
    });
}

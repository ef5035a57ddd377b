#include "NSSortDescriptor.h"

#include <algorithm>
#include <optional>

NSComparisonResult NSCompareValues(const Value& a, const Value& b)
{
    if (a.isNil() || b.isNil()) {
        if (a.isNil() && b.isNil())
            return NSOrderedSame;
        return a.isNil() ? NSOrderedAscending : NSOrderedDescending;
    }
    auto order = [](auto x, auto y) {
        return x < y ? NSOrderedAscending : (y < x ? NSOrderedDescending : NSOrderedSame);
    };
    if (a.isNumber() && b.isNumber()) {
        if (a.type() == Value::Type::Double || b.type() == Value::Type::Double)
            return order(a.doubleValue(), b.doubleValue());
        return order(a.integerValue(), b.integerValue());
    }
    if (a.isString() && b.isString())
        return order(*a.string(), *b.string());
    if (a.date() && b.date())
        return order(a.date()->timeIntervalSinceReferenceDate, b.date()->timeIntervalSinceReferenceDate);
    return order(a.description(), b.description());
}

NSSortDescriptor::NSSortDescriptor(std::string key, bool ascending, Comparator comparator)
    : m_key(std::move(key))
    , m_ascending(ascending)
    , m_comparator(std::move(comparator))
{
}

Ref<NSSortDescriptor> NSSortDescriptor::sortDescriptorWithKey(const std::string& key, bool ascending, Comparator comparator)
{
    return makeRef<NSSortDescriptor>(key, ascending, std::move(comparator));
}

Ref<NSSortDescriptor> NSSortDescriptor::reversedSortDescriptor() const
{
    return makeRef<NSSortDescriptor>(m_key, !m_ascending, m_comparator);
}

Value NSSortDescriptor::keyValueOf(const Value& object) const
{
    return m_key.empty() ? object : valueForKeyPathOf(object, m_key);
}

NSComparisonResult NSSortDescriptor::compareKeyValues(const Value& x, const Value& y) const
{
    NSComparisonResult result = m_comparator ? m_comparator(x, y) : NSCompareValues(x, y);
    return m_ascending ? result : static_cast<NSComparisonResult>(-result);
}

NSComparisonResult NSSortDescriptor::compareObject(const Value& a, const Value& b) const
{
    return compareKeyValues(keyValueOf(a), keyValueOf(b));
}

Value::Array sortedArrayUsingDescriptors(const Value::Array& array, const std::vector<Ref<NSSortDescriptor>>& descriptors)
{
    std::vector<const NSSortDescriptor*> used;
    for (const auto& d : descriptors)
        if (d)
            used.push_back(d.get());
    if (used.empty())
        return array;
    // Each object's key values are read once, when a comparison first needs
    // them, rather than at every comparison: a read walks the key path and
    // asks the object, which costs far more than comparing what it gave.
    size_t count = array.size();
    std::vector<std::optional<Value>> keys(count * used.size());
    auto key = [&](size_t object, size_t d) -> const Value& {
        auto& slot = keys[object * used.size() + d];
        if (!slot)
            slot = used[d]->keyValueOf(array[object]);
        return *slot;
    };
    std::vector<size_t> order(count);
    for (size_t i = 0; i < count; ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        for (size_t d = 0; d < used.size(); ++d) {
            NSComparisonResult r = used[d]->compareKeyValues(key(a, d), key(b, d));
            if (r != NSOrderedSame)
                return r == NSOrderedAscending;
        }
        return false;
    });
    Value::Array sorted;
    sorted.reserve(count);
    for (size_t i : order)
        sorted.push_back(array[i]);
    return sorted;
}

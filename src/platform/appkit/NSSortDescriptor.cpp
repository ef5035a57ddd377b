#include "NSSortDescriptor.h"

#include <algorithm>

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

NSComparisonResult NSSortDescriptor::compareObject(const Value& a, const Value& b) const
{
    Value x = m_key.empty() ? a : valueForKeyPathOf(a, m_key);
    Value y = m_key.empty() ? b : valueForKeyPathOf(b, m_key);
    NSComparisonResult result = m_comparator ? m_comparator(x, y) : NSCompareValues(x, y);
    return m_ascending ? result : static_cast<NSComparisonResult>(-result);
}

Value::Array sortedArrayUsingDescriptors(const Value::Array& array, const std::vector<Ref<NSSortDescriptor>>& descriptors)
{
    Value::Array sorted = array;
    if (descriptors.empty())
        return sorted;
    std::stable_sort(sorted.begin(), sorted.end(), [&](const Value& a, const Value& b) {
        for (const auto& d : descriptors) {
            if (!d)
                continue;
            NSComparisonResult r = d->compareObject(a, b);
            if (r != NSOrderedSame)
                return r == NSOrderedAscending;
        }
        return false;
    });
    return sorted;
}

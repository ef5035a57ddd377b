// Sort descriptors: order values by a key path, ascending or descending.
// Values compare as the platform's compare: does: numbers by value, strings
// by their characters, dates by time; nil comes before everything else.
#pragma once

#include <foundation/NSObject.h>

#include <functional>
#include <vector>

enum NSComparisonResult : long { NSOrderedAscending = -1, NSOrderedSame = 0, NSOrderedDescending = 1 };

NSComparisonResult NSCompareValues(const Value& a, const Value& b);

class NSSortDescriptor : public NSObject {
public:
    using Comparator = std::function<NSComparisonResult(const Value&, const Value&)>;

    NSSortDescriptor(std::string key, bool ascending, Comparator comparator = {});
    static Ref<NSSortDescriptor> sortDescriptorWithKey(
        const std::string& key, bool ascending, Comparator comparator = {});

    const std::string& key() const { return m_key; }
    bool ascending() const { return m_ascending; }
    Ref<NSSortDescriptor> reversedSortDescriptor() const;
    // Compares the two values' key paths (the values themselves for an
    // empty key), reversed when descending.
    NSComparisonResult compareObject(const Value& a, const Value& b) const;
    // The two halves of compareObject: the value compared for an object,
    // and the comparison of two such values.
    Value keyValueOf(const Value& object) const;
    NSComparisonResult compareKeyValues(const Value& x, const Value& y) const;

private:
    std::string m_key;
    bool m_ascending;
    Comparator m_comparator;
};

// A stable sort by the descriptors in order (later ones break ties).
Value::Array sortedArrayUsingDescriptors(const Value::Array& array, const std::vector<Ref<NSSortDescriptor>>& descriptors);

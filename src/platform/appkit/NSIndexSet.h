// Sets of indexes (NSIndexSet with the mutations of NSMutableIndexSet).
// NSNotFound stands for "no index".
#pragma once

#include <foundation/NSObjCRuntime.h>
#include <foundation/NSObject.h>

#include <cstdint>
#include <set>

class NSIndexSet : public NSObject {
public:
    NSIndexSet() = default;
    explicit NSIndexSet(std::set<NSUInteger> indexes);
    static Ref<NSIndexSet> indexSet() { return makeRef<NSIndexSet>(); }
    // Empty for NSNotFound.
    static Ref<NSIndexSet> indexSetWithIndex(NSUInteger index);
    static Ref<NSIndexSet> indexSetWithIndexesInRange(NSUInteger location, NSUInteger length);

    NSUInteger count() const { return m_indexes.size(); }
    bool containsIndex(NSUInteger index) const { return m_indexes.count(index) > 0; }
    // NSNotFound when empty.
    NSUInteger firstIndex() const;
    NSUInteger lastIndex() const;
    const std::set<NSUInteger>& indexes() const { return m_indexes; }

    // NSNotFound is never added.
    void addIndex(NSUInteger index);
    void removeIndex(NSUInteger index);
    void removeAllIndexes() { m_indexes.clear(); }
    Ref<NSIndexSet> copy() const { return makeRef<NSIndexSet>(m_indexes); }

    bool isEqual(const NSObject* other) const override;
    using NSObject::isEqual;
    size_t hash() const override;
    std::string description() const override;

private:
    std::set<NSUInteger> m_indexes;
};

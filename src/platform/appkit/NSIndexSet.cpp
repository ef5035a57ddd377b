#include "NSIndexSet.h"

#include <foundation/Format.h>

NSIndexSet::NSIndexSet(std::set<NSUInteger> indexes)
    : m_indexes(std::move(indexes))
{
    m_indexes.erase(NSNotFound);
}

Ref<NSIndexSet> NSIndexSet::indexSetWithIndex(NSUInteger index)
{
    auto set = makeRef<NSIndexSet>();
    set->addIndex(index);
    return set;
}

Ref<NSIndexSet> NSIndexSet::indexSetWithIndexesInRange(NSUInteger location, NSUInteger length)
{
    auto set = makeRef<NSIndexSet>();
    for (NSUInteger i = 0; i < length && location + i != NSNotFound; ++i)
        set->addIndex(location + i);
    return set;
}

NSUInteger NSIndexSet::firstIndex() const { return m_indexes.empty() ? NSNotFound : *m_indexes.begin(); }

NSUInteger NSIndexSet::lastIndex() const { return m_indexes.empty() ? NSNotFound : *m_indexes.rbegin(); }

void NSIndexSet::addIndex(NSUInteger index)
{
    if (index != NSNotFound)
        m_indexes.insert(index);
}

void NSIndexSet::removeIndex(NSUInteger index) { m_indexes.erase(index); }

bool NSIndexSet::isEqual(const NSObject* other) const
{
    auto o = dynamic_cast<const NSIndexSet*>(other);
    return o && o->m_indexes == m_indexes;
}

size_t NSIndexSet::hash() const { return m_indexes.size(); }

std::string NSIndexSet::description() const
{
    std::string list;
    for (NSUInteger i : m_indexes)
        list += (list.empty() ? "" : " ") + std::to_string(i);
    return stringWithFormat("<NSIndexSet: (%@)>", list);
}

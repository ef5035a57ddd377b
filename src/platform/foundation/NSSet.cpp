#include "NSSet.h"

#include <algorithm>

Ref<NSSet> NSSet::setWithArray(const Value::Array& objects)
{
    auto set = makeRef<NSSet>();
    for (const auto& object : objects)
        set->insert(object);
    return set;
}

bool NSSet::containsObject(const Value& object) const
{
    return std::find(m_objects.begin(), m_objects.end(), object) != m_objects.end();
}

void NSSet::insert(const Value& object)
{
    if (!containsObject(object))
        m_objects.push_back(object);
}

bool NSSet::isEqual(const NSObject* other) const
{
    const auto* set = dynamic_cast<const NSSet*>(other);
    if (!set || set->count() != count())
        return false;
    return std::all_of(m_objects.begin(), m_objects.end(), [&](const Value& v) { return set->containsObject(v); });
}

std::string NSSet::description() const { return "{(" + Value(m_objects).description() + ")}"; }

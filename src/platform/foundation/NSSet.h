// Sets of dynamic values: each value once (by equality), kept in the order
// first added. A mutable set adds in place.
#pragma once

#include "NSObject.h"
#include "Value.h"

class NSSet : public NSObject {
public:
    static Ref<NSSet> setWithArray(const Value::Array& objects);

    size_t count() const { return m_objects.size(); }
    bool containsObject(const Value& object) const;
    const Value::Array& allObjects() const { return m_objects; }

    using NSObject::isEqual;
    // The same members, in any order.
    bool isEqual(const NSObject* other) const override;
    std::string description() const override;

protected:
    void insert(const Value& object);

private:
    Value::Array m_objects;
};

class NSMutableSet : public NSSet {
public:
    static Ref<NSMutableSet> set() { return makeRef<NSMutableSet>(); }
    void addObject(const Value& object) { insert(object); }
};

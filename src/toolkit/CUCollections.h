// The collection model of the toolkit's uniform collection vocabulary
// (CUCollectionUtilities): two protocols a collection adopts, the
// enumerators that walk collections, and the value classes CUAssociation
// (a key and a value) and CUInterval (an arithmetic range of integers).
//
// The platform's dynamic values adopt the protocols through
// CUCollectionCapabilities: arrays (their elements in order), sets
// (NSSet, in their order), dictionaries (one association per entry, in key
// order), strings (one string per UTF-16 unit) and nil, the null object
// (enumerable and empty, but not constructible). Any object that inherits
// a protocol is a collection too (CUInterval does). Hash tables, map tables
// and pointer arrays do not exist on this platform.
#pragma once

#include <foundation/NSObject.h>
#include <foundation/Value.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// Walks forward only; an exhausted enumerator keeps answering none.
class CUEnumerator : public NSObject {
public:
    virtual std::optional<Value> nextObject() = 0;
};

class CUEnumerableCollection {
public:
    virtual ~CUEnumerableCollection() = default;
    virtual Ref<CUEnumerator> oc_collectionEnumerator() const = 0;
};

class CUMutableCollectionConstruction : public CUEnumerableCollection {
public:
    // A new, empty, mutable collection of the receiver's kind.
    virtual Value oc_createMutableInstanceOfMyKind() const = 0;
    virtual void oc_addObject(const Value& element, Value& mutableCollection) const = 0;
    // The filled mutable collection as the result handed to the caller.
    virtual Value oc_createCollectionOfMyKindFromMutableCollection(const Value& mutableCollection) const = 0;
};

// How a value takes part: as a collection for reading, for building, or
// (null from both) as a single object.
class CUCollectionCapabilities {
public:
    // The enumerable side of the value; null for a single object.
    static std::shared_ptr<const CUEnumerableCollection> enumerable(const Value& value);
    // The constructible side; null for a single object and for nil.
    static std::shared_ptr<const CUMutableCollectionConstruction> construction(const Value& value);
};

class CUAssociation : public NSObject {
public:
    CUAssociation(Value key, Value value);
    static Ref<CUAssociation> associationWithKey(Value key, Value value);
    const Value& key() const { return m_key; }
    const Value& value() const { return m_value; }
    using NSObject::isEqual;
    bool isEqual(const NSObject* other) const override;
    std::string description() const override;

private:
    Value m_key;
    Value m_value;
};

// The integers from, from + by, ... as far as to (inclusive). Empty for a
// step of 0 or one pointing away from to.
class CUInterval : public NSObject, public CUMutableCollectionConstruction {
public:
    CUInterval(int64_t from, int64_t to, int64_t by);
    static Ref<CUInterval> interval(int64_t from, int64_t to, int64_t by = 1);
    int64_t from() const { return m_from; }
    int64_t to() const { return m_to; }
    int64_t by() const { return m_by; }
    // The number of values, worked out without overflow for any from, to
    // and by (an interval over the whole 64-bit range has 2^64 values,
    // reported as the largest count, 2^64 - 1).
    uint64_t size() const;
    // The value at an index below size().
    int64_t valueAtIndex(uint64_t index) const;

    Ref<CUEnumerator> intervalEnumerator() const;
    Ref<CUEnumerator> oc_collectionEnumerator() const override { return intervalEnumerator(); }
    // Intervals build arrays.
    Value oc_createMutableInstanceOfMyKind() const override { return Value::Array {}; }
    void oc_addObject(const Value& element, Value& mutableCollection) const override;
    Value oc_createCollectionOfMyKindFromMutableCollection(const Value& mutableCollection) const override
    {
        return mutableCollection;
    }

private:
    int64_t m_from;
    int64_t m_to;
    int64_t m_by;
};

// One association per dictionary entry, in the order of the keys when the
// enumerator was made.
class CUAssociationEnumerator : public CUEnumerator {
public:
    explicit CUAssociationEnumerator(Value::Dictionary dictionary);
    const Value::Dictionary& backingDictionary() const { return m_dictionary; }
    std::optional<Value> nextObject() override;

private:
    Value::Dictionary m_dictionary;
    Value::Dictionary::const_iterator m_keyEnumerator;
};

// One string per UTF-16 unit.
class CUCharacterEnumerator : public CUEnumerator {
public:
    explicit CUCharacterEnumerator(const std::string& string);
    const std::u16string& backingString() const { return m_units; }
    size_t currentIndex() const { return m_currentIndex; }
    std::optional<Value> nextObject() override;

private:
    std::u16string m_units;
    size_t m_currentIndex { 0 };
};

class CUIntervalEnumerator : public CUEnumerator {
public:
    explicit CUIntervalEnumerator(Ref<const CUInterval> interval);
    const Ref<const CUInterval>& interval() const { return m_interval; }
    uint64_t index() const { return m_index; }
    std::optional<Value> nextObject() override;

private:
    Ref<const CUInterval> m_interval;
    uint64_t m_index { 0 };
};

// The elements of an array in order.
class CUArrayEnumerator : public CUEnumerator {
public:
    explicit CUArrayEnumerator(Value::Array array);
    std::optional<Value> nextObject() override;

private:
    Value::Array m_array;
    size_t m_index { 0 };
};

class CUNullEnumerator : public CUEnumerator {
public:
    std::optional<Value> nextObject() override { return std::nullopt; }
};

#include "CUCollections.h"

#include <foundation/NSSet.h>
#include <foundation/Unicode.h>

#include <limits>

// MARK: Values as collections

namespace {

// A kind of value whose filled mutable collection is itself the result.
class ValueKind : public CUMutableCollectionConstruction {
public:
    explicit ValueKind(Value value)
        : m_value(std::move(value))
    {
    }
    Value oc_createCollectionOfMyKindFromMutableCollection(const Value& collection) const override { return collection; }

protected:
    Value m_value;
};

class ArrayKind final : public ValueKind {
public:
    using ValueKind::ValueKind;
    Ref<CUEnumerator> oc_collectionEnumerator() const override
    {
        return makeRef<CUArrayEnumerator>(*m_value.array());
    }
    Value oc_createMutableInstanceOfMyKind() const override { return Value::Array {}; }
    void oc_addObject(const Value& element, Value& collection) const override { collection.array()->push_back(element); }
};

class DictionaryKind final : public ValueKind {
public:
    using ValueKind::ValueKind;
    Ref<CUEnumerator> oc_collectionEnumerator() const override
    {
        return makeRef<CUAssociationEnumerator>(*m_value.dictionary());
    }
    Value oc_createMutableInstanceOfMyKind() const override { return Value::Dictionary {}; }
    // The element is an association: its value goes under its key.
    void oc_addObject(const Value& element, Value& collection) const override
    {
        if (auto association = element.objectAs<CUAssociation>())
            (*collection.dictionary())[association->key().stringValue()] = association->value();
    }
};

class StringKind final : public ValueKind {
public:
    using ValueKind::ValueKind;
    Ref<CUEnumerator> oc_collectionEnumerator() const override
    {
        return makeRef<CUCharacterEnumerator>(*m_value.string());
    }
    Value oc_createMutableInstanceOfMyKind() const override { return std::string(); }
    // Elements are appended as text.
    void oc_addObject(const Value& element, Value& collection) const override
    {
        collection = *collection.string() + element.stringValue();
    }
};

class SetKind final : public CUMutableCollectionConstruction {
public:
    explicit SetKind(Ref<const NSSet> set)
        : m_set(std::move(set))
    {
    }
    Ref<CUEnumerator> oc_collectionEnumerator() const override
    {
        return makeRef<CUArrayEnumerator>(m_set->allObjects());
    }
    Value oc_createMutableInstanceOfMyKind() const override { return NSMutableSet::set(); }
    void oc_addObject(const Value& element, Value& collection) const override
    {
        if (auto set = collection.objectAs<NSMutableSet>())
            set->addObject(element);
    }
    Value oc_createCollectionOfMyKindFromMutableCollection(const Value& collection) const override
    {
        auto set = collection.objectAs<NSSet>();
        return set ? NSSet::setWithArray(set->allObjects()) : nullptr;
    }

private:
    Ref<const NSSet> m_set;
};

class NullKind final : public CUEnumerableCollection {
public:
    Ref<CUEnumerator> oc_collectionEnumerator() const override { return makeRef<CUNullEnumerator>(); }
};

} // namespace

std::shared_ptr<const CUEnumerableCollection> CUCollectionCapabilities::enumerable(const Value& value)
{
    if (value.isNil())
        return std::make_shared<NullKind>();
    return construction(value);
}

std::shared_ptr<const CUMutableCollectionConstruction> CUCollectionCapabilities::construction(const Value& value)
{
    switch (value.type()) {
    case Value::Type::Array:
        return std::make_shared<ArrayKind>(value);
    case Value::Type::Dictionary:
        return std::make_shared<DictionaryKind>(value);
    case Value::Type::String:
        return std::make_shared<StringKind>(value);
    case Value::Type::Object: {
        auto object = value.object();
        if (auto set = std::dynamic_pointer_cast<const NSSet>(object))
            return std::make_shared<SetKind>(set);
        // An object that adopts the protocol answers for itself; the
        // pointer keeps it alive.
        if (auto* kind = dynamic_cast<const CUMutableCollectionConstruction*>(object.get()))
            return std::shared_ptr<const CUMutableCollectionConstruction>(object, kind);
        return nullptr;
    }
    default:
        return nullptr;
    }
}

// MARK: Associations

CUAssociation::CUAssociation(Value key, Value value)
    : m_key(std::move(key))
    , m_value(std::move(value))
{
}

Ref<CUAssociation> CUAssociation::associationWithKey(Value key, Value value)
{
    return makeRef<CUAssociation>(std::move(key), std::move(value));
}

bool CUAssociation::isEqual(const NSObject* other) const
{
    const auto* association = dynamic_cast<const CUAssociation*>(other);
    return association && association->m_key == m_key && association->m_value == m_value;
}

std::string CUAssociation::description() const { return m_key.description() + "->" + m_value.description(); }

// MARK: Intervals

CUInterval::CUInterval(int64_t from, int64_t to, int64_t by)
    : m_from(from)
    , m_to(to)
    , m_by(by)
{
}

Ref<CUInterval> CUInterval::interval(int64_t from, int64_t to, int64_t by) { return makeRef<CUInterval>(from, to, by); }

uint64_t CUInterval::size() const
{
    if (m_by == 0 || (m_by < 0 && m_from < m_to) || (m_by > 0 && m_to < m_from))
        return 0;
    // In 128 bits neither the span nor the division by -1 can overflow.
    __int128 count = (__int128(m_to) - __int128(m_from)) / __int128(m_by) + 1;
    __int128 most = std::numeric_limits<uint64_t>::max();
    return uint64_t(count > most ? most : count);
}

int64_t CUInterval::valueAtIndex(uint64_t index) const
{
    return int64_t(__int128(m_from) + __int128(m_by) * __int128(index));
}

Ref<CUEnumerator> CUInterval::intervalEnumerator() const
{
    auto self = selfRef<CUInterval>();
    return makeRef<CUIntervalEnumerator>(self ? Ref<const CUInterval>(self) : CUInterval::interval(m_from, m_to, m_by));
}

void CUInterval::oc_addObject(const Value& element, Value& collection) const
{
    if (auto* array = collection.array())
        array->push_back(element);
}

// MARK: Enumerators

CUAssociationEnumerator::CUAssociationEnumerator(Value::Dictionary dictionary)
    : m_dictionary(std::move(dictionary))
    , m_keyEnumerator(m_dictionary.begin())
{
}

std::optional<Value> CUAssociationEnumerator::nextObject()
{
    if (m_keyEnumerator == m_dictionary.end())
        return std::nullopt;
    auto association = CUAssociation::associationWithKey(m_keyEnumerator->first, m_keyEnumerator->second);
    ++m_keyEnumerator;
    return Value(association);
}

CUCharacterEnumerator::CUCharacterEnumerator(const std::string& string)
    : m_units(utf16FromUTF8(string))
{
}

std::optional<Value> CUCharacterEnumerator::nextObject()
{
    if (m_currentIndex >= m_units.size())
        return std::nullopt;
    return Value(utf8FromUTF16(m_units.substr(m_currentIndex++, 1)));
}

CUIntervalEnumerator::CUIntervalEnumerator(Ref<const CUInterval> interval)
    : m_interval(std::move(interval))
{
}

std::optional<Value> CUIntervalEnumerator::nextObject()
{
    if (m_index >= m_interval->size())
        return std::nullopt;
    return Value(m_interval->valueAtIndex(m_index++));
}

CUArrayEnumerator::CUArrayEnumerator(Value::Array array)
    : m_array(std::move(array))
{
}

std::optional<Value> CUArrayEnumerator::nextObject()
{
    if (m_index >= m_array.size())
        return std::nullopt;
    return m_array[m_index++];
}

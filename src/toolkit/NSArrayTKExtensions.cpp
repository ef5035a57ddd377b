#include "NSArrayTKExtensions.h"

#include <algorithm>
#include <random>

namespace {

bool identical(const Value& a, const Value& b)
{
    if (a.isObject() || b.isObject())
        return a.isObject() && b.isObject() && a.object() == b.object();
    return a == b;
}

bool contains(const Value::Array& array, const Value& object)
{
    return std::find(array.begin(), array.end(), object) != array.end();
}

} // namespace

Value::Array NSArrayTKExtensions::arrayByReplacingObjectAtIndex(const Array& array, int32_t index, const Value& object)
{
    Array copy = array;
    if (index >= 0 && size_t(index) < copy.size())
        copy[size_t(index)] = object;
    return copy;
}

Value::Array NSArrayTKExtensions::arrayByRemovingObjectIdenticalTo(const Array& array, const Value& object)
{
    Array copy = array;
    if (contains(array, object))
        std::erase_if(copy, [&](const Value& element) { return identical(element, object); });
    return copy;
}

Value::Array NSArrayTKExtensions::arrayByRemovingObject(const Array& array, const Value& object)
{
    Array copy = array;
    std::erase(copy, object);
    return copy;
}

Value::Array NSArrayTKExtensions::arrayByRemovingDuplicates(const Array& array)
{
    Array unique;
    for (const auto& element : array)
        if (!contains(unique, element))
            unique.push_back(element);
    return unique.size() == array.size() ? array : unique;
}

Value NSArrayTKExtensions::safeObjectAtIndex(const Array& array, long index)
{
    return validIndex(array, static_cast<unsigned long>(index)) ? array[size_t(index)] : Value();
}

Value::Array NSArrayTKExtensions::arrayByAddingObjectToFront(const Array& array, const Value& object)
{
    if (object.isNil())
        return array;
    Array result { object };
    result.insert(result.end(), array.begin(), array.end());
    return result;
}

Value::Array NSArrayTKExtensions::reversedArray(const Array& array) { return Array(array.rbegin(), array.rend()); }

Value::Array NSArrayTKExtensions::arrayByPerformingSelector(const Array& array,
    const std::function<Value(const Value&, const Value&)>& selector, const Value& object)
{
    Array results;
    for (const auto& element : array)
        if (Value result = selector(element, object); !result.isNil())
            results.push_back(result);
    return results;
}

bool NSArrayTKExtensions::moveSource(unsigned long& source, unsigned long& dest, unsigned long& selection)
{
    unsigned long s = source, d = dest, t = selection;
    if (d == s || d == s + 1)
        return false;
    unsigned long placed = s < d ? d - 1 : d;
    dest = placed;
    if (t == s)
        selection = placed;
    else if (t < s && d <= t)
        selection = t + 1;
    else if (s < t && t < d)
        selection = t - 1;
    return true;
}

// MARK: Dictionaries

Value NSDictionaryOpinionatedExtensions::at(const Dictionary& dictionary, const std::string& key)
{
    auto found = dictionary.find(key);
    return found == dictionary.end() ? Value() : found->second;
}

Value NSDictionaryOpinionatedExtensions::at(const Dictionary& dictionary, const std::string& key,
    const std::function<Value()>& ifAbsent)
{
    auto found = dictionary.find(key);
    return found == dictionary.end() ? ifAbsent() : found->second;
}

Value NSDictionaryOpinionatedExtensions::at(const Dictionary& dictionary, const std::string& key,
    const std::function<Value(const Value&)>& ifPresent)
{
    auto found = dictionary.find(key);
    return found == dictionary.end() ? Value() : ifPresent(found->second);
}

bool NSDictionaryOpinionatedExtensions::includesKey(const Dictionary& dictionary, const std::string& key)
{
    return dictionary.count(key) > 0;
}

bool NSDictionaryOpinionatedExtensions::includesValue(const Dictionary& dictionary, const Value& object)
{
    return std::any_of(dictionary.begin(), dictionary.end(), [&](const auto& entry) { return entry.second == object; });
}

Ref<CUAssociationEnumerator> NSDictionaryOpinionatedExtensions::associationEnumerator(const Dictionary& dictionary)
{
    return makeRef<CUAssociationEnumerator>(dictionary);
}

Ref<CUAssociation> NSDictionaryOpinionatedExtensions::add(Dictionary& dictionary, const Ref<CUAssociation>& association)
{
    if (association)
        dictionary[association->key().stringValue()] = association->value();
    return association;
}

Value NSDictionaryOpinionatedExtensions::atPut(Dictionary& dictionary, const std::string& key, const Value& value)
{
    dictionary[key] = value;
    return value;
}

Value NSDictionaryOpinionatedExtensions::atIfAbsentPut(Dictionary& dictionary, const std::string& key,
    const std::function<Value()>& block)
{
    auto found = dictionary.find(key);
    if (found != dictionary.end())
        return found->second;
    return atPut(dictionary, key, block());
}

// MARK: Numbers

Value NSNumberOpinionatedExtensions::atRandom(const Value& number)
{
    thread_local std::mt19937_64 engine { std::random_device {}() };
    int64_t n = number.integerValue();
    if (n == 0)
        return int64_t(0);
    // The magnitude as unsigned, so that the most negative number has one.
    uint64_t bound = n < 0 ? uint64_t(0) - uint64_t(n) : uint64_t(n);
    uint64_t r = std::uniform_int_distribution<uint64_t>(0, bound - 1)(engine);
    return n < 0 ? int64_t(uint64_t(0) - r) : int64_t(r);
}

void NSNumberOpinionatedExtensions::timesRepeatWithIndex(const Value& number, const std::function<void(uint64_t)>& block)
{
    int64_t n = number.integerValue();
    for (int64_t i = 0; i < n; ++i)
        block(uint64_t(i));
}

void NSNumberOpinionatedExtensions::timesRepeat(const Value& number, const std::function<void()>& block)
{
    timesRepeatWithIndex(number, [&](uint64_t) { block(); });
}

Ref<CUInterval> NSNumberOpinionatedExtensions::to(const Value& number, const Value& end, const Value& by)
{
    return CUInterval::interval(number.integerValue(), end.integerValue(), by.integerValue());
}

Ref<CUInterval> NSNumberOpinionatedExtensions::to(const Value& number, const Value& end)
{
    return to(number, end, int64_t(1));
}

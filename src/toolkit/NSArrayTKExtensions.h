// Copying edits and index arithmetic of arrays (NSArray(TKExtensions)),
// the lookups of dictionaries and the counting and random operations of
// numbers (the Opinionated extensions), on the platform's dynamic values.
//
// Values have no identity of their own: "identical" means the same object
// for object values and equal for every other kind.
#pragma once

#include "CUCollections.h"

#include <functional>

class NSArrayTKExtensions {
public:
    using Array = Value::Array;

    // A copy with the element at index replaced; unchanged when the index
    // is outside the array.
    static Array arrayByReplacingObjectAtIndex(const Array& array, int32_t index, const Value& object);
    static Array arrayByRemovingObjectIdenticalTo(const Array& array, const Value& object);
    static Array arrayByRemovingObject(const Array& array, const Value& object);
    // One of each group of equal elements, first ones kept, in order; the
    // very array when there are no duplicates.
    static Array arrayByRemovingDuplicates(const Array& array);
    static bool validInsertIndex(const Array& array, long index) { return index >= 0 && size_t(index) <= array.size(); }
    static bool validIndex(const Array& array, unsigned long index) { return index < array.size(); }
    // Nil outside the array (a negative index is never valid).
    static Value safeObjectAtIndex(const Array& array, long index);
    // The array itself for nil.
    static Array arrayByAddingObjectToFront(const Array& array, const Value& object);
    // Values copy deeply: every nested array and dictionary is the copy's own.
    static Array deepMutableCopy(const Array& array) { return array; }
    static Array reversedArray(const Array& array);
    // The non-nil results of the operation on each element, with the object.
    static Array arrayByPerformingSelector(const Array& array,
        const std::function<Value(const Value& element, const Value& object)>& selector, const Value& object = {});
    // The index arithmetic of moving row source to before row dest while the
    // selected row follows: false (nothing written) when the row would not
    // move; else dest becomes the row's final index and selection its new
    // place.
    static bool moveSource(unsigned long& source, unsigned long& dest, unsigned long& selection);
};

class NSDictionaryOpinionatedExtensions {
public:
    using Dictionary = Value::Dictionary;

    static Value at(const Dictionary& dictionary, const std::string& key);
    static Value at(const Dictionary& dictionary, const std::string& key, const std::function<Value()>& ifAbsent);
    // The block's result on the value; nil (the block not called) when absent.
    static Value at(const Dictionary& dictionary, const std::string& key,
        const std::function<Value(const Value&)>& ifPresent);
    static bool includesKey(const Dictionary& dictionary, const std::string& key);
    static bool includesValue(const Dictionary& dictionary, const Value& object);
    static Ref<CUAssociationEnumerator> associationEnumerator(const Dictionary& dictionary);
    // Mutable dictionaries: store and return what was stored.
    static Ref<CUAssociation> add(Dictionary& dictionary, const Ref<CUAssociation>& association);
    static Value atPut(Dictionary& dictionary, const std::string& key, const Value& value);
    // The stored value; when absent, the block's result, stored.
    static Value atIfAbsentPut(Dictionary& dictionary, const std::string& key, const std::function<Value()>& block);
};

class NSNumberOpinionatedExtensions {
public:
    // A uniform random integer below the number's magnitude (0 for 0),
    // negative for a negative number. The whole 64-bit range is drawn from.
    static Value atRandom(const Value& number);
    // Calls the block with 0 to n - 1; a negative count calls it never.
    static void timesRepeatWithIndex(const Value& number, const std::function<void(uint64_t)>& block);
    static void timesRepeat(const Value& number, const std::function<void()>& block);
    static Ref<CUInterval> to(const Value& number, const Value& end, const Value& by);
    static Ref<CUInterval> to(const Value& number, const Value& end);
};

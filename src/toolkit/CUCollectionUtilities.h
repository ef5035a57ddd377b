// A uniform, block-based collection vocabulary that every value answers:
// aggregating, enumeration, mapping and subsetting. A value that is a
// collection (CUCollections.h) answers element by element; any other value
// is a single object and answers for itself. The building operations need
// a constructible collection, so nil (the null object) is empty for
// reading but a single object for building. Blocks run synchronously, in
// element order; nothing changes the receiver.
#pragma once

#include "CUCollections.h"

#include <functional>

class CUCollectionUtilities {
public:
    using Block = std::function<void(const Value&)>;
    using IndexBlock = std::function<void(const Value&, size_t)>;
    using Separator = std::function<void()>;
    using Mapper = std::function<Value(const Value&)>;
    using Predicate = std::function<bool(const Value&)>;
    using Injector = std::function<Value(const Value& accumulator, const Value& element)>;

    // MARK: Enumeration
    static void each(const Value& receiver, const Block& block);
    static void eachWithIndex(const Value& receiver, const IndexBlock& block);
    // The separator (when given) runs before every element but the first.
    static void each(const Value& receiver, const Block& block, const Separator& separatedBy);
    static void eachWithIndex(const Value& receiver, const IndexBlock& block, const Separator& separatedBy);

    // MARK: Mapping and aggregating
    // A collection of the receiver's kind with the block's results (a set
    // merges equal ones; a string appends them as text; an interval gives
    // an array).
    static Value map(const Value& receiver, const Mapper& block);
    static Value collect(const Value& receiver, const Mapper& block) { return map(receiver, block); }
    static Value inject(const Value& receiver, const Value& initial, const Injector& into);
    static Value reduce(const Value& receiver, const Injector& block) { return inject(receiver, Value(), block); }
    // The sum and the average of the block's numbers (of the elements
    // themselves without a block); 0 for an empty collection.
    static Value sum(const Value& receiver, const Mapper& block);
    static Value average(const Value& receiver, const Mapper& block);
    static Value sum(const Value& receiver);
    static Value average(const Value& receiver);
    // The element whose key is largest or smallest (the earlier on a tie);
    // nil when empty. A single object is its own answer.
    static Value max(const Value& receiver, const Mapper& key);
    static Value min(const Value& receiver, const Mapper& key);
    // The largest and smallest element of an array or set; nil otherwise.
    static Value max(const Value& receiver);
    static Value min(const Value& receiver);
    // Elements grouped under the block's key (as text), each group a
    // collection of the receiver's kind.
    static Value groupedBy(const Value& receiver, const Mapper& block);

    // MARK: Subsetting
    static Value select(const Value& receiver, const Predicate& block);
    static Value reject(const Value& receiver, const Predicate& block);
    static Value detect(const Value& receiver, const Predicate& block);
    static bool allSatisfy(const Value& receiver, const Predicate& block);
    static bool anySatisfy(const Value& receiver, const Predicate& block);
    static Value takeWhile(const Value& receiver, const Predicate& block);
    static Value dropWhile(const Value& receiver, const Predicate& block);
    static size_t count(const Value& receiver, const Predicate& block);
    // An array's first element, a string's first unit; anything else itself.
    static Value first(const Value& receiver);
    // The first n of an array or string; any other value as a one-element
    // array (empty for 0).
    static Value first(const Value& receiver, size_t n);

    // MARK: Tests and associations
    static bool isEmpty(const Value& receiver);
    static bool isNotEmpty(const Value& receiver) { return !isEmpty(receiver); }
    static bool isNull(const Value& receiver) { return receiver.isNil(); }
    static bool isNotNull(const Value& receiver) { return !receiver.isNil(); }
    static Ref<CUAssociation> asAssociationWithKey(const Value& receiver, const Value& key);
    static Ref<CUAssociation> asAssociationWithValue(const Value& receiver, const Value& value);
    static Ref<CUEnumerator> characterEnumerator(const std::string& string);

    // How compare: orders two values: numbers by value, strings by their
    // bytes, other values by their descriptions. -1, 0 or 1.
    static int compare(const Value& a, const Value& b);
};

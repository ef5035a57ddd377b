#include "CUCollectionUtilities.h"

#include <foundation/NSSet.h>
#include <foundation/Unicode.h>

#include <algorithm>

namespace {

// Runs the block on each element until it answers false.
template <class Visit>
bool walk(const CUEnumerableCollection& collection, Visit&& visit)
{
    auto enumerator = collection.oc_collectionEnumerator();
    while (auto element = enumerator->nextObject())
        if (!visit(*element))
            return false;
    return true;
}

// Builds a collection of the receiver's kind from the elements the filter
// passes; the filter may end the walk.
template <class Filter>
Value build(const CUMutableCollectionConstruction& kind, Filter&& filter)
{
    Value result = kind.oc_createMutableInstanceOfMyKind();
    walk(kind, [&](const Value& element) { return filter(element, [&](const Value& v) { kind.oc_addObject(v, result); }); });
    return kind.oc_createCollectionOfMyKindFromMutableCollection(result);
}

Value numberSum(const std::vector<Value>& numbers)
{
    bool integral = std::all_of(numbers.begin(), numbers.end(), [](const Value& v) {
        return v.type() == Value::Type::Integer || v.type() == Value::Type::Bool;
    });
    if (integral) {
        int64_t total = 0;
        for (const auto& v : numbers)
            total += v.integerValue();
        return total;
    }
    double total = 0;
    for (const auto& v : numbers)
        total += v.doubleValue();
    return total;
}

std::vector<Value> results(const Value& receiver, const CUCollectionUtilities::Mapper& block)
{
    std::vector<Value> out;
    CUCollectionUtilities::each(receiver, [&](const Value& e) { out.push_back(block ? block(e) : e); });
    return out;
}

} // namespace

void CUCollectionUtilities::each(const Value& receiver, const Block& block) { each(receiver, block, nullptr); }

void CUCollectionUtilities::eachWithIndex(const Value& receiver, const IndexBlock& block)
{
    eachWithIndex(receiver, block, nullptr);
}

void CUCollectionUtilities::each(const Value& receiver, const Block& block, const Separator& separatedBy)
{
    eachWithIndex(receiver, [&](const Value& element, size_t) { block(element); }, separatedBy);
}

void CUCollectionUtilities::eachWithIndex(const Value& receiver, const IndexBlock& block, const Separator& separatedBy)
{
    auto collection = CUCollectionCapabilities::enumerable(receiver);
    if (!collection) {
        block(receiver, 0);
        return;
    }
    size_t index = 0;
    walk(*collection, [&](const Value& element) {
        if (index > 0 && separatedBy)
            separatedBy();
        block(element, index++);
        return true;
    });
}

Value CUCollectionUtilities::map(const Value& receiver, const Mapper& block)
{
    auto kind = CUCollectionCapabilities::construction(receiver);
    if (!kind)
        return block(receiver);
    return build(*kind, [&](const Value& element, auto add) {
        add(block(element));
        return true;
    });
}

Value CUCollectionUtilities::inject(const Value& receiver, const Value& initial, const Injector& into)
{
    auto collection = CUCollectionCapabilities::enumerable(receiver);
    if (!collection)
        return into(initial, receiver);
    Value accumulator = initial;
    walk(*collection, [&](const Value& element) {
        accumulator = into(accumulator, element);
        return true;
    });
    return accumulator;
}

Value CUCollectionUtilities::sum(const Value& receiver, const Mapper& block)
{
    if (!CUCollectionCapabilities::enumerable(receiver))
        return block ? block(receiver) : receiver;
    return numberSum(results(receiver, block));
}

Value CUCollectionUtilities::average(const Value& receiver, const Mapper& block)
{
    if (!CUCollectionCapabilities::enumerable(receiver))
        return block ? block(receiver) : receiver;
    auto numbers = results(receiver, block);
    if (numbers.empty())
        return 0;
    return numberSum(numbers).doubleValue() / double(numbers.size());
}

Value CUCollectionUtilities::sum(const Value& receiver) { return sum(receiver, nullptr); }

Value CUCollectionUtilities::average(const Value& receiver) { return average(receiver, nullptr); }

int CUCollectionUtilities::compare(const Value& a, const Value& b)
{
    if (a.isNumber() && b.isNumber()) {
        double x = a.doubleValue(), y = b.doubleValue();
        return x < y ? -1 : x > y ? 1 : 0;
    }
    std::string x = a.isString() ? *a.string() : a.description();
    std::string y = b.isString() ? *b.string() : b.description();
    int c = x.compare(y);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

namespace {

Value extreme(const Value& receiver, const CUCollectionUtilities::Mapper& key, int better)
{
    auto collection = CUCollectionCapabilities::enumerable(receiver);
    if (!collection)
        return receiver;
    std::optional<Value> best;
    Value bestKey;
    walk(*collection, [&](const Value& element) {
        Value k = key(element);
        if (!best || CUCollectionUtilities::compare(k, bestKey) == better) {
            best = element;
            bestKey = k;
        }
        return true;
    });
    return best ? *best : Value();
}

Value extremeOfElements(const Value& receiver, int better)
{
    bool listed = receiver.isArray() || receiver.objectAs<NSSet>();
    return listed ? extreme(receiver, [](const Value& v) { return v; }, better) : Value();
}

} // namespace

Value CUCollectionUtilities::max(const Value& receiver, const Mapper& key) { return extreme(receiver, key, 1); }
Value CUCollectionUtilities::min(const Value& receiver, const Mapper& key) { return extreme(receiver, key, -1); }
Value CUCollectionUtilities::max(const Value& receiver) { return extremeOfElements(receiver, 1); }
Value CUCollectionUtilities::min(const Value& receiver) { return extremeOfElements(receiver, -1); }

Value CUCollectionUtilities::groupedBy(const Value& receiver, const Mapper& block)
{
    auto kind = CUCollectionCapabilities::construction(receiver);
    if (!kind)
        return Value::Dictionary { { block(receiver).stringValue(), receiver } };
    Value::Dictionary groups;
    walk(*kind, [&](const Value& element) {
        std::string key = block(element).stringValue();
        auto found = groups.find(key);
        if (found == groups.end())
            found = groups.emplace(key, kind->oc_createMutableInstanceOfMyKind()).first;
        kind->oc_addObject(element, found->second);
        return true;
    });
    Value::Dictionary result;
    for (auto& [key, group] : groups)
        result[key] = kind->oc_createCollectionOfMyKindFromMutableCollection(group);
    return result;
}

Value CUCollectionUtilities::select(const Value& receiver, const Predicate& block)
{
    auto kind = CUCollectionCapabilities::construction(receiver);
    if (!kind)
        return block(receiver) ? receiver : Value();
    return build(*kind, [&](const Value& element, auto add) {
        if (block(element))
            add(element);
        return true;
    });
}

Value CUCollectionUtilities::reject(const Value& receiver, const Predicate& block)
{
    return select(receiver, [&](const Value& element) { return !block(element); });
}

Value CUCollectionUtilities::detect(const Value& receiver, const Predicate& block)
{
    auto collection = CUCollectionCapabilities::enumerable(receiver);
    if (!collection)
        return block(receiver) ? receiver : Value();
    Value found;
    walk(*collection, [&](const Value& element) {
        if (!block(element))
            return true;
        found = element;
        return false;
    });
    return found;
}

bool CUCollectionUtilities::allSatisfy(const Value& receiver, const Predicate& block)
{
    auto collection = CUCollectionCapabilities::enumerable(receiver);
    return collection ? walk(*collection, block) : block(receiver);
}

bool CUCollectionUtilities::anySatisfy(const Value& receiver, const Predicate& block)
{
    auto collection = CUCollectionCapabilities::enumerable(receiver);
    if (!collection)
        return block(receiver);
    return !walk(*collection, [&](const Value& element) { return !block(element); });
}

Value CUCollectionUtilities::takeWhile(const Value& receiver, const Predicate& block)
{
    auto kind = CUCollectionCapabilities::construction(receiver);
    if (!kind)
        return block(receiver) ? receiver : Value();
    return build(*kind, [&](const Value& element, auto add) {
        if (!block(element))
            return false;
        add(element);
        return true;
    });
}

Value CUCollectionUtilities::dropWhile(const Value& receiver, const Predicate& block)
{
    auto kind = CUCollectionCapabilities::construction(receiver);
    if (!kind)
        return block(receiver) ? Value() : receiver;
    bool dropping = true;
    return build(*kind, [&](const Value& element, auto add) {
        if (dropping && block(element))
            return true;
        dropping = false;
        add(element);
        return true;
    });
}

size_t CUCollectionUtilities::count(const Value& receiver, const Predicate& block)
{
    size_t n = 0;
    each(receiver, [&](const Value& element) { n += block(element) ? 1 : 0; });
    return n;
}

Value CUCollectionUtilities::first(const Value& receiver)
{
    if (const auto* array = receiver.array())
        return array->empty() ? Value() : array->front();
    if (receiver.isString())
        return first(receiver, 1);
    return receiver;
}

Value CUCollectionUtilities::first(const Value& receiver, size_t n)
{
    if (const auto* array = receiver.array())
        return Value::Array(array->begin(), array->begin() + std::ptrdiff_t(std::min(n, array->size())));
    if (const auto* string = receiver.string()) {
        auto units = utf16FromUTF8(*string);
        return utf8FromUTF16(units.substr(0, std::min(n, units.size())));
    }
    return n > 0 ? Value::Array { receiver } : Value::Array {};
}

bool CUCollectionUtilities::isEmpty(const Value& receiver)
{
    if (receiver.isArray() || receiver.isDictionary())
        return receiver.count() == 0;
    if (auto set = receiver.objectAs<NSSet>())
        return set->count() == 0;
    if (const auto* string = receiver.string())
        return string->empty();
    if (auto collection = CUCollectionCapabilities::enumerable(receiver))
        return !collection->oc_collectionEnumerator()->nextObject();
    return false;
}

Ref<CUAssociation> CUCollectionUtilities::asAssociationWithKey(const Value& receiver, const Value& key)
{
    return CUAssociation::associationWithKey(key, receiver);
}

Ref<CUAssociation> CUCollectionUtilities::asAssociationWithValue(const Value& receiver, const Value& value)
{
    return CUAssociation::associationWithKey(receiver, value);
}

Ref<CUEnumerator> CUCollectionUtilities::characterEnumerator(const std::string& string)
{
    return makeRef<CUCharacterEnumerator>(string);
}

#include <toolkit/CUCollectionUtilities.h>
#include <toolkit/NSArrayTKExtensions.h>

#include <foundation/NSSet.h>

#include <gtest/gtest.h>

#include <limits>

using CU = CUCollectionUtilities;
using Array = Value::Array;

namespace {

Array elements(const Value& receiver)
{
    Array out;
    CU::each(receiver, [&](const Value& e) { out.push_back(e); });
    return out;
}

Value interval(int64_t from, int64_t to, int64_t by = 1) { return Value(CUInterval::interval(from, to, by)); }

bool isOdd(const Value& v) { return v.integerValue() % 2 != 0; }

} // namespace

TEST(CUCollections, EmptyCollectionsAndTheNullObjectReadAsEmpty)
{
    for (const Value& empty : { Value(Array {}), Value() }) {
        int calls = 0;
        CU::each(empty, [&](const Value&) { ++calls; });
        EXPECT_EQ(calls, 0);
        EXPECT_EQ(CU::count(empty, [](const Value&) { return true; }), 0u);
        EXPECT_TRUE(CU::detect(empty, [](const Value&) { return true; }).isNil());
        EXPECT_TRUE(CU::allSatisfy(empty, [](const Value&) { return false; }));
        EXPECT_FALSE(CU::anySatisfy(empty, [](const Value&) { return true; }));
        EXPECT_EQ(CU::inject(empty, 7, [](const Value&, const Value&) { return Value(0); }), Value(7));
        EXPECT_TRUE(CU::max(empty, [](const Value& v) { return v; }).isNil());
        EXPECT_TRUE(CU::isEmpty(empty));
    }
    EXPECT_TRUE(CU::first(Value(Array {})).isNil());
    // For building, the null object is a single object.
    EXPECT_EQ(CU::map(Value(), [](const Value& v) { return Value(v.isNil() ? "null" : "?"); }), Value("null"));
    EXPECT_TRUE(CU::select(Value(), [](const Value&) { return true; }).isNil());
    EXPECT_TRUE(CU::isNull(Value()));
    EXPECT_FALSE(CU::isNotNull(Value()));
}

TEST(CUCollections, SingleObjectsAnswerForThemselves)
{
    Value five(5);
    EXPECT_EQ(CU::map(five, [](const Value& v) { return Value(v.integerValue() * 2); }), Value(10));
    EXPECT_EQ(CU::count(five, isOdd), 1u);
    EXPECT_EQ(CU::count(Value(4), isOdd), 0u);
    EXPECT_FALSE(CU::isEmpty(five));
    EXPECT_EQ(CU::first(five, 0), Value(Array {}));
    EXPECT_EQ(CU::first(five, 3), Value(Array { 5 }));
    EXPECT_EQ(CU::select(five, isOdd), five);
    EXPECT_TRUE(CU::reject(five, isOdd).isNil());
    EXPECT_TRUE(CU::dropWhile(five, isOdd).isNil());
    EXPECT_EQ(CU::groupedBy(five, [](const Value&) { return Value("odd"); }), Value(Value::Dictionary { { "odd", 5 } }));
    int separators = 0;
    CU::each(five, [](const Value&) { }, [&] { ++separators; });
    EXPECT_EQ(separators, 0);
    EXPECT_EQ(CU::sum(five), five);
    EXPECT_EQ(CU::max(five, [](const Value&) -> Value { throw std::logic_error("not called"); }), five);
}

TEST(CUCollections, BuildingKeepsTheReceiversKind)
{
    Array numbers { 1, 2, 3, 4, 5 };
    EXPECT_EQ(CU::map(numbers, [](const Value& v) { return Value(v.integerValue() * v.integerValue()); }),
        Value(Array { 1, 4, 9, 16, 25 }));
    EXPECT_EQ(CU::select(numbers, isOdd), Value(Array { 1, 3, 5 }));
    EXPECT_EQ(CU::reject(numbers, isOdd), Value(Array { 2, 4 }));
    EXPECT_EQ(CU::takeWhile(Array { 1, 3, 4, 5 }, isOdd), Value(Array { 1, 3 }));
    // After the first refusal the predicate is asked no more.
    int asked = 0;
    EXPECT_EQ(CU::dropWhile(Array { 1, 3, 4, 5, 6 }, [&](const Value& v) { ++asked; return isOdd(v); }),
        Value(Array { 4, 5, 6 }));
    EXPECT_EQ(asked, 3);

    // A set merges equal results.
    auto set = CU::map(Value(NSSet::setWithArray({ 1, 2, 3 })), [](const Value& v) { return Value(v.integerValue() / 2); });
    ASSERT_TRUE(set.objectAs<NSSet>());
    EXPECT_TRUE(set.objectAs<NSSet>()->isEqual(NSSet::setWithArray({ 0, 1 }).get()));
    // A string appends the results as text, one UTF-16 unit at a time.
    EXPECT_EQ(CU::map(Value("añb"), [](const Value& v) { return Value("<" + v.stringValue() + ">"); }), Value("<a><ñ><b>"));
    // The halves of a surrogate pair are no text on their own.
    EXPECT_EQ(elements(Value("a😀")), (Array { Value("a"), Value("\uFFFD"), Value("\uFFFD") }));
    // An interval builds an array.
    EXPECT_EQ(CU::map(interval(1, 3), [](const Value& v) { return Value(v.integerValue() + 10); }), Value(Array { 11, 12, 13 }));
    // A dictionary passes associations and gives a dictionary.
    Value::Dictionary prices { { "apple", 3 }, { "fig", 8 }, { "kiwi", 5 } };
    EXPECT_EQ(CU::select(prices, [](const Value& v) { return v.objectAs<CUAssociation>()->value().integerValue() > 4; }),
        Value(Value::Dictionary { { "fig", 8 }, { "kiwi", 5 } }));
    auto groups = CU::groupedBy(Array { 1, 2, 3, 4, 5 }, [](const Value& v) { return Value(isOdd(v) ? "odd" : "even"); });
    EXPECT_EQ(groups, Value(Value::Dictionary { { "even", Array { 2, 4 } }, { "odd", Array { 1, 3, 5 } } }));
    auto byPrice = CU::groupedBy(prices, [](const Value& v) { return Value(v.objectAs<CUAssociation>()->value().integerValue() > 4); });
    EXPECT_EQ(byPrice["1"], Value(Value::Dictionary { { "fig", 8 }, { "kiwi", 5 } }));
}

TEST(CUCollections, AggregatesAndSeparators)
{
    Array numbers { 3, 1, 4, 1, 5 };
    EXPECT_EQ(CU::sum(numbers), Value(14));
    EXPECT_DOUBLE_EQ(CU::average(numbers).doubleValue(), 2.8);
    EXPECT_DOUBLE_EQ(CU::sum(Array { 0.5, 1 }).doubleValue(), 1.5);
    EXPECT_EQ(CU::max(numbers), Value(5));
    EXPECT_EQ(CU::min(numbers), Value(1));
    // The element is answered, not its key; ties keep the earlier one.
    Array words { "bb", "a", "cc", "d" };
    EXPECT_EQ(CU::max(words, [](const Value& v) { return Value(int64_t(v.stringValue().size())); }), Value("bb"));
    EXPECT_EQ(CU::min(words, [](const Value& v) { return Value(int64_t(v.stringValue().size())); }), Value("a"));
    EXPECT_EQ(CU::reduce(Array { 1, 2, 3 }, [](const Value& a, const Value& e) { return Value(a.integerValue() + e.integerValue()); }),
        Value(6));
    std::string joined;
    CU::eachWithIndex(
        words, [&](const Value& v, size_t i) { joined += std::to_string(i) + v.stringValue(); }, [&] { joined += ","; });
    EXPECT_EQ(joined, "0bb,1a,2cc,3d");
    EXPECT_EQ(CU::first(Value("hello"), 3), Value("hel"));
    EXPECT_EQ(CU::first(Value("hi"), 9), Value("hi"));
    EXPECT_EQ(CU::first(Array { 1, 2 }, 9), Value(Array { 1, 2 }));
    EXPECT_EQ(CU::first(Value("hello")), Value("h"));
    EXPECT_EQ(CU::first(Value(NSSet::setWithArray({ 1 }))).objectAs<NSSet>()->count(), 1u);
    auto association = CU::asAssociationWithValue("key", 9);
    EXPECT_EQ(association->key(), Value("key"));
    EXPECT_EQ(CU::asAssociationWithKey("v", "k")->value(), Value("v"));
}

TEST(CUIntervals, SizesStepsAndTheEdgesOfTheRange)
{
    EXPECT_EQ(elements(interval(1, 5)), (Array { 1, 2, 3, 4, 5 }));
    EXPECT_EQ(elements(interval(10, 1, -3)), (Array { 10, 7, 4, 1 }));
    EXPECT_EQ(elements(interval(1, 10, 4)), (Array { 1, 5, 9 }));
    EXPECT_TRUE(elements(interval(5, 1)).empty());
    EXPECT_TRUE(elements(interval(1, 5, 0)).empty());
    EXPECT_TRUE(CU::isEmpty(interval(5, 1)));
    EXPECT_FALSE(CU::isEmpty(interval(1, 1)));

    constexpr int64_t lo = std::numeric_limits<int64_t>::min();
    constexpr int64_t hi = std::numeric_limits<int64_t>::max();
    // Spans that do not fit in 64 bits, and the division of the most
    // negative span by -1.
    EXPECT_EQ(CUInterval(lo, hi, hi).size(), 3u);
    EXPECT_EQ(CUInterval(hi, lo, -1).size(), std::numeric_limits<uint64_t>::max());
    EXPECT_EQ(CUInterval(0, lo, -1).size(), uint64_t(1) << 63 | 1);
    auto wide = CUInterval::interval(lo, hi, hi)->intervalEnumerator();
    EXPECT_EQ(*wide->nextObject(), Value(lo));
    EXPECT_EQ(*wide->nextObject(), Value(int64_t(-1)));
    EXPECT_EQ(*wide->nextObject(), Value(hi - 1));
    EXPECT_FALSE(wide->nextObject());
    EXPECT_FALSE(wide->nextObject());
}

TEST(NSArrayTKExtensions, CopyingEditsAndIndexes)
{
    using A = NSArrayTKExtensions;
    Array letters { "a", "b", "c" };
    EXPECT_EQ(A::arrayByReplacingObjectAtIndex(letters, 1, "x"), (Array { "a", "x", "c" }));
    EXPECT_EQ(A::arrayByReplacingObjectAtIndex(letters, -1, "x"), letters);
    EXPECT_EQ(A::arrayByReplacingObjectAtIndex(letters, 3, "x"), letters);
    // Equal but not the same object: nothing is removed by identity.
    auto one = CUAssociation::associationWithKey("k", 1);
    auto twin = CUAssociation::associationWithKey("k", 1);
    Array objects { Value(one), Value(twin), "z" };
    EXPECT_EQ(A::arrayByRemovingObjectIdenticalTo(objects, Value(twin)).size(), 2u);
    EXPECT_EQ(A::arrayByRemovingObjectIdenticalTo(Array { Value(one) }, Value(CUAssociation::associationWithKey("k", 1))).size(), 1u);
    EXPECT_EQ(A::arrayByRemovingObject(objects, Value(twin)), (Array { "z" }));
    EXPECT_EQ(A::arrayByRemovingDuplicates(Array { 1, 2, 1, 3, 2 }), (Array { 1, 2, 3 }));
    EXPECT_EQ(A::safeObjectAtIndex(letters, -1), Value());
    EXPECT_EQ(A::safeObjectAtIndex(letters, 2), Value("c"));
    EXPECT_TRUE(A::validInsertIndex(letters, 3));
    EXPECT_FALSE(A::validInsertIndex(letters, -1));
    EXPECT_EQ(A::arrayByAddingObjectToFront(letters, Value()), letters);
    EXPECT_EQ(A::arrayByAddingObjectToFront(letters, "z").front(), Value("z"));
    EXPECT_EQ(A::reversedArray(letters), (Array { "c", "b", "a" }));
    EXPECT_EQ(A::arrayByPerformingSelector(Array { 1, 2, 3 },
                  [](const Value& e, const Value& o) { return isOdd(e) ? Value(e.integerValue() * o.integerValue()) : Value(); }, 10),
        (Array { 10, 30 }));

    unsigned long s = 2, d = 5, t = 4;
    EXPECT_TRUE(A::moveSource(s, d, t));
    EXPECT_EQ(d, 4u);
    EXPECT_EQ(t, 3u);
    s = 5, d = 1, t = 3;
    EXPECT_TRUE(A::moveSource(s, d, t));
    EXPECT_EQ(d, 1u);
    EXPECT_EQ(t, 4u);
    s = 3, d = 4, t = 3;
    EXPECT_FALSE(A::moveSource(s, d, t));
    EXPECT_EQ(d, 4u);
    s = 3, d = 0, t = 3;
    EXPECT_TRUE(A::moveSource(s, d, t));
    EXPECT_EQ(t, 0u);
}

TEST(NSArrayTKExtensions, DictionariesAndNumbers)
{
    using D = NSDictionaryOpinionatedExtensions;
    Value::Dictionary stock { { "pears", 4 } };
    int made = 0;
    auto make = [&] { ++made; return Value(9); };
    EXPECT_EQ(D::atIfAbsentPut(stock, "pears", make), Value(4));
    EXPECT_EQ(made, 0);
    EXPECT_EQ(D::atIfAbsentPut(stock, "plums", make), Value(9));
    EXPECT_EQ(made, 1);
    EXPECT_EQ(D::at(stock, "plums"), Value(9));
    EXPECT_TRUE(D::at(stock, "figs", std::function<Value(const Value&)>([](const Value&) -> Value { throw 1; })).isNil());
    EXPECT_EQ(D::at(stock, "figs", std::function<Value()>([] { return Value(0); })), Value(0));
    EXPECT_TRUE(D::includesValue(stock, 9));
    D::add(stock, CUAssociation::associationWithKey("figs", 2));
    EXPECT_TRUE(D::includesKey(stock, "figs"));
    auto walk = D::associationEnumerator(stock);
    EXPECT_EQ(walk->nextObject()->objectAs<CUAssociation>()->key(), Value("figs"));

    using N = NSNumberOpinionatedExtensions;
    int calls = 0;
    N::timesRepeat(Value(-3), [&] { ++calls; });
    EXPECT_EQ(calls, 0);
    std::vector<uint64_t> indexes;
    N::timesRepeatWithIndex(3, [&](uint64_t i) { indexes.push_back(i); });
    EXPECT_EQ(indexes, (std::vector<uint64_t> { 0, 1, 2 }));
    EXPECT_EQ(N::atRandom(0), Value(0));
    // Numbers beyond 32 bits draw from their whole range.
    int64_t big = int64_t(1) << 40;
    bool beyond32 = false;
    for (int i = 0; i < 20; ++i) {
        int64_t r = N::atRandom(-big).integerValue();
        EXPECT_LE(r, 0);
        EXPECT_GT(r, -big);
        beyond32 |= r < -(int64_t(1) << 32);
    }
    EXPECT_TRUE(beyond32);
    EXPECT_EQ(elements(Value(N::to(1, 7, 3))), (Array { 1, 4, 7 }));
}

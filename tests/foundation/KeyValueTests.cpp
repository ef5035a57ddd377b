#include <foundation/Foundation.h>

#include <gtest/gtest.h>

namespace {

// A model object with one observable integer and a few read-only keys.
class Counter : public NSObject {
public:
    int value() const { return m_value; }
    void setValue(int v)
    {
        willChangeValueForKey("value");
        m_value = v;
        didChangeValueForKey("value");
    }

    Value valueForKey(const std::string& key) const override
    {
        if (key == "value") return m_value;
        if (key == "name") return m_name;
        if (key == "child") return m_child;
        if (key == "items") return m_items;
        if (key == "info") return m_info;
        return NSObject::valueForKey(key);
    }
    void setValueForKey(const Value& v, const std::string& key) override
    {
        if (key == "value")
            setValue(static_cast<int>(v.integerValue()));
        else if (key == "name")
            m_name = v.stringValue();
        else
            NSObject::setValueForKey(v, key);
    }

    std::string m_name;
    Ref<Counter> m_child;
    Value::Array m_items;
    Value::Dictionary m_info;

private:
    int m_value { 0 };
};

std::string describe(const KVOChange& c)
{
    return (c.isPrior ? "prior " : "") + c.key + " old=" + c.oldValue.description()
        + " new=" + c.newValue.description();
}

TEST(KeyValueObserving, OldAndNewValues)
{
    Counter counter;
    counter.setValue(1);
    std::vector<std::string> seen;
    auto token = counter.addObserver("value", NSKeyValueObservingOptionOld | NSKeyValueObservingOptionNew,
        [&](const KVOChange& c) { seen.push_back(describe(c)); });
    counter.setValue(2);
    EXPECT_EQ(seen, (std::vector<std::string> { "value old=1 new=2" }));
}

TEST(KeyValueObserving, OptionsLimitWhatTheNoticeCarries)
{
    Counter counter;
    counter.setValue(5);
    std::vector<std::string> seen;
    auto plain = counter.addObserver(
        "value", 0, [&](const KVOChange& c) { seen.push_back("plain " + describe(c)); });
    auto newOnly = counter.addObserver("value", NSKeyValueObservingOptionNew,
        [&](const KVOChange& c) { seen.push_back("new " + describe(c)); });
    counter.setValue(6);
    EXPECT_EQ(seen,
        (std::vector<std::string> { "plain value old=(null) new=(null)", "new value old=(null) new=6" }));
}

TEST(KeyValueObserving, InitialNoticeComesAtOnceWithTheCurrentValue)
{
    Counter counter;
    counter.setValue(3);
    std::vector<std::string> seen;
    auto token = counter.addObserver("value",
        NSKeyValueObservingOptionInitial | NSKeyValueObservingOptionNew | NSKeyValueObservingOptionOld,
        [&](const KVOChange& c) { seen.push_back(describe(c)); });
    EXPECT_EQ(seen, (std::vector<std::string> { "value old=(null) new=3" }));
}

TEST(KeyValueObserving, PriorNoticeComesFromWillChangeBeforeTheChange)
{
    Counter counter;
    counter.setValue(1);
    std::vector<std::string> seen;
    auto token = counter.addObserver("value",
        NSKeyValueObservingOptionPrior | NSKeyValueObservingOptionOld | NSKeyValueObservingOptionNew,
        [&](const KVOChange& c) { seen.push_back(describe(c) + " now=" + std::to_string(counter.value())); });
    counter.setValue(2);
    EXPECT_EQ(
        seen, (std::vector<std::string> { "prior value old=1 new=(null) now=1", "value old=1 new=2 now=2" }));
}

TEST(KeyValueObserving, WillAndDidOrderAcrossObservers)
{
    Counter counter;
    std::vector<std::string> seen;
    auto a = counter.addObserver("value", NSKeyValueObservingOptionPrior,
        [&](const KVOChange& c) { seen.push_back(c.isPrior ? "a will" : "a did"); });
    auto b = counter.addObserver("value", NSKeyValueObservingOptionPrior,
        [&](const KVOChange& c) { seen.push_back(c.isPrior ? "b will" : "b did"); });
    counter.setValue(1);
    EXPECT_EQ(seen, (std::vector<std::string> { "a will", "b will", "a did", "b did" }));
}

TEST(KeyValueObserving, EndingTheTokenEndsTheNotices)
{
    Counter counter;
    int count = 0;
    auto token = counter.addObserver("value", 0, [&](const KVOChange&) { ++count; });
    EXPECT_EQ(counter.observerCount("value"), 1u);
    counter.setValue(1);
    token.reset();
    EXPECT_EQ(counter.observerCount("value"), 0u);
    counter.setValue(2);
    EXPECT_EQ(count, 1);
}

TEST(KeyValueObserving, ObserverWithoutAHandlerIsNotRegistered)
{
    Counter counter;
    auto token = counter.addObserver("value", NSKeyValueObservingOptionInitial, nullptr);
    EXPECT_FALSE(token.isActive());
    EXPECT_EQ(counter.observerCount("value"), 0u);
    counter.setValue(1);
}

TEST(KeyValueObserving, TokenMayOutliveTheObservedObject)
{
    Token token;
    {
        auto counter = makeRef<Counter>();
        token = counter->addObserver("value", 0, [](const KVOChange&) {});
    }
    token.reset();
    SUCCEED();
}

TEST(KeyValueObserving, ObserverRemovingItselfDuringANotice)
{
    Counter counter;
    int count = 0;
    Token token;
    token = counter.addObserver("value", 0, [&](const KVOChange&) {
        ++count;
        token.reset();
    });
    counter.setValue(1);
    counter.setValue(2);
    EXPECT_EQ(count, 1);
}

TEST(KeyValueObserving, ObserverRemovingALaterOneDuringANotice)
{
    Counter counter;
    std::vector<std::string> seen;
    Token second;
    auto first = counter.addObserver("value", 0, [&](const KVOChange&) {
        seen.push_back("first");
        second.reset();
    });
    second = counter.addObserver("value", 0, [&](const KVOChange&) { seen.push_back("second"); });
    counter.setValue(1);
    EXPECT_EQ(seen, (std::vector<std::string> { "first" }));
}

TEST(KeyValueObserving, ObserverAddedDuringANoticeWaitsForTheNextChange)
{
    Counter counter;
    std::vector<std::string> seen;
    Token late;
    auto first = counter.addObserver("value", 0, [&](const KVOChange&) {
        seen.push_back("first");
        if (!late) late = counter.addObserver("value", 0, [&](const KVOChange&) { seen.push_back("late"); });
    });
    counter.setValue(1);
    EXPECT_EQ(seen, (std::vector<std::string> { "first" }));
    counter.setValue(2);
    EXPECT_EQ(seen, (std::vector<std::string> { "first", "first", "late" }));
}

TEST(KeyValueObserving, NestedChangesOfOneKeyPairTheirOldValues)
{
    Counter counter;
    counter.setValue(1);
    std::vector<std::string> seen;
    auto token = counter.addObserver(
        "value", NSKeyValueObservingOptionOld | NSKeyValueObservingOptionNew, [&](const KVOChange& c) {
            seen.push_back(describe(c));
            // The first notice changes the value again, inside its own change.
            if (c.newValue.integerValue() == 2) counter.setValue(3);
        });
    counter.willChangeValueForKey("value");
    counter.setValue(2);
    counter.didChangeValueForKey("value");
    EXPECT_EQ(
        seen, (std::vector<std::string> { "value old=1 new=2", "value old=2 new=3", "value old=1 new=3" }));
}

TEST(KeyValueObserving, NestedChangeWhileTheOnlyObserverLeavesAndReturns)
{
    Counter counter;
    counter.setValue(1);
    std::vector<std::string> seen;
    auto handler = [&](const KVOChange& c) { seen.push_back(describe(c)); };
    auto token
        = counter.addObserver("value", NSKeyValueObservingOptionOld | NSKeyValueObservingOptionNew, handler);
    counter.willChangeValueForKey("value"); // outer, old 1
    token.reset();
    counter.setValue(2); // inner, unobserved
    token
        = counter.addObserver("value", NSKeyValueObservingOptionOld | NSKeyValueObservingOptionNew, handler);
    counter.didChangeValueForKey("value"); // outer ends: its own old value
    EXPECT_EQ(seen, (std::vector<std::string> { "value old=1 new=2" }));
}

TEST(KeyValueObserving, KeysAreIndependent)
{
    Counter counter;
    int count = 0;
    auto token = counter.addObserver("name", 0, [&](const KVOChange&) { ++count; });
    counter.setValue(1);
    EXPECT_EQ(count, 0);
    counter.willChangeValueForKey("name");
    counter.didChangeValueForKey("name");
    EXPECT_EQ(count, 1);
}

// Key-value coding.

TEST(KeyValueCoding, UnknownKeyLogsAndReadsNil)
{
    LogCapture capture;
    Counter counter;
    EXPECT_TRUE(counter.valueForKey("nope").isNil());
    EXPECT_TRUE(capture.contains(
        "valueForUndefinedKey:]: this class is not key value coding-compliant for the key nope."));
    counter.setValueForKey(1, "nope");
    EXPECT_TRUE(capture.contains("setValue:forUndefinedKey:]"));
}

TEST(KeyValueCoding, KeyPathThroughObjects)
{
    auto root = makeRef<Counter>();
    root->m_child = makeRef<Counter>();
    root->m_child->m_name = "kid";
    root->m_child->m_child = makeRef<Counter>();
    root->m_child->m_child->setValue(9);
    EXPECT_EQ(root->valueForKeyPath("child.name"), Value("kid"));
    EXPECT_EQ(root->valueForKeyPath("child.child.value"), Value(9));
    EXPECT_TRUE(root->valueForKeyPath("child.child.child.value").isNil());
}

TEST(KeyValueCoding, SetThroughAKeyPath)
{
    auto root = makeRef<Counter>();
    root->m_child = makeRef<Counter>();
    int count = 0;
    auto token = root->m_child->addObserver("value", 0, [&](const KVOChange&) { ++count; });
    root->setValueForKeyPath(4, "child.value");
    EXPECT_EQ(root->m_child->value(), 4);
    EXPECT_EQ(count, 1);
    root->setValueForKeyPath("top", "name");
    EXPECT_EQ(root->m_name, "top");
    // A missing link is a message to nil: nothing happens.
    root->setValueForKeyPath(1, "child.child.value");
}

TEST(KeyValueCoding, KeyPathThroughDictionariesAndArrays)
{
    Counter counter;
    auto a = makeRef<Counter>();
    a->m_name = "a";
    auto b = makeRef<Counter>();
    b->m_name = "b";
    counter.m_items = { Value(a), Value(b) };
    counter.m_info
        = { { "size", Value::Dictionary { { "width", 3 } } }, { "tags", Value::Array { "x", "y", "z" } } };

    EXPECT_EQ(counter.valueForKeyPath("items.name"), Value(Value::Array { "a", "b" }));
    EXPECT_EQ(counter.valueForKeyPath("items.@count"), Value(2));
    EXPECT_EQ(counter.valueForKeyPath("info.size.width"), Value(3));
    EXPECT_EQ(counter.valueForKeyPath("info.tags.@count"), Value(3));
    EXPECT_EQ(counter.valueForKeyPath("info.@count"), Value(2));
    EXPECT_TRUE(counter.valueForKeyPath("info.missing.width").isNil());
    EXPECT_TRUE(counter.valueForKeyPath("name.@count").isNil());
}

TEST(KeyValueCoding, CountOfAnEmptyArrayIsZeroNotNil)
{
    Counter counter;
    Value count = counter.valueForKeyPath("items.@count");
    EXPECT_EQ(count.type(), Value::Type::Integer);
    EXPECT_EQ(count.integerValue(), 0);
}

TEST(KeyValueCoding, KeyPathOnAPlainValue)
{
    Value root = Value::Dictionary { { "list",
        Value::Array { Value::Dictionary { { "n", 1 } }, Value::Dictionary { { "n", 2 } } } } };
    EXPECT_EQ(valueForKeyPathOf(root, "list.n"), Value(Value::Array { 1, 2 }));
    EXPECT_EQ(valueForKeyPathOf(root, "list.@count"), Value(2));
    EXPECT_TRUE(valueForKeyPathOf(Value(), "a.b").isNil());
}

// Identity and description.

TEST(ObjectModel, ClassNameDescriptionAndSelfRef)
{
    auto counter = makeRef<Counter>();
    EXPECT_EQ(counter->className(), "Counter");
    EXPECT_EQ(
        counter->description(), stringWithFormat("<Counter: %p>", static_cast<const void*>(counter.get())));
    EXPECT_EQ(counter->selfRef<Counter>(), counter);
    Counter onStack;
    EXPECT_EQ(onStack.selfRef(), nullptr);
    EXPECT_TRUE(counter->isEqual(counter));
    EXPECT_FALSE(counter->isEqual(&onStack));
}

} // namespace

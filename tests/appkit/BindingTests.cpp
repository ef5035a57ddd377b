#include "AppKitTestSupport.h"

#include <support/SimWorld.h>

#include <appkit/NSArrayController.h>
#include <appkit/NSKeyPathObserver.h>
#include <appkit/NSNib.h>
#include <appkit/NSValueTransformer.h>
#include <appkit/NSViewController.h>
#include <appkit/NSWindowController.h>

#include <map>

namespace {

// A model object with observable keys.
class Person : public NSObject {
public:
    explicit Person(std::string name, int64_t age = 0)
        : m_name(std::move(name))
        , m_age(age)
    {
    }
    Value valueForKey(const std::string& key) const override
    {
        if (key == "name")
            return Value(m_name);
        if (key == "age")
            return Value(m_age);
        if (key == "partner")
            return Value(m_partner);
        if (key == "friends")
            return Value(m_friends);
        return NSObject::valueForKey(key);
    }
    void setValueForKey(const Value& value, const std::string& key) override
    {
        willChangeValueForKey(key);
        if (key == "name")
            m_name = value.stringValue();
        else if (key == "age")
            m_age = value.integerValue();
        else if (key == "partner")
            m_partner = value.objectAs<Person>();
        else if (key == "friends")
            m_friends = value.array() ? *value.array() : Value::Array {};
        didChangeValueForKey(key);
    }

private:
    std::string m_name;
    int64_t m_age;
    Ref<Person> m_partner;
    Value::Array m_friends;
};

// Something bindings write into.
class Sink : public NSObject, public NSKeyValueBindingCreation {
public:
    std::vector<Value> received;

protected:
    void setValueForBinding(const Value& value, const std::string&) override { received.push_back(value); }
};

Value::Array people(std::initializer_list<Ref<Person>> list)
{
    Value::Array array;
    for (const auto& p : list)
        array.push_back(Value(p));
    return array;
}

}

TEST(KeyPathObservation, FollowsThePathThroughAReplacedIntermediateObject)
{
    auto root = makeRef<Person>("Root");
    auto first = makeRef<Person>("Ada");
    auto second = makeRef<Person>("Grace");
    root->setValueForKey(Value(first), "partner");
    std::vector<std::string> seen;
    Token token = NSObserveKeyPath(*root, "partner.name", NSKeyValueObservingOptionNew | NSKeyValueObservingOptionOld,
        [&](const KVOChange& c) { seen.push_back(c.oldValue.stringValue() + "->" + c.newValue.stringValue()); });
    first->setValueForKey("Ada L.", "name");
    root->setValueForKey(Value(second), "partner");
    // The old intermediate object is no longer observed, the new one is.
    first->setValueForKey("ignored", "name");
    second->setValueForKey("Grace H.", "name");
    root->setValueForKey(Value(), "partner");
    EXPECT_EQ(seen, (std::vector<std::string> { "Ada->Ada L.", "Ada L.->Grace", "Grace->Grace H.", "Grace H.->" }));
    token.reset();
    root->setValueForKey(Value(first), "partner");
    EXPECT_EQ(seen.size(), 4u);
    EXPECT_EQ(first->observerCount("name"), 0u);
}

TEST(KeyPathObservation, ARootThatGoesAwayEndsTheObservationQuietly)
{
    auto partner = makeRef<Person>("P");
    int calls = 0;
    Token token;
    {
        auto root = makeRef<Person>("Root");
        root->setValueForKey(Value(partner), "partner");
        token = NSObserveKeyPath(*root, "partner.name", NSKeyValueObservingOptionNew, [&](const KVOChange&) { calls++; });
        partner->setValueForKey("Q", "name");
    }
    // The intermediate object outlives the root and changes again.
    partner->setValueForKey("R", "name");
    EXPECT_EQ(calls, 1);
}

TEST(KeyPathObservation, CountsArraysAtTheEndOfThePath)
{
    auto root = makeRef<Person>("Root");
    auto partner = makeRef<Person>("P");
    root->setValueForKey(Value(partner), "partner");
    std::vector<int64_t> counts;
    Token token = NSObserveKeyPath(*root, "partner.friends.@count",
        NSKeyValueObservingOptionNew | NSKeyValueObservingOptionInitial,
        [&](const KVOChange& c) { counts.push_back(c.newValue.integerValue()); });
    partner->setValueForKey(Value(people({ makeRef<Person>("a"), makeRef<Person>("b") })), "friends");
    EXPECT_EQ(counts, (std::vector<int64_t> { 0, 2 }));
}

TEST(Bindings, ABindingFollowsAKeyPathThroughTwoObjectsWithATransformer)
{
    class Shout : public NSValueTransformer {
    public:
        Value transformedValue(const Value& v) const override
        {
            std::string s = v.stringValue();
            for (auto& ch : s)
                ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            return Value(s);
        }
    };
    NSValueTransformer::setValueTransformer(makeRef<Shout>(), "ShoutTransformer");
    auto root = makeRef<Person>("Root");
    auto partner = makeRef<Person>("ada");
    root->setValueForKey(Value(partner), "partner");
    Sink sink;
    sink.bind("value", root, "partner.name",
        Value(Value::Dictionary { { NSValueTransformerNameBindingOption, Value("ShoutTransformer") } }));
    partner->setValueForKey("grace", "name");
    root->setValueForKey(Value(makeRef<Person>("linus")), "partner");
    ASSERT_EQ(sink.received.size(), 3u);
    EXPECT_EQ(sink.received[0], Value("ADA"));
    EXPECT_EQ(sink.received[1], Value("GRACE"));
    EXPECT_EQ(sink.received[2], Value("LINUS"));

    auto info = sink.infoForBinding("value");
    EXPECT_EQ(info[NSObservedKeyPathKey], Value("partner.name"));
    EXPECT_EQ(info[NSObservedObjectKey].object(), root);
    sink.unbind("value");
    partner->setValueForKey("ignored", "name");
    EXPECT_EQ(sink.received.size(), 3u);
    EXPECT_TRUE(sink.infoForBinding("value").isNil());
    NSValueTransformer::setValueTransformer(nullptr, "ShoutTransformer");
}

TEST(Bindings, PropagatingWritesBackThroughTheReverseTransformation)
{
    auto model = makeRef<Person>("x", 0);
    model->setValueForKey(Value(true), "age");
    Sink sink;
    sink.bind("value", model, "age",
        Value(Value::Dictionary { { NSValueTransformerNameBindingOption, Value(NSNegateBooleanTransformerName) } }));
    EXPECT_EQ(sink.received.back(), Value(false));
    sink.propagateValue(Value(true), "value");
    EXPECT_EQ(model->valueForKey("age").boolValue(), false);
    // The write-back does not come back into the binding.
    EXPECT_EQ(sink.received.size(), 1u);
}

TEST(ValueTransformers, TheBuiltInNamesAndReverseRules)
{
    auto negate = NSValueTransformer::valueTransformerForName(NSNegateBooleanTransformerName);
    ASSERT_TRUE(negate);
    EXPECT_EQ(negate->transformedValue(Value(true)), Value(false));
    auto isNil = NSValueTransformer::valueTransformerForName(NSIsNilTransformerName);
    EXPECT_EQ(isNil->transformedValue(Value()), Value(true));
    EXPECT_EQ(isNil->reverseTransformedValue(Value(true)), Value());
    EXPECT_FALSE(NSValueTransformer::valueTransformerForName("NoSuchTransformer"));
}

// Several descriptors: later ones break the earlier ones' ties, a key path
// that ends in nil sorts first, a comparator and descending order apply,
// an empty slot is skipped, and full ties keep the order given. Each
// object's key is read once per sort however many comparisons it takes
// part in (a read can ask another process).
TEST(SortDescriptors, LaterKeysBreakTiesInOrderAndEachObjectsKeyIsReadOnce)
{
    class Counted : public Person {
    public:
        using Person::Person;
        Value valueForKey(const std::string& key) const override
        {
            ++reads[key];
            return Person::valueForKey(key);
        }
        mutable std::map<std::string, int> reads;
    };
    std::vector<Ref<Counted>> all;
    for (const auto& [name, age] : std::vector<std::pair<std::string, int>> {
             { "d", 2 }, { "a", 1 }, { "c", 2 }, { "b", 1 }, { "e", 2 }, { "c", 2 }, { "f", 0 } })
        all.push_back(makeRef<Counted>(name, age));
    all[0]->setValueForKey(Value(all[1]), "partner");
    all[2]->setValueForKey(Value(all[3]), "partner");
    Value::Array input;
    for (const auto& p : all)
        input.push_back(Value(p));
    auto namesOf = [](const Value::Array& sorted) {
        std::string names;
        for (const auto& v : sorted)
            names += v.objectAs<Person>()->valueForKey("name").stringValue();
        return names;
    };
    auto byLength = [](const Value& x, const Value& y) {
        auto n = x.stringValue().size(), m = y.stringValue().size();
        return n < m ? NSOrderedAscending : n > m ? NSOrderedDescending : NSOrderedSame;
    };

    for (const auto& p : all)
        p->reads.clear();
    auto sorted = sortedArrayUsingDescriptors(input, { NSSortDescriptor::sortDescriptorWithKey("age", false), nullptr,
        NSSortDescriptor::sortDescriptorWithKey("name", true, byLength), NSSortDescriptor::sortDescriptorWithKey("name", true) });
    for (const auto& p : all) {
        EXPECT_EQ(p->reads["age"], 1);
        EXPECT_LE(p->reads["name"], 2) << "one read per descriptor that uses it";
    }
    EXPECT_EQ(namesOf(sorted), "ccdeabf");
    // The two "c" are equal by every key: they keep their order.
    EXPECT_EQ(sorted[0].objectAs<Person>(), all[2]);
    // Nil (no partner) first; then the partners' ages.
    EXPECT_EQ(namesOf(sortedArrayUsingDescriptors(input, { NSSortDescriptor::sortDescriptorWithKey("partner.age", true) })),
        "abecfdc");
    EXPECT_EQ(namesOf(sortedArrayUsingDescriptors(input, {})), "dacbecf");
}

TEST(ArrayController, SortsAndTracksTheSelectionByTheRules)
{
    auto a = makeRef<Person>("a", 3), b = makeRef<Person>("b", 1), c = makeRef<Person>("c", 2);
    NSArrayController controller(people({ a, b, c }));
    // A new controller selects the first entry.
    EXPECT_EQ(controller.selectionIndex(), 0u);
    controller.setSortDescriptors({ NSSortDescriptor::sortDescriptorWithKey("age", true) });
    EXPECT_EQ(controller.arrangedObjects(), people({ b, c, a }));
    // The selected object (a) stays selected where it moved.
    EXPECT_EQ(controller.selectionIndex(), 2u);

    EXPECT_TRUE(controller.setSelectionIndex(1));
    EXPECT_EQ(controller.selectedObjects(), people({ c }));
    // Out of range: ignored.
    EXPECT_FALSE(controller.setSelectionIndex(3));
    EXPECT_EQ(controller.selectionIndex(), 1u);
    // No selection.
    EXPECT_TRUE(controller.setSelectionIndex(NSNotFound));
    EXPECT_EQ(controller.selectionIndex(), NSNotFound);
    EXPECT_TRUE(controller.selectedObjects().empty());
    EXPECT_EQ(controller.valueForKey("selectionIndex").integerValue(), NSNotFound);
}

TEST(ArrayController, ASelectedObjectThatGoesAwayHandsTheSelectionToItsSuccessor)
{
    auto a = makeRef<Person>("a"), b = makeRef<Person>("b"), c = makeRef<Person>("c"), d = makeRef<Person>("d");
    NSArrayController controller(people({ a, b, c, d }));
    controller.setSelectionIndex(1);
    controller.setContent(Value(people({ a, c, d })));
    EXPECT_EQ(controller.selectionIndex(), 1u);
    EXPECT_EQ(controller.selectedObjects(), people({ c }));
    // The last entry going away clamps to the new last one.
    controller.setSelectionIndex(2);
    controller.setContent(Value(people({ a, c })));
    EXPECT_EQ(controller.selectionIndex(), 1u);
    // An empty list has no selection.
    controller.setContent(Value(Value::Array {}));
    EXPECT_EQ(controller.selectionIndex(), NSNotFound);
}

TEST(ArrayController, WithoutPreservingOrAvoiding)
{
    auto a = makeRef<Person>("a"), b = makeRef<Person>("b"), c = makeRef<Person>("c");
    NSArrayController controller(people({ a, b, c }));
    controller.setPreservesSelection(false);
    controller.setAvoidsEmptySelection(false);
    controller.setSelectionIndex(2);
    // The index stays, whatever object is there now.
    controller.setContent(Value(people({ c, b, a })));
    EXPECT_EQ(controller.selectedObjects(), people({ a }));
    controller.setContent(Value(people({ c })));
    EXPECT_EQ(controller.selectionIndex(), NSNotFound);
}

TEST(ArrayController, InsertedObjectsAreSelectedWhenAsked)
{
    auto a = makeRef<Person>("a"), b = makeRef<Person>("b");
    NSArrayController controller(people({ a }));
    controller.addObject(Value(b));
    EXPECT_EQ(controller.selectedObjects(), people({ b }));
    controller.setSelectsInsertedObjects(false);
    auto c = makeRef<Person>("c");
    controller.insertObject(Value(c), 0);
    EXPECT_EQ(controller.arrangedObjects(), people({ c, a, b }));
    EXPECT_EQ(controller.selectedObjects(), people({ b }));
    controller.removeObjectAtArrangedObjectIndex(0);
    EXPECT_EQ(controller.content(), people({ a, b }));
}

TEST(ArrayController, ContentBoundToAModelKeyPathAndObservedCount)
{
    auto model = makeRef<Person>("model");
    auto a = makeRef<Person>("a"), b = makeRef<Person>("b");
    auto controller = makeRef<NSArrayController>();
    controller->bind(NSContentArrayBinding, model, "friends");
    std::vector<int64_t> counts;
    Token token = NSObserveKeyPath(*controller, "arrangedObjects.@count", NSKeyValueObservingOptionNew,
        [&](const KVOChange& c) { counts.push_back(c.newValue.integerValue()); });
    model->setValueForKey(Value(people({ a, b })), "friends");
    EXPECT_EQ(controller->content(), people({ a, b }));
    EXPECT_EQ(controller->valueForKeyPath("arrangedObjects.@count"), Value(2));
    model->setValueForKey(Value(people({ b })), "friends");
    EXPECT_EQ(counts, (std::vector<int64_t> { 2, 1 }));
    controller->unbind(NSContentArrayBinding);
    model->setValueForKey(Value(people({ a, b })), "friends");
    EXPECT_EQ(controller->content().size(), 1u);
}

namespace {

class PaneController : public NSViewController {
public:
    PaneController()
        : NSViewController("TestPane")
    {
    }
    Ref<NSView> button;
    int loads { 0 };
    void viewDidLoad() override { loads++; }
};

class PanelController : public NSWindowController {
public:
    PanelController()
        : NSWindowController("TestPanel")
    {
    }
    bool didLoad { false };
    void windowDidLoad() override { didLoad = window() != nullptr; }
};

}

TEST(InterfaceFiles, BuildersMakeViewsAndSetOutletsLazily)
{
    SimWorld world;
    int built = 0;
    NSNib::registerNibNamed("TestPane", [&](NSObject& owner) {
        built++;
        auto& pane = dynamic_cast<PaneController&>(owner);
        auto root = makeRef<NSView>(CGRectMake(0, 0, 200, 100));
        auto button = makeRef<NSView>(CGRectMake(10, 10, 80, 20));
        button->setTag(7);
        root->addSubview(button);
        pane.button = button;
        pane.setView(root);
    });
    NSNib::registerNibNamed("TestPanel", [](NSObject& owner) {
        auto& controller = dynamic_cast<PanelController&>(owner);
        auto window = makeRef<NSWindow>(CGRectMake(0, 0, 300, 200), NSWindowStyleMaskTitled);
        window->setIdentifier("TestPanelIdentifier");
        controller.setWindow(window);
    });

    PaneController pane;
    EXPECT_EQ(built, 0);
    EXPECT_FALSE(pane.isViewLoaded());
    auto view = pane.view();
    EXPECT_EQ(built, 1);
    EXPECT_EQ(pane.loads, 1);
    EXPECT_EQ(view->viewWithTag(7), pane.button);
    pane.view();
    EXPECT_EQ(built, 1);

    auto panel = makeRef<PanelController>();
    EXPECT_FALSE(panel->isWindowLoaded());
    ASSERT_TRUE(panel->window());
    EXPECT_TRUE(panel->didLoad);
    EXPECT_EQ(panel->window()->identifier(), "TestPanelIdentifier");
    EXPECT_EQ(panel->window()->windowController(), panel.get());
    EXPECT_EQ(panel->window()->nextResponder(), panel);

    NSNib::unregisterNibNamed("TestPane");
    NSNib::unregisterNibNamed("TestPanel");
    EXPECT_FALSE(NSNib::hasNibNamed("TestPane"));
}

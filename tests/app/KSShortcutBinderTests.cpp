#include "support/SimWorld.h"
#include "support/DefaultsSandbox.h"

#include <app/KSDictionaryTransformer.h>
#include <app/KSShortcutBinder.h>
#include <appkit/NSUserDefaultsController.h>
#include <desktop/InputCodes.h>
#include <foundation/Log.h>
#include <foundation/NSKeyedArchiver.h>

namespace {

constexpr pid_t kEditor = 7;
const char* kScenario = R"({
  "screens": [ { "frame": [0, 0, 1440, 900] } ],
  "apps": [ { "pid": 7, "name": "Editor", "windows": [ { "id": 70, "title": "a", "frame": [0, 30, 400, 300] } ] } ] })";

Ref<KSShortcut> shortcut(int64_t keyCode, uint64_t flags) { return KSShortcut::shortcutWithKeyCode(keyCode, flags); }

Value archived(const Ref<NSObject>& object)
{
    auto data = NSKeyedArchiver::archivedDataWithRootObject(Value(object));
    return data ? Value(*data) : Value();
}

class Binder : public ::testing::Test {
protected:
    Binder()
    {
        binder->setBindingOptions(defaultOptions);
        KSShortcutMonitor::sharedMonitor()->unregisterAllShortcuts();
    }
    ~Binder() override
    {
        for (const auto& key : { "First", "Second", "Dictionary" })
            binder->breakBindingWithDefaultsKey(key);
        binder->setBindingOptions(defaultOptions);
        KSShortcutMonitor::sharedMonitor()->unregisterAllShortcuts();
    }

    Ref<NSUserDefaults> defaults() { return NSUserDefaults::standardUserDefaults(); }

    // Types the combination and tells which actions ran.
    std::vector<std::string> press(uint16_t keyCode, uint64_t flags)
    {
        ran.clear();
        world.desktop().typeKey(keyCode, flags);
        world.settle();
        return ran;
    }

    std::function<void()> action(const std::string& name)
    {
        return [this, name] { ran.push_back(name); };
    }

    SimWorld world { kScenario };
    DefaultsSandbox defaultsSandbox;
    Ref<KSShortcutBinder> binder { KSShortcutBinder::sharedBinder() };
    Value::Dictionary defaultOptions = binder->bindingOptions();
    std::vector<std::string> ran;
};

}

TEST_F(Binder, StartsWithTheKeyedUnarchiveTransformer)
{
    EXPECT_EQ(binder, KSShortcutBinder::sharedBinder());
    EXPECT_EQ(binder->shortcutMonitor(), KSShortcutMonitor::sharedMonitor());
    EXPECT_EQ(defaultOptions, (Value::Dictionary { { NSValueTransformerNameBindingOption, Value("NSKeyedUnarchiveFromData") } }));
    EXPECT_TRUE(NSValueTransformer::valueTransformerForName("KSDictionaryTransformer"));
}

TEST_F(Binder, FollowsTheShortcutStoredUnderTheKey)
{
    defaults()->setObject(archived(shortcut(kVK_ANSI_K, kCGEventFlagMaskCommand)), "First");
    binder->bindShortcutWithDefaultsKey("First", action("first"));
    EXPECT_TRUE(binder->isRegisteredAction("First"));
    EXPECT_FALSE(binder->isRegisteredAction("Second"));
    EXPECT_TRUE(binder->valueForKey("First").objectAs<KSShortcut>()->isEqual(
        shortcut(kVK_ANSI_K, kCGEventFlagMaskCommand).get()));
    EXPECT_EQ(press(kVK_ANSI_K, kCGEventFlagMaskCommand), (std::vector<std::string> { "first" }));

    defaults()->setObject(archived(shortcut(kVK_ANSI_J, kCGEventFlagMaskAlternate)), "First");
    EXPECT_EQ(press(kVK_ANSI_K, kCGEventFlagMaskCommand), (std::vector<std::string> {}))
        << "the old combination is free again";
    EXPECT_EQ(press(kVK_ANSI_J, kCGEventFlagMaskAlternate), (std::vector<std::string> { "first" }));

    defaults()->removeObjectForKey("First");
    EXPECT_TRUE(binder->valueForKey("First").isNil());
    EXPECT_EQ(press(kVK_ANSI_J, kCGEventFlagMaskAlternate), (std::vector<std::string> {}));
    EXPECT_TRUE(KSShortcutMonitor::sharedMonitor()->hotKeys().empty());
}

TEST_F(Binder, BreakingTheBindingUnregistersAndStopsFollowing)
{
    defaults()->setObject(archived(shortcut(kVK_ANSI_K, kCGEventFlagMaskCommand)), "First");
    binder->bindShortcutWithDefaultsKey("First", action("first"));
    binder->breakBindingWithDefaultsKey("First");
    EXPECT_FALSE(binder->isRegisteredAction("First"));
    EXPECT_EQ(press(kVK_ANSI_K, kCGEventFlagMaskCommand), (std::vector<std::string> {}));
    defaults()->setObject(archived(shortcut(kVK_ANSI_J, kCGEventFlagMaskCommand)), "First");
    EXPECT_EQ(press(kVK_ANSI_J, kCGEventFlagMaskCommand), (std::vector<std::string> {}));
}

TEST_F(Binder, DamagedOrForeignDataGivesNoHotKeyAndALogLine)
{
    binder->bindShortcutWithDefaultsKey("First", action("first"));
    auto good = archived(shortcut(kVK_ANSI_K, kCGEventFlagMaskCommand));
    const auto& bytes = *good.data();

    struct Case {
        const char* what;
        Value stored;
        const char* logged;
    };
    // An archive of a shortcut without a key code, as another writer could
    // leave it: it must not become the A key.
    class Keyless final : public NSObject, public NSCoding {
    public:
        std::string className() const override { return "KSShortcut"; }
        void encodeWithCoder(NSCoder& coder) const override { coder.encodeInteger(0x100000, "ModifierFlags"); }
    };
    std::vector<Case> cases = {
        { "garbage", Value(Value::Bytes { 0xde, 0xad, 0xbe, 0xef }), "could not decode" },
        { "truncated", Value(Value::Bytes(bytes.begin(), bytes.end() - 10)), "could not decode" },
        { "no key code", archived(makeRef<Keyless>()), "could not decode" },
        { "a string", Value(*NSKeyedArchiver::archivedDataWithRootObject(Value("Command-K"))), "not a shortcut" },
        { "text instead of data", Value("Command-K"), "not data" },
    };
    for (const auto& c : cases) {
        defaults()->setObject(good, "First");
        ASSERT_EQ(press(kVK_ANSI_K, kCGEventFlagMaskCommand), (std::vector<std::string> { "first" }));
        LogCapture log;
        defaults()->setObject(c.stored, "First");
        EXPECT_TRUE(binder->valueForKey("First").isNil()) << c.what;
        EXPECT_TRUE(log.contains(c.logged)) << c.what;
        EXPECT_EQ(press(kVK_ANSI_K, kCGEventFlagMaskCommand), (std::vector<std::string> {})) << c.what;
        EXPECT_EQ(press(0, kCGEventFlagMaskCommand), (std::vector<std::string> {})) << c.what;
        EXPECT_TRUE(KSShortcutMonitor::sharedMonitor()->hotKeys().empty()) << c.what;
    }
}

TEST_F(Binder, AKeyWhoseCombinationIsTakenNeverFreesTheOtherKeys)
{
    defaults()->setObject(archived(shortcut(kVK_ANSI_K, kCGEventFlagMaskCommand)), "First");
    defaults()->setObject(archived(shortcut(kVK_ANSI_K, kCGEventFlagMaskCommand)), "Second");
    binder->bindShortcutWithDefaultsKey("First", action("first"));
    binder->bindShortcutWithDefaultsKey("Second", action("second"));
    EXPECT_EQ(press(kVK_ANSI_K, kCGEventFlagMaskCommand), (std::vector<std::string> { "first" }));

    defaults()->setObject(archived(shortcut(kVK_ANSI_J, kCGEventFlagMaskCommand)), "Second");
    EXPECT_EQ(press(kVK_ANSI_K, kCGEventFlagMaskCommand), (std::vector<std::string> { "first" }))
        << "the first key keeps its hot key";
    EXPECT_EQ(press(kVK_ANSI_J, kCGEventFlagMaskCommand), (std::vector<std::string> { "second" }));
    binder->breakBindingWithDefaultsKey("Second");
    EXPECT_EQ(press(kVK_ANSI_K, kCGEventFlagMaskCommand), (std::vector<std::string> { "first" }));
}

TEST_F(Binder, RegistersDefaultsAsTheBindingsWouldStoreThem)
{
    binder->registerDefaultShortcuts({ { "First", shortcut(kVK_ANSI_K, kCGEventFlagMaskAlternate) } });
    EXPECT_FALSE(defaults()->objectForKey("First").isNil());
    EXPECT_TRUE(defaults()->dataForKey("First"));
    binder->bindShortcutWithDefaultsKey("First", action("first"));
    EXPECT_EQ(press(kVK_ANSI_K, kCGEventFlagMaskAlternate), (std::vector<std::string> { "first" }));
}

TEST_F(Binder, CanStoreShortcutsAsDictionaries)
{
    binder->setBindingOptions({ { NSValueTransformerNameBindingOption, Value(KSDictionaryTransformer::kName) } });
    binder->registerDefaultShortcuts({ { "Dictionary", shortcut(kVK_ANSI_J, kCGEventFlagMaskCommand) } });
    EXPECT_EQ(defaults()->objectForKey("Dictionary"),
        Value(Value::Dictionary {
            { "keyCode", Value(kVK_ANSI_J) }, { "modifierFlags", Value(kCGEventFlagMaskCommand) } }));
    binder->bindShortcutWithDefaultsKey("Dictionary", action("dictionary"));
    EXPECT_EQ(press(kVK_ANSI_J, kCGEventFlagMaskCommand), (std::vector<std::string> { "dictionary" }));

    // A transformer given as an object comes before a name.
    binder->setBindingOptions({ { NSValueTransformerBindingOption, Value(makeRef<KSDictionaryTransformer>()) },
        { NSValueTransformerNameBindingOption, Value("NSKeyedUnarchiveFromData") } });
    binder->registerDefaultShortcuts({ { "Second", shortcut(kVK_ANSI_K, kCGEventFlagMaskCommand) } });
    EXPECT_TRUE(defaults()->objectForKey("Second").isDictionary());
}

TEST_F(Binder, OtherKeysBehaveAsForAnyObject)
{
    LogCapture log;
    EXPECT_TRUE(binder->valueForKey("nothing").isNil());
    binder->setValueForKey(Value(shortcut(kVK_ANSI_K, kCGEventFlagMaskCommand)), "nothing");
    EXPECT_TRUE(KSShortcutMonitor::sharedMonitor()->hotKeys().empty());
}

TEST(KSDictionaryTransformer, ConvertsShortcutsAndPlainDictionaries)
{
    KSDictionaryTransformer transformer;
    EXPECT_TRUE(transformer.allowsReverseTransformation());
    auto k = shortcut(kVK_ANSI_K, kCGEventFlagMaskCommand | kCGEventFlagMaskAlternate);
    Value dictionary = transformer.reverseTransformedValue(Value(k));
    EXPECT_EQ(dictionary, Value(Value::Dictionary { { "keyCode", Value(40) }, { "modifierFlags", Value(0x180000) } }));
    auto back = transformer.transformedValue(dictionary).objectAs<KSShortcut>();
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->isEqual(k.get()));

    EXPECT_EQ(transformer.reverseTransformedValue(Value()), Value(Value::Dictionary {}));
    EXPECT_TRUE(transformer.transformedValue(Value(Value::Dictionary {})).isNil());
    EXPECT_TRUE(transformer.transformedValue(Value("keyCode")).isNil());
    EXPECT_TRUE(transformer.transformedValue(Value(Value::Dictionary { { "keyCode", Value(40) } })).isNil());
    auto fromText = transformer.transformedValue(
        Value(Value::Dictionary { { "keyCode", Value(" 40") }, { "modifierFlags", Value("1048576") } }));
    ASSERT_TRUE(fromText.objectAs<KSShortcut>());
    EXPECT_EQ(fromText.objectAs<KSShortcut>()->keyCode(), 40);
    EXPECT_TRUE(transformer.transformedValue(
                               Value(Value::Dictionary { { "keyCode", Value("K") }, { "modifierFlags", Value(0) } }))
                    .isNil())
        << "text that is no number must not become key code 0";
    EXPECT_TRUE(transformer.transformedValue(
                               Value(Value::Dictionary { { "keyCode", Value(Value::Array {}) }, { "modifierFlags", Value(0) } }))
                    .isNil());
}

#include <appkit/NSUserDefaultsController.h>
#include <foundation/Clock.h>
#include <foundation/RunLoop.h>

#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

namespace {

class NSUserDefaultsControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Clock::setCurrent(m_clock);
        RunLoop::main().reset();
        NSUserDefaults::setStorageDirectory(m_directory.path());
        NSUserDefaults::resetStandardUserDefaults();
    }
    void TearDown() override
    {
        NSUserDefaults::resetStandardUserDefaults();
        NSUserDefaults::setStorageDirectory("");
        RunLoop::main().reset();
        Clock::setCurrent(nullptr);
    }

    Ref<NSUserDefaultsController> controller() const
    {
        return NSUserDefaultsController::sharedUserDefaultsController();
    }
    Ref<NSUserDefaults> defaults() const { return NSUserDefaults::standardUserDefaults(); }

    std::shared_ptr<VirtualClock> m_clock = std::make_shared<VirtualClock>();
    TemporaryDirectory m_directory;
};

} // namespace

TEST_F(NSUserDefaultsControllerTest, ValuesKeyPathsReadTheStandardDefaults)
{
    EXPECT_EQ(controller(), NSUserDefaultsController::sharedUserDefaultsController());
    EXPECT_EQ(controller()->defaults(), defaults());
    defaults()->registerDefaults({ { "ShowOnScreen", Value(1) } });
    defaults()->setInteger(2, "ThemeIndex");
    EXPECT_EQ(controller()->valueForKeyPath("values.ThemeIndex"), Value(2));
    EXPECT_EQ(controller()->valueForKey("values.ThemeIndex"), Value(2));
    EXPECT_EQ(controller()->valueForKeyPath("values.ShowOnScreen"), Value(1));
    EXPECT_TRUE(controller()->valueForKeyPath("values.Missing").isNil());
    EXPECT_EQ(controller()->valueForKey("values").object(), controller()->values());
    EXPECT_EQ(controller()->values()->valueForKey("ThemeIndex"), Value(2));
}

TEST_F(NSUserDefaultsControllerTest, ValuesKeyPathsWriteTheStandardDefaults)
{
    controller()->setValueForKeyPath(Value(3), "values.LayoutType");
    EXPECT_EQ(defaults()->integerForKey("LayoutType"), 3);
    controller()->setValueForKey(Value("GeneralPreferences"), "values.KSPreferences Selected Identifier View");
    EXPECT_EQ(defaults()->stringForKey("KSPreferences Selected Identifier View"), "GeneralPreferences");
    controller()->setValueForKeyPath(Value(), "values.LayoutType");
    EXPECT_TRUE(defaults()->objectForKey("LayoutType").isNil());
    ASSERT_TRUE(defaults()->synchronize());
    NSUserDefaults::resetStandardUserDefaults();
    EXPECT_EQ(defaults()->stringForKey("KSPreferences Selected Identifier View"), "GeneralPreferences");
}

TEST_F(NSUserDefaultsControllerTest, ObserversOfAValuesPathHearEveryChangeOfTheKey)
{
    std::vector<KVOChange> changes;
    auto token = controller()->addObserver("values.AllWindowsHotkeyIndex",
        NSKeyValueObservingOptionNew | NSKeyValueObservingOptionOld,
        [&](const KVOChange& change) { changes.push_back(change); });

    defaults()->setInteger(1, "AllWindowsHotkeyIndex");
    controller()->setValueForKeyPath(Value(3), "values.AllWindowsHotkeyIndex");
    defaults()->setInteger(2, "OnScreenWindowsHotkeyIndex");
    defaults()->removeObjectForKey("AllWindowsHotkeyIndex");
    defaults()->registerDefaults({ { "AllWindowsHotkeyIndex", Value(0) } });

    ASSERT_EQ(changes.size(), 4u);
    EXPECT_EQ(changes[0].key, "values.AllWindowsHotkeyIndex");
    EXPECT_TRUE(changes[0].oldValue.isNil());
    EXPECT_EQ(changes[0].newValue, Value(1));
    EXPECT_EQ(changes[1].oldValue, Value(1));
    EXPECT_EQ(changes[1].newValue, Value(3));
    EXPECT_TRUE(changes[2].newValue.isNil());
    EXPECT_EQ(changes[3].newValue, Value(0));

    token.reset();
    defaults()->setInteger(2, "AllWindowsHotkeyIndex");
    EXPECT_EQ(changes.size(), 4u);
}

TEST_F(NSUserDefaultsControllerTest, TheValuesObjectIsObservableKeyByKey)
{
    std::vector<Value> seen;
    auto token = controller()->values()->addObserver("ShowActiveAppWindows",
        NSKeyValueObservingOptionNew | NSKeyValueObservingOptionInitial,
        [&](const KVOChange& change) { seen.push_back(change.newValue); });
    defaults()->setObject(Value(Value::Bytes { 1, 2, 3 }), "ShowActiveAppWindows");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_TRUE(seen[0].isNil());
    EXPECT_EQ(seen[1], Value(Value::Bytes { 1, 2, 3 }));
}

TEST_F(NSUserDefaultsControllerTest, FollowsTheStandardDefaultsAcrossAReset)
{
    auto before = defaults();
    int notices = 0;
    auto token = controller()->addObserver(
        "values.ThemeIndex", NSKeyValueObservingOptionNew, [&](const KVOChange&) { ++notices; });
    NSUserDefaults::resetStandardUserDefaults();
    before->setInteger(1, "ThemeIndex");
    EXPECT_EQ(notices, 0);
    defaults()->setInteger(2, "ThemeIndex");
    EXPECT_EQ(notices, 1);
    EXPECT_EQ(controller()->valueForKeyPath("values.ThemeIndex"), Value(2));
}

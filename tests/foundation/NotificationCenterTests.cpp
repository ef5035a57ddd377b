#include "support/TestClock.h"
#include "support/Watchdog.h"

#include <foundation/Foundation.h>

#include <gtest/gtest.h>

#include <atomic>

namespace {

class NotificationCenterTest : public ::testing::Test {
protected:
    TestClock time;
    NSNotificationCenter center;
    std::vector<std::string> seen;
};

class Sender : public NSObject { };

TEST_F(NotificationCenterTest, NameAndObjectFilters)
{
    auto a = makeRef<Sender>(), b = makeRef<Sender>();
    auto byName = center.addObserverForName("Changed", nullptr, nullptr,
        [&](const NSNotification& n) { seen.push_back("name:" + std::string(n.object == a ? "a" : "b")); });
    auto byObject = center.addObserverForName(
        "Changed", a.get(), nullptr, [&](const NSNotification&) { seen.push_back("a only"); });
    auto everything = center.addObserverForName(
        "", nullptr, nullptr, [&](const NSNotification& n) { seen.push_back("all:" + n.name); });

    center.postNotificationName("Changed", b);
    center.postNotificationName("Changed", a);
    center.postNotificationName("Other", a);
    EXPECT_EQ(seen,
        (std::vector<std::string> {
            "name:b", "all:Changed", "name:a", "a only", "all:Changed", "all:Other" }));
}

TEST_F(NotificationCenterTest, UserInfoTravelsWithTheNotification)
{
    Value received;
    auto token = center.addObserverForName(
        "Info", nullptr, nullptr, [&](const NSNotification& n) { received = n.userInfo; });
    center.postNotificationName("Info", nullptr, Value::Dictionary { { "KeyCode", 123 } });
    EXPECT_EQ(received["KeyCode"], Value(123));
}

TEST_F(NotificationCenterTest, DroppingTheTokenRemovesTheObserver)
{
    auto token = center.addObserverForName(
        "N", nullptr, nullptr, [&](const NSNotification&) { seen.push_back("x"); });
    EXPECT_EQ(center.observerCount("N"), 1u);
    token.reset();
    EXPECT_EQ(center.observerCount("N"), 0u);
    center.postNotificationName("N", nullptr);
    EXPECT_TRUE(seen.empty());
}

TEST_F(NotificationCenterTest, ObserverRemovedDuringAPostIsNotCalled)
{
    Token second;
    auto first = center.addObserverForName("N", nullptr, nullptr, [&](const NSNotification&) {
        seen.push_back("first");
        second.reset();
    });
    second = center.addObserverForName(
        "N", nullptr, nullptr, [&](const NSNotification&) { seen.push_back("second"); });
    center.postNotificationName("N", nullptr);
    center.postNotificationName("N", nullptr);
    EXPECT_EQ(seen, (std::vector<std::string> { "first", "first" }));
}

TEST_F(NotificationCenterTest, ObserverRemovingItselfDuringAPost)
{
    Token self;
    self = center.addObserverForName("N", nullptr, nullptr, [&](const NSNotification&) {
        seen.push_back("once");
        self.reset();
    });
    center.postNotificationName("N", nullptr);
    center.postNotificationName("N", nullptr);
    EXPECT_EQ(seen, (std::vector<std::string> { "once" }));
}

TEST_F(NotificationCenterTest, MainQueueObserverGetsAWorkerPostOnTheMainThread)
{
    bool onMain = false;
    auto token = center.addObserverForName(
        "FromWorker", nullptr, dispatch_get_main_queue(), [&](const NSNotification& n) {
            onMain = isMainThread();
            seen.push_back(n.name);
        });
    dispatch_async(dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0),
        [&] { center.postNotificationName("FromWorker", nullptr); });
    dispatchWaitForBackgroundWork();
    EXPECT_TRUE(seen.empty());
    RunLoop::main().runUntilIdle();
    EXPECT_EQ(seen, (std::vector<std::string> { "FromWorker" }));
    EXPECT_TRUE(onMain);
}

TEST_F(NotificationCenterTest, MainQueueObserverGetsAMainThreadPostAtOnce)
{
    auto token = center.addObserverForName(
        "N", nullptr, dispatch_get_main_queue(), [&](const NSNotification&) { seen.push_back("now"); });
    center.postNotificationName("N", nullptr);
    EXPECT_EQ(seen, (std::vector<std::string> { "now" }));
}

TEST_F(NotificationCenterTest, DeliveryQueuedForMainIsDroppedWhenTheTokenEndsFirst)
{
    auto token = center.addObserverForName(
        "Late", nullptr, dispatch_get_main_queue(), [&](const NSNotification&) { seen.push_back("late"); });
    dispatch_async(dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0),
        [&] { center.postNotificationName("Late", nullptr); });
    dispatchWaitForBackgroundWork();
    token.reset();
    RunLoop::main().runUntilIdle();
    EXPECT_TRUE(seen.empty());
}

TEST_F(NotificationCenterTest, ObserverWithoutAQueueRunsOnThePostingThread)
{
    std::atomic<bool> onMain { true };
    auto token = center.addObserverForName(
        "N", nullptr, nullptr, [&](const NSNotification&) { onMain = isMainThread(); });
    dispatch_sync(dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0),
        [&] { center.postNotificationName("N", nullptr); });
    EXPECT_FALSE(onMain);
}

TEST_F(NotificationCenterTest, ObserverWithoutABlockIsNotRegistered)
{
    auto token = center.addObserverForName("N", nullptr, nullptr, nullptr);
    EXPECT_FALSE(token.isActive());
    EXPECT_EQ(center.observerCount("N"), 0u);
    center.postNotificationName("N", nullptr);
}

TEST_F(NotificationCenterTest, TokenMayOutliveItsCentre)
{
    Token token;
    {
        NSNotificationCenter local;
        token = local.addObserverForName("N", nullptr, nullptr, [](const NSNotification&) {});
    }
    token.reset();
    SUCCEED();
}

TEST_F(NotificationCenterTest, RemoveAllObserversAlsoDropsQueuedDeliveries)
{
    auto token = center.addObserverForName(
        "N", nullptr, dispatch_get_main_queue(), [&](const NSNotification&) { seen.push_back("x"); });
    dispatch_sync(dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0),
        [&] { center.postNotificationName("N", nullptr); });
    center.removeAllObservers();
    RunLoop::main().runUntilIdle();
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(center.observerCount("N"), 0u);
}

TEST_F(NotificationCenterTest, AnObserverDroppedWithTheRestMayEndItsOwnObservationsAsItGoes)
{
    // The block holds the last reference to an object that ends its
    // observations in its destructor, as controllers do.
    struct Observer : NSObject {
        Token token;
    };
    Watchdog watchdog("dropping an observer that ends its observations");
    auto observer = makeRef<Observer>();
    auto holding = center.addObserverForName("B", nullptr, nullptr, [observer](const NSNotification&) { });
    observer->token = center.addObserverForName("A", nullptr, nullptr, [](const NSNotification&) { });
    std::weak_ptr<Observer> weak = observer;
    observer = nullptr;
    center.removeAllObservers();
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(center.observerCount("A") + center.observerCount("B"), 0u);
}

TEST_F(NotificationCenterTest, DefaultAndDistributedCentresAreSeparate)
{
    auto token = NSNotificationCenter::defaultCenter().addObserverForName(
        "Shared", nullptr, nullptr, [&](const NSNotification&) { seen.push_back("default"); });
    NSNotificationCenter::distributedCenter().postNotificationName("Shared", nullptr);
    EXPECT_TRUE(seen.empty());
    NSNotificationCenter::defaultCenter().postNotificationName("Shared", nullptr);
    EXPECT_EQ(seen, (std::vector<std::string> { "default" }));
    EXPECT_EQ(&NSNotificationCenter::defaultCenter(), &NSNotificationCenter::defaultCenter());
}

} // namespace

#include "support/TestClock.h"

#include <foundation/Foundation.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

class DispatchTest : public ::testing::Test {
protected:
    TestClock time;
    RunLoop& loop = RunLoop::main();
};

TEST_F(DispatchTest, GlobalBlockRunsOffTheMainThreadAndPostsItsResultBack)
{
    std::atomic<bool> ranOnMain { true };
    int result = 0;
    bool resultOnMain = false;
    dispatch_async(dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0), [&] {
        ranOnMain = isMainThread();
        int computed = 6 * 7;
        dispatch_async(dispatch_get_main_queue(), [&, computed] {
            result = computed;
            resultOnMain = isMainThread();
        });
    });
    loop.runUntilIdle();
    EXPECT_FALSE(ranOnMain);
    EXPECT_EQ(result, 42);
    EXPECT_TRUE(resultOnMain);
}

TEST_F(DispatchTest, RunUntilIdleWaitsForChainsOfBackgroundWork)
{
    std::atomic<int> depth { 0 };
    std::function<void()> step = [&] {
        if (++depth < 5)
            dispatch_async(dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_LOW, 0),
                [&] { dispatch_async(dispatch_get_main_queue(), step); });
    };
    dispatch_async(dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_HIGH, 0), step);
    loop.runUntilIdle();
    EXPECT_EQ(depth, 5);
}

TEST_F(DispatchTest, MainQueueBlocksRunInOrderAndInEveryCommonMode)
{
    std::vector<int> order;
    for (int i = 0; i < 5; ++i)
        dispatch_async(dispatch_get_main_queue(), [&, i] { order.push_back(i); });
    EXPECT_TRUE(order.empty());
    loop.runUntilIdle(NSEventTrackingRunLoopMode);
    EXPECT_EQ(order, (std::vector<int> { 0, 1, 2, 3, 4 }));
}

TEST_F(DispatchTest, AfterOnTheMainQueueFollowsTheVirtualClock)
{
    std::vector<std::string> log;
    double start = time.now();
    dispatch_after(dispatch_time(DISPATCH_TIME_NOW, 2 * NSEC_PER_SEC), dispatch_get_main_queue(),
        [&] { log.push_back("2s@" + formatDouble(time.now() - start)); });
    dispatch_after(dispatch_time(DISPATCH_TIME_NOW, 500 * NSEC_PER_MSEC), dispatch_get_main_queue(),
        [&] { log.push_back("0.5s@" + formatDouble(time.now() - start)); });
    loop.runFor(1);
    EXPECT_EQ(log, (std::vector<std::string> { "0.5s@0.5" }));
    loop.runFor(1);
    EXPECT_EQ(log, (std::vector<std::string> { "0.5s@0.5", "2s@2" }));
}

TEST_F(DispatchTest, AfterRunsDuringModalAndTrackingRuns)
{
    bool ran = false;
    dispatch_after(
        dispatch_time(DISPATCH_TIME_NOW, NSEC_PER_SEC), dispatch_get_main_queue(), [&] { ran = true; });
    loop.runFor(1, NSModalPanelRunLoopMode);
    EXPECT_TRUE(ran);
}

TEST_F(DispatchTest, AfterOnAGlobalQueueRunsThereOnceTheClockReachesIt)
{
    std::atomic<bool> ran { false };
    std::atomic<bool> onMain { true };
    dispatch_after(dispatch_time(DISPATCH_TIME_NOW, 3 * NSEC_PER_SEC),
        dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0), [&] {
            onMain = isMainThread();
            ran = true;
        });
    loop.runFor(2.9);
    EXPECT_FALSE(ran);
    loop.runFor(0.1);
    EXPECT_TRUE(ran);
    EXPECT_FALSE(onMain);
}

TEST_F(DispatchTest, AfterForeverNeverRuns)
{
    bool ran = false;
    dispatch_after(DISPATCH_TIME_FOREVER, dispatch_get_main_queue(), [&] { ran = true; });
    loop.runFor(1e6);
    EXPECT_FALSE(ran);
}

TEST_F(DispatchTest, TimeCountsFromTheCurrentClock)
{
    dispatch_time_t now = dispatch_time(DISPATCH_TIME_NOW, 0);
    EXPECT_NEAR(static_cast<double>(now) / NSEC_PER_SEC, time.now(), 1e-6);
    dispatch_time_t later = dispatch_time(now, 1500 * NSEC_PER_MSEC);
    EXPECT_NEAR(static_cast<double>(later - now) / NSEC_PER_SEC, 1.5, 1e-6);
    EXPECT_EQ(dispatch_time(DISPATCH_TIME_FOREVER, 5), DISPATCH_TIME_FOREVER);
}

TEST_F(DispatchTest, SyncFromAWorkerToMainDoesNotDeadlockWhileMainRunsUntilIdle)
{
    std::atomic<int> seenByWorker { 0 };
    int mainState = 0;
    dispatch_async(dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0), [&] {
        int copy = 0;
        dispatch_sync(dispatch_get_main_queue(), [&] {
            mainState = 7;
            copy = mainState;
        });
        seenByWorker = copy;
    });
    loop.runUntilIdle();
    EXPECT_EQ(seenByWorker, 7);
}

TEST_F(DispatchTest, SyncToMainIsReleasedWhenTheLoopDropsItsBlock)
{
    std::atomic<bool> ran { false }, returned { false };
    std::thread worker([&] {
        dispatch_sync(dispatch_get_main_queue(), [&] { ran = true; });
        returned = true;
    });
    while (loop.pendingBlockCount() == 0)
        std::this_thread::yield();
    loop.reset();
    worker.join();
    EXPECT_TRUE(returned);
    EXPECT_FALSE(ran);
}

TEST_F(DispatchTest, SyncToMainFromMainRunsAtOnce)
{
    bool ran = false;
    dispatch_sync(dispatch_get_main_queue(), [&] { ran = true; });
    EXPECT_TRUE(ran);
}

TEST_F(DispatchTest, SyncToAGlobalQueueWaitsForTheBlock)
{
    std::atomic<bool> onMain { true };
    int value = 0;
    dispatch_sync(dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0), [&] {
        onMain = isMainThread();
        value = 1;
    });
    EXPECT_EQ(value, 1);
    EXPECT_FALSE(onMain);
}

TEST_F(DispatchTest, CurrentQueueInsideBlocks)
{
    auto global = dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0);
    auto serial = dispatch_queue_create("test.serial");
    std::atomic<dispatch_queue_t> inGlobal { nullptr }, inSerial { nullptr };
    dispatch_queue_t inMain = nullptr, inMainFromWorker = nullptr;
    dispatch_async(global, [&] {
        inGlobal = dispatch_get_current_queue();
        dispatch_sync(dispatch_get_main_queue(), [&] { inMainFromWorker = dispatch_get_current_queue(); });
    });
    dispatch_async(serial, [&] { inSerial = dispatch_get_current_queue(); });
    dispatch_async(dispatch_get_main_queue(), [&] { inMain = dispatch_get_current_queue(); });
    loop.runUntilIdle();
    EXPECT_EQ(inGlobal.load(), global);
    EXPECT_EQ(inSerial.load(), serial);
    EXPECT_EQ(inMain, dispatch_get_main_queue());
    EXPECT_EQ(inMainFromWorker, dispatch_get_main_queue());
    EXPECT_EQ(dispatch_get_current_queue(), dispatch_get_main_queue());

    std::atomic<dispatch_queue_t> onPlainThread { global };
    std::thread([&] { onPlainThread = dispatch_get_current_queue(); }).join();
    EXPECT_EQ(onPlainThread.load(), nullptr);
}

TEST_F(DispatchTest, SerialQueueRunsOneBlockAtATimeInOrder)
{
    auto serial = dispatch_queue_create("test.order");
    std::vector<int> order;
    std::atomic<int> running { 0 };
    std::atomic<bool> overlapped { false };
    for (int i = 0; i < 200; ++i) {
        dispatch_async(serial, [&, i] {
            if (++running > 1) overlapped = true;
            order.push_back(i);
            --running;
        });
    }
    dispatchWaitForBackgroundWork();
    ASSERT_EQ(order.size(), 200u);
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(order[i], i);
    EXPECT_FALSE(overlapped);
}

TEST_F(DispatchTest, GlobalQueuesByPriority)
{
    auto high = dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_HIGH, 0);
    auto normal = dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0);
    auto low = dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_LOW, 0);
    auto background = dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_BACKGROUND, 0);
    EXPECT_NE(high, normal);
    EXPECT_NE(low, normal);
    EXPECT_NE(background, low);
    EXPECT_EQ(high->priority(), DISPATCH_QUEUE_PRIORITY_HIGH);
    EXPECT_EQ(background->priority(), DISPATCH_QUEUE_PRIORITY_BACKGROUND);
    EXPECT_FALSE(normal->isMain());
    EXPECT_TRUE(dispatch_get_main_queue()->isMain());
}

TEST_F(DispatchTest, NullQueueOrBlockIsIgnored)
{
    dispatch_async(nullptr, [] {});
    dispatch_sync(nullptr, [] {});
    dispatch_async(dispatch_get_main_queue(), nullptr);
    dispatch_after(DISPATCH_TIME_NOW, nullptr, [] {});
    loop.runUntilIdle();
    SUCCEED();
}

TEST_F(DispatchTest, OnceRunsOnceAcrossThreads)
{
    dispatch_once_t once;
    std::atomic<int> runs { 0 };
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&] { dispatch_once(&once, [&] { ++runs; }); });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(runs, 1);
}

} // namespace

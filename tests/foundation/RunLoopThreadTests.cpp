// The main run loop and the worker pool together: turns of the main loop
// taken while background work is in flight, and work that touches the loop
// from where the loop itself holds its lock. Each case that could deadlock
// runs under a watchdog, so a hang fails the program instead of stalling it.
#include "support/TestClock.h"
#include "support/Watchdog.h"

#include <foundation/Foundation.h>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

namespace {

class RunLoopThreadTest : public ::testing::Test {
protected:
    TestClock time;
    RunLoop& loop = RunLoop::main();
};

// Takes its delayed performs away as it goes and tells the loop, as views
// and controllers do in their destructors.
class Departing : public NSObject {
public:
    explicit Departing(int* gone)
        : m_gone(gone)
    {
    }
    ~Departing() override
    {
        cancelPreviousPerformRequestsWithTarget(this);
        RunLoop::main().perform([] { });
        ++*m_gone;
    }

private:
    int* m_gone;
};

dispatch_queue_t globalQueue() { return dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0); }

TEST_F(RunLoopThreadTest, TurnsTakenWhileAWorkerRunsComeBackAndServeWhatItPosts)
{
    // A modal run (or any nested run) takes turns with runMode. On a virtual
    // clock a turn with background work in flight waits a moment for it and
    // must then come back, whatever the mode, and not keep the loop's lock.
    Watchdog watchdog("a main-loop turn with a worker in flight");
    for (const auto& mode : { NSModalPanelRunLoopMode, kCFRunLoopDefaultMode, NSEventTrackingRunLoopMode }) {
        std::promise<void> release;
        std::shared_future<void> released = release.get_future().share();
        bool posted = false;
        dispatch_async(globalQueue(), [&posted, released] {
            released.wait();
            dispatch_async(dispatch_get_main_queue(), [&posted] { posted = true; });
        });
        EXPECT_TRUE(loop.runMode(mode, kDistantFuture)) << mode;
        EXPECT_FALSE(posted) << mode;
        // Posting takes the loop's lock, and so does the pool's wake-up after
        // each block: both must get it while the main thread keeps turning.
        release.set_value();
        while (!posted && loop.runMode(mode, kDistantFuture)) { }
        EXPECT_TRUE(posted) << mode;
        EXPECT_DOUBLE_EQ(time.now(), VirtualClock::kDefaultStart) << "no timer was due: the clock stays";
    }
}

TEST_F(RunLoopThreadTest, AnActionDroppedByTheLoopMayUseTheLoopAsItGoes)
{
    // The loop drops an action when its perform is cancelled, and a timer
    // made invalid elsewhere at its next turn. The action may hold the last
    // reference to an object whose destructor uses the loop.
    Watchdog watchdog("destroying an action that uses the loop");
    int gone = 0;
    NSObject owner;
    auto departing = makeRef<Departing>(&gone);
    owner.performAfterDelay("hold", 1, [departing] { });
    departing = makeRef<Departing>(&gone);
    auto timer = loop.performAfterDelay(nullptr, "held", 1, [departing] { });
    departing = nullptr;

    NSObject::cancelPreviousPerformRequestsWithTarget(&owner);
    EXPECT_EQ(gone, 1);
    EXPECT_EQ(loop.pendingBlockCount(), 1u) << "what the destructor posted is queued";
    timer->invalidate();
    timer = nullptr;
    loop.runOnce();
    EXPECT_EQ(gone, 2);
    EXPECT_EQ(loop.pendingBlockCount(), 1u) << "the first post ran, the second waits for the next turn";
    loop.runUntilIdle();
    EXPECT_EQ(loop.pendingBlockCount(), 0u);
}

TEST_F(RunLoopThreadTest, SyncFromEveryWorkerAtOnceStillFindsAThread)
{
    // More blocks than the pool has threads each wait, from a worker, for a
    // block on a global queue and then for one on a serial queue. Queued
    // behind the rest, the blocks waited for would find every worker held.
    Watchdog watchdog("dispatch_sync from every worker at once");
    auto serial = dispatch_queue_create("test.sync-from-workers");
    constexpr int kWaiters = 40;
    std::atomic<int> inner { 0 }, outer { 0 };
    for (int i = 0; i < kWaiters; ++i) {
        dispatch_async(globalQueue(), [&, serial] {
            dispatch_sync(globalQueue(), [&] { ++inner; });
            dispatch_sync(serial, [&] { ++inner; });
            ++outer;
        });
    }
    dispatchWaitForBackgroundWork();
    EXPECT_EQ(outer, kWaiters);
    EXPECT_EQ(inner, 2 * kWaiters);
}

TEST_F(RunLoopThreadTest, TheMainThreadWaitingOnWorkersRunsTheMainBlocksTheyWaitFor)
{
    // A worker that waits for the main queue while the main thread waits for
    // the worker: in dispatchWaitForBackgroundWork (as a test's end does) and
    // in dispatch_sync onto a global queue.
    Watchdog watchdog("the main thread and a worker waiting on each other");
    std::vector<std::string> order;
    std::atomic<dispatch_queue_t> seenOnMain { nullptr };
    dispatch_async(globalQueue(), [&] {
        dispatch_sync(dispatch_get_main_queue(), [&] {
            order.push_back("main block, main thread " + std::to_string(isMainThread()));
            seenOnMain = dispatch_get_current_queue();
        });
    });
    dispatchWaitForBackgroundWork();
    dispatch_sync(globalQueue(), [&] {
        dispatch_sync(dispatch_get_main_queue(), [&] { order.push_back("nested, main thread " + std::to_string(isMainThread())); });
    });
    EXPECT_EQ(order, (std::vector<std::string> { "main block, main thread 1", "nested, main thread 1" }));
    EXPECT_EQ(seenOnMain.load(), dispatch_get_main_queue());
    EXPECT_EQ(loop.pendingBlockCount(), 2u) << "the posted copies are left, already taken";
    loop.runUntilIdle();
    EXPECT_EQ(order.size(), 2u) << "a block waited for runs once";
}

using DispatchMisuseDeathTest = RunLoopThreadTest;

TEST_F(DispatchMisuseDeathTest, WaitsThatWouldWaitForThemselvesStopNamingTheCall)
{
    // The child starts afresh (a forked one would lack the pool's threads).
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Watchdog watchdog("a wait for itself");
    auto serial = dispatch_queue_create("test.self-sync");
    EXPECT_DEATH(
        {
            dispatch_sync(serial, [serial] { dispatch_sync(serial, [] { }); });
        },
        "dispatch_sync: called from a block on the serial queue \"test.self-sync\" onto that same queue");
    EXPECT_DEATH(dispatch_sync(globalQueue(), [] { dispatchWaitForBackgroundWork(); }),
        "dispatchWaitForBackgroundWork: called from a block on a background queue");
    // A serial queue may wait for another one, and for itself from outside.
    auto other = dispatch_queue_create("test.other");
    int ran = 0;
    dispatch_sync(serial, [&] { dispatch_sync(other, [&] { ++ran; }); });
    dispatch_sync(serial, [&] { ++ran; });
    EXPECT_EQ(ran, 2);
}

} // namespace

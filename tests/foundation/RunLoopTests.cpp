#include "support/TestClock.h"

#include <foundation/Foundation.h>
#include <foundation/MainThread.h>

#include <gtest/gtest.h>

#include <cmath>
#include <thread>

namespace {

class RunLoopTest : public ::testing::Test {
protected:
    TestClock time;
    RunLoop& loop = RunLoop::main();
    std::vector<std::string> log;
    double start = time.now();

    double elapsed() const { return time.now() - start; }
};

class Target : public NSObject { };

TEST_F(RunLoopTest, DelayedPerformsFireInDateOrderThenRegistrationOrder)
{
    Target a, b;
    a.performAfterDelay("late", 2, [&] { log.push_back("late"); });
    a.performAfterDelay("first", 1, [&] { log.push_back("first@" + formatDouble(elapsed())); });
    b.performAfterDelay("second", 1, [&] { log.push_back("second"); });
    a.performAfterDelay("third", 1, [&] { log.push_back("third"); });
    a.performAfterDelay("early", 0.5, [&] { log.push_back("early"); });

    loop.runFor(0.9);
    EXPECT_EQ(log, (std::vector<std::string> { "early" }));
    loop.runFor(5);
    EXPECT_EQ(log, (std::vector<std::string> { "early", "first@1", "second", "third", "late" }));
}

TEST_F(RunLoopTest, CancelTouchesOnlyThatTargetAndSelector)
{
    Target a, b;
    a.performAfterDelay("update", 1, [&] { log.push_back("a.update"); });
    a.performAfterDelay("update", 2, [&] { log.push_back("a.update2"); });
    a.performAfterDelay("reload", 1, [&] { log.push_back("a.reload"); });
    b.performAfterDelay("update", 1, [&] { log.push_back("b.update"); });

    NSObject::cancelPreviousPerformRequestsWithTarget(&a, "update");
    EXPECT_EQ(loop.pendingPerformCount(&a, "update"), 0u);
    EXPECT_EQ(loop.pendingPerformCount(&a), 1u);
    loop.runFor(3);
    EXPECT_EQ(log, (std::vector<std::string> { "a.reload", "b.update" }));
}

TEST_F(RunLoopTest, CancelWithoutSelectorDropsEveryPerformOfTheTarget)
{
    Target a, b;
    a.performAfterDelay("one", 1, [&] { log.push_back("a.one"); });
    a.performAfterDelay("two", 1, [&] { log.push_back("a.two"); });
    b.performAfterDelay("one", 1, [&] { log.push_back("b.one"); });
    NSObject::cancelPreviousPerformRequestsWithTarget(&a);
    loop.runFor(2);
    EXPECT_EQ(log, (std::vector<std::string> { "b.one" }));
}

TEST_F(RunLoopTest, PerformCancelledByAnEarlierPerformOfTheSameTurnDoesNotRun)
{
    Target a, b;
    a.performAfterDelay("cancelB", 1, [&] {
        log.push_back("a");
        NSObject::cancelPreviousPerformRequestsWithTarget(&b, "run");
    });
    b.performAfterDelay("run", 1, [&] { log.push_back("b"); });
    loop.runFor(1);
    EXPECT_EQ(log, (std::vector<std::string> { "a" }));
}

TEST_F(RunLoopTest, PerformsRunOnlyInTheirModes)
{
    loop.perform([&] { log.push_back("modal"); }, NSModalPanelRunLoopMode);
    loop.perform([&] { log.push_back("default"); }, kCFRunLoopDefaultMode);
    loop.perform([&] { log.push_back("common"); }, kCFRunLoopCommonModes);

    loop.runUntilIdle(kCFRunLoopDefaultMode);
    EXPECT_EQ(log, (std::vector<std::string> { "default", "common" }));
    log.clear();
    loop.runUntilIdle(NSEventTrackingRunLoopMode);
    EXPECT_TRUE(log.empty());
    loop.runUntilIdle(NSModalPanelRunLoopMode);
    EXPECT_EQ(log, (std::vector<std::string> { "modal" }));
}

TEST_F(RunLoopTest, CommonModesCoverDefaultTrackingAndModal)
{
    for (const auto& mode : { kCFRunLoopDefaultMode, NSEventTrackingRunLoopMode, NSModalPanelRunLoopMode }) {
        bool ran = false;
        RunLoopMode seen;
        loop.perform([&] {
            ran = true;
            seen = loop.currentMode();
        });
        loop.runUntilIdle(mode);
        EXPECT_TRUE(ran) << mode;
        EXPECT_EQ(seen, mode);
    }
    bool ran = false;
    loop.perform([&] { ran = true; });
    loop.runUntilIdle("SomeOtherMode");
    EXPECT_FALSE(ran);
    EXPECT_EQ(loop.currentMode(), "");
}

TEST_F(RunLoopTest, AddedCommonModeLastsUntilReset)
{
    loop.addCommonMode("CustomMode");
    bool ran = false;
    loop.perform([&] { ran = true; });
    loop.runUntilIdle("CustomMode");
    EXPECT_TRUE(ran);

    loop.reset();
    ran = false;
    loop.perform([&] { ran = true; });
    loop.runUntilIdle("CustomMode");
    EXPECT_FALSE(ran);
}

TEST_F(RunLoopTest, DelayedPerformInModalModeWaitsForAModalRun)
{
    Target a;
    a.performAfterDelay("modal", 1, [&] { log.push_back("modal"); }, { NSModalPanelRunLoopMode });
    loop.runFor(5);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(loop.pendingPerformCount(&a, "modal"), 1u);
    loop.runUntilIdle(NSModalPanelRunLoopMode);
    EXPECT_EQ(log, (std::vector<std::string> { "modal" }));
}

TEST_F(RunLoopTest, RunForJumpsTheVirtualClockFromTimerToTimer)
{
    std::vector<double> seen;
    Target a;
    a.performAfterDelay("x", 0.25, [&] { seen.push_back(elapsed()); });
    a.performAfterDelay("y", 3, [&] { seen.push_back(elapsed()); });
    loop.runFor(10);
    EXPECT_EQ(seen, (std::vector<double> { 0.25, 3 }));
    EXPECT_DOUBLE_EQ(elapsed(), 10);
}

TEST_F(RunLoopTest, RunForStopsAtItsEndWithoutFiringLaterTimers)
{
    Target a;
    bool fired = false;
    a.performAfterDelay("x", 2, [&] { fired = true; });
    loop.runFor(1.5);
    EXPECT_FALSE(fired);
    EXPECT_DOUBLE_EQ(elapsed(), 1.5);
    loop.runFor(0.5);
    EXPECT_TRUE(fired);
}

TEST_F(RunLoopTest, TimersScheduledByTimersFireWithinTheSameRun)
{
    Target a;
    a.performAfterDelay("outer", 1, [&] {
        log.push_back("outer@" + formatDouble(elapsed()));
        a.performAfterDelay("inner", 0.5, [&] { log.push_back("inner@" + formatDouble(elapsed())); });
        a.performAfterDelay("now", 0, [&] { log.push_back("now@" + formatDouble(elapsed())); });
    });
    loop.runFor(2);
    EXPECT_EQ(log, (std::vector<std::string> { "outer@1", "now@1", "inner@1.5" }));
}

TEST_F(RunLoopTest, RunUntilIdleNeverWaitsForAFutureTimer)
{
    Target a;
    bool fired = false;
    a.performAfterDelay("x", 0.1, [&] { fired = true; });
    loop.runUntilIdle();
    EXPECT_FALSE(fired);
    EXPECT_EQ(elapsed(), 0);
}

TEST_F(RunLoopTest, RunModeAdvancesToTheNextTimerOrReportsNothingToDo)
{
    Target a;
    bool fired = false;
    a.performAfterDelay("x", 4, [&] { fired = true; });
    EXPECT_TRUE(loop.runMode(kCFRunLoopDefaultMode, kDistantFuture));
    EXPECT_TRUE(fired);
    EXPECT_DOUBLE_EQ(elapsed(), 4);
    EXPECT_FALSE(loop.runMode(kCFRunLoopDefaultMode, kDistantFuture));
}

TEST_F(RunLoopTest, RunReturnsOnStopFromABlock)
{
    Target a;
    int turns = 0;
    NSTimer::Block tick = [&](NSTimer&) { ++turns; };
    auto timer = NSTimer::scheduledTimerWithTimeInterval(1, true, tick);
    a.performAfterDelay("stop", 3.5, [&] { loop.stop(); });
    loop.run();
    EXPECT_EQ(turns, 3);
}

TEST_F(RunLoopTest, EmptyBlocksAreIgnored)
{
    loop.perform(nullptr);
    loop.perform(std::function<void()>(), { NSModalPanelRunLoopMode });
    EXPECT_EQ(loop.pendingBlockCount(), 0u);
    Target a;
    a.performAfterDelay("empty", 0, nullptr);
    loop.runFor(1);
    EXPECT_EQ(loop.pendingPerformCount(&a), 0u);
}

TEST_F(RunLoopTest, ResetDropsPendingWork)
{
    Target a;
    bool ran = false;
    loop.perform([&] { ran = true; });
    a.performAfterDelay("x", 1, [&] { ran = true; });
    loop.reset();
    loop.runFor(2);
    EXPECT_FALSE(ran);
}

// Timers.

TEST_F(RunLoopTest, RepeatingTimerFiresAtEachInterval)
{
    std::vector<double> fires;
    auto timer
        = NSTimer::scheduledTimerWithTimeInterval(0.5, true, [&](NSTimer&) { fires.push_back(elapsed()); });
    loop.runFor(2.2);
    EXPECT_EQ(fires, (std::vector<double> { 0.5, 1, 1.5, 2 }));
    EXPECT_TRUE(timer->isValid());
    EXPECT_DOUBLE_EQ(timer->fireDate() - start, 2.5);
}

TEST_F(RunLoopTest, LateRepeatingTimerFiresOnceAndKeepsItsPhase)
{
    std::vector<double> fires;
    auto timer
        = NSTimer::scheduledTimerWithTimeInterval(1, true, [&](NSTimer&) { fires.push_back(elapsed()); });
    time.advance(3.5);
    loop.runUntilIdle();
    EXPECT_EQ(fires, (std::vector<double> { 3.5 }));
    EXPECT_DOUBLE_EQ(timer->fireDate() - start, 4);
}

TEST_F(RunLoopTest, OneShotTimerFiresOnceAndBecomesInvalid)
{
    int count = 0;
    auto timer = NSTimer::scheduledTimerWithTimeInterval(1, false, [&](NSTimer&) { ++count; });
    loop.runFor(5);
    EXPECT_EQ(count, 1);
    EXPECT_FALSE(timer->isValid());
}

TEST_F(RunLoopTest, DroppingTheTimerEndsIt)
{
    int count = 0;
    auto timer = NSTimer::scheduledTimerWithTimeInterval(1, true, [&](NSTimer&) { ++count; });
    loop.runFor(2);
    EXPECT_EQ(count, 2);
    timer.reset();
    loop.runFor(5);
    EXPECT_EQ(count, 2);
}

TEST_F(RunLoopTest, DroppingTheTimerInsideItsOwnBlockIsSafe)
{
    int count = 0;
    Ref<NSTimer> timer;
    timer = NSTimer::scheduledTimerWithTimeInterval(1, true, [&](NSTimer&) {
        ++count;
        timer.reset();
    });
    loop.runFor(5);
    EXPECT_EQ(count, 1);
}

TEST_F(RunLoopTest, InvalidateInsideItsOwnBlockStopsARepeatingTimer)
{
    int count = 0;
    auto timer = NSTimer::scheduledTimerWithTimeInterval(1, true, [&](NSTimer& t) {
        if (++count == 3) t.invalidate();
    });
    loop.runFor(10);
    EXPECT_EQ(count, 3);
    EXPECT_FALSE(timer->isValid());
}

TEST_F(RunLoopTest, TimerPostponedByAnEarlierTimerOfTheSameTurnWaits)
{
    // A debounce: the first timer pushes the second one back although both
    // fell due at the same moment.
    std::vector<std::string> fires;
    auto debounced = NSTimer::scheduledTimerWithTimeInterval(
        1, false, [&](NSTimer&) { fires.push_back("debounced@" + formatDouble(elapsed())); });
    auto postpone = NSTimer::scheduledTimerWithTimeInterval(1, false, [&](NSTimer&) {
        fires.push_back("postpone");
        debounced->setFireDate(Clock::current().now() + 0.5);
    });
    // Both are due at 1; the postponing one registered later, so make it earlier.
    postpone->setFireDate(start + 0.999);
    time.advance(1);
    loop.runUntilIdle();
    EXPECT_EQ(fires, (std::vector<std::string> { "postpone" }));
    loop.runFor(1);
    EXPECT_EQ(fires, (std::vector<std::string> { "postpone", "debounced@1.5" }));
}

TEST_F(RunLoopTest, RepeatingTimerFiredByANestedRunIsNotFiredTwice)
{
    // Due together with the repeating timer and earlier in order, a perform
    // runs a nested turn, as a modal session would, which fires the timer.
    Target a;
    a.performAfterDelay("modal", 1, [&] { loop.runUntilIdle(); });
    int ticks = 0;
    auto repeating = NSTimer::scheduledTimerWithTimeInterval(1, true, [&](NSTimer&) { ++ticks; });
    time.advance(1);
    loop.runOnce();
    EXPECT_EQ(ticks, 1);
    EXPECT_DOUBLE_EQ(repeating->fireDate() - start, 2);
}

TEST_F(RunLoopTest, TimerWithoutARunLoopNeverFiresUntilScheduled)
{
    int count = 0;
    auto timer = NSTimer::timerWithTimeInterval(1, false, [&](NSTimer&) { ++count; });
    loop.runFor(2);
    EXPECT_EQ(count, 0);
    timer->setFireDate(Clock::current().now() + 1);
    timer->scheduleIn(loop, NSEventTrackingRunLoopMode);
    loop.runFor(2);
    EXPECT_EQ(count, 0);
    loop.runUntilIdle(NSEventTrackingRunLoopMode);
    EXPECT_EQ(count, 1);
}

TEST_F(RunLoopTest, TimerInCommonModesFiresDuringEventTracking)
{
    int count = 0;
    auto timer = NSTimer::timerWithTimeInterval(1, true, [&](NSTimer&) { ++count; });
    timer->scheduleIn(loop, kCFRunLoopCommonModes);
    loop.runFor(1, NSEventTrackingRunLoopMode);
    loop.runFor(1, NSModalPanelRunLoopMode);
    loop.runFor(1, kCFRunLoopDefaultMode);
    EXPECT_EQ(count, 3);
}

TEST_F(RunLoopTest, FireRunsTheBlockAndEndsAOneShotTimer)
{
    int count = 0;
    auto once = NSTimer::scheduledTimerWithTimeInterval(10, false, [&](NSTimer&) { ++count; });
    once->fire();
    EXPECT_EQ(count, 1);
    EXPECT_FALSE(once->isValid());
    once->fire();
    EXPECT_EQ(count, 1);

    auto repeating = NSTimer::scheduledTimerWithTimeInterval(10, true, [&](NSTimer&) { ++count; });
    repeating->fire();
    EXPECT_TRUE(repeating->isValid());
    EXPECT_DOUBLE_EQ(repeating->fireDate() - start, 10);
}

TEST_F(RunLoopTest, NonPositiveOrNanIntervalsAreRaisedToATenthOfAMillisecond)
{
    for (double interval : { 0.0, -3.0, std::nan("") }) {
        int count = 0;
        auto timer = NSTimer::scheduledTimerWithTimeInterval(interval, true, [&](NSTimer&) { ++count; });
        EXPECT_DOUBLE_EQ(timer->timeInterval(), 0.0001);
        // Just past the tenth tick: fire dates near 8e8 s carry rounding.
        loop.runFor(0.00105);
        EXPECT_EQ(count, 10) << interval;
    }
}

TEST_F(RunLoopTest, RunForEndsWhenATimerDateIsNotANumber)
{
    auto timer = NSTimer::scheduledTimerWithTimeInterval(1, false, [](NSTimer&) {});
    timer->setFireDate(std::nan(""));
    loop.runFor(1);
    EXPECT_DOUBLE_EQ(elapsed(), 1);
}

} // namespace

// A call that belongs to the main thread, made from another thread, stops
// the process with the call's name; on the main thread it passes.
TEST(MainThreadDeathTest, ACallOffTheMainThreadStopsNamingIt)
{
    assertMainThread("NSView::setFrame");
    EXPECT_DEATH(std::thread([] { assertMainThread("NSView::setFrame"); }).join(),
        "NSView::setFrame: called off the main thread");
}

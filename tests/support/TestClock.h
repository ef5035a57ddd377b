// Gives a test a clean world of time: a fresh virtual clock and an empty main
// run loop while it lives, the system clock again afterwards.
#pragma once

#include <foundation/Clock.h>

#include <memory>

class TestClock {
public:
    explicit TestClock(double start = VirtualClock::kDefaultStart);
    ~TestClock();
    TestClock(const TestClock&) = delete;
    TestClock& operator=(const TestClock&) = delete;

    VirtualClock& clock() { return *m_clock; }
    double now() const { return m_clock->now(); }
    // Moves the clock without running anything; use RunLoop::main().runFor()
    // to move it and fire what falls due.
    void advance(double seconds) { m_clock->advance(seconds); }

private:
    std::shared_ptr<VirtualClock> m_clock;
};

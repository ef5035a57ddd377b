#include "TestClock.h"

#include <foundation/Dispatch.h>
#include <foundation/RunLoop.h>

// Background work of a test may still post to the main loop. The loop is
// emptied first, which also releases a worker waiting in dispatch_sync on a
// block the test never ran; then the background work is waited for, and
// what it posted meanwhile is dropped too.
static void settle()
{
    RunLoop::main().reset();
    dispatchWaitForBackgroundWork();
    RunLoop::main().reset();
}

TestClock::TestClock(double start)
    : m_clock(std::make_shared<VirtualClock>(start))
{
    settle();
    Clock::setCurrent(m_clock);
}

TestClock::~TestClock()
{
    settle();
    Clock::setCurrent(nullptr);
}

#include "TestClock.h"

#include <foundation/Dispatch.h>
#include <foundation/RunLoop.h>

// Background work of the previous test may still post to the main loop, so
// it is waited for before the loop is emptied, on the way in and on the way out.
static void settle()
{
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

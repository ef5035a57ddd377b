#include "Clock.h"

#include <chrono>
#include <mutex>

namespace {
// Seconds from 1970-01-01 to 2001-01-01.
constexpr double kUnixToReference = 978307200.0;

std::mutex gClockMutex;
std::shared_ptr<Clock>& clockSlot()
{
    static std::shared_ptr<Clock> clock = std::make_shared<SystemClock>();
    return clock;
}

double monotonicSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
}

SystemClock::SystemClock()
    : m_base(std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count() - kUnixToReference)
    , m_monotonicBase(monotonicSeconds())
{
}

double SystemClock::now() const { return m_base + (monotonicSeconds() - m_monotonicBase); }

Clock& Clock::current() { return *currentShared(); }

std::shared_ptr<Clock> Clock::currentShared()
{
    std::lock_guard lock(gClockMutex);
    return clockSlot();
}

void Clock::setCurrent(std::shared_ptr<Clock> clock)
{
    std::lock_guard lock(gClockMutex);
    clockSlot() = clock ? std::move(clock) : std::make_shared<SystemClock>();
}

double CFAbsoluteTimeGetCurrent() { return Clock::current().now(); }

#include "Clock.h"

#include <chrono>
#include <mutex>
#include <vector>

namespace {
// Seconds from 1970-01-01 to 2001-01-01.
constexpr double kUnixToReference = 978307200.0;

std::mutex gClockMutex;
const std::shared_ptr<Clock>& systemClock()
{
    static auto* clock = new std::shared_ptr<Clock>(std::make_shared<SystemClock>());
    return *clock;
}

std::shared_ptr<Clock>& clockSlot()
{
    static auto* clock = new std::shared_ptr<Clock>(systemClock());
    return *clock;
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
    // Callers of current() hold a plain reference, so a clock once installed
    // is never freed. Tests install one small clock each; that is all it costs.
    static auto* retired = new std::vector<std::shared_ptr<Clock>>();
    std::lock_guard lock(gClockMutex);
    if (clockSlot() != systemClock())
        retired->push_back(clockSlot());
    clockSlot() = clock ? std::move(clock) : systemClock();
}

double CFAbsoluteTimeGetCurrent() { return Clock::current().now(); }

// The one source of time. Every delay, timer, debounce, animation and event
// timestamp reads Clock::current(); tests install a VirtualClock and move it.
#pragma once

#include <atomic>
#include <memory>

class Clock {
public:
    virtual ~Clock() = default;
    // Seconds since 2001-01-01 00:00:00 UTC.
    virtual double now() const = 0;
    virtual bool isVirtual() const { return false; }

    // The reference stays valid for the life of the process: a clock that is
    // replaced is kept, so that a thread still reading it is never left with
    // a dangling reference.
    static Clock& current();
    static std::shared_ptr<Clock> currentShared();
    static void setCurrent(std::shared_ptr<Clock>);
};

// Real time: the wall clock read once at start, advanced by a monotonic clock
// so that time never runs backwards.
class SystemClock final : public Clock {
public:
    SystemClock();
    double now() const override;

private:
    double m_base;
    double m_monotonicBase;
};

// Time that moves only when told to.
class VirtualClock final : public Clock {
public:
    // 2026-01-01 00:00:00 UTC.
    static constexpr double kDefaultStart = 788918400.0;

    explicit VirtualClock(double start = kDefaultStart)
        : m_now(start)
    {
    }
    double now() const override { return m_now.load(); }
    bool isVirtual() const override { return true; }
    // Moves the clock forward to t; time never runs backwards.
    void set(double t)
    {
        double current = m_now.load();
        while (t > current && !m_now.compare_exchange_weak(current, t)) { }
    }
    void advance(double seconds)
    {
        if (!(seconds > 0))
            return;
        double current = m_now.load();
        while (!m_now.compare_exchange_weak(current, current + seconds)) { }
    }

private:
    std::atomic<double> m_now;
};

// CFAbsoluteTimeGetCurrent on the current clock.
double CFAbsoluteTimeGetCurrent();

// Timers on a run loop. The timer object is the registration: dropping the
// last reference to it, or invalidate(), ends it.
#pragma once

#include "NSObject.h"
#include "RunLoop.h"

#include <functional>

class NSTimer : public NSObject {
public:
    using Block = std::function<void(NSTimer&)>;

    // A timer scheduled on the current run loop in the default mode.
    [[nodiscard]] static Ref<NSTimer> scheduledTimerWithTimeInterval(double interval, bool repeats, Block block);
    // A timer that runs only once added to a run loop.
    [[nodiscard]] static Ref<NSTimer> timerWithTimeInterval(double interval, bool repeats, Block block);

    NSTimer(double interval, bool repeats, Block block);
    ~NSTimer() override;

    void invalidate();
    bool isValid() const;
    double fireDate() const;
    void setFireDate(double date);
    double timeInterval() const { return m_interval; }
    // Runs the block now; a one-shot timer is then invalid.
    void fire();

    // Adds the timer to a run loop in a mode (NSRunLoop addTimer:forMode:).
    void scheduleIn(RunLoop& loop, const RunLoopMode& mode);

private:
    void prepare();

    double m_interval;
    bool m_repeats;
    Block m_block;
    Ref<RunLoopTimer> m_record;
};

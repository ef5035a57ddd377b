// A script function called after an interval, once or repeatedly:
// new Timer(interval, repeats, callback), callback(handler). The timer
// never keeps its handler alive: a handler that scripts no longer hold is
// destroyed and stops.
#pragma once

#include "DRHandler.h"

#include <foundation/NSTimer.h>

class DRTimerHandler : public DRHandler {
public:
    // Repeating timers fire at most this often, so that a script cannot
    // make one spin.
    static constexpr double kMinimumRepeatInterval = 0.01;

    // initWithInterval:repeats:callback:. An interval that is not a finite
    // number of seconds, zero or more, throws in the calling script.
    static Ref<DRTimerHandler> create(double interval, bool repeats, JSValue callback);
    DRTimerHandler(double interval, bool repeats, const JSValue& callback);
    ~DRTimerHandler() override;

    const Ref<NSTimer>& timer() const { return m_timer; }
    void stop();
    std::string scriptDescription() const override;

    static const JSExportClass& exportClass();

protected:
    void contextDidInvalidate() override { stop(); }

private:
    void schedule();
    void timerDidFire();

    double m_interval;
    bool m_repeats;
    Ref<NSTimer> m_timer;
};

#include "NSTimer.h"

#include "Clock.h"

Ref<NSTimer> NSTimer::scheduledTimerWithTimeInterval(double interval, bool repeats, Block block)
{
    auto timer = timerWithTimeInterval(interval, repeats, std::move(block));
    timer->scheduleIn(RunLoop::current(), kCFRunLoopDefaultMode);
    return timer;
}

Ref<NSTimer> NSTimer::timerWithTimeInterval(double interval, bool repeats, Block block)
{
    auto timer = makeRef<NSTimer>(interval, repeats, std::move(block));
    timer->prepare();
    return timer;
}

NSTimer::NSTimer(double interval, bool repeats, Block block)
    // The platform raises intervals at or below zero to a tenth of a
    // millisecond; an interval that is not a number is treated the same way.
    : m_interval(interval > 0 ? interval : 0.0001)
    , m_repeats(repeats)
    , m_block(std::move(block))
    , m_record(makeRef<RunLoopTimer>())
{
    m_record->fireDate = Clock::current().now() + m_interval;
    m_record->interval = m_interval;
    m_record->repeats = repeats;
}

void NSTimer::prepare()
{
    Weak<NSTimer> weak = selfRef<NSTimer>();
    m_record->action = [weak] {
        if (auto self = weak.lock()) {
            if (self->m_block)
                self->m_block(*self);
        }
    };
}

NSTimer::~NSTimer() { m_record->invalidate(); }

void NSTimer::invalidate() { m_record->invalidate(); }

bool NSTimer::isValid() const { return m_record->isValid(); }

double NSTimer::fireDate() const { return m_record->fireDate; }

void NSTimer::setFireDate(double date) { m_record->fireDate = date; }

void NSTimer::fire()
{
    if (!isValid())
        return;
    auto self = selfRef<NSTimer>();
    if (m_block)
        m_block(*this);
    if (!m_repeats)
        invalidate();
}

void NSTimer::scheduleIn(RunLoop& loop, const RunLoopMode& mode) { loop.addTimer(m_record, mode); }

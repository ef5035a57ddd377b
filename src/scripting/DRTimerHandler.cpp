#include "DRTimerHandler.h"

#include "DRExportProtocols.h"
#include "DRScriptArguments.h"

#include <foundation/Format.h>
#include <foundation/Log.h>
#include <javascriptcore/JSExport.h>

#include <cmath>

Ref<DRTimerHandler> DRTimerHandler::create(double interval, bool repeats, JSValue callback)
{
    if (!std::isfinite(interval) || interval < 0) {
        DRThrowScriptError("Timer", "the interval must be a finite number of seconds, zero or more.");
        return nullptr;
    }
    if (repeats && interval < kMinimumRepeatInterval) {
        NSLog("Warning: Timer interval %@ raised to %@ seconds for a repeating timer.", stringWithFormat("%g", interval),
            stringWithFormat("%g", kMinimumRepeatInterval));
        interval = kMinimumRepeatInterval;
    }
    auto handler = makeRef<DRTimerHandler>(interval, repeats, callback);
    handler->schedule();
    return handler;
}

DRTimerHandler::DRTimerHandler(double interval, bool repeats, const JSValue& callback)
    : DRHandler(callback)
    , m_interval(interval)
    , m_repeats(repeats)
{
}

DRTimerHandler::~DRTimerHandler()
{
    if (m_timer && m_timer->isValid())
        warnCollectedWhileEnabled(stringWithFormat("Timer handler (%@ %g s)", std::string(m_repeats ? "every" : "after"), m_interval));
    stop();
}

void DRTimerHandler::schedule()
{
    // The timer's block holds the handler weakly (the weak timer target).
    Weak<DRTimerHandler> weak = selfRef<DRTimerHandler>();
    m_timer = NSTimer::scheduledTimerWithTimeInterval(m_interval, m_repeats, [weak](NSTimer& timer) {
        if (auto self = weak.lock())
            self->timerDidFire();
        else
            timer.invalidate();
    });
}

std::string DRTimerHandler::scriptDescription() const
{
    return stringWithFormat("the callback of a Timer of %g s%@", m_interval, std::string(m_repeats ? ", repeating" : ""));
}

void DRTimerHandler::stop()
{
    if (m_timer)
        m_timer->invalidate();
}

void DRTimerHandler::timerDidFire() { callWithArguments({ Value(selfRef<DRTimerHandler>()) }); }

const JSExportClass& DRTimerHandler::exportClass()
{
    static const JSExportClass& c = JSExportClass::define<DRTimerHandler>("Timer", &DRHandler::exportClass())
                                        .constructor("initWithInterval:repeats:callback:", &DRTimerHandler::create)
                                        .method("stop", &DRTimerHandler::stop)
                                        .adopt(DRIdentifiableJSExport);
    return c;
}

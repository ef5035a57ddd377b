#include "RunLoop.h"
#include "MainThread.h"

#include "Clock.h"
#include "RunLoopDescriptorSources.h"
#include "Dispatch.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <chrono>
#include <cmath>

const RunLoopMode kCFRunLoopDefaultMode = "kCFRunLoopDefaultMode";
const RunLoopMode kCFRunLoopCommonModes = "kCFRunLoopCommonModes";
const RunLoopMode NSDefaultRunLoopMode = kCFRunLoopDefaultMode;
const RunLoopMode NSRunLoopCommonModes = kCFRunLoopCommonModes;
const RunLoopMode NSEventTrackingRunLoopMode = "NSEventTrackingRunLoopMode";
const RunLoopMode NSModalPanelRunLoopMode = "NSModalPanelRunLoopMode";

namespace {
// Static initialisation runs on the process's main thread.
const std::thread::id gMainThreadId = std::this_thread::get_id();
}

bool isMainThread() { return std::this_thread::get_id() == gMainThreadId; }

void assertMainThread(const char* call)
{
    if (isMainThread())
        return;
    std::fprintf(stderr, "%s: called off the main thread\n", call);
    std::abort();
}

struct RunLoopAccess {
    static RunLoop* make() { return new RunLoop(); }
};

RunLoop& RunLoop::main()
{
    // Never destroyed: background threads may still post while the process ends.
    static RunLoop* loop = RunLoopAccess::make();
    return *loop;
}

RunLoop& RunLoop::current()
{
    if (isMainThread())
        return main();
    thread_local std::unique_ptr<RunLoop> loop(RunLoopAccess::make());
    return *loop;
}

bool RunLoop::eligible(const std::set<RunLoopMode>& modes, const RunLoopMode& mode) const
{
    if (modes.count(mode))
        return true;
    return modes.count(kCFRunLoopCommonModes) && m_commonModes.count(mode);
}

void RunLoop::perform(std::function<void()> block, const RunLoopMode& mode)
{
    perform(std::move(block), std::vector<RunLoopMode> { mode });
}

void RunLoop::perform(std::function<void()> block, const std::vector<RunLoopMode>& modes)
{
    if (!block)
        return;
    {
        std::lock_guard lock(m_mutex);
        m_blocks.push_back({ std::move(block), { modes.begin(), modes.end() } });
        m_woken = true;
    }
    m_wake.notify_all();
}

void RunLoop::addTimer(const Ref<RunLoopTimer>& timer, const RunLoopMode& mode)
{
    if (!timer || !timer->isValid())
        return;
    {
        std::lock_guard lock(m_mutex);
        timer->modes.insert(mode);
        if (std::find(m_timers.begin(), m_timers.end(), timer) == m_timers.end()) {
            timer->m_sequence = ++m_sequence;
            m_timers.push_back(timer);
        }
        m_woken = true;
    }
    m_wake.notify_all();
}

Ref<RunLoopTimer> RunLoop::performAfterDelay(const void* target, const std::string& selector, double delay,
    std::function<void()> action, const std::vector<RunLoopMode>& modes)
{
    auto timer = makeRef<RunLoopTimer>();
    timer->fireDate = Clock::current().now() + std::max(0.0, delay);
    timer->action = std::move(action);
    timer->target = target;
    timer->selector = selector;
    for (size_t i = 1; i < modes.size(); ++i)
        timer->modes.insert(modes[i]);
    addTimer(timer, modes.empty() ? kCFRunLoopDefaultMode : modes.front());
    return timer;
}

void RunLoop::cancelPerforms(const void* target, const std::string& selector)
{
    std::vector<Ref<RunLoopTimer>> dropped;
    std::lock_guard lock(m_mutex);
    for (auto& timer : m_timers) {
        if (timer->target == target && (selector.empty() || timer->selector == selector))
            timer->invalidate();
    }
    dropInvalidTimersLocked(dropped);
}

// Takes the invalid timers off the list into `dropped`, which the caller
// destroys after letting go of the lock: an action may hold the last
// reference to an object whose destructor posts to this loop or cancels its
// own performs, and the lock is not recursive.
void RunLoop::dropInvalidTimersLocked(std::vector<Ref<RunLoopTimer>>& dropped)
{
    auto kept = std::stable_partition(m_timers.begin(), m_timers.end(), [](const Ref<RunLoopTimer>& t) { return t->isValid(); });
    dropped.insert(dropped.end(), std::make_move_iterator(kept), std::make_move_iterator(m_timers.end()));
    m_timers.erase(kept, m_timers.end());
}

size_t RunLoop::pendingPerformCount(const void* target, const std::string& selector) const
{
    std::lock_guard lock(m_mutex);
    return std::count_if(m_timers.begin(), m_timers.end(), [&](const Ref<RunLoopTimer>& t) {
        return t->isValid() && t->target == target && (selector.empty() || t->selector == selector);
    });
}

size_t RunLoop::pendingBlockCount() const
{
    std::lock_guard lock(m_mutex);
    return m_blocks.size();
}

RunLoopMode RunLoop::currentMode() const
{
    std::lock_guard lock(m_mutex);
    return m_modeStack.empty() ? RunLoopMode {} : m_modeStack.back();
}

bool RunLoop::isCommonMode(const RunLoopMode& mode) const
{
    std::lock_guard lock(m_mutex);
    return m_commonModes.count(mode) > 0;
}

void RunLoop::addCommonMode(const RunLoopMode& mode)
{
    std::lock_guard lock(m_mutex);
    m_commonModes.insert(mode);
}

bool RunLoop::hasWorkLocked(const RunLoopMode& mode, double now) const
{
    for (const auto& b : m_blocks)
        if (eligible(b.modes, mode))
            return true;
    for (const auto& t : m_timers)
        if (t->isValid() && t->fireDate <= now && eligible(t->modes, mode))
            return true;
    return m_descriptors && m_descriptors->anyReadable([&](const std::set<RunLoopMode>& modes) { return eligible(modes, mode); });
}

bool RunLoop::runOnce(const RunLoopMode& mode)
{
    std::vector<std::function<void()>> blocks;
    {
        std::lock_guard lock(m_mutex);
        m_modeStack.push_back(mode);
        for (auto it = m_blocks.begin(); it != m_blocks.end();) {
            if (eligible(it->modes, mode)) {
                blocks.push_back(std::move(it->block));
                it = m_blocks.erase(it);
            } else {
                ++it;
            }
        }
    }
    struct ModeScope {
        RunLoop& loop;
        ~ModeScope()
        {
            std::lock_guard lock(loop.m_mutex);
            loop.m_modeStack.pop_back();
        }
    } scope { *this };

    bool didWork = !blocks.empty();
    for (auto& block : blocks)
        block();
    if (runDescriptorSources(mode))
        didWork = true;

    // Timers due at this moment, earliest first; a timer scheduled by one of
    // them waits for the next turn.
    double now = Clock::current().now();
    std::vector<Ref<RunLoopTimer>> due;
    {
        std::lock_guard lock(m_mutex);
        for (const auto& t : m_timers)
            if (t->isValid() && t->fireDate <= now && eligible(t->modes, mode))
                due.push_back(t);
    }
    std::sort(due.begin(), due.end(), [](const Ref<RunLoopTimer>& a, const Ref<RunLoopTimer>& b) {
        return a->fireDate != b->fireDate ? a->fireDate < b->fireDate : a->m_sequence < b->m_sequence;
    });
    for (auto& t : due) {
        // An earlier action in this turn may have invalidated the timer,
        // postponed it (a debounce), or fired it from a nested run.
        if (!t->isValid() || !(t->fireDate <= now))
            continue;
        if (t->repeats && t->interval > 0) {
            double next = t->fireDate + t->interval;
            if (next <= now)
                next = now + t->interval - std::fmod(now - t->fireDate, t->interval);
            t->fireDate = next;
        } else {
            t->invalidate();
        }
        didWork = true;
        if (t->action) {
            auto action = t->action;
            action();
        }
    }
    std::vector<Ref<RunLoopTimer>> dropped;
    {
        std::lock_guard lock(m_mutex);
        dropInvalidTimersLocked(dropped);
    }
    return didWork;
}

void RunLoop::runUntilIdle(const RunLoopMode& mode)
{
    for (;;) {
        if (runOnce(mode))
            continue;
        if (!isMain() || !dispatchBackgroundWorkPending()) {
            std::lock_guard lock(m_mutex);
            if (!hasWorkLocked(mode, Clock::current().now()))
                return;
            continue;
        }
        std::unique_lock lock(m_mutex);
        m_wake.wait_for(lock, std::chrono::milliseconds(20), [&] { return m_woken; });
        m_woken = false;
    }
}

std::optional<double> RunLoop::nextTimerDate(const RunLoopMode& mode) const
{
    std::lock_guard lock(m_mutex);
    std::optional<double> next;
    for (const auto& t : m_timers)
        if (t->isValid() && eligible(t->modes, mode) && (!next || t->fireDate < *next))
            next = t->fireDate;
    return next;
}

void RunLoop::waitUntil(double date, const RunLoopMode& mode)
{
    std::unique_lock lock(m_mutex);
    double now = Clock::current().now();
    if (date <= now || hasWorkLocked(mode, now) || m_woken) {
        m_woken = false;
        return;
    }
    auto span = std::chrono::duration<double>(std::min(date - now, 3600.0));
    m_wake.wait_for(lock, span, [&] { return m_woken || m_stopRequested || m_ended; });
    m_woken = false;
}

void RunLoop::runFor(double seconds, const RunLoopMode& mode)
{
    auto clock = Clock::currentShared();
    double target = clock->now() + std::max(0.0, seconds);
    if (auto* virtualClock = dynamic_cast<VirtualClock*>(clock.get())) {
        for (;;) {
            runUntilIdle(mode);
            auto next = nextTimerDate(mode);
            // Written so that a fire date that is not a number ends the run
            // instead of spinning on it.
            if (!next || !(*next <= target))
                break;
            virtualClock->set(*next);
        }
        virtualClock->set(target);
        runUntilIdle(mode);
        return;
    }
    for (;;) {
        runUntilIdle(mode);
        if (clock->now() >= target || hasEnded())
            break;
        auto next = nextTimerDate(mode);
        waitUntil(next ? std::min(*next, target) : target, mode);
    }
}

bool RunLoop::runMode(const RunLoopMode& mode, double limitDate)
{
    if (hasEnded())
        return false;
    if (runOnce(mode))
        return true;
    auto clock = Clock::currentShared();
    if (auto* virtualClock = dynamic_cast<VirtualClock*>(clock.get())) {
        if (isMain() && dispatchBackgroundWorkPending()) {
            // Background work may post here: wait a little for it, then run
            // what it posted. The lock is let go first; runOnce takes it, and
            // a worker finishing a block takes it to wake this loop.
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait_for(lock, std::chrono::milliseconds(20), [&] { return m_woken; });
                m_woken = false;
            }
            runOnce(mode);
            return true;
        }
        auto next = nextTimerDate(mode);
        if (!next) {
            if (limitDate >= kDistantFuture)
                return false;
            virtualClock->set(limitDate);
            return true;
        }
        virtualClock->set(std::min(*next, limitDate));
        runOnce(mode);
        return true;
    }
    auto next = nextTimerDate(mode);
    waitUntil(next ? std::min(*next, limitDate) : limitDate, mode);
    runOnce(mode);
    return true;
}

void RunLoop::run()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopRequested = false;
    }
    for (;;) {
        {
            std::lock_guard lock(m_mutex);
            if (m_stopRequested || m_ended) {
                m_stopRequested = false;
                return;
            }
        }
        if (!runMode(kCFRunLoopDefaultMode, kDistantFuture))
            return;
    }
}

void RunLoop::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopRequested = true;
        m_woken = true;
    }
    m_wake.notify_all();
}

void RunLoop::end()
{
    {
        std::lock_guard lock(m_mutex);
        m_ended = true;
        m_woken = true;
    }
    m_wake.notify_all();
}

bool RunLoop::hasEnded() const
{
    std::lock_guard lock(m_mutex);
    return m_ended;
}

void RunLoop::wakeUp()
{
    {
        std::lock_guard lock(m_mutex);
        m_woken = true;
    }
    m_wake.notify_all();
}

void RunLoop::reset()
{
    std::deque<PendingBlock> blocks;
    std::vector<Ref<RunLoopTimer>> timers;
    {
        std::lock_guard lock(m_mutex);
        blocks.swap(m_blocks);
        timers.swap(m_timers);
        for (auto& t : timers)
            t->invalidate();
        m_commonModes = { kCFRunLoopDefaultMode, NSEventTrackingRunLoopMode, NSModalPanelRunLoopMode };
        m_stopRequested = false;
        m_ended = false;
        m_woken = false;
    }
    // The dropped blocks and actions are destroyed outside the lock: what
    // they capture may post to this loop from its destructor.
}

RunLoop::~RunLoop() = default;

Token RunLoop::addFileDescriptorSource(int fd, std::function<void()> readable, const std::vector<RunLoopMode>& modes)
{
    if (fd < 0 || !readable)
        return {};
    {
        std::lock_guard lock(m_mutex);
        if (!m_descriptors)
            m_descriptors = std::make_unique<RunLoopDescriptorSources>(*this);
    }
    return m_descriptors->add(fd, std::move(readable), { modes.begin(), modes.end() });
}

bool RunLoop::runDescriptorSources(const RunLoopMode& mode)
{
    RunLoopDescriptorSources* descriptors;
    std::set<RunLoopMode> commonModes;
    {
        std::lock_guard lock(m_mutex);
        descriptors = m_descriptors.get();
        commonModes = m_commonModes;
    }
    if (!descriptors)
        return false;
    return descriptors->run([&](const std::set<RunLoopMode>& modes) {
        return modes.count(mode) || (modes.count(kCFRunLoopCommonModes) && commonModes.count(mode));
    });
}

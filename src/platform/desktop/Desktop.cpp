#include "Desktop.h"

#include <atomic>
#include <cstring>

#include <cstdio>
#include <cstdlib>

#include <map>
#include <mutex>

namespace {
std::recursive_mutex gDesktopMutex;
// Never destroyed: windows held by statics close at exit, after function
// statics are gone, and still tell the desktop they go.
std::shared_ptr<Desktop>& slot()
{
    static auto* desktop = new std::shared_ptr<Desktop>();
    return *desktop;
}

// Listeners of the current desktop, and the one subscription that forwards
// to them from it.
struct CurrentListeners {
    std::map<uint64_t, std::shared_ptr<Desktop::Listener>> entries;
    uint64_t next { 1 };
    Token forwarder;
};
CurrentListeners& currentListeners()
{
    static auto* listeners = new CurrentListeners();
    return *listeners;
}

void forward(const DesktopEvent& event)
{
    std::vector<std::shared_ptr<Desktop::Listener>> targets;
    {
        std::lock_guard lock(gDesktopMutex);
        for (auto& [id, l] : currentListeners().entries)
            targets.push_back(l);
    }
    for (auto& l : targets)
        (*l)(event);
}

// Called with the lock held.
void resubscribe()
{
    auto& listeners = currentListeners();
    listeners.forwarder.reset();
    if (slot() && !listeners.entries.empty())
        listeners.forwarder = slot()->subscribe(forward);
}
}

namespace {

// The installed desktop; called with the lock held. Without one there is
// nothing the program could do.
const std::shared_ptr<Desktop>& installedDesktop()
{
    if (!slot()) {
        std::fputs("quorvex: no desktop is installed (the program's start-up installs one)\n", stderr);
        std::abort();
    }
    return slot();
}

}

namespace {

// The installed desktop as a plain pointer, for the calls that only use it
// (every accessibility read asks): read without the lock.
std::atomic<Desktop*> gInstalled { nullptr };

}

Desktop& Desktop::current()
{
    // No shared copy, so no two atomic counts on every call: the reference
    // is good for as long as the desktop stays installed, as before.
    if (Desktop* installed = gInstalled.load(std::memory_order_acquire))
        return *installed;
    std::lock_guard lock(gDesktopMutex);
    return *installedDesktop();
}

std::weak_ptr<Desktop> Desktop::currentWeak()
{
    std::lock_guard lock(gDesktopMutex);
    return installedDesktop();
}

void Desktop::setCurrent(std::shared_ptr<Desktop> desktop)
{
    std::lock_guard lock(gDesktopMutex);
    slot() = std::move(desktop);
    gInstalled.store(slot().get(), std::memory_order_release);
    resubscribe();
}

Token Desktop::subscribeToCurrent(Listener listener)
{
    uint64_t id;
    {
        std::lock_guard lock(gDesktopMutex);
        auto& listeners = currentListeners();
        id = listeners.next++;
        listeners.entries[id] = std::make_shared<Listener>(std::move(listener));
        // Until a desktop is installed the listener waits; setCurrent
        // subscribes to the new desktop.
        if (!listeners.forwarder)
            resubscribe();
    }
    return Token([id] {
        std::lock_guard lock(gDesktopMutex);
        auto& listeners = currentListeners();
        listeners.entries.erase(id);
        if (listeners.entries.empty())
            listeners.forwarder.reset();
    });
}

namespace {
std::mutex gRouterMutex;
Desktop::InputRouter& router()
{
    static auto* installed = new Desktop::InputRouter();
    return *installed;
}
Desktop::ProcessInputHandler& processHandler()
{
    static auto* installed = new Desktop::ProcessInputHandler();
    return *installed;
}
}

void Desktop::setInputRouter(InputRouter newRouter)
{
    std::lock_guard lock(gRouterMutex);
    router() = std::move(newRouter);
}

void Desktop::setProcessInputHandler(ProcessInputHandler handler)
{
    std::lock_guard lock(gRouterMutex);
    processHandler() = std::move(handler);
}

void Desktop::processInput(const DesktopInputEvent& event, pid_t receiver)
{
    ProcessInputHandler handler;
    {
        std::lock_guard lock(gRouterMutex);
        handler = processHandler();
    }
    if (handler)
        handler(event, receiver);
}

void Desktop::routeInput(const DesktopInputEvent& event, bool now)
{
    InputRouter route;
    {
        std::lock_guard lock(gRouterMutex);
        route = router();
    }
    if (route) {
        route(event, now);
        return;
    }
    // The start-up installs the input stream; an event before it has no road.
    static std::once_flag told;
    std::call_once(told, [] { std::fputs("quorvex: input arrived before the input stream was installed\n", stderr); });
}


namespace {
thread_local double tMessagingTimeout = 0;
}

double Desktop::messagingTimeout() { return tMessagingTimeout; }

Desktop::MessagingTimeoutScope::MessagingTimeoutScope(double seconds)
    : m_previous(tMessagingTimeout)
{
    tMessagingTimeout = seconds;
}

Desktop::MessagingTimeoutScope::~MessagingTimeoutScope() { tMessagingTimeout = m_previous; }

#include "Desktop.h"

#include "sim/SimDesktop.h"

#include <foundation/RunLoop.h>

#include <map>
#include <mutex>

namespace {
std::recursive_mutex gDesktopMutex;
std::shared_ptr<Desktop>& slot()
{
    static std::shared_ptr<Desktop> desktop;
    return desktop;
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

Desktop& Desktop::current() { return *currentShared(); }

std::shared_ptr<Desktop> Desktop::currentShared()
{
    std::lock_guard lock(gDesktopMutex);
    if (!slot()) {
        slot() = std::make_shared<SimDesktop>();
        resubscribe();
    }
    return slot();
}

void Desktop::setCurrent(std::shared_ptr<Desktop> desktop)
{
    std::lock_guard lock(gDesktopMutex);
    slot() = std::move(desktop);
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
        if (!listeners.forwarder) {
            if (!slot())
                slot() = std::make_shared<SimDesktop>();
            resubscribe();
        }
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
}

void Desktop::setInputRouter(InputRouter newRouter)
{
    std::lock_guard lock(gRouterMutex);
    router() = std::move(newRouter);
}

void Desktop::routeInput(const DesktopInputEvent& event)
{
    InputRouter route;
    {
        std::lock_guard lock(gRouterMutex);
        route = router();
    }
    if (route) {
        route(event);
        return;
    }
    RunLoop::main().perform(
        [event] {
            auto& desktop = Desktop::current();
            desktop.takeInput(event);
            desktop.deliverInput(event);
        },
        kCFRunLoopCommonModes);
}

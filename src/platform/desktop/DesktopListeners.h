// The listeners of one desktop's events: subscriptions that end with their
// token, and delivery on the thread that caused the events.
#pragma once

#include "DesktopTypes.h"

#include <foundation/Token.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>

class DesktopListeners {
public:
    using Listener = std::function<void(const DesktopEvent&)>;
    [[nodiscard]] Token subscribe(Listener listener);
    // Every event to every listener, in order; a listener may subscribe or
    // end its subscription while it is called.
    void emit(const std::vector<DesktopEvent>& events) const;

private:
    struct State {
        std::mutex mutex;
        std::map<uint64_t, std::shared_ptr<Listener>> entries;
        uint64_t next { 1 };
    };
    std::shared_ptr<State> m_state { std::make_shared<State>() };
};

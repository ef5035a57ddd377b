// Named notifications: the default centre, and separate centres for the
// workspace and for distributed notifications.
#pragma once

#include "Dispatch.h"
#include "NSObject.h"
#include "Token.h"
#include "Value.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct NSNotification {
    std::string name;
    Ref<NSObject> object;
    Value userInfo;
};

class NSNotificationCenter : public NSObject {
public:
    using Block = std::function<void(const NSNotification&)>;

    static NSNotificationCenter& defaultCenter();
    // The distributed centre (screen-parameter changes and the like).
    static NSNotificationCenter& distributedCenter();

    // Observes a name (empty: every name) from an object (null: any sender).
    // With a queue the block runs there (at once when already on it);
    // without one it runs on the posting thread. Once the token has ended,
    // deliveries still waiting for their queue are dropped; a call already
    // running on another thread is not waited for.
    [[nodiscard]] Token addObserverForName(
        const std::string& name, const NSObject* object, dispatch_queue_t queue, Block block);
    void postNotification(const NSNotification& notification);
    void postNotificationName(const std::string& name, const Ref<NSObject>& object, const Value& userInfo = {});

    size_t observerCount(const std::string& name) const;
    // Drops every observer (test isolation).
    void removeAllObservers();

private:
    struct Entry {
        std::string name;
        const NSObject* object;
        dispatch_queue_t queue;
        Block block;
        // Cleared under the state's lock when the token ends, so that a
        // delivery already queued for another thread is dropped.
        bool active { true };
    };
    // Shared with the tokens, which may outlive the centre.
    struct State {
        std::mutex mutex;
        std::vector<std::shared_ptr<Entry>> entries;
    };
    static bool isActive(State&, const Entry&);
    std::shared_ptr<State> m_state { std::make_shared<State>() };
};

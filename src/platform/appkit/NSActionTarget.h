// Target-action by selector name. An object that answers action messages
// registers one handler per selector ("windowAction:", "terminate:"); a
// control sends its action to its target, or, without one, along the
// responder chain of the key window to the first object that answers it.
#pragma once

#include <foundation/NSObject.h>

#include <functional>
#include <map>
#include <string>

class NSActionTarget {
public:
    using Handler = std::function<void(const Ref<NSObject>& sender)>;

    virtual ~NSActionTarget() = default;

    // Whether the object answers the selector.
    virtual bool respondsToAction(const std::string& selector) const { return m_actions.count(selector) > 0; }
    // Runs the selector's handler with the sender; false when there is none.
    virtual bool performAction(const std::string& selector, const Ref<NSObject>& sender);

    // Registers the handler that answers a selector (replacing an earlier one).
    void setActionHandler(const std::string& selector, Handler handler);

private:
    std::map<std::string, Handler> m_actions;
};

// The object as an action target, or null when it answers no actions.
NSActionTarget* NSActionTargetOf(NSObject* object);

// A script function subscribed to a named event: new Event(name, callback).
// The callback runs as callback(handler), or callback(subject, handler)
// where the event has one (the pointer's location, an App, a Window).
#pragma once

#include "DRHandler.h"

#include <foundation/NSNotificationCenter.h>

#include <string>

class DREventHandler : public DRHandler {
public:
    // initWithEvent:callback:.
    static Ref<DREventHandler> create(const std::string& event, JSValue callback);
    DREventHandler(const std::string& event, const JSValue& callback);
    ~DREventHandler() override;

    std::string name() const { return m_name; }
    const std::string& notification() const { return m_notification; }
    bool isSubscribed() const { return static_cast<bool>(m_observer); }
    void disable();
    std::string scriptDescription() const override { return "the callback of Event “" + m_name + "”"; }

    static const JSExportClass& exportClass();

protected:
    void contextDidInvalidate() override { disable(); }

private:
    void didReceiveNotification(const NSNotification& notification);

    std::string m_name;
    std::string m_notification;
    Token m_observer;
};

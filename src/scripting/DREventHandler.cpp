#include "DREventHandler.h"

#include "DRApp.h"
#include "DRAXObserver.h"
#include "DREventTranslator.h"
#include "DRExportProtocols.h"
#include "DRGlobalEventMonitor.h"

#include <appkit/NSWorkspace.h>
#include <foundation/Log.h>
#include <javascriptcore/JSExport.h>

Ref<DREventHandler> DREventHandler::create(const std::string& event, JSValue callback)
{
    auto handler = makeRef<DREventHandler>(event, callback);
    if (handler->m_notification.empty())
        return handler;
    Weak<DREventHandler> weak = handler;
    handler->m_observer = DREventTranslator::notificationCenterForNotification(handler->m_notification)
                              .addObserverForName(handler->m_notification, nullptr, nullptr, [weak](const NSNotification& n) {
                                  if (auto self = weak.lock())
                                      self->didReceiveNotification(n);
                              });
    return handler;
}

DREventHandler::DREventHandler(const std::string& event, const JSValue& callback)
    : DRHandler(callback)
    , m_name(event)
    , m_notification(DREventTranslator::notificationForEvent(event).value_or(""))
{
    if (m_notification.empty())
        NSLog("Warning: Event “%@” not supported.", event);
}

DREventHandler::~DREventHandler()
{
    if (isSubscribed())
        warnCollectedWhileEnabled("Event handler “" + m_name + "”");
}

void DREventHandler::disable() { m_observer.reset(); }

void DREventHandler::didReceiveNotification(const NSNotification& notification)
{
    Value self(selfRef<DREventHandler>());
    const Value& info = notification.userInfo;
    if (const Value& mouse = info[DRGlobalEventMonitorMouse]; !mouse.isNil())
        callWithArguments({ mouse, self });
    else if (auto app = info[NSWorkspaceApplicationKey].objectAs<NSRunningApplication>())
        callWithArguments({ Value(DRApp::withApp(app)), self });
    else if (const Value& window = info[DRAXObserverWindow]; !window.isNil())
        callWithArguments({ window, self });
    else
        callWithArguments({ self });
}

const JSExportClass& DREventHandler::exportClass()
{
    static const JSExportClass& c = JSExportClass::define<DREventHandler>("Event", &DRHandler::exportClass())
                                        .constructor("initWithEvent:callback:", &DREventHandler::create)
                                        .method("disable", &DREventHandler::disable)
                                        .property("name", &DREventHandler::name)
                                        .adopt(DRIdentifiableJSExport);
    return c;
}

// A script context with some of the layer's classes installed, on a
// simulated desktop with a virtual clock, and the log captured.
#pragma once

#include <support/SimWorld.h>
#include <support/TemporaryDirectory.h>

#include <javascriptcore/JSExport.h>

#include <foundation/Log.h>
#include <services/NSUserNotification.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

// An application and a window of one, for the simulated desktop.
inline DesktopApp scriptTestApp(pid_t pid, const std::string& name)
{
    DesktopApp app;
    app.pid = pid;
    app.name = name;
    app.bundleId = "org.example." + name;
    return app;
}

inline DesktopWindow scriptTestWindow(pid_t pid, CGWindowID number, const std::string& title, CGRect frame)
{
    DesktopWindow window;
    window.pid = pid;
    window.number = number;
    window.title = title;
    window.frame = frame;
    return window;
}

struct ScriptWorld {
    ScriptWorld() { start(); }
    // On a desktop made from scenario text instead of the demo desktop.
    explicit ScriptWorld(const std::string& scenario)
        : world(scenario)
    {
        start();
    }
    void start()
    {
        NSUserNotificationCenter::defaultUserNotificationCenter().removeAllDeliveredNotifications();
        context = JSContext::create();
        context->setExceptionHandler([this](JSContext&, const JSValue& e) { exceptions.push_back(e.toString()); });
    }
    ~ScriptWorld() { context->invalidate(); }
    void install(const std::string& name, const JSExportClass& exportClass)
    {
        context->setObject(name, context->classObject(exportClass));
    }
    void install(const std::string& name, const Ref<NSObject>& object)
    {
        context->setObject(name, JSValue::object(context->globalContextRef(), object));
    }
    std::string eval(const std::string& script) { return context->evaluateScript(script).toString(); }
    std::vector<std::string> notifications() const
    {
        std::vector<std::string> texts;
        for (const auto& n : NSUserNotificationCenter::defaultUserNotificationCenter().deliveredNotifications())
            texts.push_back(n->informativeText());
        return texts;
    }

    SimWorld world;
    LogCapture log;
    TemporaryDirectory directory;
    Ref<JSContext> context;
    std::vector<std::string> exceptions;
};

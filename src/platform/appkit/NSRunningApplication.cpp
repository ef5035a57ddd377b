#include "NSRunningApplication.h"

#include <desktop/Desktop.h>
#include <foundation/Format.h>

Ref<NSRunningApplication> NSRunningApplication::runningApplicationWithProcessIdentifier(pid_t pid)
{
    auto app = Desktop::current().application(pid);
    return app ? makeRef<NSRunningApplication>(*app) : nullptr;
}

Ref<NSRunningApplication> NSRunningApplication::currentApplication()
{
    return runningApplicationWithProcessIdentifier(Desktop::current().ownProcessIdentifier());
}

std::optional<std::string> NSRunningApplication::bundleIdentifier() const
{
    if (m_app.bundleId.empty())
        return std::nullopt;
    return m_app.bundleId;
}

std::optional<std::string> NSRunningApplication::bundleURL() const
{
    if (m_app.bundlePath.empty())
        return std::nullopt;
    return m_app.bundlePath;
}

bool NSRunningApplication::isHidden() const
{
    auto app = Desktop::current().application(m_app.pid);
    return app && app->hidden;
}

bool NSRunningApplication::isTerminated() const { return !Desktop::current().application(m_app.pid); }

bool NSRunningApplication::isActive() const { return Desktop::current().frontmostApplication() == m_app.pid; }

bool NSRunningApplication::hide() const { return Desktop::current().hideApplication(m_app.pid); }

bool NSRunningApplication::unhide() const { return Desktop::current().unhideApplication(m_app.pid); }

bool NSRunningApplication::terminate() const { return Desktop::current().terminateApplication(m_app.pid, false); }

bool NSRunningApplication::forceTerminate() const { return Desktop::current().terminateApplication(m_app.pid, true); }

bool NSRunningApplication::activateWithOptions(NSApplicationActivationOptions options) const
{
    return Desktop::current().activateApplication(m_app.pid, !(options & NSApplicationActivateAllWindows));
}

bool NSRunningApplication::isEqual(const NSObject* other) const
{
    auto o = dynamic_cast<const NSRunningApplication*>(other);
    return o && o->m_app.pid == m_app.pid;
}

std::string NSRunningApplication::description() const
{
    return stringWithFormat("<NSRunningApplication: %p (%@ - %d)>", static_cast<const void*>(this), m_app.bundleId, m_app.pid);
}

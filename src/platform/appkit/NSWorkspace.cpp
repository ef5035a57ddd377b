#include "NSWorkspace.h"

#include <desktop/Desktop.h>
#include <foundation/Dispatch.h>
#include <foundation/RunLoop.h>

NSWorkspace& NSWorkspace::sharedWorkspace()
{
    static auto* workspace = new NSWorkspace();
    return *workspace;
}

NSWorkspace::NSWorkspace()
{
    m_subscription = Desktop::subscribeToCurrent([this](const DesktopEvent& event) { handle(event); });
}

void NSWorkspace::handle(const DesktopEvent& event)
{
    std::string name;
    switch (event.kind) {
    case DesktopEvent::Kind::ApplicationLaunched:
        name = NSWorkspaceDidLaunchApplicationNotification;
        break;
    case DesktopEvent::Kind::ApplicationTerminated:
        name = NSWorkspaceDidTerminateApplicationNotification;
        break;
    case DesktopEvent::Kind::ApplicationActivated:
        name = NSWorkspaceDidActivateApplicationNotification;
        break;
    case DesktopEvent::Kind::ApplicationHidden:
        name = NSWorkspaceDidHideApplicationNotification;
        break;
    case DesktopEvent::Kind::ApplicationUnhidden:
        name = NSWorkspaceDidUnhideApplicationNotification;
        break;
    case DesktopEvent::Kind::ActiveSpaceChanged:
        name = NSWorkspaceActiveSpaceDidChangeNotification;
        break;
    case DesktopEvent::Kind::ScreensChanged:
        RunLoop::main().perform([] {
            NSNotificationCenter::distributedCenter().postNotificationName(NSApplicationDidChangeScreenParametersNotification, nullptr);
            NSNotificationCenter::defaultCenter().postNotificationName(NSApplicationDidChangeScreenParametersNotification, nullptr);
        });
        return;
    default:
        return;
    }
    Value userInfo;
    if (event.pid) {
        Ref<NSRunningApplication> app = NSRunningApplication::runningApplicationWithProcessIdentifier(event.pid);
        {
            std::lock_guard lock(m_mutex);
            if (app)
                m_known[event.pid] = app;
            else if (auto it = m_known.find(event.pid); it != m_known.end())
                app = it->second;
            if (event.kind == DesktopEvent::Kind::ApplicationTerminated)
                m_known.erase(event.pid);
        }
        if (!app) {
            DesktopApp gone;
            gone.pid = event.pid;
            app = makeRef<NSRunningApplication>(gone);
        }
        userInfo = Value(Value::Dictionary { { NSWorkspaceApplicationKey, Value(app) } });
    }
    // The workspace posts on the main thread, whatever thread caused it.
    RunLoop::main().perform([this, name, userInfo] { m_center.postNotificationName(name, nullptr, userInfo); });
}

std::vector<Ref<NSRunningApplication>> NSWorkspace::runningApplications() const
{
    std::vector<Ref<NSRunningApplication>> result;
    for (const auto& app : Desktop::current().runningApplications())
        result.push_back(makeRef<NSRunningApplication>(app));
    return result;
}

Ref<NSRunningApplication> NSWorkspace::frontmostApplication() const
{
    pid_t pid = Desktop::current().frontmostApplication();
    return pid ? NSRunningApplication::runningApplicationWithProcessIdentifier(pid) : nullptr;
}

bool NSWorkspace::openURL(const std::string& url)
{
    if (url.empty())
        return false;
    {
        std::lock_guard lock(m_mutex);
        m_opened.push_back(url);
    }
    return Desktop::current().openURL(url);
}

std::vector<std::string> NSWorkspace::openedURLs() const
{
    std::lock_guard lock(m_mutex);
    return m_opened;
}

void NSWorkspace::resetOpenedURLs()
{
    std::lock_guard lock(m_mutex);
    m_opened.clear();
}

std::optional<std::string> NSWorkspace::desktopImageURLForScreen(const Ref<NSScreen>& screen) const
{
    if (!screen)
        return std::nullopt;
    for (const auto& s : Desktop::current().screens())
        if (s.displayID == screen->displayID() && !s.desktopPicture.empty())
            return s.desktopPicture;
    return std::nullopt;
}

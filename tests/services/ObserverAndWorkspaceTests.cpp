#include "support/SimWorld.h"

#include <appkit/NSWindow.h>
#include <appkit/NSWorkspace.h>
#include <services/AXObserver.h>
#include <services/Processes.h>

#include <filesystem>

namespace {

const char* kScenario = R"({
  "screens": [ { "frame": [0, 0, 1440, 900] } ],
  "apps": [
    { "pid": 1, "name": "One", "bundleId": "org.example.one", "windows": [ { "id": 10, "title": "a", "frame": [0, 30, 400, 300] } ] },
    { "pid": 2, "name": "Two", "windows": [ { "id": 20, "title": "c", "frame": [0, 30, 300, 200], "space": 2 },
                                           { "id": 21, "title": "d", "frame": [0, 30, 300, 200], "minimized": true } ] }
  ], "order": [10, 20, 21] })";

struct Delivery {
    CGWindowID window;
    std::string notification;
    void* refcon;
};

DesktopWindow window(pid_t pid, const std::string& title)
{
    DesktopWindow w;
    w.pid = pid;
    w.title = title;
    w.frame = CGRectMake(0, 30, 100, 100);
    return w;
}

}

TEST(AXObserver, DeliversRegisteredNotificationsThroughItsRunLoopSource)
{
    SimWorld world(kScenario);
    std::vector<Delivery> got;
    AXObserverRef observer;
    ASSERT_EQ(AXObserverCreate(1,
                  [&](const AXObserverRef&, const AXUIElementRef& e, const std::string& n, void* refcon) {
                      got.push_back({ e->element().window, n, refcon });
                  },
                  &observer),
        kAXErrorSuccess);
    int context = 0;
    EXPECT_EQ(AXObserverAddNotification(observer, AXUIElementCreateApplication(1), "AXWindowCreated", &context), kAXErrorSuccess);
    EXPECT_EQ(AXObserverAddNotification(observer, AXUIElementCreateApplication(1), "AXWindowCreated", nullptr),
        kAXErrorNotificationAlreadyRegistered);
    world.desktop().openWindow(window(1, "x"));
    world.settle();
    EXPECT_TRUE(got.empty()) << "a source on no run loop delivers nothing";

    CFRunLoopAddSource(RunLoop::main(), AXObserverGetRunLoopSource(observer), kCFRunLoopDefaultMode);
    CGWindowID number = world.desktop().openWindow(window(1, "y"));
    world.desktop().openWindow(window(2, "other process"));
    world.settle();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].window, number);
    EXPECT_EQ(got[0].notification, "AXWindowCreated");
    EXPECT_EQ(got[0].refcon, &context);

    EXPECT_EQ(AXObserverRemoveNotification(observer, AXUIElementCreateApplication(1), "AXWindowCreated"), kAXErrorSuccess);
    EXPECT_EQ(AXObserverRemoveNotification(observer, AXUIElementCreateApplication(1), "AXWindowCreated"),
        kAXErrorNotificationNotRegistered);
}

TEST(AXObserver, ARegistrationRemovedBeforeDeliveryIsNotCalled)
{
    SimWorld world(kScenario);
    int calls = 0;
    AXObserverRef observer;
    AXObserverCreate(1, [&](const AXObserverRef&, const AXUIElementRef&, const std::string&, void*) { ++calls; }, &observer);
    CFRunLoopAddSource(RunLoop::main(), AXObserverGetRunLoopSource(observer), kCFRunLoopDefaultMode);
    auto w = makeRef<AXUIElement>(DesktopElement { DesktopElement::Kind::Window, 1, 10 });
    AXObserverAddNotification(observer, w, "AXUIElementDestroyed", nullptr);
    world.desktop().closeWindow(10);
    AXObserverRemoveNotification(observer, w, "AXUIElementDestroyed");
    world.settle();
    EXPECT_EQ(calls, 0);
}

TEST(AXObserver, CreationAndRegistrationFailCleanly)
{
    SimWorld world(kScenario);
    AXObserverRef observer;
    auto callback = [](const AXObserverRef&, const AXUIElementRef&, const std::string&, void*) { };
    EXPECT_EQ(AXObserverCreate(99, callback, &observer), kAXErrorInvalidUIElement);
    EXPECT_FALSE(observer);
    ASSERT_EQ(AXObserverCreate(1, callback, &observer), kAXErrorSuccess);
    EXPECT_EQ(AXObserverAddNotification(observer, AXUIElementCreateApplication(2), "AXWindowCreated", nullptr), kAXErrorIllegalArgument);
    EXPECT_EQ(AXObserverAddNotification(observer, makeRef<AXUIElement>(DesktopElement { DesktopElement::Kind::Window, 1, 77 }),
                  "AXUIElementDestroyed", nullptr),
        kAXErrorInvalidUIElement);
    world.desktop().setApplicationHung(1, true);
    EXPECT_EQ(AXObserverAddNotification(observer, AXUIElementCreateApplication(1), "AXWindowCreated", nullptr), kAXErrorCannotComplete);
    world.desktop().setAccessibilityTrusted(false);
    EXPECT_EQ(AXObserverCreate(1, callback, &observer), kAXErrorAPIDisabled);
}

TEST(AXObserver, ATokenRemovesItsOwnRegistrationOnly)
{
    SimWorld world(kScenario);
    std::vector<std::string> calls;
    Token appToken, windowToken;
    AXObserverRef observer;
    AXObserverCreate(
        1,
        [&](const AXObserverRef&, const AXUIElementRef&, const std::string& n, void*) {
            calls.push_back(n);
            // Dropped during a delivery: that registration of the same
            // notice is not called after it.
            windowToken.reset();
        },
        &observer);
    CFRunLoopAddSource(RunLoop::main(), AXObserverGetRunLoopSource(observer), kCFRunLoopDefaultMode);
    auto app = AXUIElementCreateApplication(1);
    auto w = makeRef<AXUIElement>(DesktopElement { DesktopElement::Kind::Window, 1, 10 });
    ASSERT_EQ(AXObserverAddNotification(observer, app, "AXUIElementDestroyed", nullptr, &appToken), kAXErrorSuccess);
    ASSERT_EQ(AXObserverAddNotification(observer, w, "AXUIElementDestroyed", nullptr, &windowToken), kAXErrorSuccess);
    world.desktop().closeWindow(10);
    world.settle();
    EXPECT_EQ(calls, std::vector<std::string> { "AXUIElementDestroyed" });
    EXPECT_EQ(observer->registrationCount(), 1u);

    // A token whose registration was removed by name leaves a later
    // registration of the same element and name alone.
    EXPECT_EQ(AXObserverRemoveNotification(observer, app, "AXUIElementDestroyed"), kAXErrorSuccess);
    EXPECT_EQ(AXObserverAddNotification(observer, app, "AXUIElementDestroyed", nullptr), kAXErrorSuccess);
    appToken.reset();
    appToken.reset();
    EXPECT_EQ(observer->registrationCount(), 1u);
    // A refused registration hands back no token.
    EXPECT_EQ(AXObserverAddNotification(observer, app, "AXUIElementDestroyed", nullptr, &appToken),
        kAXErrorNotificationAlreadyRegistered);
    EXPECT_FALSE(appToken);

    // A token that outlives its observer does nothing when dropped.
    ASSERT_EQ(AXObserverAddNotification(observer, app, "AXWindowCreated", nullptr, &appToken), kAXErrorSuccess);
    Weak<AXObserver> weak = observer;
    observer.reset();
    world.settle();
    EXPECT_TRUE(weak.expired());
    appToken.reset();
}

TEST(NSWorkspace, NotificationsArriveOnTheMainRunLoopWithTheApplication)
{
    SimWorld world(kScenario);
    auto& center = NSWorkspace::sharedWorkspace().notificationCenter();
    std::vector<std::pair<std::string, pid_t>> seen;
    auto record = [&](const NSNotification& n) {
        auto app = n.userInfo[NSWorkspaceApplicationKey].objectAs<NSRunningApplication>();
        seen.emplace_back(n.name, app ? app->processIdentifier() : 0);
    };
    std::vector<Token> tokens;
    for (const auto& name : { NSWorkspaceDidLaunchApplicationNotification, NSWorkspaceDidTerminateApplicationNotification,
             NSWorkspaceDidActivateApplicationNotification, NSWorkspaceDidHideApplicationNotification,
             NSWorkspaceDidUnhideApplicationNotification, NSWorkspaceActiveSpaceDidChangeNotification })
        tokens.push_back(center.addObserverForName(name, nullptr, nullptr, record));
    DesktopApp app;
    app.pid = 3;
    app.name = "Three";
    world.desktop().launchApplication(app, { window(3, "w") });
    world.desktop().hideApplication(3);
    world.desktop().unhideApplication(3);
    world.desktop().switchToSpace(2);
    world.desktop().quitApplication(3);
    EXPECT_TRUE(seen.empty());
    world.settle();
    std::vector<std::pair<std::string, pid_t>> expected {
        { NSWorkspaceDidLaunchApplicationNotification, 3 },
        { NSWorkspaceDidActivateApplicationNotification, 3 },
        { NSWorkspaceDidHideApplicationNotification, 3 },
        { NSWorkspaceDidActivateApplicationNotification, 1 },
        { NSWorkspaceDidUnhideApplicationNotification, 3 },
        { NSWorkspaceActiveSpaceDidChangeNotification, 0 },
        { NSWorkspaceDidTerminateApplicationNotification, 3 },
    };
    EXPECT_EQ(seen, expected);
}

TEST(NSWorkspace, RunningApplicationsAndTheirRequests)
{
    SimWorld world(kScenario);
    auto& workspace = NSWorkspace::sharedWorkspace();
    auto apps = workspace.runningApplications();
    ASSERT_EQ(apps.size(), 3u);
    EXPECT_EQ(apps[0]->processIdentifier(), SimDesktop::kOwnPid);
    EXPECT_EQ(apps[1]->bundleIdentifier(), std::optional<std::string>("org.example.one"));
    EXPECT_FALSE(apps[2]->bundleIdentifier());
    EXPECT_EQ(workspace.frontmostApplication()->processIdentifier(), 1);
    EXPECT_TRUE(apps[2]->hide());
    EXPECT_TRUE(apps[2]->isHidden());
    EXPECT_TRUE(apps[2]->activateWithOptions(NSApplicationActivateIgnoringOtherApps));
    EXPECT_FALSE(apps[2]->isHidden());
    EXPECT_TRUE(apps[2]->terminate());
    EXPECT_TRUE(apps[2]->isTerminated());
    EXPECT_FALSE(apps[2]->hide());
    EXPECT_FALSE(NSRunningApplication::runningApplicationWithProcessIdentifier(2));
    EXPECT_TRUE(workspace.openURL("https://example.org/"));
    EXPECT_FALSE(workspace.openURL(""));
}

TEST(Processes, SerialNumbersBringAProcessToTheFront)
{
    SimWorld world(kScenario);
    ProcessSerialNumber psn;
    EXPECT_EQ(GetProcessForPID(99, &psn), procNotFound);
    ASSERT_EQ(GetProcessForPID(2, &psn), noErr);
    world.desktop().switchToSpace(2);
    EXPECT_EQ(SetFrontProcessWithOptions(&psn, kSetFrontProcessFrontWindowOnly), noErr);
    EXPECT_EQ(world.desktop().frontmostApplication(), 2);
    EXPECT_EQ(world.desktop().windows().front().number, 20u);
    ProcessSerialNumber zero;
    EXPECT_EQ(SetFrontProcessWithOptions(&zero, 0), procNotFound);
}

TEST(NSWindow, WindowNumbersByApplicationAndSpace)
{
    SimWorld world(kScenario);
    using V = std::vector<CGWindowID>;
    EXPECT_EQ(NSWindow::windowNumbersWithOptions(NSWindowNumberListAllApplications), V { 10 });
    EXPECT_EQ(NSWindow::windowNumbersWithOptions(NSWindowNumberListAllApplications | NSWindowNumberListAllSpaces), (V { 10, 20 }));
    EXPECT_TRUE(NSWindow::windowNumbersWithOptions(0).empty());
}

TEST(NSWorkspace, DesktopPicturesOfScreens)
{
    SimWorld world;
    auto screens = NSScreen::screens();
    auto path = NSWorkspace::sharedWorkspace().desktopImageURLForScreen(screens[0]);
    ASSERT_TRUE(path);
    EXPECT_TRUE(std::filesystem::exists(*path)) << *path;
    world.desktop().addScreen(CGRectMake(0, 900, 800, 600), CGRectMake(0, 900, 800, 600));
    EXPECT_FALSE(NSWorkspace::sharedWorkspace().desktopImageURLForScreen(NSScreen::screens().back()));
    EXPECT_FALSE(NSWorkspace::sharedWorkspace().desktopImageURLForScreen(nullptr));
}

#include "support/SimWorld.h"
#include "support/TemporaryDirectory.h"

#include <appkit/NSWorkspace.h>
#include <foundation/Log.h>
#include <foundation/NSPropertyListSerialization.h>
#include <graphics/NSImage.h>
#include <model/SWApplication.h>
#include <model/SWWindow.h>

#include <fstream>
#include <stdexcept>
#include <thread>

namespace {

const char* kScenario = R"({
  "screens": [ { "frame": [0, 0, 1440, 900], "visibleFrame": [0, 25, 1440, 875] } ],
  "apps": [
    { "pid": 1, "name": "One", "bundleId": "org.example.one", "windows": [
        { "id": 10, "title": "a", "frame": [100, 100, 400, 300] },
        { "id": 11, "title": "b", "frame": [200, 200, 300, 200], "minimized": true } ] },
    { "pid": 2, "name": "Two", "windows": [ { "id": 20, "title": "c", "frame": [0, 30, 300, 200] } ] }
  ] })";

Ref<SWApplication> application(pid_t pid)
{
    return SWApplication::applicationWithRunningApplication(NSRunningApplication::runningApplicationWithProcessIdentifier(pid));
}

Ref<SWAccessibilityElement> element(pid_t pid, CGWindowID number)
{
    return SWAccessibilityElement::elementWithAXElement(makeRef<AXUIElement>(DesktopElement { DesktopElement::Kind::Window, pid, number }));
}

DesktopWindow newWindow(pid_t pid, const std::string& title)
{
    DesktopWindow w;
    w.pid = pid;
    w.title = title;
    w.frame = CGRectMake(10, 40, 200, 200);
    return w;
}

}

TEST(SWApplication, WindowsAreBuiltOnceUntilTheCacheIsDropped)
{
    SimWorld world(kScenario);
    auto one = application(1);
    auto windows = one->windows();
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(windows[0]->title(), std::optional<std::string>("a"));
    world.desktop().openWindow(newWindow(1, "late"));
    EXPECT_EQ(one->windows().size(), 2u) << "the cached list is kept";
    one->dropWindowsCache();
    EXPECT_EQ(one->windows().size(), 3u);
    world.settle();
}

TEST(SWApplication, StateAndActionsGoThroughTheRunningApplication)
{
    SimWorld world(kScenario);
    auto one = application(1);
    EXPECT_EQ(one->appName(), std::optional<std::string>("One"));
    EXPECT_EQ(one->title(), std::optional<std::string>("One"));
    EXPECT_FALSE(one->isHidden());
    one->hide();
    EXPECT_TRUE(one->isHidden());
    one->unhide();
    EXPECT_FALSE(one->isHidden());
    auto icon = one->icon();
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->size(), CGSizeMake(128, 128));
    one->kill();
    EXPECT_FALSE(world.desktop().application(1));
    one->hide();
    one->kill9();
    EXPECT_FALSE(one->appName());
    EXPECT_FALSE(one->icon());
    EXPECT_FALSE(SWApplication::applicationWithRunningApplication(nullptr));
}

TEST(SWApplication, RunningApplicationsNeedTrust)
{
    SimWorld world(kScenario);
    EXPECT_EQ(SWApplication::runningApplications().size(), 3u) << "the two applications and this process";
    world.desktop().setAccessibilityTrusted(false);
    EXPECT_TRUE(SWApplication::runningApplications().empty());
}

TEST(SWApplication, ManageableUnlessDashboardOrLoginWindow)
{
    auto app = [](const std::string& bundle) {
        DesktopApp a;
        a.pid = 5;
        a.bundleId = bundle;
        return NSRunningApplication(a);
    };
    EXPECT_TRUE(isManageable(app("")));
    EXPECT_TRUE(isManageable(app("org.example.editor")));
    EXPECT_FALSE(isManageable(app("com.apple.dashboard")));
    EXPECT_FALSE(isManageable(app("com.apple.dashboard.client")));
    EXPECT_FALSE(isManageable(app("com.apple.loginwindow")));
    EXPECT_FALSE(isManageable(app("com.apple.loginwindowhelper")));
    EXPECT_TRUE(isManageable(app("com.apple.finder")));
}

TEST(SWApplication, AnAgentIsReadFromItsBundle)
{
    TemporaryDirectory dir;
    std::string bundle = dir.path() + "/Agent.app";
    std::string contents = bundle + "/Contents";
    std::filesystem::create_directories(contents);
    auto data = NSPropertyListSerialization::dataWithPropertyList(
        Value(Value::Dictionary { { "LSUIElement", Value(true) } }), NSPropertyListXMLFormat_v1_0);
    ASSERT_TRUE(data);
    std::ofstream(contents + "/Info.plist", std::ios::binary).write(reinterpret_cast<const char*>(data->data()), data->size());
    DesktopApp a;
    a.pid = 5;
    a.bundlePath = bundle;
    EXPECT_TRUE(isAgent(NSRunningApplication(a)));
    a.bundlePath = dir.path() + "/Missing.app";
    EXPECT_FALSE(isAgent(NSRunningApplication(a)));
    std::filesystem::create_directories(dir.path() + "/Broken.app/Contents");
    std::ofstream(dir.path() + "/Broken.app/Contents/Info.plist") << "not a property list";
    a.bundlePath = dir.path() + "/Broken.app";
    EXPECT_FALSE(isAgent(NSRunningApplication(a)));
}

TEST(SWApplication, ApplicationsWithManyWindowsListTheFirstHundred)
{
    SimWorld world(SimWorld::emptyScenario());
    DesktopApp app;
    app.pid = 9;
    app.name = "Many";
    std::vector<DesktopWindow> windows;
    for (int i = 0; i < 150; ++i)
        windows.push_back(newWindow(9, "w" + std::to_string(i)));
    world.desktop().launchApplication(app, windows);
    EXPECT_EQ(application(9)->windows().size(), 100u);
    world.settle();
}

TEST(SWApplication, NotificationsReachHandlersOnTheMainThread)
{
    SimWorld world(kScenario);
    auto one = application(1);
    std::vector<std::string> created;
    std::thread::id handlerThread;
    // Registered from a worker thread: delivery still happens on the main run loop.
    std::thread worker([&] {
        EXPECT_TRUE(one->observeNotification("AXWindowCreated", one, [&](const Ref<SWWindow>& w) {
            created.push_back(w->title().value_or("?"));
            handlerThread = std::this_thread::get_id();
        }));
    });
    worker.join();
    world.desktop().openWindow(newWindow(1, "new one"));
    world.desktop().openWindow(newWindow(2, "not ours"));
    EXPECT_TRUE(created.empty()) << "nothing runs before the main run loop turns";
    world.settle();
    EXPECT_EQ(created, (std::vector<std::string> { "new one" }));
    EXPECT_EQ(handlerThread, std::this_thread::get_id());
}

TEST(SWApplication, ASecondObservationOfTheSameNotificationIsRefused)
{
    SimWorld world(kScenario);
    auto one = application(1);
    int first = 0, second = 0;
    EXPECT_TRUE(one->observeNotification("AXWindowCreated", one, [&](const Ref<SWWindow>&) { ++first; }));
    EXPECT_FALSE(one->observeNotification("AXWindowCreated", one, [&](const Ref<SWWindow>&) { ++second; }));
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(one->observeNotification("AXWindowCreated", one, [&](const Ref<SWWindow>&) { ++second; }));
    EXPECT_EQ(one->observationsForElement(one).size(), 1u) << "refused registrations do not pile up";
    world.desktop().openWindow(newWindow(1, "x"));
    world.settle();
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);
}

TEST(SWApplication, UnobservingEndsEveryObservationOfTheElement)
{
    SimWorld world(kScenario);
    auto one = application(1);
    auto window10 = element(1, 10);
    int destroyed = 0, minimised = 0;
    EXPECT_TRUE(one->observeNotification("AXUIElementDestroyed", window10, [&](const Ref<SWWindow>&) { ++destroyed; }));
    EXPECT_TRUE(one->observeNotification("AXWindowMiniaturized", window10, [&](const Ref<SWWindow>&) { ++minimised; }));
    world.desktop().setWindowMinimized(10, true);
    world.settle();
    EXPECT_EQ(minimised, 1);
    one->unobserveNotification("AXWindowMiniaturized", window10);
    EXPECT_EQ(one->observedElementCount(), 0u);
    world.desktop().setWindowMinimized(10, false);
    world.desktop().setWindowMinimized(10, true);
    world.desktop().closeWindow(10);
    world.settle();
    EXPECT_EQ(minimised, 1);
    EXPECT_EQ(destroyed, 0) << "the destroyed observation ended too";
}

TEST(SWApplication, ObservingAWindowRecordCapturesNothingAndStillDelivers)
{
    SimWorld world(kScenario);
    auto one = application(1);
    // A record made without a capture of its own, as a window list keeps it.
    auto window10 = makeRef<SWWindow>(makeRef<AXUIElement>(DesktopElement { DesktopElement::Kind::Window, 1, 10 }));
    world.desktop().clearCallLog();
    int minimised = 0;
    EXPECT_TRUE(one->observeNotification("AXWindowMiniaturized", window10, [&](const Ref<SWWindow>&) { ++minimised; }));
    EXPECT_TRUE(one->observeNotification("AXUIElementDestroyed", window10, [](const Ref<SWWindow>&) { }));
    world.settle();
    EXPECT_EQ(world.desktop().countCalls("CGWindowListCreateImage"), 0u) << "the observation's entry holds no picture";
    ASSERT_EQ(one->observationsForElement(window10).size(), 2u) << "both observations are found under the window";
    world.desktop().setWindowMinimized(10, true);
    world.settle();
    EXPECT_EQ(minimised, 1);
    one->unobserveNotification("AXWindowMiniaturized", window10);
    EXPECT_EQ(one->observedElementCount(), 0u);
}

TEST(SWApplication, AHandlerThatThrowsIsLoggedAndTheNextNotificationArrives)
{
    SimWorld world(kScenario);
    LogCapture log;
    auto one = application(1);
    int calls = 0;
    one->observeNotification("AXWindowCreated", one, [&](const Ref<SWWindow>&) {
        if (++calls == 1)
            throw std::runtime_error("handler failed");
    });
    world.desktop().openWindow(newWindow(1, "first"));
    world.settle();
    EXPECT_TRUE(log.contains("handler failed"));
    EXPECT_EQ(log.count("window <SWWindow"), 1u);
    EXPECT_EQ(log.count("callback "), 1u);
    EXPECT_EQ(log.count("window.app <SWApplication"), 1u);
    world.desktop().openWindow(newWindow(1, "second"));
    world.settle();
    EXPECT_EQ(calls, 2);
}

TEST(SWApplication, AHandlerCanEndItsOwnObservationWhileItRuns)
{
    SimWorld world(kScenario);
    auto one = application(1);
    int calls = 0;
    one->observeNotification("AXWindowCreated", one, [&, weak = Weak<SWApplication>(one)](const Ref<SWWindow>& w) {
        ++calls;
        if (auto app = weak.lock())
            app->unobserveNotification("AXWindowCreated", app);
        EXPECT_TRUE(w->title());
    });
    world.desktop().openWindow(newWindow(1, "first"));
    world.desktop().openWindow(newWindow(1, "second"));
    world.settle();
    EXPECT_EQ(calls, 1) << "the second notice finds no observation any more";
}

TEST(SWApplication, ATemporaryRecordEndsItsObservationsWhenItGoes)
{
    SimWorld world(kScenario);
    int calls = 0;
    {
        auto temporary = application(1);
        temporary->observeNotification("AXWindowCreated", temporary, [&](const Ref<SWWindow>&) { ++calls; });
    }
    world.desktop().openWindow(newWindow(1, "x"));
    world.settle();
    EXPECT_EQ(calls, 0);
    auto stored = application(1);
    EXPECT_TRUE(stored->observeNotification("AXWindowCreated", stored, [&](const Ref<SWWindow>&) { ++calls; }))
        << "the registration ended with the temporary record";
}

TEST(SWApplication, ObservationFailsWithoutPermissionOrForAGoneElement)
{
    SimWorld world(kScenario);
    auto one = application(1);
    EXPECT_FALSE(one->observeNotification("AXUIElementDestroyed", element(1, 99), [](const Ref<SWWindow>&) { }));
    world.desktop().setAccessibilityTrusted(false);
    auto two = application(2);
    EXPECT_FALSE(two->observeNotification("AXWindowCreated", two, [](const Ref<SWWindow>&) { }));
    EXPECT_FALSE(two->observerRef());
}

TEST(SWApplication, PictureCacheByWindowNumber)
{
    SimWorld world(kScenario);
    auto one = application(1);
    EXPECT_FALSE(one->cachedImageForWindowID(10));
    auto icon = one->icon();
    one->saveImage(icon, 10);
    EXPECT_EQ(one->cachedImageForWindowID(10), icon);
    EXPECT_FALSE(one->cachedImageForWindowID(11));
}

#include "support/SimWorld.h"
#include "support/TemporaryDirectory.h"

#include <app/AppController.h>
#include <app/AppDelegate.h>
#include <app/GrantController.h>
#include <app/KSPreferencesWindowController.h>
#include <appkit/NSButton.h>
#include <appkit/NSApplication.h>
#include <appkit/NSMenu.h>
#include <appkit/NSMenuItem.h>
#include <appkit/NSStatusBar.h>
#include <appkit/NSWindow.h>
#include <appkit/NSWorkspace.h>
#include <foundation/Log.h>
#include <foundation/NSNotificationCenter.h>
#include <foundation/NSTimer.h>
#include <foundation/NSUserDefaults.h>
#include <model/EBEventful.h>
#include <switcher/SwitchWindowController.h>

namespace {

// A start-up in a world of its own: settings in a fresh directory.
class AppDelegateTest : public ::testing::Test {
protected:
    explicit AppDelegateTest(const std::string& scenario = {})
        : world(scenario.empty() ? SimWorld() : SimWorld(scenario))
    {
        NSUserDefaults::setStorageDirectory(settings.path());
        NSUserDefaults::resetStandardUserDefaults();
        EBEventful::resetForTesting();
        NSWorkspace::sharedWorkspace().resetOpenedURLs();
        delegate = makeRef<AppDelegate>();
        NSApp().setDelegate(delegate);
    }

    Ref<NSUserDefaults> defaults() { return NSUserDefaults::standardUserDefaults(); }

    void launch()
    {
        delegate->initApp();
        world.settle();
    }

    SimWorld world;
    TemporaryDirectory settings;
    Ref<AppDelegate> delegate;
};

}

TEST_F(AppDelegateTest, AFirstLaunchWritesEveryDefault)
{
    launch();
    auto d = defaults();
    EXPECT_EQ(d->objectForKey("Style3DIndex"), Value(8));
    for (const char* key : { "KeyboardShotcuts", "ShowIconInDock", "CMTEnableAutomaticChecks", "SUUpdaterChecksForBetaUpdates",
             "ShotcutsHints", "CMCheckForUpdatesInBackground", "Animation3D" })
        EXPECT_EQ(d->objectForKey(key), Value(true)) << key;
    EXPECT_EQ(d->objectForKey("ThemeIndex"), Value(1));
    EXPECT_EQ(d->objectForKey("FullScreenMode"), Value(false));
    EXPECT_EQ(d->objectForKey("ShowOnScreen"), Value(1));
    EXPECT_EQ(d->objectForKey("AllWindowsHotkeyIndex"), Value(0));
    EXPECT_EQ(d->objectForKey("OnScreenWindowsHotkeyIndex"), Value(2));
    EXPECT_EQ(d->objectForKey("ActiveAppWindowsHotKeyIndex"), Value(3));
    EXPECT_TRUE(d->dataForKey("ShowActiveAppWindows"));
    EXPECT_TRUE(d->objectForKey("HideMenuBarIcon").isNil());
    EXPECT_TRUE(d->objectForKey("LayoutType").isNil());
    EXPECT_FALSE(d->boolForKey("NSApplicationCrashOnExceptions"));
    // The registered default is never stored: a fresh store from the file lacks it.
    NSUserDefaults::resetStandardUserDefaults();
    EXPECT_TRUE(NSUserDefaults::standardUserDefaults()->objectForKey("NSApplicationCrashOnExceptions").isNil());
    EXPECT_EQ(NSUserDefaults::standardUserDefaults()->objectForKey("ThemeIndex"), Value(1)) << "written to the file";
}

TEST_F(AppDelegateTest, ExistingSettingsAreNeverOverwritten)
{
    defaults()->setInteger(0, "ThemeIndex");
    defaults()->setBool(false, "SUUpdaterChecksForBetaUpdates");
    defaults()->setInteger(2, "ShowOnScreen");
    launch();
    EXPECT_EQ(defaults()->integerForKey("ThemeIndex"), 0);
    EXPECT_FALSE(defaults()->boolForKey("SUUpdaterChecksForBetaUpdates"));
    EXPECT_EQ(defaults()->integerForKey("ShowOnScreen"), 2);
}

TEST_F(AppDelegateTest, TheStatusMenuHasItsItemsInOrder)
{
    launch();
    auto items = NSStatusBar::systemStatusBar().items();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0]->length(), NSVariableStatusItemLength);
    EXPECT_TRUE(items[0]->highlightMode());
    EXPECT_TRUE(items[0]->image());
    auto menu = items[0]->menu();
    ASSERT_TRUE(menu);
    std::vector<std::string> titles, actions;
    for (const auto& item : menu->itemArray()) {
        titles.push_back(item->isSeparatorItem() ? "-" : item->title());
        actions.push_back(item->action());
        EXPECT_EQ(item->keyEquivalent(), "");
    }
    EXPECT_EQ(titles, (std::vector<std::string> { "About", "More Apps...", "Latest Offers...", "Subscribe to Newsletter", "-", "-",
                          "Preferences...", "Check for Updates...", "-", "-", "Send Feedback", "-", "Quit" }));
    EXPECT_EQ(actions[0], "showAboutPanel");
    EXPECT_EQ(actions[12], "terminate:");
    EXPECT_EQ(menu->itemAtIndex(10)->target(), delegate) << "Send Feedback targets the delegate";
    EXPECT_FALSE(menu->itemAtIndex(0)->target()) << "the others go through the responder chain";
}

TEST_F(AppDelegateTest, HidingTheMenuBarIconRemovesTheItemAndShowingItBuildsAFreshOne)
{
    launch();
    auto first = delegate->statusItem();
    ASSERT_TRUE(first);
    delegate->setupStatusMenu();
    EXPECT_EQ(delegate->statusItem(), first) << "an existing item is kept";
    defaults()->setBool(true, "HideMenuBarIcon");
    first.reset();
    delegate->setupStatusMenu();
    EXPECT_FALSE(delegate->statusItem());
    EXPECT_TRUE(NSStatusBar::systemStatusBar().items().empty());
    defaults()->setBool(false, "HideMenuBarIcon");
    delegate->setupStatusMenu();
    EXPECT_EQ(NSStatusBar::systemStatusBar().items().size(), 1u);
}

TEST_F(AppDelegateTest, TheUpdaterIsConfiguredWithTheBetaFeedByDefault)
{
    LogCapture log;
    launch();
    auto updater = SUUpdater::sharedUpdater();
    EXPECT_EQ(updater->feedURL(), AppDelegate::kBetaFeed);
    EXPECT_TRUE(updater->automaticallyChecksForUpdates());
    ASSERT_EQ(updater->checks().size(), 1u);
    EXPECT_EQ(updater->checks()[0].kind, SUUpdateCheck::Kind::Background);
    EXPECT_TRUE(delegate->updaterShouldCheckForBetaUpdates(*updater));
    EXPECT_TRUE(log.contains(std::string("Feed URL: ") + AppDelegate::kBetaFeed));

    defaults()->setBool(false, "SUUpdaterChecksForBetaUpdates");
    EXPECT_EQ(delegate->getFeedURL(), "https://quorvex.example.org/updates/feed.xml") << "the bundle's own feed";
    delegate->checkUpates(nullptr);
    EXPECT_EQ(updater->checks().back().kind, SUUpdateCheck::Kind::UserInitiated);
}

TEST_F(AppDelegateTest, AutomaticChecksOffMeansNoBackgroundCheck)
{
    defaults()->setBool(false, "CMTEnableAutomaticChecks");
    launch();
    EXPECT_FALSE(SUUpdater::sharedUpdater()->automaticallyChecksForUpdates());
    EXPECT_TRUE(SUUpdater::sharedUpdater()->checks().empty());
}

TEST_F(AppDelegateTest, TheDockIconFollowsTheSetting)
{
    launch();
    EXPECT_EQ(NSApp().activationPolicy(), NSApplicationActivationPolicyRegular);
    defaults()->setBool(false, "ShowIconInDock");
    delegate->setUpVisible();
    EXPECT_EQ(NSApp().activationPolicy(), NSApplicationActivationPolicyAccessory);
}

TEST_F(AppDelegateTest, ReopeningWithoutADockIconBringsThePreferencesBack)
{
    launch();
    int monitoring = 0;
    auto token = NSNotificationCenter::defaultCenter().addObserverForName(
        "START_MONITORING_CHANGE_HOTKEYS", nullptr, nullptr, [&](const NSNotification&) { ++monitoring; });
    EXPECT_FALSE(delegate->applicationShouldHandleReopen(false));
    world.advance(1);
    EXPECT_EQ(monitoring, 0) << "with the Dock icon, reopening does nothing";
    defaults()->setBool(false, "ShowIconInDock");
    EXPECT_FALSE(delegate->applicationShouldHandleReopen(false));
    world.advance(0.4);
    EXPECT_EQ(monitoring, 0);
    world.advance(0.2);
    EXPECT_EQ(monitoring, 1);
    auto window = delegate->prefsController()->window();
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->identifier(), "QX_PREFERENCES");
    EXPECT_EQ(window->level(), NSFloatingWindowLevel);
    EXPECT_EQ(window->title(), "Quorvex");
}

TEST_F(AppDelegateTest, ThePanelOpensAboveThePreferencesWhichItsCloseButtonCloses)
{
    launch();
    ASSERT_TRUE(delegate->appController());
    delegate->showPrefsPanel();
    world.settle();
    auto prefs = delegate->prefsController()->window();
    ASSERT_TRUE(prefs && prefs->isVisible());
    delegate->appController()->handleHotkeys(WindowFilterAll, false);
    world.settle();
    auto panel = delegate->appController()->windowController()->window();
    ASSERT_TRUE(panel->isVisible());
    auto front = NSApp().orderedWindows();
    ASSERT_GE(front.size(), 2u);
    EXPECT_EQ(front[0], panel) << "the panel is drawn above the preferences";
    EXPECT_EQ(front[1], prefs);
    panel->orderOut(nullptr);

    // The title bar's close button goes through the window's close path.
    auto close = prefs->standardWindowButton(NSWindowCloseButton);
    ASSERT_TRUE(close && close->isEnabled());
    close->performClick(nullptr);
    world.settle();
    EXPECT_FALSE(prefs->isVisible());
}

TEST_F(AppDelegateTest, EveryPreferencesRequestTellsTheHotkeyController)
{
    launch();
    int monitoring = 0;
    auto token = NSNotificationCenter::defaultCenter().addObserverForName(
        "START_MONITORING_CHANGE_HOTKEYS", nullptr, nullptr, [&](const NSNotification&) { ++monitoring; });
    delegate->performAction("showPrefsPanel:", nullptr);
    delegate->performAction("showPrefsPanel:", nullptr);
    EXPECT_EQ(monitoring, 2) << "also when the window is already open";
    world.advance(1);
    EXPECT_TRUE(delegate->appController()->isMonitoringActive());
}

TEST_F(AppDelegateTest, MenuActionsOpenThePagesAndQuitEnds)
{
    launch();
    for (const char* action : { "moreApps:", "deals:", "subscribe:", "showFeedbackDialog:" })
        EXPECT_TRUE(delegate->performAction(action, nullptr)) << action;
    EXPECT_EQ(NSWorkspace::sharedWorkspace().openedURLs(),
        (std::vector<std::string> { AppDelegate::kMoreAppsPage, AppDelegate::kOffersPage, AppDelegate::kNewsletterPage,
            AppDelegate::kContactPage }));
    int before = NSApp().aboutPanelRequestCount();
    delegate->performAction("showAboutPanel", nullptr);
    EXPECT_EQ(NSApp().aboutPanelRequestCount(), before + 1);
    EXPECT_EQ(world.desktop().frontmostApplication(), SimDesktop::kOwnPid);
    EXPECT_TRUE(NSApp().sendAction("terminate:", nullptr, nullptr));
    EXPECT_TRUE(NSApp().hasTerminated());
}

namespace {

const char* kNoScreenRecording = R"({ "screens": [ { "frame": [0, 0, 1440, 900] } ],
  "apps": [ { "pid": 5, "name": "Five", "windows": [ { "id": 1, "title": "t", "frame": [0, 30, 300, 200] } ] } ],
  "permissions": { "accessibility": true, "screenRecording": false } })";

const char* kNoAccessibility = R"({ "screens": [ { "frame": [0, 0, 1440, 900] } ],
  "apps": [ { "pid": 5, "name": "Five", "windows": [ { "id": 1, "title": "t", "frame": [0, 30, 300, 200] } ] } ],
  "permissions": { "accessibility": false, "screenRecording": true } })";

class MissingScreenRecording : public AppDelegateTest {
protected:
    MissingScreenRecording()
        : AppDelegateTest(kNoScreenRecording)
    {
    }
};

class MissingAccessibility : public AppDelegateTest {
protected:
    MissingAccessibility()
        : AppDelegateTest(kNoAccessibility)
    {
    }
};

// A person who closes the permission window from its title bar after a while.
Ref<NSTimer> closePermissionWindowAfter(double seconds)
{
    auto timer = NSTimer::timerWithTimeInterval(seconds, false, [](NSTimer&) {
        if (auto window = NSApp().modalWindow())
            window->performClose(nullptr);
    });
    timer->scheduleIn(RunLoop::main(), NSModalPanelRunLoopMode);
    return timer;
}

}

TEST_F(MissingScreenRecording, TheStartUpWaitsForThePermissionWindow)
{
    double start = world.clock().now();
    auto closer = closePermissionWindowAfter(7);
    launch();
    EXPECT_DOUBLE_EQ(world.clock().now() - start, 7) << "the start-up went on when the window closed";
    ASSERT_TRUE(delegate->ac());
    EXPECT_FALSE(delegate->ac()->window()->isVisible());
    EXPECT_TRUE(delegate->appController()) << "accessibility is trusted, so the hotkeys are set up";
    EXPECT_FALSE(SUUpdater::sharedUpdater()->calls().empty()) << "the rest of the start-up ran after the window";
}

TEST_F(MissingAccessibility, WithoutAccessibilityThereAreNoHotkeysButTheMenuWorks)
{
    auto closer = closePermissionWindowAfter(1);
    launch();
    EXPECT_FALSE(delegate->appController());
    EXPECT_TRUE(delegate->statusItem());
    EXPECT_TRUE(defaults()->objectForKey("AllWindowsHotkeyIndex").isNil()) << "the hotkey set-up never ran";
}

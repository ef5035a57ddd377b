#include "support/SimWorld.h"

#include <appkit/NSAlert.h>
#include <model/AccessHelper.h>
#include <model/SWUniversalAccessHelper.h>
#include <services/NSAppleScript.h>

namespace {

const char* kScenario = R"({
  "screens": [ { "frame": [0, 0, 1440, 900] } ],
  "apps": [ { "pid": 1, "name": "One", "windows": [ { "id": 10, "title": "named", "frame": [0, 30, 400, 300] } ] },
            { "pid": 2, "name": "Two", "windows": [ { "id": 20, "title": null, "frame": [0, 30, 400, 300] } ] } ],
  "order": [10, 20] })";

}

TEST(AccessHelper, WithoutAccessibilityTheWindowServerIsNotAsked)
{
    SimWorld world(kScenario);
    world.desktop().setAccessibilityTrusted(false);
    world.desktop().clearCallLog();
    EXPECT_FALSE(AccessHelper::allAccessGranted());
    EXPECT_EQ(world.desktop().countCalls("CGWindowList"), 0u);
    EXPECT_EQ(world.desktop().accessibilityPromptCount(), 0) << "no prompt from the plain question";
}

TEST(AccessHelper, ScreenRecordingIsReadFromTheFirstWindowsName)
{
    SimWorld world(kScenario);
    EXPECT_TRUE(AccessHelper::recordScreenGranted());
    EXPECT_TRUE(AccessHelper::allAccessGranted());
    world.desktop().setScreenRecordingGranted(false);
    EXPECT_FALSE(AccessHelper::recordScreenGranted());
    EXPECT_FALSE(AccessHelper::allAccessGranted());

    world.desktop().setScreenRecordingGranted(true);
    world.desktop().focusWindow(20);
    EXPECT_FALSE(AccessHelper::recordScreenGranted()) << "an unnamed first window reads as not granted";
}

TEST(AccessHelper, TheProcesssOwnWindowsDoNotCountAsPermission)
{
    SimWorld world(kScenario);
    world.desktop().setScreenRecordingGranted(false);
    DesktopWindow panel;
    panel.title = "Permissions";
    panel.frame = CGRectMake(100, 100, 500, 300);
    world.desktop().orderOwnWindow(world.desktop().registerOwnWindow(panel), true);
    EXPECT_FALSE(AccessHelper::recordScreenGranted());

    // With only this process's window on screen, another application's
    // window off screen tells.
    world.desktop().hideApplication(1);
    world.desktop().hideApplication(2);
    EXPECT_FALSE(AccessHelper::recordScreenGranted());
    world.desktop().setScreenRecordingGranted(true);
    EXPECT_TRUE(AccessHelper::recordScreenGranted());
}

TEST(AccessHelper, AnEmptyScreenReadsAsNotGranted)
{
    SimWorld world(SimWorld::emptyScenario());
    EXPECT_FALSE(AccessHelper::recordScreenGranted());
}

TEST(AccessHelper, RequestsAskThePlatform)
{
    SimWorld world(kScenario);
    world.desktop().setAccessibilityTrusted(false);
    AccessHelper::openAccessibility();
    EXPECT_EQ(world.desktop().accessibilityPromptCount(), 1);
    AccessHelper::requestAccessibilityAccess();
    EXPECT_EQ(world.desktop().accessibilityPromptCount(), 2);

    AccessHelper::requestScreenRecordingAccess();
    EXPECT_EQ(world.desktop().countCalls("CGDisplayStreamCreate"), 1u);
    world.desktop().setDisplayStreamAvailable(false);
    AccessHelper::requestScreenRecordingAccess();
    EXPECT_EQ(world.desktop().countCalls("CGDisplayStreamCreate"), 2u);
}

TEST(SWUniversalAccessHelper, ComplaintOnlyWhenUntrusted)
{
    SimWorld world(kScenario);
    SWUniversalAccessHelper::complainIfNeeded();
    EXPECT_TRUE(NSAlert::shownAlerts().empty());
    EXPECT_TRUE(SWUniversalAccessHelper::isAccessibilityTrusted());
    EXPECT_TRUE(SWUniversalAccessHelper::accessibilityEnabled());
}

TEST(SWUniversalAccessHelper, ComplaintExplainsAndOpensTheSettingsOnRequest)
{
    SimWorld world(kScenario);
    world.desktop().setAccessibilityTrusted(false);
    world.desktop().setGrantOnPrompt(true);
    SWUniversalAccessHelper::complainIfNeeded();
    EXPECT_EQ(world.desktop().accessibilityPromptCount(), 0) << "the test asks without a prompt";
    auto alerts = NSAlert::shownAlerts();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].messageText, "Quorvex Requires Universal Access");
    EXPECT_EQ(alerts[0].informativeText,
        "For Quorvex to function properly, access for assistive devices must be enabled first.\n\n"
        "To enable this feature, click \"Enable access for assistive devices\" in the Universal Access pane of System Preferences.");
    EXPECT_EQ(alerts[0].buttons, (std::vector<std::string> { "Open Universal Access", "Dismiss" }));
    ASSERT_EQ(NSAppleScript::executedScripts().size(), 1u);
    EXPECT_EQ(NSAppleScript::executedScripts()[0],
        "tell application \"System Preferences\"\nactivate\nset current pane to pane \"com.apple.preference.universalaccess\"\nend tell");
    EXPECT_EQ(world.desktop().frontmostApplication(), SimDesktop::kOwnPid);

    NSAlert::queueAnswer(1);
    SWUniversalAccessHelper::complainIfNeeded();
    EXPECT_EQ(NSAlert::shownAlerts().back().response, NSAlertOtherReturn);
    EXPECT_EQ(NSAppleScript::executedScripts().size(), 1u) << "Dismiss runs no script";
}

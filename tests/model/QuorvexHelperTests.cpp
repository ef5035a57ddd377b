#include "support/SimWorld.h"

#include <model/QuorvexHelper.h>

namespace {

const char* kScenario = R"({
  "screens": [ { "frame": [0, 0, 1440, 900] } ],
  "apps": [
    { "pid": 1, "name": "One", "windows": [ { "id": 10, "title": "a", "frame": [0, 30, 400, 300] },
                                            { "id": 11, "title": "b", "frame": [0, 30, 400, 300] } ] },
    { "pid": 2, "name": "Tool", "policy": "accessory", "windows": [ { "id": 20, "title": "c", "frame": [0, 30, 300, 200] } ] },
    { "pid": 3, "name": "Three", "windows": [ { "id": 30, "title": "d", "frame": [0, 30, 300, 200] } ] }
  ] })";

DesktopWindow window(pid_t pid, CGWindowID number)
{
    DesktopWindow w;
    w.pid = pid;
    w.number = number;
    w.title = "w";
    w.frame = CGRectMake(0, 30, 100, 100);
    return w;
}

std::vector<std::string> keys(const QuorvexHelper& helper)
{
    std::vector<std::string> result;
    if (auto table = helper.accessibilityElementsDict())
        for (const auto& [key, element] : *table)
            result.push_back(key);
    return result;
}

}

TEST(QuorvexHelper, RefreshStoresWindowsOfRegularApplicationsOnly)
{
    SimWorld world(kScenario);
    QuorvexHelper helper;
    EXPECT_FALSE(helper.accessibilityElementsDict());
    helper.storeAccessibilityElements();
    EXPECT_EQ(keys(helper), (std::vector<std::string> { "10", "11", "30" }));
}

TEST(QuorvexHelper, AMissingNumberTriggersExactlyOneRefresh)
{
    SimWorld world(kScenario);
    QuorvexHelper helper;
    world.desktop().clearCallLog();
    auto element = helper.getStoredAccessibilityElementForWindowID(30);
    ASSERT_TRUE(element);
    EXPECT_EQ(element->element().window, 30u);
    size_t reads = world.desktop().countCalls("AXUIElementCopyAttributeValue app:");
    EXPECT_EQ(reads, 2u) << "one window-list read per regular application";
    world.desktop().clearCallLog();
    EXPECT_FALSE(helper.getStoredAccessibilityElementForWindowID(99));
    EXPECT_EQ(world.desktop().countCalls("AXUIElementCopyAttributeValue app:"), 2u);
    world.desktop().clearCallLog();
    EXPECT_TRUE(helper.getStoredAccessibilityElementForWindowID(10));
    EXPECT_EQ(world.desktop().countCalls("AXUIElementCopyAttributeValue app:"), 0u) << "a stored number needs no refresh";
}

TEST(QuorvexHelper, ClosedWindowsLeaveAtTheNextCleanUp)
{
    SimWorld world(kScenario);
    QuorvexHelper helper;
    helper.storeAccessibilityElements();
    world.desktop().closeWindow(11);
    EXPECT_EQ(keys(helper).size(), 3u);
    helper.storeAccessibilityElements();
    EXPECT_EQ(keys(helper), (std::vector<std::string> { "10", "30" }));
}

TEST(QuorvexHelper, AStoredEntryIsNeverReplacedWhileItsNumberIsListed)
{
    SimWorld world(kScenario);
    QuorvexHelper helper;
    helper.storeAccessibilityElements();
    // The window server gives number 11 to a new window of another
    // application.
    world.desktop().closeWindow(11);
    world.desktop().openWindow(window(3, 11));
    helper.storeAccessibilityElements();
    auto element = helper.getStoredAccessibilityElementForWindowID(11);
    ASSERT_TRUE(element);
    EXPECT_EQ(element->element().pid, 1) << "the element stored first stays";
}

TEST(QuorvexHelper, LaunchesAndSpaceChangesRefreshTheTable)
{
    SimWorld world(kScenario);
    QuorvexHelper helper;
    DesktopApp app;
    app.pid = 4;
    app.name = "Four";
    world.desktop().launchApplication(app, { window(4, 40) });
    world.settle();
    EXPECT_EQ(keys(helper), (std::vector<std::string> { "10", "11", "30", "40" }));
    auto other = window(4, 41);
    other.space = 2;
    world.desktop().openWindow(other);
    world.settle();
    EXPECT_EQ(keys(helper).size(), 4u) << "a window on another space is not seen through accessibility";
    world.desktop().switchToSpace(2);
    world.settle();
    EXPECT_EQ(keys(helper), (std::vector<std::string> { "10", "11", "30", "40", "41" }));
}

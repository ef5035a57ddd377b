#include "support/SimWorld.h"

#include <services/AXUIElement.h>
#include <services/CGWindow.h>

namespace {

const char* kScenario = R"({
  "screens": [ { "frame": [0, 0, 1440, 900], "visibleFrame": [0, 25, 1440, 875] } ],
  "apps": [
    { "pid": 1, "name": "One", "windows": [
        { "id": 10, "title": "front", "frame": [0, 30, 400, 300] },
        { "id": 11, "title": "mini", "frame": [50, 60, 400, 300], "minimized": true },
        { "id": 12, "title": "desk", "frame": [0, 0, 1440, 900], "layer": -20 },
        { "id": 13, "title": "elsewhere", "frame": [0, 0, 10, 10], "space": 3 } ] },
    { "pid": 2, "name": "Two", "windows": [ { "id": 20, "title": null, "frame": [100, 90, 400, 300] } ] }
  ],
  "order": [10, 20, 11, 12, 13] })";

std::vector<int64_t> numbersOf(const Value& list)
{
    std::vector<int64_t> result;
    for (const auto& entry : *list.array())
        result.push_back(entry[kCGWindowNumber].integerValue());
    return result;
}

}

TEST(AXServices, AttributesArriveAsPlatformValues)
{
    SimWorld world(kScenario);
    auto app = AXUIElementCreateApplication(1);
    Value windows;
    ASSERT_EQ(AXUIElementCopyAttributeValue(app, "AXWindows", &windows), kAXErrorSuccess);
    ASSERT_EQ(windows.count(), 3u) << "the window on another space is not listed";
    auto first = windows.at(0).objectAs<AXUIElement>();
    ASSERT_TRUE(first);
    Value position;
    ASSERT_EQ(AXUIElementCopyAttributeValue(first, "AXPosition", &position), kAXErrorSuccess);
    CGPoint p;
    ASSERT_TRUE(AXValueGetValue(position.objectAs<AXValue>(), kAXValueCGPointType, &p));
    EXPECT_EQ(p, (CGPoint { 0, 30 }));
    CGSize wrong;
    EXPECT_FALSE(AXValueGetValue(position.objectAs<AXValue>(), kAXValueCGSizeType, &wrong)) << "a point is not a size";
    Value minimized;
    AXUIElementCopyAttributeValue(windows.at(1).objectAs<AXUIElement>(), "AXMinimized", &minimized);
    EXPECT_EQ(minimized.type(), Value::Type::Bool);
    EXPECT_TRUE(minimized.boolValue());
    CGWindowID number = 0;
    EXPECT_EQ(_AXUIElementGetWindow(first, &number), kAXErrorSuccess);
    EXPECT_EQ(number, 10u);
    EXPECT_NE(_AXUIElementGetWindow(app, &number), kAXErrorSuccess) << "an application is no window";
}

TEST(AXServices, ElementsCompareByWhatTheyDenote)
{
    SimWorld world(kScenario);
    auto a = AXUIElementCreateApplication(1), b = AXUIElementCreateApplication(1), c = AXUIElementCreateApplication(2);
    EXPECT_TRUE(CFEqual(a, b));
    EXPECT_EQ(CFHash(a), CFHash(b));
    EXPECT_FALSE(CFEqual(a, c));
    EXPECT_FALSE(CFEqual(a, nullptr));
    EXPECT_TRUE(CFEqual(nullptr, nullptr));
}

TEST(AXServices, CopyAttributeValuesTakesARange)
{
    SimWorld world(kScenario);
    auto app = AXUIElementCreateApplication(1);
    Value values;
    ASSERT_EQ(AXUIElementCopyAttributeValues(app, "AXWindows", 1, 2, &values), kAXErrorSuccess);
    ASSERT_EQ(values.count(), 2u);
    CGWindowID n;
    _AXUIElementGetWindow(values.at(0).objectAs<AXUIElement>(), &n);
    EXPECT_EQ(n, 11u);
    EXPECT_EQ(AXUIElementCopyAttributeValues(app, "AXWindows", -1, 2, &values), kAXErrorIllegalArgument);
    EXPECT_EQ(AXUIElementCopyAttributeValues(app, "AXTitle", 0, 2, &values), kAXErrorIllegalArgument) << "not an array";
    CFIndex count = 0;
    EXPECT_EQ(AXUIElementGetAttributeValueCount(app, "AXWindows", &count), kAXErrorSuccess);
    EXPECT_EQ(count, 3);
    world.desktop().switchToSpace(3);
    EXPECT_EQ(AXUIElementGetAttributeValueCount(app, "AXWindows", &count), kAXErrorSuccess);
    EXPECT_EQ(count, 1) << "on space 3 only the window of space 3 is listed";
}

TEST(AXServices, BadArgumentsAndMissingPermissionFailCleanly)
{
    SimWorld world(kScenario);
    Value v;
    EXPECT_EQ(AXUIElementCopyAttributeValue(nullptr, "AXTitle", &v), kAXErrorIllegalArgument);
    EXPECT_EQ(AXUIElementSetAttributeValue(AXUIElementCreateApplication(1), "AXHidden", Value(Value::Array {})), kAXErrorIllegalArgument);
    world.desktop().setAccessibilityTrusted(false);
    EXPECT_EQ(AXUIElementCopyAttributeValue(AXUIElementCreateApplication(1), "AXTitle", &v), kAXErrorAPIDisabled);
    EXPECT_TRUE(v.isNil());
    pid_t pid = 0;
    EXPECT_EQ(AXUIElementGetPid(AXUIElementCreateApplication(1), &pid), kAXErrorSuccess);
    EXPECT_EQ(pid, 1);
    EXPECT_NE(AXUIElementGetPid(AXUIElementCreateSystemWide(), &pid), kAXErrorSuccess);
}

TEST(AXServices, TrustQuestionPromptsOnlyWhenAskedAndUntrusted)
{
    SimWorld world(kScenario);
    EXPECT_TRUE(AXIsProcessTrustedWithOptions(Value(Value::Dictionary { { kAXTrustedCheckOptionPrompt, Value(true) } })));
    EXPECT_EQ(world.desktop().accessibilityPromptCount(), 0);
    world.desktop().setAccessibilityTrusted(false);
    EXPECT_FALSE(AXIsProcessTrustedWithOptions(Value()));
    EXPECT_EQ(world.desktop().accessibilityPromptCount(), 0);
    world.desktop().setGrantOnPrompt(true);
    EXPECT_FALSE(AXIsProcessTrustedWithOptions(Value(Value::Dictionary { { kAXTrustedCheckOptionPrompt, Value(true) } })));
    EXPECT_EQ(world.desktop().accessibilityPromptCount(), 1);
    EXPECT_TRUE(AXIsProcessTrusted()) << "the user granted it at the prompt";
}

TEST(WindowList, OptionsSelectWindowsFrontToBack)
{
    SimWorld world(kScenario);
    EXPECT_EQ(numbersOf(CGWindowListCopyWindowInfo(kCGWindowListOptionAll, 0)), (std::vector<int64_t> { 10, 20, 11, 12, 13 }));
    EXPECT_EQ(numbersOf(CGWindowListCopyWindowInfo(kCGWindowListOptionOnScreenOnly, 0)), (std::vector<int64_t> { 10, 20, 12 }));
    EXPECT_EQ(numbersOf(CGWindowListCopyWindowInfo(kCGWindowListOptionOnScreenOnly | kCGWindowListExcludeDesktopElements, 0)),
        (std::vector<int64_t> { 10, 20 }));
    EXPECT_EQ(numbersOf(CGWindowListCopyWindowInfo(kCGWindowListOptionIncludingWindow, 11)), (std::vector<int64_t> { 11 }));
    EXPECT_EQ(numbersOf(CGWindowListCopyWindowInfo(kCGWindowListOptionOnScreenBelowWindow, 10)), (std::vector<int64_t> { 20, 12 }));
    EXPECT_EQ(numbersOf(CGWindowListCopyWindowInfo(kCGWindowListOptionOnScreenAboveWindow | kCGWindowListOptionIncludingWindow, 20)),
        (std::vector<int64_t> { 10, 20 }));
    EXPECT_TRUE(CGWindowListCopyWindowInfo(kCGWindowListOptionIncludingWindow, 999).count() == 0);
    EXPECT_EQ(CGWindowListCreate(kCGWindowListOptionOnScreenOnly, 0), (std::vector<CGWindowID> { 10, 20, 12 }));
}

TEST(WindowList, EntriesCarryTheWindowServerKeys)
{
    SimWorld world(kScenario);
    Value list = CGWindowListCopyWindowInfo(kCGWindowListOptionOnScreenOnly, 0);
    const Value& front = list.at(0);
    EXPECT_EQ(front[kCGWindowOwnerPID].integerValue(), 1);
    EXPECT_EQ(front[kCGWindowOwnerName].stringValue(), "One");
    EXPECT_EQ(front[kCGWindowName].stringValue(), "front");
    EXPECT_EQ(front[kCGWindowLayer].integerValue(), 0);
    EXPECT_DOUBLE_EQ(front[kCGWindowAlpha].doubleValue(), 1.0);
    EXPECT_DOUBLE_EQ(front[kCGWindowBounds]["Y"].doubleValue(), 30);
    EXPECT_DOUBLE_EQ(front[kCGWindowBounds]["Width"].doubleValue(), 400);
    EXPECT_TRUE(list.at(1)[kCGWindowName].isNil()) << "a window without a title has no name";
}

TEST(WindowList, NamesNeedScreenRecordingExceptForTheProcesssOwnWindows)
{
    SimWorld world(kScenario);
    DesktopWindow own;
    own.title = "Panel";
    own.frame = CGRectMake(10, 10, 100, 100);
    CGWindowID panel = world.desktop().registerOwnWindow(own);
    world.desktop().orderOwnWindow(panel, true);
    world.desktop().setScreenRecordingGranted(false);
    Value list = CGWindowListCopyWindowInfo(kCGWindowListOptionOnScreenOnly, 0);
    ASSERT_EQ(list.at(0)[kCGWindowNumber].integerValue(), panel);
    EXPECT_EQ(list.at(0)[kCGWindowName].stringValue(), "Panel");
    EXPECT_TRUE(list.at(1)[kCGWindowName].isNil());
    EXPECT_EQ(list.at(1)[kCGWindowOwnerName].stringValue(), "One") << "owner names stay visible";
}

TEST(DisplayServices, DisplaysWithinARectangleAndProbes)
{
    SimWorld world(kScenario);
    world.desktop().addScreen(CGRectMake(1440, 0, 1920, 1080), CGRectMake(1440, 25, 1920, 1055));
    CGDirectDisplayID displays[4];
    uint32_t count = 0;
    EXPECT_EQ(CGGetDisplaysWithRect(CGRectMake(1400, 100, 100, 100), 4, displays, &count), kCGErrorSuccess);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(CGGetDisplaysWithRect(CGRectMake(1400, 100, 100, 100), 1, displays, &count), kCGErrorSuccess);
    EXPECT_EQ(count, 1u) << "never more than asked for";
    EXPECT_EQ(CGGetDisplaysWithRect(CGRectMake(5000, 0, 10, 10), 4, displays, &count), kCGErrorSuccess);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(IOServiceRequestProbe(CGDisplayIOServicePort(CGMainDisplayID()), kIOFBSetTransform), KERN_SUCCESS);
    EXPECT_NE(IOServiceRequestProbe(CGDisplayIOServicePort(77), kIOFBSetTransform), KERN_SUCCESS);
    EXPECT_EQ(world.desktop().probeRequests().size(), 1u);
}

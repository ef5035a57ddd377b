#include "support/SimWorld.h"

#include <model/SWAccessibilityElement.h>
#include <model/SWSystemWideElement.h>

namespace {

const char* kScenario = R"({
  "screens": [ { "frame": [0, 0, 1440, 900], "visibleFrame": [0, 25, 1440, 875] } ],
  "apps": [
    { "pid": 1, "name": "One", "windows": [
        { "id": 10, "title": "resizable", "frame": [100, 100, 400, 300] },
        { "id": 11, "title": "fixed", "frame": [200, 200, 300, 200], "resizable": false } ] }
  ] })";

// A subclass, as the window and application records are.
class SubRecord final : public SWAccessibilityElement {
public:
    using SWAccessibilityElement::SWAccessibilityElement;

protected:
    bool isKindOfReceiverClass(const NSObject* other) const override { return dynamic_cast<const SubRecord*>(other); }
};

AXUIElementRef windowElement(pid_t pid, CGWindowID number)
{
    return makeRef<AXUIElement>(DesktopElement { DesktopElement::Kind::Window, pid, number });
}

Ref<SWAccessibilityElement> record(CGWindowID number) { return SWAccessibilityElement::elementWithAXElement(windowElement(1, number)); }

std::vector<std::string> setCalls(SimDesktop& d)
{
    std::vector<std::string> result;
    for (const auto& line : d.callLog())
        if (line.rfind("AXUIElementSetAttributeValue", 0) == 0)
            result.push_back(line.substr(std::string("AXUIElementSetAttributeValue ").size()));
    return result;
}

}

TEST(SWAccessibilityElement, EqualityFollowsTheElementAndTheReceiversClass)
{
    SimWorld world(kScenario);
    auto a = record(10), b = record(10), other = record(11);
    EXPECT_TRUE(a->isEqual(b.get()));
    EXPECT_EQ(a->hash(), b->hash());
    EXPECT_FALSE(a->isEqual(other.get()));
    EXPECT_FALSE(a->isEqual(nullptr));

    auto sub = makeRef<SubRecord>(windowElement(1, 10));
    EXPECT_TRUE(a->isEqual(sub.get())) << "the base record accepts a subclass record";
    EXPECT_FALSE(sub->isEqual(a.get())) << "the subclass record refuses a base record";

    auto copy = sub->copy();
    EXPECT_TRUE(a->isEqual(copy.get()));
    EXPECT_FALSE(SWAccessibilityElement::elementWithAXElement(nullptr)) << "no record without an element";
}

TEST(SWAccessibilityElement, TypedReadsAnswerOnlyTheirType)
{
    SimWorld world(kScenario);
    auto w = record(10);
    EXPECT_EQ(w->stringForKey("AXTitle"), std::optional<std::string>("resizable"));
    EXPECT_FALSE(w->stringForKey("AXMinimized")) << "a boolean is no string";
    EXPECT_FALSE(w->stringForKey("AXNoSuchThing"));
    EXPECT_EQ(w->numberForKey("AXMinimized"), Value(false));
    EXPECT_TRUE(w->numberForKey("AXTitle").isNil());
    EXPECT_TRUE(w->arrayForKey("AXTitle").isNil());
    EXPECT_EQ(w->processIdentifier(), 1);
    EXPECT_EQ(SWSystemWideElement::systemWideElement()->processIdentifier(), -1);
    EXPECT_NE(w->description().find("<Title: resizable> <pid: 1>"), std::string::npos) << w->description();
}

TEST(SWAccessibilityElement, ArrayReadsStopAtOneHundredAndEmptyMeansNil)
{
    SimWorld world(SimWorld::emptyScenario());
    DesktopApp app;
    app.pid = 9;
    app.name = "Many";
    std::vector<DesktopWindow> windows(150);
    for (size_t i = 0; i < windows.size(); ++i) {
        windows[i].title = "w" + std::to_string(i);
        windows[i].frame = CGRectMake(0, 0, 100, 100);
    }
    world.desktop().launchApplication(app, windows);
    auto many = SWAccessibilityElement::elementWithAXElement(AXUIElementCreateApplication(9));
    Value list = many->arrayForKey("AXWindows");
    ASSERT_EQ(list.count(), 100u);
    auto first = SWAccessibilityElement::elementWithAXElement(list.at(0).objectAs<AXUIElement>());
    EXPECT_EQ(first->stringForKey("AXTitle"), std::optional<std::string>("w0"));

    app.pid = 10;
    world.desktop().launchApplication(app, {});
    EXPECT_TRUE(SWAccessibilityElement::elementWithAXElement(AXUIElementCreateApplication(10))->arrayForKey("AXWindows").isNil());
}

TEST(SWAccessibilityElement, ElementReadsGiveBaseRecords)
{
    SimWorld world(kScenario);
    auto sub = makeRef<SubRecord>(windowElement(1, 10));
    auto button = sub->elementForKey("AXCloseButton");
    ASSERT_TRUE(button);
    EXPECT_EQ(typeid(*button), typeid(SWAccessibilityElement));
    EXPECT_EQ(button->stringForKey("AXSubrole"), std::optional<std::string>("AXCloseButton"));
    EXPECT_FALSE(sub->elementForKey("AXTitle"));
}

TEST(SWAccessibilityElement, SizeChangesBelowTheThresholdAreIgnored)
{
    SimWorld world(kScenario);
    auto w = record(10);
    EXPECT_EQ(w->frame(), CGRectMake(100, 100, 400, 300));

    world.desktop().clearCallLog();
    w->setFrame(CGRectMake(100, 100, 424, 324));
    EXPECT_TRUE(setCalls(world.desktop()).empty()) << "24 points in both dimensions set nothing";

    w->setFrame(CGRectMake(100, 100, 425, 300));
    EXPECT_EQ(setCalls(world.desktop()), (std::vector<std::string> { "window:10 AXSize" })) << "25 points in one dimension are applied";
    EXPECT_EQ(w->frame(), CGRectMake(100, 100, 425, 300));

    world.desktop().clearCallLog();
    w->setFrame(CGRectMake(300, 120, 400, 300));
    EXPECT_EQ(setCalls(world.desktop()), (std::vector<std::string> { "window:10 AXSize", "window:10 AXPosition" }))
        << "the second size setting finds the size already right";
    EXPECT_EQ(w->frame(), CGRectMake(300, 120, 400, 300));

    world.desktop().clearCallLog();
    w->setFrame(w->frame());
    EXPECT_TRUE(setCalls(world.desktop()).empty()) << "the current frame sets nothing";
}

TEST(SWAccessibilityElement, ANonResizableWindowIsMovedButNeverSized)
{
    SimWorld world(kScenario);
    auto w = record(11);
    EXPECT_FALSE(w->isResizable());
    EXPECT_TRUE(w->isMovable());
    world.desktop().clearCallLog();
    w->setFrame(CGRectMake(0, 30, 800, 600));
    EXPECT_EQ(setCalls(world.desktop()), (std::vector<std::string> { "window:11 AXPosition" }));
    EXPECT_EQ(w->frame(), CGRectMake(0, 30, 300, 200));
}

TEST(SWAccessibilityElement, AnUnreadablePositionGivesTheNullFrame)
{
    SimWorld world(kScenario);
    auto w = record(10);
    world.desktop().failWindowAttribute(10, "AXPosition", kAXErrorCannotComplete);
    EXPECT_TRUE(CGRectIsNull(w->frame()));
    world.desktop().clearCallLog();
    w->setFrame(CGRectMake(10, 40, 100, 100));
    EXPECT_EQ(setCalls(world.desktop()),
        (std::vector<std::string> { "window:10 AXSize", "window:10 AXPosition", "window:10 AXSize" }));
    world.desktop().failWindowAttribute(10, "AXPosition", kAXErrorSuccess);
    EXPECT_EQ(w->frame(), CGRectMake(10, 40, 100, 100));
}

TEST(SWAccessibilityElement, AVanishedElementReadsAsNothing)
{
    SimWorld world(kScenario);
    auto w = record(10);
    world.desktop().vanishWindowElement(10);
    EXPECT_FALSE(w->stringForKey("AXTitle"));
    EXPECT_TRUE(CGRectIsNull(w->frame()));
    EXPECT_FALSE(w->isResizable());
    w->setFrame(CGRectMake(0, 0, 10, 10));
    EXPECT_EQ(world.desktop().window(10)->frame, CGRectMake(100, 100, 400, 300));
}

TEST(SWSystemWideElement, OneSharedRecordOnTheSystemWideElement)
{
    SimWorld world(kScenario);
    auto shared = SWSystemWideElement::systemWideElement();
    EXPECT_EQ(shared, SWSystemWideElement::systemWideElement());
    auto app = shared->elementForKey("AXFocusedApplication");
    ASSERT_TRUE(app);
    EXPECT_EQ(app->processIdentifier(), 1);
    EXPECT_TRUE(shared->isEqual(shared->copy().get()));
}

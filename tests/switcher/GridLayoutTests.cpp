#include "GridHarness.h"

#include <foundation/NSNotificationCenter.h>

namespace {

Value keyCodeData(int64_t keyCode) { return Value(Value::Dictionary { { "KeyCode", Value(keyCode) } }); }

}

// MARK: Size

TEST(GridLayout, ContentSizeFollowsTheWindowCount)
{
    const std::pair<int, CGSize> cases[] = {
        { 0, { 40, 208 } },
        { 1, { 320, 208 } },
        { 4, { 1160, 208 } },
        { 5, { 1160, 416 } },
        { 8, { 1160, 416 } },
        { 9, { 1160, 624 } },
    };
    for (const auto& [count, size] : cases) {
        SimWorld world(scenarioWithWindows(count));
        DefaultsSandbox sandbox;
        GridHarness harness(world, count);
        harness.attach();
        EXPECT_EQ(harness.grid->getContentSize(), size) << count << " windows";
    }
}

TEST(GridLayout, AGridAsTallAsTheUsableHeightIsCutShortOfIt)
{
    // Thirteen windows make four rows, 832 points: as tall as the usable
    // height, so the grid is cut to 100 points less.
    SimWorld world(scenarioWithWindows(13, 832));
    DefaultsSandbox sandbox;
    GridHarness harness(world, 13);
    harness.grid->view();
    harness.grid->setArrayController(harness.list);
    EXPECT_EQ(harness.grid->getContentSize(), CGSizeMake(1160, 832)) << "no screen yet: nothing to cut to";
    harness.attach();
    harness.panel->setFrame(CGRectMake(100, 100, 400, 300), false);
    EXPECT_EQ(harness.grid->getContentSize(), CGSizeMake(1160, 732));

    harness.list->removeObject(Value(harness.windows.back()));
    EXPECT_EQ(harness.grid->getContentSize(), CGSizeMake(1160, 624)) << "three rows fit";
}

TEST(GridLayout, FullScreenModeTakesTheScreensSize)
{
    SimWorld world(scenarioWithWindows(3));
    DefaultsSandbox sandbox;
    sandbox.defaults()->setBool(true, "FullScreenMode");
    GridHarness harness(world, 3);
    EXPECT_EQ(harness.grid->getContentSize(), CGSizeZero) << "no window, no screen";
    harness.attach();
    harness.panel->setFrame(CGRectMake(100, 100, 400, 300), false);
    EXPECT_EQ(harness.grid->getContentSize(), CGSizeMake(1440, 900));
}

// MARK: Selection

namespace {

struct GridSelection : public ::testing::Test {
    SimWorld world { scenarioWithWindows(5) };
    DefaultsSandbox sandbox;
    GridHarness harness { world, 5 };
};

}

TEST_F(GridSelection, TheFirstSelectionIsTheSecondWindow)
{
    harness.show();
    EXPECT_EQ(harness.selection(), 1u);
    EXPECT_TRUE(harness.cell(1)->isSelected()) << "the selection reaches the cell";
    EXPECT_TRUE(harness.grid->hasKeyDownMonitor());

    harness.list->setContent(Value(Value::Array { Value(harness.windows[0]) }));
    harness.grid->selectSecond();
    EXPECT_EQ(harness.selection(), 0u);
    harness.list->setContent(Value(Value::Array {}));
    harness.grid->selectSecond();
    EXPECT_EQ(harness.selection(), NSNotFound);
    harness.grid->selectNext();
    harness.grid->selectPrev();
    EXPECT_EQ(harness.selection(), NSNotFound);
    EXPECT_TRUE(harness.grid->selectUpForEvent(nullptr) == nullptr);
    auto event = NSEvent::keyEventWithKeyCode(NSEventTypeKeyDown, kVK_UpArrow);
    EXPECT_EQ(harness.grid->selectUpForEvent(event), event) << "an empty list passes the key on";
    EXPECT_EQ(harness.grid->selectDownForEvent(event), event);
}

TEST_F(GridSelection, ArrowKeysStepAndWrapWhileThePanelIsKey)
{
    harness.show();
    ASSERT_EQ(harness.selection(), 1u);
    for (NSUInteger expected : { 2u, 3u, 4u, 0u }) {
        harness.key(kVK_RightArrow);
        EXPECT_EQ(harness.selection(), expected);
    }
    harness.key(kVK_LeftArrow);
    EXPECT_EQ(harness.selection(), 4u) << "left from the first entry wraps to the last";
    harness.key(kVK_UpArrow);
    EXPECT_EQ(harness.selection(), 0u) << "up a row";
    harness.key(kVK_UpArrow);
    EXPECT_EQ(harness.selection(), 4u) << "up from the first row falls back to the previous entry";
    harness.list->setSelectionIndex(2);
    harness.key(kVK_UpArrow);
    EXPECT_EQ(harness.selection(), 1u);
    harness.key(kVK_DownArrow);
    EXPECT_EQ(harness.selection(), 2u) << "no entry below: the next one";
    harness.list->setSelectionIndex(0);
    harness.key(kVK_DownArrow);
    EXPECT_EQ(harness.selection(), 4u) << "down a row";
    harness.key(kVK_DownArrow);
    EXPECT_EQ(harness.selection(), 0u) << "past the last row: the next entry, wrapping";

    // With nothing selected neither arrow counts rows from the missing index.
    for (uint16_t arrow : { kVK_DownArrow, kVK_UpArrow }) {
        harness.list->setSelectionIndex(NSNotFound);
        harness.key(arrow);
        EXPECT_EQ(harness.selection(), arrow == kVK_DownArrow ? 0u : 4u)
            << (arrow == kVK_DownArrow ? "down: the next entry, the first" : "up: the previous entry, the last");
    }

    // Other keys pass through to the panel.
    int passed = 0;
    auto counter
        = NSEvent::addLocalMonitorForEventsMatchingMask(NSEventMaskKeyDown, [&](const Ref<NSEvent>& e) {
              ++passed;
              return e;
          });
    harness.key(kVK_RightArrow);
    harness.key(kVK_Return);
    EXPECT_EQ(passed, 1) << "the grid uses the arrow and passes Return on";
}

TEST_F(GridSelection, WithoutThePanelKeyTheHotkeyPicksTheSecondEntry)
{
    harness.attach();
    harness.list->setSelectionIndex(3);
    harness.grid->selectNext();
    EXPECT_EQ(harness.selection(), 1u);
    harness.list->setContent(Value(Value::Array { Value(harness.windows[0]), Value(harness.windows[1]) }));
    harness.grid->selectNext();
    EXPECT_EQ(harness.selection(), 0u);
}

TEST_F(GridSelection, ControlArrowsFromTheBusActOnlyWhileThePanelIsVisible)
{
    harness.show();
    auto& bus = EBEventful::sharedInstance();
    // Subscribing again must not make each key count twice.
    harness.grid->startMonitoringControlKeysEvent();
    bus.sendEvent(ControlArrowKeyEvent, nullptr, keyCodeData(kVK_RightArrow));
    EXPECT_EQ(harness.selection(), 2u);
    bus.sendEvent(ControlArrowKeyEvent, nullptr, keyCodeData(kVK_DownArrow | 0x10000));
    EXPECT_EQ(harness.selection(), 3u) << "only the low 16 bits are the key code; no row below, so the next";
    bus.sendEvent(ControlArrowKeyEvent, nullptr, keyCodeData(kVK_Return));
    EXPECT_EQ(harness.selection(), 3u);

    harness.hide();
    EXPECT_FALSE(harness.grid->hasKeyDownMonitor());
    harness.grid->startMonitoringControlKeysEvent();
    bus.sendEvent(ControlArrowKeyEvent, nullptr, keyCodeData(kVK_LeftArrow));
    EXPECT_EQ(harness.selection(), 3u) << "the panel is hidden";
}

TEST(GridLayout, UpAndDownStepByTheColumnsTheGridShows)
{
    // Full screen: the panel is as wide as the screen and the grid shows
    // five columns, not the four it is sized for otherwise.
    SimWorld world(scenarioWithWindows(12));
    DefaultsSandbox sandbox;
    sandbox.defaults()->setBool(true, "FullScreenMode");
    GridHarness harness(world, 12);
    harness.show(0);
    ASSERT_EQ(harness.grid->collectionView()->numberOfColumns(), 5u);
    EXPECT_EQ(harness.grid->columnCount(), 5u);
    harness.key(kVK_DownArrow);
    EXPECT_EQ(harness.selection(), 6u) << "straight down from the second cell";
    harness.key(kVK_UpArrow);
    EXPECT_EQ(harness.selection(), 1u);
}

TEST_F(GridSelection, TheHoveredWindowIsSelectedOnlyWhileThePanelIsVisible)
{
    harness.show();
    auto& center = NSNotificationCenter::defaultCenter();
    center.postNotificationName("SelectedObject", harness.windows[3]);
    EXPECT_EQ(harness.selection(), 3u);
    center.postNotificationName("SelectedObject", windowRecord(100));
    EXPECT_EQ(harness.selection(), 0u) << "records of one window are equal";
    center.postNotificationName("SelectedObject", windowRecord(150));
    EXPECT_EQ(harness.selection(), 0u) << "a window not in the list";

    // Showing again adds no second observer.
    harness.hide();
    harness.show();
    EXPECT_EQ(center.observerCount("SelectedObject"), 1u);
    EXPECT_EQ(center.observerCount("QuickReload"), 1u);
    harness.hide();
    center.postNotificationName("SelectedObject", harness.windows[4]);
    EXPECT_NE(harness.selection(), 4u);
}

TEST_F(GridSelection, ModifierChangesGoOnToThePanel)
{
    harness.show();
    struct Recorder : public NSResponder {
        int changes { 0 };
        void flagsChanged(const Ref<NSEvent>&) override { ++changes; }
    };
    auto recorder = makeRef<Recorder>();
    harness.panel->setNextResponder(recorder);
    harness.grid->flagsChanged(NSEvent::flagsChangedEventWithModifierFlags(0));
    EXPECT_EQ(recorder->changes, 1);
}

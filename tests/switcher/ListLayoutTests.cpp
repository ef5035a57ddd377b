#include "LayoutHarness.h"

#include <appkit/NSImageView.h>
#include <appkit/NSScrollView.h>
#include <appkit/NSTextField.h>
#include <switcher/SwitcherLayoutRegistry.h>
#include <switcher/TableViewController.h>

namespace {

using ListHarness = LayoutHarness<TableViewController>;

Value keyCodeData(int64_t keyCode) { return Value(Value::Dictionary { { "KeyCode", Value(keyCode) } }); }

struct ListLayout : public ::testing::Test {
    explicit ListLayout(int windows = 5, double usableHeight = 875)
        : world(scenarioWithWindows(windows, usableHeight))
        , harness(world, windows, makeTableViewController())
    {
    }
    Ref<NSTableView> table() const { return harness.layout->tableView(); }
    // A point of a row (its own coordinates, from the row's top-left) on
    // the screen.
    CGPoint screenPointInRow(long row, CGPoint point) const
    {
        auto table = this->table();
        CGRect r = table->rectOfRow(row);
        CGPoint base = table->convertPointToView({ r.origin.x + point.x, r.origin.y + point.y }, nullptr);
        return harness.panel->convertPointToScreen(base);
    }

    // Moves the pointer to a point of a row as a person does, in two
    // small steps: the first may only enter the list.
    void pointAt(long row, CGPoint point)
    {
        harness.moveMouse(screenPointInRow(row, { point.x - 1, point.y }));
        harness.moveMouse(screenPointInRow(row, point));
    }

    SimWorld world;
    DefaultsSandbox sandbox;
    ListHarness harness;
};

struct LongList : public ListLayout {
    LongList()
        : ListLayout(40)
    {
    }
};

}

TEST(ListLayoutRegistry, BothListCodesMakeAList)
{
    for (SwitcherLayout code : { SwitcherLayoutList, SwitcherLayoutListWithoutSecondColumn }) {
        auto controller = SwitcherLayoutRegistry::makeLayout(code);
        EXPECT_TRUE(std::dynamic_pointer_cast<TableViewController>(controller)) << code;
    }
}

// MARK: Size

TEST_F(ListLayout, RowsAreThirtyPointsHighAndTheListEightHundredWide)
{
    harness.attach();
    harness.panel->setFrame(CGRectMake(100, 100, 400, 300), false);
    EXPECT_EQ(harness.layout->getContentSize(), CGSizeMake(800, 150));
    harness.list->setContent(Value(Value::Array {}));
    EXPECT_EQ(harness.layout->getContentSize(), CGSizeMake(800, 0)) << "an empty list";

    sandbox.defaults()->setBool(true, "FullScreenMode");
    EXPECT_EQ(harness.layout->getContentSize(), CGSizeMake(1440, 900));
}

TEST_F(LongList, AListTallerThanTheScreenIsCutAndScrollsToTheSelection)
{
    auto lonely = makeTableViewController();
    lonely->setArrayController(harness.list);
    EXPECT_EQ(lonely->getContentSize(), CGSizeMake(800, 1200)) << "no screen yet: nothing to cut to";

    harness.show();
    EXPECT_EQ(harness.layout->getContentSize(), CGSizeMake(800, 875 - 60));
    auto scroll = table()->enclosingScrollView();
    ASSERT_TRUE(scroll);
    EXPECT_TRUE(CGRectContainsRect(scroll->documentVisibleRect(), table()->rectOfRow(1)));
    EXPECT_TRUE(table()->viewAtColumn(0, 1));
    EXPECT_FALSE(table()->viewAtColumn(0, 39)) << "rows that do not show have no cells yet";

    harness.key(kVK_UpArrow);
    harness.key(kVK_UpArrow);
    ASSERT_EQ(harness.selection(), 39u) << "up from the first row wraps to the last";
    EXPECT_TRUE(CGRectContainsRect(scroll->documentVisibleRect(), table()->rectOfRow(39)))
        << "the table scrolls to the selected row";
    auto last = std::dynamic_pointer_cast<NSTableCellView>(table()->viewAtColumn(0, 39));
    ASSERT_TRUE(last && last->textField) << "a row that scrolls into view gets its cells";
    EXPECT_EQ(last->textField->stringValue(), "Window 39");
    EXPECT_FALSE(table()->viewAtColumn(0, 0)) << "and one that leaves loses them";
    harness.key(kVK_DownArrow);
    EXPECT_EQ(harness.selection(), 0u) << "down from the last row wraps to the first";
    EXPECT_TRUE(CGRectContainsRect(scroll->documentVisibleRect(), table()->rectOfRow(0)));
}

// MARK: Selection

TEST_F(ListLayout, TheHotkeyAndTheArrowsStepAndWrap)
{
    harness.show();
    EXPECT_EQ(harness.selection(), 1u);
    EXPECT_EQ(table()->selectedRow(), 1) << "the selection reaches the table";
    for (NSUInteger expected : { 2u, 3u, 4u, 0u }) {
        harness.layout->selectNext();
        EXPECT_EQ(harness.selection(), expected);
    }
    harness.layout->selectPrev();
    EXPECT_EQ(harness.selection(), 4u);
    harness.key(kVK_UpArrow);
    EXPECT_EQ(harness.selection(), 3u);
    harness.key(kVK_DownArrow);
    EXPECT_EQ(harness.selection(), 4u);

    // With nothing selected, back goes to the last row and forward to the
    // first, never past the end of the list.
    harness.list->setSelectionIndex(NSNotFound);
    harness.layout->selectPrev();
    EXPECT_EQ(harness.selection(), 4u);
    harness.list->setSelectionIndex(NSNotFound);
    harness.layout->selectNext();
    EXPECT_EQ(harness.selection(), 0u);

    harness.list->setContent(Value(Value::Array { Value(harness.windows[0]) }));
    harness.layout->selectSecond();
    EXPECT_EQ(harness.selection(), 0u) << "one window selects itself";
}

TEST_F(ListLayout, AnEmptyListSelectsNothingAndPassesUpOn)
{
    harness.show();
    harness.list->setContent(Value(Value::Array {}));
    for (auto step : { &TableViewController::selectSecond, &TableViewController::selectNext,
             &TableViewController::selectPrev }) {
        (harness.layout.get()->*step)();
        EXPECT_EQ(harness.selection(), NSNotFound);
    }
    auto up = NSEvent::keyEventWithKeyCode(NSEventTypeKeyDown, kVK_UpArrow);
    EXPECT_EQ(harness.layout->selectUpForEvent(up), up);
    auto down = NSEvent::keyEventWithKeyCode(NSEventTypeKeyDown, kVK_DownArrow);
    EXPECT_EQ(harness.layout->selectDownForEvent(down), nullptr);
    EXPECT_EQ(harness.selection(), NSNotFound);
}

// MARK: Moving windows

TEST_F(ListLayout, LeftAndRightMoveTheSelectedWindowAndKeepTheSelection)
{
    harness.show();
    ASSERT_EQ(harness.selection(), 1u);
    harness.key(kVK_LeftArrow);
    EXPECT_EQ(harness.selection(), 1u);
    CGRect left = harness.desktopFrame(1);
    EXPECT_EQ(left.origin.x, 0);
    EXPECT_EQ(left.size.width, 720);
    EXPECT_EQ(harness.desktopFrame(0), CGRectMake(40, 60, 600, 400)) << "other windows stay";

    harness.key(kVK_RightArrow);
    EXPECT_EQ(harness.desktopFrame(1).origin.x, 720);
    EXPECT_EQ(harness.desktopFrame(1).size.width, 720);
    EXPECT_EQ(harness.selection(), 1u);
}

TEST_F(ListLayout, ControlArrowsFromTheBusActOnlyWhileThePanelIsVisible)
{
    harness.show();
    auto& bus = EBEventful::sharedInstance();
    bus.sendEvent(ControlArrowKeyEvent, nullptr, keyCodeData(kVK_DownArrow | 0x10000));
    EXPECT_EQ(harness.selection(), 2u) << "the key code is cut to 16 bits";
    bus.sendEvent(ControlArrowKeyEvent, nullptr, keyCodeData(kVK_UpArrow));
    EXPECT_EQ(harness.selection(), 1u);
    bus.sendEvent(ControlArrowKeyEvent, nullptr, keyCodeData(kVK_LeftArrow));
    EXPECT_EQ(harness.desktopFrame(1).origin.x, 0);

    harness.hide();
    bus.sendEvent(ControlArrowKeyEvent, nullptr, keyCodeData(kVK_RightArrow));
    EXPECT_EQ(harness.desktopFrame(1).origin.x, 0) << "a hidden panel moves nothing";
    bus.sendEvent(ControlArrowKeyEvent, nullptr, keyCodeData(kVK_DownArrow));
    EXPECT_EQ(harness.selection(), 1u);
    EXPECT_FALSE(harness.layout->hasKeyDownMonitor()) << "the key monitor goes with the view";
    harness.key(kVK_DownArrow);
    EXPECT_EQ(harness.selection(), 1u);
}

// MARK: Appearance

TEST_F(ListLayout, LayoutTypeTwoHidesTheSecondColumnUntilTheNextAppearance)
{
    sandbox.defaults()->setInteger(SwitcherLayoutListWithoutSecondColumn, "LayoutType");
    harness.show();
    auto columns = table()->tableColumns();
    ASSERT_EQ(columns.size(), 2u);
    EXPECT_TRUE(columns[1]->isHidden());
    EXPECT_EQ(table()->viewAtColumn(1, 0), nullptr);
    EXPECT_EQ(table()->rectOfColumn(0).size.width, 800) << "the first column takes the whole row";

    sandbox.defaults()->setInteger(SwitcherLayoutList, "LayoutType");
    EXPECT_TRUE(columns[1]->isHidden()) << "only a new appearance looks again";
    harness.hide();
    harness.show();
    EXPECT_FALSE(columns[1]->isHidden());
    auto cell = std::dynamic_pointer_cast<NSTableCellView>(table()->viewAtColumn(1, 2));
    ASSERT_TRUE(cell && cell->textField);
    EXPECT_EQ(cell->textField->stringValue(), "App 2");
}

TEST_F(ListLayout, RowsShowTheWindowInTheThemesTextColour)
{
    harness.show();
    auto cell = std::dynamic_pointer_cast<NSTableCellView>(table()->viewAtColumn(0, 3));
    ASSERT_TRUE(cell && cell->textField && cell->imageView);
    EXPECT_EQ(cell->textField->stringValue(), "Window 3");
    EXPECT_TRUE(cell->imageView->image()) << "the application's icon";
    EXPECT_EQ(cell->textField->textColor(), NSColor::blackColor()) << "the light theme";

    harness.hide();
    sandbox.defaults()->setInteger(SwitcherThemeUltraDark, "ThemeIndex");
    harness.show();
    EXPECT_EQ(cell->textField->textColor(), NSColor::whiteColor()) << "rows already made follow the theme";
}

TEST_F(ListLayout, ARowsTextIsCentredOnItsIcon)
{
    // The light theme: black text on the white panel. Row 3 is not the
    // selected one.
    harness.show();
    auto cell = std::dynamic_pointer_cast<NSTableCellView>(table()->viewAtColumn(0, 3));
    ASSERT_TRUE(cell && cell->textField && cell->imageView);
    auto picture = harness.panel->renderedImage();
    CGRect icon = cell->imageView->convertRectToView(cell->imageView->bounds(), nullptr);
    CGRect text = cell->textField->convertRectToView(cell->textField->bounds(), nullptr);
    // The ink of "Window 3" (capitals and digits, nothing below the line),
    // over the row's height, in the window's pixels from the bottom.
    CGRect row = cell->convertRectToView(cell->bounds(), nullptr);
    double top = -1, bottom = -1;
    for (int y = static_cast<int>(CGRectGetMinY(row)); y < static_cast<int>(CGRectGetMaxY(row)); ++y)
        for (int x = static_cast<int>(CGRectGetMinX(text)); x < static_cast<int>(CGRectGetMinX(text)) + 60; ++x) {
            Pixel p = pixelAtBase(picture, { x + 0.5, y + 0.5 });
            if (p.r + p.g + p.b < 3 * 110) {
                bottom = bottom < 0 ? y : bottom;
                top = y + 1;
                break;
            }
        }
    ASSERT_GT(top, bottom);
    // The line of text is centred on the icon; the ink of "Window 3" rises
    // a little above the middle of its line (capitals and the d stand above
    // the small letters), so its middle may lie up to a pixel and a half
    // higher, never the three or four of a label taller than its text.
    EXPECT_NEAR(CGRectGetMidY(text), CGRectGetMidY(icon), 0.5);
    EXPECT_NEAR((top + bottom) / 2, CGRectGetMidY(icon), 1.5);
}

// MARK: Mouse and list changes

TEST_F(ListLayout, ThePointerSelectsTheRowUnderIt)
{
    harness.show();
    pointAt(3, { 100, 15 });
    EXPECT_EQ(harness.selection(), 3u);
    EXPECT_EQ(table()->selectedRowIndexes()->count(), 1u) << "the row replaces the selection";
    pointAt(4, { 300, 35 });
    EXPECT_EQ(harness.selection(), 3u) << "below the last row nothing changes";
    pointAt(0, { 700, 5 });
    EXPECT_EQ(harness.selection(), 0u);
}

TEST_F(ListLayout, AWindowListChangeRearrangesTheListALittleLaterWhileVisible)
{
    harness.list->setSortDescriptors({ NSSortDescriptor::sortDescriptorWithKey("sortOrder", true) });
    harness.show();
    auto first = [&] { return harness.list->arrangedObjects().front().objectAs<SWWindow>(); };
    auto& bus = EBEventful::sharedInstance();

    harness.windows[4]->setSortOrder(0);
    for (size_t i = 0; i < 4; ++i)
        harness.windows[i]->setSortOrder(i + 1);
    bus.sendEvent(WindowListChangedEvent, nullptr, Value());
    world.advance(TableViewController::kReloadDelay / 2);
    EXPECT_NE(first(), harness.windows[4]);
    world.advance(TableViewController::kReloadDelay);
    EXPECT_EQ(first(), harness.windows[4]);

    harness.hide();
    harness.windows[4]->setSortOrder(9);
    bus.sendEvent(WindowListChangedEvent, nullptr, Value());
    world.advance(1);
    EXPECT_EQ(first(), harness.windows[4]) << "a hidden list is left alone";
}

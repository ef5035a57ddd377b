#include "AppKitTestSupport.h"

#include <support/SimWorld.h>

#include <appkit/NSArrayController.h>
#include <appkit/NSCollectionView.h>
#include <appkit/NSNib.h>
#include <appkit/NSScrollView.h>
#include <appkit/NSTableView.h>
#include <appkit/NSTextField.h>

namespace {

class Entry : public NSObject {
public:
    explicit Entry(std::string title)
        : m_title(std::move(title))
    {
    }
    Value valueForKey(const std::string& key) const override
    {
        return key == "title" ? Value(m_title) : NSObject::valueForKey(key);
    }

private:
    std::string m_title;
};

Value::Array entries(int n)
{
    Value::Array list;
    for (int i = 0; i < n; ++i)
        list.push_back(Value(makeRef<Entry>("Entry " + std::to_string(i))));
    return list;
}

class Cell : public NSCollectionViewItem {
public:
    Cell()
        : NSCollectionViewItem("TestGridCell")
    {
    }
    Ref<NSCollectionViewItem> copyItem() const override { return makeRef<Cell>(); }
    std::vector<bool> selections;
    void setSelected(bool flag) override
    {
        NSCollectionViewItem::setSelected(flag);
        selections.push_back(flag);
    }
};

class GridDelegate : public NSObject, public NSCollectionViewDelegate {
public:
    std::vector<std::string> calls;
    void collectionViewDidSelectItemsAtIndexPaths(NSCollectionView&, const std::set<NSIndexPath>& paths) override
    {
        calls.push_back("select " + std::to_string(paths.begin()->item));
    }
    void collectionViewDidDeselectItemsAtIndexPaths(NSCollectionView&, const std::set<NSIndexPath>& paths) override
    {
        calls.push_back("deselect " + std::to_string(paths.begin()->item));
    }
};

struct GridFixture : public ::testing::Test {
    SimWorld world { SimWorld::emptyScenario() };
    NSNibRegistration nib { "TestGridCell", [](NSObject& owner) {
                               dynamic_cast<NSViewController&>(owner).setView(makeRef<NSView>(CGRectMake(0, 0, 280, 208)));
                           } };
    ~GridFixture() override { NSNib::unregisterNibNamed("TestGridCell"); }
};

}

TEST_F(GridFixture, ItemsFollowTheContentAndTheSelectionBinding)
{
    auto controller = makeRef<NSArrayController>(entries(5));
    auto grid = makeRef<NSCollectionView>(CGRectMake(0, 0, 1160, 416));
    auto delegate = makeRef<GridDelegate>();
    grid->setDelegate(delegate);
    grid->setMaxNumberOfColumns(4);
    grid->setItemPrototype(makeRef<Cell>());
    grid->bind(NSContentBinding, controller, "arrangedObjects");
    grid->bind(NSSelectionIndexesBinding, controller, "selectionIndexes");
    ASSERT_EQ(grid->numberOfItems(), 5u);
    EXPECT_EQ(grid->itemAtIndex(3)->representedObject(), controller->arrangedObjects()[3]);
    EXPECT_EQ(grid->itemAtIndex(3)->collectionView(), grid.get());
    // Four to a row, from the top.
    EXPECT_EQ(grid->itemAtIndex(3)->view()->frame(), CGRectMake(840, 0, 280, 208));
    EXPECT_EQ(grid->itemAtIndex(4)->view()->frame(), CGRectMake(0, 208, 280, 208));
    // The controller's first entry is selected from the start.
    EXPECT_TRUE(grid->itemAtIndex(0)->isSelected());

    delegate->calls.clear();
    controller->setSelectionIndex(2);
    EXPECT_FALSE(grid->itemAtIndex(0)->isSelected());
    EXPECT_TRUE(grid->itemAtIndex(2)->isSelected());
    EXPECT_EQ(delegate->calls, (std::vector<std::string> { "deselect 0", "select 2" }));

    // Fewer windows: fewer items, and the selection stays valid.
    controller->setContent(Value(entries(2)));
    EXPECT_EQ(grid->numberOfItems(), 2u);
    EXPECT_EQ(grid->selectionIndexes()->firstIndex(), 1u);
}

TEST_F(GridFixture, NewContentKeepsTheItemsOfTheObjectsThatStay)
{
    auto window = makeWindow(CGRectMake(0, 0, 1160, 416));
    auto grid = makeRef<NSCollectionView>(CGRectMake(0, 0, 1160, 416));
    window->contentView()->addSubview(grid);
    window->orderFront(nullptr);
    // A view of its own in the grid stays beneath the items.
    auto decoration = makeRef<NSView>(CGRectMake(0, 0, 10, 10));
    grid->addSubview(decoration);
    grid->setItemPrototype(makeRef<Cell>());
    auto list = entries(5);
    grid->setContent(Value(list));
    grid->setSelectionIndexes(makeRef<NSIndexSet>(std::set<NSUInteger> { 4 }));
    std::vector<Ref<NSCollectionViewItem>> before;
    for (NSUInteger i = 0; i < 5; ++i)
        before.push_back(grid->itemAtIndex(i));

    // Entry 4 moves to the front, entry 1 leaves, a new entry comes last.
    auto added = Value(makeRef<Entry>("new"));
    grid->setContent(Value(Value::Array { list[4], list[0], list[2], list[3], added }));
    ASSERT_EQ(grid->numberOfItems(), 5u);
    EXPECT_EQ(grid->itemAtIndex(0), before[4]);
    EXPECT_EQ(grid->itemAtIndex(1), before[0]);
    EXPECT_EQ(grid->itemAtIndex(2), before[2]);
    EXPECT_EQ(grid->itemAtIndex(3), before[3]);
    EXPECT_NE(grid->itemAtIndex(4), before[1]);
    EXPECT_EQ(grid->itemAtIndex(4)->representedObject(), added);
    EXPECT_EQ(grid->itemAtIndex(4)->collectionView(), grid.get());
    // The item that left is out of the grid and its view out of the window.
    EXPECT_EQ(before[1]->collectionView(), nullptr);
    EXPECT_EQ(before[1]->view()->superview(), nullptr);
    // Items lie in their new places, their views in item order.
    EXPECT_EQ(before[4]->view()->frame(), CGRectMake(0, 0, 280, 208));
    EXPECT_EQ(before[0]->view()->frame(), CGRectMake(280, 0, 280, 208));
    std::vector<Ref<NSView>> expected { decoration };
    for (NSUInteger i = 0; i < 5; ++i)
        expected.push_back(grid->itemAtIndex(i)->view());
    EXPECT_EQ(grid->subviews(), expected);
    // The selection is by place: place 4 is now the new entry's.
    EXPECT_FALSE(before[4]->isSelected());
    EXPECT_TRUE(grid->itemAtIndex(4)->isSelected());

    // The same object twice gets an item for each place.
    grid->setContent(Value(Value::Array { list[0], list[0] }));
    ASSERT_EQ(grid->numberOfItems(), 2u);
    EXPECT_EQ(grid->itemAtIndex(0), before[0]);
    EXPECT_NE(grid->itemAtIndex(1), before[0]);
    EXPECT_EQ(grid->itemAtIndex(1)->representedObject(), list[0]);

    // A new prototype, or an explicit reload, makes every item anew.
    auto kept = grid->itemAtIndex(0);
    grid->reloadData();
    EXPECT_NE(grid->itemAtIndex(0), kept);
    EXPECT_EQ(kept->view()->superview(), nullptr);
}

TEST_F(GridFixture, TheSameContentSetAgainDrawsNothingAgainAndAChangedOneDrawsWhatChanged)
{
    auto window = makeWindow(CGRectMake(0, 0, 1160, 416));
    auto grid = makeRef<NSCollectionView>(CGRectMake(0, 0, 1160, 416));
    window->contentView()->addSubview(grid);
    window->orderFront(nullptr);
    grid->setMaxNumberOfColumns(4);
    grid->setItemPrototype(makeRef<Cell>());
    auto list = entries(6);
    grid->setContent(Value(list));
    grid->setSelectionIndexes(makeRef<NSIndexSet>(std::set<NSUInteger> { 1 }));
    window->displayIfNeeded();
    ASSERT_FALSE(window->viewsNeedDisplay());
    auto cell = [&](NSUInteger i) { return std::dynamic_pointer_cast<Cell>(grid->itemAtIndex(i)); };
    std::vector<size_t> heard;
    for (NSUInteger i = 0; i < 6; ++i)
        heard.push_back(cell(i)->selections.size());

    // The list arranged again with the same objects: nothing to draw, and
    // no item hears of its selection again.
    grid->setContent(Value(list));
    EXPECT_FALSE(window->viewsNeedDisplay());
    for (NSUInteger i = 0; i < 6; ++i)
        EXPECT_EQ(cell(i)->selections.size(), heard[i]) << i;

    // Two objects trade places: the grid draws again and each item hears
    // where the selection now lies.
    auto traded = cell(1);
    grid->setContent(Value(Value::Array { list[0], list[2], list[1], list[3], list[4], list[5] }));
    EXPECT_TRUE(window->viewsNeedDisplay());
    EXPECT_TRUE(grid->itemAtIndex(1)->isSelected());
    EXPECT_FALSE(traded->isSelected());
}

TEST_F(GridFixture, AClickSelectsAndWritesTheSelectionBack)
{
    auto controller = makeRef<NSArrayController>(entries(3));
    auto window = makeWindow(CGRectMake(0, 0, 1160, 416));
    auto grid = makeRef<NSCollectionView>(CGRectMake(0, 0, 1160, 416));
    grid->setItemPrototype(makeRef<Cell>());
    grid->bind(NSContentBinding, controller, "arrangedObjects");
    grid->bind(NSSelectionIndexesBinding, controller, "selectionIndexes");
    window->contentView()->addSubview(grid);
    window->orderFront(nullptr);
    // The grid is flipped: item 1 is at the top, x 280..559; screen y 300
    // is 116 points below the top.
    NSApp().deliverInputEvent(NSEvent::mouseEventWithType(NSEventTypeLeftMouseDown, { 300, 300 }));
    EXPECT_EQ(controller->selectionIndex(), 1u);
}

TEST_F(GridFixture, InAScrollViewTheGridGrowsToItsRows)
{
    auto scroll = makeRef<NSScrollView>(CGRectMake(0, 0, 600, 300));
    auto grid = makeRef<NSCollectionView>(CGRectMake(0, 0, 600, 300));
    scroll->setDocumentView(grid);
    grid->setItemPrototype(makeRef<Cell>());
    grid->setContent(Value(entries(5)));
    // Two columns fit in 600 points: three rows.
    EXPECT_EQ(grid->numberOfColumns(), 2u);
    EXPECT_EQ(grid->frame().size.height, 3 * 208);
}

TEST_F(GridFixture, InAScrollViewOnlyItemsInSightLoadTheirViewsAndTheOthersAsTheyComeIntoSight)
{
    auto scroll = makeRef<NSScrollView>(CGRectMake(0, 0, 600, 300));
    auto grid = makeRef<NSCollectionView>(CGRectMake(0, 0, 600, 300));
    scroll->setDocumentView(grid);
    grid->setItemPrototype(makeRef<Cell>());
    auto list = entries(40);
    grid->setContent(Value(list));
    grid->setSelectionIndexes(makeRef<NSIndexSet>(std::set<NSUInteger> { 7 }));
    auto loaded = [&] {
        std::vector<NSUInteger> indexes;
        for (NSUInteger i = 0; i < grid->numberOfItems(); ++i)
            if (grid->itemAtIndex(i)->isViewLoaded()) indexes.push_back(i);
        return indexes;
    };
    // Rows 0 and 1 show (300 points of 208-point rows): four items.
    EXPECT_EQ(loaded(), (std::vector<NSUInteger> { 0, 1, 2, 3 }));
    EXPECT_EQ(grid->numberOfItems(), 40u);
    EXPECT_EQ(grid->frame().size.height, 20 * 208);
    EXPECT_TRUE(grid->itemAtIndex(7)->isSelected());

    // Scrolled to row 3: items 6 and 7 come, in their places, the selected
    // one told it is selected now that it has a view.
    auto selected = std::dynamic_pointer_cast<Cell>(grid->itemAtIndex(7));
    selected->selections.clear();
    grid->scrollRectToVisible(grid->frameForItemAtIndex(7));
    EXPECT_EQ(loaded(), (std::vector<NSUInteger> { 0, 1, 2, 3, 4, 5, 6, 7 }));
    EXPECT_EQ(grid->itemAtIndex(7)->view()->frame(), CGRectMake(280, 3 * 208, 280, 208));
    EXPECT_EQ(grid->itemAtIndex(7)->view()->superview(), grid.get());
    EXPECT_EQ(selected->selections, (std::vector<bool> { true }));
    // New content in another order keeps loaded views in the items' new
    // places; a wider scroll view loads what its rows now show.
    grid->setContent(Value(Value::Array(list.rbegin(), list.rend())));
    EXPECT_EQ(grid->itemAtIndex(39 - 7)->view()->frame(), grid->frameForItemAtIndex(39 - 7));
    scroll->setFrame(CGRectMake(0, 0, 1200, 300));
    grid->setFrameSize(CGSizeMake(1200, grid->frame().size.height));
    EXPECT_EQ(grid->numberOfColumns(), 4u);
    CGRect shown = scroll->documentVisibleRect();
    for (NSUInteger i = 0; i < 40; ++i) {
        if (CGRectIntersectsRect(grid->frameForItemAtIndex(i), shown)) {
            EXPECT_TRUE(grid->itemAtIndex(i)->isViewLoaded()) << i;
        }
    }
}

// Scrolled to its last row, the grid becomes one row high when it grows
// wide enough for all its items: the scroll position comes back inside it,
// and the items show.
TEST_F(GridFixture, AGridThatBecomesShorterThanItsScrollPositionIsShownFromItsFirstRow)
{
    auto scroll = makeRef<NSScrollView>(CGRectMake(0, 0, 840, 208));
    auto grid = makeRef<NSCollectionView>(CGRectMake(0, 0, 840, 208));
    scroll->setDocumentView(grid);
    grid->setItemPrototype(makeRef<Cell>());
    grid->setContent(Value(entries(4)));
    ASSERT_EQ(grid->frame().size.height, 2 * 208);
    grid->scrollRectToVisible(grid->frameForItemAtIndex(3));
    ASSERT_EQ(scroll->documentVisibleRect().origin.y, 208);

    scroll->setFrame(CGRectMake(0, 0, 1120, 208));
    grid->setFrameSize(CGSizeMake(1120, grid->frame().size.height));
    EXPECT_EQ(grid->frame().size.height, 208);
    EXPECT_EQ(scroll->documentVisibleRect(), CGRectMake(0, 0, 1120, 208));
    for (NSUInteger i = 0; i < 4; ++i)
        EXPECT_TRUE(grid->itemAtIndex(i)->isViewLoaded()) << i;
}

namespace {

class ListDelegate : public NSObject, public NSTableViewDelegate {
public:
    int changes { 0 };
    void tableViewSelectionDidChange(NSTableView&) override { changes++; }
};

struct TableFixture : public ::testing::Test {
    SimWorld world { SimWorld::emptyScenario() };
    Ref<NSArrayController> controller = makeRef<NSArrayController>(entries(5));
    Ref<NSScrollView> scroll = makeRef<NSScrollView>(CGRectMake(0, 0, 800, 90));
    Ref<NSTableView> table = makeRef<NSTableView>(CGRectMake(0, 0, 800, 90));
    Ref<ListDelegate> delegate = makeRef<ListDelegate>();

    TableFixture()
    {
        table->setRowHeight(30);
        table->setDelegate(delegate);
        auto title = makeRef<NSTableColumn>("title", 500);
        auto app = makeRef<NSTableColumn>("app", 200);
        table->registerCellBuilder("title", [] {
            auto cell = makeRef<NSTableCellView>();
            cell->textField = NSTextField::labelWithString("");
            cell->addSubview(cell->textField);
            cell->textField->bind(NSValueBinding, cell, "objectValue.title");
            return cell;
        });
        table->registerCellBuilder("app", [] { return makeRef<NSTableCellView>(); });
        table->addTableColumn(title);
        table->addTableColumn(app);
        scroll->setDocumentView(table);
        table->bind(NSContentBinding, controller, "arrangedObjects");
        table->bind(NSSelectionIndexesBinding, controller, "selectionIndexes");
    }
};

}

TEST_F(TableFixture, RowsShowTheirObjectsInColumns)
{
    ASSERT_EQ(table->numberOfRows(), 5);
    EXPECT_EQ(table->frame().size.height, 150);
    auto cell = std::dynamic_pointer_cast<NSTableCellView>(table->viewAtColumn(0, 2));
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->textField->stringValue(), "Entry 2");
    EXPECT_EQ(cell->frame(), CGRectMake(0, 60, 500, 30));
    // The last column takes the rest of the width.
    EXPECT_EQ(table->viewAtColumn(1, 2)->frame(), CGRectMake(500, 60, 300, 30));
    // A hidden column takes no room and has no cells.
    table->tableColumns()[1]->setHidden(true);
    EXPECT_EQ(table->viewAtColumn(1, 2), nullptr);
    EXPECT_EQ(table->viewAtColumn(0, 2)->frame(), CGRectMake(0, 60, 800, 30));
}

TEST_F(TableFixture, RowsUnderPointsAndSelection)
{
    EXPECT_EQ(table->rowAtPoint({ 10, 45 }), 1);
    EXPECT_EQ(table->rowAtPoint({ 10, 149 }), 4);
    // Below the rows: none.
    EXPECT_EQ(table->rowAtPoint({ 10, 150 }), -1);
    EXPECT_EQ(table->selectedRow(), 0);
    int changes = delegate->changes;
    table->selectRowIndexes(NSIndexSet::indexSetWithIndex(3), false);
    EXPECT_EQ(controller->selectionIndex(), 3u);
    EXPECT_EQ(delegate->changes, changes + 1);
    controller->setSelectionIndex(4);
    EXPECT_EQ(table->selectedRow(), 4);
    table->scrollRowToVisible(4);
    EXPECT_EQ(scroll->documentVisibleRect(), CGRectMake(0, 60, 800, 90));
    table->scrollRowToVisible(0);
    EXPECT_EQ(scroll->documentVisibleRect(), CGRectMake(0, 0, 800, 90));
}

TEST_F(TableFixture, NewRowsKeepTheCellsOfTheObjectsThatStayAndShowWhatAFreshTableWould)
{
    auto window = makeWindow(CGRectMake(0, 0, 800, 90));
    window->contentView()->addSubview(scroll);
    window->orderFront(nullptr);
    controller->setSelectionIndex(1);
    window->displayIfNeeded();
    ASSERT_FALSE(window->viewsNeedDisplay());
    Value::Array list = controller->arrangedObjects();
    auto cell = [&](long row) { return std::dynamic_pointer_cast<NSTableCellView>(table->viewAtColumn(0, row)); };
    auto first = cell(0), second = cell(1), third = cell(2);

    // Arranged again in the same order: nothing is made or drawn again.
    controller->rearrangeObjects();
    EXPECT_FALSE(window->viewsNeedDisplay());
    EXPECT_EQ(cell(1), second);

    // Two rows trade places: their cells go with their objects; the third
    // row keeps its cell where it is.
    controller->setContent(Value(Value::Array { list[1], list[0], list[2], list[3], list[4] }));
    EXPECT_EQ(cell(0), second);
    EXPECT_EQ(cell(1), first);
    EXPECT_EQ(cell(2), third);
    EXPECT_EQ(cell(0)->frame(), CGRectMake(0, 0, 500, 30));
    EXPECT_EQ(cell(0)->textField->stringValue(), "Entry 1");
    EXPECT_TRUE(window->viewsNeedDisplay());

    // An object that goes takes its cell along; a new one gets a cell of
    // its own; the selection past the end goes.
    controller->setSelectionIndex(4);
    Weak<NSView> gone = third;
    third.reset();
    controller->setContent(Value(Value::Array { list[1], Value(makeRef<Entry>("New")), list[0] }));
    EXPECT_TRUE(gone.expired());
    EXPECT_EQ(cell(0), second);
    EXPECT_EQ(cell(2), first);
    EXPECT_EQ(cell(1)->textField->stringValue(), "New");
    EXPECT_EQ(table->numberOfRows(), 3);
    auto kept = window->renderedImage().rgba;
    table->reloadData();
    EXPECT_NE(cell(0), second);
    EXPECT_EQ(window->renderedImage().rgba, kept);
}

// Thirty windows in the real panel, in the grid and in the list: more rows
// than the panel shows.
#include "SwitcherTestSupport.h"

#include <appkit/NSApplication.h>
#include <appkit/NSScrollView.h>
#include <appkit/NSTableView.h>
#include <model/DefaultsKeys.h>
#include <model/EBEventful.h>
#include <model/WindowManager.h>
#include <switcher/GridViewController.h>
#include <switcher/SwitchWindowController.h>
#include <switcher/SwitcherCodes.h>
#include <switcher/TableViewController.h>

namespace {

constexpr int kWindowCount = 30;

struct LongListInPanel : public ::testing::TestWithParam<SwitcherLayout> {
    SimWorld world { scenarioWithWindows(kWindowCount) };
    DefaultsSandbox sandbox;
    Ref<WindowManager> model;
    Ref<NSArrayController> list = makeRef<NSArrayController>();
    Ref<SwitchWindowController> controller;

    LongListInPanel()
    {
        EBEventful::resetForTesting();
        sandbox.defaults()->setInteger(GetParam(), DefaultsKey::LayoutType);
        sandbox.defaults()->setBool(true, DefaultsKey::ShotcutsHints);
        model = startModelListingEveryWindow(world, list);
        world.desktop().setModifierFlags(NSEventModifierFlagOption);
        world.settle();
        controller = SwitchWindowController::create();
        controller->handleHotkeyWithWindowListWithArrayController(list);
        world.settle();
    }
    ~LongListInPanel() override
    {
        controller->_hideWindowWhitOutAnimation();
        world.desktop().setModifierFlags(0);
        world.settle();
        EBEventful::resetForTesting();
    }

    void press(uint16_t keyCode)
    {
        NSApp().deliverInputEvent(NSEvent::keyEventWithKeyCode(NSEventTypeKeyDown, keyCode, NSEventModifierFlagOption));
        world.settle();
    }
    // The scroll view of the layout and the selected entry's rectangle in
    // its document.
    NSScrollView* scrollView() const
    {
        auto view = controller->currentViewController()->view();
        for (const auto& subview : view->subviews())
            if (auto scroll = dynamic_cast<NSScrollView*>(subview.get())) return scroll;
        return nullptr;
    }
    CGRect selectedRect() const { return rectOfEntry(list->selectionIndex()); }
    CGRect rectOfEntry(NSUInteger selected) const
    {
        auto current = controller->currentViewController();
        if (auto grid = std::dynamic_pointer_cast<GridViewController>(current))
            return grid->collectionView()->frameForItemAtIndex(selected);
        if (auto table = std::dynamic_pointer_cast<TableViewController>(current))
            return table->tableView()->rectOfRow(static_cast<long>(selected));
        return CGRectNull;
    }
    void expectSelectionShownClearOfTheHintLine(const std::string& step)
    {
        NSScrollView* scroll = scrollView();
        ASSERT_TRUE(scroll) << step;
        CGRect visible = scroll->documentVisibleRect();
        CGRect selected = selectedRect();
        EXPECT_TRUE(CGRectContainsRect(visible, selected))
            << step << ": entry " << list->selectionIndex() << " at " << NSStringFromRect(selected) << " outside "
            << NSStringFromRect(visible);
        auto label = controller->toolTipLabel();
        ASSERT_TRUE(label && !label->isHidden()) << step;
        CGRect scrollInWindow = scroll->convertRectToView(scroll->bounds(), nullptr);
        EXPECT_GE(scrollInWindow.origin.y, CGRectGetMaxY(label->frame()))
            << step << ": rows reach under the hint line";
    }
};

}

TEST_P(LongListInPanel, TheSelectionScrollsIntoViewAndNoRowPassesUnderTheHintLine)
{
    ASSERT_TRUE(controller->window()->isVisible());
    ASSERT_EQ(list->arrangedObjects().size(), size_t(kWindowCount));
    NSScrollView* scroll = scrollView();
    ASSERT_TRUE(scroll);
    ASSERT_LT(scroll->documentVisibleRect().size.height, scroll->documentView()->frame().size.height)
        << "the list is taller than the panel";
    expectSelectionShownClearOfTheHintLine("opened");

    CGFloat furthest = 0;
    for (int i = 0; i < kWindowCount; ++i) {
        press(kVK_DownArrow);
        expectSelectionShownClearOfTheHintLine("down " + std::to_string(i + 1));
        furthest = std::max(furthest, scroll->documentVisibleRect().origin.y);
    }
    EXPECT_GT(furthest, 0) << "scrolled down";
    for (int i = 0; i < kWindowCount; ++i) {
        press(kVK_UpArrow);
        expectSelectionShownClearOfTheHintLine("up " + std::to_string(i + 1));
    }

    // A digit picks an entry near the top after the list has scrolled away.
    // Up from the first entry wraps to the last one.
    EXPECT_EQ(list->selectionIndex(), 1u);
    press(kVK_UpArrow);
    press(kVK_UpArrow);
    EXPECT_EQ(list->selectionIndex(), size_t(kWindowCount - 1));
    expectSelectionShownClearOfTheHintLine("wrapped to the last");
    ASSERT_GT(scroll->documentVisibleRect().origin.y, CGRectGetMaxY(rectOfEntry(0))) << "the first entry is out of view";
    press(kVK_ANSI_1);
    EXPECT_EQ(list->selectionIndex(), 0u);
    expectSelectionShownClearOfTheHintLine("digit 1");

    // Without the hint line the rows take the room back.
    CGFloat withHint = scroll->frame().origin.y;
    sandbox.defaults()->setBool(false, DefaultsKey::ShotcutsHints);
    controller->handleHotkeyWithWindowListWithArrayController(list);
    world.settle();
    EXPECT_LT(scroll->frame().origin.y, withHint);
}

INSTANTIATE_TEST_SUITE_P(GridAndList, LongListInPanel, ::testing::Values(SwitcherLayoutGrid, SwitcherLayoutList),
    [](const auto& info) { return info.param == SwitcherLayoutGrid ? "Grid" : "List"; });

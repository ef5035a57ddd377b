// The list layout of the switcher panel: one 30-point row per window in a
// scrolling table bound to the panel's array controller ("LayoutType" 1, and
// 2 with the application column hidden). Up and down (and the pointer) move
// the selection; left and right move the selected window to the left or
// right half of its screen and leave the selection alone.
#pragma once

#include "SwitchViewControllerProtocol.h"

#include <appkit/NSArrayController.h>
#include <appkit/NSEvent.h>
#include <appkit/NSTableView.h>
#include <appkit/NSTrackingArea.h>
#include <appkit/NSViewController.h>
#include <appkit/NSVisualEffectView.h>
#include <graphics/NSColor.h>

class TableViewController : public NSViewController,
                            public SwitchViewControllerProtocol,
                            public NSTableViewDelegate {
public:
    // init: loads the interface file "TableViewController" on first view
    // request; starts with an empty array controller.
    TableViewController();
    ~TableViewController() override;

    static constexpr float kRowHeight = 30;
    static constexpr float kListWidth = 800;
    // The room left under the list for the hint line (the part of the view
    // that the panel shows below the rows, plus the part it hangs below the
    // panel).
    static constexpr CGFloat kBottomMargin = 40;
    // What a list as tall as the screen's usable height is cut by.
    static constexpr float kScreenHeightGap = 60;
    // The window list re-arranges this long after the model announces a
    // change.
    static constexpr double kReloadDelay = 0.1;
    // The column that "LayoutType" 2 hides.
    static constexpr long kSecondColumn = 1;

    // SwitchViewControllerProtocol.
    CGSize getContentSize() override;
    void selectSecond() override;
    void selectNext() override;
    void selectPrev() override;
    void setArrayController(const Ref<NSArrayController>& arrayController) override;
    void startMonitoringControlKeysEvent() override;
    void processControlKeys(uint16_t keyCode) override;
    void setBottomClearance(CGFloat clearance) override;

    // However the selection moved (arrows, Tab, a digit, the pointer), the
    // selected row is scrolled into view.
    void tableViewSelectionDidChange(NSTableView& table) override;

    void viewDidLoad() override;
    void viewWillAppear() override;
    void viewWillDisappear() override;

    // Re-arranges the list while the panel is visible.
    void reload();
    void updateTrackingAreas();
    void mouseMoved(const Ref<NSEvent>& event) override;
    void setUpKeyDownEventMonitor();
    // Each answers the event to pass on, or null when it used the event.
    Ref<NSEvent> selectUpForEvent(const Ref<NSEvent>& event);
    Ref<NSEvent> selectDownForEvent(const Ref<NSEvent>& event);

    const Ref<NSArrayController>& arrayController() const { return m_arrayController; }
    Ref<NSTableView> tableView() const { return m_tableView.lock(); }
    void setTableView(const Ref<NSTableView>& view) { m_tableView = view; }
    Ref<NSVisualEffectView> visualEffectView() const { return m_visualEffectView; }
    void setVisualEffectView(const Ref<NSVisualEffectView>& view) { m_visualEffectView = view; }
    const Ref<NSColor>& tableTextColor() const { return m_tableTextColor; }
    const Ref<NSColor>& tabTextColor() const { return m_tabTextColor; }
    void setTabTextColor(const Ref<NSColor>& color);
    bool hasKeyDownMonitor() const { return m_eventMonitor.isActive(); }
    const Ref<NSTrackingArea>& trackingArea() const { return m_trackingArea; }

    Value valueForKey(const std::string& key) const override;

private:
    NSUInteger count() const { return m_arrayController ? m_arrayController->arrangedObjects().size() : 0; }
    NSUInteger selectionIndex() const
    {
        return m_arrayController ? m_arrayController->selectionIndex() : NSNotFound;
    }
    void select(NSUInteger index);
    void scrollToSelection();
    void bindTable();
    bool isPanelVisible() const;
    void moveSelectedWindow(uint16_t keyCode);

    Token m_eventMonitor;
    Ref<NSTrackingArea> m_trackingArea;
    Weak<NSTableView> m_tableView;
    Ref<NSArrayController> m_arrayController;
    Ref<NSVisualEffectView> m_visualEffectView;
    Ref<NSColor> m_tableTextColor;
    Ref<NSColor> m_tabTextColor { NSColor::blackColor() };
};

// A new list layout, for the panel's registry of layouts.
Ref<TableViewController> makeTableViewController();

// What the interface file "TableViewController" holds: the list's view with
// its scrolling table of two columns (the window's icon and title, then its
// application's name), this controller as the table's delegate, and cells
// bound to each row's window and to the controller's text colour.
void buildTableViewControllerInterface(TableViewController& controller);

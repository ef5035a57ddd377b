// The grid layout of the switcher panel: one cell per window, four to a row,
// in a scrolling collection view bound to the panel's array controller. It
// moves the selection for the hotkey, the arrow keys (its own key monitor
// and the Control+arrow bus event) and the hovered cell.
#pragma once

#include "SwitchViewControllerProtocol.h"

#include <appkit/NSArrayController.h>
#include <appkit/NSCollectionView.h>
#include <appkit/NSEvent.h>
#include <appkit/NSVisualEffectView.h>
#include <foundation/NSNotificationCenter.h>

class GridViewController : public NSViewController,
                           public SwitchViewControllerProtocol,
                           public NSCollectionViewDelegate {
public:
    // init: loads the interface file "GridViewController" on first view
    // request; starts with an empty array controller.
    GridViewController();
    ~GridViewController() override;

    // The columns the panel is sized for.
    static constexpr int16_t kColumnCount = 4;
    static constexpr float kItemWidth = 280;
    static constexpr float kItemHeight = 208;
    // Both side margins together.
    static constexpr float kHorizontalMargins = 40;
    // What a grid as tall as the screen's usable height is cut by.
    static constexpr float kScreenHeightGap = 100;
    static inline const std::string kSwitcherWindowIdentifier = "SwitcherWindowIdentifier";

    // SwitchViewControllerProtocol.
    CGSize getContentSize() override;
    void selectSecond() override;
    void selectNext() override;
    void selectPrev() override;
    void setArrayController(const Ref<NSArrayController>& arrayController) override;
    void startMonitoringControlKeysEvent() override;
    void processControlKeys(uint16_t keyCode) override;
    void setBottomClearance(CGFloat clearance) override;

    void viewDidLoad() override;
    void viewWillAppear() override;
    void viewWillDisappear() override;

    void setUpBindig();
    // Shrinks the previews of the cells in sight when the list shows, side
    // by side, before the cells bind them one by one.
    void preparePreviewsInSight();
    void setUpKeyDownEventMonitor();
    // Each answers the event to pass on, or null when it used the event.
    Ref<NSEvent> selectUpForEvent(const Ref<NSEvent>& event);
    Ref<NSEvent> selectDownForEvent(const Ref<NSEvent>& event);
    void flagsChanged(const Ref<NSEvent>& event) override;
    void selectObject(const NSNotification& notification);
    void QuickReload();

    void collectionViewDidSelectItemsAtIndexPaths(
        NSCollectionView&, const std::set<NSIndexPath>& paths) override;
    void collectionViewDidDeselectItemsAtIndexPaths(
        NSCollectionView&, const std::set<NSIndexPath>& paths) override;

    // The columns the grid shows now, for the up and down steps: the
    // collection view's own count once it is laid out, else kColumnCount.
    NSUInteger columnCount() const;

    const Ref<NSArrayController>& arrayController() const { return m_arrayController; }
    Ref<NSCollectionView> collectionView() const { return m_collectionView.lock(); }
    void setCollectionView(const Ref<NSCollectionView>& view) { m_collectionView = view; }
    Ref<NSVisualEffectView> visualEffectView() const { return m_visualEffectView; }
    void setVisualEffectView(const Ref<NSVisualEffectView>& view) { m_visualEffectView = view; }
    bool hasKeyDownMonitor() const { return m_eventMonitor.isActive(); }

private:
    NSUInteger count() const { return m_arrayController ? m_arrayController->arrangedObjects().size() : 0; }
    NSUInteger selectionIndex() const
    {
        return m_arrayController ? m_arrayController->selectionIndex() : NSNotFound;
    }
    void select(NSUInteger index);
    bool isPanelVisible() const;
    void stopReceivingBusEvents();

    Token m_eventMonitor;
    Token m_selectedObjectObserver;
    Token m_quickReloadObserver;
    Ref<NSArrayController> m_arrayController;
    Weak<NSCollectionView> m_collectionView;
    Ref<NSVisualEffectView> m_visualEffectView;
};

// A new grid layout, for the panel's registry of layouts.
Ref<GridViewController> makeGridViewController();

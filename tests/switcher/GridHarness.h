// The grid layout in a stand-in for the switcher panel, with its cells.
#pragma once

#include "LayoutHarness.h"

#include <switcher/GridCollectionViewItem.h>
#include <switcher/GridViewController.h>

class GridHarness : public LayoutHarness<GridViewController> {
public:
    GridHarness(SimWorld& world, int windowCount)
        : LayoutHarness(world, windowCount, makeGridViewController())
    {
    }

    // Shows the panel and lets the cells' hover areas come up.
    void showAndTrack()
    {
        show();
        m_world.advance(GridCollectionViewItem::kTrackingDelay + 0.1);
    }

    Ref<GridCollectionViewItem> cell(size_t index) const
    {
        auto view = grid->collectionView();
        return view ? std::dynamic_pointer_cast<GridCollectionViewItem>(view->itemAtIndex(index)) : nullptr;
    }
    // A point of a cell (its own unflipped coordinates) in the panel's base
    // coordinates and on the screen.
    CGPoint basePointInCell(size_t index, CGPoint point) const
    {
        return cell(index)->view()->convertPointToView(point, nullptr);
    }
    CGPoint screenPointInCell(size_t index, CGPoint point) const
    {
        return panel->convertPointToScreen(basePointInCell(index, point));
    }
    // Enters a cell and moves inside it, as a person pointing at it does.
    void hover(size_t index)
    {
        moveMouse(screenPointInCell(index, { 140, 100 }));
        moveMouse(screenPointInCell(index, { 142, 102 }));
    }

    Ref<GridViewController>& grid = layout;
};

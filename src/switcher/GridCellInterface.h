// The interface files of the grid: the grid's view with its scrolling
// collection view, and a cell's view with its preview, title, badge and
// hover buttons.
#pragma once

#include <foundation/CGGeometry.h>

class GridCollectionViewItem;
class GridViewController;

// The geometry of a cell (unflipped, points).
namespace GridCellLayout {
inline constexpr CGSize kCellSize { 280, 208 };
inline constexpr CGRect kPreviewFrame { { 20, 38 }, { 240, 150 } };
inline constexpr CGRect kTitleFrame { { 20, 12 }, { 240, 18 } };
inline constexpr CGRect kHoverPanelFrame { { 20, 8 }, { 240, 26 } };
inline constexpr CGRect kBadgeFrame { { 250, 178 }, { 20, 20 } };
inline constexpr CGFloat kTrafficLightSide = 14;
inline constexpr CGPoint kTrafficLightOrigin { 28, 166 };
inline constexpr CGFloat kTrafficLightStep = 20;
}

// The grid's horizontal margin on each side of the columns.
inline constexpr CGFloat kGridSideMargin = 20;
// The room left under the grid for the hint line (the part of the view that
// the panel shows below the grid, plus the part it hangs below the panel).
inline constexpr CGFloat kGridBottomMargin = 40;

void buildGridCollectionViewItemInterface(GridCollectionViewItem& item);
void buildGridViewControllerInterface(GridViewController& controller);

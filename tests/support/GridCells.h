// What the grid in the switcher panel shows, cell by cell in the order
// shown: each cell's title, its number badge and whether it is highlighted.
#pragma once

#include <model/SWWindow.h>
#include <toolkit/FBFlatButton.h>
#include <switcher/GridCollectionViewItem.h>
#include <switcher/GridViewController.h>
#include <switcher/SwitchWindowController.h>

#include <string>
#include <vector>

struct GridCell {
    std::string title;
    // Empty when the badge is hidden.
    std::string badge;
    bool highlighted { false };
};

inline std::vector<GridCell> gridCells(const Ref<SwitchWindowController>& panel)
{
    std::vector<GridCell> cells;
    auto grid = panel ? std::dynamic_pointer_cast<GridViewController>(panel->currentViewController()) : nullptr;
    auto view = grid ? grid->collectionView() : nullptr;
    if (!view)
        return cells;
    for (NSUInteger i = 0; i < view->numberOfItems(); ++i) {
        auto cell = std::dynamic_pointer_cast<GridCollectionViewItem>(view->itemAtIndex(i));
        if (!cell)
            continue;
        auto window = cell->representedObject().objectAs<SWWindow>();
        auto badge = cell->badgeBtn();
        cells.push_back({ window && window->title() ? *window->title() : std::string(),
            badge && !badge->isHidden() ? badge->title() : std::string(), cell->isSelected() });
    }
    return cells;
}

// The badges read 1, 2, 3 ... in the order shown (none past the ninth),
// and exactly one cell is highlighted.
inline bool badgesFollowTheListWithOneHighlight(const std::vector<GridCell>& cells)
{
    int highlighted = 0;
    for (size_t i = 0; i < cells.size(); ++i) {
        if (cells[i].badge != (i < 9 ? std::to_string(i + 1) : std::string()))
            return false;
        highlighted += cells[i].highlighted;
    }
    return highlighted == 1;
}

inline std::string describe(const std::vector<GridCell>& cells)
{
    std::string text;
    for (const auto& cell : cells)
        text += "[" + cell.badge + " " + cell.title + (cell.highlighted ? " *" : "") + "] ";
    return text;
}

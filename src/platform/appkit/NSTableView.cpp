#include "NSTableView.h"

#include "NSEvent.h"
#include "NSKeyValueBinding.h"
#include "NSScrollView.h"

#include <foundation/NSNotificationCenter.h>
#include <graphics/NSGraphicsContext.h>

#include <algorithm>
#include <cmath>
#include <utility>

void NSTableColumn::setWidth(CGFloat width)
{
    m_width = std::max(0.0, width);
    if (m_tableView)
        m_tableView->columnsChanged();
}

void NSTableColumn::setHidden(bool hidden)
{
    if (hidden == m_hidden)
        return;
    m_hidden = hidden;
    if (m_tableView)
        m_tableView->columnsChanged();
}

void NSTableCellView::setObjectValue(const Value& value)
{
    willChangeValueForKey("objectValue");
    m_objectValue = value;
    didChangeValueForKey("objectValue");
}

Value NSTableCellView::valueForKey(const std::string& key) const
{
    if (key == "objectValue")
        return m_objectValue;
    return NSView::valueForKey(key);
}

void NSTableCellView::setValueForKey(const Value& value, const std::string& key)
{
    if (key == "objectValue")
        setObjectValue(value);
    else
        NSView::setValueForKey(value, key);
}

NSTableView::NSTableView(CGRect frame)
    : NSView(frame)
{
}

NSTableView::~NSTableView()
{
    for (const auto& column : m_columns)
        column->m_tableView = nullptr;
}

void NSTableView::addTableColumn(const Ref<NSTableColumn>& column)
{
    if (!column || column->m_tableView)
        return;
    column->m_tableView = this;
    m_columns.push_back(column);
    reloadData();
}

void NSTableView::removeTableColumn(const Ref<NSTableColumn>& column)
{
    auto it = std::find(m_columns.begin(), m_columns.end(), column);
    if (it == m_columns.end())
        return;
    column->m_tableView = nullptr;
    m_columns.erase(it);
    reloadData();
}

Ref<NSTableColumn> NSTableView::tableColumnWithIdentifier(const std::string& identifier) const
{
    for (const auto& column : m_columns)
        if (column->identifier() == identifier)
            return column;
    return nullptr;
}

void NSTableView::registerCellBuilder(const std::string& identifier, CellBuilder builder)
{
    m_builders[identifier] = std::move(builder);
}

Ref<NSView> NSTableView::makeViewWithIdentifier(const std::string& identifier) const
{
    auto it = m_builders.find(identifier);
    return it != m_builders.end() && it->second ? it->second() : nullptr;
}

void NSTableView::setRowHeight(CGFloat height)
{
    m_rowHeight = std::max(1.0, height);
    tile();
}

void NSTableView::setBackgroundColor(const Ref<NSColor>& color)
{
    m_backgroundColor = color;
    setNeedsDisplay(true);
}

namespace {

// Whether two rows show the same thing: the same object, or equal plain
// values.
bool isSameRowObject(const Value& a, const Value& b)
{
    if (a.object() || b.object())
        return a.object() == b.object();
    return a == b;
}

void removeCells(std::vector<Ref<NSView>>& cells)
{
    for (const auto& cell : cells)
        if (cell)
            cell->removeFromSuperview();
    cells.clear();
}

}

void NSTableView::setContent(const Value& content)
{
    Value::Array rows = content.array() ? *content.array() : Value::Array {};
    bool same = rows.size() == m_content.size() && std::equal(rows.begin(), rows.end(), m_content.begin(), isSameRowObject);
    willChangeValueForKey("content");
    Value::Array old = std::exchange(m_content, std::move(rows));
    didChangeValueForKey("content");
    // The same rows in the same order: every cell shows what it showed.
    if (same)
        return;
    // A row whose object is still listed keeps its cells, moved to the
    // object's new row: only rows that change are made and drawn anew.
    std::map<const NSObject*, std::vector<Ref<NSView>>> kept;
    for (size_t row = 0; row < m_cells.size(); ++row) {
        auto object = row < old.size() ? old[row].object() : nullptr;
        if (object && !m_cells[row].empty() && !kept.count(object.get()))
            kept[object.get()] = std::move(m_cells[row]);
        else
            removeCells(m_cells[row]);
    }
    m_cells.assign(m_content.size(), {});
    for (size_t row = 0; row < m_content.size(); ++row) {
        auto object = m_content[row].object();
        auto it = object ? kept.find(object.get()) : kept.end();
        if (it == kept.end())
            continue;
        m_cells[row] = std::move(it->second);
        kept.erase(it);
    }
    for (auto& [object, cells] : kept)
        removeCells(cells);
    if (keepSelectionWithinRows())
        setNeedsDisplay(true);
    tile();
}

void NSTableView::columnsChanged() { reloadData(); }

bool NSTableView::keepSelectionWithinRows()
{
    std::set<NSUInteger> selection;
    for (NSUInteger i : m_selection)
        if (i < m_content.size())
            selection.insert(i);
    if (selection == m_selection)
        return false;
    m_selection = selection;
    return true;
}

void NSTableView::reloadData()
{
    for (auto& row : m_cells)
        removeCells(row);
    m_cells.assign(m_content.size(), {});
    keepSelectionWithinRows();
    tile();
    setNeedsDisplay(true);
}

std::pair<long, long> NSTableView::visibleRowRange() const
{
    long rows = numberOfRows();
    auto* clip = dynamic_cast<NSClipView*>(superview());
    if (!clip)
        return { 0, rows };
    CGRect visible = clip->documentVisibleRect();
    long first = static_cast<long>(std::floor(CGRectGetMinY(visible) / m_rowHeight));
    long end = static_cast<long>(std::ceil(CGRectGetMaxY(visible) / m_rowHeight));
    return { std::clamp(first, 0L, rows), std::clamp(end, 0L, rows) };
}

void NSTableView::prepareContentInRect(CGRect) { loadVisibleCells(); }

void NSTableView::loadVisibleCells()
{
    if (m_cells.size() != m_content.size())
        m_cells.resize(m_content.size());
    auto [first, end] = visibleRowRange();
    for (long row = 0; row < static_cast<long>(m_cells.size()); ++row) {
        auto& cells = m_cells[static_cast<size_t>(row)];
        bool shows = row >= first && row < end;
        if (!shows) {
            removeCells(cells);
            continue;
        }
        if (!cells.empty())
            continue;
        auto keep = delegate();
        auto* d = dynamic_cast<NSTableViewDelegate*>(keep.get());
        for (const auto& column : m_columns) {
            Ref<NSView> cell;
            if (!column->isHidden()) {
                if (d)
                    cell = d->tableViewViewForTableColumn(*this, *column, row);
                if (!cell)
                    cell = makeViewWithIdentifier(column->identifier());
                if (auto cellView = std::dynamic_pointer_cast<NSTableCellView>(cell))
                    cellView->setObjectValue(m_content[static_cast<size_t>(row)]);
            }
            if (cell) {
                CGRect c = rectOfColumn(static_cast<long>(cells.size()));
                cell->setFrame(CGRectMake(c.origin.x, static_cast<CGFloat>(row) * m_rowHeight, c.size.width, m_rowHeight));
                addSubview(cell);
            }
            cells.push_back(cell);
        }
    }
}

CGRect NSTableView::rectOfColumn(long column) const
{
    if (column < 0 || column >= static_cast<long>(m_columns.size()) || m_columns[column]->isHidden())
        return CGRectZero;
    CGFloat x = 0;
    long lastShown = -1;
    for (long i = 0; i < static_cast<long>(m_columns.size()); ++i)
        if (!m_columns[i]->isHidden())
            lastShown = i;
    for (long i = 0; i < column; ++i)
        if (!m_columns[i]->isHidden())
            x += m_columns[i]->width();
    CGFloat width = column == lastShown ? std::max(m_columns[column]->width(), bounds().size.width - x)
                                        : m_columns[column]->width();
    return CGRectMake(x, 0, width, static_cast<CGFloat>(m_content.size()) * m_rowHeight);
}

CGRect NSTableView::rectOfRow(long row) const
{
    if (row < 0 || row >= numberOfRows())
        return CGRectZero;
    return CGRectMake(0, static_cast<CGFloat>(row) * m_rowHeight, bounds().size.width, m_rowHeight);
}

long NSTableView::rowAtPoint(CGPoint point) const
{
    if (point.y < 0 || point.x < 0 || point.x >= bounds().size.width)
        return -1;
    long row = static_cast<long>(std::floor(point.y / m_rowHeight));
    return row < numberOfRows() ? row : -1;
}

Ref<NSView> NSTableView::viewAtColumn(long column, long row) const
{
    if (row < 0 || row >= static_cast<long>(m_cells.size()) || column < 0
        || column >= static_cast<long>(m_cells[row].size()))
        return nullptr;
    return m_cells[row][column];
}

void NSTableView::tile()
{
    if (m_tiling)
        return;
    m_tiling = true;
    if (dynamic_cast<NSClipView*>(superview()))
        setFrameSize({ frame().size.width, static_cast<CGFloat>(m_content.size()) * m_rowHeight });
    loadVisibleCells();
    for (size_t row = 0; row < m_cells.size(); ++row) {
        for (size_t column = 0; column < m_cells[row].size(); ++column) {
            if (!m_cells[row][column])
                continue;
            CGRect c = rectOfColumn(static_cast<long>(column));
            m_cells[row][column]->setFrame(
                CGRectMake(c.origin.x, static_cast<CGFloat>(row) * m_rowHeight, c.size.width, m_rowHeight));
        }
    }
    m_tiling = false;
}

void NSTableView::setFrame(CGRect frame)
{
    NSView::setFrame(frame);
    tile();
}

void NSTableView::selectRowIndexes(const Ref<NSIndexSet>& indexes, bool byExtendingSelection)
{
    std::set<NSUInteger> selection = byExtendingSelection ? m_selection : std::set<NSUInteger> {};
    if (indexes)
        for (NSUInteger i : indexes->indexes())
            if (i < m_content.size())
                selection.insert(i);
    changeSelection(selection, true);
}

void NSTableView::deselectAll(const Ref<NSObject>&) { changeSelection({}, true); }

void NSTableView::changeSelection(const std::set<NSUInteger>& selection, bool fromUser)
{
    if (selection == m_selection)
        return;
    for (NSUInteger i : m_selection)
        setNeedsDisplayInRect(rectOfRow(static_cast<long>(i)));
    willChangeValueForKey("selectionIndexes");
    m_selection = selection;
    didChangeValueForKey("selectionIndexes");
    for (NSUInteger i : m_selection)
        setNeedsDisplayInRect(rectOfRow(static_cast<long>(i)));
    if (fromUser)
        propagateValue(Value(selectedRowIndexes()), NSSelectionIndexesBinding);
    auto keep = delegate();
    if (auto d = dynamic_cast<NSTableViewDelegate*>(keep.get()))
        d->tableViewSelectionDidChange(*this);
    if (auto self = selfRef<NSObject>())
        NSNotificationCenter::defaultCenter().postNotificationName(NSTableViewSelectionDidChangeNotification, self);
}

void NSTableView::scrollRowToVisible(long row)
{
    if (row >= 0 && row < numberOfRows())
        scrollRectToVisible(rectOfRow(row));
}

void NSTableView::drawRect(CGRect dirtyRect)
{
    auto context = NSGraphicsContext::currentContext();
    auto cg = context->CGContext();
    if (m_backgroundColor) {
        CGContextSetFillColorWithColor(cg, m_backgroundColor->CGColor());
        CGContextFillRect(cg, dirtyRect);
    }
    CGContextSetFillColorWithColor(cg, NSColor::alternateSelectedControlColor()->CGColor());
    for (NSUInteger i : m_selection)
        CGContextFillRect(cg, rectOfRow(static_cast<long>(i)));
}

void NSTableView::mouseDown(const Ref<NSEvent>& event)
{
    long row = rowAtPoint(convertPointFromView(event->locationInWindow(), nullptr));
    if (row >= 0)
        changeSelection({ static_cast<NSUInteger>(row) }, true);
}

Value NSTableView::valueForKey(const std::string& key) const
{
    if (key == "content")
        return Value(m_content);
    if (key == "selectionIndexes")
        return Value(selectedRowIndexes());
    return NSView::valueForKey(key);
}

void NSTableView::setValueForKey(const Value& value, const std::string& key)
{
    if (key == "content")
        setContent(value);
    else if (key == "selectionIndexes") {
        auto set = value.objectAs<NSIndexSet>();
        std::set<NSUInteger> selection;
        if (set)
            for (NSUInteger i : set->indexes())
                if (i < m_content.size())
                    selection.insert(i);
        changeSelection(selection, false);
    } else
        NSView::setValueForKey(value, key);
}

void NSTableView::setValueForBinding(const Value& value, const std::string& binding)
{
    if (binding == NSContentBinding)
        setContent(value);
    else if (binding == NSSelectionIndexesBinding)
        setValueForKey(value, "selectionIndexes");
    else
        NSView::setValueForBinding(value, binding);
}

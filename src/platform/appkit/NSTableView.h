// Table views: rows of cell views, one row per object of the content, in
// columns laid out left to right (hidden columns take no room; the last
// shown column takes what is left). The rows are rowHeight high, from the
// top (the table is flipped). Inside a scroll view the table grows to the
// height of its rows. No header is drawn.
//
// Cell views come from the delegate (viewForTableColumn), else from the
// builder registered for the column's identifier; an NSTableCellView gets
// the row's object as its objectValue. Inside a clip view only the rows that
// show have cell views: they are made as rows scroll into view and dropped
// as they leave, so a long list costs what its visible rows cost.
//
// Bindings: "content" sets the rows' objects, "selectionIndexes" the
// selection; a click selects the row under it and writes the selection
// back. Selected rows are drawn highlighted.
#pragma once

#include "NSIndexSet.h"
#include "NSView.h"

#include <graphics/NSColor.h>

#include <functional>
#include <map>
#include <set>

class NSTableView;
class NSTextField;
class NSImageView;

inline const std::string NSTableViewSelectionDidChangeNotification = "NSTableViewSelectionDidChangeNotification";

class NSTableColumn : public NSObject {
public:
    explicit NSTableColumn(std::string identifier, CGFloat width = 100)
        : m_identifier(std::move(identifier))
        , m_width(width)
    {
    }
    const std::string& identifier() const { return m_identifier; }
    const std::string& title() const { return m_title; }
    void setTitle(const std::string& title) { m_title = title; }
    CGFloat width() const { return m_width; }
    void setWidth(CGFloat width);
    bool isHidden() const { return m_hidden; }
    void setHidden(bool hidden);
    NSTableView* tableView() const { return m_tableView; }

private:
    friend class NSTableView;
    std::string m_identifier;
    std::string m_title;
    CGFloat m_width;
    bool m_hidden { false };
    NSTableView* m_tableView { nullptr };
};

// The usual cell view: an object value and two optional outlets.
class NSTableCellView : public NSView {
public:
    using NSView::NSView;
    const Value& objectValue() const { return m_objectValue; }
    void setObjectValue(const Value& value);
    Ref<NSTextField> textField;
    Ref<NSImageView> imageView;
    Value valueForKey(const std::string& key) const override;
    void setValueForKey(const Value& value, const std::string& key) override;

private:
    Value m_objectValue;
};

class NSTableViewDelegate {
public:
    virtual ~NSTableViewDelegate() = default;
    // tableView:viewForTableColumn:row:. Null lets the table use the
    // column's registered builder.
    virtual Ref<NSView> tableViewViewForTableColumn(NSTableView&, NSTableColumn&, long row)
    {
        (void)row;
        return nullptr;
    }
    virtual void tableViewSelectionDidChange(NSTableView&) { }
};

class NSTableView : public NSView {
public:
    using CellBuilder = std::function<Ref<NSView>()>;

    explicit NSTableView(CGRect frame = CGRectZero);
    ~NSTableView() override;

    bool isFlipped() const override { return true; }

    void addTableColumn(const Ref<NSTableColumn>& column);
    void removeTableColumn(const Ref<NSTableColumn>& column);
    const std::vector<Ref<NSTableColumn>>& tableColumns() const { return m_columns; }
    Ref<NSTableColumn> tableColumnWithIdentifier(const std::string& identifier) const;
    // Registers how cell views of a column identifier are made
    // (registerNib:forIdentifier:).
    void registerCellBuilder(const std::string& identifier, CellBuilder builder);
    // A new cell view for the identifier, or null without a builder.
    Ref<NSView> makeViewWithIdentifier(const std::string& identifier) const;

    CGFloat rowHeight() const { return m_rowHeight; }
    void setRowHeight(CGFloat height);
    const Ref<NSColor>& backgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(const Ref<NSColor>& color);
    Ref<NSObject> delegate() const { return m_delegate.lock(); }
    void setDelegate(const Ref<NSObject>& delegate) { m_delegate = delegate; }

    const Value::Array& content() const { return m_content; }
    // New rows. A row whose object was listed before keeps its cell views
    // (moved with it); the same rows in the same order change nothing.
    void setContent(const Value& content);
    long numberOfRows() const { return static_cast<long>(m_content.size()); }
    void reloadData();

    Ref<NSIndexSet> selectedRowIndexes() const { return makeRef<NSIndexSet>(m_selection); }
    // The first selected row, or -1.
    long selectedRow() const { return m_selection.empty() ? -1 : static_cast<long>(*m_selection.begin()); }
    void selectRowIndexes(const Ref<NSIndexSet>& indexes, bool byExtendingSelection);
    void deselectAll(const Ref<NSObject>& sender);

    // The row under a point of the table, or -1.
    long rowAtPoint(CGPoint point) const;
    CGRect rectOfRow(long row) const;
    CGRect rectOfColumn(long column) const;
    void scrollRowToVisible(long row);
    // The cell view shown at a column and row, or null (also for a row
    // that does not show).
    Ref<NSView> viewAtColumn(long column, long row) const;
    void prepareContentInRect(CGRect rect) override;

    void setFrame(CGRect frame) override;
    void drawRect(CGRect dirtyRect) override;
    void mouseDown(const Ref<NSEvent>& event) override;

    Value valueForKey(const std::string& key) const override;
    void setValueForKey(const Value& value, const std::string& key) override;

    // For columns: their geometry or visibility changed.
    void columnsChanged();

protected:
    void setValueForBinding(const Value& value, const std::string& binding) override;

private:
    void tile();
    // Makes the cells of the rows that show and drops the others.
    void loadVisibleCells();
    // The rows that show: [first, end).
    std::pair<long, long> visibleRowRange() const;
    void changeSelection(const std::set<NSUInteger>& selection, bool fromUser);
    // Drops selected rows past the end; YES when there were any.
    bool keepSelectionWithinRows();

    std::vector<Ref<NSTableColumn>> m_columns;
    std::map<std::string, CellBuilder> m_builders;
    Value::Array m_content;
    std::set<NSUInteger> m_selection;
    // Cell views by row, one per column (null for a hidden column); empty
    // for a row that does not show.
    std::vector<std::vector<Ref<NSView>>> m_cells;
    Ref<NSColor> m_backgroundColor;
    Weak<NSObject> m_delegate;
    CGFloat m_rowHeight { 17 };
    bool m_tiling { false };
};

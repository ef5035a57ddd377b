// The interface file of the list layout: a view that hands its tracking
// areas to the controller, a scrolling table of two columns, and the row
// cells bound to their window and to the controller's text colour.
#include "TableViewController.h"

#include "WidthFollowingScrollView.h"

#include <appkit/NSImageView.h>
#include <appkit/NSKeyValueBinding.h>
#include <appkit/NSTextField.h>
#include <graphics/NSFont.h>

#include <cmath>

namespace {

// The column of the window's icon and title, and the one "LayoutType" 2
// hides: the application's name.
const std::string kTitleColumn = "WindowTitle";
const std::string kApplicationColumn = "ApplicationName";
constexpr CGFloat kTitleColumnWidth = 560;
constexpr CGFloat kApplicationColumnWidth = 240;

// Inside a row (unflipped, points).
constexpr CGFloat kIconSide = 20;
constexpr CGFloat kCellInset = 12;
constexpr CGFloat kIconTitleGap = 8;
constexpr CGFloat kFontSize = 13;
constexpr CGFloat kBottomMargin = TableViewController::kBottomMargin;

// The list's root view: its tracking area is the controller's, rebuilt
// whenever the view's geometry changes.
class TableRootView : public NSView {
public:
    TableRootView(CGRect frame, const Ref<TableViewController>& controller)
        : NSView(frame)
        , m_controller(controller)
    {
    }
    void updateTrackingAreas() override
    {
        if (auto controller = m_controller.lock()) controller->updateTrackingAreas();
    }

private:
    Weak<TableViewController> m_controller;
};

// A row's cell: the text follows the "textColor" it is bound to.
class TableRowCellView : public NSTableCellView {
public:
    using NSTableCellView::NSTableCellView;
    void setValueForKey(const Value& value, const std::string& key) override
    {
        if (key != "textColor") {
            NSTableCellView::setValueForKey(value, key);
            return;
        }
        if (auto color = value.objectAs<NSColor>(); color && textField) textField->setTextColor(color);
    }
};

Ref<NSTextField> rowLabel(CGRect frame)
{
    auto label = makeRef<NSTextField>(frame);
    label->setEditable(false);
    label->setSelectable(false);
    label->setBezeled(false);
    label->setDrawsBackground(false);
    label->setLineBreakMode(NSLineBreakByTruncatingTail);
    label->setFont(NSFont::systemFontOfSize(kFontSize));
    label->setAutoresizingMask(NSViewWidthSizable);
    return label;
}

// A cell of the column, with or without the window's icon, showing the
// key path of its window.
Ref<NSView> makeCell(const Weak<TableViewController>& owner, CGFloat width, bool withIcon, const std::string& keyPath)
{
    const CGFloat height = TableViewController::kRowHeight;
    auto cell = makeRef<TableRowCellView>(CGRectMake(0, 0, width, height));
    CGFloat textX = kCellInset;
    if (withIcon) {
        auto icon = makeRef<NSImageView>(CGRectMake(kCellInset, (height - kIconSide) / 2, kIconSide, kIconSide));
        icon->setImageScaling(NSImageScaleProportionallyUpOrDown);
        cell->addSubview(icon);
        cell->imageView = icon;
        icon->bind(NSValueBinding, cell, "objectValue.appIcon");
        textX += kIconSide + kIconTitleGap;
    }
    // The label is one line of its text high, centred on the row as the
    // icon is: a label draws its text from its top edge, so a taller one
    // would lift the text above the icon's centre.
    auto text = rowLabel(CGRectMake(textX, 0, width - textX - kCellInset, 0));
    CGFloat textHeight = std::ceil(text->cell()->cellSize().height);
    text->setFrame(CGRectMake(textX, (height - textHeight) / 2, width - textX - kCellInset, textHeight));
    cell->addSubview(text);
    cell->textField = text;
    text->bind(NSValueBinding, cell, keyPath);
    if (auto controller = owner.lock()) cell->bind("textColor", controller, "tabTextColor");
    return cell;
}

}

void buildTableViewControllerInterface(TableViewController& controller)
{
    const CGFloat width = TableViewController::kListWidth;
    const CGFloat height = TableViewController::kRowHeight + kBottomMargin;
    auto self = controller.selfRef<TableViewController>();
    auto view = makeRef<TableRootView>(CGRectMake(0, 0, width, height), self);

    auto scroll = makeRef<WidthFollowingScrollView>(CGRectMake(0, kBottomMargin, width, height - kBottomMargin));
    scroll->setDrawsBackground(false);
    scroll->setHasVerticalScroller(true);
    scroll->setAutoresizingMask(NSViewWidthSizable | NSViewHeightSizable);

    auto table = makeRef<NSTableView>(CGRectMake(0, 0, width, TableViewController::kRowHeight));
    table->setRowHeight(TableViewController::kRowHeight);
    Weak<TableViewController> owner = self;
    auto title = makeRef<NSTableColumn>(kTitleColumn, kTitleColumnWidth);
    title->setTitle("Window");
    auto application = makeRef<NSTableColumn>(kApplicationColumn, kApplicationColumnWidth);
    application->setTitle("Application");
    table->registerCellBuilder(
        kTitleColumn, [owner] { return makeCell(owner, kTitleColumnWidth, true, "objectValue.title"); });
    table->registerCellBuilder(kApplicationColumn,
        [owner] { return makeCell(owner, kApplicationColumnWidth, false, "objectValue.appName"); });
    table->addTableColumn(title);
    table->addTableColumn(application);
    table->setDelegate(self);
    scroll->setDocumentView(table);
    view->addSubview(scroll);

    controller.setView(view);
    controller.setTableView(table);
}

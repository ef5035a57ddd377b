#include "TableViewController.h"

#include "SwitcherCodes.h"
#include "SwitcherLayoutRegistry.h"
#include "SwitcherLayoutSupport.h"

#include <appkit/NSKeyValueBinding.h>
#include <appkit/NSNib.h>
#include <appkit/NSScrollView.h>
#include <appkit/NSScreen.h>
#include <appkit/NSWindow.h>
#include <foundation/NSUserDefaults.h>
#include <model/DefaultsKeys.h>
#include <model/EBEventful.h>
#include <model/NSScreenExtension.h>
#include <model/SWWindow.h>
#include <model/WindowPosition.h>

namespace {

const std::string kReloadSelector = "reload";

Ref<NSUserDefaults> defaults() { return NSUserDefaults::standardUserDefaults(); }

}

TableViewController::TableViewController()
    : NSViewController("TableViewController")
    , m_arrayController(makeRef<NSArrayController>(Value::Array {}))
{
}

TableViewController::~TableViewController()
{
    m_eventMonitor.reset();
    NSObject::cancelPreviousPerformRequestsWithTarget(this, kReloadSelector);
    if (auto bus = EBEventful::processBus()) bus->stopReceivingEventsForObject(this);
    if (m_trackingArea && m_trackingArea->view()) m_trackingArea->view()->removeTrackingArea(m_trackingArea);
}

Ref<TableViewController> makeTableViewController() { return makeRef<TableViewController>(); }

// MARK: Life

void TableViewController::viewDidLoad()
{
    NSViewController::viewDidLoad();
    if (auto table = tableView()) {
        table->setDelegate(selfRef<NSObject>());
        table->setBackgroundColor(NSColor::clearColor());
    }
    bindTable();
    startMonitoringControlKeysEvent();
    Weak<TableViewController> weak = selfRef<TableViewController>();
    EBEventful::sharedInstance().receiveEvent(
        WindowListChangedEvent, selfRef<NSObject>(), [weak](const EBEvent&) {
            auto controller = weak.lock();
            if (!controller) return;
            controller->performAfterDelay(kReloadSelector, kReloadDelay, [weak] {
                if (auto controller = weak.lock()) controller->reload();
            });
        });
    updateTrackingAreas();
}

void TableViewController::viewWillAppear()
{
    NSViewController::viewWillAppear();
    setTabTextColor(
        defaults()->integerForKey(DefaultsKey::ThemeIndex) > SwitcherThemeLight ? NSColor::whiteColor() : NSColor::blackColor());
    if (auto table = tableView()) {
        const auto& columns = table->tableColumns();
        if (kSecondColumn < static_cast<long>(columns.size()))
            columns[kSecondColumn]->setHidden(
                defaults()->integerForKey(DefaultsKey::LayoutType) == SwitcherLayoutListWithoutSecondColumn);
    }
    setUpKeyDownEventMonitor();
    updateTrackingAreas();
}

void TableViewController::viewWillDisappear()
{
    NSViewController::viewWillDisappear();
    m_eventMonitor.reset();
}

void TableViewController::setArrayController(const Ref<NSArrayController>& arrayController)
{
    if (arrayController == m_arrayController) return;
    m_arrayController = arrayController;
    bindTable();
}

void TableViewController::bindTable()
{
    auto table = tableView();
    if (!table || !m_arrayController) return;
    table->bind(NSContentBinding, m_arrayController, "arrangedObjects");
    table->bind(NSSelectionIndexesBinding, m_arrayController, "selectionIndexes");
}

bool TableViewController::isPanelVisible() const { return isLayoutOnScreen(const_cast<TableViewController&>(*this)); }

void TableViewController::reload()
{
    if (isPanelVisible() && m_arrayController) m_arrayController->rearrangeObjects();
}

void TableViewController::setTabTextColor(const Ref<NSColor>& color)
{
    willChangeValueForKey("tabTextColor");
    m_tabTextColor = color;
    didChangeValueForKey("tabTextColor");
}

Value TableViewController::valueForKey(const std::string& key) const
{
    if (key == "tabTextColor") return Value(m_tabTextColor);
    if (key == "arrayController") return Value(m_arrayController);
    return NSViewController::valueForKey(key);
}

// MARK: Size

CGSize TableViewController::getContentSize()
{
    NSWindow* window = isViewLoaded() ? view()->window() : nullptr;
    Ref<NSScreen> screen = window ? window->screen() : nullptr;
    if (defaults()->boolForKey(DefaultsKey::FullScreenMode)) return screen ? screen->frame().size : CGSizeZero;

    float n = m_arrayController ? static_cast<float>(m_arrayController->content().size()) : 0;
    float height = n * kRowHeight;
    // Without a screen there is no usable height to cut to: cutting to
    // "0 - 60" would give the panel a negative height.
    if (screen) {
        float usable = static_cast<float>(frameWithoutDockOrMenu(*screen).size.height);
        if (height >= usable) height = usable - kScreenHeightGap;
    }
    return CGSizeMake(kListWidth, height);
}

// MARK: Selection

void TableViewController::select(NSUInteger index)
{
    if (m_arrayController) m_arrayController->setSelectionIndex(index);
}

void TableViewController::setBottomClearance(CGFloat clearance)
{
    auto table = tableView();
    if (auto scroll = table ? table->enclosingScrollView() : nullptr)
        keepScrollViewClearOfBottom(*scroll, kBottomMargin, clearance);
}

void TableViewController::tableViewSelectionDidChange(NSTableView&) { scrollToSelection(); }

void TableViewController::scrollToSelection()
{
    auto table = tableView();
    NSUInteger index = selectionIndex();
    if (table && index != NSNotFound) table->scrollRowToVisible(static_cast<long>(index));
}

void TableViewController::selectSecond()
{
    NSUInteger n = count();
    if (n == 0)
        select(NSNotFound);
    else
        select(n == 1 ? 0 : 1);
}

void TableViewController::selectNext()
{
    NSUInteger n = count();
    if (n == 0) {
        select(NSNotFound);
        return;
    }
    // From no selection the next entry is the first one.
    NSUInteger index = selectionIndex();
    select(index == NSNotFound ? 0 : (index + 1) % n);
}

void TableViewController::selectPrev()
{
    NSUInteger n = count();
    if (n == 0) {
        select(NSNotFound);
        return;
    }
    // From the first entry, from no selection, or from a selection the list
    // has shrunk below, the previous entry is the last one.
    NSUInteger index = selectionIndex();
    select(index == NSNotFound || index == 0 || index > n ? n - 1 : index - 1);
}

Ref<NSEvent> TableViewController::selectUpForEvent(const Ref<NSEvent>& event)
{
    if (count() == 0) return event;
    selectPrev();
    return nullptr;
}

Ref<NSEvent> TableViewController::selectDownForEvent(const Ref<NSEvent>& event)
{
    if (count() == 0) {
        if (selectionIndex() == 0) {
            select(0);
            return event;
        }
        selectNext();
        return nullptr;
    }
    selectNext();
    return nullptr;
}

// MARK: Keys

void TableViewController::moveSelectedWindow(uint16_t keyCode)
{
    if (!m_arrayController) return;
    auto selected = m_arrayController->selectedObjects();
    auto window = selected.empty() ? nullptr : selected.front().objectAs<SWWindow>();
    if (window)
        window->moveWindowToPosition(keyCode == kVK_LeftArrow ? WindowPositionLeftHalf : WindowPositionRightHalf);
}

void TableViewController::processControlKeys(uint16_t keyCode)
{
    switch (keyCode) {
    case kVK_LeftArrow:
    case kVK_RightArrow:
        moveSelectedWindow(keyCode);
        break;
    case kVK_DownArrow:
        selectDownForEvent(nullptr);
        break;
    case kVK_UpArrow:
        selectUpForEvent(nullptr);
        break;
    default:
        break;
    }
}

void TableViewController::startMonitoringControlKeysEvent() { receiveControlArrowKeys(selfRef<NSViewController>()); }

void TableViewController::setUpKeyDownEventMonitor()
{
    Weak<TableViewController> weak = selfRef<TableViewController>();
    m_eventMonitor = NSEvent::addLocalMonitorForEventsMatchingMask(
        NSEventMaskKeyDown, [weak](const Ref<NSEvent>& event) -> Ref<NSEvent> {
            auto controller = weak.lock();
            if (!controller || !event) return event;
            switch (event->keyCode()) {
            case kVK_LeftArrow:
            case kVK_RightArrow:
                controller->moveSelectedWindow(event->keyCode());
                return event;
            case kVK_DownArrow:
                return controller->selectDownForEvent(event);
            case kVK_UpArrow:
                return controller->selectUpForEvent(event);
            default:
                return event;
            }
        });
}

// MARK: Mouse

void TableViewController::updateTrackingAreas()
{
    if (!isViewLoaded()) return;
    auto view = this->view();
    if (m_trackingArea) view->removeTrackingArea(m_trackingArea);
    m_trackingArea = makeRef<NSTrackingArea>(view->bounds(),
        NSTrackingMouseEnteredAndExited | NSTrackingMouseMoved | NSTrackingActiveAlways,
        selfRef<NSResponder>());
    view->addTrackingArea(m_trackingArea);
}

void TableViewController::mouseMoved(const Ref<NSEvent>& event)
{
    auto table = tableView();
    if (!table || !event) return;
    long row = table->rowAtPoint(table->convertPointFromView(event->locationInWindow(), nullptr));
    if (row >= 0) table->selectRowIndexes(NSIndexSet::indexSetWithIndex(static_cast<NSUInteger>(row)), false);
}

static NSNibRegistration tableViewControllerNib("TableViewController",
    [](NSObject& owner) { buildTableViewControllerInterface(dynamic_cast<TableViewController&>(owner)); });

// The panel makes its list layouts through the registry.
static SwitcherLayoutRegistration listLayoutRegistration(
    SwitcherLayoutList, [] { return makeTableViewController(); });
static SwitcherLayoutRegistration listWithoutSecondColumnLayoutRegistration(
    SwitcherLayoutListWithoutSecondColumn, [] { return makeTableViewController(); });

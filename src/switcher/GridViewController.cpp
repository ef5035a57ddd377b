#include "GridViewController.h"

#include "GridCellInterface.h"
#include "GridCollectionViewItem.h"
#include "QXImageSizeTransformer.h"
#include "SwitcherLayoutRegistry.h"
#include "SwitcherLayoutSupport.h"

#include <appkit/NSApplication.h>
#include <appkit/NSNib.h>
#include <appkit/NSScrollView.h>
#include <appkit/NSScreen.h>
#include <appkit/NSWindow.h>
#include <foundation/NSUserDefaults.h>
#include <model/DefaultsKeys.h>
#include <model/EBEventful.h>
#include <model/NSScreenExtension.h>
#include <model/SWWindow.h>

#include <cmath>

GridViewController::GridViewController()
    : NSViewController("GridViewController")
    , m_arrayController(makeRef<NSArrayController>(Value::Array {}))
{
}

GridViewController::~GridViewController()
{
    m_eventMonitor.reset();
    stopReceivingBusEvents();
}

Ref<GridViewController> makeGridViewController() { return makeRef<GridViewController>(); }

void GridViewController::stopReceivingBusEvents()
{
    // Nothing can have registered before the bus existed.
    if (auto bus = EBEventful::processBus()) bus->stopReceivingEventsForObject(this);
}

// MARK: Life

void GridViewController::viewDidLoad()
{
    NSViewController::viewDidLoad();
    auto grid = collectionView();
    if (!grid) return;
    grid->setItemPrototype(makeRef<GridCollectionViewItem>());
    grid->setBackgroundColors({ NSColor::clearColor() });
    // A list handed over before the view was loaded is bound now.
    setUpBindig();
}

void GridViewController::setArrayController(const Ref<NSArrayController>& arrayController)
{
    if (arrayController == m_arrayController) return;
    m_arrayController = arrayController;
    if (m_arrayController && collectionView()) setUpBindig();
}

void GridViewController::setUpBindig()
{
    auto grid = collectionView();
    if (!grid || !m_arrayController) return;
    preparePreviewsInSight();
    grid->bind(NSContentBinding, m_arrayController, "arrangedObjects");
    grid->bind(NSSelectionIndexesBinding, m_arrayController, "selectionIndexes");
}

void GridViewController::preparePreviewsInSight()
{
    // The rows the panel shows from the top, the last one maybe in part.
    CGFloat height = getContentSize().height;
    auto rows = static_cast<size_t>(std::max(1.0, std::ceil(height / kItemHeight)));
    const auto& objects = m_arrayController->arrangedObjects();
    size_t count = std::min(objects.size(), rows * static_cast<size_t>(kColumnCount));
    std::vector<Value> previews;
    for (size_t i = 0; i < count; ++i)
        if (auto window = objects[i].objectAs<SWWindow>()) previews.emplace_back(window->previewImage());
    auto transformer = dynamicRef<QXImageSizeTransformer>(
        NSValueTransformer::valueTransformerForName(GridCollectionViewItem::kTransformerName));
    if (transformer) transformer->prepareTransformedValues(previews);
}

void GridViewController::viewWillAppear()
{
    NSViewController::viewWillAppear();
    setUpKeyDownEventMonitor();
    startMonitoringControlKeysEvent();
    // One observation of each name, however often the view appears.
    Weak<GridViewController> weak = selfRef<GridViewController>();
    auto& center = NSNotificationCenter::defaultCenter();
    m_selectedObjectObserver
        = center.addObserverForName("SelectedObject", nullptr, nullptr, [weak](const NSNotification& n) {
              if (auto self = weak.lock()) self->selectObject(n);
          });
    m_quickReloadObserver
        = center.addObserverForName("QuickReload", nullptr, nullptr, [weak](const NSNotification&) {
              if (auto self = weak.lock()) self->QuickReload();
          });
    if (m_arrayController) m_arrayController->rearrangeObjects();
}

void GridViewController::viewWillDisappear()
{
    NSViewController::viewWillDisappear();
    m_eventMonitor.reset();
    stopReceivingBusEvents();
}

// MARK: Size

CGSize GridViewController::getContentSize()
{
    NSWindow* window = isViewLoaded() ? view()->window() : nullptr;
    Ref<NSScreen> screen = window ? window->screen() : nullptr;
    if (NSUserDefaults::standardUserDefaults()->boolForKey(DefaultsKey::FullScreenMode))
        return screen ? screen->frame().size : CGSizeZero;

    float n = m_arrayController ? static_cast<float>(m_arrayController->content().size()) : 0;
    float k = kColumnCount;
    float width, height;
    if (n <= k) {
        width = n * kItemWidth + kHorizontalMargins;
        height = kItemHeight;
    } else {
        width = k * kItemWidth + kHorizontalMargins;
        height = std::ceil(n / k) * kItemHeight;
    }
    // Without a screen there is no usable height to cut to; cutting to
    // "0 - 100" would give the panel a negative height.
    if (screen) {
        float usable = static_cast<float>(frameWithoutDockOrMenu(*screen).size.height);
        if (height >= usable) height = usable - kScreenHeightGap;
    }
    return CGSizeMake(width, height);
}

NSUInteger GridViewController::columnCount() const
{
    auto grid = collectionView();
    if (grid && grid->itemPrototype() && grid->bounds().size.width >= kItemWidth)
        return grid->numberOfColumns();
    return static_cast<NSUInteger>(kColumnCount);
}

// MARK: Selection

void GridViewController::select(NSUInteger index)
{
    if (m_arrayController) m_arrayController->setSelectionIndex(index);
}

bool GridViewController::isPanelVisible() const { return isLayoutOnScreen(const_cast<GridViewController&>(*this)); }

void GridViewController::selectSecond()
{
    NSUInteger n = count();
    if (n == 0)
        select(NSNotFound);
    else
        select(n == 1 ? 0 : 1);
}

void GridViewController::selectNext()
{
    NSUInteger n = count();
    if (n == 0) {
        select(NSNotFound);
        return;
    }
    auto key = NSApp().keyWindow();
    if (key && key->identifier() == kSwitcherWindowIdentifier) {
        NSUInteger index = selectionIndex();
        NSUInteger next = index == NSNotFound ? 0 : index + 1;
        select(next >= n ? 0 : next);
        return;
    }
    select(n >= 3 ? 1 : 0);
}

void GridViewController::selectPrev()
{
    NSUInteger n = count();
    if (n == 0) {
        select(NSNotFound);
        return;
    }
    NSUInteger index = selectionIndex();
    if (index == NSNotFound || index == 0 || index - 1 >= n)
        select(n - 1);
    else
        select(index - 1);
}

Ref<NSEvent> GridViewController::selectUpForEvent(const Ref<NSEvent>& event)
{
    if (count() == 0) return event;
    NSUInteger index = selectionIndex();
    NSUInteger columns = columnCount();
    if (index != NSNotFound && index >= columns)
        select(index - columns);
    else
        selectPrev();
    return nullptr;
}

Ref<NSEvent> GridViewController::selectDownForEvent(const Ref<NSEvent>& event)
{
    NSUInteger n = count();
    if (n == 0) return event;
    NSUInteger index = selectionIndex();
    NSUInteger columns = columnCount();
    if (index != NSNotFound && index + columns <= n - 1)
        select(index + columns);
    else
        selectNext();
    return nullptr;
}

void GridViewController::processControlKeys(uint16_t keyCode)
{
    switch (keyCode) {
    case kVK_LeftArrow:
        selectPrev();
        break;
    case kVK_RightArrow:
        selectNext();
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

void GridViewController::startMonitoringControlKeysEvent() { receiveControlArrowKeys(selfRef<NSViewController>()); }

void GridViewController::setUpKeyDownEventMonitor()
{
    Weak<GridViewController> weak = selfRef<GridViewController>();
    m_eventMonitor = NSEvent::addLocalMonitorForEventsMatchingMask(
        NSEventMaskKeyDown, [weak](const Ref<NSEvent>& event) -> Ref<NSEvent> {
            auto controller = weak.lock();
            if (!controller) return event;
            switch (event->keyCode()) {
            case kVK_LeftArrow:
                controller->selectPrev();
                return nullptr;
            case kVK_RightArrow:
                controller->selectNext();
                return nullptr;
            case kVK_DownArrow:
                return controller->selectDownForEvent(event);
            case kVK_UpArrow:
                return controller->selectUpForEvent(event);
            default:
                return event;
            }
        });
}

void GridViewController::flagsChanged(const Ref<NSEvent>& event)
{
    NSWindow* window = isViewLoaded() ? view()->window() : nullptr;
    if (window) window->flagsChanged(event);
}

void GridViewController::selectObject(const NSNotification& notification)
{
    if (!isPanelVisible() || !m_arrayController || !notification.object) return;
    Value object(notification.object);
    const auto& content = m_arrayController->content();
    if (std::find(content.begin(), content.end(), object) == content.end()) return;
    const auto& arranged = m_arrayController->arrangedObjects();
    auto found = std::find(arranged.begin(), arranged.end(), object);
    if (found != arranged.end()) select(static_cast<NSUInteger>(found - arranged.begin()));
}

void GridViewController::QuickReload()
{
    if (m_arrayController) m_arrayController->rearrangeObjects();
}

void GridViewController::collectionViewDidSelectItemsAtIndexPaths(
    NSCollectionView& view, const std::set<NSIndexPath>& paths)
{
    if (paths.empty()) return;
    if (auto item = view.itemAtIndexPath(*paths.begin())) item->setSelected(true);
    // However the selection moved (arrows, Tab, a digit, the mouse), the
    // selected cell is scrolled into view in a grid taller than the panel.
    view.scrollRectToVisible(view.frameForItemAtIndex(paths.begin()->item));
}

void GridViewController::setBottomClearance(CGFloat clearance)
{
    auto grid = collectionView();
    if (auto scroll = grid ? grid->enclosingScrollView() : nullptr)
        keepScrollViewClearOfBottom(*scroll, kGridBottomMargin, clearance);
}

void GridViewController::collectionViewDidDeselectItemsAtIndexPaths(
    NSCollectionView& view, const std::set<NSIndexPath>& paths)
{
    if (paths.empty()) return;
    if (auto item = view.itemAtIndexPath(*paths.begin())) item->setSelected(false);
}

static NSNibRegistration gridViewControllerNib("GridViewController",
    [](NSObject& owner) { buildGridViewControllerInterface(dynamic_cast<GridViewController&>(owner)); });

// The panel makes its grid layout through the registry.
static SwitcherLayoutRegistration gridLayoutRegistration(
    SwitcherLayoutGrid, [] { return makeGridViewController(); });

#include "GridCollectionViewItem.h"

#include "BadgeView.h"
#include "GridCellInterface.h"
#include "QXImageSizeTransformer.h"
#include "SwitcherCodes.h"
#include "WindowButton.h"
#include "WindowManViewPanel.h"

#include <appkit/NSImageView.h>
#include <appkit/NSNib.h>
#include <foundation/NSNotificationCenter.h>
#include <foundation/NSUserDefaults.h>
#include <model/DefaultsKeys.h>
#include <model/SWWindow.h>
#include <toolkit/FBFlatButton.h>

GridCollectionViewItem::GridCollectionViewItem()
    : NSCollectionViewItem("GridCollectionViewItem")
{
    m_previewVT = makeRef<QXImageSizeTransformer>(kPreviewSize);
    NSValueTransformer::setValueTransformer(m_previewVT, kTransformerName);
    setActionHandler("windowAction:", [this](const Ref<NSObject>& sender) { windowAction(sender); });
}

GridCollectionViewItem::~GridCollectionViewItem()
{
    cancelPreviousPerformRequestsWithTarget(this);
    if (m_trackingArea && m_trackingArea->view()) m_trackingArea->view()->removeTrackingArea(m_trackingArea);
}

Ref<SWWindow> GridCollectionViewItem::window() const { return representedObject().objectAs<SWWindow>(); }

void GridCollectionViewItem::setOutlets(const Ref<WindowButton>& close, const Ref<WindowButton>& minimize,
    const Ref<WindowButton>& maximize, const Ref<WindowManViewPanel>& panel, const Ref<NSTextField>& title,
    const Ref<FBFlatButton>& badge, const Ref<NSImageView>& preview)
{
    m_closeButton = close;
    m_minimizeButton = minimize;
    m_maximizeButton = maximize;
    m_windowManPanel = panel;
    m_titleLabel = title;
    m_badgeBtn = badge;
    m_previewView = preview;
}

// MARK: Life

void GridCollectionViewItem::viewDidLoad()
{
    NSCollectionViewItem::viewDidLoad();
    setContentView(view());
    view()->setTranslatesAutoresizingMaskIntoConstraints(true);
    setVisibelContorls();
}

void GridCollectionViewItem::setContentView(const Ref<NSView>& contentView)
{
    if (!contentView) return;
    contentView->setWantsLayer(true);
    contentView->layer()->setFrame(contentView->frame());
    contentView->layer()->setCornerRadius(kCornerRadius);
    contentView->layer()->setMasksToBounds(true);
}

void GridCollectionViewItem::viewWillAppear()
{
    NSCollectionViewItem::viewWillAppear();
    m_isFirst = true;
    Weak<GridCollectionViewItem> weak = selfRef<GridCollectionViewItem>();
    cancelPreviousPerformRequestsWithTarget(this, "updateTrackingAreas");
    performAfterDelay("updateTrackingAreas", kTrackingDelay, [weak] {
        if (auto item = weak.lock()) item->updateTrackingAreas();
    });
    if (auto badge = badgeBtn()) {
        int64_t theme = NSUserDefaults::standardUserDefaults()->integerForKey(DefaultsKey::ThemeIndex);
        badge->setBackgroundNormalColor(
            theme != SwitcherThemeLight ? NSColor::darkGrayColor() : NSColor::lightGrayColor());
        badge->setCornerRadius(kBadgeCornerRadius);
        badge->setTitleNormalColor(NSColor::whiteColor());
        badge->setBorderNormalColor(NSColor::whiteColor());
        badge->setBorderWidth(theme == SwitcherThemeUltraDark ? 2.0 : 0.0);
    }
    // A cell that comes up shows its window as it is now, not as it was
    // when the record was made (and a minimised window, never captured
    // while off the screen, gets its picture).
    updatePreview();
}

void GridCollectionViewItem::viewWillDisappear()
{
    NSCollectionViewItem::viewWillDisappear();
    // A cell that leaves the screen (the panel closing, or the list being
    // rebuilt) stops acting on scroll events at once.
    removeScrollMonitor();
}

void GridCollectionViewItem::viewDidDisappear()
{
    NSCollectionViewItem::viewDidDisappear();
    cancelPreviousPerformRequestsWithTarget(this, "updateTrackingAreas");
    if (m_trackingArea && isViewLoaded()) view()->removeTrackingArea(m_trackingArea);
    removeScrollMonitor();
}

// MARK: Hover

void GridCollectionViewItem::updateTrackingAreas()
{
    if (!isViewLoaded()) return;
    if (m_trackingArea) view()->removeTrackingArea(m_trackingArea);
    constexpr NSTrackingAreaOptions kOptions
        = NSTrackingMouseEnteredAndExited | NSTrackingMouseMoved | NSTrackingActiveInKeyWindow;
    m_trackingArea = makeRef<NSTrackingArea>(view()->bounds(), kOptions, selfRef<NSResponder>());
    view()->addTrackingArea(m_trackingArea);
}

void GridCollectionViewItem::mouseEntered(const Ref<NSEvent>&)
{
    update();
    updatePreview();
}

void GridCollectionViewItem::mouseMoved(const Ref<NSEvent>&)
{
    m_isFirst = false;
    update();
}

void GridCollectionViewItem::mouseExited(const Ref<NSEvent>&)
{
    setSelected(false);
    setVisibelContorls();
    // The gesture belongs to the hovered cell: a monitor left behind would
    // run before the next cell's and act on this cell's window.
    removeScrollMonitor();
}

void GridCollectionViewItem::update()
{
    if (m_isFirst) {
        m_isFirst = false;
        return;
    }
    setSelected(true);
    NSNotificationCenter::defaultCenter().postNotificationName("SelectedObject", window());
    setVisibelContorls();
    if (!m_scrollKeyMonitor.isActive()) {
        Weak<GridCollectionViewItem> weak = selfRef<GridCollectionViewItem>();
        m_scrollKeyMonitor = NSEvent::addLocalMonitorForEventsMatchingMask(
            NSEventMaskScrollWheel, [weak](const Ref<NSEvent>& event) -> Ref<NSEvent> {
                if (auto item = weak.lock()) return item->handleScrollEvent(event);
                return nullptr;
            });
    }
}

void GridCollectionViewItem::updatePreview()
{
    if (auto shown = window()) shown->updatePreview();
}

void GridCollectionViewItem::updatePreviewNotif()
{
    auto shown = window();
    if (auto preview = previewView()) preview->setAlphaValue(shown && shown->isWindowMinimized() ? 0.5 : 1.0);
}

Ref<NSEvent> GridCollectionViewItem::handleScrollEvent(const Ref<NSEvent>& event)
{
    auto shown = window();
    if (!event || !shown) return nullptr;
    CGFloat dx = event->scrollingDeltaX(), dy = event->scrollingDeltaY();
    auto direction = [&](CGFloat delta) {
        int s = delta > kScrollThreshold ? 1 : delta < -kScrollThreshold ? -1 : 0;
        return event->isDirectionInvertedFromDevice() ? -s : s;
    };
    if (std::abs(dx) > std::abs(dy)) {
        int s = direction(dx);
        if (s == 1)
            shown->moveWindowToPosition(WindowPositionLeftHalf);
        else if (s == -1)
            shown->moveWindowToPosition(WindowPositionRightHalf);
    } else {
        int s = direction(dy);
        if (s == 1)
            shown->maximize();
        else if (s == -1)
            shown->minimize();
    }
    return nullptr;
}

// MARK: Selection and controls

void GridCollectionViewItem::setSelected(bool flag)
{
    NSCollectionViewItem::setSelected(flag);
    if (!isViewLoaded()) return;
    auto layer = view()->layer();
    if (flag) {
        if (layer) layer->setBackgroundColor(CGColorCreateGenericGray(0, kSelectedBackgroundAlpha));
    } else {
        if (layer) layer->setBackgroundColor(NSColor::clearColor()->CGColor());
        setVisibelContorls();
    }
    if (auto title = titleLabel()) title->setNeedsDisplay(true);
}

void GridCollectionViewItem::setVisibelContorls()
{
    bool selected = isSelected();
    if (auto title = titleLabel()) title->setHidden(selected);
    for (const auto& button : { closeButton(), minimizeButton(), maximizeButton() })
        if (button) button->setHidden(!selected);
    if (auto panel = windowManPanel()) panel->setHidden(!selected);
}

// MARK: Actions

void GridCollectionViewItem::windowAction(const Ref<NSObject>& sender)
{
    auto shown = window();
    if (!shown) return;
    auto view = std::dynamic_pointer_cast<NSView>(sender);
    long tag = view ? view->tag() : 0;
    switch (tag) {
    case TagActivate:
        shown->activateWindow();
        break;
    case TagClose:
        shown->close();
        break;
    case TagMinimize:
        shown->minimize();
        break;
    case TagMaximize:
        shown->maximize();
        break;
    case TagLeft30:
        shown->moveWindowToPosition(WindowPositionLeft30);
        break;
    case TagLeftHalf:
        shown->moveWindowToPosition(WindowPositionLeftHalf);
        break;
    case TagLeft60:
        shown->moveWindowToPosition(WindowPositionLeft60);
        break;
    case TagCenter:
        shown->moveWindowToPosition(WindowPositionCenter);
        break;
    case TagRight60:
        shown->moveWindowToPosition(WindowPositionRight60);
        break;
    case TagRightHalf:
        shown->moveWindowToPosition(WindowPositionRightHalf);
        break;
    case TagRight30:
        shown->moveWindowToPosition(WindowPositionRight30);
        break;
    default:
        break;
    }
    shown->updatePreview();
}

static NSNibRegistration gridCollectionViewItemNib("GridCollectionViewItem", [](NSObject& owner) {
    buildGridCollectionViewItemInterface(dynamic_cast<GridCollectionViewItem&>(owner));
});

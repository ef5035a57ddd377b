#include "CarouselViewController.h"

#include "CarouselItemController.h"
#include "KeyAndMouseEventView.h"
#include "SwitcherCodes.h"
#include "SwitcherLayoutRegistry.h"
#include "SwitcherLayoutSupport.h"

#include <appkit/NSKeyPathObserver.h>
#include <appkit/NSNib.h>
#include <appkit/NSScreen.h>
#include <appkit/NSWindow.h>
#include <foundation/NSUserDefaults.h>
#include <model/EBEventful.h>

#include <algorithm>
#include <cmath>

namespace {

const std::string kPerformSelectSelector = "performSelect";
constexpr uint16_t kKeyM = 46;
// The Flip 3D arrangement turns every card by this much about the y axis.
constexpr double kFlipAngle = M_PI / 8;

Ref<NSUserDefaults> defaults() { return NSUserDefaults::standardUserDefaults(); }

// The interface file: a view as large as the screen it fills, holding the
// carousel, whose data source and delegate are the controller.
void buildCarouselViewControllerInterface(CarouselViewController& controller)
{
    auto screen = NSScreen::mainScreen();
    CGRect frame = { {}, screen ? screen->frame().size : CGSizeMake(1440, 900) };
    auto view = makeRef<NSView>(frame);
    auto carousel = makeRef<CarouselView>(frame);
    carousel->setAutoresizingMask(NSViewWidthSizable | NSViewHeightSizable);
    auto self = controller.selfRef<CarouselViewController>();
    carousel->setDelegate(self);
    carousel->setDataSource(self);
    view->addSubview(carousel);
    controller.setView(view);
    controller.setCarousel(carousel);
}

NSNibRegistration carouselViewControllerNib("CarouselViewController",
    [](NSObject& owner) { buildCarouselViewControllerInterface(dynamic_cast<CarouselViewController&>(owner)); });

}

CarouselViewController::CarouselViewController()
    : NSViewController("CarouselViewController")
    , m_arrayController(makeRef<NSArrayController>(Value::Array {}))
{
}

CarouselViewController::~CarouselViewController()
{
    m_eventMonitor.reset();
    m_arrangedObservation.reset();
    NSObject::cancelPreviousPerformRequestsWithTarget(this, kPerformSelectSelector);
    if (auto bus = EBEventful::processBus()) bus->stopReceivingEventsForObject(this);
}

Ref<CarouselViewController> makeCarouselViewController() { return makeRef<CarouselViewController>(); }

// MARK: Life

void CarouselViewController::viewDidLoad()
{
    NSViewController::viewDidLoad();
    auto carousel = this->carousel();
    if (carousel) carousel->setType(kInitialType);
    if (auto window = view()->window(); window && carousel) window->makeFirstResponder(carousel);
    startMonitoringControlKeysEvent();
    m_numKeyStrArray = { "1", "2", "3", "4", "5", "6", "7", "8", "9", "0" };
    reloadCarousel();
}

void CarouselViewController::viewWillAppear()
{
    NSViewController::viewWillAppear();
    auto carousel = this->carousel();
    if (carousel) {
        // A stored style that names no arrangement shows the default one.
        int64_t type = defaults()->integerForKey("Style3DIndex");
        carousel->setType(type >= 0 && type < kCarouselTypeCount ? type : kInitialType);
    }
    reloadCarousel();
    if (auto window = view()->window(); window && carousel) window->makeFirstResponder(carousel);
    m_animated = defaults()->boolForKey("Animation3D");
    // The monitor lives while the carousel is on screen only: it takes the
    // arrow keys, which the rest of the application needs for itself.
    setUpKeyDownEventMonitor();
}

void CarouselViewController::viewWillDisappear()
{
    NSViewController::viewWillDisappear();
    m_eventMonitor.reset();
}

void CarouselViewController::setArrayController(const Ref<NSArrayController>& arrayController)
{
    if (arrayController == m_arrayController) return;
    m_arrayController = arrayController;
    m_arrangedObservation.reset();
    if (!arrayController) return;
    const NSObject* observed = arrayController.get();
    m_arrangedObservation = NSObserveKeyPath(*arrayController, "arrangedObjects", NSKeyValueObservingOptionNew,
        [this, observed](const KVOChange& change) { observeValueForKeyPath(change.key, observed); });
    arrayController->setSortDescriptors({ NSSortDescriptor::sortDescriptorWithKey("sortOrder", true) });
    m_count = static_cast<int64_t>(contentCount());
    reloadCarousel();
}

void CarouselViewController::observeValueForKeyPath(const std::string&, const NSObject* object)
{
    if (!object || object != m_arrayController.get()) return;
    auto n = static_cast<int64_t>(contentCount());
    if (n != m_count) {
        reloadCarousel();
        m_count = n;
        selectNext();
        return;
    }
    // The same windows in a new order: the cards follow, so that card i is
    // still the window at index i of the list.
    std::vector<const NSObject*> order;
    for (const auto& window : windows())
        order.push_back(window.object().get());
    if (order != m_shownWindows) {
        reloadCarousel();
        NSUInteger selected = m_arrayController->selectionIndex();
        if (selected != NSNotFound && selected < order.size()) scrollTo(static_cast<int64_t>(selected));
    }
}

void CarouselViewController::startMonitoringControlKeysEvent()
{
    receiveControlArrowKeys(selfRef<NSViewController>());
}

CGSize CarouselViewController::getContentSize()
{
    NSWindow* window = isViewLoaded() ? view()->window() : nullptr;
    Ref<NSScreen> screen = window ? window->screen() : nullptr;
    return screen ? screen->frame().size : CGSizeZero;
}

// MARK: Cards

const Value::Array& CarouselViewController::windows() const
{
    static const Value::Array none;
    return m_arrayController ? m_arrayController->arrangedObjects() : none;
}

void CarouselViewController::reloadCarousel()
{
    if (auto carousel = this->carousel()) carousel->reloadData();
    m_shownWindows.clear();
    for (const auto& window : windows())
        m_shownWindows.push_back(window.object().get());
    dropReleasedCards(true);
}

void CarouselViewController::dropReleasedCards(bool listChanged)
{
    auto carousel = this->carousel();
    if (!carousel) {
        m_cards.clear();
        return;
    }
    if (listChanged) {
        // Few cards, a list that may be long: the cards look for their
        // windows, not the list for its cards.
        std::set<const NSObject*> unlisted;
        for (const auto& [window, card] : m_cards)
            unlisted.insert(window);
        for (const NSObject* window : m_shownWindows) {
            if (unlisted.empty()) break;
            unlisted.erase(window);
        }
        for (const NSObject* window : unlisted)
            m_cards.erase(window);
    }
    std::set<const NSView*> held;
    for (const auto& [index, view] : carousel->itemViews())
        held.insert(view.get());
    for (const auto& view : carousel->itemViewPool())
        held.insert(view.get());
    std::vector<std::pair<uint64_t, const NSObject*>> spare;
    for (const auto& [window, card] : m_cards)
        if (!held.count(card.controller->view().get())) spare.push_back({ card.lastUsed, window });
    if (spare.size() <= kSpareCards) return;
    std::sort(spare.begin(), spare.end());
    for (size_t i = 0; i < spare.size() - kSpareCards; ++i)
        m_cards.erase(spare[i].second);
}

int64_t CarouselViewController::numberOfItemsInCarousel(CarouselView&)
{
    return static_cast<int64_t>(windows().size());
}

Ref<NSView> CarouselViewController::carouselViewForItemAtIndex(CarouselView& carousel, int64_t index, Ref<NSView> reusingView)
{
    const auto& list = windows();
    if (index < 0 || index >= static_cast<int64_t>(list.size())) return nullptr;
    // A copy: the list may be arranged anew while the card takes it.
    const Value window = list[static_cast<size_t>(index)];
    const NSObject* key = window.object().get();
    // The window's own card, unless it shows at another index right now.
    if (auto it = m_cards.find(key); it != m_cards.end()) {
        auto view = it->second.controller->view();
        int64_t shownAt = carousel.indexOfItemView(view.get());
        if (shownAt == static_cast<int64_t>(NSNotFound) || shownAt == index) {
            it->second.lastUsed = ++m_cardClock;
            // As a new card: the selection marks it again when it is chosen.
            it->second.controller->setSelected(false);
            return view;
        }
    }
    // Else the card the carousel offers back, now for this window, or a new
    // one.
    auto card = std::dynamic_pointer_cast<CarouselItemController>(getControllerFromView(reusingView));
    if (card) {
        std::erase_if(m_cards, [&card](const auto& entry) { return entry.second.controller == card; });
        card->setSelected(false);
    } else {
        card = makeRef<CarouselItemController>();
        card->view()->setFrame(CarouselItemController::kCardFrame);
    }
    card->setRepresentedObject(window);
    m_cards[key] = { card, ++m_cardClock };
    dropReleasedCards(false);
    return card->view();
}

Ref<NSViewController> CarouselViewController::getControllerFromView(const Ref<NSView>& view)
{
    auto card = std::dynamic_pointer_cast<KeyAndMouseEventView>(view);
    return card ? card->viewController() : nullptr;
}

Ref<CarouselItemController> CarouselViewController::cardAtIndex(int64_t index) const
{
    auto carousel = this->carousel();
    auto view = carousel ? carousel->itemViewAtIndex(index) : nullptr;
    return std::dynamic_pointer_cast<CarouselItemController>(getControllerFromView(view));
}

double CarouselViewController::carouselItemWidth(CarouselView& carousel)
{
    switch (carousel.type()) {
    case CarouselTypeLinear:
        return kLinearItemWidth;
    case CarouselTypeCoverFlow:
    case CarouselTypeCoverFlow2:
        return kCoverFlowItemWidth;
    default:
        return kItemWidth;
    }
}

CATransform3D CarouselViewController::carouselItemTransformForOffset(
    CarouselView& carousel, double offset, CATransform3D baseTransform)
{
    CATransform3D turned = CATransform3DRotate(baseTransform, kFlipAngle, 0, 1, 0);
    return CATransform3DTranslate(turned, 0, 0, offset * carousel.itemWidth());
}

double CarouselViewController::carouselValueForOption(CarouselView& carousel, int64_t option, double withDefault)
{
    switch (option) {
    case CarouselOptionWrap:
        // Every style wraps, from the first layout pass on: whether a card
        // happens to be loaded when the pass asks must not decide it.
        return 1.0;
    case CarouselOptionSpacing:
        return withDefault * kSpacingFactor;
    case CarouselOptionFadeMax:
        return carousel.type() == CarouselTypeFlip3D ? 0.0 : withDefault;
    default:
        return withDefault;
    }
}

// MARK: Selection

void CarouselViewController::carouselDidSelectItemAtIndex(CarouselView& carousel, int64_t index)
{
    if (m_arrayController) m_arrayController->setSelectionIndex(static_cast<NSUInteger>(index));
    for (const auto& view : carousel.visibleItemViews()) {
        // The carousel lists a missing view as nothing.
        if (auto card = std::dynamic_pointer_cast<CarouselItemController>(getControllerFromView(view)))
            card->setSelected(false);
    }
    if (auto card = cardAtIndex(index)) card->setSelected(true);
}

void CarouselViewController::performSelect()
{
    if (!m_arrayController) return;
    NSUInteger index = m_arrayController->selectionIndex();
    auto carousel = this->carousel();
    if (index == NSNotFound || !carousel) return;
    carouselDidSelectItemAtIndex(*carousel, static_cast<int64_t>(index));
    if (auto card = cardAtIndex(static_cast<int64_t>(index))) card->setSelected(true);
}

void CarouselViewController::scrollTo(int64_t index)
{
    if (auto carousel = this->carousel()) carousel->scrollToItemAtIndex(index, m_animated);
}

void CarouselViewController::stepTo(int64_t index)
{
    scrollTo(index);
    if (m_arrayController) m_arrayController->setSelectionIndex(static_cast<NSUInteger>(index));
    if (auto carousel = this->carousel()) carouselDidSelectItemAtIndex(*carousel, index);
}

void CarouselViewController::selectSecond()
{
    NSUInteger n = listCount();
    if (n == 0) {
        if (m_arrayController) m_arrayController->setSelectionIndex(NSNotFound);
        return;
    }
    // Two windows select the first: the carousel shows it in front.
    int64_t index = n < 3 ? 0 : 1;
    scrollTo(index);
    if (auto carousel = this->carousel()) carouselDidSelectItemAtIndex(*carousel, index);
    else if (m_arrayController) m_arrayController->setSelectionIndex(static_cast<NSUInteger>(index));
    Weak<CarouselViewController> weak = selfRef<CarouselViewController>();
    cancelPreviousPerformRequestsWithTarget(this, kPerformSelectSelector);
    performAfterDelay(kPerformSelectSelector, kPerformSelectDelay, [weak] {
        if (auto controller = weak.lock()) controller->performSelect();
    });
}

void CarouselViewController::selectNext()
{
    auto carousel = this->carousel();
    if (carousel && carousel->type() == CarouselTypeFlip3D)
        _selectPrev();
    else
        _selectNext();
}

void CarouselViewController::selectPrev()
{
    auto carousel = this->carousel();
    if (carousel && carousel->type() == CarouselTypeFlip3D)
        _selectNext();
    else
        _selectPrev();
}

int64_t CarouselViewController::stepOrigin() const
{
    // The selection is where the last step went, even while the carousel
    // is still on its way there: counting from the card in front would
    // lose a step made during the animation.
    NSUInteger selected = m_arrayController ? m_arrayController->selectionIndex() : NSNotFound;
    if (selected != NSNotFound && selected < listCount()) return static_cast<int64_t>(selected);
    auto carousel = this->carousel();
    return carousel ? carousel->currentItemIndex() : 0;
}

void CarouselViewController::stepBy(int64_t direction)
{
    fixScroll();
    auto n = static_cast<int64_t>(listCount());
    if (n == 0) {
        if (m_arrayController) m_arrayController->setSelectionIndex(NSNotFound);
        return;
    }
    // Both ends wrap.
    int64_t i = stepOrigin();
    stepTo(((i + direction) % n + n) % n);
}

void CarouselViewController::_selectNext() { stepBy(1); }

void CarouselViewController::_selectPrev() { stepBy(-1); }

void CarouselViewController::fixScroll()
{
    // Cards the carousel lost while the list has windows come back; the
    // selection and the card in front stay where they are.
    auto carousel = this->carousel();
    if (!carousel || windows().empty()) return;
    const auto& views = carousel->itemViews();
    bool anyCard = std::any_of(views.begin(), views.end(), [](const auto& entry) { return static_cast<bool>(entry.second); });
    if (!anyCard) reloadCarousel();
}

void CarouselViewController::selectByKey(const std::string& key)
{
    if (key.size() != 1 || key[0] < '0' || key[0] > '9') return;
    // "0" stands for the tenth window, after "9".
    size_t position = key[0] == '0' ? 10 : static_cast<size_t>(key[0] - '0');
    if (position < 1 || position > contentCount() || position > listCount()) return;
    stepTo(static_cast<int64_t>(position - 1));
}

void CarouselViewController::setUpKeyDownEventMonitor()
{
    Weak<CarouselViewController> weak = selfRef<CarouselViewController>();
    m_eventMonitor = NSEvent::addLocalMonitorForEventsMatchingMask(
        NSEventMaskKeyDown, [weak](const Ref<NSEvent>& event) -> Ref<NSEvent> {
            auto controller = weak.lock();
            if (!controller || !event) return event;
            const auto& keys = controller->numKeyStrArray();
            const auto& characters = event->charactersIgnoringModifiers();
            if (std::find(keys.begin(), keys.end(), characters) != keys.end()) {
                controller->selectByKey(characters);
                return event;
            }
            switch (event->keyCode()) {
            case kKeyM: {
                // The card shows the window's new state; the panel then
                // minimises or restores it.
                auto carousel = controller->carousel();
                NSUInteger selected = controller->arrayController() ? controller->arrayController()->selectionIndex() : NSNotFound;
                if (carousel && selected != NSNotFound) carousel->reloadItemAtIndex(static_cast<int64_t>(selected), false);
                return event;
            }
            case kVK_RightArrow:
                controller->_selectNext();
                return nullptr;
            case kVK_LeftArrow:
                controller->_selectPrev();
                return nullptr;
            default:
                return event;
            }
        });
}

// The panel makes its carousel layout through the registry.
static SwitcherLayoutRegistration carouselLayoutRegistration(
    SwitcherLayoutCarousel, [] { return makeCarouselViewController(); });

// The carousel layout of the switcher panel ("LayoutType" 3): the windows
// as large cards on a 3D carousel that fills the screen, in the arrangement
// "Style3DIndex" names, stepping with or without animation as "Animation3D"
// says. Card i shows the window at index i of the array controller's
// arranged list, so that the card in front, a digit and a click always mean
// the same window as the panel's selection.
#pragma once

#include "CarouselView.h"
#include "CarouselViewProtocols.h"
#include "SwitchViewControllerProtocol.h"

#include <appkit/NSArrayController.h>
#include <appkit/NSEvent.h>
#include <appkit/NSViewController.h>

#include <map>
#include <string>
#include <vector>

class CarouselItemController;

class CarouselViewController : public NSViewController,
                               public SwitchViewControllerProtocol,
                               public CarouselViewDataSource,
                               public CarouselViewDelegate {
public:
    // init: loads the interface file "CarouselViewController" on first view
    // request; starts with an empty array controller.
    CarouselViewController();
    ~CarouselViewController() override;

    // The arrangement the carousel starts in, before "Style3DIndex" is read.
    static constexpr int64_t kInitialType = CarouselTypeCoverFlow2;
    // Item widths: the linear row, the two cover-flow rows, every other.
    static constexpr double kLinearItemWidth = 150;
    static constexpr double kCoverFlowItemWidth = 400;
    static constexpr double kItemWidth = 200;
    static constexpr double kSpacingFactor = 4.05;
    // The first selection is made again this long after the panel opens,
    // when the cards have come up.
    static constexpr double kPerformSelectDelay = 0.2;

    // SwitchViewControllerProtocol.
    CGSize getContentSize() override;
    void selectSecond() override;
    void selectNext() override;
    void selectPrev() override;
    void setArrayController(const Ref<NSArrayController>& arrayController) override;
    void startMonitoringControlKeysEvent() override;
    // The arrows of the bus do nothing in this layout.
    void processControlKeys(uint16_t) override { }

    void viewDidLoad() override;
    void viewWillAppear() override;
    void viewWillDisappear() override;

    // The window records, in the array controller's arranged order (the
    // array controller's own list: read it before anything arranges it anew).
    const Value::Array& windows() const;
    void performSelect();
    static Ref<NSViewController> getControllerFromView(const Ref<NSView>& view);
    void fixScroll();
    void _selectNext();
    void _selectPrev();
    void selectByKey(const std::string& key);
    void setUpKeyDownEventMonitor();
    // The array controller's arranged objects changed.
    void observeValueForKeyPath(const std::string& keyPath, const NSObject* object);

    // CarouselViewDataSource.
    int64_t numberOfItemsInCarousel(CarouselView& carousel) override;
    Ref<NSView> carouselViewForItemAtIndex(CarouselView& carousel, int64_t index, Ref<NSView> reusingView) override;
    int64_t numberOfPlaceholdersInCarousel(CarouselView&) override { return 0; }

    // CarouselViewDelegate.
    double carouselItemWidth(CarouselView& carousel) override;
    CATransform3D carouselItemTransformForOffset(CarouselView& carousel, double offset, CATransform3D baseTransform) override;
    double carouselValueForOption(CarouselView& carousel, int64_t option, double withDefault) override;
    void carouselDidSelectItemAtIndex(CarouselView& carousel, int64_t index) override;

    bool animated() const { return m_animated; }
    int64_t count() const { return m_count; }
    const std::vector<std::string>& numKeyStrArray() const { return m_numKeyStrArray; }
    const Ref<NSArrayController>& arrayController() const { return m_arrayController; }
    Ref<CarouselView> carousel() const { return m_carousel.lock(); }
    void setCarousel(const Ref<CarouselView>& carousel) { m_carousel = carousel; }
    bool hasKeyDownMonitor() const { return m_eventMonitor.isActive(); }
    // Cards of windows that are not in sight kept for when they come back:
    // at most this many besides those the carousel holds.
    static constexpr size_t kSpareCards = 16;
    // The cards' controllers alive now: one per card view the carousel
    // holds, and up to kSpareCards more of windows still in the list.
    size_t cardControllerCount() const { return m_cards.size(); }
    // The card controller of the view at the index, or null.
    Ref<CarouselItemController> cardAtIndex(int64_t index) const;

private:
    NSUInteger listCount() const { return m_arrayController ? m_arrayController->arrangedObjects().size() : 0; }
    NSUInteger contentCount() const { return m_arrayController ? m_arrayController->content().size() : 0; }
    // Shows the card at the index in front and selects its window.
    void stepTo(int64_t index);
    void scrollTo(int64_t index);
    // One card forward (1) or back (-1) from where stepping starts.
    void stepBy(int64_t direction);
    void reloadCarousel();
    // Lets go of the cards of windows no longer in the list, and of the
    // oldest cards the carousel does not hold beyond kSpareCards.
    void dropReleasedCards(bool listChanged);
    // Where stepping starts: the selected window, else the card in front.
    int64_t stepOrigin() const;

    Token m_eventMonitor;
    Token m_arrangedObservation;
    std::vector<std::string> m_numKeyStrArray;
    int64_t m_count { 0 };
    bool m_animated { true };
    Ref<NSArrayController> m_arrayController;
    Weak<CarouselView> m_carousel;
    // The windows the cards were made for, in order, to notice a new order.
    std::vector<const NSObject*> m_shownWindows;
    // One card per window, kept across reloads and openings: a card shown
    // again keeps what it drew and only what changed on it is drawn anew.
    struct Card {
        Ref<CarouselItemController> controller;
        uint64_t lastUsed { 0 };
    };
    std::map<const NSObject*, Card> m_cards;
    uint64_t m_cardClock { 0 };
};

// A new carousel layout, for the panel's registry of layouts.
Ref<CarouselViewController> makeCarouselViewController();

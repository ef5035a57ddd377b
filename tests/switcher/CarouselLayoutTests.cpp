#include "LayoutHarness.h"

#include "support/Pixels.h"

#include <switcher/CarouselItemController.h>
#include <switcher/CarouselViewController.h>
#include <switcher/KeyAndMouseEventView.h>
#include <switcher/SwitcherLayoutRegistry.h>

#include <cmath>

namespace {

using CarouselHarness = LayoutHarness<CarouselViewController>;

struct CarouselLayout : public ::testing::Test {
    explicit CarouselLayout(int windows = 5)
        : world(scenarioWithWindows(windows))
        , harness(world, windows, makeCarouselViewController())
    {
        sandbox.defaults()->setBool(true, "Animation3D");
    }
    // The carousel, its interface loaded.
    Ref<CarouselView> carousel() const
    {
        harness.layout->view();
        return harness.layout->carousel();
    }
    // Shows the panel and lets every scroll and delayed selection end.
    void show(int64_t style = CarouselTypeCoverFlow2)
    {
        sandbox.defaults()->setInteger(style, "Style3DIndex");
        harness.show(0);
        settle();
    }
    void settle() { world.advance(1); }
    // The carousel's centre in the panel's content view.
    CGPoint centre() const
    {
        CGRect bounds = carousel()->bounds();
        return carousel()->convertPointToView(
            { CGRectGetMidX(bounds), CGRectGetMidY(bounds) }, harness.panel->contentView().get());
    }
    Ref<SWWindow> cardWindow(int64_t index) const
    {
        auto card = harness.layout->cardAtIndex(index);
        return card ? card->representedObject().objectAs<SWWindow>() : nullptr;
    }

    SimWorld world;
    DefaultsSandbox sandbox;
    CarouselHarness harness;
};

struct TwoWindows : public CarouselLayout {
    TwoWindows()
        : CarouselLayout(2)
    {
    }
};

struct TwelveWindows : public CarouselLayout {
    TwelveWindows()
        : CarouselLayout(12)
    {
    }
};

struct FortyWindows : public CarouselLayout {
    FortyWindows()
        : CarouselLayout(40)
    {
    }
};

}

TEST(CarouselLayoutRegistry, LayoutThreeIsTheCarousel)
{
    EXPECT_TRUE(std::dynamic_pointer_cast<CarouselViewController>(
        SwitcherLayoutRegistry::makeLayout(SwitcherLayoutCarousel)));
}

// MARK: Size and geometry

TEST_F(CarouselLayout, TheCarouselFillsTheScreenWithCardsOfOneSize)
{
    EXPECT_EQ(harness.layout->getContentSize(), CGSizeZero) << "no window, no screen";
    show();
    EXPECT_EQ(harness.layout->getContentSize(), CGSizeMake(1440, 900));
    for (int64_t i = 0; i < 5; ++i) {
        auto view = carousel()->itemViewAtIndex(i);
        ASSERT_TRUE(view) << i;
        EXPECT_EQ(view->frame().size, CarouselItemController::kCardFrame.size) << i;
    }
}

TEST_F(CarouselLayout, EachStyleHasItsItemWidthAndFlip3DItsOwnPlacement)
{
    auto& layout = *harness.layout;
    const std::pair<int64_t, double> widths[] = { { CarouselTypeLinear, 150 }, { CarouselTypeCoverFlow, 400 },
        { CarouselTypeCoverFlow2, 400 }, { CarouselTypeRotary, 200 }, { CarouselTypeTimeMachine, 200 },
        { CarouselTypeFlip3D, 200 } };
    for (const auto& [type, width] : widths) {
        carousel()->setType(type);
        EXPECT_EQ(layout.carouselItemWidth(*carousel()), width) << type;
    }
    EXPECT_EQ(layout.carouselValueForOption(*carousel(), CarouselOptionSpacing, 2.0), 2.0 * 4.05);
    EXPECT_EQ(layout.carouselValueForOption(*carousel(), CarouselOptionFadeMax, 3.0), 0.0) << "Flip 3D";
    carousel()->setType(CarouselTypeRotary);
    EXPECT_EQ(layout.carouselValueForOption(*carousel(), CarouselOptionFadeMax, 3.0), 3.0);
    EXPECT_EQ(layout.carouselValueForOption(*carousel(), CarouselOptionArc, 1.5), 1.5);

    carousel()->setItemWidth(200);
    CATransform3D t = layout.carouselItemTransformForOffset(*carousel(), 2, CATransform3DIdentity);
    CATransform3D expected = CATransform3DTranslate(CATransform3DMakeRotation(M_PI / 8, 0, 1, 0), 0, 0, 400);
    EXPECT_NEAR(t.m11, expected.m11, 1e-9);
    EXPECT_NEAR(t.m13, expected.m13, 1e-9);
    EXPECT_NEAR(t.m41, expected.m41, 1e-9);
    EXPECT_NEAR(t.m43, expected.m43, 1e-9);
}

TEST_F(CarouselLayout, AStoredStyleChoosesTheArrangementAndANonsenseOneTheDefault)
{
    show(CarouselTypeTimeMachine);
    EXPECT_EQ(carousel()->type(), CarouselTypeTimeMachine);
    harness.hide();
    show(42);
    EXPECT_EQ(carousel()->type(), CarouselTypeCoverFlow2);
}

TEST_F(CarouselLayout, EveryStyleWrapsFromItsFirstOpening)
{
    // Asked while no card is loaded (a carousel that shows none), the
    // answer is the same as with cards.
    harness.layout->setArrayController(harness.list);
    auto empty = makeRef<CarouselView>(CGRectMake(0, 0, 100, 100));
    EXPECT_EQ(harness.layout->carouselValueForOption(*empty, CarouselOptionWrap, 0.0), 1.0);
    for (int64_t style : { CarouselTypeLinear, CarouselTypeCoverFlow, CarouselTypeTimeMachine }) {
        show(style);
        EXPECT_TRUE(carousel()->isWrapEnabled()) << style;
        harness.hide();
    }
}

// Whether the window shows one of the layout's cards at a point of the
// panel's content view, as last painted; which one, or -1.
static int64_t cardShownAt(const CarouselHarness& harness, CGPoint point, int64_t count)
{
    auto hit = harness.panel->contentView()->hitTest(point);
    for (int64_t i = 0; i < count; ++i) {
        auto card = harness.layout->cardAtIndex(i);
        auto view = card ? card->view() : nullptr;
        if (hit && view && (hit == view || hit->isDescendantOf(view.get())))
            return i;
    }
    return -1;
}

TEST_F(CarouselLayout, CardsKeepTheirOwnSizeInEveryStyleAndAreHitWhereDrawn)
{
    // The pointer stays where no card passes.
    harness.moveMouse({ 5, 5 });
    const CGSize card = CarouselItemController::kCardFrame.size;
    for (int64_t style = 0; style < kCarouselTypeCount; ++style) {
        SCOPED_TRACE(style);
        show(style);
        auto front = carousel()->itemViewAtIndex(1);
        ASSERT_TRUE(front && front->superview());
        // The slot is narrower than the card; the container's layer takes
        // the card's size.
        EXPECT_EQ(front->superview()->layer()->bounds().size, card);
        CGPoint centre = this->centre();
        // Across the front card, from edge to edge, at the height of its
        // title (Flip 3D turns the cards, so only its middle is checked).
        double reach = style == CarouselTypeFlip3D ? 100 : card.width / 2 - 8;
        for (double dx : { -reach, 0.0, reach })
            EXPECT_EQ(cardShownAt(harness, { centre.x + dx, centre.y - card.height / 2 + 25 }, 5), 1) << dx;
        harness.hide();
    }
    // Linear: full-size cards side by side with a gap between them.
    show(CarouselTypeLinear);
    CGPoint centre = this->centre();
    double pitch = carousel()->itemWidth() * 4.05;
    EXPECT_EQ(cardShownAt(harness, { centre.x + card.width / 2 + 10, centre.y }, 5), -1) << "the gap";
    EXPECT_EQ(cardShownAt(harness, { centre.x + pitch - card.width / 2 + 10, centre.y }, 5), 2);
    EXPECT_EQ(cardShownAt(harness, { centre.x - pitch + card.width / 2 - 10, centre.y }, 5), 0);
    // The title bar is drawn across the card's width, not squeezed.
    auto picture = harness.panel->renderedImage();
    auto luminance = [&](CGPoint p) {
        CGPoint base = harness.panel->contentView()->convertPointToView(p, nullptr);
        RGBA px = pixelAt(picture, static_cast<long>(base.x), picture.height - 1 - static_cast<long>(base.y));
        return (px.r + px.g + px.b) / 3;
    };
    double titleRow = centre.y - card.height / 2 + 15;
    EXPECT_LT(luminance({ centre.x - card.width / 2 + 15, titleRow }), 90);
    EXPECT_LT(luminance({ centre.x + card.width / 2 - 15, titleRow }), 90);
}

// MARK: Selection

TEST_F(TwoWindows, TwoWindowsSelectTheFirst)
{
    show();
    EXPECT_EQ(harness.selection(), 0u);
    EXPECT_EQ(carousel()->currentItemIndex(), 0);
    EXPECT_TRUE(harness.layout->cardAtIndex(0)->isSelected());
}

TEST_F(CarouselLayout, ThreeOrMoreSelectTheSecondAndTheArrowsWrap)
{
    show();
    ASSERT_EQ(harness.selection(), 1u);
    EXPECT_EQ(carousel()->currentItemIndex(), 1);
    EXPECT_TRUE(harness.layout->cardAtIndex(1)->isSelected());
    EXPECT_FALSE(harness.layout->cardAtIndex(0)->isSelected());

    harness.key(kVK_LeftArrow);
    harness.key(kVK_LeftArrow);
    settle();
    EXPECT_EQ(harness.selection(), 4u) << "left from the first card goes to the last";
    EXPECT_EQ(carousel()->currentItemIndex(), 4);
    harness.key(kVK_RightArrow);
    settle();
    EXPECT_EQ(harness.selection(), 0u) << "right from the last card goes to the first";
    EXPECT_EQ(carousel()->currentItemIndex(), 0);
    EXPECT_TRUE(harness.layout->cardAtIndex(0)->isSelected());
    EXPECT_FALSE(harness.layout->cardAtIndex(4)->isSelected());
}

TEST_F(CarouselLayout, StepsDuringAnAnimationAreNotLost)
{
    show();
    // Three quick hotkey presses, no time for the scroll to end between.
    harness.layout->selectNext();
    harness.layout->selectNext();
    harness.layout->selectNext();
    EXPECT_EQ(harness.selection(), 4u);
    settle();
    EXPECT_EQ(carousel()->currentItemIndex(), 4) << "the card in front is the selected window";
}

TEST_F(CarouselLayout, TimeMachineStylesStepThroughEveryCard)
{
    for (int64_t style : { CarouselTypeTimeMachine, CarouselTypeInvertedTimeMachine }) {
        show(style);
        std::vector<NSUInteger> seen;
        for (int i = 0; i < 5; ++i) {
            harness.layout->selectNext();
            settle();
            seen.push_back(harness.selection());
            EXPECT_EQ(carousel()->currentItemIndex(), static_cast<int64_t>(harness.selection())) << style;
        }
        EXPECT_EQ(seen, (std::vector<NSUInteger> { 2, 3, 4, 0, 1 })) << style;
        harness.hide();
    }
}

TEST_F(CarouselLayout, Flip3DStepsTheOtherWayForTheHotkeyButNotForTheArrows)
{
    show(CarouselTypeFlip3D);
    ASSERT_EQ(harness.selection(), 1u);
    harness.layout->selectNext();
    EXPECT_EQ(harness.selection(), 0u) << "a further hotkey press goes one card back";
    harness.layout->selectPrev();
    EXPECT_EQ(harness.selection(), 1u);
    harness.key(kVK_RightArrow);
    EXPECT_EQ(harness.selection(), 2u) << "the arrows keep their direction";
}

TEST_F(CarouselLayout, AnEmptyListSelectsNothing)
{
    show();
    harness.list->setContent(Value(Value::Array {}));
    settle();
    for (auto step : { &CarouselViewController::selectSecond, &CarouselViewController::selectNext,
             &CarouselViewController::selectPrev }) {
        (harness.layout.get()->*step)();
        EXPECT_EQ(harness.selection(), NSNotFound);
    }
    harness.key(kVK_RightArrow);
    EXPECT_EQ(harness.selection(), NSNotFound);
    EXPECT_EQ(carousel()->numberOfItems(), 0);
}

// MARK: Digits, order and changes of the list

TEST_F(CarouselLayout, ADigitPicksTheCardShownAtThatPlace)
{
    // The model's order numbers tie for two windows and are out of step
    // with the list: the cards follow the list, not an order of their own.
    harness.list->setSortDescriptors({ NSSortDescriptor::sortDescriptorWithKey("sortOrder", true) });
    for (size_t i = 0; i < 5; ++i)
        harness.windows[i]->setSortOrder(i == 3 ? 0 : 1 + i / 2);
    show();
    harness.list->rearrangeObjects();
    settle();
    const auto& arranged = harness.list->arrangedObjects();
    for (int64_t i = 0; i < 5; ++i)
        EXPECT_EQ(cardWindow(i), arranged[static_cast<size_t>(i)].objectAs<SWWindow>()) << i;
    harness.layout->selectByKey("3");
    settle();
    EXPECT_EQ(harness.selection(), 2u);
    EXPECT_EQ(carousel()->currentItemIndex(), 2);
    EXPECT_EQ(harness.list->selectedObjects().front().objectAs<SWWindow>(), cardWindow(2));
    harness.layout->selectByKey("0");
    harness.layout->selectByKey("7");
    EXPECT_EQ(harness.selection(), 2u) << "no tenth or seventh window";
}

TEST_F(TwelveWindows, ZeroPicksTheTenthCard)
{
    show();
    harness.layout->selectByKey("0");
    settle();
    EXPECT_EQ(harness.selection(), 9u);
    EXPECT_EQ(carousel()->currentItemIndex(), 9);
}

TEST_F(CarouselLayout, AWindowThatGoesReloadsTheCardsAndStepsOn)
{
    show();
    ASSERT_EQ(harness.selection(), 1u);
    harness.list->removeObject(Value(harness.windows[4]));
    settle();
    EXPECT_EQ(carousel()->numberOfItems(), 4);
    EXPECT_EQ(harness.layout->count(), 4);
    EXPECT_EQ(harness.selection(), 2u) << "the carousel steps to the next card";
    EXPECT_EQ(carousel()->currentItemIndex(), 2);
}

// MARK: Keys and cards

TEST_F(CarouselLayout, TheArrowMonitorLivesOnlyWhileTheCarouselShows)
{
    EXPECT_FALSE(harness.layout->hasKeyDownMonitor());
    show();
    EXPECT_TRUE(harness.layout->hasKeyDownMonitor());
    harness.hide();
    EXPECT_FALSE(harness.layout->hasKeyDownMonitor());
    auto event = NSEvent::keyEventWithKeyCode(NSEventTypeKeyDown, kVK_RightArrow);
    NSApp().deliverInputEvent(event);
    world.settle();
    EXPECT_EQ(harness.selection(), 1u) << "an arrow elsewhere in the application is left alone";
}

TEST_F(CarouselLayout, EachWindowKeepsItsCardUntilItLeavesTheList)
{
    show();
    auto card = harness.layout->cardAtIndex(2);
    ASSERT_TRUE(card);
    auto view = std::dynamic_pointer_cast<KeyAndMouseEventView>(card->view());
    ASSERT_TRUE(view);
    EXPECT_EQ(CarouselViewController::getControllerFromView(view), card);
    auto second = harness.layout->cardAtIndex(1);
    // A reload, then the windows in the opposite order: every window is
    // shown on the card it had, wherever it now stands.
    carousel()->reloadData();
    harness.layout->selectNext();
    settle();
    EXPECT_EQ(harness.layout->cardAtIndex(2), card);
    for (size_t i = 0; i < 5; ++i)
        harness.windows[i]->setSortOrder(static_cast<int>(10 - i));
    harness.list->setSortDescriptors({ NSSortDescriptor::sortDescriptorWithKey("sortOrder", true) });
    settle();
    ASSERT_EQ(cardWindow(3), harness.windows[1]);
    EXPECT_EQ(harness.layout->cardAtIndex(3), second);
    EXPECT_EQ(harness.layout->cardAtIndex(2), card);

    // A window that leaves the list frees its card: the view and its
    // controller do not hold each other.
    Weak<CarouselItemController> old = card;
    Weak<NSView> oldView = view;
    card.reset();
    view.reset();
    harness.list->removeObject(Value(harness.windows[2]));
    settle();
    EXPECT_TRUE(old.expired()) << "a card the carousel let go of is freed with its view";
    EXPECT_TRUE(oldView.expired());
}

TEST_F(CarouselLayout, AKeptCardShowsItsWindowAsANewCardWould)
{
    // The pointer stays where no card passes: it would select the cards it
    // is over.
    harness.moveMouse({ 5, 5 });
    show();
    auto picture = [&] { return harness.panel->renderedImage().rgba; };
    auto before = picture();
    auto second = harness.layout->cardAtIndex(1);
    // While the panel is away the numbers change; it then opens on the
    // cards it had, and the selection moves on.
    harness.hide();
    harness.windows[0]->setHotkeyIndexText(std::nullopt);
    harness.windows[3]->setHotkeyIndexText("7");
    show();
    EXPECT_EQ(harness.layout->cardAtIndex(1), second);
    harness.layout->selectNext();
    settle();
    auto kept = picture();
    EXPECT_NE(kept, before);
    // The same list on new cards.
    Value::Array content = harness.list->content();
    harness.list->setContent({});
    settle();
    EXPECT_EQ(harness.layout->cardControllerCount(), 0u);
    harness.list->setContent(content);
    settle();
    harness.layout->selectByKey("3");
    settle();
    EXPECT_NE(harness.layout->cardAtIndex(1), second);
    EXPECT_EQ(picture(), kept);
}

TEST_F(FortyWindows, CardsOutOfSightAreKeptOnlyUpToALimit)
{
    show();
    for (int step = 0; step < 40; ++step) {
        harness.layout->selectNext();
        settle();
        size_t held = carousel()->itemViews().size() + carousel()->itemViewPool().size();
        ASSERT_LE(harness.layout->cardControllerCount(), held + CarouselViewController::kSpareCards) << step;
    }
}

// MARK: Cards on screen

TEST_F(CarouselLayout, WithoutAnimationEveryOpeningShowsItsCardsAndAClickSelectsOne)
{
    sandbox.defaults()->setBool(false, "Animation3D");
    harness.moveMouse({ 5, 5 });
    // Twice on the same card (nothing moves the carousel the second time).
    for (int opening = 0; opening < 2; ++opening) {
        SCOPED_TRACE(opening);
        show(CarouselTypeLinear);
        ASSERT_EQ(harness.selection(), 1u);
        EXPECT_EQ(cardShownAt(harness, centre(), 5), 1);
        auto front = harness.layout->cardAtIndex(1);
        ASSERT_TRUE(front);
        EXPECT_TRUE(front->isSelected());
        if (opening == 0)
            harness.hide();
    }
    double pitch = carousel()->itemWidth() * 4.05;
    harness.click(harness.panel->convertPointToScreen({ centre().x + pitch, centre().y }));
    EXPECT_EQ(harness.selection(), 2u);
}

TEST_F(TwoWindows, WithoutAnimationTheFirstCardShowsInFront)
{
    sandbox.defaults()->setBool(false, "Animation3D");
    show(CarouselTypeCoverFlow);
    EXPECT_EQ(cardShownAt(harness, centre(), 2), 0);
}

// MARK: Pointer

TEST_F(CarouselLayout, ThePointerSelectsTheCardItShowsOnAndLeavingDeselects)
{
    show(CarouselTypeCoverFlow);
    auto panel = harness.panel;
    auto content = panel->contentView();
    // The card the window shows at a point of the panel (base coordinates).
    auto cardShownAt = [&](CGPoint base) -> int64_t {
        auto hit = content->hitTest(base);
        for (int64_t i = 0; i < 5; ++i) {
            auto card = harness.layout->cardAtIndex(i);
            auto view = card ? card->view() : nullptr;
            if (hit && view && (hit == view || hit->isDescendantOf(view.get())))
                return i;
        }
        return -1;
    };
    auto selectedCards = [&] {
        std::vector<int64_t> selected;
        for (int64_t i = 0; i < 5; ++i)
            if (auto card = harness.layout->cardAtIndex(i); card && card->isSelected())
                selected.push_back(i);
        return selected;
    };
    CGRect bounds = content->bounds();
    double middle = CGRectGetMidY(bounds);
    CGPoint centre = { CGRectGetMidX(bounds), middle };
    ASSERT_EQ(cardShownAt(centre), 1);
    EXPECT_EQ(selectedCards(), std::vector<int64_t>({ 1 }));

    // On the strip of the next card that shows beside the front one.
    std::optional<CGPoint> onNext;
    for (double x = centre.x; x < CGRectGetMaxX(bounds) && !onNext; x += 4)
        if (cardShownAt({ x, middle }) == 2 && cardShownAt({ x + 8, middle }) == 2)
            onNext = CGPoint { x + 4, middle };
    ASSERT_TRUE(onNext);
    harness.moveMouse(panel->convertPointToScreen(centre));
    EXPECT_EQ(selectedCards(), std::vector<int64_t>({ 1 }));
    harness.moveMouse(panel->convertPointToScreen(*onNext));
    EXPECT_EQ(selectedCards(), std::vector<int64_t>({ 2 }));
    // Back over the front card, then off every card.
    harness.moveMouse(panel->convertPointToScreen(centre));
    EXPECT_EQ(selectedCards(), std::vector<int64_t>({ 1 }));
    harness.moveMouse(panel->convertPointToScreen({ 5, CGRectGetMaxY(bounds) - 5 }));
    EXPECT_EQ(selectedCards(), std::vector<int64_t>());
}

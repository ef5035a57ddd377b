#include "CarouselItemController.h"

#include "KeyAndMouseEventView.h"
#include "SwitcherLayoutSupport.h"

#include <animation/CALayer.h>
#include <appkit/NSKeyValueBinding.h>
#include <appkit/NSEvent.h>
#include <appkit/NSNib.h>
#include <appkit/NSWindow.h>
#include <foundation/Log.h>
#include <graphics/NSColor.h>
#include <graphics/NSFont.h>

namespace {

// Inside a card (unflipped, points).
constexpr CGFloat kCardInset = 10;
constexpr CGFloat kTitleHeight = 30;
constexpr CGFloat kTitleFontSize = 16;
constexpr CGFloat kBadgeSide = 36;
constexpr CGFloat kBadgeFontSize = 18;

void buildCarouselItemControllerInterface(CarouselItemController& controller)
{
    const CGRect card = CarouselItemController::kCardFrame;
    auto self = controller.selfRef<NSViewController>();
    auto view = makeRef<KeyAndMouseEventView>(card);
    view->setViewController(self);

    CGRect inner = CGRectInset(card, kCardInset, kCardInset);
    auto frame = makeRef<CaruselItemView>(inner);
    auto preview = makeRef<NSImageView>(CGRectMake(0, 0, inner.size.width, inner.size.height));
    preview->setImageScaling(NSImageScaleProportionallyUpOrDown);
    frame->addSubview(preview);
    view->addSubview(frame);

    auto title = makeRef<TKStringView>(CGRectMake(inner.origin.x, inner.origin.y, inner.size.width, kTitleHeight));
    title->setAlignment(NSTextAlignmentCenter);
    title->setFont(NSFont::boldSystemFontOfSize(kTitleFontSize));
    view->addSubview(title);

    auto badge = makeRef<FBFlatButton>(CGRectMake(card.size.width - kCardInset - kBadgeSide,
        card.size.height - kCardInset - kBadgeSide, kBadgeSide, kBadgeSide));
    badge->setFont(NSFont::boldSystemFontOfSize(kBadgeFontSize));
    badge->setImagePosition(NSNoImage);
    view->addSubview(badge);

    controller.setView(view);
    controller.setOutlets(title, badge, preview);

    preview->bind(NSValueBinding, self, "representedObject.previewImage");
    title->bind(NSValueBinding, self, "representedObject.title");
    bindNumberBadge(*badge, self, "representedObject.hotkeyIndexText");
    badge->awakeFromNib();
}

NSNibRegistration carouselItemControllerNib("CarouselItemController",
    [](NSObject& owner) { buildCarouselItemControllerInterface(dynamic_cast<CarouselItemController&>(owner)); });

}

CarouselItemController::CarouselItemController()
    : NSViewController("CarouselItemController")
{
}

void CarouselItemController::setOutlets(
    const Ref<TKStringView>& title, const Ref<FBFlatButton>& badge, const Ref<NSImageView>& preview)
{
    m_titleLabel = title;
    m_badgeBtn = badge;
    m_previewView = preview;
}

void CarouselItemController::viewDidLoad()
{
    NSViewController::viewDidLoad();
    auto view = this->view();
    view->setWantsLayer(true);
    if (auto title = titleLabel()) {
        title->setTextColor(NSColor::whiteColor());
        title->setBackgroundColor(NSColor::blackColor()->colorWithAlphaComponent(kTitleBackgroundAlpha));
        title->setDrawsBackground(true);
    }
    if (auto badge = badgeBtn()) {
        badge->setCornerRadius(kBadgeCornerRadius);
        badge->setBackgroundNormalColor(NSColor::blackColor());
        badge->setTitleNormalColor(NSColor::whiteColor());
        badge->setBorderWidth(kBadgeBorderWidth);
        badge->setBorderNormalColor(NSColor::whiteColor());
        if (auto layer = badge->layer()) layer->setShadowOpacity(0);
    }
    if (auto window = view->window()) window->makeFirstResponder(view);
    // The pointer over a card selects it: the card hears the pointer come,
    // move and go.
    m_trackingArea = makeRef<NSTrackingArea>(view->bounds(),
        NSTrackingMouseEnteredAndExited | NSTrackingMouseMoved | NSTrackingActiveAlways, selfRef<NSResponder>());
    view->addTrackingArea(m_trackingArea);
}

void CarouselItemController::setRepresentedObject(const Value& object)
{
    NSViewController::setRepresentedObject(object);
}

void CarouselItemController::setSelected(bool selected)
{
    auto view = this->view();
    // The card keeps its picture while its look stays.
    if (selected == m_selected && view->layer()) return;
    view->setWantsLayer(true);
    if (auto layer = view->layer())
        layer->setBackgroundColor(selected ? NSColor::blackColor()->colorWithAlphaComponent(kSelectedBackgroundAlpha)->CGColor()
                                           : NSColor::clearColor()->CGColor());
    m_selected = selected;
    setVisibelContorls();
}

void CarouselItemController::mouseEntered(const Ref<NSEvent>& event)
{
    NSLog("");
    setSelected(isShownAt(event));
}

void CarouselItemController::mouseMoved(const Ref<NSEvent>& event)
{
    // Cards overlap in 3D: one the pointer entered behind a nearer card is
    // selected once the pointer reaches a part of it that shows.
    if (bool shown = isShownAt(event); shown != m_selected)
        setSelected(shown);
}

// Whether the window shows this card (or something on it) under the
// event's location: a card covered there by a nearer one is not pointed at.
bool CarouselItemController::isShownAt(const Ref<NSEvent>& event)
{
    auto view = this->view();
    auto window = view ? view->window() : nullptr;
    auto content = window ? window->contentView() : nullptr;
    if (!event || !content)
        return false;
    auto hit = content->hitTest(content->convertPointToView(
        content->convertPointFromView(event->locationInWindow(), nullptr), content->superview()));
    return hit && (hit == view || hit->isDescendantOf(view.get()));
}

void CarouselItemController::mouseExited(const Ref<NSEvent>&)
{
    NSLog("VC mouseExited");
    setSelected(false);
}

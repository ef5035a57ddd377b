// One card of the carousel layout: a window's preview with its title along
// the bottom and its number badge in the top-right corner, on a root view
// that is a KeyAndMouseEventView. The represented object is the card's
// window record.
#pragma once

#include <appkit/NSImageView.h>
#include <appkit/NSTrackingArea.h>
#include <appkit/NSViewController.h>
#include <toolkit/FBFlatButton.h>
#include <toolkit/TKStringView.h>

class CarouselItemController : public NSViewController {
public:
    // init: the interface file "CarouselItemController".
    CarouselItemController();

    // Every card is this size; the carousel spaces the cards by its own
    // item width.
    static constexpr CGRect kCardFrame = { { 0, 0 }, { 560, 385 } };
    static constexpr double kTitleBackgroundAlpha = 0.8;
    static constexpr double kSelectedBackgroundAlpha = 0.2;
    static constexpr CGFloat kBadgeCornerRadius = 8;
    static constexpr CGFloat kBadgeBorderWidth = 2.0;

    void viewDidLoad() override;
    void setRepresentedObject(const Value& object) override;
    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);
    void setVisibelContorls() { }
    // A card takes no keys and no clicks of its own.
    void keyDown(const Ref<NSEvent>&) override { }
    void mouseDown(const Ref<NSEvent>&) override { }
    void mouseEntered(const Ref<NSEvent>& event) override;
    void mouseExited(const Ref<NSEvent>& event) override;
    void mouseMoved(const Ref<NSEvent>& event) override;

    Ref<TKStringView> titleLabel() const { return m_titleLabel.lock(); }
    Ref<FBFlatButton> badgeBtn() const { return m_badgeBtn.lock(); }
    Ref<NSImageView> previewView() const { return m_previewView.lock(); }
    void setOutlets(const Ref<TKStringView>& title, const Ref<FBFlatButton>& badge, const Ref<NSImageView>& preview);

private:
    bool isShownAt(const Ref<NSEvent>& event);

    bool m_selected { false };
    Ref<NSTrackingArea> m_trackingArea;
    Weak<TKStringView> m_titleLabel;
    Weak<FBFlatButton> m_badgeBtn;
    Weak<NSImageView> m_previewView;
};

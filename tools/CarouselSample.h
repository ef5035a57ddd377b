// A carousel of numbered sample cards in a window: the data source and
// delegate that the picture program and the benchmark share. Cards are
// coloured by their number so that a picture shows which card is where.
#pragma once

#include <appkit/NSTextField.h>
#include <appkit/NSWindow.h>
#include <graphics/NSColor.h>
#include <graphics/NSFont.h>
#include <switcher/CarouselView.h>

#include <cmath>
#include <string>

class SampleCards : public NSObject, public CarouselViewDataSource, public CarouselViewDelegate {
public:
    static constexpr CGFloat kCardWidth = 240;
    static constexpr CGFloat kCardHeight = 160;
    static constexpr long kNumberTag = 1;

    int64_t count { 12 };

    int64_t numberOfItemsInCarousel(CarouselView&) override { return count; }

    Ref<NSView> carouselViewForItemAtIndex(CarouselView&, int64_t index, Ref<NSView> reusing) override
    {
        auto card = reusing ? reusing : makeCard();
        // Six hues around the circle, darker every second round.
        double hue = std::fmod(static_cast<double>(index) / 6.0, 1.0);
        double value = (index / 6) % 2 == 0 ? 0.85 : 0.6;
        card->layer()->setBackgroundColor(colour(hue, value)->CGColor());
        if (auto number = std::dynamic_pointer_cast<NSTextField>(card->viewWithTag(kNumberTag))) {
            number->setStringValue(std::to_string(index + 1));
            number->sizeToFit();
            CGSize size = number->frame().size;
            number->setFrameOrigin({ (kCardWidth - size.width) / 2, (kCardHeight - size.height) / 2 });
        }
        return card;
    }

    // Flip 3D: the cards turn away and stack backwards along a diagonal,
    // the front one nearest the eye.
    CATransform3D carouselItemTransformForOffset(CarouselView& carousel, double offset, CATransform3D base) override
    {
        double w = carousel.itemWidth();
        base = CATransform3DTranslate(base, offset * w * 0.3, offset * 12, -offset * w * 0.7);
        return CATransform3DRotate(base, -0.45, 0, 1, 0);
    }
    double carouselValueForOption(CarouselView& carousel, int64_t option, double value) override
    {
        // Flip 3D lets the cards already passed fade out, as Time Machine
        // does with the other side.
        if (carousel.type() == CarouselTypeFlip3D && option == CarouselOptionFadeMin)
            return 0;
        return value;
    }

private:
    static Ref<NSColor> colour(double hue, double value)
    {
        double h = hue * 6;
        double f = h - std::floor(h);
        double p = 0, q = value * (1 - f), t = value * f;
        switch (static_cast<int>(h) % 6) {
        case 0: return NSColor::colorWithDeviceRed(value, t, p, 1);
        case 1: return NSColor::colorWithDeviceRed(q, value, p, 1);
        case 2: return NSColor::colorWithDeviceRed(p, value, t, 1);
        case 3: return NSColor::colorWithDeviceRed(p, q, value, 1);
        case 4: return NSColor::colorWithDeviceRed(t, p, value, 1);
        default: return NSColor::colorWithDeviceRed(value, p, q, 1);
        }
    }

    static Ref<NSView> makeCard()
    {
        auto card = makeRef<NSView>(CGRectMake(0, 0, kCardWidth, kCardHeight));
        card->setWantsLayer(true);
        card->layer()->setCornerRadius(14);
        card->layer()->setBorderWidth(4);
        card->layer()->setBorderColor(NSColor::whiteColor()->CGColor());
        auto number = NSTextField::labelWithString("0");
        number->setFont(NSFont::boldSystemFontOfSize(72));
        number->setTextColor(NSColor::whiteColor());
        number->setTag(kNumberTag);
        card->addSubview(number);
        return card;
    }
};

// A window of the given size on the current desktop whose content is a
// carousel of sample cards.
struct CarouselSample {
    Ref<SampleCards> cards = makeRef<SampleCards>();
    Ref<NSWindow> window;
    Ref<CarouselView> carousel;

    CarouselSample(CGSize size, int64_t count)
    {
        cards->count = count;
        window = makeRef<NSWindow>(CGRectMake(0, 0, size.width, size.height), NSWindowStyleMaskBorderless);
        window->setBackgroundColor(NSColor::colorWithDeviceWhite(0.12, 1));
        carousel = makeRef<CarouselView>(CGRectMake(0, 0, size.width, size.height));
        window->contentView()->addSubview(carousel);
        carousel->setDelegate(cards);
        carousel->setDataSource(cards);
    }

    void show(int64_t type, double offset)
    {
        carousel->setType(type);
        carousel->layOutItemViews();
        carousel->setScrollOffset(offset);
    }
};

// What a carousel asks of its data source and tells its delegate. Every
// operation but the two that supply items has a default here, so an object
// answers only what it cares about; the carousel sends them all without
// asking whether they are implemented.
#pragma once

#include <animation/CATransform3D.h>
#include <foundation/Ref.h>

#include <cstdint>

class CarouselView;
class NSView;

class CarouselViewDataSource {
public:
    virtual ~CarouselViewDataSource() = default;

    virtual int64_t numberOfItemsInCarousel(CarouselView& carousel) = 0;
    virtual int64_t numberOfPlaceholdersInCarousel(CarouselView&) { return 0; }
    // carousel:viewForItemAtIndex:reusingView:. The reusing view is a view
    // that left the screen, or null; a null answer leaves an empty slot.
    virtual Ref<NSView> carouselViewForItemAtIndex(CarouselView& carousel, int64_t index, Ref<NSView> reusingView) = 0;
    // carousel:placeholderViewAtIndex:reusingView:, asked only when the
    // source has placeholders. Placeholders are numbered 0.. on their own.
    virtual Ref<NSView> carouselPlaceholderViewAtIndex(CarouselView&, int64_t index, Ref<NSView> reusingView)
    {
        (void)index;
        (void)reusingView;
        return nullptr;
    }
};

class CarouselViewDelegate {
public:
    virtual ~CarouselViewDelegate() = default;

    virtual void carouselWillBeginScrollingAnimation(CarouselView&) { }
    virtual void carouselDidEndScrollingAnimation(CarouselView&) { }
    virtual void carouselDidScroll(CarouselView&) { }
    virtual void carouselCurrentItemIndexDidChange(CarouselView&) { }
    virtual void carouselWillBeginDragging(CarouselView&) { }
    virtual void carouselDidEndDragging(CarouselView&, bool willDecelerate) { (void)willDecelerate; }
    virtual void carouselWillBeginDecelerating(CarouselView&) { }
    virtual void carouselDidEndDecelerating(CarouselView&) { }
    virtual bool carouselShouldSelectItemAtIndex(CarouselView&, int64_t index)
    {
        (void)index;
        return true;
    }
    virtual void carouselDidSelectItemAtIndex(CarouselView&, int64_t index) { (void)index; }
    // 0 keeps the current width.
    virtual double carouselItemWidth(CarouselView&) { return 0.0; }
    // The Flip 3D arrangement's placement of an item at an offset.
    virtual CATransform3D carouselItemTransformForOffset(CarouselView&, double offset, CATransform3D baseTransform)
    {
        (void)offset;
        return baseTransform;
    }
    virtual double carouselValueForOption(CarouselView&, int64_t option, double withDefault)
    {
        (void)option;
        return withDefault;
    }
};

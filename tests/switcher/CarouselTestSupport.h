// A carousel in a window on the simulated desktop, fed by a data source of
// numbered cards and watched by a delegate that logs every notice and
// answers options from a table.
#pragma once

#include "support/SimWorld.h"

#include <appkit/NSApplication.h>
#include <appkit/NSEvent.h>
#include <appkit/NSWindow.h>
#include <switcher/CarouselView.h>

#include <cmath>
#include <functional>
#include <map>
#include <string>
#include <vector>

class CardSource : public NSObject, public CarouselViewDataSource {
public:
    int64_t count { 10 };
    int64_t placeholders { 0 };
    CGSize cardSize { 200, 150 };
    // Every view handed out, by the item or placeholder number asked for.
    std::vector<int64_t> itemsAsked;
    std::vector<int64_t> placeholdersAsked;
    int reusedViews { 0 };
    // When set, the source answers with this view instead of a new one.
    Ref<NSView> fixedView;

    int64_t numberOfItemsInCarousel(CarouselView&) override { return count; }
    int64_t numberOfPlaceholdersInCarousel(CarouselView&) override { return placeholders; }
    Ref<NSView> carouselViewForItemAtIndex(CarouselView&, int64_t index, Ref<NSView> reusing) override
    {
        itemsAsked.push_back(index);
        return card(reusing);
    }
    Ref<NSView> carouselPlaceholderViewAtIndex(CarouselView&, int64_t index, Ref<NSView> reusing) override
    {
        placeholdersAsked.push_back(index);
        return card(reusing);
    }

private:
    Ref<NSView> card(const Ref<NSView>& reusing)
    {
        if (fixedView)
            return fixedView;
        if (reusing) {
            ++reusedViews;
            return reusing;
        }
        auto view = makeRef<NSView>(CGRectMake(0, 0, cardSize.width, cardSize.height));
        view->setWantsLayer(true);
        return view;
    }
};

class CarouselLog : public NSObject, public CarouselViewDelegate {
public:
    std::vector<std::string> notices;
    std::map<int64_t, double> options;
    std::function<CATransform3D(double, CATransform3D)> flip;
    std::function<bool(int64_t)> shouldSelect;
    std::vector<int64_t> selected;
    double width { 0 };

    size_t count(const std::string& notice) const
    {
        size_t n = 0;
        for (const auto& s : notices)
            n += s == notice;
        return n;
    }

    void carouselWillBeginScrollingAnimation(CarouselView&) override { notices.push_back("willBeginScrolling"); }
    void carouselDidEndScrollingAnimation(CarouselView&) override { notices.push_back("didEndScrolling"); }
    void carouselDidScroll(CarouselView&) override { notices.push_back("didScroll"); }
    void carouselCurrentItemIndexDidChange(CarouselView&) override { notices.push_back("indexDidChange"); }
    void carouselWillBeginDragging(CarouselView&) override { notices.push_back("willBeginDragging"); }
    void carouselDidEndDragging(CarouselView&, bool decelerate) override
    {
        notices.push_back(decelerate ? "didEndDragging decelerate" : "didEndDragging");
    }
    void carouselWillBeginDecelerating(CarouselView&) override { notices.push_back("willBeginDecelerating"); }
    void carouselDidEndDecelerating(CarouselView&) override { notices.push_back("didEndDecelerating"); }
    bool carouselShouldSelectItemAtIndex(CarouselView&, int64_t index) override
    {
        return shouldSelect ? shouldSelect(index) : true;
    }
    void carouselDidSelectItemAtIndex(CarouselView&, int64_t index) override { selected.push_back(index); }
    double carouselItemWidth(CarouselView&) override { return width; }
    CATransform3D carouselItemTransformForOffset(CarouselView&, double offset, CATransform3D base) override
    {
        return flip ? flip(offset, base) : base;
    }
    double carouselValueForOption(CarouselView&, int64_t option, double value) override
    {
        auto it = options.find(option);
        return it == options.end() ? value : it->second;
    }
};

// A 1000 x 600 carousel filling a window at screen (100, 100) on a 1440 x
// 900 desktop, key and in front.
class CarouselHarness {
public:
    explicit CarouselHarness(int64_t count = 10, int64_t type = CarouselTypeLinear, bool withDelegate = true)
    {
        source->count = count;
        window->contentView()->addSubview(carousel);
        NSApp().activateIgnoringOtherApps(true);
        window->makeKeyAndOrderFront(nullptr);
        window->makeFirstResponder(carousel);
        if (withDelegate)
            carousel->setDelegate(log);
        carousel->setDataSource(source);
        carousel->setType(type);
        carousel->layOutItemViews();
        // The layout pass snaps to the current item, animated: let it end.
        run(1);
        log->notices.clear();
    }
    ~CarouselHarness()
    {
        window->orderOut(nullptr);
        world.settle();
    }

    void settle() { world.settle(); }
    // Runs the main run loop for the given time, frame by frame.
    void run(double seconds) { world.advance(seconds); }

    // Screen point of a point of the carousel.
    CGPoint screenPoint(CGPoint local) const { return { 100 + local.x, 100 + local.y }; }
    CGPoint centre() const { return screenPoint({ 500, 300 }); }

    void deliver(const Ref<NSEvent>& event) { NSApp().deliverInputEvent(event); }
    void press(CGPoint screen)
    {
        world.desktop().setPressedMouseButtons(1);
        deliver(NSEvent::mouseEventWithType(NSEventTypeLeftMouseDown, screen));
        m_pointer = screen;
    }
    // Drags by dx points in steps of one frame each.
    void dragBy(double dx, int steps, double dy = 0)
    {
        for (int i = 0; i < steps; ++i) {
            run(CarouselView::kFrameInterval);
            m_pointer = { m_pointer.x + dx / steps, m_pointer.y + dy / steps };
            deliver(NSEvent::mouseEventWithType(NSEventTypeLeftMouseDragged, m_pointer));
        }
    }
    void release()
    {
        deliver(NSEvent::mouseEventWithType(NSEventTypeLeftMouseUp, m_pointer));
        world.desktop().setPressedMouseButtons(0);
    }
    void click(CGPoint screen)
    {
        press(screen);
        release();
    }
    void key(uint16_t keyCode) { deliver(NSEvent::keyEventWithKeyCode(NSEventTypeKeyDown, keyCode)); }

    SimWorld world { SimWorld::emptyScenario() };
    Ref<CardSource> source = makeRef<CardSource>();
    Ref<CarouselLog> log = makeRef<CarouselLog>();
    Ref<NSWindow> window = makeRef<NSWindow>(CGRectMake(100, 100, 1000, 600), NSWindowStyleMaskTitled);
    Ref<CarouselView> carousel = makeRef<CarouselView>(CGRectMake(0, 0, 1000, 600));

private:
    CGPoint m_pointer { 0, 0 };
};

// A row of item views shown in one of twelve 3D arrangements, scrolled by
// animation, mouse drags and arrow keys. It knows nothing about what the
// items show: a data source hands it the number of items and one view per
// item, and a delegate hears of scrolling and selection and may change the
// geometry through numbered options.
//
// Positions along the row are measured in items: the scroll offset is a real
// number, item i is in front when it equals i, and an item's offset is its
// signed distance in items from the front.
//
// Each loaded item view is the only subview of a container view whose layer
// carries the item's 3D transform and opacity; the containers live in the
// content view, the carousel's only subview. Only the slots near the front
// (at most 50, never fully faded ones) are loaded; views that leave go to a
// pool and are offered back to the data source.
//
// Every time read comes from the clock (CACurrentMediaTime and event
// timestamps); a frame timer on the main run loop drives scrolls, coasting
// and the CoverFlow2 flip, and stops itself when nothing moves.
#pragma once

#include "CarouselType.h"
#include "CarouselViewProtocols.h"

#include <appkit/NSView.h>
#include <foundation/NSObjCRuntime.h>
#include <foundation/NSTimer.h>

#include <map>
#include <set>
#include <vector>

class CarouselView : public NSView {
public:
    // The frame timer's period and the other tuning constants of scrolling.
    static constexpr double kFrameInterval = 1.0 / 60;
    static constexpr double kScrollDuration = 0.4;
    // The snap that re-announces an item already in place after coasting.
    static constexpr double kInPlaceScrollDuration = 0.01;
    // Release speed, in items per second, above which coasting or a one-item
    // step is considered.
    static constexpr double kMinDecelerationSpeed = 2.0;
    static constexpr double kMinDecelerationDistance = 0.1;
    static constexpr double kEpsilon = 1e-6;
    static constexpr double kDecelerationFrameRate = 30;
    static constexpr double kToggleBaseDuration = 0.2;
    static constexpr double kToggleVariableDuration = 0.2;
    static constexpr int64_t kMaxVisibleItems = 50;
    static constexpr int64_t kMinCircularItems = 12;
    static constexpr double kInsertDuration = 0.4;
    static constexpr double kRemoveFadeDuration = 0.1;
    static constexpr double kReloadFadeDuration = 0.4;

    // initWithFrame:.
    explicit CarouselView(CGRect frame = CGRectZero);
    ~CarouselView() override;

    // MARK: Settings
    bool isScrollEnabled() const { return m_scrollEnabled; }
    void setScrollEnabled(bool flag) { m_scrollEnabled = flag; }
    bool isPagingEnabled() const { return m_pagingEnabled; }
    void setPagingEnabled(bool flag) { m_pagingEnabled = flag; }
    bool isVertical() const { return m_vertical; }
    void setVertical(bool flag);
    bool isWrapEnabled() const { return m_wrapEnabled; }
    void setWrapEnabled(bool flag) { m_wrapEnabled = flag; }
    bool bounces() const { return m_bounces; }
    void setBounces(bool flag) { m_bounces = flag; }
    bool stopAtItemBoundary() const { return m_stopAtItemBoundary; }
    void setStopAtItemBoundary(bool flag) { m_stopAtItemBoundary = flag; }
    bool scrollToItemBoundary() const { return m_scrollToItemBoundary; }
    void setScrollToItemBoundary(bool flag) { m_scrollToItemBoundary = flag; }
    bool ignorePerpendicularSwipes() const { return m_ignorePerpendicularSwipes; }
    void setIgnorePerpendicularSwipes(bool flag) { m_ignorePerpendicularSwipes = flag; }
    bool centerItemWhenSelected() const { return m_centerItemWhenSelected; }
    void setCenterItemWhenSelected(bool flag) { m_centerItemWhenSelected = flag; }
    int64_t type() const { return m_type; }
    void setType(int64_t type);
    double perspective() const { return m_perspective; }
    void setPerspective(double perspective);
    double decelerationRate() const { return m_decelerationRate; }
    void setDecelerationRate(double rate) { m_decelerationRate = rate; }
    double scrollSpeed() const { return m_scrollSpeed; }
    void setScrollSpeed(double speed) { m_scrollSpeed = speed; }
    double bounceDistance() const { return m_bounceDistance; }
    void setBounceDistance(double distance) { m_bounceDistance = distance; }
    double offsetMultiplier() const { return m_offsetMultiplier; }
    void setOffsetMultiplier(double multiplier) { m_offsetMultiplier = multiplier; }
    CGSize contentOffset() const { return m_contentOffset; }
    void setContentOffset(CGSize offset);
    CGSize viewpointOffset() const { return m_viewpointOffset; }
    void setViewpointOffset(CGSize offset);

    // MARK: State
    bool isDragging() const { return m_dragging; }
    void setDragging(bool flag) { m_dragging = flag; }
    bool isDecelerating() const { return m_decelerating; }
    void setDecelerating(bool flag) { m_decelerating = flag; }
    bool isScrolling() const { return m_scrolling; }
    void setScrolling(bool flag) { m_scrolling = flag; }
    bool didDrag() const { return m_didDrag; }
    void setDidDrag(bool flag) { m_didDrag = flag; }
    int64_t numberOfItems() const { return m_numberOfItems; }
    int64_t numberOfPlaceholders() const { return m_numberOfPlaceholders; }
    int64_t numberOfVisibleItems() const { return m_numberOfVisibleItems; }
    void setNumberOfVisibleItems(int64_t count) { m_numberOfVisibleItems = count; }
    int64_t numberOfPlaceholdersToShow() const { return m_numberOfPlaceholdersToShow; }
    void setNumberOfPlaceholdersToShow(int64_t count) { m_numberOfPlaceholdersToShow = count; }
    double itemWidth() const { return m_itemWidth; }
    void setItemWidth(double width) { m_itemWidth = width; }
    const Ref<NSView>& contentView() const { return m_contentView; }
    void setContentView(const Ref<NSView>& view) { m_contentView = view; }
    double toggle() const { return m_toggle; }
    double autoscroll() const { return m_autoscroll; }
    // Items per second; a positive speed lowers the offset. Starts the frame
    // timer when not 0.
    void setAutoscroll(double speed);
    double scrollOffset() const { return m_scrollOffset; }
    double previousScrollOffset() const { return m_previousScrollOffset; }
    void setPreviousScrollOffset(double offset) { m_previousScrollOffset = offset; }
    int64_t previousItemIndex() const { return m_previousItemIndex; }
    void setPreviousItemIndex(int64_t index) { m_previousItemIndex = index; }
    double startOffset() const { return m_startOffset; }
    void setStartOffset(double offset) { m_startOffset = offset; }
    double endOffset() const { return m_endOffset; }
    void setEndOffset(double offset) { m_endOffset = offset; }
    double scrollDuration() const { return m_scrollDuration; }
    void setScrollDuration(double duration) { m_scrollDuration = duration; }
    double startTime() const { return m_startTime; }
    void setStartTime(double time) { m_startTime = time; }
    double lastTime() const { return m_lastTime; }
    void setLastTime(double time) { m_lastTime = time; }
    double startVelocity() const { return m_startVelocity; }
    void setStartVelocity(double velocity) { m_startVelocity = velocity; }
    const Ref<NSTimer>& timer() const { return m_timer; }
    double previousTranslation() const { return m_previousTranslation; }
    void setPreviousTranslation(double translation) { m_previousTranslation = translation; }
    double toggleTime() const { return m_toggleTime; }
    void setToggleTime(double time) { m_toggleTime = time; }

    // MARK: Data source and delegate (both weak)
    Ref<CarouselViewDataSource> dataSource() const { return m_dataSource.lock(); }
    // A new source is stored and, when not null, reloaded.
    void setDataSource(const Ref<CarouselViewDataSource>& source);
    Ref<CarouselViewDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(const Ref<CarouselViewDelegate>& delegate);
    // The delegate's answer for an option, or the default without one.
    // Answers that are not numbers fall back to the default, as do
    // infinities except for the two fade limits, where they mean "no fade".
    double valueForOption(int64_t option, double withDefault);

    // MARK: Geometry and layout (arrangements)
    double offsetForItemAtIndex(int64_t index);
    double alphaForItemWithOffset(double offset);
    CATransform3D transformForItemViewWithOffset(double offset);
    // The all-zero matrix: where an item with no placement collapses.
    static CATransform3D zeroTransform();
    void transformItemView(const Ref<NSView>& view, int64_t index);
    void transformItemViews();
    void updateItemWidth();
    void updateNumberOfVisibleItems();
    int64_t circularCarouselItemCount();
    void layOutItemViews();
    using NSView::setNeedsLayout;
    void setNeedsLayout() { NSView::setNeedsLayout(true); }

    // MARK: Scrolling
    int64_t clampedIndex(int64_t index);
    double clampedOffset(double offset);
    int64_t currentItemIndex();
    void setCurrentItemIndex(int64_t index);
    int64_t minScrollDistanceFromIndex(int64_t fromIndex, int64_t toIndex);
    double minScrollDistanceFromOffset(double fromOffset, double toOffset);
    static double easeInOut(double time);
    double decelerationDistance();
    bool shouldDecelerate();
    bool shouldScroll();
    void setScrollOffset(double offset);
    void scrollByOffset(double offset, double duration);
    void scrollToOffset(double offset, double duration);
    void scrollByNumberOfItems(int64_t count, double duration);
    void scrollToItemAtIndex(int64_t index, double duration);
    void scrollToItemAtIndex(int64_t index, bool animated);
    void startDecelerating();
    void didScroll();
    void step();
    void startAnimation();
    void stopAnimation();
    static void pushAnimationState(bool enabled);
    static void popAnimationState();
    // Depth on screen comes from the containers' 3D transforms: nothing to do.
    void depthSortViews() { }

    // MARK: Item views
    void reloadData();
    Ref<NSView> loadViewAtIndex(int64_t index);
    Ref<NSView> loadViewAtIndex(int64_t index, const Ref<NSView>& withContainerView);
    Ref<NSView> containView(const Ref<NSView>& view);
    void loadUnloadViews();
    void queueItemView(const Ref<NSView>& view);
    void queuePlaceholderView(const Ref<NSView>& view);
    Ref<NSView> dequeueItemView();
    Ref<NSView> dequeuePlaceholderView();
    void setItemView(const Ref<NSView>& view, int64_t forIndex);
    void removeViewAtIndex(int64_t index);
    void insertView(const Ref<NSView>& view, int64_t atIndex);
    Ref<NSView> itemViewAtIndex(int64_t index) const;
    Ref<NSView> currentItemView();
    int64_t indexOfItemView(const NSView* view) const;
    int64_t indexOfItemViewOrSubview(const NSView* view) const;
    std::vector<int64_t> indexesForVisibleItems() const;
    // The loaded views by slot index; a null entry stands for a missing one.
    std::vector<Ref<NSView>> visibleItemViews() const;
    Ref<NSView> itemViewAtPoint(CGPoint point);
    void reloadItemAtIndex(int64_t index, bool animated);
    void insertItemAtIndex(int64_t index, bool animated);
    void removeItemAtIndex(int64_t index, bool animated);
    // The loaded views ordered back to front by their containers' depth.
    std::vector<Ref<NSView>> viewsSortedByDepth();

    const std::map<int64_t, Ref<NSView>>& itemViews() const { return m_itemViews; }
    void setItemViews(std::map<int64_t, Ref<NSView>> views) { m_itemViews = std::move(views); }
    const std::set<Ref<NSView>>& itemViewPool() const { return m_itemViewPool; }
    void setItemViewPool(std::set<Ref<NSView>> pool) { m_itemViewPool = std::move(pool); }
    const std::set<Ref<NSView>>& placeholderViewPool() const { return m_placeholderViewPool; }
    void setPlaceholderViewPool(std::set<Ref<NSView>> pool) { m_placeholderViewPool = std::move(pool); }

    // MARK: NSView
    void resizeSubviewsWithOldSize(CGSize oldSize) override;
    void viewDidMoveToSuperview() override;
    void mouseDown(const Ref<NSEvent>& event) override;
    void mouseDragged(const Ref<NSEvent>& event) override;
    void mouseUp(const Ref<NSEvent>& event) override;
    bool acceptsFirstResponder() const override { return true; }
    void keyDown(const Ref<NSEvent>& event) override;

private:
    void setUp();
    bool wraps(int64_t type) const;
    bool showsBackfaces(int64_t type) const;
    CATransform3D baseTransform() const;
    double length() const;
    // The flip state of the CoverFlow2 arrangement, from the item nearest
    // the front.
    void updateToggle();
    bool toggleFollowsOffset();
    int64_t placeholderNumber(int64_t slot) const;
    void notifyDelegate(bool animationsEnabled, const std::function<void(CarouselViewDelegate&, CarouselView&)>& send);

    bool m_scrollEnabled { true };
    bool m_pagingEnabled { false };
    bool m_vertical { false };
    bool m_wrapEnabled { false };
    bool m_bounces { true };
    bool m_stopAtItemBoundary { true };
    bool m_scrollToItemBoundary { true };
    bool m_ignorePerpendicularSwipes { true };
    bool m_centerItemWhenSelected { true };
    bool m_dragging { false };
    bool m_decelerating { false };
    bool m_scrolling { false };
    bool m_didDrag { false };
    Weak<CarouselViewDataSource> m_dataSource;
    Weak<CarouselViewDelegate> m_delegate;
    int64_t m_type { CarouselTypeLinear };
    double m_perspective { -0.002 };
    double m_decelerationRate { 0.95 };
    double m_scrollSpeed { 1.0 };
    double m_bounceDistance { 1.0 };
    double m_scrollOffset { 0.0 };
    double m_offsetMultiplier { 1.0 };
    int64_t m_numberOfItems { 0 };
    int64_t m_numberOfPlaceholders { 0 };
    int64_t m_numberOfVisibleItems { 0 };
    double m_itemWidth { 0.0 };
    Ref<NSView> m_contentView;
    double m_toggle { 0.0 };
    double m_autoscroll { 0.0 };
    std::map<int64_t, Ref<NSView>> m_itemViews;
    std::set<Ref<NSView>> m_itemViewPool;
    // The containers a reload took out of the tree, kept until the next
    // loading of views so that the views the source hands back can be shown
    // in them again with the images they keep.
    std::vector<Ref<NSView>> m_retiredContainers;
    std::set<Ref<NSView>> m_placeholderViewPool;
    double m_previousScrollOffset { 0.0 };
    int64_t m_previousItemIndex { 0 };
    int64_t m_numberOfPlaceholdersToShow { 0 };
    double m_startOffset { 0.0 };
    double m_endOffset { 0.0 };
    double m_scrollDuration { 0.0 };
    double m_startTime { 0.0 };
    double m_lastTime { 0.0 };
    double m_startVelocity { 0.0 };
    Ref<NSTimer> m_timer;
    double m_previousTranslation { 0.0 };
    double m_toggleTime { 0.0 };
    CGSize m_contentOffset { 0, 0 };
    CGSize m_viewpointOffset { 0, 0 };
    // Counts reloads, so that the end of an animated removal that a reload
    // overtook leaves the new views and pools alone.
    uint64_t m_reloadGeneration { 0 };
};

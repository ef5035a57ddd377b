// The carousel's item views: loading them from the data source into
// containers, keeping only the slots near the front, recycling the views
// that leave, placeholders beyond the ends of an unwrapped row, lookups,
// and reloading, inserting and removing single items.
#include "CarouselView.h"

#include <animation/CAAnimation.h>
#include <animation/CATransaction.h>
#include <appkit/NSAnimationContext.h>
#include <foundation/NSObjCRuntime.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The view that carries an item view's 3D transform and opacity.
class CarouselItemContainer final : public NSView {
public:
    using NSView::NSView;
};

int64_t halfUp(int64_t p) { return (p + 1) / 2; }

// A container's layer transform, or all zeros without a layer.
CATransform3D containerTransform(const NSView* view)
{
    const NSView* container = view ? view->superview() : nullptr;
    if (container && container->layer())
        return container->layer()->transform();
    return CarouselView::zeroTransform();
}

double depthOf(const CATransform3D& t)
{
    double z = t.m13 + t.m23 + t.m33 + t.m43;
    // A transform that is not a number lies behind everything.
    return std::isnan(z) ? -std::numeric_limits<double>::infinity() : z;
}

}

// MARK: Reloading

void CarouselView::reloadData()
{
    for (const auto& [index, view] : m_itemViews)
        if (NSView* container = view->superview()) {
            m_retiredContainers.push_back(container->selfRef<NSView>());
            container->removeFromSuperview();
        }
    auto source = dataSource();
    if (!source || !m_contentView)
        return;
    ++m_reloadGeneration;
    m_numberOfVisibleItems = 0;
    // A count below zero cannot mean anything: it reads as none.
    m_numberOfItems = std::max<int64_t>(0, source->numberOfItemsInCarousel(*this));
    m_numberOfPlaceholders = std::max<int64_t>(0, source->numberOfPlaceholdersInCarousel(*this));
    m_itemViews.clear();
    m_itemViewPool.clear();
    m_placeholderViewPool.clear();
    setNeedsLayout();
    // A running scroll ends within the new row, and a row that shrank below
    // the offset comes back to its last item as one scrolled before its
    // start comes back to the first.
    if (m_scrolling && !m_wrapEnabled)
        m_endOffset = clampedOffset(m_endOffset);
    if (m_numberOfItems > 0 && m_scrollOffset < 0)
        scrollToItemAtIndex(0, m_numberOfPlaceholders > 0);
    else if (m_numberOfItems > 0 && !m_wrapEnabled && !m_scrolling
        && m_scrollOffset > static_cast<double>(m_numberOfItems - 1))
        scrollToItemAtIndex(m_numberOfItems - 1, m_numberOfPlaceholders > 0);
    // The visible items load now, in their places: a row already at the
    // item it is to show is not scrolled again, and the first picture
    // after a reload shows its items, not an empty row until the next tick.
    pushAnimationState(false);
    loadUnloadViews();
    transformItemViews();
    popAnimationState();
}

// MARK: Loading and unloading

int64_t CarouselView::placeholderNumber(int64_t slot) const
{
    // Placeholders before the row count up to ceil(p / 2) - 1, those after
    // it go on from ceil(p / 2), so each placeholder has one number.
    int64_t before = halfUp(m_numberOfPlaceholdersToShow);
    return slot < 0 ? before + slot : before + (slot - m_numberOfItems);
}

Ref<NSView> CarouselView::loadViewAtIndex(int64_t index) { return loadViewAtIndex(index, nullptr); }

Ref<NSView> CarouselView::loadViewAtIndex(int64_t index, const Ref<NSView>& container)
{
    pushAnimationState(false);
    Ref<NSView> view;
    bool placeholder = index < 0 || index >= m_numberOfItems;
    if (auto source = dataSource()) {
        if (placeholder)
            view = source->carouselPlaceholderViewAtIndex(*this, placeholderNumber(index), dequeuePlaceholderView());
        else
            view = source->carouselViewForItemAtIndex(*this, index, dequeueItemView());
    }
    if (!view)
        view = makeRef<NSView>();
    // A view the source keeps for itself may still be in a pool: in use, it
    // must not be offered for another item.
    m_itemViewPool.erase(view);
    m_placeholderViewPool.erase(view);
    setItemView(view, index);

    if (container) {
        Ref<NSView> old = container->subviews().empty() ? nullptr : container->subviews().back();
        // The source may hand back the view it already shows: that one is
        // still in use and stays out of the pools.
        if (old != view) {
            if (placeholder)
                queuePlaceholderView(old);
            else
                queueItemView(old);
        }
        CGSize viewSize = view->frame().size;
        CGSize slot = m_vertical ? CGSize { viewSize.width, std::min(m_itemWidth, viewSize.height) }
                                 : CGSize { std::min(m_itemWidth, viewSize.width), viewSize.height };
        container->setFrameSize(slot);
        container->setBoundsSize(viewSize);
        CGRect inner = container->bounds();
        view->setFrameOrigin({ (inner.size.width - viewSize.width) * 0.5, (inner.size.height - viewSize.height) * 0.5 });
        if (old && old != view)
            old->removeFromSuperview();
        container->addSubview(view);
    } else {
        m_contentView->addSubviewKeepingProjectedImage(containView(view));
    }
    if (NSView* holder = view->superview(); holder && holder->layer())
        holder->layer()->setOpacity(0);
    transformItemView(view, index);
    popAnimationState();
    return view;
}

Ref<NSView> CarouselView::containView(const Ref<NSView>& view)
{
    CGRect viewBounds = view ? view->bounds() : CGRectZero;
    if (m_itemWidth == 0)
        m_itemWidth = m_vertical ? viewBounds.size.height : viewBounds.size.width;
    CGRect frame = viewBounds;
    if (m_vertical)
        frame.size.height = m_itemWidth;
    else
        frame.size.width = m_itemWidth;
    // A view the source hands back after a reload still sits in the
    // container it was shown in, which keeps the image of the view it last
    // drew: that container is used again, untouched where nothing changed
    // (a change of a container out of the tree would throw its image away).
    NSView* holder = view ? view->superview() : nullptr;
    if (holder && !holder->superview() && holder->subviews().size() == 1
        && dynamic_cast<CarouselItemContainer*>(holder) && holder->layer()) {
        Ref<NSView> container = holder->selfRef<NSView>();
        if (container->frame().size != frame.size)
            container->setFrameSize(frame.size);
        if (container->bounds().size != view->frame().size)
            container->setBoundsSize(view->frame().size);
        CGRect inner = container->bounds();
        CGPoint origin = { (inner.size.width - view->frame().size.width) * 0.5,
            (inner.size.height - view->frame().size.height) * 0.5 };
        if (view->frame().origin != origin)
            view->setFrameOrigin(origin);
        return container;
    }
    auto container = makeRef<CarouselItemContainer>(frame);
    container->setWantsLayer(true);
    if (view) {
        container->setBoundsSize(view->frame().size);
        CGRect inner = container->bounds();
        view->setFrameOrigin({ (inner.size.width - view->frame().size.width) * 0.5,
            (inner.size.height - view->frame().size.height) * 0.5 });
        container->addSubview(view);
    }
    container->layer()->setOpacity(0);
    return container;
}

void CarouselView::loadUnloadViews()
{
    updateItemWidth();
    updateNumberOfVisibleItems();
    int64_t p = m_numberOfPlaceholdersToShow;
    int64_t n = m_numberOfItems;
    int64_t start = currentItemIndex() - m_numberOfVisibleItems / 2;
    if (!m_wrapEnabled)
        start = std::max(-halfUp(p), std::min(n + p / 2 - m_numberOfVisibleItems, start));

    std::set<int64_t> visible;
    for (int64_t k = 0; k < m_numberOfVisibleItems; ++k) {
        int64_t index = start + k;
        if (m_wrapEnabled)
            index = clampedIndex(index);
        if (alphaForItemWithOffset(offsetForItemAtIndex(index)) != 0)
            visible.insert(index);
    }

    auto loaded = m_itemViews;
    for (const auto& [index, view] : loaded) {
        if (visible.count(index))
            continue;
        if (index < 0 || index >= n)
            queuePlaceholderView(view);
        else
            queueItemView(view);
        if (NSView* container = view->superview())
            container->removeFromSuperview();
        m_itemViews.erase(index);
    }
    for (int64_t index : visible)
        if (!m_itemViews.count(index))
            loadViewAtIndex(index);
    m_retiredContainers.clear();
}

// MARK: Pools

void CarouselView::queueItemView(const Ref<NSView>& view)
{
    if (view)
        m_itemViewPool.insert(view);
}

void CarouselView::queuePlaceholderView(const Ref<NSView>& view)
{
    if (view)
        m_placeholderViewPool.insert(view);
}

Ref<NSView> CarouselView::dequeueItemView()
{
    if (m_itemViewPool.empty())
        return nullptr;
    auto view = *m_itemViewPool.begin();
    m_itemViewPool.erase(m_itemViewPool.begin());
    return view;
}

Ref<NSView> CarouselView::dequeuePlaceholderView()
{
    if (m_placeholderViewPool.empty())
        return nullptr;
    auto view = *m_placeholderViewPool.begin();
    m_placeholderViewPool.erase(m_placeholderViewPool.begin());
    return view;
}

// MARK: The map of loaded slots

void CarouselView::setItemView(const Ref<NSView>& view, int64_t index) { m_itemViews[index] = view; }

void CarouselView::removeViewAtIndex(int64_t index)
{
    std::map<int64_t, Ref<NSView>> renumbered;
    for (const auto& [k, view] : m_itemViews) {
        if (k < index)
            renumbered[k] = view;
        else if (k > index)
            renumbered[k - 1] = view;
    }
    m_itemViews = std::move(renumbered);
}

void CarouselView::insertView(const Ref<NSView>& view, int64_t index)
{
    std::map<int64_t, Ref<NSView>> renumbered;
    for (const auto& [k, v] : m_itemViews)
        renumbered[k < index ? k : k + 1] = v;
    if (view)
        renumbered[index] = view;
    m_itemViews = std::move(renumbered);
}

// MARK: Lookups

Ref<NSView> CarouselView::itemViewAtIndex(int64_t index) const
{
    auto it = m_itemViews.find(index);
    return it == m_itemViews.end() ? nullptr : it->second;
}

Ref<NSView> CarouselView::currentItemView() { return itemViewAtIndex(currentItemIndex()); }

int64_t CarouselView::indexOfItemView(const NSView* view) const
{
    for (const auto& [index, v] : m_itemViews)
        if (v.get() == view)
            return index;
    return NSNotFound;
}

int64_t CarouselView::indexOfItemViewOrSubview(const NSView* view) const
{
    while (view) {
        int64_t index = indexOfItemView(view);
        if (index != NSNotFound)
            return index;
        if (!view->superview() || view == m_contentView.get())
            return NSNotFound;
        view = view->superview();
    }
    return NSNotFound;
}

std::vector<int64_t> CarouselView::indexesForVisibleItems() const
{
    std::vector<int64_t> indexes;
    indexes.reserve(m_itemViews.size());
    for (const auto& [index, view] : m_itemViews)
        indexes.push_back(index);
    return indexes;
}

std::vector<Ref<NSView>> CarouselView::visibleItemViews() const
{
    std::vector<Ref<NSView>> views;
    views.reserve(m_itemViews.size());
    for (const auto& [index, view] : m_itemViews)
        views.push_back(view);
    return views;
}

std::vector<Ref<NSView>> CarouselView::viewsSortedByDepth()
{
    std::vector<Ref<NSView>> views = visibleItemViews();
    CATransform3D reference = containerTransform(currentItemView().get());
    auto position = [this](const CATransform3D& t) {
        return m_vertical ? t.m12 + t.m22 + t.m32 + t.m42 : t.m11 + t.m21 + t.m31 + t.m41;
    };
    double referencePosition = position(reference);
    if (std::isnan(referencePosition))
        referencePosition = 0;
    struct Keyed {
        Ref<NSView> view;
        double depth;
        double distance;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(views.size());
    for (auto& view : views) {
        CATransform3D t = containerTransform(view.get());
        double distance = std::fabs(position(t) - referencePosition);
        if (std::isnan(distance))
            distance = std::numeric_limits<double>::infinity();
        keyed.push_back({ view, depthOf(t), distance });
    }
    // Back to front: by depth, and between equal depths the view farther
    // from the current item first. NaN never reaches the comparison, so the
    // order is strict.
    std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        if (a.depth != b.depth)
            return a.depth < b.depth;
        return a.distance > b.distance;
    });
    std::vector<Ref<NSView>> sorted;
    sorted.reserve(keyed.size());
    for (auto& k : keyed)
        sorted.push_back(std::move(k.view));
    return sorted;
}

Ref<NSView> CarouselView::itemViewAtPoint(CGPoint point)
{
    auto sorted = viewsSortedByDepth();
    for (auto it = sorted.rbegin(); it != sorted.rend(); ++it) {
        NSView* container = (*it)->superview();
        if (container && container->layer() && container->layer()->hitTest(point))
            return *it;
    }
    return nullptr;
}

// MARK: Reloading, inserting and removing one item

void CarouselView::reloadItemAtIndex(int64_t index, bool animated)
{
    auto view = itemViewAtIndex(index);
    NSView* container = view ? view->superview() : nullptr;
    if (!container)
        return;
    Ref<NSView> holder = container->selfRef<NSView>();
    if (animated && holder->layer()) {
        auto transition = CATransition::animation();
        transition->setType(kCATransitionFade);
        transition->setDuration(kReloadFadeDuration);
        transition->setTimingFunction(CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionEaseInEaseOut));
        holder->layer()->addAnimation(transition);
    }
    loadViewAtIndex(index, holder);
}

void CarouselView::insertItemAtIndex(int64_t index, bool animated)
{
    auto self = selfRef<CarouselView>();
    m_numberOfItems += 1;
    m_wrapEnabled = valueForOption(CarouselOptionWrap, m_wrapEnabled ? 1.0 : 0.0) != 0.0;
    updateNumberOfVisibleItems();

    index = clampedIndex(index);
    insertView(nullptr, index);
    loadViewAtIndex(index);
    if (std::fabs(m_itemWidth) < kEpsilon)
        updateItemWidth();

    if (animated) {
        NSAnimationContext::runAnimationGroup([&](NSAnimationContext& context) {
            context.setAllowsImplicitAnimation(true);
            CATransaction::begin();
            CATransaction::setAnimationDuration(kInsertDuration);
            Weak<NSObject> weak = weak_from_this();
            CATransaction::setCompletionBlock([weak] {
                if (auto carousel = std::dynamic_pointer_cast<CarouselView>(weak.lock()))
                    carousel->didScroll();
            });
            transformItemViews();
            CATransaction::commit();
        });
    } else {
        pushAnimationState(false);
        didScroll();
        popAnimationState();
    }
    if (m_scrollOffset < 0)
        scrollToItemAtIndex(0, animated && m_numberOfPlaceholders > 0);
}

void CarouselView::removeItemAtIndex(int64_t index, bool animated)
{
    // Nothing to remove from an empty row.
    if (m_numberOfItems <= 0)
        return;
    auto self = selfRef<CarouselView>();
    index = clampedIndex(index);
    auto view = itemViewAtIndex(index);
    Ref<NSView> container = view && view->superview() ? view->superview()->selfRef<NSView>() : nullptr;

    auto closeUp = [this, index] {
        removeViewAtIndex(index);
        m_numberOfItems -= 1;
        m_wrapEnabled = valueForOption(CarouselOptionWrap, m_wrapEnabled ? 1.0 : 0.0) != 0.0;
        m_scrollOffset = static_cast<double>(currentItemIndex());
        didScroll();
    };

    if (!animated) {
        pushAnimationState(false);
        queueItemView(view);
        if (container)
            container->removeFromSuperview();
        closeUp();
        depthSortViews();
        popAnimationState();
        return;
    }

    NSAnimationContext::runAnimationGroup([&](NSAnimationContext& context) {
        context.setAllowsImplicitAnimation(true);
        Weak<NSObject> weak = weak_from_this();
        uint64_t generation = m_reloadGeneration;

        CATransaction::begin();
        CATransaction::setAnimationDuration(kRemoveFadeDuration);
        CATransaction::setCompletionBlock([weak, view, container, generation] {
            auto carousel = std::dynamic_pointer_cast<CarouselView>(weak.lock());
            // The faded container goes (nothing else uses it now); its view
            // returns to the pool unless a reload has started the pools afresh
            // or the view is shown again.
            if (container)
                container->removeFromSuperview();
            if (carousel && generation == carousel->m_reloadGeneration
                && carousel->indexOfItemView(view.get()) == NSNotFound)
                carousel->queueItemView(view);
        });
        if (container && container->layer())
            container->layer()->setOpacity(0);
        CATransaction::commit();

        CATransaction::begin();
        CATransaction::setAnimationDuration(kScrollDuration);
        CATransaction::setCompletionBlock([weak] {
            if (auto carousel = std::dynamic_pointer_cast<CarouselView>(weak.lock()))
                carousel->depthSortViews();
        });
        closeUp();
        CATransaction::commit();
    });
}

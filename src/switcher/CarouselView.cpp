// The carousel's state, options and the geometry of its twelve arrangements,
// with the layout pass that applies them.
#include "CarouselView.h"

#include <animation/CATransaction.h>
#include <appkit/NSScreen.h>
#include <appkit/NSWindow.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;
// The depth step that keeps the items of a wheel from sharing a plane, and
// the least radius of a cylinder.
constexpr double kDepthStep = 0.01;
constexpr double kCoverFlowTilt = 0.9;
constexpr double kCoverFlowSpacing = 0.25;
constexpr double kTimeMachineTilt = 0.3;

bool isCircular(int64_t type) { return type >= CarouselTypeRotary && type <= CarouselTypeInvertedWheel; }
bool isCoverFlow(int64_t type) { return type == CarouselTypeCoverFlow || type == CarouselTypeCoverFlow2; }

// Truncation towards zero of a value that may not fit (or not be a number).
int64_t truncated(double value)
{
    if (!(value == value))
        return 0;
    if (value >= 9.2e18)
        return INT64_MAX;
    if (value <= -9.2e18)
        return INT64_MIN;
    return static_cast<int64_t>(value);
}

}

const char* CarouselTypeName(int64_t type)
{
    static const char* const names[] = { "Linear", "Rotary", "Inverted Rotary", "Cylinder", "Inverted Cylinder", "Wheel",
        "Inverted Wheel", "CoverFlow", "CoverFlow2", "Time Machine", "Inverted Time Machine", "Flip 3D" };
    return type >= 0 && type < kCarouselTypeCount ? names[type] : "";
}

CarouselView::CarouselView(CGRect frame)
    : NSView(frame)
{
    setUp();
}

CarouselView::~CarouselView() { stopAnimation(); }

void CarouselView::setUp()
{
    m_contentView = makeRef<NSView>(bounds());
    m_contentView->setWantsLayer(true);
    addSubview(m_contentView);
    if (dataSource())
        reloadData();
}

// MARK: Setters with side effects

void CarouselView::setDataSource(const Ref<CarouselViewDataSource>& source)
{
    if (source == m_dataSource.lock())
        return;
    m_dataSource = source;
    if (source)
        reloadData();
}

void CarouselView::setDelegate(const Ref<CarouselViewDelegate>& delegate)
{
    if (delegate == m_delegate.lock())
        return;
    m_delegate = delegate;
    if (delegate && dataSource())
        setNeedsLayout();
}

void CarouselView::setType(int64_t type)
{
    if (type == m_type)
        return;
    m_type = type;
    layOutItemViews();
}

void CarouselView::setVertical(bool flag)
{
    if (flag == m_vertical)
        return;
    m_vertical = flag;
    layOutItemViews();
}

void CarouselView::setPerspective(double perspective)
{
    m_perspective = perspective;
    transformItemViews();
}

void CarouselView::setViewpointOffset(CGSize offset)
{
    if (offset.width == m_viewpointOffset.width && offset.height == m_viewpointOffset.height)
        return;
    m_viewpointOffset = offset;
    transformItemViews();
}

void CarouselView::setContentOffset(CGSize offset)
{
    if (offset.width == m_contentOffset.width && offset.height == m_contentOffset.height)
        return;
    m_contentOffset = offset;
    layOutItemViews();
}

void CarouselView::resizeSubviewsWithOldSize(CGSize)
{
    pushAnimationState(false);
    if (m_contentView)
        m_contentView->setFrame(bounds());
    layOutItemViews();
    popAnimationState();
}

// MARK: Options

double CarouselView::valueForOption(int64_t option, double withDefault)
{
    auto delegate = this->delegate();
    if (!delegate)
        return withDefault;
    double value = delegate->carouselValueForOption(*this, option, withDefault);
    if (std::isnan(value))
        return withDefault;
    if (std::isinf(value) && option != CarouselOptionFadeMin && option != CarouselOptionFadeMax)
        return withDefault;
    return value;
}

bool CarouselView::wraps(int64_t type) const { return isCircular(type); }

bool CarouselView::showsBackfaces(int64_t type) const { return type != CarouselTypeInvertedCylinder; }

// MARK: Geometry

double CarouselView::offsetForItemAtIndex(int64_t index)
{
    double offset = static_cast<double>(index) - m_scrollOffset;
    if (m_wrapEnabled) {
        double n = static_cast<double>(m_numberOfItems);
        if (offset > n * 0.5)
            offset -= n;
        else if (offset < -n * 0.5)
            offset += n;
    }
    return m_vertical ? -offset : offset;
}

CATransform3D CarouselView::baseTransform() const
{
    CATransform3D transform = CATransform3DIdentity;
    transform.m34 = m_perspective;
    return CATransform3DTranslate(transform, -m_viewpointOffset.width, -m_viewpointOffset.height, 0);
}

CATransform3D CarouselView::transformForItemViewWithOffset(double offset)
{
    CATransform3D transform = baseTransform();
    double w = m_itemWidth;
    double o = offset;
    switch (m_type) {
    case CarouselTypeLinear: {
        double spacing = valueForOption(CarouselOptionSpacing, 1.0);
        return m_vertical ? CATransform3DTranslate(transform, 0, o * w * spacing, 0)
                          : CATransform3DTranslate(transform, o * w * spacing, 0, 0);
    }
    case CarouselTypeRotary:
    case CarouselTypeInvertedRotary: {
        // A count of 0 can only come from the delegate; one item keeps the
        // formulas finite.
        double count = std::max<double>(1, static_cast<double>(circularCarouselItemCount()));
        double spacing = valueForOption(CarouselOptionSpacing, 1.0);
        double arc = valueForOption(CarouselOptionArc, kTwoPi);
        double half = spacing * w * 0.5;
        double radius = valueForOption(CarouselOptionRadius, std::max(half / std::tan(arc * 0.5 / count), half));
        double angle = valueForOption(CarouselOptionAngle, o / count * arc);
        if (m_type == CarouselTypeInvertedRotary) {
            radius = -radius;
            angle = -angle;
        }
        double x = std::sin(angle) * radius;
        double z = std::cos(angle) * radius - radius;
        return m_vertical ? CATransform3DTranslate(transform, 0, x, z) : CATransform3DTranslate(transform, x, 0, z);
    }
    case CarouselTypeCylinder:
    case CarouselTypeInvertedCylinder: {
        double count = std::max<double>(1, static_cast<double>(circularCarouselItemCount()));
        double spacing = valueForOption(CarouselOptionSpacing, 1.0);
        double arc = valueForOption(CarouselOptionArc, kTwoPi);
        double radius = valueForOption(
            CarouselOptionRadius, std::max(spacing * w * 0.5 / std::tan(arc * 0.5 / count), kDepthStep));
        double angle = valueForOption(CarouselOptionAngle, o / count * arc);
        if (m_type == CarouselTypeInvertedCylinder) {
            radius = -radius;
            angle = -angle;
        }
        transform = CATransform3DTranslate(transform, 0, 0, -radius);
        transform = m_vertical ? CATransform3DRotate(transform, angle, -1, 0, 0)
                               : CATransform3DRotate(transform, angle, 0, 1, 0);
        return CATransform3DTranslate(transform, 0, 0, radius + kDepthStep);
    }
    case CarouselTypeWheel:
    case CarouselTypeInvertedWheel: {
        double count = std::max<double>(1, static_cast<double>(circularCarouselItemCount()));
        double spacing = valueForOption(CarouselOptionSpacing, 1.0);
        double arc = valueForOption(CarouselOptionArc, kTwoPi);
        double radius = valueForOption(CarouselOptionRadius, spacing * w * count / arc);
        double angle = valueForOption(CarouselOptionAngle, arc / count);
        if (m_type == CarouselTypeInvertedWheel) {
            radius = -radius;
            angle = -angle;
        }
        if (m_vertical) {
            transform = CATransform3DTranslate(transform, -radius, 0, 0);
            transform = CATransform3DRotate(transform, angle * o, 0, 0, 1);
            return CATransform3DTranslate(transform, radius, 0, o * kDepthStep);
        }
        transform = CATransform3DTranslate(transform, 0, radius, 0);
        transform = CATransform3DRotate(transform, angle * o, 0, 0, 1);
        return CATransform3DTranslate(transform, 0, -radius, o * kDepthStep);
    }
    case CarouselTypeCoverFlow:
    case CarouselTypeCoverFlow2: {
        double tilt = valueForOption(CarouselOptionTilt, kCoverFlowTilt);
        double spacing = valueForOption(CarouselOptionSpacing, kCoverFlowSpacing);
        double clamped = std::max(-1.0, std::min(1.0, o));
        if (m_type == CarouselTypeCoverFlow2) {
            if (m_toggle > 0) {
                if (o <= -0.5)
                    clamped = -1.0;
                else if (o <= 0.5)
                    clamped = -m_toggle;
                else if (o <= 1.5)
                    clamped = 1.0 - m_toggle;
            } else {
                if (o > 0.5)
                    clamped = 1.0;
                else if (o > -0.5)
                    clamped = -m_toggle;
                else if (o > -1.5)
                    clamped = -1.0 - m_toggle;
            }
        }
        double x = (clamped * 0.5 * tilt + o * spacing) * w;
        double z = -w * std::fabs(clamped) * 0.5;
        double angle = clamped * -std::numbers::pi / 2 * tilt;
        if (m_vertical) {
            transform = CATransform3DTranslate(transform, 0, x, z);
            return CATransform3DRotate(transform, angle, -1, 0, 0);
        }
        transform = CATransform3DTranslate(transform, x, 0, z);
        return CATransform3DRotate(transform, angle, 0, 1, 0);
    }
    case CarouselTypeTimeMachine:
    case CarouselTypeInvertedTimeMachine: {
        double tilt = valueForOption(CarouselOptionTilt, kTimeMachineTilt);
        double spacing = valueForOption(CarouselOptionSpacing, 1.0);
        if (m_type == CarouselTypeInvertedTimeMachine) {
            tilt = -tilt;
            o = -o;
        }
        if (m_vertical) {
            tilt = -tilt;
            o = -o;
            return CATransform3DTranslate(transform, 0, o * w * tilt, o * w * spacing);
        }
        return CATransform3DTranslate(transform, o * w * tilt, 0, o * w * spacing);
    }
    case CarouselTypeFlip3D: {
        if (auto delegate = this->delegate())
            return delegate->carouselItemTransformForOffset(*this, o, transform);
        return zeroTransform();
    }
    default:
        return transform;
    }
}

CATransform3D CarouselView::zeroTransform()
{
    CATransform3D zero;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            zero.at(r, c) = 0;
    return zero;
}

double CarouselView::alphaForItemWithOffset(double offset)
{
    double fadeMin = valueForOption(
        CarouselOptionFadeMin, m_type == CarouselTypeInvertedTimeMachine ? 0.0 : -INFINITY);
    double fadeMax = valueForOption(CarouselOptionFadeMax, m_type == CarouselTypeTimeMachine ? 0.0 : INFINITY);
    double fadeRange = valueForOption(CarouselOptionFadeRange, 1.0);
    double minAlpha = valueForOption(CarouselOptionFadeMinAlpha, 0.0);
    if (m_vertical)
        offset = -offset;
    double factor = 0.0;
    if (offset > fadeMax)
        factor = offset - fadeMax;
    else if (offset < fadeMin)
        factor = fadeMin - offset;
    // A range of 0 is a hard edge rather than a division by zero.
    if (!(fadeRange > 0))
        return factor > 0 ? minAlpha : 1.0;
    return 1.0 - std::min(factor, fadeRange) / fadeRange * (1.0 - minAlpha);
}

bool CarouselView::toggleFollowsOffset()
{
    return m_decelerating || (m_scrolling && !m_dragging && !m_didDrag) || (m_autoscroll != 0 && !m_dragging)
        || (!m_wrapEnabled
            && (m_scrollOffset < 0 || m_scrollOffset >= static_cast<double>(m_numberOfItems) - 1));
}

void CarouselView::updateToggle()
{
    // The item nearest the front decides, so the result does not hang on
    // which item was placed last.
    double o = offsetForItemAtIndex(currentItemIndex());
    double k = std::max(-1.0, std::min(1.0, o));
    if ((o > 0 && o <= 0.5) || (o <= 0 && o > -0.5))
        m_toggle = -k;
    else
        m_toggle = o > 0 ? 1 - k : -1 - k;
}

void CarouselView::transformItemView(const Ref<NSView>& view, int64_t index)
{
    NSView* container = view ? view->superview() : nullptr;
    if (!container || !container->layer())
        return;
    CALayer& layer = *container->layer();
    double o = offsetForItemAtIndex(index);
    layer.setOpacity(static_cast<float>(alphaForItemWithOffset(o)));

    // The container's centre sits at the carousel's centre, moved by the
    // content offset; every arrangement works about that point.
    CGRect own = bounds();
    CGSize size = container->frame().size;
    CGPoint centre = { own.size.width * 0.5 + m_contentOffset.width, own.size.height * 0.5 + m_contentOffset.height };
    layer.setAnchorPoint({ 0.5, 0.5 });
    container->setFrameOrigin({ centre.x - size.width * 0.5, centre.y - size.height * 0.5 });
    auto screen = view->window() ? view->window()->screen() : nullptr;
    layer.setRasterizationScale(screen ? screen->backingScaleFactor() : 1.0);

    if (toggleFollowsOffset())
        updateToggle();

    CATransform3D transform = transformForItemViewWithOffset(o);
    layer.setTransform(transform);

    bool doubleSided = view->layer() ? view->layer()->isDoubleSided() : true;
    double showDefault = doubleSided && showsBackfaces(m_type) ? 1.0 : 0.0;
    bool showBackfaces = valueForOption(CarouselOptionShowBackfaces, showDefault) != 0.0;
    container->setHidden(!showBackfaces && !(transform.m33 > 0));
}

void CarouselView::transformItemViews()
{
    auto views = m_itemViews;
    for (const auto& [index, view] : views)
        transformItemView(view, index);
}

double CarouselView::length() const { return m_vertical ? bounds().size.height : bounds().size.width; }

void CarouselView::updateItemWidth()
{
    if (auto delegate = this->delegate()) {
        double width = delegate->carouselItemWidth(*this);
        if (width != 0.0 && std::isfinite(width))
            m_itemWidth = width;
    }
    if (m_numberOfItems > 0) {
        if (m_itemViews.empty())
            loadViewAtIndex(0);
    } else if (m_numberOfPlaceholders > 0 && m_itemViews.empty()) {
        loadViewAtIndex(-1);
    }
}

int64_t CarouselView::circularCarouselItemCount()
{
    int64_t available = m_numberOfItems + m_numberOfPlaceholdersToShow;
    if (!isCircular(m_type))
        return available;
    double spacing = valueForOption(CarouselOptionSpacing, 1.0);
    double count = std::ceil(length() / (spacing * m_itemWidth)) * std::numbers::pi;
    if (!(count == count))
        count = static_cast<double>(kMaxVisibleItems);
    count = std::min(static_cast<double>(kMaxVisibleItems), std::max(static_cast<double>(kMinCircularItems), count));
    int64_t m = std::min(truncated(count), available);
    return truncated(valueForOption(CarouselOptionCount, static_cast<double>(m)));
}

void CarouselView::updateNumberOfVisibleItems()
{
    double len = length();
    double w = m_itemWidth;
    double count = 0;
    switch (m_type) {
    case CarouselTypeLinear:
        count = std::ceil(len / (valueForOption(CarouselOptionSpacing, 1.0) * w)) + 2;
        break;
    case CarouselTypeRotary:
    case CarouselTypeCylinder:
        count = static_cast<double>(circularCarouselItemCount());
        break;
    case CarouselTypeInvertedRotary:
    case CarouselTypeInvertedCylinder:
        count = std::ceil(static_cast<double>(circularCarouselItemCount()) * 0.5);
        break;
    case CarouselTypeWheel:
    case CarouselTypeInvertedWheel: {
        double m = static_cast<double>(circularCarouselItemCount());
        double radius = valueForOption(CarouselOptionRadius,
            valueForOption(CarouselOptionSpacing, 1.0) * w * m / valueForOption(CarouselOptionArc, kTwoPi));
        CGSize size = bounds().size;
        count = std::min(size.width, size.height) * 0.5 > radius - w * 0.5 ? m : std::ceil(m * 0.5) + 1;
        break;
    }
    case CarouselTypeCoverFlow:
    case CarouselTypeCoverFlow2:
        count = std::ceil(len / (valueForOption(CarouselOptionSpacing, kCoverFlowSpacing) * w)) + 2;
        break;
    case CarouselTypeTimeMachine:
    case CarouselTypeInvertedTimeMachine:
    case CarouselTypeFlip3D:
        count = static_cast<double>(kMaxVisibleItems);
        break;
    default:
        // No arrangement: the count stays as it is.
        return;
    }
    if (!(count == count))
        count = static_cast<double>(kMaxVisibleItems);
    count = std::min(count, static_cast<double>(kMaxVisibleItems));
    int64_t visible = truncated(valueForOption(CarouselOptionVisibleItems, count));
    m_numberOfVisibleItems = std::max<int64_t>(0, std::min(visible, m_numberOfItems + m_numberOfPlaceholdersToShow));
}

void CarouselView::layOutItemViews()
{
    if (!dataSource() || !m_contentView)
        return;
    bool known = m_type >= 0 && m_type < kCarouselTypeCount;
    if (known)
        m_wrapEnabled = valueForOption(CarouselOptionWrap, wraps(m_type) ? 1.0 : 0.0) != 0.0;
    m_numberOfPlaceholdersToShow = m_wrapEnabled ? 0 : m_numberOfPlaceholders;
    updateItemWidth();
    updateNumberOfVisibleItems();
    m_previousScrollOffset = m_scrollOffset;
    if (known)
        m_offsetMultiplier = valueForOption(CarouselOptionOffsetMultiplier, isCoverFlow(m_type) ? 2.0 : 1.0);
    if (!m_scrolling && !m_decelerating && m_autoscroll == 0) {
        if (m_scrollToItemBoundary && currentItemIndex() != -1)
            scrollToItemAtIndex(currentItemIndex(), true);
        else
            m_scrollOffset = clampedOffset(m_scrollOffset);
    }
    didScroll();
}

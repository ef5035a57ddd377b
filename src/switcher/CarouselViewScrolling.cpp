// Moving the carousel's scroll offset: clamping and wrap-around arithmetic,
// animated scrolls, coasting after a drag with bounce past the ends,
// autoscroll, the CoverFlow2 flip state, mouse and key input, and the
// delegate notices that go with them.
#include "CarouselView.h"

#include <animation/CABase.h>
#include <animation/CATransaction.h>
#include <appkit/NSEvent.h>
#include <appkit/NSWindow.h>
#include <foundation/Unicode.h>

#include <cmath>

namespace {

// The integer nearest to x, halves away from zero.
double nearest(double x) { return std::round(x); }

constexpr uint32_t kUpArrow = 0xF700;
constexpr uint32_t kDownArrow = 0xF701;
constexpr uint32_t kLeftArrow = 0xF702;
constexpr uint32_t kRightArrow = 0xF703;

// The first character of a UTF-8 string (U+FFFD when it is not one).
uint32_t firstCharacter(const std::string& s)
{
    size_t end = 0;
    return s.empty() ? 0 : nextCodePoint(s, end).value_or(kReplacementCharacter);
}

}

// MARK: Arithmetic

int64_t CarouselView::clampedIndex(int64_t index)
{
    if (m_numberOfItems == 0)
        return -1;
    if (m_wrapEnabled) {
        double n = static_cast<double>(m_numberOfItems);
        double i = static_cast<double>(index);
        return static_cast<int64_t>(i - std::floor(i / n) * n);
    }
    return std::min(std::max<int64_t>(index, 0), m_numberOfItems - 1);
}

double CarouselView::clampedOffset(double offset)
{
    if (m_numberOfItems == 0)
        return -1.0;
    double n = static_cast<double>(m_numberOfItems);
    if (m_wrapEnabled)
        return offset - std::floor(offset / n) * n;
    return std::min(std::max(offset, 0.0), n - 1);
}

int64_t CarouselView::currentItemIndex()
{
    double n = nearest(m_scrollOffset);
    if (!std::isfinite(n))
        return clampedIndex(0);
    return clampedIndex(static_cast<int64_t>(n));
}

void CarouselView::setCurrentItemIndex(int64_t index) { setScrollOffset(static_cast<double>(index)); }

int64_t CarouselView::minScrollDistanceFromIndex(int64_t fromIndex, int64_t toIndex)
{
    int64_t direct = toIndex - fromIndex;
    if (!m_wrapEnabled)
        return direct;
    int64_t wrapped = std::min(toIndex, fromIndex) + m_numberOfItems - std::max(toIndex, fromIndex);
    if (fromIndex < toIndex)
        wrapped = -wrapped;
    return std::llabs(direct) <= std::llabs(wrapped) ? direct : wrapped;
}

double CarouselView::minScrollDistanceFromOffset(double fromOffset, double toOffset)
{
    double direct = toOffset - fromOffset;
    if (!m_wrapEnabled)
        return direct;
    double wrapped = std::min(toOffset, fromOffset) + static_cast<double>(m_numberOfItems) - std::max(toOffset, fromOffset);
    if (fromOffset < toOffset)
        wrapped = -wrapped;
    return std::fabs(direct) <= std::fabs(wrapped) ? direct : wrapped;
}

double CarouselView::easeInOut(double time)
{
    return time < 0.5 ? 0.5 * std::pow(time * 2, 3) : 0.5 * std::pow(time * 2 - 2, 3) + 1;
}

double CarouselView::decelerationDistance()
{
    double v = m_startVelocity;
    double d = (v * v) / (2 * (kDecelerationFrameRate * v * (1 - m_decelerationRate)));
    return std::isfinite(d) ? d : 0.0;
}

bool CarouselView::shouldDecelerate()
{
    return std::fabs(m_startVelocity) > kMinDecelerationSpeed
        && std::fabs(decelerationDistance()) > kMinDecelerationDistance;
}

bool CarouselView::shouldScroll()
{
    return std::fabs(m_startVelocity) > kMinDecelerationSpeed
        && std::fabs(m_scrollOffset - static_cast<double>(currentItemIndex())) > kMinDecelerationDistance;
}

// MARK: Moving the offset

void CarouselView::setScrollOffset(double offset)
{
    m_scrolling = false;
    m_decelerating = false;
    m_startOffset = offset;
    m_endOffset = offset;
    if (offset == m_scrollOffset)
        return;
    m_scrollOffset = offset;
    depthSortViews();
    didScroll();
}

void CarouselView::scrollByOffset(double offset, double duration)
{
    if (duration > 0) {
        m_decelerating = false;
        m_scrolling = true;
        m_startTime = CACurrentMediaTime();
        m_startOffset = m_scrollOffset;
        m_scrollDuration = duration;
        m_endOffset = m_startOffset + offset;
        if (!m_wrapEnabled)
            m_endOffset = clampedOffset(m_endOffset);
        if (auto delegate = this->delegate())
            delegate->carouselWillBeginScrollingAnimation(*this);
        startAnimation();
        return;
    }
    // An immediate scroll ends where an animated one would: within the row
    // when it does not wrap.
    double target = m_scrollOffset + offset;
    setScrollOffset(m_wrapEnabled ? target : clampedOffset(target));
}

void CarouselView::scrollToOffset(double offset, double duration)
{
    scrollByOffset(minScrollDistanceFromOffset(m_scrollOffset, offset), duration);
}

void CarouselView::scrollByNumberOfItems(int64_t count, double duration)
{
    if (duration > 0) {
        double offset;
        if (count > 0)
            offset = std::floor(m_scrollOffset) + static_cast<double>(count) - m_scrollOffset;
        else if (count < 0)
            offset = std::ceil(m_scrollOffset) + static_cast<double>(count) - m_scrollOffset;
        else
            offset = nearest(m_scrollOffset) - m_scrollOffset;
        scrollByOffset(offset, duration);
        return;
    }
    setScrollOffset(static_cast<double>(clampedIndex(m_previousItemIndex + count)));
}

void CarouselView::scrollToItemAtIndex(int64_t index, double duration)
{
    scrollToOffset(static_cast<double>(index), duration);
}

void CarouselView::scrollToItemAtIndex(int64_t index, bool animated)
{
    scrollToItemAtIndex(index, animated ? kScrollDuration : 0.0);
}

void CarouselView::setAutoscroll(double speed)
{
    m_autoscroll = speed;
    if (speed != 0)
        startAnimation();
}

void CarouselView::startDecelerating()
{
    double distance = decelerationDistance();
    m_startOffset = m_scrollOffset;
    m_endOffset = m_startOffset + distance;
    if (m_pagingEnabled)
        m_endOffset = distance > 0 ? std::ceil(m_startOffset) : std::floor(m_startOffset);
    else if (m_stopAtItemBoundary)
        m_endOffset = distance > 0 ? std::ceil(m_endOffset) : std::floor(m_endOffset);
    if (!m_wrapEnabled) {
        if (m_bounces)
            m_endOffset = std::max(-m_bounceDistance,
                std::min(static_cast<double>(m_numberOfItems) - 1 + m_bounceDistance, m_endOffset));
        else
            m_endOffset = clampedOffset(m_endOffset);
    }
    double d = m_endOffset - m_startOffset;
    m_startTime = CACurrentMediaTime();
    m_scrollDuration = std::fabs(d / (0.5 * m_startVelocity));
    if (d != 0 && std::isfinite(m_scrollDuration)) {
        m_decelerating = true;
        startAnimation();
    }
}

// MARK: Frame timer

void CarouselView::startAnimation()
{
    if (m_timer)
        return;
    // The first tick measures from now, not from the last tick of an
    // earlier run, so an autoscroll does not jump when the timer starts.
    m_lastTime = CACurrentMediaTime();
    Weak<NSObject> weak = weak_from_this();
    m_timer = NSTimer::timerWithTimeInterval(kFrameInterval, true, [weak](NSTimer&) {
        if (auto self = std::dynamic_pointer_cast<CarouselView>(weak.lock()))
            self->step();
    });
    m_timer->scheduleIn(RunLoop::main(), kCFRunLoopDefaultMode);
}

void CarouselView::stopAnimation()
{
    if (!m_timer)
        return;
    m_timer->invalidate();
    m_timer = nullptr;
}

void CarouselView::viewDidMoveToSuperview()
{
    if (superview())
        startAnimation();
    else
        stopAnimation();
}

void CarouselView::pushAnimationState(bool enabled)
{
    CATransaction::begin();
    CATransaction::setDisableActions(!enabled);
}

void CarouselView::popAnimationState() { CATransaction::commit(); }

void CarouselView::notifyDelegate(
    bool animationsEnabled, const std::function<void(CarouselViewDelegate&, CarouselView&)>& send)
{
    auto delegate = this->delegate();
    if (!delegate)
        return;
    if (!animationsEnabled) {
        send(*delegate, *this);
        return;
    }
    pushAnimationState(true);
    send(*delegate, *this);
    popAnimationState();
}

void CarouselView::step()
{
    // Keeps the carousel alive while a delegate it calls drops it.
    auto self = selfRef<CarouselView>();
    pushAnimationState(false);
    double now = CACurrentMediaTime();
    double delta = now - m_lastTime;
    m_lastTime = now;

    if (m_scrolling && !m_dragging) {
        double time = std::min(1.0, (now - m_startTime) / m_scrollDuration);
        double eased = easeInOut(time);
        m_scrollOffset = m_startOffset + (m_endOffset - m_startOffset) * eased;
        didScroll();
        if (time >= 1.0) {
            m_scrolling = false;
            depthSortViews();
            notifyDelegate(true, [](CarouselViewDelegate& d, CarouselView& c) { d.carouselDidEndScrollingAnimation(c); });
        }
    } else if (m_decelerating) {
        double v = m_startVelocity;
        double t = std::min(m_scrollDuration, now - m_startTime);
        m_scrollOffset = m_startOffset + v * t - 0.5 * (v / m_scrollDuration) * t * t;
        didScroll();
        if (std::fabs(t - m_scrollDuration) < kEpsilon) {
            m_decelerating = false;
            notifyDelegate(true, [](CarouselViewDelegate& d, CarouselView& c) { d.carouselDidEndDecelerating(c); });
            if ((m_scrollToItemBoundary || std::fabs(m_scrollOffset - clampedOffset(m_scrollOffset)) > kEpsilon)
                && m_autoscroll == 0) {
                if (std::fabs(m_scrollOffset - static_cast<double>(currentItemIndex())) < kEpsilon)
                    scrollToItemAtIndex(currentItemIndex(), kInPlaceScrollDuration);
                else
                    scrollToItemAtIndex(currentItemIndex(), true);
            } else {
                double diff = nearest(m_scrollOffset) - m_scrollOffset;
                if (diff > 0.5)
                    diff -= 1.0;
                else if (diff < -0.5)
                    diff += 1.0;
                m_toggleTime = now - kScrollDuration * std::fabs(diff);
                m_toggle = std::max(-1.0, std::min(1.0, -diff));
            }
        }
    } else if (m_autoscroll != 0 && !m_dragging) {
        setScrollOffset(clampedOffset(m_scrollOffset - delta * m_autoscroll));
    } else if (std::fabs(m_toggle) > kEpsilon) {
        double f = m_startVelocity != 0 ? std::min(1.0, std::max(0.0, 1.0 / std::fabs(m_startVelocity))) : 1.0;
        double duration = kToggleBaseDuration + kToggleVariableDuration * f;
        double time = std::min(1.0, (now - m_toggleTime) / duration);
        double eased = easeInOut(time);
        m_toggle = m_toggle < 0 ? eased - 1 : 1 - eased;
        didScroll();
    } else if (m_autoscroll == 0) {
        stopAnimation();
    }
    popAnimationState();
}

void CarouselView::didScroll()
{
    auto self = selfRef<CarouselView>();
    if (m_wrapEnabled || !m_bounces) {
        m_scrollOffset = clampedOffset(m_scrollOffset);
    } else {
        double low = -m_bounceDistance;
        double high = static_cast<double>(std::max<int64_t>(m_numberOfItems - 1, 0)) + m_bounceDistance;
        if (m_scrollOffset < low) {
            m_scrollOffset = low;
            m_startVelocity = 0;
        } else if (m_scrollOffset > high) {
            m_scrollOffset = high;
            m_startVelocity = 0;
        }
    }

    int64_t current = currentItemIndex();
    int64_t difference = minScrollDistanceFromIndex(current, m_previousItemIndex);
    if (difference != 0) {
        m_toggleTime = CACurrentMediaTime();
        m_toggle = std::max<double>(-1, std::min<double>(1, static_cast<double>(difference)));
        if (m_vertical)
            m_toggle = -m_toggle;
        startAnimation();
    }

    loadUnloadViews();
    transformItemViews();

    if (std::fabs(m_scrollOffset - m_previousScrollOffset) > kEpsilon)
        notifyDelegate(true, [](CarouselViewDelegate& d, CarouselView& c) { d.carouselDidScroll(c); });
    if (m_previousItemIndex != currentItemIndex())
        notifyDelegate(true, [](CarouselViewDelegate& d, CarouselView& c) { d.carouselCurrentItemIndexDidChange(c); });

    m_previousScrollOffset = m_scrollOffset;
    m_previousItemIndex = currentItemIndex();
}

// MARK: Input

void CarouselView::mouseDown(const Ref<NSEvent>&)
{
    m_didDrag = false;
    m_startVelocity = 0;
}

void CarouselView::mouseDragged(const Ref<NSEvent>& event)
{
    m_didDrag = true;
    // Until an item has given the row its width, a drag cannot be measured
    // in items.
    if (!m_scrollEnabled || !(std::fabs(m_itemWidth) > kEpsilon))
        return;
    if (!m_dragging) {
        m_dragging = true;
        if (auto delegate = this->delegate())
            delegate->carouselWillBeginDragging(*this);
    }
    m_scrolling = false;
    m_decelerating = false;

    double translation = m_vertical ? event->deltaY() : event->deltaX();
    double factor = 1.0;
    if (!m_wrapEnabled && m_bounces)
        factor = 1.0 - std::min(std::fabs(m_scrollOffset - clampedOffset(m_scrollOffset)), m_bounceDistance)
                / m_bounceDistance;

    double t = event->timestamp();
    // Two events at the same instant say nothing about speed: the last
    // measured speed stands.
    if (t - m_startTime > kEpsilon)
        m_startVelocity = (-translation / (t - m_startTime)) * factor * m_scrollSpeed / m_itemWidth;
    m_startTime = t;

    m_scrollOffset -= translation * factor * m_offsetMultiplier / m_itemWidth;
    pushAnimationState(false);
    didScroll();
    popAnimationState();
}

void CarouselView::mouseUp(const Ref<NSEvent>& event)
{
    auto self = selfRef<CarouselView>();
    if (m_didDrag) {
        if (!m_scrollEnabled)
            return;
        m_dragging = false;
        if (shouldDecelerate()) {
            m_didDrag = false;
            startDecelerating();
        }
        pushAnimationState(true);
        if (auto delegate = this->delegate())
            delegate->carouselDidEndDragging(*this, m_decelerating);
        if (!m_decelerating && m_autoscroll == 0) {
            if (shouldScroll()) {
                int64_t direction = m_startVelocity > 0 ? 1 : -1;
                scrollToItemAtIndex(currentItemIndex() + direction, true);
            } else {
                scrollToItemAtIndex(currentItemIndex(), true);
            }
        } else if (auto delegate = this->delegate()) {
            delegate->carouselWillBeginDecelerating(*this);
        }
        popAnimationState();
        return;
    }

    NSWindow* window = this->window();
    if (!window)
        return;
    // The window's location, in the carousel's coordinates.
    CGPoint point = convertPointFromView(event->locationInWindow(), nullptr);
    auto view = itemViewAtPoint(point);
    if (!view)
        return;
    int64_t index = indexOfItemView(view.get());
    // Placeholders stand beyond the ends of the row: they are not items and
    // cannot be selected.
    if (index < 0 || index >= m_numberOfItems)
        return;
    if (m_centerItemWhenSelected && index != currentItemIndex())
        scrollToItemAtIndex(index, true);
    auto delegate = this->delegate();
    if (!delegate || delegate->carouselShouldSelectItemAtIndex(*this, index))
        notifyDelegate(true, [index](CarouselViewDelegate& d, CarouselView& c) { d.carouselDidSelectItemAtIndex(c, index); });
}

void CarouselView::keyDown(const Ref<NSEvent>& event)
{
    const std::string& characters = event->charactersIgnoringModifiers();
    if (m_scrollEnabled && !characters.empty()) {
        uint32_t c = firstCharacter(characters);
        int64_t step = 0;
        if (m_vertical)
            step = c == kUpArrow ? -1 : c == kDownArrow ? 1 : 0;
        else
            step = c == kLeftArrow ? -1 : c == kRightArrow ? 1 : 0;
        if (step != 0) {
            // The row's own arrows; while an animated scroll runs they are
            // ignored.
            if (!m_scrolling)
                scrollToItemAtIndex(currentItemIndex() + step, true);
            return;
        }
    }
    // What the carousel does not handle goes on up the responder chain.
    NSView::keyDown(event);
}

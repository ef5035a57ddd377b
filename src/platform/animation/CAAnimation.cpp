#include "CAAnimation.h"

#include "CALayer.h"

#include <foundation/Format.h>

#include <algorithm>

const CAMediaTimingFillMode kCAFillModeRemoved = "removed";
const CAMediaTimingFillMode kCAFillModeForwards = "forwards";
const CAMediaTimingFillMode kCAFillModeBackwards = "backwards";
const CAMediaTimingFillMode kCAFillModeBoth = "both";
const CATransitionType kCATransitionFade = "fade";

Ref<CAAction> CANullAction::null()
{
    static Ref<CAAction> shared = makeRef<CANullAction>();
    return shared;
}

Ref<CAAnimation> CAAnimation::animation() { return makeRef<CAAnimation>(); }

void CAAnimation::copyTimingFrom(const CAAnimation& other)
{
    m_beginTime = other.m_beginTime;
    m_duration = other.m_duration;
    m_timingFunction = other.m_timingFunction;
    m_fillMode = other.m_fillMode;
    m_removedOnCompletion = other.m_removedOnCompletion;
    m_delegate = other.m_delegate;
}

Ref<CAAnimation> CAAnimation::copy() const
{
    auto c = makeRef<CAAnimation>();
    c->copyTimingFrom(*this);
    return c;
}

std::optional<double> CAAnimation::progressAt(double time, double begin, double duration) const
{
    bool fillsBackwards = m_fillMode == kCAFillModeBackwards || m_fillMode == kCAFillModeBoth;
    bool fillsForwards = m_fillMode == kCAFillModeForwards || m_fillMode == kCAFillModeBoth;
    double linear;
    if (time < begin) {
        if (!fillsBackwards)
            return std::nullopt;
        linear = 0;
    } else if (duration <= 0 || time >= begin + duration) {
        if (!fillsForwards)
            return std::nullopt;
        linear = 1;
    } else {
        linear = (time - begin) / duration;
    }
    return m_timingFunction ? m_timingFunction->solve(linear) : linear;
}

void CAAnimation::runActionForKey(const std::string& key, CALayer& layer)
{
    layer.addAnimation(selfRef<CAAnimation>(), key);
}

Ref<CAPropertyAnimation> CAPropertyAnimation::animationWithKeyPath(const std::string& keyPath)
{
    auto a = makeRef<CAPropertyAnimation>();
    a->setKeyPath(keyPath);
    return a;
}

void CAPropertyAnimation::copyPropertyFrom(const CAPropertyAnimation& other)
{
    copyTimingFrom(other);
    m_keyPath = other.m_keyPath;
}

Ref<CAAnimation> CAPropertyAnimation::copy() const
{
    auto c = makeRef<CAPropertyAnimation>();
    c->copyPropertyFrom(*this);
    return c;
}

CAValue CAPropertyAnimation::valueAtProgress(double, const CAValue& modelValue) const { return modelValue; }

Ref<CABasicAnimation> CABasicAnimation::animationWithKeyPath(const std::string& keyPath)
{
    auto a = makeRef<CABasicAnimation>();
    a->setKeyPath(keyPath);
    return a;
}

Ref<CAAnimation> CABasicAnimation::copy() const
{
    auto c = makeRef<CABasicAnimation>();
    c->copyPropertyFrom(*this);
    c->m_from = m_from;
    c->m_to = m_to;
    return c;
}

CAValue CABasicAnimation::valueAtProgress(double progress, const CAValue& modelValue) const
{
    const CAValue& from = CAValueIsEmpty(m_from) ? modelValue : m_from;
    const CAValue& to = CAValueIsEmpty(m_to) ? modelValue : m_to;
    return CAValueInterpolate(from, to, progress);
}

std::string CABasicAnimation::description() const
{
    return stringWithFormat("<CABasicAnimation %@ from %@ to %@, %g s>", keyPath(), CAValueDescription(m_from),
        CAValueDescription(m_to), duration());
}

Ref<CATransition> CATransition::animation() { return makeRef<CATransition>(); }

Ref<CAAnimation> CATransition::copy() const
{
    auto c = makeRef<CATransition>();
    c->copyTimingFrom(*this);
    c->m_type = m_type;
    c->m_subtype = m_subtype;
    return c;
}

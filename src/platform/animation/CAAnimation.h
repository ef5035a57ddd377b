// Explicit animations of layer properties, the fade transition, and the
// action protocol through which layers find their implicit animations.
//
// Timing: an animation runs from beginTime for duration seconds of media
// time (CACurrentMediaTime, the injected Clock). A beginTime of 0 means "when
// added to a layer"; a duration of 0 or less means the duration of the
// transaction in which it is added (0.25 s unless set). Its timing function
// maps elapsed time to progress (linear when none). Outside its active span
// it shows per its fill mode. It ends through a timer on the main run loop:
// the delegate hears animationDidStop, then the completion blocks of the
// transactions it was added in run.
#pragma once

#include "CAMediaTimingFunction.h"
#include "CAValue.h"

#include <foundation/NSObject.h>

#include <string>

class CALayer;
class CAAnimation;

using CAMediaTimingFillMode = std::string;
extern const CAMediaTimingFillMode kCAFillModeRemoved;
extern const CAMediaTimingFillMode kCAFillModeForwards;
extern const CAMediaTimingFillMode kCAFillModeBackwards;
extern const CAMediaTimingFillMode kCAFillModeBoth;

// What a layer does when one of its properties changes: an animation added
// for the property, or nothing at all.
class CAAction {
public:
    virtual ~CAAction() = default;
    virtual void runActionForKey(const std::string& key, CALayer& layer) = 0;
};

// The action that does nothing. A layer delegate answers it to stop the
// search for an action (the platform's NSNull); answering null instead lets
// the layer go on to its default action.
class CANullAction final : public CAAction {
public:
    static Ref<CAAction> null();
    void runActionForKey(const std::string&, CALayer&) override { }
};

class CAAnimationDelegate {
public:
    virtual ~CAAnimationDelegate() = default;
    virtual void animationDidStart(CAAnimation&) { }
    // finished is NO when the animation was removed before its end.
    virtual void animationDidStop(CAAnimation&, bool finished) { (void)finished; }
};

class CAAnimation : public NSObject, public CAAction {
public:
    static Ref<CAAnimation> animation();
    CAAnimation() = default;

    double beginTime() const { return m_beginTime; }
    void setBeginTime(double t) { m_beginTime = t; }
    double duration() const { return m_duration; }
    void setDuration(double d) { m_duration = d; }
    const Ref<CAMediaTimingFunction>& timingFunction() const { return m_timingFunction; }
    void setTimingFunction(Ref<CAMediaTimingFunction> f) { m_timingFunction = std::move(f); }
    const CAMediaTimingFillMode& fillMode() const { return m_fillMode; }
    void setFillMode(CAMediaTimingFillMode mode) { m_fillMode = std::move(mode); }
    bool isRemovedOnCompletion() const { return m_removedOnCompletion; }
    void setRemovedOnCompletion(bool flag) { m_removedOnCompletion = flag; }
    // The animation keeps its delegate alive, as the platform does.
    const Ref<CAAnimationDelegate>& delegate() const { return m_delegate; }
    void setDelegate(Ref<CAAnimationDelegate> d) { m_delegate = std::move(d); }

    // A layer keeps a copy of what it is given, so later changes to the
    // original do not reach a running animation.
    virtual Ref<CAAnimation> copy() const;

    // Progress (after the timing function) at a media time, for an
    // animation that began at begin and lasts duration; empty when the
    // animation shows nothing at that time (before its start or after its
    // end without the matching fill mode).
    std::optional<double> progressAt(double time, double begin, double duration) const;

    // Adds a copy of the animation to the layer under the key.
    void runActionForKey(const std::string& key, CALayer& layer) override;

protected:
    void copyTimingFrom(const CAAnimation&);

private:
    double m_beginTime { 0 };
    double m_duration { 0 };
    Ref<CAMediaTimingFunction> m_timingFunction;
    CAMediaTimingFillMode m_fillMode { "removed" };
    bool m_removedOnCompletion { true };
    Ref<CAAnimationDelegate> m_delegate;
};

class CAPropertyAnimation : public CAAnimation {
public:
    static Ref<CAPropertyAnimation> animationWithKeyPath(const std::string& keyPath);
    const std::string& keyPath() const { return m_keyPath; }
    void setKeyPath(std::string path) { m_keyPath = std::move(path); }
    Ref<CAAnimation> copy() const override;

    // The property's value at a progress, given its model value.
    virtual CAValue valueAtProgress(double progress, const CAValue& modelValue) const;

protected:
    void copyPropertyFrom(const CAPropertyAnimation&);

private:
    std::string m_keyPath;
};

// Interpolates a property between fromValue and toValue; a missing end
// takes the property's model value.
class CABasicAnimation : public CAPropertyAnimation {
public:
    static Ref<CABasicAnimation> animationWithKeyPath(const std::string& keyPath);

    const CAValue& fromValue() const { return m_from; }
    void setFromValue(CAValue v) { m_from = std::move(v); }
    const CAValue& toValue() const { return m_to; }
    void setToValue(CAValue v) { m_to = std::move(v); }

    Ref<CAAnimation> copy() const override;
    CAValue valueAtProgress(double progress, const CAValue& modelValue) const override;
    std::string description() const override;

private:
    CAValue m_from;
    CAValue m_to;
};

using CATransitionType = std::string;
extern const CATransitionType kCATransitionFade;

// A transition between the look of a layer when the transition is added
// and its look afterwards. Only the fade (a cross-dissolve) is drawn; any
// other type is drawn as a fade.
class CATransition : public CAAnimation {
public:
    static Ref<CATransition> animation();
    const CATransitionType& type() const { return m_type; }
    void setType(CATransitionType type) { m_type = std::move(type); }
    const std::string& subtype() const { return m_subtype; }
    void setSubtype(std::string subtype) { m_subtype = std::move(subtype); }
    Ref<CAAnimation> copy() const override;

private:
    CATransitionType m_type { kCATransitionFade };
    std::string m_subtype;
};

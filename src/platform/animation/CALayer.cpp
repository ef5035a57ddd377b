#include "CALayer.h"

#include "CABase.h"
#include "CATransaction.h"
#include "LayerGeometry.h"
#include "LayerRenderer.h"

#include <foundation/Format.h>
#include <graphics/NSImage.h>

#include <algorithm>
#include <cmath>
#include <limits>

const CALayerContentsGravity kCAGravityResize = "resize";
const CALayerContentsGravity kCAGravityResizeAspect = "resizeAspect";
const CALayerContentsGravity kCAGravityResizeAspectFill = "resizeAspectFill";
const CALayerContentsGravity kCAGravityCenter = "center";
const std::string kCATransition = "transition";

namespace {
// Presentation copies are never committed and never run actions.
bool gMakingPresentationCopy = false;
}

struct CALayer::AnimationRecord {
    std::string key;
    Ref<CAAnimation> animation;
    double begin { 0 };
    double duration { 0 };
    // The run loop owns the timers; the end timer owns the record until it
    // fires or is invalidated.
    Weak<RunLoopTimer> startTimer;
    Weak<RunLoopTimer> endTimer;

    void invalidateTimers() const
    {
        if (auto t = startTimer.lock())
            t->invalidate();
        if (auto t = endTimer.lock())
            t->invalidate();
    }
    bool started { false };
    bool ended { false };
    std::vector<std::shared_ptr<CATransactionGroup>> groups;
    // A transition's picture of the layer when it was added, and the part of
    // the layer's space it covers.
    CGImageRef snapshot;
    CGRect snapshotRect {};
};

namespace {
// Innermost transaction first, so that its block runs before the blocks of
// the transactions around it.
void endGroups(const std::vector<std::shared_ptr<CATransactionGroup>>& groups)
{
    for (auto it = groups.rbegin(); it != groups.rend(); ++it)
        (*it)->animationEnded();
}
}

// MARK: Delegate

CALayerDelegate::CALayerDelegate()
    : m_liveness(std::make_shared<CALayerDelegate*>(this))
{
}

CALayerDelegate::CALayerDelegate(const CALayerDelegate&)
    : m_liveness(std::make_shared<CALayerDelegate*>(this))
{
}

// MARK: Life

Ref<CALayer> CALayer::layer() { return makeRef<CALayer>(); }

CALayer::CALayer()
    : m_borderColor(CGColorCreateGenericRGB(0, 0, 0, 1))
    , m_contentsGravity(kCAGravityResize)
    , m_shadowColor(CGColorCreateGenericRGB(0, 0, 0, 1))
    , m_committed(std::make_shared<bool>(false))
{
    if (!gMakingPresentationCopy)
        CATransaction::addCommitFlag(m_committed);
}

CALayer::~CALayer()
{
    for (auto& sublayer : m_sublayers)
        sublayer->m_superlayer = nullptr;
    if (m_mask && m_mask->m_maskedLayer == this)
        m_mask->m_maskedLayer = nullptr;
    // The animations' end timers still fire and tell their delegates and
    // transactions that the animations were cut short.
}

// MARK: Geometry

void CALayer::setBounds(CGRect bounds)
{
    bool resized = bounds.size != m_bounds.size;
    changeProperty(m_bounds, bounds, "bounds");
    if (resized && m_needsDisplayOnBoundsChange)
        setNeedsDisplay();
}

void CALayer::setPosition(CGPoint position) { changeProperty(m_position, position, "position"); }

void CALayer::setZPosition(CGFloat z) { changeProperty(m_zPosition, z, "zPosition"); }

void CALayer::setAnchorPoint(CGPoint anchor) { changeProperty(m_anchorPoint, anchor, "anchorPoint"); }

CGRect CALayer::frame() const
{
    auto h = ca::Homography::fromTransform(ca::layerToSuperlayerTransform(*this, nullptr));
    return ca::boundingBox(ca::projectRect(h, m_bounds));
}

void CALayer::setFrame(CGRect frame)
{
    frame = CGRectStandardize(frame);
    setPosition({ frame.origin.x + m_anchorPoint.x * frame.size.width,
        frame.origin.y + m_anchorPoint.y * frame.size.height });
    setBounds({ m_bounds.origin, frame.size });
}

void CALayer::setTransform(const CATransform3D& t) { changeProperty(m_transform, t, "transform"); }

CGAffineTransform CALayer::affineTransform() const { return CATransform3DGetAffineTransform(m_transform); }

void CALayer::setAffineTransform(const CGAffineTransform& t) { setTransform(CATransform3DMakeAffineTransform(t)); }

void CALayer::setSublayerTransform(const CATransform3D& t)
{
    changeProperty(m_sublayerTransform, t, "sublayerTransform");
}

CATransform3D CALayer::transformToSuperlayer() const
{
    // A presentation copy has no superlayer of its own: it answers for the
    // place of the layer it shows.
    const CALayer* super = m_superlayer;
    if (!super) {
        if (auto model = m_model.lock())
            super = model->superlayer();
    }
    return ca::layerToSuperlayerTransform(*this, super);
}

// MARK: Appearance

void CALayer::setHidden(bool hidden)
{
    if (hidden == m_hidden)
        return;
    m_hidden = hidden;
    didChange();
}

void CALayer::setOpacity(float opacity) { changeProperty(m_opacity, opacity, "opacity"); }

void CALayer::setDoubleSided(bool flag)
{
    if (flag == m_doubleSided)
        return;
    m_doubleSided = flag;
    didChange();
}

void CALayer::setMasksToBounds(bool flag)
{
    if (flag == m_masksToBounds)
        return;
    m_masksToBounds = flag;
    didChange();
}

void CALayer::setCornerRadius(CGFloat radius) { changeProperty(m_cornerRadius, radius, "cornerRadius"); }

void CALayer::setBorderWidth(CGFloat width) { changeProperty(m_borderWidth, width, "borderWidth"); }

void CALayer::setBorderColor(CGColorRef color) { changeProperty(m_borderColor, std::move(color), "borderColor"); }

void CALayer::setBackgroundColor(CGColorRef color)
{
    changeProperty(m_backgroundColor, std::move(color), "backgroundColor");
}

void CALayer::setContents(CALayerContents contents)
{
    m_contents = std::move(contents);
    didChange();
}

CGImageRef CALayer::contentsImage() const
{
    if (auto* image = std::get_if<CGImageRef>(&m_contents))
        return *image;
    if (auto* image = std::get_if<Ref<NSImage>>(&m_contents)) {
        if (!*image)
            return nullptr;
        CGRect proposed { {}, { m_bounds.size.width * m_contentsScale, m_bounds.size.height * m_contentsScale } };
        return (*image)->CGImageForProposedRect(&proposed, nullptr);
    }
    return nullptr;
}

void CALayer::setContentsGravity(CALayerContentsGravity gravity)
{
    if (gravity == m_contentsGravity)
        return;
    m_contentsGravity = std::move(gravity);
    didChange();
}

void CALayer::setContentsScale(CGFloat scale)
{
    if (!(scale > 0) || scale == m_contentsScale)
        return;
    m_contentsScale = scale;
    // Content a delegate draws is drawn again at the new scale; contents set
    // from outside stay as they are.
    if (delegate())
        setNeedsDisplay();
    didChange();
}

void CALayer::setMask(Ref<CALayer> mask)
{
    // A layer cannot mask itself or a layer below it.
    if (mask && (mask.get() == this || isDescendantOf(mask.get())))
        return;
    if (mask == m_mask)
        return;
    if (m_mask && m_mask->m_maskedLayer == this)
        m_mask->m_maskedLayer = nullptr;
    m_mask = std::move(mask);
    if (m_mask)
        m_mask->m_maskedLayer = this;
    didChange();
}

void CALayer::setShadowColor(CGColorRef color) { changeProperty(m_shadowColor, std::move(color), "shadowColor"); }

void CALayer::setShadowOpacity(float opacity) { changeProperty(m_shadowOpacity, opacity, "shadowOpacity"); }

void CALayer::setShadowOffset(CGSize offset) { changeProperty(m_shadowOffset, offset, "shadowOffset"); }

void CALayer::setShadowRadius(CGFloat radius) { changeProperty(m_shadowRadius, radius, "shadowRadius"); }

void CALayer::setShadowPath(CGPathRef path)
{
    m_shadowPath = std::move(path);
    didChange();
}

CALayerDelegate* CALayer::delegate() const
{
    auto alive = m_delegate.lock();
    return alive ? *alive : nullptr;
}

void CALayer::setDelegate(CALayerDelegate* delegate)
{
    m_delegate = delegate ? std::weak_ptr<CALayerDelegate*>(delegate->m_liveness) : std::weak_ptr<CALayerDelegate*>();
}

// MARK: Tree

bool CALayer::isDescendantOf(const CALayer* ancestor) const
{
    for (const CALayer* l = m_superlayer; l; l = l->m_superlayer) {
        if (l == ancestor)
            return true;
    }
    return false;
}

void CALayer::insertAt(const Ref<CALayer>& layer, size_t index)
{
    if (!layer || layer.get() == this || isDescendantOf(layer.get()))
        return;
    Ref<CALayer> keep = layer;
    if (keep->m_superlayer == this) {
        auto it = std::find(m_sublayers.begin(), m_sublayers.end(), keep);
        size_t old = static_cast<size_t>(it - m_sublayers.begin());
        m_sublayers.erase(it);
        if (old < index)
            --index;
    } else {
        keep->removeFromSuperlayer();
    }
    index = std::min(index, m_sublayers.size());
    m_sublayers.insert(m_sublayers.begin() + static_cast<ptrdiff_t>(index), keep);
    keep->m_superlayer = this;
    didChange();
}

void CALayer::setSublayers(const std::vector<Ref<CALayer>>& sublayers)
{
    std::vector<Ref<CALayer>> keep = sublayers;
    for (auto& old : m_sublayers)
        old->m_superlayer = nullptr;
    m_sublayers.clear();
    for (auto& layer : keep)
        insertAt(layer, m_sublayers.size());
    didChange();
}

void CALayer::addSublayer(const Ref<CALayer>& layer) { insertAt(layer, m_sublayers.size()); }

void CALayer::insertSublayer(const Ref<CALayer>& layer, unsigned index) { insertAt(layer, index); }

void CALayer::insertSublayerBelow(const Ref<CALayer>& layer, const CALayer* sibling)
{
    auto it = std::find_if(m_sublayers.begin(), m_sublayers.end(), [&](auto& l) { return l.get() == sibling; });
    insertAt(layer, it == m_sublayers.end() ? 0 : static_cast<size_t>(it - m_sublayers.begin()));
}

void CALayer::insertSublayerAbove(const Ref<CALayer>& layer, const CALayer* sibling)
{
    auto it = std::find_if(m_sublayers.begin(), m_sublayers.end(), [&](auto& l) { return l.get() == sibling; });
    insertAt(layer, it == m_sublayers.end() ? m_sublayers.size() : static_cast<size_t>(it - m_sublayers.begin()) + 1);
}

void CALayer::removeFromSuperlayer()
{
    CALayer* super = m_superlayer;
    if (!super)
        return;
    auto it = std::find_if(super->m_sublayers.begin(), super->m_sublayers.end(), [&](auto& l) { return l.get() == this; });
    m_superlayer = nullptr;
    if (it == super->m_sublayers.end())
        return;
    // The superlayer may hold the last reference: keep this layer alive
    // until the function returns.
    Ref<CALayer> keep = *it;
    super->m_sublayers.erase(it);
    super->didChange();
}

void CALayer::replaceSublayer(const CALayer* oldLayer, const Ref<CALayer>& with)
{
    auto it = std::find_if(m_sublayers.begin(), m_sublayers.end(), [&](auto& l) { return l.get() == oldLayer; });
    if (it == m_sublayers.end() || it->get() == with.get())
        return;
    Ref<CALayer> keepOld = *it;
    size_t index = static_cast<size_t>(it - m_sublayers.begin());
    keepOld->removeFromSuperlayer();
    if (with)
        insertAt(with, index);
}

// MARK: Display

void CALayer::setNeedsDisplay()
{
    if (m_needsDisplay)
        return;
    m_needsDisplay = true;
    didChange();
}

void CALayer::didChange()
{
    if (gMakingPresentationCopy)
        return;
    // Masks and trees are acyclic as built; the bound only guards the walk.
    int depth = 0;
    for (CALayer* layer = this; layer && depth < 4096; ++depth) {
        if (auto* d = layer->delegate())
            d->layerDidChange(*this);
        layer = layer->m_superlayer ? layer->m_superlayer : layer->m_maskedLayer;
    }
}

void CALayer::displayIfNeeded()
{
    if (!m_needsDisplay)
        return;
    // Cleared first, so that drawing may ask for another pass.
    m_needsDisplay = false;
    display();
}

void CALayer::display()
{
    size_t width = static_cast<size_t>(std::ceil(m_bounds.size.width * m_contentsScale - 1e-9));
    size_t height = static_cast<size_t>(std::ceil(m_bounds.size.height * m_contentsScale - 1e-9));
    if (!(m_bounds.size.width > 0) || !(m_bounds.size.height > 0) || width == 0 || height == 0) {
        m_contents = {};
        return;
    }
    auto context = CGBitmapContextCreate(nullptr, width, height, 8, 0, CGColorSpaceCreateDeviceRGB(),
        kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little);
    if (!context)
        return;
    CGContextScaleCTM(context, m_contentsScale, m_contentsScale);
    CGContextTranslateCTM(context, -m_bounds.origin.x, -m_bounds.origin.y);
    drawInContext(context);
    m_contents = CGBitmapContextCreateImage(context);
}

void CALayer::drawInContext(const CGContextRef& context)
{
    if (auto* d = delegate())
        d->drawLayer(*this, context);
}

// MARK: Animatable values

CAValue CALayer::animatableValue(const std::string& key) const
{
    if (key == "bounds")
        return m_bounds;
    if (key == "position")
        return m_position;
    if (key == "zPosition")
        return m_zPosition;
    if (key == "anchorPoint")
        return m_anchorPoint;
    if (key == "transform")
        return m_transform;
    if (key == "sublayerTransform")
        return m_sublayerTransform;
    if (key == "opacity")
        return static_cast<double>(m_opacity);
    if (key == "cornerRadius")
        return m_cornerRadius;
    if (key == "borderWidth")
        return m_borderWidth;
    if (key == "borderColor")
        return m_borderColor;
    if (key == "backgroundColor")
        return m_backgroundColor;
    if (key == "shadowColor")
        return m_shadowColor;
    if (key == "shadowOpacity")
        return static_cast<double>(m_shadowOpacity);
    if (key == "shadowOffset")
        return m_shadowOffset;
    if (key == "shadowRadius")
        return m_shadowRadius;
    return {};
}

namespace {
template <class T, class F>
bool assign(const CAValue& value, F&& store)
{
    if (auto* v = std::get_if<T>(&value)) {
        store(*v);
        return true;
    }
    return false;
}
}

bool CALayer::storeAnimatableValue(const std::string& key, const CAValue& value)
{
    if (key == "bounds")
        return assign<CGRect>(value, [&](CGRect v) { m_bounds = v; });
    if (key == "position")
        return assign<CGPoint>(value, [&](CGPoint v) { m_position = v; });
    if (key == "zPosition")
        return assign<double>(value, [&](double v) { m_zPosition = v; });
    if (key == "anchorPoint")
        return assign<CGPoint>(value, [&](CGPoint v) { m_anchorPoint = v; });
    if (key == "transform")
        return assign<CATransform3D>(value, [&](const CATransform3D& v) { m_transform = v; });
    if (key == "sublayerTransform")
        return assign<CATransform3D>(value, [&](const CATransform3D& v) { m_sublayerTransform = v; });
    if (key == "opacity")
        return assign<double>(value, [&](double v) { m_opacity = static_cast<float>(v); });
    if (key == "cornerRadius")
        return assign<double>(value, [&](double v) { m_cornerRadius = v; });
    if (key == "borderWidth")
        return assign<double>(value, [&](double v) { m_borderWidth = v; });
    if (key == "borderColor")
        return assign<CGColorRef>(value, [&](const CGColorRef& v) { m_borderColor = v; });
    if (key == "backgroundColor")
        return assign<CGColorRef>(value, [&](const CGColorRef& v) { m_backgroundColor = v; });
    if (key == "shadowColor")
        return assign<CGColorRef>(value, [&](const CGColorRef& v) { m_shadowColor = v; });
    if (key == "shadowOpacity")
        return assign<double>(value, [&](double v) { m_shadowOpacity = static_cast<float>(v); });
    if (key == "shadowOffset")
        return assign<CGSize>(value, [&](CGSize v) { m_shadowOffset = v; });
    if (key == "shadowRadius")
        return assign<double>(value, [&](double v) { m_shadowRadius = v; });
    return false;
}

bool CALayer::setAnimatableValue(const std::string& key, const CAValue& value)
{
    CAValue current = animatableValue(key);
    if (CAValueIsEmpty(current) || current.index() != value.index())
        return false;
    if (CAValueEqual(current, value))
        return true;
    bool animate = isCommitted() && !CATransaction::disableActions();
    CAValue old = animate ? presentationValue(key) : CAValue {};
    CGSize oldSize = m_bounds.size;
    if (!storeAnimatableValue(key, value))
        return false;
    if (animate)
        runImplicitAction(key, old);
    if (m_needsDisplayOnBoundsChange && m_bounds.size != oldSize)
        setNeedsDisplay();
    didChange();
    return true;
}

// MARK: Actions

Ref<CAAction> CALayer::actionForKey(const std::string& key)
{
    if (auto* d = delegate()) {
        if (auto action = d->actionForLayer(*this, key))
            return action;
    }
    return defaultActionForKey(key);
}

Ref<CAAction> CALayer::defaultActionForKey(const std::string& key) const
{
    if (CAValueIsEmpty(animatableValue(key)))
        return nullptr;
    auto animation = CABasicAnimation::animationWithKeyPath(key);
    auto timing = CATransaction::animationTimingFunction();
    animation->setTimingFunction(
        timing ? timing : CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionDefault));
    return animation;
}

void CALayer::runImplicitAction(const std::string& key, const CAValue& oldPresentationValue)
{
    if (CATransaction::disableActions())
        return;
    auto action = actionForKey(key);
    if (!action)
        return;
    auto basic = std::dynamic_pointer_cast<CABasicAnimation>(action);
    if (basic && CAValueIsEmpty(basic->fromValue())) {
        auto animation = std::static_pointer_cast<CABasicAnimation>(basic->copy());
        animation->setFromValue(oldPresentationValue);
        addAnimation(animation, key);
        return;
    }
    action->runActionForKey(key, *this);
}

// MARK: Animations

void CALayer::addAnimation(const Ref<CAAnimation>& animation, const std::string& forKey)
{
    if (!animation)
        return;
    auto record = std::make_shared<AnimationRecord>();
    record->animation = animation->copy();
    bool isTransition = std::dynamic_pointer_cast<CATransition>(record->animation) != nullptr;
    record->key = isTransition ? kCATransition : forKey;
    double now = CACurrentMediaTime();
    if (record->animation->beginTime() <= 0)
        record->animation->setBeginTime(now);
    record->begin = record->animation->beginTime();
    record->duration
        = record->animation->duration() > 0 ? record->animation->duration() : CATransaction::animationDuration();
    if (isTransition)
        record->snapshot = ca::LayerRenderer::snapshot(*this, record->snapshotRect);

    if (!record->key.empty()) {
        auto it = std::find_if(
            m_animations.begin(), m_animations.end(), [&](auto& r) { return r->key == record->key; });
        if (it != m_animations.end()) {
            auto replaced = *it;
            m_animations.erase(it);
            endAnimation(replaced, false);
        }
    }
    record->groups = CATransaction::currentGroups();
    for (auto& group : record->groups)
        group->animationAdded();
    m_animations.push_back(record);
    scheduleAnimation(record);
    didChange();
}

void CALayer::scheduleAnimation(const std::shared_ptr<AnimationRecord>& record)
{
    std::weak_ptr<NSObject> weakLayer = weak_from_this();
    std::weak_ptr<AnimationRecord> weakRecord = record;

    auto startTimer = makeRef<RunLoopTimer>();
    record->startTimer = startTimer;
    startTimer->fireDate = std::max(record->begin, CACurrentMediaTime());
    startTimer->action = [weakRecord] {
        auto r = weakRecord.lock();
        if (!r || r->ended || r->started)
            return;
        r->started = true;
        if (auto d = r->animation->delegate())
            d->animationDidStart(*r->animation);
    };
    RunLoop::main().addTimer(startTimer, kCFRunLoopCommonModes);

    auto endTimer = makeRef<RunLoopTimer>();
    record->endTimer = endTimer;
    endTimer->fireDate = record->begin + record->duration;
    // The timer keeps the record: it reports the end even when the layer is
    // gone by then.
    endTimer->action = [weakLayer, record] {
        auto layer = std::static_pointer_cast<CALayer>(weakLayer.lock());
        if (record->ended)
            return;
        bool attached = false;
        if (layer) {
            auto& list = layer->m_animations;
            auto it = std::find(list.begin(), list.end(), record);
            attached = it != list.end();
            if (attached && record->animation->isRemovedOnCompletion())
                list.erase(it);
        }
        if (!record->started) {
            record->started = true;
            if (auto d = record->animation->delegate())
                d->animationDidStart(*record->animation);
        }
        record->ended = true;
        if (auto t = record->startTimer.lock())
            t->invalidate();
        // The last frame shows the model value (or the value kept).
        if (layer)
            layer->didChange();
        if (auto d = record->animation->delegate())
            d->animationDidStop(*record->animation, attached);
        endGroups(record->groups);
    };
    RunLoop::main().addTimer(endTimer, kCFRunLoopCommonModes);
}

void CALayer::endAnimation(const std::shared_ptr<AnimationRecord>& record, bool finished)
{
    if (record->ended)
        return;
    record->ended = true;
    record->invalidateTimers();
    if (auto d = record->animation->delegate())
        d->animationDidStop(*record->animation, finished);
    endGroups(record->groups);
}

size_t CALayer::runningAnimationCount() const
{
    return static_cast<size_t>(
        std::count_if(m_animations.begin(), m_animations.end(), [](const auto& record) { return !record->ended; }));
}

Ref<CAAnimation> CALayer::animationForKey(const std::string& key) const
{
    for (auto& record : m_animations) {
        if (record->key == key && !key.empty())
            return record->animation;
    }
    return nullptr;
}

void CALayer::removeAnimationForKey(const std::string& key)
{
    auto it = std::find_if(m_animations.begin(), m_animations.end(), [&](auto& r) { return r->key == key; });
    if (key.empty() || it == m_animations.end())
        return;
    auto record = *it;
    m_animations.erase(it);
    endAnimation(record, false);
    didChange();
}

void CALayer::removeAllAnimations()
{
    auto records = std::move(m_animations);
    m_animations.clear();
    for (auto& record : records)
        endAnimation(record, false);
    if (!records.empty())
        didChange();
}

std::vector<std::string> CALayer::animationKeys() const
{
    std::vector<std::string> keys;
    for (auto& record : m_animations) {
        if (!record->key.empty())
            keys.push_back(record->key);
    }
    return keys;
}

void CALayer::applyAnimations(CALayer& copy, double time) const
{
    for (auto& record : m_animations) {
        auto property = std::dynamic_pointer_cast<CAPropertyAnimation>(record->animation);
        if (!property)
            continue;
        auto progress = property->progressAt(time, record->begin, record->duration);
        if (!progress)
            continue;
        const std::string& key = property->keyPath();
        copy.storeAnimatableValue(key, property->valueAtProgress(*progress, animatableValue(key)));
    }
}

CAValue CALayer::presentationValue(const std::string& key) const
{
    CAValue model = animatableValue(key);
    CAValue value = model;
    double now = CACurrentMediaTime();
    for (auto& record : m_animations) {
        auto property = std::dynamic_pointer_cast<CAPropertyAnimation>(record->animation);
        if (!property || property->keyPath() != key)
            continue;
        if (auto progress = property->progressAt(now, record->begin, record->duration))
            value = property->valueAtProgress(*progress, model);
    }
    return value;
}

std::optional<CALayer::TransitionFrame> CALayer::activeTransition(double now) const
{
    for (auto& record : m_animations) {
        if (!record->snapshot || record->key != kCATransition)
            continue;
        auto p = record->animation->progressAt(now, record->begin, record->duration);
        if (!p || *p >= 1)
            continue;
        return TransitionFrame { record->snapshot, record->snapshotRect, *p };
    }
    return std::nullopt;
}

Ref<CALayer> CALayer::makePresentationCopy() const
{
    auto copy = makeRef<CALayer>();
    copyPropertiesTo(*copy);
    return copy;
}

void CALayer::copyPropertiesTo(CALayer& c) const
{
    c.m_bounds = m_bounds;
    c.m_position = m_position;
    c.m_zPosition = m_zPosition;
    c.m_anchorPoint = m_anchorPoint;
    c.m_transform = m_transform;
    c.m_sublayerTransform = m_sublayerTransform;
    c.m_hidden = m_hidden;
    c.m_opacity = m_opacity;
    c.m_doubleSided = m_doubleSided;
    c.m_masksToBounds = m_masksToBounds;
    c.m_cornerRadius = m_cornerRadius;
    c.m_borderWidth = m_borderWidth;
    c.m_borderColor = m_borderColor;
    c.m_backgroundColor = m_backgroundColor;
    c.m_contents = m_contents;
    c.m_contentsGravity = m_contentsGravity;
    c.m_contentsScale = m_contentsScale;
    c.m_shouldRasterize = m_shouldRasterize;
    c.m_rasterizationScale = m_rasterizationScale;
    c.m_mask = m_mask;
    c.m_shadowColor = m_shadowColor;
    c.m_shadowOpacity = m_shadowOpacity;
    c.m_shadowOffset = m_shadowOffset;
    c.m_shadowRadius = m_shadowRadius;
    c.m_shadowPath = m_shadowPath;
    c.m_name = m_name;
}

Ref<CALayer> CALayer::presentationLayer() const
{
    gMakingPresentationCopy = true;
    Ref<CALayer> copy;
    try {
        copy = makePresentationCopy();
    } catch (...) {
        gMakingPresentationCopy = false;
        throw;
    }
    gMakingPresentationCopy = false;
    copy->m_model = std::static_pointer_cast<CALayer>(std::const_pointer_cast<NSObject>(weak_from_this().lock()));
    applyAnimations(*copy, CACurrentMediaTime());
    return copy;
}

Ref<CALayer> CALayer::modelLayer() const
{
    if (auto model = m_model.lock())
        return model;
    return selfRef<CALayer>();
}

// MARK: Hit testing and conversion

bool CALayer::containsPoint(CGPoint p) const { return CGRectContainsPoint(m_bounds, p); }

Ref<CALayer> CALayer::hitTest(CGPoint pointInSuperlayer)
{
    if (m_hidden)
        return nullptr;
    auto toSuper = ca::Homography::fromTransform(transformToSuperlayer());
    if (!m_doubleSided && ca::facesAway(toSuper))
        return nullptr;
    auto local = ca::unproject(toSuper, pointInSuperlayer);
    if (!local)
        return nullptr;
    if (m_masksToBounds && !containsPoint(*local))
        return nullptr;
    // Front to back by the depth of each sublayer's plane at the point, the
    // later sibling first between equals.
    std::vector<std::pair<double, size_t>> order;
    order.reserve(m_sublayers.size());
    for (size_t i = 0; i < m_sublayers.size(); ++i) {
        auto depth = ca::depthAtPoint(m_sublayers[i]->transformToSuperlayer(), *local);
        order.push_back({ depth.value_or(-std::numeric_limits<double>::infinity()), i });
    }
    std::stable_sort(order.begin(), order.end(), [](auto& a, auto& b) { return a.first < b.first; });
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        if (auto hit = m_sublayers[it->second]->hitTest(*local))
            return hit;
    }
    if (containsPoint(*local))
        return selfRef<CALayer>();
    return nullptr;
}

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// From a layer's space to its root's space.
CGPoint toRootSpace(const CALayer* layer, CGPoint p)
{
    for (const CALayer* l = layer; l->superlayer(); l = l->superlayer()) {
        auto mapped = ca::Homography::fromTransform(l->transformToSuperlayer()).map(p);
        if (!mapped)
            return { kInf, kInf };
        p = *mapped;
    }
    return p;
}

// From the root's space down to a layer's space.
CGPoint fromRootSpace(const CALayer* layer, CGPoint p)
{
    std::vector<const CALayer*> chain;
    for (const CALayer* l = layer; l->superlayer(); l = l->superlayer())
        chain.push_back(l);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        auto local = ca::unproject(ca::Homography::fromTransform((*it)->transformToSuperlayer()), p);
        if (!local)
            return { kInf, kInf };
        p = *local;
    }
    return p;
}

bool isFinite(CGPoint p) { return std::isfinite(p.x) && std::isfinite(p.y); }

CGRect convertRect(CGRect r, const std::function<CGPoint(CGPoint)>& convert)
{
    r = CGRectStandardize(r);
    std::vector<CGPoint> corners;
    for (CGPoint c : { r.origin, CGPoint { r.origin.x + r.size.width, r.origin.y },
             CGPoint { r.origin.x + r.size.width, r.origin.y + r.size.height },
             CGPoint { r.origin.x, r.origin.y + r.size.height } }) {
        CGPoint p = convert(c);
        if (!isFinite(p))
            return CGRectNull;
        corners.push_back(p);
    }
    return ca::boundingBox(corners);
}

}

CGPoint CALayer::convertPointFromLayer(CGPoint p, const CALayer* layer) const
{
    CGPoint inRoot = layer ? toRootSpace(layer, p) : p;
    if (!isFinite(inRoot))
        return inRoot;
    return fromRootSpace(this, inRoot);
}

CGPoint CALayer::convertPointToLayer(CGPoint p, const CALayer* layer) const
{
    CGPoint inRoot = toRootSpace(this, p);
    if (!layer || !isFinite(inRoot))
        return inRoot;
    return fromRootSpace(layer, inRoot);
}

CGRect CALayer::convertRectFromLayer(CGRect r, const CALayer* layer) const
{
    return convertRect(r, [&](CGPoint p) { return convertPointFromLayer(p, layer); });
}

CGRect CALayer::convertRectToLayer(CGRect r, const CALayer* layer) const
{
    return convertRect(r, [&](CGPoint p) { return convertPointToLayer(p, layer); });
}

// MARK: Rendering

void CALayer::renderInContext(const CGContextRef& context)
{
    if (context)
        ca::LayerRenderer::render(*this, context);
}

std::string CALayer::description() const
{
    return stringWithFormat("<%@ name=\"%@\" frame=%@ sublayers=%d>", className(), m_name, NSStringFromRect(frame()),
        static_cast<int>(m_sublayers.size()));
}

// Layers: a tree of rectangles with geometry, appearance and content that
// renders into a Core Graphics context, in 2D or with 3D transforms and
// perspective.
//
// Geometry (all in points, y growing upwards as in Core Graphics):
// - bounds is the layer's own coordinate space; its origin is the point
//   shown at the bottom-left corner.
// - position is where the anchor point lies in the superlayer's space, and
//   zPosition its depth there. anchorPoint is in unit coordinates of the
//   bounds ((0.5, 0.5), the centre, unless set).
// - transform acts about the anchor point; a superlayer's sublayerTransform
//   acts on all its sublayers about the superlayer's anchor point. A point p
//   of the layer maps to its superlayer as
//   p * T(-anchor) * transform * T(position, zPosition) * [T(-A) * S * T(A)].
// - Each layer flattens its subtree into its own plane: a sublayer's 3D
//   transform projects (with perspective, m34) into its superlayer's plane.
//   Siblings are drawn back to front by their depth after transform (the z
//   of their bounds' centre; zPosition alone for flat layers), then by order.
//
// Ownership: a layer owns its sublayers and its mask; the superlayer pointer
// does not own and is cleared on removal. The delegate is not owned either,
// and a delegate that goes away is forgotten by its layers.
//
// Animation: setting an animatable property runs the layer's action for the
// property name unless the transaction disables actions. The action comes
// from the delegate (actionForLayer) and otherwise is a basic animation from
// the old presentation value over the transaction's duration. A new layer
// runs no actions until the transaction it was made in has committed, as the
// platform does for layers that were never shown.
#pragma once

#include "CAAnimation.h"
#include "CATransaction.h"
#include "CATransform3D.h"
#include "CAValue.h"

#include <foundation/NSObject.h>
#include <graphics/CGAffineTransform.h>
#include <graphics/CGColor.h>
#include <graphics/CGContext.h>
#include <graphics/CGImage.h>
#include <graphics/CGPath.h>

#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

class CALayer;
class NSImage;
typedef struct _cairo cairo_t;

namespace ca {
class LayerRenderer;
}

class CALayerDelegate {
public:
    CALayerDelegate();
    CALayerDelegate(const CALayerDelegate&);
    CALayerDelegate& operator=(const CALayerDelegate&) { return *this; }
    virtual ~CALayerDelegate() = default;

    // Draws the layer's content when it displays. The context's user space is
    // the layer's bounds space.
    virtual void drawLayer(CALayer&, const CGContextRef& inContext) { (void)inContext; }
    // The action for a change of the key: null lets the layer use its
    // default; CANullAction::null() means no action.
    virtual Ref<CAAction> actionForLayer(CALayer&, const std::string& forKey)
    {
        (void)forKey;
        return nullptr;
    }
    // layer:shouldInheritContentsScale:fromWindow:. Whoever moves a layer to
    // a window of another backing scale asks this; YES makes the layer take
    // the window's scale as its contentsScale.
    virtual bool layerShouldInheritContentsScale(CALayer&, CGFloat newScale, NSObject* fromWindow)
    {
        (void)newScale;
        (void)fromWindow;
        return false;
    }
    // The layer, the delegate's own or one below it, now looks different: a
    // property, the contents, the tree or an animation changed, or it needs
    // display. Told to the delegates of the layer and of every layer above
    // it (a view marks itself for display).
    virtual void layerDidChange(CALayer& changed) { (void)changed; }

private:
    friend class CALayer;
    // Lets layers notice that their delegate is gone without owning it.
    std::shared_ptr<CALayerDelegate*> m_liveness;
};

// What a layer shows as its image: nothing, a CGImage or an NSImage.
using CALayerContents = std::variant<std::monostate, CGImageRef, Ref<NSImage>>;

using CALayerContentsGravity = std::string;
extern const CALayerContentsGravity kCAGravityResize;
extern const CALayerContentsGravity kCAGravityResizeAspect;
extern const CALayerContentsGravity kCAGravityResizeAspectFill;
extern const CALayerContentsGravity kCAGravityCenter;

// The key under which a layer keeps its transition.
extern const std::string kCATransition;

class CALayer : public NSObject {
public:
    static Ref<CALayer> layer();
    CALayer();
    ~CALayer() override;

    // MARK: Geometry
    CGRect bounds() const { return m_bounds; }
    void setBounds(CGRect);
    CGPoint position() const { return m_position; }
    void setPosition(CGPoint);
    CGFloat zPosition() const { return m_zPosition; }
    void setZPosition(CGFloat);
    CGPoint anchorPoint() const { return m_anchorPoint; }
    void setAnchorPoint(CGPoint);
    // The bounding box of the bounds as placed in the superlayer. Setting it
    // sets the position and, while the transform is the identity, the size
    // of the bounds.
    CGRect frame() const;
    void setFrame(CGRect);
    const CATransform3D& transform() const { return m_transform; }
    void setTransform(const CATransform3D&);
    CGAffineTransform affineTransform() const;
    void setAffineTransform(const CGAffineTransform&);
    const CATransform3D& sublayerTransform() const { return m_sublayerTransform; }
    void setSublayerTransform(const CATransform3D&);

    // MARK: Appearance
    bool isHidden() const { return m_hidden; }
    void setHidden(bool);
    float opacity() const { return m_opacity; }
    void setOpacity(float);
    // A single-sided layer is not drawn (nor hit) while it faces away.
    bool isDoubleSided() const { return m_doubleSided; }
    void setDoubleSided(bool);
    bool masksToBounds() const { return m_masksToBounds; }
    void setMasksToBounds(bool);
    CGFloat cornerRadius() const { return m_cornerRadius; }
    void setCornerRadius(CGFloat);
    CGFloat borderWidth() const { return m_borderWidth; }
    void setBorderWidth(CGFloat);
    // Opaque black unless set; drawn only with a border width.
    const CGColorRef& borderColor() const { return m_borderColor; }
    void setBorderColor(CGColorRef);
    const CGColorRef& backgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(CGColorRef);
    const CALayerContents& contents() const { return m_contents; }
    void setContents(CALayerContents);
    // The contents as a CGImage (an NSImage gives its best representation).
    CGImageRef contentsImage() const;
    const CALayerContentsGravity& contentsGravity() const { return m_contentsGravity; }
    void setContentsGravity(CALayerContentsGravity);
    // Pixels per point of the backing store that display() makes. A change
    // asks a layer with a delegate to display again.
    CGFloat contentsScale() const { return m_contentsScale; }
    void setContentsScale(CGFloat);
    // Kept for the layer's clients; the renderer picks its own resolution
    // for flattened 3D layers.
    bool shouldRasterize() const { return m_shouldRasterize; }
    void setShouldRasterize(bool flag) { m_shouldRasterize = flag; }
    CGFloat rasterizationScale() const { return m_rasterizationScale; }
    void setRasterizationScale(CGFloat scale) { m_rasterizationScale = scale; }
    // The layer's alpha limits what is drawn of this one. Its geometry is in
    // this layer's bounds space; it has no superlayer.
    const Ref<CALayer>& mask() const { return m_mask; }
    void setMask(Ref<CALayer>);

    // MARK: Shadow (drawn when shadowOpacity > 0)
    const CGColorRef& shadowColor() const { return m_shadowColor; }
    void setShadowColor(CGColorRef);
    float shadowOpacity() const { return m_shadowOpacity; }
    void setShadowOpacity(float);
    // (0, -3) unless set: below the layer, as y grows upwards.
    CGSize shadowOffset() const { return m_shadowOffset; }
    void setShadowOffset(CGSize);
    CGFloat shadowRadius() const { return m_shadowRadius; }
    void setShadowRadius(CGFloat);
    // The shape casting the shadow; without one the layer's drawn alpha does.
    const CGPathRef& shadowPath() const { return m_shadowPath; }
    void setShadowPath(CGPathRef);

    // MARK: Identity and delegate
    const std::string& name() const { return m_name; }
    void setName(std::string n) { m_name = std::move(n); }
    CALayerDelegate* delegate() const;
    void setDelegate(CALayerDelegate*);

    // MARK: Tree
    const std::vector<Ref<CALayer>>& sublayers() const { return m_sublayers; }
    void setSublayers(const std::vector<Ref<CALayer>>&);
    CALayer* superlayer() const { return m_superlayer; }
    // Each adds the layer after removing it from its old superlayer. Adding
    // a layer to itself or to one of its own sublayers is refused.
    void addSublayer(const Ref<CALayer>&);
    void insertSublayer(const Ref<CALayer>&, unsigned atIndex);
    // A sibling that is not a sublayer appends at the end (below: at the start).
    void insertSublayerBelow(const Ref<CALayer>&, const CALayer* sibling);
    void insertSublayerAbove(const Ref<CALayer>&, const CALayer* sibling);
    void removeFromSuperlayer();
    // Nothing happens when the old layer is not a sublayer.
    void replaceSublayer(const CALayer* oldLayer, const Ref<CALayer>& with);
    bool isDescendantOf(const CALayer* ancestor) const;

    // MARK: Display
    // Marks the layer so that the next render displays it again.
    void setNeedsDisplay();
    bool needsDisplay() const { return m_needsDisplay; }
    void displayIfNeeded();
    // Draws the layer's content (drawInContext) into a new backing store of
    // bounds size × contentsScale and makes it the contents.
    virtual void display();
    // Asks the delegate to draw (drawLayer).
    virtual void drawInContext(const CGContextRef&);
    bool needsDisplayOnBoundsChange() const { return m_needsDisplayOnBoundsChange; }
    void setNeedsDisplayOnBoundsChange(bool flag) { m_needsDisplayOnBoundsChange = flag; }

    // MARK: Animation
    // Adds a copy of the animation under the key, replacing (and stopping)
    // one already there. A transition is always kept under kCATransition.
    void addAnimation(const Ref<CAAnimation>&, const std::string& forKey = {});
    // The running copy, as the layer holds it.
    Ref<CAAnimation> animationForKey(const std::string&) const;
    void removeAnimationForKey(const std::string&);
    void removeAllAnimations();
    std::vector<std::string> animationKeys() const;
    bool hasAnimations() const { return !m_animations.empty(); }
    // Animations that have not ended yet; one kept after its end (not
    // removed on completion) no longer counts.
    size_t runningAnimationCount() const;

    // A detached copy of the layer's properties as shown now, with its
    // animations applied at the current media time. It has no sublayers.
    Ref<CALayer> presentationLayer() const;
    // For a presentation copy, the layer it came from; else the layer itself.
    Ref<CALayer> modelLayer() const;
    // The value of an animatable key as shown now.
    CAValue presentationValue(const std::string& key) const;

    // The action the layer runs when the key changes (see the top).
    Ref<CAAction> actionForKey(const std::string& key);
    virtual Ref<CAAction> defaultActionForKey(const std::string& key) const;

    // Animatable properties by key path ("opacity", "position",
    // "backgroundColor", ...): the model value, or empty for a key the layer
    // does not animate.
    virtual CAValue animatableValue(const std::string& key) const;
    // Sets the property as its own setter does, running its action when the
    // value changes; NO for an unknown key or a value of the wrong kind.
    bool setAnimatableValue(const std::string& key, const CAValue& value);

    // MARK: Hit testing and conversion
    // The farthest descendant (or this layer) containing the point, given in
    // the superlayer's space; null when none does. Hidden and back-facing
    // single-sided layers are skipped; masksToBounds limits the search.
    Ref<CALayer> hitTest(CGPoint pointInSuperlayer);
    // The point, in this layer's space, lies within its bounds.
    virtual bool containsPoint(CGPoint) const;
    // Conversions between the spaces of two layers of one tree (null stands
    // for the space of this layer's root's superlayer). A point that would lie
    // behind the eye converts to (inf, inf).
    CGPoint convertPointFromLayer(CGPoint, const CALayer* layer) const;
    CGPoint convertPointToLayer(CGPoint, const CALayer* layer) const;
    // The bounding box of the converted corners.
    CGRect convertRectFromLayer(CGRect, const CALayer* layer) const;
    CGRect convertRectToLayer(CGRect, const CALayer* layer) const;
    // The transform from this layer's space to its superlayer's space (for a
    // presentation copy, to the superlayer of the layer it shows).
    CATransform3D transformToSuperlayer() const;

    // MARK: Rendering
    // Draws the layer and its subtree into the context, with the context's
    // user space as the layer's bounds space. Layers needing display are
    // displayed first.
    void renderInContext(const CGContextRef&);

    std::string description() const override;

protected:
    // Copies the properties (not the tree, animations or delegate) into a
    // presentation copy; subclasses copy their own and call up.
    virtual Ref<CALayer> makePresentationCopy() const;
    void copyPropertiesTo(CALayer&) const;
    // Draws what a subclass shows beyond the contents image (a path, text),
    // in the layer's bounds space. presentation holds the values to draw.
    virtual void drawOwnContent(cairo_t*, const CALayer& presentation) const
    {
        (void)presentation;
    }
    // Whether drawOwnContent draws anything.
    virtual bool hasOwnContent() const { return false; }
    // Brings subclass content up to date before a render.
    virtual void prepareForRender() { }
    // Writes an animatable property without running any action; NO for an
    // unknown key or a value of the wrong kind. Subclasses add their keys.
    virtual bool storeAnimatableValue(const std::string& key, const CAValue& value);
    // Stores a value and runs the action for the key when it changed.
    template <class T>
    void changeProperty(T& field, T value, const char* key);
    void runImplicitAction(const std::string& key, const CAValue& oldPresentationValue);
    bool isCommitted() const { return *m_committed; }
    // Tells the delegates of this layer and of the layers above it (through
    // superlayers, and from a mask to the layer it masks) that it changed.
    void didChange();

private:
    friend class ca::LayerRenderer;
    struct AnimationRecord;

    void insertAt(const Ref<CALayer>& layer, size_t index);
    void endAnimation(const std::shared_ptr<AnimationRecord>&, bool finished);
    void scheduleAnimation(const std::shared_ptr<AnimationRecord>&);
    // A running transition at a time: the picture it started from, the part
    // of the layer's space the picture covers, and its progress.
    struct TransitionFrame {
        CGImageRef snapshot;
        CGRect rect;
        double progress;
    };
    std::optional<TransitionFrame> activeTransition(double now) const;
    // Applies the layer's property animations at a time to a copy.
    void applyAnimations(CALayer& copy, double time) const;

    CGRect m_bounds {};
    CGPoint m_position {};
    CGFloat m_zPosition { 0 };
    CGPoint m_anchorPoint { 0.5, 0.5 };
    CATransform3D m_transform {};
    CATransform3D m_sublayerTransform {};
    bool m_hidden { false };
    float m_opacity { 1 };
    bool m_doubleSided { true };
    bool m_masksToBounds { false };
    CGFloat m_cornerRadius { 0 };
    CGFloat m_borderWidth { 0 };
    CGColorRef m_borderColor;
    CGColorRef m_backgroundColor;
    CALayerContents m_contents;
    CALayerContentsGravity m_contentsGravity;
    CGFloat m_contentsScale { 1 };
    bool m_shouldRasterize { false };
    CGFloat m_rasterizationScale { 1 };
    Ref<CALayer> m_mask;
    CGColorRef m_shadowColor;
    float m_shadowOpacity { 0 };
    CGSize m_shadowOffset { 0, -3 };
    CGFloat m_shadowRadius { 3 };
    CGPathRef m_shadowPath;
    std::string m_name;
    std::weak_ptr<CALayerDelegate*> m_delegate;
    bool m_needsDisplay { false };
    bool m_needsDisplayOnBoundsChange { false };

    std::vector<Ref<CALayer>> m_sublayers;
    CALayer* m_superlayer { nullptr };
    // For a mask, the layer it masks (not owned; cleared when either goes).
    CALayer* m_maskedLayer { nullptr };
    std::vector<std::shared_ptr<AnimationRecord>> m_animations;
    std::shared_ptr<bool> m_committed;
    Weak<CALayer> m_model;
};

template <class T>
void CALayer::changeProperty(T& field, T value, const char* key)
{
    if constexpr (std::is_same_v<T, CGColorRef>) {
        if (CGColorEqualToColor(field, value))
            return;
    } else {
        if (field == value)
            return;
    }
    bool animate = isCommitted() && !CATransaction::disableActions();
    CAValue old = animate ? presentationValue(key) : CAValue {};
    field = std::move(value);
    if (animate)
        runImplicitAction(key, old);
    didChange();
}

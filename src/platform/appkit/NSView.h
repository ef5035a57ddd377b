// Views: rectangles in a tree that draw themselves and receive events.
//
// Geometry. A view's frame is its rectangle in its superview's coordinate
// system; its bounds are the same rectangle in its own. A view whose
// isFlipped answers YES has y growing downwards from the top edge of its
// bounds; otherwise y grows upwards from the bottom edge. A window's base
// coordinate system (what "to view nil" means) is unflipped with its origin
// at the bottom-left corner of the window.
//
// Ownership. A superview owns its subviews; a subview keeps a plain pointer
// to its superview and to its window, cleared when it is removed.
//
// Drawing. setNeedsDisplay marks damage in the window; the window repaints
// once per run-loop turn, calling drawRect: with the damaged part of each
// view, clipped to it, into the current NSGraphicsContext.
#pragma once

#include "NSLayoutConstraint.h"
#include "NSResponder.h"

#include <animation/CALayer.h>

#include <foundation/CGGeometry.h>
#include <graphics/CGContext.h>

#include <optional>
#include <vector>

class NSWindow;
class NSScrollView;
class NSTrackingArea;
class NSViewController;

using NSAutoresizingMaskOptions = uint64_t;
inline constexpr NSAutoresizingMaskOptions NSViewNotSizable = 0;
inline constexpr NSAutoresizingMaskOptions NSViewMinXMargin = 1;
inline constexpr NSAutoresizingMaskOptions NSViewWidthSizable = 2;
inline constexpr NSAutoresizingMaskOptions NSViewMaxXMargin = 4;
inline constexpr NSAutoresizingMaskOptions NSViewMinYMargin = 8;
inline constexpr NSAutoresizingMaskOptions NSViewHeightSizable = 16;
inline constexpr NSAutoresizingMaskOptions NSViewMaxYMargin = 32;

inline constexpr CGFloat NSViewNoIntrinsicMetric = -1;

enum class NSWindowOrderingMode { Below = -1, Out = 0, Above = 1 };

class NSView : public NSResponder, public CALayerDelegate {
public:
    // initWithFrame:.
    explicit NSView(CGRect frame = CGRectZero);
    ~NSView() override;

    // Geometry.
    CGRect frame() const { return m_frame; }
    virtual void setFrame(CGRect frame);
    void setFrameOrigin(CGPoint origin);
    void setFrameSize(CGSize size);
    CGRect bounds() const { return m_bounds; }
    void setBounds(CGRect bounds);
    void setBoundsOrigin(CGPoint origin);
    void setBoundsSize(CGSize size);
    virtual bool isFlipped() const { return false; }

    // The tree.
    NSView* superview() const { return m_superview; }
    const std::vector<Ref<NSView>>& subviews() const { return m_subviews; }
    NSWindow* window() const { return m_window; }
    // Adds on top of the other subviews; a view that has another superview
    // is removed from it first. Adding an ancestor of this view does nothing.
    void addSubview(const Ref<NSView>& view);
    void addSubview(const Ref<NSView>& view, NSWindowOrderingMode place, const Ref<NSView>& otherView);
    void removeFromSuperview();
    void removeFromSuperviewWithoutNeedingDisplay();
    void replaceSubview(const Ref<NSView>& oldView, const Ref<NSView>& newView);
    // Makes the subviews exactly the views, in that order: the others are
    // removed, new ones added, and those that stay are only reordered
    // (they never leave the tree).
    void setSubviews(const std::vector<Ref<NSView>>& views);
    // YES for the view itself and its descendants.
    bool isDescendantOf(const NSView* view) const;
    Ref<NSView> viewWithTag(long tag);
    virtual long tag() const { return m_tag; }
    void setTag(long tag) { m_tag = tag; }
    const std::string& identifier() const { return m_identifier; }
    void setIdentifier(const std::string& identifier) { m_identifier = identifier; }
    NSScrollView* enclosingScrollView() const;

    // Tree notifications for subclasses.
    virtual void viewWillMoveToSuperview(NSView*) { }
    virtual void viewDidMoveToSuperview() { }
    virtual void viewWillMoveToWindow(NSWindow*) { }
    virtual void viewDidMoveToWindow() { }
    // Asked by the clip view that shows this document view when the part
    // that shows (in this view's coordinates) changed: a view that makes
    // its content lazily makes what the rectangle needs.
    virtual void prepareContentInRect(CGRect rect) { (void)rect; }
    virtual void didAddSubview(NSView*) { }
    virtual void willRemoveSubview(NSView*) { }

    // Hit testing: the deepest visible view under a point given in the
    // superview's coordinates, or null. Hidden views and their subviews are
    // never hit.
    virtual Ref<NSView> hitTest(CGPoint pointInSuperview);
    // Whether a point in this view's coordinates lies in it, by the
    // platform's rule for the view's flippedness.
    bool mouse(CGPoint point, CGRect rect) const;

    // Coordinate conversion between views of one window; a null view means
    // the window's base coordinates.
    CGPoint convertPointFromView(CGPoint point, const NSView* view) const;
    CGPoint convertPointToView(CGPoint point, const NSView* view) const;
    CGRect convertRectFromView(CGRect rect, const NSView* view) const;
    CGRect convertRectToView(CGRect rect, const NSView* view) const;
    CGSize convertSizeToView(CGSize size, const NSView* view) const;
    // The view's part not clipped by its ancestors, in its own coordinates.
    CGRect visibleRect() const;

    // Drawing.
    virtual void drawRect(CGRect dirtyRect);
    bool needsDisplay() const { return m_needsDisplay; }
    void setNeedsDisplay(bool flag);
    void setNeedsDisplayInRect(CGRect rect);
    // Paints the window's damage now (the view's window, when it has one).
    void displayIfNeeded();
    void display();
    virtual bool isOpaque() const { return false; }
    bool isHidden() const { return m_hidden; }
    virtual void setHidden(bool hidden);
    bool isHiddenOrHasHiddenAncestor() const;
    CGFloat alphaValue() const { return m_alpha; }
    void setAlphaValue(CGFloat alpha);
    // Draws the view and its subviews into a context whose user space is
    // this view's coordinate system, limited to a rectangle of it. The
    // window's paint pass uses this; so can a caller capturing a view.
    void displayRectIgnoringOpacityInContext(CGRect rect, const CGContextRef& context);

    // Layer backing: a view that wants a layer gets one (made by
    // makeBackingLayer); its background colour, border, corner radius and
    // masking are drawn behind the view's own drawing, and its sublayers in
    // front.
    bool wantsLayer() const { return m_wantsLayer; }
    virtual void setWantsLayer(bool flag);
    const Ref<CALayer>& layer() const { return m_layer; }
    void setLayer(const Ref<CALayer>& layer);
    virtual Ref<CALayer> makeBackingLayer();
    // A view's layers change without implicit animations, except inside an
    // animation group that allows them; explicit ones (addAnimation) run as
    // usual.
    Ref<CAAction> actionForLayer(CALayer&, const std::string& key) override;
    // A change in the view's layer tree marks the view for display, as
    // setNeedsDisplay does; a change of a projected view's own layer
    // repaints where the view shows and keeps its image (layerDidChange()).
    void layerDidChange(CALayer& layer) override;
    // Whether an animation of the view's layer tree has not ended yet (the
    // window then paints the view again at the next animation frame).
    bool layerIsAnimating() const;
    // A layer transform other than the identity takes the view out of its
    // superview's plane: the layer renderer draws it, above the superview's
    // other subviews and ordered by depth among such siblings, from an image
    // of its subtree kept until something inside asks for display. Hit
    // testing follows what was last painted.
    bool isProjected() const;
    // What a change of this view may touch in its superview: what it covers
    // there (coveredFrame), or all of the superview for a projected view.
    CGRect areaInSuperview() const;
    // The rectangle of the superview the view's content covers. The frame;
    // for a layer-backed view, its layer, which takes the view's bounds:
    // bounds sized apart from the frame give the layer (and the content
    // shown in it, neither scaled nor cut) their own size about the frame's
    // anchor point.
    CGRect coveredFrame() const;
    // A point of the window (base coordinates) in this view's coordinates
    // as the window shows them: carried through the 3D map, as last
    // painted, of every projected view on the way. Nothing when such a view
    // does not show the point (it lies behind the eye there).
    std::optional<CGPoint> convertPointFromWindowAsShown(CGPoint base) const;
    // Repaints what the view's changed layer shows: the view, or for a
    // projected view its superview, keeping the view's image.
    void layerDidChange();
    // Adds a projected view as a subview keeping the image of its subtree it
    // was last drawn into, as a compositor keeps a layer's contents when the
    // layer moves: moving in or out of a window is no change of what the
    // view shows. The image is still drawn again when something inside asks
    // for display, when the view's size changes or when it is shown in
    // another appearance. A view that is not projected is added as usual.
    void addSubviewKeepingProjectedImage(const Ref<NSView>& view);

    // Tracking areas, kept by the view; the window delivers their events.
    void addTrackingArea(const Ref<NSTrackingArea>& area);
    void removeTrackingArea(const Ref<NSTrackingArea>& area);
    const std::vector<Ref<NSTrackingArea>>& trackingAreas() const { return m_trackingAreas; }
    // Called when the view's geometry or window changed so that its areas
    // may need rebuilding; subclasses re-add theirs here.
    virtual void updateTrackingAreas() { }

    // Autoresizing.
    NSAutoresizingMaskOptions autoresizingMask() const { return m_autoresizingMask; }
    void setAutoresizingMask(NSAutoresizingMaskOptions mask) { m_autoresizingMask = mask; }
    bool autoresizesSubviews() const { return m_autoresizesSubviews; }
    void setAutoresizesSubviews(bool flag) { m_autoresizesSubviews = flag; }
    virtual void resizeSubviewsWithOldSize(CGSize oldSize);
    virtual void resizeWithOldSuperviewSize(CGSize oldSize);

    // Constraints: equalities between edge and size anchors.
    bool translatesAutoresizingMaskIntoConstraints() const { return m_translatesMask; }
    void setTranslatesAutoresizingMaskIntoConstraints(bool flag);
    NSLayoutXAxisAnchor leadingAnchor() { return { this, NSLayoutAttribute::Leading }; }
    NSLayoutXAxisAnchor trailingAnchor() { return { this, NSLayoutAttribute::Trailing }; }
    NSLayoutXAxisAnchor leftAnchor() { return { this, NSLayoutAttribute::Leading }; }
    NSLayoutXAxisAnchor rightAnchor() { return { this, NSLayoutAttribute::Trailing }; }
    NSLayoutXAxisAnchor centerXAnchor() { return { this, NSLayoutAttribute::CenterX }; }
    NSLayoutYAxisAnchor topAnchor() { return { this, NSLayoutAttribute::Top }; }
    NSLayoutYAxisAnchor bottomAnchor() { return { this, NSLayoutAttribute::Bottom }; }
    NSLayoutYAxisAnchor centerYAnchor() { return { this, NSLayoutAttribute::CenterY }; }
    NSLayoutDimension widthAnchor() { return { this, NSLayoutAttribute::Width }; }
    NSLayoutDimension heightAnchor() { return { this, NSLayoutAttribute::Height }; }
    // The active constraints this view holds (those between its subviews
    // and itself).
    const std::vector<Ref<NSLayoutConstraint>>& constraints() const { return m_constraints; }
    void addConstraint(const Ref<NSLayoutConstraint>& constraint);
    void removeConstraint(const Ref<NSLayoutConstraint>& constraint);
    bool needsLayout() const { return m_needsLayout; }
    void setNeedsLayout(bool flag);
    // Places constrained subviews, then lays out the subviews' own trees.
    virtual void layout();
    void layoutSubtreeIfNeeded();

    // The size the view's content needs; NSViewNoIntrinsicMetric (-1) on
    // an axis that has none.
    virtual CGSize intrinsicContentSize() const { return { NSViewNoIntrinsicMetric, NSViewNoIntrinsicMetric }; }
    // The content size changed: constraints that use it are re-solved.
    void invalidateIntrinsicContentSize();

    // Responder: an explicit next responder, else the view's controller,
    // else the natural one (the superview, or the window for its content
    // view).
    Ref<NSResponder> nextResponder() const override;
    Ref<NSResponder> naturalNextResponder() const;
    virtual bool acceptsFirstMouse(const Ref<NSEvent>&) const { return false; }
    virtual bool canBecomeKeyView() const { return false; }

    // The controller whose view this is (set by the controller).
    NSViewController* viewController() const { return m_viewController; }
    void setViewController(NSViewController* controller) { m_viewController = controller; }

    // Scrolling: asks the enclosing clip view to show a point or rectangle.
    void scrollPoint(CGPoint point);
    // Lets a view move a proposed visible rectangle to where it can scroll
    // (to whole rows, say); the rectangle unchanged unless a subclass says.
    virtual CGRect adjustScroll(CGRect proposedVisibleRect) const { return proposedVisibleRect; }
    // The view whose drawRect: runs on this thread now, or null.
    static NSView* focusView() { return t_focusView; }
    bool scrollRectToVisible(CGRect rect);

    // Key-value coding of the geometry and state ("frame" as a string,
    // "hidden", "alphaValue", "tag", "identifier").
    Value valueForKey(const std::string& key) const override;
    void setValueForKey(const Value& value, const std::string& key) override;

    // The transform from this view's coordinates to its superview's (or,
    // for a view without one, to the window's base coordinates).
    CGAffineTransform transformToSuperview() const;

protected:
    // Called by the window when the view becomes part of it (or leaves).
    friend class NSWindow;
    void setWindowRecursively(NSWindow* window);
    // Tells the controllers of a subtree that it appears in (or disappears
    // from) a visible window.
    static void notifyAppearance(NSView* root, bool appearing, bool done);
    void drawSubtree(const CGContextRef& context, CGRect dirty);
    // A view that keeps its own drawing within the rounded shape its layer
    // clips to (masksToBounds) answers true: its drawRect: then runs without
    // that clip, which still holds for its subviews.
    virtual bool drawsWithinLayerShape() const { return false; }
    // The rectangle the layer clips the view's drawing to, in the view's
    // coordinates, and the size of the corners its rounding takes off;
    // false when the layer clips nothing.
    bool layerClipShape(CGRect& rect, CGSize& corner) const;
    void clipToLayer(const CGContextRef& context);

private:
    static thread_local NSView* t_focusView;
    CGAffineTransform transformToWindow() const;
    void moveToWindow(NSWindow* window);
    void frameChanged(CGRect oldFrame);
    void detachFromSuperview(bool needsDisplay);
    void insertSubviewAt(const Ref<NSView>& view, size_t index);
    void drawLayerBackground(const CGContextRef& context);
    void drawLayerForeground(const CGContextRef& context);
    void syncLayerGeometry();
    CGAffineTransform layerToView() const;
    void clearNeedsDisplayRecursively();
    struct Projection;
    bool invalidateProjection();
    Ref<CALayer> updateProjection(CGAffineTransform superviewToLayer);
    void drawProjectedSubviews(const CGContextRef& context, const std::vector<NSView*>& views);
    Ref<NSView> hitTestProjected(CGPoint pointInSuperview, double& depth);
    // The point of the superview on this projected view's plane, in its own
    // coordinates; depth receives how near it is.
    std::optional<CGPoint> projectedPointFromSuperview(CGPoint pointInSuperview, double* depth) const;

    CGRect m_frame;
    CGRect m_bounds;
    NSView* m_superview { nullptr };
    NSWindow* m_window { nullptr };
    NSViewController* m_viewController { nullptr };
    std::vector<Ref<NSView>> m_subviews;
    std::vector<Ref<NSTrackingArea>> m_trackingAreas;
    std::vector<Ref<NSLayoutConstraint>> m_constraints;
    Ref<CALayer> m_layer;
    // Set while the view is drawn out of its superview's plane.
    std::shared_ptr<Projection> m_projection;
    long m_tag { 0 };
    std::string m_identifier;
    NSAutoresizingMaskOptions m_autoresizingMask { NSViewNotSizable };
    CGFloat m_alpha { 1 };
    bool m_hidden { false };
    bool m_needsDisplay { false };
    bool m_needsLayout { false };
    // Some descendant needs layout: a layout pass walks only such branches.
    bool m_subtreeNeedsLayout { false };
    void markAncestorsNeedLayout();
    bool m_wantsLayer { false };
    bool m_autoresizesSubviews { true };
    bool m_translatesMask { true };
};

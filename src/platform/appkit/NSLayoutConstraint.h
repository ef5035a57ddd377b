// Anchor constraints: "this edge of a view equals that edge of another view
// plus a constant". A constraint is held by the nearest common ancestor of
// its views and applied when that ancestor lays out its subviews.
//
// Anchors measure in a top-down space regardless of flippedness: a positive
// constant on a top or bottom anchor moves the edge down, on a leading or
// trailing anchor to the right.
#pragma once

#include <foundation/CGGeometry.h>
#include <foundation/NSObject.h>

#include <vector>

class NSView;

enum class NSLayoutAttribute { Leading, Trailing, Top, Bottom, Width, Height, CenterX, CenterY };

using NSLayoutPriority = float;
inline constexpr NSLayoutPriority NSLayoutPriorityRequired = 1000;
inline constexpr NSLayoutPriority NSLayoutPriorityDefaultHigh = 750;
inline constexpr NSLayoutPriority NSLayoutPriorityDefaultLow = 250;

class NSLayoutConstraint : public NSObject {
public:
    // item1.attribute1 = item2.attribute2 × multiplier + constant; without a
    // second item, item1.attribute1 = constant.
    static Ref<NSLayoutConstraint> constraintWithItem(NSView* item1, NSLayoutAttribute attribute1, NSView* item2,
        NSLayoutAttribute attribute2, CGFloat multiplier, CGFloat constant);
    static void activateConstraints(const std::vector<Ref<NSLayoutConstraint>>& constraints);
    static void deactivateConstraints(const std::vector<Ref<NSLayoutConstraint>>& constraints);

    NSView* firstItem() const { return m_item1; }
    NSView* secondItem() const { return m_item2; }
    NSLayoutAttribute firstAttribute() const { return m_attribute1; }
    NSLayoutAttribute secondAttribute() const { return m_attribute2; }
    CGFloat multiplier() const { return m_multiplier; }
    CGFloat constant() const { return m_constant; }
    void setConstant(CGFloat constant);
    // Below NSLayoutPriorityDefaultHigh a constraint gives way to a view's
    // natural size (its compression resistance); at or above, it wins.
    NSLayoutPriority priority() const { return m_priority; }
    void setPriority(NSLayoutPriority priority);
    bool isActive() const { return m_holder != nullptr; }
    // Activation adds the constraint to the nearest common ancestor of its
    // views; views without one cannot be constrained and the call does
    // nothing.
    void setActive(bool active);
    bool involves(const NSView* view) const { return m_item1 == view || m_item2 == view; }

private:
    friend class NSView;
    NSView* m_item1 { nullptr };
    NSView* m_item2 { nullptr };
    NSLayoutAttribute m_attribute1 { NSLayoutAttribute::Leading };
    NSLayoutAttribute m_attribute2 { NSLayoutAttribute::Leading };
    CGFloat m_multiplier { 1 };
    CGFloat m_constant { 0 };
    NSLayoutPriority m_priority { NSLayoutPriorityRequired };
    NSView* m_holder { nullptr };
};

class NSLayoutAnchor {
public:
    NSLayoutAnchor(NSView* view, NSLayoutAttribute attribute)
        : m_view(view)
        , m_attribute(attribute)
    {
    }
    NSView* view() const { return m_view; }
    NSLayoutAttribute attribute() const { return m_attribute; }

protected:
    Ref<NSLayoutConstraint> equalTo(const NSLayoutAnchor& other, CGFloat constant) const;

private:
    NSView* m_view;
    NSLayoutAttribute m_attribute;
};

class NSLayoutXAxisAnchor : public NSLayoutAnchor {
public:
    using NSLayoutAnchor::NSLayoutAnchor;
    Ref<NSLayoutConstraint> constraintEqualToAnchor(const NSLayoutXAxisAnchor& anchor, CGFloat constant = 0) const
    {
        return equalTo(anchor, constant);
    }
};

class NSLayoutYAxisAnchor : public NSLayoutAnchor {
public:
    using NSLayoutAnchor::NSLayoutAnchor;
    Ref<NSLayoutConstraint> constraintEqualToAnchor(const NSLayoutYAxisAnchor& anchor, CGFloat constant = 0) const
    {
        return equalTo(anchor, constant);
    }
};

class NSLayoutDimension : public NSLayoutAnchor {
public:
    using NSLayoutAnchor::NSLayoutAnchor;
    Ref<NSLayoutConstraint> constraintEqualToAnchor(const NSLayoutDimension& anchor, CGFloat constant = 0) const
    {
        return equalTo(anchor, constant);
    }
    Ref<NSLayoutConstraint> constraintEqualToConstant(CGFloat constant) const;
};

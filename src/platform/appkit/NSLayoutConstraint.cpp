#include "NSLayoutConstraint.h"

#include "NSView.h"

Ref<NSLayoutConstraint> NSLayoutConstraint::constraintWithItem(NSView* item1, NSLayoutAttribute attribute1,
    NSView* item2, NSLayoutAttribute attribute2, CGFloat multiplier, CGFloat constant)
{
    auto c = makeRef<NSLayoutConstraint>();
    c->m_item1 = item1;
    c->m_attribute1 = attribute1;
    c->m_item2 = item2;
    c->m_attribute2 = attribute2;
    c->m_multiplier = multiplier;
    c->m_constant = constant;
    return c;
}

void NSLayoutConstraint::activateConstraints(const std::vector<Ref<NSLayoutConstraint>>& constraints)
{
    for (const auto& c : constraints)
        if (c)
            c->setActive(true);
}

void NSLayoutConstraint::deactivateConstraints(const std::vector<Ref<NSLayoutConstraint>>& constraints)
{
    for (const auto& c : constraints)
        if (c)
            c->setActive(false);
}

void NSLayoutConstraint::setConstant(CGFloat constant)
{
    m_constant = constant;
    if (m_holder)
        m_holder->setNeedsLayout(true);
}

void NSLayoutConstraint::setPriority(NSLayoutPriority priority)
{
    m_priority = priority;
    if (m_holder)
        m_holder->setNeedsLayout(true);
}

static NSView* commonAncestor(NSView* a, NSView* b)
{
    if (!b)
        return a ? a->superview() : nullptr;
    for (NSView* v = a; v; v = v->superview())
        if (b->isDescendantOf(v))
            return v;
    return nullptr;
}

void NSLayoutConstraint::setActive(bool active)
{
    if (active == isActive())
        return;
    if (active) {
        NSView* holder = commonAncestor(m_item1, m_item2);
        // A constraint on a view alone (its width, say) is held by the
        // view's superview, which places it.
        if (holder == m_item1 && m_item2 == nullptr)
            holder = m_item1->superview();
        if (!holder)
            return;
        holder->addConstraint(selfRef<NSLayoutConstraint>());
    } else {
        m_holder->removeConstraint(selfRef<NSLayoutConstraint>());
    }
}

Ref<NSLayoutConstraint> NSLayoutAnchor::equalTo(const NSLayoutAnchor& other, CGFloat constant) const
{
    return NSLayoutConstraint::constraintWithItem(m_view, m_attribute, other.m_view, other.m_attribute, 1, constant);
}

Ref<NSLayoutConstraint> NSLayoutDimension::constraintEqualToConstant(CGFloat constant) const
{
    return NSLayoutConstraint::constraintWithItem(view(), attribute(), nullptr, attribute(), 0, constant);
}

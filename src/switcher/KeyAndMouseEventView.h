// The root view of a carousel card. It hands its card's controller on to
// whoever asks (getControllerFromView), but does not own it: the carousel
// layout keeps each card's controller for as long as the carousel holds the
// card's view, so that a view and its controller never keep each other
// alive after the carousel has let the card go.
#pragma once

#include <appkit/NSView.h>
#include <appkit/NSViewController.h>

class KeyAndMouseEventView : public NSView {
public:
    using NSView::NSView;

    Ref<NSViewController> viewController() const { return m_viewController.lock(); }
    void setViewController(const Ref<NSViewController>& controller) { m_viewController = controller; }

    bool acceptsFirstResponder() const override { return false; }

private:
    Weak<NSViewController> m_viewController;
};

// The frame of a card's picture: it takes the first click even in an
// inactive window and keeps the press to itself (logged), so that only the
// release travels on to the carousel, which picks the card.
class CaruselItemView : public NSView {
public:
    using NSView::NSView;
    bool acceptsFirstMouse(const Ref<NSEvent>&) const override { return true; }
    void mouseDown(const Ref<NSEvent>& event) override;
};

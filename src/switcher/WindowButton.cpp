#include "WindowButton.h"

#include <appkit/NSAnimationContext.h>
#include <graphics/NSImage.h>

WindowButton::WindowButton()
    : NSButton(CGRectZero)
{
    setAlphaValue(kInitAlpha);
    setTranslatesAutoresizingMaskIntoConstraints(true);
}

WindowButton::WindowButton(CGRect frame)
    : NSButton(frame)
{
    setAlphaValue(kRestingAlpha);
    if (auto picture = image()) picture->setTemplate(true);
    setNeedsDisplay(true);
    updateTrackingAreas();
}

void WindowButton::updateTrackingAreas()
{
    // The area is rebuilt on every geometry change, so the old one goes
    // first; otherwise each change would add another and repeat the events.
    if (m_trackingArea) removeTrackingArea(m_trackingArea);
    // The owner is this button, which is not yet shared while it is being
    // made; the first geometry change after that adds the area.
    auto self = weak_from_this().lock();
    if (!self) {
        setAlphaValue(kRestingAlpha);
        return;
    }
    m_trackingArea = makeRef<NSTrackingArea>(
        bounds(), NSTrackingMouseEnteredAndExited | NSTrackingActiveAlways, selfRef<NSResponder>());
    addTrackingArea(m_trackingArea);
    setAlphaValue(kRestingAlpha);
}

void WindowButton::animateAlpha(CGFloat alpha)
{
    Weak<WindowButton> weak = selfRef<WindowButton>();
    NSAnimationContext::animate(this, "alphaValue", alphaValue(), alpha, [weak](CGFloat value) {
        if (auto button = weak.lock()) button->setAlphaValue(value);
    });
}

void WindowButton::mouseEntered(const Ref<NSEvent>&)
{
    if (alphaValue() != kHoverAlpha) animateAlpha(kHoverAlpha);
}

void WindowButton::mouseExited(const Ref<NSEvent>&) { animateAlpha(kRestingAlpha); }

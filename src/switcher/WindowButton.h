// The hover buttons of a grid cell: faint until the mouse is over them.
#pragma once

#include <appkit/NSButton.h>
#include <appkit/NSTrackingArea.h>

class WindowButton : public NSButton {
public:
    // init: a faint button.
    WindowButton();
    // initWithFrame:.
    explicit WindowButton(CGRect frame);

    static constexpr CGFloat kInitAlpha = 0.2;
    static constexpr CGFloat kRestingAlpha = 0.6;
    static constexpr CGFloat kHoverAlpha = 1.0;

    void updateTrackingAreas() override;
    void mouseEntered(const Ref<NSEvent>& event) override;
    void mouseExited(const Ref<NSEvent>& event) override;

private:
    void animateAlpha(CGFloat alpha);
    Ref<NSTrackingArea> m_trackingArea;
};

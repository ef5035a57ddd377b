// The backdrop behind a grid cell's hover buttons: a rounded translucent
// fill, dark on the light theme and light on the dark ones.
#pragma once

#include <appkit/NSView.h>

class WindowManViewPanel : public NSView {
public:
    explicit WindowManViewPanel(CGRect frame = CGRectZero);

    bool acceptsTouchEvents() const { return m_acceptsTouchEvents; }
    void setAcceptsTouchEvents(bool flag) { m_acceptsTouchEvents = flag; }
    void setHidden(bool hidden) override { NSView::setHidden(hidden); }
    bool canBecomeKeyView() const override { return true; }

    // 1 unless "ThemeIndex" is 1 (the dark theme), then 0.
    int currentTheme() const;
    static constexpr CGFloat kCornerRadius = 5;

    void drawRect(CGRect dirtyRect) override;

private:
    bool m_acceptsTouchEvents { false };
};

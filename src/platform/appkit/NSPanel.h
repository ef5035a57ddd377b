// Panels: auxiliary windows. A panel does not become the main window.
#pragma once

#include "NSWindow.h"

class NSPanel : public NSWindow {
public:
    using NSWindow::NSWindow;

    bool canBecomeMainWindow() const override { return false; }
    bool isFloatingPanel() const { return level() == NSFloatingWindowLevel; }
    void setFloatingPanel(bool flag) { setLevel(flag ? NSFloatingWindowLevel : NSNormalWindowLevel); }
    bool becomesKeyOnlyIfNeeded() const { return m_becomesKeyOnlyIfNeeded; }
    void setBecomesKeyOnlyIfNeeded(bool flag) { m_becomesKeyOnlyIfNeeded = flag; }

private:
    bool m_becomesKeyOnlyIfNeeded { false };
};

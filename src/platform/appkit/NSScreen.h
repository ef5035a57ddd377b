// Screens as the application framework describes them: frames with the
// origin at the bottom-left corner of the primary screen, y growing upwards.
#pragma once

#include <desktop/DesktopTypes.h>
#include <foundation/NSObject.h>

#include <vector>

class NSScreen final : public NSObject {
public:
    // The current screens, the primary one first. The same display keeps
    // the same object.
    static std::vector<Ref<NSScreen>> screens();
    // The screen of the key window, or the primary screen.
    static Ref<NSScreen> mainScreen();
    // Whether each screen has spaces of its own, or all share one list.
    static bool screensHaveSeparateSpaces();

    NSRect frame() const { return m_frame; }
    NSRect visibleFrame() const { return m_visibleFrame; }
    CGDirectDisplayID displayID() const { return m_displayID; }
    double backingScaleFactor() const { return 1.0; }
    // {"NSScreenNumber": display id}.
    Value deviceDescription() const;
    // Path of the screen's desktop picture; empty when there is none.
    std::string desktopPicturePath() const { return m_picture; }

    bool isEqual(const NSObject* other) const override;
    size_t hash() const override { return m_displayID; }
    std::string description() const override;

    explicit NSScreen(CGDirectDisplayID display)
        : m_displayID(display)
    {
    }

private:
    CGDirectDisplayID m_displayID;
    NSRect m_frame;
    NSRect m_visibleFrame;
    std::string m_picture;
};

// Converts a rectangle between the accessibility space (top-left origin of
// the primary screen) and screen coordinates (bottom-left origin); the same
// formula works both ways.
CGRect NSScreenFlipRect(const CGRect& rect);

// The record of one top-level window of another application, and the item
// every layout of the switcher shows and acts on. It reads the window's state
// through accessibility, finds its application and screen, performs the
// switcher's actions, and carries the switcher's per-item state: the preview,
// the badge text and the front-to-back order number.
#pragma once

#include "SWAccessibilityElement.h"
#include "WindowPosition.h"

#include <appkit/NSScreen.h>
#include <graphics/CGImage.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

class DRSpace;
class NSEvent;
class NSImage;
class SWApplication;

class SWWindow : public SWAccessibilityElement {
public:
    // A record on a window element; null for a null element. A record for a
    // window that is on screen starts a preview capture.
    static Ref<SWWindow> windowWithAXElement(const AXUIElementRef& element);

    explicit SWWindow(AXUIElementRef element);
    Ref<SWAccessibilityElement> copy() const override;
    Value valueForKey(const std::string& key) const override;

    // The switcher's state. The preview and badge are written on the main
    // thread; each setter sends its change notices.
    Ref<NSImage> previewImage() const;
    void setPreviewImage(Ref<NSImage> image);
    std::optional<std::string> hotkeyIndexText() const;
    void setHotkeyIndexText(std::optional<std::string> text);
    uint64_t sortOrder() const { return m_sortOrder.load(); }
    void setSortOrder(uint64_t order) { m_sortOrder.store(order); }
    Value windowDict() const;
    void setWindowDict(Value dict);

    // Live state, read anew on each call (only the window number is cached).
    CGWindowID windowID() const;
    CGWindowID win_id() const { return windowID(); }
    std::optional<std::string> title() const { return stringForKey("AXTitle"); }
    std::optional<std::string> role() const { return stringForKey("AXRole"); }
    std::optional<std::string> subrole() const { return stringForKey("AXSubrole"); }
    bool isWindowMinimized() const;
    bool isNormalWindow() const;
    bool isSheet() const;
    bool isActive() const;
    bool isOnScreen() const;
    // A new application record on every call; null when the process no
    // longer runs.
    Ref<SWApplication> app() const;
    std::optional<std::string> appName() const;
    Ref<NSImage> appIcon() const;
    // The screen the window overlaps most; null when it overlaps none.
    Ref<NSScreen> screen() const;

    // Actions.
    bool focusWindow();
    // Focuses the window and refreshes its preview; true when it took the
    // focus.
    bool activateWindow();
    void close();
    bool setWindowProperty(const std::string& attribute, const Value& value);
    void setWindowMinimized(bool minimized);
    void minimize() { setWindowMinimized(true); }
    void unMinimize() { setWindowMinimized(false); }
    void maximize();
    void moveWindowToPosition(WindowPosition position);
    static CGRect resizedFrameForPosition(WindowPosition position, const Ref<NSScreen>& screen);

    // Preview refresh: captures on a background queue, stores on the main one.
    void updatePreview();
    Ref<NSImage> generatePreviewImage() const;

    // Class-wide lists; empty unless the process is trusted for accessibility.
    static std::vector<Ref<SWWindow>> allWindows();
    static std::vector<Ref<SWWindow>> visibleWindows();
    // What the visible-window lists keep: a normal window, not minimised,
    // whose application is not hidden.
    bool isVisibleWindow() const;
    static Ref<SWWindow> focusedWindow();
    static std::vector<Ref<SWWindow>> visibleWindowsMostRecentFirst();
    static std::vector<Ref<SWWindow>> allWindowsMostRecentFirst();
    std::vector<Ref<SWWindow>> otherWindowsOnSameScreen() const;
    std::vector<Ref<SWWindow>> otherWindowsOnAllScreens() const;

    // Direction search from the focused window.
    struct ScoredWindow {
        double score;
        Ref<SWWindow> win;
    };
    using DirectionFn = std::function<double(double angle)>;
    using DisregardFn = std::function<bool(double dx, double dy)>;
    std::vector<ScoredWindow> windowsInDirectionFn(const DirectionFn& direction, const DisregardFn& disregard) const;
    std::vector<Ref<SWWindow>> windowsToWest() const;
    std::vector<Ref<SWWindow>> windowsToEast() const;
    std::vector<Ref<SWWindow>> windowsToNorth() const;
    std::vector<Ref<SWWindow>> windowsToSouth() const;
    static void focusFirstValidWindowIn(const std::vector<Ref<SWWindow>>& windows);
    void focusWindowLeft() const;
    void focusWindowRight() const;
    void focusWindowUp() const;
    void focusWindowDown() const;

    void moveToScreen(const Ref<NSScreen>& screen);
    // Moves the window to the nth space (1 to 10) of its display with the
    // desktop's Control+digit shortcut, holding the window by its title bar
    // while the shortcut switches. Other numbers have no shortcut and do
    // nothing.
    void moveToSpace(uint64_t space);
    void moveToSpaceWithEvent(const Ref<NSEvent>& event);
    // The desktop spaces the window is on, from the scripting layer's space
    // objects; defined with them (src/scripting), so a program that asks
    // links the scripting library.
    std::vector<Ref<DRSpace>> spaces() const;

protected:
    bool isKindOfReceiverClass(const NSObject* other) const override;

private:
    mutable std::atomic<CGWindowID> m_windowID { 0 };
    std::atomic<uint64_t> m_sortOrder { 0 };
    mutable std::mutex m_mutex;
    Ref<NSImage> m_previewImage;
    // Refreshes are numbered as they are asked for; a capture that finishes
    // after a newer one has been stored is dropped (its notices still go).
    std::atomic<uint64_t> m_previewRequests { 0 };
    uint64_t m_storedPreviewRequest { 0 };
    // The last picture a capture made and what it was made from: a capture
    // of an unchanged window hands the same picture over again, so that what
    // is drawn from it (the grid's shrunk copy, kept with the picture) is
    // not made again on the main thread at every opening.
    struct LastPicture {
        CGImageRef source;
        CGSize bounds;
        bool faded { false };
        Ref<NSImage> picture;
    };
    mutable std::mutex m_lastPictureMutex;
    mutable LastPicture m_lastPicture;
    std::optional<std::string> m_hotkeyIndexText;
    Value m_windowDict;
};

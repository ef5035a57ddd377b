// Windows of this process.
//
// A window's frame is in screen coordinates: origin at the bottom-left
// corner of the primary screen, y growing upwards. Windows draw no frame of
// their own, so the content rectangle is the frame. While a window is
// visible it is one of the system's own windows on the desktop, stacked by
// its level; its view tree is painted offscreen into an RGBA image, which
// the desktop shows and which can be saved as PNG.
#pragma once

#include "NSResponder.h"

#include <desktop/DesktopTypes.h>
#include <foundation/CGGeometry.h>
#include <graphics/CGContext.h>
#include <graphics/CGImage.h>
#include <graphics/NSAppearance.h>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class NSButton;
class NSColor;
class NSEvent;
class NSScreen;
class NSToolbar;
class NSToolbarItem;
class NSTrackingArea;
class NSView;
class NSViewController;
class NSWindow;
class NSWindowController;

using NSWindowNumberListOptions = uint32_t;
inline constexpr NSWindowNumberListOptions NSWindowNumberListAllApplications = 1 << 0;
inline constexpr NSWindowNumberListOptions NSWindowNumberListAllSpaces = 1 << 4;

using NSWindowStyleMask = uint64_t;
inline constexpr NSWindowStyleMask NSWindowStyleMaskBorderless = 0;
inline constexpr NSWindowStyleMask NSWindowStyleMaskTitled = 1 << 0;
inline constexpr NSWindowStyleMask NSWindowStyleMaskClosable = 1 << 1;
inline constexpr NSWindowStyleMask NSWindowStyleMaskMiniaturizable = 1 << 2;
inline constexpr NSWindowStyleMask NSWindowStyleMaskResizable = 1 << 3;
inline constexpr NSWindowStyleMask NSWindowStyleMaskUtilityWindow = 1 << 4;
inline constexpr NSWindowStyleMask NSWindowStyleMaskNonactivatingPanel = 1 << 7;
inline constexpr NSWindowStyleMask NSWindowStyleMaskTexturedBackground = 1 << 8;
inline constexpr NSWindowStyleMask NSWindowStyleMaskFullSizeContentView = 1 << 15;

enum NSWindowAnimationBehavior : long {
    NSWindowAnimationBehaviorDefault = 0,
    NSWindowAnimationBehaviorNone = 2,
    NSWindowAnimationBehaviorDocumentWindow = 3,
    NSWindowAnimationBehaviorUtilityWindow = 4,
    NSWindowAnimationBehaviorAlertPanel = 5,
};

using NSWindowLevel = long;
inline constexpr NSWindowLevel NSNormalWindowLevel = 0;
inline constexpr NSWindowLevel NSFloatingWindowLevel = 3;
inline constexpr NSWindowLevel NSModalPanelWindowLevel = 8;
inline constexpr NSWindowLevel NSStatusWindowLevel = 25;
inline constexpr NSWindowLevel NSPopUpMenuWindowLevel = 101;
inline constexpr NSWindowLevel NSScreenSaverWindowLevel = 1000;

using NSBackingStoreType = unsigned long;
inline constexpr NSBackingStoreType NSBackingStoreBuffered = 2;

using NSWindowCollectionBehavior = uint64_t;
inline constexpr NSWindowCollectionBehavior NSWindowCollectionBehaviorDefault = 0;
inline constexpr NSWindowCollectionBehavior NSWindowCollectionBehaviorCanJoinAllSpaces = 1 << 0;
inline constexpr NSWindowCollectionBehavior NSWindowCollectionBehaviorMoveToActiveSpace = 1 << 1;
inline constexpr NSWindowCollectionBehavior NSWindowCollectionBehaviorTransient = 1 << 3;
inline constexpr NSWindowCollectionBehavior NSWindowCollectionBehaviorStationary = 1 << 4;
inline constexpr NSWindowCollectionBehavior NSWindowCollectionBehaviorIgnoresCycle = 1 << 6;
inline constexpr NSWindowCollectionBehavior NSWindowCollectionBehaviorFullScreenAuxiliary = 1 << 8;

enum class NSWindowTitleVisibility { Visible = 0, Hidden = 1 };

// The title bar's buttons.
using NSWindowButton = long;
inline constexpr NSWindowButton NSWindowCloseButton = 0;
inline constexpr NSWindowButton NSWindowMiniaturizeButton = 1;
inline constexpr NSWindowButton NSWindowZoomButton = 2;

// How the title bar and the toolbar are arranged.
using NSWindowToolbarStyle = long;
inline constexpr NSWindowToolbarStyle NSWindowToolbarStyleAutomatic = 0;
inline constexpr NSWindowToolbarStyle NSWindowToolbarStyleExpanded = 1;
inline constexpr NSWindowToolbarStyle NSWindowToolbarStylePreference = 2;
inline constexpr NSWindowToolbarStyle NSWindowToolbarStyleUnified = 3;
inline constexpr NSWindowToolbarStyle NSWindowToolbarStyleUnifiedCompact = 4;

inline const std::string NSWindowDidBecomeKeyNotification = "NSWindowDidBecomeKeyNotification";
inline const std::string NSWindowDidResignKeyNotification = "NSWindowDidResignKeyNotification";
inline const std::string NSWindowDidBecomeMainNotification = "NSWindowDidBecomeMainNotification";
inline const std::string NSWindowDidResignMainNotification = "NSWindowDidResignMainNotification";
inline const std::string NSWindowWillCloseNotification = "NSWindowWillCloseNotification";
inline const std::string NSWindowDidMoveNotification = "NSWindowDidMoveNotification";
inline const std::string NSWindowDidResizeNotification = "NSWindowDidResizeNotification";


// What a window's delegate may answer; a delegate that is not one of these
// gets the defaults.
class NSWindowDelegate {
public:
    virtual ~NSWindowDelegate() = default;
    virtual bool windowShouldClose(NSWindow&) { return true; }
    virtual void windowWillClose(NSWindow&) { }
};

// Animated changes of a window's alpha (window->animator()): over the
// duration of the current NSAnimationContext group (0.25 s outside one).
class NSWindowAnimator {
public:
    explicit NSWindowAnimator(NSWindow* window)
        : m_window(window)
    {
    }
    void setAlphaValue(CGFloat alpha);
    void setFrame(CGRect frame, bool display);

private:
    NSWindow* m_window;
};

class NSWindow : public NSResponder {
public:
    // Numbers of the windows on screen, front to back: this process's only
    // unless all applications are asked for, the current space's only unless
    // all spaces are. Minimised windows and hidden applications' windows
    // are not on screen on any space.
    static std::vector<CGWindowID> windowNumbersWithOptions(NSWindowNumberListOptions options);

    // initWithContentRect:styleMask:backing:defer:. The window starts
    // hidden with an empty content view of the rectangle's size.
    NSWindow(CGRect contentRect, NSWindowStyleMask style, NSBackingStoreType backing = NSBackingStoreBuffered,
        bool defer = false);
    ~NSWindow() override;

    // Frame.
    CGRect frame() const { return m_frame; }
    void setFrame(CGRect frame, bool display);
    // The animation flag is accepted; the change is immediate.
    void setFrame(CGRect frame, bool display, bool animate);
    void setFrameOrigin(CGPoint origin);
    void setFrameTopLeftPoint(CGPoint point);
    // Puts the window's top-left corner at the point (a zero point leaves
    // it) and answers the point for the next window of a cascade, offset
    // right and down.
    CGPoint cascadeTopLeftFromPoint(CGPoint point);
    static constexpr CGFloat kCascadeOffset = 20;
    void setContentSize(CGSize size);
    // The frame less the toolbar's strip at its top, and back.
    CGRect contentRectForFrameRect(CGRect frame) const;
    CGRect frameRectForContentRect(CGRect content) const;
    static CGRect frameRectForContentRect(CGRect content, NSWindowStyleMask) { return content; }
    // Centres the window in its screen's visible frame, after letting
    // constrainFrameRect choose the screen.
    void center();
    // Moves a rectangle onto a screen: one whose centre lies off the screen
    // keeps its place relative to the screen it was on (or the primary
    // screen) but lands on this one; a titled window's top edge is kept
    // below the screen's visible top. Null screen: unchanged.
    virtual CGRect constrainFrameRect(CGRect frame, const Ref<NSScreen>& screen) const;
    // The screen holding most of the window, or null when it is on none.
    Ref<NSScreen> screen() const;
    CGSize minSize() const { return m_minSize; }
    void setMinSize(CGSize size) { m_minSize = size; }
    CGSize maxSize() const { return m_maxSize; }
    void setMaxSize(CGSize size) { m_maxSize = size; }
    CGSize contentMinSize() const { return m_minSize; }
    void setContentMinSize(CGSize size) { m_minSize = size; }
    CGSize contentMaxSize() const { return m_maxSize; }
    void setContentMaxSize(CGSize size) { m_maxSize = size; }

    // Coordinates: the window's base system is its content rectangle with
    // the origin at the bottom-left corner.
    CGPoint convertPointToScreen(CGPoint point) const;
    CGPoint convertPointFromScreen(CGPoint point) const;
    CGRect convertRectToScreen(CGRect rect) const;
    CGRect convertRectFromScreen(CGRect rect) const;
    CGPoint convertScreenToBase(CGPoint point) const { return convertPointFromScreen(point); }

    // Content.
    const Ref<NSView>& contentView() const { return m_contentView; }
    void setContentView(const Ref<NSView>& view);
    const Ref<NSViewController>& contentViewController() const { return m_contentViewController; }
    void setContentViewController(const Ref<NSViewController>& controller);
    NSWindowController* windowController() const { return m_windowController; }
    void setWindowController(NSWindowController* controller) { m_windowController = controller; }
    Ref<NSObject> delegate() const { return m_delegate.lock(); }
    void setDelegate(const Ref<NSObject>& delegate) { m_delegate = delegate; }

    // Attributes.
    const std::string& title() const { return m_title; }
    void setTitle(const std::string& title);
    NSWindowTitleVisibility titleVisibility() const { return m_titleVisibility; }
    void setTitleVisibility(NSWindowTitleVisibility v) { m_titleVisibility = v; }
    const std::string& identifier() const { return m_identifier; }
    void setIdentifier(const std::string& identifier);
    NSWindowLevel level() const { return m_level; }
    void setLevel(NSWindowLevel level);
    NSWindowStyleMask styleMask() const { return m_styleMask; }
    void setStyleMask(NSWindowStyleMask mask);
    CGFloat alphaValue() const { return m_alpha; }
    void setAlphaValue(CGFloat alpha);
    NSWindowAnimator animator() { return NSWindowAnimator(this); }
    const Ref<NSColor>& backgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(const Ref<NSColor>& color);
    // The window shows a status item: the desktop places it in its status
    // area (the status bar makes such windows).
    bool isStatusItemWindow() const { return m_statusItemWindow; }
    void setStatusItemWindow(bool flag) { m_statusItemWindow = flag; }
    // The desktop moved or resized the window (a window manager, a person
    // dragging it, a system tray): the frame follows, in screen coordinates.
    void desktopChangedFrame(CGRect frame);
    // Mouse events pass through the window to what lies below it.
    bool ignoresMouseEvents() const { return m_ignoresMouseEvents; }
    void setIgnoresMouseEvents(bool flag);
    // How the window animates when it is ordered in and out (a visual
    // effect the desktop here does not draw; kept for the interface).
    NSWindowAnimationBehavior animationBehavior() const { return m_animationBehavior; }
    void setAnimationBehavior(NSWindowAnimationBehavior behavior) { m_animationBehavior = behavior; }
    bool isOpaque() const { return m_opaque; }
    void setOpaque(bool opaque) { m_opaque = opaque; }
    bool hasShadow() const { return m_hasShadow; }
    void setHasShadow(bool flag) { m_hasShadow = flag; }
    NSWindowCollectionBehavior collectionBehavior() const { return m_collectionBehavior; }
    void setCollectionBehavior(NSWindowCollectionBehavior behavior) { m_collectionBehavior = behavior; }
    bool isExcludedFromWindowsMenu() const { return m_excludedFromWindowsMenu; }
    void setExcludedFromWindowsMenu(bool flag) { m_excludedFromWindowsMenu = flag; }
    // The window's own appearance; empty (the default) follows the
    // application's. The window draws in its effective appearance.
    const std::string& appearance() const { return m_appearance; }
    void setAppearance(const std::string& name);
    std::string effectiveAppearance() const;
    bool isMiniaturized() const { return false; }

    // Title bar and toolbar. The title bar is not drawn, but its buttons
    // exist: titled windows have them (others answer null), each enabled
    // when the style mask has its ability (closable, miniaturizable,
    // resizable). Clicking the close button is performClose.
    Ref<NSButton> standardWindowButton(NSWindowButton button);
    bool showsResizeIndicator() const { return m_showsResizeIndicator; }
    void setShowsResizeIndicator(bool flag) { m_showsResizeIndicator = flag; }
    const Ref<NSToolbar>& toolbar() const { return m_toolbar; }
    // Shows the toolbar, which then fills itself with its default items.
    void setToolbar(const Ref<NSToolbar>& toolbar);
    // A window with a toolbar shows it in a strip across the top of its
    // frame, above the content view: each item's image over its label, the
    // selected one highlighted; a click on an item performs it.
    static constexpr CGFloat kToolbarHeight = 56;
    CGFloat toolbarHeight() const { return m_toolbar ? kToolbarHeight : 0; }
    // Each item of the toolbar with its rectangle in base coordinates.
    std::vector<std::pair<Ref<NSToolbarItem>, CGRect>> toolbarItemFrames() const;
    // The toolbar's items or selection changed: its strip is painted again.
    void toolbarDidChange();
    NSWindowToolbarStyle toolbarStyle() const { return m_toolbarStyle; }
    void setToolbarStyle(NSWindowToolbarStyle style) { m_toolbarStyle = style; }
    // The number of the window on the desktop while it is visible, else 0.
    long windowNumber() const { return m_number; }

    // Ordering and status.
    // Ordered in, and the application not hidden.
    bool isVisible() const;
    bool isKeyWindow() const;
    bool isMainWindow() const;
    // By default titled or resizable windows can become key, and titled
    // ones main.
    virtual bool canBecomeKeyWindow() const;
    virtual bool canBecomeMainWindow() const;
    void makeKeyWindow();
    void makeMainWindow();
    virtual void becomeKeyWindow();
    virtual void resignKeyWindow();
    virtual void becomeMainWindow();
    virtual void resignMainWindow();
    void makeKeyAndOrderFront(const Ref<NSObject>& sender);
    void orderFront(const Ref<NSObject>& sender);
    void orderFrontRegardless();
    void orderBack(const Ref<NSObject>& sender);
    void orderOut(const Ref<NSObject>& sender);
    // Asks the delegate (windowShouldClose) and closes.
    void performClose(const Ref<NSObject>& sender);
    void close();

    // First responder: the window itself when nothing else is.
    Ref<NSResponder> firstResponder() const;
    // Makes the responder first (null: the window). The old one must resign
    // and the new one accept and become; otherwise nothing changes and the
    // answer is NO.
    bool makeFirstResponder(const Ref<NSResponder>& responder);
    Ref<NSView> initialFirstResponder() const { return m_initialFirstResponder.lock(); }
    void setInitialFirstResponder(const Ref<NSView>& view) { m_initialFirstResponder = view; }
    Ref<NSResponder> nextResponder() const override;
    bool acceptsFirstResponder() const override { return true; }
    // The key view loop runs through the visible views that accept first
    // responder (or can become key views) in the order of the view tree,
    // and is worked out when it is walked, so recalculating has nothing to
    // do; it is kept for the callers that ask for it.
    void recalculateKeyViewLoop() { }
    // Makes the first view of the loop after the given one first responder,
    // wrapping round; nothing happens when the loop has no other view.
    void selectKeyViewFollowingView(const Ref<NSView>& view);

    // Events.
    virtual void sendEvent(const Ref<NSEvent>& event);

    // Display: one paint pass per run-loop turn repaints the damage.
    void displayIfNeeded();
    void display();
    bool viewsNeedDisplay() const { return !CGRectIsNull(m_dirty); }
    // Whether the run loop paints the window's damage by itself (on at
    // first). While it is off, damage only gathers; turning it on again
    // paints what gathered at the next turn.
    void setAutodisplay(bool autodisplay);
    bool isAutodisplay() const { return m_autodisplay; }
    // Flushing hands what the window painted to the screen. While it is
    // disabled, paints stay in the window's backing; enabling it again as
    // often as it was disabled hands over everything painted meanwhile.
    void disableFlushWindow() { ++m_flushDisabled; }
    void enableFlushWindow();
    bool isFlushWindowDisabled() const { return m_flushDisabled > 0; }
    // The damage still to paint, in base coordinates (null when none).
    CGRect dirtyRect() const { return m_dirty; }
    void layoutIfNeeded();

    // The painted content (after any pending paint): the backing's own
    // pixels (held by the frame), or an RGBA premultiplied copy.
    DesktopFrame renderedFrame();
    DesktopImage renderedImage();
    CGImageRef renderedCGImage();
    // Writes the painted content as PNG; false when that fails.
    bool writeRenderedPNG(const std::string& path);
    // Lets go of the frame a window that is not shown keeps for its next
    // showing (its backing and the copy other threads read); that showing
    // then paints it whole, as the first one did. Nothing while shown.
    void releaseKeptFrame();
    // Whether the window holds a painted frame (its backing).
    bool keepsFrame() const { return static_cast<bool>(m_backing); }

    // Key-value coding ("title", "identifier", "alphaValue", "visible").
    Value valueForKey(const std::string& key) const override;

    // For views: damage, layout, tracking and views leaving the window.
    void invalidateRect(CGRect rectInBase);
    void layoutNeeded();
    void trackingGeometryChanged();
    void trackingAreaRemoved(NSTrackingArea* area);
    void viewWillLeaveWindow(NSView* view);
    // The paint pass painted a view whose layers are animating.
    void viewPaintedAnimating(NSView* view);

private:
    friend class NSApplication;
    friend class NSWindowAnimator;
    void setAlphaValueDirectly(CGFloat alpha);
    static NSWindowStyleMask standardButtonAbility(NSWindowButton button);
    void syncWithDesktop();
    void redisplayForStatusChange();
    void unregisterFromDesktop();
    void scheduleDisplay();
    void scheduleAnimationFrame();
    void postNotification(const std::string& name);
    // `pointer`: where the pointer is on the screen when there is no event
    // (read by the caller).
    void trackMouse(const Ref<NSEvent>& event, bool topmost, std::optional<CGPoint> pointer = std::nullopt);
    void resetTracking();
    void recheckTracking();

    CGRect m_frame;
    NSWindowStyleMask m_styleMask;
    Ref<NSView> m_contentView;
    // The item a press in the toolbar began on; a release on it performs it.
    Weak<NSToolbarItem> m_pressedToolbarItem;
    Ref<NSViewController> m_contentViewController;
    NSWindowController* m_windowController { nullptr };
    Weak<NSObject> m_delegate;
    Weak<NSResponder> m_firstResponder;
    Weak<NSView> m_initialFirstResponder;
    Weak<NSView> m_mouseDownView;
    std::string m_title;
    std::string m_identifier;
    bool m_statusItemWindow { false };
    std::string m_appearance;
    NSWindowTitleVisibility m_titleVisibility { NSWindowTitleVisibility::Visible };
    NSWindowLevel m_level { NSNormalWindowLevel };
    CGFloat m_alpha { 1 };
    Ref<NSColor> m_backgroundColor;
    NSWindowCollectionBehavior m_collectionBehavior { NSWindowCollectionBehaviorDefault };
    CGSize m_minSize;
    CGSize m_maxSize { 1e4, 1e4 };
    long m_number { 0 };
    bool m_visible { false };
    bool m_opaque { true };
    bool m_ignoresMouseEvents { false };
    NSWindowAnimationBehavior m_animationBehavior { NSWindowAnimationBehaviorDefault };
    bool m_hasShadow { true };
    bool m_excludedFromWindowsMenu { false };
    bool m_showsResizeIndicator { true };
    std::map<NSWindowButton, Ref<NSButton>> m_standardButtons;
    Ref<NSToolbar> m_toolbar;
    NSWindowToolbarStyle m_toolbarStyle { NSWindowToolbarStyleAutomatic };

    // Painting.
    CGContextRef m_backing;
    CGRect m_dirty { CGRectNull };
    // Whether damage was pending as the window was last ordered in: its
    // backing then holds a frame that is partly out of date.
    bool m_backingStale { false };
    bool m_displayScheduled { false };
    bool m_autodisplay { true };
    int m_flushDisabled { 0 };
    // Painted while flushing was disabled, in base coordinates.
    CGRect m_unflushed { CGRectNull };
    // Painted since the frame other threads see was last brought up to date.
    bool m_paintedUnpublished { false };
    bool m_animationFrameScheduled { false };
    bool m_painting { false };
    // Views painted while their layers animate, to paint at the next frame.
    std::vector<Weak<NSView>> m_animatingViews;
    bool m_layoutNeeded { false };
    bool m_trackingRecheckScheduled { false };
    std::shared_ptr<bool> m_alive { std::make_shared<bool>(true) };
    // The last painted frame, for the desktop to show and capture from
    // threads other than the main one, which must not paint the window.
    // Its rows are copied from the backing only when another thread asks
    // or before the main thread paints the backing again: a frame handed to
    // the desktop on the main thread is not copied on its way to the screen.
    struct PublishedFrame {
        std::mutex mutex;
        int width { 0 };
        int height { 0 };
        size_t stride { 0 };
        std::vector<uint8_t> pixels;
        // The backing that holds rows painted since (first to last, or the
        // whole frame at a new size), unchanged until they are copied.
        CGContextRef painted;
        int firstPainted { 0 };
        int lastPainted { 0 };
        bool wholePainted { false };
        // Copies the rows painted since into pixels (the mutex held).
        void catchUp();
        // Drops the frame, or only the rows painted since (the mutex held).
        void forgetPainted();
    };
    void publishFrame(CGRect dirty);
    // The content view's frame: the whole window below the toolbar's strip.
    CGRect contentViewFrame() const;
    void drawToolbar(const CGContextRef& context, CGRect dirty);
    // The toolbar item under a point of the strip, or null.
    Ref<NSToolbarItem> toolbarItemAtPoint(CGPoint point) const;
    std::shared_ptr<PublishedFrame> m_published { std::make_shared<PublishedFrame>() };
};

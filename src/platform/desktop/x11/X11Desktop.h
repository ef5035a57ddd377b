// The desktop of a running X11 session, through XCB and the window
// manager's EWMH hints: screens from RandR monitors and the work area,
// applications as the client windows of one process, windows from the
// stacking client list, accessibility answered from a mirror of the session
// that an event thread keeps current, actions sent as the window manager's
// requests, captures from Composite, and the keyboard through grabs. See
// docs/x11-desktop.md for what maps to what.
#pragma once

#include "../Desktop.h"
#include "../DesktopListeners.h"
#include "X11Client.h"
#include "X11SharedPixels.h"

#include <foundation/ThreadSafety.h>
#include <foundation/Token.h>

#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <set>
#include <thread>
#include <unordered_map>

class X11Connection;

class X11Desktop final : public Desktop {
public:
    // Connects to the display (empty: $DISPLAY). Null with a message for
    // people in `error` when the display cannot be opened or the window
    // manager is missing or lacks a hint this desktop needs.
    static std::shared_ptr<X11Desktop> connect(const std::string& display, std::string* error);
    ~X11Desktop() override;
    // Ends the event thread and waits for it; events are no longer read. The
    // program calls it before it returns, since the installed desktop lives
    // to the end of the process and a finished thread must still be joined.
    void stop();

    // One switcher per display (see docs/x11-desktop.md). Makes this
    // process the display's switcher: it owns the selection
    // _QUORVEX_SWITCHER_S<screen> and answers a second start's request with
    // an ApplicationReopened event. False when another process owns it.
    bool claimSwitcherSelection();
    enum class ReopenAnswer {
        // The display cannot be opened (the message says why).
        NoDisplay,
        // No switcher runs on the display.
        NoneRunning,
        // The running switcher took the request.
        Reopened,
        // It did not answer in time, or refused.
        NoAnswer,
    };
    // Asks the switcher that runs on the display (empty: $DISPLAY) to
    // reopen, through a connection of its own; waits for its answer up to
    // the time-out.
    static ReopenAnswer askRunningSwitcherToReopen(const std::string& display, double timeoutSeconds, std::string* error);

    // Called once, on the event thread, when the connection to the server
    // breaks (the server went away).
    void setServerLostHandler(std::function<void()> handler);
    bool isConnected() const;
    const X11Connection& connection() const { return *m_x; }

    // The hot keys this process registered: grabbed like the desktop's own
    // switcher keys, so that they reach it.
    void setRegisteredHotKeys(std::vector<DesktopSymbolicHotKey> hotKeys) override;
    // While the panel is up every key comes here: the keyboard grab stands
    // in for the event tap. Modifiers released before the grab took hold
    // are reported released.
    void setKeyboardGrabbed(bool grabbed);
    bool isKeyboardGrabbed() const;

    // Key combinations that could not be grabbed because another program
    // holds them, as "Super+Tab".
    std::vector<std::string> grabFailures() const;

    // Desktop.
    std::vector<DesktopScreen> screens() const override;
    CGPoint mouseLocation() const override;
    uint32_t pressedMouseButtons() const override;
    bool isAccessibilityTrusted() const override { return true; }
    void promptForAccessibility() override { }
    bool isScreenRecordingGranted() const override { return true; }
    bool gatesScreenRecording() const override { return false; }
    bool createDisplayStream(CGDirectDisplayID) override { return true; }
    bool isAssistiveAccessEnabled() const override { return true; }
    pid_t ownProcessIdentifier() const override { return m_ownPid; }
    std::vector<DesktopApp> runningApplications() const override;
    std::optional<DesktopApp> application(pid_t pid) const override;
    pid_t frontmostApplication() const override;
    bool hideApplication(pid_t pid) override;
    bool unhideApplication(pid_t pid) override;
    bool terminateApplication(pid_t pid, bool force) override;
    bool activateApplication(pid_t pid, bool frontWindowOnly) override;
    // Runs the program; it is listed once it shows a window, and the window
    // manager decides whether that window comes to the front.
    std::optional<DesktopApp> startApplication(const DesktopLaunchRequest& request, std::string* error) override;
    // Runs the desktop's opener, xdg-open, on the address.
    bool openURL(const std::string& url) override;
    std::vector<DesktopWindow> windows() const override;
    std::optional<DesktopWindow> window(CGWindowID number) const override;
    std::optional<DesktopImage> captureWindow(CGWindowID number) override;
    // The root window's pixels over the area, while the window is not up,
    // at full size whatever the reduction.
    std::optional<DesktopImage> captureBelowOwnWindow(CGWindowID number, const CGRect& area, int reduction = 1) override;
    // How captures read pixels: through shared memory where the server
    // offers it (the default), or always with GetImage; and how many reads
    // each way took (`atPress`: of the shared ones, reads of the screen
    // served by the one asked for at a key's press). For tests of both
    // paths: there is no user setting.
    void setSharedMemoryCaptures(bool allowed) { m_sharedMemoryCaptures = allowed; }
    struct CaptureReads {
        uint64_t shared { 0 };
        uint64_t direct { 0 };
        uint64_t atPress { 0 };
    };
    CaptureReads captureReads() const { return { m_sharedReads, m_directReads, m_readsAtPress }; }
    AXError axCopyAttribute(const DesktopElement&, const std::string& attribute, DesktopAXValue& value) override;
    AXError axAttributeNames(const DesktopElement&, std::vector<std::string>& names) override;
    AXError axIsAttributeSettable(const DesktopElement&, const std::string& attribute, bool& settable) override;
    AXError axSetAttribute(const DesktopElement&, const std::string& attribute, const DesktopAXValue& value) override;
    AXError axPerformAction(const DesktopElement&, const std::string& action) override;
    AXError axWindowNumber(const DesktopElement&, CGWindowID& number) override;
    AXError axProcessIdentifier(const DesktopElement&, pid_t& pid) override;
    bool axElementIsValid(const DesktopElement&) const override;
    // The window manager's desktops are the spaces, one list for all
    // screens: desktop n is space n + 1.
    std::vector<DesktopDisplaySpaces> displaySpaces() const override;
    bool screensHaveSeparateSpaces() const override { return false; }
    uint64_t activeSpace() const override;
    // Asks the window manager to put the window on the desktop; the window
    // shows there once the manager has done it.
    bool moveWindowToSpace(CGWindowID number, uint64_t space) override;
    CGDirectDisplayID mainDisplay() const override;
    bool requestDisplayProbe(CGDirectDisplayID, uint32_t) override { return true; }
    void postEvent(const DesktopInputEvent& event) override;
    uint64_t keyboardModifierFlags() const override;
    std::vector<uint16_t> pressedKeyCodes() const override;
    std::vector<DesktopSymbolicHotKey> symbolicHotKeys() const override;
    void sendHardwareInput(const DesktopInputEvent& event, bool now) override;
    void takeInput(const DesktopInputEvent& event) override;
    pid_t deliverInput(const DesktopInputEvent& event) override;
    [[nodiscard]] Token subscribe(Listener listener) override;

    // This process's own windows (from the interface layer): real X windows
    // painted with what the content function draws. A window without a
    // title bar (the switcher panel) is placed by this desktop above the
    // others and takes no focus; while one is shown at a level above the
    // normal one, the keyboard is grabbed.
    // There is no Dock on X11: the policy is kept for what asks.
    void setOwnActivationPolicy(ActivationPolicy policy) override;
    // Status items go to the freedesktop system tray: the window of one is
    // handed to the owner of _NET_SYSTEM_TRAY_S<screen> with the XEmbed
    // docking request, at once or when a tray starts. Without a tray one
    // line says so.
    bool hasStatusArea() const override { return true; }
    // Whether a status item's window is in the tray now.
    bool isStatusItemDocked(CGWindowID number) const;
    CGWindowID registerOwnWindow(DesktopWindow window) override;
    void updateOwnWindow(const DesktopWindow& window) override;
    void removeOwnWindow(CGWindowID number) override;
    void setOwnWindowContent(CGWindowID number, std::function<DesktopFrame()> content) override;
    void orderOwnWindow(CGWindowID number, bool front) override;
    // The window painted: its pixels go to the server.
    void ownWindowPainted(CGWindowID number) override;
    // How many times pixels of this process's windows went to the server.
    uint64_t ownWindowPaintCount() const { return m_ownPaints; }

    // The desktop's own shortcuts on X11: the switcher keys that an event
    // tap takes (Super stands for Command), grabbed so that they reach this
    // process.
    static std::vector<DesktopSymbolicHotKey> defaultSymbolicHotKeys();

    // How long an application may take to answer the window manager's ping
    // before its accessibility requests time out, and how long an answer
    // counts. A live client on a busy machine can take some hundred
    // milliseconds to answer; one that is taken for hung is left out of a
    // window list read meanwhile, so the time-out is generous.
    static constexpr double kPingTimeoutSeconds = 1.0;
    static constexpr double kPingValidSeconds = 2.0;
    void setPingTimes(double timeoutSeconds, double validSeconds);
    // How long after the last window closed the memory its captures and
    // previews held goes back to the system.
    static constexpr double kReturnMemoryDelaySeconds = 2.0;

private:
    X11Desktop() = default;

    // Threads and locks.
    //
    // Three kinds of caller: the main thread (the application framework:
    // this process's windows, the keyboard grab that follows the panel, the
    // registered hot keys, the switcher's selection), any thread for the
    // queries, accessibility, actions and captures of `Desktop` (previews
    // and scripts run on background queues), and the event thread (`pump`),
    // which reads the server's events into the mirror, paints own windows
    // the server exposed, and hands events and input on.
    //
    // m_mutex guards every member marked GUARDED_BY(m_mutex): the mirror of
    // the session (clients, applications, the active window, desktops,
    // screens, captures), this process's own windows, and the keyboard,
    // pointer, tray and selection state. It is held only while that state is
    // read or written: never across a round trip to the server (what a
    // reply brings is read with the lock let go and stored under it after),
    // never while listeners run or input enters the stream, and never around
    // a request to the window manager: the `request*` functions take the
    // lock themselves where they read the mirror, so they are called without
    // it (EXCLUDES), as is every function without the `Locked` suffix. Only
    // the event thread (and `start`, before it runs) changes the clients,
    // the tray's owner and the active window, so what it read before a round
    // trip is still current after it. Members without a mark are set before
    // the event thread starts and only read after (m_x, m_ownPid,
    // m_wakeWindow), or are atomic.
    //
    // The other locks: m_restoreMutex is taken alone or after m_mutex;
    // m_paintMutex is taken before m_mutex (content drawn under it may ask
    // the desktop anything), never after; m_rootReadMutex and
    // m_openingMutex are taken alone or after m_mutex.
    struct App {
        DesktopApp info;
        // Windows this desktop minimised to hide the application.
        std::set<xcb_window_t> hiddenWindows;
        // The last ping answer (steady seconds), and whether the last ping
        // went unanswered.
        double lastPong { -1 };
        uint32_t pendingPing { 0 };
        double pingSent { 0 };
        bool hung { false };
    };
    struct Capture {
        // The last picture read while the window was mapped: what a
        // minimised window, or one of a hidden application, still shows.
        // Shared, so that it is copied for a caller without the lock held.
        std::shared_ptr<const DesktopImage> image;
        bool valid { false };
        uint32_t damage { 0 };
    };
    // How long a capture of a window that was asked to come back from
    // minimised waits for the server to map it again.
    static constexpr double kRestoreWaitSeconds = 1.0;
    // From the press of a key this process grabbed (the switcher's) until
    // the panel's first frame is on the server, captures wait, at most this
    // long: the server and the processors serve the opening first, and the
    // previews that come in after it are drawn in the next frames.
    static constexpr double kOpeningWaitSeconds = 0.25;
    // An opening ends only by its own end: one ended late (after its frame,
    // once the main thread's turn is done) never ends the next.
    uint64_t beginOpening() EXCLUDES(m_openingMutex);
    void endOpening(uint64_t opening) EXCLUDES(m_openingMutex);
    void waitForOpening() EXCLUDES(m_openingMutex);
    bool openingUnderway() EXCLUDES(m_openingMutex);
    void waitForRestore(xcb_window_t window) EXCLUDES(m_restoreMutex);
    std::shared_ptr<const DesktopImage> keptCaptureLocked(CGWindowID number) const REQUIRES(m_mutex);

    void start() EXCLUDES(m_mutex);
    void pump() EXCLUDES(m_mutex);
    // The event thread (X11DesktopEvents.cpp): `handleEvent` hands each
    // event to the handler of its type; a client message goes by its own
    // type to the tray's, an own window's close request or a ping's answer.
    void handleEvent(xcb_generic_event_t* event, std::vector<DesktopEvent>& events, std::vector<DesktopInputEvent>& input)
        EXCLUDES(m_mutex);
    void handlePropertyNotify(const xcb_property_notify_event_t& e, std::vector<DesktopEvent>& events) EXCLUDES(m_mutex);
    void handleConfigureNotify(const xcb_configure_notify_event_t& e, std::vector<DesktopEvent>& events) EXCLUDES(m_mutex);
    void handleMapNotify(const xcb_map_notify_event_t& e) EXCLUDES(m_mutex);
    void handleClientMessage(const xcb_client_message_event_t& e, std::vector<DesktopEvent>& events) EXCLUDES(m_mutex);
    void handlePong(uint32_t serial) EXCLUDES(m_mutex);
    void handlePointerEvent(uint8_t type, const xcb_button_press_event_t& e, std::vector<DesktopEvent>& events,
        std::vector<DesktopInputEvent>& input) EXCLUDES(m_mutex);
    void handleKeyEvent(bool press, const xcb_key_press_event_t& e, std::vector<DesktopInputEvent>& input) EXCLUDES(m_mutex);
    // `sequence`: the event's full sequence number.
    void handleExpose(const xcb_expose_event_t& e, uint32_t sequence) EXCLUDES(m_mutex);
    void handleDamageNotify(const xcb_damage_notify_event_t& e, uint32_t sequence) EXCLUDES(m_mutex);
    void emit(const std::vector<DesktopEvent>& events) EXCLUDES(m_mutex);
    void setFrontmost(pid_t pid) EXCLUDES(m_mutex);

    // Reading the session into the mirror (X11DesktopScan.cpp): the
    // server is read without the lock, and what it said stored under it.
    void refreshClients(std::vector<DesktopEvent>& events) EXCLUDES(m_mutex);
    void refreshActive(std::vector<DesktopEvent>& events) EXCLUDES(m_mutex);
    void refreshScreens() EXCLUDES(m_mutex);
    void refreshCurrentDesktop() EXCLUDES(m_mutex);
    // A copy of the listed client of the window, for reading the server
    // into; none when the mirror does not list it.
    std::optional<X11Client> listedClient(xcb_window_t window) EXCLUDES(m_mutex);
    // Puts what was read of a client into the mirror (while it still has
    // the window); the mirror's client, or null.
    X11Client* storeClientLocked(const X11Client& client) REQUIRES(m_mutex);
    // Reading one client window's properties (no guarded state).
    void readClient(X11Client& client, uint32_t currentDesktop);
    bool readTitle(X11Client& client);
    bool readState(X11Client& client);
    void readGeometry(X11Client& client);
    pid_t processOfClient(xcb_window_t window);
    // The application's icon images from the window's _NET_WM_ICON.
    std::vector<DesktopImage> readIcon(xcb_window_t window);
    void setIconLocked(pid_t pid, std::vector<DesktopImage> images) REQUIRES(m_mutex);
    static void applyIcon(App& app, std::vector<DesktopImage> images);
    // An application as its first window describes it.
    App describeApplication(const X11Client& first);
    void returnMemoryOfClosedWindows();
    DesktopWindow describeLocked(const X11Client& client) const REQUIRES(m_mutex);
    bool onScreenLocked(const X11Client& client) const REQUIRES(m_mutex);
    const X11Client* clientLocked(CGWindowID number) const REQUIRES(m_mutex);
    // An application's client windows front to back, and the front one
    // (XCB_WINDOW_NONE when it has none): read from the index below.
    std::vector<xcb_window_t> appWindowsLocked(pid_t pid) const REQUIRES(m_mutex);
    // The window an application's ping goes to (XCB_WINDOW_NONE when none
    // of its windows takes part), and sending it.
    xcb_window_t pingTargetLocked(pid_t pid) const REQUIRES(m_mutex);
    void sendPingLocked(App& app, xcb_window_t target, double now) REQUIRES(m_mutex);
    xcb_window_t frontWindowOfAppLocked(pid_t pid) const REQUIRES(m_mutex);
    void indexStackingLocked() REQUIRES(m_mutex);

    // Requests to the window manager, through the helper library
    // (X11DesktopRequests.cpp). A client
    // message straight to a window (the tray, a client's ping, the wake
    // window), heard by whoever selected `mask` on it (nothing: its owner).
    void sendClientMessageTo(xcb_window_t window, xcb_atom_t type, uint32_t d0, uint32_t d1 = 0, uint32_t d2 = 0,
        uint32_t mask = XCB_EVENT_MASK_NO_EVENT);
    void requestActivate(xcb_window_t window) EXCLUDES(m_mutex);
    void requestMinimize(xcb_window_t window, bool minimized) EXCLUDES(m_mutex);
    // Asks the window manager to show the window full screen, or not.
    void requestFullScreen(xcb_window_t window, bool fullScreen) EXCLUDES(m_mutex);
    void requestClose(xcb_window_t window) EXCLUDES(m_mutex);
    void requestFrame(xcb_window_t window, std::optional<CGPoint> origin, std::optional<CGSize> size) EXCLUDES(m_mutex);
    void requestRaise(xcb_window_t window) EXCLUDES(m_mutex);
    void requestMaximize(xcb_window_t window) EXCLUDES(m_mutex);

    // Accessibility (X11DesktopAccessibility.cpp).
    AXError checkElement(const DesktopElement& e) EXCLUDES(m_mutex);
    bool answersPing(pid_t pid) EXCLUDES(m_mutex);
    // The same with the lock held (by `lock`, which a wait for the ping's
    // answer lets go meanwhile).
    AXError checkElementLocked(const DesktopElement& e, MutexLock& lock) REQUIRES(m_mutex);
    bool answersPingLocked(pid_t pid, MutexLock& lock) REQUIRES(m_mutex);

    // Own windows (X11DesktopOwnWindows.cpp).
    // What this process hears of its own windows: paints, structure,
    // pointer and keys. (A window mask is one per connection, so the client
    // list's watch must keep these for this process's windows.)
    static constexpr uint32_t kOwnWindowEvents = XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_STRUCTURE_NOTIFY
        | XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE | XCB_EVENT_MASK_POINTER_MOTION
        | XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE;
    // Pixels read from the screen in the server's order (32-bit words, blue
    // in the low byte, the high byte unused), rows of `width` words.
    struct ScreenPixels {
        int width { 0 };
        int height { 0 };
        std::vector<uint8_t> bytes;
        const uint8_t* row(int y) const { return bytes.data() + size_t(y) * size_t(width) * 4; }
    };
    // The bytes of the last screen read let go, for the next read: a read
    // beneath a panel is megabytes, and fresh memory for it cost a fault on
    // each page at every opening.
    struct SpareScreenBytes {
        Mutex mutex;
        std::vector<uint8_t> bytes GUARDED_BY(mutex);
    };
    std::shared_ptr<SpareScreenBytes> m_spareScreenBytes { std::make_shared<SpareScreenBytes>() };
    // Shares a read whose bytes go back to the spare when the last holder
    // lets go.
    std::shared_ptr<const ScreenPixels> keepScreenPixels(ScreenPixels pixels);
    struct OwnWindow {
        DesktopWindow info;
        std::function<DesktopFrame()> content;
        bool shown { false };
        // Placed by this desktop over the others (override-redirect), never
        // focused: the switcher panel and menus.
        bool panel { false };
        // A menu: the pointer is grabbed while it is up, so that a click
        // elsewhere reaches this process and closes it.
        bool popUp { false };
        // In a window manager's frame or a tray rather than on the root.
        bool reparented { false };
        bool docked { false };
        // Frames asked of the server that it has not confirmed yet: a
        // notice of one of them is this process's own change coming back.
        std::vector<CGRect> requested;
        // What the screen showed beneath a panel before it was mapped, and
        // where (root coordinates): its translucent parts are drawn over it.
        std::shared_ptr<const ScreenPixels> beneath;
        CGRect beneathRect { CGRectNull };
        // The sequence of the last request after which the whole window was
        // sent (or the map, whose first paint follows at once): exposures
        // the server reported up to it need no paint of their own.
        uint32_t paintedThrough { 0 };
        // Ordered in, to be mapped and painted once the main thread's
        // current work is done (`mapPendingWindow`).
        bool mapPending { false };
        // Mapped before it was ordered in (a kept panel window mapped at
        // the hotkey's press).
        bool mappedAhead { false };
    };
    // The window of the last panel, kept unmapped for the next one. The
    // press of one of the switcher's hotkeys maps it at once (after asking
    // for the screen beneath it): the server clips the windows beneath
    // (long with many windows) while this process builds the panel, and
    // the window shows what lay beneath it until its first frame. A press
    // that brings no panel has it unmapped again.
    struct SparePanel {
        xcb_window_t window { XCB_WINDOW_NONE };
        CGRect frame { CGRectNull };
        bool mapped { false };
        uint32_t mapSequence { 0 };
        uint64_t generation { 0 };
    };
    std::optional<SparePanel> takeSparePanel() EXCLUDES(m_mutex);
    void mapSparePanel() EXCLUDES(m_mutex);
    void unmapUnclaimedSparePanel(uint64_t generation) EXCLUDES(m_mutex);
    // How long a spare panel mapped at a press waits for its panel: as long
    // as captures wait for a panel's first frame.
    static constexpr double kUnclaimedSpareSeconds = kOpeningWaitSeconds;
    // The pixels of an own window as the server has them: the last frame
    // sent, in the server's byte order, in a segment the server reads
    // (or in memory when shared memory cannot be had).
    struct OwnFrame {
        X11SharedPixels shared;
        std::vector<uint8_t> local;
        int width { 0 };
        int height { 0 };
    };
    void ownFrameSeenLocked(OwnWindow& window, CGRect frame, std::vector<DesktopEvent>& events) REQUIRES(m_mutex);
    void handleOwnWindowConfigured(const xcb_configure_notify_event_t& e, std::vector<DesktopEvent>& events) EXCLUDES(m_mutex);
    void handleReparentNotify(const xcb_reparent_notify_event_t& e, std::vector<DesktopEvent>& events) EXCLUDES(m_mutex);
    void handleCloseRequest(xcb_window_t window, std::vector<DesktopEvent>& events) EXCLUDES(m_mutex);
    void updatePointerGrab() EXCLUDES(m_mutex);
    bool ownWindowAtLocked(CGPoint location) const REQUIRES(m_mutex);
    // The switcher's selection (X11DesktopSwitcherSelection.cpp).
    void handleSelectionRequest(const xcb_selection_request_event_t& e, std::vector<DesktopEvent>& events) EXCLUDES(m_mutex);
    void handleSelectionClear(const xcb_selection_clear_event_t& e) EXCLUDES(m_mutex);
    // The system tray (X11DesktopStatusItems.cpp). The event thread (and
    // `start`) learns the tray's owner; items dock with the one it knows.
    void findTray() EXCLUDES(m_mutex);
    void dockStatusItems() EXCLUDES(m_mutex);
    void setStatusItemSizeHints(xcb_window_t window, CGSize size);
    void withdraw(xcb_window_t window);
    void handleTrayStarted() EXCLUDES(m_mutex);
    void handleDestroyNotify(const xcb_destroy_notify_event_t& e) EXCLUDES(m_mutex);
    std::optional<DesktopImage> captureOwnWindow(CGWindowID number) EXCLUDES(m_mutex);
    // Sends what the window's content draws to the server: the rows that
    // changed since the last frame, or all of them (`whole`: the server has
    // no pixels of it, after a map or an exposure).
    void paintOwnWindow(CGWindowID number, bool whole = false) EXCLUDES(m_mutex);
    // Reads the root window's pixels over the rectangle (on the screen) and
    // hands them, in the server's order (rows of `width` words), to `take`
    // where they arrived (no copy); false when the server refuses.
    bool readRoot(int x, int y, int width, int height, const std::function<void(const uint8_t*)>& take)
        EXCLUDES(m_rootReadMutex);
    // The screen over the rectangle (root coordinates), the dark of an empty
    // desktop beyond its edges; nothing when the server refuses.
    std::optional<ScreenPixels> readRootArea(CGRect pixels);
    // At the press of one of the switcher's hotkeys the area of the screen
    // read last (what lay beneath the last panel) is asked for again,
    // without waiting: the next panel most often lies where the last one
    // did, and its read then finds the pixels arrived instead of waiting
    // for the server at the start of the opening. A read of another area,
    // or one long after the press, drops them.
    void readRootAgainAtPress() EXCLUDES(m_rootAtPressMutex);
    bool takeRootReadAtPress(CGRect rect, const std::function<void(const uint8_t*)>& take) EXCLUDES(m_rootAtPressMutex);
    // Keeps what the screen shows beneath the window before it is mapped.
    void readBeneath(CGWindowID number) EXCLUDES(m_mutex);
    // Takes the keyboard while the panel is up, gives it back after. The
    // grab is asked for at once (the server takes it before any request
    // sent after it) and its answer is taken by `finishKeyboardGrab`, so a
    // panel can be mapped and painted meanwhile.
    struct KeyboardGrabRequest {
        bool sent { false };
        xcb_grab_keyboard_cookie_t grab {};
        xcb_query_keymap_cookie_t keymap {};
    };
    KeyboardGrabRequest requestKeyboardGrabUpdate() EXCLUDES(m_mutex);
    KeyboardGrabRequest requestKeyboardGrab() EXCLUDES(m_mutex);
    void finishKeyboardGrab(KeyboardGrabRequest request) EXCLUDES(m_mutex);
    void updateKeyboardGrab() EXCLUDES(m_mutex) { finishKeyboardGrab(requestKeyboardGrabUpdate()); }
    // Requests of this process that uncover other windows (an own window
    // destroyed or moved), before they are sent: while the server handles
    // one it reports the windows beneath as damaged, though their pixels did
    // not change. Damage that carries such a request's sequence leaves their
    // captures valid; a request that follows at once gives what is drawn
    // after it a later one.
    void uncovering(xcb_void_cookie_t request) EXCLUDES(m_mutex);
    // A window ordered in, waiting for its map: what the map then does.
    // Main thread only.
    struct PendingMap {
        CGWindowID number { 0 };
        bool front { true };
        bool managed { false };
        KeyboardGrabRequest grab;
        // The opening it began (`beginOpening`), if any.
        uint64_t opening { 0 };
        // Sent ahead of the first frame (a panel's map).
        bool mapped { false };
    };
    void mapPendingWindow() EXCLUDES(m_mutex);

    // Keyboard (X11DesktopKeyboard.cpp).
    void setUpKeyboard() EXCLUDES(m_mutex);
    // The server's modifier mask of a combination's modifiers.
    uint16_t serverModifiersLocked(uint32_t modifiers) const REQUIRES(m_mutex);
    // Whether a key event is a press of one of the switcher's hotkeys.
    bool isSwitcherHotKeyLocked(const xcb_key_press_event_t& event) const REQUIRES(m_mutex);
    void findModifiersLocked(xcb_get_modifier_mapping_reply_t& mapping) REQUIRES(m_mutex);
    void grabHotKeys() EXCLUDES(m_mutex);
    void translateKeyLocked(const xcb_key_press_event_t& event, bool press, std::vector<DesktopInputEvent>& input)
        REQUIRES(m_mutex);
    void syncModifiersLocked(uint64_t flags, std::vector<DesktopInputEvent>& input) REQUIRES(m_mutex);
    uint64_t flagsOfStateLocked(uint16_t state) const REQUIRES(m_mutex);
    // Pointer events of this process's windows (and of its pointer grab).
    void translatePointerLocked(uint8_t type, const xcb_button_press_event_t& e, std::vector<DesktopEvent>& events,
        std::vector<DesktopInputEvent>& input) REQUIRES(m_mutex);

    std::unique_ptr<X11Connection> m_x;
    std::weak_ptr<X11Desktop> m_self;
    pid_t m_ownPid { 0 };
    mutable Mutex m_mutex;
    std::condition_variable m_pongs;
    std::map<xcb_window_t, std::unique_ptr<X11Client>> m_clients GUARDED_BY(m_mutex);
    // Client windows front to back.
    std::vector<xcb_window_t> m_stacking GUARDED_BY(m_mutex);
    // m_stacking split by process, so that describing every window costs
    // no walk of the whole list per window. Made again whenever m_stacking
    // or a client's process changes.
    std::unordered_map<pid_t, std::vector<xcb_window_t>> m_appStacking GUARDED_BY(m_mutex);
    // Client windows most recently active first: the order windows are
    // handed out in. A window that never was active stands where it came
    // (behind the active one), those known at start in stacking order.
    std::vector<xcb_window_t> m_recent GUARDED_BY(m_mutex);
    // The time of the last key or button event this process took: the
    // user's action that the requests it leads to carry.
    xcb_timestamp_t m_lastInputTime GUARDED_BY(m_mutex) { XCB_CURRENT_TIME };
    std::map<pid_t, App> m_apps GUARDED_BY(m_mutex);
    std::vector<pid_t> m_launchOrder GUARDED_BY(m_mutex);
    xcb_window_t m_active GUARDED_BY(m_mutex) { XCB_WINDOW_NONE };
    // The window last asked to become active, until it is.
    xcb_window_t m_pendingActivation GUARDED_BY(m_mutex) { XCB_WINDOW_NONE };
    // A window asked to come to the front, then superseded by this process
    // activating itself (the panel opened again right after a switch)
    // before the window manager focused it.
    xcb_window_t m_supersededActivation GUARDED_BY(m_mutex) { XCB_WINDOW_NONE };
    pid_t m_frontmost GUARDED_BY(m_mutex) { 0 };
    uint32_t m_currentDesktop GUARDED_BY(m_mutex) { 0 };
    // _NET_NUMBER_OF_DESKTOPS (1 when the window manager does not say).
    uint32_t m_numberOfDesktops GUARDED_BY(m_mutex) { 1 };
    std::vector<DesktopScreen> m_screens GUARDED_BY(m_mutex);
    std::map<xcb_window_t, Capture> m_captures GUARDED_BY(m_mutex);
    std::deque<uint32_t> m_uncovering GUARDED_BY(m_mutex);
    Mutex m_openingMutex;
    std::condition_variable m_openingEnded;
    double m_openingUntil GUARDED_BY(m_openingMutex) { 0 };
    uint64_t m_openings GUARDED_BY(m_openingMutex) { 0 };
    // Windows asked to come back from minimised and not mapped yet, with
    // the steady time until which a capture waits for them.
    Mutex m_restoreMutex;
    std::condition_variable m_restored;
    std::map<xcb_window_t, double> m_restoring GUARDED_BY(m_restoreMutex);
    std::map<CGWindowID, OwnWindow> m_ownWindows GUARDED_BY(m_mutex);
    // Paints of own windows run on the main and the event thread.
    RecursiveMutex m_paintMutex;
    std::map<CGWindowID, std::unique_ptr<OwnFrame>> m_ownFrames GUARDED_BY(m_paintMutex);
    // The pixels of the largest own window that went, for the next one: the
    // panel is a new window at every opening, and a fresh segment costs the
    // server and this process a fault on each of its pages.
    std::unique_ptr<OwnFrame> m_spareFrame GUARDED_BY(m_paintMutex);
    std::optional<PendingMap> m_pendingMap;
    SparePanel m_sparePanel GUARDED_BY(m_mutex);
    uint64_t m_sparePanelMaps GUARDED_BY(m_mutex) { 0 };
    // Lets a block queued on the main run loop know the desktop is gone.
    std::shared_ptr<bool> m_lifetime { std::make_shared<bool>(true) };
    // Reads of the root window go through one kept segment, and captures of
    // client windows through another.
    Mutex m_rootReadMutex;
    X11SharedPixels m_rootPixels GUARDED_BY(m_rootReadMutex);
    Mutex m_captureReadMutex;
    X11SharedPixels m_capturePixels GUARDED_BY(m_captureReadMutex);
    struct RootReadAtPress {
        xcb_shm_get_image_cookie_t cookie {};
        CGRect rect { CGRectNull };
        double sentAt { 0 };
    };
    Mutex m_rootAtPressMutex;
    std::optional<RootReadAtPress> m_rootAtPress GUARDED_BY(m_rootAtPressMutex);
    X11SharedPixels m_rootAtPressPixels GUARDED_BY(m_rootAtPressMutex);
    CGRect m_lastRootRead GUARDED_BY(m_rootAtPressMutex) { CGRectNull };
    // The switcher's hotkey was pressed in the event thread's current batch.
    bool m_switcherKeyPressed { false };
    // Own windows front to back.
    std::vector<CGWindowID> m_ownOrder GUARDED_BY(m_mutex);
    // Own windows the server asked to paint again.
    std::set<CGWindowID> m_exposed GUARDED_BY(m_mutex);
    uint32_t m_pingSerial GUARDED_BY(m_mutex) { 0 };
    double m_pingTimeout GUARDED_BY(m_mutex) { kPingTimeoutSeconds };
    double m_pingValid GUARDED_BY(m_mutex) { kPingValidSeconds };

    // The keyboard: modifier masks of the X server, its key symbols (read
    // whole at start, so a lookup never asks the server), the keys as the
    // input stream took them, and the grabbed combinations.
    struct Keyboard {
        uint16_t superMask { XCB_MOD_MASK_4 };
        uint16_t altMask { XCB_MOD_MASK_1 };
        uint16_t numLockMask { XCB_MOD_MASK_2 };
        void* symbols { nullptr };
        uint64_t heldFlags { 0 };
        std::set<uint16_t> heldKeys;
        uint64_t modifierFlags { 0 };
        std::set<uint16_t> keysDown;
        std::vector<std::string> grabFailures;
        std::vector<DesktopSymbolicHotKey> registeredHotKeys;
        bool grabbed { false };
        // From a press of the switcher's keys until the panel's grab is
        // answered (at most this steady time), the panel is on its way.
        double openingUntil { 0 };
    };
    // How long a press of the switcher's keys counts as opening the panel
    // when no grab follows it.
    static constexpr double kOpeningSeconds = 2.0;
    Keyboard m_keyboard GUARDED_BY(m_mutex);

    // The pointer: whether a menu holds it, where the last press went, and
    // the clicks counted for double clicks.
    struct Pointer {
        bool grabbed { false };
        pid_t mouseDownReceiver { 0 };
        double lastClickTime { -1 };
        CGPoint lastClickPoint;
        uint8_t lastClickButton { 0 };
        int64_t clickCount { 0 };
    };
    Pointer m_pointer GUARDED_BY(m_mutex);

    // The system tray: the window that owns its selection, and whether its
    // absence was told.
    struct Tray {
        xcb_window_t owner { XCB_WINDOW_NONE };
        bool missingTold { false };
    };
    Tray m_tray GUARDED_BY(m_mutex);

    // Whether this process owns the switcher's selection.
    bool m_ownsSwitcherSelection GUARDED_BY(m_mutex) { false };

    std::thread m_thread;
    std::atomic<bool> m_stopping { false };
    std::atomic<uint64_t> m_ownPaints { 0 };
    std::atomic<bool> m_sharedMemoryCaptures { true };
    std::atomic<uint64_t> m_sharedReads { 0 };
    std::atomic<uint64_t> m_directReads { 0 };
    std::atomic<uint64_t> m_readsAtPress { 0 };
    std::atomic<bool> m_connected { true };
    xcb_window_t m_wakeWindow { XCB_WINDOW_NONE };
    std::function<void()> m_serverLost GUARDED_BY(m_mutex);

    DesktopListeners m_listeners;
    // Last, so that it ends first: its handler reads the members above.
    Token m_memoryKeeper;
};

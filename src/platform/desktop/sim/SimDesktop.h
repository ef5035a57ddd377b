// The simulated desktop: screens, spaces, running applications and their
// windows, stacking order, focus, mouse and keyboard state and the two
// permissions. The services answer from it; tests and the quorvex command
// drive it through the driver calls below, and read its call log.
#pragma once

#include "../Desktop.h"
#include "../DesktopListeners.h"

#include <foundation/Value.h>

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>

using cairo_surface_t = struct _cairo_surface;

class SimDesktop final : public Desktop {
public:
    // The pid and bundle of the system's own process.
    static constexpr pid_t kOwnPid = 4242;
    static constexpr int32_t kSwitchToSpaceHotKey = 118;
    // The strip at the top of a window that holds its title and buttons.
    static constexpr double kTitleBarHeight = 28;

    SimDesktop();
    ~SimDesktop() override;

    // A desktop described by a scenario (JSON, see docs/simulated-desktop.md).
    // On a problem returns null and sets the error, which names the file and
    // the key.
    static std::shared_ptr<SimDesktop> fromScenario(
        const std::string& json, const std::string& sourceName, std::string* error);
    static std::shared_ptr<SimDesktop> fromFile(const std::string& path, std::string* error);
    // The demo desktop shipped in resources/desktops/demo.json.
    static std::shared_ptr<SimDesktop> demo();
    static std::string demoScenarioPath();

    // Desktop.
    std::vector<DesktopScreen> screens() const override;
    CGPoint mouseLocation() const override;
    uint32_t pressedMouseButtons() const override;
    bool isAccessibilityTrusted() const override;
    void promptForAccessibility() override;
    bool isScreenRecordingGranted() const override;
    bool createDisplayStream(CGDirectDisplayID display) override;
    bool isAssistiveAccessEnabled() const override;
    pid_t ownProcessIdentifier() const override { return kOwnPid; }
    std::vector<DesktopApp> runningApplications() const override;
    std::optional<DesktopApp> application(pid_t pid) const override;
    pid_t frontmostApplication() const override;
    bool hideApplication(pid_t pid) override;
    bool unhideApplication(pid_t pid) override;
    bool terminateApplication(pid_t pid, bool force) override;
    bool activateApplication(pid_t pid, bool frontWindowOnly) override;
    // Runs the program, and lists it as an application with no windows
    // until it ends (call log "LSOpenApplication NAME").
    std::optional<DesktopApp> startApplication(const DesktopLaunchRequest& request, std::string* error) override;
    std::vector<DesktopWindow> windows() const override;
    std::optional<DesktopWindow> window(CGWindowID number) const override;
    std::optional<DesktopImage> captureWindow(CGWindowID number) override;
    AXError axCopyAttribute(const DesktopElement&, const std::string& attribute, DesktopAXValue& value) override;
    AXError axAttributeNames(const DesktopElement&, std::vector<std::string>& names) override;
    AXError axIsAttributeSettable(const DesktopElement&, const std::string& attribute, bool& settable) override;
    AXError axSetAttribute(const DesktopElement&, const std::string& attribute, const DesktopAXValue& value) override;
    AXError axPerformAction(const DesktopElement&, const std::string& action) override;
    AXError axWindowNumber(const DesktopElement&, CGWindowID& number) override;
    AXError axProcessIdentifier(const DesktopElement&, pid_t& pid) override;
    bool axElementIsValid(const DesktopElement&) const override;
    std::vector<DesktopDisplaySpaces> displaySpaces() const override;
    bool screensHaveSeparateSpaces() const override;
    // The current space of the display under the pointer.
    uint64_t activeSpace() const override;
    bool moveWindowToSpace(CGWindowID number, uint64_t space) override;
    CGDirectDisplayID mainDisplay() const override;
    bool requestDisplayProbe(CGDirectDisplayID display, uint32_t options) override;
    // The activation policy is logged as "setActivationPolicy <n>".
    void setOwnActivationPolicy(ActivationPolicy policy) override;
    CGWindowID registerOwnWindow(DesktopWindow window) override;
    void updateOwnWindow(const DesktopWindow& window) override;
    void removeOwnWindow(CGWindowID number) override;
    void setOwnWindowContent(CGWindowID number, std::function<DesktopFrame()> content) override;
    void orderOwnWindow(CGWindowID number, bool front) override;
    // Composed as the screenshot is, at the reduced size when asked (the
    // window pictures drawn shrunk, each pixel averaging its block), logged
    // as "captureBelowOwnWindow <n>".
    std::optional<DesktopImage> captureBelowOwnWindow(CGWindowID number, const CGRect& area, int reduction = 1) override;
    void postEvent(const DesktopInputEvent& event) override;
    uint64_t keyboardModifierFlags() const override;
    std::vector<uint16_t> pressedKeyCodes() const override;
    std::vector<DesktopSymbolicHotKey> symbolicHotKeys() const override;
    void sendHardwareInput(const DesktopInputEvent& event, bool now) override;
    void takeInput(const DesktopInputEvent& event) override;
    pid_t deliverInput(const DesktopInputEvent& event) override;
    [[nodiscard]] Token subscribe(Listener listener) override;

    // Driver: the world changes as a person or another program would change it.
    void addScreen(const CGRect& frame, const CGRect& visibleFrame, const std::string& picture = {});
    void removeScreen(CGDirectDisplayID display);
    // Starts an application with its windows (front one first); it becomes
    // the frontmost application. False, and nothing changes, when the
    // desktop already has an application with that process id.
    bool launchApplication(const DesktopApp& app, const std::vector<DesktopWindow>& windows = {});
    void quitApplication(pid_t pid);
    // Waits, in real time and at most the seconds given, until every program
    // started through startApplication has ended; false when one still runs.
    bool waitForStartedPrograms(double seconds);
    // Opens a window in front of all others; returns its number (the given
    // one, or a fresh one when it is 0).
    CGWindowID openWindow(DesktopWindow window);
    void closeWindow(CGWindowID number);
    void setWindowMinimized(CGWindowID number, bool minimized);
    void setWindowTitle(CGWindowID number, const std::optional<std::string>& title);
    void setWindowFrame(CGWindowID number, const CGRect& frame);
    // Puts a window on a space (0: every space), which the desktop then has.
    void setWindowSpace(CGWindowID number, uint64_t space);
    // Clicks a window: raises it and activates its application.
    void focusWindow(CGWindowID number);
    // Spaces. The desktop starts with space 1, and every display shares one
    // list of spaces unless screens have separate spaces; each display then
    // has spaces of its own (a display added without any gets a new one).
    // A space that a driver call names and the desktop does not have yet is
    // added to the main display's list. Switching shows the space on its
    // display; a window held by its title bar goes along to it.
    void switchToSpace(uint64_t space);
    // The space the main display shows.
    uint64_t currentSpace() const;
    void setScreensHaveSeparateSpaces(bool separate);
    // Replaces the spaces a display offers (the main display's: those of
    // every display when they share one list); it then shows the first.
    // Spaces other displays have are left out.
    void setSpaces(CGDirectDisplayID display, const std::vector<DesktopSpace>& spaces);
    void moveMouse(const CGPoint& location);
    void setPressedMouseButtons(uint32_t buttons);
    // Keyboard: what a person does with it. Each call makes the events the
    // hardware would make (flags changed, key down, key up) and sends them
    // into the input stream, where they pass the event taps and the hot keys
    // before the frontmost application receives them on the main run loop.
    // The keyboard state that GetCurrentKeyModifiers and GetKeys read
    // follows the events as the stream takes them, so a quick Command+Tab
    // still has Command held when its Tab is taken. Flags are event flag
    // bits (Shift 0x20000, Control 0x40000, Option 0x80000, Command
    // 0x100000, Caps Lock 0x10000, Function 0x800000).
    // Holds exactly the modifier keys of the flags: one flags-changed event
    // per modifier key that goes down or up.
    void setModifierFlags(uint64_t flags);
    // Presses a key; with flags, the modifier keys change to them first. A
    // key that is already down repeats.
    void pressKey(uint16_t keyCode, std::optional<uint64_t> flags = std::nullopt);
    // Releases a key; with flags, the modifier keys change to them after.
    void releaseKey(uint16_t keyCode, std::optional<uint64_t> flags = std::nullopt);
    // Presses and releases a key with exactly the modifiers of the flags
    // held, then goes back to the modifiers held before.
    void typeKey(uint16_t keyCode, uint64_t flags = 0);
    // The desktop's keyboard shortcuts; the default table has the
    // application switcher (Command+Tab, Command+Shift+Tab), the search
    // field (Command+Space), window cycling (Command+`), screenshots, the
    // space and overview keys (Control+arrows) and Control+1 to Control+0,
    // which show the first to tenth space of the display under the pointer
    // (identifiers kSwitchToSpaceHotKey and on; the desktop acts on these).
    void setSymbolicHotKeys(std::vector<DesktopSymbolicHotKey> hotKeys);
    static std::vector<DesktopSymbolicHotKey> defaultSymbolicHotKeys();
    void setAccessibilityTrusted(bool trusted);
    // This application started again by a person: the running one is
    // asked to reopen.
    void reopenOwnApplication();
    void setScreenRecordingGranted(bool granted);
    void setAssistiveAccessEnabled(bool enabled);
    void setDisplayStreamAvailable(bool available);
    // Grants accessibility when the user answers the next prompt.
    void setGrantOnPrompt(bool grant);

    // Faults.
    // The application stops answering accessibility requests in time.
    void setApplicationHung(pid_t pid, bool hung);
    // Every accessibility request to the application fails with the code.
    void setApplicationAXError(pid_t pid, AXError error);
    // The application answers each accessibility request this many seconds
    // late (0: at once). A request waits for it up to its messaging
    // time-out, or kMessagingTimeout when it sets none, then fails with
    // kAXErrorCannotComplete; the virtual clock moves by the time waited.
    void setApplicationAnswerDelay(pid_t pid, double seconds);
    static constexpr double kMessagingTimeout = 1.0;
    // The window's element stops answering while the window stays listed.
    void vanishWindowElement(CGWindowID number);
    // Reads of one attribute of the window fail with the code.
    void failWindowAttribute(CGWindowID number, const std::string& attribute, AXError error);


    // Observation.
    // Called on the capturing thread at every window capture.
    void setCaptureHook(std::function<void(CGWindowID)> hook);
    std::vector<DesktopInputEvent> postedEvents() const;
    // The input events an application received, in order (the system's own
    // process included).
    std::vector<DesktopInputEvent> receivedEvents(pid_t pid) const;
    // The desktop's record of the calls made to it, oldest first: the most
    // recent kCallLogLimit of them, so that a long run does not grow it
    // without end.
    std::vector<std::string> callLog() const;
    static constexpr size_t kCallLogLimit = 100000;
    void clearCallLog();
    size_t countCalls(const std::string& prefix) const;
    int accessibilityPromptCount() const;
    std::vector<std::pair<CGDirectDisplayID, uint32_t>> probeRequests() const;
    CGWindowID focusedWindow() const;
    // The whole desktop as a person would see it: pictures, windows back to
    // front with their content, the system's windows on top.
    DesktopImage screenshot() const;
    // How many window pictures the desktop keeps (generated content and
    // this process's own windows); only windows that exist have one.
    size_t keptPictureCount() const;
    // The generated content of one window, as the window server draws it.
    DesktopImage windowContent(CGWindowID number) const;

private:
    struct AppState {
        DesktopApp app;
        AXError forcedError { kAXErrorSuccess };
        double answerDelay { 0 };
    };

    void log(std::string entry) const;
    // An attribute read, written out only when the log is read: the system
    // reads attributes thousands of times per filter.
    void logAttributeRead(const DesktopElement& element, const std::string& attribute) const;
    // Sends the signal to a program startApplication started; false when
    // the pid is not one that still runs.
    bool signalStartedProgram(pid_t pid, int signal);
    // Lists an application and its windows; false when its pid is taken.
    bool addApplication(const DesktopApp& app, const std::vector<DesktopWindow>& windows, bool activate);
    // Hands the events to the listeners, after the focus notices a change
    // of the focused window calls for (as a real desktop posts them).
    void emit(const std::vector<DesktopEvent>& events);
    void announceFocusLocked(std::vector<DesktopEvent>& events);
    // Gives the window a new frame, with the notices of its move and resize.
    void setFrameLocked(DesktopWindow& w, const CGRect& frame, std::vector<DesktopEvent>& events);
    bool windowOnScreenLocked(const DesktopWindow& w) const;
    void forgetWindowLocked(CGWindowID number);
    std::vector<CGWindowID> appWindowsLocked(pid_t pid) const;
    std::optional<CGWindowID> frontWindowOfAppLocked(pid_t pid) const;
    void raiseLocked(CGWindowID number);
    void activateLocked(pid_t pid, bool frontWindowOnly, std::vector<DesktopEvent>& events);
    void passFrontmostLocked(pid_t leaving, std::vector<DesktopEvent>& events);
    AXError checkElementLocked(const DesktopElement& e) const;
    void closeWindowLocked(CGWindowID number, std::vector<DesktopEvent>& events);
    void setMinimizedLocked(CGWindowID number, bool minimized, std::vector<DesktopEvent>& events);
    CGRect buttonFrameLocked(const DesktopWindow& w, DesktopElement::Kind kind) const;
    CGRect usableFrameForLocked(const CGRect& frame) const;
    // Generated window content: what a window shows, and its pixels as
    // Cairo ARGB32 surfaces, kept up to kContentCacheBudget bytes.
    using SurfaceRef = std::shared_ptr<struct _cairo_surface>;
    struct GeneratedContent {
        std::string key;
        DesktopWindow window;
        std::string appName;
        int width { 0 };
        int height { 0 };
    };
    // The pictures a screenshot draws again and again fit many times over;
    // a desktop of hundreds of windows does not fit whatever the budget
    // (500 windows of common sizes are about 1.5 GB), and its windows drawn
    // again for a capture cost less than the memory.
    static constexpr size_t kContentCacheBudget = size_t(128) << 20;
    GeneratedContent generatedContentLocked(const DesktopWindow& w) const;
    static void drawContent(const GeneratedContent& content, cairo_surface_t* surface);
    // Whether the content's picture would be kept, were it drawn now.
    bool contentFitsLocked(const GeneratedContent& content) const;
    SurfaceRef cachedContentLocked(const GeneratedContent& content) const;
    void keepContentLocked(const GeneratedContent& content, const SurfaceRef& surface) const;
    void forgetContentLocked(CGWindowID number);
    SurfaceRef contentSurfaceLocked(const DesktopWindow& w) const;
    // Generated windows' pictures as a read shrunk by the reduction shows
    // them (filtered down, their alpha and frame line applied), each placed
    // at whole pixels of the shrunk read whose origin is `origin` on the
    // desktop (`at`: where its top-left pixel goes). Kept copies are taken;
    // the others are made side by side on the kept threads, then kept. A
    // null window, or one too large to shrink, answers no surface.
    struct ReducedPlacement {
        SurfaceRef surface;
        CGPoint at {};
    };
    std::vector<ReducedPlacement> reducedContentsLocked(
        const std::vector<const DesktopWindow*>& windows, CGPoint origin, int reduction) const;
    void keepReducedContentLocked(CGWindowID number, const std::string& key, const SurfaceRef& surface, uint64_t read) const;
    void forgetReducedContentLocked(CGWindowID number) const;
    // The whole frame of the screen the rectangle overlaps most.
    CGRect screenFrameForLocked(const CGRect& frame) const;
    struct SpaceState {
        uint64_t identifier;
        // 0: the main display.
        CGDirectDisplayID display;
        bool fullScreen;
    };
    const SpaceState* spaceLocked(uint64_t space) const;
    void ensureSpaceLocked(uint64_t space);
    CGDirectDisplayID displayOfSpaceLocked(const SpaceState& space) const;
    uint64_t currentSpaceOfDisplayLocked(CGDirectDisplayID display) const;
    bool spaceIsShownLocked(uint64_t space) const;
    void giveDisplaysSpacesLocked();
    // What one of this process's windows shows, as its drawing keeps it.
    DesktopFrame ownContentLocked(const DesktopWindow& w) const;
    // What a window shows: this process's window's pixels, or a generated
    // picture drawn and copied with the lock let go (it is held on entry
    // and may not be on return).
    DesktopImage generatedOrOwnContent(std::unique_lock<std::recursive_mutex>& lock, const DesktopWindow& w) const;
    // The screens and the included windows within the area (whole pixels),
    // as the desktop shows them; windows hidden by opaque ones in front of
    // them are not drawn. With a reduction the image is shrunk by that
    // factor (its size rounded up).
    DesktopImage composeLocked(
        const CGRect& area, const std::function<bool(const DesktopWindow&)>& include, int reduction = 1) const;
    // A screen's picture file, decoded for a screen of that size; null when
    // it cannot be read.
    std::shared_ptr<cairo_surface_t> pictureLocked(const std::string& path, CGSize screen) const;
    // What names a version of a picture file: its path and modification time.
    static std::string pictureKey(const std::string& path);
    // The start of a compose's drawing, up to the first window whose content
    // this process gives: kept, since the windows of other processes mostly
    // lie below this process's and a run of screenshots or backdrop reads
    // draws them again unchanged. The key names everything that drawing
    // depends on; a compose that would draw the same copies the pixels.
    struct Underlay {
        std::string key;
        SurfaceRef surface;
    };
    static constexpr size_t kUnderlayCount = 4;
    static constexpr size_t kUnderlayMostBytes = size_t(32) << 20;
    SurfaceRef underlayLocked(const std::string& key) const;
    void keepUnderlayLocked(const std::string& key, cairo_surface_t* drawn) const;
    DesktopInputEvent keyboardEventLocked(uint32_t type, uint16_t keyCode) const;
    std::optional<pid_t> applicationUnderPointLocked(const CGPoint& location) const;
    CGWindowID titleBarUnderPointLocked(const CGPoint& location) const;
    // The space a desktop shortcut of the key event shows (0: none there);
    // nothing when the event is not one.
    std::optional<uint64_t> spaceForShortcutLocked(const DesktopInputEvent& event) const;
    void changeModifiersLocked(uint64_t flags, std::vector<DesktopInputEvent>& events);
    static void send(const std::vector<DesktopInputEvent>& events);

    mutable std::recursive_mutex m_mutex;
    std::vector<DesktopScreen> m_screens;
    std::map<pid_t, AppState> m_apps;
    std::vector<pid_t> m_launchOrder;
    std::map<CGWindowID, DesktopWindow> m_windows;
    // Front to back.
    std::vector<CGWindowID> m_order;
    std::set<CGWindowID> m_vanished;
    std::map<CGWindowID, CGRect> m_framesBeforeFullScreen;
    std::map<std::pair<CGWindowID, std::string>, AXError> m_failingAttributes;
    std::map<CGWindowID, std::function<DesktopFrame()>> m_ownContent;
    pid_t m_frontmost { 0 };
    // The focused window the listeners were last told of.
    CGWindowID m_announcedFocus { 0 };
    // In the users' order; the main display's current space is
    // m_currentSpace, the others' in m_displayCurrentSpaces.
    std::vector<SpaceState> m_spaces { { 1, 0, false } };
    uint64_t m_currentSpace { 1 };
    std::map<CGDirectDisplayID, uint64_t> m_displayCurrentSpaces;
    bool m_separateSpaces { false };
    // The window whose title bar the left button holds.
    CGWindowID m_heldWindow { 0 };
    CGPoint m_mouse;
    uint32_t m_buttons { 0 };
    bool m_axTrusted { true };
    bool m_screenRecording { true };
    bool m_assistiveAccess { true };
    bool m_displayStreamAvailable { true };
    bool m_grantOnPrompt { false };
    int m_promptCount { 0 };
    CGWindowID m_nextWindowNumber { 1000 };
    CGDirectDisplayID m_nextDisplay { 1 };
    std::vector<std::pair<CGDirectDisplayID, uint32_t>> m_probes;
    struct LoggedCall {
        // The whole entry, or empty for an attribute read of the element.
        std::string text;
        DesktopElement element;
        std::string attribute;
        std::string written() const;
    };
    mutable std::deque<LoggedCall> m_callLog;
    std::vector<DesktopInputEvent> m_posted;
    // The keys the person holds, and the keys as the input stream has taken
    // them.
    uint64_t m_heldFlags { 0 };
    std::set<uint16_t> m_heldKeys;
    uint64_t m_modifierFlags { 0 };
    std::set<uint16_t> m_keysDown;
    std::vector<DesktopSymbolicHotKey> m_symbolicHotKeys { defaultSymbolicHotKeys() };
    std::vector<std::pair<pid_t, DesktopInputEvent>> m_received;
    pid_t m_mouseDownReceiver { 0 };
    std::function<void(CGWindowID)> m_captureHook;
    // Generated window content, kept until what it shows changes.
    struct CachedContent {
        std::string key;
        SurfaceRef surface;
        size_t bytes { 0 };
    };
    mutable std::map<CGWindowID, CachedContent> m_contentCache;
    mutable size_t m_contentCacheBytes { 0 };
    // Window pictures shrunk for reads of what lies beneath an own window
    // (the same windows are shrunk again at every opening of a panel): one
    // per window, kept within kReducedCacheBudget bytes; past it the copies
    // no read used lately make room first.
    struct ReducedContent {
        std::string key;
        SurfaceRef surface;
        size_t bytes { 0 };
        uint64_t lastRead { 0 };
    };
    static constexpr size_t kReducedCacheBudget = size_t(48) << 20;
    mutable std::map<CGWindowID, ReducedContent> m_reducedCache;
    mutable size_t m_reducedCacheBytes { 0 };
    mutable uint64_t m_reducedReads { 0 };
    // The first use stamp of the read under way.
    mutable uint64_t m_reducedReadStart { 0 };
    // Decoded screen pictures by path and modification time.
    mutable std::map<std::string, std::shared_ptr<cairo_surface_t>> m_pictures;
    // The composes' kept starts, the most recently used first.
    mutable std::vector<Underlay> m_underlays;
    DesktopListeners m_listeners;
    // The programs startApplication started, shared with the threads that
    // wait for them to end (which may outlive the desktop).
    struct StartedPrograms {
        std::mutex mutex;
        std::condition_variable ended;
        SimDesktop* desktop { nullptr };
        std::set<pid_t> running;
    };
    std::shared_ptr<StartedPrograms> m_started { std::make_shared<StartedPrograms>() };
    double m_launchClock { 0 };
};

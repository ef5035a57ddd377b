// The desktop the platform services talk to: screens, processes, windows,
// their accessibility elements, permissions, mouse and keyboard. This is the
// only door to a backend: the platform's services and the application
// framework call these functions and never name a backend. The program's
// start-up (main, the test world) makes a backend (the simulated desktop in
// sim/, or another) and installs it with setCurrent.
#pragma once

#include "DesktopTypes.h"

#include <foundation/Token.h>

#include <functional>
#include <memory>

class Desktop {
public:
    virtual ~Desktop() = default;

    // The installed desktop. Asking for it before one is installed is a
    // programming error: the process stops with a message.
    static Desktop& current();
    // The installed desktop without a strong reference: a thread of the
    // desktop's own (its event thread) that held one could end up dropping
    // the last reference, and the desktop cannot stop that thread from it.
    static std::weak_ptr<Desktop> currentWeak();
    static void setCurrent(std::shared_ptr<Desktop>);

    // Screens, the primary one first.
    virtual std::vector<DesktopScreen> screens() const = 0;
    virtual CGPoint mouseLocation() const = 0;
    virtual uint32_t pressedMouseButtons() const = 0;

    // Permissions of this process.
    virtual bool isAccessibilityTrusted() const = 0;
    // Asks the user to trust the process; the answer comes later.
    virtual void promptForAccessibility() = 0;
    virtual bool isScreenRecordingGranted() const = 0;
    // Whether screen recording is a permission here at all. Where it is not
    // (X11), it is granted, and nothing has to read the window list to find
    // out, which may hold no other application's window (as at login).
    virtual bool gatesScreenRecording() const { return true; }
    // Creating a display stream: records the request; false when no stream
    // can be made.
    virtual bool createDisplayStream(CGDirectDisplayID display) = 0;
    // The platform's older global switch for assistive devices.
    virtual bool isAssistiveAccessEnabled() const = 0;

    // Opens a web or mail address with the desktop's own opener; false,
    // with the reason logged, when it cannot. A desktop of its own making
    // (the simulated one) has none: the address goes nowhere.
    virtual bool openURL(const std::string&) { return true; }

    // Processes, in launch order.
    virtual pid_t ownProcessIdentifier() const = 0;
    virtual std::vector<DesktopApp> runningApplications() const = 0;
    virtual std::optional<DesktopApp> application(pid_t pid) const = 0;
    virtual pid_t frontmostApplication() const = 0;
    virtual bool hideApplication(pid_t pid) = 0;
    virtual bool unhideApplication(pid_t pid) = 0;
    virtual bool terminateApplication(pid_t pid, bool force) = 0;
    // Brings a process to the front: all its windows, or only its frontmost.
    virtual bool activateApplication(pid_t pid, bool frontWindowOnly) = 0;
    // Starts a program as an application (see DesktopLaunchRequest). The
    // application it becomes; nothing, with the reason, when the program
    // cannot start.
    virtual std::optional<DesktopApp> startApplication(const DesktopLaunchRequest& request, std::string* error) = 0;

    // Every window, front to back.
    virtual std::vector<DesktopWindow> windows() const = 0;
    virtual std::optional<DesktopWindow> window(CGWindowID number) const = 0;
    // The window's pixels as they are now; nothing for a window that is gone.
    virtual std::optional<DesktopImage> captureWindow(CGWindowID number) = 0;

    // Spaces. Every display offers its spaces and shows one of them; when
    // screens do not have separate spaces, one list serves every display
    // and is given once, for the main display. A window is on one space, or
    // on every space (its DesktopWindow::space is 0).
    virtual std::vector<DesktopDisplaySpaces> displaySpaces() const = 0;
    virtual bool screensHaveSeparateSpaces() const = 0;
    // The space the user works in now; 0 when there is none.
    virtual uint64_t activeSpace() const = 0;
    // Puts a window of another process on one of the spaces (it leaves the
    // one it was on). False for a window or a space the desktop does not
    // have.
    virtual bool moveWindowToSpace(CGWindowID number, uint64_t space) = 0;

    // Accessibility.
    // How long the accessibility request being made on this thread may wait
    // for an application that is slow to answer (seconds); 0 while no
    // request sets one, and the desktop waits as long as it does by itself.
    static double messagingTimeout();
    // Sets the wait of the requests made on this thread while it exists.
    class MessagingTimeoutScope {
    public:
        explicit MessagingTimeoutScope(double seconds);
        ~MessagingTimeoutScope();
        MessagingTimeoutScope(const MessagingTimeoutScope&) = delete;
        MessagingTimeoutScope& operator=(const MessagingTimeoutScope&) = delete;

    private:
        double m_previous;
    };
    virtual AXError axCopyAttribute(const DesktopElement&, const std::string& attribute, DesktopAXValue& value) = 0;
    virtual AXError axAttributeNames(const DesktopElement&, std::vector<std::string>& names) = 0;
    virtual AXError axIsAttributeSettable(const DesktopElement&, const std::string& attribute, bool& settable) = 0;
    virtual AXError axSetAttribute(const DesktopElement&, const std::string& attribute, const DesktopAXValue& value) = 0;
    virtual AXError axPerformAction(const DesktopElement&, const std::string& action) = 0;
    virtual AXError axWindowNumber(const DesktopElement&, CGWindowID& number) = 0;
    virtual AXError axProcessIdentifier(const DesktopElement&, pid_t& pid) = 0;
    // Whether the element still exists.
    virtual bool axElementIsValid(const DesktopElement&) const = 0;

    // Display services.
    virtual CGDirectDisplayID mainDisplay() const = 0;
    // Asks the display's framebuffer service for a probe with the options.
    virtual bool requestDisplayProbe(CGDirectDisplayID display, uint32_t options) = 0;

    // This process's own presence on the desktop, as the application
    // framework announces it. The activation policy decides whether the
    // process has a Dock icon (regular) or not.
    virtual void setOwnActivationPolicy(ActivationPolicy policy) = 0;
    // This process's windows. A window is registered (out of sight, behind
    // all others) and gets its number; an update changes its title, frame,
    // level, buttons and main status; the content function hands out what
    // the window shows, on any thread (the desktop calls it when it
    // composites or captures the window), as the drawing keeps it (see
    // DesktopFrame), so that the desktop copies the pixels only once. Calls
    // about a number that is not one of this process's windows do nothing.
    virtual CGWindowID registerOwnWindow(DesktopWindow window) = 0;
    virtual void updateOwnWindow(const DesktopWindow& window) = 0;
    virtual void removeOwnWindow(CGWindowID number) = 0;
    virtual void setOwnWindowContent(CGWindowID number, std::function<DesktopFrame()> content) = 0;
    // Puts one of this process's windows in front of every window, or
    // behind them all.
    virtual void orderOwnWindow(CGWindowID number, bool front) = 0;
    // Whether the desktop has a status area of its own for processes'
    // status items (a system tray): the status bar then shows each item in
    // a window of this process marked as a status item, which the desktop
    // places there. Without one the items are kept but not shown.
    virtual bool hasStatusArea() const { return false; }
    // What lies beneath one of this process's windows within the area
    // (desktop coordinates, top-left origin, like window frames; whole
    // pixels): the screens and every other window of the window's level
    // and the levels below it, as the desktop shows them, as though the
    // window stood in front of its level. A window asks for it just before
    // it comes to the front, to show what it covers (a behind-window
    // visual effect). The image has the area's size. Nothing when the
    // number is not one of this process's windows or the desktop cannot
    // read what lies there (a real screen that already shows the window).
    // With a reduction (2 to 16) a desktop that composes the picture itself
    // may answer it shrunk by that whole factor, each pixel standing for a
    // block of reduction x reduction pixels (the size rounded up): a blur
    // drawn at a fraction of its size then costs the desktop a fraction of
    // the work. A desktop that reads whole pixels answers the area's size;
    // the caller tells the two apart by the image's size.
    virtual std::optional<DesktopImage> captureBelowOwnWindow(CGWindowID number, const CGRect& area, int reduction = 1) = 0;
    // One of this process's windows painted: a desktop that shows them on a
    // real screen takes its pixels now (the simulated one reads them when
    // it composites).
    virtual void ownWindowPainted(CGWindowID) { }
    // The hot keys this process registered (virtual key code and Carbon
    // modifier bits): a desktop that hands keys to a process only where it
    // asks for them (a real X11 session) makes them reach it.
    virtual void setRegisteredHotKeys(std::vector<DesktopSymbolicHotKey>) { }

    // Posts an input event into the window server's stream.
    virtual void postEvent(const DesktopInputEvent& event) = 0;

    // The keyboard as the input stream has taken it so far: the modifier
    // flags held (event flag bits: Caps Lock, Shift, Control, Option,
    // Command, Function) and the virtual key codes of every key down,
    // modifier keys included.
    virtual uint64_t keyboardModifierFlags() const = 0;
    virtual std::vector<uint16_t> pressedKeyCodes() const = 0;
    // The desktop's own keyboard shortcuts.
    virtual std::vector<DesktopSymbolicHotKey> symbolicHotKeys() const = 0;

    // Input. Every key, modifier and mouse event the desktop receives, from
    // the hardware or posted by a process, goes to the input router: the
    // window server's input stream (services/EventStream.h), which the
    // start-up installs with the desktop (PlatformInstallDesktop). It takes
    // the events one at a time with takeInput, carries them through the
    // event taps and the hot keys and ends each with deliverInput and
    // processInput. With `now`, the router carries the event before the
    // call returns when it can (see sendHardwareInput). An event that
    // arrives before a router is installed is dropped with a message.
    using InputRouter = std::function<void(const DesktopInputEvent&, bool now)>;
    static void setInputRouter(InputRouter router);
    // An event of the hardware (a person's keyboard or mouse): the pointer
    // and the buttons follow a mouse event at once, and the event enters the
    // stream at the HID level. With `now`, called on the main thread, the
    // event travels the whole way before the call returns, unless an earlier
    // event is still on its way through the event taps or has to wait for a
    // tap's run loop; it then follows in turn.
    virtual void sendHardwareInput(const DesktopInputEvent& event, bool now) = 0;
    // The stream takes the event: the keyboard state follows it.
    virtual void takeInput(const DesktopInputEvent& event) = 0;
    // Gives the event to an application: a key event to the frontmost one,
    // a mouse event to the one whose window is under the pointer (the one
    // that took the press, for drags and the release). Returns its pid, 0
    // when no application takes it.
    virtual pid_t deliverInput(const DesktopInputEvent& event) = 0;
    // This process's input handler hears of an event and its receiver.
    static void processInput(const DesktopInputEvent& event, pid_t receiver);
    // This process's end of the stream: the application framework takes
    // every event the desktop gives an application, its own (to dispatch to
    // its windows) and other applications' (for its global monitors).
    using ProcessInputHandler = std::function<void(const DesktopInputEvent& event, pid_t receiver)>;
    static void setProcessInputHandler(ProcessInputHandler handler);

    // Events, delivered synchronously on the thread that caused them; the
    // services move them to the main run loop.
    using Listener = std::function<void(const DesktopEvent&)>;
    [[nodiscard]] virtual Token subscribe(Listener listener) = 0;

    // Events of whichever desktop is current: the registration moves along
    // when another desktop is installed.
    [[nodiscard]] static Token subscribeToCurrent(Listener listener);

protected:
    // Sends an event that the desktop received on its way (see above).
    static void routeInput(const DesktopInputEvent& event, bool now = false);
};

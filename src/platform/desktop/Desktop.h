// The desktop the platform services talk to: screens, processes, windows,
// their accessibility elements, permissions, mouse and keyboard. The
// simulated desktop (sim/) is the backend used by default and in tests.
#pragma once

#include "DesktopTypes.h"

#include <foundation/Token.h>

#include <functional>
#include <memory>

class Desktop {
public:
    virtual ~Desktop() = default;

    // The installed desktop. Until one is installed this is an empty
    // simulated desktop.
    static Desktop& current();
    static std::shared_ptr<Desktop> currentShared();
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
    // Creating a display stream: records the request; false when no stream
    // can be made.
    virtual bool createDisplayStream(CGDirectDisplayID display) = 0;
    // The platform's older global switch for assistive devices.
    virtual bool isAssistiveAccessEnabled() const = 0;

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

    // Every window, front to back.
    virtual std::vector<DesktopWindow> windows() const = 0;
    virtual std::optional<DesktopWindow> window(CGWindowID number) const = 0;
    // The window's pixels as they are now; nothing for a window that is gone.
    virtual std::optional<DesktopImage> captureWindow(CGWindowID number) = 0;

    // Accessibility.
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
    // the hardware or posted by a process, is routed: through the input
    // router when one is installed (the event services install theirs:
    // event taps, then hot keys), which takes the events one at a time with
    // takeInput and ends each with deliverInput. Without a router each event
    // is taken and delivered on the main run loop.
    using InputRouter = std::function<void(const DesktopInputEvent&)>;
    static void setInputRouter(InputRouter router);
    // The stream takes the event: the keyboard state follows it.
    virtual void takeInput(const DesktopInputEvent& event) = 0;
    // Gives the event to an application: a key event to the frontmost one,
    // a mouse event to the one whose window is under the pointer (the one
    // that took the press, for drags and the release). Returns its pid, 0
    // when no application takes it.
    virtual pid_t deliverInput(const DesktopInputEvent& event) = 0;

    // Events, delivered synchronously on the thread that caused them; the
    // services move them to the main run loop.
    using Listener = std::function<void(const DesktopEvent&)>;
    [[nodiscard]] virtual Token subscribe(Listener listener) = 0;

    // Events of whichever desktop is current: the registration moves along
    // when another desktop is installed.
    [[nodiscard]] static Token subscribeToCurrent(Listener listener);

protected:
    // Sends an event that the desktop received on its way (see above).
    static void routeInput(const DesktopInputEvent& event);
};

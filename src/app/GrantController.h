// The permission window: guides the user through granting Screen Recording
// and Accessibility. It runs modally at start while either is missing,
// polls both every few seconds and shows each one's state, and its buttons
// start the system's request flows, copy a command for the terminal, or
// start a feedback e-mail. Closing it ends the modal run.
#pragma once

#include <appkit/NSButton.h>
#include <appkit/NSImageView.h>
#include <appkit/NSTextField.h>
#include <appkit/NSWindow.h>
#include <appkit/NSWindowController.h>
#include <foundation/NSTimer.h>

#include <string>

class GrantController : public NSWindowController, public NSWindowDelegate {
public:
    // How often the permissions are asked again while the window is up.
    static constexpr double kPollInterval = 3.0;
    static inline const std::string kFeedbackAddress = "feedback@quorvex.example.org";
    static inline const std::string kFeedbackSubject = "Quorvex: Feedback/Problem";
    static inline const std::string kGrantedTitle = "Access Granted";
    static inline const std::string kRequestTitle = "Request Access";

    // init: the interface file named after the class ("GrantController").
    GrantController();
    ~GrantController() override;

    // The poll timer; null or invalid while not polling.
    const Ref<NSTimer>& timer() const { return m_timer; }

    // Outlets, connected by the interface file. The finder button and light
    // are part of the file; the code never changes them.
    const Ref<NSButton>& screenBtn() const { return m_screenBtn; }
    void setScreenBtn(const Ref<NSButton>& button) { m_screenBtn = button; }
    const Ref<NSButton>& accesibilityBtn() const { return m_accesibilityBtn; }
    void setAccesibilityBtn(const Ref<NSButton>& button) { m_accesibilityBtn = button; }
    const Ref<NSButton>& finderBtn() const { return m_finderBtn; }
    void setFinderBtn(const Ref<NSButton>& button) { m_finderBtn = button; }
    const Ref<NSImageView>& screenStatus() const { return m_screenStatus; }
    void setScreenStatus(const Ref<NSImageView>& view) { m_screenStatus = view; }
    const Ref<NSImageView>& accesibilityStatus() const { return m_accesibilityStatus; }
    void setAccesibilityStatus(const Ref<NSImageView>& view) { m_accesibilityStatus = view; }
    const Ref<NSImageView>& finderStatus() const { return m_finderStatus; }
    void setFinderStatus(const Ref<NSImageView>& view) { m_finderStatus = view; }
    const Ref<NSTextField>& terminalField() const { return m_terminalField; }
    void setTerminalField(const Ref<NSTextField>& field) { m_terminalField = field; }

    // Shows the state, then polls while a permission is missing; the poll
    // also runs during the modal run.
    void windowDidLoad() override;
    // Replaces the poll timer: a repeating one while a permission is
    // missing, none once both are granted.
    void sheduleTimer();
    void onTimer();
    // Each permission's light and button title; with both granted the
    // window is centred.
    void updateControlsState();

    // Actions (also by selector: "screen:", "accessibility:", "contact:",
    // "cipyToClipboard:", "dontShow:", "closeWindow:").
    void screen(const Ref<NSObject>& sender);
    void accessibility(const Ref<NSObject>& sender);
    void contact(const Ref<NSObject>& sender);
    void cipyToClipboard(const Ref<NSObject>& sender);
    void dontShow(const Ref<NSObject>& sender);
    // Ends the modal run and the polling; the caller closes the window.
    void closeWindow(const Ref<NSObject>& sender);

    bool accessibilityEnabled() const;
    void openAccessibility();
    // Puts the window in the bottom-right corner of its screen, out of the
    // way of the system's request dialogs.
    void moveWindow();

    // The feedback e-mail link: the address and subject, spaces as "%20".
    static std::string feedbackMailURL();

    // NSWindowDelegate. Closing the window from its title bar ends the
    // modal run and the polling as the close action does.
    void windowWillClose(NSWindow& window) override;

private:
    void invalidateTimer();

    Ref<NSTimer> m_timer;
    Ref<NSButton> m_screenBtn;
    Ref<NSButton> m_accesibilityBtn;
    Ref<NSButton> m_finderBtn;
    Ref<NSImageView> m_screenStatus;
    Ref<NSImageView> m_accesibilityStatus;
    Ref<NSImageView> m_finderStatus;
    Ref<NSTextField> m_terminalField;
};

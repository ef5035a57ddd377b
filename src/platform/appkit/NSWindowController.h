// Window controllers: own one window, loaded on first request from the
// interface file given (or named after the controller when it asks for
// one), and follow the window in the responder chain.
#pragma once

#include "NSResponder.h"

#include <string>

class NSWindow;

class NSWindowController : public NSResponder {
public:
    // A controller without a window or file; a subclass may load one.
    NSWindowController() = default;
    // initWithWindowNibName:.
    explicit NSWindowController(std::string windowNibName);
    // initWithWindow:.
    explicit NSWindowController(const Ref<NSWindow>& window);
    ~NSWindowController() override;

    // Loads the window on first request (windowWillLoad, loadWindow,
    // windowDidLoad).
    const Ref<NSWindow>& window();
    void setWindow(const Ref<NSWindow>& window);
    bool isWindowLoaded() const { return static_cast<bool>(m_window); }
    const std::string& windowNibName() const { return m_windowNibName; }

    virtual void windowWillLoad() { }
    // Runs the interface file; a missing file is logged and leaves the
    // controller without a window.
    virtual void loadWindow();
    virtual void windowDidLoad() { }

    // Makes the window key and orders it front.
    void showWindow(const Ref<NSObject>& sender);
    void close();

private:
    std::string m_windowNibName;
    Ref<NSWindow> m_window;
    bool m_loading { false };
};

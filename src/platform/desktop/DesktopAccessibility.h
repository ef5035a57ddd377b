// The accessibility answers every desktop gives the same way. A backend
// checks the element, finds what it knows of it (an application record, a
// window described as DesktopWindow) and lets these functions answer, so
// the simulated and the X11 desktops cannot drift apart.
#pragma once

#include "DesktopTypes.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

// A boolean as accessibility clients send it: a bool or a number.
bool desktopAXBool(const DesktopAXValue& value, bool& out);

// The system-wide element's attributes; frontmost is 0 when no application is.
AXError desktopAXSystemWideAttribute(pid_t frontmost, const std::string& attribute, DesktopAXValue& value);

// What an application element answers from.
struct DesktopAXApplication {
    const DesktopApp& app;
    bool frontmost;
    // The windows of the current space, minimised ones included, front first.
    std::function<std::vector<DesktopElement>()> windows;
    // The application's front window, if it has one.
    std::function<std::optional<DesktopElement>()> frontWindow;
};
AXError desktopAXApplicationAttribute(
    const DesktopAXApplication& application, const std::string& attribute, DesktopAXValue& value);

// A window's attributes; focused tells whether it is the focused window.
AXError desktopAXWindowAttribute(
    const DesktopWindow& window, bool focused, const std::string& attribute, DesktopAXValue& value);

// A title-bar button's attributes (kind: close, zoom or minimise), its frame
// in the accessibility space.
AXError desktopAXButtonAttribute(DesktopElement::Kind kind, const DesktopWindow& window, const CGRect& frame,
    const std::string& attribute, DesktopAXValue& value);

// Whether the attribute can be set; window is the window's description for
// a window element and null otherwise.
AXError desktopAXAttributeSettable(
    DesktopElement::Kind kind, const DesktopWindow* window, const std::string& attribute, bool& settable);

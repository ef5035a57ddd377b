#include "DesktopAccessibility.h"

namespace {

DesktopElement windowElementOf(const DesktopWindow& w) { return { DesktopElement::Kind::Window, w.pid, w.number }; }

}

bool desktopAXBool(const DesktopAXValue& value, bool& out)
{
    if (auto b = std::get_if<bool>(&value))
        out = *b;
    else if (auto i = std::get_if<int64_t>(&value))
        out = *i != 0;
    else if (auto d = std::get_if<double>(&value))
        out = *d != 0;
    else
        return false;
    return true;
}

AXError desktopAXSystemWideAttribute(pid_t frontmost, const std::string& attribute, DesktopAXValue& value)
{
    if (attribute == "AXRole") {
        value = std::string("AXSystemWide");
        return kAXErrorSuccess;
    }
    if (attribute == "AXFocusedApplication") {
        if (!frontmost)
            return kAXErrorNoValue;
        value = DesktopElement { DesktopElement::Kind::Application, frontmost, 0 };
        return kAXErrorSuccess;
    }
    return kAXErrorAttributeUnsupported;
}

AXError desktopAXApplicationAttribute(
    const DesktopAXApplication& application, const std::string& attribute, DesktopAXValue& value)
{
    if (attribute == "AXRole") {
        value = std::string("AXApplication");
    } else if (attribute == "AXTitle") {
        value = application.app.name;
    } else if (attribute == "AXHidden") {
        value = application.app.hidden;
    } else if (attribute == "AXFrontmost") {
        value = application.frontmost;
    } else if (attribute == "AXWindows") {
        value = application.windows();
    } else if (attribute == "AXFocusedWindow" || attribute == "AXMainWindow") {
        auto front = application.frontWindow();
        if (!front)
            return kAXErrorNoValue;
        value = *front;
    } else {
        return kAXErrorAttributeUnsupported;
    }
    return kAXErrorSuccess;
}

AXError desktopAXWindowAttribute(
    const DesktopWindow& w, bool focused, const std::string& attribute, DesktopAXValue& value)
{
    if (attribute == "AXRole") {
        value = w.role;
    } else if (attribute == "AXSubrole") {
        if (!w.subrole)
            return kAXErrorNoValue;
        value = *w.subrole;
    } else if (attribute == "AXTitle") {
        if (!w.title)
            return kAXErrorNoValue;
        value = *w.title;
    } else if (attribute == "AXPosition") {
        value = w.frame.origin;
    } else if (attribute == "AXSize") {
        value = w.frame.size;
    } else if (attribute == "AXMinimized") {
        value = w.minimized;
    } else if (attribute == "AXFullScreen") {
        value = w.fullScreen;
    } else if (attribute == "AXMain") {
        value = w.isMain;
    } else if (attribute == "AXFocused") {
        value = focused;
    } else if (attribute == "AXParent") {
        // A sheet floating above its window has no application parent.
        if (w.role == "AXSheet" && w.layer != 0)
            return kAXErrorNoValue;
        value = DesktopElement { DesktopElement::Kind::Application, w.pid, 0 };
    } else if (attribute == "AXCloseButton" || attribute == "AXZoomButton" || attribute == "AXMinimizeButton") {
        bool close = attribute == "AXCloseButton", zoom = attribute == "AXZoomButton";
        if (!(close ? w.hasCloseButton : zoom ? w.hasZoomButton : w.hasMinimizeButton))
            return kAXErrorNoValue;
        auto kind = close ? DesktopElement::Kind::CloseButton
            : zoom        ? DesktopElement::Kind::ZoomButton
                          : DesktopElement::Kind::MinimizeButton;
        value = DesktopElement { kind, w.pid, w.number };
    } else {
        return kAXErrorAttributeUnsupported;
    }
    return kAXErrorSuccess;
}

AXError desktopAXButtonAttribute(DesktopElement::Kind kind, const DesktopWindow& w, const CGRect& frame,
    const std::string& attribute, DesktopAXValue& value)
{
    if (attribute == "AXRole") {
        value = std::string("AXButton");
    } else if (attribute == "AXSubrole") {
        value = std::string(kind == DesktopElement::Kind::CloseButton ? "AXCloseButton"
                : kind == DesktopElement::Kind::ZoomButton            ? "AXZoomButton"
                                                                      : "AXMinimizeButton");
    } else if (attribute == "AXPosition") {
        value = frame.origin;
    } else if (attribute == "AXSize") {
        value = frame.size;
    } else if (attribute == "AXParent") {
        value = windowElementOf(w);
    } else {
        return kAXErrorAttributeUnsupported;
    }
    return kAXErrorSuccess;
}

AXError desktopAXAttributeSettable(
    DesktopElement::Kind kind, const DesktopWindow* w, const std::string& attribute, bool& settable)
{
    settable = false;
    if (kind == DesktopElement::Kind::Application) {
        settable = attribute == "AXHidden" || attribute == "AXFrontmost";
        return kAXErrorSuccess;
    }
    if (kind != DesktopElement::Kind::Window || !w)
        return kAXErrorSuccess;
    if (attribute == "AXPosition")
        settable = w->movable;
    else if (attribute == "AXSize" || attribute == "AXFullScreen")
        settable = w->resizable;
    else if (attribute == "AXMain" || attribute == "AXMinimized" || attribute == "AXFocused")
        settable = true;
    else if (attribute != "AXTitle" && attribute != "AXRole" && attribute != "AXSubrole")
        return kAXErrorAttributeUnsupported;
    return kAXErrorSuccess;
}

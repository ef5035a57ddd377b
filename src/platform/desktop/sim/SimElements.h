// Helpers the simulated desktop's halves share about accessibility elements.
#pragma once

#include "../DesktopTypes.h"

#include <string>

// How an element is written in the call log.
inline std::string elementText(const DesktopElement& e)
{
    switch (e.kind) {
    case DesktopElement::Kind::SystemWide:
        return "systemwide";
    case DesktopElement::Kind::Application:
        return "app:" + std::to_string(e.pid);
    case DesktopElement::Kind::Window:
        return "window:" + std::to_string(e.window);
    case DesktopElement::Kind::CloseButton:
        return "close:" + std::to_string(e.window);
    case DesktopElement::Kind::ZoomButton:
        return "zoom:" + std::to_string(e.window);
    case DesktopElement::Kind::MinimizeButton:
        return "minimize:" + std::to_string(e.window);
    }
    return "?";
}

// The accessibility element of a window.
inline DesktopElement windowElement(const DesktopWindow& w) { return { DesktopElement::Kind::Window, w.pid, w.number }; }

#include "NSWindowController.h"

#include "NSNib.h"
#include "NSWindow.h"

NSWindowController::NSWindowController(std::string windowNibName)
    : m_windowNibName(std::move(windowNibName))
{
}

NSWindowController::NSWindowController(const Ref<NSWindow>& window) { setWindow(window); }

NSWindowController::~NSWindowController()
{
    if (m_window && m_window->windowController() == this)
        m_window->setWindowController(nullptr);
}

const Ref<NSWindow>& NSWindowController::window()
{
    if (!m_window && !m_loading && !m_windowNibName.empty()) {
        m_loading = true;
        windowWillLoad();
        loadWindow();
        m_loading = false;
        if (m_window)
            windowDidLoad();
    }
    return m_window;
}

void NSWindowController::setWindow(const Ref<NSWindow>& window)
{
    if (window == m_window)
        return;
    if (m_window && m_window->windowController() == this)
        m_window->setWindowController(nullptr);
    m_window = window;
    if (window)
        window->setWindowController(this);
}

void NSWindowController::loadWindow() { NSNib::loadNibNamed(m_windowNibName, *this); }

void NSWindowController::showWindow(const Ref<NSObject>& sender)
{
    if (auto w = window())
        w->makeKeyAndOrderFront(sender);
}

void NSWindowController::close()
{
    if (m_window)
        m_window->close();
}

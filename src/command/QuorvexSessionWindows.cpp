// The session commands that use the application's own windows: the status
// menu, clicks on controls by what they show, typing, window pictures and
// the checks that go with them.
#include <app/AppDelegate.h>
#include <app/KSShortcutView.h>
#include <app/LoginItemController.h>
#include "QuorvexSession.h"

#include <appkit/NSApplication.h>
#include <appkit/NSButton.h>
#include <appkit/NSEvent.h>
#include <appkit/NSMenu.h>
#include <appkit/NSPopUpButton.h>
#include <appkit/NSStatusBar.h>
#include <appkit/NSTextField.h>
#include <appkit/NSToolbar.h>
#include <appkit/NSToolbarItem.h>
#include <appkit/NSWindow.h>
#include <foundation/RunLoop.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace {

void settle() { RunLoop::main().runUntilIdle(); }

std::vector<Ref<NSWindow>> visibleWindows()
{
    std::vector<Ref<NSWindow>> windows;
    for (const auto& window : NSApp().orderedWindows())
        if (window->isVisible())
            windows.push_back(window);
    return windows;
}

void collectViews(const Ref<NSView>& view, std::vector<Ref<NSView>>& views)
{
    if (!view || view->isHidden())
        return;
    views.push_back(view);
    for (const auto& subview : view->subviews())
        collectViews(subview, views);
}

bool isLabel(const Ref<NSView>& view)
{
    auto field = std::dynamic_pointer_cast<NSTextField>(view);
    return field && !field->isEditable();
}

// What a control shows a person, as one text.
std::string shownText(const Ref<NSView>& view)
{
    if (auto recorder = std::dynamic_pointer_cast<KSShortcutView>(view))
        return recorder->currentTitle();
    if (auto popUp = std::dynamic_pointer_cast<NSPopUpButton>(view))
        return popUp->titleOfSelectedItem();
    if (auto button = std::dynamic_pointer_cast<NSButton>(view))
        return button->title();
    if (auto field = std::dynamic_pointer_cast<NSTextField>(view))
        return field->stringValue();
    return {};
}

bool isControl(const Ref<NSView>& view)
{
    return std::dynamic_pointer_cast<NSControl>(view) || std::dynamic_pointer_cast<KSShortcutView>(view);
}

CGRect frameOnScreen(const Ref<NSView>& view)
{
    CGRect inWindow = view->convertRectToView(view->bounds(), nullptr);
    return view->window()->convertRectToScreen(inWindow);
}

// The control showing the text, or the n-th control to the right of the
// label showing it, in the front-most window that has one.
Ref<NSView> findControl(const std::string& text, long n)
{
    for (const auto& window : visibleWindows()) {
        std::vector<Ref<NSView>> views;
        collectViews(window->contentView(), views);
        for (const auto& view : views)
            if (isControl(view) && !isLabel(view) && shownText(view) == text)
                return view;
        for (const auto& view : views) {
            if (!isLabel(view) || shownText(view) != text)
                continue;
            CGRect label = frameOnScreen(view);
            std::vector<std::pair<CGFloat, Ref<NSView>>> row;
            for (const auto& other : views) {
                if (!isControl(other) || isLabel(other))
                    continue;
                CGRect frame = frameOnScreen(other);
                if (frame.origin.x >= CGRectGetMaxX(label) && CGRectGetMidY(label) >= frame.origin.y
                    && CGRectGetMidY(label) <= CGRectGetMaxY(frame))
                    row.emplace_back(frame.origin.x, other);
            }
            std::sort(row.begin(), row.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
            if (n >= 1 && n <= static_cast<long>(row.size()))
                return row[n - 1].second;
        }
    }
    return nullptr;
}

Ref<NSToolbarItem> findToolbarItem(const std::string& label)
{
    for (const auto& window : visibleWindows())
        if (auto toolbar = window->toolbar())
            for (const auto& item : toolbar->items())
                if (item->label() == label)
                    return item;
    return nullptr;
}

void clickAt(CGPoint screen)
{
    NSApp().deliverInputEvent(NSEvent::mouseEventWithType(NSEventTypeLeftMouseDown, screen));
    NSApp().deliverInputEvent(NSEvent::mouseEventWithType(NSEventTypeLeftMouseUp, screen));
    settle();
}

}

QuorvexSession::Status QuorvexSession::menu(const Line& t)
{
    if (t.size() != 2)
        return usage(t, "menu \"ITEM\"");
    auto delegate = std::dynamic_pointer_cast<AppDelegate>(NSApp().delegate());
    auto item = delegate ? delegate->statusItem() : nullptr;
    auto menu = item ? item->menu() : nullptr;
    if (!menu)
        return fail(t, "there is no status-bar menu", ExpectationFailed);
    auto chosen = menu->itemWithTitle(t[1]);
    if (!chosen || !menu->performActionForItemAtIndex(menu->indexOfItem(chosen)))
        return fail(t, "the status-bar menu has no item \"" + t[1] + "\" that works", ExpectationFailed);
    settle();
    return Passed;
}

QuorvexSession::Status QuorvexSession::click(const Line& t)
{
    settle();
    char* endX = nullptr;
    char* endY = nullptr;
    if (t.size() == 3) {
        double x = std::strtod(t[1].c_str(), &endX), y = std::strtod(t[2].c_str(), &endY);
        if (endX && !*endX && endY && !*endY && std::isfinite(x) && std::isfinite(y)) {
            clickAt(CGPointMake(x, y));
            return Passed;
        }
    }
    if (t.size() < 2 || t.size() > 3)
        return usage(t, "click \"TEXT\" [N] | click X Y");
    long n = 1;
    if (t.size() == 3) {
        char* end = nullptr;
        n = std::strtol(t[2].c_str(), &end, 10);
        if (!end || *end || n < 1)
            return usage(t, "click \"TEXT\" [N] (N from 1)");
    }
    // An item of the open list is clicked where its menu window shows it; a
    // click on anything else closes the list first, as it does for a person.
    if (auto open = NSPopUpButton::openPopUp()) {
        auto menuWindow = open->menuWindow();
        auto item = open->menu()->itemWithTitle(t[1]);
        if (menuWindow && item) {
            CGRect row = menuWindow->screenRectOfItemAtIndex(open->menu()->indexOfItem(item));
            clickAt(CGPointMake(CGRectGetMidX(row), CGRectGetMidY(row)));
            return Passed;
        }
        open->dismiss();
        settle();
    }
    if (auto item = findToolbarItem(t[1])) {
        item->performClick();
        settle();
        return Passed;
    }
    auto control = findControl(t[1], n);
    if (!control)
        return fail(t, "no control shows \"" + t[1] + "\"", ExpectationFailed);
    CGRect frame = frameOnScreen(control);
    clickAt(CGPointMake(CGRectGetMidX(frame), CGRectGetMidY(frame)));
    return Passed;
}

QuorvexSession::Status QuorvexSession::type(const Line& t)
{
    if (t.size() != 2)
        return usage(t, "type \"TEXT\"");
    for (char c : t[1]) {
        bool shifted = std::isupper(static_cast<unsigned char>(c));
        std::string name = c == ' ' ? std::string("space") : std::string(1, static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
        auto key = keyCodeForName(name);
        if (!key)
            return fail(t, std::string("no key types \"") + c + "\"", ScriptError);
        uint64_t flags = m_desktop.keyboardModifierFlags();
        if (shifted)
            m_desktop.setModifierFlags(flags | kCGEventFlagMaskShift);
        m_desktop.pressKey(*key);
        m_desktop.releaseKey(*key);
        if (shifted)
            m_desktop.setModifierFlags(flags);
        settle();
    }
    return Passed;
}

QuorvexSession::Status QuorvexSession::appearance(const Line& t)
{
    // As the desktop's dark mode switches it: windows without an appearance
    // of their own draw in the application's.
    if (t.size() != 2 || (t[1] != "dark" && t[1] != "light"))
        return usage(t, "appearance dark|light");
    NSApp().setAppearance(t[1] == "dark" ? NSAppearanceNameDarkAqua : NSAppearanceNameAqua);
    settle();
    return Passed;
}

QuorvexSession::Status QuorvexSession::windowshot(const Line& t)
{
    if (t.size() != 2 || !isPlainName(t[1]))
        return usage(t, "windowshot NAME (letters, digits, - and _)");
    settle();
    auto windows = visibleWindows();
    if (windows.empty())
        return fail(t, "the application shows no window", ExpectationFailed);
    std::error_code error;
    std::filesystem::create_directories(m_outDirectory, error);
    std::string path = m_outDirectory + "/" + t[1] + ".png";
    if (!windows.front()->writeRenderedPNG(path))
        return fail(t, "cannot write " + path, OutputError);
    m_out << "shot: " << path << "\n";
    return Passed;
}

QuorvexSession::Status QuorvexSession::expectChecked(const Line& t)
{
    if (t.size() != 3)
        return usage(t, "expect checked|unchecked \"TITLE\"");
    auto box = std::dynamic_pointer_cast<NSButton>(findControl(t[2], 1));
    if (!box)
        return fail(t, "no check box shows \"" + t[2] + "\"", ExpectationFailed);
    bool on = box->state() == NSControlStateValueOn;
    if (on != (t[1] == "checked"))
        return fail(t, std::string("saw it ") + (on ? "checked" : "unchecked"), ExpectationFailed);
    return Passed;
}

QuorvexSession::Status QuorvexSession::expectShows(const Line& t)
{
    if (t.size() != 3)
        return usage(t, "expect shows \"TEXT\"");
    if (!findControl(t[2], 1))
        return fail(t, "no control of a visible window shows it", ExpectationFailed);
    return Passed;
}

QuorvexSession::Status QuorvexSession::expectLoginItem(const Line& t)
{
    if (t.size() != 3 || (t[2] != "on" && t[2] != "off"))
        return usage(t, "expect login-item on|off");
    auto list = LSSharedFileListCreate(nullptr, kLSSharedFileListSessionLoginItems, {});
    bool on = LoginItemController::findItemWithURL(LoginItemController::appURL(), list) != nullptr;
    if (on != (t[2] == "on"))
        return fail(t, std::string("saw it ") + (on ? "on" : "off"), ExpectationFailed);
    return Passed;
}

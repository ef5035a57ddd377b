// The panel's keys, the commands they run on the selected window, and the
// hint line that names them.
#include "SwitchWindowController.h"

#include <appkit/NSAttributedString.h>
#include <appkit/NSBeep.h>
#include <foundation/Log.h>
#include <model/EBEventful.h>
#include <foundation/NSUserDefaults.h>
#include <graphics/NSColor.h>
#include <graphics/NSFont.h>
#include <model/DefaultsKeys.h>
#include <model/SWApplication.h>
#include <model/SWWindow.h>

#include <algorithm>
#include <cmath>

namespace {

// Key codes of the panel's commands.

constexpr CGFloat kHintFontSize = 12;
constexpr CGFloat kHintMinimumFontSize = 9;
// The gap kept between the hint line and the rows above it.
constexpr CGFloat kHintClearance = 4;

}

const std::string SwitchWindowController::kHintText
    = "Navigate: Tab, \u2190\u2191\u2193\u2192, Quit App, H - Hide App, "
      "W - Close Window, Return (\u21A9\uFE0E) - Acitvate, "
      "Minimize/de-minimize";

const std::vector<NSRange>& SwitchWindowController::hintUnderlineRanges()
{
    static const std::vector<NSRange> ranges
        = { { 10, 1 }, { 21, 1 }, { 31, 1 }, { 45, 1 }, { 71, 2 }, { 87, 1 } };
    return ranges;
}

void SwitchWindowController::monitorEvents()
{
    // The monitor only looks: every event goes on unchanged.
    m_eventMonitor = NSEvent::addLocalMonitorForEventsMatchingMask(
        NSEventMaskKeyDown | NSEventMaskKeyUp | NSEventMaskSystemDefined, [this](const Ref<NSEvent>& event) {
            auto window = this->window();
            if (event && event->type() == NSEventTypeKeyDown && window && event->window() == window)
                processKey(event);
            return event;
        });
}

void SwitchWindowController::processKey(const Ref<NSEvent>& event)
{
    // The hotkey's modifier is held while the panel is open; a bare key is
    // someone typing, not a command.
    if (!event || !(event->modifierFlags() & NSEventModifierFlagDeviceIndependentFlagsMask)) return;
    const auto& characters = event->charactersIgnoringModifiers();
    if (std::find(m_numKeyStrArray.begin(), m_numKeyStrArray.end(), characters) != m_numKeyStrArray.end()) {
        selectByKey(characters);
        return;
    }
    switch (event->keyCode()) {
    case kVK_ANSI_H:
        performHide();
        break;
    case kVK_ANSI_Q:
        performQuit();
        break;
    case kVK_ANSI_W:
        performClose();
        break;
    case kVK_Return:
        performSwitch();
        break;
    case kVK_ANSI_M:
        performMinimize();
        break;
    case kVK_Escape:
        cancel();
        break;
    default:
        break;
    }
}

void SwitchWindowController::selectByKey(const std::string& key)
{
    if (!m_arrayController || key.size() != 1 || key[0] < '0' || key[0] > '9') return;
    // "0" stands for the tenth entry, after "9".
    size_t position = key[0] == '0' ? 10 : static_cast<size_t>(key[0] - '0');
    if (position <= m_arrayController->content().size()) m_arrayController->setSelectionIndex(position - 1);
}

void SwitchWindowController::flagsChanged(const Ref<NSEvent>& event)
{
    auto window = this->window();
    if (window && window->isVisible()) {
        switchAndHide();
        return;
    }
    NSWindowController::flagsChanged(event);
}

void SwitchWindowController::switchAndHide()
{
    if (performSwitch()) _hideWindowWhitOutAnimation();
}

void SwitchWindowController::cancel()
{
    _hideWindow();
    returnFocus();
}

void SwitchWindowController::returnFocus()
{
    // The front window of that application is the one that had the focus:
    // opening the panel moved no other application's window. One that was
    // hidden or quit from the panel stays so.
    auto previous = std::exchange(m_previousFrontmost, nullptr);
    if (previous && !previous->isTerminated() && !previous->isHidden())
        previous->activateWithOptions(NSApplicationActivateIgnoringOtherApps);
}

Ref<SWWindow> SwitchWindowController::selectedWindow() const
{
    if (!m_arrayController) return nullptr;
    auto selected = m_arrayController->selectedObjects();
    return selected.empty() ? nullptr : selected.front().objectAs<SWWindow>();
}

bool SwitchWindowController::performSwitch()
{
    auto window = selectedWindow();
    if (!window) return true;
    bool focused = window->activateWindow();
    if (!window->isGone()) {
        // An application that does not answer cannot take the focus: leave
        // it where it was before the panel opened rather than with nothing.
        if (!focused) {
            auto app = window->app();
            NSLog("“%s” did not take the focus for its window (%u); the focus stays where it was",
                app ? app->appName().value_or("?") : std::string("?"), window->windowID());
            returnFocus();
        }
        return true;
    }
    NSBeep();
    NSLog("The chosen window (%u) no longer exists; it leaves the list", window->windowID());
    EBEventful::sharedInstance().sendEvent(
        WindowGoneEvent, selfRef<NSObject>(), Value(Value::Dictionary { { "Window", Value(window) } }));
    return false;
}

void SwitchWindowController::performMinimize()
{
    auto window = selectedWindow();
    if (!window) return;
    if (window->isWindowMinimized())
        window->unMinimize();
    else
        window->minimize();
}

void SwitchWindowController::performClose()
{
    auto window = selectedWindow();
    if (!window) return;
    m_selection = static_cast<int64_t>(m_arrayController->selectionIndex());
    window->close();
    setSelection();
}

void SwitchWindowController::performQuit()
{
    auto window = selectedWindow();
    if (!window) return;
    m_selection = static_cast<int64_t>(m_arrayController->selectionIndex());
    if (auto app = window->app()) app->kill();
    setSelection();
}

void SwitchWindowController::performHide()
{
    auto window = selectedWindow();
    if (!window) return;
    if (auto app = window->app()) {
        if (app->isHidden())
            app->unhide();
        else
            app->hide();
    }
    window->updatePreview();
}

void SwitchWindowController::setSelection()
{
    if (!m_arrayController) return;
    // The count still includes the window just closed or quit: the model
    // drops it later, and the same index then shows the next window. When
    // the closed window was the last entry, the array controller decides.
    auto count = static_cast<int64_t>(m_arrayController->content().size());
    if (count == 0) return;
    if (m_selection >= 0 && m_selection < count - 1)
        m_arrayController->setSelectionIndex(static_cast<NSUInteger>(m_selection));
}

Ref<NSAttributedString> SwitchWindowController::hintText(CGFloat fontSize) const
{
    auto text = makeRef<NSAttributedString>(kHintText);
    NSRange whole = { 0, text->length() };
    NSStringAttributes font;
    font.font = NSFont::fontWithName("Helvetica", fontSize);
    text->addAttributes(font, whole);
    NSStringAttributes underline;
    underline.underlineStyle = 1;
    for (const auto& range : hintUnderlineRanges())
        text->addAttributes(underline, range);
    NSStringAttributes color;
    color.foregroundColor = currentTheme() == 1 ? NSColor::blackColor() : NSColor::whiteColor();
    text->addAttributes(color, whole);
    return text;
}

void SwitchWindowController::keepLayoutClearOfHintLine(CGFloat lineTop)
{
    // The layout's view hangs kLayoutTopInset below the content view (its
    // bottom constraint), so a height above the content view's bottom is
    // that much more above the view's.
    if (auto layout = currentLayout()) layout->setBottomClearance(lineTop > 0 ? lineTop + kLayoutTopInset : 0);
}

void SwitchWindowController::setTooltips()
{
    bool show = NSUserDefaults::standardUserDefaults()->boolForKey(DefaultsKey::ShotcutsHints) && m_arrayController
        && m_arrayController->content().size() > 1;
    if (!show) {
        if (m_toolTipLabel) m_toolTipLabel->setHidden(true);
        keepLayoutClearOfHintLine(0);
        return;
    }

    auto text = hintText(kHintFontSize);
    if (!m_toolTipLabel) {
        auto label = makeRef<NSTextField>(CGRectZero);
        label->setDrawsBackground(false);
        label->setBordered(false);
        setToolTipLabel(label);
    }
    m_toolTipLabel->setHidden(false);
    m_toolTipLabel->setAttributedStringValue(text);
    m_toolTipLabel->sizeToFit();
    m_toolTipLabel->setEditable(false);
    m_toolTipLabel->setFrameOrigin(kHintOrigin);
    // A panel of two windows is narrower than the line: rather than run
    // past the panel's edge, the line takes a smaller size that fits with
    // the same margin on both sides.
    auto window = this->window();
    CGFloat room = window ? window->contentView()->bounds().size.width - 2 * kHintOrigin.x : 0;
    CGFloat width = m_toolTipLabel->frame().size.width;
    if (room > 0 && width > room) {
        CGFloat size = std::max(kHintMinimumFontSize, std::floor(kHintFontSize * room / width * 10) / 10);
        for (; size >= kHintMinimumFontSize; size -= 0.1) {
            m_toolTipLabel->setAttributedStringValue(hintText(size));
            m_toolTipLabel->sizeToFit();
            if (m_toolTipLabel->frame().size.width <= room) break;
        }
        m_toolTipLabel->setFrameOrigin(kHintOrigin);
    }
    m_toolTipLabel->removeFromSuperview();
    if (window) window->contentView()->addSubview(m_toolTipLabel);
    keepLayoutClearOfHintLine(CGRectGetMaxY(m_toolTipLabel->frame()) + kHintClearance);
}

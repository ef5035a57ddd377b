// The switcher panel: owns the panel window (a BaseWindow), puts the layout
// that "LayoutType" names into it, themes, sizes, shows and hides it, and
// runs the panel's keys and commands on the selected window.
//
// The hotkey controller makes one controller (create) and calls
// handleHotkeyWithWindowListWithArrayController at every switcher hotkey,
// with the array controller whose content is the window model's list.
//
// States: hidden (ordered out, alpha 0) and visible (key, alpha 1). The
// hotkey opens the panel; releasing or pressing a modifier switches to the
// selected window and hides it at once; Escape and the loss of key or main
// status hide it. When the hotkey's modifiers are already up as the panel
// opens, it switches and hides at once, so a quick press never leaves the
// panel open with nothing to close it.
#pragma once

#include "BaseWindow.h"
#include "SwitchViewControllerProtocol.h"
#include "SwitcherCodes.h"

#include <appkit/NSArrayController.h>
#include <appkit/NSAttributedString.h>
#include <appkit/NSEvent.h>
#include <appkit/NSRunningApplication.h>
#include <appkit/NSTextField.h>
#include <appkit/NSViewController.h>
#include <appkit/NSVisualEffectView.h>
#include <appkit/NSWindowController.h>

#include <string>
#include <vector>

class SWWindow;

class SwitchWindowController : public NSWindowController {
public:
    // Built with the interface file "SwitchWindowController".
    static Ref<SwitchWindowController> create();
    // What that file holds: a titled BaseWindow with the identifier
    // "SwitcherWindowIdentifier", set as the owner's window.
    static void buildInterfaceFile(NSObject& owner);
    ~SwitchWindowController() override;

    // Panel geometry and look.
    // Height added below the layout, and with the hint line shown.
    static constexpr CGFloat kExtraHeight = 40;
    static constexpr CGFloat kExtraHeightWithHints = 60;
    // The layout's view sits this far down from the content view's top (and
    // its bottom as far below the content view's bottom).
    static constexpr CGFloat kLayoutTopInset = 20;
    static constexpr CGFloat kCornerRadius = 16;
    static constexpr int kBackgroundBlurRadius = 20;
    static constexpr NSWindowLevel kFullScreenLevel = 1000;
    static constexpr CGPoint kHintOrigin = { 20, 10 };
    // The hint line and the ranges (UTF-16) of the keys it underlines.
    static const std::string kHintText;
    static const std::vector<NSRange>& hintUnderlineRanges();

    // The hotkey entry: opens the panel on the list, or, while it is open,
    // resizes it and steps the selection forward (the argument is ignored).
    // A hotkey without modifiers leaves the panel open until a key or a click
    // ends it: no release of a modifier is to come.
    void handleHotkeyWithWindowListWithArrayController(
        const Ref<NSArrayController>& arrayController, bool hotkeyHasModifiers = true);

    void windowDidLoad() override;
    // The array controller's count of arranged objects changed.
    void observeValueForKeyPath(const std::string& keyPath, const NSObject* object);
    // Re-arranges the list (bus event 3000 lands here on the main thread).
    void update1();

    // Layouts.
    void loadLayout();
    SwitcherLayout layoutType() const { return m_layoutType; }
    void setLayoutType(SwitcherLayout layoutType);
    const Ref<NSViewController>& currentViewController() const { return m_currentViewController; }
    void setCurrentViewController(const Ref<NSViewController>& controller);
    const Ref<NSArrayController>& arrayController() const { return m_arrayController; }

    // Look.
    // 1 for the light theme ("ThemeIndex" below 1), else 0.
    int currentTheme() const;
    NSVisualEffectMaterial material() const;
    double showDelay() const { return 0.0; }
    // The layout type is the carousel or "FullScreenMode" is on.
    bool isFullScreen() const;
    const Ref<NSVisualEffectView>& visualEffectView() const { return m_visualEffectView; }
    void setVisualEffectView(const Ref<NSVisualEffectView>& view) { m_visualEffectView = view; }
    const Ref<NSTextField>& toolTipLabel() const { return m_toolTipLabel; }
    void setToolTipLabel(const Ref<NSTextField>& label) { m_toolTipLabel = label; }
    void setupWindowAppearance();
    void setWindowParams();
    void setBackgroundImage();
    void setSelfSize();
    Ref<NSScreen> getActualScreen() const { return BaseWindow::actualScreen(); }
    int32_t listStyle() const;

    // Showing and hiding.
    void _showWindow();
    void _hideWindow();
    void _hideWindowWhitOutAnimation();
    void closeWindowOnLostFocus();
    void closeSwitcherWindow();

    // Set-up steps.
    void createVisualEffect();
    void createKeysArray();
    const std::vector<std::string>& numKeyStrArray() const { return m_numKeyStrArray; }

    // Keys and commands.
    void monitorEvents();
    void processKey(const Ref<NSEvent>& event);
    void selectByKey(const std::string& key);
    void flagsChanged(const Ref<NSEvent>& event) override;
    // The first selected window, or null.
    Ref<SWWindow> selectedWindow() const;
    // Switches to the selected window. A window that no longer exists is
    // dropped from the model with a beep and a log line, and the panel stays
    // useful for another choice: false then.
    bool performSwitch();
    void performMinimize();
    void performClose();
    void performQuit();
    void performHide();
    void setSelection();
    void setTooltips();

private:
    SwitchWindowController();
    void init();
    SwitchViewControllerProtocol* currentLayout() const;
    // Tells the layout how much of the panel's bottom the hint line takes
    // (the top of the line in the content view; zero when it is hidden).
    void keepLayoutClearOfHintLine(CGFloat lineTop);
    // The hint line's text, its font at the given size.
    Ref<NSAttributedString> hintText(CGFloat fontSize) const;
    // Switches to the selected window and hides the panel at once.
    void switchAndHide();
    // Escape: hides the panel and gives the front back to the application
    // (and so the window) that had it when the panel opened.
    void cancel();
    // Gives the front back to the application that had it when the panel
    // opened, unless it was hidden or quit since.
    void returnFocus();

    Token m_eventMonitor;
    Ref<NSViewController> m_currentViewController;
    Ref<NSArrayController> m_arrayController;
    Token m_arrayControllerObservation;
    std::vector<std::string> m_numKeyStrArray;
    int64_t m_selection { 0 };
    SwitcherLayout m_layoutType { SwitcherLayoutGrid };
    Ref<NSVisualEffectView> m_visualEffectView;
    Ref<NSTextField> m_toolTipLabel;
    // The application in front when the panel opened, if not this one.
    Ref<NSRunningApplication> m_previousFrontmost;
    Token m_resignKeyObservation;
    Token m_resignMainObservation;
};

// The hotkey and event-tap controller: connects the keyboard to the
// switcher. It owns an event tap that takes Command+Tab when a hotkey uses
// it, and Command+H, Command+Q and Control+arrows while the panel is up; it
// registers the three switcher hotkeys (all windows, on-screen windows, the
// active application's windows) from the user's choices and registers them
// again when the choices change; on a hotkey it points the window model at
// the hotkey's filter and hands the list to the switcher panel.
//
// The tap sees every event of the desktop, so its callback only decides:
// it reads the key code, a few flags and the live modifiers, swallows what
// it takes, and queues the work (opening or stepping the panel, the bus
// events) on the main queue, where it runs before the next event is taken.
// However long that work takes, the tap is never disabled for it.
#pragma once

#include "HotkeyChoice.h"
#include "KSShortcut.h"

#include <appkit/NSArrayController.h>
#include <appkit/NSEvent.h>
#include <foundation/NSObject.h>
#include <foundation/Token.h>
#include <model/DefaultsKeys.h>
#include <model/WindowFilterType.h>
#include <services/CGEventTap.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

class SwitchWindowController;
class WindowManager;

// Posted (any object) whenever the preferences window is shown: the hotkey
// settings are watched from then on.
inline const std::string kStartMonitoringChangeHotkeysNotification = "START_MONITORING_CHANGE_HOTKEYS";

class AppController : public NSObject {
public:
    // The process's controller, made and set up once.
    static Ref<AppController> sharedInstance();
    // A controller of its own, set up, on the given window model (the
    // shared one when none is given). Without accessibility it is not set
    // up and has no model.
    static Ref<AppController> create(const Ref<WindowManager>& windowManager = nullptr);
    ~AppController() override;

    // The hotkey settings: index key (a HotkeyChoice) and the key of its
    // custom shortcut, and the filter each hotkey shows.
    static constexpr const char* kAllWindowsHotkeyIndex = DefaultsKey::AllWindowsHotkeyIndex;
    static constexpr const char* kOnScreenWindowsHotkeyIndex = DefaultsKey::OnScreenWindowsHotkeyIndex;
    static constexpr const char* kActiveAppWindowsHotKeyIndex = DefaultsKey::ActiveAppWindowsHotKeyIndex;
    static constexpr const char* kShowAllWindowsCustomKey = DefaultsKey::ShowAllWindowsCustomKey;
    static constexpr const char* kShowOnScreenWindowsCustomKey = DefaultsKey::ShowOnScreenWindowsCustomKey;
    static constexpr const char* kShowActiveAppWindows = DefaultsKey::ShowActiveAppWindows;
    // The first-run choices and the active application's first-run shortcut.
    static constexpr HotkeyChoice kDefaultAllWindowsChoice = HotkeyChoiceCommandTab;
    static constexpr HotkeyChoice kDefaultOnScreenWindowsChoice = HotkeyChoiceOptionTab;
    static constexpr HotkeyChoice kDefaultActiveAppWindowsChoice = HotkeyChoiceCustom;
    static constexpr int64_t kDefaultActiveAppKeyCode = kVK_ANSI_Grave;
    static constexpr uint64_t kDefaultActiveAppModifierFlags = NSEventModifierFlagOption;
    // How long after the first "START_MONITORING_CHANGE_HOTKEYS" the
    // settings are watched.
    static constexpr double kRegisterForNotificationsDelay = 0.5;


    // Set-up: nothing without accessibility; else the tap, the hotkeys, the
    // array controller, the model and the watch for the notification above.
    void setUp();
    void setupEventLoop();
    void setupHotkeys();
    // The action hears whether the hotkey has modifiers. A hotkey that
    // cannot be registered is logged with the reason.
    void registerShortcutForKey(const std::string& indexKey, std::function<void(bool hotkeyHasModifiers)> withAction);
    // Writes the active application's first-run shortcut (Option+`) when the
    // hotkey settings are set up for the first time and it is absent. Later
    // its absence means the user cleared it, and it stays cleared.
    void initCustomActiveAppWindowsHotkey(bool firstSetUp);
    void registerShotcutsDefaultsForKey(const std::string& key, const Ref<KSShortcut>& shortCut, bool reset);
    Ref<KSShortcut> shortCutWithKey(const std::string& key) const;
    static Ref<KSShortcut> shortcutWithData(const std::optional<Value::Bytes>& data);

    // The action of every hotkey: opens the panel on the filter's list, or
    // steps its selection while it is up. A hotkey without modifiers leaves
    // the panel open: there is no modifier whose release would end it.
    void handleHotkeys(WindowFilterType filterType, bool hotkeyHasModifiers = true);
    // The hotkeys in use, as a person names them ("Command+Tab", "F5").
    const std::vector<std::string>& registeredHotkeyNames() const { return m_registeredHotkeyNames; }

    // Watching the settings.
    void startMonitoringForChangingHotkeys();
    void registerForNotifications();
    bool isMonitoringActive() const { return m_monitoringActive; }
    // The settings' key paths ("values." + key) being watched, in order.
    const std::vector<std::string>& observedKeyPaths() const { return m_observedKeyPaths; }

    static bool accessibilityEnabled();
    static bool openAccessibility();

    // State.
    bool controlActionEnabled() const { return m_controlActionEnabled; }
    void setControlActionEnabled(bool flag) { m_controlActionEnabled = flag; }
    bool optionActionEnabled() const { return m_optionActionEnabled; }
    void setOptionActionEnabled(bool flag) { m_optionActionEnabled = flag; }
    const std::function<void()>& commandTabAction() const { return m_commandTabAction; }
    void setCommandTabAction(std::function<void()> action) { m_commandTabAction = std::move(action); }
    bool commandActionEnabled() const { return static_cast<bool>(m_commandTabAction); }
    // The panel's controller, made on first use.
    Ref<SwitchWindowController> windowController();
    // Whether the panel is up; asking makes the panel's controller.
    bool switcherVisible();
    const Ref<NSArrayController>& windowsArrayController() const { return m_windowsArrayController; }
    void setWindowsArrayController(const Ref<NSArrayController>& controller)
    {
        m_windowsArrayController = controller;
    }
    const Ref<WindowManager>& windowManager() const { return m_windowManager; }
    void setWindowManager(const Ref<WindowManager>& windowManager);
    // Index key to custom-shortcut key.
    const std::map<std::string, std::string>& keys() const { return m_keys; }
    // The tap, null when none could be made.
    const CFMachPortRef& eventTap() const { return m_eventTap; }

    // "windowManager" answers the window model, for the list's binding.
    Value valueForKey(const std::string& key) const override;

    AppController() = default;

private:
    static CGEventRef eventTapCallback(
        CGEventTapProxy proxy, CGEventType type, const CGEventRef& event, void* userInfo);
    CGEventRef handleTappedEvent(CGEventType type, const CGEventRef& event);
    // Whether the panel is up, without making its controller: a panel that
    // was never made is not up.
    bool panelIsUp() const;
    // Runs work for the tap on the main queue, after the callback returned.
    void later(std::function<void(AppController&)> work);

    std::map<std::string, std::string> m_keys;
    CFMachPortRef m_eventTap;
    CFRunLoopSourceRef m_runLoopSource;
    bool m_monitoringActive { false };
    bool m_controlActionEnabled { false };
    bool m_optionActionEnabled { false };
    std::function<void()> m_commandTabAction;
    std::vector<std::string> m_registeredHotkeyNames;
    Ref<SwitchWindowController> m_windowController;
    Ref<NSArrayController> m_windowsArrayController;
    Ref<WindowManager> m_windowManager;
    Token m_startMonitoringObservation;
    std::vector<std::string> m_observedKeyPaths;
    std::vector<Token> m_settingsObservations;
};

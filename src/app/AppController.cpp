#include "AppController.h"

#include "KSShortcutMonitor.h"
#include "KSShortcutValidator.h"
#include "KSShortcutView.h"

#include <appkit/NSUserDefaultsController.h>
#include <foundation/Dispatch.h>
#include <foundation/Log.h>
#include <foundation/NSKeyedArchiver.h>
#include <foundation/NSKeyedUnarchiver.h>
#include <foundation/NSNotificationCenter.h>
#include <foundation/NSUserDefaults.h>
#include <model/EBEventful.h>
#include <model/WindowManager.h>
#include <services/AXUIElement.h>
#include <switcher/SwitchWindowController.h>
#include <toolkit/NSEventUtilities.h>

#include <iostream>

namespace {

const std::string kNoShortcutMessage = "registerShortcutForKey -> shortcut == NIL";
const std::string kCommandTabName = "Command+Tab";

// A shortcut as a person names it: the modifiers in words, then the key.
std::string hotkeyName(const KSShortcut& shortcut)
{
    static const std::pair<uint64_t, const char*> kModifierNames[] = {
        { NSEventModifierFlagControl, "Control+" },
        { NSEventModifierFlagOption, "Option+" },
        { NSEventModifierFlagShift, "Shift+" },
        { NSEventModifierFlagCommand, "Command+" },
    };
    std::string name;
    for (const auto& [flag, word] : kModifierNames)
        if (shortcut.modifierFlags() & flag) name += word;
    std::string key = shortcut.keyCode() == kVK_Tab ? "Tab" : shortcut.keyCodeString().value_or("");
    if (key.empty()) key = "key " + std::to_string(shortcut.keyCode());
    return name + key;
}

std::string hotkeyRefusalReason(OSStatus status)
{
    switch (status) {
    case eventHotKeyExistsErr:
        return "another hot key has taken the combination";
    case eventHotKeyInvalidErr:
        return "the combination is not a valid hot key";
    case paramErr:
        return "the shortcut has no key";
    default:
        return "error " + std::to_string(status);
    }
}
const std::string kContentArrayBinding = "contentArray";
const std::string kWindowListKeyPath = "windowManager.windows";

Ref<NSUserDefaults> defaults() { return NSUserDefaults::standardUserDefaults(); }

}

Ref<AppController> AppController::sharedInstance()
{
    static dispatch_once_t once;
    static Ref<AppController> shared;
    dispatch_once(&once, [] { shared = create(); });
    return shared;
}

Ref<AppController> AppController::create(const Ref<WindowManager>& windowManager)
{
    auto controller = makeRef<AppController>();
    controller->m_windowManager = windowManager;
    controller->setUp();
    return controller;
}

AppController::~AppController()
{
    if (m_eventTap) CFMachPortInvalidate(m_eventTap);
    cancelPreviousPerformRequestsWithTarget(this);
}

// MARK: Set-up

void AppController::setUp()
{
    if (!accessibilityEnabled()) {
        m_windowManager = nullptr;
        return;
    }
    m_monitoringActive = false;
    setupEventLoop();
    setupHotkeys();
    m_windowsArrayController = makeRef<NSArrayController>();
    if (!m_windowManager) m_windowManager = WindowManager::sharedInstance();
    Weak<AppController> weak = selfRef<AppController>();
    m_startMonitoringObservation = NSNotificationCenter::defaultCenter().addObserverForName(
        kStartMonitoringChangeHotkeysNotification, nullptr, nullptr, [weak](const NSNotification&) {
            if (auto self = weak.lock()) self->startMonitoringForChangingHotkeys();
        });
}

void AppController::setupEventLoop()
{
    if (!accessibilityEnabled()) return;
    m_eventTap = CGEventTapCreate(kCGHIDEventTap, kCGHeadInsertEventTap, kCGEventTapOptionDefault,
        kCGEventMaskForAllEvents, eventTapCallback, this);
    if (!m_eventTap) {
        std::cerr << "failed to create event tap\n";
        return;
    }
    if (!m_runLoopSource) m_runLoopSource = CFMachPortCreateRunLoopSource(kCFAllocatorDefault, m_eventTap, 0);
    if (m_runLoopSource) CFRunLoopAddSource(RunLoop::current(), m_runLoopSource, kCFRunLoopCommonModes);
    CGEventTapEnable(m_eventTap, true);
}

void AppController::setupHotkeys()
{
    m_keys = {
        { kAllWindowsHotkeyIndex, kShowAllWindowsCustomKey },
        { kOnScreenWindowsHotkeyIndex, kShowOnScreenWindowsCustomKey },
        { kActiveAppWindowsHotKeyIndex, kShowActiveAppWindows },
    };
    auto store = defaults();
    bool firstSetUp = store->valueForKey(kActiveAppWindowsHotKeyIndex).isNil();
    const std::pair<const char*, HotkeyChoice> firstChoices[] = {
        { kAllWindowsHotkeyIndex, kDefaultAllWindowsChoice },
        { kOnScreenWindowsHotkeyIndex, kDefaultOnScreenWindowsChoice },
        { kActiveAppWindowsHotKeyIndex, kDefaultActiveAppWindowsChoice },
    };
    for (const auto& [key, choice] : firstChoices)
        if (store->valueForKey(key).isNil()) store->setInteger(choice, key);
    initCustomActiveAppWindowsHotkey(firstSetUp);
    store->synchronize();

    KSShortcutValidator::sharedValidator()->setAllowAnyShortcutWithOptionModifier(true);
    if (auto monitor = KSShortcutMonitor::sharedMonitor()) monitor->unregisterAllShortcuts();
    m_commandTabAction = nullptr;
    m_registeredHotkeyNames.clear();
    m_controlActionEnabled = false;
    m_optionActionEnabled = false;

    // The actions hold the controller weakly: the shared monitor outlives it.
    Weak<AppController> weak = selfRef<AppController>();
    auto action = [weak](WindowFilterType filter) {
        return [weak, filter](bool hotkeyHasModifiers) {
            if (auto self = weak.lock()) self->handleHotkeys(filter, hotkeyHasModifiers);
        };
    };
    registerShortcutForKey(kAllWindowsHotkeyIndex, action(WindowFilterAll));
    registerShortcutForKey(kOnScreenWindowsHotkeyIndex, action(WindowFilterOnScreen));
    registerShortcutForKey(kActiveAppWindowsHotKeyIndex, action(WindowFilterActiveApplication));
}

void AppController::registerShortcutForKey(
    const std::string& indexKey, std::function<void(bool hotkeyHasModifiers)> withAction)
{
    auto custom = m_keys.find(indexKey);
    auto choice = static_cast<uint64_t>(defaults()->integerForKey(indexKey));
    Ref<KSShortcut> shortcut;
    switch (choice) {
    case HotkeyChoiceCommandTab:
        m_commandTabAction = [withAction = std::move(withAction)] { withAction(true); };
        if (std::find(m_registeredHotkeyNames.begin(), m_registeredHotkeyNames.end(), kCommandTabName)
            == m_registeredHotkeyNames.end())
            m_registeredHotkeyNames.push_back(kCommandTabName);
        return;
    case HotkeyChoiceControlTab:
        m_controlActionEnabled = true;
        shortcut = KSShortcut::shortcutWithKeyCode(kVK_Tab, NSEventModifierFlagControl);
        break;
    case HotkeyChoiceOptionTab:
        m_optionActionEnabled = true;
        shortcut = KSShortcut::shortcutWithKeyCode(kVK_Tab, NSEventModifierFlagOption);
        break;
    case HotkeyChoiceCustom:
        if (custom != m_keys.end()) shortcut = shortCutWithKey(custom->second);
        break;
    default:
        NSLog("%@", kNoShortcutMessage);
        return;
    }
    if (!shortcut) {
        NSLog("%@", kNoShortcutMessage);
        return;
    }
    auto monitor = KSShortcutMonitor::sharedMonitor();
    if (!monitor) return;
    bool hasModifiers = shortcut->modifierFlags() != 0;
    OSStatus status = noErr;
    std::string name = hotkeyName(*shortcut);
    if (!monitor->registerShortcut(
            shortcut, [withAction = std::move(withAction), hasModifiers] { withAction(hasModifiers); }, &status)) {
        NSLog("The hotkey %@ for %@ could not be registered: %@", name, indexKey,
            hotkeyRefusalReason(status));
        return;
    }
    m_registeredHotkeyNames.push_back(name);
}

void AppController::initCustomActiveAppWindowsHotkey(bool firstSetUp)
{
    if (!firstSetUp) return;
    registerShotcutsDefaultsForKey(kShowActiveAppWindows,
        KSShortcut::shortcutWithKeyCode(kDefaultActiveAppKeyCode, kDefaultActiveAppModifierFlags), false);
}

void AppController::registerShotcutsDefaultsForKey(
    const std::string& key, const Ref<KSShortcut>& shortCut, bool reset)
{
    auto store = defaults();
    if (!reset && !store->objectForKey(key).isNil()) return;
    auto data = NSKeyedArchiver::archivedDataWithRootObject(Value(shortCut));
    if (!data) return;
    store->setObject(Value(std::move(*data)), key);
    store->synchronize();
}

Ref<KSShortcut> AppController::shortCutWithKey(const std::string& key) const
{
    return shortcutWithData(defaults()->dataForKey(key));
}

Ref<KSShortcut> AppController::shortcutWithData(const std::optional<Value::Bytes>& data)
{
    if (!data) return nullptr;
    return NSKeyedUnarchiver::unarchiveObjectWithData(*data).objectAs<KSShortcut>();
}

// MARK: The hotkeys

void AppController::handleHotkeys(WindowFilterType filterType, bool hotkeyHasModifiers)
{
    if (!m_windowManager || !m_windowsArrayController) return;
    auto panel = windowController();
    if (!switcherVisible()) {
        m_windowManager->setFilterType(filterType);
        // Filtering the list in place tells no observer: binding again hands
        // the panel the list as it is now.
        m_windowsArrayController->unbind(kContentArrayBinding);
        m_windowsArrayController->bind(kContentArrayBinding, selfRef<AppController>(), kWindowListKeyPath);
    }
    if (panel) panel->handleHotkeyWithWindowListWithArrayController(m_windowsArrayController, hotkeyHasModifiers);
    m_windowManager->setBadges();
}

Ref<SwitchWindowController> AppController::windowController()
{
    if (!m_windowController) m_windowController = SwitchWindowController::create();
    return m_windowController;
}

bool AppController::switcherVisible()
{
    auto panel = windowController();
    auto window = panel ? panel->window() : nullptr;
    return window && window->isVisible();
}

bool AppController::panelIsUp() const
{
    auto window = m_windowController ? m_windowController->window() : nullptr;
    return window && window->isVisible();
}

void AppController::setWindowManager(const Ref<WindowManager>& windowManager)
{
    willChangeValueForKey("windowManager");
    m_windowManager = windowManager;
    didChangeValueForKey("windowManager");
}

Value AppController::valueForKey(const std::string& key) const
{
    if (key == "windowManager") return m_windowManager ? Value(m_windowManager) : Value();
    return NSObject::valueForKey(key);
}

// MARK: The event tap

CGEventRef AppController::eventTapCallback(
    CGEventTapProxy, CGEventType type, const CGEventRef& event, void* userInfo)
{
    auto* controller = static_cast<AppController*>(userInfo);
    return controller ? controller->handleTappedEvent(type, event) : event;
}

CGEventRef AppController::handleTappedEvent(CGEventType type, const CGEventRef& event)
{
    // The system disabled the tap (time-out or user input): take it back.
    if (type == kCGEventTapDisabledByTimeout || type == kCGEventTapDisabledByUserInput)
        CGEventTapEnable(m_eventTap, true);
    if (type != kCGEventKeyDown) return event;
    auto keyCode
        = static_cast<uint16_t>(CGEventGetIntegerValueField(event, kCGKeyboardEventKeycode) & 0xFFFF);
    auto swallow = [&event] {
        CGEventSetType(event, kCGEventNull);
        return event;
    };

    // Command+Tab (Shift and the other modifiers are not looked at). While
    // a shortcut recorder records, the hotkeys rest: Tab goes on to move
    // the focus, as the recorder lets it.
    if (keyCode == kVK_Tab && commandActionEnabled() && NSEventUtilities::commandKeyDownNow()
        && !KSShortcutView::recordingView()) {
        later([](AppController& self) {
            if (auto action = self.m_commandTabAction) action();
        });
        return swallow();
    }
    // Command+H and Command+Q while the panel is up and Command+Tab is in use.
    if ((keyCode == kVK_ANSI_H || keyCode == kVK_ANSI_Q) && commandActionEnabled()
        && NSEventUtilities::commandKeyDownNow() && panelIsUp()) {
        EBEventId id = keyCode == kVK_ANSI_H ? HideAppKeyEvent : QuitAppKeyEvent;
        later([id](AppController& self) {
            if (auto* bus = EBEventful::processBus())
                bus->sendEvent(id, self.selfRef<AppController>(), Value());
        });
        return swallow();
    }
    // Control+arrows while the panel is up and Control+Tab is in use.
    if (keyCode >= kVK_LeftArrow && keyCode <= kVK_UpArrow && m_controlActionEnabled
        && NSEventUtilities::controlKeyDownNow() && panelIsUp()) {
        later([keyCode](AppController& self) {
            if (auto* bus = EBEventful::processBus())
                bus->sendEvent(ControlArrowKeyEvent, self.selfRef<AppController>(),
                    Value(Value::Dictionary { { "KeyCode", Value(static_cast<int64_t>(keyCode)) } }));
        });
        return swallow();
    }
    return event;
}

void AppController::later(std::function<void(AppController&)> work)
{
    Weak<AppController> weak = selfRef<AppController>();
    dispatch_async(dispatch_get_main_queue(), [weak, work = std::move(work)] {
        if (auto self = weak.lock()) work(*self);
    });
}

// MARK: Watching the settings

void AppController::startMonitoringForChangingHotkeys()
{
    if (m_monitoringActive) return;
    Weak<AppController> weak = selfRef<AppController>();
    performAfterDelay("registerForNotifications", kRegisterForNotificationsDelay, [weak] {
        if (auto self = weak.lock()) self->registerForNotifications();
    });
    m_monitoringActive = true;
}

void AppController::registerForNotifications()
{
    static const char* const watched[] = {
        kOnScreenWindowsHotkeyIndex,
        kShowOnScreenWindowsCustomKey,
        kAllWindowsHotkeyIndex,
        kShowAllWindowsCustomKey,
        kActiveAppWindowsHotKeyIndex,
        kShowActiveAppWindows,
    };
    auto settings = NSUserDefaultsController::sharedUserDefaultsController();
    Weak<AppController> weak = selfRef<AppController>();
    for (const char* key : watched) {
        std::string keyPath = std::string("values.") + key;
        m_observedKeyPaths.push_back(keyPath);
        m_settingsObservations.push_back(
            settings->addObserver(keyPath, NSKeyValueObservingOptionNew, [weak](const KVOChange&) {
                if (auto self = weak.lock()) self->setupHotkeys();
            }));
    }
    // A shortcut chosen in the preferences before the watch began (they open
    // half a second earlier) would otherwise wait for the next start.
    setupHotkeys();
}

// MARK: Accessibility

bool AppController::accessibilityEnabled()
{
    return AXIsProcessTrustedWithOptions(
        Value(Value::Dictionary { { kAXTrustedCheckOptionPrompt, Value(false) } }));
}

bool AppController::openAccessibility()
{
    return AXIsProcessTrustedWithOptions(
        Value(Value::Dictionary { { kAXTrustedCheckOptionPrompt, Value(true) } }));
}

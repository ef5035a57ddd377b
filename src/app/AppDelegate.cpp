#include "AppDelegate.h"

#include <toolkit/VTValueTransformers.h>
#include "AppController.h"
#include "GeneralPrefs.h"
#include "GrantController.h"
#include "KSPreferencesWindowController.h"
#include "ShortcutsPrefs.h"
#include "StylePrefs.h"
#include "UpdatePrefsViewController.h"

#include <appkit/NSApplication.h>
#include <appkit/NSMenu.h>
#include <appkit/NSMenuItem.h>
#include <appkit/NSScreen.h>
#include <appkit/NSStatusBar.h>
#include <appkit/NSWindow.h>
#include <appkit/NSWorkspace.h>
#include <foundation/Log.h>
#include <foundation/NSBundle.h>
#include <foundation/NSNotificationCenter.h>
#include <foundation/NSTimer.h>
#include <foundation/NSUserDefaults.h>
#include <graphics/NSImage.h>
#include <toolkit/VTValueTransformers.h>
#include <model/AccessHelper.h>
#include <model/DefaultsKeys.h>
#include <services/AXUIElement.h>
#include <switcher/BoolTransformer.h>

const char* const AppDelegate::kHomePage = "https://quorvex.example.org/";
const char* const AppDelegate::kMoreAppsPage = "https://quorvex.example.org/apps";
const char* const AppDelegate::kOffersPage = "https://quorvex.example.org/offers";
const char* const AppDelegate::kNewsletterPage = "https://quorvex.example.org/newsletter";
const char* const AppDelegate::kContactPage = "https://quorvex.example.org/contact";
const char* const AppDelegate::kBetaFeed = "https://quorvex.example.org/updates/beta.xml";

namespace {
// Delays and periods of the start-up and the delegate's timers, in seconds.
constexpr double kReopenPreferencesDelay = 0.5;
constexpr double kDockChangePreferencesDelay = 0.5;
constexpr double kBetaUpdatePeriod = 21600;
constexpr double kUpdatePeriod = 86400;
constexpr double kAccessibilityRecheckPeriod = 3.0;
// The dialog goes away after 0.9 s as the original computes it, in single precision.
const double kHideDialogDelay = roundToFloat(0.9);
constexpr long kVariableLength = -1;
}

AppDelegate::AppDelegate()
{
    BoolTransformer::registerTransformer();
    setActionHandler("showAboutPanel", [this](const Ref<NSObject>&) { showAboutPanel(); });
    setActionHandler("moreApps:", [this](const Ref<NSObject>&) { moreApps(); });
    setActionHandler("deals:", [this](const Ref<NSObject>&) { deals(); });
    setActionHandler("subscribe:", [this](const Ref<NSObject>&) { subscribe(); });
    setActionHandler("showPrefsPanel:", [this](const Ref<NSObject>&) { showPrefsPanel(); });
    setActionHandler("checkUpates:", [this](const Ref<NSObject>& sender) { checkUpates(sender); });
    setActionHandler("showFeedbackDialog:", [this](const Ref<NSObject>&) { showFeedbackDialog(); });
    setActionHandler("visitHomepage:", [this](const Ref<NSObject>&) { visitHomepage(); });
    setActionHandler("openSystemPreferences:", [this](const Ref<NSObject>&) { openSystemPreferences(); });
}

AppDelegate::~AppDelegate() { cancelPreviousPerformRequestsWithTarget(this); }

void AppDelegate::applicationDidFinishLaunching() { initApp(); }

bool AppDelegate::applicationShouldHandleReopen(bool)
{
    if (!NSUserDefaults::standardUserDefaults()->boolForKey(DefaultsKey::ShowIconInDock)) {
        Weak<AppDelegate> weak = selfRef<AppDelegate>();
        performAfterDelay("showPrefsPanel:", kReopenPreferencesDelay, [weak] {
            if (auto self = weak.lock())
                self->showPrefsPanel();
        });
    }
    return false;
}

bool AppDelegate::updaterShouldCheckForBetaUpdates(SUUpdater&)
{
    return NSUserDefaults::standardUserDefaults()->boolForKey(DefaultsKey::SUUpdaterChecksForBetaUpdates);
}

void AppDelegate::writeIfAbsent(const std::string& key, const Value& value)
{
    if (!m_defaults->objectForKey(key).isNil())
        return;
    if (value.type() == Value::Type::Bool)
        m_defaults->setBool(value.boolValue(), key);
    else
        m_defaults->setInteger(value.integerValue(), key);
    m_defaults->synchronize();
}

void AppDelegate::initApp()
{
    // Bindings may name the toolkit's transformers by their class names.
    VTValueTransformers::registerNamedTransformers();
    m_defaults = NSUserDefaults::standardUserDefaults();
    m_defaults->registerDefaults({ { "NSApplicationCrashOnExceptions", Value(false) } });
    createDefaultsValues();
    setupStatusMenu();
    if (!AccessHelper::allAccessGranted()) {
        NSApp().setActivationPolicy(NSApplicationActivationPolicyAccessory);
        showAccessDialog();
    }
    doNext();
    setUpVisible();
}

namespace {

// First values of the settings that change the panel's look: those written
// before the permission window, and those written after it.
const std::vector<std::pair<std::string, Value>>& firstLaunchStyle()
{
    static const std::vector<std::pair<std::string, Value>> style { { DefaultsKey::Style3DIndex, Value(8) }, { DefaultsKey::ThemeIndex, Value(1) } };
    return style;
}

const std::vector<std::pair<std::string, Value>>& firstLaunchPanel()
{
    static const std::vector<std::pair<std::string, Value>> panel {
        { DefaultsKey::ShotcutsHints, Value(true) }, { DefaultsKey::FullScreenMode, Value(false) }, { DefaultsKey::ShowOnScreen, Value(1) }
    };
    return panel;
}

}

void AppDelegate::createDefaultsValues()
{
    for (const auto& [key, value] : firstLaunchStyle())
        writeIfAbsent(key, value);
    writeIfAbsent(DefaultsKey::KeyboardShotcuts, Value(true));
    writeIfAbsent(DefaultsKey::ShowIconInDock, Value(true));
    writeIfAbsent(DefaultsKey::CMTEnableAutomaticChecks, Value(true));
    writeIfAbsent(DefaultsKey::SUUpdaterChecksForBetaUpdates, Value(true));
}

void AppDelegate::showAccessDialog()
{
    m_ac = makeRef<GrantController>();
    NSApp().activateIgnoringOtherApps(true);
    NSApp().runModalForWindow(m_ac->window());
    m_ac->window()->close();
}

std::vector<std::pair<std::string, Value>> AppDelegate::panelFirstLaunchDefaults()
{
    auto settings = firstLaunchStyle();
    settings.insert(settings.end(), firstLaunchPanel().begin(), firstLaunchPanel().end());
    // The number badges show while the keyboard shortcuts are on.
    settings.emplace_back(DefaultsKey::KeyboardShotcuts, Value(true));
    return settings;
}

void AppDelegate::doNext()
{
    for (const auto& [key, value] : firstLaunchPanel())
        writeIfAbsent(key, value);
    writeIfAbsent(DefaultsKey::CMCheckForUpdatesInBackground, Value(true));
    writeIfAbsent(DefaultsKey::CMTEnableAutomaticChecks, Value(true));
    writeIfAbsent(DefaultsKey::Animation3D, Value(true));

    auto updater = SUUpdater::sharedUpdater();
    updater->setDelegate(selfRef<NSObject>());
    updater->setFeedURL(getFeedURL());
    updater->setAutomaticallyChecksForUpdates(m_defaults->boolForKey(DefaultsKey::CMTEnableAutomaticChecks));
    updater->checkForUpdatesInBackground();

    if (!accessibilityEnabled())
        return;
    if (!m_appController)
        m_appController = AppController::sharedInstance();
}

void AppDelegate::setUpVisible()
{
    NSApp().setActivationPolicy(m_defaults->boolForKey(DefaultsKey::ShowIconInDock) ? NSApplicationActivationPolicyRegular
                                                                          : NSApplicationActivationPolicyAccessory);
}

void AppDelegate::setupStatusMenu()
{
    auto defaults = NSUserDefaults::standardUserDefaults();
    if (defaults->boolForKey(DefaultsKey::HideMenuBarIcon)) {
        m_statusItem.reset();
        return;
    }
    if (m_statusItem)
        return;
    m_statusMenu = makeRef<NSMenu>("");
    auto add = [&](const std::string& title, const std::string& action) {
        auto item = makeRef<NSMenuItem>(title, action, "");
        m_statusMenu->addItem(item);
        return item;
    };
    auto separator = [&] { m_statusMenu->addItem(NSMenuItem::separatorItem()); };
    add("About", "showAboutPanel");
    add("More Apps...", "moreApps:");
    add("Latest Offers...", "deals:");
    add("Subscribe to Newsletter", "subscribe:");
    separator();
    separator();
    add("Preferences...", "showPrefsPanel:");
    add("Check for Updates...", "checkUpates:");
    separator();
    separator();
    add("Send Feedback", "showFeedbackDialog:")->setTarget(selfRef<NSObject>());
    separator();
    add("Quit", "terminate:");

    m_statusItem = NSStatusBar::systemStatusBar().statusItemWithLength(kVariableLength);
    m_statusItem->setImage(NSImage::imageNamed("Status_Icon"));
    m_statusItem->setHighlightMode(true);
    m_statusItem->setMenu(m_statusMenu);
}

std::string AppDelegate::getFeedURL() const
{
    std::string feed = NSUserDefaults::standardUserDefaults()->boolForKey(DefaultsKey::SUUpdaterChecksForBetaUpdates)
        ? std::string(kBetaFeed)
        : NSBundle::mainBundle().objectForInfoDictionaryKey("SUFeedURL").stringValue();
    NSLog("Feed URL: %@", feed);
    return feed;
}

bool AppDelegate::accessibilityEnabled() const
{
    return AXIsProcessTrustedWithOptions(Value(Value::Dictionary { { kAXTrustedCheckOptionPrompt, Value(false) } }));
}

void AppDelegate::openAccessibility() const
{
    AXIsProcessTrustedWithOptions(Value(Value::Dictionary { { kAXTrustedCheckOptionPrompt, Value(true) } }));
}

const Ref<KSPreferencesWindowController>& AppDelegate::prefsController()
{
    if (!m_prefsController) {
        std::vector<Ref<NSViewController>> panes { makeRef<GeneralPrefs>(), makeRef<StylePrefs>(),
            makeRef<ShortcutsPrefs>(), makeRef<UpdatePrefsViewController>() };
        m_prefsController = makeRef<KSPreferencesWindowController>(
            panes, NSBundle::mainBundle().localizedStringForKey("Preferences", ""));
        if (auto window = m_prefsController->window())
            window->setIdentifier("QX_PREFERENCES");
    }
    return m_prefsController;
}

void AppDelegate::showAboutPanel()
{
    NSApp().orderFrontStandardAboutPanel(selfRef<NSObject>());
    NSApp().activateIgnoringOtherApps(true);
}

void AppDelegate::moreApps() { NSWorkspace::sharedWorkspace().openURL(kMoreAppsPage); }
void AppDelegate::deals() { NSWorkspace::sharedWorkspace().openURL(kOffersPage); }
void AppDelegate::subscribe() { NSWorkspace::sharedWorkspace().openURL(kNewsletterPage); }
void AppDelegate::showFeedbackDialog() { NSWorkspace::sharedWorkspace().openURL(kContactPage); }
void AppDelegate::visitHomepage() { NSWorkspace::sharedWorkspace().openURL(kHomePage); }

void AppDelegate::showPrefsPanel()
{
    auto controller = prefsController();
    auto window = controller->window();
    if (window) {
        window->setTitle(NSBundle::mainBundle().objectForInfoDictionaryKey(kCFBundleNameKey).stringValue());
        // The value the application has always passed here.
        window->setToolbarStyle(1);
    }
    NSApp().activateIgnoringOtherApps(true);
    // Above other applications' windows, but not above the switcher panel
    // (floating as well, and ordered in front when it opens).
    if (window)
        window->setLevel(NSFloatingWindowLevel);
    controller->showWindow(nullptr);
    if (window)
        window->center();
    NSNotificationCenter::defaultCenter().postNotificationName("START_MONITORING_CHANGE_HOTKEYS", nullptr);
}

void AppDelegate::checkUpates(const Ref<NSObject>& sender)
{
    NSApp().activateIgnoringOtherApps(true);
    auto updater = SUUpdater::sharedUpdater();
    updater->setFeedURL(getFeedURL());
    updater->checkForUpdates(sender);
}

void AppDelegate::setShowHideDockIcon()
{
    if (NSUserDefaults::standardUserDefaults()->boolForKey(DefaultsKey::ShowIconInDock)) {
        NSApp().setActivationPolicy(NSApplicationActivationPolicyRegular);
    } else {
        NSApp().setActivationPolicy(NSApplicationActivationPolicyAccessory);
        NSApp().activateIgnoringOtherApps(true);
    }
    Weak<AppDelegate> weak = selfRef<AppDelegate>();
    performAfterDelay("showPrefsPanel:", kDockChangePreferencesDelay, [weak] {
        if (auto self = weak.lock())
            self->showPrefsPanel();
    });
}

void AppDelegate::openSystemPreferences()
{
    if (m_accessDialogWindow) {
        auto screen = m_accessDialogWindow->screen();
        if (screen) {
            NSRect frame = m_accessDialogWindow->frame();
            // The dialog moves to the right edge of its own screen.
            frame.origin.x = screen->frame().origin.x + roundToFloat(screen->frame().size.width - frame.size.width);
            frame.origin.y = screen->frame().origin.y;
            m_accessDialogWindow->setFrame(frame, true);
        }
    }
    openAccessibility();
}

void AppDelegate::sheduleTimer()
{
    if (m_updateTimer && m_updateTimer->isValid())
        m_updateTimer->invalidate();
    auto defaults = NSUserDefaults::standardUserDefaults();
    if (!defaults->boolForKey(DefaultsKey::CMTEnableAutomaticChecks))
        return;
    double period = defaults->boolForKey(DefaultsKey::SUUpdaterChecksForBetaUpdates) ? kBetaUpdatePeriod : kUpdatePeriod;
    Weak<AppDelegate> weak = selfRef<AppDelegate>();
    m_updateTimer = NSTimer::scheduledTimerWithTimeInterval(period, false, [weak](NSTimer&) {
        if (auto self = weak.lock())
            self->onTimer();
    });
}

void AppDelegate::onTimer()
{
    auto updater = SUUpdater::sharedUpdater();
    updater->setAutomaticallyChecksForUpdates(true);
    if (NSUserDefaults::standardUserDefaults()->boolForKey(DefaultsKey::CMCheckForUpdatesInBackground))
        updater->checkForUpdatesInBackground();
    else
        updater->checkForUpdates(selfRef<NSObject>());
    sheduleTimer();
}

void AppDelegate::sheduleCheckTimer()
{
    if (m_timer && m_timer->isValid())
        m_timer->invalidate();
    if (accessibilityEnabled())
        return;
    Weak<AppDelegate> weak = selfRef<AppDelegate>();
    m_timer = NSTimer::scheduledTimerWithTimeInterval(kAccessibilityRecheckPeriod, true, [weak](NSTimer&) {
        if (auto self = weak.lock())
            self->onTimer1();
    });
}

void AppDelegate::onTimer1()
{
    if (!accessibilityEnabled()) {
        sheduleTimer();
        return;
    }
    if (m_timer)
        m_timer->invalidate();
    if (m_accessDialogWindow)
        m_accessDialogWindow->center();
    doNext();
    Weak<AppDelegate> weak = selfRef<AppDelegate>();
    performAfterDelay("hideAWindow", kHideDialogDelay, [weak] {
        if (auto self = weak.lock())
            self->hideAWindow();
    });
}

void AppDelegate::hideAWindow()
{
    if (m_accessDialogWindow)
        m_accessDialogWindow->orderOut(nullptr);
}

// The single application delegate: the start-up sequence, the default
// settings, the status-bar menu, the preferences and permission windows, the
// updater's configuration, the Dock policy, and the hotkey controller.
#pragma once

#include <appkit/NSActionTarget.h>
#include <appkit/NSApplicationDelegate.h>
#include <foundation/NSObject.h>
#include <services/SUUpdater.h>

#include <string>

class AppController;
class GrantController;
class KSPreferencesWindowController;
class NSMenu;
class NSStatusItem;
class NSTimer;
class NSUserDefaults;
class NSWindow;

class AppDelegate final : public NSObject, public NSApplicationDelegate, public NSActionTarget, public SUUpdaterDelegate {
public:
    AppDelegate();
    ~AppDelegate() override;

    // The application's delegate calls.
    void applicationDidFinishLaunching() override;
    bool applicationShouldHandleReopen(bool hasVisibleWindows) override;
    void applicationWillTerminate() override { }
    bool updaterShouldCheckForBetaUpdates(SUUpdater& updater) override;

    // The start-up steps.
    void initApp();
    void createDefaultsValues();
    // The settings the first launch writes that change how the switcher
    // panel looks, with their first values.
    static std::vector<std::pair<std::string, Value>> panelFirstLaunchDefaults();
    void doNext();
    void setUpVisible();
    void setupStatusMenu();
    void showAccessDialog();

    std::string getFeedURL() const;
    bool accessibilityEnabled() const;
    void openAccessibility() const;
    const Ref<KSPreferencesWindowController>& prefsController();

    // Menu and pane actions.
    void showAboutPanel();
    void moreApps();
    void deals();
    void subscribe();
    void showPrefsPanel();
    void checkUpates(const Ref<NSObject>& sender);
    void showFeedbackDialog();
    void visitHomepage();
    void setShowHideDockIcon();
    void openSystemPreferences();

    // The delegate's own update timer and accessibility re-check timer.
    void sheduleTimer();
    void onTimer();
    void sheduleCheckTimer();
    void onTimer1();
    void hideAWindow();

    const Ref<NSMenu>& statusMenu() const { return m_statusMenu; }
    const Ref<NSStatusItem>& statusItem() const { return m_statusItem; }
    const Ref<AppController>& appController() const { return m_appController; }
    const Ref<NSUserDefaults>& defaults() const { return m_defaults; }
    const Ref<NSTimer>& updateTimer() const { return m_updateTimer; }
    const Ref<NSTimer>& timer() const { return m_timer; }
    const Ref<GrantController>& ac() const { return m_ac; }
    void setAccessiblityAccessDialogWindow(Ref<NSWindow> window) { m_accessDialogWindow = std::move(window); }

    // Addresses of the maker's pages and of the beta update feed.
    static const char* const kHomePage;
    static const char* const kMoreAppsPage;
    static const char* const kOffersPage;
    static const char* const kNewsletterPage;
    static const char* const kContactPage;
    static const char* const kBetaFeed;

private:
    void writeIfAbsent(const std::string& key, const Value& value);

    Ref<NSMenu> m_statusMenu;
    Ref<AppController> m_appController;
    Ref<NSTimer> m_updateTimer;
    Ref<NSTimer> m_timer;
    Ref<GrantController> m_ac;
    Ref<KSPreferencesWindowController> m_prefsController;
    Ref<NSStatusItem> m_statusItem;
    Ref<NSUserDefaults> m_defaults;
    Ref<NSWindow> m_accessDialogWindow;
};

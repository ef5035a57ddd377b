#include "UpdatePrefsViewController.h"

#include "AppDelegate.h"
#include "PreferencePaneBuilder.h"

#include <appkit/NSApplication.h>
#include <appkit/NSNib.h>
#include <appkit/NSWorkspace.h>
#include <foundation/NSBundle.h>
#include <foundation/NSUserDefaults.h>
#include <services/SUUpdater.h>

namespace {
constexpr CGFloat kPaneWidth = 520;
}

static NSNibRegistration updatePrefsNib("UpdatePrefsView", [](NSObject& owner) {
    auto& pane = dynamic_cast<UpdatePrefsViewController&>(owner);
    auto self = pane.selfRef<NSObject>();
    PreferencePaneBuilder builder(kPaneWidth);
    builder.checkbox("Automatically check for updates", "CMTEnableAutomaticChecks", self, "syncDefaults:");
    builder.checkbox("Download updates in the background", "CMCheckForUpdatesInBackground", self, "syncDefaults:");
    builder.checkbox("Include beta versions", "SUUpdaterChecksForBetaUpdates", self, "syncDefaults:");
    builder.space(8);
    builder.buttons({ { "Join the Beta...", "joinToBeta:" }, { "Check Now", "checkUpates:" } }, self);
    pane.setView(builder.finish());
    logMistypedSettings("Updates",
        { { "CMTEnableAutomaticChecks", Value::Type::Bool }, { "CMCheckForUpdatesInBackground", Value::Type::Bool },
            { "SUUpdaterChecksForBetaUpdates", Value::Type::Bool } });
});

UpdatePrefsViewController::UpdatePrefsViewController()
    : NSViewController("UpdatePrefsView")
{
    setActionHandler("joinToBeta:", [this](const Ref<NSObject>&) { joinToBeta(); });
    setActionHandler("checkUpates:", [this](const Ref<NSObject>&) { checkUpates(); });
    setActionHandler("syncDefaults:", [this](const Ref<NSObject>&) { syncDefaults(); });
}

std::string UpdatePrefsViewController::toolbarItemLabel() const
{
    return NSBundle::mainBundle().localizedStringForKey("Updates/Betas", "");
}

std::optional<Ref<NSImage>> UpdatePrefsViewController::toolbarItemImage() const { return paneImage("update"); }

void UpdatePrefsViewController::joinToBeta() { NSWorkspace::sharedWorkspace().openURL(AppDelegate::kNewsletterPage); }

void UpdatePrefsViewController::checkUpates()
{
    NSApp().activateIgnoringOtherApps(true);
    auto updater = SUUpdater::sharedUpdater();
    // The feed follows the beta setting as it is now, as the status menu's
    // check does; otherwise a check after changing it would use the old feed.
    if (auto delegate = std::dynamic_pointer_cast<AppDelegate>(NSApp().delegate()))
        updater->setFeedURL(delegate->getFeedURL());
    updater->checkForUpdates(selfRef<NSObject>());
}

void UpdatePrefsViewController::syncDefaults() { NSUserDefaults::standardUserDefaults()->synchronize(); }

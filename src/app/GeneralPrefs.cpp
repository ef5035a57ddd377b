#include "GeneralPrefs.h"

#include "AppDelegate.h"
#include "PreferencePaneBuilder.h"

#include <appkit/NSApplication.h>
#include <appkit/NSKeyValueBinding.h>
#include <appkit/NSNib.h>
#include <foundation/Log.h>
#include <foundation/NSBundle.h>
#include <foundation/NSUserDefaults.h>
#include <graphics/NSImage.h>

namespace {
constexpr CGFloat kPaneWidth = 520;
}

static NSNibRegistration generalPrefsNib("GeneralPrefs", [](NSObject& owner) {
    auto& pane = dynamic_cast<GeneralPrefs&>(owner);
    auto self = pane.selfRef<NSObject>();
    // The login-items controller lives with the pane's interface.
    auto login = makeRef<LoginItemController>();
    pane.setLoginItemController(login);
    PreferencePaneBuilder builder(kPaneWidth);
    builder.checkbox("Launch Quorvex at login", {})->bind(NSValueBinding, login, "launchAtLogin");
    builder.checkbox("Show icon in Dock", "ShowIconInDock", self, "setHideDockIcon:");
    builder.checkbox("Hide menu bar icon", "HideMenuBarIcon", self, "showStatusBarIcon:");
    builder.space(8);
    auto popUp = builder.popUp("Show switcher on:", {}, "ShowOnScreen");
    popUp->setTarget(self);
    popUp->setAction("syncDefaults:");
    pane.setShowOnScreenPopup(popUp);
    pane.setView(builder.finish());
    pane.awakeFromNib();
});

GeneralPrefs::GeneralPrefs()
    : NSViewController("GeneralPrefs")
{
    setActionHandler("syncDefaults:", [this](const Ref<NSObject>&) { syncDefaults(); });
    setActionHandler("setHideDockIcon:", [this](const Ref<NSObject>&) { setHideDockIcon(); });
    setActionHandler("showStatusBarIcon:", [this](const Ref<NSObject>&) { showStatusBarIcon(); });
}

std::string GeneralPrefs::toolbarItemLabel() const { return NSBundle::mainBundle().localizedStringForKey("General", ""); }

std::optional<Ref<NSImage>> GeneralPrefs::toolbarItemImage() const
{
    return paneImage("NSPreferencesGeneral");
}

void GeneralPrefs::awakeFromNib()
{
    // The labels of the first two screen choices; the third (the screen
    // under the mouse) is not offered here.
    m_showOnScreenArray = { "Active Screen", "Main Screen" };
    auto popUp = showOnScreenPopup();
    if (!popUp)
        return;
    popUp->removeAllItems();
    popUp->addItemsWithTitles(m_showOnScreenArray);
    int64_t stored = NSUserDefaults::standardUserDefaults()->integerForKey("ShowOnScreen");
    if (stored < 0 || stored >= static_cast<int64_t>(m_showOnScreenArray.size())) {
        NSLog("General preferences: \"ShowOnScreen\" is %lld, which this pane does not offer; no choice is shown and the setting is kept",
            static_cast<long long>(stored));
        popUp->selectItemAtIndex(-1);
    } else {
        popUp->selectItemAtIndex(stored);
    }
    logMistypedSettings("General", { { "ShowIconInDock", Value::Type::Bool }, { "HideMenuBarIcon", Value::Type::Bool },
                                       { "ShowOnScreen", Value::Type::Integer } });
}

void GeneralPrefs::syncDefaults() { NSUserDefaults::standardUserDefaults()->synchronize(); }

void GeneralPrefs::setHideDockIcon()
{
    syncDefaults();
    if (auto delegate = std::dynamic_pointer_cast<AppDelegate>(NSApp().delegate()))
        delegate->setShowHideDockIcon();
}

void GeneralPrefs::showStatusBarIcon()
{
    NSUserDefaults::standardUserDefaults()->synchronize();
    if (auto delegate = std::dynamic_pointer_cast<AppDelegate>(NSApp().delegate()))
        delegate->setupStatusMenu();
}

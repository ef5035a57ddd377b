// The General pane: launch at login, the Dock and menu-bar icons, and the
// screen the panel opens on.
#pragma once

#include "KSPreferencesViewController.h"
#include "LoginItemController.h"

#include <appkit/NSPopUpButton.h>
#include <appkit/NSViewController.h>

#include <string>
#include <vector>

class GeneralPrefs final : public NSViewController, public KSPreferencesViewController {
public:
    GeneralPrefs();

    std::string viewIdentifier() const override { return "GeneralPreferences"; }
    std::string toolbarItemLabel() const override;
    std::optional<Ref<NSImage>> toolbarItemImage() const override;

    // Outlets and objects of the interface file.
    Ref<NSPopUpButton> showOnScreenPopup() const { return m_showOnScreenPopup.lock(); }
    void setShowOnScreenPopup(const Ref<NSPopUpButton>& popUp) { m_showOnScreenPopup = popUp; }
    const Ref<LoginItemController>& loginItemController() const { return m_loginItemController; }
    void setLoginItemController(const Ref<LoginItemController>& controller) { m_loginItemController = controller; }
    const std::vector<std::string>& showOnScreenArray() const { return m_showOnScreenArray; }

    void awakeFromNib();
    void syncDefaults();
    void setHideDockIcon();
    void showStatusBarIcon();

private:
    Weak<NSPopUpButton> m_showOnScreenPopup;
    Ref<LoginItemController> m_loginItemController;
    std::vector<std::string> m_showOnScreenArray;
};

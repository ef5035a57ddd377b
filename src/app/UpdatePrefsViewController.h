// The Updates/Betas pane: automatic checks, background checks, the beta
// feed, a check now and the newsletter for beta testers.
#pragma once

#include "KSPreferencesViewController.h"

#include <appkit/NSViewController.h>

#include <string>

class UpdatePrefsViewController final : public NSViewController, public KSPreferencesViewController {
public:
    UpdatePrefsViewController();

    std::string viewIdentifier() const override { return "UpdatePreferences"; }
    std::string toolbarItemLabel() const override;
    std::optional<Ref<NSImage>> toolbarItemImage() const override;
    std::string identifier() const { return "Updates/Beta"; }

    void joinToBeta();
    void checkUpates();
    void syncDefaults();
};

// The Styles pane: theme, layout, carousel style, animation, full screen and
// the two keyboard-hint settings.
#pragma once

#include "KSPreferencesViewController.h"

#include <appkit/NSViewController.h>
#include <foundation/NSUserDefaults.h>

#include <string>
#include <vector>

class StylePrefs final : public NSViewController, public KSPreferencesViewController {
public:
    StylePrefs();

    std::string viewIdentifier() const override { return "StylesPreferences"; }
    std::string toolbarItemLabel() const override;
    std::optional<Ref<NSImage>> toolbarItemImage() const override;

    const Ref<NSUserDefaults>& defaults() const { return m_defaults; }
    // The carousel styles ("Style3DIndex") by number.
    const std::vector<std::string>& themes3DKeyArray() const { return m_themes3DKeyArray; }
    void syncDefaults();

private:
    Ref<NSUserDefaults> m_defaults;
    std::vector<std::string> m_themes3DKeyArray;
};

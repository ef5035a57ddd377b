// The Shortcuts pane: for each of the three hotkeys, a pop-up of the fixed
// choices and "Custom...", and a recorder for the custom shortcut, enabled
// only while "Custom..." is chosen.
#pragma once

#include "KSPreferencesViewController.h"
#include "KSShortcutView.h"

#include <appkit/NSPopUpButton.h>
#include <appkit/NSViewController.h>
#include <foundation/NSUserDefaults.h>

#include <array>
#include <string>
#include <vector>

class ShortcutsPrefs final : public NSViewController, public KSPreferencesViewController {
public:
    struct Row {
        Weak<NSPopUpButton> popUp;
        Weak<KSShortcutView> recorder;
        std::string indexKey;
        std::string customKey;
    };

    ShortcutsPrefs();

    std::string viewIdentifier() const override { return "Shortcuts"; }
    std::string toolbarItemLabel() const override;
    std::optional<Ref<NSImage>> toolbarItemImage() const override;

    const Ref<NSUserDefaults>& defaults() const { return m_defaults; }
    const std::vector<std::string>& windowKeyArray() const { return m_windowKeyArray; }
    // The rows in the order all windows, on-screen windows, active application.
    std::array<Row, 3>& rows() { return m_rows; }
    const std::array<Row, 3>& rows() const { return m_rows; }
    Ref<NSPopUpButton> allWindowKeysCombo() const { return m_rows[0].popUp.lock(); }
    Ref<KSShortcutView> customAllWindowShortCut() const { return m_rows[0].recorder.lock(); }
    Ref<NSPopUpButton> onScreenKeysCombo() const { return m_rows[1].popUp.lock(); }
    Ref<KSShortcutView> customOnScreenWindowShortCut() const { return m_rows[1].recorder.lock(); }
    Ref<NSPopUpButton> activeAppWindowsKeysCombo() const { return m_rows[2].popUp.lock(); }
    Ref<KSShortcutView> customActiveAppWindowsShortCut() const { return m_rows[2].recorder.lock(); }

    void viewDidLoad() override;
    void viewWillAppear() override;
    void setState();
    void syncDefaults();

    Value valueForKey(const std::string& key) const override;

private:
    Ref<NSUserDefaults> m_defaults;
    std::vector<std::string> m_windowKeyArray;
    std::array<Row, 3> m_rows;
};

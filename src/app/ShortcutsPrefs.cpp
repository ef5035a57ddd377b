#include "ShortcutsPrefs.h"

#include "AppController.h"
#include "HotkeyChoice.h"
#include "KSShortcutBinder.h"
#include "PreferencePaneBuilder.h"

#include <appkit/NSKeyValueBinding.h>
#include <appkit/NSNib.h>
#include <foundation/Format.h>
#include <foundation/NSBundle.h>

namespace {
constexpr CGFloat kPaneWidth = 560;
const char* const kRowNames[] = { "All windows", "Windows on screen", "Active application" };

// The validator of one row's recorder: a combination another row's
// recorder holds is taken, as one of the system's is (two hot keys cannot
// share it: the second would never be registered). Everything else is the
// shared validator's answer.
class RowValidator final : public KSShortcutValidator {
public:
    RowValidator(const ShortcutsPrefs& pane, size_t row)
        : m_pane(pane)
        , m_row(row)
    {
    }
    bool isShortcutValid(const Ref<KSShortcut>& shortcut) const override
    {
        return KSShortcutValidator::sharedValidator()->isShortcutValid(shortcut);
    }
    bool isShortcutAlreadyTakenBySystem(const Ref<KSShortcut>& shortcut, std::string* explanation) const override
    {
        for (size_t other = 0; other < m_pane.rows().size(); ++other) {
            auto recorder = m_pane.rows()[other].recorder.lock();
            if (other == m_row || !recorder || !recorder->shortcutValue() || !recorder->shortcutValue()->isEqual(shortcut.get()))
                continue;
            if (explanation)
                *explanation = stringWithFormat(
                    ShortcutKitLocalizedString("This shortcut cannot be used because it is already used by the hotkey ‘%@’.",
                        "Message for alert when shortcut is already used by another hotkey")
                        .c_str(),
                    kRowNames[other]);
            return true;
        }
        return KSShortcutValidator::sharedValidator()->isShortcutAlreadyTakenBySystem(shortcut, explanation);
    }

private:
    // The pane owns the recorders, which own their validators.
    const ShortcutsPrefs& m_pane;
    size_t m_row;
};

}

static NSNibRegistration shortcutsNib("Shortcuts", [](NSObject& owner) {
    auto& pane = dynamic_cast<ShortcutsPrefs&>(owner);
    auto self = pane.selfRef<NSObject>();
    PreferencePaneBuilder builder(kPaneWidth);
    for (size_t i = 0; i < pane.rows().size(); ++i) {
        auto [popUp, recorder] = builder.popUpAndRecorder(std::string(kRowNames[i]) + ":");
        popUp->setTarget(self);
        popUp->setAction("setState:");
        pane.rows()[i].popUp = popUp;
        pane.rows()[i].recorder = recorder;
    }
    pane.setView(builder.finish());
});

ShortcutsPrefs::ShortcutsPrefs()
    : NSViewController("Shortcuts")
    , m_defaults(NSUserDefaults::standardUserDefaults())
    , m_windowKeyArray({ "\u2318(Command) + \u21E5(Tab)", "\u2303(Control) + \u21E5(Tab)", "\u2325(Option) + \u21E5(Tab)", "Custom..." })
{
    m_rows[0].indexKey = AppController::kAllWindowsHotkeyIndex;
    m_rows[0].customKey = AppController::kShowAllWindowsCustomKey;
    m_rows[1].indexKey = AppController::kOnScreenWindowsHotkeyIndex;
    m_rows[1].customKey = AppController::kShowOnScreenWindowsCustomKey;
    m_rows[2].indexKey = AppController::kActiveAppWindowsHotKeyIndex;
    m_rows[2].customKey = AppController::kShowActiveAppWindows;
    setActionHandler("setState:", [this](const Ref<NSObject>&) { setState(); });
    setActionHandler("syncDefaults:", [this](const Ref<NSObject>&) { syncDefaults(); });
}

std::string ShortcutsPrefs::toolbarItemLabel() const { return NSBundle::mainBundle().localizedStringForKey("Shortcuts", ""); }

std::optional<Ref<NSImage>> ShortcutsPrefs::toolbarItemImage() const { return paneImage("Shortcuts"); }

Value ShortcutsPrefs::valueForKey(const std::string& key) const
{
    if (key == "windowKeyArray") {
        Value::Array titles;
        for (const auto& title : m_windowKeyArray)
            titles.push_back(Value(title));
        return Value(titles);
    }
    return NSViewController::valueForKey(key);
}

void ShortcutsPrefs::viewDidLoad()
{
    NSViewController::viewDidLoad();
    auto self = selfRef<NSObject>();
    for (auto& row : m_rows) {
        auto popUp = row.popUp.lock();
        auto recorder = row.recorder.lock();
        if (popUp) {
            popUp->bind(NSContentValuesBinding, self, "windowKeyArray");
            popUp->bind(NSSelectedIndexBinding, m_defaults, row.indexKey);
        }
        if (recorder) {
            recorder->setAssociatedUserDefaultsKey(row.customKey);
            recorder->setShortcutValidator(makeRef<RowValidator>(*this, static_cast<size_t>(&row - m_rows.data())));
        }
    }
    KSShortcutBinder::sharedBinder()->setBindingOptions(
        { { NSValueTransformerNameBindingOption, Value("KSDictionaryTransformer") } });
    logMistypedSettings("Shortcuts",
        { { m_rows[0].indexKey, Value::Type::Integer }, { m_rows[1].indexKey, Value::Type::Integer },
            { m_rows[2].indexKey, Value::Type::Integer } });
}

void ShortcutsPrefs::viewWillAppear()
{
    NSViewController::viewWillAppear();
    setState();
}

void ShortcutsPrefs::setState()
{
    for (auto& row : m_rows)
        if (auto recorder = row.recorder.lock())
            recorder->setEnabled(m_defaults->integerForKey(row.indexKey) >= HotkeyChoiceCustom);
}

void ShortcutsPrefs::syncDefaults() { m_defaults->synchronize(); }

#include "ShortcutsPrefs.h"

#include "AppController.h"
#include "HotkeyChoice.h"
#include "KSShortcutBinder.h"
#include "PreferencePaneBuilder.h"

#include <appkit/NSKeyValueBinding.h>
#include <appkit/NSNib.h>
#include <foundation/NSBundle.h>

namespace {
constexpr CGFloat kPaneWidth = 560;
}

static NSNibRegistration shortcutsNib("Shortcuts", [](NSObject& owner) {
    auto& pane = dynamic_cast<ShortcutsPrefs&>(owner);
    auto self = pane.selfRef<NSObject>();
    PreferencePaneBuilder builder(kPaneWidth);
    const char* labels[] = { "All windows:", "Windows on screen:", "Active application:" };
    for (size_t i = 0; i < pane.rows().size(); ++i) {
        auto [popUp, recorder] = builder.popUpAndRecorder(labels[i]);
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
        if (recorder)
            recorder->setAssociatedUserDefaultsKey(row.customKey);
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

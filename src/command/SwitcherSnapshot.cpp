#include "SwitcherSnapshot.h"

#include <model/DefaultsKeys.h>
#include <services/CGWindow.h>

#include <switcher/SwitchWindowController.h>

#include <desktop/sim/SimDesktop.h>
#include <foundation/NSUserDefaults.h>
#include <foundation/RunLoop.h>
#include <graphics/CGColorSpace.h>
#include <graphics/CGDataProvider.h>
#include <graphics/ImageIO.h>
#include <model/WindowManager.h>

#include <fstream>

namespace {

// The modifier held while the panel is open, as a person holds Option.
constexpr NSEventModifierFlags kHeldModifier = NSEventModifierFlagOption;
constexpr double kSettleSeconds = 1.0;

bool fail(std::string* error, const std::string& reason)
{
    if (error) *error = reason;
    return false;
}

CGImageRef failed(std::string* error, const std::string& reason)
{
    fail(error, reason);
    return nullptr;
}

// Shows the settings while it lives, through the argument domain, so the
// user's stored settings are never touched, not even for a moment.
class SettingsOverride {
public:
    explicit SettingsOverride(const SwitcherSettings& settings)
        : m_defaults(NSUserDefaults::standardUserDefaults())
    {
        Value::Dictionary domain;
        for (const auto& [key, value] : settings)
            domain[key] = value;
        m_defaults->setVolatileDomain(domain, NSArgumentDomain);
    }
    ~SettingsOverride() { m_defaults->removeVolatileDomainForName(NSArgumentDomain); }
    SettingsOverride(const SettingsOverride&) = delete;
    SettingsOverride& operator=(const SettingsOverride&) = delete;

private:
    Ref<NSUserDefaults> m_defaults;
};
}

bool writeSwitcherSnapshot(SwitcherTheme theme, const std::string& pngPath, std::string* error)
{
    return writeSwitcherSnapshot({ { DefaultsKey::ThemeIndex, Value(int64_t(theme)) } }, pngPath, error);
}

bool writeSwitcherSnapshot(const SwitcherSettings& settings, const std::string& pngPath, std::string* error)
{
    if (!dynamic_cast<SimDesktop*>(&Desktop::current())) return fail(error, "the desktop is not a simulated one");
    auto model = WindowManager::create();
    // The start-up scan, then the first order numbers and badges.
    RunLoop::main().runUntilIdle();
    RunLoop::main().runFor(std::max(WindowManager::kFirstSortOrderDelay, WindowManager::kBadgesDelay));
    return writeSwitcherSnapshot(settings, model, pngPath, error);
}

bool writeSwitcherSnapshot(
    const SwitcherSettings& settings, const Ref<WindowManager>& model, const std::string& pngPath, std::string* error)
{
    auto picture = takeSwitcherSnapshot(settings, model, error);
    if (!picture) return false;
    if (!CGImageWritePNGFile(picture, pngPath)) return fail(error, "cannot write " + pngPath);
    return true;
}

CGImageRef takeSwitcherSnapshot(const SwitcherSettings& settings, const Ref<WindowManager>& model, std::string* error)
{
    auto* desktop = dynamic_cast<SimDesktop*>(&Desktop::current());
    if (!desktop) return failed(error, "the desktop is not a simulated one");

    SettingsOverride settingsOverride(settings);
    // Opening the panel activates this process; the application in front
    // before comes back afterwards, as if the picture had not been taken.
    pid_t frontmost = desktop->frontmostApplication();
    // As the all-windows hotkey does before it opens the panel: the list
    // filtered, ordered and numbered.
    model->setFilterType(WindowFilterAll);
    RunLoop::main().runUntilIdle();
    auto arrayController = makeRef<NSArrayController>();
    arrayController->bind("contentArray", model, "windows");

    uint64_t heldBefore = desktop->keyboardModifierFlags();
    desktop->setModifierFlags(heldBefore | kHeldModifier);
    RunLoop::main().runUntilIdle();
    auto controller = SwitchWindowController::create();
    controller->handleHotkeyWithWindowListWithArrayController(arrayController);
    bool opened
        = controller->currentViewController() && controller->window() && controller->window()->isVisible();
    if (opened && arrayController->arrangedObjects().size() > 1) arrayController->setSelectionIndex(1);
    // The picture shows the panel at rest, after its own animations (the
    // carousel's scroll to the selected card) have ended; only that last
    // frame is painted.
    if (opened) controller->window()->setAutodisplay(false);
    RunLoop::main().runFor(kSettleSeconds);
    if (opened) controller->window()->setAutodisplay(true);
    RunLoop::main().runUntilIdle();
    auto screenshot = desktop->screenshot();

    controller->_hideWindowWhitOutAnimation();
    desktop->setModifierFlags(heldBefore);
    if (frontmost && frontmost != desktop->ownProcessIdentifier())
        desktop->activateApplication(frontmost, true);
    RunLoop::main().runUntilIdle();

    if (!controller->currentViewController()) {
        return failed(error,
            "no switcher layout for LayoutType "
                + std::to_string(NSUserDefaults::standardUserDefaults()->integerForKey(DefaultsKey::LayoutType)));
    }
    if (!opened) return failed(error, "the switcher panel did not open");
    auto picture = CGImageCreateWithDesktopImage(std::move(screenshot));
    if (!picture) return failed(error, "the desktop gave no picture");
    return picture;
}

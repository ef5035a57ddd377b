#include "support/SimWorld.h"
#include "support/TemporaryDirectory.h"

#include <app/AppDelegate.h>
#include <app/BoolTransformer.h>
#include <app/GeneralPrefs.h>
#include <app/KSPreferencesWindowController.h>
#include <app/ShortcutsPrefs.h>
#include <app/StylePrefs.h>
#include <app/UpdatePrefsViewController.h>
#include <desktop/InputCodes.h>
#include <appkit/NSApplication.h>
#include <appkit/NSEvent.h>
#include <appkit/NSMenuWindow.h>
#include <appkit/NSPopUpButton.h>
#include <appkit/NSStatusBar.h>
#include <appkit/NSWindow.h>
#include <foundation/Log.h>
#include <foundation/NSBundle.h>
#include <foundation/NSUserDefaults.h>
#include <model/EBEventful.h>
#include <services/SUUpdater.h>

#include <cstdlib>

namespace {

// The application started in a world of its own, settings and login items
// in a fresh folder, with its preferences window open.
class Panes : public ::testing::Test {
protected:
    Panes()
    {
        ::setenv("XDG_CONFIG_HOME", settings.path().c_str(), 1);
        NSUserDefaults::setStorageDirectory(settings.path());
        NSUserDefaults::resetStandardUserDefaults();
        EBEventful::resetForTesting();
        delegate = makeRef<AppDelegate>();
        NSApp().setDelegate(delegate);
    }
    ~Panes() override
    {
        if (delegate->prefsController()->isWindowLoaded())
            delegate->prefsController()->window()->orderOut(nullptr);
        ::unsetenv("XDG_CONFIG_HOME");
    }
    void open()
    {
        // The application starts once per process; the start-up itself runs
        // again for each delegate.
        delegate->initApp();
        world.settle();
        world.advance(1);
        delegate->showPrefsPanel();
        world.settle();
    }
    template <class Pane>
    Ref<Pane> show(const std::string& identifier)
    {
        auto controller = delegate->prefsController();
        controller->selectControllerWithIdentifier(identifier);
        world.settle();
        return std::dynamic_pointer_cast<Pane>(controller->selectedViewController());
    }
    Ref<NSUserDefaults> defaults() { return NSUserDefaults::standardUserDefaults(); }

    TemporaryDirectory settings;
    SimWorld world;
    Ref<AppDelegate> delegate;
};

}

TEST_F(Panes, FourPanesInToolbarOrderEachWithItsLabel)
{
    open();
    auto controller = delegate->prefsController();
    EXPECT_EQ(controller->toolbarItemIdentifiers(),
        (std::vector<std::string> { "GeneralPreferences", "StylesPreferences", "Shortcuts", "UpdatePreferences" }));
    std::vector<std::string> labels;
    for (const auto& item : controller->toolbar()->items())
        labels.push_back(item->label());
    EXPECT_EQ(labels, (std::vector<std::string> { "General", "Styles", "Shortcuts", "Updates/Betas" }));
    auto updates = show<UpdatePrefsViewController>("UpdatePreferences");
    ASSERT_TRUE(updates);
    EXPECT_EQ(updates->identifier(), "Updates/Beta");
    auto styles = show<StylePrefs>("StylesPreferences");
    ASSERT_TRUE(styles);
    EXPECT_EQ(styles->themes3DKeyArray().size(), 12u);
    EXPECT_EQ(styles->themes3DKeyArray()[7], "CoverFlow");
    // "LayoutType" is absent on a first start and reads 0: the grid shows,
    // and showing it writes nothing.
    ASSERT_TRUE(defaults()->objectForKey("LayoutType").isNil());
    auto shown = [](const Ref<NSView>& view) {
        std::vector<std::string> titles;
        for (const auto& subview : view->subviews())
            if (auto popUp = std::dynamic_pointer_cast<NSPopUpButton>(subview))
                titles.push_back(popUp->titleOfSelectedItem());
        return titles;
    };
    EXPECT_EQ(shown(styles->view()), (std::vector<std::string> { "Dark", "Grid", "CoverFlow2" }));
    EXPECT_TRUE(defaults()->objectForKey("LayoutType").isNil());
    defaults()->setInteger(2, "LayoutType");
    EXPECT_EQ(shown(styles->view())[1], "Compact List");
}

TEST_F(Panes, TheShortcutsPaneEnablesARecorderOnlyForCustom)
{
    open();
    defaults()->setInteger(0, "AllWindowsHotkeyIndex");
    defaults()->setInteger(3, "ActiveAppWindowsHotKeyIndex");
    auto pane = show<ShortcutsPrefs>("Shortcuts");
    ASSERT_TRUE(pane);
    auto popUp = pane->allWindowKeysCombo();
    auto recorder = pane->customAllWindowShortCut();
    ASSERT_TRUE(popUp && recorder);
    EXPECT_EQ(popUp->itemTitles(), pane->windowKeyArray());
    EXPECT_EQ(popUp->indexOfSelectedItem(), 0);
    EXPECT_FALSE(recorder->isEnabled());
    EXPECT_TRUE(pane->customActiveAppWindowsShortCut()->isEnabled()) << "the active-application hotkey starts custom";
    EXPECT_EQ(pane->customActiveAppWindowsShortCut()->associatedUserDefaultsKey(), "ShowActiveAppWindows");

    popUp->performClick(nullptr);
    ASSERT_TRUE(popUp->chooseItemWithTitle("Custom..."));
    EXPECT_EQ(defaults()->integerForKey("AllWindowsHotkeyIndex"), 3) << "written at once";
    EXPECT_TRUE(recorder->isEnabled());
    popUp->performClick(nullptr);
    popUp->chooseItemAtIndex(1);
    EXPECT_FALSE(recorder->isEnabled());

    // A mistyped index is logged and read as the first choice; it is kept.
    defaults()->setObject(Value("two"), "OnScreenWindowsHotkeyIndex");
    LogCapture log;
    auto fresh = makeRef<ShortcutsPrefs>();
    fresh->view();
    EXPECT_TRUE(log.contains("\"OnScreenWindowsHotkeyIndex\" holds a text"));
    EXPECT_EQ(defaults()->objectForKey("OnScreenWindowsHotkeyIndex"), Value("two"));
}

TEST_F(Panes, GeneralAppliesTheDockAndMenuBarIconsAtOnceAndKeepsAScreenItCannotShow)
{
    open();
    auto pane = show<GeneralPrefs>("GeneralPreferences");
    ASSERT_TRUE(pane && pane->showOnScreenPopup());
    EXPECT_EQ(pane->showOnScreenPopup()->itemTitles(), (std::vector<std::string> { "Active Screen", "Main Screen" }));
    EXPECT_EQ(pane->showOnScreenPopup()->indexOfSelectedItem(), 1);

    auto window = delegate->prefsController()->window();
    defaults()->setBool(false, "ShowIconInDock");
    pane->setHideDockIcon();
    EXPECT_EQ(NSApp().activationPolicy(), NSApplicationActivationPolicyAccessory);
    window->orderOut(nullptr);
    world.advance(0.5);
    EXPECT_TRUE(window->isVisible()) << "the preferences come back after half a second";

    defaults()->setBool(true, "HideMenuBarIcon");
    pane->showStatusBarIcon();
    EXPECT_FALSE(delegate->statusItem());
    defaults()->setBool(false, "HideMenuBarIcon");
    pane->showStatusBarIcon();
    ASSERT_TRUE(delegate->statusItem());
    EXPECT_TRUE(delegate->statusItem()->menu()->itemWithTitle("Preferences..."));

    // The screen under the mouse (2) has no entry: no choice is shown, the
    // setting stays 2.
    defaults()->setObject(Value(2), "ShowOnScreen");
    LogCapture log;
    auto fresh = makeRef<GeneralPrefs>();
    fresh->view();
    EXPECT_EQ(fresh->showOnScreenPopup()->indexOfSelectedItem(), -1);
    EXPECT_EQ(fresh->showOnScreenPopup()->titleOfSelectedItem(), "");
    EXPECT_TRUE(log.contains("\"ShowOnScreen\" is 2"));
    EXPECT_EQ(defaults()->integerForKey("ShowOnScreen"), 2);
}

TEST_F(Panes, CheckingForUpdatesFromThePaneUsesTheFeedAsSetNow)
{
    open();
    auto pane = show<UpdatePrefsViewController>("UpdatePreferences");
    ASSERT_TRUE(pane);
    defaults()->setBool(false, "SUUpdaterChecksForBetaUpdates");
    pane->checkUpates();
    auto checks = SUUpdater::sharedUpdater()->checks();
    ASSERT_FALSE(checks.empty());
    EXPECT_EQ(checks.back().feedURL, NSBundle::mainBundle().objectForInfoDictionaryKey("SUFeedURL").stringValue());
    defaults()->setBool(true, "SUUpdaterChecksForBetaUpdates");
    pane->checkUpates();
    EXPECT_EQ(SUUpdater::sharedUpdater()->checks().back().feedURL, AppDelegate::kBetaFeed);
}

TEST(BoolTransformerTest, NoOnlyForTextWhileKeyboardShortcutsAreOn)
{
    SimWorld world { SimWorld::emptyScenario() };
    TemporaryDirectory settings;
    NSUserDefaults::setStorageDirectory(settings.path());
    NSUserDefaults::resetStandardUserDefaults();
    BoolTransformer::registerTransformer();
    auto transformer = NSValueTransformer::valueTransformerForName("BoolTransformer");
    ASSERT_TRUE(transformer);
    EXPECT_FALSE(transformer->allowsReverseTransformation());
    auto defaults = NSUserDefaults::standardUserDefaults();
    for (bool shortcuts : { false, true }) {
        defaults->setBool(shortcuts, "KeyboardShotcuts");
        EXPECT_EQ(transformer->transformedValue(Value("")), Value(true)) << shortcuts;
        EXPECT_EQ(transformer->transformedValue(Value("A")), Value(!shortcuts)) << shortcuts;
        EXPECT_EQ(transformer->transformedValue(Value(7)), Value(true)) << "a number is no text";
        EXPECT_EQ(transformer->transformedValue(Value()), Value(true));
    }
    NSUserDefaults::setStorageDirectory("");
}

// A pop-up button opens its list as a menu window of its own below it, the
// chosen item highlighted; the pointer or the arrows and Return choose,
// Escape and a click elsewhere close it without a choice. Each choice is
// written at once.
TEST_F(Panes, APopUpOpensItsListAsAMenuWindowChosenFromByPointerOrKeys)
{
    open();
    auto styles = show<StylePrefs>("StylesPreferences");
    ASSERT_TRUE(styles);
    Ref<NSPopUpButton> layout;
    for (const auto& subview : styles->view()->subviews())
        if (auto popUp = std::dynamic_pointer_cast<NSPopUpButton>(subview); popUp && popUp->titleOfSelectedItem() == "Grid")
            layout = popUp;
    ASSERT_TRUE(layout);
    auto click = [&](CGPoint point) {
        NSApp().deliverInputEvent(NSEvent::mouseEventWithType(NSEventTypeLeftMouseDown, point));
        NSApp().deliverInputEvent(NSEvent::mouseEventWithType(NSEventTypeLeftMouseUp, point));
        world.settle();
    };
    auto key = [&](uint16_t code) {
        NSApp().deliverInputEvent(NSEvent::keyEventWithKeyCode(NSEventTypeKeyDown, code, 0));
        world.settle();
    };
    CGRect button = layout->window()->convertRectToScreen(layout->convertRectToView(layout->bounds(), nullptr));
    auto openList = [&] {
        click(CGPointMake(CGRectGetMidX(button), CGRectGetMidY(button)));
        auto menu = NSMenuWindow::current();
        return menu && layout->menuWindow() == menu && menu->window()->isVisible() ? menu : nullptr;
    };
    auto middleOf = [](CGRect r) { return CGPointMake(CGRectGetMidX(r), CGRectGetMidY(r)); };

    auto menu = openList();
    ASSERT_TRUE(menu);
    CGRect frame = menu->window()->frame();
    EXPECT_LE(CGRectGetMaxY(frame), CGRectGetMinY(button)) << "below the button";
    EXPECT_GE(frame.size.width, button.size.width);
    EXPECT_EQ(menu->window()->level(), NSPopUpMenuWindowLevel);
    EXPECT_EQ(menu->menu()->numberOfItems(), layout->numberOfItems());
    EXPECT_EQ(menu->highlightedIndex(), 0) << "the chosen item";

    // By the pointer.
    click(middleOf(menu->screenRectOfItemAtIndex(3)));
    EXPECT_FALSE(menu->isOpen());
    EXPECT_FALSE(menu->window()->isVisible());
    EXPECT_EQ(defaults()->integerForKey("LayoutType"), 3);
    EXPECT_EQ(layout->indexOfSelectedItem(), 3);

    // By the keys, from the chosen item on.
    menu = openList();
    ASSERT_TRUE(menu);
    EXPECT_EQ(menu->highlightedIndex(), 3);
    key(kVK_UpArrow);
    key(kVK_UpArrow);
    key(kVK_Return);
    EXPECT_FALSE(menu->isOpen());
    EXPECT_EQ(defaults()->integerForKey("LayoutType"), 1);

    // Escape and a click outside choose nothing.
    menu = openList();
    ASSERT_TRUE(menu);
    key(kVK_DownArrow);
    key(kVK_Escape);
    EXPECT_FALSE(menu->isOpen());
    EXPECT_FALSE(layout->isOpen());
    menu = openList();
    ASSERT_TRUE(menu);
    CGRect prefs = layout->window()->frame();
    click(CGPointMake(CGRectGetMinX(prefs) + 10, CGRectGetMaxY(prefs) - 40));
    EXPECT_FALSE(menu->isOpen());
    EXPECT_EQ(defaults()->integerForKey("LayoutType"), 1);
    EXPECT_EQ(layout->titleOfSelectedItem(), "List");
}

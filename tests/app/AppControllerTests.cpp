// The hotkey and event-tap controller, driven as a person drives it: keys
// typed on the simulated desktop travel through the event taps and the hot
// keys to the controller and on to the switcher panel.
#include "HotkeyScenario.h"

#include <desktop/InputCodes.h>
#include <support/DefaultsSandbox.h>
#include <support/SimWorld.h>

#include <app/AppController.h>
#include <app/KSShortcutMonitor.h>
#include <app/KSShortcutValidator.h>
#include <appkit/NSApplication.h>
#include <appkit/NSUserDefaultsController.h>
#include <foundation/Log.h>
#include <foundation/NSKeyedArchiver.h>
#include <foundation/NSNotificationCenter.h>
#include <foundation/NSUserDefaults.h>
#include <model/EBEventful.h>
#include <model/SWWindow.h>
#include <model/WindowManager.h>
#include <services/CarbonEvents.h>
#include <services/EventStream.h>
#include <switcher/SwitchWindowController.h>
#include <switcher/SwitcherLayoutRegistry.h>

#include <algorithm>
#include <set>

namespace {

constexpr pid_t kEditor = 7;
constexpr pid_t kViewer = 8;

// A layout that selects the way the grid does and may take its time.
class TestLayout : public NSViewController, public SwitchViewControllerProtocol {
public:
    void loadView() override { setView(makeRef<NSView>(CGRectMake(0, 0, 600, 200))); }
    CGSize getContentSize() override { return { 600, 200 }; }
    void selectSecond() override
    {
        if (work) work();
        select(arrangedCount() > 1 ? 1 : 0);
    }
    void selectNext() override
    {
        size_t count = arrangedCount();
        NSUInteger index = m_list ? m_list->selectionIndex() : NSNotFound;
        select(index == NSNotFound || index + 1 >= count ? 0 : index + 1);
    }
    void selectPrev() override { }
    void setArrayController(const Ref<NSArrayController>& controller) override { m_list = controller; }
    void startMonitoringControlKeysEvent() override { }
    void processControlKeys(uint16_t) override { }

    std::function<void()> work;

private:
    size_t arrangedCount() const { return m_list ? m_list->arrangedObjects().size() : 0; }
    void select(NSUInteger index)
    {
        if (m_list && arrangedCount() > 0) m_list->setSelectionIndex(index);
    }
    Ref<NSArrayController> m_list;
};

// What the bus carried from the controller.
struct BusRecord {
    EBEventId id;
    bool fromController;
    int64_t keyCode;
};

Value::Bytes archived(int64_t keyCode, uint64_t flags)
{
    return *NSKeyedArchiver::archivedDataWithRootObject(
        Value(KSShortcut::shortcutWithKeyCode(keyCode, flags)));
}

class HotkeyController : public ::testing::Test {
protected:
    HotkeyController()
    {
        EBEventful::resetForTesting();
        layoutRegistration = SwitcherLayoutRegistry::registerLayout(SwitcherLayoutGrid, [this] {
            layout = makeRef<TestLayout>();
            return layout;
        });
        model = WindowManager::create();
        world.settle();
        world.advance(std::max(WindowManager::kFirstSortOrderDelay, WindowManager::kBadgesDelay));
    }
    ~HotkeyController() override
    {
        if (auto monitor = KSShortcutMonitor::sharedMonitor()) monitor->unregisterAllShortcuts();
        controller.reset();
        layoutRegistration.reset();
        layout.reset();
        model.reset();
        world.settle();
        EBEventful::resetForTesting();
    }

    Ref<NSUserDefaults> defaults() { return NSUserDefaults::standardUserDefaults(); }

    void start()
    {
        controller = AppController::create(model);
        world.settle();
    }

    // Presses a key with exactly these modifiers and lets it go; the
    // modifiers stay held, as they do while a person steps through the panel.
    void press(uint16_t keyCode, uint64_t flags)
    {
        world.desktop().pressKey(keyCode, flags);
        world.settle();
        world.desktop().releaseKey(keyCode);
        world.settle();
    }
    void releaseModifiers()
    {
        world.desktop().setModifierFlags(0);
        world.settle();
    }

    bool panelUp() const { return controller->windowController()->window()->isVisible(); }
    // How often an application received the key going down.
    size_t keyDowns(pid_t pid, uint16_t keyCode)
    {
        auto events = world.desktop().receivedEvents(pid);
        return std::count_if(events.begin(), events.end(),
            [&](const DesktopInputEvent& e) { return e.type == kCGEventKeyDown && e.keyCode == keyCode; });
    }
    std::set<CGWindowID> shownWindows() const
    {
        std::set<CGWindowID> ids;
        for (const auto& value : controller->windowsArrayController()->content())
            ids.insert(value.objectAs<SWWindow>()->windowID());
        return ids;
    }
    std::set<CGWindowID> modelWindows() const
    {
        std::set<CGWindowID> ids;
        for (const auto& window : model->windows())
            ids.insert(window->windowID());
        return ids;
    }
    NSUInteger selection() const { return controller->windowsArrayController()->selectionIndex(); }
    // The hot keys registered now, as (key code, Carbon modifiers).
    std::set<std::pair<uint32_t, uint32_t>> hotKeys() const
    {
        std::set<std::pair<uint32_t, uint32_t>> result;
        for (const auto& hotKey : registeredEventHotKeys())
            result.insert({ hotKey->keyCode(), hotKey->modifiers() });
        return result;
    }
    // Records what the bus carries for the ids.
    void listen(std::initializer_list<EBEventId> ids)
    {
        busListener = makeRef<NSObject>();
        for (EBEventId id : ids) {
            EBEventful::sharedInstance().receiveEvent(id, busListener, [this](const EBEvent& event) {
                int64_t code = event.data().isNil() ? -1 : event.data()["KeyCode"].integerValue();
                bus.push_back({ event.eventId(), event.sender() == controller, code });
            });
        }
    }

    SimWorld world { kScenario };
    DefaultsSandbox defaultsSandbox;
    Token layoutRegistration;
    Ref<TestLayout> layout;
    Ref<WindowManager> model;
    Ref<AppController> controller;
    Ref<NSObject> busListener;
    std::vector<BusRecord> bus;
};

}

// MARK: Set-up

TEST_F(HotkeyController, TheFirstRunWritesTheDefaultChoicesAndRegistersThem)
{
    start();
    EXPECT_EQ(defaults()->integerForKey(AppController::kAllWindowsHotkeyIndex), HotkeyChoiceCommandTab);
    EXPECT_EQ(defaults()->integerForKey(AppController::kOnScreenWindowsHotkeyIndex), HotkeyChoiceOptionTab);
    EXPECT_EQ(defaults()->integerForKey(AppController::kActiveAppWindowsHotKeyIndex), HotkeyChoiceCustom);
    auto active = controller->shortCutWithKey(AppController::kShowActiveAppWindows);
    ASSERT_TRUE(active);
    EXPECT_EQ(active->keyCode(), kVK_ANSI_Grave);
    EXPECT_EQ(active->modifierFlags(), kCGEventFlagMaskAlternate);
    EXPECT_TRUE(controller->commandActionEnabled());
    EXPECT_TRUE(controller->optionActionEnabled());
    EXPECT_FALSE(controller->controlActionEnabled());
    // Option+Tab and Option+`; Command+Tab is the tap's.
    EXPECT_EQ(hotKeys(),
        (std::set<std::pair<uint32_t, uint32_t>> { { kVK_Tab, optionKey }, { kVK_ANSI_Grave, optionKey } }));
    EXPECT_TRUE(KSShortcutValidator::sharedValidator()->allowAnyShortcutWithOptionModifier());
    ASSERT_TRUE(controller->eventTap());
    EXPECT_TRUE(CGEventTapIsEnabled(controller->eventTap()));
    EXPECT_EQ(controller->keys().at(AppController::kActiveAppWindowsHotKeyIndex),
        AppController::kShowActiveAppWindows);
}

TEST_F(HotkeyController, StoredChoicesAndShortcutsAreNeverOverwritten)
{
    defaults()->setInteger(HotkeyChoiceControlTab, AppController::kAllWindowsHotkeyIndex);
    defaults()->setInteger(HotkeyChoiceCustom, AppController::kOnScreenWindowsHotkeyIndex);
    defaults()->setObject(Value(archived(kVK_ANSI_K, kCGEventFlagMaskCommand | kCGEventFlagMaskAlternate)),
        AppController::kShowOnScreenWindowsCustomKey);
    defaults()->setObject(Value(archived(kVK_ANSI_K, kCGEventFlagMaskControl | kCGEventFlagMaskShift)),
        AppController::kShowActiveAppWindows);
    start();
    EXPECT_EQ(defaults()->integerForKey(AppController::kAllWindowsHotkeyIndex), HotkeyChoiceControlTab);
    EXPECT_EQ(defaults()->integerForKey(AppController::kOnScreenWindowsHotkeyIndex), HotkeyChoiceCustom);
    EXPECT_EQ(defaults()->integerForKey(AppController::kActiveAppWindowsHotKeyIndex), HotkeyChoiceCustom);
    EXPECT_EQ(controller->shortCutWithKey(AppController::kShowActiveAppWindows)->modifierFlags(),
        kCGEventFlagMaskControl | kCGEventFlagMaskShift);
    EXPECT_FALSE(controller->commandActionEnabled());
    EXPECT_TRUE(controller->controlActionEnabled());
    EXPECT_EQ(hotKeys(),
        (std::set<std::pair<uint32_t, uint32_t>> { { kVK_Tab, controlKey },
            { kVK_ANSI_K, cmdKey | optionKey }, { kVK_ANSI_K, controlKey | shiftKey } }));
}

TEST_F(HotkeyController, WithoutAccessibilityNothingIsSetUp)
{
    world.desktop().setAccessibilityTrusted(false);
    start();
    EXPECT_FALSE(controller->eventTap());
    EXPECT_TRUE(registeredEventHotKeys().empty());
    EXPECT_TRUE(defaults()->objectForKey(AppController::kAllWindowsHotkeyIndex).isNil());
    EXPECT_FALSE(controller->windowsArrayController());
    EXPECT_FALSE(controller->windowManager());
    controller->handleHotkeys(WindowFilterAll);
    world.desktop().typeKey(kVK_Tab, kCGEventFlagMaskCommand);
    world.settle();
    EXPECT_EQ(keyDowns(kEditor, kVK_Tab), 1u) << "Command+Tab goes to the frontmost application";
    EXPECT_FALSE(AppController::accessibilityEnabled());
    EXPECT_EQ(world.desktop().accessibilityPromptCount(), 0);
    AppController::openAccessibility();
    EXPECT_EQ(world.desktop().accessibilityPromptCount(), 1);
}

TEST_F(HotkeyController, ChoicesThatGiveNoShortcutAreLoggedAndLeaveTheirHotkeyOut)
{
    LogCapture log;
    defaults()->setInteger(7, AppController::kAllWindowsHotkeyIndex);
    defaults()->setInteger(-1, AppController::kOnScreenWindowsHotkeyIndex);
    defaults()->setInteger(HotkeyChoiceCustom, AppController::kActiveAppWindowsHotKeyIndex);
    defaults()->setObject(Value(Value::Bytes { 1, 2, 3 }), AppController::kShowActiveAppWindows);
    start();
    EXPECT_EQ(log.count("registerShortcutForKey -> shortcut == NIL"), 3u);
    EXPECT_TRUE(hotKeys().empty());
    EXPECT_FALSE(controller->commandActionEnabled());
    EXPECT_EQ(AppController::shortcutWithData(std::nullopt), nullptr);
}

// MARK: Every choice of every hotkey

namespace {

struct Slot {
    const char* indexKey;
    const char* customKey;
    WindowFilterType filter;
};
const Slot kSlots[] = {
    { AppController::kAllWindowsHotkeyIndex, AppController::kShowAllWindowsCustomKey, WindowFilterAll },
    { AppController::kOnScreenWindowsHotkeyIndex, AppController::kShowOnScreenWindowsCustomKey,
        WindowFilterOnScreen },
    { AppController::kActiveAppWindowsHotKeyIndex, AppController::kShowActiveAppWindows,
        WindowFilterActiveApplication },
};

struct Combination {
    uint16_t keyCode;
    uint64_t flags;
};
// What a person presses for each choice; the custom shortcut is
// Control+Option+K.
const Combination kCombinations[] = {
    { kVK_Tab, kCGEventFlagMaskCommand },
    { kVK_Tab, kCGEventFlagMaskControl },
    { kVK_Tab, kCGEventFlagMaskAlternate },
    { kVK_ANSI_K, kCGEventFlagMaskControl | kCGEventFlagMaskAlternate },
};

class EveryChoice : public HotkeyController, public ::testing::WithParamInterface<std::tuple<int, int>> { };

}

TEST_P(EveryChoice, OpensThePanelWithTheHotkeysFilterAndFurtherPressesStepTheSelection)
{
    auto [slotIndex, choice] = GetParam();
    const Slot& slot = kSlots[slotIndex];
    const Combination& keys = kCombinations[choice];
    // The other hotkeys have no shortcut.
    for (const auto& other : kSlots)
        defaults()->setInteger(&other == &slot ? choice : 9, other.indexKey);
    defaults()->setObject(
        Value(archived(kVK_ANSI_K, kCGEventFlagMaskControl | kCGEventFlagMaskAlternate)), slot.customKey);
    start();
    // The model shows another filter until the hotkey.
    model->setFilterType(slot.filter == WindowFilterAll ? WindowFilterOnScreen : WindowFilterAll);

    press(keys.keyCode, keys.flags);
    ASSERT_TRUE(panelUp());
    EXPECT_EQ(model->filterType(), slot.filter);
    EXPECT_EQ(shownWindows(), modelWindows());
    const std::set<CGWindowID> expected[] = { { 70, 71, 80, 90 }, { 70, 71, 72, 80, 90 }, { 70, 71 } };
    EXPECT_EQ(shownWindows(), expected[slot.filter]);
    EXPECT_EQ(keyDowns(kEditor, keys.keyCode), 0u) << "the tap or the hot key took the key";
    EXPECT_EQ(keyDowns(SimDesktop::kOwnPid, keys.keyCode), 0u);
    EXPECT_EQ(selection(), 1u);

    size_t count = shownWindows().size();
    press(keys.keyCode, keys.flags);
    EXPECT_TRUE(panelUp());
    EXPECT_EQ(selection(), 2 % count);
    press(keys.keyCode, keys.flags);
    EXPECT_EQ(selection(), 3 % count);
    EXPECT_EQ(model->filterType(), slot.filter);
    EXPECT_TRUE(CGEventTapIsEnabled(controller->eventTap()));

    // Letting the modifiers go switches to the selected window.
    auto chosen = controller->windowController()->selectedWindow();
    ASSERT_TRUE(chosen);
    releaseModifiers();
    EXPECT_FALSE(panelUp());
    EXPECT_EQ(world.desktop().frontmostApplication(), chosen->processIdentifier());
}

namespace {
std::string choiceName(const ::testing::TestParamInfo<EveryChoice::ParamType>& info)
{
    static const char* const slots[] = { "AllWindows", "OnScreenWindows", "ActiveAppWindows" };
    static const char* const choices[] = { "CommandTab", "ControlTab", "OptionTab", "Custom" };
    return std::string(slots[std::get<0>(info.param)]) + "On" + choices[std::get<1>(info.param)];
}
}

INSTANTIATE_TEST_SUITE_P(HotkeyController, EveryChoice,
    ::testing::Combine(::testing::Range(0, 3), ::testing::Range(0, 4)), choiceName);

// MARK: The event tap

TEST_F(HotkeyController, CommandTabIsTakenOnlyWhileAHotkeyUsesIt)
{
    start();
    // Shift is not looked at: Command+Shift+Tab opens the panel too.
    press(kVK_Tab, kCGEventFlagMaskCommand | kCGEventFlagMaskShift);
    EXPECT_TRUE(panelUp());
    EXPECT_EQ(model->filterType(), WindowFilterAll);
    releaseModifiers();
    EXPECT_FALSE(panelUp());
    EXPECT_EQ(keyDowns(kEditor, kVK_Tab) + keyDowns(SimDesktop::kOwnPid, kVK_Tab), 0u);

    // With all windows on Option+Tab, Command+Tab goes to the frontmost
    // application as it came.
    auto front = world.desktop().frontmostApplication();
    defaults()->setInteger(HotkeyChoiceOptionTab, AppController::kAllWindowsHotkeyIndex);
    controller->setupHotkeys();
    EXPECT_FALSE(controller->commandActionEnabled());
    press(kVK_Tab, kCGEventFlagMaskCommand);
    EXPECT_FALSE(panelUp());
    EXPECT_EQ(keyDowns(front, kVK_Tab), 1u);
}

TEST_F(HotkeyController, AFurtherHotkeyWhileThePanelIsUpStepsWithoutChangingTheFilterOrTheList)
{
    // All windows on Option+Tab, on-screen windows on Option+`.
    defaults()->setInteger(HotkeyChoiceOptionTab, AppController::kAllWindowsHotkeyIndex);
    defaults()->setInteger(HotkeyChoiceCustom, AppController::kOnScreenWindowsHotkeyIndex);
    defaults()->setObject(Value(archived(kVK_ANSI_Grave, kCGEventFlagMaskAlternate)),
        AppController::kShowOnScreenWindowsCustomKey);
    defaults()->setInteger(9, AppController::kActiveAppWindowsHotKeyIndex);
    start();
    press(kVK_Tab, kCGEventFlagMaskAlternate);
    ASSERT_TRUE(panelUp());
    EXPECT_EQ(selection(), 1u);
    auto list = shownWindows();
    auto binding = controller->windowsArrayController()->infoForBinding("contentArray");
    // The on-screen hotkey, with the panel up: it only steps.
    press(kVK_ANSI_Grave, kCGEventFlagMaskAlternate);
    ASSERT_TRUE(panelUp());
    EXPECT_EQ(selection(), 2u);
    EXPECT_EQ(model->filterType(), WindowFilterAll);
    EXPECT_EQ(shownWindows(), list);
    EXPECT_EQ(controller->windowsArrayController()->infoForBinding("contentArray"), binding);
}

TEST_F(HotkeyController, CommandQAndCommandHGoToThePanelOnlyWhileItIsUp)
{
    start();
    listen({ QuitAppKeyEvent, HideAppKeyEvent });
    // Panel hidden: the frontmost application gets them.
    press(kVK_ANSI_Q, kCGEventFlagMaskCommand);
    press(kVK_ANSI_H, kCGEventFlagMaskCommand);
    releaseModifiers();
    EXPECT_EQ(keyDowns(kEditor, kVK_ANSI_Q), 1u);
    EXPECT_EQ(keyDowns(kEditor, kVK_ANSI_H), 1u);
    EXPECT_TRUE(bus.empty());

    press(kVK_Tab, kCGEventFlagMaskCommand);
    ASSERT_TRUE(panelUp());
    auto selected = controller->windowController()->selectedWindow();
    ASSERT_TRUE(selected);
    pid_t selectedApp = selected->processIdentifier();
    press(kVK_ANSI_H, kCGEventFlagMaskCommand);
    ASSERT_EQ(bus.size(), 1u);
    EXPECT_EQ(bus[0].id, HideAppKeyEvent);
    EXPECT_TRUE(bus[0].fromController);
    EXPECT_TRUE(world.desktop().application(selectedApp)->hidden)
        << "the panel hid the selected window's application";
    press(kVK_ANSI_Q, kCGEventFlagMaskCommand);
    ASSERT_EQ(bus.size(), 2u);
    EXPECT_EQ(bus[1].id, QuitAppKeyEvent);
    EXPECT_FALSE(world.desktop().application(selectedApp))
        << "the panel quit the selected window's application";
    EXPECT_EQ(keyDowns(SimDesktop::kOwnPid, kVK_ANSI_Q) + keyDowns(SimDesktop::kOwnPid, kVK_ANSI_H), 0u);
    EXPECT_EQ(keyDowns(kEditor, kVK_ANSI_Q), 1u);
}

TEST_F(HotkeyController, CommandQPassesWhileThePanelIsUpWhenNoHotkeyUsesCommandTab)
{
    // All windows on the custom Command+`.
    defaults()->setInteger(HotkeyChoiceCustom, AppController::kAllWindowsHotkeyIndex);
    defaults()->setObject(
        Value(archived(kVK_ANSI_Grave, kCGEventFlagMaskCommand)), AppController::kShowAllWindowsCustomKey);
    start();
    listen({ QuitAppKeyEvent, HideAppKeyEvent });
    press(kVK_ANSI_Grave, kCGEventFlagMaskCommand);
    ASSERT_TRUE(panelUp());
    press(kVK_ANSI_H, kCGEventFlagMaskCommand);
    EXPECT_TRUE(bus.empty());
    EXPECT_EQ(keyDowns(SimDesktop::kOwnPid, kVK_ANSI_H), 1u) << "the panel's own application got it";
}

TEST_F(HotkeyController, ControlArrowsGoToThePanelOnlyWhileItIsUpAndControlTabIsInUse)
{
    defaults()->setInteger(HotkeyChoiceControlTab, AppController::kAllWindowsHotkeyIndex);
    start();
    listen({ ControlArrowKeyEvent });
    press(kVK_LeftArrow, kCGEventFlagMaskControl);
    releaseModifiers();
    EXPECT_EQ(keyDowns(kEditor, kVK_LeftArrow), 1u);
    EXPECT_TRUE(bus.empty());

    press(kVK_Tab, kCGEventFlagMaskControl);
    ASSERT_TRUE(panelUp());
    press(kVK_LeftArrow, kCGEventFlagMaskControl);
    press(kVK_LeftArrow + 3, kCGEventFlagMaskControl);
    ASSERT_EQ(bus.size(), 2u);
    EXPECT_EQ(bus[0].id, ControlArrowKeyEvent);
    EXPECT_TRUE(bus[0].fromController);
    EXPECT_EQ(bus[0].keyCode, kVK_LeftArrow);
    EXPECT_EQ(bus[1].keyCode, kVK_LeftArrow + 3);
    EXPECT_EQ(keyDowns(SimDesktop::kOwnPid, kVK_LeftArrow), 0u);
    EXPECT_TRUE(panelUp());
}

TEST_F(HotkeyController, ControlArrowsPassWhenNoHotkeyUsesControlTab)
{
    // All windows on the custom Control+Option+K, which holds Control.
    defaults()->setInteger(HotkeyChoiceCustom, AppController::kAllWindowsHotkeyIndex);
    defaults()->setObject(Value(archived(kVK_ANSI_K, kCGEventFlagMaskControl | kCGEventFlagMaskAlternate)),
        AppController::kShowAllWindowsCustomKey);
    start();
    listen({ ControlArrowKeyEvent });
    press(kVK_ANSI_K, kCGEventFlagMaskControl | kCGEventFlagMaskAlternate);
    ASSERT_TRUE(panelUp());
    press(kVK_LeftArrow, kCGEventFlagMaskControl | kCGEventFlagMaskAlternate);
    EXPECT_TRUE(bus.empty());
    EXPECT_EQ(keyDowns(SimDesktop::kOwnPid, kVK_LeftArrow), 1u);
}

TEST_F(HotkeyController, TheTapIsEnabledAgainWhenTheSystemDisablesIt)
{
    start();
    auto tap = controller->eventTap();
    for (CGEventType reason : { kCGEventTapDisabledByTimeout, kCGEventTapDisabledByUserInput }) {
        EventStream::shared().disableTap(tap, reason);
        EXPECT_FALSE(CGEventTapIsEnabled(tap));
        world.settle();
        EXPECT_TRUE(CGEventTapIsEnabled(tap));
    }
    press(kVK_Tab, kCGEventFlagMaskCommand);
    EXPECT_TRUE(panelUp());
    EXPECT_EQ(keyDowns(kEditor, kVK_Tab), 0u);
}

TEST_F(HotkeyController, SlowPanelWorkNeverTimesTheTapOut)
{
    start();
    // Opening the panel takes longer than a tap's callback may.
    bool worked = false;
    press(kVK_Tab, kCGEventFlagMaskCommand);
    releaseModifiers();
    ASSERT_TRUE(layout);
    layout->work = [&] {
        worked = true;
        world.clock().advance(kCGEventTapCallbackTimeLimit * 3);
    };
    press(kVK_Tab, kCGEventFlagMaskCommand);
    EXPECT_TRUE(worked);
    EXPECT_TRUE(panelUp());
    EXPECT_TRUE(CGEventTapIsEnabled(controller->eventTap()));
    EXPECT_EQ(keyDowns(kEditor, kVK_Tab) + keyDowns(SimDesktop::kOwnPid, kVK_Tab), 0u)
        << "the Command+Tab was swallowed, not passed on for a late answer";
}

TEST_F(HotkeyController, TheTapMakesNoPanelOfItsOwn)
{
    start();
    // Command held with keys that would be taken were the panel up.
    press(kVK_ANSI_Q, kCGEventFlagMaskCommand);
    releaseModifiers();
    EXPECT_EQ(keyDowns(kEditor, kVK_ANSI_Q), 1u);
    // Only the hotkey made the panel's controller: nothing was shown or
    // sized before it.
    EXPECT_FALSE(layout);
    press(kVK_Tab, kCGEventFlagMaskCommand);
    EXPECT_TRUE(layout);
}

// MARK: Hot keys

TEST_F(HotkeyController, TwoHotkeysOnOneCombinationLeaveItToTheFirstRegisteredAndCommandTabToTheLast)
{
    defaults()->setInteger(HotkeyChoiceOptionTab, AppController::kAllWindowsHotkeyIndex);
    defaults()->setInteger(HotkeyChoiceOptionTab, AppController::kOnScreenWindowsHotkeyIndex);
    defaults()->setInteger(9, AppController::kActiveAppWindowsHotKeyIndex);
    LogCapture log;
    start();
    EXPECT_EQ(log.count("The hotkey Option+Tab for " + std::string(AppController::kOnScreenWindowsHotkeyIndex)
                  + " could not be registered: another hot key has taken the combination"),
        1u);
    EXPECT_EQ(controller->registeredHotkeyNames(), std::vector<std::string> { "Option+Tab" });
    press(kVK_Tab, kCGEventFlagMaskAlternate);
    EXPECT_EQ(model->filterType(), WindowFilterAll);
    releaseModifiers();

    defaults()->setInteger(HotkeyChoiceCommandTab, AppController::kAllWindowsHotkeyIndex);
    defaults()->setInteger(HotkeyChoiceCommandTab, AppController::kOnScreenWindowsHotkeyIndex);
    defaults()->setInteger(HotkeyChoiceCommandTab, AppController::kActiveAppWindowsHotKeyIndex);
    controller->setupHotkeys();
    EXPECT_TRUE(hotKeys().empty());
    EXPECT_EQ(controller->registeredHotkeyNames(), std::vector<std::string> { "Command+Tab" });
    press(kVK_Tab, kCGEventFlagMaskCommand);
    EXPECT_EQ(model->filterType(), WindowFilterActiveApplication);
}

TEST_F(HotkeyController, AHotkeyWithoutModifiersOpensThePanelAndLeavesItOpen)
{
    defaults()->setInteger(HotkeyChoiceCustom, AppController::kActiveAppWindowsHotKeyIndex);
    defaults()->setObject(Value(archived(kVK_F5, 0)), AppController::kShowActiveAppWindows);
    start();
    EXPECT_EQ(controller->registeredHotkeyNames(), (std::vector<std::string> { "Command+Tab", "Option+Tab", "F5" }));
    press(kVK_F5, 0);
    EXPECT_TRUE(panelUp()) << "no modifier is held, and none will be released";
    EXPECT_EQ(model->filterType(), WindowFilterActiveApplication);
}

TEST_F(HotkeyController, OtherHotKeysOfTheProcessKeepTheirEvents)
{
    // Another part of the process has its own hot key on Control+Option+K,
    // with a handler installed before the controller starts (the kit's
    // handler then hears every hot key first, when it is made for this
    // test).
    std::vector<std::string> heard;
    EventHandlerRef handler;
    const EventTypeSpec keyboardEvent { kEventClassKeyboard, kEventHotKeyPressed };
    InstallEventHandler(
        GetEventDispatcherTarget(),
        [&](EventHandlerCallRef, EventRef event, void*) -> OSStatus {
            EventHotKeyID id {};
            GetEventParameter(
                event, kEventParamDirectObject, typeEventHotKeyID, nullptr, sizeof id, nullptr, &id);
            if (id.signature != FourCharCode("OTHR")) return eventNotHandledErr;
            heard.push_back("other");
            return noErr;
        },
        1, &keyboardEvent, nullptr, &handler);
    start();
    EventHotKeyRef other;
    ASSERT_EQ(RegisterEventHotKey(kVK_ANSI_K, controlKey | optionKey, { FourCharCode("OTHR"), 1 },
                  GetEventDispatcherTarget(), 0, &other),
        noErr);
    press(kVK_ANSI_K, kCGEventFlagMaskControl | kCGEventFlagMaskAlternate);
    releaseModifiers();
    EXPECT_EQ(heard, (std::vector<std::string> { "other" }));
    EXPECT_FALSE(panelUp());
    press(kVK_Tab, kCGEventFlagMaskAlternate);
    EXPECT_TRUE(panelUp());
    EXPECT_EQ(heard.size(), 1u);
    releaseModifiers();
    UnregisterEventHotKey(other);
    RemoveEventHandler(handler);
}

// MARK: Watching the settings

TEST_F(HotkeyController, SettingsChangedAfterThePreferencesOpenedRegisterTheHotkeysAgain)
{
    start();
    auto settings = NSUserDefaultsController::sharedUserDefaultsController();
    // Before the preferences window was shown a change waits for the next
    // launch.
    settings->setValueForKeyPath(Value(int64_t(HotkeyChoiceOptionTab)), "values.AllWindowsHotkeyIndex");
    EXPECT_TRUE(controller->commandActionEnabled());
    EXPECT_FALSE(controller->isMonitoringActive());

    auto& center = NSNotificationCenter::defaultCenter();
    center.postNotificationName(kStartMonitoringChangeHotkeysNotification, nullptr);
    center.postNotificationName(kStartMonitoringChangeHotkeysNotification, nullptr);
    EXPECT_TRUE(controller->isMonitoringActive());
    world.advance(AppController::kRegisterForNotificationsDelay - 0.1);
    EXPECT_TRUE(controller->observedKeyPaths().empty());
    world.advance(0.1);
    EXPECT_EQ(controller->observedKeyPaths(),
        (std::vector<std::string> { "values.OnScreenWindowsHotkeyIndex",
            "values.ShowOnScreenWindowsCustomKey", "values.AllWindowsHotkeyIndex",
            "values.ShowAllWindowsCustomKey", "values.ActiveAppWindowsHotKeyIndex",
            "values.ShowActiveAppWindows" }))
        << "watched once, however often the preferences were shown";

    // A popup choice takes effect at once.
    settings->setValueForKeyPath(Value(int64_t(HotkeyChoiceControlTab)), "values.AllWindowsHotkeyIndex");
    EXPECT_FALSE(controller->commandActionEnabled());
    EXPECT_TRUE(controller->controlActionEnabled());
    press(kVK_Tab, kCGEventFlagMaskCommand);
    EXPECT_FALSE(panelUp());
    releaseModifiers();
    press(kVK_Tab, kCGEventFlagMaskControl);
    EXPECT_TRUE(panelUp());
    EXPECT_EQ(model->filterType(), WindowFilterAll);
    releaseModifiers();

    // So does a recorded shortcut.
    settings->setValueForKeyPath(Value(int64_t(HotkeyChoiceCustom)), "values.OnScreenWindowsHotkeyIndex");
    settings->setValueForKeyPath(Value(archived(kVK_ANSI_K, kCGEventFlagMaskCommand | kCGEventFlagMaskShift)),
        "values.ShowOnScreenWindowsCustomKey");
    EXPECT_TRUE(hotKeys().count({ kVK_ANSI_K, cmdKey | shiftKey }));
    EXPECT_FALSE(hotKeys().count({ kVK_Tab, optionKey }));
    press(kVK_ANSI_K, kCGEventFlagMaskCommand | kCGEventFlagMaskShift);
    EXPECT_TRUE(panelUp());
    EXPECT_EQ(model->filterType(), WindowFilterOnScreen);
    releaseModifiers();
}

TEST_F(HotkeyController, AClearedCustomShortcutUnregistersItsHotKeyAndStaysCleared)
{
    start();
    auto settings = NSUserDefaultsController::sharedUserDefaultsController();
    NSNotificationCenter::defaultCenter().postNotificationName(
        kStartMonitoringChangeHotkeysNotification, nullptr);
    world.advance(AppController::kRegisterForNotificationsDelay);
    ASSERT_TRUE(hotKeys().count({ kVK_ANSI_Grave, optionKey }));

    // The recorder's clear button writes nothing under the key.
    settings->setValueForKeyPath(Value(), "values.ShowActiveAppWindows");
    EXPECT_FALSE(hotKeys().count({ kVK_ANSI_Grave, optionKey }));
    EXPECT_TRUE(defaults()->objectForKey(AppController::kShowActiveAppWindows).isNil())
        << "the first-run shortcut does not come back";
    press(kVK_ANSI_Grave, kCGEventFlagMaskAlternate);
    EXPECT_FALSE(panelUp());
    EXPECT_EQ(keyDowns(kEditor, kVK_ANSI_Grave), 1u);
    releaseModifiers();

    // Nor at the next launch.
    if (auto monitor = KSShortcutMonitor::sharedMonitor()) monitor->unregisterAllShortcuts();
    controller.reset();
    start();
    EXPECT_TRUE(defaults()->objectForKey(AppController::kShowActiveAppWindows).isNil());
    EXPECT_EQ(hotKeys(), (std::set<std::pair<uint32_t, uint32_t>> { { kVK_Tab, optionKey } }));

    // A shortcut recorded again works again.
    NSNotificationCenter::defaultCenter().postNotificationName(
        kStartMonitoringChangeHotkeysNotification, nullptr);
    world.advance(AppController::kRegisterForNotificationsDelay);
    NSUserDefaultsController::sharedUserDefaultsController()->setValueForKeyPath(
        Value(archived(kVK_ANSI_Grave, kCGEventFlagMaskAlternate | kCGEventFlagMaskShift)),
        "values.ShowActiveAppWindows");
    press(kVK_ANSI_Grave, kCGEventFlagMaskAlternate | kCGEventFlagMaskShift);
    EXPECT_TRUE(panelUp());
    EXPECT_EQ(model->filterType(), WindowFilterActiveApplication);
}

TEST_F(HotkeyController, StoredShortcutsAreWrittenWhenAbsentOrAskedTo)
{
    start();
    auto first = KSShortcut::shortcutWithKeyCode(kVK_ANSI_K, kCGEventFlagMaskCommand);
    auto second = KSShortcut::shortcutWithKeyCode(kVK_ANSI_H, kCGEventFlagMaskControl);
    controller->registerShotcutsDefaultsForKey("ShortcutUnderTest", first, false);
    controller->registerShotcutsDefaultsForKey("ShortcutUnderTest", second, false);
    EXPECT_TRUE(controller->shortCutWithKey("ShortcutUnderTest")->isEqual(first.get()));
    controller->registerShotcutsDefaultsForKey("ShortcutUnderTest", second, true);
    EXPECT_TRUE(controller->shortCutWithKey("ShortcutUnderTest")->isEqual(second.get()));
}

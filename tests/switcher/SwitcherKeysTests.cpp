#include "PanelTestSupport.h"
#include <appkit/NSBeep.h>
#include <desktop/InputCodes.h>
#include <foundation/Log.h>

#include <appkit/NSAttributedString.h>
#include <graphics/NSColor.h>
#include <graphics/NSFont.h>

#include <atomic>
#include <set>

namespace {

// Virtual key codes of the US layout.
constexpr uint16_t kDigitKeys[10] = { 29, 18, 19, 20, 21, 23, 22, 26, 28, 25 };

// A list of plain entries that sort by their order number.
Ref<NSArrayController> entries(int count)
{
    Value::Array content;
    for (int i = 0; i < count; ++i)
        content.emplace_back(Value::Dictionary { { "sortOrder", Value(i) } });
    return makeRef<NSArrayController>(content);
}

class PanelKeysTest : public PanelTest {
protected:
    // Opens the panel on the demo desktop's list with the second window
    // selected, and answers that window.
    Ref<SWWindow> openOnDemoList()
    {
        startModel();
        pressHotkey();
        world.settle();
        EXPECT_TRUE(panelVisible());
        auto selected = controller->selectedWindow();
        EXPECT_TRUE(selected);
        EXPECT_EQ(selected, arrangedWindows().at(1));
        return selected;
    }
    std::optional<DesktopApp> appOf(const Ref<SWWindow>& window)
    {
        return world.desktop().application(window->processIdentifier());
    }
};

}

// MARK: Digits

TEST_F(PanelKeysTest, DigitsSelectTheirEntryAndZeroTheTenth)
{
    auto list = entries(10);
    pressHotkey(list);
    for (int digit = 1; digit <= 9; ++digit) {
        pressKey(kDigitKeys[digit]);
        EXPECT_EQ(list->selectionIndex(), NSUInteger(digit - 1)) << digit;
    }
    pressKey(kDigitKeys[0]);
    EXPECT_EQ(list->selectionIndex(), 9u);
}

TEST_F(PanelKeysTest, DigitsBeyondTheListDoNothing)
{
    auto nine = entries(9);
    pressHotkey(nine);
    pressKey(kDigitKeys[3]);
    pressKey(kDigitKeys[0]);
    EXPECT_EQ(nine->selectionIndex(), 2u) << "\"0\" needs ten entries";

    controller->_hideWindowWhitOutAnimation();
    auto three = entries(3);
    pressHotkey(three);
    pressKey(kDigitKeys[4]);
    EXPECT_EQ(three->selectionIndex(), 1u);
    pressKey(kDigitKeys[3]);
    EXPECT_EQ(three->selectionIndex(), 2u);
}

TEST_F(PanelKeysTest, AKeyWithoutModifierDoesNothing)
{
    auto selected = openOnDemoList();
    pressKey(kDigitKeys[5], 0);
    EXPECT_EQ(selectedWindowID(), selected->windowID());
    pressKey(kVK_ANSI_H, 0);
    pressKey(kVK_ANSI_M, 0);
    pressKey(kVK_Escape, 0);
    world.settle();
    EXPECT_FALSE(appOf(selected)->hidden);
    EXPECT_FALSE(world.desktop().window(selected->windowID())->minimized);
    EXPECT_TRUE(panelVisible());
}

TEST_F(PanelKeysTest, TheMonitorOnlyLooks)
{
    auto list = entries(4);
    pressHotkey(list);
    std::vector<uint16_t> seen;
    auto later = NSEvent::addLocalMonitorForEventsMatchingMask(
        NSEventMaskKeyDown | NSEventMaskKeyUp, [&](const Ref<NSEvent>& e) {
            seen.push_back(e->keyCode());
            return e;
        });
    pressKey(kDigitKeys[3]);
    NSApp().deliverInputEvent(
        NSEvent::keyEventWithKeyCode(NSEventTypeKeyUp, kDigitKeys[4], NSEventModifierFlagCommand));
    EXPECT_EQ(seen, (std::vector<uint16_t> { kDigitKeys[3], kDigitKeys[4] }));
    EXPECT_EQ(list->selectionIndex(), 2u) << "key-up events are not commands";

    controller->_hideWindowWhitOutAnimation();
    pressKey(kDigitKeys[1]);
    EXPECT_EQ(list->selectionIndex(), 2u) << "keys of other windows are not commands";
}

// MARK: Commands

TEST_F(PanelKeysTest, HTogglesTheApplicationsHiddenStateAndRefreshesThePreview)
{
    auto selected = openOnDemoList();
    std::atomic<int> captures { 0 };
    CGWindowID number = selected->windowID();
    world.desktop().setCaptureHook([&](CGWindowID captured) {
        if (captured == number) ++captures;
    });
    pressKey(kVK_ANSI_H);
    world.settle();
    EXPECT_TRUE(appOf(selected)->hidden);
    EXPECT_GE(captures.load(), 1);
    pressKey(kVK_ANSI_H);
    world.settle();
    EXPECT_FALSE(appOf(selected)->hidden);
    world.desktop().setCaptureHook(nullptr);
}

TEST_F(PanelKeysTest, CommandHFromTheEventTapActsLikeH)
{
    auto selected = openOnDemoList();
    EBEventful::sharedInstance().sendEvent(HideAppKeyEvent, nullptr, Value());
    EXPECT_TRUE(appOf(selected)->hidden);
    EBEventful::sharedInstance().sendEvent(HideAppKeyEvent, nullptr, Value());
    EXPECT_FALSE(appOf(selected)->hidden);
}

TEST_F(PanelKeysTest, QQuitsTheApplication)
{
    auto selected = openOnDemoList();
    pid_t pid = selected->processIdentifier();
    pressKey(kVK_ANSI_Q);
    world.settle();
    EXPECT_FALSE(world.desktop().application(pid));
    EXPECT_EQ(arrayController->selectionIndex(), 1u);
}

TEST_F(PanelKeysTest, CommandQFromTheEventTapActsLikeQ)
{
    auto selected = openOnDemoList();
    pid_t pid = selected->processIdentifier();
    EBEventful::sharedInstance().sendEvent(QuitAppKeyEvent, nullptr, Value());
    world.settle();
    EXPECT_FALSE(world.desktop().application(pid));
}

TEST_F(PanelKeysTest, WClosesTheWindowAndTheIndexThenShowsTheNextOne)
{
    auto selected = openOnDemoList();
    auto next = arrangedWindows().at(2);
    pressKey(kVK_ANSI_W);
    EXPECT_FALSE(world.desktop().window(selected->windowID()));
    EXPECT_EQ(arrayController->selectionIndex(), 1u);
    world.advance(1);
    auto after = arrangedWindows();
    ASSERT_EQ(std::find(after.begin(), after.end(), selected), after.end())
        << "the model dropped the closed window";
    EXPECT_EQ(arrayController->selectionIndex(), 1u);
    EXPECT_EQ(controller->selectedWindow(), next);
}

TEST_F(PanelKeysTest, ChoosingAWindowThatVanishedDropsItAndKeepsThePanelForAnotherChoice)
{
    auto selected = openOnDemoList();
    auto next = arrangedWindows().at(2);
    CGWindowID focused = world.desktop().focusedWindow();
    size_t beeps = NSBeepCount();
    world.desktop().vanishWindowElement(selected->windowID());
    LogCapture log;
    pressKey(kVK_Return);
    world.settle();
    EXPECT_TRUE(panelVisible()) << "the panel stays open for another choice";
    EXPECT_EQ(world.desktop().focusedWindow(), focused);
    EXPECT_EQ(NSBeepCount(), beeps + 1);
    EXPECT_TRUE(log.contains("no longer exists"));
    auto after = arrangedWindows();
    EXPECT_EQ(std::find(after.begin(), after.end(), selected), after.end());
    // The next choice works, and releasing the modifier switches to it.
    arrayController->setSelectionIndex(std::find(after.begin(), after.end(), next) - after.begin());
    releaseModifiers();
    world.settle();
    EXPECT_EQ(world.desktop().focusedWindow(), next->windowID());
    EXPECT_FALSE(panelVisible());
}

TEST_F(PanelKeysTest, ReleasingTheModifierOnAVanishedWindowKeepsThePanelOpen)
{
    auto selected = openOnDemoList();
    world.desktop().vanishWindowElement(selected->windowID());
    LogCapture log;
    // One release, as the keyboard sends it.
    world.desktop().setModifierFlags(0);
    world.settle();
    EXPECT_EQ(log.count("no longer exists"), 1u);
    EXPECT_TRUE(panelVisible());
    auto after = arrangedWindows();
    EXPECT_EQ(std::find(after.begin(), after.end(), selected), after.end());
    EXPECT_FALSE(after.empty());
}

TEST_F(PanelKeysTest, ClosingTheLastEntryLeavesTheSelectionToTheList)
{
    openOnDemoList();
    auto list = arrangedWindows();
    ASSERT_LE(list.size(), 10u);
    pressKey(kDigitKeys[list.size() % 10]);
    ASSERT_EQ(arrayController->selectionIndex(), list.size() - 1);
    pressKey(kVK_ANSI_W);
    EXPECT_FALSE(world.desktop().window(list.back()->windowID()));
    world.advance(1);
    EXPECT_EQ(arrangedWindows().size(), list.size() - 1);
    EXPECT_EQ(controller->selectedWindow(), list[list.size() - 2]);
}

TEST_F(PanelKeysTest, MMinimisesAndRestores)
{
    auto selected = openOnDemoList();
    pressKey(kVK_ANSI_M);
    EXPECT_TRUE(world.desktop().window(selected->windowID())->minimized);
    pressKey(kVK_ANSI_M);
    EXPECT_FALSE(world.desktop().window(selected->windowID())->minimized);
}

TEST_F(PanelKeysTest, ReturnSwitchesAndTheLostKeyStatusHidesThePanel)
{
    auto selected = openOnDemoList();
    pressKey(kVK_Return);
    EXPECT_EQ(world.desktop().focusedWindow(), selected->windowID());
    EXPECT_TRUE(panelVisible()) << "Return does not hide the panel itself";
    world.settle();
    EXPECT_FALSE(panelVisible());
}

TEST_F(PanelKeysTest, EscapeHidesWithoutSwitching)
{
    // The window that had the focus before the panel opened has it again.
    CGWindowID focused = world.desktop().focusedWindow();
    openOnDemoList();
    pressKey(kVK_Escape);
    EXPECT_EQ(controller->window()->alphaValue(), 0.0);
    world.settle();
    EXPECT_FALSE(panelVisible());
    EXPECT_EQ(world.desktop().focusedWindow(), focused);
}

TEST_F(PanelKeysTest, CommandsWithNothingSelectedDoNothing)
{
    auto list = entries(3);
    pressHotkey(list);
    for (uint16_t key : { kVK_ANSI_H, kVK_ANSI_Q, kVK_ANSI_W, kVK_ANSI_M, kVK_Return })
        pressKey(key);
    EXPECT_TRUE(panelVisible());
    EXPECT_EQ(list->selectionIndex(), 1u);
    list->setSelectionIndex(NSNotFound);
    pressKey(kVK_ANSI_W);
    EXPECT_EQ(list->selectionIndex(), NSNotFound);
}

// MARK: Modifiers

TEST_F(PanelKeysTest, ReleasingTheModifierSwitchesAndHidesAtOnce)
{
    startModel();
    pressHotkey();
    pressHotkey();
    auto third = arrangedWindows().at(2);
    releaseModifiers();
    EXPECT_FALSE(panelVisible());
    EXPECT_EQ(world.desktop().focusedWindow(), third->windowID());
}

TEST_F(PanelKeysTest, PressingAnotherModifierSwitchesToo)
{
    auto selected = openOnDemoList();
    holdModifiers(NSEventModifierFlagCommand | NSEventModifierFlagShift);
    EXPECT_FALSE(panelVisible());
    EXPECT_EQ(world.desktop().focusedWindow(), selected->windowID());
}

TEST_F(PanelKeysTest, AModifierChangeWithThePanelHiddenDoesNothing)
{
    openOnDemoList();
    CGWindowID focused = world.desktop().focusedWindow();
    controller->_hideWindowWhitOutAnimation();
    controller->flagsChanged(NSEvent::flagsChangedEventWithModifierFlags(0));
    EXPECT_EQ(world.desktop().focusedWindow(), focused);
}

// MARK: The hint line

TEST_F(PanelKeysTest, TheHintLineNamesTheKeysWithTheirLettersUnderlined)
{
    defaults()->setBool(true, "ShotcutsHints");
    defaults()->setInteger(SwitcherThemeLight, "ThemeIndex");
    makeController();
    ASSERT_TRUE(layout());
    layout()->contentSize = { 1160, 416 }; // the grid of the eight demo windows
    openOnDemoList();
    auto label = controller->toolTipLabel();
    ASSERT_TRUE(label);
    EXPECT_FALSE(label->isHidden());
    EXPECT_FALSE(label->isEditable());
    EXPECT_FALSE(label->drawsBackground());
    EXPECT_FALSE(label->isBordered());
    auto content = controller->window()->contentView();
    EXPECT_EQ(content->subviews().back(), label) << "on top of the layout";
    EXPECT_EQ(label->frame().origin, CGPointMake(20, 10));
    EXPECT_GT(label->frame().size.width, 0);

    auto text = label->attributedStringValue();
    ASSERT_TRUE(text);
    EXPECT_EQ(text->string(),
        "Navigate: Tab, \u2190\u2191\u2193\u2192, Quit App, H - Hide App, W - Close Window, Return "
        "(\u21A9\uFE0E) - "
        "Acitvate, Minimize/de-minimize");
    ASSERT_EQ(text->length(), 107u);
    const std::set<size_t> underlined = { 10, 21, 31, 45, 71, 72, 87 };
    for (size_t i = 0; i < 107; ++i) {
        auto attributes = text->attributesAtIndex(i);
        EXPECT_EQ(attributes.underlineStyle, underlined.count(i) ? 1 : 0) << i;
        ASSERT_TRUE(attributes.font) << i;
        EXPECT_EQ(attributes.font->pointSize(), 12) << i;
        EXPECT_EQ(attributes.font->familyName(), NSFont::fontWithName("Helvetica", 12)->familyName()) << i;
        ASSERT_TRUE(attributes.foregroundColor) << i;
        EXPECT_TRUE(attributes.foregroundColor->isEqual(NSColor::blackColor())) << i;
    }
}

TEST_F(PanelKeysTest, TheHintLineIsWhiteOnDarkThemes)
{
    defaults()->setBool(true, "ShotcutsHints");
    defaults()->setInteger(SwitcherThemeDark, "ThemeIndex");
    openOnDemoList();
    auto text = controller->toolTipLabel()->attributedStringValue();
    EXPECT_TRUE(text->attributesAtIndex(50).foregroundColor->isEqual(NSColor::whiteColor()));
}

TEST_F(PanelKeysTest, NoHintLineForOneWindowOrWithHintsOff)
{
    startModel();
    defaults()->setBool(false, "ShotcutsHints");
    pressHotkey();
    EXPECT_FALSE(controller->toolTipLabel()) << "never made while hints are off";
    controller->_hideWindowWhitOutAnimation();

    defaults()->setBool(true, "ShotcutsHints");
    pressHotkey();
    auto label = controller->toolTipLabel();
    ASSERT_TRUE(label);
    EXPECT_FALSE(label->isHidden());
    controller->_hideWindowWhitOutAnimation();

    Value::Array one = { Value(arrangedWindows().front()) };
    pressHotkey(makeRef<NSArrayController>(one));
    EXPECT_EQ(controller->toolTipLabel(), label) << "the label is reused";
    EXPECT_TRUE(label->isHidden());
}

TEST_F(PanelKeysTest, TheHintLineOfATwoWindowPanelStaysInsideThePanel)
{
    startModel();
    defaults()->setBool(true, "ShotcutsHints");
    Value::Array two = { Value(arrangedWindows()[0]), Value(arrangedWindows()[1]) };
    makeController();
    ASSERT_TRUE(layout());
    layout()->contentSize = { 600, 208 }; // the grid of two windows
    pressHotkey(makeRef<NSArrayController>(two));
    auto label = controller->toolTipLabel();
    ASSERT_TRUE(label);
    CGFloat panelWidth = controller->window()->contentView()->bounds().size.width;
    EXPECT_EQ(panelWidth, 600);
    EXPECT_EQ(label->frame().origin, CGPointMake(20, 10));
    EXPECT_LE(CGRectGetMaxX(label->frame()), panelWidth - 20);
    auto font = label->attributedStringValue()->attributesAtIndex(0).font;
    EXPECT_LT(font->pointSize(), 12) << "the full line at 12 points is wider than the panel";
    EXPECT_GE(font->pointSize(), 11);
    EXPECT_EQ(font->familyName(), "Helvetica");
}

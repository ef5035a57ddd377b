#include "support/SimWorld.h"

#include <app/KSShortcutValidator.h>
#include <appkit/NSApplicationMainMenu.h>
#include <desktop/InputCodes.h>

namespace {

const std::string kSystemExplanation
    = "This combination cannot be used because it is already used by a system-wide keyboard shortcut.\n"
      "If you really want to use this key combination, most shortcuts can be changed in the Keyboard & Mouse panel "
      "in System Preferences.";

std::string menuExplanation(const std::string& title)
{
    return "This shortcut cannot be used because it is already used by the menu item \u2018" + title + "\u2019.";
}

Ref<KSShortcut> shortcut(int64_t keyCode, uint64_t flags) { return KSShortcut::shortcutWithKeyCode(keyCode, flags); }

Ref<NSMenuItem> item(const std::string& title, const std::string& key, NSEventModifierFlags mask = NSEventModifierFlagCommand)
{
    auto i = makeRef<NSMenuItem>(title, "action:", key);
    i->setKeyEquivalentModifierMask(mask);
    return i;
}

class Validator : public ::testing::Test {
protected:
    Validator() { validator->setAllowAnyShortcutWithOptionModifier(false); }
    ~Validator() override
    {
        validator->setAllowAnyShortcutWithOptionModifier(false);
        setMainMenu(NSApp(), nullptr);
    }

    SimWorld world { SimWorld::emptyScenario() };
    Ref<KSShortcutValidator> validator { KSShortcutValidator::sharedValidator() };
};

}

TEST_F(Validator, FunctionKeysAreValidAloneOtherKeysNeedModifiers)
{
    EXPECT_EQ(validator, KSShortcutValidator::sharedValidator());
    EXPECT_TRUE(validator->isShortcutValid(shortcut(96, 0))) << "F5 alone";
    EXPECT_TRUE(validator->isShortcutValid(shortcut(90, kCGEventFlagMaskShift))) << "F20 with Shift";
    EXPECT_FALSE(validator->isShortcutValid(shortcut(0, 0))) << "a letter alone";
    EXPECT_FALSE(validator->isShortcutValid(shortcut(0, kCGEventFlagMaskShift)))
        << "a letter with Shift alone";
    EXPECT_TRUE(validator->isShortcutValid(shortcut(0, kCGEventFlagMaskCommand)));
    EXPECT_TRUE(validator->isShortcutValid(shortcut(0, kCGEventFlagMaskControl | kCGEventFlagMaskShift)));
    EXPECT_FALSE(validator->isShortcutValid(nullptr));
}

TEST_F(Validator, OptionAloneNeedsSpaceEscapeOrThePermissiveOption)
{
    EXPECT_TRUE(validator->isShortcutValid(shortcut(49, kCGEventFlagMaskAlternate)));
    EXPECT_TRUE(validator->isShortcutValid(shortcut(53, kCGEventFlagMaskAlternate | kCGEventFlagMaskShift)));
    EXPECT_FALSE(validator->isShortcutValid(shortcut(48, kCGEventFlagMaskAlternate))) << "Option+Tab";
    EXPECT_TRUE(
        validator->isShortcutValid(shortcut(48, kCGEventFlagMaskAlternate | kCGEventFlagMaskCommand)));
    validator->setAllowAnyShortcutWithOptionModifier(true);
    EXPECT_TRUE(validator->isShortcutValid(shortcut(48, kCGEventFlagMaskAlternate)));
    EXPECT_TRUE(validator->isShortcutValid(shortcut(49, kCGEventFlagMaskAlternate)));
    EXPECT_FALSE(validator->isShortcutValid(shortcut(48, kCGEventFlagMaskShift)));
}

TEST_F(Validator, EnabledSystemShortcutsAreTaken)
{
    std::string explanation;
    EXPECT_TRUE(
        validator->isShortcutAlreadyTakenBySystem(shortcut(49, kCGEventFlagMaskCommand), &explanation));
    EXPECT_EQ(explanation, kSystemExplanation);
    EXPECT_TRUE(validator->isShortcutAlreadyTakenBySystem(shortcut(48, kCGEventFlagMaskCommand), nullptr));
    EXPECT_FALSE(validator->isShortcutAlreadyTakenBySystem(shortcut(48, kCGEventFlagMaskAlternate), nullptr));
    EXPECT_FALSE(validator->isShortcutAlreadyTakenBySystem(shortcut(50, kCGEventFlagMaskAlternate), nullptr));

    world.desktop().setSymbolicHotKeys({ { 1, 48, 0x800, false, "disabled" }, { 2, 50, 0x800 | 0x200, true, "enabled" } });
    explanation = "untouched";
    EXPECT_FALSE(
        validator->isShortcutAlreadyTakenBySystem(shortcut(48, kCGEventFlagMaskAlternate), &explanation))
        << "a disabled system shortcut does not count";
    EXPECT_EQ(explanation, "untouched");
    EXPECT_TRUE(validator->isShortcutAlreadyTakenBySystem(
        shortcut(50, kCGEventFlagMaskAlternate | kCGEventFlagMaskShift), nullptr));
    EXPECT_FALSE(validator->isShortcutAlreadyTakenBySystem(shortcut(50, kCGEventFlagMaskAlternate), nullptr));
}

TEST_F(Validator, AnUpperCaseKeyEquivalentMeansShift)
{
    auto menu = makeRef<NSMenu>();
    menu->addItem(item("Quit Everything", "Q"));
    std::string explanation;
    EXPECT_FALSE(validator->isShortcut(shortcut(12, kCGEventFlagMaskCommand), menu, &explanation));
    EXPECT_TRUE(validator->isShortcut(
        shortcut(12, kCGEventFlagMaskCommand | kCGEventFlagMaskShift), menu, &explanation));
    EXPECT_EQ(explanation, menuExplanation("Quit Everything"));
}

TEST_F(Validator, TheMenuSearchGoesDepthFirst)
{
    auto main = makeRef<NSMenu>();
    auto fileItem = makeRef<NSMenuItem>("File", "", "");
    auto file = makeRef<NSMenu>("File");
    auto recent = makeRef<NSMenuItem>("Open Recent", "", "");
    auto recentMenu = makeRef<NSMenu>("Open Recent");
    recentMenu->addItem(item("Clear Menu", "k", NSEventModifierFlagCommand | NSEventModifierFlagOption));
    recent->setSubmenu(recentMenu);
    file->addItem(recent);
    fileItem->setSubmenu(file);
    main->addItem(fileItem);
    main->addItem(item("Top Level", "k", NSEventModifierFlagCommand | NSEventModifierFlagOption));

    std::string explanation;
    EXPECT_TRUE(validator->isShortcut(
        shortcut(40, kCGEventFlagMaskCommand | kCGEventFlagMaskAlternate), main, &explanation));
    EXPECT_EQ(explanation, menuExplanation("Clear Menu"));
    EXPECT_FALSE(validator->isShortcut(shortcut(40, kCGEventFlagMaskCommand), main, nullptr));
    // Flags outside the four modifiers on an item do not matter.
    main->addItem(item("Numeric", "7", NSEventModifierFlagCommand | NSEventModifierFlagNumericPad));
    EXPECT_TRUE(validator->isShortcut(shortcut(26, kCGEventFlagMaskCommand), main, nullptr));
    EXPECT_FALSE(validator->isShortcut(shortcut(26, kCGEventFlagMaskCommand), nullptr, nullptr));
}

TEST_F(Validator, ItemsWithoutAKeyEquivalentTakeNoShortcut)
{
    auto menu = makeRef<NSMenu>();
    menu->addItem(item("About", ""));
    menu->addItem(NSMenuItem::separatorItem());
    EXPECT_FALSE(validator->isShortcut(shortcut(90, kCGEventFlagMaskCommand), menu, nullptr))
        << "F20 has no key-equivalent form";
    EXPECT_FALSE(validator->isShortcut(shortcut(52, 0), menu, nullptr));
}

TEST_F(Validator, TheSystemCheckEndsWithTheMainMenu)
{
    std::string explanation;
    EXPECT_FALSE(
        validator->isShortcutAlreadyTakenBySystem(shortcut(31, kCGEventFlagMaskCommand), &explanation));
    auto main = makeRef<NSMenu>();
    main->addItem(item("Open", "o"));
    setMainMenu(NSApp(), main);
    EXPECT_TRUE(
        validator->isShortcutAlreadyTakenBySystem(shortcut(31, kCGEventFlagMaskCommand), &explanation));
    EXPECT_EQ(explanation, menuExplanation("Open"));
}

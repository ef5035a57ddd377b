#include "support/SimWorld.h"

#include <app/KSShortcutValidator.h>
#include <appkit/NSApplicationMainMenu.h>

namespace {

constexpr uint64_t kShift = 0x20000;
constexpr uint64_t kControl = 0x40000;
constexpr uint64_t kOption = 0x80000;
constexpr uint64_t kCommand = 0x100000;

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
    EXPECT_TRUE(validator->isShortcutValid(shortcut(90, kShift))) << "F20 with Shift";
    EXPECT_FALSE(validator->isShortcutValid(shortcut(0, 0))) << "a letter alone";
    EXPECT_FALSE(validator->isShortcutValid(shortcut(0, kShift))) << "a letter with Shift alone";
    EXPECT_TRUE(validator->isShortcutValid(shortcut(0, kCommand)));
    EXPECT_TRUE(validator->isShortcutValid(shortcut(0, kControl | kShift)));
    EXPECT_FALSE(validator->isShortcutValid(nullptr));
}

TEST_F(Validator, OptionAloneNeedsSpaceEscapeOrThePermissiveOption)
{
    EXPECT_TRUE(validator->isShortcutValid(shortcut(49, kOption)));
    EXPECT_TRUE(validator->isShortcutValid(shortcut(53, kOption | kShift)));
    EXPECT_FALSE(validator->isShortcutValid(shortcut(48, kOption))) << "Option+Tab";
    EXPECT_TRUE(validator->isShortcutValid(shortcut(48, kOption | kCommand)));
    validator->setAllowAnyShortcutWithOptionModifier(true);
    EXPECT_TRUE(validator->isShortcutValid(shortcut(48, kOption)));
    EXPECT_TRUE(validator->isShortcutValid(shortcut(49, kOption)));
    EXPECT_FALSE(validator->isShortcutValid(shortcut(48, kShift)));
}

TEST_F(Validator, EnabledSystemShortcutsAreTaken)
{
    std::string explanation;
    EXPECT_TRUE(validator->isShortcutAlreadyTakenBySystem(shortcut(49, kCommand), &explanation));
    EXPECT_EQ(explanation, kSystemExplanation);
    EXPECT_TRUE(validator->isShortcutAlreadyTakenBySystem(shortcut(48, kCommand), nullptr));
    EXPECT_FALSE(validator->isShortcutAlreadyTakenBySystem(shortcut(48, kOption), nullptr));
    EXPECT_FALSE(validator->isShortcutAlreadyTakenBySystem(shortcut(50, kOption), nullptr));

    world.desktop().setSymbolicHotKeys({ { 1, 48, 0x800, false, "disabled" }, { 2, 50, 0x800 | 0x200, true, "enabled" } });
    explanation = "untouched";
    EXPECT_FALSE(validator->isShortcutAlreadyTakenBySystem(shortcut(48, kOption), &explanation))
        << "a disabled system shortcut does not count";
    EXPECT_EQ(explanation, "untouched");
    EXPECT_TRUE(validator->isShortcutAlreadyTakenBySystem(shortcut(50, kOption | kShift), nullptr));
    EXPECT_FALSE(validator->isShortcutAlreadyTakenBySystem(shortcut(50, kOption), nullptr));
}

TEST_F(Validator, AnUpperCaseKeyEquivalentMeansShift)
{
    auto menu = makeRef<NSMenu>();
    menu->addItem(item("Quit Everything", "Q"));
    std::string explanation;
    EXPECT_FALSE(validator->isShortcut(shortcut(12, kCommand), menu, &explanation));
    EXPECT_TRUE(validator->isShortcut(shortcut(12, kCommand | kShift), menu, &explanation));
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
    EXPECT_TRUE(validator->isShortcut(shortcut(40, kCommand | kOption), main, &explanation));
    EXPECT_EQ(explanation, menuExplanation("Clear Menu"));
    EXPECT_FALSE(validator->isShortcut(shortcut(40, kCommand), main, nullptr));
    // Flags outside the four modifiers on an item do not matter.
    main->addItem(item("Numeric", "7", NSEventModifierFlagCommand | NSEventModifierFlagNumericPad));
    EXPECT_TRUE(validator->isShortcut(shortcut(26, kCommand), main, nullptr));
    EXPECT_FALSE(validator->isShortcut(shortcut(26, kCommand), nullptr, nullptr));
}

TEST_F(Validator, ItemsWithoutAKeyEquivalentTakeNoShortcut)
{
    auto menu = makeRef<NSMenu>();
    menu->addItem(item("About", ""));
    menu->addItem(NSMenuItem::separatorItem());
    EXPECT_FALSE(validator->isShortcut(shortcut(90, kCommand), menu, nullptr)) << "F20 has no key-equivalent form";
    EXPECT_FALSE(validator->isShortcut(shortcut(52, 0), menu, nullptr));
}

TEST_F(Validator, TheSystemCheckEndsWithTheMainMenu)
{
    std::string explanation;
    EXPECT_FALSE(validator->isShortcutAlreadyTakenBySystem(shortcut(31, kCommand), &explanation));
    auto main = makeRef<NSMenu>();
    main->addItem(item("Open", "o"));
    setMainMenu(NSApp(), main);
    EXPECT_TRUE(validator->isShortcutAlreadyTakenBySystem(shortcut(31, kCommand), &explanation));
    EXPECT_EQ(explanation, menuExplanation("Open"));
}

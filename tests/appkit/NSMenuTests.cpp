#include "support/SimWorld.h"

#include <appkit/NSApplicationMainMenu.h>
#include <appkit/NSMenu.h>
#include <foundation/Log.h>

TEST(NSMenu, KeepsItsItemsInOrderAndEachItemInOneMenu)
{
    auto menu = makeRef<NSMenu>("File");
    auto open = menu->addItemWithTitle("Open", "openDocument:", "o");
    auto close = makeRef<NSMenuItem>("Close", "performClose:", "w");
    menu->addItem(NSMenuItem::separatorItem());
    menu->insertItem(close, 1);
    EXPECT_EQ(menu->numberOfItems(), 3);
    EXPECT_EQ(menu->itemAtIndex(1), close);
    EXPECT_EQ(menu->indexOfItem(open), 0);
    EXPECT_TRUE(menu->itemAtIndex(2)->isSeparatorItem());
    EXPECT_FALSE(menu->itemAtIndex(3));
    EXPECT_FALSE(menu->itemAtIndex(-1));
    EXPECT_EQ(close->menu(), menu);
    EXPECT_EQ(open->keyEquivalentModifierMask(), NSEventModifierFlagCommand);

    LogCapture log;
    auto other = makeRef<NSMenu>("Other");
    other->addItem(open);
    EXPECT_EQ(other->numberOfItems(), 0) << "an item in a menu is refused by another";
    EXPECT_TRUE(log.contains("already in a menu"));
    menu->insertItem(makeRef<NSMenuItem>("Far", "", ""), 9);
    EXPECT_EQ(menu->numberOfItems(), 3);

    menu->removeItem(open);
    EXPECT_FALSE(open->menu());
    other->addItem(open);
    EXPECT_EQ(other->itemWithTitle("Open"), open);
    open->setTag(7);
    EXPECT_EQ(other->itemWithTag(7), open);
    EXPECT_FALSE(other->itemWithTag(8));
    menu->removeAllItems();
    EXPECT_EQ(menu->numberOfItems(), 0);
    EXPECT_FALSE(close->menu());
}

TEST(NSMenu, SubmenusKnowTheirSupermenu)
{
    auto main = makeRef<NSMenu>();
    auto item = makeRef<NSMenuItem>("Edit", "", "");
    auto edit = makeRef<NSMenu>("Edit");
    item->setSubmenu(edit);
    EXPECT_FALSE(edit->supermenu()) << "the item is in no menu yet";
    main->addItem(item);
    EXPECT_EQ(edit->supermenu(), main);
    EXPECT_TRUE(item->hasSubmenu());
    main->removeItem(item);
    EXPECT_FALSE(edit->supermenu());

    auto target = makeRef<NSObject>();
    item->setTarget(target);
    EXPECT_EQ(item->target(), target);
    target.reset();
    EXPECT_FALSE(item->target()) << "the target is not kept alive by the item";
}

TEST(NSMenu, TheApplicationHasOneMainMenu)
{
    auto saved = mainMenu(NSApp());
    auto menu = makeRef<NSMenu>();
    setMainMenu(NSApp(), menu);
    EXPECT_EQ(mainMenu(NSApplication::sharedApplication()), menu);
    setMainMenu(NSApp(), saved);
}

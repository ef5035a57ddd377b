#include "AppKitTestSupport.h"

#include <support/SimWorld.h>

#include <appkit/NSToolbar.h>

namespace {

// A delegate that makes labelled items for its identifiers and records the
// clicks its items send.
class PagesDelegate : public NSResponder, public NSToolbarDelegate {
public:
    PagesDelegate()
    {
        setActionHandler("pageClicked:", [this](const Ref<NSObject>& sender) {
            auto item = std::dynamic_pointer_cast<NSToolbarItem>(sender);
            clicks.push_back(item ? item->itemIdentifier() : "?");
        });
    }
    Ref<NSToolbarItem> toolbarItemForItemIdentifier(NSToolbar&, const NSToolbarItemIdentifier& identifier, bool insert) override
    {
        made.push_back(identifier);
        if (identifier == "unknown")
            return nullptr;
        EXPECT_TRUE(insert);
        auto item = makeRef<NSToolbarItem>(identifier);
        item->setLabel(identifier + "!");
        item->setTarget(selfRef<NSObject>());
        item->setAction(identifier == "broken" ? "nobodyAnswers:" : "pageClicked:");
        return item;
    }
    std::vector<NSToolbarItemIdentifier> toolbarDefaultItemIdentifiers(NSToolbar&) override { return defaults; }
    std::vector<NSToolbarItemIdentifier> toolbarSelectableItemIdentifiers(NSToolbar&) override { return selectable; }

    std::vector<NSToolbarItemIdentifier> defaults { "one", NSToolbarFlexibleSpaceItemIdentifier, "two" };
    std::vector<NSToolbarItemIdentifier> selectable { "one", "two" };
    std::vector<std::string> made;
    std::vector<std::string> clicks;
};

std::vector<std::string> identifiers(NSToolbar& toolbar)
{
    std::vector<std::string> result;
    for (const auto& item : toolbar.items())
        result.push_back(item->itemIdentifier());
    return result;
}

} // namespace

TEST(Toolbar, AWindowsToolbarFillsItselfFromItsDelegateOnce)
{
    SimWorld world;
    auto delegate = makeRef<PagesDelegate>();
    auto toolbar = makeRef<NSToolbar>("pages");
    toolbar->setDelegate(delegate);
    auto window = makeWindow(CGRectMake(100, 100, 300, 200));
    window->setToolbar(toolbar);
    EXPECT_EQ(toolbar->window(), window.get());
    EXPECT_EQ(delegate->made, (std::vector<std::string> { "one", "two" })) << "spaces are the toolbar's own";
    EXPECT_EQ(identifiers(*toolbar), (std::vector<std::string> { "one", NSToolbarFlexibleSpaceItemIdentifier, "two" }));
    EXPECT_EQ(toolbar->items()[0]->toolbar(), toolbar.get());
    EXPECT_EQ(toolbar->items()[0]->label(), "one!");
    toolbar->items();
    EXPECT_EQ(delegate->made.size(), 2u);

    window->setToolbarStyle(NSWindowToolbarStylePreference);
    EXPECT_EQ(window->toolbarStyle(), NSWindowToolbarStylePreference);
    window = nullptr;
    EXPECT_EQ(toolbar->window(), nullptr);
}

TEST(Toolbar, InsertingAndRemovingItems)
{
    SimWorld world;
    auto delegate = makeRef<PagesDelegate>();
    NSToolbar toolbar("pages");
    toolbar.setDelegate(delegate);
    toolbar.insertItemWithItemIdentifier("three", 1);
    EXPECT_EQ(identifiers(toolbar), (std::vector<std::string> { "one", "three", NSToolbarFlexibleSpaceItemIdentifier, "two" }))
        << "the defaults come first, the insertion lands among them";
    toolbar.insertItemWithItemIdentifier("four", 99);
    toolbar.insertItemWithItemIdentifier("unknown", 0);
    EXPECT_EQ(identifiers(toolbar).back(), "four");
    EXPECT_EQ(toolbar.items().size(), 5u) << "an identifier the delegate makes nothing for adds nothing";
    auto removed = toolbar.items()[0];
    toolbar.removeItemAtIndex(0);
    toolbar.removeItemAtIndex(42);
    EXPECT_EQ(toolbar.items().size(), 4u);
    EXPECT_EQ(removed->toolbar(), nullptr);
}

TEST(Toolbar, ClickingASelectableItemSelectsItThenSendsItsAction)
{
    SimWorld world;
    auto delegate = makeRef<PagesDelegate>();
    delegate->selectable = { "two" };
    NSToolbar toolbar("pages");
    toolbar.setDelegate(delegate);
    std::string selectedWhenSent;
    delegate->setActionHandler("pageClicked:", [&](const Ref<NSObject>& sender) {
        selectedWhenSent = toolbar.selectedItemIdentifier();
        delegate->clicks.push_back(std::dynamic_pointer_cast<NSToolbarItem>(sender)->itemIdentifier());
    });
    auto one = toolbar.items()[0];
    auto two = toolbar.items()[2];
    EXPECT_TRUE(two->performClick());
    EXPECT_EQ(toolbar.selectedItemIdentifier(), "two");
    EXPECT_EQ(selectedWhenSent, "two");
    EXPECT_TRUE(one->performClick());
    EXPECT_EQ(toolbar.selectedItemIdentifier(), "two") << "an item that is not selectable takes no highlight";
    EXPECT_EQ(delegate->clicks, (std::vector<std::string> { "two", "one" }));

    two->setEnabled(false);
    EXPECT_FALSE(two->performClick());
    EXPECT_EQ(delegate->clicks.size(), 2u);
    EXPECT_FALSE(toolbar.items()[1]->performClick()) << "a space does nothing";
}

TEST(Toolbar, ValidationEnablesItemsWhoseActionSomethingAnswers)
{
    SimWorld world;
    auto delegate = makeRef<PagesDelegate>();
    delegate->defaults = { "one", "broken" };
    NSToolbar toolbar("pages");
    toolbar.setDelegate(delegate);
    auto items = toolbar.items();
    items[0]->setEnabled(false);
    toolbar.validateVisibleItems();
    EXPECT_TRUE(items[0]->isEnabled());
    EXPECT_FALSE(items[1]->isEnabled());
    // Without a target the responder chain decides.
    items[1]->setTarget(nullptr);
    items[1]->setAction("orderFrontStandardAboutPanel:");
    toolbar.validateVisibleItems();
    EXPECT_TRUE(items[1]->isEnabled()) << "the application answers it";
}

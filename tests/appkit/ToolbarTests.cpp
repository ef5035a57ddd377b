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

// The toolbar takes a strip above the content: the content keeps its size,
// the selected item is highlighted, and a press and release on an item
// performs it (a release elsewhere does not).
TEST(Toolbar, AWindowShowsItsToolbarAboveTheContentAndAClickOnAnItemPerformsIt)
{
    SimWorld world { SimWorld::emptyScenario() };
    auto delegate = makeRef<PagesDelegate>();
    auto toolbar = makeRef<NSToolbar>("pages");
    toolbar->setDelegate(delegate);
    auto window = makeWindow(CGRectMake(100, 300, 300, 200));
    window->setBackgroundColor(NSColor::whiteColor());
    auto content = makeRef<ColorView>(CGRectMake(0, 0, 300, 200), NSColor::redColor());
    window->contentView()->addSubview(content);
    window->setToolbar(toolbar);
    constexpr CGFloat strip = NSWindow::kToolbarHeight;
    EXPECT_EQ(window->frame(), CGRectMake(100, 300 - strip, 300, 200 + strip)) << "the content's top edge stays";
    EXPECT_EQ(window->contentView()->frame(), CGRectMake(0, 0, 300, 200));
    EXPECT_EQ(window->frameRectForContentRect(CGRectMake(0, 0, 300, 100)), CGRectMake(0, 0, 300, 100 + strip));
    EXPECT_EQ(window->contentRectForFrameRect(window->frame()).size, CGSizeMake(300, 200));
    window->setContentSize(CGSizeMake(300, 120));
    EXPECT_EQ(window->frame().size, CGSizeMake(300, 120 + strip));
    EXPECT_EQ(window->contentView()->frame().size, CGSizeMake(300, 120));

    auto frames = window->toolbarItemFrames();
    ASSERT_EQ(frames.size(), 2u) << "spaces take no room";
    auto [one, oneFrame] = frames[0];
    auto [two, twoFrame] = frames[1];
    EXPECT_EQ(one->itemIdentifier(), "one");
    EXPECT_LT(CGRectGetMaxX(oneFrame), twoFrame.origin.x);
    EXPECT_NEAR(oneFrame.origin.x, 300 - CGRectGetMaxX(twoFrame), 1) << "the row is centred";
    EXPECT_EQ(oneFrame.origin.y, 120);

    window->orderFront(nullptr);
    toolbar->setSelectedItemIdentifier("two");
    world.settle();
    auto image = window->renderedImage();
    // The image's rows count from the top: the strip is the first 56.
    auto nearTop = [&](CGRect frame) { return pixelAt(image, int(CGRectGetMidX(frame)), 8); };
    EXPECT_EQ(pixelAt(image, 2, int(strip) + 10), (Pixel { 255, 0, 0, 255 })) << "the content under the strip";
    EXPECT_EQ(nearTop(oneFrame), (Pixel { 255, 255, 255, 255 }));
    EXPECT_NE(nearTop(twoFrame), (Pixel { 255, 255, 255, 255 })) << "the selected item is highlighted";

    CGRect onScreen = window->frame();
    auto screenPoint = [&](CGRect frame) {
        return CGPointMake(onScreen.origin.x + CGRectGetMidX(frame), onScreen.origin.y + CGRectGetMidY(frame));
    };
    auto click = [&](CGPoint down, CGPoint up) {
        NSApp().deliverInputEvent(NSEvent::mouseEventWithType(NSEventTypeLeftMouseDown, down));
        NSApp().deliverInputEvent(NSEvent::mouseEventWithType(NSEventTypeLeftMouseUp, up));
        world.settle();
    };
    click(screenPoint(oneFrame), screenPoint(oneFrame));
    EXPECT_EQ(delegate->clicks, (std::vector<std::string> { "one" }));
    EXPECT_EQ(toolbar->selectedItemIdentifier(), "one");
    click(screenPoint(twoFrame), screenPoint(oneFrame));
    EXPECT_EQ(delegate->clicks.size(), 1u) << "released off the item it was pressed on";
}

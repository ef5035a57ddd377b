#include "support/SimWorld.h"
#include "support/DefaultsSandbox.h"

#include <app/KSPreferencesWindowController.h>
#include <appkit/NSApplication.h>
#include <appkit/NSButton.h>
#include <appkit/NSIndexSet.h>
#include <appkit/NSTextField.h>
#include <appkit/NSView.h>
#include <foundation/NSNotificationCenter.h>
#include <foundation/NSUserDefaults.h>
#include <graphics/NSImage.h>

#include <cfloat>

namespace {

CGSize contentSize(const Ref<NSWindow>& window) { return window->contentRectForFrameRect(window->frame()).size; }
CGPoint topLeft(const Ref<NSWindow>& window) { return CGPointMake(window->frame().origin.x, CGRectGetMaxY(window->frame())); }

// A pane of the tests' own: a view of a given size and autoresizing mask,
// and whichever optional answers a test gives it.
class TestPane : public NSViewController, public KSPreferencesViewController {
public:
    TestPane(std::string identifier, CGSize size, NSAutoresizingMaskOptions mask = NSViewNotSizable)
        : m_identifier(std::move(identifier))
        , m_size(size)
        , m_mask(mask)
    {
    }

    void loadView() override
    {
        auto view = makeRef<NSView>(CGRectMake(0, 0, m_size.width, m_size.height));
        view->setAutoresizingMask(m_mask);
        field = makeRef<NSTextField>(CGRectMake(10, 10, 100, 22));
        field->setEditable(true);
        view->addSubview(field);
        setView(view);
    }

    std::string viewIdentifier() const override { return m_identifier; }
    std::string toolbarItemLabel() const override { return m_identifier + " label"; }
    std::optional<Ref<NSImage>> toolbarItemImage() const override { return image; }
    std::optional<bool> hasResizableWidth() const override { return resizableWidth; }
    std::optional<bool> hasResizableHeight() const override { return resizableHeight; }
    std::optional<Ref<NSView>> initialKeyView() const override { return initialView; }
    void viewWillAppear() override { appearances++; }
    void viewDidDisappear() override { disappearances++; }
    bool commitEditing() override
    {
        commitRequests++;
        return commits;
    }

    std::optional<Ref<NSImage>> image;
    std::optional<bool> resizableWidth;
    std::optional<bool> resizableHeight;
    std::optional<Ref<NSView>> initialView;
    bool commits { true };
    int commitRequests { 0 };
    int appearances { 0 };
    int disappearances { 0 };
    Ref<NSTextField> field;

private:
    std::string m_identifier;
    CGSize m_size;
    NSAutoresizingMaskOptions m_mask;
};

class KSPreferencesTest : public ::testing::Test {
protected:
    KSPreferencesTest()
        : world(SimWorld::emptyScenario())
    {
    }
    ~KSPreferencesTest() override
    {
        for (const auto& c : controllers)
            if (c->isWindowLoaded())
                c->window()->orderOut(nullptr);
        controllers.clear();
    }

    // The panes: "general" fixed at 400 x 200, "style" stretchable both
    // ways from 500 x 300, a flexible space, "updates" fixed at 300 x 120.
    std::vector<Ref<NSViewController>> makePanes()
    {
        general = makeRef<TestPane>("general", CGSizeMake(400, 200));
        style = makeRef<TestPane>("style", CGSizeMake(500, 300), NSViewWidthSizable | NSViewHeightSizable);
        updates = makeRef<TestPane>("updates", CGSizeMake(300, 120));
        return { general, style, nullptr, updates };
    }

    Ref<KSPreferencesWindowController> makeController(std::string title = {})
    {
        auto controller = makeRef<KSPreferencesWindowController>(makePanes(), std::move(title));
        controllers.push_back(controller);
        return controller;
    }

    // The next run of the application with the same settings file.
    Ref<KSPreferencesWindowController> relaunch()
    {
        for (const auto& c : controllers)
            if (c->isWindowLoaded())
                c->window()->orderOut(nullptr);
        NSUserDefaults::resetStandardUserDefaults();
        return makeController();
    }

    Ref<NSToolbarItem> item(const Ref<KSPreferencesWindowController>& controller, const std::string& identifier)
    {
        for (const auto& i : controller->toolbar()->items())
            if (i->itemIdentifier() == identifier)
                return i;
        return nullptr;
    }

    Ref<NSUserDefaults> defaults() { return NSUserDefaults::standardUserDefaults(); }

    DefaultsSandbox defaultsSandbox;
    SimWorld world;
    Ref<TestPane> general, style, updates;
    std::vector<Ref<KSPreferencesWindowController>> controllers;
};

} // namespace

TEST_F(KSPreferencesTest, OpeningShowsTheFirstPaneWithOneToolbarItemPerEntry)
{
    auto controller = makeController();
    EXPECT_FALSE(controller->isWindowLoaded()) << "the window waits for its first request";
    auto window = controller->window();
    ASSERT_TRUE(window && controller->toolbar());
    EXPECT_EQ(window->toolbar(), controller->toolbar());
    EXPECT_EQ(window->delegate(), controller);

    std::vector<std::string> identifiers;
    for (const auto& i : controller->toolbar()->items())
        identifiers.push_back(i->itemIdentifier());
    EXPECT_EQ(identifiers, (std::vector<std::string> { "general", "style", NSToolbarFlexibleSpaceItemIdentifier, "updates" }));
    EXPECT_EQ(identifiers, controller->toolbarItemIdentifiers());
    EXPECT_EQ(item(controller, "style")->label(), "style label");
    EXPECT_EQ(controller->toolbar()->displayMode(), NSToolbarDisplayMode::LabelOnly) << "no pane has an image";

    EXPECT_EQ(controller->selectedViewController(), general);
    EXPECT_EQ(window->contentView(), general->view());
    EXPECT_EQ(window->title(), "general label");
    EXPECT_EQ(controller->toolbar()->selectedItemIdentifier(), "general");
    EXPECT_EQ(defaults()->stringForKey(KSPreferencesSelectedIdentifierKey), "general");
    EXPECT_EQ(contentSize(window), CGSizeMake(400, 200));
    EXPECT_EQ(window->frame().size.height, 200 + NSWindow::kToolbarHeight) << "the toolbar's strip tops the pane";
    EXPECT_EQ(controller->minimumViewRects().at("general"), "{{0, 0}, {400, 200}}");
    EXPECT_EQ(general->view()->nextResponder(), general) << "the pane sits in the responder chain after its view";
}

TEST_F(KSPreferencesTest, ClickingAToolbarItemSwitchesThePaneAboutTheWindowsTopEdge)
{
    auto controller = makeController();
    auto window = controller->window();
    window->makeKeyAndOrderFront(nullptr);
    window->setFrameTopLeftPoint(CGPointMake(300, 700));
    int changes = 0;
    auto observation = NSNotificationCenter::defaultCenter().addObserverForName(
        KSPreferencesWindowControllerDidChangeViewNotification, controller.get(), nullptr,
        [&](const NSNotification&) { changes++; });

    ASSERT_TRUE(item(controller, "style")->performClick());
    EXPECT_EQ(controller->selectedViewController(), style);
    EXPECT_EQ(controller->toolbar()->selectedItemIdentifier(), "style");
    EXPECT_EQ(window->contentView(), style->view());
    EXPECT_EQ(topLeft(window), CGPointMake(300, 700)) << "the top-left corner stays";
    EXPECT_EQ(contentSize(window), CGSizeMake(500, 300));
    EXPECT_EQ(window->title(), "style label");
    EXPECT_EQ(defaults()->stringForKey(KSPreferencesSelectedIdentifierKey), "style");
    EXPECT_EQ(window->contentMinSize(), CGSizeMake(500, 300));
    EXPECT_EQ(window->contentMaxSize(), CGSizeMake(DBL_MAX, DBL_MAX));
    EXPECT_TRUE(window->showsResizeIndicator());
    EXPECT_TRUE(window->standardWindowButton(NSWindowZoomButton)->isEnabled());
    EXPECT_EQ(general->view()->window(), nullptr) << "the old pane's view left the window";
    EXPECT_EQ(general->disappearances, 1);
    EXPECT_EQ(style->appearances, 1);
    EXPECT_EQ(general->commitRequests, 1) << "the old pane was asked to commit its edits";
    EXPECT_EQ(changes, 1);

    ASSERT_TRUE(item(controller, "updates")->performClick());
    EXPECT_EQ(topLeft(window), CGPointMake(300, 700));
    EXPECT_EQ(contentSize(window), CGSizeMake(300, 120));
    EXPECT_EQ(window->contentMaxSize(), CGSizeMake(300, 120)) << "a fixed pane cannot be stretched";
    EXPECT_FALSE(window->showsResizeIndicator());
    EXPECT_FALSE(window->standardWindowButton(NSWindowZoomButton)->isEnabled());
    EXPECT_EQ(changes, 2);
    // Choosing the shown pane again changes nothing.
    item(controller, "updates")->performClick();
    EXPECT_EQ(changes, 2);
}

TEST_F(KSPreferencesTest, AFixedTitleDoesNotFollowThePanes)
{
    auto controller = makeController("Preferences");
    auto window = controller->window();
    EXPECT_EQ(window->title(), "Preferences");
    controller->selectControllerWithIdentifier("style");
    EXPECT_EQ(window->title(), "Preferences");
}

TEST_F(KSPreferencesTest, AResizedPaneKeepsItsSizeAcrossANewController)
{
    auto controller = makeController();
    auto window = controller->window();
    controller->selectControllerWithIdentifier("style");
    CGRect frame = window->frame();
    // The user makes the window larger.
    window->setFrame(CGRectMake(frame.origin.x, frame.origin.y - 100, 640, 400 + NSWindow::kToolbarHeight), true);
    EXPECT_EQ(defaults()->stringForKey(KSPreferencesWindowController::viewFrameKey("style")), "{{0, 0}, {640, 400}}");
    EXPECT_EQ(KSPreferencesWindowController::viewFrameKey("style"), "KSPreferences style Frame");

    auto next = relaunch();
    auto nextWindow = next->window();
    EXPECT_EQ(next->selectedViewController(), style) << "the selected pane is remembered";
    EXPECT_EQ(contentSize(nextWindow), CGSizeMake(640, 400));
    EXPECT_EQ(nextWindow->contentMinSize(), CGSizeMake(500, 300)) << "the minimum is the size the view first had";
}

TEST_F(KSPreferencesTest, ASavedSizeBelowTheMinimumOrForAFixedPaneIsNotUsed)
{
    defaults()->setObject(Value("{{0, 0}, {900, 50}}"), "KSPreferences general Frame");
    defaults()->setObject(Value("{{0, 0}, {450, 250}}"), "KSPreferences style Frame");
    auto controller = makeController();
    auto window = controller->window();
    EXPECT_EQ(contentSize(window), CGSizeMake(400, 200)) << "a fixed pane shows at its first size";
    controller->selectControllerWithIdentifier("style");
    EXPECT_EQ(contentSize(window), CGSizeMake(500, 300)) << "never below the first size";
}

TEST_F(KSPreferencesTest, ThePanesOwnAnswersOverrideItsAutoresizingMask)
{
    auto panes = makePanes();
    general->resizableHeight = true;
    style->resizableWidth = false;
    defaults()->setObject(Value("{{0, 0}, {800, 500}}"), "KSPreferences general Frame");
    defaults()->setObject(Value("{{0, 0}, {800, 500}}"), "KSPreferences style Frame");
    auto controller = makeRef<KSPreferencesWindowController>(panes);
    controllers.push_back(controller);
    auto window = controller->window();
    EXPECT_EQ(contentSize(window), CGSizeMake(400, 500));
    EXPECT_EQ(window->contentMaxSize(), CGSizeMake(400, DBL_MAX));
    controller->selectControllerWithIdentifier("style");
    EXPECT_EQ(contentSize(window), CGSizeMake(500, 500));
}

TEST_F(KSPreferencesTest, MovingTheWindowSavesItsTopLeftCornerWhichTheNextOpeningRestores)
{
    auto controller = makeController();
    auto window = controller->window();
    window->setFrameOrigin(CGPointMake(120, 530 - window->frame().size.height));
    EXPECT_EQ(defaults()->stringForKey(KSPreferencesFrameTopLeftKey), "{120, 530}");
    controller->selectControllerWithIdentifier("updates");
    EXPECT_EQ(CGRectGetMaxY(window->frame()), 530);

    // The next opening shows "updates" (120 high): the corner, not the
    // bottom-left origin, comes back.
    auto next = relaunch();
    EXPECT_EQ(topLeft(next->window()), CGPointMake(120, 530));
    EXPECT_EQ(contentSize(next->window()), CGSizeMake(300, 120));
}

TEST_F(KSPreferencesTest, ARememberedIdentifierThatNamesNoPaneFallsBackToTheFirst)
{
    defaults()->setObject(Value("shortcuts"), KSPreferencesSelectedIdentifierKey);
    auto panes = makePanes();
    panes.insert(panes.begin(), nullptr);
    auto controller = makeRef<KSPreferencesWindowController>(panes);
    controllers.push_back(controller);
    controller->window();
    EXPECT_EQ(controller->selectedViewController(), general);
    defaults()->setObject(Value("updates"), KSPreferencesSelectedIdentifierKey);
    auto next = relaunch();
    EXPECT_EQ(next->window()->contentView(), updates->view());
}

TEST_F(KSPreferencesTest, APaneThatRefusesToCommitKeepsTheWindow)
{
    auto controller = makeController();
    auto window = controller->window();
    window->makeKeyAndOrderFront(nullptr);
    general->commits = false;
    item(controller, "style")->performClick();
    EXPECT_EQ(controller->selectedViewController(), general);
    EXPECT_EQ(controller->toolbar()->selectedItemIdentifier(), "general") << "the clicked item gives the highlight back";
    EXPECT_EQ(window->contentView(), general->view());
    window->standardWindowButton(NSWindowCloseButton)->performClick(nullptr);
    EXPECT_TRUE(window->isVisible()) << "closing waits for the pane too";
    general->commits = true;
    window->standardWindowButton(NSWindowCloseButton)->performClick(nullptr);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(KSPreferencesTest, NextAndPreviousTabWrapRoundAndSkipSpaces)
{
    auto controller = makeController();
    controller->window();
    std::vector<std::string> forward;
    for (int i = 0; i < 4; ++i) {
        NSApp().sendAction("goNextTab:", controller, nullptr);
        forward.push_back(controller->toolbar()->selectedItemIdentifier());
    }
    EXPECT_EQ(forward, (std::vector<std::string> { "style", "updates", "general", "style" }));
    std::vector<std::string> backward;
    for (int i = 0; i < 4; ++i) {
        controller->goPreviousTab(nullptr);
        backward.push_back(controller->toolbar()->selectedItemIdentifier());
    }
    EXPECT_EQ(backward, (std::vector<std::string> { "general", "updates", "style", "general" }));

    auto empty = makeRef<KSPreferencesWindowController>(std::vector<Ref<NSViewController>> {});
    controllers.push_back(empty);
    empty->window();
    empty->goNextTab(nullptr);
    empty->goPreviousTab(nullptr);
    EXPECT_EQ(empty->selectedViewController(), nullptr);
    EXPECT_EQ(empty->indexOfSelectedController(), NSNotFound);
}

TEST_F(KSPreferencesTest, SelectingByIndexIgnoresSpacesAndIndexesPastTheEnd)
{
    auto controller = makeController();
    controller->window();
    controller->selectControllerAtIndex(3);
    EXPECT_EQ(controller->indexOfSelectedController(), 3u);
    controller->selectControllerAtIndex(2);
    controller->selectControllerAtIndex(4);
    controller->selectControllerAtIndex(NSNotFound);
    EXPECT_EQ(controller->selectedViewController(), updates);
    controller->selectControllerWithIdentifier("nothing");
    EXPECT_EQ(controller->selectedViewController(), nullptr) << "an unknown identifier drops the shown pane";
}

TEST_F(KSPreferencesTest, AnAddedPaneGetsAnItemAtTheEnd)
{
    auto controller = makeController();
    controller->window();
    auto extra = makeRef<TestPane>("extra", CGSizeMake(200, 100));
    controller->addViewController(extra);
    auto items = controller->toolbar()->items();
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items.back()->itemIdentifier(), "extra");
    EXPECT_TRUE(items.back()->isEnabled());
    items.back()->performClick();
    EXPECT_EQ(controller->selectedViewController(), extra);
}

TEST_F(KSPreferencesTest, PaneImagesShowInTheToolbar)
{
    auto panes = makePanes();
    auto image = NSImage::imageNamed(NSImageNameStatusAvailable);
    style->image = image;
    auto controller = makeRef<KSPreferencesWindowController>(panes);
    controllers.push_back(controller);
    controller->window();
    EXPECT_EQ(controller->toolbar()->displayMode(), NSToolbarDisplayMode::Default);
    EXPECT_EQ(item(controller, "style")->image(), image);
    EXPECT_EQ(item(controller, "general")->image(), nullptr);
}

TEST_F(KSPreferencesTest, TheShownPaneTakesTheKeyboard)
{
    auto panes = makePanes();
    auto initial = makeRef<NSTextField>(CGRectMake(0, 0, 50, 20));
    initial->setEditable(true);
    style->initialView = initial;
    auto controller = makeRef<KSPreferencesWindowController>(panes);
    controllers.push_back(controller);
    auto window = controller->window();
    EXPECT_EQ(window->firstResponder(), general->field) << "the first key view of the pane";
    window->makeFirstResponder(nullptr);
    style->view()->addSubview(initial);
    controller->selectControllerWithIdentifier("style");
    EXPECT_EQ(window->firstResponder(), initial);
}

TEST_F(KSPreferencesTest, GoingAwayDisconnectsTheWindowAndToolbar)
{
    auto controller = makeController();
    auto window = controller->window();
    auto toolbar = controller->toolbar();
    auto styleItem = item(controller, "style");
    controllers.clear();
    controller = nullptr;
    EXPECT_EQ(window->delegate(), nullptr);
    EXPECT_EQ(toolbar->delegate(), nullptr);
    EXPECT_EQ(styleItem->target(), nullptr);
    EXPECT_TRUE(styleItem->action().empty());
}

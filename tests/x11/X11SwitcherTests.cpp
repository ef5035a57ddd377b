// The switcher on a real X11 session, typed through XTest as a person
// would: Super (Command) held, Tab opens the panel on the X server, a digit
// picks a window and releasing Super focuses it.
#include "X11ApplicationTest.h"

#include <support/GridCells.h>

#include <app/AppController.h>
#include <appkit/NSRunningApplication.h>
#include <command/QuorvexSession.h>
#include <foundation/NSUserDefaults.h>
#include <foundation/RunLoop.h>
#include <model/DefaultsKeys.h>
#include <switcher/SwitcherCodes.h>
#include <model/SWWindow.h>
#include <model/WindowManager.h>
#include <switcher/GridCellInterface.h>
#include <switcher/GridViewController.h>
#include <switcher/SwitchWindowController.h>

#include <array>
#include <map>

#include <X11/keysym.h>
#include <desktop/x11/X11Connection.h>
#include <xcb/xcb.h>
#include <gtest/gtest.h>

namespace {

// The window's pixels on the server against its drawn content, colour by
// colour where the content is opaque (the server keeps no alpha; the
// translucent parts show what lies beneath), on every third pixel of every
// third row; the window must have been drawn on.
bool serverShowsWhatWasDrawn(X11Desktop& desktop, CGWindowID window)
{
    auto drawn = desktop.captureWindow(window);
    if (!drawn || drawn->empty())
        return false;
    auto* c = desktop.connection().connection();
    auto* reply = xcb_get_image_reply(c,
        xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0, drawn->width, drawn->height, ~0u), nullptr);
    if (!reply)
        return false;
    const uint8_t* shown = xcb_get_image_data(reply);
    bool same = xcb_get_image_data_length(reply) == drawn->width * drawn->height * 4;
    bool drawnOn = false;
    for (int y = 0; same && y < drawn->height; y += 3)
        for (int x = 0; same && x < drawn->width; x += 3) {
            const uint8_t* want = &drawn->rgba[(size_t(y) * drawn->width + x) * 4];
            const uint8_t* got = &shown[(size_t(y) * drawn->width + x) * 4];
            same = want[3] != 255 || (got[2] == want[0] && got[1] == want[1] && got[0] == want[2]);
            drawnOn = drawnOn || want[0] || want[1] || want[2];
        }
    free(reply);
    return same && drawnOn;
}

}

class X11Switcher : public X11ApplicationTest {
protected:
    // A window model of the session and the switcher on it, once the model
    // lists that many windows.
    struct Switcher {
        Ref<WindowManager> model;
        Ref<AppController> controller;
        std::unique_ptr<AppControllerSessionHost> host;
    };
    std::optional<Switcher> startSwitcher(size_t windowCount)
    {
        // The number badges show, as the start-up turns the keyboard
        // shortcuts on.
        NSUserDefaults::standardUserDefaults()->setBool(true, DefaultsKey::KeyboardShotcuts);
        Switcher switcher { WindowManager::create(), nullptr, nullptr };
        if (!runMainUntil([&] { return switcher.model->windows().size() == windowCount; }))
            return std::nullopt;
        switcher.controller = AppController::create(switcher.model);
        if (!switcher.controller)
            return std::nullopt;
        switcher.host = std::make_unique<AppControllerSessionHost>(*switcher.controller);
        return switcher;
    }
    // The switcher with the grid, its panel up over that many windows, the
    // keyboard taken.
    std::optional<Switcher> openGridPanel(size_t windowCount)
    {
        NSUserDefaults::standardUserDefaults()->setInteger(SwitcherLayoutGrid, DefaultsKey::LayoutType);
        auto switcher = startSwitcher(windowCount);
        if (!switcher || !pressSuperTab())
            return std::nullopt;
        auto& host = *switcher->host;
        if (!runMainUntil([&] { return host.isPanelVisible() && host.shownCount() == windowCount; })
            || !runMainUntil([&] { return desktop->isKeyboardGrabbed(); }))
            return std::nullopt;
        return switcher;
    }
    // The grid's panel up over three windows of the client, One, Two and
    // Three, the last one focused.
    std::optional<Switcher> openGridOverThreeWindows()
    {
        client->open("One", 0xff0000, 40, 60, 300, 200);
        client->open("Two", 0x00ff00, 400, 60, 300, 200);
        auto three = client->open("Three", 0x0000ff, 200, 300, 300, 200);
        if (!runMainUntil([&] { return hasFocus(three); }))
            return std::nullopt;
        return openGridPanel(3);
    }
    bool hasFocus(CGWindowID window)
    {
        DesktopAXValue value;
        for (const auto& w : desktop->windows())
            if (w.number == window)
                return desktop->axCopyAttribute({ DesktopElement::Kind::Window, w.pid, window }, "AXFocused", value)
                    == kAXErrorSuccess
                    && std::get<bool>(value);
        return false;
    }
    bool tap(uint32_t keySymbol) { return session->fakeKey(keySymbol, true) && session->fakeKey(keySymbol, false); }
    CGWindowID windowTitled(const std::string& title)
    {
        for (const auto& w : desktop->windows())
            if (w.title == title)
                return w.number;
        return 0;
    }
};

// Every layout (grid, list, list without its second column, carousel)
// shows the three windows on the server and switches by badge, one after
// the other on the same session: the badge picks the third window front to
// back as the session orders them at that moment.
TEST_F(X11Switcher, SuperTabOpensThePanelAndADigitWithTheReleaseFocusesTheWindowInEveryLayout)
{
    client->open("One", 0xff0000, 40, 60, 300, 200);
    client->open("Two", 0x00ff00, 400, 60, 300, 200);
    auto three = client->open("Three", 0x0000ff, 200, 300, 300, 200);
    auto isFocused = [&](CGWindowID window) {
        DesktopAXValue value;
        return desktop->axCopyAttribute({ DesktopElement::Kind::Window, client->pid(), window }, "AXFocused", value)
            == kAXErrorSuccess
            && std::get<bool>(value);
    };
    // The windows are in the order of use once the window manager has
    // activated the newest.
    ASSERT_TRUE(runMainUntil([&] {
        auto front = desktop->window(three);
        return front && front->isMain && isFocused(three) && desktop->frontmostApplication() == client->pid();
    }));
    const std::pair<SwitcherLayout, const char*> layouts[] = { { SwitcherLayoutGrid, "grid" },
        { SwitcherLayoutList, "list" }, { SwitcherLayoutListWithoutSecondColumn, "list without its second column" },
        { SwitcherLayoutCarousel, "carousel" } };
    for (const auto& [layout, name] : layouts) {
        SCOPED_TRACE(name);
        NSUserDefaults::standardUserDefaults()->setInteger(layout, DefaultsKey::LayoutType);
        std::vector<DesktopWindow> order;
        for (const auto& w : desktop->windows())
            if (w.pid == client->pid())
                order.push_back(w);
        ASSERT_EQ(order.size(), 3u);
        ASSERT_TRUE(runMainUntil([&] { return isFocused(order[0].number); }));
        auto switcher = startSwitcher(3);
        ASSERT_TRUE(switcher);
        auto& host = *switcher->host;

        ASSERT_TRUE(pressSuperTab());
        ASSERT_TRUE(runMainUntil([&] { return host.isPanelVisible() && host.shownCount() == 3; }));
        // The panel is a window of this process on the server, in front,
        // and the keyboard is grabbed while it is up; the user's window
        // keeps the focus.
        ASSERT_TRUE(runMainUntil([&] { return desktop->isKeyboardGrabbed(); }));
        EXPECT_EQ(desktop->windows().front().pid, desktop->ownProcessIdentifier());
        // What the panel drew is what the server shows in its window, once
        // the panel's animation has settled.
        CGWindowID panel = desktop->windows().front().number;
        EXPECT_TRUE(runMainUntil([&] { return serverShowsWhatWasDrawn(*desktop, panel); }));
        EXPECT_TRUE(isFocused(order[0].number));

        // Badge 3 is the third window front to back.
        ASSERT_TRUE(session->fakeKey(XK_3, true));
        ASSERT_TRUE(session->fakeKey(XK_3, false));
        ASSERT_TRUE(runMainUntil([&] { return host.selectedTitle() == order[2].title; }))
            << host.selectedTitle().value_or("(none)");
        ASSERT_TRUE(session->fakeKey(XK_Super_L, false));
        ASSERT_TRUE(runMainUntil([&] { return !host.isPanelVisible(); }));
        ASSERT_TRUE(runMainUntil([&] { return isFocused(order[2].number); }));
        EXPECT_FALSE(desktop->isKeyboardGrabbed());
        EXPECT_EQ(desktop->frontmostApplication(), client->pid());
    }
}

// Q on the panel quits the selected window's application as a person's quit
// does: each of its windows is asked to close. An editor with unsaved text
// answers with a dialog of its own and keeps running, however long it takes
// the person to answer; only a forced quit ends the process.
TEST_F(X11Switcher, QAsksTheApplicationToCloseItsWindowsAndOneThatAsksFirstKeepsRunning)
{
    auto editor = session->launchClient();
    ASSERT_TRUE(editor);
    auto notes = editor->open("Notes", 0xffffff, 40, 60, 300, 200);
    ASSERT_TRUE(notes && editor->askBeforeClosing(notes));
    auto front = client->open("Front", 0x00ff00, 400, 60, 300, 200);
    ASSERT_TRUE(runMainUntil([&] {
        auto window = desktop->window(front);
        return window && window->isMain && desktop->frontmostApplication() == client->pid() && desktop->window(notes);
    }));
    NSUserDefaults::standardUserDefaults()->setInteger(SwitcherLayoutGrid, DefaultsKey::LayoutType);
    auto switcher = startSwitcher(2);
    ASSERT_TRUE(switcher);
    auto& host = *switcher->host;

    ASSERT_TRUE(pressSuperTab());
    ASSERT_TRUE(runMainUntil([&] { return host.isPanelVisible() && host.selectedTitle() == "Notes"; }))
        << host.selectedTitle().value_or("(none)");
    ASSERT_TRUE(session->fakeKey(XK_q, true));
    ASSERT_TRUE(session->fakeKey(XK_q, false));
    // The quit is carried out on the main run loop, which runs meanwhile.
    std::optional<std::string> answer;
    EXPECT_TRUE(runMainUntil([&] { return answer || (answer = editor->readLine(0)); }));
    EXPECT_EQ(answer, "asked " + std::to_string(notes));
    ASSERT_TRUE(session->fakeKey(XK_Super_L, false));

    // Past any grace a quit might allow, the editor and its window are
    // still there, and it still answers.
    EXPECT_FALSE(runMainUntil([&] { return !desktop->application(editor->pid()); }, 3));
    EXPECT_TRUE(desktop->window(notes));
    EXPECT_TRUE(editor->setTitle(notes, "Notes (unsaved)"));

    // A forced quit does end it.
    auto running = NSRunningApplication::runningApplicationWithProcessIdentifier(editor->pid());
    ASSERT_TRUE(running);
    EXPECT_TRUE(running->forceTerminate());
    EXPECT_TRUE(runMainUntil([&] { return !desktop->application(editor->pid()); }));
}

// Where the panel is translucent the server shows what the screen showed
// beneath it before it came up: the blue window under the panel's rounded
// corner, not black.
TEST_F(X11Switcher, ThePanelsTranslucentPartsShowWhatLiesBeneath)
{
    auto beneath = client->open("Beneath", 0x0000ff, 0, 0, 1280, 800);
    client->open("Other", 0x00ff00, 100, 100, 200, 150);
    ASSERT_TRUE(beneath);
    ASSERT_TRUE(runMainUntil([&] { return desktop->window(beneath) && desktop->frontmostApplication() == client->pid(); }));
    auto model = WindowManager::create();
    ASSERT_TRUE(runMainUntil([&] { return model->windows().size() == 2; }));
    auto controller = AppController::create(model);
    AppControllerSessionHost host(*controller);
    ASSERT_TRUE(session->fakeKey(XK_Super_L, true));
    ASSERT_TRUE(session->fakeKey(XK_Tab, true));
    ASSERT_TRUE(session->fakeKey(XK_Tab, false));
    ASSERT_TRUE(runMainUntil([&] { return host.isPanelVisible() && desktop->isKeyboardGrabbed(); }));
    CGWindowID panel = desktop->windows().front().number;
    ASSERT_TRUE(runMainUntil([&] { return serverShowsWhatWasDrawn(*desktop, panel); }));
    auto drawn = desktop->captureWindow(panel);
    ASSERT_TRUE(drawn);
    EXPECT_LT(drawn->rgba[3], 255) << "the panel's corner is translucent";
    auto corner = serverPixel(panel, 0, 0);
    EXPECT_GT(corner[2], 200) << "blue";
    EXPECT_LT(corner[1], 40);
    EXPECT_LT(corner[0], 40);
    ASSERT_TRUE(session->fakeKey(XK_Super_L, false));
    ASSERT_TRUE(runMainUntil([&] { return !host.isPanelVisible(); }));
}

// The carousel fills the screen: where its cards leave the screen free it
// shows the desktop beneath (here a blue window) blurred under the dark
// theme's tint, as the simulated desktop shows its picture, never black.
TEST_F(X11Switcher, TheFullScreenCarouselShowsTheDesktopBeneathBlurredAndTinted)
{
    NSUserDefaults::standardUserDefaults()->setInteger(SwitcherThemeDark, DefaultsKey::ThemeIndex);
    NSUserDefaults::standardUserDefaults()->setInteger(SwitcherLayoutCarousel, DefaultsKey::LayoutType);
    auto beneath = client->open("Beneath", 0x0000ff, 0, 0, 1280, 800);
    auto other = client->open("Other", 0x00ff00, 100, 100, 200, 150);
    ASSERT_TRUE(beneath && other);
    ASSERT_TRUE(runMainUntil([&] { return hasFocus(other); }));
    auto switcher = startSwitcher(2);
    ASSERT_TRUE(switcher);
    ASSERT_TRUE(pressSuperTab());
    ASSERT_TRUE(runMainUntil([&] { return switcher->host->isPanelVisible() && desktop->isKeyboardGrabbed(); }));
    auto window = switcher->controller->windowController()->window();
    EXPECT_EQ(window->frame().size, CGSizeMake(1280, 800));
    auto panel = static_cast<CGWindowID>(window->windowNumber());
    ASSERT_TRUE(runMainUntil([&] { return serverShowsWhatWasDrawn(*desktop, panel); }));
    auto pixel = serverPixel(panel, 1000, 100);
    // Blue under white at 0.16, alpha 0.82: about (33, 33, 79).
    EXPECT_NEAR(pixel[0], 33, 6) << "red";
    EXPECT_NEAR(pixel[1], 33, 6) << "green";
    EXPECT_NEAR(pixel[2], 79, 6) << "blue";
    ASSERT_TRUE(session->fakeKey(XK_Super_L, false));
    ASSERT_TRUE(runMainUntil([&] { return !switcher->host->isPanelVisible(); }));
}

// A panel that grows while it is up has read nothing of what lies beneath
// the part it grew by (the screen shows the panel itself by then): there
// its translucent parts lie over the theme's colour made opaque, also the
// empty rounded corner, which a light panel must not show nearly black.
TEST_F(X11Switcher, WhereNothingBeneathWasReadThePanelShowsItsThemesOpaqueColour)
{
    NSUserDefaults::standardUserDefaults()->setInteger(SwitcherThemeLight, DefaultsKey::ThemeIndex);
    auto switcher = openGridOverThreeWindows();
    ASSERT_TRUE(switcher);
    auto window = switcher->controller->windowController()->window();
    CGFloat narrow = window->frame().size.width;
    auto other = session->launchClient();
    ASSERT_TRUE(other && other->open("Fourth", 0xffff00, 600, 300, 300, 200));
    ASSERT_TRUE(runMainUntil([&] { return switcher->host->shownCount() == 4 && window->frame().size.width > narrow; }));
    auto panel = static_cast<CGWindowID>(window->windowNumber());
    ASSERT_TRUE(runMainUntil([&] { return serverShowsWhatWasDrawn(*desktop, panel); }));
    auto drawn = desktop->captureWindow(panel);
    ASSERT_TRUE(drawn);
    EXPECT_EQ(drawn->rgba[3], 0) << "the corner is empty";
    auto corner = serverPixel(panel, 0, 0);
    // The light material: white at 0.96.
    for (int channel = 0; channel < 3; ++channel)
        EXPECT_NEAR(corner[channel], 245, 2) << channel;
    ASSERT_TRUE(session->fakeKey(XK_Super_L, false));
    ASSERT_TRUE(runMainUntil([&] { return !switcher->host->isPanelVisible(); }));
}

// A window that maps and takes the focus while Super is held leaves the
// panel up and the keyboard with it: it joins the list with its badge,
// Tab and the digits still go to the panel and none reaches the new
// window. Shift pressed then ends the switch as the release would.
TEST_F(X11Switcher, AWindowThatMapsAndTakesTheFocusWhileThePanelIsUpLeavesThePanelTheKeyboard)
{
    auto switcher = openGridOverThreeWindows();
    ASSERT_TRUE(switcher);
    auto* host = switcher->host.get();
    auto cells = [&] { return gridCells(switcher->controller->windowController()); };
    // Super went down at the user's window before there was a panel.
    int typedAtTheWindow = client->keyPresses();

    auto other = session->launchClient();
    ASSERT_TRUE(other);
    auto fresh = other->open("Fresh", 0xffff00, 600, 300, 300, 200);
    ASSERT_TRUE(fresh);
    ASSERT_TRUE(runMainUntil([&] { return hasFocus(fresh) && host->shownCount() == 4; }));
    ASSERT_TRUE(runMainUntil([&] { return badgesFollowTheListWithOneHighlight(cells()); })) << describe(cells());
    EXPECT_TRUE(host->isPanelVisible());
    EXPECT_TRUE(desktop->isKeyboardGrabbed());

    ASSERT_TRUE(tap(XK_Tab));
    ASSERT_TRUE(tap(XK_4));
    auto shown = cells();
    ASSERT_EQ(shown.size(), 4u);
    ASSERT_TRUE(runMainUntil([&] { return host->selectedTitle() == shown[3].title; }));
    ASSERT_TRUE(runMainUntil([&] { return cells()[3].highlighted; })) << describe(cells());
    EXPECT_EQ(other->keyPresses(), 0);
    EXPECT_EQ(client->keyPresses(), typedAtTheWindow);

    ASSERT_TRUE(session->fakeKey(XK_Shift_L, true));
    ASSERT_TRUE(runMainUntil([&] { return !host->isPanelVisible(); }));
    EXPECT_TRUE(runMainUntil([&] { return hasFocus(windowTitled(shown[3].title)); }));
    ASSERT_TRUE(session->fakeKey(XK_Shift_L, false));
    ASSERT_TRUE(session->fakeKey(XK_Super_L, false));
}

// Super+Tab at once after a window maps: the window manager focuses the
// new window while the panel opens, before the keyboard is grabbed. That
// focus comes after the press, so it does not close the panel either.
TEST_F(X11Switcher, AWindowFocusedAsThePanelOpensLeavesThePanelUp)
{
    client->open("One", 0xff0000, 40, 60, 300, 200);
    auto two = client->open("Two", 0x00ff00, 400, 60, 300, 200);
    ASSERT_TRUE(runMainUntil([&] { return hasFocus(two); }));
    NSUserDefaults::standardUserDefaults()->setInteger(SwitcherLayoutGrid, DefaultsKey::LayoutType);
    auto switcher = startSwitcher(2);
    ASSERT_TRUE(switcher);
    auto* host = switcher->host.get();
    for (int round = 0; round < 6; ++round) {
        auto other = session->launchClient();
        ASSERT_TRUE(other);
        auto fresh = other->open("Fresh " + std::to_string(round), 0xffff00, 600, 300, 300, 200);
        ASSERT_TRUE(fresh && pressSuperTab());
        ASSERT_TRUE(runMainUntil([&] { return hasFocus(fresh) && host->isPanelVisible() && desktop->isKeyboardGrabbed(); }))
            << round;
        EXPECT_FALSE(runMainUntil([&] { return !host->isPanelVisible(); }, 0.5))
            << "round " << round << ": the new window's focus closed the panel";
        ASSERT_TRUE(tap(XK_Escape));
        ASSERT_TRUE(session->fakeKey(XK_Super_L, false));
        ASSERT_TRUE(runMainUntil([&] { return !host->isPanelVisible(); })) << round;
    }
}

// W closes the highlighted window: the badges are numbered again in the
// order shown, one cell stays highlighted, and the release switches to
// that window. Closing the last window of a process ends its application
// for the window model, which numbers the badges again as well.
TEST_F(X11Switcher, AfterWTheBadgesAndTheHighlightFollowTheListAndTheReleaseSwitchesToTheHighlightedWindow)
{
    client->open("One", 0xff0000, 40, 60, 300, 200);
    client->open("Two", 0x00ff00, 400, 60, 300, 200);
    auto other = session->launchClient();
    ASSERT_TRUE(other);
    other->open("Solo", 0xffff00, 600, 300, 300, 200);
    auto three = client->open("Three", 0x0000ff, 200, 300, 300, 200);
    ASSERT_TRUE(runMainUntil([&] { return hasFocus(three); }));
    auto switcher = openGridPanel(4);
    ASSERT_TRUE(switcher);
    auto* host = switcher->host.get();
    auto cells = [&] { return gridCells(switcher->controller->windowController()); };
    ASSERT_TRUE(runMainUntil([&] { return badgesFollowTheListWithOneHighlight(cells()); })) << describe(cells());

    for (const char* closing : { "Solo", "Two" }) {
        SCOPED_TRACE(closing);
        auto before = cells();
        size_t index = std::find_if(before.begin(), before.end(), [&](const GridCell& c) { return c.title == closing; })
            - before.begin();
        ASSERT_LT(index, before.size()) << describe(before);
        ASSERT_TRUE(tap(static_cast<uint32_t>(XK_1 + index)));
        ASSERT_TRUE(runMainUntil([&] { return host->selectedTitle() == std::string(closing); }));
        ASSERT_TRUE(tap(XK_w));
        ASSERT_TRUE(runMainUntil([&] { return host->shownCount() == before.size() - 1; }));
        ASSERT_TRUE(runMainUntil([&] { return badgesFollowTheListWithOneHighlight(cells()); })) << describe(cells());
        EXPECT_TRUE(host->isPanelVisible());
    }
    auto shown = cells();
    auto highlighted = std::find_if(shown.begin(), shown.end(), [](const GridCell& c) { return c.highlighted; });
    ASSERT_NE(highlighted, shown.end());
    EXPECT_EQ(host->selectedTitle(), highlighted->title);
    ASSERT_TRUE(session->fakeKey(XK_Super_L, false));
    ASSERT_TRUE(runMainUntil([&] { return !host->isPanelVisible(); }));
    EXPECT_TRUE(runMainUntil([&] { return hasFocus(windowTitled(highlighted->title)); })) << highlighted->title;
}

// The first frame of an opening that reaches the screen is the finished
// one: the highlight already lies on the second window (the switcher selects
// it right after it orders the panel in), not on the first for a frame.
TEST_F(X11Switcher, TheFirstFrameOnTheScreenHighlightsTheSecondWindow)
{
    client->open("One", 0xff0000, 40, 60, 300, 200);
    client->open("Two", 0x00ff00, 400, 60, 300, 200);
    auto three = client->open("Three", 0x0000ff, 200, 300, 300, 200);
    ASSERT_TRUE(runMainUntil([&] { return hasFocus(three); }));
    NSUserDefaults::standardUserDefaults()->setInteger(SwitcherLayoutGrid, DefaultsKey::LayoutType);
    auto switcher = startSwitcher(3);
    ASSERT_TRUE(switcher);
    uint64_t paints = desktop->ownWindowPaintCount();
    ASSERT_TRUE(pressSuperTab());
    ASSERT_TRUE(runMainUntil([&] { return desktop->ownWindowPaintCount() > paints; }));
    // How much darker each cell's background is than the panel's margin
    // just above it, as the server shows them now: the highlight darkens
    // the cell it lies on.
    auto panel = switcher->controller->windowController();
    auto window = panel->window();
    auto grid = std::dynamic_pointer_cast<GridViewController>(panel->currentViewController());
    ASSERT_TRUE(window && grid && grid->collectionView());
    std::vector<int> darker;
    for (NSUInteger i = 0; i < 3; ++i) {
        auto cell = grid->collectionView()->itemAtIndex(i)->view();
        CGRect frame = cell->convertRectToView(cell->bounds(), nullptr);
        int top = int(window->frame().size.height - CGRectGetMaxY(frame));
        auto inside = serverPixel(CGWindowID(window->windowNumber()), int(frame.origin.x) + 12, top + 12);
        auto above = serverPixel(CGWindowID(window->windowNumber()), int(frame.origin.x) + 12, top - 8);
        darker.push_back(above[0] + above[1] + above[2] - inside[0] - inside[1] - inside[2]);
    }
    auto cells = gridCells(panel);
    ASSERT_EQ(cells.size(), 3u);
    EXPECT_TRUE(cells[1].highlighted) << describe(cells);
    EXPECT_GT(darker[1], darker[0] + 50) << "the first frame shows another highlight";
    EXPECT_GT(darker[1], darker[2] + 50) << "the first frame shows another highlight";
    ASSERT_TRUE(session->fakeKey(XK_Super_L, false));
    ASSERT_TRUE(runMainUntil([&] { return !switcher->host->isPanelVisible(); }));
}

// Super released and Super+Tab typed again at once: the window the switch
// brings forward is focused while the new panel opens. It becomes the
// active window, and the new panel stays up until its own release.
TEST_F(X11Switcher, ThePanelOpenedAgainRightAfterASwitchStaysUp)
{
    auto switcher = openGridOverThreeWindows();
    ASSERT_TRUE(switcher);
    auto* host = switcher->host.get();
    ASSERT_TRUE(runMainUntil([&] { return host->selectedTitle().has_value(); }));
    CGWindowID one = windowTitled("One");
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        CGWindowID target = windowTitled(host->selectedTitle().value_or(""));
        ASSERT_TRUE(session->fakeKey(XK_Super_L, false) && pressSuperTab());
        ASSERT_TRUE(runMainUntil([&] { return activeWindow() == target && desktop->isKeyboardGrabbed(); }));
        // The event thread has handled the focus change once it announces
        // a title set after it; the main thread then handles what followed.
        std::string title = "One " + std::to_string(round);
        ASSERT_TRUE(client->setTitle(one, title));
        ASSERT_TRUE(runMainUntil([&] { return windowTitled(title) == one; }));
        RunLoop::main().runUntilIdle();
        ASSERT_TRUE(host->isPanelVisible()) << "the focus of the last switch closed the new panel";
    }
    std::string last = host->selectedTitle().value_or("");
    ASSERT_TRUE(session->fakeKey(XK_Super_L, false));
    ASSERT_TRUE(runMainUntil([&] { return !host->isPanelVisible(); }));
    EXPECT_TRUE(runMainUntil([&] { return hasFocus(windowTitled(last)); })) << last;
}

namespace {

// The switcher on a session of each window manager the tests know.
class X11SwitcherUnder : public X11Switcher, public ::testing::WithParamInterface<X11Session::WindowManager> {
protected:
    X11Session::Options sessionOptions() const override
    {
        X11Session::Options options;
        options.manager = GetParam();
        return options;
    }
};

// Whether the server shows, at the middle of every cell's preview, the
// colour of that cell's window: every cell lies in the panel where the grid
// placed it, not pushed onto a row the panel has no room for.
bool everyCellShowsItsWindow(X11Desktop& desktop, const Ref<SwitchWindowController>& controller,
    const std::map<std::string, uint32_t>& colours, std::string& trouble)
{
    auto grid = std::dynamic_pointer_cast<GridViewController>(controller->currentViewController());
    auto view = grid ? grid->collectionView() : nullptr;
    auto window = controller->window();
    if (!view || !window)
        return (trouble = "no grid"), false;
    auto panel = static_cast<xcb_window_t>(window->windowNumber());
    CGSize size = window->frame().size;
    auto* c = desktop.connection().connection();
    std::unique_ptr<xcb_get_geometry_reply_t, decltype(&free)> geometry(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, panel), nullptr), &free);
    if (!geometry || geometry->width != size.width || geometry->height != size.height)
        return (trouble = "the panel is not on the server at its size"), false;
    std::unique_ptr<xcb_get_image_reply_t, decltype(&free)> image(xcb_get_image_reply(c,
        xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, panel, 0, 0, uint16_t(size.width), uint16_t(size.height), ~0u), nullptr),
        &free);
    if (!image || xcb_get_image_data_length(image.get()) != int(size.width * size.height * 4))
        return (trouble = "the panel cannot be read"), false;
    const uint8_t* pixels = xcb_get_image_data(image.get());
    trouble.clear();
    for (NSUInteger i = 0; i < view->numberOfItems(); ++i) {
        auto cell = view->itemAtIndex(i);
        auto shown = cell ? cell->representedObject().objectAs<SWWindow>() : nullptr;
        std::string title = shown && shown->title() ? *shown->title() : "";
        CGRect preview = GridCellLayout::kPreviewFrame;
        CGPoint base = cell && cell->isViewLoaded()
            ? cell->view()->convertPointToView({ CGRectGetMidX(preview), CGRectGetMidY(preview) }, nullptr)
            : CGPoint { -1, -1 };
        int x = int(std::floor(base.x)), y = int(size.height) - 1 - int(std::floor(base.y));
        if (x < 0 || y < 0 || x >= size.width || y >= size.height) {
            trouble += "cell " + std::to_string(i + 1) + " (" + title + ") lies outside the panel; ";
            continue;
        }
        const uint8_t* p = pixels + (size_t(y) * size_t(size.width) + x) * 4;
        uint32_t want = colours.count(title) ? colours.at(title) : 0;
        auto near = [](int a, int b) { return std::abs(a - b) <= 12; };
        if (!near(p[2], (want >> 16) & 0xff) || !near(p[1], (want >> 8) & 0xff) || !near(p[0], want & 0xff)) {
            char seen[8];
            std::snprintf(seen, sizeof seen, "%02x%02x%02x", p[2], p[1], p[0]);
            trouble += "cell " + std::to_string(i + 1) + " (" + title + ") shows " + seen + "; ";
        }
    }
    return trouble.empty();
}

}

// The grid draws every cell it is sized for as windows come one by one,
// whatever the window manager: at each opening every window's preview is on
// the server in its cell, and one panel's sizes from opening to opening
// leave it room for them all. The first window, alone on the desktop, is
// listed as well (xfwm4 names it in its client list but leaves the stacking
// list out until there is a second).
TEST_P(X11SwitcherUnder, TheGridDrawsEveryCellItIsSizedForAsWindowsCome)
{
    NSUserDefaults::standardUserDefaults()->setInteger(SwitcherLayoutGrid, DefaultsKey::LayoutType);
    NSUserDefaults::standardUserDefaults()->setBool(true, DefaultsKey::KeyboardShotcuts);
    auto model = WindowManager::create();
    auto controller = AppController::create(model);
    ASSERT_TRUE(controller);
    AppControllerSessionHost host(*controller);
    const uint32_t colours[] = { 0xff0000, 0x00c000, 0x0000ff, 0xffff00, 0xff00ff, 0x00ffff, 0xff8000, 0x8000ff, 0x008080 };
    std::map<std::string, uint32_t> colourOf;
    for (size_t count = 1; count <= std::size(colours); ++count) {
        SCOPED_TRACE(count);
        std::string title = "Window " + std::to_string(count);
        colourOf[title] = colours[count - 1];
        auto window = client->open(title, colours[count - 1], 30 * int(count), 20 * int(count), 300, 200);
        ASSERT_TRUE(window);
        ASSERT_TRUE(runMainUntil([&] { return model->windows().size() == count && hasFocus(window); }))
            << model->windows().size();
        ASSERT_TRUE(pressSuperTab());
        ASSERT_TRUE(runMainUntil(
            [&] { return host.isPanelVisible() && host.shownCount() == count && desktop->isKeyboardGrabbed(); }));
        std::string trouble;
        EXPECT_TRUE(runMainUntil(
            [&] { return everyCellShowsItsWindow(*desktop, controller->windowController(), colourOf, trouble); }))
            << trouble;
        ASSERT_TRUE(tap(XK_Escape));
        ASSERT_TRUE(session->fakeKey(XK_Super_L, false));
        ASSERT_TRUE(runMainUntil([&] { return !host.isPanelVisible(); }));
    }
}

INSTANTIATE_TEST_SUITE_P(WindowManagers, X11SwitcherUnder,
    ::testing::Values(X11Session::WindowManager::Openbox, X11Session::WindowManager::Xfwm4),
    [](const ::testing::TestParamInfo<X11Session::WindowManager>& info) {
        return std::string(X11Session::nameOf(info.param));
    });

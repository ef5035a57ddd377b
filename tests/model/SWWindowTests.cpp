#include "support/SimWorld.h"

#include <appkit/NSEvent.h>
#include <model/NSScreenExtension.h>
#include <model/SWApplication.h>
#include <model/SWWindow.h>

#include <cmath>

namespace {

void expectRect(const CGRect& actual, const CGRect& expected)
{
    EXPECT_NEAR(actual.origin.x, expected.origin.x, 1e-9) << NSStringFromRect(actual);
    EXPECT_NEAR(actual.origin.y, expected.origin.y, 1e-9) << NSStringFromRect(actual);
    EXPECT_NEAR(actual.size.width, expected.size.width, 1e-9) << NSStringFromRect(actual);
    EXPECT_NEAR(actual.size.height, expected.size.height, 1e-9) << NSStringFromRect(actual);
}

const char* kScenario = R"({
  "screens": [ { "frame": [0, 0, 1440, 900], "visibleFrame": [0, 25, 1440, 875] },
               { "frame": [1440, 0, 1920, 1080], "visibleFrame": [1440, 25, 1920, 1055] } ],
  "apps": [
    { "pid": 1, "name": "One", "windows": [
        { "id": 10, "title": "main", "frame": [100, 100, 400, 300] },
        { "id": 11, "title": "mini", "frame": [200, 200, 300, 200], "minimized": true },
        { "id": 12, "title": "dialog", "frame": [300, 300, 300, 200], "subrole": "AXDialog", "closeButton": false },
        { "id": 13, "title": "plain", "frame": [50, 50, 300, 200], "subrole": null },
        { "id": 14, "title": "stubborn", "frame": [60, 60, 300, 200], "refusesMain": true },
        { "id": 15, "title": "lost", "frame": [5000, 5000, 100, 100] } ] },
    { "pid": 2, "name": "Two", "windows": [
        { "id": 20, "title": "straddle", "frame": [1300, 100, 400, 300] } ] }
  ],
  "order": [10, 20, 12, 13, 14, 15, 11], "focus": 10 })";

Ref<SWWindow> window(CGWindowID number, pid_t pid = 1)
{
    return SWWindow::windowWithAXElement(makeRef<AXUIElement>(DesktopElement { DesktopElement::Kind::Window, pid, number }));
}

Ref<NSScreen> primary() { return NSScreen::screens().front(); }

}

TEST(SWWindow, StateQueriesReadLiveAccessibilityState)
{
    SimWorld world(kScenario);
    auto main = window(10), mini = window(11), dialog = window(12), plain = window(13);
    EXPECT_EQ(main->windowID(), 10u);
    EXPECT_EQ(main->title(), std::optional<std::string>("main"));
    EXPECT_TRUE(main->isNormalWindow());
    EXPECT_TRUE(plain->isNormalWindow()) << "a window with no subrole counts as normal";
    EXPECT_FALSE(dialog->isNormalWindow());
    EXPECT_TRUE(mini->isWindowMinimized());
    EXPECT_FALSE(mini->isActive());
    EXPECT_FALSE(mini->isOnScreen());
    EXPECT_TRUE(main->isOnScreen());
    world.desktop().hideApplication(1);
    EXPECT_FALSE(main->isOnScreen()) << "a hidden application's window is not in the on-screen list";
    EXPECT_EQ(main->appName(), std::optional<std::string>("One"));
    ASSERT_TRUE(main->app());
    EXPECT_TRUE(main->app()->isHidden());
}

TEST(SWWindow, TheWindowNumberIsCachedAfterTheFirstRead)
{
    SimWorld world(kScenario);
    auto main = window(10);
    EXPECT_EQ(main->windowID(), 10u);
    world.desktop().vanishWindowElement(10);
    EXPECT_EQ(main->windowID(), 10u);
    auto fresh = SWWindow::windowWithAXElement(makeRef<AXUIElement>(DesktopElement { DesktopElement::Kind::Window, 1, 10 }));
    EXPECT_EQ(fresh->windowID(), 0u) << "a record whose number cannot be read reports 0";
}

TEST(SWWindow, RecordsOfOneWindowAreEqual)
{
    SimWorld world(kScenario);
    auto a = window(10), b = window(10);
    EXPECT_TRUE(a->isEqual(b.get()));
    EXPECT_TRUE(a->copy()->isEqual(a.get()));
    EXPECT_TRUE(dynamic_cast<SWWindow*>(a->copy().get()));
    auto base = SWAccessibilityElement::elementWithAXElement(a->axElementRef());
    EXPECT_TRUE(base->isEqual(a.get()));
    EXPECT_FALSE(a->isEqual(base.get()));
}

TEST(SWWindow, TheScreenIsTheOneWithTheLargestOverlapAndTheFirstWinsATie)
{
    SimWorld world(kScenario);
    auto screens = NSScreen::screens();
    EXPECT_EQ(window(10)->screen(), screens[0]);
    EXPECT_EQ(window(20, 2)->screen(), screens[1]) << "260 of 400 points lie on the second screen";
    world.desktop().setWindowFrame(20, CGRectMake(1340, 100, 200, 300));
    EXPECT_EQ(window(20, 2)->screen(), screens[0]) << "an equal split goes to the first screen";
    EXPECT_FALSE(window(15)->screen());
}

TEST(SWWindow, FocusRestoresAMinimisedWindowRaisesItAndBringsOnlyItForward)
{
    SimWorld world(kScenario);
    auto mini = window(11);
    EXPECT_TRUE(mini->focusWindow());
    EXPECT_FALSE(world.desktop().window(11)->minimized);
    EXPECT_EQ(world.desktop().windows().front().number, 11u);
    EXPECT_EQ(world.desktop().frontmostApplication(), 1);
    EXPECT_EQ(world.desktop().countCalls("SetFrontProcess pid:1 frontWindowOnly:1"), 1u);

    world.desktop().focusWindow(20);
    auto order = world.desktop().windows();
    EXPECT_EQ(order[0].number, 20u);
    EXPECT_EQ(order[1].number, 11u) << "the application's other windows stay behind";
}

TEST(SWWindow, FocusThatTheWindowRefusesStillRestoresIt)
{
    SimWorld world(kScenario);
    world.desktop().setWindowMinimized(14, true);
    auto stubborn = window(14);
    world.desktop().clearCallLog();
    EXPECT_FALSE(stubborn->focusWindow());
    EXPECT_FALSE(world.desktop().window(14)->minimized);
    EXPECT_EQ(world.desktop().countCalls("SetFrontProcess"), 0u);
}

TEST(SWWindow, CloseAndMinimiseActOnTheDesktop)
{
    SimWorld world(kScenario);
    window(12)->close();
    EXPECT_TRUE(world.desktop().window(12)) << "no close button, nothing happens";
    window(10)->minimize();
    EXPECT_TRUE(world.desktop().window(10)->minimized);
    window(10)->unMinimize();
    EXPECT_FALSE(world.desktop().window(10)->minimized);
    window(10)->close();
    EXPECT_FALSE(world.desktop().window(10));
    world.settle();
}

TEST(SWWindow, PropertiesAreSetOnlyFromNumbers)
{
    SimWorld world(kScenario);
    auto main = window(10);
    world.desktop().clearCallLog();
    EXPECT_FALSE(main->setWindowProperty("AXMinimized", Value("yes")));
    EXPECT_EQ(world.desktop().countCalls("AXUIElementSetAttributeValue"), 0u);
    EXPECT_TRUE(main->setWindowProperty("AXMinimized", Value(true)));
    EXPECT_TRUE(world.desktop().window(10)->minimized);
}

TEST(SWWindow, MaximiseFillsTheUsableFrameOfItsScreen)
{
    SimWorld world(kScenario);
    window(11)->maximize();
    EXPECT_FALSE(world.desktop().window(11)->minimized);
    EXPECT_EQ(world.desktop().window(11)->frame, CGRectMake(0, 25, 1440, 875));
    window(15)->maximize();
    EXPECT_EQ(world.desktop().window(15)->frame, CGRectMake(5000, 5000, 100, 100))
        << "a window on no screen keeps its frame instead of shrinking to nothing";
}

TEST(SWWindow, PresetPositionsOnAUsableFrame)
{
    SimWorld world(kScenario);
    auto s = primary();
    expectRect(SWWindow::resizedFrameForPosition(7, s), CGRectMake(0, 25, 720, 437.5));
    expectRect(SWWindow::resizedFrameForPosition(6, s), CGRectMake(0, 462.5, 720, 437.5));
    expectRect(SWWindow::resizedFrameForPosition(1, s), CGRectMake(0, 25, 1440, 437.5));
    expectRect(SWWindow::resizedFrameForPosition(3, s), CGRectMake(0, 25, 720, 875));
    expectRect(SWWindow::resizedFrameForPosition(4, s), CGRectMake(0, 25, 432, 875));
    expectRect(SWWindow::resizedFrameForPosition(5, s), CGRectMake(0, 25, 864, 875));
    expectRect(SWWindow::resizedFrameForPosition(8, s), CGRectMake(720, 25, 720, 875));
    expectRect(SWWindow::resizedFrameForPosition(9, s), CGRectMake(1008, 25, 432, 875));
    expectRect(SWWindow::resizedFrameForPosition(10, s), CGRectMake(576, 25, 864, 875));
    expectRect(SWWindow::resizedFrameForPosition(11, s), CGRectMake(720, 462.5, 720, 437.5));
    expectRect(SWWindow::resizedFrameForPosition(12, s), CGRectMake(720, 25, 720, 437.5));
    for (int code : { 0, 14, -1 })
        EXPECT_EQ(SWWindow::resizedFrameForPosition(code, s), CGRectMake(0, 25, 1440, 875)) << code;
    CGRect none = SWWindow::resizedFrameForPosition(13, s);
    EXPECT_TRUE(std::isnan(none.origin.x) && std::isnan(none.origin.y) && std::isnan(none.size.width) && std::isnan(none.size.height));
    EXPECT_EQ(SWWindow::resizedFrameForPosition(3, nullptr), CGRectMake(0, 0, 0, 0));
}

TEST(SWWindow, TheCentredPositionIsTwoThirdsAndLandsOnItsOwnScreen)
{
    SimWorld world(kScenario);
    auto screens = NSScreen::screens();
    // Screen coordinates of the primary usable frame: (0, 0, 1440, 875).
    CGRect centre = SWWindow::resizedFrameForPosition(2, screens[0]);
    EXPECT_DOUBLE_EQ(centre.origin.x, 240);
    EXPECT_NEAR(centre.size.width, 960, 1e-9);
    EXPECT_NEAR(centre.size.height, 875.0 * 2 / 3, 1e-9);
    EXPECT_NEAR(centre.origin.y, 900 - 125 - 875.0 * 2 / 3, 1e-9) << "a seventh of the height above the bottom";
    CGRect second = SWWindow::resizedFrameForPosition(2, screens[1]);
    EXPECT_TRUE(CGRectContainsRect(frameWithoutDockOrMenu(*screens[1]), second)) << NSStringFromRect(second);
}

TEST(SWWindow, MovingToAPositionNeverSendsANaNFrame)
{
    SimWorld world(kScenario);
    auto main = window(10);
    world.desktop().clearCallLog();
    main->moveWindowToPosition(13);
    EXPECT_EQ(world.desktop().countCalls("AXUIElementSetAttributeValue"), 0u);
    main->moveWindowToPosition(8);
    EXPECT_EQ(world.desktop().window(10)->frame, CGRectMake(720, 25, 720, 875));
    window(15)->moveWindowToPosition(3);
    EXPECT_EQ(world.desktop().window(15)->frame, CGRectMake(5000, 5000, 100, 100));
}

TEST(SWWindow, ClassWideListsNeedTrust)
{
    SimWorld world(kScenario);
    EXPECT_EQ(SWWindow::allWindows().size(), 7u);
    auto visible = SWWindow::visibleWindows();
    std::vector<CGWindowID> numbers;
    for (const auto& w : visible)
        numbers.push_back(w->windowID());
    EXPECT_EQ(numbers, (std::vector<CGWindowID> { 10, 13, 14, 15, 20 }));
    auto focused = SWWindow::focusedWindow();
    ASSERT_TRUE(focused);
    EXPECT_EQ(focused->windowID(), 10u);
    world.desktop().setAccessibilityTrusted(false);
    EXPECT_TRUE(SWWindow::allWindows().empty());
    EXPECT_TRUE(SWWindow::visibleWindows().empty());
    EXPECT_FALSE(SWWindow::focusedWindow());
}

TEST(SWWindow, MostRecentFirstListsFollowTheWindowServer)
{
    SimWorld world(kScenario);
    std::vector<CGWindowID> numbers;
    for (const auto& w : SWWindow::visibleWindowsMostRecentFirst())
        numbers.push_back(w->windowID());
    EXPECT_EQ(numbers, (std::vector<CGWindowID> { 10, 20, 12, 13, 14, 15 }));
    numbers.clear();
    for (const auto& w : SWWindow::allWindowsMostRecentFirst())
        numbers.push_back(w->windowID());
    EXPECT_EQ(numbers, (std::vector<CGWindowID> { 10, 20, 12, 13, 14, 15 })) << "windows not on screen are not listed";
}

TEST(SWWindow, DirectionSearchScoresFromTheFocusedWindow)
{
    SimWorld world(R"({ "screens": [ { "frame": [0, 0, 1440, 900] } ],
      "apps": [ { "pid": 1, "name": "A", "windows": [
          { "id": 1, "title": "centre", "frame": [600, 400, 200, 100] },
          { "id": 2, "title": "east", "frame": [1000, 400, 200, 100] },
          { "id": 3, "title": "far east", "frame": [1200, 700, 200, 100] },
          { "id": 4, "title": "west", "frame": [100, 420, 200, 100] },
          { "id": 5, "title": "north", "frame": [600, 50, 200, 100] } ] } ],
      "focus": 1 })");
    auto any = window(5);
    auto ids = [](const std::vector<Ref<SWWindow>>& list) {
        std::vector<CGWindowID> r;
        for (const auto& w : list)
            r.push_back(w->windowID());
        return r;
    };
    EXPECT_EQ(ids(any->windowsToEast()), (std::vector<CGWindowID> { 2, 3 }));
    EXPECT_EQ(ids(any->windowsToWest()), (std::vector<CGWindowID> { 4 }));
    EXPECT_EQ(ids(any->windowsToNorth()), (std::vector<CGWindowID> { 5 }));
    EXPECT_EQ(ids(any->windowsToSouth()), (std::vector<CGWindowID> { 4, 3 })) << "the nearly level window beats the steep one";
    auto scored = any->windowsInDirectionFn([](double a) { return 0 - a; }, [](double dx, double) { return dx <= 0; });
    ASSERT_EQ(scored.size(), 2u);
    EXPECT_DOUBLE_EQ(scored[0].score, 400.0);
    any->focusWindowRight();
    EXPECT_EQ(world.desktop().windows().front().number, 2u);
}

TEST(SWWindow, MovingToASpaceHoldsTheTitleBarWhileTheShortcutIsPosted)
{
    SimWorld world(kScenario);
    auto main = window(10);
    main->moveToSpace(17);
    EXPECT_TRUE(world.desktop().postedEvents().empty());
    main->moveToSpace(10);
    auto posted = world.desktop().postedEvents();
    ASSERT_EQ(posted.size(), 4u);
    // The zoom button is the third title-bar button: 14 points wide at x + 47.
    CGPoint grab { 100 + 47 + 14 + 5.0, 100 + 5.0 };
    EXPECT_EQ(posted[0].type, 5u);
    EXPECT_EQ(posted[0].location, grab);
    EXPECT_EQ(posted[1].type, 1u);
    EXPECT_EQ(posted[2].type, 10u);
    EXPECT_EQ(posted[2].keyCode, 29) << "10 ends in 0, which has no digit key of its own";
    EXPECT_EQ(posted[2].flags, 0x40000u);
    EXPECT_EQ(posted[3].type, 11u);
    EXPECT_EQ(posted[3].flags, 0u);
    world.advance(0.4);
    EXPECT_EQ(world.desktop().postedEvents().size(), 4u);
    world.advance(0.2);
    posted = world.desktop().postedEvents();
    ASSERT_EQ(posted.size(), 6u);
    EXPECT_EQ(posted[4].type, 2u);
    EXPECT_EQ(posted[5].type, 5u);
    EXPECT_EQ(posted[5].location, (CGPoint { 720, 450 })) << "the mouse goes back where it was";

    main->moveToSpace(3);
    EXPECT_EQ(world.desktop().postedEvents()[8].keyCode, 20);

    // Spaces 11 to 16 have no shortcut; their last digit would name spaces
    // 1 to 6.
    for (uint64_t space : { 11, 12, 16, 0 })
        main->moveToSpace(space);
    EXPECT_EQ(world.desktop().postedEvents().size(), 10u);
}

TEST(SWWindow, MovingToASpaceTakesTheWindowThereAndShowsIt)
{
    SimWorld world(kScenario);
    world.desktop().setSpaces(world.desktop().mainDisplay(), { { 1, false }, { 2, false }, { 3, false } });
    // Held by a title bar that nothing covers.
    world.desktop().focusWindow(10);
    window(10)->moveToSpace(2);
    world.advance(0.6);
    EXPECT_EQ(world.desktop().currentSpace(), 2u);
    EXPECT_EQ(world.desktop().window(10)->space, 2u);
    EXPECT_TRUE(world.desktop().window(10)->onScreen);
    EXPECT_EQ(world.desktop().pressedMouseButtons(), 0u);
    window(10)->moveToSpace(1);
    world.advance(0.6);
    EXPECT_EQ(world.desktop().window(10)->space, 1u);
    EXPECT_EQ(world.desktop().currentSpace(), 1u);
}

TEST(SWWindow, BadgeTextAnnouncesItsChanges)
{
    SimWorld world(kScenario);
    auto main = window(10);
    int notices = 0;
    auto token = main->addObserver("hotkeyIndexText", NSKeyValueObservingOptionNew, [&](const KVOChange& c) {
        ++notices;
        EXPECT_EQ(c.newValue, Value("3"));
    });
    main->setHotkeyIndexText("3");
    EXPECT_EQ(notices, 1);
    EXPECT_EQ(main->valueForKey("hotkeyIndexText"), Value("3"));
    // The same badge again is no change (a bound badge is not redrawn for
    // it); an empty badge differs from none.
    main->setHotkeyIndexText("3");
    EXPECT_EQ(notices, 1);
    token = main->addObserver("hotkeyIndexText", 0, [&](const KVOChange&) { ++notices; });
    main->setHotkeyIndexText(std::string());
    main->setHotkeyIndexText(std::nullopt);
    main->setHotkeyIndexText(std::nullopt);
    EXPECT_EQ(notices, 3);
    EXPECT_EQ(main->hotkeyIndexText(), std::nullopt);
    main->setSortOrder(10001);
    EXPECT_EQ(main->valueForKey("sortOrder"), Value(10001));
}

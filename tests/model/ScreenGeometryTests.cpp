#include "support/SimWorld.h"

#include <model/NSScreenExtension.h>

namespace {

// The primary screen with a menu bar of 25 and a Dock of 70, and a second
// screen standing on top of it.
const char* kTwoScreens = R"({
  "screens": [ { "frame": [0, 0, 1440, 900], "visibleFrame": [0, 25, 1440, 805] },
               { "frame": [0, -1080, 1920, 1080], "visibleFrame": [0, -1055, 1920, 1055] } ] })";

}

TEST(ScreenGeometry, FramesFlipAgainstThePrimaryScreen)
{
    SimWorld world(kTwoScreens);
    auto screens = NSScreen::screens();
    ASSERT_EQ(screens.size(), 2u);
    EXPECT_EQ(screens[0]->frame(), CGRectMake(0, 0, 1440, 900));
    EXPECT_EQ(screens[0]->visibleFrame(), CGRectMake(0, 70, 1440, 805));
    EXPECT_EQ(frameWithoutDockOrMenu(*screens[0]), CGRectMake(0, 25, 1440, 805));
    EXPECT_EQ(frameIncludingDockAndMenu(*screens[0]), CGRectMake(0, 0, 1440, 900));
    EXPECT_EQ(screens[1]->frame(), CGRectMake(0, 900, 1920, 1080));
    EXPECT_EQ(frameIncludingDockAndMenu(*screens[1]), CGRectMake(0, -1080, 1920, 1080));
    EXPECT_EQ(frameWithoutDockOrMenu(*screens[1]), CGRectMake(0, -1055, 1920, 1055));
}

TEST(ScreenGeometry, NeighboursWrapAroundAndAGoneScreenHasNone)
{
    SimWorld world(kTwoScreens);
    auto screens = NSScreen::screens();
    EXPECT_EQ(nextScreen(*screens[1]), screens[0]);
    EXPECT_EQ(previousScreen(*screens[0]), screens[1]);
    EXPECT_EQ(nextScreen(*screens[0]), screens[1]);
    auto second = screens[1];
    world.desktop().removeScreen(second->displayID());
    EXPECT_FALSE(nextScreen(*second));
    EXPECT_FALSE(previousScreen(*second));
    auto only = NSScreen::screens().front();
    EXPECT_EQ(nextScreen(*only), only);
    EXPECT_EQ(previousScreen(*only), only);
}

TEST(ScreenGeometry, TheScreenUnderTheMouseFollowsTheEdgeRule)
{
    SimWorld world(kTwoScreens);
    auto screens = NSScreen::screens();
    world.desktop().moveMouse({ 100, 100 });
    EXPECT_EQ(currentScreenForMouseLocation(), screens[0]);
    world.desktop().moveMouse({ 100, -100 });
    EXPECT_EQ(currentScreenForMouseLocation(), screens[1]);
    // The shared edge: y = 0 at the top of the primary screen is y = 900 in
    // screen coordinates, the top edge of the primary (inside) and the
    // bottom edge of the second screen (outside).
    world.desktop().moveMouse({ 100, 0 });
    EXPECT_EQ(currentScreenForMouseLocation(), screens[0]);
    world.desktop().moveMouse({ 1700, 500 });
    EXPECT_FALSE(currentScreenForMouseLocation()) << "the mouse on no screen";
}

TEST(ScreenGeometry, PointConversions)
{
    SimWorld world(R"({ "screens": [ { "frame": [0, 0, 1440, 900] }, { "frame": [-1280.5, 100, 1280.5, 800] } ] })");
    auto screens = NSScreen::screens();
    NSPoint p = convertPointToScreenCoordinates(*screens[1], { -100.1, 300 });
    EXPECT_EQ(p.x, 1180.4000244140625) << "rounded through single precision";
    EXPECT_EQ(p.y, 300.0 - screens[1]->frame().origin.y);
    EXPECT_EQ(flipPoint(*screens[0], { 10, 100 }), (NSPoint { 10, 800 }));
    EXPECT_EQ(originScreen(), screens[0]);
}

TEST(ScreenGeometry, OriginScreenNeedsAnExactZeroOrigin)
{
    SimWorld world(R"({ "screens": [ { "frame": [0.5, 0, 1440, 900] } ] })");
    EXPECT_FALSE(originScreen());
}

TEST(ScreenGeometry, RotationProbesTheOneDisplayOfTheScreen)
{
    SimWorld world(kTwoScreens);
    auto screens = NSScreen::screens();
    EXPECT_TRUE(rotateTo(*screens[0], 90));
    EXPECT_TRUE(rotateTo(*screens[1], 180)) << "a screen above the primary one finds its own display";
    auto probes = world.desktop().probeRequests();
    ASSERT_EQ(probes.size(), 2u);
    EXPECT_EQ(probes[0], std::make_pair(screens[0]->displayID(), 0x400u));
    EXPECT_EQ(probes[1], std::make_pair(screens[1]->displayID(), 0x400u));
}

TEST(ScreenGeometry, RotationRefusesAScreenCoveringTwoDisplays)
{
    SimWorld world(R"({ "screens": [ { "frame": [0, 0, 1440, 900] }, { "frame": [0, 0, 1440, 900] } ] })");
    EXPECT_FALSE(rotateTo(*NSScreen::screens()[0], 90));
    EXPECT_TRUE(world.desktop().probeRequests().empty());
}

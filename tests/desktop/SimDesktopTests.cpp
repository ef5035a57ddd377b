#include <support/Pixels.h>

#include <desktop/sim/SimDesktop.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>

namespace {

const char* kTwoApps = R"({
  "screens": [ { "frame": [0, 0, 1440, 900], "visibleFrame": [0, 25, 1440, 875] } ],
  "apps": [
    { "pid": 1, "name": "One", "windows": [ { "id": 10, "title": "a", "frame": [0, 30, 400, 300] },
                                            { "id": 11, "title": "b", "frame": [50, 60, 400, 300] } ] },
    { "pid": 2, "name": "Two", "windows": [ { "id": 20, "title": "c", "frame": [100, 90, 400, 300] } ] }
  ],
  "order": [20, 10, 11], "focus": 20 })";

std::shared_ptr<SimDesktop> load(const char* json)
{
    std::string error;
    auto d = SimDesktop::fromScenario(json, "t", &error);
    EXPECT_TRUE(d) << error;
    return d;
}

// A window of this process above every other, as the switcher's panel is.
DesktopWindow panelWindow(CGRect frame)
{
    DesktopWindow panel;
    panel.title = "panel";
    panel.frame = frame;
    panel.layer = 1000;
    return panel;
}

std::vector<CGWindowID> order(SimDesktop& d)
{
    std::vector<CGWindowID> result;
    for (const auto& w : d.windows())
        result.push_back(w.number);
    return result;
}

struct Recorder {
    std::vector<DesktopEvent> events;
    Token token;
    explicit Recorder(SimDesktop& d)
        : token(d.subscribe([this](const DesktopEvent& e) { events.push_back(e); }))
    {
    }
    bool has(DesktopEvent::Kind kind, pid_t pid, const std::string& notification = {}) const
    {
        return std::any_of(events.begin(), events.end(), [&](const DesktopEvent& e) {
            return e.kind == kind && e.pid == pid && (notification.empty() || e.notification == notification);
        });
    }
};

}

TEST(SimDesktop, ActivationRaisesTheFrontWindowOrAllWindows)
{
    auto d = load(kTwoApps);
    d->activateApplication(1, true);
    EXPECT_EQ(order(*d), (std::vector<CGWindowID> { 10, 20, 11 }));
    EXPECT_EQ(d->frontmostApplication(), 1);
    d->activateApplication(2, false);
    d->activateApplication(1, false);
    EXPECT_EQ(order(*d), (std::vector<CGWindowID> { 10, 11, 20 }));
}

TEST(SimDesktop, WindowsComeAndGoWithTheirNotifications)
{
    auto d = load(kTwoApps);
    Recorder r(*d);
    DesktopWindow w;
    w.pid = 2;
    w.title = "new";
    w.frame = CGRectMake(0, 0, 100, 100);
    CGWindowID n = d->openWindow(w);
    EXPECT_GT(n, 20u);
    EXPECT_EQ(order(*d).front(), n);
    EXPECT_TRUE(r.has(DesktopEvent::Kind::AXNotification, 2, "AXWindowCreated"));
    d->setWindowMinimized(n, true);
    EXPECT_TRUE(r.has(DesktopEvent::Kind::AXNotification, 2, "AXWindowMiniaturized"));
    d->closeWindow(n);
    EXPECT_TRUE(r.has(DesktopEvent::Kind::AXNotification, 2, "AXUIElementDestroyed"));
    EXPECT_FALSE(d->window(n));
}

TEST(SimDesktop, HidingAndQuittingPassTheFrontToTheNextApplication)
{
    auto d = load(kTwoApps);
    Recorder r(*d);
    d->hideApplication(2);
    EXPECT_TRUE(r.has(DesktopEvent::Kind::ApplicationHidden, 2));
    EXPECT_EQ(d->frontmostApplication(), 1);
    EXPECT_TRUE(r.has(DesktopEvent::Kind::ApplicationActivated, 1));
    d->unhideApplication(2);
    d->quitApplication(1);
    EXPECT_TRUE(r.has(DesktopEvent::Kind::ApplicationTerminated, 1));
    EXPECT_FALSE(d->application(1));
    EXPECT_EQ(order(*d), (std::vector<CGWindowID> { 20 }));
    EXPECT_EQ(d->frontmostApplication(), 2);
}

// A process id is one process's: a launch with one the desktop already has,
// its own included, is refused and says so, and opens none of its windows.
TEST(SimDesktop, ALaunchWithATakenProcessIdIsRefusedAndOpensNothing)
{
    auto d = load(kTwoApps);
    for (pid_t taken : { pid_t(1), d->ownProcessIdentifier() }) {
        DesktopApp app;
        app.pid = taken;
        app.name = "Impostor";
        DesktopWindow w;
        w.title = "impostor";
        w.frame = CGRectMake(0, 0, 100, 100);
        EXPECT_FALSE(d->launchApplication(app, { w })) << taken;
        EXPECT_EQ(order(*d), (std::vector<CGWindowID> { 20, 10, 11 })) << taken;
    }
    DesktopApp fresh;
    fresh.pid = 3;
    EXPECT_TRUE(d->launchApplication(fresh));
}

TEST(SimDesktop, PicturesGoWithTheirWindowsAndApplications)
{
    auto d = load(kTwoApps);
    ASSERT_TRUE(d->captureWindow(10));
    ASSERT_TRUE(d->captureWindow(11));
    ASSERT_TRUE(d->captureWindow(20));
    EXPECT_EQ(d->keptPictureCount(), 3u);
    d->closeWindow(20);
    EXPECT_EQ(d->keptPictureCount(), 2u);
    d->quitApplication(1);
    EXPECT_EQ(d->keptPictureCount(), 0u) << "an application that quits leaves no pictures behind";
}

TEST(SimDesktop, AWindowPictureCostsAtMostWhatTheScreensCanShow)
{
    std::string error;
    auto d = SimDesktop::fromScenario(R"({
      "screens": [ { "frame": [0, 0, 800, 600] }, { "frame": [800, 0, 640, 480] } ],
      "apps": [ { "pid": 1, "name": "Big", "windows": [
          { "id": 1, "frame": [0, 0, 100000, 50] },
          { "id": 2, "frame": [-1e308, -1e308, 1e308, 1e308] },
          { "id": 3, "frame": [10, 10, 300, 200] } ] } ] })",
        "big.json", &error);
    ASSERT_TRUE(d) << error;
    auto size = [&](CGWindowID number) {
        auto picture = d->captureWindow(number);
        return picture ? std::make_pair(picture->width, picture->height) : std::make_pair(-1, -1);
    };
    EXPECT_EQ(size(1), std::make_pair(1440, 50));
    EXPECT_EQ(size(2), std::make_pair(1440, 600));
    EXPECT_EQ(size(3), std::make_pair(300, 200)) << "windows that fit keep their size";
    d->setWindowFrame(3, CGRectMake(0, 0, std::nan(""), -5));
    EXPECT_EQ(size(3), std::make_pair(1, 1));
}

TEST(SimDesktop, PoliteQuitOfAHungApplicationIsRefused)
{
    auto d = load(kTwoApps);
    d->setApplicationHung(1, true);
    EXPECT_FALSE(d->terminateApplication(1, false));
    EXPECT_TRUE(d->application(1));
    EXPECT_TRUE(d->terminateApplication(1, true));
    EXPECT_FALSE(d->application(1));
    EXPECT_FALSE(d->terminateApplication(SimDesktop::kOwnPid, true)) << "the system's own process cannot be quit";
}

TEST(SimDesktop, FaultsMakeAccessibilityRequestsFail)
{
    auto d = load(kTwoApps);
    DesktopElement window { DesktopElement::Kind::Window, 1, 10 };
    DesktopAXValue v;
    EXPECT_EQ(d->axCopyAttribute(window, "AXTitle", v), kAXErrorSuccess);
    EXPECT_EQ(std::get<std::string>(v), "a");

    d->setApplicationHung(1, true);
    EXPECT_EQ(d->axCopyAttribute(window, "AXTitle", v), kAXErrorCannotComplete);
    EXPECT_EQ(d->countCalls("timeout window:10"), 1u);
    d->setApplicationHung(1, false);

    d->setApplicationAXError(1, kAXErrorFailure);
    EXPECT_EQ(d->axCopyAttribute(window, "AXTitle", v), kAXErrorFailure);
    d->setApplicationAXError(1, kAXErrorSuccess);

    d->vanishWindowElement(10);
    EXPECT_EQ(d->axCopyAttribute(window, "AXTitle", v), kAXErrorInvalidUIElement);
    EXPECT_TRUE(d->window(10)) << "the window itself is still listed";

    d->setAccessibilityTrusted(false);
    EXPECT_EQ(d->axCopyAttribute({ DesktopElement::Kind::Window, 2, 20 }, "AXTitle", v), kAXErrorAPIDisabled);
}

TEST(SimDesktop, MainAttributeMovesTheWindowInFrontOfItsApplication)
{
    auto d = load(kTwoApps);
    DesktopElement eleven { DesktopElement::Kind::Window, 1, 11 };
    EXPECT_EQ(d->axSetAttribute(eleven, "AXMain", true), kAXErrorSuccess);
    EXPECT_EQ(order(*d), (std::vector<CGWindowID> { 20, 11, 10 }));
    EXPECT_EQ(d->axSetAttribute(eleven, "AXPosition", CGPoint { NAN, 0 }), kAXErrorIllegalArgument);
    EXPECT_EQ(d->axSetAttribute(eleven, "AXSize", CGSize { -5, 10 }), kAXErrorIllegalArgument);
}

TEST(SimDesktop, TheCallLogKeepsOnlyTheMostRecentCalls)
{
    auto d = load(kTwoApps);
    d->clearCallLog();
    DesktopElement ten { DesktopElement::Kind::Window, 1, 10 }, twenty { DesktopElement::Kind::Window, 2, 20 };
    DesktopAXValue value;
    for (size_t i = 0; i < SimDesktop::kCallLogLimit + 10; ++i)
        d->axCopyAttribute(ten, "AXTitle", value);
    ASSERT_EQ(d->axCopyAttribute(twenty, "AXFocused", value), kAXErrorSuccess);
    EXPECT_EQ(std::get<bool>(value), true) << "the front window of the frontmost application";
    ASSERT_EQ(d->axCopyAttribute(ten, "AXFocused", value), kAXErrorSuccess);
    EXPECT_EQ(std::get<bool>(value), false);
    auto log = d->callLog();
    EXPECT_EQ(log.size(), SimDesktop::kCallLogLimit);
    EXPECT_EQ(log.back(), "AXUIElementCopyAttributeValue window:10 AXFocused");
    EXPECT_EQ(log[log.size() - 2], "AXUIElementCopyAttributeValue window:20 AXFocused");
    EXPECT_EQ(d->countCalls("AXUIElementCopyAttributeValue window:10 AXTitle"), SimDesktop::kCallLogLimit - 2);
}

TEST(SimDesktop, ButtonsPerformTheirActions)
{
    auto d = load(kTwoApps);
    EXPECT_EQ(d->axPerformAction({ DesktopElement::Kind::ZoomButton, 1, 10 }, "AXPress"), kAXErrorSuccess);
    EXPECT_EQ(d->window(10)->frame, CGRectMake(0, 25, 1440, 875));
    EXPECT_EQ(d->axPerformAction({ DesktopElement::Kind::CloseButton, 1, 10 }, "AXPress"), kAXErrorSuccess);
    EXPECT_FALSE(d->window(10));
}

TEST(SimDesktop, SpacesDecideWhatIsOnScreen)
{
    auto d = load(kTwoApps);
    Recorder r(*d);
    d->setWindowSpace(11, 2);
    d->switchToSpace(2);
    EXPECT_TRUE(r.has(DesktopEvent::Kind::ActiveSpaceChanged, 0));
    for (const auto& w : d->windows())
        EXPECT_EQ(w.onScreen, w.number == 11) << w.number;
}

TEST(SimDesktop, EachDisplayShowsOneOfItsOwnSpacesWhenScreensHaveSeparateSpaces)
{
    auto d = load(R"({
      "screens": [ { "frame": [0, 0, 1440, 900], "spaces": [1, 2, { "id": 5, "fullScreen": true }] },
                   { "frame": [1440, 0, 1280, 800], "spaces": [7, 8] },
                   { "frame": [2720, 0, 800, 600] } ],
      "separateSpaces": true,
      "apps": [ { "pid": 1, "name": "One", "windows": [ { "id": 10, "title": "a", "frame": [0, 30, 400, 300] },
                                                      { "id": 11, "title": "b", "frame": [1500, 60, 400, 300], "space": 8 } ] } ] })");
    ASSERT_TRUE(d);
    Recorder r(*d);
    auto lists = d->displaySpaces();
    ASSERT_EQ(lists.size(), 3u);
    EXPECT_EQ(lists[0].spaces.size(), 3u);
    EXPECT_TRUE(lists[0].spaces[2].fullScreen);
    EXPECT_EQ(lists[1].current, 7u);
    ASSERT_EQ(lists[2].spaces.size(), 1u) << "a display listed without spaces gets one of its own";
    EXPECT_EQ(lists[2].spaces[0].identifier, 9u);
    EXPECT_FALSE(d->window(11)->onScreen);

    // Switching the second display leaves the first one's space alone.
    d->switchToSpace(8);
    EXPECT_TRUE(d->window(11)->onScreen);
    EXPECT_TRUE(d->window(10)->onScreen);
    EXPECT_EQ(d->currentSpace(), 1u);
    EXPECT_TRUE(r.has(DesktopEvent::Kind::ActiveSpaceChanged, 0));
    d->moveMouse({ 1600, 100 });
    EXPECT_EQ(d->activeSpace(), 8u) << "the active space is the one under the pointer";

    // Moving a window: to a space the desktop has, never to an unknown one
    // or the system's own window.
    EXPECT_TRUE(d->moveWindowToSpace(10, 2));
    EXPECT_FALSE(d->window(10)->onScreen);
    EXPECT_FALSE(d->moveWindowToSpace(10, 42));
    EXPECT_FALSE(d->moveWindowToSpace(999, 1));
    EXPECT_EQ(d->window(10)->space, 2u);
}

TEST(SimDesktop, ScreenshotShowsWindowsOverTheDesktop)
{
    auto d = load(kTwoApps);
    auto shot = d->screenshot();
    ASSERT_EQ(shot.width, 1440);
    ASSERT_EQ(shot.height, 900);
    auto pixel = [&](int x, int y) { return pixelAt(shot, x, y); };
    // The title bar of window 20 (front) is light grey; far away is the
    // desktop's background.
    auto bar = pixel(300, 100);
    EXPECT_GT(bar[0], 200);
    EXPECT_EQ(bar[3], 255);
    auto content10 = d->windowContent(10);
    auto content20 = d->windowContent(20);
    ASSERT_EQ(content10.width, 400);
    EXPECT_NE(content10.rgba, content20.rgba) << "every window looks different";
    auto background = pixel(1400, 850);
    EXPECT_NE(background, bar);
}

TEST(SimDesktop, TheScreenshotLeavesOutOnlyWindowsWhollyUnderAnOpaqueOne)
{
    auto shotOf = [](const std::string& windows) {
        auto d = load((R"({ "screens": [ { "frame": [0, 0, 400, 300] } ], "apps": [ { "pid": 1, "name": "A", "windows": [)"
            + windows + "] } ] }")
                          .c_str());
        return d ? d->screenshot().rgba : std::vector<uint8_t> {};
    };
    // Windows are listed front to back.
    const std::string front = R"({ "id": 1, "frame": [20, 20, 300, 200] })";
    const std::string inside = R"({ "id": 2, "frame": [40, 40, 100, 100] })";
    EXPECT_EQ(shotOf(front + "," + inside), shotOf(front)) << "a hidden window changes nothing";
    EXPECT_NE(shotOf(front + R"(, { "id": 2, "frame": [250, 40, 100, 100] })"), shotOf(front)) << "partly outside";
    const std::string glass = R"({ "id": 1, "frame": [20, 20, 300, 200], "alpha": 0.5 })";
    EXPECT_NE(shotOf(glass + "," + inside), shotOf(glass)) << "under a see-through window";
    // Edges inside pixels: the front window covers its edge pixels only in
    // part, so a window with the same frame shows there.
    const std::string between = R"({ "id": 1, "frame": [20.5, 20.5, 300, 200] })";
    EXPECT_NE(shotOf(between + R"(, { "id": 2, "frame": [20.5, 20.5, 300, 200] })"), shotOf(between));
}

TEST(SimDesktop, WhatLiesBeneathAnOwnWindowIsTheDesktopWithoutItAndWhatIsAboveIt)
{
    auto d = load(kTwoApps);
    auto before = d->screenshot();
    const CGRect area = CGRectMake(280, 180, 340, 240);
    auto expectDesktopBeforeIn = [&](const std::optional<DesktopImage>& beneath, const char* when) {
        ASSERT_TRUE(beneath) << when;
        ASSERT_EQ(beneath->width, 340) << when;
        ASSERT_EQ(beneath->height, 240) << when;
        int differing = 0;
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 340; ++x)
                differing += pixelAt(*beneath, x, y) != pixelAt(before, 280 + x, 180 + y);
        EXPECT_EQ(differing, 0) << when;
    };
    auto solid = [](int w, int h, uint8_t r, uint8_t g, uint8_t b) {
        DesktopImage image;
        image.width = w;
        image.height = h;
        for (int i = 0; i < w * h; ++i)
            image.rgba.insert(image.rgba.end(), { r, g, b, 255 });
        return image;
    };
    DesktopWindow panel = panelWindow(CGRectMake(300, 200, 300, 200));
    CGWindowID number = d->registerOwnWindow(panel);
    d->setOwnWindowContent(number, [&] { return DesktopFrame::of(solid(300, 200, 255, 0, 0)); });

    // Read as the window comes to the front, and again once it shows.
    expectDesktopBeforeIn(d->captureBelowOwnWindow(number, area), "before it is ordered in");
    d->orderOwnWindow(number, true);
    EXPECT_EQ(pixelAt(d->screenshot(), 450, 300), (Pixel { 255, 0, 0, 255 }));
    expectDesktopBeforeIn(d->captureBelowOwnWindow(number, area), "while it shows");

    // A window of a higher level over it is not beneath it.
    DesktopWindow above = panel;
    above.frame = CGRectMake(250, 150, 400, 300);
    above.layer = 2000;
    CGWindowID top = d->registerOwnWindow(above);
    d->setOwnWindowContent(top, [&] { return DesktopFrame::of(solid(400, 300, 0, 0, 255)); });
    d->orderOwnWindow(top, true);
    expectDesktopBeforeIn(d->captureBelowOwnWindow(number, area), "under a window of a higher level");
    // The panel is beneath that one.
    auto underTop = d->captureBelowOwnWindow(top, area);
    ASSERT_TRUE(underTop);
    EXPECT_EQ(pixelAt(*underTop, 450 - 280, 300 - 180), (Pixel { 255, 0, 0, 255 }));

    // Nothing for another process's window or for an area without pixels.
    EXPECT_FALSE(d->captureBelowOwnWindow(20, area));
    EXPECT_FALSE(d->captureBelowOwnWindow(number, CGRectMake(10, 10, 0, 50)));
    d->removeOwnWindow(number);
    EXPECT_FALSE(d->captureBelowOwnWindow(number, area));
}

TEST(SimDesktop, AnOwnWindowIsDrawnFromItsFramesRowsWhateverTheirStride)
{
    // The window's frame is handed over as drawn: rows with padding after
    // them (which must never show), each pixel its own colour. Wholly in a
    // screenshot, and in a read beneath a window above it that starts
    // inside it, every pixel lands where it belongs.
    auto d = load(kTwoApps);
    const int width = 64, height = 48;
    const size_t stride = width * 4 + 24;
    auto words = std::make_shared<std::vector<uint8_t>>(stride * height, 0xff);
    auto colour = [](int x, int y) { return Pixel { uint8_t(x * 3), uint8_t(y * 5), uint8_t((x + y) & 0x7f), 255 }; };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            Pixel p = colour(x, y);
            uint8_t* word = words->data() + stride * y + size_t(x) * 4;
            word[0] = p.b, word[1] = p.g, word[2] = p.r, word[3] = 255;
        }
    CGWindowID own = d->registerOwnWindow(panelWindow(CGRectMake(300, 200, width, height)));
    d->setOwnWindowContent(own, [words] { return DesktopFrame { words->data(), width, height, stride, words }; });
    d->orderOwnWindow(own, true);
    auto shot = d->screenshot();
    DesktopWindow cover = panelWindow(CGRectMake(0, 0, 500, 400));
    cover.layer = 2000;
    CGWindowID top = d->registerOwnWindow(cover);
    auto beneath = d->captureBelowOwnWindow(top, CGRectMake(310, 205, 100, 100));
    ASSERT_TRUE(beneath);
    int misplaced = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            misplaced += pixelAt(shot, 300 + x, 200 + y) != colour(x, y);
            if (x >= 10 && y >= 5)
                misplaced += pixelAt(*beneath, x - 10, y - 5) != colour(x, y);
        }
    EXPECT_EQ(misplaced, 0);
    EXPECT_EQ(DesktopFrame::copyOf(words->data(), width, height, stride).image().rgba, d->windowContent(own).rgba)
        << "a copy of the frame and the window's picture hold the same pixels";
}

TEST(SimDesktop, RepeatedScreenshotsFollowEveryChangeBelowAndAboveTheOwnWindows)
{
    // Screenshots and reads beneath a panel keep what the other processes'
    // windows drew; every change to those windows, or above them, shows in
    // the next picture, and undoing it gives the first picture again.
    auto d = load(kTwoApps);
    DesktopWindow panel = panelWindow(CGRectMake(300, 200, 300, 200));
    CGWindowID own = d->registerOwnWindow(panel);
    panel.number = own;
    uint8_t red = 255;
    d->setOwnWindowContent(own, [&] {
        DesktopImage image;
        image.width = 300;
        image.height = 200;
        for (int i = 0; i < 300 * 200; ++i)
            image.rgba.insert(image.rgba.end(), { red, 0, 0, 255 });
        return DesktopFrame::of(image);
    });
    d->orderOwnWindow(own, true);
    const CGRect area = CGRectMake(0, 0, 700, 500);
    auto first = d->screenshot().rgba;
    auto firstBeneath = d->captureBelowOwnWindow(own, area, 2)->rgba;
    EXPECT_EQ(d->screenshot().rgba, first) << "nothing changed";

    auto expectChangeShows = [&](const char* change, const std::function<void()>& make, const std::function<void()>& undo,
                                 bool beneath = true) {
        make();
        EXPECT_NE(d->screenshot().rgba, first) << change;
        if (beneath) {
            EXPECT_NE(d->captureBelowOwnWindow(own, area, 2)->rgba, firstBeneath) << change;
        }
        undo();
        EXPECT_EQ(d->screenshot().rgba, first) << change << ", undone";
        EXPECT_EQ(d->captureBelowOwnWindow(own, area, 2)->rgba, firstBeneath) << change << ", undone";
    };
    expectChangeShows(
        "a window moved", [&] { d->setWindowFrame(10, CGRectMake(10, 40, 400, 300)); },
        [&] { d->setWindowFrame(10, CGRectMake(0, 30, 400, 300)); });
    expectChangeShows(
        "a window resized", [&] { d->setWindowFrame(20, CGRectMake(100, 90, 420, 300)); },
        [&] { d->setWindowFrame(20, CGRectMake(100, 90, 400, 300)); });
    expectChangeShows(
        "a title changed", [&] { d->setWindowTitle(20, "renamed"); }, [&] { d->setWindowTitle(20, "c"); });
    expectChangeShows(
        "a window minimised", [&] { d->setWindowMinimized(20, true); }, [&] { d->setWindowMinimized(20, false); });
    expectChangeShows(
        "the order changed", [&] { d->activateApplication(1, false); }, [&] { d->activateApplication(2, false); });
    expectChangeShows(
        "the own window's content changed", [&] { red = 0; }, [&] { red = 255; }, false);
    expectChangeShows(
        "the own window moved", [&] {
            panel.frame = CGRectMake(320, 220, 300, 200);
            d->updateOwnWindow(panel);
        },
        [&] {
            panel.frame = CGRectMake(300, 200, 300, 200);
            d->updateOwnWindow(panel);
        },
        false);
}

TEST(SimDesktop, ShrunkReadsAnswerAsAFirstReadAfterEveryChangeOfTheWindows)
{
    // One desktop read again and again (it keeps its windows shrunk between
    // reads) answers each time what a desktop read for the first time in
    // the same state answers.
    using Change = std::function<void(SimDesktop&)>;
    const std::vector<std::pair<const char*, Change>> changes = {
        { "unchanged", [](SimDesktop&) {} },
        { "retitled", [](SimDesktop& d) { d.setWindowTitle(10, "a longer title"); } },
        { "moved within a block", [](SimDesktop& d) { d.setWindowFrame(11, CGRectMake(51, 60, 400, 300)); } },
        { "moved by whole blocks", [](SimDesktop& d) { d.setWindowFrame(11, CGRectMake(59, 68, 400, 300)); } },
        { "moved off the area", [](SimDesktop& d) { d.setWindowFrame(11, CGRectMake(900, 500, 400, 300)); } },
        { "resized", [](SimDesktop& d) { d.setWindowFrame(20, CGRectMake(100, 90, 333, 251)); } },
        { "raised", [](SimDesktop& d) { d.focusWindow(10); } },
        { "minimised", [](SimDesktop& d) { d.setWindowMinimized(20, true); } },
        { "closed", [](SimDesktop& d) { d.closeWindow(10); } },
    };
    auto panelOn = [](SimDesktop& d) {
        DesktopWindow panel = panelWindow(CGRectMake(120, 100, 300, 200));
        CGWindowID number = d.registerOwnWindow(panel);
        d.orderOwnWindow(number, true);
        return number;
    };
    const CGRect area = CGRectMake(90, 20, 362, 313);
    auto warm = load(kTwoApps);
    CGWindowID warmPanel = panelOn(*warm);
    for (size_t done = 0; done < changes.size(); ++done) {
        changes[done].second(*warm);
        auto cold = load(kTwoApps);
        for (size_t i = 0; i <= done; ++i)
            changes[i].second(*cold);
        CGWindowID coldPanel = panelOn(*cold);
        auto again = warm->captureBelowOwnWindow(warmPanel, area, 4);
        auto first = cold->captureBelowOwnWindow(coldPanel, area, 4);
        ASSERT_TRUE(again && first) << changes[done].first;
        EXPECT_EQ(again->width, first->width) << changes[done].first;
        EXPECT_TRUE(again->rgba == first->rgba) << changes[done].first;
    }
}

TEST(SimDesktop, WhatLiesBeneathReadShrunkAveragesTheBlocksOfTheWholeRead)
{
    auto d = load(kTwoApps);
    DesktopWindow panel = panelWindow(CGRectMake(300, 200, 300, 200));
    CGWindowID number = d->registerOwnWindow(panel);
    d->orderOwnWindow(number, true);
    // An area that is no whole number of blocks, across window edges, the
    // menu bar and the desktop picture.
    const CGRect area = CGRectMake(0, 0, 643, 482);
    auto whole = d->captureBelowOwnWindow(number, area);
    auto shrunk = d->captureBelowOwnWindow(number, area, 4);
    ASSERT_TRUE(whole && shrunk);
    ASSERT_EQ(shrunk->width, 161);
    ASSERT_EQ(shrunk->height, 121);
    // Each pixel stands for its block of four by four: off by a few levels
    // at most where the block holds an edge, and the same on average.
    int worst = 0;
    double total = 0;
    int samples = 0;
    for (int y = 0; y + 1 < shrunk->height; ++y)
        for (int x = 0; x + 1 < shrunk->width; ++x)
            for (size_t c = 0; c < 4; ++c) {
                int sum = 0;
                for (int dy = 0; dy < 4; ++dy)
                    for (int dx = 0; dx < 4; ++dx)
                        sum += pixelAt(*whole, x * 4 + dx, y * 4 + dy)[c];
                int difference = std::abs(pixelAt(*shrunk, x, y)[c] - (sum + 8) / 16);
                worst = std::max(worst, difference);
                total += difference;
                ++samples;
            }
    EXPECT_LE(worst, 16);
    EXPECT_LE(total / samples, 0.25);
    // Factors past the largest are taken as the largest; one is the whole read.
    auto most = d->captureBelowOwnWindow(number, area, 1000);
    ASSERT_TRUE(most);
    EXPECT_EQ(most->width, (643 + 15) / 16);
    auto one = d->captureBelowOwnWindow(number, area, 1);
    ASSERT_TRUE(one);
    EXPECT_EQ(one->rgba, whole->rgba);
}

TEST(SimDesktop, AShrunkReadShowsTheFrontWindowAsTheExactMeansOfItsBlocksEdgesAndFrameLineIncluded)
{
    // The front window lies a number of pixels from the area's origin that
    // is no whole number of blocks, either way; wherever a block of the read
    // lies wholly on it, the shrunk read is that block's mean, to the level.
    for (CGPoint origin : { CGPointMake(3, 2), CGPointMake(0, 0), CGPointMake(1, 3) }) {
        auto d = load(kTwoApps);
        DesktopWindow panel = panelWindow(CGRectMake(600, 500, 100, 100));
        CGWindowID number = d->registerOwnWindow(panel);
        d->orderOwnWindow(number, true);
        const CGRect area = CGRectMake(origin.x, origin.y, 640, 480);
        auto whole = d->captureBelowOwnWindow(number, area);
        auto shrunk = d->captureBelowOwnWindow(number, area, 4);
        ASSERT_TRUE(whole && shrunk);
        const CGRect front = CGRectOffset(CGRectMake(100, 90, 400, 300), -origin.x, -origin.y);
        int blocks = 0, exact = 0;
        for (int y = 0; y < shrunk->height; ++y)
            for (int x = 0; x < shrunk->width; ++x) {
                if (!CGRectContainsRect(front, CGRectMake(x * 4, y * 4, 4, 4)))
                    continue;
                ++blocks;
                bool same = true;
                for (size_t c = 0; c < 4; ++c) {
                    int sum = 0;
                    for (int dy = 0; dy < 4; ++dy)
                        for (int dx = 0; dx < 4; ++dx)
                            sum += pixelAt(*whole, x * 4 + dx, y * 4 + dy)[c];
                    same = same && pixelAt(*shrunk, x, y)[c] == (sum + 8) / 16;
                }
                exact += same ? 1 : 0;
            }
        EXPECT_GT(blocks, 7000) << "at " << origin.x << ", " << origin.y;
        EXPECT_EQ(exact, blocks) << "at " << origin.x << ", " << origin.y;
    }
}

TEST(SimDesktop, PartlyCoveredWindowsShowWhereNothingCoversThem)
{
    auto d = load(kTwoApps);
    auto shot = d->screenshot();
    auto content10 = d->windowContent(10);
    auto content11 = d->windowContent(11);
    // Window 20 (100, 90) is in front of 10 (0, 30), which is in front of
    // 11 (50, 60): 10 shows left of 20 and above it, and 11 only below 10
    // and left of 20.
    EXPECT_EQ(pixelAt(shot, 20, 200), pixelAt(content10, 20, 170));
    EXPECT_EQ(pixelAt(shot, 300, 40), pixelAt(content10, 300, 10));
    EXPECT_EQ(pixelAt(shot, 70, 345), pixelAt(content11, 20, 285));
    EXPECT_NE(pixelAt(content10, 20, 170), pixelAt(content11, 20, 285));
}

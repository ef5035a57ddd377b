// The X11 desktop on a private Xvfb session with openbox and test clients
// of our own: what it lists, the actions it asks of the window manager,
// captures, and the faults of a real session.
#include "X11ApplicationTest.h"

#include <support/Pixels.h>
#include <support/SimWorld.h>
#include <support/X11Session.h>

#include <desktop/InputCodes.h>
#include <desktop/x11/X11Connection.h>
#include <desktop/x11/X11Desktop.h>
#include <desktop/x11/X11Text.h>
#include <graphics/CGImage.h>
#include <foundation/Clock.h>
#include <foundation/Dispatch.h>
#include <foundation/Log.h>
#include <foundation/RunLoop.h>

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace {

class X11DesktopTest : public X11ApplicationTest {
protected:
    std::vector<DesktopWindow> clientWindows() const
    {
        std::vector<DesktopWindow> list;
        for (const auto& w : desktop->windows())
            if (w.pid == client->pid())
                list.push_back(w);
        return list;
    }
    std::optional<DesktopWindow> windowTitled(const std::string& title) const
    {
        for (const auto& w : desktop->windows())
            if (w.title == title)
                return w;
        return std::nullopt;
    }
    std::vector<std::string> titlesFrontToBack() const
    {
        std::vector<std::string> titles;
        for (const auto& w : clientWindows())
            titles.push_back(w.title.value_or("(none)"));
        return titles;
    }
    DesktopElement element(uint32_t window) const { return { DesktopElement::Kind::Window, client->pid(), window }; }
    // Super+Tab typed and let go, as a person opens and closes the
    // switcher (nothing here opens a panel for it).
    bool pressSwitcherHotKey() { return pressSuperTab() && session->fakeKey(XK_Super_L, false); }
};

uint32_t pixel(const DesktopImage& image, int x, int y)
{
    RGBA p = pixelAt(image, x, y);
    return (uint32_t(p.r) << 16) | (uint32_t(p.g) << 8) | uint32_t(p.b);
}

// A panel of this process (above the others, not yet shown) drawn in green.
CGWindowID registerGreenPanel(X11Desktop& desktop, CGRect frame)
{
    DesktopWindow panel;
    panel.title = "panel";
    panel.frame = frame;
    panel.layer = 1000;
    panel.subrole = "AXSystemDialog";
    CGWindowID number = desktop.registerOwnWindow(panel);
    int width = int(frame.size.width), height = int(frame.size.height);
    desktop.setOwnWindowContent(number, [width, height] {
        DesktopImage green;
        green.width = width;
        green.height = height;
        for (int i = 0; i < width * height; ++i)
            green.rgba.insert(green.rgba.end(), { 0, 255, 0, 255 });
        return DesktopFrame::of(green);
    });
    return number;
}

}

TEST_F(X11DesktopTest, ListsClientWindowsFrontToBackGroupedByProcess)
{
    // Each new window goes in front of the others once the window manager
    // has stacked and focused it (opened one after the other: windows that
    // come at once may be focused faster than the active window is read,
    // and one never seen active stands behind those that were).
    auto inFront = [&](const std::string& title) {
        return runMainUntil([&] {
            auto titles = titlesFrontToBack();
            return !titles.empty() && titles.front() == title;
        });
    };
    auto dialog = client->open("Question", 0x0000ff, 100, 400, 200, 120, true);
    ASSERT_TRUE(dialog && inFront("Question"));
    auto one = client->open("One", 0xff0000, 40, 60, 300, 200);
    ASSERT_TRUE(one && inFront("One"));
    auto two = client->open("Two", 0x00ff00, 400, 60, 320, 240);
    ASSERT_TRUE(two);
    const std::vector<std::string> expected { "Two", "One", "Question" };
    EXPECT_TRUE(runMainUntil([&] { return titlesFrontToBack() == expected; })) << ::testing::PrintToString(titlesFrontToBack());

    auto w = *windowTitled("Two");
    EXPECT_EQ(w.number, two);
    // The client area without the window manager's decorations.
    EXPECT_EQ(w.frame.size.width, 320);
    EXPECT_EQ(w.frame.size.height, 240);
    EXPECT_TRUE(w.onScreen);
    EXPECT_FALSE(w.minimized);
    EXPECT_EQ(w.subrole, "AXStandardWindow");
    EXPECT_EQ(windowTitled("Question")->subrole, "AXDialog");

    auto app = desktop->application(client->pid());
    ASSERT_TRUE(app);
    EXPECT_EQ(app->name, "QvTestClient");
    EXPECT_EQ(app->bundleId, "qvclient");
    // This process is listed as a running application too, as on the
    // original platform.
    EXPECT_TRUE(desktop->application(desktop->ownProcessIdentifier()));

    DesktopAXValue value;
    ASSERT_EQ(desktop->axCopyAttribute({ DesktopElement::Kind::Application, client->pid(), 0 }, "AXWindows", value), kAXErrorSuccess);
    EXPECT_EQ(std::get<std::vector<DesktopElement>>(value).size(), 3u);
    ASSERT_EQ(desktop->axCopyAttribute(element(one), "AXTitle", value), kAXErrorSuccess);
    EXPECT_EQ(std::get<std::string>(value), "One");

    // The newest window took the focus: its application is frontmost.
    ASSERT_TRUE(runMainUntil([&] { return desktop->frontmostApplication() == client->pid(); }));

    // A second process is a second application.
    auto other = session->launchClient();
    ASSERT_TRUE(other);
    ASSERT_TRUE(other->open("Elsewhere", 0x808080, 600, 400, 200, 200));
    EXPECT_TRUE(runMainUntil([&] { return desktop->windows().front().title == "Elsewhere"; }));
    EXPECT_EQ(desktop->runningApplications().size(), 3u);
}

// Each application's main window is its front one in the stacking order,
// whatever the other applications' windows between them, and follows the
// window manager's restacking and the closing of windows; the list, the
// single window and the application's AXMainWindow agree on it.
TEST_F(X11DesktopTest, EachApplicationsMainWindowFollowsItsFrontWindow)
{
    auto other = session->launchClient();
    ASSERT_TRUE(other);
    auto a1 = client->open("A one", 0xff0000, 20, 40, 200, 150);
    auto b1 = other->open("B one", 0x00ff00, 260, 40, 200, 150);
    auto a2 = client->open("A two", 0x0000ff, 500, 40, 200, 150);
    auto b2 = other->open("B two", 0xffff00, 740, 40, 200, 150);
    ASSERT_TRUE(a1 && b1 && a2 && b2);
    ASSERT_TRUE(runMainUntil([&] { return desktop->window(b2).has_value() && desktop->window(a2).has_value(); }));
    // The main windows, "A-title B-title", when every way of asking agrees.
    auto mains = [&] {
        std::string result;
        for (pid_t pid : { client->pid(), other->pid() }) {
            std::vector<std::string> listed;
            for (const auto& w : desktop->windows())
                if (w.pid == pid && w.isMain && desktop->window(w.number)->isMain)
                    listed.push_back(w.title.value_or(""));
            DesktopAXValue value;
            if (listed.size() != 1
                || desktop->axCopyAttribute({ DesktopElement::Kind::Application, pid, 0 }, "AXMainWindow", value) != kAXErrorSuccess
                || desktop->window(std::get<DesktopElement>(value).window)->title != listed.front())
                return std::string("disagree");
            result += (result.empty() ? "" : " ") + listed.front();
        }
        return result;
    };
    EXPECT_TRUE(runMainUntil([&] { return mains() == "A two B two"; })) << mains();
    ASSERT_EQ(desktop->axSetAttribute(element(a1), "AXMain", true), kAXErrorSuccess);
    EXPECT_TRUE(runMainUntil([&] { return mains() == "A one B two"; })) << mains();
    ASSERT_EQ(desktop->axSetAttribute({ DesktopElement::Kind::Window, other->pid(), b1 }, "AXMain", true), kAXErrorSuccess);
    EXPECT_TRUE(runMainUntil([&] { return mains() == "A one B one"; })) << mains();
    ASSERT_TRUE(client->close(a1));
    EXPECT_TRUE(runMainUntil([&] { return mains() == "A two B one"; })) << mains();
    ASSERT_TRUE(other->close(b1));
    EXPECT_TRUE(runMainUntil([&] { return mains() == "A two B two"; })) << mains();
}

TEST_F(X11DesktopTest, FocusMinimiseMoveAndCloseGoThroughTheWindowManager)
{
    auto one = client->open("One", 0xff0000, 40, 60, 300, 200);
    auto two = client->open("Two", 0x00ff00, 400, 60, 300, 200);
    ASSERT_TRUE(one && two);
    ASSERT_TRUE(runMainUntil([&] { return clientWindows().size() == 2; }));
    std::vector<std::string> notices;
    std::mutex noticesMutex;
    auto token = desktop->subscribe([&](const DesktopEvent& e) {
        if (e.kind == DesktopEvent::Kind::AXNotification) {
            std::lock_guard lock(noticesMutex);
            notices.push_back(e.notification + " " + std::to_string(e.element.window));
        }
    });
    auto saw = [&](const std::string& notice) {
        std::lock_guard lock(noticesMutex);
        return std::find(notices.begin(), notices.end(), notice) != notices.end();
    };

    // Focus: the window manager raises and activates the window.
    ASSERT_EQ(desktop->axSetAttribute(element(one), "AXMain", true), kAXErrorSuccess);
    ASSERT_TRUE(runMainUntil([&] { return titlesFrontToBack().front() == "One"; }));
    DesktopAXValue value;
    ASSERT_TRUE(runMainUntil([&] {
        return desktop->axCopyAttribute(element(one), "AXFocused", value) == kAXErrorSuccess && std::get<bool>(value);
    }));

    // Minimise and restore.
    ASSERT_EQ(desktop->axSetAttribute(element(two), "AXMinimized", true), kAXErrorSuccess);
    ASSERT_TRUE(runMainUntil([&] { return desktop->window(two)->minimized; }));
    EXPECT_FALSE(desktop->window(two)->onScreen);
    EXPECT_TRUE(runMainUntil([&] { return saw("AXWindowMiniaturized " + std::to_string(two)); }));
    EXPECT_FALSE(desktop->captureWindow(two)) << "a minimised window never read has no picture";
    ASSERT_EQ(desktop->axSetAttribute(element(two), "AXMinimized", false), kAXErrorSuccess);
    ASSERT_TRUE(runMainUntil([&] { return !desktop->window(two)->minimized; }));
    EXPECT_TRUE(runMainUntil([&] { return saw("AXWindowDeminiaturized " + std::to_string(two)); }));

    // Move and resize: the client's own frame, decorations left out.
    ASSERT_EQ(desktop->axSetAttribute(element(one), "AXPosition", CGPoint { 200, 150 }), kAXErrorSuccess);
    ASSERT_EQ(desktop->axSetAttribute(element(one), "AXSize", CGSize { 420, 260 }), kAXErrorSuccess);
    ASSERT_TRUE(runMainUntil([&] { return CGRectEqualToRect(desktop->window(one)->frame, CGRectMake(200, 150, 420, 260)); }))
        << "frame " << desktop->window(one)->frame.origin.x << "," << desktop->window(one)->frame.origin.y;
    EXPECT_EQ(desktop->axSetAttribute(element(one), "AXPosition", CGPoint { NAN, 0 }), kAXErrorIllegalArgument);

    // Close through the close request: the client destroys its window.
    ASSERT_EQ(desktop->axCopyAttribute(element(two), "AXCloseButton", value), kAXErrorSuccess);
    ASSERT_EQ(desktop->axPerformAction(std::get<DesktopElement>(value), "AXPress"), kAXErrorSuccess);
    ASSERT_TRUE(runMainUntil([&] { return !desktop->window(two); }));
    EXPECT_TRUE(runMainUntil([&] { return saw("AXUIElementDestroyed " + std::to_string(two)); }));
    EXPECT_EQ(desktop->axCopyAttribute(element(two), "AXTitle", value), kAXErrorInvalidUIElement);
    EXPECT_EQ(client->readLine(1), "closed " + std::to_string(two));
}

TEST_F(X11DesktopTest, DesktopsAreSpacesAndWindowsMoveBetweenThemAndFillTheScreen)
{
    auto one = client->open("One", 0xff0000, 40, 60, 300, 200);
    ASSERT_TRUE(one);
    ASSERT_TRUE(runMainUntil([&] { return clientWindows().size() == 1; }));
    auto spaces = desktop->displaySpaces();
    ASSERT_EQ(spaces.size(), 1u) << "one list for every screen";
    ASSERT_EQ(spaces[0].spaces.size(), 2u) << "the window manager's two desktops";
    EXPECT_EQ(spaces[0].current, 1u);
    EXPECT_EQ(desktop->activeSpace(), 1u);
    EXPECT_FALSE(desktop->screensHaveSeparateSpaces());

    // To the second desktop through the window manager: off screen here.
    ASSERT_TRUE(desktop->moveWindowToSpace(one, 2));
    ASSERT_TRUE(runMainUntil([&] { return desktop->window(one)->space == 2u; }));
    EXPECT_FALSE(desktop->window(one)->onScreen);
    EXPECT_FALSE(desktop->moveWindowToSpace(one, 3)) << "there is no third desktop";
    ASSERT_TRUE(desktop->moveWindowToSpace(one, 1));
    ASSERT_TRUE(runMainUntil([&] { return desktop->window(one)->space == 1u && desktop->window(one)->onScreen; }));

    // Full screen and back.
    DesktopAXValue value;
    ASSERT_EQ(desktop->axSetAttribute(element(one), "AXFullScreen", true), kAXErrorSuccess);
    ASSERT_TRUE(runMainUntil([&] {
        return desktop->axCopyAttribute(element(one), "AXFullScreen", value) == kAXErrorSuccess && std::get<bool>(value);
    }));
    EXPECT_TRUE(runMainUntil([&] { return CGRectEqualToRect(desktop->window(one)->frame, CGRectMake(0, 0, 1280, 800)); }));
    ASSERT_EQ(desktop->axSetAttribute(element(one), "AXFullScreen", false), kAXErrorSuccess);
    EXPECT_TRUE(runMainUntil([&] { return !desktop->window(one)->fullScreen; }));
    EXPECT_TRUE(runMainUntil([&] { return desktop->window(one)->frame.size.width == 300; }));
}

// Both ways of reading pixels give the same picture: shared memory (large
// windows, where the server offers it) and GetImage (small windows, or
// when shared memory is not to be used). Odd sizes catch a row stride read
// wrong; the covered corner, a capture taken from the screen instead of the
// window.
TEST_F(X11DesktopTest, CapturesShowTheClientsColoursEvenWhereCoveredThroughEitherPath)
{
    for (bool shared : { true, false }) {
        SCOPED_TRACE(shared ? "shared memory" : "GetImage");
        desktop->setSharedMemoryCaptures(shared);
        auto before = desktop->captureReads();
        std::string suffix = shared ? " (shared)" : " (direct)";
        auto red = client->open("Red" + suffix, 0xff0000, 50, 50, 301, 201);
        ASSERT_TRUE(red);
        auto blue = client->open("Blue" + suffix, 0x0000ff, 200, 100, 300, 200);
        ASSERT_TRUE(blue);
        auto small = client->open("Small" + suffix, 0x10e020, 600, 50, 31, 17);
        ASSERT_TRUE(small);
        ASSERT_TRUE(runMainUntil([&] {
            return desktop->window(red) && desktop->window(blue) && desktop->window(small);
        }));
        auto image = desktop->captureWindow(red);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->width, 301);
        EXPECT_EQ(image->height, 201);
        EXPECT_EQ(pixel(*image, 10, 10), 0xff0000u);
        // Covered by the blue window on the screen, red in the capture.
        EXPECT_EQ(pixel(*image, 300, 200), 0xff0000u);
        EXPECT_EQ(image->rgba[3], 255);
        auto second = desktop->captureWindow(blue);
        ASSERT_TRUE(second);
        EXPECT_EQ(pixel(*second, 150, 100), 0x0000ffu);
        auto third = desktop->captureWindow(small);
        ASSERT_TRUE(third);
        EXPECT_EQ(third->width, 31);
        EXPECT_EQ(pixel(*third, 30, 16), 0x10e020u);

        auto after = desktop->captureReads();
        // Small windows always go without shared memory.
        EXPECT_EQ(after.shared - before.shared, shared ? 2u : 0u);
        EXPECT_EQ(after.direct - before.direct, shared ? 1u : 3u);
    }
}

// Captures run on many threads at once and go through one segment shared
// with the server: each gets its own window's picture, whatever its size.
TEST_F(X11DesktopTest, CapturesReadAtOnceEachShowTheirOwnWindow)
{
    constexpr int kWindows = 10;
    std::vector<uint32_t> windows, colours;
    std::vector<CGSize> sizes;
    for (int i = 0; i < kWindows; ++i) {
        colours.push_back(uint32_t(25 * i) << 16 | uint32_t(250 - 25 * i) << 8 | 0x40);
        sizes.push_back(CGSizeMake(90 + 37 * i, 70 + 23 * i));
        auto window = client->open("At once " + std::to_string(i), colours.back(), 30 + 40 * i, 40 + 20 * i,
            int(sizes.back().width), int(sizes.back().height));
        ASSERT_TRUE(window);
        windows.push_back(window);
    }
    ASSERT_TRUE(runMainUntil([&] {
        return std::all_of(windows.begin(), windows.end(), [&](uint32_t w) { return desktop->window(w).has_value(); });
    }));
    auto before = desktop->captureReads();
    std::vector<std::optional<DesktopImage>> images(kWindows);
    std::atomic<int> ready { 0 };
    std::vector<std::thread> threads;
    for (int i = 0; i < kWindows; ++i) {
        threads.emplace_back([&, i] {
            ++ready;
            while (ready < kWindows)
                std::this_thread::yield();
            images[i] = desktop->captureWindow(windows[i]);
        });
    }
    for (auto& thread : threads)
        thread.join();
    for (int i = 0; i < kWindows; ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(images[i]);
        const auto& image = *images[i];
        ASSERT_EQ(image.width, int(sizes[i].width));
        ASSERT_EQ(image.height, int(sizes[i].height));
        for (auto [x, y] : { std::pair { 0, 0 }, { image.width / 2, image.height / 2 }, { image.width - 1, image.height - 1 } })
            EXPECT_EQ(pixel(image, x, y), colours[i]) << x << "," << y;
    }
    EXPECT_EQ(desktop->captureReads().shared - before.shared, unsigned(kWindows));
}

// A window far larger than the screen costs at most a screenful to read,
// through either path, and what is read is its own top-left part.
TEST_F(X11DesktopTest, AWindowLargerThanTheScreenIsReadOnlyAsFarAsTheScreenReaches)
{
    for (bool shared : { true, false }) {
        SCOPED_TRACE(shared ? "shared memory" : "GetImage");
        desktop->setSharedMemoryCaptures(shared);
        uint32_t colour = shared ? 0xc08020 : 0x2080c0;
        auto huge = client->open(shared ? "Huge (shared)" : "Huge (direct)", colour, 0, 0, 6000, 5000);
        ASSERT_TRUE(huge);
        ASSERT_TRUE(runMainUntil([&] { return desktop->window(huge) && desktop->window(huge)->frame.size.width > 1280; }));
        auto image = desktop->captureWindow(huge);
        ASSERT_TRUE(image);
        EXPECT_LE(image->width, 1280);
        EXPECT_LE(image->height, 800);
        EXPECT_EQ(pixel(*image, 5, 5), colour);
        EXPECT_EQ(pixel(*image, image->width - 1, image->height - 1), colour);
    }
}

TEST_F(X11DesktopTest, HugeAndMalformedTitlesArriveBoundedAndWellFormed)
{
    std::string huge(200000, 'x');
    auto window = client->open(huge, 0x202020, 10, 10, 100, 100);
    ASSERT_TRUE(window);
    ASSERT_TRUE(runMainUntil([&] { return desktop->window(window).has_value(); }));
    auto title = *desktop->window(window)->title;
    EXPECT_LE(title.size(), X11Text::kMaxTitleBytes);
    EXPECT_EQ(title.substr(title.size() - 3), "\xE2\x80\xA6");

    ASSERT_TRUE(client->setTitle(window, "ok \xff\xfe caf\xc3\xa9 \xe2\x82"));
    ASSERT_TRUE(runMainUntil([&] { return desktop->window(window)->title != title; }));
    EXPECT_EQ(desktop->window(window)->title, "ok \xEF\xBF\xBD\xEF\xBF\xBD caf\xc3\xa9 \xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(X11Text, RepairsMalformedUTF8AndCutsAtCharacterBoundaries)
{
    // Overlong forms, surrogates and code points past U+10FFFF are malformed.
    EXPECT_EQ(X11Text::fromUTF8("\xc0\xaf", 2), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(X11Text::fromUTF8("\xed\xa0\x80", 3), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(X11Text::fromUTF8("\xf4\x90\x80\x80", 4).substr(0, 3), "\xEF\xBF\xBD");
    EXPECT_EQ(X11Text::fromUTF8("\xf0\x9f\x98\x80", 4), "\xf0\x9f\x98\x80");
    // A NUL ends the text.
    EXPECT_EQ(X11Text::fromUTF8("ab\0cd", 5), "ab");
    // A character that does not fit whole is left out before the ellipsis.
    std::string cut = X11Text::fromUTF8("\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9", 8, 8);
    EXPECT_EQ(cut, "\xc3\xa9\xc3\xa9\xE2\x80\xA6");
    EXPECT_EQ(X11Text::fromLatin1("caf\xe9", 4), "caf\xc3\xa9");
}

TEST_F(X11DesktopTest, AClientThatDiesBetweenTwoRequestsIsDropped)
{
    auto window = client->open("Doomed", 0x00ffff, 10, 10, 200, 100);
    ASSERT_TRUE(window);
    ASSERT_TRUE(runMainUntil([&] { return desktop->window(window).has_value(); }));
    pid_t pid = client->pid();
    std::atomic<bool> terminated { false };
    auto token = desktop->subscribe([&](const DesktopEvent& e) {
        if (e.kind == DesktopEvent::Kind::ApplicationTerminated && e.pid == pid)
            terminated = true;
    });
    client->kill();
    // Requests about the window until the desktop hears it is gone fail
    // cleanly or answer from what was known.
    DesktopAXValue value;
    AXError error = desktop->axSetAttribute(element(window), "AXPosition", CGPoint { 5, 5 });
    EXPECT_TRUE(error == kAXErrorSuccess || error == kAXErrorInvalidUIElement || error == kAXErrorCannotComplete);
    desktop->captureWindow(window);
    ASSERT_TRUE(runMainUntil([&] { return !desktop->window(window) && terminated; }))
        << "listed " << desktop->window(window).has_value() << " terminated " << terminated;
    EXPECT_FALSE(desktop->application(pid));
    EXPECT_EQ(desktop->axCopyAttribute({ DesktopElement::Kind::Window, pid, window }, "AXTitle", value), kAXErrorInvalidUIElement);
    EXPECT_FALSE(desktop->captureWindow(window));
}

TEST_F(X11DesktopTest, AnApplicationThatMissesThePingTimesOut)
{
    auto window = client->open("Busy", 0x123456, 10, 10, 200, 100);
    ASSERT_TRUE(window);
    auto healthy = session->launchClient();
    ASSERT_TRUE(healthy);
    auto other = healthy->open("Fine", 0x654321, 300, 10, 200, 100);
    ASSERT_TRUE(runMainUntil([&] { return desktop->window(window) && desktop->window(other); }));
    DesktopAXValue value;
    ASSERT_EQ(desktop->axCopyAttribute(element(window), "AXTitle", value), kAXErrorSuccess);

    // Every request pings from now on.
    desktop->setPingTimes(X11Desktop::kPingTimeoutSeconds, 0);
    ASSERT_TRUE(client->hang());
    EXPECT_EQ(desktop->axCopyAttribute(element(window), "AXTitle", value), kAXErrorCannotComplete);
    // Once hung, requests fail at once instead of waiting again.
    double before = SystemClock().now();
    EXPECT_EQ(desktop->axCopyAttribute(element(window), "AXPosition", value), kAXErrorCannotComplete);
    EXPECT_LT(SystemClock().now() - before, X11Desktop::kPingTimeoutSeconds);
    EXPECT_FALSE(desktop->terminateApplication(client->pid(), false)) << "a polite quit is refused";
    EXPECT_EQ(desktop->axCopyAttribute({ DesktopElement::Kind::Window, healthy->pid(), other }, "AXTitle", value), kAXErrorSuccess);
}

TEST_F(X11DesktopTest, ARequestWaitsForAHungApplicationNoLongerThanItsMessagingTimeout)
{
    auto window = client->open("Slow", 0x123456, 10, 10, 200, 100);
    ASSERT_TRUE(window);
    ASSERT_TRUE(runMainUntil([&] { return desktop->window(window).has_value(); }));
    DesktopAXValue value;
    ASSERT_EQ(desktop->axCopyAttribute(element(window), "AXTitle", value), kAXErrorSuccess);
    desktop->setPingTimes(X11Desktop::kPingTimeoutSeconds, 0);
    ASSERT_TRUE(client->hang());
    double before = SystemClock().now();
    {
        Desktop::MessagingTimeoutScope timeout(0.3);
        EXPECT_EQ(desktop->axCopyAttribute(element(window), "AXTitle", value), kAXErrorCannotComplete);
    }
    double waited = SystemClock().now() - before;
    EXPECT_GE(waited, 0.25);
    EXPECT_LT(waited, X11Desktop::kPingTimeoutSeconds) << "the request's own time-out, not the ping's";
    // Not yet taken for hung: that needs the whole ping time-out.
    EXPECT_EQ(desktop->axCopyAttribute(element(window), "AXTitle", value), kAXErrorCannotComplete);
    before = SystemClock().now();
    EXPECT_EQ(desktop->axCopyAttribute(element(window), "AXPosition", value), kAXErrorCannotComplete);
    EXPECT_LT(SystemClock().now() - before, 0.25) << "hung now: no more waiting";
}

// A request that has to ping asks every application whose answer has gone
// stale at the same time, so a pass over many applications waits for about
// one answer instead of one after another. The answers count for the
// requests that follow, and a hung application among those asked holds up
// nobody else.
TEST_F(X11DesktopTest, OnePingAsksEveryApplicationWhoseAnswerIsStale)
{
    auto first = client->open("First", 0x123456, 10, 10, 200, 100);
    auto answering = session->launchClient();
    auto hung = session->launchClient();
    ASSERT_TRUE(first && answering && hung);
    auto second = answering->open("Second", 0x654321, 300, 10, 200, 100);
    auto third = hung->open("Third", 0x336699, 600, 10, 200, 100);
    ASSERT_TRUE(runMainUntil([&] { return desktop->window(first) && desktop->window(second) && desktop->window(third); }));
    int firstPings = client->pings(), secondPings = answering->pings(), thirdPings = hung->pings();
    ASSERT_GE(firstPings, 0);
    desktop->setPingTimes(X11Desktop::kPingTimeoutSeconds, 60);
    ASSERT_TRUE(hung->hang());

    DesktopAXValue value;
    double before = SystemClock().now();
    EXPECT_EQ(desktop->axCopyAttribute(element(first), "AXTitle", value), kAXErrorSuccess);
    EXPECT_LT(SystemClock().now() - before, X11Desktop::kPingTimeoutSeconds) << "no wait for the hung application";
    EXPECT_TRUE(runMainUntil([&] { return answering->pings() == secondPings + 1 && hung->pings() == thirdPings + 1; }))
        << "asked with the first: " << answering->pings() - secondPings << " and " << hung->pings() - thirdPings;
    EXPECT_EQ(client->pings(), firstPings + 1);

    EXPECT_EQ(desktop->axCopyAttribute({ DesktopElement::Kind::Window, answering->pid(), second }, "AXTitle", value),
        kAXErrorSuccess);
    EXPECT_EQ(answering->pings(), secondPings + 1) << "its answer to the first ping still counts";
    {
        Desktop::MessagingTimeoutScope timeout(0.2);
        EXPECT_EQ(desktop->axCopyAttribute({ DesktopElement::Kind::Window, hung->pid(), third }, "AXTitle", value),
            kAXErrorCannotComplete);
    }
    EXPECT_EQ(hung->pings(), thirdPings + 1) << "an unanswered ping is not sent again";
    EXPECT_EQ(desktop->axCopyAttribute(element(first), "AXTitle", value), kAXErrorSuccess);
    EXPECT_EQ(client->pings(), firstPings + 1);
}

TEST_F(X11DesktopTest, TheServerGoingAwayIsReportedOnceAndRequestsFail)
{
    auto window = client->open("Last", 0xabcdef, 10, 10, 100, 100);
    ASSERT_TRUE(runMainUntil([&] { return desktop->window(window).has_value(); }));
    std::atomic<int> lost { 0 };
    desktop->setServerLostHandler([&] { ++lost; });
    session->stopServer();
    ASSERT_TRUE(runMainUntil([&] { return lost == 1; }));
    EXPECT_FALSE(desktop->isConnected());
    DesktopAXValue value;
    EXPECT_EQ(desktop->axCopyAttribute(element(window), "AXTitle", value), kAXErrorCannotComplete);
    EXPECT_FALSE(desktop->captureWindow(window));
}

// The server's errors of this process's requests are told, once per kind
// (here: a window of a depth the screen lacks, asked twice); one about a
// window that went away between two requests is expected and not told.
TEST_F(X11DesktopTest, TheServersErrorsAreToldOnceExceptThoseOfAWindowThatWentAway)
{
    LogCapture log;
    auto* c = desktop->connection().connection();
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    for (int i = 0; i < 2; ++i)
        xcb_create_window(c, 99, xcb_generate_id(c), root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
            XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_window_t gone = xcb_generate_id(c);
    xcb_create_window(c, 0, gone, root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_destroy_window(c, gone);
    xcb_map_window(c, gone);
    // Last, an error of another kind: once it is told, the others were read.
    xcb_delete_property(c, root, XCB_ATOM_NONE);
    xcb_flush(c);
    ASSERT_TRUE(runMainUntil([&] { return log.contains("BadAtom to request 19 "); })) << ::testing::PrintToString(log.lines());
    EXPECT_EQ(log.count("to request 1 ("), 1u) << ::testing::PrintToString(log.lines());
    EXPECT_FALSE(log.contains("BadWindow"));
}

TEST(X11DesktopConnect, NamesWhatIsMissing)
{
    std::string error;
    EXPECT_FALSE(X11Desktop::connect(":7531", &error));
    EXPECT_EQ(error, "cannot open the X display \":7531\"");

    X11Session::Options bare;
    bare.windowManager = false;
    auto session = X11Session::start(bare, &error);
    ASSERT_TRUE(session) << error;
    EXPECT_FALSE(X11Desktop::connect(session->display(), &error));
    EXPECT_NE(error.find("no window manager is running on the X display \"" + session->display() + "\""), std::string::npos)
        << error;
}

TEST_F(X11DesktopTest, WhatLiesBeneathAnOwnWindowIsReadFromTheScreenUntilTheWindowIsUp)
{
    auto red = client->open("Red beneath", 0xff0000, 50, 50, 300, 200);
    auto blue = client->open("Blue beneath", 0x0000ff, 200, 100, 300, 200);
    ASSERT_TRUE(red && blue);
    CGWindowID number = registerGreenPanel(*desktop, CGRectMake(100, 80, 200, 100));
    // Where the window manager put them: a point of red left of blue, and
    // blue's middle. A window can be listed before the window manager has
    // placed its frame, so the test waits for the places to settle.
    CGRect redFrame, blueFrame;
    ASSERT_TRUE(runMainUntil([&] {
        if (!desktop->window(red) || !desktop->window(blue))
            return false;
        redFrame = desktop->window(red)->frame;
        blueFrame = desktop->window(blue)->frame;
        return redFrame.origin.x + 10 < blueFrame.origin.x;
    })) << "red at " << redFrame.origin.x << ", blue at " << blueFrame.origin.x;
    const CGRect area = CGRectMake(40, 40, 400, 300);
    int redX = int(redFrame.origin.x) + 10 - 40, redY = int(redFrame.origin.y) + 10 - 40;
    int blueX = int(CGRectGetMidX(blueFrame)) - 40, blueY = int(CGRectGetMidY(blueFrame)) - 40;
    std::optional<DesktopImage> beneath;
    // The clients draw once they are mapped.
    ASSERT_TRUE(runMainUntil([&] {
        beneath = desktop->captureBelowOwnWindow(number, area);
        return beneath && pixel(*beneath, redX, redY) == 0xff0000u && pixel(*beneath, blueX, blueY) == 0x0000ffu;
    }));
    EXPECT_EQ(beneath->width, 400);
    EXPECT_EQ(beneath->height, 300);
    // Past the screen's edge the picture is the dark of an empty desktop.
    auto corner = desktop->captureBelowOwnWindow(number, CGRectMake(-20, -20, 100, 100));
    ASSERT_TRUE(corner);
    EXPECT_EQ(pixel(*corner, 5, 5), 0x0d0d0du);
    // Asked shrunk, the answer is the full picture averaged in blocks, to
    // the byte (partial blocks at the right and bottom, across the edges of
    // the windows and of the screen), opaque. (Read again until the screen
    // stood still around the shrunk read: the window manager may still draw.)
    for (CGRect odd : { CGRectMake(37, 41, 403, 298), CGRectMake(-9, -6, 103, 90) }) {
        for (int factor : { 4, 7 }) {
            std::optional<DesktopImage> full, shrunk;
            ASSERT_TRUE(runMainUntil([&] {
                full = desktop->captureBelowOwnWindow(number, odd);
                shrunk = desktop->captureBelowOwnWindow(number, odd, factor);
                auto after = desktop->captureBelowOwnWindow(number, odd);
                return full && shrunk && after && after->rgba == full->rgba;
            }));
            DesktopImage averaged;
            averaged.width = (full->width + factor - 1) / factor;
            averaged.height = (full->height + factor - 1) / factor;
            averaged.rgba.resize(size_t(averaged.width) * averaged.height * 4);
            averagePixelBlocks(full->rgba.data(), full->width, full->height, size_t(full->width) * 4, factor,
                averaged.rgba.data(), size_t(averaged.width) * 4);
            EXPECT_EQ(shrunk->width, averaged.width) << factor;
            EXPECT_EQ(shrunk->height, averaged.height) << factor;
            EXPECT_TRUE(shrunk->rgba == averaged.rgba) << "shrunk by " << factor << " at " << odd.origin.x;
        }
    }
    // Once the window is up the screen shows it, not what lies beneath.
    desktop->orderOwnWindow(number, true);
    EXPECT_FALSE(desktop->captureBelowOwnWindow(number, area));
    EXPECT_FALSE(desktop->captureBelowOwnWindow(red, area)) << "not one of this process's windows";
    desktop->removeOwnWindow(number);
}

// A capture shows what the window shows now: a redraw while another window
// has the focus reaches the next capture. A minimised window keeps the last
// picture read while it was mapped (one never read has none), and one asked
// to come back is read as soon as the window manager maps it again.
TEST_F(X11DesktopTest, CapturesFollowRedrawsAndKeepTheLastPictureWhileMinimised)
{
    auto one = client->open("One", 0xff0000, 40, 60, 300, 200);
    auto two = client->open("Two", 0x00ff00, 400, 60, 300, 200);
    auto never = client->open("Never read", 0x0000ff, 700, 60, 200, 100);
    ASSERT_TRUE(one && two && never);
    ASSERT_TRUE(runMainUntil([&] { return desktop->window(one) && desktop->window(two) && desktop->window(never); }));
    auto image = desktop->captureWindow(one);
    ASSERT_TRUE(image);
    EXPECT_EQ(pixel(*image, 10, 10), 0xff0000u);
    ASSERT_EQ(desktop->axSetAttribute(element(two), "AXMain", true), kAXErrorSuccess);
    ASSERT_TRUE(client->paint(one, 0xffff00));
    EXPECT_TRUE(runMainUntil([&] {
        auto again = desktop->captureWindow(one);
        return again && pixel(*again, 10, 10) == 0xffff00u;
    })) << "the redraw reaches the capture";

    for (auto w : { one, never })
        ASSERT_EQ(desktop->axSetAttribute(element(w), "AXMinimized", true), kAXErrorSuccess);
    ASSERT_TRUE(runMainUntil([&] { return desktop->window(one)->minimized && desktop->window(never)->minimized; }));
    image = desktop->captureWindow(one);
    ASSERT_TRUE(image) << "a minimised window answers with its last picture";
    EXPECT_EQ(image->width, 300);
    EXPECT_EQ(pixel(*image, 10, 10), 0xffff00u);
    EXPECT_FALSE(desktop->captureWindow(never)) << "nothing was read while it was mapped";

    // Asked to come back, the window is read once mapped, not before.
    ASSERT_EQ(desktop->axSetAttribute(element(never), "AXMinimized", false), kAXErrorSuccess);
    image = desktop->captureWindow(never);
    ASSERT_TRUE(image) << "the capture waits for the window to be mapped";
    EXPECT_EQ(pixel(*image, 199, 99), 0x0000ffu);
}

// A panel that maps is sent once: the exposure of its map is covered by the
// frame painted after it. A panel that goes uncovers the windows beneath it
// without changing their pixels (the server reports them damaged all the
// same): their captures stay valid, while a window that really draws again
// is read again.
TEST_F(X11DesktopTest, AMappedPanelIsSentOnceAndWhatItUncoversIsNotReadAgainUnlessItDraws)
{
    auto red = client->open("Under the panel", 0xff0000, 60, 60, 300, 200);
    // Focused, away from the panel: the window that is activated again when
    // the panel goes (and may draw then).
    auto focused = client->open("Focused", 0x0000ff, 700, 60, 200, 100);
    ASSERT_TRUE(red && focused);
    ASSERT_TRUE(runMainUntil([&] { return desktop->window(red) && desktop->window(focused); }));
    ASSERT_EQ(desktop->axSetAttribute(element(focused), "AXMain", true), kAXErrorSuccess);
    DesktopAXValue value;
    ASSERT_TRUE(runMainUntil([&] {
        return desktop->axCopyAttribute(element(focused), "AXFocused", value) == kAXErrorSuccess && std::get<bool>(value);
    }));
    ASSERT_TRUE(runMainUntil([&] {
        auto image = desktop->captureWindow(red);
        return image && pixel(*image, 150, 100) == 0xff0000u;
    }));
    // The event thread has handled everything the server sent before it
    // announces a new title.
    std::mutex titleMutex;
    std::string announced;
    auto token = desktop->subscribe([&](const DesktopEvent& e) {
        if (e.kind != DesktopEvent::Kind::AXNotification || e.notification != "AXTitleChanged")
            return;
        auto w = desktop->window(focused);
        std::lock_guard lock(titleMutex);
        announced = w ? w->title.value_or("") : "";
    });
    int settles = 0;
    auto settle = [&] {
        std::string title = "Settled " + std::to_string(++settles);
        return client->setTitle(focused, title) && runMainUntil([&] {
            std::lock_guard lock(titleMutex);
            return announced == title;
        });
    };
    CGWindowID number = registerGreenPanel(*desktop, CGRectMake(40, 40, 400, 300));
    ASSERT_TRUE(settle());
    ASSERT_TRUE(desktop->captureWindow(red));
    uint64_t paints = desktop->ownWindowPaintCount();
    desktop->orderOwnWindow(number, true);
    ASSERT_TRUE(runMainUntil([&] { return desktop->ownWindowPaintCount() > paints; }));
    ASSERT_TRUE(settle());
    EXPECT_EQ(desktop->ownWindowPaintCount(), paints + 1) << "the map's exposure sent the panel again";

    auto reads = desktop->captureReads();
    ASSERT_TRUE(desktop->captureWindow(red));
    desktop->removeOwnWindow(number);
    ASSERT_TRUE(settle());
    auto image = desktop->captureWindow(red);
    ASSERT_TRUE(image);
    EXPECT_EQ(pixel(*image, 150, 100), 0xff0000u);
    auto after = desktop->captureReads();
    EXPECT_EQ(after.shared + after.direct, reads.shared + reads.direct) << "read again after the panel went";

    ASSERT_TRUE(client->paint(red, 0xffff00));
    EXPECT_TRUE(runMainUntil([&] {
        auto again = desktop->captureWindow(red);
        return again && pixel(*again, 150, 100) == 0xffff00u;
    })) << "a redraw reaches the capture";
}

// A panel ordered in is mapped once the main thread's current work is done;
// one taken away before then never shows, and the keyboard it asked for is
// let go, while the next panel is mapped, painted and given the keyboard.
// A panel is mapped as soon as it is ordered in, so that the server's share
// of the map is done while its frame is finished; until that frame is
// painted the screen shows what lay beneath the panel, never an empty
// window.
TEST_F(X11DesktopTest, APanelIsMappedWhenOrderedInAndShowsWhatLayBeneathUntilItsFrameIsPainted)
{
    auto red = client->open("Red under the panel", 0xff0000, 50, 50, 300, 200);
    ASSERT_TRUE(red);
    CGRect frame;
    int x = 0, y = 0;
    const std::array<int, 3> redPixel { 255, 0, 0 }, greenPixel { 0, 255, 0 };
    ASSERT_TRUE(runMainUntil([&] {
        if (!desktop->window(red))
            return false;
        frame = desktop->window(red)->frame;
        x = int(frame.origin.x) + 40, y = int(frame.origin.y) + 40;
        return serverPixel(rootWindow(), x, y) == redPixel;
    }));
    uint64_t paints = desktop->ownWindowPaintCount();
    CGWindowID panel = registerGreenPanel(*desktop, CGRectMake(frame.origin.x + 20, frame.origin.y + 20, 120, 80));
    desktop->orderOwnWindow(panel, true);
    auto* c = desktop->connection().connection();
    std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&free)> attributes(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, panel), nullptr), &free);
    ASSERT_TRUE(attributes);
    EXPECT_EQ(attributes->map_state, XCB_MAP_STATE_VIEWABLE);
    EXPECT_EQ(desktop->ownWindowPaintCount(), paints);
    EXPECT_EQ(serverPixel(rootWindow(), x, y), redPixel);
    ASSERT_TRUE(runMainUntil([&] { return desktop->ownWindowPaintCount() > paints; }));
    EXPECT_TRUE(runMainUntil([&] { return serverPixel(rootWindow(), x, y) == greenPixel; }));
    desktop->removeOwnWindow(panel);
}

// At the press of a grabbed key the screen beneath the last panel is asked
// for again: a read of the same area soon after takes those pixels; a read
// of another area, or one long after the press, reads the screen as it is.
TEST_F(X11DesktopTest, TheScreenReadAtAKeysPressServesOnlyTheSameAreaSoonAfter)
{
    auto red = client->open("Red beneath the press", 0xff0000, 50, 50, 300, 200);
    ASSERT_TRUE(red);
    CGRect frame;
    ASSERT_TRUE(runMainUntil([&] {
        if (!desktop->window(red))
            return false;
        frame = desktop->window(red)->frame;
        return serverPixel(rootWindow(), int(frame.origin.x) + 40, int(frame.origin.y) + 40) == std::array { 255, 0, 0 };
    }));
    const CGRect area = CGRectMake(frame.origin.x + 10, frame.origin.y + 10, 200, 120);
    const CGRect other = CGRectOffset(area, 30, 20);
    CGWindowID panel = registerGreenPanel(*desktop, area);
    auto press = [&] { return pressSwitcherHotKey(); };
    auto colourAt = [&](CGRect rect, int x, int y) {
        auto image = desktop->captureBelowOwnWindow(panel, rect);
        return image ? pixel(*image, x, y) : 0x123456u;
    };
    auto wait = [](double seconds) { runMainUntil([] { return false; }, seconds); };
    ASSERT_EQ(colourAt(area, 50, 50), 0xff0000u);

    // Soon after the press, the same area comes from the read at the press.
    auto before = desktop->captureReads().atPress;
    ASSERT_TRUE(press());
    EXPECT_TRUE(runMainUntil([&] { return colourAt(area, 50, 50) == 0xff0000u && desktop->captureReads().atPress > before; }));

    // Another area soon after the press: read as it is, and the press's
    // read is gone.
    before = desktop->captureReads().atPress;
    ASSERT_TRUE(press());
    wait(0.05);
    auto shifted = desktop->captureBelowOwnWindow(panel, other);
    ASSERT_TRUE(shifted);
    EXPECT_EQ(shifted->width, int(other.size.width));
    EXPECT_EQ(pixel(*shifted, 10, 10), 0xff0000u);
    EXPECT_EQ(colourAt(area, 50, 50), 0xff0000u);
    EXPECT_EQ(desktop->captureReads().atPress, before);

    // Long after the press the screen has changed: what it shows now.
    ASSERT_TRUE(press());
    wait(0.05);
    auto blue = client->open("Blue over the read", 0x0000ff, int(area.origin.x), int(area.origin.y), 250, 160);
    ASSERT_TRUE(blue);
    ASSERT_TRUE(runMainUntil([&] {
        return serverPixel(rootWindow(), int(area.origin.x) + 50, int(area.origin.y) + 50) == std::array { 0, 0, 255 };
    }));
    wait(0.3);
    before = desktop->captureReads().atPress;
    EXPECT_EQ(colourAt(area, 50, 50), 0x0000ffu);
    EXPECT_EQ(desktop->captureReads().atPress, before);
    desktop->removeOwnWindow(panel);
}

// The last panel's window is kept: the next press of a grabbed key maps it
// (the server clips the windows beneath while the panel is built), showing
// what lies beneath until the next panel takes it and paints; a press that
// brings no panel has it go down again, and a panel placed elsewhere takes
// it unmapped, to be mapped where it belongs.
TEST_F(X11DesktopTest, ThePanelsWindowIsKeptForTheNextAndMappedAtTheKeysPress)
{
    auto red = client->open("Red beneath the kept panel", 0xff0000, 50, 50, 300, 200);
    ASSERT_TRUE(red);
    CGRect frame;
    const std::array<int, 3> redPixel { 255, 0, 0 }, greenPixel { 0, 255, 0 };
    ASSERT_TRUE(runMainUntil([&] {
        if (!desktop->window(red))
            return false;
        frame = desktop->window(red)->frame;
        return serverPixel(rootWindow(), int(frame.origin.x) + 40, int(frame.origin.y) + 40) == redPixel;
    }));
    const CGRect area = CGRectMake(frame.origin.x + 20, frame.origin.y + 20, 120, 80);
    const int x = int(area.origin.x) + 30, y = int(area.origin.y) + 30;
    auto* c = desktop->connection().connection();
    auto mapState = [&](xcb_window_t window) {
        std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&free)> attributes(
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr), &free);
        return attributes ? attributes->map_state : -1;
    };
    auto show = [&](CGRect where) {
        uint64_t paints = desktop->ownWindowPaintCount();
        CGWindowID panel = registerGreenPanel(*desktop, where);
        desktop->orderOwnWindow(panel, true);
        EXPECT_TRUE(runMainUntil([&] { return desktop->ownWindowPaintCount() > paints; }));
        return panel;
    };
    auto press = [&] { return pressSwitcherHotKey(); };

    CGWindowID first = show(area);
    desktop->removeOwnWindow(first);
    ASSERT_TRUE(runMainUntil([&] { return mapState(first) == XCB_MAP_STATE_UNMAPPED; }));
    ASSERT_TRUE(press());
    ASSERT_TRUE(runMainUntil([&] { return mapState(first) == XCB_MAP_STATE_VIEWABLE; }));
    EXPECT_EQ(serverPixel(rootWindow(), x, y), redPixel) << "the kept window shows what lies beneath";
    uint64_t paints = desktop->ownWindowPaintCount();
    CGWindowID second = registerGreenPanel(*desktop, area);
    EXPECT_EQ(second, first);
    desktop->orderOwnWindow(second, true);
    EXPECT_EQ(desktop->ownWindowPaintCount(), paints);
    EXPECT_EQ(serverPixel(rootWindow(), x, y), redPixel);
    EXPECT_TRUE(runMainUntil([&] { return serverPixel(rootWindow(), x, y) == greenPixel; }));
    EXPECT_EQ(desktop->ownWindowPaintCount(), paints + 1) << "painted once, after the first frame was done";
    desktop->removeOwnWindow(second);

    // A press that brings no panel.
    ASSERT_TRUE(runMainUntil([&] { return mapState(first) == XCB_MAP_STATE_UNMAPPED; }));
    ASSERT_TRUE(press());
    ASSERT_TRUE(runMainUntil([&] { return mapState(first) == XCB_MAP_STATE_VIEWABLE; }));
    EXPECT_TRUE(runMainUntil([&] { return mapState(first) == XCB_MAP_STATE_UNMAPPED; }));
    // Another program's hotkey (a script's) maps nothing.
    desktop->setRegisteredHotKeys({ { 1, kVK_F5, 0, true, "a script's hotkey" } });
    ASSERT_TRUE(session->fakeKey(XK_F5, true) && session->fakeKey(XK_F5, false));
    runMainUntil([] { return false; }, 0.05);
    EXPECT_EQ(mapState(first), XCB_MAP_STATE_UNMAPPED);

    // A panel elsewhere, after a press: the kept window goes down before
    // it moves.
    ASSERT_TRUE(press());
    ASSERT_TRUE(runMainUntil([&] { return mapState(first) == XCB_MAP_STATE_VIEWABLE; }));
    CGRect elsewhere = CGRectOffset(area, 60, 40);
    CGWindowID third = registerGreenPanel(*desktop, elsewhere);
    EXPECT_EQ(third, first);
    EXPECT_EQ(mapState(third), XCB_MAP_STATE_UNMAPPED);
    paints = desktop->ownWindowPaintCount();
    desktop->orderOwnWindow(third, true);
    EXPECT_TRUE(runMainUntil([&] { return desktop->ownWindowPaintCount() > paints; }));
    EXPECT_TRUE(runMainUntil([&] {
        return serverPixel(rootWindow(), int(elsewhere.origin.x) + 100, int(elsewhere.origin.y) + 70) == greenPixel;
    }));
    desktop->removeOwnWindow(third);
}

// From a hotkey's press until the panel's first frame is on the server,
// captures wait, whether the window must be read or its picture is kept:
// the server and the processors serve the opening first.
TEST_F(X11DesktopTest, CapturesWaitForThePanelsFirstFrameWhetherReadOrKept)
{
    auto kept = client->open("Kept picture", 0xff0000, 50, 50, 200, 150);
    auto unread = client->open("Never read", 0x0000ff, 300, 50, 200, 150);
    ASSERT_TRUE(kept && unread);
    ASSERT_TRUE(runMainUntil([&] { return desktop->window(kept) && desktop->window(unread); }));
    const CGRect area = CGRectMake(100, 300, 120, 80);
    uint64_t paints = desktop->ownWindowPaintCount();
    CGWindowID last = registerGreenPanel(*desktop, area);
    desktop->orderOwnWindow(last, true);
    ASSERT_TRUE(runMainUntil([&] { return desktop->ownWindowPaintCount() > paints; }));
    desktop->removeOwnWindow(last);
    auto* c = desktop->connection().connection();
    auto viewable = [&] {
        std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&free)> attributes(
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, last), nullptr), &free);
        return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    };
    ASSERT_TRUE(runMainUntil([&] { return !viewable(); }));
    // Kept once the window has drawn: a capture that reads nothing.
    auto reads = [&] { return desktop->captureReads().shared + desktop->captureReads().direct; };
    ASSERT_TRUE(runMainUntil([&] {
        auto before = reads();
        return desktop->captureWindow(kept) && reads() == before;
    }));

    // The kept window mapped at the press says the desktop took the press.
    ASSERT_TRUE(pressSwitcherHotKey());
    ASSERT_TRUE(runMainUntil(viewable));
    auto pressed = std::chrono::steady_clock::now();
    CGWindowID panel = registerGreenPanel(*desktop, area);
    paints = desktop->ownWindowPaintCount();
    std::atomic<uint64_t> paintsSeen[2] { { 0 }, { 0 } };
    std::atomic<bool> done[2] { { false }, { false } };
    std::vector<std::thread> captures;
    for (int i : { 0, 1 }) {
        captures.emplace_back([&, i] {
            EXPECT_TRUE(desktop->captureWindow(i == 0 ? kept : unread));
            paintsSeen[i] = desktop->ownWindowPaintCount();
            done[i] = true;
        });
    }
    runMainUntil([] { return false; }, 0.03);
    // (An opening holds captures back 0.25 s at most: a machine that took
    // longer to get here says nothing.)
    bool timely = std::chrono::steady_clock::now() - pressed < std::chrono::milliseconds(200);
    if (timely) {
        EXPECT_FALSE(done[0]) << "a kept picture was handed out during the opening";
        EXPECT_FALSE(done[1]) << "a window was read during the opening";
    }
    desktop->orderOwnWindow(panel, true);
    EXPECT_TRUE(runMainUntil([&] { return done[0] && done[1]; }));
    for (auto& thread : captures)
        thread.join();
    if (timely) {
        EXPECT_GT(paintsSeen[0], paints);
        EXPECT_GT(paintsSeen[1], paints);
    }
    desktop->removeOwnWindow(panel);
}

TEST_F(X11DesktopTest, APanelTakenAwayBeforeItsMapNeverShowsAndLeavesTheKeyboardFree)
{
    uint64_t paints = desktop->ownWindowPaintCount();
    CGWindowID gone = registerGreenPanel(*desktop, CGRectMake(40, 40, 200, 100));
    desktop->orderOwnWindow(gone, true);
    desktop->removeOwnWindow(gone);
    CGWindowID next = registerGreenPanel(*desktop, CGRectMake(60, 60, 200, 100));
    desktop->orderOwnWindow(next, true);
    ASSERT_TRUE(runMainUntil([&] { return desktop->ownWindowPaintCount() > paints; }));
    EXPECT_EQ(desktop->ownWindowPaintCount(), paints + 1);
    EXPECT_TRUE(desktop->isKeyboardGrabbed());
    auto* c = desktop->connection().connection();
    std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&free)> shown(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, next), nullptr), &free);
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->map_state, XCB_MAP_STATE_VIEWABLE);

    desktop->removeOwnWindow(next);
    CGWindowID last = registerGreenPanel(*desktop, CGRectMake(80, 80, 200, 100));
    desktop->orderOwnWindow(last, true);
    desktop->removeOwnWindow(last);
    ASSERT_TRUE(runMainUntil([&] { return !desktop->isKeyboardGrabbed(); }));
    // A request answered after whatever the taken-away panel left queued.
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    RunLoop::main().runUntilIdle();
    EXPECT_FALSE(desktop->isKeyboardGrabbed()) << "the answer to a grab of a panel that never showed took the keyboard";
    EXPECT_EQ(desktop->ownWindowPaintCount(), paints + 1);
}

// What the X11 desktop makes of the windows a person has: windows of every
// desktop (workspace), reached from another one; the order of use the window
// manager changes on a switch of desktop; clients that do not say their
// process; titles in the older encodings; the applications' own icons.
#include "X11ApplicationTest.h"

#include <appkit/NSRunningApplication.h>
#include <desktop/x11/X11Connection.h>
#include <desktop/x11/X11Text.h>
#include <graphics/NSImage.h>
#include <graphics/NSImageRep.h>
#include <model/SWApplication.h>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

class X11Windows : public X11ApplicationTest {
protected:
    std::vector<std::string> titlesInOrder() const
    {
        std::vector<std::string> titles;
        for (const auto& w : desktop->windows())
            if (w.pid == client->pid())
                titles.push_back(w.title.value_or("(none)"));
        return titles;
    }
    // Asks the window manager for another desktop, as a pager does.
    void switchDesktop(uint32_t desktopNumber) const
    {
        auto* c = desktop->connection().connection();
        xcb_client_message_event_t message {};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = rootWindow();
        message.type = atom("_NET_CURRENT_DESKTOP");
        message.data.data32[0] = desktopNumber;
        xcb_send_event(c, 0, rootWindow(), XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
            reinterpret_cast<const char*>(&message));
        xcb_flush(c);
    }
    std::vector<DesktopElement> axWindows(pid_t pid) const
    {
        DesktopAXValue value;
        if (desktop->axCopyAttribute({ DesktopElement::Kind::Application, pid, 0 }, "AXWindows", value) != kAXErrorSuccess)
            return {};
        return std::get<std::vector<DesktopElement>>(value);
    }

};

}

// A window on the second desktop is among its application's windows while
// the first is shown; focusing it goes to its desktop and activates it.
// Then the window manager's own change of the active window on a switch of
// desktop moves the window it activates to the front of the order at once.
TEST_F(X11Windows, AWindowOnAnotherDesktopIsListedAndReachedAndTheOrderFollowsTheWindowManager)
{
    auto here = client->open("Here", 0xff0000, 40, 60, 300, 200);
    auto away = client->open("Away", 0x00ff00, 400, 60, 300, 200);
    ASSERT_TRUE(here && away);
    // The desktop reads a new window's properties before it lists it.
    ASSERT_TRUE(runMainUntil([&] { return desktop->window(away).has_value(); }));
    ASSERT_TRUE(desktop->moveWindowToSpace(away, 2));
    ASSERT_TRUE(runMainUntil([&] { return desktop->window(away) && desktop->window(away)->space == 2u; }));
    ASSERT_EQ(desktop->axSetAttribute({ DesktopElement::Kind::Window, client->pid(), here }, "AXMain", true), kAXErrorSuccess);
    ASSERT_TRUE(runMainUntil([&] { return activeWindow() == here; }));
    EXPECT_EQ(desktop->activeSpace(), 1u);
    EXPECT_EQ(axWindows(client->pid()).size(), 2u) << "the window on the second desktop is listed too";
    EXPECT_FALSE(desktop->window(away)->onScreen);

    ASSERT_EQ(desktop->axSetAttribute({ DesktopElement::Kind::Window, client->pid(), away }, "AXMain", true), kAXErrorSuccess);
    ASSERT_TRUE(runMainUntil([&] { return desktop->activeSpace() == 2u && activeWindow() == away; }))
        << "desktop " << desktop->activeSpace() << ", active " << activeWindow();
    ASSERT_TRUE(runMainUntil([&] { return titlesInOrder() == std::vector<std::string> { "Away", "Here" }; }));
    EXPECT_TRUE(desktop->window(away)->onScreen);

    // Back on the first desktop the window manager activates the window it
    // left there; nothing raised it, yet it is the most recent one now.
    switchDesktop(0);
    ASSERT_TRUE(runMainUntil([&] { return desktop->activeSpace() == 1u && activeWindow() == here; }));
    EXPECT_TRUE(runMainUntil([&] { return titlesInOrder() == std::vector<std::string> { "Here", "Away" }; }))
        << ::testing::PrintToString(titlesInOrder());
}

// xcalc, xeyes and Tk programs set no _NET_WM_PID: the server says which
// process made the window.
TEST_F(X11Windows, AClientWithoutAProcessPropertyIsListedAsItsProcess)
{
    auto bare = client->openWithoutPid("No pid", 0x336699, 40, 60, 200, 100);
    ASSERT_TRUE(bare);
    ASSERT_TRUE(runMainUntil([&] { return desktop->window(bare).has_value(); }));
    EXPECT_EQ(desktop->window(bare)->pid, client->pid());
    ASSERT_TRUE(desktop->application(client->pid()));
    EXPECT_EQ(desktop->application(client->pid())->name, "QvTestClient");
    EXPECT_EQ(axWindows(client->pid()).size(), 1u);
}

// The title as xterm writes it for "Ünïcødé — 日本語" (Latin-1 on the right
// half, a UTF-8 segment, JIS X 0208), and Latin-1 with control characters.
TEST_F(X11Windows, OlderTitleEncodingsAreDecodedAndControlCharactersKeptOut)
{
    auto window = client->open("Plain", 0x202020, 10, 10, 100, 100);
    ASSERT_TRUE(runMainUntil([&] { return desktop->window(window).has_value(); }));
    const std::string xterm = "\xdc\x6e\xef\x63\xf8\x64\xe9\x20\x1b\x25\x47\xe2\x80\x94\x1b\x25\x40\x20\x1b\x24\x28\x42"
                              "\x46\x7c\x4b\x5c\x38\x6c";
    ASSERT_TRUE(client->setOldTitle(window, "COMPOUND_TEXT", xterm));
    EXPECT_TRUE(runMainUntil([&] { return desktop->window(window)->title == "Ünïcødé — 日本語"; }))
        << desktop->window(window)->title.value_or("(none)");
    ASSERT_TRUE(client->setOldTitle(window, "STRING", "caf\xe9\x1b[2J\x07\tend\n"));
    EXPECT_TRUE(runMainUntil([&] { return desktop->window(window)->title == "café[2J end "; }))
        << desktop->window(window)->title.value_or("(none)");
}

TEST(X11Text, CompoundTextSwitchesCharacterSetsAndSegments)
{
    auto decode = [](const std::string& bytes, size_t limit = X11Text::kMaxTitleBytes) {
        return X11Text::fromCompoundText(bytes.data(), bytes.size(), limit);
    };
    // The right half: Latin-2, then the katakana of JIS X 0201.
    EXPECT_EQ(decode("\x1b-B\xb1 \x1b)I\xb1"), "ą ｱ");
    // Two-byte sets on either half: GB 2312 on the right, KS C 5601 on the
    // left, and ASCII again after it.
    EXPECT_EQ(decode("\x1b$)A\xd6\xd0\x1b$(C\x30\x21\x1b(Bok"), "中가ok");
    // An extended segment in two-byte ISO 10646, then compound text again.
    EXPECT_EQ(decode(std::string("\x1b%/2\x80\x8fiso10646-1\x02\x00\xe9\x30\x42", 21) + "!"), "éあ!");
    // Directions and control characters show nothing; a lone second byte of
    // a two-byte set is a replacement; a cut text ends in an ellipsis.
    EXPECT_EQ(decode("a\x9b" "1]b\x9b]\x1b[31m\x01z"), "ab31mz");
    EXPECT_EQ(decode("\x1b$(B\x46"), "\xEF\xBF\xBD");
    EXPECT_EQ(decode("\x1b%G\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e", 8), "日\xE2\x80\xA6");
    // Malformed UTF-8 in a segment is repaired like any UTF-8 title.
    EXPECT_EQ(decode("\x1b%G\xff\x1b%@x"), "\xEF\xBF\xBDx");
}

// The application's icon is its window's _NET_WM_ICON, each size a
// representation: a small drawing takes the small image, a large one the
// large image.
TEST_F(X11Windows, TheApplicationsIconIsItsWindowsOwnIconAtTheNearestSize)
{
    auto window = client->open("Iconic", 0x202020, 10, 10, 100, 100);
    ASSERT_TRUE(window);
    ASSERT_TRUE(client->setIcon(window, { { 16, 16, 0xff0000 }, { 64, 64, 0x0000ff } }));
    ASSERT_TRUE(runMainUntil([&] {
        auto app = desktop->application(client->pid());
        return app && app->icons && app->icons->size() == 2;
    }));
    auto running = NSRunningApplication::runningApplicationWithProcessIdentifier(client->pid());
    ASSERT_TRUE(running);
    auto icon = SWApplication::applicationWithRunningApplication(running)->icon();
    ASSERT_TRUE(icon);
    ASSERT_EQ(icon->representations().size(), 2u);
    EXPECT_EQ(icon->bestRepresentationForRect(CGRectMake(0, 0, 16, 16))->pixelsWide(), 16);
    EXPECT_EQ(icon->bestRepresentationForRect(CGRectMake(0, 0, 48, 48))->pixelsWide(), 64);
    // The colour is the image's own (premultiplied where it is opaque).
    EXPECT_EQ(desktop->application(client->pid())->icons->front().rgba[0], 255);
    EXPECT_EQ(desktop->application(client->pid())->iconColor, 0xff0000u);
}

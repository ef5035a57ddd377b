// The application's life on a real X11 session: a signal ends it from a
// modal window's run, and the addresses it opens go to the desktop's own
// opener.
#include "X11ApplicationTest.h"

#include <support/TemporaryDirectory.h>

#include <appkit/NSApplication.h>
#include <appkit/NSWindow.h>
#include <appkit/NSWorkspace.h>
#include <command/TerminationSignals.h>
#include <foundation/Log.h>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

class X11ApplicationLife : public X11ApplicationTest { };

// SIGTERM while a modal window is up on the server: the modal run ends, and
// so does every run around it, at once; the main run loop then returns
// straight away instead of spinning on a stop it cannot take.
TEST_F(X11ApplicationLife, SIGTERMDuringAModalWindowEndsEveryRunOfTheApplication)
{
    TerminationSignals signals([](int) { NSApp().terminate(nullptr); });
    auto window = makeRef<NSWindow>(CGRectMake(200, 200, 320, 160), NSWindowStyleMaskTitled);
    window->setTitle("Modal");
    // The signal comes once the modal run has begun; should it not end
    // the run, the run is aborted after a while so that the test fails
    // instead of hanging.
    bool shown = false;
    RunLoop::main().perform(
        [&] {
            shown = desktop->window(static_cast<CGWindowID>(window->windowNumber())).has_value();
            ::kill(::getpid(), SIGTERM);
        },
        NSModalPanelRunLoopMode);
    constexpr double kGiveUpSeconds = 5;
    auto giveUp = RunLoop::main().performAfterDelay(this, "abort", kGiveUpSeconds, [] { NSApp().abortModal(); },
        { NSModalPanelRunLoopMode });
    double before = SystemClock().now();
    EXPECT_EQ(NSApp().runModalForWindow(window), NSModalResponseAbort);
    EXPECT_LT(SystemClock().now() - before, kGiveUpSeconds) << "the signal ended the modal run";
    EXPECT_TRUE(shown) << "the modal window is a window of the X11 desktop";
    EXPECT_TRUE(NSApp().hasTerminated());
    EXPECT_TRUE(RunLoop::main().hasEnded());
    RunLoop::main().run();
    EXPECT_LT(SystemClock().now() - before, kGiveUpSeconds) << "the main run ended with it";
    giveUp->invalidate();
    window->close();
}

// On X11 an address opens with xdg-open; without it the address is not
// opened and the log says why.
TEST_F(X11ApplicationLife, AddressesOpenWithTheDesktopsOpenerAndItsAbsenceIsReported)
{
    TemporaryDirectory bin;
    // The stand-in writes what it was given into a pipe that the test
    // reads as it comes.
    std::string opened = bin.file("opened");
    ASSERT_EQ(::mkfifo(opened.c_str(), 0600), 0);
    int reader = ::open(opened.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    {
        std::ofstream opener(bin.file("xdg-open"));
        opener << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << opened << "'\n";
    }
    std::filesystem::permissions(bin.file("xdg-open"), std::filesystem::perms::owner_all);
    std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", (bin.path() + ":" + path).c_str(), 1);
    const std::string address = "https://quorvex.example.org/apps?a=1&b=2";
    EXPECT_TRUE(NSWorkspace::sharedWorkspace().openURL(address));
    std::string given;
    pollfd p { reader, POLLIN, 0 };
    while (given.find('\n') == std::string::npos && ::poll(&p, 1, 5000) > 0) {
        char chunk[256];
        ssize_t n = ::read(reader, chunk, sizeof chunk);
        if (n <= 0)
            break;
        given.append(chunk, n);
    }
    ::close(reader);
    EXPECT_EQ(given, address + "\n");

    ::setenv("PATH", bin.file("nothing-here").c_str(), 1);
    LogCapture log;
    EXPECT_FALSE(NSWorkspace::sharedWorkspace().openURL(address));
    ::setenv("PATH", path.c_str(), 1);
    EXPECT_TRUE(log.contains("Cannot open " + address + ": the desktop's opener xdg-open is not installed")) << log.lines().size();
}

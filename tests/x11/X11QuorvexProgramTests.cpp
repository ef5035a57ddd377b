// `quorvex --x11` itself, run as a person starts it, on a private Xvfb
// session: the keys typed through XTest switch a test client's windows, a
// signal ends the run cleanly with the settings whole, and a window manager
// that cannot serve is named. What the program does is seen from outside,
// through the X server: the panel's window, the window manager's active
// window, the exit status.
#include <support/ChildEnvironment.h>
#include <support/TemporaryDirectory.h>
#include <support/X11Session.h>

#include <desktop/DesktopEntry.h>
#include <foundation/Clock.h>
#include <foundation/NSURL.h>
#include <foundation/NSUserDefaults.h>
#include <model/DefaultsKeys.h>
#include <services/LSSharedFileList.h>

#include <X11/keysym.h>
#include <xcb/xcb.h>
#include <xcb/xproto.h>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr double kStepSeconds = 10;

int millisecondsUntil(double deadline)
{
    double left = deadline - SystemClock().now();
    return left <= 0 ? 0 : static_cast<int>(left * 1000) + 1;
}

std::string readAll(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The program in a process of its own on the session's display, with the
// settings in the given folder; its standard output comes through a pipe,
// its errors go to a file. Killed when the test ends without stopping it.
class QuorvexProcess {
public:
    // The arguments start with the program; by default it is started with
    // --x11 and an --out folder in the work folder.
    QuorvexProcess(const std::string& display, const std::string& configDirectory, const std::string& workDirectory,
        std::vector<std::string> args = {})
        : m_errorFile(workDirectory + "/stderr")
    {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0)
            return;
        if (args.empty())
            args = { QV_QUORVEX_PROGRAM, "--x11", "--out", workDirectory + "/out" };
        auto env = childEnvironment({ "DISPLAY=" + display, "XDG_CONFIG_HOME=" + configDirectory, "HOME=" + workDirectory });
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        auto envp = environmentPointers(env);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&files, out[1], 1);
        posix_spawn_file_actions_addopen(&files, 2, m_errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (posix_spawn(&m_pid, argv[0], &files, nullptr, argv.data(), envp.data()) != 0)
            m_pid = 0;
        posix_spawn_file_actions_destroy(&files);
        ::close(out[1]);
        m_out = out[0];
    }
    ~QuorvexProcess()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_out >= 0)
            ::close(m_out);
    }

    pid_t pid() const { return m_pid; }
    std::string errors() const { return readAll(m_errorFile); }
    const std::string& output() const { return m_output; }

    // Reads the standard output until a line starts with the text.
    bool waitForLine(const std::string& start, double timeoutSeconds = kStepSeconds)
    {
        double deadline = SystemClock().now() + timeoutSeconds;
        size_t from = 0;
        for (;;) {
            for (size_t end; (end = m_output.find('\n', from)) != std::string::npos; from = end + 1)
                if (m_output.compare(from, start.size(), start) == 0)
                    return true;
            pollfd p { m_out, POLLIN, 0 };
            if (poll(&p, 1, millisecondsUntil(deadline)) <= 0)
                return false;
            char chunk[4096];
            ssize_t n = read(m_out, chunk, sizeof chunk);
            if (n <= 0)
                return false;
            m_output.append(chunk, n);
        }
    }

    // Waits for the process to end; its exit status, or -1 when it did not
    // end in time or ended by a signal.
    int waitForExit(double timeoutSeconds = kStepSeconds)
    {
        if (m_pid <= 0)
            return -1;
        int fd = static_cast<int>(syscall(SYS_pidfd_open, m_pid, 0));
        if (fd < 0)
            return -1;
        pollfd p { fd, POLLIN, 0 };
        bool ended = poll(&p, 1, static_cast<int>(timeoutSeconds * 1000)) > 0;
        ::close(fd);
        if (!ended)
            return -1;
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    void signal(int number) { ::kill(m_pid, number); }

private:
    pid_t m_pid { 0 };
    int m_out { -1 };
    std::string m_errorFile;
    std::string m_output;
};

// A connection of the test's own that watches the root window: windows
// mapped and destroyed on it, and its properties.
class RootWatcher {
public:
    explicit RootWatcher(const std::string& display)
        : m_connection(xcb_connect(display.c_str(), nullptr))
    {
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &mask);
        free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    }
    ~RootWatcher() { xcb_disconnect(m_connection); }

    xcb_connection_t* connection() const { return m_connection; }
    xcb_window_t root() const { return m_root; }

    xcb_atom_t atom(const char* name)
    {
        auto* reply = xcb_intern_atom_reply(m_connection, xcb_intern_atom(m_connection, 0, strlen(name), name), nullptr);
        xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        free(reply);
        return atom;
    }
    // The first 32-bit value of a window's property, or 0.
    uint32_t cardinal(xcb_window_t window, const char* name)
    {
        auto* reply = xcb_get_property_reply(m_connection,
            xcb_get_property(m_connection, 0, window, atom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, 1), nullptr);
        uint32_t value = reply && reply->format == 32 && xcb_get_property_value_length(reply) >= 4
            ? *static_cast<uint32_t*>(xcb_get_property_value(reply))
            : 0;
        free(reply);
        return value;
    }
    uint32_t activeWindow() { return cardinal(m_root, "_NET_ACTIVE_WINDOW"); }
    // The window manager's clients that belong to the process.
    std::vector<xcb_window_t> clientsOf(pid_t pid)
    {
        auto* reply = xcb_get_property_reply(m_connection,
            xcb_get_property(m_connection, 0, m_root, atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, 0, 1024), nullptr);
        std::vector<xcb_window_t> windows;
        if (reply && reply->format == 32) {
            auto* all = static_cast<xcb_window_t*>(xcb_get_property_value(reply));
            for (int i = 0; i < xcb_get_property_value_length(reply) / 4; ++i)
                if (cardinal(all[i], "_NET_WM_PID") == uint32_t(pid))
                    windows.push_back(all[i]);
        }
        free(reply);
        return windows;
    }

    // Hands every event to the handler until the predicate holds, within
    // the time-out; the predicate is asked first and after each event.
    bool waitUntil(const std::function<bool()>& predicate, const std::function<void(xcb_generic_event_t*)>& handler = {},
        double timeoutSeconds = kStepSeconds)
    {
        double deadline = SystemClock().now() + timeoutSeconds;
        while (!predicate()) {
            xcb_generic_event_t* event = xcb_poll_for_event(m_connection);
            if (!event) {
                pollfd p { xcb_get_file_descriptor(m_connection), POLLIN, 0 };
                if (poll(&p, 1, millisecondsUntil(deadline)) <= 0 || xcb_connection_has_error(m_connection))
                    return predicate();
                continue;
            }
            if (handler)
                handler(event);
            free(event);
        }
        return true;
    }

private:
    xcb_connection_t* m_connection;
    xcb_window_t m_root;
};

class X11QuorvexProgram : public ::testing::Test {
protected:
    // The program's log lines are fine; a lost server or a hotkey it could
    // not take is not.
    static void expectNoFault(const std::string& errors)
    {
        EXPECT_EQ(errors.find("lost"), std::string::npos) << errors;
        EXPECT_EQ(errors.find("held by another program"), std::string::npos) << errors;
    }
    std::string settingsFile() const { return config.path() + "/quorvex/defaults.plist"; }
    // A settings file whole after the runs: it holds the theme chosen
    // before them and the first launch's settings, and nothing was left
    // beside it (no unfinished write, no unreadable file moved aside).
    void expectSettingsWhole(int64_t earlierTheme) const
    {
        auto kept = NSUserDefaults::defaultsWithFile(settingsFile());
        EXPECT_EQ(kept->integerForKey(DefaultsKey::ThemeIndex), earlierTheme);
        EXPECT_TRUE(kept->boolForKey(DefaultsKey::KeyboardShotcuts));
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(config.path() + "/quorvex"))
            files.push_back(entry.path().filename().string());
        EXPECT_EQ(files, std::vector<std::string> { "defaults.plist" });
    }

    TemporaryDirectory config;
    TemporaryDirectory work;
};

}

TEST_F(X11QuorvexProgram, SuperTabADigitAndTheReleaseSwitchWindowsAndASignalEndsTheRunWithTheSettingsKept)
{
    std::string error;
    auto session = X11Session::start(&error);
    ASSERT_TRUE(session) << error;
    RootWatcher watcher(session->display());
    auto client = session->launchClient();
    ASSERT_TRUE(client);
    uint32_t one = client->open("One", 0xff0000, 40, 60, 300, 200);
    ASSERT_TRUE(one && client->open("Two", 0x00ff00, 400, 60, 300, 200));
    uint32_t three = client->open("Three", 0x0000ff, 200, 300, 300, 200);
    ASSERT_TRUE(three);
    ASSERT_TRUE(watcher.waitUntil([&] { return watcher.activeWindow() == three; }));

    // A setting of an earlier run, which the program must keep.
    {
        std::filesystem::create_directories(config.path() + "/quorvex");
        auto earlier = NSUserDefaults::defaultsWithFile(settingsFile());
        earlier->setInteger(2, DefaultsKey::ThemeIndex);
        ASSERT_TRUE(earlier->synchronize());
    }

    {
        QuorvexProcess quorvex(session->display(), config.path(), work.path());
        ASSERT_GT(quorvex.pid(), 0);
        ASSERT_TRUE(quorvex.waitForLine("Quorvex is running on X11")) << quorvex.output() << quorvex.errors();
        EXPECT_NE(quorvex.output().find("\"Three\""), std::string::npos) << quorvex.output();

        // The panel is a window of the program's own, mapped over the
        // others; by the time it shows the keyboard is the program's, so
        // the digit typed next cannot reach the user's window.
        xcb_window_t panel = XCB_WINDOW_NONE;
        bool panelGone = false;
        auto follow = [&](xcb_generic_event_t* event) {
            uint8_t type = event->response_type & 0x7f;
            if (type == XCB_MAP_NOTIFY) {
                auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
                if (map->override_redirect && watcher.cardinal(map->window, "_NET_WM_PID") == uint32_t(quorvex.pid()))
                    panel = map->window;
            } else if (type == XCB_DESTROY_NOTIFY || type == XCB_UNMAP_NOTIFY) {
                auto* gone = reinterpret_cast<xcb_unmap_notify_event_t*>(event);
                if (panel && gone->window == panel)
                    panelGone = true;
            }
        };
        ASSERT_TRUE(session->fakeKey(XK_Super_L, true));
        ASSERT_TRUE(session->fakeKey(XK_Tab, true));
        ASSERT_TRUE(session->fakeKey(XK_Tab, false));
        ASSERT_TRUE(watcher.waitUntil([&] { return panel != XCB_WINDOW_NONE; }, follow)) << quorvex.errors();
        EXPECT_EQ(watcher.activeWindow(), three) << "the panel takes no focus from the user's window";

        // Badge 3 is the third window front to back: "One".
        ASSERT_TRUE(session->fakeKey(XK_3, true));
        ASSERT_TRUE(session->fakeKey(XK_3, false));
        ASSERT_TRUE(session->fakeKey(XK_Super_L, false));
        ASSERT_TRUE(watcher.waitUntil([&] { return panelGone && watcher.activeWindow() == one; }, follow))
            << "active window " << watcher.activeWindow() << " (One " << one << ", Three " << three << ")" << ", panel " << (panelGone ? "gone" : "still up") << "\n"
            << quorvex.errors();

        quorvex.signal(SIGINT);
        EXPECT_EQ(quorvex.waitForExit(), 0) << quorvex.errors();
        expectNoFault(quorvex.errors());
    }
    // A second run reads what the first one kept and ends as cleanly on
    // the other signal.
    {
        QuorvexProcess quorvex(session->display(), config.path(), work.path());
        ASSERT_TRUE(quorvex.waitForLine("Quorvex is running on X11")) << quorvex.output() << quorvex.errors();
        quorvex.signal(SIGTERM);
        EXPECT_EQ(quorvex.waitForExit(), 0) << quorvex.errors();
        expectNoFault(quorvex.errors());
    }

    expectSettingsWhole(2);
}

TEST_F(X11QuorvexProgram, AWindowManagerThatCannotServeIsNamedAndTheRunEndsWithStatusOne)
{
    X11Session::Options options;
    options.windowManager = false;
    std::string error;
    auto session = X11Session::start(options, &error);
    ASSERT_TRUE(session) << error;
    auto run = [&](std::string& errors) {
        QuorvexProcess quorvex(session->display(), config.path(), work.path());
        int status = quorvex.waitForExit();
        errors = quorvex.errors();
        return status;
    };
    std::string errors;
    EXPECT_EQ(run(errors), 1);
    EXPECT_NE(errors.find("no window manager is running on the X display \"" + session->display() + "\""), std::string::npos)
        << errors;

    // A window manager that names itself but lacks hints the program needs,
    // played by the test: the message lists exactly the missing ones.
    RootWatcher watcher(session->display());
    auto* c = watcher.connection();
    xcb_window_t check = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, check, watcher.root(), 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
        XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_atom_t checkAtom = watcher.atom("_NET_SUPPORTING_WM_CHECK");
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, watcher.root(), checkAtom, XCB_ATOM_WINDOW, 32, 1, &check);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, check, checkAtom, XCB_ATOM_WINDOW, 32, 1, &check);
    std::string name = "Sparse";
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, check, watcher.atom("_NET_WM_NAME"), watcher.atom("UTF8_STRING"), 8,
        name.size(), name.data());
    xcb_atom_t supported[] = { watcher.atom("_NET_SUPPORTED"), watcher.atom("_NET_ACTIVE_WINDOW"), watcher.atom("_NET_WM_STATE") };
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, watcher.root(), supported[0], XCB_ATOM_ATOM, 32, 3, supported);
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    EXPECT_EQ(run(errors), 1);
    EXPECT_NE(errors.find("the window manager \"Sparse\" on the X display \"" + session->display()
                  + "\" does not offer the EWMH hints _NET_CLIENT_LIST_STACKING, _NET_CLOSE_WINDOW, _NET_WM_STATE_HIDDEN"),
        std::string::npos)
        << errors;

    // The check window of a window manager that has gone no longer names
    // itself.
    xcb_delete_property(c, check, checkAtom);
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    EXPECT_EQ(run(errors), 1);
    EXPECT_NE(errors.find("(the _NET_SUPPORTING_WM_CHECK window is stale)"), std::string::npos) << errors;
    EXPECT_FALSE(std::filesystem::exists(settingsFile())) << "a run that cannot start writes no settings";
}

// The server goes away under the running program: it says so, ends with
// status 1, and the settings file is whole.
TEST_F(X11QuorvexProgram, TheServerGoingAwayEndsTheRunWithStatusOneAndTheSettingsWhole)
{
    std::string error;
    auto session = X11Session::start(&error);
    ASSERT_TRUE(session) << error;
    auto client = session->launchClient();
    ASSERT_TRUE(client);
    ASSERT_TRUE(client->open("Only", 0x336699, 40, 60, 300, 200));
    {
        std::filesystem::create_directories(config.path() + "/quorvex");
        auto earlier = NSUserDefaults::defaultsWithFile(settingsFile());
        earlier->setInteger(1, DefaultsKey::ThemeIndex);
        ASSERT_TRUE(earlier->synchronize());
    }
    QuorvexProcess quorvex(session->display(), config.path(), work.path());
    ASSERT_TRUE(quorvex.waitForLine("Quorvex is running on X11")) << quorvex.output() << quorvex.errors();
    session->stopServer();
    EXPECT_EQ(quorvex.waitForExit(), 1) << quorvex.errors();
    EXPECT_NE(quorvex.errors().find("quorvex: the connection to the X server was lost; the settings are kept"),
        std::string::npos)
        << quorvex.errors();
    expectSettingsWhole(1);
}

TEST_F(X11QuorvexProgram, ADisplayThatCannotBeOpenedEndsTheRunWithStatusOne)
{
    // A display number no server of this machine listens on.
    int number = 7531;
    while (std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(number)))
        ++number;
    std::string display = ":" + std::to_string(number);
    QuorvexProcess quorvex(display, config.path(), work.path());
    EXPECT_EQ(quorvex.waitForExit(), 1) << quorvex.errors();
    EXPECT_NE(quorvex.errors().find("quorvex: cannot open the X display \"" + display + "\""), std::string::npos)
        << quorvex.errors();
    EXPECT_FALSE(std::filesystem::exists(settingsFile())) << "a run that cannot start writes no settings";
}

// Started as a person's session starts it at login, by the autostart entry
// that "Launch Quorvex at login" writes, on a desktop with no window open:
// it runs the switcher at once (no permission window waits for a click) and
// is the display's one switcher. Starting it again asks the running one to
// reopen, which without the Dock icon brings up the preferences, and ends
// with status 0.
TEST_F(X11QuorvexProgram, ItsLoginEntryRunsTheSwitcherAtOnceAndASecondStartReopensIt)
{
    std::string error;
    auto session = X11Session::start(&error);
    ASSERT_TRUE(session) << error;
    RootWatcher watcher(session->display());
    {
        std::filesystem::create_directories(config.path() + "/quorvex");
        auto earlier = NSUserDefaults::defaultsWithFile(settingsFile());
        earlier->setBool(false, DefaultsKey::ShowIconInDock);
        earlier->setBool(true, DefaultsKey::HideMenuBarIcon);
        ASSERT_TRUE(earlier->synchronize());
    }
    auto loginItems = makeRef<LSSharedFileList>(config.path() + "/autostart");
    auto entry = LSSharedFileListInsertItemURL(loginItems, kLSSharedFileListItemBeforeFirst, {}, nullptr,
        NSURL::fileURLWithPath(QV_QUORVEX_PROGRAM), {}, {});
    ASSERT_TRUE(entry);
    auto command = desktopEntryExecArguments(entry->exec());
    ASSERT_FALSE(command.empty()) << entry->exec();

    QuorvexProcess running(session->display(), config.path(), work.path(), command);
    ASSERT_TRUE(running.waitForLine("Quorvex is running on X11")) << running.output() << running.errors();
    EXPECT_NE(running.output().find("Screen Recording: granted"), std::string::npos) << running.output();
    EXPECT_TRUE(watcher.clientsOf(running.pid()).empty()) << "no window of the switcher is up";

    TemporaryDirectory secondWork;
    QuorvexProcess second(session->display(), config.path(), secondWork.path(), command);
    EXPECT_EQ(second.waitForExit(), 0) << second.errors();
    second.waitForLine("");
    EXPECT_EQ(second.output(), "Quorvex is already running on the X display \"" + session->display() + "\": it was asked to reopen.\n");
    EXPECT_EQ(second.errors(), "");
    EXPECT_TRUE(watcher.waitUntil([&] { return !watcher.clientsOf(running.pid()).empty(); }))
        << "the preferences window comes up\n" << running.errors();

    running.signal(SIGTERM);
    EXPECT_EQ(running.waitForExit(), 0) << running.errors();
    expectNoFault(running.errors());
}

// A private X11 session for tests and benchmarks: an Xvfb server on a free
// display, an EWMH window manager (openbox, or xfwm4) and test clients that open
// titled, coloured windows (tests/tools/x11_test_client.cpp). Everything it
// starts is stopped when it goes, whatever the result, and dies with the
// test process if that is killed. Nothing here sleeps: every wait is for an
// event (a line from a child, an X property) with a time-out.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

class X11TestClient;

class X11Session {
public:
    enum class WindowManager {
        // A configuration without key or mouse bindings.
        Openbox,
        // In a session bus of its own (it needs one), with its own
        // composition on, and shortcuts without its Tab bindings, so
        // that Super+Tab and Alt+Tab are free for the switcher.
        Xfwm4,
    };
    struct Options {
        int width { 1280 };
        int height { 800 };
        // Start the window manager.
        bool windowManager { true };
        WindowManager manager { WindowManager::Openbox };
    };

    // Why the window manager cannot run on this machine (a program that is
    // not installed), for a test to name as it skips; empty when it can.
    static std::string missingProgramsFor(WindowManager manager);
    static const char* nameOf(WindowManager manager);

    // Starts the server (and the window manager); null with the reason in
    // `error` when something is missing or does not start in time.
    static std::unique_ptr<X11Session> start(const Options& options, std::string* error);
    static std::unique_ptr<X11Session> start(std::string* error) { return start(Options {}, error); }
    ~X11Session();

    // ":N", for $DISPLAY.
    const std::string& display() const { return m_display; }
    // Sets $DISPLAY of this process to the session's.
    void makeCurrent() const;

    // Starts a client process; null when it does not answer in time.
    std::unique_ptr<X11TestClient> launchClient();

    // Stops the window manager (the server keeps running).
    void stopWindowManager();
    // Stops the server: its clients lose their connection.
    void stopServer();

    // Presses or releases the key of an X key symbol through XTest, as a
    // person at the keyboard would; by default returns once the server has
    // taken it (`Sent::Waiting`), or at once (`Sent::Queued`: the caller's
    // thread goes on while the server is busy, as a person's keyboard never
    // holds up the program it types into).
    enum class Sent { Waiting, Queued };
    bool fakeKey(uint32_t keySymbol, bool press, Sent sent = Sent::Waiting);
    // Moves the pointer to the point of the root window and clicks the
    // button there (1 left, 3 right) through XTest.
    bool fakeClick(int x, int y, uint8_t button = 1);

    // Waits until the window manager frames a window.
    bool waitForWindowManager(double timeoutSeconds);

private:
    X11Session() = default;
    struct xcb_connection_t* inputConnection();
    std::string m_display;
    pid_t m_server { 0 };
    pid_t m_windowManager { 0 };
    // The window manager leads a process group of its own (with its
    // session bus), which stops as a whole.
    bool m_windowManagerGroup { false };
    std::string m_configDirectory;
    struct Keyboard;
    std::unique_ptr<Keyboard> m_keyboard;
};

class X11TestClient {
public:
    ~X11TestClient();
    pid_t pid() const { return m_pid; }
    // Opens a window and waits until it is mapped; its X window id, or 0.
    uint32_t open(const std::string& title, uint32_t rgb, int x, int y, int width, int height, bool dialog = false);
    // A window without _NET_WM_PID, as many older programs make.
    uint32_t openWithoutPid(const std::string& title, uint32_t rgb, int x, int y, int width, int height);
    bool setTitle(uint32_t window, const std::string& title);
    // Leaves only WM_NAME, with the bytes given as of the type ("STRING",
    // "COMPOUND_TEXT").
    bool setOldTitle(uint32_t window, const std::string& type, const std::string& bytes);
    // Sets _NET_WM_ICON to plain images of the sizes and colours.
    struct IconImage {
        int width;
        int height;
        uint32_t rgb;
    };
    bool setIcon(uint32_t window, const std::vector<IconImage>& images);
    // Fills the window with another colour, as a client drawing anew; true
    // once the server has the pixels.
    bool paint(uint32_t window, uint32_t rgb);
    bool close(uint32_t window);
    // Stops answering the window manager's pings and close requests.
    bool hang();
    // How many key presses reached the client's windows so far; -1 when it
    // does not answer.
    int keyPresses();
    // How many pings reached the client so far (answered or not); -1 when
    // it does not answer.
    int pings();
    // A close request for the window opens a dialog "Save changes?" and
    // the client prints "asked ID"; the window stays.
    bool askBeforeClosing(uint32_t window);
    // Becomes the screen's system tray: a window at the rectangle that owns
    // the tray selection and docks every item that asks, from its left,
    // each at the minimum size of its normal hints (one pixel square
    // without them), printing "docked ID". The tray window's id, or 0.
    uint32_t startTray(int x, int y, int width, int height);
    // Kills the process at once, as a crash would.
    void kill();
    // The next line the client prints, within the time-out.
    std::optional<std::string> readLine(double timeoutSeconds);

private:
    friend class X11Session;
    std::optional<std::string> request(const std::string& line);
    // The number a request answers as "VERB N"; -1 without an answer.
    int countAnswer(const std::string& verb);
    pid_t m_pid { 0 };
    int m_in { -1 };
    int m_out { -1 };
    std::string m_buffer;
};

// Runs the main run loop until the predicate holds or the time-out passes
// (real time: the X server answers in real time). Returns the predicate.
bool runMainUntil(const std::function<bool()>& predicate, double timeoutSeconds = 5);

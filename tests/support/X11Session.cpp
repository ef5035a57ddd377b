#include "X11Session.h"

#include <foundation/Clock.h>
#include <foundation/RunLoop.h>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef QV_X11_TEST_CLIENT
#error "QV_X11_TEST_CLIENT must name the test client program"
#endif

namespace {

// How long a child may take to start or to answer one request.
constexpr double kStartSeconds = 10;
constexpr double kRequestSeconds = 5;
// How long a stopped child may take to go before it is killed.
constexpr int kStopMilliseconds = 2000;
// How long one probe waits for the window manager to frame it.
constexpr double kProbeSeconds = 0.3;

// A window manager's configuration without key or mouse bindings, so that
// it takes none of the keys the tests type.
constexpr const char* kOpenboxConfig = R"(<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <focus><focusNew>yes</focusNew><followMouse>no</followMouse></focus>
  <placement><policy>Smart</policy></placement>
  <desktops><number>2</number></desktops>
  <keyboard></keyboard>
  <mouse></mouse>
</openbox_config>
)";

// Shortcuts for xfwm4 in place of its defaults (`override`): none on Tab,
// so that it holds neither Super+Tab nor Alt+Tab, which the tests type.
constexpr const char* kXfwm4Shortcuts = R"(<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-keyboard-shortcuts" version="1.0">
  <property name="xfwm4" type="empty">
    <property name="custom" type="empty">
      <property name="override" type="bool" value="true"/>
      <property name="Escape" type="string" value="cancel_key"/>
    </property>
  </property>
</channel>
)";

int millisecondsUntil(double deadline)
{
    double left = deadline - SystemClock().now();
    return left <= 0 ? 0 : static_cast<int>(left * 1000) + 1;
}

// Starts a program with the given descriptors as its standard input and
// output (-1: /dev/null) and the environment's DISPLAY set. The child dies
// with this process.
// With ownGroup the child leads a process group of its own, for what it
// starts in turn to be stopped with it.
pid_t spawn(const std::vector<std::string>& arguments, const std::string& display, int in, int out,
    const std::string& logFile, const std::vector<int>& keep = {},
    const std::vector<std::pair<std::string, std::string>>& environment = {}, bool ownGroup = false)
{
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid != 0)
        return pid;
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent)
        _exit(127);
    if (ownGroup)
        setpgid(0, 0);
    for (const auto& [name, value] : environment)
        setenv(name.c_str(), value.c_str(), 1);
    int null = ::open("/dev/null", O_RDWR);
    dup2(in >= 0 ? in : null, STDIN_FILENO);
    dup2(out >= 0 ? out : null, STDOUT_FILENO);
    int log = logFile.empty() ? null : ::open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    dup2(log >= 0 ? log : null, STDERR_FILENO);
    for (int fd = 3; fd < 1024; ++fd)
        if (std::find(keep.begin(), keep.end(), fd) == keep.end())
            ::close(fd);
    if (!display.empty())
        setenv("DISPLAY", display.c_str(), 1);
    std::vector<char*> argv;
    for (const auto& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}

// Stops a child: a polite signal, then a kill when it does not go in time.
// A child that leads a group of its own takes the group with it: what is
// left of it once the child has gone is killed.
void stop(pid_t& pid, bool group = false)
{
    if (pid <= 0)
        return;
    pid_t target = group ? -pid : pid;
    int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    ::kill(target, SIGTERM);
    if (fd >= 0) {
        pollfd p { fd, POLLIN, 0 };
        if (poll(&p, 1, kStopMilliseconds) <= 0)
            ::kill(target, SIGKILL);
        ::close(fd);
    } else {
        ::kill(target, SIGKILL);
    }
    waitpid(pid, nullptr, 0);
    if (group)
        ::kill(target, SIGKILL);
    pid = 0;
}

// Whether a program of that name is on the PATH.
bool installed(const std::string& program)
{
    const char* path = getenv("PATH");
    std::string folders = path ? path : "/usr/bin:/bin";
    for (size_t start = 0; start <= folders.size();) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos)
            end = folders.size();
        std::string candidate = folders.substr(start, end - start) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

// Reads one line from a descriptor into the buffer, within the deadline.
std::optional<std::string> readLineFrom(int fd, std::string& buffer, double deadline)
{
    for (;;) {
        if (auto end = buffer.find('\n'); end != std::string::npos) {
            std::string line = buffer.substr(0, end);
            buffer.erase(0, end + 1);
            return line;
        }
        pollfd p { fd, POLLIN, 0 };
        if (poll(&p, 1, millisecondsUntil(deadline)) <= 0)
            return std::nullopt;
        char chunk[4096];
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n <= 0)
            return std::nullopt;
        buffer.append(chunk, n);
    }
}

std::string escape(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        if (c <= ' ' || c == '%' || c >= 0x7f) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out.empty() ? "%00" : out;
}

}

const char* X11Session::nameOf(WindowManager manager)
{
    return manager == WindowManager::Xfwm4 ? "xfwm4" : "openbox";
}

std::string X11Session::missingProgramsFor(WindowManager manager)
{
    std::vector<std::string> needed { nameOf(manager) };
    if (manager == WindowManager::Xfwm4)
        needed.push_back("dbus-run-session");
    std::string missing;
    for (const auto& program : needed)
        if (!installed(program))
            missing += (missing.empty() ? "" : " and ") + program;
    return missing.empty() ? std::string() : missing + " not installed";
}

std::unique_ptr<X11Session> X11Session::start(const Options& options, std::string* error)
{
    auto fail = [&](const std::string& message) -> std::unique_ptr<X11Session> {
        if (error)
            *error = message;
        return nullptr;
    };
    std::unique_ptr<X11Session> session(new X11Session());
    char pattern[] = "/tmp/qv-x11-XXXXXX";
    if (!mkdtemp(pattern))
        return fail("cannot make a temporary directory");
    session->m_configDirectory = pattern;

    // The server picks a free display itself and writes its number when it
    // is ready for clients.
    int ready[2];
    if (pipe(ready) != 0)
        return fail("cannot make a pipe");
    std::string screen = std::to_string(options.width) + "x" + std::to_string(options.height) + "x24";
    session->m_server = spawn({ "Xvfb", "-displayfd", std::to_string(ready[1]), "-screen", "0", screen, "-nolisten",
                                  "tcp", "-noreset", "+extension", "Composite", "+extension", "XTEST" },
        "", -1, -1, session->m_configDirectory + "/xvfb.log", { ready[1] });
    ::close(ready[1]);
    std::string buffer;
    auto number = readLineFrom(ready[0], buffer, SystemClock().now() + kStartSeconds);
    ::close(ready[0]);
    if (!number || number->empty())
        return fail("Xvfb did not start (is the xvfb package installed?)");
    session->m_display = ":" + *number;

    if (options.windowManager) {
        const char* name = nameOf(options.manager);
        std::string log = session->m_configDirectory + "/" + name + ".log";
        if (options.manager == WindowManager::Xfwm4) {
            // Its settings come from a folder of its own (nothing of the
            // machine's: no other configuration folders), the shortcuts
            // above among them; no accessibility bus is started.
            std::string home = session->m_configDirectory + "/config";
            std::string channels = home + "/xfce4/xfconf/xfce-perchannel-xml";
            std::string none = session->m_configDirectory + "/no-config";
            std::error_code ignored;
            std::filesystem::create_directories(channels, ignored);
            std::filesystem::create_directories(none, ignored);
            std::ofstream(channels + "/xfce4-keyboard-shortcuts.xml") << kXfwm4Shortcuts;
            session->m_windowManager = spawn({ "dbus-run-session", "--", "xfwm4", "--compositor=on", "--sm-client-disable" },
                session->m_display, -1, -1, log, {},
                { { "XDG_CONFIG_HOME", home }, { "XDG_CONFIG_DIRS", none }, { "NO_AT_BRIDGE", "1" } }, true);
            session->m_windowManagerGroup = true;
        } else {
            std::string config = session->m_configDirectory + "/rc.xml";
            std::ofstream(config) << kOpenboxConfig;
            session->m_windowManager
                = spawn({ "openbox", "--sm-disable", "--config-file", config }, session->m_display, -1, -1, log);
        }
        if (!session->waitForWindowManager(kStartSeconds))
            return fail(std::string(name) + " did not start on " + session->m_display + " (is the " + name
                + " package installed?)");
    }
    return session;
}

struct X11Session::Keyboard {
    xcb_connection_t* connection { nullptr };
    xcb_key_symbols_t* symbols { nullptr };
    ~Keyboard()
    {
        if (symbols)
            xcb_key_symbols_free(symbols);
        if (connection)
            xcb_disconnect(connection);
    }
};

xcb_connection_t* X11Session::inputConnection()
{
    if (!m_keyboard) {
        m_keyboard = std::make_unique<Keyboard>();
        m_keyboard->connection = xcb_connect(m_display.c_str(), nullptr);
        m_keyboard->symbols = xcb_key_symbols_alloc(m_keyboard->connection);
    }
    return xcb_connection_has_error(m_keyboard->connection) ? nullptr : m_keyboard->connection;
}

namespace {

bool fakeInput(xcb_connection_t* c, uint8_t type, uint8_t detail, int16_t x = 0, int16_t y = 0, bool wait = true)
{
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    if (!wait) {
        xcb_test_fake_input(c, type, detail, XCB_CURRENT_TIME, root, x, y, 0);
        return xcb_flush(c) > 0;
    }
    auto cookie = xcb_test_fake_input_checked(c, type, detail, XCB_CURRENT_TIME, root, x, y, 0);
    xcb_generic_error_t* error = xcb_request_check(c, cookie);
    free(error);
    return !error;
}

}

bool X11Session::fakeKey(uint32_t keySymbol, bool press, Sent sent)
{
    auto* c = inputConnection();
    if (!c)
        return false;
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(m_keyboard->symbols, keySymbol);
    xcb_keycode_t code = codes ? codes[0] : XCB_NO_SYMBOL;
    free(codes);
    if (code == XCB_NO_SYMBOL)
        return false;
    return fakeInput(c, press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, code, 0, 0, sent == Sent::Waiting);
}

bool X11Session::fakeClick(int x, int y, uint8_t button)
{
    auto* c = inputConnection();
    return c && fakeInput(c, XCB_MOTION_NOTIFY, 0, int16_t(x), int16_t(y)) && fakeInput(c, XCB_BUTTON_PRESS, button)
        && fakeInput(c, XCB_BUTTON_RELEASE, button);
}

X11Session::~X11Session()
{
    m_keyboard.reset();
    stop(m_windowManager, m_windowManagerGroup);
    stop(m_server);
    if (!m_configDirectory.empty()) {
        std::error_code ignored;
        if (!getenv("QV_KEEP")) std::filesystem::remove_all(m_configDirectory, ignored);
    }
}

void X11Session::makeCurrent() const { setenv("DISPLAY", m_display.c_str(), 1); }

void X11Session::stopWindowManager() { stop(m_windowManager, m_windowManagerGroup); }

void X11Session::stopServer()
{
    stop(m_windowManager, m_windowManagerGroup);
    stop(m_server);
}

bool X11Session::waitForWindowManager(double timeoutSeconds)
{
    double deadline = SystemClock().now() + timeoutSeconds;
    xcb_connection_t* connection = xcb_connect(m_display.c_str(), nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return false;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    // A window manager that has just started may drop what was asked of it
    // while it sets itself up; it is ready once it puts a frame around a
    // window of ours. Until then a new probe window is mapped each time the
    // last one waited long enough.
    bool ready = false;
    while (!ready && SystemClock().now() < deadline) {
        xcb_window_t probe = xcb_generate_id(connection);
        uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_create_window(connection, XCB_COPY_FROM_PARENT, probe, screen->root, 0, 0, 1, 1, 0,
            XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_EVENT_MASK, &mask);
        xcb_map_window(connection, probe);
        xcb_flush(connection);
        double probeDeadline = std::min(deadline, SystemClock().now() + kProbeSeconds);
        while (!ready) {
            pollfd p { xcb_get_file_descriptor(connection), POLLIN, 0 };
            if (poll(&p, 1, millisecondsUntil(probeDeadline)) <= 0 || xcb_connection_has_error(connection))
                break;
            while (auto* event = xcb_poll_for_event(connection)) {
                if ((event->response_type & 0x7f) == XCB_REPARENT_NOTIFY)
                    ready = true;
                free(event);
            }
        }
        xcb_destroy_window(connection, probe);
        xcb_flush(connection);
    }
    xcb_disconnect(connection);
    return ready;
}

std::unique_ptr<X11TestClient> X11Session::launchClient()
{
    int toChild[2], fromChild[2];
    if (pipe(toChild) != 0)
        return nullptr;
    if (pipe(fromChild) != 0) {
        ::close(toChild[0]);
        ::close(toChild[1]);
        return nullptr;
    }
    std::unique_ptr<X11TestClient> client(new X11TestClient());
    client->m_pid = spawn({ QV_X11_TEST_CLIENT }, m_display, toChild[0], fromChild[1], m_configDirectory + "/client.log");
    ::close(toChild[0]);
    ::close(fromChild[1]);
    client->m_in = toChild[1];
    client->m_out = fromChild[0];
    fcntl(client->m_in, F_SETFD, FD_CLOEXEC);
    fcntl(client->m_out, F_SETFD, FD_CLOEXEC);
    auto line = client->readLine(kStartSeconds);
    if (!line || line->rfind("ready", 0) != 0)
        return nullptr;
    return client;
}

X11TestClient::~X11TestClient()
{
    if (m_in >= 0)
        ::close(m_in);
    if (m_out >= 0)
        ::close(m_out);
    stop(m_pid);
}

std::optional<std::string> X11TestClient::readLine(double timeoutSeconds)
{
    return readLineFrom(m_out, m_buffer, SystemClock().now() + timeoutSeconds);
}

std::optional<std::string> X11TestClient::request(const std::string& line)
{
    std::string text = line + "\n";
    if (write(m_in, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        return std::nullopt;
    return readLine(kRequestSeconds);
}

uint32_t X11TestClient::open(const std::string& title, uint32_t rgb, int x, int y, int width, int height, bool dialog)
{
    char colour[8];
    std::snprintf(colour, sizeof colour, "%06x", rgb & 0xffffff);
    auto answer = request("open " + escape(title) + " " + colour + " " + std::to_string(x) + " " + std::to_string(y)
        + " " + std::to_string(width) + " " + std::to_string(height) + (dialog ? " dialog" : ""));
    if (!answer || answer->rfind("window ", 0) != 0)
        return 0;
    return static_cast<uint32_t>(std::strtoul(answer->c_str() + 7, nullptr, 10));
}

uint32_t X11TestClient::openWithoutPid(const std::string& title, uint32_t rgb, int x, int y, int width, int height)
{
    char colour[8];
    std::snprintf(colour, sizeof colour, "%06x", rgb & 0xffffff);
    auto answer = request("open " + escape(title) + " " + colour + " " + std::to_string(x) + " " + std::to_string(y)
        + " " + std::to_string(width) + " " + std::to_string(height) + " nopid");
    if (!answer || answer->rfind("window ", 0) != 0)
        return 0;
    return static_cast<uint32_t>(std::strtoul(answer->c_str() + 7, nullptr, 10));
}

bool X11TestClient::setOldTitle(uint32_t window, const std::string& type, const std::string& bytes)
{
    return request("oldtitle " + std::to_string(window) + " " + type + " " + escape(bytes)) == "ok";
}

bool X11TestClient::setIcon(uint32_t window, const std::vector<IconImage>& images)
{
    std::string line = "icon " + std::to_string(window);
    for (const auto& image : images) {
        char colour[8];
        std::snprintf(colour, sizeof colour, "%06x", image.rgb & 0xffffff);
        line += " " + std::to_string(image.width) + " " + std::to_string(image.height) + " " + colour;
    }
    return request(line) == "ok";
}

bool X11TestClient::setTitle(uint32_t window, const std::string& title)
{
    return request("title " + std::to_string(window) + " " + escape(title)) == "ok";
}

bool X11TestClient::paint(uint32_t window, uint32_t rgb)
{
    char colour[8];
    std::snprintf(colour, sizeof colour, "%06x", rgb & 0xffffff);
    return request("paint " + std::to_string(window) + " " + colour) == "ok";
}

bool X11TestClient::close(uint32_t window) { return request("close " + std::to_string(window)) == "ok"; }

bool X11TestClient::hang() { return request("hang") == "ok"; }

int X11TestClient::keyPresses() { return countAnswer("keys"); }

int X11TestClient::pings() { return countAnswer("pings"); }

int X11TestClient::countAnswer(const std::string& verb)
{
    auto answer = request(verb);
    if (!answer || answer->rfind(verb + " ", 0) != 0)
        return -1;
    return std::atoi(answer->c_str() + verb.size() + 1);
}

bool X11TestClient::askBeforeClosing(uint32_t window) { return request("ask " + std::to_string(window)) == "ok"; }

uint32_t X11TestClient::startTray(int x, int y, int width, int height)
{
    auto answer = request("tray " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(width) + " "
        + std::to_string(height));
    if (!answer || answer->rfind("tray ", 0) != 0)
        return 0;
    return static_cast<uint32_t>(std::strtoul(answer->c_str() + 5, nullptr, 10));
}

void X11TestClient::kill()
{
    if (m_pid > 0)
        ::kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
    m_pid = 0;
}

bool runMainUntil(const std::function<bool()>& predicate, double timeoutSeconds)
{
    double deadline = Clock::current().now() + timeoutSeconds;
    for (;;) {
        if (predicate())
            return true;
        double now = Clock::current().now();
        if (now >= deadline)
            return predicate();
        // Waits for the next block or timer of the main run loop, at most
        // until the deadline.
        RunLoop::main().runMode(kCFRunLoopDefaultMode, deadline);
    }
}

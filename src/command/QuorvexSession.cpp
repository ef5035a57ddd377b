#include "QuorvexSession.h"

#include <desktop/KeyboardLayout.h>
#include <foundation/NSUserDefaults.h>
#include <foundation/RunLoop.h>
#include <model/DefaultsKeys.h>
#include <services/CGWindow.h>


#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

namespace {

// More entries than any panel can show.
constexpr size_t kMaxExpectedCount = 1000000;

// Words and double-quoted strings (with \" and \\ inside).
std::optional<std::vector<std::string>> tokenize(const std::string& line, std::string& problem)
{
    std::vector<std::string> tokens;
    size_t i = 0;
    while (i < line.size()) {
        if (std::isspace(static_cast<unsigned char>(line[i]))) {
            ++i;
            continue;
        }
        if (line[i] == '#')
            break;
        std::string token;
        if (line[i] == '"') {
            ++i;
            bool closed = false;
            while (i < line.size()) {
                char c = line[i++];
                if (c == '\\' && i < line.size()) {
                    token += line[i++];
                } else if (c == '"') {
                    closed = true;
                    break;
                } else {
                    token += c;
                }
            }
            if (!closed) {
                problem = "a quoted text is not closed";
                return std::nullopt;
            }
        } else {
            while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i])))
                token += line[i++];
        }
        tokens.push_back(token);
    }
    return tokens;
}

std::string lowercase(std::string s)
{
    for (auto& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The settings the preference panes change, with the values their controls
// offer: a switch stores a BOOL, a choice an integer from its list.
struct SettingRule {
    bool isBool;
    int64_t least;
    int64_t most;
};

const std::map<std::string, SettingRule>& settingRules()
{
    static const std::map<std::string, SettingRule> rules = {
        { DefaultsKey::LayoutType, { false, 0, 3 } },
        { DefaultsKey::Style3DIndex, { false, 0, 11 } },
        { DefaultsKey::ThemeIndex, { false, 0, 2 } },
        { DefaultsKey::ShowOnScreen, { false, 0, 2 } },
        { DefaultsKey::AllWindowsHotkeyIndex, { false, 0, 3 } },
        { DefaultsKey::OnScreenWindowsHotkeyIndex, { false, 0, 3 } },
        { DefaultsKey::ActiveAppWindowsHotKeyIndex, { false, 0, 3 } },
        { DefaultsKey::Animation3D, { true, 0, 1 } },
        { DefaultsKey::FullScreenMode, { true, 0, 1 } },
        { DefaultsKey::ShotcutsHints, { true, 0, 1 } },
        { DefaultsKey::KeyboardShotcuts, { true, 0, 1 } },
        { DefaultsKey::ShowIconInDock, { true, 0, 1 } },
        { DefaultsKey::HideMenuBarIcon, { true, 0, 1 } },
        { DefaultsKey::CMTEnableAutomaticChecks, { true, 0, 1 } },
        { DefaultsKey::CMCheckForUpdatesInBackground, { true, 0, 1 } },
        { DefaultsKey::SUUpdaterChecksForBetaUpdates, { true, 0, 1 } },
    };
    return rules;
}

std::optional<bool> boolNamed(const std::string& word)
{
    std::string w = lowercase(word);
    if (w == "yes" || w == "true" || w == "on" || w == "1")
        return true;
    if (w == "no" || w == "false" || w == "off" || w == "0")
        return false;
    return std::nullopt;
}

}

QuorvexSession::QuorvexSession(SimDesktop& desktop, QuorvexSessionHost& host, std::string outDirectory, std::ostream& out, std::ostream& err)
    : m_desktop(desktop)
    , m_host(host)
    , m_outDirectory(std::move(outDirectory))
    , m_out(out)
    , m_err(err)
{
}

std::optional<uint16_t> QuorvexSession::keyCodeForName(const std::string& name)
{
    static const std::map<std::string, uint16_t> keys = {
        { "a", kVK_ANSI_A }, { "s", kVK_ANSI_S }, { "d", kVK_ANSI_D }, { "f", kVK_ANSI_F }, { "h", kVK_ANSI_H },
        { "g", kVK_ANSI_G }, { "z", kVK_ANSI_Z }, { "x", kVK_ANSI_X }, { "c", kVK_ANSI_C }, { "v", kVK_ANSI_V },
        { "b", kVK_ANSI_B }, { "q", kVK_ANSI_Q }, { "w", kVK_ANSI_W }, { "e", kVK_ANSI_E }, { "r", kVK_ANSI_R },
        { "y", kVK_ANSI_Y }, { "t", kVK_ANSI_T }, { "1", kVK_ANSI_1 }, { "2", kVK_ANSI_2 }, { "3", kVK_ANSI_3 },
        { "4", kVK_ANSI_4 }, { "6", kVK_ANSI_6 }, { "5", kVK_ANSI_5 }, { "equal", kVK_ANSI_Equal }, { "9", kVK_ANSI_9 },
        { "7", kVK_ANSI_7 }, { "minus", kVK_ANSI_Minus }, { "8", kVK_ANSI_8 }, { "0", kVK_ANSI_0 }, { "o", kVK_ANSI_O },
        { "u", kVK_ANSI_U }, { "i", kVK_ANSI_I }, { "p", kVK_ANSI_P }, { "l", kVK_ANSI_L }, { "j", kVK_ANSI_J },
        { "k", kVK_ANSI_K }, { "n", kVK_ANSI_N }, { "m", kVK_ANSI_M }, { "grave", kVK_ANSI_Grave }, { "`", kVK_ANSI_Grave },
        { "return", kVK_Return }, { "enter", kVK_Return }, { "tab", kVK_Tab },
        { "space", kVK_Space }, { "delete", kVK_Delete }, { "escape", kVK_Escape },
        { "esc", kVK_Escape }, { "left", kVK_LeftArrow }, { "right", kVK_RightArrow },
        { "down", kVK_DownArrow }, { "up", kVK_UpArrow },
        { "f1", kVK_F1 }, { "f2", kVK_F2 }, { "f3", kVK_F3 }, { "f4", kVK_F4 }, { "f5", kVK_F5 }, { "f6", kVK_F6 },
        { "f7", kVK_F7 }, { "f8", kVK_F8 }, { "f9", kVK_F9 }, { "f10", kVK_F10 }, { "f11", kVK_F11 }, { "f12", kVK_F12 },
    };
    auto it = keys.find(lowercase(name));
    if (it == keys.end())
        return std::nullopt;
    return it->second;
}

std::optional<uint64_t> QuorvexSession::modifierForName(const std::string& name)
{
    static const std::map<std::string, uint64_t> modifiers = {
        { "cmd", kCGEventFlagMaskCommand }, { "command", kCGEventFlagMaskCommand },
        { "ctrl", kCGEventFlagMaskControl }, { "control", kCGEventFlagMaskControl },
        { "alt", kCGEventFlagMaskAlternate }, { "opt", kCGEventFlagMaskAlternate }, { "option", kCGEventFlagMaskAlternate },
        { "shift", kCGEventFlagMaskShift }, { "fn", kCGEventFlagMaskSecondaryFn },
    };
    auto it = modifiers.find(lowercase(name));
    if (it == modifiers.end())
        return std::nullopt;
    return it->second;
}

const std::vector<QuorvexSession::Command>& QuorvexSession::commands()
{
    static const std::vector<Command> table = {
        { "press", &QuorvexSession::press },
        { "tap", &QuorvexSession::tap },
        { "release", &QuorvexSession::release },
        { "wait", &QuorvexSession::wait },
        { "shot", &QuorvexSession::shot },
        { "launch", &QuorvexSession::launch },
        { "quit", &QuorvexSession::quitOrHide },
        { "hide", &QuorvexSession::quitOrHide },
        { "open", &QuorvexSession::open },
        { "close", &QuorvexSession::closeOrMinimize },
        { "minimize", &QuorvexSession::closeOrMinimize },
        { "menu", &QuorvexSession::menu },
        { "click", &QuorvexSession::click },
        { "type", &QuorvexSession::type },
        { "windowshot", &QuorvexSession::windowshot },
        { "appearance", &QuorvexSession::appearance },
        { "set", &QuorvexSession::set },
        { "expect", &QuorvexSession::expect },
    };
    return table;
}

const std::vector<QuorvexSession::Command>& QuorvexSession::expectations()
{
    static const std::vector<Command> table = {
        { "focus", &QuorvexSession::expectFocus },
        { "panel", &QuorvexSession::expectPanel },
        { "selected", &QuorvexSession::expectSelected },
        { "count", &QuorvexSession::expectCount },
        { "frame", &QuorvexSession::expectFrame },
        { "checked", &QuorvexSession::expectChecked },
        { "unchecked", &QuorvexSession::expectChecked },
        { "shows", &QuorvexSession::expectShows },
        { "login-item", &QuorvexSession::expectLoginItem },
    };
    return table;
}

QuorvexSession::Status QuorvexSession::fail(const Line& line, const std::string& problem, Status status)
{
    m_err << (m_sourceName.empty() ? "" : m_sourceName + ": ") << "line " << line.number << ": " << line.text << "\n  "
          << problem << "\n";
    return status;
}

QuorvexSession::Status QuorvexSession::usage(const Line& line, const std::string& form)
{
    return fail(line, "usage: " + form, ScriptError);
}

std::optional<pid_t> QuorvexSession::applicationNamed(const std::string& name) const
{
    for (const auto& app : m_desktop.runningApplications())
        if (app.name == name)
            return app.pid;
    return std::nullopt;
}

std::optional<CGWindowID> QuorvexSession::windowTitled(const std::string& title) const
{
    for (const auto& w : m_desktop.windows())
        if (w.title == title && w.pid != m_desktop.ownProcessIdentifier())
            return w.number;
    return std::nullopt;
}

QuorvexSession::Status QuorvexSession::run(std::istream& script, const std::string& sourceName)
{
    m_sourceName = sourceName;
    std::string line;
    size_t number = 0;
    while (std::getline(script, line)) {
        ++number;
        Status status = runLine(line, number);
        if (status != Passed)
            return status;
    }
    // A read that failed (a folder, a device error) is not an empty script.
    if (script.bad()) {
        m_err << sourceName << ": cannot be read after line " << number << "\n";
        return ScriptError;
    }
    return Passed;
}

QuorvexSession::Status QuorvexSession::runLine(const std::string& text, size_t lineNumber)
{
    std::string problem;
    auto words = tokenize(text, problem);
    if (!words) {
        m_err << "line " << lineNumber << ": " << text << "\n  " << problem << "\n";
        return ScriptError;
    }
    if (words->empty())
        return Passed;
    Line line { *words, lineNumber, text };
    for (const auto& command : commands())
        if (line[0] == command.name)
            return (this->*command.run)(line);
    return fromHost(line);
}

// A line of the host's own; an unknown command when the host does not take it.
QuorvexSession::Status QuorvexSession::fromHost(const Line& line)
{
    std::string problem;
    switch (m_host.runCommand(line.words, problem)) {
    case QuorvexSessionHost::CommandResult::Passed:
        return Passed;
    case QuorvexSessionHost::CommandResult::Failed:
        return fail(line, problem, ExpectationFailed);
    case QuorvexSessionHost::CommandResult::Error:
        return fail(line, problem, ScriptError);
    case QuorvexSessionHost::CommandResult::NotMine:
        break;
    }
    return fail(line, "unknown command \"" + line[0] + "\"", ScriptError);
}

namespace {

void settle() { RunLoop::main().runUntilIdle(); }

}

// A file name without folders: letters, digits, - and _.
bool QuorvexSession::isPlainName(const std::string& name)
{
    if (name.empty())
        return false;
    for (char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_')
            return false;
    return true;
}

QuorvexSession::Status QuorvexSession::press(const Line& t)
{
    if (!t.arguments(1, 1))
        return usage(t, "press KEYS (for example cmd+tab)");
    uint64_t flags = m_desktop.keyboardModifierFlags();
    std::optional<uint16_t> key;
    const std::string& keys = t[1];
    size_t start = 0;
    while (start <= keys.size()) {
        size_t plus = keys.find('+', start);
        std::string part = keys.substr(start, plus == std::string::npos ? std::string::npos : plus - start);
        if (auto modifier = modifierForName(part)) {
            flags |= *modifier;
        } else if (auto code = keyCodeForName(part); code && !key) {
            key = code;
        } else {
            return fail(t, "unknown key name \"" + part + "\"", ScriptError);
        }
        if (plus == std::string::npos)
            break;
        start = plus + 1;
    }
    m_desktop.setModifierFlags(flags);
    settle();
    if (key) {
        m_desktop.pressKey(*key);
        settle();
        m_desktop.releaseKey(*key);
        settle();
    }
    return Passed;
}

QuorvexSession::Status QuorvexSession::tap(const Line& t)
{
    if (!t.arguments(1, 1))
        return usage(t, "tap KEY");
    auto key = keyCodeForName(t[1]);
    if (!key)
        return fail(t, "unknown key name \"" + t[1] + "\"", ScriptError);
    m_desktop.pressKey(*key);
    settle();
    m_desktop.releaseKey(*key);
    settle();
    return Passed;
}

QuorvexSession::Status QuorvexSession::release(const Line& t)
{
    if (!t.arguments(1, 1))
        return usage(t, "release MODIFIER (cmd, ctrl, alt, shift or all)");
    uint64_t flags = m_desktop.keyboardModifierFlags();
    if (lowercase(t[1]) == "all") {
        flags = 0;
    } else if (auto modifier = modifierForName(t[1])) {
        flags &= ~*modifier;
    } else {
        return fail(t, "unknown modifier \"" + t[1] + "\"", ScriptError);
    }
    m_desktop.setModifierFlags(flags);
    settle();
    return Passed;
}

QuorvexSession::Status QuorvexSession::wait(const Line& t)
{
    char* end = nullptr;
    double seconds = t.arguments(1, 1) ? std::strtod(t[1].c_str(), &end) : -1;
    if (!end || *end || !std::isfinite(seconds) || seconds < 0 || seconds > 3600)
        return usage(t, "wait SECONDS (0 to 3600)");
    RunLoop::main().runFor(seconds);
    return Passed;
}

QuorvexSession::Status QuorvexSession::shot(const Line& t)
{
    if (!t.arguments(1, 1) || !isPlainName(t[1]))
        return usage(t, "shot NAME (letters, digits, - and _)");
    settle();
    std::error_code error;
    std::filesystem::create_directories(m_outDirectory, error);
    std::string path = m_outDirectory + "/" + t[1] + ".png";
    if (!CGImageWritePNGFile(CGImageCreateWithDesktopImage(m_desktop.screenshot()), path))
        return fail(t, "cannot write " + path, OutputError);
    m_out << "shot: " << path << "\n";
    return Passed;
}

QuorvexSession::Status QuorvexSession::launch(const Line& t)
{
    if (t.size() < 2)
        return usage(t, "launch APP [\"TITLE\" ...]");
    if (auto running = applicationNamed(t[1])) {
        // Starting this application again, as a person does from a menu or
        // a terminal, asks the running one to reopen.
        if (*running == m_desktop.ownProcessIdentifier() && t.size() == 2) {
            m_desktop.reopenOwnApplication();
            settle();
            return Passed;
        }
        return fail(t, "an application named \"" + t[1] + "\" is running already", ScriptError);
    }
    DesktopApp app;
    // The desktop file may use these ids already.
    while (m_desktop.application(m_nextPid) || m_nextPid == m_desktop.ownProcessIdentifier())
        ++m_nextPid;
    app.pid = m_nextPid++;
    app.name = t[1];
    app.bundleId = "org.example." + lowercase(t[1]);
    app.iconColor = static_cast<uint32_t>(app.pid * 2654435761u) & 0xffffff;
    std::vector<DesktopWindow> windows;
    for (size_t i = 2; i < t.size(); ++i) {
        DesktopWindow w;
        w.title = t[i];
        w.frame = CGRectMake(120 + 40 * i, 80 + 30 * i, 720, 480);
        windows.push_back(w);
    }
    m_desktop.launchApplication(app, windows);
    settle();
    return Passed;
}

QuorvexSession::Status QuorvexSession::quitOrHide(const Line& t)
{
    if (!t.arguments(1, 1))
        return usage(t, t[0] + " APP");
    auto pid = applicationNamed(t[1]);
    if (!pid)
        return fail(t, "no application named \"" + t[1] + "\"", ScriptError);
    if (t[0] == "quit")
        m_desktop.quitApplication(*pid);
    else
        m_desktop.hideApplication(*pid);
    settle();
    return Passed;
}

QuorvexSession::Status QuorvexSession::open(const Line& t)
{
    if (!t.arguments(2, 2))
        return usage(t, "open APP \"TITLE\"");
    auto pid = applicationNamed(t[1]);
    if (!pid)
        return fail(t, "no application named \"" + t[1] + "\"", ScriptError);
    DesktopWindow w;
    w.pid = *pid;
    w.title = t[2];
    w.frame = CGRectMake(200, 140, 720, 480);
    m_desktop.openWindow(w);
    settle();
    return Passed;
}

QuorvexSession::Status QuorvexSession::closeOrMinimize(const Line& t)
{
    if (!t.arguments(1, 1))
        return usage(t, t[0] + " \"TITLE\"");
    auto window = windowTitled(t[1]);
    if (!window)
        return fail(t, "no window titled \"" + t[1] + "\"", ScriptError);
    if (t[0] == "close")
        m_desktop.closeWindow(*window);
    else
        m_desktop.setWindowMinimized(*window, true);
    settle();
    return Passed;
}

QuorvexSession::Status QuorvexSession::set(const Line& t)
{
    const auto& rules = settingRules();
    auto rule = t.arguments(2, 2) ? rules.find(t[1]) : rules.end();
    if (rule == rules.end()) {
        std::string names;
        for (const auto& [name, r] : rules)
            names += (names.empty() ? "" : ", ") + name;
        return usage(t, "set SETTING VALUE, the setting one of " + names);
    }
    auto defaults = NSUserDefaults::standardUserDefaults();
    if (rule->second.isBool) {
        auto value = boolNamed(t[2]);
        if (!value)
            return usage(t, "set " + t[1] + " yes|no");
        defaults->setBool(*value, t[1]);
    } else {
        char* end = nullptr;
        long long value = std::strtoll(t[2].c_str(), &end, 10);
        if (t[2].empty() || *end || value < rule->second.least || value > rule->second.most)
            return usage(t, "set " + t[1] + " " + std::to_string(rule->second.least) + " to " + std::to_string(rule->second.most));
        defaults->setInteger(value, t[1]);
    }
    settle();
    return Passed;
}

// The expectations the host does not take itself, once the application has
// handled what came before.
QuorvexSession::Status QuorvexSession::expect(const Line& t)
{
    if (t.size() >= 2 && m_host.handlesExpectation(t[1]))
        return fromHost(t);
    settle();
    if (t.size() >= 2)
        for (const auto& expectation : expectations())
            if (t[1] == expectation.name)
                return (this->*expectation.run)(t);
    return usage(t, "expect focus \"TITLE\" | expect panel visible|hidden | expect selected \"TITLE\" | expect count N | "
                    "expect frame \"TITLE\" X Y WIDTH HEIGHT | expect checked|unchecked \"TITLE\" | expect shows \"TEXT\" | "
                    "expect login-item on|off");
}

QuorvexSession::Status QuorvexSession::expectFocus(const Line& t)
{
    if (t.size() != 3)
        return usage(t, "expect focus \"TITLE\"");
    auto focused = m_desktop.window(m_desktop.focusedWindow());
    std::string saw = focused ? "\"" + focused->title.value_or("") + "\"" : "no focused window";
    if (!focused || focused->title != t[2])
        return fail(t, "saw " + saw, ExpectationFailed);
    return Passed;
}

QuorvexSession::Status QuorvexSession::expectPanel(const Line& t)
{
    if (t.size() != 3 || (t[2] != "visible" && t[2] != "hidden"))
        return usage(t, "expect panel visible|hidden");
    bool visible = m_host.isPanelVisible();
    if (visible != (t[2] == "visible"))
        return fail(t, std::string("saw the panel ") + (visible ? "visible" : "hidden"), ExpectationFailed);
    return Passed;
}

QuorvexSession::Status QuorvexSession::expectSelected(const Line& t)
{
    if (t.size() != 3)
        return usage(t, "expect selected \"TITLE\"");
    auto selected = m_host.selectedTitle();
    if (selected != t[2])
        return fail(t, "saw " + (selected ? "\"" + *selected + "\"" : std::string("nothing selected")), ExpectationFailed);
    return Passed;
}

QuorvexSession::Status QuorvexSession::expectCount(const Line& t)
{
    size_t expected = 0;
    bool valid = t.size() == 3;
    if (valid) {
        const char* end = t[2].data() + t[2].size();
        auto [stop, parsed] = std::from_chars(t[2].data(), end, expected);
        valid = parsed == std::errc() && stop == end && expected <= kMaxExpectedCount;
    }
    if (!valid)
        return usage(t, "expect count N (0 to " + std::to_string(kMaxExpectedCount) + ")");
    size_t count = m_host.shownCount();
    if (count != expected)
        return fail(t, "saw " + std::to_string(count), ExpectationFailed);
    return Passed;
}

QuorvexSession::Status QuorvexSession::expectFrame(const Line& t)
{
    const char* form = "expect frame \"TITLE\" X Y WIDTH HEIGHT";
    if (t.size() != 7)
        return usage(t, form);
    auto number = windowTitled(t[2]);
    if (!number)
        return fail(t, "no window titled \"" + t[2] + "\"", ScriptError);
    double v[4];
    for (int i = 0; i < 4; ++i) {
        char* end = nullptr;
        v[i] = std::strtod(t[3 + i].c_str(), &end);
        if (t[3 + i].empty() || *end || !std::isfinite(v[i]))
            return usage(t, form);
    }
    CGRect frame = m_desktop.window(*number)->frame;
    if (frame != CGRectMake(v[0], v[1], v[2], v[3])) {
        std::ostringstream saw;
        saw << "saw " << frame.origin.x << " " << frame.origin.y << " " << frame.size.width << " " << frame.size.height;
        return fail(t, saw.str(), ExpectationFailed);
    }
    return Passed;
}

// A session script drives the application on the simulated desktop the way
// a person would: key presses and releases, waiting, changes to the desktop,
// screenshots, and expectations that stop the run when they fail. One
// command per line; "#" starts a comment.
//
//   press KEYS           cmd+tab: the modifiers go down and stay held, the key is pressed and released
//   tap KEY              press and release one key, the held modifiers still held
//   release MODIFIER     cmd, ctrl, alt, shift or all
//   wait SECONDS         lets the clock run
//   shot NAME            the whole desktop to DIR/NAME.png
//   launch APP ["TITLE"...]   starts an application with windows of these titles
//   quit APP | hide APP
//   open APP "TITLE" | close "TITLE" | minimize "TITLE"
//   set SETTING VALUE    changes a setting as the preferences do (set LayoutType 1, set Animation3D no)
//   expect focus "TITLE" | expect panel visible | expect panel hidden
//   expect selected "TITLE" | expect count N
//   expect frame "TITLE" X Y WIDTH HEIGHT   the window's frame, top-left origin as in desktop files
//
// The application's own windows, as a person uses them:
//   menu "ITEM"                chooses an item of the status-bar menu
//   click "TEXT" [N]           clicks the control showing TEXT (a button, a
//                              pop-up, a recorder, a toolbar item, an item of
//                              the open pop-up), or the N-th control right of
//                              the label TEXT (default the first)
//   click X Y                  clicks at a screen point (bottom-left origin)
//   type "TEXT"                types the text on the keyboard
//   windowshot NAME            the front window of the application to DIR/NAME.png
//   windowclose                closes the front window with its close button
//   appearance dark|light      the application's appearance, as dark mode sets it
//   expect checked "TITLE" | expect unchecked "TITLE"
//   expect shows "TEXT"        some control of a visible window shows TEXT
//   expect login-item on|off   whether the login items start this program
#pragma once

#include <desktop/sim/SimDesktop.h>

#include <cstdint>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

// What a session asks of the running application.
class QuorvexSessionHost {
public:
    virtual ~QuorvexSessionHost() = default;
    virtual bool isPanelVisible() = 0;
    // The title of the window selected in the panel; nothing when none is.
    virtual std::optional<std::string> selectedTitle() = 0;
    // How many entries the panel shows.
    virtual size_t shownCount() = 0;

    // Commands of the host's own, given as words; NotMine leaves the line to
    // be reported as an unknown command. A failure or error fills problem.
    enum class CommandResult { NotMine, Passed, Failed, Error };
    // Whether "expect WHAT ..." is one of the host's commands.
    virtual bool handlesExpectation(const std::string& what) const
    {
        (void)what;
        return false;
    }
    virtual CommandResult runCommand(const std::vector<std::string>& words, std::string& problem)
    {
        (void)words;
        (void)problem;
        return CommandResult::NotMine;
    }
};

class QuorvexSession {
public:
    // Also the quorvex command's exit statuses: 0 the session ran to its end,
    // 1 an expectation failed, 2 the command line is wrong (the command's
    // own), 3 an input is wrong (a desktop file, a session file or one of
    // its lines), 4 an output cannot be written.
    enum Status { Passed = 0, ExpectationFailed = 1, UsageError = 2, ScriptError = 3, OutputError = 4 };

    QuorvexSession(SimDesktop& desktop, QuorvexSessionHost& host, std::string outDirectory, std::ostream& out, std::ostream& err);

    // Runs every line; stops at the first failed expectation or error. Each
    // message names the source and the line.
    Status run(std::istream& script, const std::string& sourceName);
    // Runs one line (its number is used in messages).
    Status runLine(const std::string& line, size_t lineNumber);

    // Key names: letters, digits, tab, return, escape, space, the arrows
    // (left, right, up, down), grave, minus, equal, delete, f1 to f12.
    static std::optional<uint16_t> keyCodeForName(const std::string& name);
    // Modifier names: cmd/command, ctrl/control, alt/opt/option, shift, fn.
    static std::optional<uint64_t> modifierForName(const std::string& name);

private:
    // One line of a script: its words, its number and its text for messages.
    struct Line {
        const std::vector<std::string>& words;
        size_t number;
        const std::string& text;
        const std::string& operator[](size_t i) const { return words[i]; }
        size_t size() const { return words.size(); }
        // Whether the command has from least to most arguments.
        bool arguments(size_t least, size_t most) const { return size() - 1 >= least && size() - 1 <= most; }
    };
    using Handler = Status (QuorvexSession::*)(const Line&);
    struct Command {
        const char* name;
        Handler run;
    };
    // The commands by their first word, and the expectations by the word
    // after "expect"; a line none of them takes goes to the host.
    static const std::vector<Command>& commands();
    static const std::vector<Command>& expectations();

    Status fail(const Line& line, const std::string& problem, Status status);
    Status usage(const Line& line, const std::string& form);
    Status fromHost(const Line& line);
    static bool isPlainName(const std::string& name);
    std::optional<pid_t> applicationNamed(const std::string& name) const;
    std::optional<CGWindowID> windowTitled(const std::string& title) const;

    Status press(const Line& line);
    Status tap(const Line& line);
    Status release(const Line& line);
    Status wait(const Line& line);
    Status shot(const Line& line);
    Status launch(const Line& line);
    Status quitOrHide(const Line& line);
    Status open(const Line& line);
    Status closeOrMinimize(const Line& line);
    Status set(const Line& line);
    Status expect(const Line& line);
    Status expectFocus(const Line& line);
    Status expectPanel(const Line& line);
    Status expectSelected(const Line& line);
    Status expectCount(const Line& line);
    Status expectFrame(const Line& line);
    // The commands on the application's own windows (QuorvexSessionWindows.cpp).
    Status menu(const Line& line);
    Status click(const Line& line);
    Status type(const Line& line);
    Status windowshot(const Line& line);
    Status windowclose(const Line& line);
    Status appearance(const Line& line);
    Status expectChecked(const Line& line);
    Status expectShows(const Line& line);
    Status expectLoginItem(const Line& line);

    SimDesktop& m_desktop;
    QuorvexSessionHost& m_host;
    std::string m_outDirectory;
    std::ostream& m_out;
    std::ostream& m_err;
    pid_t m_nextPid { 9000 };
    std::string m_sourceName;
};

class AppController;

// A host that answers from the hotkey controller's switcher panel.
class AppControllerSessionHost final : public QuorvexSessionHost {
public:
    explicit AppControllerSessionHost(AppController& controller)
        : m_controller(controller)
    {
    }
    bool isPanelVisible() override;
    std::optional<std::string> selectedTitle() override;
    size_t shownCount() override;

private:
    AppController& m_controller;
};

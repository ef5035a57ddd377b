#include "DirarivCommand.h"

#include <scripting/DRContext.h>
#include <scripting/DREventTranslator.h>
#include <scripting/DRModalWindowController.h>
#include <scripting/DRStorage.h>
#include <scripting/DRTaskHandler.h>

#include <appkit/NSApplication.h>
#include <appkit/NSTextField.h>
#include <appkit/NSWindow.h>
#include <desktop/InputCodes.h>
#include <desktop/sim/SimDesktop.h>
#include <foundation/AtomicFile.h>
#include <foundation/Clock.h>
#include <foundation/Dispatch.h>
#include <foundation/JSON.h>
#include <foundation/Log.h>
#include <foundation/NSNotificationCenter.h>
#include <foundation/NSPathUtilities.h>
#include <foundation/RunLoop.h>
#include <services/NSUserNotification.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

namespace {

void usage(std::ostream& stream)
{
    stream << "usage: dirariv [--desktop FILE] [--config FILE] [--data DIR] [--session FILE] [--out DIR]\n";
}

std::string unescapeLineBreaks(const std::string& text)
{
    std::string result;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
            result += '\n';
            ++i;
        } else {
            result += text[i];
        }
    }
    return result;
}

bool anyContains(const std::vector<std::string>& lines, const std::string& text)
{
    for (const auto& line : lines)
        if (line.find(text) != std::string::npos)
            return true;
    return false;
}

std::vector<std::string> notificationTexts()
{
    std::vector<std::string> texts;
    for (const auto& n : NSUserNotificationCenter::defaultUserNotificationCenter().deliveredNotifications())
        texts.push_back(n->informativeText());
    return texts;
}

// What the layer said since the last call, printed once.
class Printer {
public:
    explicit Printer(std::ostream& out)
        : m_out(out)
    {
    }
    void flush()
    {
        auto lines = m_log.lines();
        for (; m_printedLines < lines.size(); ++m_printedLines)
            m_out << "log: " << lines[m_printedLines] << "\n";
        auto texts = notificationTexts();
        for (; m_printedNotifications < texts.size(); ++m_printedNotifications)
            m_out << "notification: " << texts[m_printedNotifications] << "\n";
    }
    const LogCapture& log() const { return m_log; }

private:
    std::ostream& m_out;
    LogCapture m_log;
    size_t m_printedLines { 0 };
    size_t m_printedNotifications { 0 };
};

Printer* gPrinter = nullptr;

// How long "await tasks" waits for the scripts' programs, in real seconds.
constexpr double kTaskWaitLimit = 20;

}

bool DirarivSessionHost::handlesExpectation(const std::string& what) const
{
    return what == "modal" || what == "stored" || what == "log" || what == "notification" || what == "space";
}

QuorvexSessionHost::CommandResult DirarivSessionHost::runCommand(const std::vector<std::string>& t, std::string& problem)
{
    RunLoop::main().runUntilIdle();
    dispatchWaitForBackgroundWork();
    RunLoop::main().runUntilIdle();
    auto error = [&](const std::string& text) {
        problem = text;
        return CommandResult::Error;
    };
    auto failed = [&](const std::string& text) {
        problem = text;
        return CommandResult::Failed;
    };
    if (t[0] == "write") {
        if (t.size() != 3)
            return error("usage: write FILE \"TEXT\"");
        std::string path = isAbsolutePath(t[1]) ? t[1]
                                                : stringByAppendingPathComponent(
                                                    stringByDeletingLastPathComponent(m_host.primaryConfigurationPath()), t[1]);
        std::string text = unescapeLineBreaks(t[2]);
        std::string reason;
        if (!writeFileAtomically(path, Value::Bytes(text.begin(), text.end()), &reason))
            return error("cannot write " + path + ": " + reason);
        return CommandResult::Passed;
    }
    if (t[0] == "mouse") {
        // The pointer moves as a person moves it, outside this program.
        char* endX = nullptr;
        char* endY = nullptr;
        double x = t.size() == 3 ? std::strtod(t[1].c_str(), &endX) : 0;
        double y = t.size() == 3 ? std::strtod(t[2].c_str(), &endY) : 0;
        if (t.size() != 3 || !endX || *endX || !endY || *endY || !std::isfinite(x) || !std::isfinite(y))
            return error("usage: mouse X Y");
        DesktopInputEvent moved;
        moved.type = kCGEventMouseMoved;
        moved.location = CGPointMake(x, y);
        m_desktop.sendHardwareInput(moved, false);
        RunLoop::main().runUntilIdle();
        return CommandResult::Passed;
    }
    auto spaceNumber = [](const std::string& text) -> std::optional<uint64_t> {
        char* end = nullptr;
        unsigned long long n = std::strtoull(text.c_str(), &end, 10);
        if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])) || !end || *end || n == 0)
            return std::nullopt;
        return n;
    };
    if (t[0] == "space") {
        // The person shows another space, as with the overview.
        auto space = t.size() == 2 ? spaceNumber(t[1]) : std::nullopt;
        if (!space)
            return error("usage: space N");
        m_desktop.switchToSpace(*space);
        RunLoop::main().runUntilIdle();
        return CommandResult::Passed;
    }
    if (t[0] == "await") {
        // The scripts' programs run in real time, beside the session's clock.
        if (t.size() != 2 || t[1] != "tasks")
            return error("usage: await tasks");
        if (!DRTaskHandler::waitForRunningTasks(kTaskWaitLimit))
            return failed("a task was still running after " + stringWithFormat("%g", kTaskWaitLimit) + " seconds");
        return CommandResult::Passed;
    }
    if (t[0] != "expect")
        return CommandResult::NotMine;
    if (t.size() == 3 && t[1] == "modal") {
        std::vector<std::string> shown;
        for (const auto& panel : DRModalWindowController::shownPanels())
            shown.push_back(panel->text());
        if (t[2] == "hidden")
            return shown.empty() ? CommandResult::Passed : failed("saw a panel showing \"" + shown.front() + "\"");
        for (const auto& text : shown)
            if (text == t[2])
                return CommandResult::Passed;
        return failed(shown.empty() ? "saw no panel" : "saw a panel showing \"" + shown.front() + "\"");
    }
    if (t.size() == 4 && t[1] == "stored") {
        // A quoted word arrives without its quotes: what is not JSON is a string.
        auto expected = parseJSON(t[3]);
        if (!expected)
            expected = Value(t[3]);
        auto bytes = readFileContents(m_host.storage()->path());
        auto stored = bytes ? parseJSON(std::string(bytes->begin(), bytes->end())) : std::nullopt;
        if (!stored)
            return failed("saw no readable storage file at " + m_host.storage()->path());
        const Value& value = (*stored)[t[2]];
        if (value != *expected)
            return failed("saw " + (value.isNil() ? std::string("no value") : serializeJSON(value)));
        return CommandResult::Passed;
    }
    if (t.size() == 3 && t[1] == "log")
        return gPrinter && anyContains(gPrinter->log().lines(), t[2]) ? CommandResult::Passed : failed("no log line contains it");
    if (t.size() == 3 && t[1] == "notification")
        return anyContains(notificationTexts(), t[2]) ? CommandResult::Passed : failed("no notification contains it");
    if (t.size() == 4 && t[1] == "space") {
        auto space = spaceNumber(t[3]);
        if (!space)
            return error("usage: expect space \"TITLE\" N");
        for (const auto& w : m_desktop.windows())
            if (w.title == t[2])
                return w.space == *space ? CommandResult::Passed : failed("saw it on space " + std::to_string(w.space));
        return failed("saw no window titled \"" + t[2] + "\"");
    }
    return error("usage: expect modal \"TEXT\"|hidden | expect stored KEY JSON | expect log \"TEXT\" | expect notification \"TEXT\" | expect space \"TITLE\" N");
}

int runDirariv(int argc, const char* const* argv, std::ostream& out, std::ostream& err)
{
    setLogProgramName("dirariv");
    std::string desktopFile, configFile, dataDirectory, sessionFile, outDirectory = "out";
    for (int i = 1; i < argc; ++i) {
        auto value = [&](std::string& into) {
            if (i + 1 >= argc)
                return false;
            into = argv[++i];
            return true;
        };
        bool ok = true;
        if (std::strcmp(argv[i], "--desktop") == 0)
            ok = value(desktopFile);
        else if (std::strcmp(argv[i], "--config") == 0)
            ok = value(configFile);
        else if (std::strcmp(argv[i], "--data") == 0)
            ok = value(dataDirectory);
        else if (std::strcmp(argv[i], "--session") == 0)
            ok = value(sessionFile);
        else if (std::strcmp(argv[i], "--out") == 0)
            ok = value(outDirectory);
        else if (std::strcmp(argv[i], "--help") == 0) {
            usage(out);
            return 0;
        } else
            ok = false;
        if (!ok) {
            err << "dirariv: unknown or incomplete argument \"" << argv[i] << "\"\n";
            usage(err);
            return 2;
        }
    }
    std::ifstream sessionStream;
    if (!sessionFile.empty()) {
        sessionStream.open(sessionFile);
        if (!sessionStream) {
            err << "dirariv: " << sessionFile << ": cannot be read\n";
            return 2;
        }
    }
    std::string error;
    auto desktop = SimDesktop::fromFile(desktopFile.empty() ? SimDesktop::demoScenarioPath() : desktopFile, &error);
    if (!desktop) {
        err << "dirariv: " << error << "\n";
        return 1;
    }
    // A relative folder is taken from the working folder: the environment
    // variable it is handed on in ignores relative paths.
    if (!dataDirectory.empty())
        ::setenv("XDG_DATA_HOME",
            stringByResolvingSymlinksInPath(std::filesystem::absolute(stringByExpandingTildeInPath(dataDirectory)).string()).c_str(), 1);
    Clock::setCurrent(std::make_shared<VirtualClock>());
    Desktop::setCurrent(desktop);
    NSApp().finishLaunching();
    RunLoop::main().runUntilIdle();

    Printer printer(out);
    gPrinter = &printer;
    auto host = configFile.empty() ? DRContext::context()
                                   : makeRef<DRContext>(stringByResolvingSymlinksInPath(std::filesystem::absolute(configFile).string()));
    out << "Configuration: " << host->primaryConfigurationPath() << "\n";
    out << "Storage: " << host->storage()->path() << "\n";
    host->load();
    RunLoop::main().runUntilIdle();
    // The layer leaves these two to its host: the scripts' didLaunch and
    // willTerminate events.
    NSNotificationCenter::defaultCenter().postNotificationName(DREventDidLaunchNotification, nullptr);
    RunLoop::main().runUntilIdle();
    printer.flush();

    DirarivSessionHost sessionHost(*host, *desktop);
    QuorvexSession session(*desktop, sessionHost, outDirectory, out, err);
    std::istream& script = sessionFile.empty() ? std::cin : sessionStream;
    std::string line;
    size_t number = 0;
    auto status = QuorvexSession::Passed;
    while (status == QuorvexSession::Passed && std::getline(script, line)) {
        status = session.runLine(line, ++number);
        printer.flush();
    }
    NSNotificationCenter::defaultCenter().postNotificationName(DREventWillTerminateNotification, nullptr);
    RunLoop::main().runUntilIdle();
    host->storage()->waitUntilPersisted();
    RunLoop::main().runUntilIdle();
    printer.flush();
    gPrinter = nullptr;
    if (status == QuorvexSession::Passed)
        out << "Session finished.\n";
    return status;
}

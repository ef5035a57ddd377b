// The application end to end: the real start-up on a simulated desktop, then
// session scripts that type as a person would and check what happens.
#include "support/SimWorld.h"
#include "support/TemporaryDirectory.h"

#include <app/AppController.h>
#include <app/AppDelegate.h>
#include <command/QuorvexSession.h>
#include <appkit/NSApplication.h>
#include <foundation/NSUserDefaults.h>
#include <model/EBEventful.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <utility>
#include <vector>
#include <sys/wait.h>

namespace {

std::string sourceDirectory()
{
    const char* dir = std::getenv("QV_TEST_SOURCE_DIR");
    return dir ? dir : QV_SOURCE_DIR;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class EndToEnd : public ::testing::TestWithParam<std::string> { };

}

// Starts the application and plays one session; the process ends with the
// session's status. The application's objects live once per process, so
// every session runs in a process of its own.
// The settings a person stored before are written first.
[[noreturn]] void playScript(const std::string& desktop, const std::string& script, const std::string& name,
    const std::vector<std::pair<std::string, Value>>& stored = {})
{
    SimWorld world(readFile(desktop));
    TemporaryDirectory settings;
    // The login items live in the settings folder too.
    ::setenv("XDG_CONFIG_HOME", settings.path().c_str(), 1);
    NSUserDefaults::setStorageDirectory(settings.path());
    NSUserDefaults::resetStandardUserDefaults();
    for (const auto& [key, value] : stored)
        NSUserDefaults::standardUserDefaults()->setObject(value, key);
    EBEventful::resetForTesting();

    auto delegate = makeRef<AppDelegate>();
    NSApp().setDelegate(delegate);
    NSApp().finishLaunching();
    world.settle();
    world.advance(1);
    if (!delegate->appController()) {
        std::cerr << "no hotkey controller after start-up\n";
        std::_Exit(3);
    }
    AppControllerSessionHost host(*delegate->appController());
    std::ostringstream out;
    QuorvexSession session(world.desktop(), host, settings.path(), out, std::cerr);
    std::istringstream lines(readFile(script));
    auto status = session.run(lines, name);
    std::cerr.flush();
    std::_Exit(status);
}

[[noreturn]] void playSession(const std::string& name)
{
    playScript(sourceDirectory() + "/tests/endtoend/desktop.json",
        sourceDirectory() + "/tests/endtoend/sessions/" + name + ".session", name);
}

TEST_P(EndToEnd, SessionPasses)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(playSession(GetParam()), ::testing::ExitedWithCode(0), "");
}

INSTANTIATE_TEST_SUITE_P(Sessions, EndToEnd,
    ::testing::Values("command-tab", "option-tab", "option-grave", "actions", "list", "list-actions", "carousel", "carousel-actions", "record-shortcut", "launch-at-login", "reopen", "recorder-takes-hotkeys"));

// The demo session passes whatever the person has stored: it sets what it
// relies on itself.
TEST(EndToEndDemo, TheDemoPassesWhateverLayoutIsStored)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::vector<std::vector<std::pair<std::string, Value>>> stored = {
        { { "LayoutType", Value(int64_t(1)) } },
        { { "LayoutType", Value(int64_t(2)) } },
        { { "LayoutType", Value(int64_t(3)) }, { "Style3DIndex", Value(int64_t(11)) } },
        { { "LayoutType", Value(int64_t(0)) }, { "FullScreenMode", Value(true) } },
    };
    for (size_t i = 0; i < stored.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EXIT(playScript(sourceDirectory() + "/resources/desktops/demo.json",
                        sourceDirectory() + "/resources/sessions/demo.session", "demo", stored[i]),
            ::testing::ExitedWithCode(0), "");
    }
}

// The program itself, started twice on one settings folder: a shortcut
// recorded in the first run is the hotkey of the second.
TEST(EndToEndProgram, ARecordedShortcutSurvivesARestart)
{
    TemporaryDirectory config;
    auto run = [&](const std::string& session) {
        std::string command = "XDG_CONFIG_HOME='" + config.path() + "' '" + QV_QUORVEX_PROGRAM + "' --desktop '"
            + sourceDirectory() + "/tests/endtoend/desktop.json' --session '" + sourceDirectory()
            + "/tests/endtoend/sessions/" + session + ".session' --out '" + config.path() + "/out' >'" + config.path()
            + "/" + session + ".log' 2>&1";
        int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    ASSERT_EQ(run("record-shortcut"), 0) << readFile(config.path() + "/record-shortcut.log");
    EXPECT_EQ(run("recorded-shortcut-kept"), 0) << readFile(config.path() + "/recorded-shortcut-kept.log");
}

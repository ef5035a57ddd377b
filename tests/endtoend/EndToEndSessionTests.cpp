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
[[noreturn]] void playSession(const std::string& name)
{
    SimWorld world(readFile(sourceDirectory() + "/tests/endtoend/desktop.json"));
    TemporaryDirectory settings;
    // The login items live in the settings folder too.
    ::setenv("XDG_CONFIG_HOME", settings.path().c_str(), 1);
    NSUserDefaults::setStorageDirectory(settings.path());
    NSUserDefaults::resetStandardUserDefaults();
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
    std::istringstream script(readFile(sourceDirectory() + "/tests/endtoend/sessions/" + name + ".session"));
    auto status = session.run(script, name);
    std::cerr.flush();
    std::_Exit(status);
}

TEST_P(EndToEnd, SessionPasses)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(playSession(GetParam()), ::testing::ExitedWithCode(0), "");
}

INSTANTIATE_TEST_SUITE_P(Sessions, EndToEnd,
    ::testing::Values("command-tab", "option-tab", "option-grave", "actions", "list", "list-actions", "carousel", "carousel-actions", "record-shortcut", "launch-at-login", "reopen"));

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

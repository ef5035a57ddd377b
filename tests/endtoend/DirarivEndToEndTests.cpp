// The scripting layer end to end: dirariv hosts it on the simulated desktop,
// a configuration binds a key that shows a panel and stores a value, the
// session types the key, checks the panel and the store, edits the
// configuration and checks that the change alone loads it again.
#include "support/TemporaryDirectory.h"

#include <command/DirarivCommand.h>

#include <foundation/Log.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

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

// Each run hosts the layer in a process of its own: the layer's objects and
// the application live once per process.
// A home folder (with no XDG_DATA_HOME) and a working folder can be given.
int playInChild(const std::vector<std::string>& arguments, std::string& output, const std::string& homeFolder = {},
    const std::string& workingFolder = {})
{
    TemporaryDirectory capture;
    std::string outPath = capture.file("out.txt");
    pid_t pid = ::fork();
    if (pid == 0) {
        if (!homeFolder.empty()) {
            ::setenv("HOME", homeFolder.c_str(), 1);
            ::unsetenv("XDG_DATA_HOME");
        }
        if (!workingFolder.empty() && ::chdir(workingFolder.c_str()) != 0)
            std::_Exit(99);
        std::ofstream out(outPath);
        std::vector<const char*> argv { "dirariv" };
        for (const auto& a : arguments)
            argv.push_back(a.c_str());
        int status = runDirariv(static_cast<int>(argv.size()), argv.data(), out, out);
        out.flush();
        std::_Exit(status);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    output = readFile(outPath);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

// Plays a session of tests/endtoend/dirariv on its desktop and
// configuration: it passes, and no script raised an exception.
void expectSessionPasses(const std::string& desktop, const std::string& config, const std::string& session)
{
    TemporaryDirectory home;
    std::string dir = sourceDirectory() + "/tests/endtoend/dirariv/";
    std::string output;
    int status = playInChild({ "--desktop", dir + desktop, "--config", dir + config, "--data", home.file("data"), "--out",
                                 home.path(), "--session", dir + session },
        output);
    EXPECT_EQ(status, 0) << output;
    EXPECT_EQ(output.find("Exception"), std::string::npos) << output;
}

}

TEST(DirarivEndToEnd, AKeyShowsAMessageStoresAValueAndAnEditReloads)
{
    TemporaryDirectory home;
    std::string config = home.file("config dir/dirariv.js");
    std::filesystem::create_directories(home.file("config dir"));
    std::filesystem::copy_file(sourceDirectory() + "/tests/endtoend/dirariv/dirariv.js", config);
    std::string output;
    int status = playInChild({ "--config", config, "--data", home.file("data"), "--out", home.path(), "--session",
                                 sourceDirectory() + "/tests/endtoend/dirariv/reload.session" },
        output);
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("notification: Exception raised."), std::string::npos) << output;
    EXPECT_NE(output.find("Session finished."), std::string::npos);
    EXPECT_EQ(readFile(home.file("data/Dirariv/storage.json")), "{\n  \"greeting\": \"hello\",\n  \"version\": 2\n}\n");
}

TEST(DirarivEndToEnd, ARelativeDataFolderIsInTheWorkingFolder)
{
    TemporaryDirectory work, home;
    std::filesystem::copy_file(sourceDirectory() + "/tests/endtoend/dirariv/dirariv.js", work.file("dirariv.js"));
    std::string output;
    int status = playInChild({ "--config", "dirariv.js", "--data", "data", "--out", work.path(), "--session",
                                 sourceDirectory() + "/tests/endtoend/dirariv/reload.session" },
        output, home.path(), work.path());
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("Storage: " + work.file("data/Dirariv/storage.json")), std::string::npos) << output;
    EXPECT_EQ(readFile(work.file("data/Dirariv/storage.json")), "{\n  \"greeting\": \"hello\",\n  \"version\": 2\n}\n");
    EXPECT_FALSE(std::filesystem::exists(home.file(".local/share/Dirariv"))) << "nothing goes to the home folder";
}

TEST(DirarivEndToEnd, KeysPutTheFocusedWindowOnAHalfOfItsScreenAndFocusTheNeighbourInADirection)
{
    expectSessionPasses("windows.json", "windows.js", "windows.session");
}

TEST(DirarivEndToEnd, ScriptsReactToWindowsAndTheMouseAndRunTimersAndTasks)
{
    expectSessionPasses("windows.json", "events.js", "events.session");
}

TEST(DirarivEndToEnd, AKeySendsTheFocusedWindowToTheNextSpaceAndSpaceChangesReachScripts)
{
    expectSessionPasses("spaces.json", "spaces.js", "spaces.session");
}

TEST(DirarivEndToEnd, TheDemoSessionPasses)
{
    TemporaryDirectory home;
    std::string output;
    int status = playInChild({ "--config", sourceDirectory() + "/resources/dirariv/demo.js", "--data", home.file("data"),
                                 "--out", home.path(), "--session", sourceDirectory() + "/resources/sessions/dirariv-demo.session" },
        output);
    EXPECT_EQ(status, 0) << output;
    EXPECT_TRUE(std::filesystem::exists(home.file("dirariv-modal.png")));
}

TEST(DirarivEndToEnd, ScriptsHearTheLaunchAndTheEndAndWarningsNameDirariv)
{
    TemporaryDirectory home;
    std::string config = home.file("dirariv.js");
    std::ofstream(config) << "var order = [];\n"
                             "var launched = new Event('didLaunch', function () { order.push('launch'); Dirariv.log('heard launch'); });\n"
                             "var ending = new Event('willTerminate', function () { order.push('end'); Storage.set('order', order); });\n";
    std::string session = home.file("empty.session");
    std::ofstream(session) << "";
    std::string errors = home.file("stderr.txt");
    std::string output;
    int status = 0;
    {
        TemporaryDirectory capture;
        std::string outPath = capture.file("out.txt");
        pid_t pid = ::fork();
        if (pid == 0) {
            // What the program prints on its own, outside its session's log.
            int fd = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(fd, STDERR_FILENO);
            std::ofstream out(outPath);
            std::vector<std::string> arguments { "dirariv", "--config", config, "--data", home.file("data"), "--out", home.path(),
                "--session", session };
            std::vector<const char*> argv;
            for (const auto& a : arguments)
                argv.push_back(a.c_str());
            int result = runDirariv(static_cast<int>(argv.size()), argv.data(), out, out);
            out.flush();
            NSLog("Warning: after the session.");
            std::_Exit(result);
        }
        int raw = 0;
        ::waitpid(pid, &raw, 0);
        status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 100 + WTERMSIG(raw);
        output = readFile(outPath);
    }
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("log: heard launch"), std::string::npos) << output;
    EXPECT_LT(output.find("Context loaded."), output.find("log: heard launch")) << "after the load";
    std::string stored = readFile(home.file("data/Dirariv/storage.json"));
    ASSERT_NE(stored.find("\"end\""), std::string::npos) << "the end is heard before the last write: " << stored;
    EXPECT_LT(stored.find("\"launch\""), stored.find("\"end\"")) << stored;
    EXPECT_EQ(readFile(errors), "dirariv: Warning: after the session.\n");
}

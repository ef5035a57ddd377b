// The scripting layer end to end: dirariv hosts it on the simulated desktop,
// a configuration binds a key that shows a panel and stores a value, the
// session types the key, checks the panel and the store, edits the
// configuration and checks that the change alone loads it again.
#include "support/TemporaryDirectory.h"

#include <command/DirarivCommand.h>

#include <gtest/gtest.h>

#include <cstdlib>
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

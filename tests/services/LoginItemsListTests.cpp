#include "support/TemporaryDirectory.h"
#include "support/TestClock.h"

#include <foundation/Log.h>
#include <services/LSSharedFileList.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

void writeText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

std::string readText(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The login items live in a temporary configuration folder for the test.
class LoginItemsList : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* old = std::getenv("XDG_CONFIG_HOME");
        m_oldConfig = old ? std::optional<std::string>(old) : std::nullopt;
        ::setenv("XDG_CONFIG_HOME", m_config.path().c_str(), 1);
        list = LSSharedFileListCreate(nullptr, kLSSharedFileListSessionLoginItems, {});
        ASSERT_TRUE(list);
    }
    void TearDown() override
    {
        if (m_oldConfig)
            ::setenv("XDG_CONFIG_HOME", m_oldConfig->c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
    }
    std::string folder() const { return m_config.file("autostart"); }
    std::string program(const std::string& name)
    {
        std::string path = m_config.file(name);
        writeText(path, "#!/bin/sh\n");
        fs::permissions(path, fs::perms::owner_all);
        return path;
    }
    std::vector<std::string> resolvedPaths()
    {
        std::vector<std::string> paths;
        for (const auto& item : LSSharedFileListCopySnapshot(list, nullptr)) {
            CFURLRef url;
            paths.push_back(LSSharedFileListItemResolve(item, 3, &url) == noErr ? url->path() : "-");
        }
        return paths;
    }

    TestClock clock;
    TemporaryDirectory m_config;
    std::optional<std::string> m_oldConfig;
    LSSharedFileListRef list;
};

}

TEST(DesktopEntryExec, ProgramPathsWithReservedBytesReadBackExactly)
{
    for (std::string path : { "/opt/q/quorvex", "/opt/My Apps/quorvex", "/a/\"quoted\" $HOME `x` \\back", "/p/100%/q",
             "/t/tab\there;&|<>*?#()~'" }) {
        std::string exec = desktopEntryExecForPath(path);
        auto words = desktopEntryExecArguments(exec);
        ASSERT_EQ(words.size(), 1u) << exec;
        EXPECT_EQ(words[0], path) << exec;
    }
    EXPECT_EQ(desktopEntryExecForPath("/usr/bin/plain"), "/usr/bin/plain") << "quoted only when needed";
    EXPECT_EQ(desktopEntryExecArguments("prog --x %U \"%f\" 50%%"),
        (std::vector<std::string> { "prog", "--x", "%f", "50%" }))
        << "a field code alone is dropped; inside quotes it is text";
}

TEST_F(LoginItemsList, InsertingWritesAValidEntryThatResolvesToTheProgramAndNeverReplacesAnother)
{
    std::string app = program("My App");
    auto url = NSURL::fileURLWithPath(app);
    auto item = LSSharedFileListInsertItemURL(list, kLSSharedFileListItemBeforeFirst, "", nullptr, url, {}, {});
    ASSERT_TRUE(item) << "the folder is made when missing";
    EXPECT_EQ(item->entryPath(), folder() + "/My-App.desktop");
    EXPECT_EQ(resolvedPaths(), std::vector<std::string> { app });

    std::string validator = "/usr/bin/desktop-file-validate";
    ASSERT_TRUE(fs::exists(validator)) << "desktop-file-utils is installed by make setup";
    std::string output = m_config.file("validate.out");
    int status = std::system((validator + " '" + item->entryPath() + "' >'" + output + "' 2>&1").c_str());
    EXPECT_EQ(status, 0) << readText(output);
    EXPECT_EQ(readText(output), "") << "no warning either";

    // A second entry of the same name gets a name of its own.
    auto second = LSSharedFileListInsertItemURL(list, kLSSharedFileListItemLast, "", nullptr, url, {}, {});
    ASSERT_TRUE(second);
    EXPECT_EQ(second->entryPath(), folder() + "/My-App-2.desktop");
    EXPECT_EQ(resolvedPaths().size(), 2u);

    EXPECT_EQ(LSSharedFileListItemRemove(list, item), noErr);
    EXPECT_EQ(LSSharedFileListItemRemove(list, item), fnfErr) << "already gone";
    EXPECT_EQ(resolvedPaths(), std::vector<std::string> { app });
}

TEST_F(LoginItemsList, EntriesWrittenByOthersAreReadAsTheDesktopReadsThem)
{
    fs::create_directories(folder());
    std::string app = program("app");
    writeText(folder() + "/a-plain.desktop", "[Desktop Entry]\nType=Application\nName=A\nExec=" + app + " --hidden %U\n");
    writeText(folder() + "/b-hidden.desktop", "[Desktop Entry]\nName=B\nExec=" + app + "\nHidden=true\n");
    writeText(folder() + "/c-disabled.desktop", "[Desktop Entry]\nName=C\nExec=" + app + "\nX-GNOME-Autostart-enabled=false\n");
    writeText(folder() + "/d-noexec.desktop", "[Desktop Entry]\nName=D\n");
    writeText(folder() + "/e-missing.desktop", "[Desktop Entry]\nName=E\nExec=/nowhere/program\n");
    writeText(folder() + "/f-onpath.desktop", "[Desktop Entry]\nName=F\nExec=sh -c true\n");
    writeText(folder() + "/g-other-group.desktop", "[Other]\nExec=" + app + "\n[Desktop Entry]\nName=G\n");
    writeText(folder() + "/notes.txt", "Exec=" + app + "\n");
    fs::create_symlink(app, m_config.file("link"));
    writeText(folder() + "/h-link.desktop", "[Desktop Entry]\nName=H\nExec=" + m_config.file("link") + "\n");

    LogCapture log;
    auto paths = resolvedPaths();
    auto sh = fs::canonical(LSSharedFileListItemCopyResolvedURL(LSSharedFileListCopySnapshot(list, nullptr)[3], 0, nullptr)->path());
    EXPECT_EQ(paths, (std::vector<std::string> { app, "-", "-", sh.string(), "-", app }));
    EXPECT_EQ(log.count("has no Exec line"), 2u) << log.lines().size();
    resolvedPaths();
    EXPECT_EQ(log.count("has no Exec line"), 2u) << "said once per entry";

    std::string error;
    auto item = LSSharedFileListCopySnapshot(list, nullptr)[2];
    EXPECT_FALSE(LSSharedFileListItemCopyResolvedURL(item, 0, &error));
    EXPECT_NE(error.find("e-missing"), std::string::npos) << error;
}

TEST_F(LoginItemsList, AFolderThatIsAFileOrCannotBeReadIsAnEmptyListAndRefusesItems)
{
    auto url = NSURL::fileURLWithPath(program("app"));
    for (int variant = 0; variant < 2; ++variant) {
        fs::remove_all(folder());
        if (variant == 0)
            writeText(folder(), "not a folder");
        else
            fs::create_symlink("autostart", folder()); // a loop no one can enter
        LogCapture log;
        EXPECT_TRUE(LSSharedFileListCopySnapshot(list, nullptr).empty());
        EXPECT_TRUE(log.contains("cannot be read")) << variant;
        EXPECT_FALSE(LSSharedFileListInsertItemURL(list, kLSSharedFileListItemLast, "", nullptr, url, {}, {}));
        EXPECT_TRUE(log.contains("cannot be added")) << variant;
        EXPECT_TRUE(fs::is_symlink(folder()) || readText(folder()) == "not a folder") << "left as it was";
    }
}

TEST_F(LoginItemsList, ObserversHearOfChangesMadeByAnyone)
{
    struct Count {
        int calls { 0 };
    } count;
    auto callback = [](LSSharedFileListRef, void* context) { ++static_cast<Count*>(context)->calls; };
    LSSharedFileListAddObserver(list, RunLoop::main(), kCFRunLoopDefaultMode, callback, &count);
    LSSharedFileListAddObserver(list, RunLoop::main(), kCFRunLoopDefaultMode, callback, &count);

    // The folder does not exist yet: adding the first item makes it.
    auto item = LSSharedFileListInsertItemURL(
        list, kLSSharedFileListItemLast, "", nullptr, NSURL::fileURLWithPath(program("app")), {}, {});
    ASSERT_TRUE(item);
    RunLoop::main().runUntilIdle();
    EXPECT_GE(count.calls, 1);
    EXPECT_LE(count.calls, 2) << "one observer, however often it was added";

    // Removed by hand.
    count.calls = 0;
    fs::remove(item->entryPath());
    RunLoop::main().runUntilIdle();
    EXPECT_EQ(count.calls, 1);

    LSSharedFileListRemoveObserver(list, RunLoop::main(), kCFRunLoopDefaultMode, callback, &count);
    count.calls = 0;
    writeText(folder() + "/x.desktop", "[Desktop Entry]\n");
    RunLoop::main().runUntilIdle();
    EXPECT_EQ(count.calls, 0);
}

#include "ScriptTestSupport.h"

#include <scripting/DRApp.h>

#include <desktop/sim/SimDesktop.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace {

// Applications in data folders of their own: the user's folder has
// "org.example.Scribble.desktop" (named Scribble; it writes its folder and
// lives a second, so it is still listed when the launch answers), and hides the system
// folder's "Gone.desktop"; the system folder has "Broken.desktop", whose
// program does not exist; a program "qv-waiter" is on PATH.
struct Launching : ::testing::Test {
    Launching()
    {
        for (const char* name : { "XDG_DATA_HOME", "XDG_DATA_DIRS", "PATH" }) {
            const char* value = std::getenv(name);
            saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
        }
        ::setenv("XDG_DATA_HOME", s.directory.file("home").c_str(), 1);
        ::setenv("XDG_DATA_DIRS", s.directory.file("system").c_str(), 1);
        ::setenv("PATH", (s.directory.file("bin") + ":" + saved[2].second.value_or("/usr/bin:/bin")).c_str(), 1);
        entry("home/applications/org.example.Scribble.desktop",
            "[Desktop Entry]\nType=Application\nName=Scribble\nExec=/bin/sh -c \"pwd > launched.txt; sleep 1\" %U\nPath=" + s.directory.path() + "\n");
        entry("home/applications/Gone.desktop", "[Desktop Entry]\nType=Application\nName=Gone\nExec=/bin/true\nHidden=true\n");
        entry("system/applications/Gone.desktop", "[Desktop Entry]\nType=Application\nName=Gone\nExec=/bin/true\n");
        entry("system/applications/Broken.desktop", "[Desktop Entry]\nType=Application\nName=Broken\nExec=/nonexistent/broken\n");
        // Runs until it is told to end.
        entry("bin/qv-waiter", "#!/bin/sh\nexec sleep 30\n");
        ::chmod(s.directory.file("bin/qv-waiter").c_str(), 0755);
        s.install("App", DRApp::exportClass());
    }
    ~Launching() override
    {
        for (const auto& [name, value] : saved)
            value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
    }
    void entry(const std::string& relative, const std::string& text)
    {
        std::string path = s.directory.file(relative);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path) << text;
    }
    SimDesktop& desktop() { return s.world.desktop(); }

    ScriptWorld s;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

TEST_F(Launching, AnApplicationIsFoundByItsEntryOrProgramAndRunsAsOne)
{
    // Found by the entry's name; it runs in the entry's folder, without the
    // field code, and is listed until it ends.
    std::string front = s.eval("App.focused().name()");
    EXPECT_EQ(s.eval("var a = App.launch('scribble'); a.name() + ' ' + a.bundleIdentifier() + ' ' + a.isTerminated()"),
        "Scribble org.example.Scribble false");
    EXPECT_EQ(s.eval("App.focused().name()"), front) << "launched without focus";
    ASSERT_TRUE(desktop().waitForStartedPrograms(20));
    std::ifstream written(s.directory.file("launched.txt"));
    std::string folder;
    std::getline(written, folder);
    EXPECT_EQ(std::filesystem::canonical(folder), std::filesystem::canonical(s.directory.path()));
    s.world.settle();
    EXPECT_EQ(s.eval("a.isTerminated() + ' ' + typeof App.get('Scribble')"), "true undefined");

    // Found by the entry's identifier too; a program on PATH by its file
    // name; with focus it comes to the front, and terminate ends it.
    EXPECT_EQ(s.eval("App.launch('org.example.Scribble').name()"), "Scribble");
    EXPECT_EQ(s.eval("var w = App.launch('qv-waiter', {focus: true}); w.name() + ' ' + App.focused().isEqual(w)"), "qv-waiter true");
    EXPECT_EQ(s.eval("w.terminate()"), "true");
    EXPECT_TRUE(desktop().waitForStartedPrograms(20)) << "the program ended";
    s.world.settle();
    EXPECT_EQ(s.eval("w.isTerminated()"), "true");
    EXPECT_TRUE(s.exceptions.empty());
}

TEST_F(Launching, NamesThatFindNothingOrCannotStartAreLoggedAndGiveNothing)
{
    EXPECT_EQ(s.eval("typeof App.launch('Nowhere')"), "undefined");
    EXPECT_TRUE(s.log.contains("Error: Could not find an app with the name “Nowhere”."));
    EXPECT_EQ(s.eval("typeof App.launch('Gone')"), "undefined") << "a deleted entry hides the system's one";
    EXPECT_TRUE(s.log.contains("Error: Could not find an app with the name “Gone”."));
    EXPECT_EQ(s.eval("typeof App.launch('../bin/qv-waiter') + ' ' + typeof App.launch('')"), "undefined undefined");
    EXPECT_EQ(s.eval("typeof App.launch('Broken')"), "undefined");
    EXPECT_TRUE(s.log.contains("Error: Could not launch app “Broken”. ("));
    EXPECT_TRUE(s.log.contains("/nonexistent/broken"));
    EXPECT_EQ(desktop().countCalls("LSOpenApplication"), 1u) << "only the entry that was found reached the desktop";
    EXPECT_TRUE(desktop().waitForStartedPrograms(1));
}

}

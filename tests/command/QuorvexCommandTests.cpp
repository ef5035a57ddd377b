#include "support/ChildEnvironment.h"
#include "support/TemporaryDirectory.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>

namespace {

// Each run is the program in a process of its own, as a person starts it
// (the application's objects live once per process), with settings of its
// own, never the user's: fresh ones, or those in the given folder.
class QuorvexCommand : public ::testing::Test {
protected:
    int run(std::vector<std::string> args, std::string& out, std::string& err, const std::string& configDirectory = {})
    {
        args.insert(args.begin(), QV_QUORVEX_PROGRAM);
        std::vector<char*> argv;
        for (auto& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        auto variables = childEnvironment({ "XDG_CONFIG_HOME=" + (configDirectory.empty() ? settings.path() : configDirectory) });
        auto env = environmentPointers(variables);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&files, 1, capture.file("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&files, 2, capture.file("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t pid = 0;
        int spawned = posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), env.data());
        posix_spawn_file_actions_destroy(&files);
        EXPECT_EQ(spawned, 0) << argv[0];
        int status = 0;
        if (spawned != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
            return -1;
        out = readAll(capture.file("out"));
        err = readAll(capture.file("err"));
        return WEXITSTATUS(status);
    }
    static std::string readAll(const std::string& path)
    {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    TemporaryDirectory settings;
    TemporaryDirectory capture;
};

}

TEST_F(QuorvexCommand, TheDemoDesktopReportShowsScreensWindowsAndPermissions)
{
    TemporaryDirectory dir;
    std::ofstream(dir.file("quiet.session")) << "# nothing to do\n";
    std::string out, err;
    ASSERT_EQ(run({ "--out", dir.path().c_str(), "--session", dir.file("quiet.session").c_str() }, out, err), 0) << err;
    EXPECT_NE(out.find("screen 1: frame (0, 0, 1440, 900), usable frame (0, 25, 1440, 805)"), std::string::npos) << out;
    EXPECT_NE(out.find("#11 \"notes.txt\" frame (100, 80, 800, 600), on screen"), std::string::npos) << out;
    EXPECT_NE(out.find("#23 \"Downloads\" frame (300, 200, 900, 600), minimised, off screen"), std::string::npos) << out;
    EXPECT_NE(out.find("Accessibility: granted"), std::string::npos);
    EXPECT_NE(out.find("Screen Recording: granted"), std::string::npos);
    EXPECT_EQ(out.find("loginwindow"), std::string::npos) << "an application without windows is not listed";
    EXPECT_NE(out.find("Window previews: 11 written to " + dir.path() + "/previews"), std::string::npos) << out;
    EXPECT_TRUE(std::filesystem::exists(dir.file("previews/21-quorvex-home.png")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("previews/23-downloads.png"))) << "minimised windows are written too";
    for (const char* theme : { "light", "dark", "ultra-dark" })
        EXPECT_TRUE(std::filesystem::exists(dir.file(std::string("panel-") + theme + ".png"))) << theme;
    EXPECT_NE(out.find("Quorvex is running: the hotkeys are"), std::string::npos) << out;
    EXPECT_NE(out.find("Session finished."), std::string::npos);
}

// A bare start is the switcher on the person's X11 desktop: with no display
// it says so and names the demo's command, and writes nothing; the demo
// and the X11 run are not asked for together.
TEST_F(QuorvexCommand, ABareStartWithoutADisplayNamesTheDemoAndWritesNothing)
{
    TemporaryDirectory dir;
    std::string out, err;
    EXPECT_EQ(run({ "--out", dir.path() }, out, err), 1);
    EXPECT_EQ(err, "quorvex: no X display to run the switcher on ($DISPLAY is not set); \"quorvex --demo\" plays the "
                   "demo on a simulated desktop\n");
    EXPECT_EQ(out, "");
    EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << "no pictures";
    EXPECT_EQ(run({ "--x11", "--demo" }, out, err), 2);
    EXPECT_NE(err.find("it takes no --demo"), std::string::npos) << err;
}

TEST_F(QuorvexCommand, ADesktopFileWithAProblemIsRefusedWithItsReason)
{
    TemporaryDirectory dir;
    std::ofstream(dir.file("bad.json")) << R"({ "screens": [ { "frame": [0, 0, 10, 10], "size": 3 } ] })";
    std::string out, err;
    // Wrong input (3) is told apart from a wrong command line (2) and from a
    // failed expectation (1).
    EXPECT_EQ(run({ "--desktop", dir.file("bad.json").c_str() }, out, err), 3);
    EXPECT_NE(err.find("bad.json"), std::string::npos) << err;
    EXPECT_NE(err.find("screens[0].size"), std::string::npos) << err;
    EXPECT_EQ(run({ "--frobnicate" }, out, err), 2);
    EXPECT_NE(err.find("--frobnicate"), std::string::npos);
    EXPECT_EQ(run({ "--session", "/nonexistent.session" }, out, err), 3);
    EXPECT_NE(err.find("/nonexistent.session: cannot be read"), std::string::npos);
    EXPECT_EQ(run({ "--session", dir.path() }, out, err), 3);
    EXPECT_NE(err.find("is a folder"), std::string::npos) << err;
    EXPECT_EQ(out.find("Session finished."), std::string::npos);

    // A screen without area is refused at once, named.
    std::ofstream(dir.file("flat.json")) << R"({ "screens": [ { "frame": [0, 0, 800, 600] }, { "frame": [800, 0, 0, 600] } ] })";
    EXPECT_EQ(run({ "--desktop", dir.file("flat.json").c_str() }, out, err), 3);
    EXPECT_NE(err.find("screens[1].frame"), std::string::npos) << err;
    // A key given twice would lose its first value without a word.
    std::ofstream(dir.file("twice.json")) << "{ \"screens\": [ { \"frame\": [0, 0, 800, 600],\n \"frame\": [0, 0, 10, 10] } ] }";
    EXPECT_EQ(run({ "--desktop", dir.file("twice.json").c_str() }, out, err), 3);
    EXPECT_NE(err.find("twice.json:2:2: duplicate key \"frame\""), std::string::npos) << err;
}

TEST_F(QuorvexCommand, AWindowWithAVeryLongTitleGetsAPreviewAllTheSame)
{
    TemporaryDirectory dir;
    std::string title(400, 'x');
    std::ofstream(dir.file("long.json")) << R"({ "screens": [ { "frame": [0, 0, 800, 600] } ],
        "apps": [ { "pid": 7, "name": "Long", "windows": [ { "id": 5, "title": ")" << title
                                         << R"(", "frame": [10, 40, 300, 200] } ] } ] })";
    std::ofstream(dir.file("quiet.session")) << "\n";
    std::string out, err;
    ASSERT_EQ(run({ "--desktop", dir.file("long.json").c_str(), "--out", dir.path().c_str(), "--session",
                  dir.file("quiet.session").c_str() },
                  out, err),
        0)
        << err;
    EXPECT_TRUE(std::filesystem::exists(dir.file("previews/5-" + std::string(100, 'x') + ".png")));
}

TEST_F(QuorvexCommand, TheFirstFileThatCannotBeWrittenIsNamedAndTheRunStops)
{
    // Folders where two panel pictures should go: the first of them in the
    // order the pictures are taken is named, and no line claims either.
    TemporaryDirectory pictures;
    std::ofstream(pictures.file("quiet.session")) << "\n";
    std::filesystem::create_directories(pictures.file("panel-list.png"));
    std::filesystem::create_directories(pictures.file("panel-dark.png"));
    std::string out, err;
    EXPECT_EQ(run({ "--out", pictures.path().c_str(), "--session", pictures.file("quiet.session").c_str() }, out, err), 4);
    EXPECT_NE(err.find("quorvex: the dark panel picture: cannot write " + pictures.file("panel-dark.png")), std::string::npos) << err;
    EXPECT_EQ(err.find("panel-list.png"), std::string::npos) << err;
    EXPECT_NE(out.find("Switcher panel (light theme): " + pictures.file("panel-light.png")), std::string::npos) << out;
    EXPECT_EQ(out.find("dark theme"), std::string::npos) << out;
    EXPECT_EQ(out.find("Switcher panel (list)"), std::string::npos) << out;
    EXPECT_EQ(out.find("Session finished."), std::string::npos);

    TemporaryDirectory previews;
    std::filesystem::create_directories(previews.file("previews/21-quorvex-home.png"));
    EXPECT_EQ(run({ "--out", previews.path().c_str(), "--session", pictures.file("quiet.session").c_str() }, out, err), 4);
    EXPECT_NE(err.find("quorvex: cannot write " + previews.file("previews/21-quorvex-home.png")), std::string::npos) << err;
    EXPECT_EQ(out.find("Window previews:"), std::string::npos) << out;
    EXPECT_TRUE(std::filesystem::exists(previews.file("previews/11-notes-txt.png"))) << "the other previews are written";
}

TEST_F(QuorvexCommand, AFailedExpectationEndsTheRunWithStatusOne)
{
    TemporaryDirectory dir;
    std::ofstream(dir.file("wrong.session")) << "press cmd+tab\nexpect selected \"nothing like it\"\n";
    std::string out, err;
    EXPECT_EQ(run({ "--out", dir.path().c_str(), "--session", dir.file("wrong.session").c_str() }, out, err), 1);
    EXPECT_NE(err.find("line 2: expect selected \"nothing like it\""), std::string::npos) << err;
    EXPECT_NE(err.find("saw \"~/src"), std::string::npos) << err;
}

TEST_F(QuorvexCommand, PermissionsAreReportedAsTheDesktopHasThem)
{
    TemporaryDirectory dir;
    std::ofstream(dir.file("locked.json")) << R"({ "screens": [ { "frame": [0, 0, 800, 600] } ],
        "apps": [ { "pid": 5, "name": "Five", "windows": [ { "id": 1, "title": "t", "frame": [0, 30, 100, 100] } ] } ],
        "permissions": { "accessibility": false, "screenRecording": false } })";
    std::ofstream(dir.file("quiet.session")) << "expect panel hidden\n";
    std::string out, err;
    ASSERT_EQ(run({ "--desktop", dir.file("locked.json").c_str(), "--out", dir.path().c_str(), "--session",
                      dir.file("quiet.session").c_str() },
                  out, err),
        0)
        << err;
    EXPECT_NE(out.find("The permission window was closed after 5 s."), std::string::npos) << out;
    EXPECT_NE(out.find("without hotkeys"), std::string::npos) << out;
    EXPECT_NE(out.find("Accessibility: not granted"), std::string::npos) << out;
    EXPECT_NE(out.find("Screen Recording: not granted"), std::string::npos) << out;
    EXPECT_EQ(out.find("Five"), std::string::npos) << "nothing is seen through accessibility without it";
}

TEST_F(QuorvexCommand, TheFirstRunsPanelPicturesShowThePanelAsLaterRunsDo)
{
    TemporaryDirectory config, first, second;
    std::ofstream(first.file("quiet.session")) << "# nothing to do\n";
    std::string out, err;
    ASSERT_EQ(run({ "--out", first.path().c_str(), "--session", first.file("quiet.session").c_str() }, out, err, config.path()), 0) << err;
    ASSERT_EQ(run({ "--out", second.path().c_str(), "--session", first.file("quiet.session").c_str() }, out, err, config.path()), 0) << err;
    auto bytes = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    for (const char* picture : { "panel-light.png", "panel-list.png" }) {
        EXPECT_FALSE(bytes(first.file(picture)).empty());
        EXPECT_EQ(bytes(first.file(picture)), bytes(second.file(picture))) << picture << ": the hint line is in both";
    }
}

#include "support/SimWorld.h"
#include "support/TemporaryDirectory.h"

#include <app/QuorvexCommand.h>

#include <fstream>
#include <sstream>

namespace {

int run(std::vector<const char*> args, std::string& out, std::string& err)
{
    // Every run starts from settings of its own, never the user's.
    TemporaryDirectory config;
    std::string saved = std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
    ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    struct Restore {
        std::string value;
        ~Restore() { value.empty() ? ::unsetenv("XDG_CONFIG_HOME") : ::setenv("XDG_CONFIG_HOME", value.c_str(), 1); }
    } restore { saved };
    args.insert(args.begin(), "quorvex");
    std::ostringstream o, e;
    int status = runQuorvex(static_cast<int>(args.size()), args.data(), o, e);
    out = o.str();
    err = e.str();
    return status;
}

}

TEST(QuorvexCommand, TheDemoDesktopReportShowsScreensWindowsAndPermissions)
{
    SimWorld world;
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

TEST(QuorvexCommand, ADesktopFileWithAProblemIsRefusedWithItsReason)
{
    SimWorld world;
    TemporaryDirectory dir;
    std::ofstream(dir.file("bad.json")) << R"({ "screens": [ { "frame": [0, 0, 10, 10], "size": 3 } ] })";
    std::string out, err;
    EXPECT_EQ(run({ "--desktop", dir.file("bad.json").c_str() }, out, err), 1);
    EXPECT_NE(err.find("bad.json"), std::string::npos) << err;
    EXPECT_NE(err.find("screens[0].size"), std::string::npos) << err;
    EXPECT_EQ(run({ "--frobnicate" }, out, err), 2);
    EXPECT_NE(err.find("--frobnicate"), std::string::npos);
    EXPECT_EQ(run({ "--session", "/nonexistent.session" }, out, err), 2);
    EXPECT_NE(err.find("/nonexistent.session: cannot be read"), std::string::npos);
}

TEST(QuorvexCommand, AFailedExpectationEndsTheRunWithStatusOne)
{
    SimWorld world;
    TemporaryDirectory dir;
    std::ofstream(dir.file("wrong.session")) << "press cmd+tab\nexpect selected \"nothing like it\"\n";
    std::string out, err;
    EXPECT_EQ(run({ "--out", dir.path().c_str(), "--session", dir.file("wrong.session").c_str() }, out, err), 1);
    EXPECT_NE(err.find("line 2: expect selected \"nothing like it\""), std::string::npos) << err;
    EXPECT_NE(err.find("saw \"~/src"), std::string::npos) << err;
}

TEST(QuorvexCommand, PermissionsAreReportedAsTheDesktopHasThem)
{
    SimWorld world;
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

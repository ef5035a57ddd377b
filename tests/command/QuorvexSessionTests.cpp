#include "support/DefaultsSandbox.h"
#include "support/SimWorld.h"
#include "support/TemporaryDirectory.h"

#include <command/QuorvexSession.h>

#include <filesystem>
#include <map>
#include <sstream>

namespace {

class FakeHost : public QuorvexSessionHost {
public:
    bool isPanelVisible() override { return visible; }
    std::optional<std::string> selectedTitle() override { return selected; }
    size_t shownCount() override { return count; }
    bool visible { false };
    std::optional<std::string> selected;
    size_t count { 0 };
};

struct Run {
    QuorvexSession::Status status;
    std::string out;
    std::string err;
};

Run run(SimWorld& world, FakeHost& host, const std::string& script, const std::string& out = "/tmp")
{
    std::ostringstream o, e;
    QuorvexSession session(world.desktop(), host, out, o, e);
    std::istringstream in(script);
    auto status = session.run(in, "test");
    return { status, o.str(), e.str() };
}

}

TEST(QuorvexSession, KeysGoDownAndStayHeldUntilReleased)
{
    SimWorld world;
    FakeHost host;
    auto r = run(world, host, "# hold command and step\npress cmd+tab\ntap tab\n");
    ASSERT_EQ(r.status, QuorvexSession::Passed) << r.err;
    EXPECT_EQ(world.desktop().keyboardModifierFlags() & (1u << 20), 1u << 20) << "command stays held";
    r = run(world, host, "release cmd\n");
    EXPECT_EQ(world.desktop().keyboardModifierFlags() & (1u << 20), 0u);
    r = run(world, host, "press ctrl+alt+shift+grave\nrelease all\n");
    ASSERT_EQ(r.status, QuorvexSession::Passed) << r.err;
    EXPECT_EQ(world.desktop().keyboardModifierFlags() & 0xff0000u, 0u);
}

TEST(QuorvexSession, EveryLineIsCheckedAndErrorsNameTheirLine)
{
    SimWorld world;
    FakeHost host;
    auto r = run(world, host, "press cmd+tab\n\nfrobnicate now\n");
    EXPECT_EQ(r.status, QuorvexSession::ScriptError);
    EXPECT_NE(r.err.find("line 3"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("unknown command \"frobnicate\""), std::string::npos) << r.err;
    r = run(world, host, "press cmd+banana\n");
    EXPECT_NE(r.err.find("unknown key name \"banana\""), std::string::npos) << r.err;
    r = run(world, host, "tap tab\nrelease elbow\n");
    EXPECT_NE(r.err.find("line 2"), std::string::npos);
    EXPECT_NE(r.err.find("unknown modifier"), std::string::npos);
    for (const char* bad : { "wait -1", "wait soon", "wait", "shot ../escape", "close \"unterminated", "expect count many",
             "expect sky blue", "open Nobody \"x\"", "quit Nobody" }) {
        r = run(world, host, std::string(bad) + "\n");
        EXPECT_EQ(r.status, QuorvexSession::ScriptError) << bad;
        EXPECT_NE(r.err.find("line 1"), std::string::npos) << bad;
    }
}

TEST(QuorvexSession, InputEdgesAreRefusedWithTheFileAndLine)
{
    SimWorld world;
    FakeHost host;
    host.count = 3;
    // Errors name the source as well as the line.
    auto r = run(world, host, "tap tab\nfrobnicate\n");
    EXPECT_EQ(r.err.rfind("test: line 2: frobnicate", 0), 0u) << r.err;
    // A count past any panel, or past what a number can hold, is a wrong
    // line, not a failed expectation.
    for (const char* huge : { "expect count 99999999999999999999999", "expect count 18446744073709551616",
             "expect count 1000001", "expect count -3", "expect count 3x" }) {
        r = run(world, host, std::string(huge) + "\n");
        EXPECT_EQ(r.status, QuorvexSession::ScriptError) << huge << r.err;
    }
    r = run(world, host, "expect count 3\n");
    EXPECT_EQ(r.status, QuorvexSession::Passed) << r.err;
    // A stream that cannot be read is not an empty script.
    std::ostringstream o, e;
    QuorvexSession session(world.desktop(), host, "/tmp", o, e);
    std::istringstream broken("tap tab\n");
    broken.setstate(std::ios::badbit);
    EXPECT_EQ(session.run(broken, "broken.session"), QuorvexSession::ScriptError);
    EXPECT_NE(e.str().find("broken.session: cannot be read"), std::string::npos) << e.str();
}

TEST(QuorvexSession, LaunchGivesProcessIdsTheDesktopDoesNotUse)
{
    SimWorld world(R"({ "screens": [ { "frame": [0, 0, 800, 600] } ],
        "apps": [ { "pid": 9000, "name": "Held", "windows": [] }, { "pid": 9001, "name": "AlsoHeld", "windows": [] } ] })");
    FakeHost host;
    auto r = run(world, host, "launch Fresh \"fresh window\"\nlaunch Second\n");
    ASSERT_EQ(r.status, QuorvexSession::Passed) << r.err;
    std::map<std::string, pid_t> pids;
    for (const auto& app : world.desktop().runningApplications())
        pids[app.name] = app.pid;
    EXPECT_EQ(pids["Held"], 9000);
    EXPECT_EQ(pids["AlsoHeld"], 9001);
    EXPECT_EQ(pids["Fresh"], 9002);
    EXPECT_EQ(pids["Second"], 9003);
    r = run(world, host, "close \"fresh window\"\n");
    EXPECT_EQ(r.status, QuorvexSession::Passed) << "the launched window exists: " << r.err;
}

// Every command the player documents is one it knows: given no words after
// its name (or after "expect NAME") it explains its form instead of reading
// past the line or calling it unknown; a host's own command still reaches
// the host.
TEST(QuorvexSession, EveryDocumentedCommandAnswersAMissingArgumentWithItsForm)
{
    SimWorld world;
    FakeHost host;
    for (const char* bare : { "press", "tap", "release", "wait", "shot", "launch", "quit", "hide", "open", "close",
             "minimize", "set", "menu", "click", "type", "windowshot", "expect", "expect focus", "expect panel",
             "expect selected", "expect count", "expect frame", "expect checked", "expect unchecked", "expect shows",
             "expect login-item" }) {
        auto r = run(world, host, std::string(bare) + "\n");
        EXPECT_EQ(r.status, QuorvexSession::ScriptError) << bare;
        EXPECT_NE(r.err.find("usage: " + std::string(bare).substr(0, std::string(bare).find(' '))), std::string::npos)
            << bare << ": " << r.err;
    }

    struct HostWithCommand : FakeHost {
        bool handlesExpectation(const std::string& what) const override { return what == "weather"; }
        CommandResult runCommand(const std::vector<std::string>& words, std::string& problem) override
        {
            seen.push_back(words);
            problem = "cloudy";
            return words[0] == "expect" ? CommandResult::Failed : CommandResult::Passed;
        }
        std::vector<std::vector<std::string>> seen;
    } own;
    EXPECT_EQ(run(world, own, "water \"the plants\"\n").status, QuorvexSession::Passed);
    auto r = run(world, own, "expect weather sunny\n");
    EXPECT_EQ(r.status, QuorvexSession::ExpectationFailed);
    EXPECT_NE(r.err.find("cloudy"), std::string::npos) << r.err;
    ASSERT_EQ(own.seen.size(), 2u);
    EXPECT_EQ(own.seen[0], (std::vector<std::string> { "water", "the plants" }));
    EXPECT_EQ(own.seen[1][2], "sunny");
}

TEST(QuorvexSession, WaitLetsTheClockRun)
{
    SimWorld world;
    FakeHost host;
    double before = world.clock().now();
    ASSERT_EQ(run(world, host, "wait 0.75\n").status, QuorvexSession::Passed);
    EXPECT_DOUBLE_EQ(world.clock().now(), before + 0.75);
}

TEST(QuorvexSession, TheDesktopChangesAsTheScriptSays)
{
    SimWorld world;
    FakeHost host;
    auto r = run(world, host,
        "launch Paint \"canvas\" \"palette\"\n"
        "open Paint \"brushes\"\n"
        "minimize \"palette\"\n"
        "close \"canvas\"\n"
        "hide Editor\n"
        "expect focus \"brushes\"\n"
        "quit Paint\n");
    ASSERT_EQ(r.status, QuorvexSession::Passed) << r.err;
    bool paintRuns = false;
    for (const auto& app : world.desktop().runningApplications())
        paintRuns = paintRuns || app.name == "Paint";
    EXPECT_FALSE(paintRuns);
    EXPECT_TRUE(world.desktop().application(101)->hidden);
}

TEST(QuorvexSession, AFailedExpectationPrintsTheLineAndWhatItSaw)
{
    SimWorld world;
    FakeHost host;
    auto r = run(world, host, "expect focus \"notes.txt\"\nexpect focus \"todo.md\"\nexpect panel hidden\n");
    EXPECT_EQ(r.status, QuorvexSession::ExpectationFailed);
    EXPECT_NE(r.err.find("line 2: expect focus \"todo.md\""), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("saw \"notes.txt\""), std::string::npos) << r.err;

    host.visible = true;
    host.selected = "todo.md";
    host.count = 7;
    EXPECT_EQ(run(world, host, "expect panel visible\nexpect selected \"todo.md\"\nexpect count 7\n").status, QuorvexSession::Passed);
    r = run(world, host, "expect count 8\n");
    EXPECT_NE(r.err.find("saw 7"), std::string::npos);
    r = run(world, host, "expect panel hidden\n");
    EXPECT_NE(r.err.find("saw the panel visible"), std::string::npos);
    host.selected.reset();
    r = run(world, host, "expect selected \"todo.md\"\n");
    EXPECT_NE(r.err.find("nothing selected"), std::string::npos);
}

TEST(QuorvexSession, ShotsAreWrittenAsPNG)
{
    SimWorld world;
    FakeHost host;
    TemporaryDirectory dir;
    auto r = run(world, host, "shot desktop-1\n", dir.path() + "/shots");
    ASSERT_EQ(r.status, QuorvexSession::Passed) << r.err;
    EXPECT_TRUE(std::filesystem::exists(dir.path() + "/shots/desktop-1.png"));
    EXPECT_NE(r.out.find("desktop-1.png"), std::string::npos);
}

TEST(QuorvexSession, SetChangesASettingAsThePreferencesDo)
{
    SimWorld world;
    DefaultsSandbox sandbox;
    FakeHost host;
    auto defaults = sandbox.defaults();
    auto r = run(world, host, "set LayoutType 3\nset Animation3D no\nset FullScreenMode yes\n");
    ASSERT_EQ(r.status, QuorvexSession::Passed) << r.err;
    EXPECT_EQ(defaults->objectForKey("LayoutType"), Value(int64_t(3))) << "a choice is stored as an integer";
    EXPECT_EQ(defaults->objectForKey("Animation3D"), Value(false)) << "a switch is stored as a BOOL";
    EXPECT_TRUE(defaults->boolForKey("FullScreenMode"));

    // Only what a pane offers: a known setting, a value from its choices.
    for (const char* bad : { "set LayoutType 4", "set Style3DIndex -1", "set LayoutType three", "set LayoutType",
             "set Animation3D maybe", "set Favourite 1", "set LayoutType 1 2" }) {
        r = run(world, host, std::string(bad) + "\n");
        EXPECT_EQ(r.status, QuorvexSession::ScriptError) << bad;
        EXPECT_NE(r.err.find("usage: set"), std::string::npos) << bad << ": " << r.err;
    }
    EXPECT_EQ(defaults->integerForKey("LayoutType"), 3) << "a refused value changes nothing";
}

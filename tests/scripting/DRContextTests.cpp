#include "ScriptTestSupport.h"

#include <desktop/InputCodes.h>
#include <scripting/DRContext.h>
#include <scripting/DRKeyHandler.h>
#include <scripting/DROpenAtLoginHelper.h>
#include <scripting/DRPreferences.h>
#include <scripting/DRStorage.h>

#include <foundation/NSPathUtilities.h>
#include <foundation/RunLoop.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

namespace {

// A host in a home folder of its own.
struct Host : ::testing::Test {
    Host()
    {
        const char* home = std::getenv("HOME");
        m_savedHome = home ? home : "";
        ::setenv("HOME", s.directory.path().c_str(), 1);
        ::unsetenv("XDG_DATA_HOME");
        ::setenv("SHELL", "/bin/sh", 1);
    }
    ~Host() override
    {
        if (host)
            host->storage()->waitUntilPersisted();
        host = nullptr;
        ::setenv("HOME", m_savedHome.c_str(), 1);
    }
    void writeFile(const std::string& relative, const std::string& text)
    {
        std::string path = s.directory.file(relative);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path) << text;
    }
    void start(const std::string& configuration)
    {
        writeFile(".dirariv.js", configuration);
        host = DRContext::context();
        host->setExecutionTimeLimit(0.2);
        host->load();
        s.world.settle();
    }
    std::string eval(const std::string& script) { return host->jsContext()->evaluateScript(script).toString(); }

    ScriptWorld s;
    Ref<DRContext> host;

private:
    std::string m_savedHome;
};

TEST_F(Host, TheFirstLoadCreatesTheConfigurationFile)
{
    host = DRContext::context();
    std::string expected = s.directory.file(".dirariv.js");
    EXPECT_EQ(host->primaryConfigurationPath(), expected);
    host->load();
    EXPECT_TRUE(std::filesystem::exists(expected));
    EXPECT_EQ(s.notifications(), std::vector<std::string> { "Configuration file “" + expected + "” was created." });
    EXPECT_TRUE(s.log.contains("Context loaded."));
    EXPECT_EQ(host->configurationPaths().count(expected), 1u);
    EXPECT_EQ(eval("typeof _.map + ' ' + typeof console.log + ' ' + typeof require + ' ' + typeof Key"), "function function function function");
}

TEST_F(Host, TheFirstExistingCandidateStaysThePrimaryFile)
{
    writeFile(".config/dirariv/dirariv.js", "var where = 'config';");
    host = DRContext::context();
    EXPECT_EQ(host->primaryConfigurationPath(), s.directory.file(".config/dirariv/dirariv.js"));
    writeFile(".dirariv.js", "var where = 'home';");
    host->load();
    EXPECT_EQ(eval("where"), "config");
    writeFile(".local/share/Dirariv/dirariv.js", "");
    EXPECT_EQ(DRContext::resolvePrimaryConfigurationPath(), s.directory.file(".dirariv.js"));
}

TEST_F(Host, LogJoinsItsArgumentsAndNotifyReachesTheUser)
{
    start("Dirariv.log('a', 1, {}); Dirariv.notify('hi there'); Dirariv.set({daemon: true, x: 1});");
    EXPECT_TRUE(s.log.contains("a 1 [object Object]"));
    EXPECT_EQ(s.notifications().back(), "hi there");
    EXPECT_TRUE(DRPreferences::sharedPreferences().isDaemon());
    host->load();
    EXPECT_TRUE(DRPreferences::sharedPreferences().isDaemon()) << "the script sets it again";
    writeFile(".dirariv.js", "");
    host->load();
    EXPECT_FALSE(DRPreferences::sharedPreferences().isDaemon()) << "a load starts from no preferences";
}

TEST_F(Host, BadScriptsAreLoggedAndTheNextOneRuns)
{
    writeFile("lib/throws.js", "var before = 1;\n\nnull.boom();");
    writeFile("lib/syntax.js", "var broken = (;");
    writeFile("lib/ok.js", "var fine = 'yes';");
    writeFile("lib/a.js", "var fromA = 1; require('lib/b.js');");
    writeFile("lib/b.js", "var fromB = 1; require('lib/a.js');");
    start("require('lib/throws.js'); require('lib/syntax.js'); require('lib/ok.js');\n"
          "var missing; try { require('lib/none.js'); } catch (e) { missing = e.message; }\n"
          "var circle; require('lib/a.js');\n"
          "require('lib/none.js'); var after = 1;");
    EXPECT_EQ(eval("before + ' ' + typeof broken + ' ' + fine"), "1 undefined yes");
    EXPECT_TRUE(s.log.contains("TypeError: null is not an object"));
    EXPECT_TRUE(s.log.contains("(3:")) << "the line of the throw";
    EXPECT_TRUE(s.log.contains("SyntaxError"));
    EXPECT_EQ(eval("missing"), "Require: File “" + s.directory.file("lib/none.js") + "” does not exist.");
    EXPECT_EQ(eval("fromA + ' ' + fromB"), "1 1");
    EXPECT_TRUE(s.log.contains("Require: File “" + s.directory.file("lib/a.js") + "” is already being loaded."))
        << "a cycle ends with an error instead of running for ever";
    EXPECT_EQ(eval("typeof after"), "undefined") << "an uncaught require error stops its script";
    EXPECT_TRUE(s.log.contains("Context loaded."));
    size_t exceptions = 0;
    for (const auto& n : s.notifications())
        exceptions += n == "Exception raised. Refer to the logs for more information.";
    EXPECT_EQ(exceptions, 4u);
}

TEST_F(Host, RelativeRequiresFollowTheConfigurationFile)
{
    writeFile("my lib/x y.js", "var spaced = 'found';");
    writeFile("lib/dots.js", "var dots = 'found';");
    start("require('my lib/x y.js'); require('./lib/../lib/./dots.js'); require('~/lib/dots.js');");
    EXPECT_EQ(eval("spaced + ' ' + dots"), "found found");
    EXPECT_EQ(host->resolvePath("my lib/x y.js"), s.directory.file("my lib/x y.js"));
    EXPECT_EQ(host->configurationPaths().count(s.directory.file("my lib/x y.js")), 1u);
}

TEST_F(Host, AScriptThatNeverReturnsIsStopped)
{
    writeFile("lib/after.js", "var after = 'ran';");
    start("Dirariv.log('start');\nfor (;;) {}");
    EXPECT_TRUE(s.log.contains("JavaScript execution terminated. The script " + s.directory.file(".dirariv.js") +
        " ran past the time limit of 0.2 s of processor time. (global code() at " + s.directory.file(".dirariv.js") + ":1)"));
    EXPECT_TRUE(s.log.contains("Context loaded."));
    writeFile(".dirariv.js", "var k = new Key('l', ['cmd'], function () { for (;;) {} }); require('lib/after.js');");
    host->load();
    s.world.desktop().pressKey(kVK_ANSI_L, kCGEventFlagMaskCommand);
    s.world.settle();
    EXPECT_EQ(s.log.count("JavaScript execution terminated."), 2u) << "a callback that never returns is stopped too";
    EXPECT_EQ(eval("after"), "ran");
}

// Ends the test program when a test hangs, so that a script the time limit
// fails to stop is a failure with a message, not a run that never ends.
class HangGuard {
public:
    explicit HangGuard(double seconds)
        : m_thread([this, seconds] {
            std::unique_lock lock(m_mutex);
            if (!m_done.wait_for(lock, std::chrono::duration<double>(seconds), [this] { return m_finished; })) {
                std::fprintf(stderr, "A runaway script was not stopped within %g s.\n", seconds);
                std::_Exit(1);
            }
        })
    {
    }
    ~HangGuard()
    {
        {
            std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_done.notify_one();
        m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished { false };
    std::thread m_thread;
};

TEST_F(Host, RunawayCallbacksInARowAreEachStoppedAndNamed)
{
    HangGuard guard(60);
    start("var calls = 0;\n"
          "var k = new Key('l', ['cmd'], function spinKey() { calls++; for (;;) {} });\n"
          "var t = new Timer(1, true, function spinTimer() { calls++; for (;;) {} });\n"
          "var e = new Event('mouseDidMove', function spinMove() { calls++; while (true) {} });\n");
    std::string path = s.directory.file(".dirariv.js");
    std::vector<std::function<void()>> triggers = {
        [&] { s.world.desktop().pressKey(kVK_ANSI_L, kCGEventFlagMaskCommand); s.world.desktop().releaseKey(kVK_ANSI_L); },
        [&] { s.world.advance(1); },
        [&] {
            DesktopInputEvent moved;
            moved.type = kCGEventMouseMoved;
            moved.location = CGPointMake(100 + s.log.count("terminated"), 100);
            s.world.desktop().sendHardwareInput(moved, false);
        },
    };
    int expected = 0;
    for (auto& trigger : triggers) {
        for (int round = 0; round < 4; ++round) {
            auto started = std::chrono::steady_clock::now();
            trigger();
            s.world.settle();
            double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            ++expected;
            ASSERT_EQ(s.log.count("JavaScript execution terminated."), static_cast<size_t>(expected)) << "call " << expected;
            // Three times the limit in wall time at most, and time to settle.
            EXPECT_LT(took, 3 * 0.2 + 2) << "call " << expected;
        }
        if (expected == 8)
            eval("t.stop();");
    }
    EXPECT_EQ(eval("calls"), "12");
    EXPECT_EQ(eval("6 * 7"), "42") << "the host answers after";
    EXPECT_TRUE(s.log.contains("JavaScript execution terminated. The callback of Key “l” (cmd) ran past the time limit of 0.2 s of processor time. "
                               "(spinKey() at " + path + ":2)"));
    EXPECT_TRUE(s.log.contains("The callback of a Timer of 1 s, repeating ran past the time limit of 0.2 s"));
    EXPECT_TRUE(s.log.contains("The callback of Event “mouseDidMove” ran past the time limit of 0.2 s"));
    EXPECT_TRUE(s.log.contains("(spinMove() at " + path + ":4)"));
    EXPECT_FALSE(s.log.contains("undefined:undefined"));
}

TEST_F(Host, ShebangFilesAreReplacedByTheirOutput)
{
    writeFile("gen.sh", "#!/bin/sh\necho '#!ignored'\necho \"var generated = '$1';\"\n");
    std::filesystem::permissions(s.directory.file("gen.sh"), std::filesystem::perms::owner_all);
    start("#!" + s.directory.file("gen.sh") + "\nthis is not script text");
    EXPECT_EQ(eval("generated"), s.directory.file(".dirariv.js"));
    writeFile(".dirariv.js", "#!exit 4\nvar nothing = 1;");
    host->load();
    EXPECT_EQ(eval("typeof nothing"), "undefined");
    EXPECT_TRUE(s.log.contains("Error: Preprocessing failed. ("));
    EXPECT_EQ(s.notifications().back(), "Preprocessing failed. Refer to the logs for more information.");
    writeFile(".dirariv.js", "#!echo '{{{ garbage'\n");
    writeFile("lib/next.js", "var next = 1;");
    host->load();
    EXPECT_TRUE(s.log.contains("SyntaxError"));
    EXPECT_TRUE(s.log.contains("Context loaded."));
}

TEST_F(Host, AShebangCommandThatDoesNotEndIsStoppedWithEverythingItStarted)
{
    HangGuard guard(60);
    // The shell waits for the sleep, which holds the output open too: both
    // must go for the load to go on.
    auto started = std::chrono::steady_clock::now();
    start("#!sleep 30; echo\nvar evaluated = 1;");
    double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_LT(took, 10) << "stopped at the time limit, not when the command ends";
    EXPECT_TRUE(s.log.contains("Error: Preprocessing failed. (The command did not end within 0.2 seconds and was stopped.)"));
    EXPECT_EQ(s.notifications().back(), "Preprocessing failed. Refer to the logs for more information.");
    EXPECT_EQ(eval("typeof evaluated"), "undefined");
    EXPECT_TRUE(s.log.contains("Context loaded."));
}

TEST_F(Host, ReloadsAskedForWhileLoadingMakeOneMoreLoad)
{
    writeFile(".dirariv.js", "Dirariv.reload(); Dirariv.reload(); var loads = 1;");
    host = DRContext::context();
    host->setExecutionTimeLimit(0.2);
    host->load();
    // A bounded number of turns: a load that asks for itself would go on for ever.
    for (int turn = 0; turn < 200; ++turn)
        RunLoop::main().runOnce();
    ASSERT_EQ(s.log.count("Context loaded."), 2u);
    s.world.advance(5);
    EXPECT_EQ(s.log.count("Context loaded."), 2u);
    EXPECT_EQ(s.log.count("Warning: Reload asked for while the configuration loaded"), 1u);
    EXPECT_EQ(eval("loads"), "1");
    // A reload asked for outside of a load loads, and its load asks again
    // once more.
    eval("Dirariv.reload()");
    s.world.settle();
    EXPECT_EQ(s.log.count("Context loaded."), 4u);
    EXPECT_EQ(s.log.count("Warning: Reload asked for while the configuration loaded"), 2u);
}

TEST_F(Host, ATimerThatThrowsAtEveryTickNotifiesOncePerInterval)
{
    start("var ticks = 0; var t = new Timer(0.1, true, function () { ticks++; null.boom(); });");
    s.world.advance(30);
    size_t notices = 0;
    for (const auto& n : s.notifications())
        notices += n == "Exception raised. Refer to the logs for more information.";
    EXPECT_GE(std::stoi(eval("ticks")), 290);
    EXPECT_GE(s.log.count("TypeError: null is not an object"), 290u) << "every exception is logged";
    EXPECT_GE(notices, 3u);
    EXPECT_LE(notices, 4u) << "one notice per " << DRContext::kExceptionNoticeInterval << " s";
}

TEST_F(Host, RequireTakesFilesOnly)
{
    start("var seen; try { require('.'); } catch (e) { seen = e.message; }");
    EXPECT_EQ(eval("seen"), "Require: File “" + s.directory.path() + "” does not exist.");
    for (const auto& path : host->watcher()->paths())
        EXPECT_FALSE(std::filesystem::is_directory(path)) << path << " is watched";
}

TEST_F(Host, ReloadFromAScriptWaitsForItAndStopsTheOldHandlers)
{
    start("var loads = (this.loads || 0) + 1;"
          "var k = new Key('j', ['cmd'], function () { Dirariv.reload(); Dirariv.reload(); Dirariv.log('after reload'); });");
    auto firstContext = host->jsContext();
    auto firstKey = firstContext->objectForKeyedSubscript("k").toObjectOf<DRKeyHandler>();
    ASSERT_TRUE(firstKey && firstKey->isEnabled());
    s.log.clear();
    s.world.desktop().pressKey(kVK_ANSI_J, kCGEventFlagMaskCommand);
    s.world.desktop().releaseKey(kVK_ANSI_J);
    s.world.settle();
    EXPECT_TRUE(s.log.contains("after reload")) << "the calling script ends in its own context";
    EXPECT_EQ(s.log.count("Context loaded."), 1u) << "two reloads make one load";
    EXPECT_NE(host->jsContext(), firstContext);
    EXPECT_FALSE(firstContext->isValid());
    EXPECT_FALSE(firstKey->isEnabled()) << "the previous load's key handler stops";
    auto secondKey = host->jsContext()->objectForKeyedSubscript("k").toObjectOf<DRKeyHandler>();
    EXPECT_TRUE(secondKey && secondKey->isEnabled());
}

TEST_F(Host, StorageSurvivesLoadsAndQuitWaitsForItsWrites)
{
    start("Storage.set('count', (Storage.get('count') || 0) + 1);");
    host->load();
    EXPECT_EQ(host->storage()->objectForKey("count"), Value(2));
    bool replied = false;
    host->shouldTerminate([&] { replied = true; });
    host->storage()->waitUntilPersisted();
    s.world.settle();
    EXPECT_TRUE(replied);
    auto reread = makeRef<DRStorage>(s.directory.file(".local/share/Dirariv/storage.json"));
    EXPECT_EQ(reread->objectForKey("count"), Value(2));
}

TEST_F(Host, EditsOfTheLoadedFilesLoadAgainOnceAfterTheBurst)
{
    writeFile("lib/part.js", "var part = 1;");
    start("require('lib/part.js'); var version = 1;");
    std::string primary = s.directory.file(".dirariv.js");
    ASSERT_TRUE(host->watcher() && host->watcher()->isWatching());
    const auto& watched = host->watcher()->paths();
    for (const auto& path : { primary, s.directory.file("lib/part.js") })
        EXPECT_NE(std::find(watched.begin(), watched.end(), path), watched.end()) << path;
    EXPECT_EQ(watched.size(), 4u) << "the two bundle scripts are watched too";

    // Three saves in a burst, the last one as an editor makes it.
    s.log.clear();
    writeFile(".dirariv.js", "require('lib/part.js'); var version = 2;");
    s.world.advance(0.3);
    writeFile(".dirariv.js", "require('lib/part.js'); var version = 3;");
    s.world.advance(0.3);
    writeFile(".dirariv.js.tmp", "require('lib/part.js'); var version = 4;");
    std::filesystem::rename(s.directory.file(".dirariv.js.tmp"), primary);
    s.world.advance(0.7);
    EXPECT_EQ(s.log.count("Context loaded."), 0u) << "the stream gathers for a second, the host waits half a second more";
    s.world.advance(0.5);
    EXPECT_EQ(s.log.count("Context loaded."), 1u) << "one load for the whole burst";
    EXPECT_EQ(eval("version"), "4");

    // The new load watches again, with one watcher: a required file's edit
    // loads once more.
    writeFile("lib/part.js", "var part = 2;");
    s.world.advance(3);
    EXPECT_EQ(s.log.count("Context loaded."), 2u);
    EXPECT_EQ(eval("part"), "2");

    // A host that is gone loads nothing.
    Weak<DRContext> weak = host;
    host = nullptr;
    EXPECT_TRUE(weak.expired());
    writeFile(".dirariv.js", "var version = 5;");
    s.world.advance(3);
    EXPECT_EQ(s.log.count("Context loaded."), 2u);
}

TEST_F(Host, PreferencesHoldWhetherTheApplicationOpensAtLogin)
{
    std::string autostart = LSSharedFileListLoginItemsFolder();
    std::filesystem::create_directories(autostart);
    // An entry that names a missing program sorts first and is passed over.
    std::ofstream(autostart + "/0-broken.desktop") << "[Desktop Entry]\nType=Application\nName=Broken\nExec=/no/such/program\n";
    EXPECT_FALSE(DROpenAtLoginHelper::opensAtLogin());
    EXPECT_TRUE(s.log.contains("Error: Could not copy resolved URL for session login item " + autostart + "/0-broken.desktop. ("));

    start("Dirariv.set({daemon: true});");
    EXPECT_FALSE(DRPreferences::sharedPreferences().openAtLogin());
    ASSERT_EQ(DRPreferences::sharedPreferences().preferences().count("openAtLogin"), 1u) << "every load sets it";

    DROpenAtLoginHelper::setOpensAtLogin(true);
    DROpenAtLoginHelper::setOpensAtLogin(true);
    EXPECT_TRUE(DROpenAtLoginHelper::opensAtLogin());
    EXPECT_EQ(LSSharedFileListCopySnapshot(DROpenAtLoginHelper::sharedFileList(), nullptr).size(), 2u) << "added once";
    auto item = DROpenAtLoginHelper::fileItem();
    ASSERT_TRUE(item);
    CFURLRef resolved;
    ASSERT_EQ(LSSharedFileListItemResolve(item, 0, &resolved), noErr);
    EXPECT_TRUE(resolved->isEqual(DROpenAtLoginHelper::applicationURL().get()));
    host->load();
    EXPECT_TRUE(DRPreferences::sharedPreferences().openAtLogin());
    EXPECT_TRUE(DRPreferences::sharedPreferences().isDaemon());

    DROpenAtLoginHelper::setOpensAtLogin(false);
    EXPECT_FALSE(DROpenAtLoginHelper::opensAtLogin());
    EXPECT_FALSE(std::filesystem::exists(item->entryPath()));
    EXPECT_TRUE(std::filesystem::exists(autostart + "/0-broken.desktop")) << "other items stay";
    DRPreferences::sharedPreferences().reset();
    EXPECT_FALSE(DRPreferences::sharedPreferences().openAtLogin());
    EXPECT_FALSE(DRPreferences::sharedPreferences().isDaemon());
    std::filesystem::remove(autostart + "/0-broken.desktop");
}

}

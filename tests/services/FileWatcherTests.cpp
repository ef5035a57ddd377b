#include "support/TemporaryDirectory.h"
#include "support/TestClock.h"

#include <foundation/Clock.h>
#include <foundation/RunLoop.h>
#include <services/FileWatcher.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

namespace fs = std::filesystem;

namespace {

void writeText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

// Every notice the watcher delivered, by path, with the flags merged.
struct Recorder {
    std::map<std::string, uint32_t> seen;
    int batches { 0 };
    FileWatcher::Handler handler()
    {
        return [this](const std::vector<FileWatcher::Change>& changes) {
            ++batches;
            for (const auto& change : changes)
                seen[change.path] |= change.flags;
        };
    }
    bool saw(const std::string& path, uint32_t flags) const
    {
        auto it = seen.find(path);
        return it != seen.end() && (it->second & flags) == flags;
    }
};

}

TEST(FileWatcher, AFoldersEntriesAreReportedOnTheRunLoopWithWhatHappened)
{
    TestClock clock;
    TemporaryDirectory dir;
    writeText(dir.file("old"), "x");
    writeText(dir.file("kept"), "x");
    Recorder recorder;
    auto watcher = FileWatcher::create({ dir.path() }, recorder.handler());
    ASSERT_TRUE(watcher);

    writeText(dir.file("new"), "x");
    fs::remove(dir.file("old"));
    fs::rename(dir.file("kept"), dir.file("moved"));
    fs::create_directory(dir.file("sub"));
    EXPECT_EQ(recorder.batches, 0) << "notices wait for the run loop";
    RunLoop::main().runUntilIdle();
    EXPECT_TRUE(recorder.saw(dir.file("new"), FileWatcher::Created | FileWatcher::Modified));
    EXPECT_TRUE(recorder.saw(dir.file("old"), FileWatcher::Removed));
    EXPECT_TRUE(recorder.saw(dir.file("kept"), FileWatcher::Renamed));
    EXPECT_TRUE(recorder.saw(dir.file("moved"), FileWatcher::Renamed));
    EXPECT_TRUE(recorder.saw(dir.file("sub"), FileWatcher::Created | FileWatcher::IsDirectory));
    EXPECT_EQ(recorder.batches, 1) << "one batch for what the kernel had queued";

    // Not recursive: a file inside the new subfolder is not reported.
    recorder.seen.clear();
    writeText(dir.file("sub/inner"), "x");
    RunLoop::main().runUntilIdle();
    EXPECT_TRUE(recorder.seen.empty());

    // The loop runs the watcher only in its modes.
    writeText(dir.file("late"), "x");
    RunLoop::main().runUntilIdle(NSModalPanelRunLoopMode);
    EXPECT_FALSE(recorder.saw(dir.file("late"), FileWatcher::Created));
    RunLoop::main().runUntilIdle();
    EXPECT_TRUE(recorder.saw(dir.file("late"), FileWatcher::Created));
}

TEST(FileWatcher, AFileIsFollowedThroughItsFolderEvenWhenReplacedOrNotYetThere)
{
    TestClock clock;
    TemporaryDirectory dir;
    std::string file = dir.file("a/b/config.js");
    Recorder recorder;
    auto watcher = FileWatcher::create({ file }, recorder.handler());
    ASSERT_TRUE(watcher);

    // The parents are made first, then the file: it is reported as created
    // whichever notice makes that visible.
    fs::create_directories(dir.file("a/b"));
    writeText(file, "one");
    RunLoop::main().runUntilIdle();
    EXPECT_TRUE(recorder.saw(file, FileWatcher::Created));

    // Editors replace a file by renaming a new one over it; the watch holds.
    for (const char* text : { "two", "three" }) {
        recorder.seen.clear();
        writeText(dir.file("a/b/.tmp"), text);
        fs::rename(dir.file("a/b/.tmp"), file);
        RunLoop::main().runUntilIdle();
        EXPECT_TRUE(recorder.saw(file, FileWatcher::Renamed)) << text;
        EXPECT_FALSE(recorder.seen.count(dir.file("a/b/.tmp"))) << "siblings of a watched file are not reported";
    }

    // Its folder going away moves the ground under it.
    recorder.seen.clear();
    fs::remove_all(dir.file("a/b"));
    RunLoop::main().runUntilIdle();
    EXPECT_TRUE(recorder.saw(file, FileWatcher::Removed | FileWatcher::RootChanged));
    recorder.seen.clear();
    fs::create_directories(dir.file("a/b"));
    writeText(file, "back");
    RunLoop::main().runUntilIdle();
    EXPECT_TRUE(recorder.saw(file, FileWatcher::Created)) << "watched again once it is back";
}

TEST(FileWatcher, RecursiveWatchesFollowNewSubfoldersAndEndingTheWatcherStopsNotices)
{
    TestClock clock;
    TemporaryDirectory dir;
    fs::create_directories(dir.file("x/y"));
    Recorder recorder;
    FileWatcher::Options options;
    options.recursive = true;
    auto watcher = FileWatcher::create({ dir.path() }, recorder.handler(), RunLoop::main(), options);
    ASSERT_TRUE(watcher);
    writeText(dir.file("x/y/deep"), "x");
    fs::create_directories(dir.file("n/m"));
    RunLoop::main().runUntilIdle();
    writeText(dir.file("n/m/deeper"), "x");
    RunLoop::main().runUntilIdle();
    EXPECT_TRUE(recorder.saw(dir.file("x/y/deep"), FileWatcher::Created));
    EXPECT_TRUE(recorder.saw(dir.file("n/m/deeper"), FileWatcher::Created));

    // A handler may end its own watcher; nothing arrives after that.
    std::unique_ptr<FileWatcher> self;
    int calls = 0;
    self = FileWatcher::create({ dir.path() }, [&](const std::vector<FileWatcher::Change>&) {
        ++calls;
        self.reset();
    });
    watcher.reset();
    recorder.seen.clear();
    writeText(dir.file("one"), "x");
    RunLoop::main().runUntilIdle();
    writeText(dir.file("two"), "x");
    RunLoop::main().runUntilIdle();
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(recorder.seen.empty());
}

TEST(FileWatcher, AChangeFromAnotherThreadWakesAWaitingLoop)
{
    // Real time: the loop blocks until the helper thread wakes it; the limit
    // only bounds a failure.
    TemporaryDirectory dir;
    Recorder recorder;
    auto watcher = FileWatcher::create({ dir.path() }, recorder.handler(), RunLoop::main());
    ASSERT_TRUE(watcher);
    std::thread writer([&] { writeText(dir.file("elsewhere"), "x"); });
    double limit = Clock::current().now() + 30;
    while (!recorder.saw(dir.file("elsewhere"), FileWatcher::Created) && Clock::current().now() < limit)
        RunLoop::main().runMode(kCFRunLoopDefaultMode, limit);
    writer.join();
    EXPECT_TRUE(recorder.saw(dir.file("elsewhere"), FileWatcher::Created));
}

#include "support/TemporaryDirectory.h"
#include "support/TestClock.h"

#include <foundation/RunLoop.h>
#include <services/FSEvents.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

void writeText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

// What a stream delivered: one entry per batch.
struct Batches {
    struct Event {
        std::string path;
        FSEventStreamEventFlags flags;
        FSEventStreamEventId id;
    };
    std::vector<std::vector<Event>> batches;
    std::vector<double> times;

    static void callback(ConstFSEventStreamRef, void* info, size_t count, const std::vector<std::string>& paths,
        const FSEventStreamEventFlags flags[], const FSEventStreamEventId ids[])
    {
        auto* self = static_cast<Batches*>(info);
        std::vector<Event> batch;
        for (size_t i = 0; i < count; ++i)
            batch.push_back({ paths[i], flags[i], ids[i] });
        self->batches.push_back(batch);
        self->times.push_back(CFAbsoluteTimeGetCurrent());
    }
    bool saw(size_t batch, const std::string& path, FSEventStreamEventFlags flags) const
    {
        for (const auto& event : batches.at(batch))
            if (event.path == path && (event.flags & flags) == flags)
                return true;
        return false;
    }
};

FSEventStreamRef startedStream(Batches& batches, const std::vector<std::string>& paths, double latency,
    FSEventStreamCreateFlags flags = kFSEventStreamCreateFlagWatchRoot | kFSEventStreamCreateFlagFileEvents)
{
    FSEventStreamContext context { 0, &batches, nullptr, nullptr, nullptr };
    auto stream = FSEventStreamCreate(nullptr, Batches::callback, &context, paths, kFSEventStreamEventIdSinceNow, latency, flags);
    EXPECT_TRUE(stream);
    FSEventStreamScheduleWithRunLoop(stream, RunLoop::main(), kCFRunLoopDefaultMode);
    EXPECT_TRUE(FSEventStreamStart(stream));
    return stream;
}

}

TEST(FSEventStream, ChangesWithinTheLatencyAreDeliveredAsOneBatchAfterTheFirst)
{
    TestClock clock;
    TemporaryDirectory dir;
    std::string file = dir.file("config.js");
    writeText(file, "one");
    Batches batches;
    auto stream = startedStream(batches, { file }, 1.0);
    double start = clock.now();

    writeText(file, "two");
    RunLoop::main().runFor(0.4);
    EXPECT_TRUE(batches.batches.empty()) << "nothing before the latency has passed";
    EXPECT_GT(stream->pendingEventCount(), 0u);
    // An editor's save renames a new file over the watched one.
    writeText(dir.file(".config.js.tmp"), "three");
    fs::rename(dir.file(".config.js.tmp"), file);
    RunLoop::main().runFor(2);
    ASSERT_EQ(batches.batches.size(), 1u);
    EXPECT_DOUBLE_EQ(batches.times[0], start + 1.0) << "the batch is timed from its first change";
    EXPECT_TRUE(batches.saw(0, file, kFSEventStreamEventFlagItemModified | kFSEventStreamEventFlagItemIsFile));
    EXPECT_TRUE(batches.saw(0, file, kFSEventStreamEventFlagItemRenamed));
    for (const auto& event : batches.batches[0])
        EXPECT_EQ(event.path, file) << "siblings of a watched file stay out";
    const auto& events = batches.batches[0];
    for (size_t i = 1; i < events.size(); ++i)
        EXPECT_LT(events[i - 1].id, events[i].id) << "ids grow";

    // A later change opens a new batch; removing the file is one too.
    fs::remove(file);
    RunLoop::main().runFor(2);
    ASSERT_EQ(batches.batches.size(), 2u);
    EXPECT_TRUE(batches.saw(1, file, kFSEventStreamEventFlagItemRemoved));
    EXPECT_EQ(stream->pendingEventCount(), 0u);
    FSEventStreamStop(stream);
    FSEventStreamInvalidate(stream);
    FSEventStreamRelease(stream);
}

TEST(FSEventStream, FlushDeliversNowStopDropsWhatIsPendingAndFolderLevelStreamsNameTheFolder)
{
    TestClock clock;
    TemporaryDirectory dir;
    Batches batches;
    auto stream = startedStream(batches, { dir.path() }, 5.0);
    writeText(dir.file("a"), "x");
    FSEventStreamFlushSync(stream);
    ASSERT_EQ(batches.batches.size(), 1u) << "flushing reads the kernel's queue and delivers without waiting";
    EXPECT_TRUE(batches.saw(0, dir.file("a"), kFSEventStreamEventFlagItemCreated));
    RunLoop::main().runFor(10);
    EXPECT_EQ(batches.batches.size(), 1u) << "the flushed batch is not delivered again";

    writeText(dir.file("b"), "x");
    RunLoop::main().runUntilIdle();
    EXPECT_GT(stream->pendingEventCount(), 0u);
    FSEventStreamStop(stream);
    RunLoop::main().runFor(10);
    EXPECT_EQ(batches.batches.size(), 1u) << "a stopped stream delivers nothing";
    FSEventStreamInvalidate(stream);
    EXPECT_FALSE(FSEventStreamStart(stream)) << "an invalidated stream does not start again";

    // Without file-level events a change is reported on its folder.
    Batches folders;
    auto folderStream = startedStream(folders, { dir.path() }, 0.5, kFSEventStreamCreateFlagNone);
    writeText(dir.file("c"), "x");
    RunLoop::main().runFor(1);
    ASSERT_EQ(folders.batches.size(), 1u);
    EXPECT_EQ(folders.batches[0].at(0).path, dir.path());
}

TEST(FSEventStream, StreamsThatCannotWorkAreRefused)
{
    TestClock clock;
    TemporaryDirectory dir;
    Batches batches;
    FSEventStreamContext context { 0, &batches, nullptr, nullptr, nullptr };
    EXPECT_FALSE(FSEventStreamCreate(nullptr, Batches::callback, &context, {}, kFSEventStreamEventIdSinceNow, 1, 0));
    EXPECT_FALSE(FSEventStreamCreate(nullptr, nullptr, &context, { dir.path() }, kFSEventStreamEventIdSinceNow, 1, 0));
    auto unscheduled = FSEventStreamCreate(nullptr, Batches::callback, &context, { dir.path() }, kFSEventStreamEventIdSinceNow, 1, 0);
    ASSERT_TRUE(unscheduled);
    EXPECT_FALSE(FSEventStreamStart(unscheduled)) << "a stream starts only on a run loop";

    // The context's retain and release pair up over the stream's life.
    static int retained = 0;
    retained = 0;
    FSEventStreamContext counted { 0, &batches, [](const void* info) { ++retained; return info; },
        [](const void*) { --retained; }, nullptr };
    auto stream = FSEventStreamCreate(nullptr, Batches::callback, &counted, { dir.path() }, kFSEventStreamEventIdSinceNow, 1, 0);
    EXPECT_EQ(retained, 1);
    FSEventStreamRelease(stream);
    FSEventStreamRelease(stream);
    EXPECT_EQ(retained, 0) << "released once however often it is asked";
}

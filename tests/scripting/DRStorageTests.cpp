#include "ScriptTestSupport.h"

#include <scripting/DRStorage.h>
#include <support/FileSizeLimit.h>

#include <foundation/AtomicFile.h>
#include <foundation/Dispatch.h>
#include <foundation/JSON.h>
#include <foundation/NSNotificationCenter.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>

namespace {

std::string contents(const std::string& path)
{
    auto bytes = readFileContents(path);
    return bytes ? std::string(bytes->begin(), bytes->end()) : std::string("<none>");
}

void write(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

std::vector<std::string> entries(const std::string& directory)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

struct Storage : ::testing::Test {
    Storage()
        : path(s.directory.file("data/storage.json"))
        , storage(makeRef<DRStorage>(path))
    {
        DRStorage::exportClass();
        s.install("store", storage);
    }
    ScriptWorld s;
    std::string path;
    Ref<DRStorage> storage;
};

TEST_F(Storage, ValuesRoundTripThroughThePrettyFile)
{
    s.eval("store.set('point', {x: 1.5, name: 'a b', list: [1, true, null]}); store.set('n', 7);");
    storage->waitUntilPersisted();
    EXPECT_EQ(contents(path), "{\n  \"n\": 7,\n  \"point\": {\n    \"list\": [\n      1,\n      true,\n      null\n    ],\n"
                              "    \"name\": \"a b\",\n    \"x\": 1.5\n  }\n}\n");
    auto reread = makeRef<DRStorage>(path);
    EXPECT_EQ(reread->objectForKey("point"), storage->objectForKey("point"));
    EXPECT_EQ(s.eval("JSON.stringify(store.get('point')) + ' ' + store.get('missing')"),
        R"({"list":[1,true,null],"name":"a b","x":1.5} undefined)");
}

TEST_F(Storage, ValuesThatAreNotJSONAreRefused)
{
    s.eval("store.set('keep', 1);"
           "store.set('nan', NaN); store.set('inf', {deep: [Infinity]}); store.set('f', function () {});"
           "store.set('u', undefined); store.set('date', new Date(0)); var c = {}; c.c = c; store.set('cycle', c);");
    storage->waitUntilPersisted();
    for (const char* key : { "nan", "inf", "f", "u", "date", "cycle" }) {
        EXPECT_EQ(s.log.count(stringWithFormat("Error: Value for key “%@” is not a valid JSON-object.", key)), 1u) << key;
        EXPECT_TRUE(storage->objectForKey(key).isNil()) << key;
    }
    EXPECT_EQ(contents(path), "{\n  \"keep\": 1\n}\n");
}

TEST_F(Storage, AProxyIsStoredAsThePlainObjectItShowsOrRefused)
{
    s.eval("store.set('p', new Proxy({a: 1, list: [new Proxy([2, 'b'], {})]}, {}));"
           "store.set('shown', new Proxy({}, { ownKeys: function () { return ['k']; },"
           "  getOwnPropertyDescriptor: function () { return { value: 'v', enumerable: true, configurable: true }; },"
           "  get: function (t, k) { return 'v'; } }));"
           "var r = Proxy.revocable({a: 1}, {}); r.revoke(); store.set('revoked', r.proxy);"
           "store.set('thrower', new Proxy({a: 1}, { get: function () { throw new Error('no'); } }));");
    storage->waitUntilPersisted();
    EXPECT_EQ(contents(path), "{\n  \"p\": {\n    \"a\": 1,\n    \"list\": [\n      [\n        2,\n        \"b\"\n      ]\n    ]\n  },\n"
                              "  \"shown\": {\n    \"k\": \"v\"\n  }\n}\n");
    for (const char* key : { "revoked", "thrower" })
        EXPECT_EQ(s.log.count(stringWithFormat("Error: Value for key “%@” is not a valid JSON-object.", key)), 1u) << key;
}

TEST_F(Storage, RemovingAnAbsentKeyStillWritesTheFile)
{
    EXPECT_FALSE(std::filesystem::exists(path));
    s.eval("store.remove('nothing')");
    storage->waitUntilPersisted();
    EXPECT_EQ(contents(path), "{}\n");
}

TEST_F(Storage, ABurstOfChangesIsWrittenOnceAndTheLastChangeWins)
{
    // The first write's notice holds the writer until the burst is over:
    // all 200 changes of the burst must then make a single write.
    std::mutex mutex;
    std::condition_variable changed;
    bool writing = false, burstDone = false;
    std::atomic<int> persisted { 0 };
    Token observer = NSNotificationCenter::defaultCenter().addObserverForName(
        DRStorageDidPersistNotification, nullptr, nullptr, [&](const NSNotification&) {
            if (++persisted > 1)
                return;
            std::unique_lock lock(mutex);
            writing = true;
            changed.notify_all();
            changed.wait(lock, [&] { return burstDone; });
        });
    s.eval("store.set('first', true)");
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return writing; });
    }
    EXPECT_EQ(contents(path), "{\n  \"first\": true\n}\n");
    s.eval("for (var i = 0; i < 200; ++i) store.set('i', i); store.remove('first'); store.remove('gone');");
    EXPECT_TRUE(storage->isPersisting());
    {
        std::lock_guard lock(mutex);
        burstDone = true;
    }
    changed.notify_all();
    storage->waitUntilPersisted();
    EXPECT_FALSE(storage->isPersisting());
    EXPECT_EQ(persisted.load(), 2);
    EXPECT_EQ(contents(path), "{\n  \"i\": 199\n}\n");
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(s.directory.file("data")))
        files += entry.is_regular_file();
    EXPECT_EQ(files, 1u) << "no temporary file is left beside the store";
}

TEST_F(Storage, AnUnreadableFileIsKeptAside)
{
    std::filesystem::create_directories(s.directory.file("data"));
    write(path, "{\"half\": ");
    auto broken = makeRef<DRStorage>(path);
    EXPECT_TRUE(s.log.contains("Error: Loading storage failed. ("));
    EXPECT_TRUE(broken->snapshot().empty());
    EXPECT_EQ(contents(path + ".unreadable"), "{\"half\": ");
    write(path, "[1, 2]");
    auto array = makeRef<DRStorage>(path);
    EXPECT_TRUE(s.log.contains("Error: Loading storage failed. (The file does not hold a JSON object.)"));
    EXPECT_EQ(contents(path + ".unreadable-2"), "[1, 2]") << "an earlier file kept aside is not replaced";
    array->setObject("fresh", true);
    array->waitUntilPersisted();
    EXPECT_EQ(contents(path), "{\n  \"fresh\": true\n}\n");
    EXPECT_EQ(contents(path + ".unreadable"), "{\"half\": ");
}

TEST_F(Storage, AWriteThatCannotHappenLeavesTheStoreAndTellsTheWaiters)
{
    write(s.directory.file("blocker"), "a file where a folder should be");
    auto blocked = makeRef<DRStorage>(s.directory.file("blocker/storage.json"));
    std::atomic<int> persisted { 0 };
    Token observer = NSNotificationCenter::defaultCenter().addObserverForName(
        DRStorageDidPersistNotification, nullptr, nullptr, [&](const NSNotification&) { ++persisted; });
    EXPECT_TRUE(blocked->setObject("k", "v"));
    blocked->waitUntilPersisted();
    EXPECT_TRUE(s.log.contains("Error: Could not create storage directory to path"));
    EXPECT_FALSE(blocked->isPersisting());
    EXPECT_EQ(persisted.load(), 1);
    EXPECT_EQ(blocked->objectForKey("k"), Value("v")) << "the store in memory stays authoritative";

    // A file size limit below the new contents stops the write itself, for
    // every user (root writes into any folder).
    std::filesystem::create_directories(s.directory.file("data"));
    write(path, "{\"old\": 1}");
    auto kept = makeRef<DRStorage>(path);
    {
        FileSizeLimit limit(8);
        ASSERT_TRUE(limit.isSet());
        kept->setObject("new", 2);
        kept->waitUntilPersisted();
    }
    EXPECT_TRUE(s.log.contains("Error: Persisting storage failed. (writing the temporary file failed: File too large)"));
    EXPECT_EQ(contents(path), "{\"old\": 1}") << "a failed write leaves the previous file whole";
    EXPECT_EQ(entries(s.directory.file("data")), std::vector<std::string> { "storage.json" });
}

TEST_F(Storage, AFileThatCannotBeReadIsNeverWrittenOver)
{
    // A disk error (injected: root reads any file) and a folder in the
    // file's place.
    std::filesystem::create_directories(s.directory.file("data"));
    write(path, "{\"kept\": 1}");
    std::string folder = s.directory.file("folder/storage.json");
    std::filesystem::create_directories(folder);
    injectReadErrorForTesting(path, EIO);
    auto unreadable = makeRef<DRStorage>(path);
    injectReadErrorForTesting(path, 0);
    auto inTheWay = makeRef<DRStorage>(folder);
    EXPECT_TRUE(s.log.contains("Error: Loading storage failed. (Input/output error)"));
    EXPECT_TRUE(s.log.contains("Error: Loading storage failed. (Is a directory)"));
    for (const auto& store : { unreadable, inTheWay }) {
        store->setObject("a", 1);
        store->waitUntilPersisted();
        store->setObject("b", 2);
        store->removeObjectForKey("a");
        store->waitUntilPersisted();
        EXPECT_EQ(store->objectForKey("b"), Value(2)) << "changes stay in memory";
        EXPECT_EQ(s.log.count(stringWithFormat("Warning: Storage is not written to “%@”: ", store->path())), 1u)
            << "said once";
    }
    EXPECT_EQ(contents(path), "{\"kept\": 1}");
    EXPECT_EQ(entries(s.directory.file("data")), std::vector<std::string> { "storage.json" });
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_FALSE(s.log.contains("Error: Persisting storage failed."));
}

TEST_F(Storage, ALinkedFileStaysALinkAndInterruptedWritesAreCleanedUp)
{
    // The store is a link into a folder of dotfiles, where killed writes
    // left their temporary files.
    std::filesystem::create_directories(s.directory.file("dotfiles"));
    std::filesystem::create_directories(s.directory.file("data"));
    std::string target = s.directory.file("dotfiles/storage.json");
    write(target, "{\"old\": 1}");
    std::filesystem::permissions(target, std::filesystem::perms(0640));
    std::filesystem::create_symlink("../dotfiles/storage.json", path);
    write(s.directory.file("dotfiles/.storage.json.a1B2c3"), "{\"half");
    write(s.directory.file("dotfiles/.storage.json.longer1"), "not one of ours");
    write(s.directory.file("data/.storage.json.Zz9yX8"), "");
    auto linked = makeRef<DRStorage>(path);
    EXPECT_EQ(entries(s.directory.file("dotfiles")), (std::vector<std::string> { ".storage.json.longer1", "storage.json" }));
    EXPECT_EQ(entries(s.directory.file("data")), std::vector<std::string> { "storage.json" });
    EXPECT_EQ(linked->objectForKey("old"), Value(1));
    linked->setObject("new", 2);
    linked->waitUntilPersisted();
    EXPECT_TRUE(std::filesystem::is_symlink(path));
    EXPECT_EQ(contents(target), "{\n  \"new\": 2,\n  \"old\": 1\n}\n");
    EXPECT_EQ(std::filesystem::status(target).permissions(), std::filesystem::perms(0640));
}

}

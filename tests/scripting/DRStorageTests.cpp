#include "ScriptTestSupport.h"

#include <scripting/DRStorage.h>

#include <foundation/AtomicFile.h>
#include <foundation/Dispatch.h>
#include <foundation/JSON.h>
#include <foundation/NSNotificationCenter.h>

#include <filesystem>
#include <fstream>

namespace {

std::string contents(const std::string& path)
{
    auto bytes = readFileContents(path);
    return bytes ? std::string(bytes->begin(), bytes->end()) : std::string("<none>");
}

void write(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

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

TEST_F(Storage, RemovingAnAbsentKeyStillWritesTheFile)
{
    EXPECT_FALSE(std::filesystem::exists(path));
    s.eval("store.remove('nothing')");
    storage->waitUntilPersisted();
    EXPECT_EQ(contents(path), "{}\n");
}

TEST_F(Storage, TheLastChangeWinsAndNoWriteLeavesAHalfFile)
{
    std::atomic<int> persisted { 0 };
    Token observer = NSNotificationCenter::defaultCenter().addObserverForName(
        DRStorageDidPersistNotification, nullptr, nullptr, [&](const NSNotification&) { ++persisted; });
    s.eval("for (var i = 0; i < 200; ++i) store.set('i', i); store.remove('gone');");
    EXPECT_TRUE(storage->isPersisting() || persisted > 0);
    storage->waitUntilPersisted();
    EXPECT_FALSE(storage->isPersisting());
    EXPECT_EQ(persisted.load(), 201);
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

    std::filesystem::create_directories(s.directory.file("data"));
    write(path, "{\"old\": 1}");
    auto kept = makeRef<DRStorage>(path);
    std::filesystem::permissions(s.directory.file("data"), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    kept->setObject("new", 2);
    kept->waitUntilPersisted();
    std::filesystem::permissions(s.directory.file("data"), std::filesystem::perms::owner_all);
    if (::geteuid() != 0) {
        EXPECT_TRUE(s.log.contains("Error: Persisting storage failed."));
        EXPECT_EQ(contents(path), "{\"old\": 1}") << "a failed write leaves the previous file whole";
    }
}

}

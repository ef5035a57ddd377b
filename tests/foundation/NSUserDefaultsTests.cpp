#include <foundation/Clock.h>
#include <foundation/Log.h>
#include <foundation/NSNotificationCenter.h>
#include <foundation/NSPropertyListSerialization.h>
#include <foundation/NSUserDefaults.h>
#include <foundation/RunLoop.h>

#include "support/FileSizeLimit.h"
#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

Value::Bytes readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Value::Bytes(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string& path, const std::string& contents)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
}

Value fileContents(const std::string& path)
{
    auto plist = NSPropertyListSerialization::propertyListWithData(readFile(path));
    return plist.value_or(Value());
}

std::vector<std::string> directoryEntries(const std::string& path)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class NSUserDefaultsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Clock::setCurrent(m_clock);
        RunLoop::main().reset();
        NSUserDefaults::setStorageDirectory(m_directory.path());
        NSUserDefaults::resetStandardUserDefaults();
    }
    void TearDown() override
    {
        NSUserDefaults::resetStandardUserDefaults();
        NSUserDefaults::setStorageDirectory("");
        RunLoop::main().reset();
        Clock::setCurrent(nullptr);
    }

    std::string filePath() const { return m_directory.file("defaults.plist"); }
    Ref<NSUserDefaults> defaults() const { return NSUserDefaults::standardUserDefaults(); }
    Ref<NSUserDefaults> reopened() const
    {
        NSUserDefaults::resetStandardUserDefaults();
        return NSUserDefaults::standardUserDefaults();
    }

    std::shared_ptr<VirtualClock> m_clock = std::make_shared<VirtualClock>();
    TemporaryDirectory m_directory;
};

} // namespace

TEST_F(NSUserDefaultsTest, AbsentKeysReadAsNothing)
{
    auto d = defaults();
    EXPECT_EQ(d->path(), filePath());
    EXPECT_TRUE(d->objectForKey("Missing").isNil());
    EXPECT_TRUE(d->valueForKey("Missing").isNil());
    EXPECT_FALSE(d->boolForKey("Missing"));
    EXPECT_EQ(d->integerForKey("Missing"), 0);
    EXPECT_EQ(d->floatForKey("Missing"), 0.0f);
    EXPECT_EQ(d->doubleForKey("Missing"), 0.0);
    EXPECT_FALSE(d->stringForKey("Missing"));
    EXPECT_FALSE(d->dataForKey("Missing"));
    EXPECT_FALSE(d->arrayForKey("Missing"));
    EXPECT_FALSE(d->dictionaryForKey("Missing"));
    EXPECT_FALSE(fs::exists(filePath()));
}

TEST_F(NSUserDefaultsTest, TypedReadsCoerceAsThePlatformDoes)
{
    auto d = defaults();
    struct BoolCase {
        Value stored;
        bool expected;
    };
    for (const auto& [stored, expected] : std::vector<BoolCase> { { Value("YES"), true }, { Value("yes"), true },
             { Value("TRUE"), true }, { Value("NO"), false }, { Value("false"), false }, { Value("1"), true },
             { Value("0"), false }, { Value("17"), true }, { Value("Tiger"), false }, { Value(""), false },
             { Value(2), true }, { Value(0), false }, { Value(0.5), true }, { Value(0.0), false },
             { Value(Value::Bytes { 1 }), false }, { Value(Value::Array { Value(1) }), false } }) {
        d->setObject(stored, "B");
        EXPECT_EQ(d->boolForKey("B"), expected) << stored.description();
    }

    struct NumberCase {
        Value stored;
        int64_t integer;
        double real;
    };
    for (const auto& [stored, integer, real] : std::vector<NumberCase> { { Value("42"), 42, 42.0 },
             { Value(" 3.75"), 3, 3.75 }, { Value("abc"), 0, 0.0 }, { Value(2.9), 2, 2.9 }, { Value(-2.9), -2, -2.9 },
             { Value(true), 1, 1.0 }, { Value(int64_t(1) << 40), int64_t(1) << 40, 1099511627776.0 },
             { Value(NSDate { 100 }), 0, 0.0 }, { Value(Value::Dictionary {}), 0, 0.0 } }) {
        d->setObject(stored, "N");
        EXPECT_EQ(d->integerForKey("N"), integer) << stored.description();
        EXPECT_DOUBLE_EQ(d->doubleForKey("N"), real) << stored.description();
        EXPECT_FLOAT_EQ(d->floatForKey("N"), static_cast<float>(real)) << stored.description();
    }

    d->setInteger(42, "S");
    EXPECT_EQ(d->stringForKey("S"), "42");
    d->setDouble(2.5, "S");
    EXPECT_EQ(d->stringForKey("S"), "2.5");
    d->setObject(Value("text"), "S");
    EXPECT_EQ(d->stringForKey("S"), "text");
    EXPECT_FALSE(d->dataForKey("S"));
    EXPECT_FALSE(d->arrayForKey("S"));
    d->setObject(Value(Value::Bytes { 1, 2 }), "S");
    EXPECT_FALSE(d->stringForKey("S"));
    EXPECT_EQ(d->dataForKey("S"), (Value::Bytes { 1, 2 }));
    d->setObject(Value(Value::Array { Value(1) }), "S");
    EXPECT_FALSE(d->dictionaryForKey("S"));
    EXPECT_EQ(d->arrayForKey("S")->size(), 1u);
    d->setObject(Value(Value::Dictionary { { "k", Value(1) } }), "S");
    EXPECT_FALSE(d->arrayForKey("S"));
    EXPECT_EQ(d->dictionaryForKey("S")->at("k"), Value(1));
}

TEST_F(NSUserDefaultsTest, RegisteredValuesAreFallbacksAndNeverStored)
{
    auto d = defaults();
    d->registerDefaults({ { "NSApplicationCrashOnExceptions", Value(false) }, { "Style3DIndex", Value(8) } });
    EXPECT_EQ(d->integerForKey("Style3DIndex"), 8);
    EXPECT_EQ(d->objectForKey("NSApplicationCrashOnExceptions"), Value(false));
    EXPECT_FALSE(d->objectForKey("NSApplicationCrashOnExceptions").isNil());

    d->setInteger(3, "Style3DIndex");
    EXPECT_EQ(d->integerForKey("Style3DIndex"), 3);
    d->registerDefaults({ { "Style3DIndex", Value(9) } });
    EXPECT_EQ(d->integerForKey("Style3DIndex"), 3);
    d->removeObjectForKey("Style3DIndex");
    EXPECT_EQ(d->integerForKey("Style3DIndex"), 9);

    d->setBool(true, "ShowIconInDock");
    ASSERT_TRUE(d->synchronize());
    EXPECT_EQ(fileContents(filePath()), Value(Value::Dictionary { { "ShowIconInDock", Value(true) } }));

    auto again = reopened();
    EXPECT_TRUE(again->objectForKey("Style3DIndex").isNil());
    EXPECT_TRUE(again->boolForKey("ShowIconInDock"));
}

TEST_F(NSUserDefaultsTest, VolatileDomainsAreSearchedInOrderAndNeverStored)
{
    auto d = defaults();
    d->registerDefaults({ { "ThemeIndex", Value(1) } });
    d->setInteger(2, "ThemeIndex");
    ASSERT_TRUE(d->synchronize());
    std::vector<std::string> heard;
    auto handler = NSUserDefaults::addStandardChangeHandler([&](const std::string& key, bool prior) {
        if (!prior)
            heard.push_back(key);
    });

    d->setVolatileDomain({ { "ThemeIndex", Value(0) }, { "LayoutType", Value(1) } }, NSArgumentDomain);
    d->setVolatileDomain({ { "ThemeIndex", Value(5) }, { "ListStyle", Value(1) } }, "Other");
    EXPECT_EQ(d->integerForKey("ThemeIndex"), 0) << "the argument domain comes first";
    EXPECT_EQ(d->integerForKey("ListStyle"), 1) << "other volatile domains come before the registered values";
    EXPECT_EQ(heard, (std::vector<std::string> { "LayoutType", "ThemeIndex", "ListStyle", "ThemeIndex" }));
    EXPECT_TRUE(d->synchronize());
    EXPECT_EQ(fileContents(filePath()), Value(Value::Dictionary { { "ThemeIndex", Value(2) } }));

    d->removeVolatileDomainForName(NSArgumentDomain);
    EXPECT_EQ(d->integerForKey("ThemeIndex"), 2) << "the user's value before the other domain";
    EXPECT_EQ(d->integerForKey("LayoutType"), 0);
}

TEST_F(NSUserDefaultsTest, ValuesPersistAcrossANewInstanceWithTheirTypes)
{
    Value::Dictionary values {
        { "Bool", Value(true) },
        { "Integer", Value(int64_t(-7)) },
        { "Double", Value(0.1) },
        { "String", Value("KSPreferences \xe2\x8c\x98") },
        { "Data", Value(Value::Bytes { 0, 255, 7 }) },
        { "Date", Value(NSDate { 788918400.5 }) },
        { "Array", Value(Value::Array { Value(1), Value("x") }) },
        { "Dictionary", Value(Value::Dictionary { { "keyCode", Value(50) }, { "modifierFlags", Value(0x80000) } }) },
    };
    auto d = defaults();
    for (const auto& [key, value] : values)
        d->setObject(value, key);
    d->setObject(Value("gone"), "Removed");
    d->removeObjectForKey("Removed");
    ASSERT_TRUE(d->synchronize());

    auto again = reopened();
    EXPECT_NE(again, d);
    for (const auto& [key, value] : values) {
        EXPECT_EQ(again->objectForKey(key), value) << key;
        EXPECT_EQ(again->objectForKey(key).type(), value.type()) << key;
    }
    EXPECT_TRUE(again->objectForKey("Removed").isNil());
}

TEST_F(NSUserDefaultsTest, ChangesAreSavedAMomentLaterWithoutSynchronize)
{
    auto d = defaults();
    d->setInteger(1, "ThemeIndex");
    d->setInteger(2, "ThemeIndex");
    EXPECT_FALSE(fs::exists(filePath()));
    RunLoop::main().runFor(0.5);
    EXPECT_FALSE(fs::exists(filePath()));
    RunLoop::main().runFor(1.0);
    EXPECT_EQ(fileContents(filePath())["ThemeIndex"], Value(2));

    // A store that is dropped saves what it still holds.
    auto own = NSUserDefaults::defaultsWithFile(m_directory.file("own.plist"));
    own->setBool(true, "Animation3D");
    own = nullptr;
    EXPECT_EQ(fileContents(m_directory.file("own.plist"))["Animation3D"], Value(true));
}

TEST_F(NSUserDefaultsTest, WritesReplaceTheFileAtomically)
{
    auto d = defaults();
    d->setInteger(1, "LayoutType");
    ASSERT_TRUE(d->synchronize());
    // A second name for the old file: an in-place rewrite would change it too.
    std::string oldFile = m_directory.file("old-link");
    ASSERT_EQ(::link(filePath().c_str(), oldFile.c_str()), 0);

    d->setInteger(3, "LayoutType");
    ASSERT_TRUE(d->synchronize());
    EXPECT_EQ(fileContents(oldFile)["LayoutType"], Value(1));
    EXPECT_EQ(fileContents(filePath())["LayoutType"], Value(3));
    EXPECT_EQ(directoryEntries(m_directory.path()), (std::vector<std::string> { "defaults.plist", "old-link" }));

    struct stat st;
    ASSERT_EQ(::stat(filePath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // Nothing changed since: no write at all.
    ASSERT_EQ(::unlink(filePath().c_str()), 0);
    EXPECT_TRUE(d->synchronize());
    EXPECT_FALSE(fs::exists(filePath()));
}

TEST_F(NSUserDefaultsTest, AFailedWriteKeepsValuesAndTheOldFile)
{
    auto d = defaults();
    d->setInteger(1, "ShowOnScreen");
    ASSERT_TRUE(d->synchronize());
    auto before = readFile(filePath());

    // A file size limit below the new contents makes the write itself fail.
    d->setInteger(2, "ShowOnScreen");
    d->setObject(Value(Value::Bytes(4096, 0xAB)), "ShowAllWindowsCustomKey");
    bool saved;
    {
        FileSizeLimit limit(before.size() + 16);
        ASSERT_TRUE(limit.isSet());
        LogCapture log;
        saved = d->synchronize();
        EXPECT_TRUE(log.contains("Could not save the user defaults")) << (log.lines().empty() ? "" : log.lines()[0]);
    }

    EXPECT_FALSE(saved);
    EXPECT_EQ(readFile(filePath()), before);
    EXPECT_EQ(directoryEntries(m_directory.path()), std::vector<std::string> { "defaults.plist" });
    EXPECT_EQ(d->integerForKey("ShowOnScreen"), 2);
    EXPECT_EQ(d->dataForKey("ShowAllWindowsCustomKey")->size(), 4096u);

    // The change is still pending, and the next write succeeds.
    EXPECT_TRUE(d->synchronize());
    EXPECT_EQ(reopened()->integerForKey("ShowOnScreen"), 2);
}

TEST_F(NSUserDefaultsTest, AnUncreatableDirectoryFailsTheWriteAndKeepsTheValues)
{
    std::string blocker = m_directory.file("blocker");
    writeFile(blocker, "a file where the directory should be");
    LogCapture log;
    auto d = NSUserDefaults::defaultsWithFile(blocker + "/quorvex/defaults.plist");
    EXPECT_TRUE(log.lines().empty());
    // A fault that lasts is named once, however many saves it fails, and
    // the first save that works again says so once.
    for (int i = 0; i < 20; ++i) {
        d->setInteger(i, "ThemeIndex");
        d->setBool(true, "FullScreenMode");
        EXPECT_FALSE(d->synchronize());
    }
    EXPECT_EQ(log.count("cannot be created"), 1u);
    EXPECT_TRUE(d->boolForKey("FullScreenMode"));

    fs::remove(blocker);
    EXPECT_TRUE(d->synchronize());
    d->setInteger(30, "ThemeIndex");
    EXPECT_TRUE(d->synchronize());
    EXPECT_EQ(log.count("saved to"), 1u);
    EXPECT_EQ(fileContents(blocker + "/quorvex/defaults.plist")["FullScreenMode"], Value(true));
}

// Settings are small. A file that would build far more objects than
// settings hold (in either form: the binary one shares one object among
// many places), or that is larger than any settings file, is moved aside
// before anything is built from it, and the defaults apply; a file of
// ordinary settings still reads.
TEST_F(NSUserDefaultsTest, FilesFarLargerThanSettingsAreRefusedBeforeTheyCostAnything)
{
    Value many(Value::Dictionary { { "ThemeIndex", Value(Value::Array(12'000, Value(1))) } });
    Value huge(Value::Dictionary { { "ThemeIndex", Value(Value::Bytes(1'100'000, 0x5A)) } });
    std::vector<Value::Bytes> files {
        *NSPropertyListSerialization::dataWithPropertyList(many, NSPropertyListBinaryFormat_v1_0),
        *NSPropertyListSerialization::dataWithPropertyList(many, NSPropertyListXMLFormat_v1_0),
        *NSPropertyListSerialization::dataWithPropertyList(huge, NSPropertyListBinaryFormat_v1_0),
    };
    EXPECT_LT(files[0].size(), 40'000u);
    for (const auto& file : files) {
        writeFile(filePath(), std::string(file.begin(), file.end()));
        LogCapture log;
        EXPECT_TRUE(reopened()->objectForKey("ThemeIndex").isNil()) << file.size();
        EXPECT_TRUE(log.contains("could not be read")) << file.size();
    }
    Value ordinary(Value::Dictionary { { "ThemeIndex", Value(Value::Array(500, Value(1))) } });
    auto file = *NSPropertyListSerialization::dataWithPropertyList(ordinary, NSPropertyListXMLFormat_v1_0);
    writeFile(filePath(), std::string(file.begin(), file.end()));
    EXPECT_EQ(reopened()->objectForKey("ThemeIndex"), ordinary["ThemeIndex"]);
}

TEST_F(NSUserDefaultsTest, ACorruptFileIsMovedAsideAndTheDefaultsApply)
{
    const std::string garbage = "this is not a property list";
    writeFile(filePath(), garbage);
    Ref<NSUserDefaults> d;
    // Named with the real date and time to the second, whatever the run's
    // clock says; the second may tick while the file is read.
    auto realStamp = [] {
        auto now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
        std::tm parts {};
        gmtime_r(&now, &parts);
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &parts);
        return std::string(stamp);
    };
    const std::string before = realStamp();
    std::string aside;
    {
        LogCapture log;
        d = defaults();
        EXPECT_TRUE(log.contains("could not be read")) << (log.lines().empty() ? "" : log.lines()[0]);
        for (const auto& name : directoryEntries(m_directory.path()))
            if (name.starts_with("defaults.plist.corrupt-"))
                aside = m_directory.file(name);
        EXPECT_TRUE(log.contains(aside));
    }
    const std::string after = realStamp();
    const std::string prefix = filePath() + ".corrupt-";
    ASSERT_TRUE(aside.starts_with(prefix)) << aside;
    const std::string stamp = aside.substr(prefix.size());
    EXPECT_TRUE(stamp >= before && stamp <= after)
        << stamp << " is not between " << before << " and " << after;
    d->registerDefaults({ { "ThemeIndex", Value(1) } });
    EXPECT_EQ(d->integerForKey("ThemeIndex"), 1);
    auto kept = readFile(aside);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), garbage);
    EXPECT_FALSE(fs::exists(filePath()));

    d->setInteger(2, "ThemeIndex");
    ASSERT_TRUE(d->synchronize());
    EXPECT_EQ(fileContents(filePath())["ThemeIndex"], Value(2));

    // Other unreadable forms, within the same second or not: each gets a
    // name of its own, and none replaces a file moved aside before.
    auto notADictionary = NSPropertyListSerialization::dataWithPropertyList(
        Value(Value::Array { Value(1) }), NSPropertyListBinaryFormat_v1_0);
    const std::string second(notADictionary->begin(), notADictionary->end());
    writeFile(filePath(), second);
    {
        LogCapture log;
        EXPECT_TRUE(reopened()->objectForKey("ThemeIndex").isNil());
        EXPECT_TRUE(log.contains("does not hold a dictionary"));
    }
    writeFile(filePath(), "");
    {
        LogCapture log;
        reopened();
        EXPECT_TRUE(log.contains("empty"));
    }
    std::multiset<std::string> keptContents;
    for (const auto& name : directoryEntries(m_directory.path())) {
        if (!name.starts_with("defaults.plist.corrupt-")) continue;
        auto bytes = readFile(m_directory.file(name));
        keptContents.insert(std::string(bytes.begin(), bytes.end()));
    }
    EXPECT_EQ(keptContents, (std::multiset<std::string> { garbage, second, "" }));
}

TEST_F(NSUserDefaultsTest, AFileThatCannotBeReadIsLeftAloneAndNeverWrittenOver)
{
    // Readable settings that this process may not read (root reads
    // anything, so a directory stands in for the unreadable file as well).
    const std::string settings = "<plist><dict><key>ThemeIndex</key><integer>2</integer></dict></plist>";
    writeFile(filePath(), settings);
    fs::permissions(filePath(), fs::perms::none);
    bool canRead = std::ifstream(filePath()).good();
    // Then a folder, a pipe (which nothing ever writes to) and a link to
    // a device that never ends, each in the file's place: none holds
    // settings, and reading one must neither wait nor fill the memory.
    for (int round = 0; round < 4; ++round) {
        if (round > 0) {
            fs::permissions(filePath(), fs::perms::owner_all, fs::perm_options::add);
            fs::remove(filePath());
        }
        if (round == 1)
            fs::create_directory(filePath());
        else if (round == 2)
            ASSERT_EQ(::mkfifo(filePath().c_str(), 0600), 0);
        else if (round == 3)
            fs::create_symlink("/dev/zero", filePath());
        else if (canRead)
            continue;
        LogCapture log;
        auto d = reopened();
        EXPECT_TRUE(log.contains("could not be read")) << round;
        EXPECT_EQ(d->integerForKey("ThemeIndex"), 0);
        d->setBool(true, "Animation3D");
        EXPECT_FALSE(d->synchronize()) << "a save would replace settings that were never read";
        EXPECT_TRUE(d->boolForKey("Animation3D")) << "the change stays for the run";
        EXPECT_EQ(directoryEntries(m_directory.path()), std::vector<std::string> { "defaults.plist" });
    }
    EXPECT_TRUE(fs::is_symlink(filePath()));
}

TEST_F(NSUserDefaultsTest, ValuesThatCouldNotBeSavedAreDroppedOnLoadAndLeftoversCleaned)
{
    // A string that is not UTF-8 beside a good value; and two temporary
    // files of saves that were killed.
    std::string xml = "<plist><dict><key>Bad</key><string>caf\xe9</string><key>ThemeIndex</key>"
                      "<integer>2</integer></dict></plist>";
    writeFile(filePath(), xml);
    writeFile(m_directory.file(".defaults.plist.a1B2c3"), "half");
    writeFile(m_directory.file(".defaults.plist.Zz9yX8"), "");
    writeFile(m_directory.file("notes.txt"), "not ours");
    LogCapture log;
    auto d = reopened();
    EXPECT_TRUE(log.contains("\"Bad\"")) << (log.lines().empty() ? "" : log.lines()[0]);
    EXPECT_TRUE(d->objectForKey("Bad").isNil());
    EXPECT_EQ(d->integerForKey("ThemeIndex"), 2);
    EXPECT_EQ(directoryEntries(m_directory.path()), (std::vector<std::string> { "defaults.plist", "notes.txt" }));
    d->setInteger(1, "ListStyle");
    EXPECT_TRUE(d->synchronize()) << "saving works for the rest of the run";
    EXPECT_EQ(fileContents(filePath()),
        Value(Value::Dictionary { { "ThemeIndex", Value(2) }, { "ListStyle", Value(1) } }));
}

TEST_F(NSUserDefaultsTest, ALinkedFileStaysALinkAndKeepsItsMode)
{
    // defaults.plist is a link into a folder of dotfiles (by a relative
    // path, through a second link), where a killed save left its file.
    fs::create_directories(m_directory.file("dotfiles"));
    std::string target = m_directory.file("dotfiles/quorvex.plist");
    writeFile(target, "<plist><dict><key>ThemeIndex</key><integer>2</integer></dict></plist>");
    fs::permissions(target, fs::perms(0644));
    fs::create_symlink("quorvex.plist", m_directory.file("dotfiles/current"));
    fs::create_symlink("dotfiles/current", filePath());
    writeFile(m_directory.file("dotfiles/.quorvex.plist.a1B2c3"), "half");
    auto d = reopened();
    EXPECT_EQ(d->integerForKey("ThemeIndex"), 2);
    EXPECT_EQ(directoryEntries(m_directory.file("dotfiles")), (std::vector<std::string> { "current", "quorvex.plist" }));
    d->setInteger(1, "ListStyle");
    ASSERT_TRUE(d->synchronize());
    EXPECT_TRUE(fs::is_symlink(filePath()));
    EXPECT_TRUE(fs::is_symlink(m_directory.file("dotfiles/current")));
    EXPECT_EQ(fileContents(target), Value(Value::Dictionary { { "ThemeIndex", Value(2) }, { "ListStyle", Value(1) } }));
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(0644));
    EXPECT_EQ(directoryEntries(m_directory.path()), (std::vector<std::string> { "defaults.plist", "dotfiles" }));

    // A link to a file that is not there yet: the save makes the file.
    fs::remove(target);
    d->setInteger(2, "ListStyle");
    ASSERT_TRUE(d->synchronize());
    EXPECT_TRUE(fs::is_symlink(filePath()));
    EXPECT_EQ(fileContents(target)["ListStyle"], Value(2));

    // A damaged file behind the link is moved aside where it lies; the
    // links stay, and the next save writes the dotfiles' file again.
    writeFile(target, "<plist><dict><key>Theme");
    d = reopened();
    EXPECT_TRUE(d->objectForKey("ListStyle").isNil());
    d->setInteger(3, "ListStyle");
    ASSERT_TRUE(d->synchronize());
    EXPECT_TRUE(fs::is_symlink(filePath()));
    EXPECT_TRUE(fs::is_symlink(m_directory.file("dotfiles/current")));
    EXPECT_EQ(fileContents(target), Value(Value::Dictionary { { "ListStyle", Value(3) } }));
    auto kept = directoryEntries(m_directory.file("dotfiles"));
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(kept[2].rfind("quorvex.plist.corrupt-", 0), 0u) << kept[2];
}

TEST_F(NSUserDefaultsTest, RefusesValuesTheFileCannotHold)
{
    auto d = defaults();
    d->setInteger(1, "Good");
    size_t notices = 0;
    auto observer = NSNotificationCenter::defaultCenter().addObserverForName(
        NSUserDefaultsDidChangeNotification, d.get(), nullptr, [&](const NSNotification&) { ++notices; });
    LogCapture log;
    d->setObject(Value(makeRef<NSObject>()), "Object");
    d->setObject(Value(Value::Array { Value(1), Value(makeRef<NSObject>()) }), "Nested");
    d->setObject(Value(std::string("bad\xff")), "Text");
    d->setInteger(1, std::string("bad key \xff"));
    EXPECT_EQ(log.count("non-property-list"), 4u);
    EXPECT_EQ(notices, 0u);
    EXPECT_TRUE(d->objectForKey("Object").isNil());
    EXPECT_TRUE(d->objectForKey("Nested").isNil());
    // The refused values do not spoil the file.
    EXPECT_TRUE(d->synchronize());
    EXPECT_EQ(fileContents(filePath()), Value(Value::Dictionary { { "Good", Value(1) } }));

    d->setObject(Value(), "Good");
    EXPECT_TRUE(d->objectForKey("Good").isNil());
    EXPECT_EQ(notices, 1u);
}

TEST_F(NSUserDefaultsTest, ObserversOfAKeyHearEveryChangeOfItsValue)
{
    auto d = defaults();
    std::vector<KVOChange> changes;
    auto token = d->addObserver("ThemeIndex", NSKeyValueObservingOptionNew | NSKeyValueObservingOptionOld,
        [&](const KVOChange& change) { changes.push_back(change); });
    d->registerDefaults({ { "ThemeIndex", Value(1) } });
    d->setInteger(2, "ThemeIndex");
    d->setInteger(5, "Other");
    d->removeObjectForKey("ThemeIndex");
    d->removeObjectForKey("ThemeIndex");
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_TRUE(changes[0].oldValue.isNil());
    EXPECT_EQ(changes[0].newValue, Value(1));
    EXPECT_EQ(changes[1].oldValue, Value(1));
    EXPECT_EQ(changes[1].newValue, Value(2));
    EXPECT_EQ(changes[2].oldValue, Value(2));
    EXPECT_EQ(changes[2].newValue, Value(1));

    // A registration under a value the user set changes nothing visible.
    d->setInteger(4, "ThemeIndex");
    changes.clear();
    d->registerDefaults({ { "ThemeIndex", Value(0) } });
    EXPECT_TRUE(changes.empty());
    token.reset();
    d->setInteger(6, "ThemeIndex");
    EXPECT_TRUE(changes.empty());
}

TEST_F(NSUserDefaultsTest, PostsTheDidChangeNotificationForStoredChangesOnly)
{
    auto d = defaults();
    std::vector<Ref<NSObject>> senders;
    auto observer = NSNotificationCenter::defaultCenter().addObserverForName(NSUserDefaultsDidChangeNotification,
        nullptr, nullptr, [&](const NSNotification& n) { senders.push_back(n.object); });
    d->registerDefaults({ { "A", Value(1) } });
    EXPECT_TRUE(senders.empty());
    d->setBool(true, "A");
    d->removeObjectForKey("A");
    ASSERT_EQ(senders.size(), 2u);
    EXPECT_EQ(senders[0], d);
}

TEST_F(NSUserDefaultsTest, StandardChangeHandlersFollowWhicheverStoreIsShared)
{
    std::vector<std::pair<std::string, bool>> heard;
    auto token = NSUserDefaults::addStandardChangeHandler(
        [&](const std::string& key, bool prior) { heard.emplace_back(key, prior); });
    auto first = defaults();
    first->setInteger(1, "K");
    EXPECT_EQ(heard, (std::vector<std::pair<std::string, bool>> { { "K", true }, { "K", false } }));

    heard.clear();
    auto own = NSUserDefaults::defaultsWithFile(m_directory.file("own.plist"));
    own->setInteger(1, "K");
    EXPECT_TRUE(heard.empty());

    auto second = reopened();
    first->setInteger(2, "K");
    EXPECT_TRUE(heard.empty());
    second->setInteger(3, "L");
    EXPECT_EQ(heard.size(), 2u);
    token.reset();
    second->setInteger(4, "L");
    EXPECT_EQ(heard.size(), 2u);
}

TEST_F(NSUserDefaultsTest, FindsItsFileUnderTheXDGConfigurationHome)
{
    NSUserDefaults::setStorageDirectory("");
    const char* oldConfig = std::getenv("XDG_CONFIG_HOME");
    std::string savedConfig = oldConfig ? oldConfig : "";
    const char* oldHome = std::getenv("HOME");
    std::string savedHome = oldHome ? oldHome : "";

    ::setenv("XDG_CONFIG_HOME", "/some/config", 1);
    EXPECT_EQ(NSUserDefaults::storageFilePath(), "/some/config/quorvex/defaults.plist");
    ::setenv("HOME", "/home/someone", 1);
    ::setenv("XDG_CONFIG_HOME", "relative/config", 1);
    EXPECT_EQ(NSUserDefaults::storageDirectory(), "/home/someone/.config/quorvex");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(NSUserDefaults::storageDirectory(), "/home/someone/.config/quorvex");

    ::setenv("XDG_CONFIG_HOME", m_directory.path().c_str(), 1);
    NSUserDefaults::resetStandardUserDefaults();
    defaults()->setInteger(1, "X");
    EXPECT_TRUE(defaults()->synchronize());
    EXPECT_TRUE(fs::exists(m_directory.file("quorvex/defaults.plist")));
    NSUserDefaults::resetStandardUserDefaults();

    if (oldConfig)
        ::setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
    if (oldHome)
        ::setenv("HOME", savedHome.c_str(), 1);
    else
        ::unsetenv("HOME");
}

TEST_F(NSUserDefaultsTest, ConcurrentWritersLoseNothing)
{
    auto d = defaults();
    constexpr int kThreads = 4;
    constexpr int kKeys = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([d, t] {
            for (int i = 0; i < kKeys; ++i) {
                d->setInteger(i, "thread" + std::to_string(t) + "." + std::to_string(i));
                if (i % 50 == 0)
                    d->synchronize();
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    ASSERT_TRUE(d->synchronize());
    auto stored = fileContents(filePath());
    EXPECT_EQ(stored.count(), static_cast<size_t>(kThreads * kKeys));
    EXPECT_EQ(stored["thread3.199"], Value(199));
    EXPECT_EQ(directoryEntries(m_directory.path()), std::vector<std::string> { "defaults.plist" });
}

#include "support/TemporaryDirectory.h"

#include <foundation/Log.h>
#include <foundation/NSBundle.h>
#include <foundation/NSPropertyListSerialization.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

void writeTable(const std::string& directory, const std::string& language, const Value::Dictionary& entries)
{
    std::filesystem::create_directories(directory + "/" + language + ".lproj");
    auto data = NSPropertyListSerialization::dataWithPropertyList(Value(entries), NSPropertyListXMLFormat_v1_0);
    std::ofstream out(directory + "/" + language + ".lproj/Localizable.strings", std::ios::binary);
    out.write(reinterpret_cast<const char*>(data->data()), static_cast<std::streamsize>(data->size()));
}

// Sets an environment variable for the life of the object.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value)
        : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnvironment()
    {
        if (m_old)
            setenv(m_name, m_old->c_str(), 1);
        else
            unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

}

TEST(NSBundle, LooksTextsUpInTheUsersLanguageThenEnglish)
{
    TemporaryDirectory directory;
    writeTable(directory.path(), "en", { { "Space", Value("Space") }, { "Quit", Value("Quit") } });
    writeTable(directory.path(), "de", { { "Space", Value("Leertaste") } });
    ScopedEnvironment language("LANGUAGE", nullptr);
    ScopedEnvironment all("LC_ALL", nullptr);
    ScopedEnvironment messages("LC_MESSAGES", nullptr);
    {
        ScopedEnvironment lang("LANG", "de_DE.UTF-8");
        auto bundle = NSBundle::bundleWithPath(directory.path());
        ASSERT_TRUE(bundle);
        EXPECT_EQ(bundle->localizedStringForKey("Space", "XXX"), "Leertaste");
        EXPECT_EQ(bundle->localizedStringForKey("Quit", "XXX"), "XXX") << "the first language with the table answers";
        EXPECT_EQ(bundle->localizedStringForKey("Missing", ""), "Missing");
        EXPECT_EQ(bundle->localizedStringForKey("Space", "XXX", "Other"), "XXX");
    }
    {
        ScopedEnvironment lang("LANG", "C");
        auto bundle = NSBundle::bundleWithPath(directory.path());
        EXPECT_EQ(bundle->localizedStringForKey("Space", "XXX"), "Space");
        EXPECT_EQ(bundle->localizedStringForKey("Quit", "XXX", "Localizable"), "Quit");
    }
    EXPECT_FALSE(NSBundle::bundleWithPath(directory.file("absent")));
    EXPECT_FALSE(NSBundle::bundleWithPath(""));
}

TEST(NSBundle, AnUnreadableTableIsLoggedAndSkipped)
{
    TemporaryDirectory directory;
    std::filesystem::create_directories(directory.file("en.lproj"));
    std::ofstream(directory.file("en.lproj/Localizable.strings")) << "\"Space\" = broken";
    writeTable(directory.path(), "Base", { { "Space", Value("Space bar") } });
    ScopedEnvironment language("LANGUAGE", "en");
    LogCapture log;
    auto bundle = NSBundle::bundleWithPath(directory.path());
    EXPECT_EQ(bundle->localizedStringForKey("Space", "XXX"), "Space bar");
    EXPECT_TRUE(log.contains("cannot be read"));
}

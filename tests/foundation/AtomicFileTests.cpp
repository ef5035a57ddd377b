#include <foundation/AtomicFile.h>

#include "support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <unistd.h>

TEST(AtomicFile, ReplacesAFileAndReadsItBack)
{
    TemporaryDirectory directory;
    std::string path = directory.file("storage.json");
    int error = 0;
    EXPECT_FALSE(readFileContents(path, &error));
    EXPECT_EQ(error, ENOENT);

    ASSERT_TRUE(writeFileAtomically(path, { 'o', 'l', 'd' }));
    std::string link = directory.file("link");
    ASSERT_EQ(::link(path.c_str(), link.c_str()), 0);
    ASSERT_TRUE(writeFileAtomically(path, { 'n', 'e', 'w', '!' }));
    EXPECT_EQ(readFileContents(path), (Value::Bytes { 'n', 'e', 'w', '!' }));
    // The old contents were replaced, not overwritten in place.
    EXPECT_EQ(readFileContents(link), (Value::Bytes { 'o', 'l', 'd' }));
    ASSERT_TRUE(writeFileAtomically(path, {}));
    EXPECT_EQ(readFileContents(path), Value::Bytes {});
    size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(directory.path()))
        ++entries;
    EXPECT_EQ(entries, 2u);
}

TEST(AtomicFile, AFailedWriteLeavesNothingBehind)
{
    TemporaryDirectory directory;
    std::string error;
    EXPECT_FALSE(writeFileAtomically(directory.file("missing/file"), { 1 }, &error));
    EXPECT_NE(error.find("temporary"), std::string::npos) << error;

    // The target is a directory: the rename fails and the temporary file goes.
    std::filesystem::create_directory(directory.file("taken"));
    std::filesystem::create_directory(directory.file("taken/inside"));
    EXPECT_FALSE(writeFileAtomically(directory.file("taken"), { 1 }, &error));
    EXPECT_NE(error.find("replacing"), std::string::npos) << error;
    size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(directory.path()))
        ++entries;
    EXPECT_EQ(entries, 1u);
    int readError = 0;
    EXPECT_FALSE(readFileContents(directory.file("taken"), &readError));
    EXPECT_EQ(readError, EISDIR);
}

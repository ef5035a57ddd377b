#include "ScriptTestSupport.h"

#include <scripting/DRShebangPreprocessor.h>
#include <scripting/NSTaskDRExtension.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

struct Shebang : ::testing::Test {
    Shebang() { ::setenv("SHELL", "/bin/sh", 1); }
    ScriptWorld s;
};

TEST_F(Shebang, TheCommandIsTheRestOfTheFirstLine)
{
    EXPECT_EQ(DRShebangPreprocessor::scanCommand("  \n\t#!  cat -u  \nvar x;"), "cat -u");
    EXPECT_EQ(DRShebangPreprocessor::scanCommand("#!cat\r\nx"), "cat");
    EXPECT_FALSE(DRShebangPreprocessor::scanCommand("var a = 1; #!cat"));
    EXPECT_FALSE(DRShebangPreprocessor::scanCommand("#!\nrm -rf /tmp/nothing")) << "an empty line does not take the next as its command";
    EXPECT_FALSE(DRShebangPreprocessor::scanCommand("#!   \t"));
    Ref<NSError> error;
    EXPECT_EQ(DRShebangPreprocessor::process("var plain = 1;", "/nowhere.js", &error), "var plain = 1;");
    EXPECT_FALSE(error);
}

TEST_F(Shebang, TheOutputReplacesTheFileAndTheQuotedPathRunsNothing)
{
    // A name with blanks, quotes and a command substitution.
    std::string path = s.directory.file("my conf '$(touch pwned)'.js");
    std::ofstream(path) << "#!/bin/cat\nvar fromFile = 42;\n";
    std::string text = "#!/bin/cat\nvar fromFile = 42;\n";
    Ref<NSError> error;
    EXPECT_EQ(DRShebangPreprocessor::process(text, path, &error), "\nvar fromFile = 42;\n")
        << "the output's own #! line goes, its line break stays";
    EXPECT_FALSE(error);
    EXPECT_FALSE(std::filesystem::exists(s.directory.file("pwned")));
    EXPECT_FALSE(std::filesystem::exists("pwned"));
}

TEST_F(Shebang, AFailingCommandGivesNothingAndItsErrorOutput)
{
    Ref<NSError> error;
    std::string text = "#!echo partial; echo 'it broke' >&2; exit 3; true\nvar x;";
    EXPECT_EQ(DRShebangPreprocessor::process(text, s.directory.file("a.js"), &error), "");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), DRShebangPreprocessorErrorDomain);
    EXPECT_EQ(error->code(), -1);
    EXPECT_EQ(error->localizedDescription(), "Preprocessing failed.");
    ASSERT_TRUE(error->underlyingError());
    EXPECT_EQ(error->underlyingError()->localizedDescription(), "Task failed.");
    EXPECT_EQ(error->underlyingError()->localizedFailureReason(), "it broke\n");
}

TEST_F(Shebang, TheShellRunsWithACleanEnvironmentAndBothStreamsDrained)
{
    ::setenv("QV_SHOULD_NOT_LEAK", "1", 1);
    Ref<NSError> error;
    std::string out = NSTaskDRExtension::outputFromLaunchedTaskWithEnvironment(
        { { "ONLY", "this" } }, { "-c", "echo \"$ONLY:${QV_SHOULD_NOT_LEAK:-unset}\"; head -c 300000 /dev/zero | tr '\\0' e >&2; echo done" }, &error);
    EXPECT_EQ(out, "this:unset\ndone\n") << "much error output while standard output is open does not stall the child";
    EXPECT_FALSE(error);
    std::string path = NSTaskDRExtension::searchPath();
    EXPECT_FALSE(path.empty());
    EXPECT_NE(path.back(), '\n');
    ::setenv("SHELL", "/nonexistent/shell", 1);
    NSTaskDRExtension::outputFromLaunchedTaskWithEnvironment({}, { "-c", "true" }, &error);
    ASSERT_TRUE(error);
    EXPECT_NE(error->localizedFailureReason().find("/nonexistent/shell"), std::string::npos);
}

}

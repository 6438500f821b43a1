#include "app/command_line.h"

#include <gtest/gtest.h>

TEST(CommandLine, UsageWithoutArguments)
{
    EXPECT_TRUE(parseCommandLine({"tarnwick"}).showUsage);
    EXPECT_EQ(usageText("/bin/tarnwick"),
              "Usage:\n/bin/tarnwick <model-file-obj> [--batchmode] [--square]\n");
}

TEST(CommandLine, OptionsInAnyOrder)
{
    const CommandLine a = parseCommandLine({"t", "m.obj", "--square", "--batchmode"});
    const CommandLine b = parseCommandLine({"t", "m.obj", "--batchmode", "--square"});
    for (const CommandLine& cl : {a, b}) {
        EXPECT_FALSE(cl.showUsage);
        EXPECT_EQ(cl.modelFile, "m.obj");
        EXPECT_TRUE(cl.batchMode);
        EXPECT_TRUE(cl.square);
    }
}

TEST(CommandLine, FirstArgumentIsAlwaysTheModel)
{
    const CommandLine cl = parseCommandLine({"t", "--batchmode"});
    EXPECT_EQ(cl.modelFile, "--batchmode");
    EXPECT_FALSE(cl.batchMode);
    const CommandLine other = parseCommandLine({"t", "m.obj", "--verbose", "x"});
    EXPECT_FALSE(other.batchMode);
    EXPECT_FALSE(other.square);
}

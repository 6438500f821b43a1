#include "app/command_line.h"

#include <gtest/gtest.h>

TEST(CommandLine, UsageWithoutArgumentsAndHelp)
{
    EXPECT_TRUE(parseCommandLine({"tarnwick"}).showUsage);
    EXPECT_EQ(usageText("/bin/tarnwick"),
              "Usage:\n/bin/tarnwick <model-file-obj> [--batchmode] [--square]\n");
    EXPECT_TRUE(parseCommandLine({"t", "m.obj", "--help"}).showHelp);
    EXPECT_TRUE(parseCommandLine({"t", "--help"}).showHelp);
    const std::string help = helpText("t");
    EXPECT_EQ(help.rfind(usageText("t"), 0), 0u);
    for (const char* option : {"--batchmode", "--square", "--help"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
}

TEST(CommandLine, OptionsInAnyOrderBeforeOrAfterTheModel)
{
    const std::vector<std::vector<std::string>> lines = {
        {"t", "m.obj", "--square", "--batchmode"},
        {"t", "m.obj", "--batchmode", "--square"},
        {"t", "--batchmode", "m.obj", "--square"},
        {"t", "--square", "--batchmode", "m.obj"},
    };
    for (const auto& line : lines) {
        const CommandLine cl = parseCommandLine(line);
        EXPECT_FALSE(cl.showUsage);
        EXPECT_EQ(cl.modelFile, "m.obj");
        EXPECT_TRUE(cl.batchMode);
        EXPECT_TRUE(cl.square);
        EXPECT_TRUE(cl.warnings.empty());
    }
}

TEST(CommandLine, OnlyOptionsMakeTheFirstOneTheModelAndUnknownOnesAreReported)
{
    const CommandLine alone = parseCommandLine({"t", "--batchmode"});
    EXPECT_EQ(alone.modelFile, "--batchmode");
    EXPECT_FALSE(alone.batchMode);
    const CommandLine two = parseCommandLine({"t", "--batchmode", "--square"});
    EXPECT_EQ(two.modelFile, "--batchmode");
    EXPECT_TRUE(two.square);

    const CommandLine other = parseCommandLine({"t", "m.obj", "--verbose", "x"});
    EXPECT_EQ(other.modelFile, "m.obj");
    EXPECT_FALSE(other.batchMode);
    EXPECT_EQ(other.warnings,
              (std::vector<std::string>{"Ignoring unknown option --verbose.", "Ignoring extra argument x."}));
    EXPECT_TRUE(other.error.empty());
}

TEST(CommandLine, OutputFolderOption)
{
    const struct {
        std::vector<std::string> args;
        std::string outputDir;
        std::string error;
    } cases[] = {
        {{"t", "m.obj", "--batchmode", "--output", "out/a"}, "out/a", ""},
        {{"t", "--output", "out", "m.obj", "--batchmode"}, "out", ""},
        {{"t", "m.obj", "--output", "x", "--output", "y"}, "y", ""},
        {{"t", "m.obj", "--output", ""}, "", "Invalid value '' for --output: the folder name is empty."},
        {{"t", "m.obj", "--batchmode", "--output"}, "", "Option --output needs a value (DIR)."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.back());
        const CommandLine cl = parseCommandLine(c.args);
        EXPECT_EQ(cl.modelFile, "m.obj");
        EXPECT_EQ(cl.outputDir, c.outputDir);
        EXPECT_EQ(cl.error, c.error);
    }
    EXPECT_EQ(parseCommandLine({"t", "m.obj"}).outputDir, "");
    EXPECT_NE(helpText("t").find("--output DIR"), std::string::npos);
}

TEST(CommandLine, TextureOptions)
{
    const char* const badScale = "expected a number above 0 and at most 64.";
    const struct {
        std::vector<std::string> args;
        std::string texture;
        bool pot;
        double scale;
        std::string error;
    } cases[] = {
        {{"t", "m.obj", "--texture", "a.png", "--pot", "--texel-scale", "2.5"}, "a.png", true, 2.5, ""},
        {{"t", "--texel-scale", "0.25", "m.obj", "--texture", "b.jpg"}, "b.jpg", false, 0.25, ""},
        {{"t", "m.obj", "--texture", ""}, "", false, 1.0, "Invalid value '' for --texture: the file name is empty."},
        {{"t", "m.obj", "--texture"}, "", false, 1.0, "Option --texture needs a value (FILE)."},
        {{"t", "m.obj", "--texel-scale", "0"}, "", false, 1.0, std::string("Invalid value '0' for --texel-scale: ") + badScale},
        {{"t", "m.obj", "--texel-scale", "-2"}, "", false, 1.0, std::string("Invalid value '-2' for --texel-scale: ") + badScale},
        {{"t", "m.obj", "--texel-scale", "2x"}, "", false, 1.0, std::string("Invalid value '2x' for --texel-scale: ") + badScale},
        {{"t", "m.obj", "--texel-scale", "nan"}, "", false, 1.0, std::string("Invalid value 'nan' for --texel-scale: ") + badScale},
        {{"t", "m.obj", "--texel-scale", "inf"}, "", false, 1.0, std::string("Invalid value 'inf' for --texel-scale: ") + badScale},
        {{"t", "m.obj", "--texel-scale", "65"}, "", false, 1.0, std::string("Invalid value '65' for --texel-scale: ") + badScale},
        {{"t", "m.obj", "--texel-scale", "1e999"}, "", false, 1.0, std::string("Invalid value '1e999' for --texel-scale: ") + badScale},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.back());
        const CommandLine cl = parseCommandLine(c.args);
        EXPECT_EQ(cl.modelFile, "m.obj");
        EXPECT_EQ(cl.error, c.error);
        if (!c.error.empty())
            continue;
        EXPECT_EQ(cl.textureFile, c.texture);
        EXPECT_EQ(cl.powerOfTwo, c.pot);
        EXPECT_DOUBLE_EQ(cl.texelScale, c.scale);
    }
}

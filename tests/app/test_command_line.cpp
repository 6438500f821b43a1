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

TEST(CommandLine, OptionsInAnyOrderAndWhatIsLeftOver)
{
    struct Case { std::vector<std::string> args; std::string model; bool batch, square; std::vector<std::string> warnings; };
    const std::vector<Case> cases = {
        {{"t", "m.obj", "--square", "--batchmode"}, "m.obj", true, true, {}},
        {{"t", "--batchmode", "m.obj", "--square"}, "m.obj", true, true, {}},
        {{"t", "--square", "--batchmode", "m.obj"}, "m.obj", true, true, {}},
        {{"t", "--batchmode"}, "--batchmode", false, false, {}},          // only options: the first is the model
        {{"t", "--batchmode", "--square"}, "--batchmode", false, true, {}},
        {{"t", "m.obj", "--verbose", "x"}, "m.obj", false, false, {"Ignoring unknown option --verbose.", "Ignoring extra argument x."}},
    };
    for (const Case& c : cases) {
        const CommandLine cl = parseCommandLine(c.args);
        EXPECT_FALSE(cl.showUsage);
        EXPECT_EQ(cl.modelFile, c.model);
        EXPECT_EQ(cl.batchMode, c.batch) << c.args[1];
        EXPECT_EQ(cl.square, c.square) << c.args[1];
        EXPECT_EQ(cl.warnings, c.warnings);
        EXPECT_TRUE(cl.error.empty());
    }
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

TEST(CommandLine, PaddingAndResolutionOptions)
{
    const struct {
        std::vector<std::string> args;
        double padding;
        double resolution;
        std::string error; // start of the message, "" for none
    } cases[] = {
        {{"t", "m.obj"}, 0.0, 1024.0, ""},
        {{"t", "m.obj", "--padding", "4", "--resolution", "512"}, 4.0, 512.0, ""},
        {{"t", "--resolution", "2048", "--padding", "2.5", "m.obj"}, 2.5, 2048.0, ""},
        {{"t", "m.obj", "--padding", "-1"}, 0.0, 1024.0, "Invalid value '-1' for --padding"},
        {{"t", "m.obj", "--padding", "nan"}, 0.0, 1024.0, "Invalid value 'nan' for --padding"},
        {{"t", "m.obj", "--padding", "4px"}, 0.0, 1024.0, "Invalid value '4px' for --padding"},
        {{"t", "m.obj", "--resolution", "0"}, 0.0, 1024.0, "Invalid value '0' for --resolution"},
        {{"t", "m.obj", "--resolution", "51.2"}, 0.0, 1024.0, "Invalid value '51.2' for --resolution"},
        {{"t", "m.obj", "--padding", "200", "--resolution", "512"}, 200.0, 512.0, "Invalid padding 200"},
        {{"t", "m.obj", "--padding"}, 0.0, 1024.0, "Option --padding needs a value (P)."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.back());
        const CommandLine cl = parseCommandLine(c.args);
        EXPECT_EQ(cl.modelFile, "m.obj");
        if (c.error.empty()) {
            EXPECT_EQ(cl.error, "");
            EXPECT_EQ(cl.padding, c.padding);
            EXPECT_EQ(cl.resolution, c.resolution);
        } else {
            EXPECT_EQ(cl.error.rfind(c.error, 0), 0u) << cl.error;
        }
    }
}

TEST(CommandLine, ThreadsOption)
{
    const std::string range = ": expected a whole number from 1 to 64.";
    const struct {
        std::vector<std::string> args;
        unsigned threads;
        std::string error;
    } cases[] = {
        {{"t", "m.obj", "--threads", "1"}, 1, ""},
        {{"t", "--threads", "12", "m.obj", "--batchmode"}, 12, ""},
        {{"t", "m.obj", "--threads", "64"}, 64, ""},
        {{"t", "m.obj", "--threads", "0"}, 0, "Invalid value '0' for --threads" + range},
        {{"t", "m.obj", "--threads", "65"}, 0, "Invalid value '65' for --threads" + range},
        {{"t", "m.obj", "--threads", "-2"}, 0, "Invalid value '-2' for --threads" + range},
        {{"t", "m.obj", "--threads", "2x"}, 0, "Invalid value '2x' for --threads" + range},
        {{"t", "m.obj", "--threads", "99999999999999999999"}, 0,
         "Invalid value '99999999999999999999' for --threads" + range},
        {{"t", "m.obj", "--threads", ""}, 0, "Invalid value '' for --threads" + range},
        {{"t", "m.obj", "--threads"}, 0, "Option --threads needs a value (N)."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.back());
        const CommandLine cl = parseCommandLine(c.args);
        EXPECT_EQ(cl.modelFile, "m.obj");
        EXPECT_EQ(cl.threads, c.threads);
        EXPECT_EQ(cl.error, c.error);
    }
    EXPECT_EQ(parseCommandLine({"t", "m.obj"}).threads, 0u);
    EXPECT_NE(helpText("t").find("--threads N"), std::string::npos);
}

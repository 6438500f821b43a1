#include "app/command_line.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

// Every parsed field, as "name=value" words.
std::string fields(const CommandLine& cl)
{
    std::ostringstream s;
    s << "model=" << cl.modelFile << " batch=" << cl.batchMode << " square=" << cl.square << " output=" << cl.outputDir
      << " cones=" << cl.coneFile << " padding=" << cl.padding << " resolution=" << cl.resolution
      << " format=" << cl.meshFormat << " texture=" << cl.textureFile << " pot=" << cl.powerOfTwo
      << " scale=" << cl.texelScale << " threads=" << cl.threads << " ";
    for (const std::string& w : cl.warnings)
        s << "[" << w << "] ";
    return s.str();
}

} // namespace

TEST(CommandLine, UsageAndHelp)
{
    EXPECT_TRUE(parseCommandLine({"tarnwick"}).showUsage);
    EXPECT_EQ(usageText("/bin/tarnwick"), "Usage:\n/bin/tarnwick <model-file-obj> [--batchmode] [--square]\n");
    EXPECT_TRUE(parseCommandLine({"t", "m.obj", "--help"}).showHelp);
    EXPECT_TRUE(parseCommandLine({"t", "--help"}).showHelp);
    const std::string help = helpText("t");
    EXPECT_EQ(help.rfind(usageText("t"), 0), 0u);
    for (const char* option : {"--batchmode", "--square", "--help", "--output DIR", "--threads N"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
}

// Options in any order; each row names the fields it sets ("name=value "), or
// the start of the error that refuses the run.
TEST(CommandLine, OptionsAndTheirValues)
{
    const std::string scale = "expected a number above 0 and at most 64.";
    const std::string range = ": expected a whole number from 1 to 64.";
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> expected;
        std::string error;
    } cases[] = {
        {{"t", "m.obj"}, {"model=m.obj batch=0 square=0 output= cones= padding=0 resolution=1024 format= texture= "
                          "pot=0 scale=1 threads=0 "}, ""},
        {{"t", "m.obj", "--square", "--batchmode"}, {"model=m.obj batch=1 square=1 "}, ""},
        {{"t", "--batchmode", "m.obj", "--square"}, {"model=m.obj batch=1 square=1 "}, ""},
        {{"t", "--square", "--batchmode", "m.obj"}, {"model=m.obj batch=1 square=1 "}, ""},
        // Only options: the first is the model.
        {{"t", "--batchmode"}, {"model=--batchmode batch=0 "}, ""},
        {{"t", "--batchmode", "--square"}, {"model=--batchmode batch=0 square=1 "}, ""},
        {{"t", "m.obj", "--verbose", "x"}, {"[Ignoring unknown option --verbose.] [Ignoring extra argument x.] "}, ""},
        {{"t", "m.obj", "--batchmode", "--output", "out/a"}, {"output=out/a "}, ""},
        {{"t", "--output", "out", "m.obj", "--batchmode"}, {"model=m.obj batch=1 ", "output=out "}, ""},
        {{"t", "m.obj", "--output", "x", "--output", "y"}, {"output=y "}, ""},
        {{"t", "m.obj", "--output", ""}, {}, "Invalid value '' for --output: the folder name is empty."},
        {{"t", "m.obj", "--batchmode", "--output"}, {}, "Option --output needs a value (DIR)."},
        {{"t", "m.obj", "--texture", "a.png", "--pot", "--texel-scale", "2.5"}, {"texture=a.png pot=1 scale=2.5 "}, ""},
        {{"t", "--texel-scale", "0.25", "m.obj", "--texture", "b.jpg"}, {"model=m.obj ", "texture=b.jpg pot=0 scale=0.25 "}, ""},
        {{"t", "m.obj", "--texture", ""}, {}, "Invalid value '' for --texture: the file name is empty."},
        {{"t", "m.obj", "--texture"}, {}, "Option --texture needs a value (FILE)."},
        {{"t", "m.obj", "--texel-scale", "0"}, {}, "Invalid value '0' for --texel-scale: " + scale},
        {{"t", "m.obj", "--texel-scale", "-2"}, {}, "Invalid value '-2' for --texel-scale: " + scale},
        {{"t", "m.obj", "--texel-scale", "2x"}, {}, "Invalid value '2x' for --texel-scale: " + scale},
        {{"t", "m.obj", "--texel-scale", "nan"}, {}, "Invalid value 'nan' for --texel-scale: " + scale},
        {{"t", "m.obj", "--texel-scale", "inf"}, {}, "Invalid value 'inf' for --texel-scale: " + scale},
        {{"t", "m.obj", "--texel-scale", "65"}, {}, "Invalid value '65' for --texel-scale: " + scale},
        {{"t", "m.obj", "--texel-scale", "1e999"}, {}, "Invalid value '1e999' for --texel-scale: " + scale},
        {{"t", "m.obj", "--padding", "4", "--resolution", "512"}, {"padding=4 resolution=512 "}, ""},
        {{"t", "--resolution", "2048", "--padding", "2.5", "m.obj"}, {"model=m.obj ", "padding=2.5 resolution=2048 "}, ""},
        {{"t", "m.obj", "--padding", "-1"}, {}, "Invalid value '-1' for --padding"},
        {{"t", "m.obj", "--padding", "nan"}, {}, "Invalid value 'nan' for --padding"},
        {{"t", "m.obj", "--padding", "4px"}, {}, "Invalid value '4px' for --padding"},
        {{"t", "m.obj", "--padding", "x"}, {}, "Invalid value 'x' for --padding: expected a number."},
        {{"t", "m.obj", "--cones", ""}, {}, "Invalid value '' for --cones: the file name is empty."},
        {{"t", "m.obj", "--resolution", "0"}, {}, "Invalid value '0' for --resolution"},
        {{"t", "m.obj", "--resolution", "51.2"}, {}, "Invalid value '51.2' for --resolution"},
        {{"t", "m.obj", "--padding", "200", "--resolution", "512"}, {}, "Invalid padding 200"},
        {{"t", "m.obj", "--padding"}, {}, "Option --padding needs a value (P)."},
        {{"t", "m.obj", "--threads", "1"}, {"threads=1 "}, ""},
        {{"t", "--threads", "12", "m.obj", "--batchmode"}, {"model=m.obj batch=1 ", "threads=12 "}, ""},
        {{"t", "m.obj", "--threads", "64"}, {"threads=64 "}, ""},
        {{"t", "m.obj", "--threads", "0"}, {}, "Invalid value '0' for --threads" + range},
        {{"t", "m.obj", "--threads", "65"}, {}, "Invalid value '65' for --threads" + range},
        {{"t", "m.obj", "--threads", "-2"}, {}, "Invalid value '-2' for --threads" + range},
        {{"t", "m.obj", "--threads", "2x"}, {}, "Invalid value '2x' for --threads" + range},
        {{"t", "m.obj", "--threads", "99999999999999999999"}, {}, "Invalid value '99999999999999999999' for --threads" + range},
        {{"t", "m.obj", "--threads", ""}, {}, "Invalid value '' for --threads" + range},
        {{"t", "m.obj", "--threads"}, {}, "Option --threads needs a value (N)."},
    };
    for (const auto& c : cases) {
        std::string row;
        for (const std::string& a : c.args)
            row += a + " ";
        SCOPED_TRACE(row);
        const CommandLine cl = parseCommandLine(c.args);
        EXPECT_FALSE(cl.showUsage);
        EXPECT_EQ(cl.error.substr(0, c.error.size()), c.error);
        EXPECT_EQ(cl.error.empty(), c.error.empty()) << cl.error;
        for (const std::string& e : c.expected)
            EXPECT_NE((" " + fields(cl)).find(" " + e), std::string::npos) << fields(cl);
    }
}
